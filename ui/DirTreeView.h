#pragma once

#include <QTreeWidget>

// A directory tree as every window shows it: one column as wide as its widest shown label,
// so that deep levels and long names are reached by scrolling sideways instead of being cut
// off at the edge; labels cannot be edited. Space on the highlighted node does what a click
// on it does (itemClicked); moving the highlight alone is no click.
class DirTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit DirTreeView(QWidget* parent = nullptr);

    // Keeps the node's expander and label in view when the keyboard or a click makes it
    // current. The view's own rule would scroll back to the column's left edge, which in a
    // deep tree hides the very node the user went to.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // A tree that takes the focus highlights a node, its first one if none was, so that the
    // focus shows and the keys have a place to start from.
    void focusInEvent(QFocusEvent* event) override;
    // The widest label, but never narrower than the view, so that a row can be clicked and
    // shows selected across the whole view.
    int sizeHintForColumn(int column) const override;
};
