#include "core/TreeStats.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <unordered_map>

#include "core/FunSub.h"

namespace FunSub {

std::string TypeKey(const std::string& fileName) {
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos)
        return kNoExtension;
    return LowerAscii(fileName.substr(dot));
}

FileListing ListDirFiles(const std::string& dir) {
    FileListing listing;
    std::vector<Platform::Entry> entries;
    if (Platform::ListDirectory(dir, Platform::Detail::Full, entries) != 0)
        return listing;
    for (Platform::Entry& e : entries) {
        if (e.isDirectory)
            continue;
        listing.totalBytes += e.size;
        listing.files.push_back(FileRow{std::move(e.name), e.size, e.mtime});
    }
    return listing;
}

namespace {

bool DirNameLess(const DirNameStat& a, const DirNameStat& b) {
    return std::tie(b.bytes, b.files, b.directories, a.name) <
           std::tie(a.bytes, a.files, a.directories, b.name);
}

// Files and bytes of each node's own directory, by index.
struct OwnFiles {
    std::vector<std::int64_t> files, bytes;
};

// The directories of each name below the root and the files beneath the outermost of them:
// subtree totals gathered from the leaves up, then one pass down that keeps the names on the
// current path, so that a directory inside another of its name adds nothing more.
std::vector<DirNameStat> CountDirNames(const DirTree& tree, OwnFiles own) {
    const std::size_t n = own.files.size();
    for (std::size_t i = n; i-- > 1;) {
        const auto parent = static_cast<std::size_t>(tree.nodes[i].parent);
        own.files[parent] += own.files[i];
        own.bytes[parent] += own.bytes[i];
    }
    std::vector<DirNameStat> names;
    std::unordered_map<std::string, std::size_t> index;
    std::vector<std::size_t> nameOf(n), path;
    std::vector<int> onPath;
    for (std::size_t i = 1; i < n; ++i) {
        const auto [it, added] = index.try_emplace(LowerAscii(tree.nodes[i].label), names.size());
        if (added) {
            names.push_back(DirNameStat{it->first});
            onPath.push_back(0);
        }
        nameOf[i] = it->second;
        while (!path.empty() && static_cast<int>(path.back()) != tree.nodes[i].parent) {
            --onPath[nameOf[path.back()]];
            path.pop_back();
        }
        DirNameStat& stat = names[nameOf[i]];
        ++stat.directories;
        if (onPath[nameOf[i]]++ == 0) {
            stat.files += own.files[i];
            stat.bytes += own.bytes[i];
        }
        path.push_back(i);
    }
    std::sort(names.begin(), names.end(), DirNameLess);
    return names;
}

// Counts the nodes in index order and the files each lists, as `filesOf(i, entries)` gives
// them; false from it means the node could not be read.
template <class FilesOf>
TreeStats Count(const DirTree& tree, FilesOf filesOf) {
    TreeStats stats;
    OwnFiles own{std::vector<std::int64_t>(tree.nodes.size()),
                 std::vector<std::int64_t>(tree.nodes.size())};
    for (int i = 0; i < tree.size(); ++i) {
        ++stats.directories;
        const int level = tree.nodes[i].level;
        // Deeper nodes are walked and their files counted, but the histogram stops at 50.
        if (level < kLevelSlots)
            ++stats.LevelCounts[level];
        if (tree.nodes[i].loop)
            continue;
        const std::vector<Platform::Entry>* entries =
            tree.nodes[i].error == 0 ? filesOf(i) : nullptr;
        if (!entries) {
            ++stats.unreadable;
            continue;
        }
        for (const Platform::Entry& e : *entries) {
            if (e.isDirectory)
                continue;
            const std::string key = TypeKey(e.name);
            auto it = std::find_if(stats.TypeStats.begin(), stats.TypeStats.end(),
                                   [&](const FileType& t) { return t.TypeKey == key; });
            if (it == stats.TypeStats.end()) {
                stats.TypeStats.push_back(FileType{key, 1, e.size});
            } else {
                ++it->FileCount;
                it->TotalSize += e.size;
            }
            ++stats.fileTotal;
            stats.byteTotal += e.size;
            ++own.files[static_cast<std::size_t>(i)];
            own.bytes[static_cast<std::size_t>(i)] += e.size;
        }
    }
    if (!own.files.empty()) {
        stats.filesBelowRoot = stats.fileTotal - own.files[0];
        stats.bytesBelowRoot = stats.byteTotal - own.bytes[0];
    }
    stats.DirNameStats = CountDirNames(tree, std::move(own));
    return stats;
}

}  // namespace

