// A FUSE file system for tests that stands for a disk with a volatile cache: it mirrors a
// backing directory, but what is written to a file stays in this program's memory until that
// file is synced (fsync or fdatasync), and a name made in a directory stays provisional until
// that directory is synced. A power cut, asked for by looking up the name
// /.quillmere-power-cut, drops everything not synced: a file never synced reads back with its
// last synced content (empty when there is none), and the provisional names vanish with all
// below them. Looking up /.quillmere-file-syncs-fail (or /.quillmere-directory-syncs-fail)
// makes every later sync of a file (of a directory) fail with EIO, as a dying device does;
// /.quillmere-syncs-succeed ends that. After /.quillmere-names-survive only data are lost (as
// on a file system that journals its names), until /.quillmere-names-vanish.
//
// Usage: quillmere-powercut-fs BACKING MOUNTPOINT [FUSE OPTIONS...]

#define FUSE_USE_VERSION 31

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

int g_root = -1;                    // the backing directory
std::mutex g_mutex;                 // one operation at a time: this is a test, not a fast disk
bool g_fileSyncsFail = false;       // every sync of a file fails with EIO
bool g_directorySyncsFail = false;  // and of a directory
bool g_namesSurvive = false;        // new names are durable at once
// The unsynced content of each file written since its last sync, by backing file number.
std::map<ino_t, std::string> g_unsynced;
// Names made since their directory was last synced, relative to the backing directory.
std::set<std::string> g_provisional;
std::string g_backing;

// The path relative to the backing directory: "." for the root.
std::string Rel(const char* path) {
    while (*path == '/') ++path;
    return *path ? path : ".";
}

// The directory part of a relative path.
std::string Parent(const std::string& rel) {
    const auto cut = rel.find_last_of('/');
    return cut == std::string::npos ? "." : rel.substr(0, cut);
}

int Err(int result) {
    return result < 0 ? -errno : result;
}

// Drops every unsynced content and every provisional name with all below it.
void PowerCut() {
    g_unsynced.clear();
    for (const std::string& rel : g_provisional) {
        std::error_code ec;
        std::filesystem::remove_all(g_backing + "/" + rel, ec);
    }
    g_provisional.clear();
}

// Answers the lookups that control this file system; true when `rel` was one.
bool Control(const std::string& rel) {
    if (rel == ".quillmere-power-cut")
        PowerCut();
    else if (rel == ".quillmere-file-syncs-fail")
        g_fileSyncsFail = true;
    else if (rel == ".quillmere-directory-syncs-fail")
        g_directorySyncsFail = true;
    else if (rel == ".quillmere-syncs-succeed")
        g_fileSyncsFail = g_directorySyncsFail = false;
    else if (rel == ".quillmere-names-survive")
        g_namesSurvive = true;
    else if (rel == ".quillmere-names-vanish")
        g_namesSurvive = false;
    else
        return false;
    return true;
}

// Notes a name just made, to vanish in a cut unless its directory is synced first.
void Made(const std::string& rel) {
    if (!g_namesSurvive)
        g_provisional.insert(rel);
}

// The content of the open file `fd`, the unsynced one made from the synced one on first need.
std::string& Unsynced(int fd) {
    struct stat st {};
    fstat(fd, &st);
    auto found = g_unsynced.find(st.st_ino);
    if (found != g_unsynced.end())
        return found->second;
    std::string& content = g_unsynced[st.st_ino];
    content.resize(static_cast<std::size_t>(st.st_size));
    if (pread(fd, content.data(), content.size(), 0) < 0)
        content.clear();
    return content;
}

