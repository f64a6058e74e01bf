#pragma once

#include <QTreeWidget>

#include <cstdint>
#include <vector>

// A directory tree as every window shows it: one column as wide as its widest shown label,
// so that deep levels and long names are reached by scrolling sideways instead of being cut
// off at the edge; labels cannot be edited. Space on the highlighted node does what a click
// on it does (itemClicked); moving the highlight alone is no click.
class DirTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit DirTreeView(QWidget* parent = nullptr);
    ~DirTreeView() override;

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
    void changeEvent(QEvent* event) override;

private:
    // The widest shown row, label and indentation, as Qt's own measure of every row would
    // give it. Qt lays out each label's text for that, on every change of the current node
    // or the scroll range: with 100,000 rows seconds each time. Here the labels are summed
    // from the advances of their characters, and only the widest few are laid out.
    int RowsWidth() const;
    int TextEstimate(const QString& text) const;
    void Forget() { m_rowsWidth = -1; }

    mutable int m_rowsWidth = -1;                 // -1 until measured after the last change
    mutable std::vector<std::int16_t> m_advance;  // per UTF-16 unit, -1 until measured
};
