#ifndef _WIN32
#include "support/ScratchDisk.h"

#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/TempTree.h"

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

// Open to every user, so that tests can run commands on the disk as an ordinary user.
std::string FreshDirectory() {
    std::string pattern = (TestTempDirectory() / "quillmere-disk-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return {};
    chmod(pattern.c_str(), 0755);
    return pattern;
}

}  // namespace

namespace {

bool CanMountImages() {
    return geteuid() == 0 && access("/dev/loop-control", R_OK | W_OK) == 0;
}

}  // namespace

// An image of `bytes` made by `mkfs` on a loop device, mounted by `mountCommand` (which gets
// the device and the mount point).
ScratchDisk ScratchDisk::Image(std::int64_t bytes, const std::string& mkfs,
                               const std::string& mountCommand, bool fuse) {
    ScratchDisk disk;
    if (!CanMountImages() || (fuse && access("/dev/fuse", R_OK | W_OK) != 0)) {
        disk.m_reason = "needs root, loop devices and (for FUSE) /dev/fuse to mount a disk image";
        disk.m_unavailable = true;
        return disk;
    }
    disk.m_dir = FreshDirectory();
    const std::string image = disk.m_dir + "/disk.img";
    const std::string mountPoint = disk.m_dir + "/mnt";
    fs::create_directory(mountPoint);
    if (!Run("truncate -s " + std::to_string(bytes) + " " + image + " && " + mkfs + " " + image +
             " >/dev/null")) {
        disk.m_reason = mkfs + " failed";
    } else if (!Run("losetup -f --show " + image, &disk.m_loop)) {
        disk.m_reason = "no free loop device";
        disk.m_loop.clear();
    } else if (!Run(mountCommand + " " + disk.m_loop + " " + mountPoint)) {
        disk.m_reason = mountCommand + " failed";
    } else {
        disk.m_mountPoint = mountPoint;
    }
    return disk;
}

ScratchDisk ScratchDisk::Exfat(std::int64_t bytes) {
    return Image(bytes, "mkfs.exfat", "mount.exfat-fuse", true);
}

ScratchDisk ScratchDisk::Fat(std::int64_t bytes) {
    return Image(bytes, "mkfs.vfat -F 32", "fusefat -o rw+", true);
}

ScratchDisk ScratchDisk::Ext4(std::int64_t bytes, int blockSize, int inodes) {
    std::string mkfs = "mkfs.ext4 -q -b " + std::to_string(blockSize);
    if (inodes > 0)
        mkfs += " -N " + std::to_string(inodes);
    return Image(bytes, mkfs, "mount", false);
}

ScratchDisk ScratchDisk::Xfs(std::int64_t bytes) {
    return Image(bytes, "mkfs.xfs -q -f -m reflink=1", "mount", false);
}

namespace {

// A shell command that gives an ext4 image (1 KiB blocks) room for its bitmaps, inode tables
// and journal, which mkfs leaves as holes: the ranges dumpe2fs and debugfs name.
std::string AllocateMetadata(const std::string& image) {
    return "{ dumpe2fs " + image +
           " 2>/dev/null | grep -oE 'at [0-9]+(-[0-9]+)?' | sed 's/at //'; " +
           "debugfs -R 'stat <8>' " + image +
           " 2>/dev/null | grep -oE ':[0-9]+-[0-9]+' | tr -d ':'; } | " +
           "while IFS=- read a b; do fallocate -o $((a*1024)) -l $(((${b:-$a}-a+1)*1024)) " +
           image + " || exit 1; done";
}

}  // namespace

ScratchDisk ScratchDisk::ThinExt4(std::int64_t bytes, std::int64_t room) {
    ScratchDisk disk;
    if (!CanMountImages()) {
        disk.m_reason = "needs root and loop devices to mount a disk image";
        disk.m_unavailable = true;
        return disk;
    }
    disk.m_dir = FreshDirectory();
    const std::string backing = disk.m_dir + "/room";
    const std::string image = backing + "/disk.img";
    const std::string mountPoint = disk.m_dir + "/mnt";
    fs::create_directory(backing);
    fs::create_directory(mountPoint);
    if (mount("quillmere-test", backing.c_str(), "tmpfs", 0,
              ("size=" + std::to_string(room)).c_str()) != 0) {
        disk.m_reason = "cannot mount the tmpfs that holds the image";
        return disk;
    }
    disk.m_room = backing;
    if (!Run("truncate -s " + std::to_string(bytes) + " " + image +
             " && mkfs.ext4 -q -b 1024 -E lazy_itable_init=0,lazy_journal_init=0 " + image)) {
        disk.m_reason = "mkfs.ext4 failed";
    } else if (!Run(AllocateMetadata(image))) {
        disk.m_reason = "cannot allocate the image's metadata";
    } else if (!Run("losetup -f --show " + image, &disk.m_loop)) {
        disk.m_reason = "no free loop device";
        disk.m_loop.clear();
    } else if (!Run("mount " + disk.m_loop + " " + mountPoint)) {
        disk.m_reason = "mount failed";
    } else {
        disk.m_mountPoint = mountPoint;
    }
    return disk;
}