// Forgets the unsynced content of the file `rel` when its last name is about to go.
void ForgetIfLastName(const std::string& rel) {
    struct stat st {};
    if (fstatat(g_root, rel.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_nlink == 1)
        g_unsynced.erase(st.st_ino);
}

// Forgets the provisional names at and below `rel`, which no longer exist.
void ForgetBelow(const std::string& rel) {
    for (auto it = g_provisional.begin(); it != g_provisional.end();) {
        if (*it == rel || it->rfind(rel + "/", 0) == 0)
            it = g_provisional.erase(it);
        else
            ++it;
    }
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
    const std::lock_guard lock(g_mutex);
    const std::string rel = Rel(path);
    if (!fi && Control(rel))
        return -ENOENT;
    const int r = fi ? fstat(static_cast<int>(fi->fh), st)
                     : fstatat(g_root, rel.c_str(), st, AT_SYMLINK_NOFOLLOW);
    if (r != 0)
        return -errno;
    if (const auto found = g_unsynced.find(st->st_ino);
        S_ISREG(st->st_mode) && found != g_unsynced.end())
        st->st_size = static_cast<off_t>(found->second.size());
    return 0;
}

int ReadLink(const char* path, char* buf, std::size_t size) {
    const ssize_t n = readlinkat(g_root, Rel(path).c_str(), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = '\0';
    return 0;
}

int MakeDir(const char* path, mode_t mode) {
    const std::lock_guard lock(g_mutex);
    if (mkdirat(g_root, Rel(path).c_str(), mode) != 0)
        return -errno;
    Made(Rel(path));
    return 0;
}

int Unlink(const char* path) {
    const std::lock_guard lock(g_mutex);
    ForgetIfLastName(Rel(path));
    if (unlinkat(g_root, Rel(path).c_str(), 0) != 0)
        return -errno;
    ForgetBelow(Rel(path));
    return 0;
}

int RemoveDir(const char* path) {
    const std::lock_guard lock(g_mutex);
    if (unlinkat(g_root, Rel(path).c_str(), AT_REMOVEDIR) != 0)
        return -errno;
    ForgetBelow(Rel(path));
    return 0;
}

int Symlink(const char* target, const char* path) {
    const std::lock_guard lock(g_mutex);
    if (symlinkat(target, g_root, Rel(path).c_str()) != 0)
        return -errno;
    Made(Rel(path));
    return 0;
}

int Rename(const char* from, const char* to, unsigned int flags) {
    const std::lock_guard lock(g_mutex);
    const std::string a = Rel(from), b = Rel(to);
    if (flags & ~static_cast<unsigned>(RENAME_NOREPLACE))
        return -EINVAL;
    struct stat st {};
    const bool replaces = fstatat(g_root, b.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (replaces && flags)
        return -EEXIST;
    if (replaces)
        ForgetIfLastName(b);
    if (renameat(g_root, a.c_str(), g_root, b.c_str()) != 0)
        return -errno;
    ForgetBelow(b);
    std::vector<std::string> moved;
    for (const std::string& p : g_provisional)
        if (p.rfind(a + "/", 0) == 0)
            moved.push_back(b + p.substr(a.size()));
    ForgetBelow(a);
    g_provisional.insert(moved.begin(), moved.end());
    Made(b);
    return 0;
}

int Link(const char* from, const char* to) {
    const std::lock_guard lock(g_mutex);
    if (linkat(g_root, Rel(from).c_str(), g_root, Rel(to).c_str(), 0) != 0)
        return -errno;
    Made(Rel(to));
    return 0;
}

int ChangeMode(const char* path, mode_t mode, fuse_file_info* fi) {
    return Err(fi ? fchmod(static_cast<int>(fi->fh), mode)
                  : fchmodat(g_root, Rel(path).c_str(), mode, 0));
}

int ChangeOwner(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi) {
    return Err(fi ? fchown(static_cast<int>(fi->fh), uid, gid)
                  : fchownat(g_root, Rel(path).c_str(), uid, gid, AT_SYMLINK_NOFOLLOW));
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
    const std::lock_guard lock(g_mutex);
    int fd = fi ? static_cast<int>(fi->fh) : openat(g_root, Rel(path).c_str(), O_RDWR);
    if (fd < 0)
        return -errno;
    Unsynced(fd).resize(static_cast<std::size_t>(size));
    if (!fi)
        close(fd);
    return 0;
}

int SetTimes(const char* path, const timespec tv[2], fuse_file_info* fi) {
    return Err(fi ? futimens(static_cast<int>(fi->fh), tv)
                  : utimensat(g_root, Rel(path).c_str(), tv, AT_SYMLINK_NOFOLLOW));
}

int Open(const char* path, fuse_file_info* fi) {
    const std::lock_guard lock(g_mutex);
    // Written data go to memory only, so the backing file is opened for reading and writing
    // whatever was asked; the kernel has checked the rights.
    const int fd = openat(g_root, Rel(path).c_str(), O_RDWR | O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<std::uint64_t>(fd);
    fi->direct_io = 1;  // no page cache that would outlive a power cut
    if (fi->flags & O_TRUNC)
        Unsynced(fd).clear();
    return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
    const std::lock_guard lock(g_mutex);
    const int fd = openat(g_root, Rel(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<std::uint64_t>(fd);
    fi->direct_io = 1;
    Made(Rel(path));
    return 0;
}

int Read(const char*, char* buf, std::size_t size, off_t offset, fuse_file_info* fi) {
    const std::lock_guard lock(g_mutex);
    const int fd = static_cast<int>(fi->fh);
    struct stat st {};
    fstat(fd, &st);
    const auto found = g_unsynced.find(st.st_ino);
    if (found == g_unsynced.end())
        return Err(static_cast<int>(pread(fd, buf, size, offset)));
    const std::string& content = found->second;
    if (static_cast<std::size_t>(offset) >= content.size())
        return 0;
    const std::size_t n = std::min(size, content.size() - static_cast<std::size_t>(offset));
    std::memcpy(buf, content.data() + offset, n);
    return static_cast<int>(n);
}

int Write(const char*, const char* buf, std::size_t size, off_t offset, fuse_file_info* fi) {
    const std::lock_guard lock(g_mutex);
    std::string& content = Unsynced(static_cast<int>(fi->fh));
    const std::size_t end = static_cast<std::size_t>(offset) + size;
    if (content.size() < end)
        content.resize(end);
    std::memcpy(content.data() + offset, buf, size);
    return static_cast<int>(size);
}

int StatFs(const char*, struct statvfs* st) {
    return Err(fstatvfs(g_root, st));
}

int Release(const char*, fuse_file_info* fi) {
    close(static_cast<int>(fi->fh));
    return 0;
}

// Writes the file's unsynced content to the backing file: from now on it survives a cut.
int Sync(const char*, int, fuse_file_info* fi) {
    const std::lock_guard lock(g_mutex);
    if (g_fileSyncsFail)
        return -EIO;
    const int fd = static_cast<int>(fi->fh);
    struct stat st {};
    fstat(fd, &st);
    const auto found = g_unsynced.find(st.st_ino);
    if (found == g_unsynced.end())
        return 0;
    const std::string& content = found->second;
    if (ftruncate(fd, static_cast<off_t>(content.size())) != 0 ||
        pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size()))
        return -EIO;
    g_unsynced.erase(found);
    return 0;
}

// Makes the names in the directory final.
int SyncDir(const char* path, int, fuse_file_info*) {
    const std::lock_guard lock(g_mutex);
    if (g_directorySyncsFail)
        return -EIO;
    const std::string dir = Rel(path);
    for (auto it = g_provisional.begin(); it != g_provisional.end();)
        it = Parent(*it) == dir ? g_provisional.erase(it) : std::next(it);
    return 0;
}

int ReadDir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    const int fd = openat(g_root, Rel(path).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return -errno;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return -errno;
    }
    while (const dirent* e = readdir(dir)) fill(buf, e->d_name, nullptr, 0, fuse_fill_dir_flags{});
    closedir(dir);
    return 0;
}

// No cached names, attributes or pages in the kernel: after a cut every look is fresh. A
// file removed while open goes at once, not under a hidden name.
void* Init(fuse_conn_info*, fuse_config* cfg) {
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->direct_io = 1;
    cfg->hard_remove = 1;
    return nullptr;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BACKING MOUNTPOINT [FUSE OPTIONS...]\n", argv[0]);
        return 2;
    }
    g_backing = std::filesystem::absolute(argv[1]).string();
    g_root = open(g_backing.c_str(), O_RDONLY | O_DIRECTORY);
    if (g_root < 0) {
        std::perror(argv[1]);
        return 1;
    }
    fuse_operations ops{};
    ops.getattr = GetAttr;
    ops.readlink = ReadLink;
    ops.mkdir = MakeDir;
    ops.unlink = Unlink;
    ops.rmdir = RemoveDir;
    ops.symlink = Symlink;
    ops.rename = Rename;
    ops.link = Link;
    ops.chmod = ChangeMode;
    ops.chown = ChangeOwner;
    ops.truncate = Truncate;
    ops.utimens = SetTimes;
    ops.open = Open;
    ops.create = Create;
    ops.read = Read;
    ops.write = Write;
    ops.statfs = StatFs;
    ops.release = Release;
    ops.fsync = Sync;
    ops.fsyncdir = SyncDir;
    ops.readdir = ReadDir;
    ops.init = Init;
    std::vector<char*> args{argv[0], argv[2], const_cast<char*>("-o"),
                            const_cast<char*>("default_permissions,allow_other,"
                                              "fsname=quillmere-powercut")};
    for (int i = 3; i < argc; ++i) args.push_back(argv[i]);
    return fuse_main(static_cast<int>(args.size()), args.data(), &ops, nullptr);
}
