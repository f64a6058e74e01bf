#pragma once

// Finishing a copy that did not finish: a stop, a failure, a kill or a power cut left its
// target with the marker and the copy's record inside it. The source is walked again with the
// recorded filter; what the target lacks, or holds unlike its source, is copied, and what is
// whole already is left as it is.

#include <cstdint>
#include <string>
#include <vector>

#include "core/CopyRecord.h"
#include "core/FilterCopy.h"

namespace FunSub {

inline constexpr const char* kNotIncompleteText = "这个目标目录不是一次没有完成的复制";
inline constexpr const char* kNoRecordText = "这次复制没有留下可读的记录，无法继续复制";

// How continuing went. `copy` counts as a copy does: files examined, files (and links) written
// now and their bytes, items passed over, a stop, the reading back.
struct ContinueSummary {
    CopySummary copy;
    std::int64_t kept = 0;  // files whole already, left untouched
    // Entries of the target that the copy would not make (put there by someone else, or left
    // out by the filter), relative to the target's root; a directory with a separator at its
    // end. They are kept.
    std::vector<std::string> extras;
    bool finished = false;  // the marker is gone: the target is whole
};

// A target that cannot be continued, and why, with the word scripts know it by.
class ContinueRefusedError : public CopyRefusedError {
public:
    ContinueRefusedError(const std::string& message, const char* code)
        : CopyRefusedError(message, code) {}
};

// The record of the unfinished copy in `targetRoot`, when it can be continued: raises a
// CopyRefusedError that says why not (not unfinished, no readable record, the source gone).
CopyRecord ContinuableRecord(const std::string& targetRoot);

// Finishes the copy into `targetRoot` as its record describes. A file the record lists as
// durable whose source has its size and time still is kept; any other file already there is
// compared with its source byte for byte and kept when equal, else replaced in one step (a
// whole copy renamed over it). Missing directories and files are made, links as links. With
// `options.verify` or a record that says so, every file is known equal to its source before
// the marker goes; it goes only once everything is on the disk. `options.keepGoing` and
// `options.stop` act as for a copy; the other options are not used. Raises as a copy does;
// `summary` tells how far it got.
void ContinueCopy(const std::string& targetRoot, const CopyOptions& options, CopyProgress& progress,
                  ContinueSummary& summary);

}  // namespace FunSub
