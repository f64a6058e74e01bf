#include "support/TempTree.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempTree::TempTree() {
    std::string pattern = (fs::temp_directory_path() / "quillmere-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
}

TempTree::~TempTree() {
    std::error_code ec;
    // Give back write permission that a test may have taken away, then remove everything.
    for (auto it = fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
    }
    fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_root, ec);
}

std::string TempTree::path(const std::string& relative) const { return m_root + "/" + relative; }

std::string TempTree::dir(const std::string& relative) const {
    const std::string p = path(relative);
    fs::create_directories(p);
    return p;
}

std::string TempTree::file(const std::string& relative, const std::string& content) const {
    const std::string p = path(relative);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + p);
    return p;
}

std::string TempTree::sparseFile(const std::string& relative, std::int64_t size) const {
    const std::string p = file(relative);
    if (truncate(p.c_str(), static_cast<off_t>(size)) != 0) throw std::runtime_error("truncate failed");
    return p;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
