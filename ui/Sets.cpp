#include "ui/Sets.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>

#include "core/CopyJob.h"
#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "core/TreeFilter.h"
#include "core/TreeStats.h"
#include "ui/ColumnWidths.h"
#include "ui/Copying.h"
#include "ui/MainWindowPort.h"
#include "ui/Messages.h"
#include "ui/Palette.h"

TForm3* Form3 = nullptr;

namespace {

constexpr int kOffsetFromMain = 300;
// The raw bytes of a type key as the main window's list holds them, when it keeps them.
constexpr int kRawKeyRole = Qt::UserRole;
// The caption a row was given, to tell an edited caption from the original one.
constexpr int kOriginalCaptionRole = Qt::UserRole + 1;
// The row's number in the files and the size columns, as the statistics counted it.
constexpr int kNumberRole = Qt::UserRole + 2;

// Grid lines between the cells, and in-place editing of the type column only.
class TypeListDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(QColor(208, 208, 208));
        const QRect r = option.rect;
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        if (index.column() != 0)
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }
};

QString TextAfterFirstColon(const QString& caption) {
    const qsizetype colon = caption.indexOf(QLatin1Char(':'));
    return colon < 0 ? caption : caption.mid(colon + 1);
}

}  // namespace

TForm3::TForm3() : ChainWindow(kFixedDialogFlags) {
    setWindowTitle(QStringLiteral("过滤参数设置"));
    createWidgets();
    createList();
    createLayout();
    connectSignals();
}

void TForm3::createWidgets() {
    GroupBox2 = new QGroupBox(QStringLiteral("过滤方式选择"), this);
    SetTextColour(GroupBox2, kBlue);
    RadioButton1 = new QRadioButton(QStringLiteral("滤除指定的文件类型"), GroupBox2);
    RadioButton2 = new QRadioButton(QStringLiteral("仅保留指定的文件类型"), GroupBox2);
    SetTextColour(RadioButton1, kMaroon);
    SetTextColour(RadioButton2, kMaroon);
    RadioButton1->setChecked(true);

    Label1 = new QLabel(QStringLiteral("源目录中文件类型统计："), this);
    SetTextColour(Label1, Qt::black);
    Label3 = new QLabel(this);
    SetTextColour(Label3, kPurple);
    Label2 = new QLabel(this);
    SetTextColour(Label2, kBlue);
    Label4 = new QLabel(this);
    SetTextColour(Label4, kPurple);
    KeptBar = new ShareBar(this);

    CheckBox1 = new QCheckBox(QStringLiteral("遇到无法复制的项目时跳过，结束后列出"), this);
    SetTextColour(CheckBox1, kMaroon);
    CheckBox2 = new QCheckBox(QStringLiteral("复制后校验（逐字节比较）"), this);
    SetTextColour(CheckBox2, kMaroon);

    Button1 = new QPushButton(QStringLiteral("确　定"), this);
    Button2 = new QPushButton(QStringLiteral("放　弃"), this);
    Button3 = new QPushButton(QStringLiteral("上次的选择"), this);

    Rules = new RulesPanel(this);
    RuleEffect = new QLabel(this);
    CopyEffect = new QLabel(this);
    SetTextColour(RuleEffect, kPurple);
    SetTextColour(CopyEffect, kPurple);
}

void TForm3::createList() {
    ListView1 = new QTreeWidget(this);
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels(
        {QStringLiteral("文件类型"), QStringLiteral("文件数"), QStringLiteral("各类文件大小")});
    ListView1->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    ListView1->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    ListView1->header()->setMinimumSectionSize(20);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->setColumnWidth(0, 100);
    ListView1->setColumnWidth(1, 60);
    ListView1->setColumnWidth(2, 120);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSortingEnabled(false);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::SelectedClicked);
    ListView1->setItemDelegate(new TypeListDelegate(ListView1));
    ShowFocusOnFrame(ListView1);
    ListView1->viewport()->installEventFilter(this);
}

