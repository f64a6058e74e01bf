#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <string>

#include "core/DirTree.h"
#include "ui/ChainWindow.h"

// The source directory dialog: the whole tree of WorkDir, from which one directory below it
// is chosen as the next source.
class TForm4 : public ChainWindow {
    Q_OBJECT
public:
    TForm4();

    void FormActivate() override;
    void FormClose() override;

    void BuildWorkTree();
    void TreeView1Click();
    void BitBtn1Click();
    void BitBtn2Click();

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;  // the directory last clicked
    QTreeWidget* TreeView1 = nullptr;
    QPushButton* BitBtn1 = nullptr;  // confirm
    QPushButton* BitBtn2 = nullptr;  // cancel

private:
    void createWidgets();
    void createLayout();
    void connectSignals();
    void ShowTree();
    void Leave();

    FunSub::DirTree m_tree;  // what TreeView1 shows; its items carry their node index
    std::string m_clicked;   // NodePath of the node last clicked, exactly as on disk
};

extern TForm4* Form4;
