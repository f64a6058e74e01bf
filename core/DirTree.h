#pragma once

// A directory tree as the windows show it and as the statistics and the copy walk it: the
// nodes in depth-first pre-order, so that index i is the i-th directory found.

#include <string>
#include <vector>

namespace FunSub {

inline constexpr const char* kRootMarker = "<目录树根>";

struct DirNode {
    std::string label;  // the root: its path followed by kRootMarker; others: one name
    int parent = -1;    // -1 for the root
    int level = 0;      // 0 for the root
    bool loop = false;  // a directory already on its own path, reached through a link: it is
                        // shown, but its files are neither listed, counted nor copied
    int error = 0;      // the platform error that kept it from being entered or listed
};

struct DirTree {
    std::vector<DirNode> nodes;
    bool empty() const { return nodes.empty(); }
    int size() const { return static_cast<int>(nodes.size()); }
};

// How the root is labelled: the main window's trees show a drive root without its
// trailing separator ("C:<目录树根>", "<目录树根>" for "/"); the work tree never shortens.
enum class RootLabel { ShortenDriveRoot, AsGiven };

std::string RootLabelFor(const std::string& rootPath, RootLabel rule);

// True when `path` names an existing directory; an empty path never does.
bool DirExists(const std::string& path);

// Raises the input/output error when `dir` cannot be made current.
void CheckEnterable(const std::string& dir);

// Builds the tree of `rootPath`, one node per subdirectory, depth first in listing order
// (several directories read at once); names beginning with "." are left out. A directory
// already on the path from the root (reached again through a link) is a node marked `loop`
// that is not entered; one that cannot be entered or read is a node without children that
// keeps the error, so that one unreadable directory neither hides the rest of the tree nor
// goes unnoticed. Raises before anything is built when the root cannot be entered, and labels
// the root by `rule`.
DirTree BuildDirTree(const std::string& rootPath, RootLabel rule);

// The full path of the directory that node `index` stands for.
std::string NodePath(const DirTree& tree, int index);

// NodePath of every node, by index, built in one pass.
std::vector<std::string> AllNodePaths(const DirTree& tree);

// The children of every node, by index, in the tree's order.
std::vector<std::vector<int>> ChildrenOf(const DirTree& tree);

}  // namespace FunSub
