#include "core/DirTree.h"

#include <algorithm>

#include "core/FunSub.h"
#include "core/TreeScan.h"

namespace FunSub {
namespace {

struct Frame {
    int node;
    std::string path;
    Platform::FileId id;
    std::vector<Platform::Entry> entries;
    std::size_t next = 0;
};

// Lists the subdirectories of `path` that belong in a tree. Returns 0, or the error that
// kept the directory from being entered or read (then there are none).
int ListSubdirectories(const std::string& path, std::vector<Platform::Entry>& out,
                       Platform::FileId& id) {
    int err = Platform::CheckEnterable(path);
    if (err == 0)
        err = Platform::ListDirectory(path, Platform::Detail::Kinds, out, &id);
    if (err != 0) {
        out.clear();
        return err;
    }
    std::erase_if(out, [](const Platform::Entry& e) {
        return !e.isDirectory || (!e.name.empty() && e.name[0] == '.');
    });
    return 0;
}

}  // namespace

std::string RootLabelFor(const std::string& rootPath, RootLabel rule) {
    if (rule == RootLabel::ShortenDriveRoot && IsDriveRoot(rootPath)) {
        return rootPath.substr(0, rootPath.size() - 1) + kRootMarker;
    }
    return rootPath + kRootMarker;
}

bool DirExists(const std::string& path) {
    return Platform::IsDirectory(path);
}

void CheckEnterable(const std::string& dir) {
    if (int err = Platform::CheckEnterable(dir))
        RaiseIoError(err);
}

void FillDirTree(DirTree& tree, int node, const std::string& nodePath) {
    std::vector<Frame> stack;
    stack.push_back(Frame{node, nodePath, {}, {}, 0});
    tree.nodes[node].error = ListSubdirectories(nodePath, stack.back().entries, stack.back().id);

    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const Platform::Entry& entry = top.entries[top.next++];
        const int child = tree.size();
        tree.nodes.push_back(DirNode{entry.name, top.node, tree.nodes[top.node].level + 1});

        Frame frame{child, PathBelow(top.path, entry.name), {}, {}, 0};
        if (const int err = ListSubdirectories(frame.path, frame.entries, frame.id)) {
            tree.nodes[child].error = err;
            continue;
        }
        const bool onPath = std::any_of(stack.begin(), stack.end(),
                                        [&](const Frame& f) { return f.id == frame.id; });
        if (onPath) {
            tree.nodes[child].loop = true;
        } else {
            stack.push_back(std::move(frame));
        }
    }
}

DirTree BuildDirTree(const std::string& rootPath, RootLabel rule) {
    ScanOptions directoriesAlone;
    directoriesAlone.files = false;
    return ScanTree(rootPath, rule, directoriesAlone).tree;
}

namespace {

// The root's path is its label without the marker. (Cutting at the first "<" would do on
// Windows, where no path holds one, but a Linux path may.)
std::string RootPathOf(const std::string& label) {
    const std::string marker = kRootMarker;
    if (label.size() >= marker.size() &&
        label.compare(label.size() - marker.size(), marker.size(), marker) == 0) {
        return label.substr(0, label.size() - marker.size());
    }
    return label.substr(0, label.find('<'));
}

}  // namespace

std::string NodePath(const DirTree& tree, int index) {
    std::vector<int> chain;
    for (int i = index; i > 0; i = tree.nodes[i].parent) chain.push_back(i);
    std::string path = RootPathOf(tree.nodes[0].label);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path = JoinPath(path, tree.nodes[*it].label);
    }
    return path;
}

std::vector<std::string> AllNodePaths(const DirTree& tree) {
    std::vector<std::string> paths;
    paths.reserve(tree.nodes.size());
    for (const DirNode& node : tree.nodes) {
        paths.push_back(node.parent < 0 ? RootPathOf(node.label)
                                        : JoinPath(paths[node.parent], node.label));
    }
    return paths;
}

}  // namespace FunSub
