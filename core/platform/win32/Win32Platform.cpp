#include "core/platform/win32/WinApi.h"

#include <algorithm>
#include <cstdio>

#include "core/FunSub.h"
#include "core/Platform.h"
#include "core/platform/win32/Win32Handle.h"
#include "core/platform/win32/Win32Text.h"

namespace Platform {
namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kEpochTicks = 116444736000000000;  // 1601-01-01 to 1970-01-01

std::int64_t ToUnixSeconds(const FILETIME& ft) {
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                  ft.dwLowDateTime) -
        kEpochTicks;
    // Rounded down, also before 1970.
    return ticks >= 0 ? ticks / kTicksPerSecond
                      : -((-ticks + kTicksPerSecond - 1) / kTicksPerSecond);
}

bool ToLocalTime(std::int64_t seconds, SYSTEMTIME& local) {
    if (seconds < -kEpochTicks / kTicksPerSecond)
        return false;
    const auto ticks = static_cast<std::uint64_t>(seconds * kTicksPerSecond + kEpochTicks);
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc{};
    // The offset of that date (summer or winter time), not today's.
    return FileTimeToSystemTime(&ft, &utc) &&
           SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
}

std::int64_t SizeOf(DWORD high, DWORD low) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

// The pattern that lists everything in `dir`. A root as the main trees hand it over ("C:")
// means the root, not the drive's current directory, so the separator is always added.
std::wstring ListPattern(const std::string& dir) {
    std::wstring pattern = Win32::ApiPath(dir);
    if (pattern.empty() || (pattern.back() != L'\\' && pattern.back() != L'/'))
        pattern += L'\\';
    return pattern + L'*';
}

std::string Inside(const std::string& dir, const std::string& name) {
    const bool ends = !dir.empty() && (dir.back() == '\\' || dir.back() == '/');
    return ends ? dir + name : dir + '\\' + name;
}

bool IsDotOrDotDot(const wchar_t* n) {
    return n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0));
}

