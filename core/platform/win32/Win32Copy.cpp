#include "core/platform/win32/WinApi.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "core/FileCopyPlatform.h"
#include "core/platform/win32/Win32Handle.h"
#include "core/platform/win32/Win32Text.h"

namespace Platform {

struct Directory::Impl {
    std::string path;
};

namespace {

constexpr DWORD kBufferSize = DWORD{1} << 20;

void WINAPI FreeBuffer(void* buffer) {
    delete[] static_cast<char*>(buffer);
}

// One buffer per thread, made on first need and reused for every later file, and freed when
// the thread ends. Not a thread_local with a destructor: MinGW runs such destructors after
// the thread's copy of the variable is freed, so the end of every copying thread freed a
// stale pointer and corrupted the heap. Null when the process has no slot left for it.
char* ReusedBuffer() {
    static const DWORD slot = FlsAlloc(FreeBuffer);
    if (slot == FLS_OUT_OF_INDEXES)
        return nullptr;
    auto* buffer = static_cast<char*>(FlsGetValue(slot));
    if (!buffer) {
        buffer = new char[kBufferSize];
        FlsSetValue(slot, buffer);
    }
    return buffer;
}

CopyOutcome Failed(CopyFailure failure, DWORD error, std::int64_t bytes = 0) {
    return CopyOutcome{failure, static_cast<int>(error), bytes};
}

// Streams the rest of `in` into `out`.
CopyOutcome Stream(HANDLE in, HANDLE out, CopyListener* listener) {
    // Without a slot for the thread's buffer, one for this file alone, freed with it.
    std::unique_ptr<char[]> own;
    char* buffer = ReusedBuffer();
    if (!buffer) {
        own = std::make_unique<char[]>(kBufferSize);
        buffer = own.get();
    }
    std::int64_t bytes = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer, kBufferSize, &got, nullptr)) {
            return Failed(CopyFailure::Read, GetLastError(), bytes);
        }
        if (got == 0)
            return CopyOutcome{CopyFailure::None, 0, bytes};
        DWORD put = 0;
        if (!WriteFile(out, buffer, got, &put, nullptr)) {
            return Failed(CopyFailure::Write, GetLastError(), bytes);
        }
        if (put != got)
            return Failed(CopyFailure::Write, ERROR_DISK_FULL, bytes);
        bytes += got;
        if (listener)
            listener->Copied(got);
    }
}

std::string Inside(const std::string& dir, const std::string& name) {
    const bool ends = !dir.empty() && (dir.back() == '\\' || dir.back() == '/');
    return ends ? dir + name : dir + '\\' + name;
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(Win32::ApiPath(path).c_str());
}

// Whether the file is still what it was: a writer leaves its size or last-write time changed.
bool Unchanged(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime &&
           a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime;
}

int Adopt(const std::string& path, std::unique_ptr<Directory>& out) {
    const DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES)
        return static_cast<int>(GetLastError());
    if (!(a & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    out = std::make_unique<Directory>();
    out->impl().path = path;
    return 0;
}

}  // namespace

Directory::Directory() : m_impl(std::make_unique<Impl>()) {}

Directory::~Directory() = default;

int Directory::Open(const std::string& path, std::unique_ptr<Directory>& out) {
    return Adopt(path, out);
}

int Directory::OpenChild(const std::string& name, std::unique_ptr<Directory>& out) const {
    return Adopt(Inside(m_impl->path, name), out);
}

// The path without its last part; a drive's root ("C:\\") keeps its separator.
int Directory::OpenParent(std::unique_ptr<Directory>& out) const {
    const std::string& path = m_impl->path;
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string::npos || cut + 1 >= path.size())
        return ERROR_PATH_NOT_FOUND;
    const bool driveRoot = cut == 2 && path[1] == ':';
    return Adopt(path.substr(0, driveRoot || cut == 0 ? cut + 1 : cut), out);
}

int Directory::MakeChild(const std::string& name, unsigned, std::unique_ptr<Directory>& out) const {
    const std::string path = Inside(m_impl->path, name);
    if (!CreateDirectoryW(Win32::ApiPath(path).c_str(), nullptr)) {
        const DWORD err = GetLastError();
        return err == ERROR_ALREADY_EXISTS ? kAlreadyExists : static_cast<int>(err);
    }
    return Adopt(path, out);
}

unsigned Directory::Mode() const {
    return 0777;
}

unsigned Directory::ChildMode(const std::string&) const {
    return 0777;
}

int Directory::RemoveChild(const std::string& name) const {
    return RemoveDirectoryW(Win32::ApiPath(Inside(m_impl->path, name)).c_str())
               ? 0
               : static_cast<int>(GetLastError());
}

