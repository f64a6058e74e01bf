#include "ui/TreeMapView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/CheckCopy.h"
#include "core/FunSub.h"
#include "core/TreeStats.h"
#include "ui/ColumnWidths.h"
#include "ui/Messages.h"

namespace {

// Frames go darker as they go deeper, so that nested directories stand apart.
QColor FrameColour(int depth) {
    return QColor::fromHsv(210, 30, std::max(150, 238 - 10 * depth));
}

const QColor kLeftOutGrey(214, 214, 214);

}  // namespace

QColor TypeColour(const std::string& typeKey) {
    const FunSub::TypeColour c = FunSub::ColourOfType(typeKey);
    return QColor::fromHsv(c.hue, c.saturation, c.value);
}

void ShowTypeSwatches(QTreeWidget* list, int keyRole, int firstRow) {
    for (int i = firstRow; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = list->topLevelItem(i);
        // A colour as decoration: the view paints the swatch, no picture is made per row.
        row->setData(0, Qt::DecorationRole,
                     TypeColour(row->data(0, keyRole).toByteArray().toStdString()));
    }
    WidenColumnsToTexts(list);
}

TreeMapView::TreeMapView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(60, 40);
}

void TreeMapView::Show(const FunSub::DirTree* tree,
                       const std::vector<std::vector<Platform::Entry>>* files,
                       const FunSub::TreeMapModel* model) {
    m_tree = tree;
    m_files = files;
    m_model = model;
    m_root = 0;
    Redraw(true);
}

void TreeMapView::Clear() {
    Show(nullptr, nullptr, nullptr);
}

void TreeMapView::ShowPassing(std::function<bool(int, const Platform::Entry&)> passes) {
    m_passes = std::move(passes);
    Redraw(false);
}

void TreeMapView::Redraw(bool layOut) {
    m_laidOut = m_laidOut && !layOut;
    m_drawn = false;
    m_hovered = -1;
    update();
}

const std::vector<FunSub::MapItem>& TreeMapView::Items() {
    if (!m_laidOut) {
        m_items =
            m_tree && m_model
                ? FunSub::LayOutTreeMap(*m_model, m_root, {0, 0, double(width()), double(height())})
                : std::vector<FunSub::MapItem>{};
        m_laidOut = true;
    }
    return m_items;
}

bool TreeMapView::Greyed(const FunSub::MapItem& item) const {
    return item.file >= 0 && m_passes &&
           !m_passes(item.node, (*m_files)[static_cast<std::size_t>(item.node)]
                                          [static_cast<std::size_t>(item.file)]);
}

QString TreeMapView::Describe(int index) const {
    if (index < 0 || index >= static_cast<int>(m_items.size()) || !m_tree)
        return {};
    const FunSub::MapItem& item = m_items[static_cast<std::size_t>(index)];
    const std::string dir = FunSub::NodePath(*m_tree, item.node);
    if (item.file < 0) {
        return QStringLiteral("%1　%2").arg(ToQ(dir),
                                            ToQ(FunSub::SizeText(m_model->Bytes(item.node))));
    }
    const Platform::Entry& e =
        (*m_files)[static_cast<std::size_t>(item.node)][static_cast<std::size_t>(item.file)];
    return QStringLiteral("%1　%2　类型：%3")
        .arg(ToQ(FunSub::JoinPath(dir, e.name)), ToQ(FunSub::SizeText(e.size)),
             ToQ(FunSub::TypeKey(e.name)));
}

