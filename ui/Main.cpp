#include "ui/Main.h"

#include <QApplication>
#include <QBoxLayout>
#include <QGridLayout>
#include <QHeaderView>
#include <QPainter>
#include <QSplitterHandle>
#include <QStyledItemDelegate>
#include <algorithm>

#include "core/ContinueCopy.h"
#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/Reasons.h"
#include "core/Subdirectories.h"
#include "core/TargetNaming.h"
#include "core/TreeStats.h"
#include "core/Version.h"
#include "ui/About.h"
#include "ui/Accept.h"
#include "ui/ColumnWidths.h"
#include "ui/Compare.h"
#include "ui/Copying.h"
#include "ui/DirTreeView.h"
#include "ui/Images.h"
#include "ui/Messages.h"
#include "ui/Palette.h"
#include "ui/SDir.h"
#include "ui/Sets.h"

TForm1* Form1 = nullptr;

MainWindowPort* MainWindow() {
    return Form1;
}

namespace {

const char* const kBothUnset =
    "警告！您还未指定工作目录和输出目录！\r\r不能进行过滤复制操作，请设置工作目录和输出目录！\r\r";
const char* const kBothMissing =
    "警告！工作目录和输出目录均不存在！\r\r不能进行过滤复制操作，请设置工作目录和输出目录！\r\r";
const char* const kWorkMissing =
    "警告！工作目录不存在！\r\r不能进行过滤复制操作，请设置工作目录！\r\r";
const char* const kOutputMissing =
    "警告！输出目录不存在！\r\r不能进行过滤复制操作，请设置输出目录！\r\r";
const char* const kNoWorkSubdirs =
    "警告！当前工作目录下无子目录！\r\r不能进行过滤复制操作，请重新设置工作目录！\r\r";
const char* const kSettingsHint = "\r请设置工作目录和输出目录！";
const char* const kNoOutputSubdirs = "当前输出目录下无子目录 ！";
const char* const kUnknown = " ？？？";

// Scans of big trees hold the window; the hour-glass says so until the scope ends, also
// when an error ends it.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

class ColouredHandle : public QSplitterHandle {
public:
    ColouredHandle(Qt::Orientation o, QSplitter* parent, QColor colour)
        : QSplitterHandle(o, parent), m_colour(colour) {}

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

class ColouredSplitter : public QSplitter {
public:
    ColouredSplitter(Qt::Orientation o, QColor colour, QWidget* parent)
        : QSplitter(o, parent), m_colour(colour) {
        setHandleWidth(4);
        setChildrenCollapsible(false);
    }

protected:
    QSplitterHandle* createHandle() override {
        return new ColouredHandle(orientation(), this, m_colour);
    }

private:
    QColor m_colour;
};

// Right-aligns the number columns without touching every row (a list may hold 100,000)
// and draws the grid lines of the type lists.
class ReportDelegate : public QStyledItemDelegate {
public:
    ReportDelegate(QList<int> rightAligned, bool gridLines, QObject* parent)
        : QStyledItemDelegate(parent), m_right(std::move(rightAligned)), m_grid(gridLines) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (!m_grid)
            return;
        painter->save();
        painter->setPen(kGridLine);
        const QRect r = option.rect;
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (m_right.contains(index.column())) {
            option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
        }
    }

private:
    QList<int> m_right;
    bool m_grid;
};

struct Column {
    const char* caption;
    int width;
    int minimum;
    bool right;
};

void SetColour(QWidget* w, QPalette::ColorRole role, QColor colour) {
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

QLabel* NewLabel(const char* text, QColor colour, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    SetColour(label, QPalette::WindowText, colour);
    return label;
}

// What a side's reading found that the user must know: hidden while there is nothing.
QLabel* NewNotice(QWidget* parent) {
    auto* label = new QLabel(parent);
    SetColour(label, QPalette::WindowText, Qt::red);
    label->setWordWrap(true);
    label->hide();
    return label;
}

QLineEdit* NewReadOnlyEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    return edit;
}

QTreeWidget* NewReportList(std::initializer_list<Column> columns, QColor background, bool gridLines,
                           QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(static_cast<int>(columns.size()));
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSortingEnabled(false);
    SetColour(list, QPalette::Base, background);
    ShowFocusOnFrame(list);

    QStringList captions;
    QList<int> right;
    std::vector<int> minimums;
    int i = 0;
    for (const Column& c : columns) {
        captions << QString::fromUtf8(c.caption);
        if (c.right)
            right << i;
        minimums.push_back(c.minimum);
        ++i;
    }
    list->setHeaderLabels(captions);
    i = 0;
    for (const Column& c : columns) {
        list->setColumnWidth(i, c.width);
        if (c.right)
            list->headerItem()->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
        ++i;
    }
    list->header()->setStretchLastSection(false);
    list->setItemDelegate(new ReportDelegate(right, gridLines, list));

    QHeaderView* header = list->header();
    QObject::connect(header, &QHeaderView::sectionResized, list,
                     [header, minimums](int section, int, int size) {
                         const auto s = static_cast<std::size_t>(section);
                         if (s < minimums.size() && size < minimums[s]) {
                             header->resizeSection(section, minimums[s]);
                         }
                     });
    return list;
}

QTreeWidget* NewFileList(QWidget* parent) {
    return NewReportList(
        {{"文件名", 100, 80, false}, {"文件大小", 86, 60, true}, {"文件修改时间", 200, 100, false}},
        kSkyBlue, false, parent);
}

QTreeWidget* NewTypeList(QWidget* parent) {
    return NewReportList({{"类型", 80, 40, false}, {"数量", 50, 40, true}, {"大小", 120, 80, true}},
                         kPaleGreen, true, parent);
}

QTreeWidget* NewDirNameList(QWidget* parent) {
    return NewReportList({{"目录名", 100, 40, false},
                          {"目录数", 50, 40, true},
                          {"文件数", 60, 40, true},
                          {"大小", 120, 80, true}},
                         kPaleGreen, true, parent);
}

QListWidget* NewLevelList(QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setUniformItemSizes(true);
    SetColour(list, QPalette::Base, kCream);
    ShowFocusOnFrame(list);
    return list;
}

QTabWidget* NewPageControl(QWidget* files, QWidget* types, QWidget* levels, QWidget* dirNames,
                           QWidget* map, QWidget* parent) {
    auto* pages = new QTabWidget(parent);
    pages->addTab(files, QStringLiteral("文件列表"));
    pages->addTab(types, QStringLiteral("类型统计"));
    pages->addTab(levels, QStringLiteral("目录级数"));
    pages->addTab(dirNames, QStringLiteral("目录名统计"));
    pages->addTab(map, QStringLiteral("图示"));
    pages->setCurrentIndex(1);
    return pages;
}

// A part of one side: its widgets stacked without margins.
QWidget* Stack(std::initializer_list<QWidget*> widgets, int stretchLast, int minimumHeight) {
    auto* part = new QWidget;
    auto* layout = new QVBoxLayout(part);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->setStretch(static_cast<int>(widgets.size()) - 1, stretchLast);
    part->setMinimumHeight(minimumHeight);
    return part;
}

QFrame* NewPanel(QFrame::Shadow shadow) {
    auto* panel = new QFrame;
    panel->setFrameStyle(QFrame::Panel | shadow);
    return panel;
}

const char* DirectoryWarning() {
    using namespace FunSub;
    if (WorkDir.empty() && OutputDir.empty())
        return kBothUnset;
    const bool work = DirExists(WorkDir);
    const bool output = DirExists(OutputDir);
    if (!work && !output)
        return kBothMissing;
    if (!work)
        return kWorkMissing;
    if (!output)
        return kOutputMissing;
    return nullptr;
}

// Fills a tree view from the model in one insertion: the items are linked up before the
// view sees them, which keeps big trees quick. A directory that could not be read is shown
// in red, with the reason as its tip.
void ShowDirTree(QTreeWidget* view, const FunSub::DirTree& tree) {
    view->clear();
    if (tree.empty())
        return;
    const QIcon icon = NodeIcon(kClosedFolder, kOpenFolder);
    std::vector<QTreeWidgetItem*> items(tree.nodes.size());
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        const FunSub::DirNode& node = tree.nodes[i];
        auto* item = node.parent < 0
                         ? new QTreeWidgetItem
                         : new QTreeWidgetItem(items[static_cast<std::size_t>(node.parent)]);
        item->setText(0, ToQ(node.label));
        item->setIcon(0, icon);
        item->setData(0, TForm1::kNodeIndexRole, static_cast<int>(i));
        if (node.error != 0) {
            item->setForeground(0, Qt::red);
            item->setToolTip(0, QStringLiteral("无法读取：") + ToQ(FunSub::ReasonText(node.error)));
        }
        items[i] = item;
    }
    view->addTopLevelItem(items[0]);
    items[0]->setExpanded(true);
}

}  // namespace

