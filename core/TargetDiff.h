#pragma once

// How a target differs from its source: the source's files the target does not hold (left
// out by their type, or missing), the files changed since the copy, and what the target holds
// that the source does not. The filter a target was made with is not stored anywhere: a type
// with files in the source and none in the target counts as left out by the filter, and a
// file of a type the target does hold but that the target lacks counts as missing.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/CopyJob.h"
#include "core/StopToken.h"
#include "core/TreeScan.h"

namespace FunSub {

struct DiffEntry {
    std::string path;  // below the root it lies in, its names joined by the separator
    bool directory = false;
    std::int64_t size = 0;        // a missing or changed file: the source's; an extra one: its own
    std::int64_t targetSize = 0;  // a changed file: its copy's
    bool sizeDiffers = false;     // a changed file: the two sizes are not equal
    bool sourceNewer = false;     // a changed file: the source was written after its copy
};

struct DiffTotals {
    std::int64_t files = 0;
    std::int64_t bytes = 0;
    std::int64_t directories = 0;
};

struct DiffGroup {
    std::vector<DiffEntry> entries;  // each directory's files, then its subdirectories
    DiffTotals totals;
    void Add(DiffEntry entry);
};

struct LeftOutType {
    std::string type;  // TypeKey; empty for a rule other than a type
    std::string rule;  // as the filter names it: "type:.o", "dir:node_modules", "name:*.log"
    DiffGroup files;   // files, and left-out directories with all they hold
};

struct TargetDiff {
    std::vector<LeftOutType> leftOut;  // in the order the source's walk first met each rule
    DiffTotals leftOutTotals;
    DiffGroup missing;  // files, and directories the copy would make
    DiffGroup changed;  // size differs, or the source is newer than its copy
    DiffGroup extra;    // files and directories of the target the source does not hold
    // Directories that could not be read on either side: what they hold was not compared.
    std::int64_t sourceUnreadable = 0;
    std::int64_t targetUnreadable = 0;
    bool targetIncomplete = false;  // the copy into the target never finished
    bool filterRecorded = false;    // left out by the filter the copy recorded
    bool stopped = false;

    // The target holds just what the filter it shows would copy today: nothing missing,
    // changed or extra, every directory read, and a copy that finished.
    bool Same() const;
};

struct DiffOptions {
    StopToken stop = {};  // set from another thread to end the reading
    // Told now and then, from the reading threads, how many files both trees gave so far.
    std::function<void(std::int64_t files)> progress;
};

// Compares two trees read whole: `source` as the copy reads it, `target` as a copy made it
// through `filter`, or through a filter read off the target where it is null.
TargetDiff CompareTrees(const ScannedTree& source, const ScannedTree& target,
                        const CopyFilter* filter = nullptr);

// Reads the trees of `sourceDir` and `targetDir` once each and compares them, through the
// filter the copy recorded when it was copied from `sourceDir`. Raises the input/output
// error, naming the directory, when either root cannot be entered.
TargetDiff CompareTarget(const std::string& sourceDir, const std::string& targetDir,
                         const DiffOptions& options = {});

// The texts the window and the command line share.
inline constexpr const char* kLeftOutCaption = "按类型滤除（目标中没有这种类型的文件）";
inline constexpr const char* kLeftOutRecordedCaption = "按复制时的过滤滤除";
inline constexpr const char* kNoFilterRecordText =
    "没有这个目标复制时的过滤记录：滤除的类型是从目标中有哪些类型推断的";
// How a group of left-out files is named: its type, or the rule ("dir:node_modules").
std::string LeftOutLabel(const LeftOutType& group);
inline constexpr const char* kMissingCaption = "目标中缺少的文件";
inline constexpr const char* kChangedCaption = "复制后改变的文件";
inline constexpr const char* kExtraCaption = "目标中多出的文件和目录";
// "3 个文件，1,234 字节" (", 2 个目录" where there are directories).
std::string TotalsText(const DiffTotals& totals);
// Why a changed file counts: "大小不同（源 1,234 字节，目标 1,000 字节）", "源文件较新", or both.
std::string ChangeText(const DiffEntry& entry);
// The line that sums the comparison up.
std::string DiffSummaryText(const TargetDiff& diff);
// What keeps the comparison from being whole: unread directories, an unfinished copy.
std::vector<std::string> DiffNotices(const TargetDiff& diff);
// The whole comparison as lines: each group's caption and totals, then its entries indented
// (the left-out files under their type).
std::vector<std::string> DiffLines(const TargetDiff& diff);

}  // namespace FunSub
