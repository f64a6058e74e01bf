// Times the map of a tree of 1,000,000 files: the model made from what the statistics read
// (as the reading thread makes it) and the layout the map draws (as each resize makes it),
// on a tree made in memory so that only the map's own work is timed.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/TreeMap.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    // 10 directories of 10 of 100, each of these holding an even share of the files, of sizes
    // from a few bytes to some megabytes as source trees have them.
    FunSub::DirTree tree;
    tree.nodes.push_back({"root", -1, 0});
    std::vector<int> leaves;
    for (int a = 0; a < 10; ++a) {
        const int na = tree.size();
        tree.nodes.push_back({"a" + std::to_string(a), 0, 1});
        for (int b = 0; b < 10; ++b) {
            const int nb = tree.size();
            tree.nodes.push_back({"b" + std::to_string(b), na, 2});
            for (int c = 0; c < 100; ++c) {
                leaves.push_back(tree.size());
                tree.nodes.push_back({"c" + std::to_string(c), nb, 3});
            }
        }
    }
    std::vector<std::vector<Platform::Entry>> entries(tree.nodes.size());
    std::mt19937 random(1);
    std::uniform_real_distribution<double> logSize(2, 22);
    for (int i = 0; i < files; ++i) {
        Platform::Entry e;
        e.name = "f" + std::to_string(i) + ".dat";
        e.size = static_cast<std::int64_t>(std::exp2(logSize(random)));
        entries[static_cast<std::size_t>(leaves[static_cast<std::size_t>(i) % leaves.size()])]
            .push_back(std::move(e));
    }
    std::vector<double> model;
    std::vector<double> layout;
    std::size_t drawn = 0;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        const FunSub::TreeMapModel map(tree, entries);
        model.push_back(Seconds(start));
        start = Clock::now();
        drawn = FunSub::LayOutTreeMap(map, 0, {0, 0, 1920, 1080}).size();
        layout.push_back(Seconds(start));
    }
    std::sort(model.begin(), model.end());
    std::sort(layout.begin(), layout.end());
    std::printf(
        "map of %d files in %d directories, %d rounds: model median %.3f s (%.3f-%.3f), "
        "layout at 1920x1080 median %.3f s (%.3f-%.3f), %zu rectangles drawn\n",
        files, tree.size(), rounds, model[model.size() / 2], model.front(), model.back(),
        layout[layout.size() / 2], layout.front(), layout.back(), drawn);
    return 0;
}
