#include "ui/DirTreeView.h"

#include <QHeaderView>
#include <QScrollBar>

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

int DirTreeView::sizeHintForColumn(int column) const {
    return qMax(QTreeWidget::sizeHintForColumn(column), viewport()->width());
}