void FillReportList(QTreeWidget* list, const std::vector<FunSub::ListRow>& rows) {
    list->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const FunSub::ListRow& row : rows) {
        QStringList texts;
        texts.reserve(static_cast<qsizetype>(row.subItems.size()) + 1);
        texts << ToQ(row.caption);
        for (const std::string& s : row.subItems) texts << ToQ(s);
        auto* item = new QTreeWidgetItem(texts);
        // The caption's own bytes: a type key that is not UTF-8 still filters exactly.
        item->setData(0, Qt::UserRole,
                      QByteArray(row.caption.data(), static_cast<qsizetype>(row.caption.size())));
        items.append(item);
    }
    list->addTopLevelItems(items);
    WidenColumnsToTexts(list);
}

TForm1::TForm1(const std::string& executablePath) {
    SetFirstPlacement(FirstPlacement::CentreOnScreen);
    createWidgets();
    createLayout();
    connectSignals();
    resize(960, 680);
    FormCreate(executablePath);
}

void TForm1::createWidgets() {
    Panel1 = NewPanel(QFrame::Raised);
    Panel1->setParent(this);
    Splitter1 = new ColouredSplitter(Qt::Horizontal, kTeal, this);
    Panel3 = createSide(Side::Source);
    Panel4 = createSide(Side::Target);
    Splitter1->addWidget(Panel3);
    Splitter1->addWidget(Panel4);
    Panel2 = NewPanel(QFrame::Sunken);
    Panel2->setParent(this);
    StatusBar1 = new QStatusBar(this);
}

