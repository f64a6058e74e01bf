#include "ui/ColumnWidths.h"

#include <QFontMetrics>
#include <vector>

namespace {

// Text widths as the sum of their characters' advances, each measured once. Kerning, which
// the sum leaves out, is settled by measuring the winner of each column exactly.
class TextWidths {
public:
    explicit TextWidths(const QFont& font) : m_metrics(font), m_advance(0x10000, -1) {}

    int Estimate(const QString& text) {
        int width = 0;
        for (const QChar c : text) {
            if (c.isSurrogate())
                return m_metrics.horizontalAdvance(text);
            int& advance = m_advance[c.unicode()];
            if (advance < 0)
                advance = m_metrics.horizontalAdvance(c);
            width += advance;
        }
        return width;
    }

private:
    QFontMetrics m_metrics;
    std::vector<int> m_advance;  // by UTF-16 code unit; -1 until measured
};

}  // namespace

void WidenColumnsToTexts(QTreeWidget* list) {
    const int rows = list->topLevelItemCount();
    if (rows == 0)
        return;
    TextWidths widths(list->font());
    for (int column = 0; column < list->columnCount(); ++column) {
        int widestRow = 0;
        int widest = -1;
        for (int row = 0; row < rows; ++row) {
            const int w = widths.Estimate(list->topLevelItem(row)->text(column));
            if (w > widest) {
                widest = w;
                widestRow = row;
            }
        }
        // The list's own measure of that cell: text, margins and a check box where it has one.
        const QModelIndex cell = list->model()->index(widestRow, column);
        const int needed = list->sizeHintForIndex(cell).width();
        if (needed > list->columnWidth(column))
            list->setColumnWidth(column, needed);
    }
}
