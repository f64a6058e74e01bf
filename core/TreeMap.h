#pragma once

// A map of a tree's files: each file a rectangle whose area is its size, the files of a
// directory inside its frame, the frames nested as the directories are. Laid out by the
// squarified method (rows of rectangles as near to squares as the sizes allow), from a tree
// already read whole; nothing is read from the disk.

#include <cstdint>
#include <string>
#include <vector>

#include "core/DirTree.h"
#include "core/Platform.h"

namespace FunSub {

struct MapRect {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
    double area() const { return w * h; }
    bool contains(double px, double py) const {
        return px >= x && px < x + w && py >= y && py < y + h;
    }
};

// Rectangles for `areas` (largest first, none negative, their sum at most the frame's area),
// in their order, from the frame's top left corner: each of its area, none overlapping, all
// inside `frame`. What the areas leave of the frame stays free at its far end.
std::vector<MapRect> Squarify(const std::vector<double>& areas, const MapRect& frame);

// What a tree holds to be drawn: for each directory its files and subdirectories that hold
// bytes, largest first, and its bytes in all. Links, empty files and loops are left out, and
// directories that could not be read hold nothing.
class TreeMapModel {
public:
    TreeMapModel() = default;
    // `files` by node index, as ScanTree reads them.
    TreeMapModel(const DirTree& tree, const std::vector<std::vector<Platform::Entry>>& files);

    // One thing in a directory: a subdirectory (`file` -1) or one of its files.
    struct Part {
        std::int64_t bytes = 0;
        std::int32_t node = 0;   // the subdirectory, or the directory that holds the file
        std::int32_t file = -1;  // the file's index among its directory's entries
    };

    bool empty() const { return m_bytes.empty(); }
    std::int64_t Bytes(int node) const { return m_bytes[static_cast<std::size_t>(node)]; }
    const std::vector<Part>& Parts(int node) const {
        return m_parts[static_cast<std::size_t>(node)];
    }

private:
    std::vector<std::int64_t> m_bytes;       // by node: beneath it, at any depth
    std::vector<std::vector<Part>> m_parts;  // by node
};

// One rectangle of a laid-out map, in drawing order: a directory's frame before what it holds.
struct MapItem {
    MapRect rect;
    std::int32_t node = 0;   // the directory, or the one that holds the file
    std::int32_t file = -1;  // -1: the directory's frame
    std::int32_t depth = 0;  // 0 for the frame of the map's root
};

// The map of the directory `root` in `bounds`: its frame, then within a border of each frame
// what it holds. What would come out smaller than `smallest` square pixels is not drawn:
// it stays part of its directory's frame, as does a frame too small to hold anything.
std::vector<MapItem> LayOutTreeMap(const TreeMapModel& model, int root, const MapRect& bounds,
                                   double smallest = 6.0);

// The item of `items` at the point: the innermost one (a file, else the deepest frame); -1
// where there is none.
int MapItemAt(const std::vector<MapItem>& items, double x, double y);

// A type's colour on the map and beside its row in the type lists, the same from run to run:
// hue 0-359, saturation and value 0-255.
struct TypeColour {
    int hue = 0;
    int saturation = 0;
    int value = 0;
};
TypeColour ColourOfType(const std::string& typeKey);

}  // namespace FunSub