void TForm3::createLayout() {
    auto* modes = new QHBoxLayout(GroupBox2);
    modes->addWidget(RadioButton1);
    modes->addSpacing(12);
    modes->addWidget(RadioButton2);
    modes->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addSpacing(24);
    buttons->addWidget(Button2);
    buttons->addStretch(1);

    auto* types = new QVBoxLayout;
    types->addWidget(GroupBox2);
    types->addSpacing(6);
    types->addWidget(Label1);
    types->addWidget(Label3);
    types->addSpacing(6);
    types->addWidget(Label2);
    types->addWidget(Label4);
    types->addWidget(KeptBar);
    types->addWidget(ListView1, 1);
    types->addWidget(CheckBox1);
    types->addWidget(CheckBox2);

    auto* rules = new QVBoxLayout;
    auto* rulesCaption =
        new QLabel(QStringLiteral("按目录和名称滤除（两种过滤方式下都滤除）："), this);
    SetTextColour(rulesCaption, kBlue);
    rules->addWidget(rulesCaption);
    rules->addWidget(Rules, 1);
    rules->addWidget(RuleEffect);
    rules->addWidget(CopyEffect);

    auto* columns = new QHBoxLayout;
    columns->addLayout(types, 1);
    columns->addSpacing(10);
    columns->addLayout(rules, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setFixedSize(740, 480);
    // Tab goes down the dialog; the list is made after the widgets below it.
    setTabOrder(RadioButton2, ListView1);
    setTabOrder(ListView1, CheckBox1);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, Button3);
    setTabOrder(Button3, Button1);
    setTabOrder(Button1, Button2);
    setTabOrder(Button2, Rules->DirList);
    setTabOrder(Rules->DirList, Rules->Patterns);
    setTabOrder(Rules->Patterns, Rules->SizeBox);
    setTabOrder(Rules->SizeBox, Rules->SizeField);
    setTabOrder(Rules->SizeField, Rules->GitBox);
}

void TForm3::connectSignals() {
    // Whichever way a radio button comes on (mouse, space bar, arrow keys), the mode follows.
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Guard([this] { RadioButton1Click(); });
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Guard([this] { RadioButton2Click(); });
    });
    connect(ListView1, &QTreeWidget::itemClicked, this,
            [this] { Guard([this] { ListView1Click(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guard([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guard([this] { Button3Click(); }); });
    // The effect lines follow every change, keyboard ticks included.
    connect(ListView1, &QTreeWidget::itemChanged, this, [this] { showEffect(); });
    connect(RadioButton1, &QRadioButton::toggled, this, [this] { showEffect(); });
    connect(Rules, &RulesPanel::changed, this, [this] { showEffect(); });
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    // A click on an item arrives as itemClicked, after the tick it hit has changed; a click
    // beside the items changes nothing but still recounts what the keyboard may have ticked.
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (ListView1->itemAt(mouse->position().toPoint()) == nullptr) {
            Guard([this] { ListView1Click(); });
        }
    }
    return ChainWindow::eventFilter(watched, event);
}

void TForm3::FormActivate() {
    PlaceAt(MainWindow()->Left() + kOffsetFromMain, MainWindow()->Top());
    Label4->setText(QStringLiteral("类型：0  文件数：0  总大小：0"));
    CheckBox1->setChecked(FunSub::KeepGoing);
    CheckBox2->setChecked(FunSub::Verify);
    fillSourceTotals();
    fillTypeList();
    Rules->Fill(MainWindow()->SourceStats().DirNameStats);
    applyMode();
    showEffect();
    Button3->setEnabled(FunSub::LastFilterChoice(FunSub::SourceDir).has_value());
}

// The source's totals, as the summary row of the main window's type list gives them.
void TForm3::fillSourceTotals() {
    const FunSub::ListRow summary = FunSub::TypeListRows(MainWindow()->SourceStats()).front();
    Label3->setText(QStringLiteral("类型：") + TextAfterFirstColon(ToQ(summary.caption)) +
                    QStringLiteral(" 文件数：") + ToQ(summary.subItems[0]) +
                    QStringLiteral(" 总大小：") + ToQ(summary.subItems[1]));
}

// The rows of the main window's type list, made from the same statistics in the same order.
void TForm3::fillTypeList() {
    ListView1->clear();
    const FunSub::TreeStats& stats = MainWindow()->SourceStats();
    std::unordered_map<std::string, const FunSub::FileType*> types;
    for (const FunSub::FileType& t : stats.TypeStats) types.emplace(t.TypeKey, &t);
    const std::vector<FunSub::ListRow> listed = FunSub::TypeListRows(stats);
    QList<QTreeWidgetItem*> rows;
    for (std::size_t i = 1; i < listed.size(); ++i) {
        const FunSub::ListRow& from = listed[i];
        const FunSub::FileType& type = *types.at(from.caption);
        auto* row =
            new QTreeWidgetItem({ToQ(from.caption), ToQ(from.subItems[0]), ToQ(from.subItems[1])});
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                      Qt::ItemIsEditable | Qt::ItemNeverHasChildren);
        row->setCheckState(0, Qt::Unchecked);
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        // The caption's own bytes: a type key that is not UTF-8 still filters exactly.
        row->setData(0, kRawKeyRole,
                     QByteArray(from.caption.data(), static_cast<qsizetype>(from.caption.size())));
        row->setData(0, kOriginalCaptionRole, row->text(0));
        row->setData(1, kNumberRole, static_cast<qlonglong>(type.FileCount));
        row->setData(2, kNumberRole, static_cast<qlonglong>(type.TotalSize));
        rows.append(row);
    }
    ListView1->addTopLevelItems(rows);
    ShowTypeSwatches(ListView1, kRawKeyRole, 0);
}

void TForm3::applyMode() {
    FunSub::FilterMode =
        RadioButton1->isChecked() ? FunSub::FilterKind::Exclude : FunSub::FilterKind::KeepOnly;
    Label2->setText(RadioButton1->isChecked() ? QStringLiteral("从中指定要滤除的文件类型：")
                                              : QStringLiteral("从中指定仅保留的文件类型："));
}

void TForm3::RadioButton1Click() {
    applyMode();
}

void TForm3::RadioButton2Click() {
    applyMode();
}

void TForm3::ListView1Click() {
    std::int64_t types = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked)
            continue;
        ++types;
        files += row->data(1, kNumberRole).toLongLong();
        bytes += row->data(2, kNumberRole).toLongLong();
    }
    Label4->setText(QStringLiteral("类型：%1 文件数：%2 总大小：%3")
                        .arg(types)
                        .arg(files)
                        .arg(ToQ(FunSub::FormatThousands(bytes))));
}