QWidget* TForm1::createTopBand() {
    Label1 = NewLabel("当前工作目录：", kPurple, Panel1);
    Label7 = NewLabel("当前输出目录：", kPurple, Panel1);
    Edit1 = NewReadOnlyEdit(Panel1);
    Edit4 = NewReadOnlyEdit(Panel1);
    for (QLineEdit* e : {Edit1, Edit4}) {
        e->setFrame(false);
        SetColour(e, QPalette::Base, kSkyBlue);
        SetColour(e, QPalette::Text, kMaroon);
    }
    BitBtn1 = new QPushButton(ImageList1(kOpenFolder), QString(), Panel1);
    BitBtn1->setMinimumHeight(44);
    BitBtn1->setMinimumWidth(120);

    auto* grid = new QGridLayout(Panel1);
    grid->setContentsMargins(8, 5, 8, 5);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(Label7, 1, 0);
    grid->addWidget(Edit4, 1, 1);
    grid->addWidget(BitBtn1, 0, 2, 2, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, 130);
    return Panel1;
}

// One side of the window: above, its caption, what is on show and its button, then the files
// of the clicked directory, the type statistics and the directory levels in tabs; below, the
// directory tree with the notice of what its reading found.
QWidget* TForm1::createSide(Side which) {
    const bool source = which == Side::Source;
    auto* side = new QWidget;
    auto* panel = new QFrame;
    QLabel* caption = NewLabel("", kBlue, panel);
    QWidget* shown = nullptr;
    if (source) {
        Edit3 = NewReadOnlyEdit(panel);
        shown = Edit3;
    } else {
        ComboBoxEx1 = new QComboBox(panel);
        ComboBoxEx1->setMaxVisibleItems(8);
        // Its text field can show a text of its own, "no subdirectories", but takes no typing.
        ComboBoxEx1->setEditable(true);
        ComboBoxEx1->lineEdit()->setReadOnly(true);
        ComboBoxEx1->setInsertPolicy(QComboBox::NoInsert);
        ComboBoxEx1->setEditText(QString::fromUtf8(kNoOutputSubdirs));
        ComboBoxEx1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        shown = ComboBoxEx1;
    }
    auto* button = new QPushButton(
        source ? QStringLiteral("指定源目录") : QStringLiteral("对比源目录"), panel);
    auto* header = new QGridLayout(panel);
    header->setContentsMargins(2, 2, 2, 2);
    header->addWidget(caption, 0, 0, 1, 2);
    header->addWidget(shown, 1, 0);
    header->addWidget(button, 1, 1);
    header->setColumnStretch(0, 1);

    QTreeWidget* files = NewFileList(side);
    QTreeWidget* types = NewTypeList(side);
    QListWidget* levels = NewLevelList(side);
    QTreeWidget* dirNames = NewDirNameList(side);
    auto* map = new TreeMapView(side);
    QTabWidget* pages = NewPageControl(files, types, levels, dirNames, map, side);
    auto* treeCaption = new QLabel(
        source ? QStringLiteral("源目录树结构：") : QStringLiteral("目标目录树结构："), side);
    QLabel* notice = NewNotice(side);
    auto* tree = new DirTreeView(side);
    // Under the target's notice: the way to finish an unfinished copy.
    auto* continueRow = new QWidget(side);
    auto* continueLayout = new QHBoxLayout(continueRow);
    continueLayout->setContentsMargins(0, 0, 0, 0);
    if (!source) {
        Button7 = new QPushButton(QStringLiteral("继续复制"), continueRow);
        continueLayout->addWidget(Button7);
        continueLayout->addStretch(1);
        Button7->hide();
    }

    auto* splitter = new ColouredSplitter(Qt::Vertical, kSkyBlue, side);
    splitter->addWidget(Stack({panel, pages}, 1, 60));
    splitter->addWidget(Stack({treeCaption, notice, continueRow, tree}, 1, 50));
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    side->setMinimumWidth(100);

    (source ? Panel5 : Panel8) = panel;
    (source ? Label5 : Label4) = caption;
    (source ? Button5 : Button6) = button;
    (source ? ListView1 : ListView2) = files;
    (source ? ListView3 : ListView4) = types;
    (source ? ListBox1 : ListBox2) = levels;
    (source ? DirNameList1 : DirNameList2) = dirNames;
    (source ? Map1 : Map2) = map;
    (source ? PageControl1 : PageControl2) = pages;
    (source ? Label2 : Label3) = treeCaption;
    (source ? Label8 : Label9) = notice;
    (source ? TreeView1 : TreeView2) = tree;
    (source ? Splitter2 : Splitter3) = splitter;
    return side;
}

