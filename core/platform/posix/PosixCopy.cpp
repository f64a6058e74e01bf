#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "core/FileCopyPlatform.h"

namespace Platform {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;
// Small enough that a large file reports its progress many times a second.
constexpr std::size_t kKernelChunk = std::size_t{64} << 20;

// One buffer per thread, made on first need and reused for every later file: fresh memory
// per file costs far more than the copying itself.
char* ReusedBuffer() {
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer)
        buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    return buffer.get();
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

// The file a copy writes to. Small files are made under their name at once; large ones are
// written invisibly (an unnamed file in the destination directory, or else a hidden
// temporary name there) and named only when whole. Nothing that exists is ever replaced.
class Destination {
public:
    ~Destination() { Discard(); }

    // False, with errno set, when the file cannot be made.
    bool Open(const std::string& path, mode_t mode, bool invisible) {
        m_path = path;
        if (invisible) {
            const auto cut = path.find_last_of('/');
            const std::string dir = cut == std::string::npos ? "." : path.substr(0, cut + 1);
            m_fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
            if (m_fd >= 0) {
                m_state = State::Unnamed;
                return true;
            }
            // Not every file system has unnamed files: a hidden name beside it instead.
            static std::atomic<unsigned> counter{0};
            m_temp = dir + ".quillmere-" + std::to_string(getpid()) + "-" +
                     std::to_string(counter++) + ".part";
            m_fd = CreateNew(m_temp, mode);
            m_state = State::Temporary;
        } else {
            m_fd = CreateNew(path, mode);
            m_state = State::Named;
        }
        if (m_fd < 0)
            m_state = State::None;
        return m_fd >= 0;
    }

    int fd() const { return m_fd; }

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
            err = RenameNoReplace(m_temp, m_path);
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
            unlink(m_path.c_str());
        if (m_state == State::Temporary)
            unlink(m_temp.c_str());
        m_state = State::None;
    }

private:
    enum class State { None, Named, Unnamed, Linked, Temporary };

    static int CreateNew(const std::string& path, mode_t mode) {
        return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    }

    int LinkUnnamed() {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_path.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
            (errno != ENOENT ||
             linkat(m_fd, "", AT_FDCWD, m_path.c_str(), AT_EMPTY_PATH) != 0)) {
            return errno;
        }
        m_state = State::Linked;
        return 0;
    }

    // A rename that refuses to replace; where the file system cannot promise that, a link
    // does, and where it has no links either, the name is looked at first (this copy is the
    // only writer in its brand-new target).
    static int RenameNoReplace(const std::string& from, const std::string& to) {
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        if (link(from.c_str(), to.c_str()) == 0) {
            unlink(from.c_str());
            return 0;
        }
        if (errno == EEXIST)
            return errno;
        struct stat st {};
        if (lstat(to.c_str(), &st) == 0)
            return EEXIST;
        return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }

    std::string m_path;
    std::string m_temp;
    int m_fd = -1;
    State m_state = State::None;
};

// A file-size limit must end a copy with its write error, not kill the program.
void IgnoreFileSizeSignal() {
    static const bool ignored = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)ignored;
}

}  // namespace

CopyOutcome CopyFileContent(const std::string& source, const std::string& destination,
                            CopyListener* listener) {
    IgnoreFileSizeSignal();
    // Non-blocking, so that a named pipe given here is refused instead of waited on.
    Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (in.get() < 0)
        return CopyOutcome{CopyFailure::OpenSource, errno, 0};
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        return CopyOutcome{CopyFailure::OpenSource, errno, 0};
    if (!S_ISREG(st.st_mode))
        return CopyOutcome{CopyFailure::OpenSource, EINVAL, 0};

    Destination out;
    const mode_t mode = (st.st_mode & 0777) | S_IWUSR;
    if (!out.Open(destination, mode, st.st_size >= kInvisibleFrom))
        return CopyOutcome{CopyFailure::CreateDestination, errno, 0};

    RangeCopier copier(in.get(), out.fd(), st.st_size, listener);
    const bool sparse = static_cast<off_t>(st.st_blocks) * 512 < st.st_size;
    const bool ok = sparse ? CopySparse(copier, in.get(), out.fd(), st.st_size) : copier.Copy(0, -1);
    CopyOutcome outcome = copier.outcome();
    if (!ok)
        return outcome;  // `out` removes what was made
    if (sparse)
        outcome.bytes = st.st_size;
    if (const int err = out.Finish(); err != 0) {
        const CopyFailure failure = err == EEXIST ? CopyFailure::CreateDestination : CopyFailure::Write;
        return CopyOutcome{failure, err, outcome.bytes};
    }
    return outcome;
}

CopyOutcome CopyLink(const std::string& source, const std::string& destination) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = readlink(source.c_str(), target.data(), target.size());
        if (n < 0)
            return CopyOutcome{CopyFailure::OpenSource, errno, 0};
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    if (symlink(target.c_str(), destination.c_str()) != 0)
        return CopyOutcome{CopyFailure::CreateDestination, errno, 0};
    return CopyOutcome{};
}

int CreateNewDirectory(const std::string& dir) {
    if (mkdir(dir.c_str(), 0777) == 0)
        return 0;
    return errno == EEXIST ? kAlreadyExists : errno;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace Platform
