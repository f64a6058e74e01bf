#include "ui/Sets.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <optional>

#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "ui/ColumnWidths.h"
#include "ui/Copying.h"
#include "ui/Main.h"
#include "ui/Messages.h"

TForm3* Form3 = nullptr;

namespace {

const QColor kBlue(0, 0, 255);
const QColor kMaroon(128, 0, 0);
const QColor kPurple(128, 0, 128);

constexpr int kOffsetFromMain = 300;
// The raw bytes of a type key as the main window's list holds them, when it keeps them.
constexpr int kRawKeyRole = Qt::UserRole;
// The caption a row was given, to tell an edited caption from the original one.
constexpr int kOriginalCaptionRole = Qt::UserRole + 1;

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

std::int64_t SetsText::ListNumber(const QString& text) {
    const std::string digits = FunSub::StripCommas(text.trimmed().toStdString());
    std::int64_t value = 0;
    const char* first = digits.data();
    const char* last = first + digits.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || end != last || first == last)
        return 0;
    return value;
}

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

    CheckBox1 = new QCheckBox(QStringLiteral("遇到无法复制的项目时跳过，结束后列出"), this);
    SetTextColour(CheckBox1, kMaroon);
    CheckBox2 = new QCheckBox(QStringLiteral("复制后校验（逐字节比较）"), this);
    SetTextColour(CheckBox2, kMaroon);

    Button1 = new QPushButton(QStringLiteral("确　定"), this);
    Button2 = new QPushButton(QStringLiteral("放　弃"), this);
    Button3 = new QPushButton(QStringLiteral("上次的选择"), this);
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

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox2);
    layout->addSpacing(6);
    layout->addWidget(Label1);
    layout->addWidget(Label3);
    layout->addSpacing(6);
    layout->addWidget(Label2);
    layout->addWidget(Label4);
    layout->addWidget(ListView1, 1);
    layout->addWidget(CheckBox1);
    layout->addWidget(CheckBox2);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setFixedSize(360, 480);
    // Tab goes down the dialog; the list is made after the widgets below it.
    setTabOrder(RadioButton2, ListView1);
    setTabOrder(ListView1, CheckBox1);
    setTabOrder(CheckBox1, CheckBox2);
    setTabOrder(CheckBox2, Button3);
    setTabOrder(Button3, Button1);
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
    PlaceAt(Form1->Left() + kOffsetFromMain, Form1->Top());
    Label4->setText(QStringLiteral("类型：0  文件数：0  总大小：0"));
    CheckBox1->setChecked(FunSub::KeepGoing);
    CheckBox2->setChecked(FunSub::Verify);
    fillSourceTotals();
    fillTypeList();
    applyMode();
    Button3->setEnabled(FunSub::LastFilterChoice(FunSub::SourceDir).has_value());
}

void TForm3::fillSourceTotals() {
    const QTreeWidgetItem* summary = Form1->ListView3->topLevelItem(0);
    const QString types = summary ? TextAfterFirstColon(summary->text(0)) : QStringLiteral("0");
    const QString files = summary ? summary->text(1) : QStringLiteral("0");
    const QString bytes = summary ? summary->text(2) : QStringLiteral("0");
    Label3->setText(QStringLiteral("类型：") + types + QStringLiteral(" 文件数：") + files +
                    QStringLiteral(" 总大小：") + bytes);
}

void TForm3::fillTypeList() {
    ListView1->clear();
    const QTreeWidget* source = Form1->ListView3;
    QList<QTreeWidgetItem*> rows;
    for (int i = 1; i < source->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* from = source->topLevelItem(i);
        auto* row = new QTreeWidgetItem({from->text(0), from->text(1), from->text(2)});
        row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                      Qt::ItemIsEditable | Qt::ItemNeverHasChildren);
        row->setCheckState(0, Qt::Unchecked);
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setData(0, kRawKeyRole, from->data(0, kRawKeyRole));
        row->setData(0, kOriginalCaptionRole, from->text(0));
        rows.append(row);
    }
    ListView1->addTopLevelItems(rows);
    WidenColumnsToTexts(ListView1);
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
        files += SetsText::ListNumber(row->text(1));
        bytes += SetsText::ListNumber(row->text(2));
    }
    Label4->setText(QStringLiteral("类型：%1 文件数：%2 总大小：%3")
                        .arg(types)
                        .arg(files)
                        .arg(ToQ(FunSub::FormatThousands(bytes))));
}

void TForm3::Button1Click() {
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
    FunSub::SelectedTypes = std::move(selected);
    FunSub::KeepGoing = CheckBox1->isChecked();
    FunSub::Verify = CheckBox2->isChecked();
    // Not being able to remember the choice takes nothing from the copy.
    if (!FunSub::SourceDir.empty())
        FunSub::RememberFilterChoice(FunSub::SourceDir,
                                     {FunSub::FilterMode, FunSub::SelectedTypes});
    HandOver(this, Form7);
}

void TForm3::Button2Click() {
    ReturnTo(this, Form1);
}

void TForm3::Button3Click() {
    const std::optional<FunSub::FilterChoice> last = FunSub::LastFilterChoice(FunSub::SourceDir);
    if (!last) {
        Button3->setEnabled(false);
        return;
    }
    (last->mode == FunSub::FilterKind::Exclude ? RadioButton1 : RadioButton2)->setChecked(true);
    // Types the source no longer has have no row, and so are passed over.
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
    ListView1Click();
}

void TForm3::FormClose() {
    Button2Click();
}
