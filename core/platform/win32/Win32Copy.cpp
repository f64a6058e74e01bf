#include "core/platform/win32/WinApi.h"

#include <memory>

#include "core/FileCopyPlatform.h"
#include "core/platform/win32/Win32Handle.h"
#include "core/platform/win32/Win32Text.h"

namespace Platform {
namespace {

constexpr DWORD kBufferSize = DWORD{1} << 20;

// One buffer per thread, made on first need and reused for every later file.
char* ReusedBuffer() {
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer)
        buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    return buffer.get();
}

CopyOutcome Failed(CopyFailure failure, DWORD error, std::int64_t bytes = 0) {
    return CopyOutcome{failure, static_cast<int>(error), bytes};
}

// Streams the rest of `in` into `out`.
CopyOutcome Stream(HANDLE in, HANDLE out) {
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
    }
}

}  // namespace

CopyOutcome CopyFileContent(const std::string& source, const std::string& destination) {
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

    // Exclusive, replacing a file of that name, and plain whatever the source's attributes
    // are; the new file gets the current times.
    const std::wstring wideDestination = Win32::ApiPath(destination);
    Win32::Handle out(CreateFileW(wideDestination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out)
        return Failed(CopyFailure::CreateDestination, GetLastError());

    CopyOutcome outcome = Stream(in.get(), out.get());
    if (!out.reset() && outcome.failure == CopyFailure::None) {
        outcome = Failed(CopyFailure::Write, GetLastError(), outcome.bytes);
    }
    if (outcome.failure != CopyFailure::None)
        DeleteFileW(wideDestination.c_str());
    return outcome;
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
