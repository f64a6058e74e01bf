#include "ui/SDir.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <vector>

#include "core/FunSub.h"
#include "ui/DirTreeView.h"
#include "ui/Images.h"
#include "ui/MainWindowPort.h"
#include "ui/Messages.h"

TForm4* Form4 = nullptr;

namespace {

// The source held when the dialog was opened; only a different choice is a new source.
std::string PrevSourceDir;

constexpr int kIndexRole = Qt::UserRole;

}  // namespace

TForm4::TForm4() : ChainWindow(kFixedDialogFlags) {
    setWindowTitle(QStringLiteral("指定源目录"));
    createWidgets();
    createLayout();
    connectSignals();
}

void TForm4::createWidgets() {
    Label1 = new QLabel(QStringLiteral("当前指定的源目录："), this);
    Label1->setAutoFillBackground(true);
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    palette.setColor(QPalette::Window, QColor(192, 192, 192));
    Label1->setPalette(palette);
    Edit1 = new QLineEdit(this);
    Edit1->setReadOnly(true);
    Edit1->setFocusPolicy(Qt::ClickFocus);  // Tab goes from the tree to the buttons
    TreeView1 = new DirTreeView(this);
    TreeView1->setIndentation(19);
    TreeView1->setMinimumSize(420, 400);
    BitBtn1 = new QPushButton(QStringLiteral("确 定"), this);
    BitBtn2 = new QPushButton(QStringLiteral("放 弃"), this);
}

void TForm4::createLayout() {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    layout->addWidget(TreeView1, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm4::connectSignals() {
    connect(TreeView1, &QTreeWidget::itemClicked, this, &TForm4::TreeView1Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm4::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm4::BitBtn2Click);
}

void TForm4::FormActivate() {
    // The main window put up the hour-glass before the tree scan; the scan is ours to end.
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    PlaceAt(MainWindow()->Left(), MainWindow()->Top() + 100);
    Edit1->clear();
    m_clicked.clear();
    PrevSourceDir = FunSub::SourceDir;
    TreeView1->setFocus();  // so that the keys choose a source too
    BuildWorkTree();
}

void TForm4::BuildWorkTree() {
    try {
        m_tree = FunSub::BuildDirTree(FunSub::WorkDir, FunSub::RootLabel::AsGiven);
    } catch (...) {
        // Whatever was on show no longer stands for WorkDir.
        TreeView1->clear();
        m_tree = {};
        throw;
    }
    ShowTree();
}

void TForm4::ShowTree() {
    TreeView1->clear();
    const QIcon icon = NodeIcon(kClosedFolder, kOpenFolder);
    std::vector<QTreeWidgetItem*> items;
    items.reserve(m_tree.nodes.size());
    // The items are linked up before the root joins the view, so the view lays them out once.
    for (int i = 0; i < m_tree.size(); ++i) {
        const FunSub::DirNode& node = m_tree.nodes[static_cast<std::size_t>(i)];
        auto* item = node.parent < 0
                         ? new QTreeWidgetItem
                         : new QTreeWidgetItem(items[static_cast<std::size_t>(node.parent)]);
        item->setText(0, ToQ(node.label));
        item->setIcon(0, icon);
        item->setData(0, kIndexRole, i);
        items.push_back(item);
    }
    TreeView1->addTopLevelItem(items.front());
    items.front()->setExpanded(true);
    TreeView1->clearSelection();
    // The keys start from the root, which is highlighted but not chosen.
    TreeView1->setCurrentItem(items.front(), 0, QItemSelectionModel::NoUpdate);
}

void TForm4::TreeView1Click() {
    QTreeWidgetItem* item = TreeView1->currentItem();
    if (!item)
        return;
    m_clicked = FunSub::NodePath(m_tree, item->data(0, kIndexRole).toInt());
    Edit1->setText(ToQ(m_clicked));
}

void TForm4::BitBtn1Click() {
    if (m_clicked == FunSub::WorkDir) {
        Messages().Warn(QStringLiteral("工作目录根不能选作源目录！请重新选择"));
        return;
    }
    // A source without a target name (a copy found its name taken, or its rebuild failed)
    // is taken again even when it is the same one, so that it gets a fresh name.
    const bool fresh = m_clicked != PrevSourceDir || FunSub::TargetName.empty();
    if (!m_clicked.empty() && fresh) {
        FunSub::SourceDir = m_clicked;
        MainWindow()->ShowChosenSource(m_clicked);
        FunSub::SourceChanged = true;
    }
    Leave();
}

void TForm4::BitBtn2Click() {
    Leave();
}

void TForm4::FormClose() {
    BitBtn2Click();
}

void TForm4::Leave() {
    TreeView1->clear();
    m_tree = {};
    ReturnTo(this, MainWindow());
}