TreeStats CollectTreeStats(const DirTree& tree) {
    const std::vector<std::string> paths = AllNodePaths(tree);
    std::vector<Platform::Entry> entries;
    return Count(tree, [&](int i) -> const std::vector<Platform::Entry>* {
        return Platform::ListDirectory(paths[i], Platform::Detail::Full, entries) == 0 ? &entries
                                                                                       : nullptr;
    });
}

TreeStats CollectTreeStats(const ScannedTree& scanned) {
    return Count(scanned.tree, [&](int i) { return &scanned.files[static_cast<std::size_t>(i)]; });
}

std::string SummaryCaption(std::int64_t count) {
    return " 合计:" + std::to_string(count);
}

std::string UnreadableText(std::int64_t directories) {
    return std::to_string(directories) + " 个目录无法读取，其中的文件没有计入";
}

bool CaptionLess(const std::string& a, const std::string& b) {
    const int c = Platform::CompareCaptions(a, b);
    return c != 0 ? c < 0 : a < b;
}

void SortBelowSummary(std::vector<ListRow>& rows) {
    if (rows.size() < 3)
        return;
    std::stable_sort(rows.begin() + 1, rows.end(), [](const ListRow& x, const ListRow& y) {
        return CaptionLess(x.caption, y.caption);
    });
}

std::vector<ListRow> FileListRows(const FileListing& listing) {
    std::vector<ListRow> rows;
    rows.reserve(listing.files.size() + 1);
    rows.push_back(ListRow{SummaryCaption(static_cast<std::int64_t>(listing.files.size())),
                           {FormatThousands(listing.totalBytes)}});
    for (const FileRow& f : listing.files) {
        rows.push_back(
            ListRow{f.name, {FormatThousands(f.size), Platform::LocalDateTimeText(f.mtime)}});
    }
    SortBelowSummary(rows);
    return rows;
}

std::vector<ListRow> TypeListRows(const TreeStats& stats) {
    std::vector<ListRow> rows;
    rows.reserve(stats.TypeStats.size() + 1);
    rows.push_back(ListRow{SummaryCaption(static_cast<std::int64_t>(stats.TypeStats.size())),
                           {std::to_string(stats.fileTotal), FormatThousands(stats.byteTotal)}});
    for (const FileType& t : stats.TypeStats) {
        rows.push_back(
            ListRow{t.TypeKey, {std::to_string(t.FileCount), FormatThousands(t.TotalSize)}});
    }
    SortBelowSummary(rows);
    return rows;
}

std::vector<ListRow> DirNameListRows(const TreeStats& stats) {
    std::vector<ListRow> rows;
    rows.reserve(stats.DirNameStats.size() + 1);
    rows.push_back(
        ListRow{SummaryCaption(static_cast<std::int64_t>(stats.DirNameStats.size())),
                {std::to_string(std::max<std::int64_t>(stats.directories - 1, 0)),
                 std::to_string(stats.filesBelowRoot), FormatThousands(stats.bytesBelowRoot)}});
    for (const DirNameStat& d : stats.DirNameStats) {
        rows.push_back(ListRow{
            d.name,
            {std::to_string(d.directories), std::to_string(d.files), FormatThousands(d.bytes)}});
    }
    return rows;
}

std::vector<std::string> LevelLines(const TreeStats& stats) {
    std::vector<std::string> lines{"  目录级    目录数", " ------------------"};
    for (int k = 0; k < kLevelSlots && stats.LevelCounts[k] != 0; ++k) {
        lines.push_back("    " + std::to_string(k) +
                        " 级:    " + std::to_string(stats.LevelCounts[k]));
    }
    return lines;
}

}  // namespace FunSub
