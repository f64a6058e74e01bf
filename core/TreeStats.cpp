#include "core/TreeStats.h"

#include <algorithm>
#include <cstring>

#include "core/FunSub.h"
#ifdef _WIN32
#include "core/platform/win32/Win32Text.h"
#endif

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

// Counts the nodes in index order and the files each lists, as `filesOf(i, entries)` gives
// them; false from it means the node could not be read.
template <class FilesOf>
TreeStats Count(const DirTree& tree, FilesOf filesOf) {
    TreeStats stats;
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
        }
    }
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

std::int64_t CountTreeFiles(const DirTree& tree) {
    std::int64_t total = 0;
    const std::vector<std::string> paths = AllNodePaths(tree);
    std::vector<Platform::Entry> entries;
    for (int i = 0; i < tree.size(); ++i) {
        if (tree.nodes[i].loop || tree.nodes[i].error != 0 ||
            Platform::ListDirectory(paths[i], Platform::Detail::Kinds, entries) != 0)
            continue;
        for (const Platform::Entry& e : entries) total += e.isDirectory ? 0 : 1;
    }
    return total;
}

std::string SummaryCaption(std::int64_t count) {
    return " 合计:" + std::to_string(count);
}

std::string UnreadableText(std::int64_t directories) {
    return std::to_string(directories) + " 个目录无法读取，其中的文件没有计入";
}

bool CaptionLess(const std::string& a, const std::string& b) {
#ifdef _WIN32
    // The captions are UTF-8, which the C library's collation would take as ANSI bytes.
    const int c = Win32::CompareLocale(a, b);
#else
    const int c = std::strcoll(a.c_str(), b.c_str());
#endif
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

std::vector<std::string> LevelLines(const TreeStats& stats) {
    std::vector<std::string> lines{"  目录级    目录数", " ------------------"};
    for (int k = 0; k < kLevelSlots && stats.LevelCounts[k] != 0; ++k) {
        lines.push_back("    " + std::to_string(k) +
                        " 级:    " + std::to_string(stats.LevelCounts[k]));
    }
    return lines;
}

}  // namespace FunSub
