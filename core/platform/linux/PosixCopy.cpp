#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "core/FileCopyPlatform.h"
#include "core/platform/linux/PosixPath.h"

namespace Platform {

struct Directory::Impl {
    int fd = -1;
};

namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;
// Small enough that a large file reports its progress many times a second, and that a paused
// copy rests within a moment even on a slow disk; large enough that the calls cost nothing.
constexpr std::size_t kKernelChunk = std::size_t{8} << 20;

// The test's hold on a file between the claim of its name and its rename (see SetNamingHook).
std::atomic<NamingHook> g_namingHook{nullptr};

// Runs the hold with the name about to be given, when a test has set one.
void RunNamingHook(const std::string& name) {
    if (const NamingHook hook = g_namingHook.load(std::memory_order_relaxed))
        hook(name);
}

// Buffers of each thread, made on first need and reused for every later file: fresh memory
// per file costs far more than the copying itself. `Which` tells them apart: the copy takes
// the first, a comparison of two files the first and the second.
template <int Which>
char* ThreadBuffer() {
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer)
        buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    return buffer.get();
}

char* ReusedBuffer() {
    return ThreadBuffer<0>();
}
char* SecondBuffer() {
    return ThreadBuffer<1>();
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    // Closes now and returns 0 or the error number that close reported.
    int reset() {
        int err = 0;
        if (m_fd >= 0 && close(m_fd) != 0)
            err = errno;
        m_fd = -1;
        return err;
    }

private:
    int m_fd;
};

// Copies byte ranges between two open files at explicit offsets, so that holes between the
// ranges stay holes. The kernel copies while it can; plain reads and writes take over when
// it cannot, and also tell which of the two sides failed.
class RangeCopier {
public:
    RangeCopier(int in, int out, off_t expectedSize, CopyListener* listener)
        : m_in(in), m_out(out), m_expectedSize(expectedSize), m_listener(listener) {}

    // Copies [from, to), or from `from` to the end of the source when `to` is negative.
    // False on failure (see outcome()).
    bool Copy(off_t from, off_t to) {
        off_t pos = from;
        if (m_kernel && !KernelCopy(pos, to))
            return false;
        if (m_kernel)
            return true;
        return BufferCopy(pos, to);
    }

    const CopyOutcome& outcome() const { return m_outcome; }
    // A hole passed over: no bytes to copy, but progress all the same.
    void Skipped(off_t n) {
        if (m_listener && n > 0)
            m_listener->Copied(n);
    }
    void Fail(CopyFailure failure, int error) {
        m_outcome = CopyOutcome{failure, error, m_outcome.bytes};
    }

private:
    static std::size_t Want(off_t pos, off_t to, std::size_t chunk) {
        if (to < 0)
            return chunk;
        return static_cast<std::size_t>(std::min<off_t>(to - pos, static_cast<off_t>(chunk)));
    }

    // Leaves m_kernel false when the rest is for BufferCopy.
    bool KernelCopy(off_t& pos, off_t to) {
        while (to < 0 || pos < to) {
            loff_t in = pos, out = pos;
            const ssize_t n =
                copy_file_range(m_in, &in, m_out, &out, Want(pos, to, kKernelChunk), 0);
            if (n > 0) {
                pos += n;
                Count(n);
                // The length seen at opening is the copy's end, as in the sparse case: this
                // saves asking once more for the end of every small file.
                if (to < 0 && pos >= m_expectedSize)
                    return true;
                continue;
            }
            if (n == 0 && pos >= m_expectedSize)
                return true;  // the end of the source
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EFBIG || errno == ENOSPC || errno == EDQUOT)) {
                Fail(CopyFailure::Write, errno);
                return false;
            }
            // Unsupported here, or an end before the expected size that plain reads confirm.
            m_kernel = false;
            return true;
        }
        return true;
    }

    bool BufferCopy(off_t pos, off_t to) {
        char* const buffer = ReusedBuffer();
        while (to < 0 || pos < to) {
            const ssize_t n = pread(m_in, buffer, Want(pos, to, kBufferSize), pos);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                Fail(CopyFailure::Read, errno);
                return false;
            }
            if (n == 0)
                return true;
            if (!WriteAll(buffer, static_cast<std::size_t>(n), pos))
                return false;
            pos += n;
            Count(n);
        }
        return true;
    }

    bool WriteAll(const char* data, std::size_t size, off_t pos) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n =
                pwrite(m_out, data + done, size - done, pos + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                Fail(CopyFailure::Write, n < 0 ? errno : ENOSPC);
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    void Count(ssize_t n) {
        m_outcome.bytes += n;
        if (m_listener)
            m_listener->Copied(n);
    }

    int m_in;
    int m_out;
    off_t m_expectedSize;
    CopyListener* m_listener;
    bool m_kernel = true;
    CopyOutcome m_outcome;
};

