#include "core/platform/win32/WinApi.h"

#include <atomic>
#include <string>

#include "core/FileCopyPlatform.h"
#include "core/platform/win32/Win32Handle.h"
#include "core/platform/win32/Win32Text.h"

namespace Platform {
namespace {

constexpr DWORD kBufferSize = DWORD{1} << 20;

void WINAPI FreeBuffer(void* buffer) {
    delete[] static_cast<char*>(buffer);
}

// One buffer per thread, made on first need and reused for every later file, and freed when
// the thread ends. Not a thread_local with a destructor: MinGW runs such destructors after
// the thread's copy of the variable is freed, so the end of every copying thread freed a
// stale pointer and corrupted the heap.
char* ReusedBuffer() {
    static const DWORD slot = FlsAlloc(FreeBuffer);
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
    char* const buffer = ReusedBuffer();
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

}  // namespace

CopyOutcome CopyFileContent(const std::string& source, const std::string& destination,
                            CopyListener* listener) {
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
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(in.get(), &size))
        return Failed(CopyFailure::OpenSource, GetLastError());

    // A large file is written under a hidden temporary name and moved to its own only when
    // whole; a small one is made under its name at once. Either way nothing that exists is
    // replaced, and the copy is plain whatever the source's attributes are, with current
    // times.
    const std::wstring wideDestination = Win32::ApiPath(destination);
    const bool invisible = size.QuadPart >= kInvisibleFrom;
    std::wstring written = wideDestination;
    if (invisible) {
        static std::atomic<unsigned> counter{0};
        const auto cut = destination.find_last_of("\\/");
        const std::string dir = cut == std::string::npos ? std::string() : destination.substr(0, cut + 1);
        written = Win32::ApiPath(dir + ".quillmere-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(counter++) + ".part");
    }
    Win32::Handle out(CreateFileW(written.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  (invisible ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL) |
                                      FILE_FLAG_SEQUENTIAL_SCAN,
                                  nullptr));
    if (!out)
        return Failed(CopyFailure::CreateDestination, GetLastError());

    CopyOutcome outcome = Stream(in.get(), out.get(), listener);
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

CopyOutcome CopyLink(const std::string&, const std::string&) {
    // The Windows listing never reports a dangling link: a link is copied by its content.
    return Failed(CopyFailure::OpenSource, ERROR_NOT_SUPPORTED);
}

int CreateNewDirectory(const std::string& dir) {
    if (CreateDirectoryW(Win32::ApiPath(dir).c_str(), nullptr))
        return 0;
    const DWORD err = GetLastError();
    return err == ERROR_ALREADY_EXISTS ? kAlreadyExists : static_cast<int>(err);
}

bool PathExists(const std::string& path) {
    // Attributes of a link are its own; the link is not followed.
    return !path.empty() &&
           GetFileAttributesW(Win32::ApiPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace Platform