QWidget* TForm1::createBottomBand() {
    Label6 = NewLabel("", kBlue, Panel2);
    Edit2 = NewReadOnlyEdit(Panel2);
    Edit2->setMinimumWidth(240);
    Panel11 = new QWidget(Panel2);
    Button1 = new QPushButton(QStringLiteral("过滤复制"), Panel11);
    Button2 = new QPushButton(QStringLiteral("使用说明"), Panel11);
    Button3 = new QPushButton(QStringLiteral("关  于"), Panel11);
    Button4 = new QPushButton(QStringLiteral("退　出"), Panel11);
    auto* buttons = new QHBoxLayout(Panel11);
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* b : {Button1, Button2, Button3, Button4}) {
        b->setMinimumWidth(88);
        buttons->addWidget(b);
    }

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(Label6);
    texts->addWidget(Edit2);
    auto* band = new QHBoxLayout(Panel2);
    band->setContentsMargins(8, 5, 8, 5);
    band->addLayout(texts);
    band->addStretch(1);
    band->addSpacing(12);
    band->addWidget(Panel11, 0, Qt::AlignBottom);
    return Panel2;
}

void TForm1::createLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createTopBand());
    layout->addWidget(Splitter1, 1);
    layout->addWidget(createBottomBand());
    layout->addWidget(StatusBar1);
    // The two sides start equally wide, and the lists somewhat taller than the trees.
    Splitter1->setSizes({1000, 1000});
    Splitter2->setSizes({600, 400});
    Splitter3->setSizes({600, 400});
    // Tab goes top to bottom, the source side before the target side beside it, and so
    // through the road of a copy: "指定源目录" before "过滤复制". A page control takes its
    // tabs and then the page on show.
    QWidget* const order[] = {
        Edit1,   Edit4,        BitBtn1,   Edit3, Button5, PageControl1, TreeView1, ComboBoxEx1,
        Button6, PageControl2, TreeView2, Edit2, Button1, Button2,      Button3,   Button4};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void TForm1::connectSignals() {
    const auto guarded = [this](void (TForm1::*handler)()) {
        return [this, handler] { Guard([this, handler] { (this->*handler)(); }); };
    };
    connect(TreeView1, &QTreeWidget::itemClicked, this, guarded(&TForm1::TreeView1Click));
    connect(TreeView2, &QTreeWidget::itemClicked, this, guarded(&TForm1::TreeView2Click));
    connect(ComboBoxEx1, &QComboBox::activated, this,
            [this](int index) { Guard([this, index] { ComboBoxEx1Click(index); }); });
    connect(Button5, &QPushButton::clicked, this, guarded(&TForm1::Button5Click));
    connect(Button1, &QPushButton::clicked, this, guarded(&TForm1::Button1Click));
    connect(Button2, &QPushButton::clicked, this, guarded(&TForm1::Button2Click));
    connect(Button3, &QPushButton::clicked, this, guarded(&TForm1::Button3Click));
    connect(Button4, &QPushButton::clicked, this, guarded(&TForm1::Button4Click));
    connect(BitBtn1, &QPushButton::clicked, this, guarded(&TForm1::BitBtn1Click));
    connect(Button6, &QPushButton::clicked, this, guarded(&TForm1::Button6Click));
    connect(Button7, &QPushButton::clicked, this, guarded(&TForm1::Button7Click));
    for (const auto& [map, side] : {std::pair{Map1, Side::Source}, std::pair{Map2, Side::Target}}) {
        connect(map, &TreeMapView::hovered, this, [this](const QString& text) {
            if (text.isEmpty())
                StatusBar1->clearMessage();
            else
                StatusBar1->showMessage(text);
        });
        connect(map, &TreeMapView::directoryClicked, this,
                [this, side = side](int node) { Guard([&] { SelectNode(side, node); }); });
    }
}

