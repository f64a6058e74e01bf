#pragma once

// File lists of one directory, type statistics and the level histogram of a whole tree,
// and the exact texts the lists show, so that the windows and the command line agree.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/DirTree.h"
#include "core/TreeScan.h"

namespace FunSub {

inline constexpr const char* kNoExtension = "无扩展名";
inline constexpr int kLevelSlots = 51;  // levels 0 to 50

// The type of a file: its name from the last "." on, A-Z lowered; "无扩展名" without ".".
std::string TypeKey(const std::string& fileName);

struct FileRow {
    std::string name;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
};

struct FileListing {
    std::vector<FileRow> files;  // in the order the file system lists them
    std::int64_t totalBytes = 0;
};

// The files (not directories) of `dir`; a directory that cannot be read gives none.
FileListing ListDirFiles(const std::string& dir);

struct FileType {
    std::string TypeKey;
    std::int64_t FileCount = 0;
    std::int64_t TotalSize = 0;
};

// The directories of one name (A-Z lowered, as types are) below a tree's root, and the files
// beneath them: a file beneath two directories of the name counts once for it.
struct DirNameStat {
    std::string name;
    std::int64_t directories = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

struct TreeStats {
    std::vector<FileType> TypeStats;  // in the order each type was first met
    // By bytes, largest first; equal ones by files, directories, then name.
    std::vector<DirNameStat> DirNameStats;
    std::array<std::int64_t, kLevelSlots> LevelCounts{};
    std::int64_t directories = 0;  // every node, also those deeper than level 50
    std::int64_t fileTotal = 0;
    std::int64_t byteTotal = 0;
    std::int64_t filesBelowRoot = 0;  // the files of the root's subdirectories, at any depth
    std::int64_t bytesBelowRoot = 0;
    std::int64_t unreadable = 0;  // directories that could not be entered or listed: their
                                  // files are not in the counts
};

// Walks every node of `tree` in index order and counts its files by type. The caller sets
// TreeFileTotal from fileTotal when the tree is the source tree.
TreeStats CollectTreeStats(const DirTree& tree);
// The same from a tree already read whole, without reading anything again.
TreeStats CollectTreeStats(const ScannedTree& scanned);

// One row of a report list: the caption and the texts of the further columns.
struct ListRow {
    std::string caption;
    std::vector<std::string> subItems;
};

// The rows as the lists show them: the summary row first, the others sorted by caption.
std::vector<ListRow> FileListRows(const FileListing& listing);
std::vector<ListRow> TypeListRows(const TreeStats& stats);
// The summary row (names; directories, files and bytes below the root, each file once), then
// one row per directory name in DirNameStats' order.
std::vector<ListRow> DirNameListRows(const TreeStats& stats);
// The two header lines and one line per level down to the deepest.
std::vector<std::string> LevelLines(const TreeStats& stats);

std::string SummaryCaption(std::int64_t count);  // " 合计:" + count
// "2 个目录无法读取，其中的文件没有计入"
std::string UnreadableText(std::int64_t directories);

// The order of list rows: the locale's collation, letter case significant.
bool CaptionLess(const std::string& a, const std::string& b);
// Sorts rows 1.. by caption; row 0, the summary row, stays on top.
void SortBelowSummary(std::vector<ListRow>& rows);

}  // namespace FunSub
