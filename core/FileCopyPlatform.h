#pragma once

// The operating-system side of the filtered copy: the directories it walks and makes, and
// one file's content. One implementation per platform lives under core/platform/.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Platform.h"

namespace Platform {

enum class CopyFailure {
    None,
    OpenSource,         // the source cannot be opened, or is not a regular file
    CreateDestination,  // the destination cannot be created
    Read,               // reading the source failed part-way
    Write,              // writing the destination failed part-way (disk full, file too large)
    SourceChanged,      // the source was changed while it was copied
};

// Which side a failure concerns: the source (one item that cannot be read) or the target.
inline bool IsSourceSide(CopyFailure f) {
    return f == CopyFailure::OpenSource || f == CopyFailure::Read ||
           f == CopyFailure::SourceChanged;
}

struct CopyOutcome {
    CopyFailure failure = CopyFailure::None;
    int error = 0;           // the platform error number behind the failure
    std::int64_t bytes = 0;  // bytes of content copied
};

// Told, from the copying thread, of each part of a file's content as it is copied, so that a
// large file shows its progress while it is copied. The call may wait (a paused copy rests
// there): the file stays open meanwhile, and is compared with how it was before the copy when
// it is whole.
class CopyListener {
public:
    virtual void Copied(std::int64_t bytes) = 0;

protected:
    ~CopyListener() = default;
};

// An open directory of the copy. On POSIX it holds a descriptor, so that what lies in it is
// reached relative to it: one lookup per name instead of one per path component, and a
// directory renamed meanwhile is still the one that was opened. On Windows it holds the path.
class Directory {
public:
    Directory();
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens the directory `path` (a link is followed: the path is the user's choice).
    static int Open(const std::string& path, std::unique_ptr<Directory>& out);
    // Opens the subdirectory `name`; never through a link. 0 or the error number.
    int OpenChild(const std::string& name, std::unique_ptr<Directory>& out) const;
    // Opens the directory that holds this one now (it may have been moved meanwhile).
    int OpenParent(std::unique_ptr<Directory>& out) const;
    // Makes the new subdirectory `name` with the permission bits `mode` (less the umask,
    // always rwx for the owner; ignored on Windows) and opens it. kAlreadyExists when
    // anything of that name is there already.
    int MakeChild(const std::string& name, unsigned mode, std::unique_ptr<Directory>& out) const;
    // The permission bits of the directory itself, and of its subdirectory `name` (0777 where
    // there are none to tell).
    unsigned Mode() const;
    unsigned ChildMode(const std::string& name) const;
    // Removes the empty subdirectory `name`. 0 or the error number.
    int RemoveChild(const std::string& name) const;
    // Gives the subdirectory `from` the name `to`, never replacing anything already there:
    // kAlreadyExists then; kNoReplaceRefused where the file system cannot rename so. 0 or the
    // error number.
    int RenameChild(const std::string& from, const std::string& to) const;
    // Where it is: its device and file number.
    int Identity(FileId& out) const;
    // Writes what is known of the directory itself (its entries) to the disk.
    int SyncEntries() const;
    // Writes everything of its file system that is still in memory to the disk. Tests may
    // answer it in place of the disk (SetSyncHook).
    int SyncFileSystem() const;
    // Whether SyncFileSystem reaches the disk. It does not on FUSE file systems (NTFS, exFAT
    // or SSH through FUSE), whose daemon the kernel does not tell of it: there each file and
    // each directory that got new names must be synced by itself. False when it cannot tell.
    bool SyncFileSystemReachesDisk() const;

    struct Impl;
    Impl& impl() const { return *m_impl; }

private:
    std::unique_ptr<Impl> m_impl;
};

// Lists the subdirectory `name` of `parent` as EnterAndList lists `path` (the same directory
// by its path, for the listing hook and the texts), reached relative to `parent`, so at any
// depth and never through a link. `opened` receives it open, for its own subdirectories.
int EnterAndListIn(const Directory& parent, const std::string& name, const std::string& path,
                   Detail detail, std::vector<Entry>& out, FileId& id,
                   std::unique_ptr<Directory>& opened);

struct CopyRequest {
    const Directory* from = nullptr;  // the source file's directory
    std::string name;                 // the source file's name there
    const Directory* to = nullptr;    // the destination's directory
    std::string toName;               // the destination's name there
    // Where a large file may be written under a temporary name when the file system has no
    // unnamed files; the destination's directory when null.
    const Directory* temporaries = nullptr;
    CopyListener* listener = nullptr;
    // The file is made durable before it is final, also when small: for a file system that
    // syncing it whole does not reach.
    bool syncEach = false;
};

// Copies the content of a file into a new plain file: streamed in bounded memory, holes of a
// sparse source kept as holes, any size. Nothing that already exists at the destination is
// ever replaced: that fails as CreateDestination. On POSIX the copy keeps the source's rwx
// bits less the umask, always readable and writable by its owner, never setuid, setgid or
// sticky; on Windows it is a plain file. Its times are current. A copy that fails removes what
// it created. A source that changed while it was copied (its size or times differ after the
// copy from before it) fails as SourceChanged; so does one whose times lie within a step of its
// file system's clock of the copy (a writer then leaves them as they were) and that, looked at
// again once the step has passed, differs from what was written. Files of kInvisibleFrom bytes and
// more are written where no one sees them, made durable, and get their name only when whole, so
// that not even a killed process or a power cut leaves a short file under the name. With
// `syncEach` every file is made durable before the call returns.
CopyOutcome CopyFileContent(const CopyRequest& request);
// The same by full paths, for a single file.
CopyOutcome CopyFileContent(const std::string& source, const std::string& destination,
                            CopyListener* listener = nullptr);

inline constexpr std::int64_t kInvisibleFrom = std::int64_t{4} << 20;

// A test's hold on a whole file between the moment its name is claimed and the moment it is
// renamed over the claim, where the file system can neither rename without replacing nor
// link (exFAT through FUSE): called with the name. The program never sets it.
using NamingHook = void (*)(const std::string& name);
void SetNamingHook(NamingHook hook);

// Makes the destination a symbolic link with the same target text as the link `name` in
// `from`. Failures are OpenSource (the link cannot be read) or CreateDestination.
CopyOutcome CopyLink(const CopyRequest& request);

// How a copy compares with its source, read back from the disk.
enum class Comparison {
    Same,
    Different,     // the content differs
    SourceFailed,  // the source cannot be opened or read
    CopyFailed,    // the copy cannot be opened or read back
};

struct ComparisonOutcome {
    Comparison result = Comparison::Same;
    int error = 0;           // the platform error number behind a failure
    std::int64_t bytes = 0;  // bytes compared
};

// Compares the file `copy` byte for byte with `source`, in bounded memory (two buffers each
// thread reuses). The copy is read from the disk, not from memory: its cached pages are
// dropped first (the copy must be on the disk already), or on Windows it is read unbuffered.
ComparisonOutcome CompareFiles(const std::string& source, const std::string& copy,
                               CopyListener* listener = nullptr);

inline constexpr int kAlreadyExists = -1;
inline constexpr int kNoReplaceRefused = -2;

// True when anything exists at `path`; a link is not followed.
bool PathExists(const std::string& path);

// For tests: while set, Directory::SyncFileSystem returns what the hook returns and does not
// sync, so that a failing disk can be played. Null restores the disk.
using SyncHook = int (*)();
void SetSyncHook(SyncHook hook);
// True, with the hook's answer in `result`, when a hook is set.
bool AnswerSyncFromHook(int& result);

}  // namespace Platform
