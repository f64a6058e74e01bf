#pragma once

// One filtered copy: every directory of the source tree recreated below
// OutputDir/TargetName, and every file whose type passes the filter copied into it.

#include <cstdint>
#include <string>
#include <vector>

#include "core/CopyJob.h"
#include "core/DirTree.h"
#include "core/FileCopyPlatform.h"
#include "core/FunSub.h"
#include "core/QuillError.h"

namespace FunSub {

// What the copy tells the window (or the command line) that follows it. The copy may run
// on a worker thread; an implementation that touches widgets hands the calls over itself.
class CopyProgress {
public:
    virtual ~CopyProgress() = default;
    virtual void SetMax(std::int64_t max) = 0;    // once, at the start: the job's fileTotal
    virtual void SetStep(std::int64_t step) = 0;  // once, at the start: 1
    virtual void StepIt() = 0;                    // once per file examined, copied or not
    virtual void SetFromText(const std::string& text) = 0;  // each copied file, before it
    virtual void SetToText(const std::string& text) = 0;    // each copied file, before it
    // Bytes of content copied, in parts as a large file goes; then each file when done.
    // These two come from the threads that copy, which may be several.
    virtual void AddBytes(std::int64_t) {}
    virtual void FileCopied() {}
    // Everything is written; what is still in memory goes to the disk now.
    virtual void Syncing() {}
    // The copy is on the disk; each copied file is now read back and compared with its
    // source: `files` files of `bytes` bytes. From here AddBytes and FileCopied count what is
    // compared.
    virtual void Verifying(std::int64_t /*files*/, std::int64_t /*bytes*/) {}
};

struct CopyPlan;

// The copying threads a copy uses unless told otherwise: QUILLMERE_COPY_JOBS when it is set (1 to
// 64), else as many as the machine has cores, at most 8.
int DefaultJobs();

// Called before each file of a copy is copied, on the thread that copies it; null for none.
// Tests slow a copy down with it, to see it running whatever the machine's speed.
using FileCopyHook = void (*)();
void SetFileCopyHook(FileCopyHook hook);
// Called after each part of a file's content is copied or read back, on the thread that does
// it; null for none. Tests slow a large file down with it, to see it between its parts.
void SetChunkCopyHook(FileCopyHook hook);

// A copied file that its source does not match when read back, and why.
struct Mismatch {
    std::string path;    // relative to the source
    std::string reason;  // for people
    std::string word;    // for scripts: "different", "source-unreadable", "copy-unreadable"
    int error = 0;       // the platform's error number behind a failure to read
};

// An item the copy passed over, and why.
struct SkippedItem {
    std::string path;              // relative to the source
    std::string reason;            // what the copy said of it
    int error = 0;                 // the platform's error number behind it, when there is one
    Reason cause = Reason::Other;  // set where the copy passed over it
};

struct CopySummary {
    std::int64_t examined = 0;
    std::int64_t copied = 0;  // files, and dangling links recreated as links
    std::int64_t bytes = 0;
    // Pipes, sockets and devices, which hold nothing to copy, and with keepGoing whatever
    // could not be copied.
    std::vector<SkippedItem> skipped;
    bool stopped = false;              // ended early because it was asked to
    std::int64_t verified = -1;        // files read back and compared; -1 when not asked to
    std::vector<Mismatch> mismatches;  // in the order of the walk
};

inline constexpr const char* kTargetExistsText = "目标目录已存在！请重新指定源目录";
inline constexpr const char* kOutputInsideSourceText = "输出目录位于源目录之内，不能复制";
inline constexpr const char* kSpecialFileText = "Not a regular file (pipe, socket or device)";
inline constexpr const char* kSourceChangedText = "源文件在复制过程中被修改";
inline constexpr const char* kMarkerNameText = "与复制未完成的标记同名，不能放入目标目录";
inline constexpr const char* kSyncingText = "正在写入磁盘…";
inline constexpr const char* kDifferentText = "与源文件内容不同";
inline constexpr const char* kSourceUnreadableText = "校验时无法读取源文件";
inline constexpr const char* kCopyUnreadableText = "无法从目标磁盘读回副本";
inline constexpr const char* kTargetGoneText = "目标目录已不在原处：";
inline constexpr const char* kSourceGoneText = "源目录已不在原处：";

// A directory in a target root that says the copy into it has not finished: made before
// anything is written, removed once everything is on the disk. A copy that was killed, failed
// or was stopped keeps it. Its name begins with ".", so no tree, statistics or copy takes it
// in; the large files of a copy are written inside it until they are whole.
inline constexpr const char* kIncompleteMarker = ".quillmere-incomplete";

inline constexpr const char* kIncompleteTargetText =
    "这是一次没有完成的复制：复制被中断或失败，其中的文件可能不全";

// How the reading back ended: "校验通过：8,432 个文件", or how many files did not match, or
// that it was stopped.
std::string VerifyText(const CopySummary& summary);

// True when the directory `dir` is the target of a copy that has not finished.
bool TargetIncomplete(const std::string& dir);

// A copy refused before anything was written; the windows show it as a warning.
class CopyRefusedError : public QuillError {
public:
    using QuillError::QuillError;
};

// OutputDir/TargetName already exists.
class TargetExistsError : public CopyRefusedError {
public:
    TargetExistsError()
        : CopyRefusedError(kTargetExistsText, Reason::TargetExists, Side::TargetRoot) {}
};

// OutputDir is the source or lies inside it: the copy would copy itself.
class OutputInsideSourceError : public CopyRefusedError {
public:
    OutputInsideSourceError()
        : CopyRefusedError(kOutputInsideSourceText, Reason::OutputInsideSource) {}
};

// True when `outputDir` is the directory `sourceDir` or lies below it, links resolved. An
// output directory that does not exist yet is judged by the part of it that does.
bool OutputLiesInSource(const std::string& outputDir, const std::string& sourceDir);

// Walks `sourceTree` (the tree of the source) by index and copies what `job` describes: every
// directory made again below job.outputDir/job.targetName, every file the filter passes copied.
// Symbolic links are made again as links, never followed. Nothing written earlier by this
// copy is ever replaced or merged into (a case-insensitive target makes "README" and "readme"
// one name): that is a failure. The first failure ends the copy with its error once the files
// in progress are done (with keepGoing, the first that concerns the whole target: a full disk,
// a target or source root that is gone); what was copied before it stays. It returns only
// once everything written is on the disk.
CopySummary RunFilterCopy(const CopyJob& job, const DirTree& sourceTree, CopyProgress& progress);
// The same, filling `summary` as it goes, so that after a failure it tells how far it got.
void RunFilterCopy(const CopyJob& job, const DirTree& sourceTree, CopyProgress& progress,
                   CopySummary& summary);

// The failure with which the copy reports the failed copy of the file `source` to
// `destination`: its message, reason and side.
QuillError CopyFailureError(const Platform::CopyOutcome& outcome, const std::string& source,
                            const std::string& destination);

}  // namespace FunSub