void TForm1::FormCreate(const std::string& executablePath) {
    FunSub::AppDir = FunSub::DirectoryOfExecutable(executablePath);
    if (FunSub::IsDriveRoot(FunSub::AppDir)) {
        Messages().Warn(QStringLiteral("该软件不能在根目录下运行！"));
        m_canRun = false;
        return;
    }
    setWindowTitle(QStringLiteral("Quillmere V") + QString::fromUtf8(FunSub::kVersion) +
                   QStringLiteral(" （2003-9-26）  "));
    m_statusPanel = new QLabel(StatusBar1);
    StatusBar1->addWidget(m_statusPanel, 1);
    m_readingPump.setInterval(200);
    connect(&m_readingPump, &QTimer::timeout, this, &TForm1::ShowReading);
    FunSub::SourceChanged = false;
    Edit2->setText(QString::fromUtf8(kUnknown));
    Edit3->setText(QString::fromUtf8(kUnknown));
    Label4->setText(QStringLiteral("浏览对比在当前工作目录下(过滤复制生成)的目标目录："));
    Label5->setText(QStringLiteral("将要过滤复制的源目录为当前工作目录下的："));
    Label6->setText(QStringLiteral("过滤复制生成的目标目录将放在当前输出目录下的："));
    Button1->setEnabled(false);
    BitBtn1->setText(DisplayText(std::string("改变工作目录\r或输出目录")));
    Guard([] { FunSub::LoadSettings(); });
}

QString TForm1::StatusText() const {
    return m_statusPanel ? m_statusPanel->text() : QString();
}

void TForm1::FormActivate() {
    Edit1->setText(ToQ(FunSub::WorkDir));
    Edit4->setText(ToQ(FunSub::OutputDir));
    if (!DirectoriesUsable())
        return;
    RefreshTargetSide();
    if (FunSub::SourceChanged)
        RebuildSourceSide();
}

bool TForm1::DirectoriesUsable() {
    if (const char* warning = DirectoryWarning()) {
        AskAboutDirectories(warning);
        return false;
    }
    if (CountWorkSubdirs() < 1) {
        Button5->setEnabled(false);
        AskAboutDirectories(kNoWorkSubdirs);
        return false;
    }
    Button5->setEnabled(true);
    Button5->setFocus();
    return true;
}

void TForm1::AskAboutDirectories(const std::string& message) {
    if (Messages().Ask(ToQ(message), QPoint(Left() + 200, Top() + 180))) {
        FunSub::HintText = message;
        OpenDialog(this, FormAccept);
    } else {
        close();
    }
}

void TForm1::RefreshTargetSide() {
    if (ListOutputSubdirs() < 1) {
        m_targetReading.Abandon();
        ComboBoxEx1->setEditText(QString::fromUtf8(kNoOutputSubdirs));
        m_targetTree = {};
        TreeView2->clear();
        ListBox2->clear();
        ListView2->clear();
        ListView4->clear();
        DirNameList2->clear();
        Map2->Clear();
        m_targetFiles.clear();
        m_targetMap = {};
        Label9->hide();
        Button7->hide();
        ShowReading();
        return;
    }
    ComboBoxEx1->setCurrentIndex(0);
    ShowTargetTree(m_outputSubdirs.front());
}

