#pragma once

// What the drive and directory picker reads from the system: the local disks it offers as
// top-level nodes, and the lazily read directory listings below them.

#include <functional>
#include <string>
#include <vector>

#include "core/Platform.h"

namespace Platform {

// One local disk: where its file system is reached, and its volume label as the system
// reports it (empty when it has none or the label cannot be read).
struct Volume {
    std::string root;
    std::string label;
};

// The local fixed disks, in the order the picker lists them. On Linux the file system at "/"
// comes first whatever it is, then the other mount points of block-device file systems.
// Never fails: what cannot be read is left out, a label that cannot be read is empty.
std::vector<Volume> LocalDisks();

// Linux only: one line of /proc/self/mountinfo, octal escapes (\040 for a blank) decoded.
struct MountEntry {
    std::string root;  // the part of the file system mounted here; "/" for all of it
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

std::vector<MountEntry> ParseMountInfo(const std::string& text);

// "/" first, then every mount point (the last mount on it wins) that holds a whole file
// system of a local disk, in byte order of the mount point. `isBlockDevice` is asked for a
// source, `labelOf` gives the volume label of a source.
std::vector<Volume> SelectLocalDisks(
    const std::vector<MountEntry>& mounts,
    const std::function<bool(const std::string& source)>& isBlockDevice,
    const std::function<std::string(const std::string& source)>& labelOf);

// udev writes unusual characters of a label in a /dev/disk/by-label name as \xHH.
std::string DecodeLabelName(const std::string& name);

}  // namespace Platform

namespace FunSub {

// A top-level node of the picker: its text, and the path it stands for.
struct DriveItem {
    // "d: [data]" on Windows ("d: []" without a label), "/data [data]" on Linux ("/data")
    std::string text;
    std::string root;  // "d:\" on Windows, "/data" on Linux
};

// The text and path of one disk's node; the label is shown lower-cased (A-Z only). Each
// platform makes its own (core/platform/).
DriveItem MakeDriveItem(const Platform::Volume& volume);

// The picker's top-level nodes, read from the system (the picker reads them once per run).
std::vector<DriveItem> ReadDriveItems();

// The path of a directory node below `parentPath`: no doubled separator after a root.
std::string PickerChildPath(const std::string& parentPath, const std::string& name);

// The subdirectories of `path` that the picker shows, each as "[name]", sorted with the
// letters A-Z taken as equal to a-z. Hidden and system directories are left out. Every
// directory except a drive root also lists "[.]" and "[..]", as the picker's rule for
// expanders counts on. Raises the input/output error when `path` cannot be read. `id`, when
// given, receives the identity of the directory read.
std::vector<std::string> ListSubdirs(const std::string& path, Platform::FileId* id = nullptr);

// The names of a listing, without the brackets and without "." and "..".
std::vector<std::string> ListedNames(const std::vector<std::string>& listing);

// A directory node that opening its parent adds to the picker.
struct PickerChild {
    std::string name;
    std::string path;
    bool hasChildren = false;  // it gets an expander
    // A link back onto the path from the disk down to it: it shows, but is never entered,
    // as in the trees of the other windows.
    bool leadsBack = false;
};

// What opening the node of `path` reads: the node's own identity, and its children in
// listing order.
struct PickerOpening {
    Platform::FileId id;
    std::vector<PickerChild> children;
};

// Opens the node of `path` below the opened nodes whose identities are `above`, from the
// disk down. Raises the input/output error when `path` cannot be read.
PickerOpening OpenPickerNode(const std::string& path, const std::vector<Platform::FileId>& above);

}  // namespace FunSub
