#pragma once

// One filtered copy: every directory of the source tree recreated below
// OutputDir/TargetName, and every file whose type passes the filter copied into it.

#include <cstdint>
#include <string>

#include "core/DirTree.h"
#include "core/QuillError.h"

namespace FunSub {

// What the copy tells the window (or the command line) that follows it. The copy may run
// on a worker thread; an implementation that touches widgets hands the calls over itself.
class CopyProgress {
public:
    virtual ~CopyProgress() = default;
    virtual void SetMax(std::int64_t max) = 0;   // once, at the start: TreeFileTotal
    virtual void SetStep(std::int64_t step) = 0; // once, at the start: 1
    virtual void StepIt() = 0;                   // once per file examined, copied or not
    virtual void SetFromText(const std::string& text) = 0;  // each copied file, before it
    virtual void SetToText(const std::string& text) = 0;    // each copied file, before it
};

struct CopySummary {
    std::int64_t examined = 0;
    std::int64_t copied = 0;
    std::int64_t bytes = 0;
};

inline constexpr const char* kTargetExistsText = "目标目录已存在！请重新指定源目录";

// Raised, before anything is written, when OutputDir/TargetName already exists.
class TargetExistsError : public QuillError {
public:
    TargetExistsError() : QuillError(kTargetExistsText) {}
};

// Whether a file of type `key` is copied under SelectedTypes and FilterMode.
bool PassesFilter(const std::string& key);

// Walks `sourceTree` (the tree of SourceDir) by index and copies. Reads SourceDir, WorkDir,
// OutputDir, TargetName, SelectedTypes, FilterMode and TreeFileTotal; changes none of them.
// The first failure ends the copy with its error; what was copied before it stays.
CopySummary RunFilterCopy(const DirTree& sourceTree, CopyProgress& progress);

// Copies one file whole, streamed: the copy is a plain file with current times. A copy that
// fails leaves nothing at `destination`. Returns the number of bytes copied.
std::int64_t CopyFileWhole(const std::string& source, const std::string& destination);

}  // namespace FunSub
