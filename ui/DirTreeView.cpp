#include "ui/DirTreeView.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>
#include <utility>

#include "ui/ChainWindow.h"

DirTreeView::DirTreeView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* column = header();
    column->setStretchLastSection(false);
    column->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // Every shown row counts, not a sample around the visible part: a long name further
    // down is not cut either.
    column->setResizeContentsPrecision(-1);
    ShowFocusOnFrame(this);
    QAbstractItemModel* rows = model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(rows, signal, this, &DirTreeView::Forget);
    connect(rows, &QAbstractItemModel::modelReset, this, &DirTreeView::Forget);
    connect(rows, &QAbstractItemModel::layoutChanged, this, &DirTreeView::Forget);
    connect(rows, &QAbstractItemModel::dataChanged, this, &DirTreeView::Forget);
    connect(this, &QTreeView::expanded, this, &DirTreeView::Forget);
    connect(this, &QTreeView::collapsed, this, &DirTreeView::Forget);
}

// The model outlives this part of the view and empties itself as it goes.
DirTreeView::~DirTreeView() {
    model()->disconnect(this);
}

void DirTreeView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // Nodes just opened widen the column only when the view gets round to it; the range
    // of the scroll bar has to take them in now.
    header()->length();
    updateGeometries();
    QScrollBar* bar = horizontalScrollBar();
    const int kept = bar->value();
    QTreeWidget::scrollTo(index, hint);  // for the rows; its sideways move is undone
    bar->setValue(kept);
    if (!index.isValid())
        return;
    const QRect cell = visualRect(index);  // from the label's left edge, in the viewport
    const int left = cell.left() - indentation();
    const int right = cell.left() + sizeHintForIndex(index).width();
    const int width = viewport()->width();
    if (left < 0 || right - left > width) {
        bar->setValue(kept + left);
    } else if (right > width) {
        bar->setValue(kept + right - width);
    }
}

void DirTreeView::keyPressEvent(QKeyEvent* event) {
    QTreeWidgetItem* item = currentItem();
    if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier || !item) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat())
        return;
    setCurrentItem(item);  // selected too, as a click leaves it
    emit itemClicked(item, 0);
}

void DirTreeView::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    if (!currentItem() && topLevelItemCount() > 0)
        setCurrentItem(topLevelItem(0), 0, QItemSelectionModel::NoUpdate);
}

int DirTreeView::sizeHintForColumn(int column) const {
    if (m_rowsWidth < 0)
        m_rowsWidth = RowsWidth();
    return qMax(column == 0 ? m_rowsWidth : QTreeWidget::sizeHintForColumn(column),
                viewport()->width());
}

void DirTreeView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_advance.clear();
        Forget();
    }
    QTreeWidget::changeEvent(event);
}

int DirTreeView::TextEstimate(const QString& text) const {
    if (m_advance.empty())
        m_advance.assign(0x10000, -1);
    const QFontMetrics metrics(font());
    int width = 0;
    for (const QChar c : text) {
        // Pairs and marks change their neighbours' shape: such a label is always laid out.
        if (c.isSurrogate() || c.category() <= QChar::Mark_Enclosing)
            return -1;
        std::int16_t& advance = m_advance[c.unicode()];
        if (advance < 0)
            advance = static_cast<std::int16_t>(qBound(0, metrics.horizontalAdvance(c), 0x7fff));
        width += advance;
    }
    return width;
}

int DirTreeView::RowsWidth() const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int step = indentation();
    const int decoration = rootIsDecorated() ? 1 : 0;
    struct Row {
        int estimate;  // indentation and label; -1 when it has to be laid out
        QModelIndex index;
        int indent;
    };
    std::vector<Row> rows;
    for (QModelIndex index = model()->index(0, 0); index.isValid(); index = indexBelow(index)) {
        int depth = decoration;
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) ++depth;
        const int text = TextEstimate(index.data().toString());
        rows.push_back({text < 0 ? -1 : depth * step + text, index, depth * step});
    }
    // The rows that cannot be estimated and the widest estimates are laid out; the estimate
    // of the widest row left out, with what icon and margins add and some room for the
    // text's kerning, bounds every row not laid out.
    constexpr std::size_t kLaidOut = 32;
    auto unsure =
        std::partition(rows.begin(), rows.end(), [](const Row& r) { return r.estimate < 0; });
    auto cut = rows.end();
    if (static_cast<std::size_t>(rows.end() - unsure) > kLaidOut) {
        cut = unsure + kLaidOut;
        std::nth_element(unsure, cut - 1, rows.end(),
                         [](const Row& a, const Row& b) { return a.estimate > b.estimate; });
        // nth_element leaves the widest before cut - 1 and the rest after it
    }
    int widest = 0;
    int around = 0;  // what the icon and the margins add to an estimate
    for (auto r = rows.begin(); r != cut; ++r) {
        const int width =
            r->indent + itemDelegateForIndex(r->index)->sizeHint(option, r->index).width();
        widest = qMax(widest, width);
        if (r->estimate >= 0)
            around = qMax(around, width - r->estimate);
    }
    if (cut != rows.end()) {
        const int bound = (cut - 1)->estimate;
        widest = qMax(widest, bound + around + 4 + bound / 50);
    }
    return widest;
}
