#pragma once

// The operating-system side of the filtered copy: one file's content and the directories
// it goes into. One implementation per platform lives under core/platform/.

#include <cstdint>
#include <string>

namespace Platform {

enum class CopyFailure {
    None,
    OpenSource,         // the source cannot be opened, or is not a regular file
    CreateDestination,  // the destination cannot be created
    Read,               // reading the source failed part-way
    Write,              // writing the destination failed part-way (disk full, file too large)
};

struct CopyOutcome {
    CopyFailure failure = CopyFailure::None;
    int error = 0;           // the platform error number behind the failure
    std::int64_t bytes = 0;  // bytes of content copied
};

// Told, from the copying thread, of each part of a file's content as it is copied, so that a
// large file shows its progress while it is copied.
class CopyListener {
public:
    virtual void Copied(std::int64_t bytes) = 0;

protected:
    ~CopyListener() = default;
};

// Copies the content of the file `source` into a new plain file `destination`: streamed in
// bounded memory, holes of a sparse source kept as holes, any size. Nothing that already
// exists at `destination` is ever replaced: that fails as CreateDestination. On POSIX the copy
// keeps the source's rwx bits (less the umask, and always writable by its owner), never
// setuid, setgid or sticky; on Windows it is a plain file. Its times are current. A copy that
// fails removes what it created; files of kInvisibleFrom bytes and more are written where no
// one sees them and get their name only when whole, so that not even a killed process leaves
// a short file under the name.
CopyOutcome CopyFileContent(const std::string& source, const std::string& destination,
                            CopyListener* listener = nullptr);

inline constexpr std::int64_t kInvisibleFrom = std::int64_t{4} << 20;

// Makes `destination` a symbolic link with the same target text as the link `source`.
// Failures are OpenSource (the link cannot be read) or CreateDestination.
CopyOutcome CopyLink(const std::string& source, const std::string& destination);

inline constexpr int kAlreadyExists = -1;

// Creates the directory `dir`, whose parent exists. Returns 0, kAlreadyExists when anything
// of that name is already there, or the platform's error number.
int CreateNewDirectory(const std::string& dir);

// True when anything exists at `path`; a link is not followed.
bool PathExists(const std::string& path);

}  // namespace Platform
