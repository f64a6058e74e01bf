#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <sstream>

#include "core/DrivePicker.h"
#include "core/FunSub.h"
#include "core/Platform.h"

namespace Platform {
namespace {

// mountinfo escapes blank, tab, newline and backslash as a backslash and three octal digits.
std::string DecodeOctal(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(),
                            [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; in >> f;) fields.push_back(f);
    return fields;
}

// File systems that are no disk of their own even when a block device stands behind them:
// images of packages, optical media.
bool IsDiskFileSystem(const std::string& fsType) {
    static const std::set<std::string> notDisks = {
        "proc",    "sysfs", "tmpfs",  "devtmpfs", "devpts", "overlay", "squashfs",
        "iso9660", "udf",   "cgroup", "cgroup2",  "ramfs",  "autofs",  "fuse.snapfuse"};
    return notDisks.count(fsType) == 0;
}

bool IsBlockDevice(const std::string& source) {
    struct stat st {};
    return source.rfind("/dev/", 0) == 0 && stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

bool IsDirectoryPath(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// Volume labels by device, from the links udev keeps in /dev/disk/by-label.
std::map<std::string, std::string> LabelsByDevice() {
    std::map<std::string, std::string> labels;
    const std::string dir = "/dev/disk/by-label";
    DIR* d = opendir(dir.c_str());
    if (!d)
        return labels;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string device = RealPath(dir + "/" + name);
        if (!device.empty())
            labels.emplace(device, DecodeLabelName(name));
    }
    closedir(d);
    return labels;
}

std::string ReadMountInfo() {
    std::string text;
    if (ReadSmallFile("/proc/self/mountinfo", text) != 0)
        text.clear();
    return text;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
    std::vector<MountEntry> mounts;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::vector<std::string> f = Fields(line);
        const auto dash = std::find(f.begin(), f.end(), "-");
        if (f.size() < 5 || dash == f.end() || f.end() - dash < 3 || dash - f.begin() < 6) {
            continue;
        }
        mounts.push_back(MountEntry{DecodeOctal(f[3]), DecodeOctal(f[4]), DecodeOctal(*(dash + 1)),
                                    DecodeOctal(*(dash + 2))});
    }
    return mounts;
}

std::vector<Volume> SelectLocalDisks(
    const std::vector<MountEntry>& mounts,
    const std::function<bool(const std::string& source)>& isBlockDevice,
    const std::function<std::string(const std::string& source)>& labelOf) {
    // A later mount on the same point hides the earlier one.
    std::map<std::string, const MountEntry*> visible;
    for (const MountEntry& m : mounts) visible[m.mountPoint] = &m;

    std::vector<Volume> disks{Volume{"/", {}}};
    for (const auto& [point, m] : visible) {
        const bool disk = m->root == "/" && IsDiskFileSystem(m->fsType) && isBlockDevice(m->source);
        if (point == "/") {
            if (disk)
                disks.front().label = labelOf(m->source);
        } else if (disk) {
            disks.push_back(Volume{point, labelOf(m->source)});
        }
    }
    return disks;
}

std::string DecodeLabelName(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            out += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

std::vector<Volume> LocalDisks() {
    const std::map<std::string, std::string> labels = LabelsByDevice();
    auto labelOf = [&](const std::string& source) {
        const auto it = labels.find(RealPath(source));
        return it == labels.end() ? std::string() : it->second;
    };
    std::vector<Volume> disks =
        SelectLocalDisks(ParseMountInfo(ReadMountInfo()), IsBlockDevice, labelOf);
    // A mount point that is gone or not reachable as a directory cannot be opened anyway.
    std::erase_if(disks, [](const Volume& v) { return v.root != "/" && !IsDirectoryPath(v.root); });
    return disks;
}

}  // namespace Platform

namespace FunSub {

DriveItem MakeDriveItem(const Platform::Volume& volume) {
    // Most Linux file systems have no label; empty brackets would only puzzle.
    if (volume.label.empty())
        return DriveItem{volume.root, volume.root};
    return DriveItem{volume.root + " [" + LowerAscii(volume.label) + "]", volume.root};
}

}  // namespace FunSub
