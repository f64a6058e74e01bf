#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>

#include "core/TreeMap.h"

using namespace FunSub;

namespace {

double Overlap(const MapRect& a, const MapRect& b) {
    const double w = std::min(a.x + a.w, b.x + b.w) - std::max(a.x, b.x);
    const double h = std::min(a.y + a.h, b.y + b.h) - std::max(a.y, b.y);
    return w > 0 && h > 0 ? w * h : 0;
}

bool Inside(const MapRect& inner, const MapRect& outer) {
    constexpr double e = 1e-6;
    return inner.x >= outer.x - e && inner.y >= outer.y - e &&
           inner.x + inner.w <= outer.x + outer.w + e && inner.y + inner.h <= outer.y + outer.h + e;
}

Platform::Entry File(const std::string& name, std::int64_t size,
                     Platform::FileKind kind = Platform::FileKind::Regular) {
    Platform::Entry e;
    e.name = name;
    e.size = size;
    e.kind = kind;
    return e;
}

}  // namespace

// Each rectangle has its area, none overlaps another, none leaves the frame; sizes alike
// come out as squares, and what the areas do not fill stays free.
TEST(TreeMapTest, SquarifiedRectanglesHaveTheirAreasInsideTheFrameWithoutOverlap) {
    std::mt19937 random(7);
    std::vector<double> skewed;
    for (int i = 0; i < 300; ++i)
        skewed.push_back(std::exp(std::uniform_real_distribution<>(0, 9)(random)));
    std::sort(skewed.rbegin(), skewed.rend());
    const double skewedSum = std::accumulate(skewed.begin(), skewed.end(), 0.0);
    for (double& a : skewed) a *= 800.0 * 300.0 / skewedSum;
    struct Case {
        const char* what;
        std::vector<double> areas;
        MapRect frame;
    };
    const Case cases[] = {
        {"one", {5000}, {10, 20, 100, 50}},
        {"equal", std::vector<double>(16, 1.0), {0, 0, 4, 4}},
        {"a few", {600, 300, 80, 20}, {0, 0, 40, 25}},
        {"skewed in a wide frame", skewed, {3, 7, 800, 300}},
        {"half the frame left free", {200, 100, 100, 50, 50}, {0, 0, 30, 33.3333333333}},
        {"tall and thin", {60, 30, 10}, {0, 0, 2, 50}},
        {"with nothing in it", {}, {0, 0, 10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<MapRect> rects = Squarify(c.areas, c.frame);
        ASSERT_EQ(rects.size(), c.areas.size());
        for (std::size_t i = 0; i < rects.size(); ++i) {
            EXPECT_NEAR(rects[i].area(), c.areas[i], 1e-6 * std::max(1.0, c.areas[i])) << i;
            EXPECT_TRUE(Inside(rects[i], c.frame)) << i;
            for (std::size_t j = i + 1; j < rects.size(); ++j)
                EXPECT_LT(Overlap(rects[i], rects[j]), 1e-6) << i << " and " << j;
        }
    }
    for (const MapRect& r : Squarify(std::vector<double>(16, 1.0), {0, 0, 4, 4})) {
        EXPECT_NEAR(r.w, 1.0, 1e-9);
        EXPECT_NEAR(r.h, 1.0, 1e-9);
    }
}

// A directory's frame holds what it holds, each file's area in proportion to its size among
// its neighbours; links, empty files, loops and unread directories are not drawn, and what is
// too small to draw stays part of its frame. A point finds the innermost rectangle.
TEST(TreeMapTest, TheMapOfATreeNestsFramesAndLeavesOutWhatHasNoArea) {
    DirTree tree;
    tree.nodes = {{"root", -1, 0},
                  {"big", 0, 1},
                  {"loop", 0, 1, true},
                  {"locked", 0, 1, false, 13},
                  {"deep", 1, 2}};
    std::vector<std::vector<Platform::Entry>> files(5);
    files[0] = {File("a.iso", 600000), File("empty", 0),
                File("link", 4000, Platform::FileKind::Link)};
    files[1] = {File("b.bin", 300000), File("c.bin", 100000)};
    for (int i = 0; i < 50; ++i) files[1].push_back(File("tiny" + std::to_string(i), 1));
    files[2] = {File("seen-twice", 9000)};
    files[3] = {File("unread", 9000)};
    files[4] = {File("d.txt", 200000)};
    const TreeMapModel model(tree, files);
    EXPECT_EQ(model.Bytes(0), 600000 + 300000 + 100000 + 50 + 200000);

    const MapRect bounds{0, 0, 400, 300};
    const std::vector<MapItem> items = LayOutTreeMap(model, 0, bounds);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].file, -1);
    EXPECT_EQ(items[0].node, 0);
    std::vector<const MapItem*> frameOf(tree.nodes.size(), nullptr);
    std::map<std::string, const MapItem*> fileItem;
    for (const MapItem& item : items) {
        if (item.file < 0) {
            frameOf[static_cast<std::size_t>(item.node)] = &item;
        } else {
            fileItem[files[static_cast<std::size_t>(item.node)][static_cast<std::size_t>(item.file)]
                         .name] = &item;
        }
        if (item.node > 0 || item.file >= 0) {
            const int holder =
                item.file >= 0 ? item.node : tree.nodes[static_cast<std::size_t>(item.node)].parent;
            ASSERT_NE(frameOf[static_cast<std::size_t>(holder)], nullptr);
            EXPECT_TRUE(Inside(item.rect, frameOf[static_cast<std::size_t>(holder)]->rect));
        }
    }
    std::vector<std::string> drawn;
    for (const auto& [name, item] : fileItem) drawn.push_back(name);
    EXPECT_EQ(drawn, (std::vector<std::string>{"a.iso", "b.bin", "c.bin", "d.txt"}));
    EXPECT_EQ(frameOf[2], nullptr);
    EXPECT_EQ(frameOf[3], nullptr);
    EXPECT_NEAR(fileItem["b.bin"]->rect.area() / fileItem["c.bin"]->rect.area(), 3.0, 1e-9);
    EXPECT_NEAR(fileItem["a.iso"]->rect.area() / bounds.area(), 6000.0 / 12000.5, 0.03);

    const MapRect& d = fileItem["d.txt"]->rect;
    EXPECT_EQ(MapItemAt(items, d.x + d.w / 2, d.y + d.h / 2), fileItem["d.txt"] - items.data());
    const MapRect& big = frameOf[1]->rect;
    EXPECT_EQ(MapItemAt(items, big.x + 0.5, big.y + 0.5), frameOf[1] - items.data());
    EXPECT_EQ(MapItemAt(items, -1, -1), -1);

    // Zoomed into one directory, it fills the bounds; a tree with no bytes draws nothing.
    EXPECT_NEAR(LayOutTreeMap(model, 1, bounds).front().rect.area(), bounds.area(), 1e-9);
    tree.nodes.resize(1);
    EXPECT_TRUE(LayOutTreeMap(TreeMapModel(tree, {{File("empty", 0)}}), 0, bounds).empty());
}

// A type keeps its colour from run to run; types differ in it.
TEST(TreeMapTest, ATypesColourIsFixedByItsName) {
    const TypeColour iso = ColourOfType(".iso");
    EXPECT_EQ(iso.hue, ColourOfType(".iso").hue);
    EXPECT_NE(iso.hue, ColourOfType(".txt").hue);
    for (const char* type : {".iso", ".txt", "无扩展名", ""}) {
        const TypeColour c = ColourOfType(type);
        EXPECT_TRUE(c.hue >= 0 && c.hue < 360 && c.saturation <= 255 && c.value <= 255) << type;
    }
}