int Directory::RenameChild(const std::string& from, const std::string& to) const {
    // Without MOVEFILE_REPLACE_EXISTING nothing already there is replaced.
    if (MoveFileExW(Win32::ApiPath(Inside(m_impl->path, from)).c_str(),
                    Win32::ApiPath(Inside(m_impl->path, to)).c_str(), MOVEFILE_WRITE_THROUGH))
        return 0;
    const DWORD err = GetLastError();
    return err == ERROR_ALREADY_EXISTS || err == ERROR_FILE_EXISTS ? kAlreadyExists
                                                                   : static_cast<int>(err);
}

int Directory::Identity(FileId& out) const {
    return PathIdentity(m_impl->path, out);
}

// Every file is flushed to the disk as it is closed: Windows has no call that writes out a
// whole file system for an ordinary user.
// A directory's entries are flushed through a handle opened for writing, which NTFS allows;
// where the file system or the user's rights do not, there is nothing more to do.
int Directory::SyncEntries() const {
    const Win32::Handle h(CreateFileW(Win32::ApiPath(m_impl->path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h || FlushFileBuffers(h.get()))
        return 0;
    const DWORD err = GetLastError();
    const bool refused = err == ERROR_INVALID_FUNCTION || err == ERROR_ACCESS_DENIED ||
                         err == ERROR_INVALID_PARAMETER || err == ERROR_NOT_SUPPORTED;
    return refused ? 0 : static_cast<int>(err);
}

int Directory::SyncFileSystem() const {
    if (int answer = 0; AnswerSyncFromHook(answer))
        return answer;
    return 0;  // every file was flushed as it was written
}

// A move that refuses to replace is one step here: there is no moment between claiming a name
// and giving it for a test to hold.
void SetNamingHook(NamingHook) {}

// Each file is flushed as it is closed, so there is nothing the whole file system would miss.
bool Directory::SyncFileSystemReachesDisk() const {
    return true;
}

CopyOutcome CopyFileContent(const CopyRequest& r) {
    const std::string source = Inside(r.from->impl().path, r.name);
    const std::string destination = Inside(r.to->impl().path, r.toName);
    // Others may go on reading the source, but not writing it while it is copied: a file
    // that someone holds open for writing cannot be opened at all.
    const Win32::Handle in(CreateFileW(Win32::ApiPath(source).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in)
        return Failed(CopyFailure::OpenSource, GetLastError());
    if (GetFileType(in.get()) != FILE_TYPE_DISK) {
        return Failed(CopyFailure::OpenSource, ERROR_INVALID_FUNCTION);
    }
    BY_HANDLE_FILE_INFORMATION before{};
    if (!GetFileInformationByHandle(in.get(), &before))
        return Failed(CopyFailure::OpenSource, GetLastError());
    const std::int64_t size = static_cast<std::int64_t>(
        (std::uint64_t{before.nFileSizeHigh} << 32) | before.nFileSizeLow);

    // A large file is written under a hidden temporary name and moved to its own only when
    // whole; a small one is made under its name at once. Either way nothing that exists is
    // replaced, and the copy is plain whatever the source's attributes are, with current
    // times.
    const std::wstring wideDestination = Win32::ApiPath(destination);
    const bool invisible = size >= kInvisibleFrom;
    std::wstring written = wideDestination;
    if (invisible) {
        static std::atomic<unsigned> counter{0};
        const Directory* temporaries = r.temporaries ? r.temporaries : r.to;
        written = Win32::ApiPath(
            Inside(temporaries->impl().path, ".quillmere-" + std::to_string(GetCurrentProcessId()) +
                                                 "-" + std::to_string(counter++) + ".part"));
    }
    Win32::Handle out(CreateFileW(
        written.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
        (invisible ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL) | FILE_FLAG_SEQUENTIAL_SCAN,
        nullptr));
    if (!out)
        return Failed(CopyFailure::CreateDestination, GetLastError());

    CopyOutcome outcome = Stream(in.get(), out.get(), r.listener);
    BY_HANDLE_FILE_INFORMATION after{};
    if (outcome.failure == CopyFailure::None &&
        (!GetFileInformationByHandle(in.get(), &after) || !Unchanged(before, after) ||
         outcome.bytes != size)) {
        outcome = Failed(CopyFailure::SourceChanged, 0, outcome.bytes);
    }
    // On the disk before it is named, and before the copy says it is done.
    if (outcome.failure == CopyFailure::None && !FlushFileBuffers(out.get()))
        outcome = Failed(CopyFailure::Write, GetLastError(), outcome.bytes);
    if (!out.reset() && outcome.failure == CopyFailure::None) {
        outcome = Failed(CopyFailure::Write, GetLastError(), outcome.bytes);
    }
    if (outcome.failure == CopyFailure::None && invisible) {
        if (!MoveFileExW(written.c_str(), wideDestination.c_str(), MOVEFILE_WRITE_THROUGH)) {
            outcome = Failed(CopyFailure::CreateDestination, GetLastError(), outcome.bytes);
        } else {
            SetFileAttributesW(wideDestination.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
    }
    if (outcome.failure != CopyFailure::None)
        DeleteFileW(written.c_str());
    return outcome;
}

namespace {

// The directory part and the name of a path.
std::pair<std::string, std::string> Split(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    if (cut == std::string::npos)
        return {".", path};
    return {path.substr(0, cut), path.substr(cut + 1)};
}

}  // namespace

CopyOutcome CopyFileContent(const std::string& source, const std::string& destination,
                            CopyListener* listener) {
    Directory from, to;
    const auto [fromDir, fromName] = Split(source);
    const auto [toDir, toName] = Split(destination);
    from.impl().path = fromDir;
    to.impl().path = toDir;
    return CopyFileContent(CopyRequest{&from, fromName, &to, toName, nullptr, listener, false});
}

CopyOutcome CopyLink(const CopyRequest&) {
    // The Windows listing never reports a link: a link is copied by its content.
    return Failed(CopyFailure::OpenSource, ERROR_NOT_SUPPORTED);
}

namespace {

// Page-aligned memory, as reads without the system's buffering want it.
class AlignedBuffer {
public:
    explicit AlignedBuffer(std::size_t size)
        : m_data(static_cast<char*>(
              VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
    ~AlignedBuffer() {
        if (m_data)
            VirtualFree(m_data, 0, MEM_RELEASE);
    }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    char* get() const { return m_data; }

private:
    char* m_data;
};

}  // namespace

// Windows reads by path in any case.
int EnterAndListIn(const Directory&, const std::string&, const std::string& path, Detail detail,
                   std::vector<Entry>& out, FileId& id, std::unique_ptr<Directory>& opened) {
    const int err = EnterAndList(path, detail, out, id);
    return err == 0 ? Directory::Open(path, opened) : err;
}

ComparisonOutcome CompareFiles(const std::string& source, const std::string& copy,
                               CopyListener* listener) {
    const Win32::Handle in(CreateFileW(Win32::ApiPath(source).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in)
        return ComparisonOutcome{Comparison::SourceFailed, static_cast<int>(GetLastError()), 0};
    // Without the system's buffering: what is read comes from the disk.
    const Win32::Handle back(
        CreateFileW(Win32::ApiPath(copy).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!back)
        return ComparisonOutcome{Comparison::CopyFailed, static_cast<int>(GetLastError()), 0};
    LARGE_INTEGER a{}, b{};
    if (!GetFileSizeEx(in.get(), &a))
        return ComparisonOutcome{Comparison::SourceFailed, static_cast<int>(GetLastError()), 0};
    if (!GetFileSizeEx(back.get(), &b))
        return ComparisonOutcome{Comparison::CopyFailed, static_cast<int>(GetLastError()), 0};
    if (a.QuadPart != b.QuadPart)
        return ComparisonOutcome{Comparison::Different, 0, 0};
    // Small files take small buffers; the unbuffered reads ask for whole pages.
    const DWORD size = static_cast<DWORD>(std::min<std::int64_t>(
        (std::max<std::int64_t>(a.QuadPart, 1) + 65535) / 65536 * 65536, kBufferSize));
    const AlignedBuffer one(size), two(size);
    if (!one.get() || !two.get())
        return ComparisonOutcome{Comparison::CopyFailed, ERROR_NOT_ENOUGH_MEMORY, 0};
    ComparisonOutcome outcome;
    for (;;) {
        // A file read whole chunks at a time comes short only at its end; an unbuffered read
        // may not go on from there.
        DWORD n = 0, m = 0;
        if (!ReadFile(in.get(), one.get(), size, &n, nullptr))
            return ComparisonOutcome{Comparison::SourceFailed, static_cast<int>(GetLastError()),
                                     outcome.bytes};
        if (!ReadFile(back.get(), two.get(), size, &m, nullptr))
            return ComparisonOutcome{Comparison::CopyFailed, static_cast<int>(GetLastError()),
                                     outcome.bytes};
        if (n != m || std::memcmp(one.get(), two.get(), n) != 0)
            return ComparisonOutcome{Comparison::Different, 0, outcome.bytes};
        if (n == 0)
            return outcome;
        outcome.bytes += n;
        if (listener)
            listener->Copied(n);
    }
}

bool PathExists(const std::string& path) {
    // Attributes of a link are its own; the link is not followed.
    return !path.empty() &&
           GetFileAttributesW(Win32::ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace Platform
