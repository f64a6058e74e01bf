#include "ui/Compare.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "core/FunSub.h"
#include "ui/ColumnWidths.h"
#include "ui/MainWindowPort.h"
#include "ui/Messages.h"
#include "ui/Palette.h"

TForm8* Form8 = nullptr;

namespace {

// Which tree of the main window a row's file lies in, and where.
constexpr int kSidesRole = Qt::UserRole;
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kDirectoryRole = Qt::UserRole + 2;
enum Sides { kSourceSide = 1, kTargetSide = 2 };

QString Thousands(std::int64_t n) {
    return ToQ(FunSub::FormatThousands(n));
}

// "2 个目录", or nothing where there are none.
QString DirectoriesText(const FunSub::DiffTotals& totals) {
    return totals.directories > 0 ? Thousands(totals.directories) + QStringLiteral(" 个目录")
                                  : QString();
}

QTreeWidgetItem* GroupRow(const QString& caption, const FunSub::DiffTotals& totals) {
    auto* row = new QTreeWidgetItem(
        {caption, Thousands(totals.files), Thousands(totals.bytes), DirectoriesText(totals)});
    QFont bold = row->font(0);
    bold.setBold(true);
    row->setFont(0, bold);
    return row;
}

// The rows of one group's entries, added in one insertion.
void AddEntries(QTreeWidgetItem* parent, const std::vector<FunSub::DiffEntry>& entries, int sides,
                bool changed) {
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(entries.size()));
    for (const FunSub::DiffEntry& e : entries) {
        const QString path =
            ToQ(e.path) +
            (e.directory ? QString(QChar::fromLatin1(FunSub::kSeparator)) : QString());
        const QString note = changed       ? ToQ(FunSub::ChangeText(e))
                             : e.directory ? QStringLiteral("目录")
                                           : QString();
        auto* row = new QTreeWidgetItem(
            {path, QString(), e.directory ? QString() : Thousands(e.size), note});
        row->setData(0, kSidesRole, sides);
        row->setData(0, kPathRole,
                     QByteArray(e.path.data(), static_cast<qsizetype>(e.path.size())));
        row->setData(0, kDirectoryRole, e.directory);
        row->setToolTip(0, path);
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        rows.append(row);
    }
    parent->addChildren(rows);
}

