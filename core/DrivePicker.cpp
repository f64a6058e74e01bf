#include "core/DrivePicker.h"

#include <algorithm>
#include <optional>

#include "core/FunSub.h"
#include "core/Parallel.h"
#include "core/Platform.h"

namespace FunSub {
namespace {

bool IsSelfOrParent(const std::string& name) {
    return name == "." || name == "..";
}

}  // namespace

std::vector<DriveItem> ReadDriveItems() {
    std::vector<DriveItem> items;
    for (const Platform::Volume& volume : Platform::LocalDisks()) {
        items.push_back(MakeDriveItem(volume));
    }
    return items;
}

std::string PickerChildPath(const std::string& parentPath, const std::string& name) {
    return PathBelow(parentPath, name);
}

std::vector<std::string> ListSubdirs(const std::string& path, Platform::FileId* id) {
    std::vector<Platform::Entry> entries;
    // The picker moves through the disks as a file manager does: through links too.
    if (int err = Platform::ListDirectory(path, Platform::Detail::Kinds, entries, id,
                                          Platform::Links::Follow)) {
        RaiseIoError(err);
    }
    std::vector<std::string> names;
    if (!IsDriveRoot(path)) {
        names.push_back(".");
        names.push_back("..");
    }
    for (const Platform::Entry& e : entries) {
        if (e.isDirectory && !e.hidden && !e.system && !IsDotName(e.name)) {
            names.push_back(e.name);
        }
    }
    std::stable_sort(names.begin(), names.end(), Platform::NameLess);
    std::vector<std::string> listing;
    listing.reserve(names.size());
    for (const std::string& name : names) listing.push_back("[" + name + "]");
    return listing;
}

std::vector<std::string> ListedNames(const std::vector<std::string>& listing) {
    std::vector<std::string> names;
    for (const std::string& entry : listing) {
        if (entry.size() < 2)
            continue;
        std::string name = entry.substr(1, entry.size() - 2);
        if (!IsSelfOrParent(name))
            names.push_back(std::move(name));
    }
    return names;
}

namespace {

// The names a child node would show, or nothing when it cannot be read.
std::optional<std::vector<std::string>> ChildNames(const std::string& path,
                                                   Platform::FileId* id = nullptr) {
    try {
        return ListedNames(ListSubdirs(path, id));
    } catch (const QuillError&) {
        return std::nullopt;
    }
}

}  // namespace

PickerOpening OpenPickerNode(const std::string& path, const std::vector<Platform::FileId>& above) {
    PickerOpening opening;
    const std::vector<std::string> names = ListedNames(ListSubdirs(path, &opening.id));
    std::vector<Platform::FileId> onPath = above;
    onPath.push_back(opening.id);
    opening.children.resize(names.size());
    // Whether each child has children of its own is one listing each: several at once.
    ParallelFor(
        names.size(), names.size() < 64 ? 1u : WalkThreads(),
        [&](std::size_t i) {
            PickerChild& child = opening.children[i];
            child.name = names[i];
            child.path = PickerChildPath(path, child.name);
            Platform::FileId id;
            if (const auto below = ChildNames(child.path, &id)) {
                child.leadsBack = std::find(onPath.begin(), onPath.end(), id) != onPath.end();
                child.hasChildren = !child.leadsBack && !below->empty();
            }
        },
        [] { return false; });
    return opening;
}

}  // namespace FunSub
