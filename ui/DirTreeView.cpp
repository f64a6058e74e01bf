#include "ui/DirTreeView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

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
    return qMax(QTreeWidget::sizeHintForColumn(column), viewport()->width());
}
