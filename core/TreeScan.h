#pragma once

// One reading of a whole tree: its directories as a DirTree, and what each directory holds
// besides directories, with sizes and times. Each directory is listed once, by several
// threads at once; the result is in the tree's own order, as one walk would give it.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/DirTree.h"
#include "core/GitIgnore.h"
#include "core/Platform.h"
#include "core/StopToken.h"

namespace FunSub {

struct ScannedTree {
    DirTree tree;
    // By node index: the entries that are not directories, in listing order (empty for a node
    // that could not be read or that is a loop).
    std::vector<std::vector<Platform::Entry>> files;
    std::int64_t fileCount = 0;
    bool stopped = false;  // asked to stop: what was read is not the whole tree
};

struct ScanOptions {
    StopToken stop = {};  // set from another thread to end the reading
    // Told now and then, from the reading threads, how many files have been read so far.
    std::function<void(std::int64_t files)> progress;
    int threads = 0;    // 0: as many as the machine has cores, at most 4
    bool files = true;  // false: the directories alone, without a look at each file
    // Whether the subdirectory `name` is taken into the tree, read and entered; null takes
    // every one. Called from the reading threads.
    std::function<bool(const std::string& name)> enter;
    // Git's ignore rules for the tree read: a directory they ignore is not taken either.
    const GitIgnore* ignore = nullptr;
};

// Reads the tree of `rootPath` as BuildDirTree builds it (names beginning with "." left out,
// links never followed, a directory met again on its own path shown but not entered, one
// that cannot be entered or read kept with its error) and lists every directory with
// Detail::Full (Detail::Kinds without `files`). Raises the input/output error before anything
// is read when the root cannot be entered.
ScannedTree ScanTree(const std::string& rootPath, RootLabel rule, const ScanOptions& options = {});

}  // namespace FunSub
