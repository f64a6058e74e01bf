#include "core/DirTree.h"

#include <algorithm>

#include "core/FunSub.h"
#include "core/TreeScan.h"

namespace FunSub {
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

std::vector<std::vector<int>> ChildrenOf(const DirTree& tree) {
    std::vector<std::vector<int>> children(tree.nodes.size());
    for (int i = 1; i < tree.size(); ++i)
        children[static_cast<std::size_t>(tree.nodes[static_cast<std::size_t>(i)].parent)]
            .push_back(i);
    return children;
}

}  // namespace FunSub