std::vector<std::string> TForm3::tickedTypes() const {
    std::vector<std::string> selected;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ListView1->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked)
            continue;
        // A key that the display could not show faithfully keeps its own bytes, unless the
        // user wrote a caption of their own.
        const QVariant raw = row->data(0, kRawKeyRole);
        const bool unedited = row->text(0) == row->data(0, kOriginalCaptionRole).toString();
        if (unedited && raw.typeId() == QMetaType::QByteArray) {
            selected.push_back(raw.toByteArray().toStdString());
        } else {
            selected.push_back(row->text(0).toUtf8().toStdString());
        }
    }
    return selected;
}

void TForm3::showEffect() {
    const FunSub::CopyFilter filter(
        RadioButton1->isChecked() ? FunSub::FilterKind::Exclude : FunSub::FilterKind::KeepOnly,
        tickedTypes(), Rules->Rules());
    // The rules are read once for the totals and the map's greying.
    const auto& files = MainWindow()->SourceFiles();
    auto rules = std::make_shared<const FunSub::TreeFilter>(MainWindow()->SourceTree(),
                                                            FunSub::RulesAlone(filter), &files);
    const FunSub::FilterEffect e = FunSub::MeasureFilter(*rules, files, filter);
    auto n = [](std::int64_t v) { return ToQ(FunSub::FormatThousands(v)); };
    RuleEffect->setText(QStringLiteral("规则滤除：%1 个目录，%2 个文件，%3 B")
                            .arg(n(e.ruleDirectories), n(e.ruleFiles), n(e.ruleBytes)));
    CopyEffect->setText(
        QStringLiteral("将复制：%1 个文件，%2 B").arg(n(e.copiedFiles), n(e.copiedBytes)));
    KeptBar->SetShare(e.copiedBytes, MainWindow()->SourceStats().byteTotal);
    MainWindow()->ShowFilterOnMap([rules, filter](int node, const Platform::Entry& file) {
        return FunSub::PassesWithRules(*rules, filter, static_cast<std::size_t>(node), file);
    });
    Button1->setEnabled(Rules->Problem().isEmpty());
}

void TForm3::hideEvent(QHideEvent* event) {
    MainWindow()->ShowFilterOnMap({});
    ChainWindow::hideEvent(event);
}

void TForm3::Button1Click() {
    if (!Rules->Problem().isEmpty())
        return;
    FunSub::SelectedTypes = tickedTypes();
    FunSub::SelectedRules = Rules->Rules();
    FunSub::KeepGoing = CheckBox1->isChecked();
    FunSub::Verify = CheckBox2->isChecked();
    // Not being able to remember the choice takes nothing from the copy.
    if (!FunSub::SourceDir.empty())
        FunSub::RememberFilterChoice(
            FunSub::SourceDir, {FunSub::FilterMode, FunSub::SelectedTypes, FunSub::SelectedRules});
    HandOver(this, Form7);
}

void TForm3::Button2Click() {
    ReturnTo(this, MainWindow());
}

void TForm3::Button3Click() {
    const std::optional<FunSub::FilterChoice> last = FunSub::LastFilterChoice(FunSub::SourceDir);
    if (!last) {
        Button3->setEnabled(false);
        return;
    }
    (last->mode == FunSub::FilterKind::Exclude ? RadioButton1 : RadioButton2)->setChecked(true);
    // Types the source no longer has have no row, and so are passed over.
    const QSignalBlocker quiet(ListView1);  // the effect is counted once, with the rules
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView1->topLevelItem(i);
        const QVariant raw = row->data(0, kRawKeyRole);
        const std::string key = raw.typeId() == QMetaType::QByteArray
                                    ? raw.toByteArray().toStdString()
                                    : row->text(0).toUtf8().toStdString();
        const bool wanted =
            std::find(last->types.begin(), last->types.end(), key) != last->types.end();
        row->setCheckState(0, wanted ? Qt::Checked : Qt::Unchecked);
    }
    Rules->Show(last->rules);
    ListView1Click();
}

void TForm3::FormClose() {
    Button2Click();
}