// Copies only the data regions of a source with holes, then sets the full length.
bool CopySparse(RangeCopier& copier, int in, int out, off_t size) {
    off_t pos = 0;
    while (pos < size) {
        const off_t data = lseek(in, pos, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            copier.Skipped(size - pos);
            break;  // only a hole is left
        }
        if (data < 0)
            return copier.Copy(pos, -1);
        copier.Skipped(data - pos);
        off_t hole = lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            hole = size;
        if (!copier.Copy(data, hole))
            return false;
        pos = hole;
    }
    if (ftruncate(out, size) != 0) {
        copier.Fail(CopyFailure::Write, errno);
        return false;
    }
    return true;
}

// The file a copy writes to, in the directory `dir`. Small files are made under their name
// at once; large ones are written invisibly (an unnamed file in the destination directory,
// or else a hidden temporary name in the directory for temporaries) and named only when
// whole. Nothing that exists is ever replaced.
class Destination {
public:
    Destination(int dir, std::string name, int temporaries)
        : m_dir(dir), m_name(std::move(name)), m_tempDir(temporaries) {}
    ~Destination() { Discard(); }
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;

    // False, with errno set, when the file cannot be made.
    bool Open(mode_t mode, bool invisible) {
        if (invisible) {
            m_fd = openat(m_dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
            if (m_fd >= 0) {
                m_state = State::Unnamed;
                return true;
            }
            // Not every file system has unnamed files: a hidden name instead.
            static std::atomic<unsigned> counter{0};
            m_temp = ".quillmere-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
                     ".part";
            m_fd = CreateNew(m_tempDir, m_temp, mode);
            m_state = State::Temporary;
        } else {
            m_fd = CreateNew(m_dir, m_name, mode);
            m_state = State::Named;
        }
        if (m_fd < 0)
            m_state = State::None;
        return m_fd >= 0;
    }

    int fd() const { return m_fd; }
    bool invisible() const { return m_state == State::Unnamed || m_state == State::Temporary; }

    // Closes the file and gives it its name. 0, or the error number (EEXIST when something
    // has that name already); after a failure nothing is left.
    int Finish() {
        int err = 0;
        if (m_state == State::Unnamed)
            err = LinkUnnamed();
        if (close(m_fd) != 0 && err == 0)
            err = errno;
        m_fd = -1;
        if (err == 0 && m_state == State::Temporary)
            err = RenameNoReplace();
        if (err != 0) {
            Discard();
            return err;
        }
        m_state = State::None;
        return 0;
    }

    // Removes whatever this destination made.
    void Discard() {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
        if (m_state == State::Named || m_state == State::Linked)
            unlinkat(m_dir, m_name.c_str(), 0);
        if (m_state == State::Temporary)
            unlinkat(m_tempDir, m_temp.c_str(), 0);
        m_state = State::None;
    }

private:
    enum class State { None, Named, Unnamed, Linked, Temporary };

    static int CreateNew(int dir, const std::string& name, mode_t mode) {
        return openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    }

    int LinkUnnamed() {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (linkat(AT_FDCWD, self.c_str(), m_dir, m_name.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
            (errno != ENOENT || linkat(m_fd, "", m_dir, m_name.c_str(), AT_EMPTY_PATH) != 0)) {
            return errno;
        }
        m_state = State::Linked;
        return 0;
    }

    // A rename that refuses to replace; where the file system cannot promise that, a link
    // does, and where it has no links either (exFAT through FUSE), the name is claimed first.
    int RenameNoReplace() {
        const char* from = m_temp.c_str();
        const char* to = m_name.c_str();
        if (renameat2(m_tempDir, from, m_dir, to, RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        if (linkat(m_tempDir, from, m_dir, to, 0) == 0) {
            unlinkat(m_tempDir, from, 0);
            return 0;
        }
        if (errno == EEXIST)
            return errno;
        return RenameOverClaim();
    }

    // Claims the name with an empty file that only this call can have made (the file system
    // decides with its own case folding, so "BIG.dat" is refused while "big.dat" is being
    // named by another thread), then renames the whole file over it. Looking at the name and
    // then renaming would let two files that one name stands for both pass the look, and the
    // second replace the first. A claim that cannot be filled is removed again.
    int RenameOverClaim() {
        const int claim = CreateNew(m_dir, m_name, S_IRUSR | S_IWUSR);
        if (claim < 0)
            return errno;
        int err = close(claim) == 0 ? 0 : errno;
        RunNamingHook(m_name);
        if (err == 0 && renameat(m_tempDir, m_temp.c_str(), m_dir, m_name.c_str()) != 0)
            err = errno;
        if (err != 0)
            unlinkat(m_dir, m_name.c_str(), 0);
        return err;
    }

    int m_dir;
    std::string m_name;
    int m_tempDir;
    std::string m_temp;
    int m_fd = -1;
    State m_state = State::None;
};

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the file is still what it was: a writer leaves its size or times changed.
bool Unchanged(const struct stat& before, const struct stat& after) {
    return before.st_size == after.st_size && SameTime(before.st_mtim, after.st_mtim) &&
           SameTime(before.st_ctim, after.st_ctim);
}

// Reads up to `size` bytes at `offset`: fewer only at the end of the file. -1 on failure.
ssize_t ReadFully(int fd, char* data, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// Times in nanoseconds since 1970, which hold every file time within a few centuries of now.
constexpr std::int64_t kSecond = 1'000'000'000;

// A time of the clock or of a file, in nanoseconds.
std::int64_t Nanoseconds(const timespec& t) {
    return std::int64_t{t.tv_sec} * kSecond + t.tv_nsec;
}

// The real time, which file times are taken from.
std::int64_t Now() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return Nanoseconds(t);
}

// The step in which the file system of a file moves its times, as the file's own times tell:
// whole seconds when neither has a fraction (FAT keeps steps of two, exFAT through FUSE of
// one); else the kernel's clock tick (10 ms at most) and as much again for the coarse clock
// that the kernel stamps with to lag behind the real one, with room to spare.
std::int64_t TimeStep(const struct stat& st) {
    if (st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0)
        return 2 * kSecond;
    return kSecond / 20;
}

// A writer during a copy that began at `began` and ended at `ended` leaves the times of the
// source as they were when it writes within one step of them: then the source is possibly
// changing (as git's "racily clean" files are), until the moment returned, after which any
// write moves them. -1 when no writer during the copy could have gone unseen.
std::int64_t PossiblyChangingUntil(const struct stat& st, std::int64_t began, std::int64_t ended) {
    const std::int64_t step = TimeStep(st);
    std::int64_t until = -1;
    for (const timespec& time : {st.st_mtim, st.st_ctim}) {
        // A time far from the copy's (as far as beyond what nanoseconds hold) is no writer's.
        if (time.tv_sec < began / kSecond - 60 || time.tv_sec > ended / kSecond + 60)
            continue;
        const std::int64_t at = Nanoseconds(time);
        if (began < at + step && at - step <= ended)
            until = std::max(until, at + step);
    }
    return until;
}

// Waits until the real-time clock shows `until`, for no longer than `most`: a clock set back
// meanwhile does not hold the copy up.
void WaitUntil(std::int64_t until, std::int64_t most) {
    const std::int64_t wait = std::min(until - Now(), most);
    if (wait <= 0)
        return;
    timespec left{static_cast<time_t>(wait / kSecond), static_cast<long>(wait % kSecond)};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// Where the next data of `fd` from `pos` begins: `size` when only a hole is left, `pos` when
// the file system cannot tell.
off_t NextData(int fd, off_t pos, off_t size) {
    const off_t data = lseek(fd, pos, SEEK_DATA);
    if (data < 0)
        return errno == ENXIO ? size : pos;
    return std::min(data, size);
}

// Where the data of `fd` that holds `pos` ends (`pos` itself in a hole).
off_t DataEnd(int fd, off_t pos, off_t size) {
    const off_t hole = lseek(fd, pos, SEEK_HOLE);
    return hole < 0 ? size : std::min(hole, size);
}

// Whether the source `in` and the copy `out`, both `size` bytes long, hold the same bytes:
// None, SourceChanged when they differ, or the side that cannot be read (Read or Write, with
// errno set). Only where either holds data is read; where both have holes both hold zeros.
CopyFailure CompareWithCopy(int in, int out, off_t size) {
    char* const one = ReusedBuffer();
    char* const two = SecondBuffer();
    for (off_t pos = 0; pos < size;) {
        pos = std::min(NextData(in, pos, size), NextData(out, pos, size));
        off_t end = std::max(DataEnd(in, pos, size), DataEnd(out, pos, size));
        if (end <= pos)
            end = size;  // data and holes that disagree: the rest is read
        for (; pos < end;) {
            const auto want = static_cast<std::size_t>(std::min<off_t>(end - pos, kBufferSize));
            const ssize_t n = ReadFully(in, one, want, pos);
            if (n < 0)
                return CopyFailure::Read;
            const ssize_t m = ReadFully(out, two, want, pos);
            if (m < 0)
                return CopyFailure::Write;
            if (n != m || n == 0 || std::memcmp(one, two, static_cast<std::size_t>(n)) != 0)
                return CopyFailure::SourceChanged;
            pos += n;
        }
    }
    return CopyFailure::None;
}

// Looks once more at a source that is possibly changing after its copy from `in` into `out`,
// once its time step has passed: it must still be unchanged and hold what was written, or the
// copy is of no one moment of it. None, SourceChanged, or the side that cannot be read (Read or
// Write, with errno set).
CopyFailure SettledAfterCopy(int in, int out, const struct stat& before, std::int64_t began) {
    const std::int64_t until = PossiblyChangingUntil(before, began, Now());
    if (until < 0)
        return CopyFailure::None;
    WaitUntil(until, 2 * TimeStep(before));
    struct stat copy {};
    if (fstat(out, &copy) != 0)
        return CopyFailure::Write;
    if (copy.st_size != before.st_size)
        return CopyFailure::SourceChanged;
    if (const CopyFailure f = CompareWithCopy(in, out, before.st_size); f != CopyFailure::None)
        return f;
    struct stat again {};
    if (fstat(in, &again) != 0)
        return CopyFailure::Read;
    return Unchanged(before, again) ? CopyFailure::None : CopyFailure::SourceChanged;
}

int FdOf(const Directory* dir) {
    return dir ? dir->impl().fd : AT_FDCWD;
}

}  // namespace

void SetNamingHook(NamingHook hook) {
    g_namingHook = hook;
}

Directory::Directory() : m_impl(std::make_unique<Impl>()) {}

Directory::~Directory() {
    if (m_impl->fd >= 0)
        close(m_impl->fd);
}

namespace {

int Adopt(int fd, std::unique_ptr<Directory>& out) {
    if (fd < 0)
        return errno;
    out = std::make_unique<Directory>();
    out->impl().fd = fd;
    return 0;
}

}  // namespace

int Directory::Open(const std::string& path, std::unique_ptr<Directory>& out) {
    return Adopt(open(path.empty() ? "/" : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), out);
}

int Directory::OpenChild(const std::string& name, std::unique_ptr<Directory>& out) const {
    return Adopt(openat(m_impl->fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                 out);
}

int Directory::OpenParent(std::unique_ptr<Directory>& out) const {
    return Adopt(openat(m_impl->fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC), out);
}

int Directory::MakeChild(const std::string& name, unsigned mode,
                         std::unique_ptr<Directory>& out) const {
    if (mkdirat(m_impl->fd, name.c_str(), (mode & 0777) | S_IRWXU) != 0)
        return errno == EEXIST ? kAlreadyExists : errno;
    return OpenChild(name, out);
}

unsigned Directory::Mode() const {
    struct stat st {};
    return fstat(m_impl->fd, &st) == 0 ? st.st_mode & 0777 : 0777;
}

unsigned Directory::ChildMode(const std::string& name) const {
    struct stat st {};
    if (fstatat(m_impl->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return 0777;
    return st.st_mode & 0777;
}

int Directory::RemoveChild(const std::string& name) const {
    return unlinkat(m_impl->fd, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

int Directory::RenameChild(const std::string& from, const std::string& to) const {
    const int fd = m_impl->fd;
    if (renameat2(fd, from.c_str(), fd, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno == EEXIST)
        return kAlreadyExists;
    return errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ? kNoReplaceRefused : errno;
}

int Directory::Identity(FileId& out) const {
    struct stat st {};
    if (fstat(m_impl->fd, &st) != 0)
        return errno;
    out = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return 0;
}

int Directory::SyncEntries() const {
    return fsync(m_impl->fd) == 0 ? 0 : errno;
}

int Directory::SyncFileSystem() const {
    if (int answer = 0; AnswerSyncFromHook(answer))
        return answer;
    return syncfs(m_impl->fd) == 0 ? 0 : errno;
}

bool Directory::SyncFileSystemReachesDisk() const {
    // What statfs tells of every FUSE mount, whichever daemon serves it.
    constexpr decltype(statfs::f_type) kFuseMagic = 0x65735546;
    struct statfs st {};
    return fstatfs(m_impl->fd, &st) == 0 && st.f_type != kFuseMagic;
}

CopyOutcome CopyFileContent(const CopyRequest& r) {
    IgnoreFileSizeSignal();
    const std::int64_t began = Now();  // before the source is first looked at
    // Non-blocking, so that a named pipe put here meanwhile is refused instead of waited on;
    // a link put here meanwhile is refused, never followed.
    Fd in(openat(FdOf(r.from), r.name.c_str(),
                 O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (in.get() < 0)
        return CopyOutcome{CopyFailure::OpenSource, errno, 0};
    struct stat before {};
    if (fstat(in.get(), &before) != 0)
        return CopyOutcome{CopyFailure::OpenSource, errno, 0};
    if (!S_ISREG(before.st_mode))
        return CopyOutcome{CopyFailure::OpenSource, EINVAL, 0};

    Destination out(FdOf(r.to), r.toName, r.temporaries ? FdOf(r.temporaries) : FdOf(r.to));
    const mode_t mode = (before.st_mode & 0777) | S_IRUSR | S_IWUSR;
    if (!out.Open(mode, before.st_size >= kInvisibleFrom))
        return CopyOutcome{CopyFailure::CreateDestination, errno, 0};

    RangeCopier copier(in.get(), out.fd(), before.st_size, r.listener);
    const bool sparse = static_cast<off_t>(before.st_blocks) * 512 < before.st_size;
    const bool ok =
        sparse ? CopySparse(copier, in.get(), out.fd(), before.st_size) : copier.Copy(0, -1);
    CopyOutcome outcome = copier.outcome();
    if (!ok)
        return outcome;  // `out` removes what was made
    if (sparse)
        outcome.bytes = before.st_size;
    struct stat after {};
    if (fstat(in.get(), &after) != 0 || !Unchanged(before, after) ||
        (!sparse && outcome.bytes != before.st_size)) {
        return CopyOutcome{CopyFailure::SourceChanged, 0, outcome.bytes};
    }
    if (const CopyFailure f = SettledAfterCopy(in.get(), out.fd(), before, began);
        f != CopyFailure::None)
        return CopyOutcome{f, f == CopyFailure::SourceChanged ? 0 : errno, outcome.bytes};
    // A file that gets its name only when whole is on the disk before it gets it.
    if ((out.invisible() || r.syncEach) && fdatasync(out.fd()) != 0)
        return CopyOutcome{CopyFailure::Write, errno, outcome.bytes};
    if (const int err = out.Finish(); err != 0) {
        const CopyFailure failure =
            err == EEXIST ? CopyFailure::CreateDestination : CopyFailure::Write;
        return CopyOutcome{failure, err, outcome.bytes};
    }
    return outcome;
}

namespace {

// The directory part and the name of a path.
std::pair<std::string, std::string> Split(const std::string& path) {
    const auto cut = path.find_last_of('/');
    if (cut == std::string::npos)
        return {".", path};
    return {cut == 0 ? "/" : path.substr(0, cut), path.substr(cut + 1)};
}

}  // namespace

CopyOutcome CopyFileContent(const std::string& source, const std::string& destination,
                            CopyListener* listener) {
    const auto [fromDir, fromName] = Split(source);
    const auto [toDir, toName] = Split(destination);
    std::unique_ptr<Directory> from, to;
    if (const int err = Directory::Open(fromDir, from))
        return CopyOutcome{CopyFailure::OpenSource, err, 0};
    if (const int err = Directory::Open(toDir, to))
        return CopyOutcome{CopyFailure::CreateDestination, err, 0};
    return CopyFileContent(CopyRequest{from.get(), fromName, to.get(), toName, nullptr, listener,
                                       !to->SyncFileSystemReachesDisk()});
}

CopyOutcome CopyLink(const CopyRequest& r) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = readlinkat(FdOf(r.from), r.name.c_str(), target.data(), target.size());
        if (n < 0)
            return CopyOutcome{CopyFailure::OpenSource, errno, 0};
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (symlinkat(target.c_str(), FdOf(r.to), r.toName.c_str()) != 0)
        return CopyOutcome{CopyFailure::CreateDestination, errno, 0};
    return CopyOutcome{};
}

ComparisonOutcome CompareFiles(const std::string& source, const std::string& copy,
                               CopyListener* listener) {
    Fd in(PathAt(source).Open(O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (in.get() < 0)
        return ComparisonOutcome{Comparison::SourceFailed, errno, 0};
    Fd back(PathAt(copy).Open(O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (back.get() < 0)
        return ComparisonOutcome{Comparison::CopyFailed, errno, 0};
    struct stat a {
    }, b{};
    if (fstat(in.get(), &a) != 0)
        return ComparisonOutcome{Comparison::SourceFailed, errno, 0};
    if (fstat(back.get(), &b) != 0)
        return ComparisonOutcome{Comparison::CopyFailed, errno, 0};
    if (a.st_size != b.st_size)
        return ComparisonOutcome{Comparison::Different, 0, 0};
    // What the copy holds in memory is what was written, not what the disk holds.
    posix_fadvise(back.get(), 0, 0, POSIX_FADV_DONTNEED);
    posix_fadvise(back.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    char* const one = ReusedBuffer();
    char* const two = SecondBuffer();
    ComparisonOutcome outcome;
    for (off_t pos = 0;;) {
        const ssize_t n = ReadFully(in.get(), one, kBufferSize, pos);
        if (n < 0)
            return ComparisonOutcome{Comparison::SourceFailed, errno, outcome.bytes};
        const ssize_t m = ReadFully(back.get(), two, kBufferSize, pos);
        if (m < 0)
            return ComparisonOutcome{Comparison::CopyFailed, errno, outcome.bytes};
        if (n != m || std::memcmp(one, two, static_cast<std::size_t>(n)) != 0)
            return ComparisonOutcome{Comparison::Different, 0, outcome.bytes};
        if (n == 0)
            return outcome;
        pos += n;
        outcome.bytes += n;
        if (listener)
            listener->Copied(n);
    }
}

int EnterAndListIn(const Directory& parent, const std::string& name, const std::string& path,
                   Detail detail, std::vector<Entry>& out, FileId& id,
                   std::unique_ptr<Directory>& opened) {
    out.clear();
    RunListingHook(path);
    std::unique_ptr<Directory> dir;
    if (const int err = parent.OpenChild(name, dir))
        return err;
    const int err = ListOpenedDirectory(dir->impl().fd, parent.impl().fd, name, detail, out, id);
    if (err == 0)
        opened = std::move(dir);
    return err;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace Platform
