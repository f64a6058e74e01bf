#pragma once

#include <QImage>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/DirTree.h"
#include "core/Platform.h"
#include "core/TreeMap.h"

// The "图示" page of a side: the map of its tree's files, each a rectangle by its size in its
// directory's frame, coloured by its type. The mouse over a rectangle tells what it is, a
// click picks its directory, a double click on a frame zooms into it and Backspace goes back
// up. Laid out again at each resize from what the statistics read; nothing is read anew.
class TreeMapView : public QWidget {
    Q_OBJECT
public:
    explicit TreeMapView(QWidget* parent = nullptr);

    // The tree to draw, its files by node and its model, all kept by the caller until the
    // next Show or Clear. The map starts at the tree's root.
    void Show(const FunSub::DirTree* tree, const std::vector<std::vector<Platform::Entry>>* files,
              const FunSub::TreeMapModel* model);
    void Clear();
    // Greys each file for which `passes` is false; an empty function greys none.
    void ShowPassing(std::function<bool(int node, const Platform::Entry& file)> passes);

    // The directory the map is zoomed into (the root at first); -1 with nothing on show.
    int Root() const { return m_tree ? m_root : -1; }
    // The rectangles as drawn now, laid out for the widget's size.
    const std::vector<FunSub::MapItem>& Items();
    // The text the status bar shows for the item at `index` of Items().
    QString Describe(int index) const;
    // Whether the file of `item` is drawn grey, as left out.
    bool Greyed(const FunSub::MapItem& item) const;

signals:
    // The mouse is over something that the map describes so; empty when it left the map.
    void hovered(const QString& text);
    // A rectangle was clicked: the directory that holds it, or whose frame it is.
    void directoryClicked(int node);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void ZoomTo(int node);
    // Lays out and draws anew on the next paint.
    void Redraw(bool layOut);
    void Draw();
    int ItemAt(const QPointF& point);

    const FunSub::DirTree* m_tree = nullptr;
    const std::vector<std::vector<Platform::Entry>>* m_files = nullptr;
    const FunSub::TreeMapModel* m_model = nullptr;
    std::function<bool(int, const Platform::Entry&)> m_passes;
    int m_root = 0;
    std::vector<FunSub::MapItem> m_items;
    bool m_laidOut = false;
    QImage m_drawing;  // the items as drawn, made again only when they change
    bool m_drawn = false;
    int m_hovered = -1;
};

// A type's colour on the maps and beside its row in the type lists.
QColor TypeColour(const std::string& typeKey);
// Puts the colour of each row's type beside its caption, from row `firstRow` on; the type's
// key is the caption's bytes held in `keyRole` of column 0. Widens the first column to fit.
void ShowTypeSwatches(QTreeWidget* list, int keyRole, int firstRow);

// One bar split in two: the bytes the copy will take and those the filter leaves out, with
// the shares as text ("将复制 62 %（1.2 GB），滤除 38 %").
class ShareBar : public QWidget {
    Q_OBJECT
public:
    explicit ShareBar(QWidget* parent = nullptr);

    // `kept` of `total` bytes go to the copy.
    void SetShare(std::int64_t kept, std::int64_t total);
    QString text() const { return m_text; }
    // The kept part's share of the bar, 0 to 1.
    double keptShare() const { return m_share; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    double m_share = 0;
};
