#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <string>

#include "core/DirTree.h"
#include "ui/ChainWindow.h"

// The main window: the source and the generated targets side by side.
class TForm1 : public ChainWindow {
    Q_OBJECT
public:
    // `executablePath` is where the program runs from; work.ini lies beside it.
    explicit TForm1(const std::string& executablePath);

    // False when start-up found the program in a drive root and it must end at once.
    bool CanRun() const { return m_canRun; }

    void FormActivate() override;
    void FormClose() override;

    // The source tree that the statistics and the copy walk, by index.
    const FunSub::DirTree& SourceTree() const { return m_sourceTree; }

    // Widgets other windows use.
    QLineEdit* Edit3 = nullptr;       // the chosen source
    QPushButton* Button1 = nullptr;   // "过滤复制"
    QTreeWidget* ListView3 = nullptr; // the source's type list

private:
    void FormCreate(const std::string& executablePath);

    FunSub::DirTree m_sourceTree;
    bool m_canRun = true;
};

extern TForm1* Form1;
