#ifndef _WIN32
#include "support/ScratchDisk.h"

#include <grp.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Runs a shell command; its output, or empty when it failed.
bool Run(const std::string& command, std::string* output = nullptr) {
    FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p)
        return false;
    std::string out;
    char buf[256];
    while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    if (output)
        *output = out;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string FreshDirectory() {
    std::string pattern = (fs::temp_directory_path() / "quillmere-disk-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

ScratchDisk ScratchDisk::Exfat(std::int64_t bytes) {
    ScratchDisk disk;
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0 ||
        access("/dev/loop-control", R_OK | W_OK) != 0) {
        disk.m_reason = "needs root, /dev/fuse and loop devices to mount an exFAT";
        disk.m_unavailable = true;
        return disk;
    }
    disk.m_dir = FreshDirectory();
    const std::string image = disk.m_dir + "/disk.img";
    const std::string mountPoint = disk.m_dir + "/mnt";
    fs::create_directory(mountPoint);
    if (!Run("truncate -s " + std::to_string(bytes) + " " + image + " && mkfs.exfat " + image +
             " >/dev/null")) {
        disk.m_reason = "mkfs.exfat failed (package exfatprogs)";
    } else if (!Run("losetup -f --show " + image, &disk.m_loop)) {
        disk.m_reason = "no free loop device";
        disk.m_loop.clear();
    } else if (!Run("mount.exfat-fuse " + disk.m_loop + " " + mountPoint)) {
        disk.m_reason = "mount.exfat-fuse failed (package exfat-fuse)";
    } else {
        disk.m_mountPoint = mountPoint;
    }
    return disk;
}

ScratchDisk ScratchDisk::Tmpfs(std::int64_t bytes) {
    ScratchDisk disk;
    disk.m_dir = FreshDirectory();
    const std::string mountPoint = disk.m_dir + "/mnt";
    fs::create_directory(mountPoint);
    const std::string options = "size=" + std::to_string(bytes);
    if (mount("quillmere-test", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        disk.m_reason = "needs root to mount a tmpfs";
        disk.m_unavailable = geteuid() != 0;
    } else {
        disk.m_mountPoint = mountPoint;
    }
    return disk;
}

ScratchDisk::ScratchDisk(ScratchDisk&& other) noexcept
    : m_dir(std::move(other.m_dir)),
      m_mountPoint(std::move(other.m_mountPoint)),
      m_loop(std::move(other.m_loop)),
      m_reason(std::move(other.m_reason)),
      m_unavailable(other.m_unavailable) {
    other.m_dir.clear();
    other.m_mountPoint.clear();
    other.m_loop.clear();
}

ScratchDisk::~ScratchDisk() {
    if (!m_mountPoint.empty())
        umount2(m_mountPoint.c_str(), MNT_DETACH);
    if (!m_loop.empty())
        Run("losetup -d " + m_loop);
    if (!m_dir.empty()) {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
}

std::string AsOrdinaryUser(const std::function<std::string()>& work) {
    int fds[2];
    if (pipe(fds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        const std::string result = work();
        (void)!write(fds[1], result.data(), result.size());
        _exit(0);
    }
    close(fds[1]);
    std::string result;
    char buf[4096];
    ssize_t n;
    while (child > 0 && (n = read(fds[0], buf, sizeof buf)) > 0) result.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return "no child";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the child failed";
    return result;
}
#endif
