#include "ui/WorkSet.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "core/FunSub.h"
#include "ui/Accept.h"
#include "ui/DirTreeView.h"
#include "ui/Images.h"
#include "ui/MainWindowPort.h"
#include "ui/Messages.h"

TFormWorkSet* FormWorkSet = nullptr;

namespace {

// Each node keeps its own path as raw bytes, so that a name that is not valid UTF-8 still
// leads to the right directory.
constexpr int kPathRole = Qt::UserRole;
// An opened node keeps the identity of its directory, to recognise a link back onto it.
constexpr int kIdentityRole = Qt::UserRole + 1;

QTreeWidgetItem* NewNode(const std::string& label, const std::string& path, const QIcon& icon) {
    auto* node = new QTreeWidgetItem(QStringList{ToQ(label)});
    node->setIcon(0, icon);
    node->setData(0, kPathRole, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
    return node;
}

// The identities of the opened nodes above `node`, from its disk down.
std::vector<Platform::FileId> IdentitiesAbove(const QTreeWidgetItem* node) {
    std::vector<Platform::FileId> ids;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent()) {
        ids.insert(ids.begin(), p->data(0, kIdentityRole).value<Platform::FileId>());
    }
    return ids;
}

}  // namespace

TFormWorkSet::TFormWorkSet() : ChainWindow(kFixedDialogFlags) {
    createWidgets();
    createLayout();
    connectSignals();
}

void TFormWorkSet::createWidgets() {
    TreeView1 = new DirTreeView(this);
    TreeView1->setIndentation(19);
    TreeView1->setMinimumSize(420, 360);
    Label1 = new QLabel(QStringLiteral("指定目录"), this);
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(palette);
    Edit1 = new QLineEdit(this);
    Edit1->setReadOnly(true);
    Button1 = new QPushButton(QStringLiteral("确　定"), this);
    Button2 = new QPushButton(QStringLiteral("放　弃"), this);
}

void TFormWorkSet::createLayout() {
    auto* field = new QHBoxLayout;
    field->addWidget(Label1);
    field->addWidget(Edit1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TreeView1, 1);
    layout->addLayout(field);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFormWorkSet::connectSignals() {
    connect(TreeView1, &QTreeWidget::itemClicked, this, &TFormWorkSet::TreeView1Click);
    connect(TreeView1, &QTreeWidget::itemExpanded, this, &TFormWorkSet::TreeView1Expanding);
    connect(Button1, &QPushButton::clicked, this, &TFormWorkSet::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormWorkSet::Button2Click);
}

bool TFormWorkSet::PickingWorkDir() const {
    return FunSub::PickerTarget == "work";
}

void TFormWorkSet::ShowChosen(const std::string& path) {
    m_chosen = path;
    Edit1->setText(ToQ(path));
}

std::string TFormWorkSet::PickerNodePath(const QTreeWidgetItem* node) {
    return node->data(0, kPathRole).toByteArray().toStdString();
}

void TFormWorkSet::FormActivate() {
    PlaceAt(MainWindow()->Left(), MainWindow()->Top());
    if (!m_driveItems)
        m_driveItems = FunSub::ReadDriveItems();
    TreeView1->clear();
    AddDriveNodes();
    // The keys start from the first disk, which is highlighted but neither chosen nor open.
    if (TreeView1->topLevelItemCount() > 0)
        TreeView1->setCurrentItem(TreeView1->topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
    TreeView1->setFocus();
    if (PickingWorkDir()) {
        setWindowTitle(QStringLiteral("设置工作目录"));
        ShowChosen(FunSub::WorkDir);
    } else {
        setWindowTitle(QStringLiteral("设置输出目录"));
        ShowChosen(FunSub::OutputDir);
    }
}

void TFormWorkSet::AddDriveNodes() {
    const QIcon icon = NodeIcon(kDrive, kDriveSelected);
    for (const FunSub::DriveItem& drive : *m_driveItems) {
        QTreeWidgetItem* node = NewNode(drive.text, drive.root, icon);
        // Nothing below a disk has been read yet, so it always offers to open.
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        TreeView1->addTopLevelItem(node);
    }
}

void TFormWorkSet::TreeView1Expanding(QTreeWidgetItem* node) {
    // A node is read once; closing and opening it again shows what was read then. A link
    // back onto its own path is never read.
    if (node->childCount() > 0 || node->flags().testFlag(Qt::ItemNeverHasChildren))
        return;
    TreeView1->setCurrentItem(node);
    const std::string path = PickerNodePath(node);
    ShowChosen(path);
    FunSub::PickerOpening opening;
    if (!Guard([&] { opening = FunSub::OpenPickerNode(path, IdentitiesAbove(node)); })) {
        // Closed again with its expander, so that the next opening reads it again.
        node->setExpanded(false);
        return;
    }
    node->setData(0, kIdentityRole, QVariant::fromValue(opening.id));

    const QIcon icon = NodeIcon(kClosedFolder, kOpenFolder);
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(opening.children.size()));
    for (const FunSub::PickerChild& c : opening.children) {
        QTreeWidgetItem* child = NewNode(c.name, c.path, icon);
        child->setChildIndicatorPolicy(c.hasChildren ? QTreeWidgetItem::ShowIndicator
                                                     : QTreeWidgetItem::DontShowIndicator);
        // Not even the "*" key, which opens everything below, goes into it.
        if (c.leadsBack)
            child->setFlags(child->flags() | Qt::ItemNeverHasChildren);
        children.append(child);
    }
    node->addChildren(children);
    if (children.isEmpty()) {
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }
}

void TFormWorkSet::TreeView1Click() {
    if (QTreeWidgetItem* node = TreeView1->currentItem())
        ShowChosen(PickerNodePath(node));
}

void TFormWorkSet::Button1Click() {
    if (FunSub::IsDriveRoot(m_chosen)) {
        Messages().Warn(PickingWorkDir() ? QStringLiteral("根目录不能设置为工作目录！请重新选择")
                                         : QStringLiteral("根目录不能设置为输出目录！请重新选择"));
        return;
    }
    (PickingWorkDir() ? FunSub::WorkDir : FunSub::OutputDir) = m_chosen;
    Leave();
}

void TFormWorkSet::Button2Click() {
    Leave();
}

void TFormWorkSet::FormClose() {
    Button2Click();
}

void TFormWorkSet::Leave() {
    TreeView1->clear();
    ReturnTo(this, FormAccept);
}
