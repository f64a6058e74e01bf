#include "support/TempTree.h"

#ifdef _WIN32
#include "core/platform/win32/WinApi.h"

#include <winioctl.h>

#include <random>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/Platform.h"

namespace fs = std::filesystem;

fs::path FsPath(const std::string& path) {
#ifdef _WIN32
    // The core's strings are UTF-8 on Windows; a plain std::string would be taken as ANSI.
    return fs::path(std::u8string(path.begin(), path.end()));
#else
    return fs::path(path);
#endif
}

std::string PathText(const fs::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

fs::path TestTempDirectory() {
#ifdef QUILLMERE_TEST_TMPDIR
    return fs::path(QUILLMERE_TEST_TMPDIR);
#else
    return fs::temp_directory_path();
#endif
}

TempTree::TempTree() {
#ifdef _WIN32
    std::random_device random;
    const fs::path base = TestTempDirectory();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / ("quillmere-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            m_root = PathText(candidate);
            // The drive letter as the directory picker writes it, so that a path picked
            // there is the same text as the test's own.
            if (m_root.size() > 1 && m_root[1] == ':' && m_root[0] >= 'A' && m_root[0] <= 'Z')
                m_root[0] = static_cast<char>(m_root[0] - 'A' + 'a');
            return;
        }
    }
    throw std::runtime_error("no fresh temporary directory");
#else
    std::string pattern = (TestTempDirectory() / "quillmere-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
#endif
}

TempTree::~TempTree() {
    std::error_code ec;
    const fs::path root = FsPath(m_root);
    // Give back write permission that a test may have taken away, then remove everything.
    // On Windows a read-only file cannot be deleted either.
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
#ifdef _WIN32
        SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
#else
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
#endif
    }
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
}

std::string TempTree::path(const std::string& relative) const {
    std::string p = m_root + Platform::kSeparator + relative;
#ifdef _WIN32
    for (char& c : p) {
        if (c == '/')
            c = '\\';
    }
#endif
    return p;
}

std::string TempTree::dir(const std::string& relative) const {
    const std::string p = path(relative);
    fs::create_directories(FsPath(p));
    return p;
}

std::string TempTree::file(const std::string& relative, const std::string& content) const {
    const std::string p = path(relative);
    fs::create_directories(FsPath(p).parent_path());
    std::ofstream out(FsPath(p), std::ios::binary);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + p);
    return p;
}

std::string TempTree::sparseFile(const std::string& relative, std::int64_t size) const {
    const std::string p = file(relative);
#ifdef _WIN32
    HANDLE h = CreateFileW(FsPath(p).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + p);
    DWORD unused = 0;
    // Where the file system has no sparse files the length is still set, without writing.
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    const bool ok = SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    if (!ok)
        throw std::runtime_error("cannot set the length of " + p);
#else
    if (truncate(p.c_str(), static_cast<off_t>(size)) != 0)
        throw std::runtime_error("truncate failed");
#endif
    return p;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in)
        return "<missing>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
