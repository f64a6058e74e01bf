#include "core/TreeMap.h"

#include <algorithm>
#include <limits>

namespace FunSub {

namespace {

// The worse aspect ratio of the largest and the smallest rectangle of a row of `sum` laid
// along `side`: the row is as thick as its area over the side.
double WorstRatio(double largest, double smallest, double sum, double side) {
    if (smallest <= 0 || sum <= 0)
        return std::numeric_limits<double>::infinity();
    const double side2 = side * side;
    const double sum2 = sum * sum;
    return std::max(side2 * largest / sum2, sum2 / (side2 * smallest));
}

// The width of a frame's border: what separates a directory from its neighbours.
constexpr double kBorder = 2;

void LayOutDirectory(const TreeMapModel& model, int node, const MapRect& rect, int depth,
                     double smallest, std::vector<MapItem>& items) {
    items.push_back(MapItem{rect, node, -1, depth});
    const MapRect inner{rect.x + kBorder, rect.y + kBorder, rect.w - 2 * kBorder,
                        rect.h - 2 * kBorder};
    const double bytes = static_cast<double>(model.Bytes(node));
    if (inner.w < 1 || inner.h < 1 || bytes <= 0)
        return;
    const double scale = inner.area() / bytes;
    const std::vector<TreeMapModel::Part>& parts = model.Parts(node);
    std::vector<double> areas;
    for (const TreeMapModel::Part& part : parts) {
        const double area = static_cast<double>(part.bytes) * scale;
        if (area < smallest)
            break;  // and so are all after it: they stay the frame's
        areas.push_back(area);
    }
    const std::vector<MapRect> rects = Squarify(areas, inner);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        if (parts[i].file < 0)
            LayOutDirectory(model, parts[i].node, rects[i], depth + 1, smallest, items);
        else
            items.push_back(MapItem{rects[i], parts[i].node, parts[i].file, depth + 1});
    }
}

}  // namespace

std::vector<MapRect> Squarify(const std::vector<double>& areas, const MapRect& frame) {
    std::vector<MapRect> rects(areas.size());
    MapRect free = frame;
    std::size_t i = 0;
    while (i < areas.size()) {
        const double side = std::min(free.w, free.h);
        if (areas[i] <= 0 || side <= 0) {
            rects[i++] = MapRect{free.x, free.y, 0, 0};
            continue;
        }
        // The row grows while its worst rectangle comes nearer to a square.
        double sum = areas[i];
        double worst = WorstRatio(areas[i], areas[i], sum, side);
        std::size_t end = i + 1;
        for (; end < areas.size() && areas[end] > 0; ++end) {
            const double ratio = WorstRatio(areas[i], areas[end], sum + areas[end], side);
            if (ratio > worst)
                break;
            sum += areas[end];
            worst = ratio;
        }
        // The row stands along the shorter side and takes its thickness off the free part.
        const bool wide = free.w >= free.h;
        const double thickness = std::min(sum / side, wide ? free.w : free.h);
        double at = wide ? free.y : free.x;
        for (; i < end; ++i) {
            const double length = areas[i] / thickness;
            rects[i] = wide ? MapRect{free.x, at, thickness, length}
                            : MapRect{at, free.y, length, thickness};
            at += length;
        }
        if (wide) {
            free.x += thickness;
            free.w -= thickness;
        } else {
            free.y += thickness;
            free.h -= thickness;
        }
    }
    return rects;
}

TreeMapModel::TreeMapModel(const DirTree& tree,
                           const std::vector<std::vector<Platform::Entry>>& files)
    : m_bytes(tree.nodes.size(), 0), m_parts(tree.nodes.size()) {
    for (std::size_t i = 0; i < tree.nodes.size() && i < files.size(); ++i) {
        if (tree.nodes[i].loop || tree.nodes[i].error != 0)
            continue;
        for (std::size_t f = 0; f < files[i].size(); ++f) {
            const Platform::Entry& e = files[i][f];
            if (e.isDirectory || e.kind != Platform::FileKind::Regular || e.size <= 0)
                continue;
            m_parts[i].push_back(
                Part{e.size, static_cast<std::int32_t>(i), static_cast<std::int32_t>(f)});
            m_bytes[i] += e.size;
        }
    }
    // Each node comes after its parent: from the last up, a directory's bytes are whole
    // before its parent takes them.
    for (std::size_t i = tree.nodes.size(); i-- > 1;) {
        const auto parent = static_cast<std::size_t>(tree.nodes[i].parent);
        if (m_bytes[i] <= 0)
            continue;
        m_bytes[parent] += m_bytes[i];
        m_parts[parent].push_back(Part{m_bytes[i], static_cast<std::int32_t>(i), -1});
    }
    for (std::vector<Part>& parts : m_parts) {
        std::sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
            if (a.bytes != b.bytes)
                return a.bytes > b.bytes;
            return a.node != b.node ? a.node < b.node : a.file < b.file;
        });
    }
}

std::vector<MapItem> LayOutTreeMap(const TreeMapModel& model, int root, const MapRect& bounds,
                                   double smallest) {
    std::vector<MapItem> items;
    if (model.empty() || root < 0 || bounds.w <= 0 || bounds.h <= 0 || model.Bytes(root) <= 0)
        return items;
    LayOutDirectory(model, root, bounds, 0, smallest, items);
    return items;
}

int MapItemAt(const std::vector<MapItem>& items, double x, double y) {
    // Frames come before what they hold, and neighbours never overlap: the last item that
    // holds the point is the innermost.
    for (std::size_t i = items.size(); i-- > 0;) {
        if (items[i].rect.contains(x, y))
            return static_cast<int>(i);
    }
    return -1;
}

TypeColour ColourOfType(const std::string& typeKey) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : typeKey) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return TypeColour{static_cast<int>(hash % 360), 110 + static_cast<int>((hash >> 9) % 90),
                      200 + static_cast<int>((hash >> 17) % 50)};
}

}  // namespace FunSub
