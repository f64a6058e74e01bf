#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "core/Platform.h"
#include "core/platform/linux/PosixPath.h"

namespace Platform {
namespace {

// A directory opened for listing, read with getdents64 into a buffer of its own: opendir
// would stat the directory once more, and listings are most of a walk's system calls.
class DirHandle {
public:
    // `last`: O_NOFOLLOW where the directory itself must not be a link.
    explicit DirHandle(const std::string& dir, int last = 0)
        : m_fd(PathAt(dir).Open(O_RDONLY | O_DIRECTORY | O_CLOEXEC | last)) {}
    // Reads the directory open as `fd`, which its owner closes.
    explicit DirHandle(int fd) : m_fd(fd), m_owned(false) {}
    ~DirHandle() {
        if (m_fd >= 0 && m_owned)
            close(m_fd);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    int fd() const { return m_fd; }

    // The next entry, or null at the end or on a failure (errno then set, else 0).
    const dirent64* Next() {
        if (m_pos >= m_end) {
            const ssize_t n = getdents64(m_fd, m_buffer.get(), kBufferSize);
            errno = n < 0 ? errno : 0;
            if (n <= 0)
                return nullptr;
            m_pos = 0;
            m_end = static_cast<std::size_t>(n);
        }
        const auto* d = reinterpret_cast<const dirent64*>(m_buffer.get() + m_pos);
        m_pos += d->d_reclen;
        return d;
    }

private:
    static constexpr std::size_t kBufferSize = 32 * 1024;
    int m_fd;
    bool m_owned = true;
    std::unique_ptr<char[]> m_buffer{new char[kBufferSize]};
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};

bool IsDotOrDotDot(const char* n) {
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

std::string Format(const char* fmt, const std::tm& tm) {
    char buf[256];
    const std::size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
    return std::string(buf, n);
}

std::tm Local(std::int64_t t) {
    const auto tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm;
}

// Who the process is, asked once per listing rather than once per file: system calls are
// most of a listing's cost, and the groups are asked for only when a file needs them.
class Identity {
public:
    // Whether the process may open the file for reading. The permission bits tell without a
    // further call; only where they refuse is the system asked, as an access list may allow it.
    bool MayRead(int dirFd, const char* name, const struct stat& st) {
        if (!m_known) {
            m_uid = geteuid();
            m_gid = getegid();
            m_known = true;
        }
        if (m_uid == 0)
            return true;
        mode_t bit = S_IROTH;
        if (st.st_uid == m_uid) {
            bit = S_IRUSR;
        } else if (InGroup(st.st_gid)) {
            bit = S_IRGRP;
        }
        return (st.st_mode & bit) != 0 || faccessat(dirFd, name, R_OK, AT_EACCESS) == 0;
    }

private:
    bool InGroup(gid_t gid) {
        if (gid == m_gid)
            return true;
        if (!m_groupsRead) {
            m_groups.resize(static_cast<std::size_t>(std::max(getgroups(0, nullptr), 0)));
            const int n = getgroups(static_cast<int>(m_groups.size()), m_groups.data());
            m_groups.resize(static_cast<std::size_t>(std::max(n, 0)));
            m_groupsRead = true;
        }
        return std::find(m_groups.begin(), m_groups.end(), gid) != m_groups.end();
    }

    bool m_known = false;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    std::vector<gid_t> m_groups;
    bool m_groupsRead = false;
};

FileKind KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    return S_ISLNK(mode) ? FileKind::Link : FileKind::Special;
}

// Fills in what the entry is, with a stat only where the listing does not tell or the size
// and time are wanted (a directory's own are never shown). A link is kept as a link, or, for
// the picker, followed where its target can be reached. False when the entry vanished since
// it was listed.
bool Describe(int dirFd, const dirent64* d, Detail detail, Links links, Identity& who, Entry& e) {
    switch (d->d_type) {
        case DT_DIR:
            e.isDirectory = true;
            return true;
        case DT_REG:
            if (detail == Detail::Kinds)
                return true;
            break;
        case DT_LNK:
            if (links == Links::Keep) {
                e.kind = FileKind::Link;
                if (detail == Detail::Kinds)
                    return true;
            }
            break;
        case DT_FIFO:
        case DT_SOCK:
        case DT_CHR:
        case DT_BLK:
            e.kind = FileKind::Special;
            if (detail == Detail::Kinds)
                return true;
            break;
        default:
            break;
    }
    struct stat st {};
    const int follow = links == Links::Follow ? 0 : AT_SYMLINK_NOFOLLOW;
    if (fstatat(dirFd, d->d_name, &st, follow) != 0 &&
        (follow == AT_SYMLINK_NOFOLLOW ||
         fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)) {
        return false;
    }
    e.isDirectory = S_ISDIR(st.st_mode);
    e.kind = KindOf(st.st_mode);
    if (e.kind == FileKind::Regular)
        e.readable = who.MayRead(dirFd, d->d_name, st);
    e.size = static_cast<std::int64_t>(st.st_size);
    e.allocated = static_cast<std::int64_t>(st.st_blocks) * 512;
    e.mtime = static_cast<std::int64_t>(st.st_mtime);
    return true;
}

}  // namespace

namespace {

// Lists what `handle` holds, sorted.
int ReadEntries(DirHandle& handle, Detail detail, Links links, std::vector<Entry>& out) {
    Identity who;
    while (const dirent64* d = handle.Next()) {
        if (IsDotOrDotDot(d->d_name))
            continue;
        Entry e;
        e.name = d->d_name;
        e.hidden = d->d_name[0] == '.';
        if (Describe(handle.fd(), d, detail, links, who, e))
            out.push_back(std::move(e));
    }
    const int err = errno;
    SortByName(out);
    return err;
}

FileId IdOf(const struct stat& st) {
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

int ListDirectory(const std::string& dir, Detail detail, std::vector<Entry>& out, FileId* id,
                  Links links) {
    out.clear();
    RunListingHook(dir);
    DirHandle handle(dir);
    if (handle.fd() < 0)
        return errno;
    if (id) {
        struct stat st {};
        if (fstat(handle.fd(), &st) != 0)
            return errno;
        *id = IdOf(st);
    }
    return ReadEntries(handle, detail, links, out);
}

namespace {

// Lists the directory open in `handle` once it has made sure that the process may pass
// through it; `mayEnter` asks the system where the permission bits refuse. `parent`: see
// EnterAndList.
template <class MayEnter>
int ListEntered(DirHandle& handle, const FileId* parent, MayEnter mayEnter, Detail detail,
                std::vector<Entry>& out, FileId& id) {
    struct stat st {};
    if (fstat(handle.fd(), &st) != 0)
        return errno;
    id = IdOf(st);
    // A directory on the way swapped for a link since the parent was listed leads elsewhere.
    struct stat up {};
    if (parent && (fstatat(handle.fd(), "..", &up, 0) != 0 || !(IdOf(up) == *parent)))
        return ELOOP;
    // Passing through it needs the search right, which the permission bits tell (the system
    // is asked only where they refuse, as an access list may allow it).
    constexpr mode_t kEveryone = S_IXUSR | S_IXGRP | S_IXOTH;
    if ((st.st_mode & kEveryone) != kEveryone) {
        const uid_t uid = geteuid();
        const mode_t bit = st.st_uid == uid ? S_IXUSR : st.st_gid == getegid() ? S_IXGRP : S_IXOTH;
        if (uid != 0 && (st.st_mode & bit) == 0) {
            if (const int err = mayEnter())
                return err;
        }
    }
    return ReadEntries(handle, detail, Links::Keep, out);
}

}  // namespace

int EnterAndList(const std::string& dir, Detail detail, std::vector<Entry>& out, FileId& id,
                 const FileId* parent) {
    out.clear();
    RunListingHook(dir);
    DirHandle handle(dir, parent ? O_NOFOLLOW : 0);
    if (handle.fd() < 0)
        return errno;
    return ListEntered(
        handle, parent, [&] { return PathAt(dir).Access(X_OK); }, detail, out, id);
}

int ListOpenedDirectory(int fd, int parentFd, const std::string& name, Detail detail,
                        std::vector<Entry>& out, FileId& id) {
    DirHandle handle(fd);
    return ListEntered(
        handle, nullptr,
        [&] { return faccessat(parentFd, name.c_str(), X_OK, 0) == 0 ? 0 : errno; }, detail, out,
        id);
}

std::int64_t OpenFileRoom() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return static_cast<std::int64_t>(limit.rlim_cur);
}

int CheckEnterable(const std::string& dir) {
    const PathAt at(dir);
    struct stat st {};
    if (const int err = at.Stat(st))
        return err;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return at.Access(X_OK);
}

int PathIdentity(const std::string& path, FileId& out) {
    struct stat st {};
    if (const int err = PathAt(path).Stat(st))
        return err;
    out = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return !path.empty() && PathAt(path).Stat(st) == 0 && S_ISDIR(st.st_mode);
}

std::string CanonicalPath(const std::string& path) {
    char* resolved = realpath(path.empty() ? "/" : path.c_str(), nullptr);
    if (!resolved)
        return {};
    std::string out = resolved;
    free(resolved);
    return out;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && PathAt(path).Stat(st) == 0 && !S_ISDIR(st.st_mode);
}

int CreateDirectories(const std::string& dir) {
    if (dir.empty() || IsDirectory(dir))
        return 0;
    const auto cut = dir.find_last_of('/');
    if (cut != std::string::npos && cut > 0) {
        if (int err = CreateDirectories(dir.substr(0, cut)))
            return err;
    }
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
        return errno;
    return IsDirectory(dir) ? 0 : ENOTDIR;
}

namespace {

// FAT, exFAT and NTFS have no inodes, and FUSE drivers may count anything as theirs (exFAT's
// counts free clusters, which empty files do not take).
bool CountsNoInodes(decltype(statfs::f_type) type) {
    constexpr decltype(type) kFuse = 0x65735546, kMsdos = 0x4d44, kExfat = 0x2011BAB0,
                             kNtfs = 0x5346544e;
    return type == kFuse || type == kMsdos || type == kExfat || type == kNtfs;
}

}  // namespace

int ReadVolumeInfo(const std::string& dir, VolumeInfo& out) {
    struct statvfs vfs {};
    if (statvfs(dir.c_str(), &vfs) != 0)
        return errno;
    // Root may also fill what the file system keeps back for it (5 % of an ext4 by default).
    const bool root = geteuid() == 0;
    const auto freeBlocks = static_cast<std::int64_t>(root ? vfs.f_bfree : vfs.f_bavail);
    // A file system that counts no blocks at all (some FUSE ones) cannot tell its free space.
    out.freeBytes = vfs.f_blocks == 0 ? -1 : freeBlocks * static_cast<std::int64_t>(vfs.f_frsize);
    out.blockSize = std::max<std::int64_t>(static_cast<std::int64_t>(vfs.f_frsize), 1);
    // One that counts no inodes makes them as it needs them (btrfs).
    out.freeEntries =
        vfs.f_files == 0 ? -1 : static_cast<std::int64_t>(root ? vfs.f_ffree : vfs.f_favail);
    struct statfs kind {};
    if (out.freeEntries >= 0 && (statfs(dir.c_str(), &kind) != 0 || CountsNoInodes(kind.f_type)))
        out.freeEntries = -1;
    return 0;
}

namespace {

constexpr std::int64_t kFatLimit = (std::int64_t{4} << 30) - 1;
constexpr off_t kHoleProbe = off_t{1} << 20;
constexpr time_t kOddSecond = 1000000001;

std::string ProbeName(const std::string& dir, const char* what) {
    static std::atomic<unsigned> counter{0};
    return dir + "/.quillmere-probe-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
           what;
}

// Whether `fd` can be made `size` bytes long, as the file system says and then shows.
bool Holds(int fd, off_t size) {
    struct stat st {};
    return ftruncate(fd, size) == 0 && fstat(fd, &st) == 0 && st.st_size == size;
}

}  // namespace

void IgnoreFileSizeSignal() {
    static const bool ignored = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)ignored;
}

TargetTraits ProbeTarget(const std::string& dir) {
    IgnoreFileSizeSignal();
    TargetTraits traits;
    const std::string probe = ProbeName(dir, "-Ab");
    const int fd = open(probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        traits.writeError = errno;
        return traits;
    }
    struct stat st {};
    std::string other = probe;
    other.replace(other.size() - 2, 2, "aB");
    traits.caseInsensitive = lstat(other.c_str(), &st) == 0;
    // A file system that allocates what a file is made long by has no holes: FAT and exFAT.
    if (Holds(fd, kHoleProbe) && fstat(fd, &st) == 0)
        traits.holes = static_cast<off_t>(st.st_blocks) * 512 < kHoleProbe;
    (void)!ftruncate(fd, 0);
    const timespec odd[2] = {{kOddSecond, 0}, {kOddSecond, 0}};
    traits.fatTimes = futimens(fd, odd) == 0 && fstat(fd, &st) == 0 && st.st_mtime != kOddSecond;
    close(fd);
    unlink(probe.c_str());

    const std::string colon = ProbeName(dir, ":");
    const int named = open(colon.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    traits.windowsNames = named < 0;
    if (named >= 0) {
        close(named);
        unlink(colon.c_str());
    }
    const std::string link = ProbeName(dir, "-link");
    traits.links = symlink("probe", link.c_str()) == 0;
    if (traits.links)
        unlink(link.c_str());
    const std::string sub = ProbeName(dir, "-dir");
    if (mkdir(sub.c_str(), 0700) == 0) {
        if (stat(sub.c_str(), &st) == 0)
            traits.directoryBytes = static_cast<std::int64_t>(st.st_blocks) * 512;
        rmdir(sub.c_str());
    }
    return traits;
}

bool CopyClones(const std::string& sourceDir, const std::string& targetDir) {
    struct stat from {
    }, to{};
    if (stat(sourceDir.c_str(), &from) != 0 || stat(targetDir.c_str(), &to) != 0 ||
        from.st_dev != to.st_dev)
        return false;
    // One block of data in one probe file, cloned into another: refused at once where the
    // file system cannot share blocks.
    const std::string original = ProbeName(targetDir, "-clone");
    const std::string clone = ProbeName(targetDir, "-clone");
    const int in = open(original.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (in < 0)
        return false;
    const std::string block(static_cast<std::size_t>(std::max<blksize_t>(to.st_blksize, 4096)),
                            'q');
    bool clones = write(in, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    const int out = open(clone.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    clones = clones && out >= 0 && ioctl(out, FICLONE, in) == 0;
    if (out >= 0) {
        close(out);
        unlink(clone.c_str());
    }
    close(in);
    unlink(original.c_str());
    return clones;
}

std::int64_t FileSizeLimitBelow(const std::string& dir, std::int64_t size,
                                const TargetTraits& traits) {
    // Where a file made longer is filled with zeros (no holes), only FAT refuses a file of
    // 4 GiB at once; asking anything else would write the whole length.
    if (!traits.holes && !(traits.fatTimes && size > kFatLimit))
        return -1;
    const std::string probe = ProbeName(dir, "-size");
    const int fd = open(probe.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    std::int64_t limit = -1;
    if (!Holds(fd, static_cast<off_t>(size))) {
        limit = kFatLimit;
        if (traits.holes) {
            // Lengths cost nothing here: the largest that holds.
            std::int64_t low = 0, high = size;
            while (high - low > 1) {
                const std::int64_t mid = low + (high - low) / 2;
                (Holds(fd, static_cast<off_t>(mid)) ? low : high) = mid;
            }
            limit = low;
        }
    }
    (void)!ftruncate(fd, 0);
    close(fd);
    unlink(probe.c_str());
    return limit;
}

void RaiseOpenFileLimit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    (void)setrlimit(RLIMIT_NOFILE, &limit);  // the old limit stays when refused
}

bool IsTargetWideError(int e) {
    switch (e) {
        case ENOSPC:
        case EDQUOT:
        case EIO:
        case EROFS:
        case ENODEV:
        case ENXIO:
        case ENOTCONN:
        case ESTALE:
            return true;
        default:
            return false;
    }
}

std::string ExecutablePath() {
    std::string buf(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0)
        return {};
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

bool MayWrite(const std::string& path) {
    return !path.empty() && access(path.c_str(), IsDirectory(path) ? W_OK | X_OK : W_OK) == 0;
}

std::string UserConfigDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || home[0] != '/')
        return {};
    std::string dir = home;
    if (dir.back() == '/')
        dir.pop_back();
    return dir + "/.config";
}

int ReadSmallFile(const std::string& path, std::string& out) {
    out.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    char buf[65536];
    int err = 0;
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
    return err;
}

namespace {

int WriteAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Opens `path` for writing with `flags` (made with `mode` when missing), writes `content`
// and closes it. 0 or the error number.
int WriteOpened(const std::string& path, int flags, mode_t mode, const std::string& content) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, mode);
    if (fd < 0)
        return errno;
    int err = WriteAll(fd, content);
    if (close(fd) != 0 && err == 0)
        err = errno;
    return err;
}

// Writes `content` over the file in place: the way that needs only the file to be writable.
int OverwriteInPlace(const std::string& path, const std::string& content) {
    return WriteOpened(path, O_CREAT | O_TRUNC, 0666, content);
}

}  // namespace

int ReplaceSmallFile(const std::string& path, const std::string& content) {
    // Written beside the old file and renamed over it, so that a failure leaves the old
    // settings whole instead of a half-written file. A link is written through to the file
    // it names, and the new file keeps the old one's permissions and owner.
    const std::string target = CanonicalPath(path);
    struct stat old {};
    const bool exists = !target.empty() && stat(target.c_str(), &old) == 0;
    if (!exists && lstat(path.c_str(), &old) == 0) {
        return OverwriteInPlace(path, content);  // a dangling link: make the file it names
    }
    const std::string& dest = exists ? target : path;
    const std::string temp = dest + ".tmp-" + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        // A directory that takes no new files may still hold a writable work.ini. Any other
        // failure (a full disk) is reported: writing in place would leave half a file.
        if (errno != EACCES && errno != EPERM && errno != EROFS)
            return errno;
        return OverwriteInPlace(dest, content);
    }
    if (exists) {
        (void)!fchown(fd, old.st_uid, old.st_gid);
        (void)!fchmod(fd, old.st_mode & 07777);
    }
    int err = WriteAll(fd, content);
    if (close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && rename(temp.c_str(), dest.c_str()) != 0)
        err = errno;
    if (err != 0)
        unlink(temp.c_str());
    return err;
}

int WriteDurableFile(const std::string& path, const std::string& content) {
    const std::string temp = path + ".tmp-" + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errno;
    int err = WriteAll(fd, content);
    if (err == 0 && fsync(fd) != 0)
        err = errno;
    if (close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && rename(temp.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        unlink(temp.c_str());
        return err;
    }
    const auto cut = path.find_last_of('/');
    const std::string dir = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return errno;
    err = fsync(dirFd) != 0 ? errno : 0;
    close(dirFd);
    return err;
}

int AppendToFile(const std::string& path, const std::string& content) {
    return WriteOpened(path, O_CREAT | O_APPEND | O_NOFOLLOW, 0600, content);
}

int RenameOver(const std::string& from, const std::string& to) {
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0 ? 0 : errno;
}

std::string FromSettingsEncoding(const std::string& bytes) {
    return bytes;
}
std::string ToSettingsEncoding(const std::string& text) {
    return text;
}

std::string LocalDateTimeText(std::int64_t mtime) {
    const std::tm tm = Local(mtime);
    std::string text = Format("%x", tm);
    if (tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0)
        text += " " + Format("%X", tm);
    return text;
}

std::string IsoLocalTime(std::int64_t mtime) {
    return Format("%Y-%m-%dT%H:%M:%S", Local(mtime));
}

bool IsDriveRoot(const std::string& path) {
    return path == "/";
}

std::size_t RootLength(const std::string& path) {
    return !path.empty() && path[0] == '/' ? 1 : 0;
}

std::string PathKey(std::string path) {
    return path;
}

int CompareCaptions(const std::string& a, const std::string& b) {
    return std::strcoll(a.c_str(), b.c_str());
}

}  // namespace Platform