void TreeMapView::Draw() {
    const qreal ratio = devicePixelRatioF();
    m_drawing = QImage(size() * ratio, QImage::Format_RGB32);
    m_drawing.setDevicePixelRatio(ratio);
    m_drawing.fill(palette().color(QPalette::Window));
    QPainter painter(&m_drawing);
    for (const FunSub::MapItem& item : Items()) {
        const QRectF r(item.rect.x, item.rect.y, item.rect.w, item.rect.h);
        if (item.file < 0) {
            painter.fillRect(r, FrameColour(item.depth));
            continue;
        }
        const Platform::Entry& e =
            (*m_files)[static_cast<std::size_t>(item.node)][static_cast<std::size_t>(item.file)];
        const QColor fill = Greyed(item) ? kLeftOutGrey : TypeColour(FunSub::TypeKey(e.name));
        painter.fillRect(r, fill);
        if (r.width() > 3 && r.height() > 3) {
            painter.setPen(fill.darker(140));
            painter.drawRect(r.adjusted(0, 0, -1, -1));
        }
    }
    m_drawn = true;
}

void TreeMapView::paintEvent(QPaintEvent*) {
    if (!m_drawn || m_drawing.size() != size() * devicePixelRatioF())
        Draw();
    QPainter painter(this);
    painter.drawImage(0, 0, m_drawing);
    if (m_hovered >= 0 && m_hovered < static_cast<int>(m_items.size())) {
        const FunSub::MapRect& h = m_items[static_cast<std::size_t>(m_hovered)].rect;
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(QRectF(h.x, h.y, h.w, h.h).adjusted(0, 0, -1, -1));
    }
}

void TreeMapView::resizeEvent(QResizeEvent*) {
    Redraw(true);
}

int TreeMapView::ItemAt(const QPointF& point) {
    return FunSub::MapItemAt(Items(), point.x(), point.y());
}

void TreeMapView::mouseMoveEvent(QMouseEvent* event) {
    const int at = ItemAt(event->position());
    if (at == m_hovered)
        return;
    m_hovered = at;
    update();
    emit hovered(Describe(at));
}

void TreeMapView::leaveEvent(QEvent*) {
    m_hovered = -1;
    update();
    emit hovered(QString());
}

void TreeMapView::mousePressEvent(QMouseEvent* event) {
    const int at = ItemAt(event->position());
    if (event->button() == Qt::LeftButton && at >= 0)
        emit directoryClicked(m_items[static_cast<std::size_t>(at)].node);
}

void TreeMapView::mouseDoubleClickEvent(QMouseEvent* event) {
    const int at = ItemAt(event->position());
    if (event->button() == Qt::LeftButton && at >= 0 &&
        m_items[static_cast<std::size_t>(at)].file < 0)
        ZoomTo(m_items[static_cast<std::size_t>(at)].node);
}

void TreeMapView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace && m_tree && m_root > 0) {
        ZoomTo(m_tree->nodes[static_cast<std::size_t>(m_root)].parent);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TreeMapView::ZoomTo(int node) {
    if (!m_tree || node == m_root)
        return;
    m_root = node;
    Redraw(true);
}

ShareBar::ShareBar(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(fontMetrics().height() + 6);
    SetShare(0, 0);
}

void ShareBar::SetShare(std::int64_t kept, std::int64_t total) {
    m_share = total > 0 ? std::clamp(double(kept) / double(total), 0.0, 1.0) : 0.0;
    // The two shares add up to 100 % whenever there is anything to share.
    const int keptPercent = static_cast<int>(std::lround(m_share * 100));
    const int leftPercent = total > 0 ? 100 - keptPercent : 0;
    m_text = QStringLiteral("将复制 %1 %（%2），滤除 %3 %")
                 .arg(keptPercent)
                 .arg(ToQ(FunSub::SizeText(kept)))
                 .arg(leftPercent);
    setAccessibleName(m_text);
    update();
}

void ShareBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF whole = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QRectF kept = whole;
    kept.setWidth(whole.width() * m_share);
    painter.fillRect(whole, kLeftOutGrey);
    painter.fillRect(kept, QColor(120, 190, 120));
    painter.setPen(Qt::darkGray);
    painter.drawRect(whole);
    painter.setPen(Qt::black);
    painter.drawText(whole, Qt::AlignCenter, m_text);
}