// Opens a file or directory for its identity and metadata only, following links.
Win32::Handle OpenForQuery(const std::string& path) {
    return Win32::Handle(CreateFileW(Win32::ApiPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

int IdentityOf(const std::string& dir, FileId& id) {
    const Win32::Handle h = OpenForQuery(dir);
    if (!h)
        return static_cast<int>(GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h.get(), &info))
        return static_cast<int>(GetLastError());
    id = FileId{info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return 0;
}

// The listing shows a link to a file as the link itself; its size and time are the target's.
void FollowFileLink(const std::string& path, Entry& e) {
    const Win32::Handle h = OpenForQuery(path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (h && GetFileInformationByHandle(h.get(), &info)) {
        e.size = SizeOf(info.nFileSizeHigh, info.nFileSizeLow);
        e.mtime = ToUnixSeconds(info.ftLastWriteTime);
    }
}

std::wstring FormatDate(const SYSTEMTIME& t, DWORD flags) {
    wchar_t buf[128];
    const int n = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, flags, &t, nullptr, buf, 128, nullptr);
    return n > 0 ? std::wstring(buf, static_cast<std::size_t>(n - 1)) : std::wstring();
}

std::wstring FormatTime(const SYSTEMTIME& t) {
    wchar_t buf[128];
    const int n = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &t, nullptr, buf, 128);
    return n > 0 ? std::wstring(buf, static_cast<std::size_t>(n - 1)) : std::wstring();
}

DWORD Attributes(const std::string& path) {
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(Win32::ApiPath(path).c_str());
}

bool IsRootSpec(const std::string& path) {
    return (path.size() == 2 && path[1] == ':') ||
           (path.size() == 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/'));
}

}  // namespace

int ListDirectory(const std::string& dir, Detail detail, std::vector<Entry>& out, FileId* id,
                  Links) {
    out.clear();
    RunListingHook(dir);
    if (id) {
        if (int err = IdentityOf(dir.empty() ? std::string("\\") : dir, *id))
            return err;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(ListPattern(dir).c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        // Only a root can hold nothing at all, not even "." and "..".
        return err == ERROR_FILE_NOT_FOUND && IsDirectory(dir) ? 0 : static_cast<int>(err);
    }
    DWORD err = 0;
    do {
        if (IsDotOrDotDot(data.cFileName))
            continue;
        Entry e;
        e.name = Win32::Narrow(std::wstring(data.cFileName));
        e.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.hidden = (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        e.system = (data.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
        if (detail == Detail::Full && !e.isDirectory) {
            e.size = SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
            e.mtime = ToUnixSeconds(data.ftLastWriteTime);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                FollowFileLink(Inside(dir, e.name), e);
            }
        }
        out.push_back(std::move(e));
    } while (FindNextFileW(find, &data) || (err = GetLastError()) != ERROR_NO_MORE_FILES);
    FindClose(find);
    SortByName(out);
    return err == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(err);
}

int EnterAndList(const std::string& dir, Detail detail, std::vector<Entry>& out, FileId& id,
                 const FileId*) {
    out.clear();
    if (const int err = CheckEnterable(dir))
        return err;
    return ListDirectory(dir, detail, out, &id);
}

int CheckEnterable(const std::string& dir) {
    const std::string path = dir.empty() ? std::string("\\") : dir;
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return static_cast<int>(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_DIRECTORY;
    // What making it current needs: the right to pass through it.
    const Win32::Handle h(CreateFileW(Win32::ApiPath(path).c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h ? 0 : static_cast<int>(GetLastError());
}

int PathIdentity(const std::string& path, FileId& out) {
    return IdentityOf(path, out);
}

bool IsDirectory(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string CanonicalPath(const std::string& path) {
    const Win32::Handle h = OpenForQuery(path);
    if (!h)
        return {};
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), 0);
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(n);
    }
    std::string out = Win32::Narrow(buf);
    if (out.rfind("\\\\?\\UNC\\", 0) == 0)
        return "\\\\" + out.substr(8);
    if (out.rfind("\\\\?\\", 0) == 0)
        out.erase(0, 4);
    return out;
}

bool IsFile(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

int CreateDirectories(const std::string& dir) {
    if (dir.empty() || IsDirectory(dir))
        return 0;
    const auto cut = dir.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0) {
        const std::string parent = dir.substr(0, cut);
        // "C:", "C:\" and "\\server\share" are never made.
        const bool uncShare = parent.rfind("\\\\", 0) == 0 &&
                              parent.find_first_of("\\/", 2) == parent.find_last_of("\\/");
        if (!IsRootSpec(parent) && !uncShare && parent != "\\") {
            if (int err = CreateDirectories(parent))
                return err;
        }
    }
    if (CreateDirectoryW(Win32::ApiPath(dir).c_str(), nullptr))
        return 0;
    const DWORD err = GetLastError();
    if (IsDirectory(dir))
        return 0;
    return static_cast<int>(err == 0 ? ERROR_ALREADY_EXISTS : err);
}

int ReadVolumeInfo(const std::string& dir, VolumeInfo& out) {
    const std::wstring wide = Win32::ApiPath(dir);
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(wide.c_str(), &free, nullptr, nullptr))
        return static_cast<int>(GetLastError());
    out.freeBytes = static_cast<std::int64_t>(free.QuadPart);
    wchar_t root[MAX_PATH + 1];
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (GetVolumePathNameW(wide.c_str(), root, MAX_PATH + 1) &&
        GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
        out.blockSize = std::max<std::int64_t>(std::int64_t{sectorsPerCluster} * bytesPerSector, 1);
    }
    return 0;
}

namespace {

constexpr std::int64_t kFatLimit = (std::int64_t{4} << 30) - 1;

// FAT12, FAT16 and FAT32, as the volume names its file system.
bool IsFatVolume(const std::string& dir) {
    wchar_t root[MAX_PATH + 1];
    wchar_t fileSystem[MAX_PATH + 1] = L"";
    return GetVolumePathNameW(Win32::ApiPath(dir).c_str(), root, MAX_PATH + 1) &&
           GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                                 MAX_PATH + 1) &&
           std::wstring(fileSystem).rfind(L"FAT", 0) == 0;
}

}  // namespace

TargetTraits ProbeTarget(const std::string& dir) {
    // Windows itself refuses those names and makes no links without a privilege; whether a
    // folder tells names apart by case (possible on NTFS) is found out by trying. A copy is
    // written whole, holes and all.
    TargetTraits traits;
    traits.windowsNames = true;
    traits.links = false;
    traits.caseInsensitive = true;
    traits.fatTimes = IsFatVolume(dir);
    const std::string probe =
        Inside(dir, ".quillmere-probe-" + std::to_string(GetCurrentProcessId()));
    const std::wstring made = Win32::ApiPath(probe + "-Ab");
    {
        const Win32::Handle h(CreateFileW(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (!h) {
            traits.writeError = static_cast<int>(GetLastError());
            return traits;
        }
    }
    traits.caseInsensitive = Attributes(probe + "-aB") != INVALID_FILE_ATTRIBUTES;
    DeleteFileW(made.c_str());
    return traits;
}

std::int64_t FileSizeLimitBelow(const std::string&, std::int64_t size, const TargetTraits& traits) {
    return traits.fatTimes && size > kFatLimit ? kFatLimit : -1;
}

bool CopyClones(const std::string&, const std::string&) {
    return false;  // the copy writes every file's data
}

void RaiseOpenFileLimit() {}

std::int64_t OpenFileRoom() {
    return std::int64_t{1} << 20;  // the walks hold paths, not handles
}

bool IsTargetWideError(int e) {
    switch (static_cast<DWORD>(e)) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_NOT_READY:
        case ERROR_WRITE_PROTECT:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NETNAME_DELETED:
        case ERROR_UNEXP_NET_ERR:
            return true;
        default:
            return false;
    }
}

std::string ExecutablePath() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    std::string path = Win32::Narrow(buf);
    if (path.rfind("\\\\?\\", 0) == 0 && path.size() > 6 && path[5] == ':')
        path.erase(0, 4);
    return path;
}

int RemoveFile(const std::string& path) {
    return DeleteFileW(Win32::ApiPath(path).c_str()) ? 0 : static_cast<int>(GetLastError());
}

int ReadSmallFile(const std::string& path, std::string& out) {
    out.clear();
    const Win32::Handle h(CreateFileW(Win32::ApiPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        return static_cast<int>(GetLastError());
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h.get(), buf, sizeof buf, &n, nullptr))
            return static_cast<int>(GetLastError());
        if (n == 0)
            return 0;
        out.append(buf, n);
    }
}

namespace {

DWORD WriteWhole(HANDLE h, const std::string& content) {
    DWORD written = 0;
    if (!WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr))
        return GetLastError();
    return written == content.size() ? 0 : ERROR_DISK_FULL;
}

}  // namespace

int ReplaceSmallFile(const std::string& path, const std::string& content) {
    // Written beside the old file and moved over it, so that a failure leaves the old
    // settings whole instead of a half-written file.
    const std::wstring widePath = Win32::ApiPath(path);
    const std::wstring wideTemp =
        Win32::ApiPath(path + ".tmp-" + std::to_string(GetCurrentProcessId()));
    DWORD err = 0;
    {
        const Win32::Handle h(CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h) {
            // A folder that takes no new files may still hold a writable work.ini. Any other
            // failure (a full disk) is reported: writing in place would leave half a file.
            const DWORD why = GetLastError();
            if (why != ERROR_ACCESS_DENIED && why != ERROR_WRITE_PROTECT)
                return static_cast<int>(why);
            const Win32::Handle in(CreateFileW(widePath.c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            return static_cast<int>(in ? WriteWhole(in.get(), content) : GetLastError());
        }
        err = WriteWhole(h.get(), content);
    }
    if (err == 0 && !MoveFileExW(wideTemp.c_str(), widePath.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        err = GetLastError();
    }
    if (err != 0)
        DeleteFileW(wideTemp.c_str());
    return static_cast<int>(err);
}

namespace {
// A settings file that the ANSI code page cannot hold is written as UTF-8 behind a byte
// order mark; no path written in the code page begins with those three bytes.
const std::string kUtf8Mark = "\xEF\xBB\xBF";
}  // namespace

std::string FromSettingsEncoding(const std::string& bytes) {
    if (bytes.rfind(kUtf8Mark, 0) == 0)
        return bytes.substr(kUtf8Mark.size());
    return Win32::AnsiToUtf8(bytes);
}

std::string ToSettingsEncoding(const std::string& text) {
    bool exact = true;
    std::string ansi = Win32::Utf8ToAnsi(text, &exact);
    return exact ? ansi : kUtf8Mark + text;
}

std::string LocalDateTimeText(std::int64_t mtime) {
    SYSTEMTIME t{};
    if (!ToLocalTime(mtime, t))
        return {};
    // The listing shows the two-second steps of the packed file date.
    t.wSecond = static_cast<WORD>(t.wSecond & ~1u);
    t.wMilliseconds = 0;
    std::wstring text = FormatDate(t, DATE_SHORTDATE);
    if (t.wHour != 0 || t.wMinute != 0 || t.wSecond != 0)
        text += L' ' + FormatTime(t);
    return Win32::Narrow(text);
}

std::string IsoLocalTime(std::int64_t mtime) {
    SYSTEMTIME t{};
    if (!ToLocalTime(mtime, t))
        return {};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", unsigned{t.wYear},
                  unsigned{t.wMonth}, unsigned{t.wDay}, unsigned{t.wHour}, unsigned{t.wMinute},
                  unsigned{t.wSecond});
    return buf;
}

void IgnoreFileSizeSignal() {}

bool MayWrite(const std::string&) {
    return true;
}

std::string UserConfigDirectory() {
    return {};
}

bool IsDriveRoot(const std::string& path) {
    return path.size() == 3;
}

std::size_t RootLength(const std::string& path) {
    return path.size() > 2 && path[1] == ':' && path[2] == '\\' ? 3 : 0;
}

std::string PathKey(std::string path) {
    return FunSub::LowerAscii(std::move(path));
}

int CompareCaptions(const std::string& a, const std::string& b) {
    // The captions are UTF-8, which the C library's collation would take as ANSI bytes.
    return Win32::CompareLocale(a, b);
}

}  // namespace Platform
