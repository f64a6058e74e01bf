#pragma once

// A look at the whole copy before anything is written: what it will copy, whether the target
// has room for it, and every item it could not copy as it stands.

#include <cstdint>
#include <string>
#include <vector>

#include "core/CopyJob.h"
#include "core/DirTree.h"
#include "core/Platform.h"
#include "core/StopToken.h"

namespace FunSub {

enum class ProblemKind {
    OutputInsideSource,   // blocking: the copy would copy itself
    OutputNotWritable,    // blocking: no file can be made in the output directory
    NoSpace,              // blocking: the target's free space is less than the copy needs
    NoInodes,             // blocking: the target can make fewer files and directories (inodes)
                          // than the copy makes
    FileTooLarge,         // blocking: larger than the target's file system can hold
    NameNotAllowed,       // a name the target's file system refuses
    NameClash,            // one name on a target that ignores case
    UnreadableDirectory,  // cannot be entered or listed
    UnreadableFile,       // cannot be opened for reading by this user
    SpecialFile,          // a pipe, socket or device: passed over
    LinkNotSupported,     // a symbolic link, made again as a link, which the target cannot hold
    IncompleteSource,     // the source is a copy that never finished
};

struct CopyProblem {
    ProblemKind kind;
    std::string path;    // relative to the source; empty for the copy as a whole
    std::string detail;  // what more there is to say: sizes, the other name of a clash
    bool blocking = false;
    int error = 0;  // the platform error number behind it, when there is one
};

struct CopyPlan {
    std::int64_t examined = 0;     // every file the copy looks at: its progress range
    std::int64_t files = 0;        // files and links that pass the filter
    std::int64_t bytes = 0;        // their content
    std::int64_t directories = 0;  // made in the target, its root included
    std::int64_t bytesNeeded = 0;  // the space they take there: whole blocks, holes left out
                                   // where the target keeps them, the blocks that keep track of
                                   // a large file's parts, every directory
    Platform::VolumeInfo volume;
    bool clones = false;  // the target shares the files' blocks with the source (copy on
                          // write): their data takes no room, and bytesNeeded leaves it out
    std::vector<CopyProblem> problems;  // the blocking ones first
    bool sourceIncomplete = false;      // the source is itself a copy that never finished
    bool stopped = false;               // the check was asked to stop: the rest is not known
    std::int64_t ruleFiles = -1;  // the files the rules leave out, where the caller knows them

    // What each directory of the tree holds besides directories, by node index, as listed:
    // the copy works from this listing instead of reading every directory again.
    std::vector<std::vector<Platform::Entry>> listings;
    std::vector<int> listErrors;  // by node index: why a directory could not be read, or 0

    bool Blocked() const { return !problems.empty() && problems.front().blocking; }
};

// Whether a problem of this kind ends a copy that does not go on past what it cannot copy;
// pipes, sockets and devices are passed over in any case.
inline bool StopsCopy(ProblemKind kind) {
    return kind != ProblemKind::SpecialFile;
}

// Looks at the copy `job` describes of `sourceTree` (its output directory and its filter). It
// writes nothing; a probe file and a probe directory are made and removed in the output
// directory to learn how its file system behaves (see Platform::ProbeTarget). `stop`, set
// from another thread, ends it early with `stopped` set.
CopyPlan CheckCopy(const CopyJob& job, const DirTree& sourceTree, StopToken stop = {});
// The same for a tree already read whole (ScanTree): its listings become the plan's, and no
// directory is read again.
CopyPlan CheckCopy(const CopyJob& job, const DirTree& sourceTree,
                   std::vector<std::vector<Platform::Entry>>&& listings, StopToken stop = {});
// A plan that only holds such listings, for a copy without the check before it.
CopyPlan PlanWithoutCheck(std::vector<std::vector<Platform::Entry>>&& listings);

// The kind's name in the command line's JSON ("no-space", "name-clash", ...).
std::string ProblemKindName(ProblemKind kind);
// One problem as the windows and the command line list it.
std::string ProblemText(const CopyProblem& problem);
// "将复制 8,432 个文件（128.1 MB），目标磁盘可用 3.2 GB"; "将克隆 ..." where the target
// shares the files' blocks with the source.
std::string PlanText(const CopyPlan& plan);

// A byte count for people: "812 B", "41.2 KB", "128.1 MB", "3.2 GB" (units of 1024).
std::string SizeText(std::int64_t bytes);
// `bytes` in the unit SizeText(`unitOf`) takes, without the unit: "41.2" beside "128.1 MB".
std::string SizeNumber(std::int64_t bytes, std::int64_t unitOf);

}  // namespace FunSub