std::string DirectoryOf(const std::string& path) {
    const auto cut = path.find_last_of(FunSub::kSeparator);
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

TForm8::TForm8()
    : ChainWindow(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint) {
    setWindowTitle(QStringLiteral("源目录与目标目录对比"));
    SetFirstPlacement(FirstPlacement::CentreOnScreen);

    Label1 = new QLabel(this);
    Label2 = new QLabel(this);
    for (QLabel* l : {Label1, Label2}) {
        SetTextColour(l, kPurple);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    Label3 = new QLabel(this);
    SetTextColour(Label3, kBlue);
    Label3->setWordWrap(true);
    Label4 = new QLabel(this);
    SetTextColour(Label4, Qt::red);
    Label4->setWordWrap(true);
    Label4->hide();

    ListView1 = new QTreeWidget(this);
    ListView1->setColumnCount(4);
    ListView1->setHeaderLabels({QStringLiteral("分组 / 相对路径"), QStringLiteral("文件数"),
                                QStringLiteral("大小"), QStringLiteral("说明")});
    for (int c : {1, 2})
        ListView1->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    ListView1->setColumnWidth(0, 300);
    ListView1->setColumnWidth(1, 70);
    ListView1->setColumnWidth(2, 110);
    ListView1->setColumnWidth(3, 240);
    ListView1->header()->setStretchLastSection(true);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A double-click on a file shows it in the main window; groups open with the expander
    // or the keyboard.
    ListView1->setExpandsOnDoubleClick(false);
    ShowFocusOnFrame(ListView1);

    Button1 = new QPushButton(QStringLiteral("放　　弃"), this);
    Button1->setMinimumWidth(88);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(4);
    layout->addWidget(Label3);
    layout->addWidget(Label4);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);
    resize(780, 500);

    m_pump.setInterval(100);
    connect(&m_pump, &QTimer::timeout, this, [this] { ShowReading(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { Guard([this, item] { ListView1DblClick(item); }); });
}

void TForm8::FormActivate() {
    m_source = FunSub::SourceDir;
    m_target = MainWindow()->ShownTarget();
    Label1->setText(QStringLiteral("源目录：") + ToQ(m_source));
    Label2->setText(QStringLiteral("目标目录：") + ToQ(m_target));
    Label4->hide();
    ListView1->clear();
    m_diff = {};
    Button1->setText(QStringLiteral("放　　弃"));
    Button1->setFocus();

    auto filesRead = std::make_shared<std::atomic<std::int64_t>>(0);
    m_filesRead = filesRead;
    auto result = std::make_shared<FunSub::TargetDiff>();
    const std::string source = m_source;
    const std::string target = m_target;
    ShowReading();
    m_pump.start();
    m_reading.Start(
        [source, target, filesRead, result](Background::Stop stop) {
            FunSub::DiffOptions options;
            options.stop = stop;
            options.progress = [filesRead](std::int64_t files) { *filesRead = files; };
            *result = FunSub::CompareTarget(source, target, options);
        },
        [this, result](std::exception_ptr failure) {
            m_pump.stop();
            Button1->setText(QStringLiteral("返　　回"));
            if (failure) {
                try {
                    std::rethrow_exception(failure);
                } catch (const std::exception& e) {
                    const auto* quill = dynamic_cast<const FunSub::QuillError*>(&e);
                    const std::string path = quill ? quill->path() : std::string();
                    Label3->setText(QStringLiteral("无法对比：") + ToQ(e.what()) +
                                    (path.empty() ? QString() : QStringLiteral("：") + ToQ(path)));
                }
                return;
            }
            m_diff = std::move(*result);
            ShowDiff();
        });
}

void TForm8::ShowReading() {
    const std::int64_t files = m_filesRead ? m_filesRead->load() : 0;
    Label3->setText(
        QStringLiteral("正在读取源目录和目标目录：已读取 %1 个文件…").arg(Thousands(files)));
}

void TForm8::ShowDiff() {
    Label3->setText(ToQ(FunSub::DiffSummaryText(m_diff)));
    QStringList notices;
    for (const std::string& n : FunSub::DiffNotices(m_diff)) notices << ToQ(n);
    Label4->setText(notices.join(QLatin1Char('\n')));
    Label4->setVisible(!notices.isEmpty());

    ListView1->clear();
    const bool recorded = m_diff.filterRecorded;
    auto* leftOut = GroupRow(
        ToQ(std::string(recorded ? FunSub::kLeftOutRecordedCaption : FunSub::kLeftOutCaption)),
        m_diff.leftOutTotals);
    leftOut->setText(3, Thousands(static_cast<std::int64_t>(m_diff.leftOut.size())) +
                            (recorded ? QStringLiteral(" 条规则") : QStringLiteral(" 种类型")));
    for (const FunSub::LeftOutType& type : m_diff.leftOut) {
        auto* row = new QTreeWidgetItem(
            leftOut, {ToQ(FunSub::LeftOutLabel(type)), Thousands(type.files.totals.files),
                      Thousands(type.files.totals.bytes), DirectoriesText(type.files.totals)});
        for (int c : {1, 2}) row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        AddEntries(row, type.files.entries, kSourceSide, false);
    }
    const struct {
        const char* caption;
        const FunSub::DiffGroup& group;
        int sides;
    } groups[] = {{FunSub::kMissingCaption, m_diff.missing, kSourceSide},
                  {FunSub::kChangedCaption, m_diff.changed, kSourceSide | kTargetSide},
                  {FunSub::kExtraCaption, m_diff.extra, kTargetSide}};
    QList<QTreeWidgetItem*> rows{leftOut};
    for (const auto& g : groups) {
        auto* row = GroupRow(ToQ(std::string(g.caption)), g.group.totals);
        AddEntries(row, g.group.entries, g.sides, &g.group == &m_diff.changed);
        rows << row;
    }
    for (int c : {1, 2}) {
        for (QTreeWidgetItem* row : rows)
            row->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    ListView1->addTopLevelItems(rows);
    ListView1->setCurrentItem(rows.front());
    WidenColumnsToTexts(ListView1);
}

void TForm8::Button1Click() {
    m_pump.stop();
    m_reading.Abandon();
    ReturnTo(this, MainWindow());
}

void TForm8::FormClose() {
    Button1Click();
}

void TForm8::ListView1DblClick(QTreeWidgetItem* item) {
    const int sides = item ? item->data(0, kSidesRole).toInt() : 0;
    if (sides == 0)
        return;
    const QByteArray raw = item->data(0, kPathRole).toByteArray();
    const std::string path(raw.constData(), static_cast<std::size_t>(raw.size()));
    const std::string dir = item->data(0, kDirectoryRole).toBool() ? path : DirectoryOf(path);
    const std::string source = m_source;
    const std::string target = m_target;
    Button1Click();
    if (sides & kSourceSide)
        MainWindow()->ShowDirectory(Side::Source, source, dir);
    if (sides & kTargetSide)
        MainWindow()->ShowDirectory(Side::Target, target, dir);
}
