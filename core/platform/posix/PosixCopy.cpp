#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "core/FileCopyPlatform.h"

namespace Platform {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 20;
constexpr std::size_t kKernelChunk = std::size_t{1} << 30;

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
    RangeCopier(int in, int out, off_t expectedSize)
        : m_in(in), m_out(out), m_expectedSize(expectedSize) {}

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
                m_outcome.bytes += n;
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
            m_outcome.bytes += n;
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

    int m_in;
    int m_out;
    off_t m_expectedSize;
    bool m_kernel = true;
    CopyOutcome m_outcome;
};

// Copies only the data regions of a source with holes, then sets the full length.
bool CopySparse(RangeCopier& copier, int in, int out, off_t size) {
    off_t pos = 0;
    while (pos < size) {
        const off_t data = lseek(in, pos, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break;  // only a hole is left
        if (data < 0)
            return copier.Copy(pos, -1);
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

// A new file of that name: whatever was there is replaced, so that the copy is always a
// plain file of our own and removing it after a failure removes nothing else.
int CreateFresh(const std::string& path) {
    for (int attempt = 0;; ++attempt) {
        const int fd =
            open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST || attempt > 0)
            return fd;
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return -1;
        }
        if (unlink(path.c_str()) != 0 && errno != ENOENT)
            return -1;
    }
}

}  // namespace

CopyOutcome CopyFileContent(const std::string& source, const std::string& destination) {
    // Non-blocking, so that a named pipe in the tree is refused instead of waited on.
    Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (in.get() < 0)
        return CopyOutcome{CopyFailure::OpenSource, errno, 0};
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        return CopyOutcome{CopyFailure::OpenSource, errno, 0};
    if (!S_ISREG(st.st_mode))
        return CopyOutcome{CopyFailure::OpenSource, EINVAL, 0};

    Fd out(CreateFresh(destination));
    if (out.get() < 0)
        return CopyOutcome{CopyFailure::CreateDestination, errno, 0};

    RangeCopier copier(in.get(), out.get(), st.st_size);
    const bool sparse = static_cast<off_t>(st.st_blocks) * 512 < st.st_size;
    bool ok = sparse ? CopySparse(copier, in.get(), out.get(), st.st_size) : copier.Copy(0, -1);
    CopyOutcome outcome = copier.outcome();
    if (ok && sparse)
        outcome.bytes = st.st_size;
    if (const int err = out.reset(); ok && err != 0) {
        outcome = CopyOutcome{CopyFailure::Write, err, outcome.bytes};
        ok = false;
    }
    if (!ok)
        unlink(destination.c_str());
    return outcome;
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
