#pragma once

// The few operating-system services the core needs. One implementation per platform
// lives under core/platform/; nothing above this header knows which one is built.

#include <cstdint>
#include <string>
#include <vector>

#include "PathRules.h"  // kSeparator
#include "core/Reason.h"

namespace Platform {

// Identity of a directory, used to notice a link that leads back onto the path walked.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// What an entry that is not a directory holds for a copy: content to copy, a symbolic link
// (made again as the same link, never followed; Linux only), or nothing at all (a pipe,
// socket or device, which is never opened).
enum class FileKind : std::uint8_t { Regular, Link, Special };

struct Entry {
    std::string name;
    bool isDirectory = false;  // Windows: a link to a directory counts as one; Linux: never
    FileKind kind = FileKind::Regular;  // entries that are not directories
    bool hidden = false;                // Linux: the name begins with "."
    bool system = false;                // never set on Linux
    std::int64_t size = 0;              // filled with Detail::Full only; a link: its own size
    std::int64_t allocated = -1;        // bytes its blocks take on its disk (less than `size` when
                                        // it has holes); -1 when not known. Detail::Full only
    std::int64_t mtime = 0;             // seconds since 1970-01-01 UTC; Detail::Full only
    bool readable = true;               // the process may open it for reading; Detail::Full only
};

// Kinds: names and whether each entry is a directory. Full: also size and last-write time.
enum class Detail { Kinds, Full };

// Whether a symbolic link to a directory is listed as a directory (the picker, where one
// moves through the disks) or as what it is, a link (every walk of a tree). Windows always
// follows links.
enum class Links { Keep, Follow };

// Lists the entries of `dir` other than "." and "..", hidden and read-only ones included,
// sorted by SortByName. Returns 0, or the platform's error number when the directory cannot
// be read. `id`, when given, receives the directory's identity.
int ListDirectory(const std::string& dir, Detail detail, std::vector<Entry>& out,
                  FileId* id = nullptr, Links links = Links::Keep);

// Lists `dir` as ListDirectory does, once it has made sure that it is a directory the process
// could make current (the one test a walk makes of each directory). Returns 0 or the error
// number, the same as CheckEnterable's or ListDirectory's; `id` receives its identity. With
// `parent`, the identity of the directory the walk listed `dir` in, `dir` must still be in it:
// not a link itself, and not reached through a link swapped in for a directory on the way
// (Linux: the error is then ELOOP; Windows follows links in any case).
int EnterAndList(const std::string& dir, Detail detail, std::vector<Entry>& out, FileId& id,
                 const FileId* parent = nullptr);

// A test's hold on every listing: called with the directory before it is read. Tests use it
// to hold a walk where they want it; the program never sets it.
using ListingHook = void (*)(const std::string& dir);
void SetListingHook(ListingHook hook);
void RunListingHook(const std::string& dir);

// The one order of every listing, the same on every platform and file system: by name with
// A-Z taken as a-z, then by the bytes themselves.
bool NameLess(const std::string& a, const std::string& b);
void SortByName(std::vector<Entry>& entries);

// 0 when `dir` is a directory that the process could make current, else the error number.
int CheckEnterable(const std::string& dir);

bool IsDirectory(const std::string& path);
// The identity of what `path` names (a link followed). 0 or the error number.
int PathIdentity(const std::string& path, FileId& out);
// The path with every link and "." or ".." resolved, as the system itself names the
// directory; empty when it cannot be found.
std::string CanonicalPath(const std::string& path);
// True for an existing entry that is not a directory.
bool IsFile(const std::string& path);

// Creates `dir` and every missing parent. Returns 0 or the error number.
int CreateDirectories(const std::string& dir);

// What a copy needs to know of the file system that holds `dir`.
struct VolumeInfo {
    std::int64_t freeBytes = -1;    // free for this user (root may use the blocks the file
                                    // system keeps back for it); -1 when it cannot be told
    std::int64_t blockSize = 1;     // the unit a file's space is taken in
    std::int64_t freeEntries = -1;  // files and directories that can still be made there (its
                                    // free inodes); -1 when it has no such limit or cannot tell
};
int ReadVolumeInfo(const std::string& dir, VolumeInfo& out);

// True when a copy of the files below `sourceDir` into `targetDir` will share their blocks
// instead of writing them again (a copy-on-write file system such as XFS with reflinks or
// btrfs): both lie on one file system, and a probe file made in `targetDir` can be cloned
// there. The probe files are removed again. Always false on Windows.
bool CopyClones(const std::string& sourceDir, const std::string& targetDir);

// How many files the process may hold open at once (its soft limit); very many on Windows,
// where the walks hold none.
std::int64_t OpenFileRoom();

// Raises this process's limit of open files (the soft one) as far as it may (the hard one),
// so that deep trees and many copying threads do not run out of descriptors. Nothing on
// Windows, which has no such limit for handles.
void RaiseOpenFileLimit();

// How the file system of `dir` behaves, found out by trying: a probe file and a probe
// directory are made and removed there. A directory the process cannot write to says so in
// `writeError` and gives the defaults for the rest.
struct TargetTraits {
    int writeError = 0;                // why no file can be made there; 0 when one can
    bool caseInsensitive = false;      // "README" and "readme" are one name
    bool windowsNames = false;         // FAT's rules: no "*:<>?\| or control characters, no
                                       // trailing dot or blank
    bool links = true;                 // it can hold symbolic links
    bool holes = false;                // a file can have holes, so a sparse copy stays sparse
    bool fatTimes = false;             // file times in steps of two seconds, as FAT keeps them
    std::int64_t directoryBytes = -1;  // what a new directory takes; -1 when not known
};
TargetTraits ProbeTarget(const std::string& dir);

// The largest file the file system of `dir` holds, when a file of `size` bytes is more than
// it can: asked of a probe file, on file systems where asking costs nothing (holes) or is
// refused at once (FAT). -1 when a file of `size` bytes fits, or when finding out would mean
// writing that much.
std::int64_t FileSizeLimitBelow(const std::string& dir, std::int64_t size,
                                const TargetTraits& traits);

// True for an error that concerns the whole target rather than one item: a full disk, a
// device gone or read-only. A copy that goes on past single items still ends at one.
bool IsTargetWideError(int platformError);

// The executable's own full path.
std::string ExecutablePath();

// A file-size limit (ulimit -f) makes a write or a probe fail with its error instead of
// killing the program. Nothing to do where there is none (Windows).
void IgnoreFileSizeSignal();
// True when the process may write the existing file `path`, or create files in the existing
// directory `path`. On Windows the rights of a folder are not told so simply: always true,
// and the write itself says.
bool MayWrite(const std::string& path);
// The user's configuration directory: $XDG_CONFIG_HOME when that is an absolute path,
// else .config in the home directory; empty when there is no home directory, and on Windows,
// where the settings always lie beside the program.
std::string UserConfigDirectory();

// True when `path` (a full path) is the root of a file system: "/", or a drive's "C:\".
bool IsDriveRoot(const std::string& path);
// The length of the root that the full path `path` begins with (1 for "/", 3 for "C:\"); 0
// when it begins with none.
std::size_t RootLength(const std::string& path);
// `path` as paths compare on this platform's file systems: itself on Linux, A-Z folded on
// Windows.
std::string PathKey(std::string path);
// Orders two captions (UTF-8) as the user's language sorts them: below 0, 0 or above 0.
int CompareCaptions(const std::string& a, const std::string& b);

// The reason behind an error number of this platform (errno, or a Windows error code).
FunSub::Reason ClassifyReason(int platformError);
// Whether the error number is one of those the input/output error describes in words ("File
// not found", "Invalid filename", ...); the others read "I/O error N" whatever their reason.
bool HasDescribedText(int platformError);

// Whole small files (the settings file): read, and replace atomically.
int ReadSmallFile(const std::string& path, std::string& out);
int ReplaceSmallFile(const std::string& path, const std::string& content);
// Removes the file `path` (a link itself, not what it names). 0 or the error number.
int RemoveFile(const std::string& path);

// The settings file holds text in the system's 8-bit code page on Windows and raw bytes on
// Linux; the core's strings are UTF-8 on Windows and raw bytes on Linux.
std::string FromSettingsEncoding(const std::string& bytes);
std::string ToSettingsEncoding(const std::string& text);

// A file time as the user's locale writes it: short date, a blank and the long time; the
// date alone when the time of day is exactly 00:00:00.
std::string LocalDateTimeText(std::int64_t mtime);
// The same instant as ISO 8601 local time without zone, such as 2024-03-01T09:30:00.
std::string IsoLocalTime(std::int64_t mtime);

}  // namespace Platform