// Until the new source has its own target name nothing may be copied: the button stays
// disabled and no name of an earlier source is kept, so a failure on the way leaves no
// copy possible and the next refresh tries the whole rebuild again. A source already being
// read is not read again.
void TForm1::RebuildSourceSide() {
    if (m_sourceReading.Running() && m_sourceBeingRead == FunSub::SourceDir)
        return;
    DropTargetName();
    Edit3->setText(ToQ(FunSub::PathShownFrom(FunSub::WorkDir, FunSub::SourceDir)));
    m_sourceBeingRead = FunSub::SourceDir;
    ReadSide(m_sourceReading, m_sourceRead, FunSub::SourceDir, [this](SideReading& read) {
        // Shown only once the whole reading is there: a reading that fails leaves the former
        // tree as it was.
        m_sourceTree = std::move(read.scanned.tree);
        m_sourceFiles = std::move(read.scanned.files);
        m_sourceMap = std::move(read.map);
        Map1->Show(&m_sourceTree, &m_sourceFiles, &m_sourceMap);
        ShowDirTree(TreeView1, m_sourceTree);
        ShowNotice(Label8, read);
        ShowSourceStats(std::move(read.stats));
        FunSub::TargetName = FunSub::ChooseTargetName(FunSub::SourceDir, FunSub::OutputDir);
        Edit2->setText(ToQ(FunSub::TargetName));
        Button1->setEnabled(true);
        FunSub::SourceChanged = false;
    });
}

void TForm1::DropTargetName() {
    Button1->setEnabled(false);
    FunSub::TargetName.clear();
    Edit2->setText(QString::fromUtf8(kUnknown));
}

int TForm1::CountWorkSubdirs() {
    return static_cast<int>(FunSub::Subdirectories(FunSub::WorkDir).size());
}

int TForm1::ListOutputSubdirs() {
    ComboBoxEx1->clear();
    m_outputSubdirs.clear();
    const std::vector<FunSub::Subdirectory> dirs = FunSub::Subdirectories(FunSub::OutputDir);
    const QIcon icon = NodeIcon(kClosedFolder, kOpenFolder);
    for (const FunSub::Subdirectory& d : dirs) {
        ComboBoxEx1->addItem(icon, ToQ(FunSub::LowerAscii(d.name)));
        m_outputSubdirs.push_back(d.path);
    }
    return ComboBoxEx1->count();
}

void TForm1::ShowTargetTree(const std::string& path) {
    ReadSide(m_targetReading, m_targetRead, path, [this](SideReading& read) {
        m_targetTree = std::move(read.scanned.tree);
        m_targetFiles = std::move(read.scanned.files);
        m_targetMap = std::move(read.map);
        Map2->Show(&m_targetTree, &m_targetFiles, &m_targetMap);
        ShowDirTree(TreeView2, m_targetTree);
        ShowStats(read.stats, ListView4, ListBox2, DirNameList2);
        ShowNotice(Label9, read);
        ShowContinue(read);
    });
}

// Reads the tree of `path` and its statistics on a thread of its own, then shows them with
// `show`; the status bar says meanwhile how far the reading is.
void TForm1::ReadSide(Background& reader, std::shared_ptr<SideReading>& current,
                      const std::string& path, std::function<void(SideReading&)> show) {
    auto read = std::make_shared<SideReading>();
    read->path = path;
    current = read;
    reader.Start(
        [read](Background::Stop stop) {
            FunSub::ScanOptions options;
            options.stop = stop;
            options.progress = [read](std::int64_t files) { read->files = files; };
            read->scanned =
                FunSub::ScanTree(read->path, FunSub::RootLabel::ShortenDriveRoot, options);
            read->stats = FunSub::CollectTreeStats(read->scanned);
            read->map = FunSub::TreeMapModel(read->scanned.tree, read->scanned.files);
            read->incomplete = FunSub::TargetIncomplete(read->path);
            if (read->incomplete) {
                try {
                    FunSub::ContinuableRecord(read->path);
                    read->continuable = true;
                } catch (const FunSub::QuillError& e) {
                    read->continueRefusal = e.what();
                }
            }
        },
        [this, read, show = std::move(show)](std::exception_ptr failure) {
            ShowReading();
            Guard([&] {
                if (failure)
                    std::rethrow_exception(failure);
                show(*read);
            });
        });
    ShowReading();
}