ScratchDisk ScratchDisk::Tmpfs(std::int64_t bytes, int inodes) {
    ScratchDisk disk;
    disk.m_dir = FreshDirectory();
    const std::string mountPoint = disk.m_dir + "/mnt";
    fs::create_directory(mountPoint);
    std::string options = "size=" + std::to_string(bytes);
    if (inodes > 0)
        options += ",nr_inodes=" + std::to_string(inodes);
    if (mount("quillmere-test", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        disk.m_reason = "needs root to mount a tmpfs";
        disk.m_unavailable = geteuid() != 0;
    } else {
        disk.m_mountPoint = mountPoint;
    }
    return disk;
}

ScratchDisk ScratchDisk::PowerCutFuse() {
    ScratchDisk disk;
#ifdef QUILLMERE_POWERCUT_FS
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
        disk.m_reason = "needs root and /dev/fuse to mount the power-cut file system";
        disk.m_unavailable = true;
        return disk;
    }
    disk.m_dir = FreshDirectory();
    const std::string backing = disk.m_dir + "/backing";
    const std::string mountPoint = disk.m_dir + "/mnt";
    fs::create_directory(backing);
    fs::create_directory(mountPoint);
    if (Run(std::string(QUILLMERE_POWERCUT_FS) + " " + backing + " " + mountPoint))
        disk.m_mountPoint = mountPoint;
    else
        disk.m_reason = "the power-cut file system did not mount";
#else
    disk.m_reason = "built without libfuse3: no power-cut file system";
    disk.m_unavailable = true;
#endif
    return disk;
}

namespace {

// Looks up a name that the power-cut file system answers as an order.
void Order(const std::string& mountPoint, const char* name) {
    struct stat st {};
    lstat((mountPoint + "/" + name).c_str(), &st);
}

}  // namespace

void ScratchDisk::PowerCut() const {
    Order(m_mountPoint, ".quillmere-power-cut");
}

void ScratchDisk::SetSyncs(Syncs syncs) const {
    Order(m_mountPoint, syncs == Syncs::FilesFail         ? ".quillmere-file-syncs-fail"
                        : syncs == Syncs::DirectoriesFail ? ".quillmere-directory-syncs-fail"
                                                          : ".quillmere-syncs-succeed");
}

void ScratchDisk::NamesSurvive(bool survive) const {
    Order(m_mountPoint, survive ? ".quillmere-names-survive" : ".quillmere-names-vanish");
}

ScratchDisk::ScratchDisk(ScratchDisk&& other) noexcept
    : m_dir(std::move(other.m_dir)),
      m_mountPoint(std::move(other.m_mountPoint)),
      m_loop(std::move(other.m_loop)),
      m_room(std::move(other.m_room)),
      m_reason(std::move(other.m_reason)),
      m_unavailable(other.m_unavailable) {
    other.m_dir.clear();
    other.m_mountPoint.clear();
    other.m_loop.clear();
    other.m_room.clear();
}

ScratchDisk::~ScratchDisk() {
    if (!m_mountPoint.empty())
        umount2(m_mountPoint.c_str(), MNT_DETACH);
    if (!m_loop.empty())
        Run("losetup -d " + m_loop);
    if (!m_room.empty())
        umount2(m_room.c_str(), MNT_DETACH);
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
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        const std::string result = work();
        (void)!write(fds[1], result.data(), result.size());
        _exit(0);
    }
    close(fds[1]);
    std::string result;
    char buf[4096];
    ssize_t n;
    while (child > 0 && (n = read(fds[0], buf, sizeof buf)) > 0)
        result.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return "no child";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the child failed";
    return result;
}
#endif
