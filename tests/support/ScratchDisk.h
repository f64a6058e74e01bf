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
    // ext4 on a loop device, with blocks of `blockSize` bytes; `inodes` > 0 makes it with
    // that few inodes (files and directories) instead of the usual one per 16 KiB or so.
    static ScratchDisk Ext4(std::int64_t bytes, int blockSize = 1024, int inodes = 0);
    // ext4 of `bytes` (blocks of 1 KiB) whose image lies in a tmpfs of `room` bytes: it takes
    // data in, then fails to write it back, as a failing or thin-provisioned disk does. Its
    // journal and inode tables are written when it is made, so only file data finds no room.
    static ScratchDisk ThinExt4(std::int64_t bytes, std::int64_t room);
    // XFS with reflinks on a loop device: copies on it can share their source's blocks. XFS
    // needs 300 MiB at least.
    static ScratchDisk Xfs(std::int64_t bytes = std::int64_t{320} << 20);
    // `inodes` > 0 limits the number of files and directories it can hold.
    static ScratchDisk Tmpfs(std::int64_t bytes, int inodes = 0);
    // A FUSE file system (support/PowerCutFs.cpp) that keeps what is written in its own
    // memory until the file is synced, and each new name until its directory is synced, as a
    // disk's cache does; PowerCut() then loses the rest.
    static ScratchDisk PowerCutFuse();
    ~ScratchDisk();
    ScratchDisk(ScratchDisk&& other) noexcept;
    ScratchDisk(const ScratchDisk&) = delete;
    ScratchDisk& operator=(const ScratchDisk&) = delete;
    ScratchDisk& operator=(ScratchDisk&&) = delete;

    bool unavailable() const { return m_unavailable; }
    bool mounted() const { return !m_mountPoint.empty(); }
    const std::string& reason() const { return m_reason; }
    const std::string& path() const { return m_mountPoint; }

    // On PowerCutFuse(): drops every unsynced content and name at once, as a power cut does.
    void PowerCut() const;
    // On PowerCutFuse(): from now on every sync of a file, or of a directory, fails with EIO
    // as on a dying device, or every sync succeeds again.
    enum class Syncs { Succeed, FilesFail, DirectoriesFail };
    void SetSyncs(Syncs syncs) const;
    // On PowerCutFuse(): whether names made from now on survive a cut without a sync of
    // their directory (as on a journalling file system), so that only file data are lost.
    void NamesSurvive(bool survive) const;

private:
    ScratchDisk() = default;
    static ScratchDisk Image(std::int64_t bytes, const std::string& mkfs,
                             const std::string& mountCommand, bool fuse);
    std::string m_dir;         // holds the image and the mount point
    std::string m_mountPoint;  // empty when nothing is mounted
    std::string m_loop;        // the loop device of an image
    std::string m_room;        // the tmpfs that holds a thin disk's image
    std::string m_reason;
    bool m_unavailable = false;
};

// Runs `work` in a child process as an ordinary user ("nobody") when the tests run as root,
// as the tests' own user otherwise, so that permissions are what a user meets. Returns what
// `work` returned, or a text saying how the child failed.
std::string AsOrdinaryUser(const std::function<std::string()>& work);
