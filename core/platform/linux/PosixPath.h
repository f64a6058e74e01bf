#pragma once

// Paths of any length: Linux takes at most PATH_MAX bytes of a path in one call, while a tree
// may be deeper than that. A longer path is reached a part at a time, each part relative to
// the directory before it, and the call is made on the last part.

#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/Platform.h"

namespace Platform {

class PathAt {
public:
    // Finds the directory that holds the last part of `path` where `path` is too long for one
    // call; an empty path is the root.
    explicit PathAt(const std::string& path);
    ~PathAt();
    PathAt(const PathAt&) = delete;
    PathAt& operator=(const PathAt&) = delete;

    // open(2) of the path: a descriptor, or -1 with errno set.
    int Open(int flags, mode_t mode = 0) const;
    // stat(2) (`flags` 0) or lstat(2) (AT_SYMLINK_NOFOLLOW) of the path: 0 or the error number.
    int Stat(struct stat& st, int flags = 0) const;
    // access(2) of the path: 0 or the error number.
    int Access(int mode) const;

private:
    int m_dir;           // AT_FDCWD, a directory on the way, or -1 when that failed
    int m_error = 0;     // why it failed
    std::string m_rest;  // the part of the path below m_dir
};

// Lists the directory open as `fd` (which stays open) as EnterAndList lists one; the search
// right is asked of `name` in the directory open as `parentFd` where its bits refuse it.
int ListOpenedDirectory(int fd, int parentFd, const std::string& name, Detail detail,
                        std::vector<Entry>& out, FileId& id);

}  // namespace Platform