// The status bar's line for what is being read: the path and the files read so far.
void TForm1::ShowReading() {
    QStringList lines;
    for (const auto& [reader, read] :
         {std::pair{&m_sourceReading, m_sourceRead}, std::pair{&m_targetReading, m_targetRead}}) {
        if (reader->Running() && read) {
            lines << QStringLiteral("正在读取 %1 … 已读 %2 个文件")
                         .arg(ToQ(read->path), ToQ(FunSub::FormatThousands(read->files.load())));
        }
    }
    // Over the panel while it lasts, which keeps its own text for afterwards.
    if (lines.isEmpty()) {
        StatusBar1->clearMessage();
        m_readingPump.stop();
        return;
    }
    StatusBar1->showMessage(lines.join(QStringLiteral("；")));
    if (!m_readingPump.isActive())
        m_readingPump.start();
}

void TForm1::ShowStats(const FunSub::TreeStats& stats, QTreeWidget* typeList,
                       QListWidget* levelList, QTreeWidget* dirNameList) {
    FillReportList(typeList, FunSub::TypeListRows(stats));
    ShowTypeSwatches(typeList, Qt::UserRole, 1);
    FillReportList(dirNameList, FunSub::DirNameListRows(stats));
    levelList->clear();
    QStringList lines;
    for (const std::string& line : FunSub::LevelLines(stats)) lines << ToQ(line);
    levelList->addItems(lines);
}

// Under the tree: the directories the statistics could not read, and a tree that is the
// target of a copy that never finished.
void TForm1::ShowNotice(QLabel* notice, const SideReading& read) {
    QStringList lines;
    if (read.stats.unreadable > 0)
        lines << ToQ(FunSub::UnreadableText(read.stats.unreadable));
    if (read.incomplete)
        lines << QString::fromUtf8(FunSub::kIncompleteTargetText);
    notice->setText(lines.join(QLatin1Char('\n')));
    notice->setVisible(!lines.isEmpty());
}

void TForm1::ShowContinue(const SideReading& read) {
    Button7->setVisible(read.continuable);
    if (!read.continueRefusal.empty()) {
        Label9->setText(Label9->text() + QLatin1Char('\n') + QStringLiteral("无法继续复制：") +
                        ToQ(read.continueRefusal));
        Label9->show();
    }
}

void TForm1::Button7Click() {
    if (!m_targetRead)
        return;
    Form7->OfferContinue(m_targetRead->path);
    OpenDialog(this, Form7);
}

void TForm1::ListDirFiles(const std::string& dir, QTreeWidget* fileList) {
    FillReportList(fileList, FunSub::FileListRows(FunSub::ListDirFiles(dir)));
}

void TForm1::ShowClickedDirectory(QTreeWidget* view, const FunSub::DirTree& tree,
                                  QTreeWidget* fileList) {
    QTreeWidgetItem* item = view->currentItem();
    if (!item || !item->isSelected())
        return;
    const int index = item->data(0, kNodeIndexRole).toInt();
    if (index < 0 || index >= tree.size())
        return;
    WaitCursor wait;
    const std::string path = FunSub::NodePath(tree, index);
    m_statusPanel->setText(QStringLiteral("当前路径：") + ToQ(path));
    fileList->clear();
    if (tree.nodes[index].loop)
        FillReportList(fileList, FunSub::FileListRows({}));  // its files are its ancestor's
    else
        ListDirFiles(path, fileList);
}

void TForm1::SelectNode(Side side, int node) {
    const bool targetSide = side == Side::Target;
    const FunSub::DirTree& tree = targetSide ? m_targetTree : m_sourceTree;
    QTreeWidget* view = targetSide ? TreeView2 : TreeView1;
    QTreeWidgetItem* item = view->topLevelItem(0);
    if (node < 0 || node >= tree.size() || !item)
        return;
    std::vector<int> down;  // the nodes from below the root to `node`
    for (int n = node; n > 0; n = tree.nodes[static_cast<std::size_t>(n)].parent) down.push_back(n);
    for (auto n = down.rbegin(); n != down.rend() && item; ++n) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i) {
            if (item->child(i)->data(0, kNodeIndexRole).toInt() == *n)
                next = item->child(i);
        }
        item = next;
    }
    if (!item)
        return;
    for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) up->setExpanded(true);
    view->setCurrentItem(item);
    view->scrollToItem(item);
    ShowClickedDirectory(view, tree, targetSide ? ListView2 : ListView1);
}

