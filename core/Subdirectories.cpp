#include "core/Subdirectories.h"

#include "core/DirTree.h"
#include "core/FunSub.h"

namespace FunSub {

std::vector<Subdirectory> Subdirectories(const std::string& dir) {
    CheckEnterable(dir);
    std::vector<Platform::Entry> entries;
    std::vector<Subdirectory> out;
    if (Platform::ListDirectory(dir, Platform::Detail::Kinds, entries) != 0)
        return out;
    for (Platform::Entry& e : entries) {
        if (!e.isDirectory || IsDotName(e.name))
            continue;
        std::string path = PathBelow(dir, e.name);
        out.push_back(Subdirectory{std::move(e.name), std::move(path)});
    }
    return out;
}

}  // namespace FunSub
