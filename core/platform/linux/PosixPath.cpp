#include "core/platform/linux/PosixPath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace Platform {

PathAt::PathAt(const std::string& path) : m_dir(AT_FDCWD), m_rest(path.empty() ? "/" : path) {
    // Each step takes the longest leading part that ends before a separator and fits.
    while (m_rest.size() >= PATH_MAX) {
        const auto cut = m_rest.rfind('/', PATH_MAX - 1);
        if (cut == std::string::npos || cut == 0) {
            m_error = ENAMETOOLONG;  // a single name longer than any file system takes
            break;
        }
        const int next =
            openat(m_dir, m_rest.substr(0, cut).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        m_error = next < 0 ? errno : 0;
        if (m_dir >= 0)
            close(m_dir);
        m_dir = next;
        if (next < 0)
            break;
        m_rest.erase(0, m_rest.find_first_not_of('/', cut));
    }
    if (m_error != 0)
        m_dir = -1;
}

PathAt::~PathAt() {
    if (m_dir >= 0)
        close(m_dir);
}

int PathAt::Open(int flags, mode_t mode) const {
    if (m_dir == -1) {
        errno = m_error;
        return -1;
    }
    return openat(m_dir, m_rest.c_str(), flags, mode);
}

int PathAt::Stat(struct stat& st, int flags) const {
    if (m_dir == -1)
        return m_error;
    return fstatat(m_dir, m_rest.c_str(), &st, flags) == 0 ? 0 : errno;
}

int PathAt::Access(int mode) const {
    if (m_dir == -1)
        return m_error;
    return faccessat(m_dir, m_rest.c_str(), mode, 0) == 0 ? 0 : errno;
}

}  // namespace Platform