void TForm1::ShowFilterOnMap(std::function<bool(int node, const Platform::Entry& file)> passes) {
    Map1->ShowPassing(std::move(passes));
}

void TForm1::TreeView1Click() {
    ShowClickedDirectory(TreeView1, m_sourceTree, ListView1);
}

void TForm1::TreeView2Click() {
    ShowClickedDirectory(TreeView2, m_targetTree, ListView2);
}

void TForm1::ComboBoxEx1Click(int index) {
    if (index < 0 || index >= static_cast<int>(m_outputSubdirs.size()))
        return;
    const std::string path = m_outputSubdirs[static_cast<std::size_t>(index)];
    m_statusPanel->setText(ToQ(path));
    ShowTargetTree(path);
}

void TForm1::Button5Click() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    OpenDialog(this, Form4);
}

void TForm1::Button1Click() {
    OpenDialog(this, Form3);
}

void TForm1::Button2Click() {
    OpenInstructions();
}

void TForm1::Button3Click() {
    OpenDialog(this, Form6);
}

void TForm1::Button4Click() {
    TreeView1->clear();
    TreeView2->clear();
    close();
}

void TForm1::BitBtn1Click() {
    FunSub::HintText = kSettingsHint;
    OpenDialog(this, FormAccept);
}

void TForm1::Button6Click() {
    if (FunSub::SourceDir.empty()) {
        Messages().Warn(QStringLiteral("请先指定源目录，再与目标目录对比"));
        return;
    }
    if (ShownTarget().empty()) {
        Messages().Warn(QStringLiteral("当前输出目录下没有可以对比的目标目录"));
        return;
    }
    OpenDialog(this, Form8);
}

std::string TForm1::ShownTarget() const {
    const int index = ComboBoxEx1->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_outputSubdirs.size()))
        return {};
    return m_outputSubdirs[static_cast<std::size_t>(index)];
}

void TForm1::ShowSourceStats(FunSub::TreeStats stats) {
    ShowStats(stats, ListView3, ListBox1, DirNameList1);
    FunSub::TreeFileTotal = stats.fileTotal;
    m_sourceStats = std::move(stats);
}

void TForm1::SourceCopied() {
    Button1->setEnabled(false);
}

void TForm1::ShowChosenSource(const std::string& path) {
    Edit3->setText(ToQ(path));
}

void TForm1::ShowDirectory(Side side, const std::string& root, const std::string& relativeDir) {
    const bool targetSide = side == Side::Target;
    if (targetSide && ShownTarget() != root) {
        const auto at = std::find(m_outputSubdirs.begin(), m_outputSubdirs.end(), root);
        if (at == m_outputSubdirs.end())
            return;
        const int index = static_cast<int>(at - m_outputSubdirs.begin());
        ComboBoxEx1->setCurrentIndex(index);
        ComboBoxEx1Click(index);
    }
    const FunSub::DirTree& tree = targetSide ? m_targetTree : m_sourceTree;
    QTreeWidget* view = targetSide ? TreeView2 : TreeView1;
    QTreeWidgetItem* item = view->topLevelItem(0);
    if (tree.empty() || !item || FunSub::NodePath(tree, 0) != root)
        return;
    // Down the tree name by name; each item knows its node.
    for (std::size_t start = 0; start < relativeDir.size();) {
        const std::size_t cut =
            std::min(relativeDir.find(FunSub::kSeparator, start), relativeDir.size());
        const std::string name = relativeDir.substr(start, cut - start);
        start = cut + 1;
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i) {
            const int node = item->child(i)->data(0, kNodeIndexRole).toInt();
            if (node > 0 && node < tree.size() && tree.nodes[node].label == name)
                next = item->child(i);
        }
        if (!next)
            break;  // gone since: its nearest ancestor the tree holds
        item = next;
    }
    for (QTreeWidgetItem* up = item->parent(); up; up = up->parent()) up->setExpanded(true);
    view->setCurrentItem(item);
    view->scrollToItem(item);
    view->setFocus();
    (targetSide ? PageControl2 : PageControl1)->setCurrentIndex(0);
    ShowClickedDirectory(view, tree, targetSide ? ListView2 : ListView1);
}

void TForm1::FormClose() {
    hide();
    QCoreApplication::quit();
}
