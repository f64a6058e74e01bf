#pragma once

// Real file systems for tests that need one: exFAT and FAT on loop devices through FUSE (case-
// insensitive, FAT's name rules, no links, no holes), ext4 on a loop device, and a small tmpfs
// that fills up. Both need root:
// where the machine lacks what they need (root, loop devices, /dev/fuse) the test skips with
// `reason()`; any other failure to make one is the test's failure.

#include <cstdint>
#include <functional>
#include <string>

class ScratchDisk {
public:
    static ScratchDisk Exfat(std::int64_t bytes = std::int64_t{64} << 20);
    // FAT32 through FUSE (fusefat): files below 4 GiB, times in steps of two seconds.
    static ScratchDisk Fat(std::int64_t bytes = std::int64_t{64} << 20);
    // ext4 on a loop device, with blocks of `blockSize` bytes.
    static ScratchDisk Ext4(std::int64_t bytes, int blockSize = 1024);
    // `inodes` > 0 limits the number of files and directories it can hold.
    static ScratchDisk Tmpfs(std::int64_t bytes, int inodes = 0);
    ~ScratchDisk();
    ScratchDisk(ScratchDisk&& other) noexcept;
    ScratchDisk(const ScratchDisk&) = delete;
    ScratchDisk& operator=(const ScratchDisk&) = delete;
    ScratchDisk& operator=(ScratchDisk&&) = delete;

    bool unavailable() const { return m_unavailable; }
    bool mounted() const { return !m_mountPoint.empty(); }
    const std::string& reason() const { return m_reason; }
    const std::string& path() const { return m_mountPoint; }

private:
    ScratchDisk() = default;
    static ScratchDisk Image(std::int64_t bytes, const std::string& mkfs,
                             const std::string& mountCommand, bool fuse);
    std::string m_dir;         // holds the image and the mount point
    std::string m_mountPoint;  // empty when nothing is mounted
    std::string m_loop;        // the loop device of an image
    std::string m_reason;
    bool m_unavailable = false;
};

// Runs `work` in a child process as an ordinary user ("nobody") when the tests run as root,
// as the tests' own user otherwise, so that permissions are what a user meets. Returns what
// `work` returned, or a text saying how the child failed.
std::string AsOrdinaryUser(const std::function<std::string()>& work);
