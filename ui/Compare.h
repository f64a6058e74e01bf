#pragma once

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/TargetDiff.h"
#include "ui/Background.h"
#include "ui/ChainWindow.h"

// The comparison of the chosen source with the target the main window shows: the source's
// files the target does not hold (left out by their type, or missing), the files changed
// since the copy and what the target holds beyond the source, each group with its totals and
// opened to its files. Both trees are read on a thread of their own; "放　　弃" leaves at once.
// Double-clicking a file shows its directory in the main window's tree of its side.
class TForm8 : public ChainWindow {
    Q_OBJECT
public:
    TForm8();

    void FormActivate() override;
    void FormClose() override;

    // "放　　弃" while the trees are read, "返　　回" once they are compared: back to the main
    // window either way.
    void Button1Click();
    void ListView1DblClick(QTreeWidgetItem* item);

    bool Reading() const { return m_reading.Running(); }
    const FunSub::TargetDiff& Diff() const { return m_diff; }

    QLabel* Label1 = nullptr;          // the source
    QLabel* Label2 = nullptr;          // the target
    QLabel* Label3 = nullptr;          // how far the reading got, then what the comparison found
    QLabel* Label4 = nullptr;          // what keeps the comparison from being whole, in red
    QTreeWidget* ListView1 = nullptr;  // the groups, each opened to its files
    QPushButton* Button1 = nullptr;

protected:
    bool EscapeCloses() const override { return true; }

private:
    void ShowReading();
    void ShowDiff();

    std::string m_source;
    std::string m_target;
    FunSub::TargetDiff m_diff;
    std::shared_ptr<std::atomic<std::int64_t>> m_filesRead;
    QTimer m_pump;
    Background m_reading;
};

extern TForm8* Form8;
