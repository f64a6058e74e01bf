#pragma once

// Fresh temporary directories for tests, removed again when the test ends.

#include <cstdint>
#include <filesystem>
#include <string>

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return m_root; }
    // root + separator + relative; on Windows every "/" of `relative` becomes "\\".
    std::string path(const std::string& relative) const;

    // Creates the directory (and its parents) below the root; returns its full path.
    std::string dir(const std::string& relative) const;
    // Creates a file with `content` (parents included); returns its full path.
    std::string file(const std::string& relative, const std::string& content = {}) const;
    // Creates a file of `size` bytes, all zero, without writing them (sparse).
    std::string sparseFile(const std::string& relative, std::int64_t size) const;

private:
    std::string m_root;
};

// The directory fresh test trees and disks go below: the one the build names for the tests
// (QUILLMERE_TEST_TMPDIR), else the system's temporary directory.
std::filesystem::path TestTempDirectory();

// The whole content of a file, or "<missing>" when it cannot be read.
std::string ReadFile(const std::string& path);

// A core path (raw bytes on Linux, UTF-8 on Windows) as a std::filesystem path, and back.
std::filesystem::path FsPath(const std::string& path);
std::string PathText(const std::filesystem::path& path);
