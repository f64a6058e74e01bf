#pragma once

// What an unfinished copy keeps of itself inside its target's marker directory, so that it can
// be finished later: the job (its source, its filter, whether it is read back) written once at
// the start, and the files known to be on the disk, added to at each point where the copy's
// sync returned without an error. Both go with the marker when the copy is whole.

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/CopyJob.h"

namespace FunSub {

// The job of an unfinished copy as its target holds it.
struct CopyRecord {
    std::string source;   // the source's full path
    std::string workDir;  // the copy's texts show the source relative to it
    CopyFilter filter;
    bool verify = false;  // the copy reads every file back once it is on the disk
};

// A file of the target that the copy knows to be on the disk, relative to the target's root,
// with the size and last-write time its source had when it was copied.
struct DurableFile {
    std::string path;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
};

inline constexpr const char* kRecordName = "copy-job.txt";
inline constexpr const char* kDurableListName = "durable.txt";

// Writes `record` into the marker directory of `targetRoot` as one durable step (a temporary
// renamed into place). 0 or the error number.
int WriteCopyRecord(const std::string& targetRoot, const CopyRecord& record);

// The record of the unfinished copy in `targetRoot`; none when there is none or it does not
// read as one whole record.
std::optional<CopyRecord> ReadCopyRecord(const std::string& targetRoot);

// Adds `files` to the target's list of durable files. 0 or the error number.
int AppendDurableFiles(const std::string& targetRoot, const std::vector<DurableFile>& files);

// The target's list of durable files by path. A line that does not read whole, with its check
// (one a power cut cut short or left as zeros), is not in it: that file is compared instead.
std::unordered_map<std::string, DurableFile> ReadDurableFiles(const std::string& targetRoot);

// Forgets what the list holds: after a reading back found a copied file unlike its source, no
// file of the list is trusted any more.
void DropDurableFiles(const std::string& targetRoot);

// Removes the record, the list and anything else left inside the marker directory of
// `targetRoot` (a temporary of a killed copy), so that the marker can go. 0 or the first error.
int EmptyMarker(const std::string& targetRoot);

}  // namespace FunSub
