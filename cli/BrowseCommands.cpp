// quillmere-cli tree, files and stats: the main window's views of a directory, as text.

#include <iostream>
#include <string>

#include "cli/CliCommon.h"
#include "core/DirTree.h"
#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/TreeStats.h"

namespace Cli {

namespace {

void PrintRows(const std::vector<FunSub::ListRow>& rows) {
    for (const auto& row : rows) {
        std::string line = row.caption;
        for (const auto& sub : row.subItems) line += "\t" + sub;
        std::cout << ValidUtf8(line) << '\n';
    }
}

}  // namespace

int RunTree(const Args& args) {
    const std::string dir = FullPath(args.positional[0]);
    RequireEnterable(dir);
    const FunSub::DirTree tree = FunSub::BuildDirTree(dir, FunSub::RootLabel::ShortenDriveRoot);
    if (StopRequested())
        return Stopped();
    const std::vector<std::string> paths = FunSub::AllNodePaths(tree);
    if (!args.json) {
        for (const auto& node : tree.nodes) {
            std::cout << std::string(2 * static_cast<std::size_t>(node.level), ' ')
                      << ValidUtf8(node.label) << '\n';
        }
        return kOk;
    }
    std::string out = "{\"nodes\":[";
    for (int i = 0; i < tree.size(); ++i) {
        if (i > 0)
            out += ',';
        out += "{\"index\":" + std::to_string(i) +
               ",\"level\":" + std::to_string(tree.nodes[i].level) +
               ",\"label\":" + JsonString(tree.nodes[i].label) +
               ",\"path\":" + JsonString(paths[i]) + "}";
    }
    std::cout << out << "]}\n";
    return kOk;
}

int RunFiles(const Args& args) {
    const std::string dir = FullPath(args.positional[0]);
    RequireEnterable(dir);
    const FunSub::FileListing listing = FunSub::ListDirFiles(dir);
    if (StopRequested())
        return Stopped();
    if (!args.json) {
        PrintRows(FunSub::FileListRows(listing));
        return kOk;
    }
    std::string out = "{\"files\":[";
    bool first = true;
    for (const auto& f : listing.files) {
        if (!first)
            out += ',';
        first = false;
        out += "{\"name\":" + JsonString(f.name) + ",\"size\":" + std::to_string(f.size) +
               ",\"mtime\":" + JsonString(Platform::IsoLocalTime(f.mtime)) + "}";
    }
    out += "],\"count\":" + std::to_string(listing.files.size()) +
           ",\"bytes\":" + std::to_string(listing.totalBytes) + "}";
    std::cout << out << '\n';
    return kOk;
}

int RunStats(const Args& args) {
    const std::string dir = FullPath(args.positional[0]);
    RequireEnterable(dir);
    FunSub::ScanOptions options;
    options.stop = StopFlag();
    const FunSub::TreeStats stats = FunSub::CollectTreeStats(
        FunSub::ScanTree(dir, FunSub::RootLabel::ShortenDriveRoot, options));
    if (StopRequested())
        return Stopped();
    const bool incomplete = FunSub::TargetIncomplete(dir);
    if (!args.json) {
        PrintRows(FunSub::TypeListRows(stats));
        std::cout << '\n';
        for (const auto& line : FunSub::LevelLines(stats)) std::cout << line << '\n';
        std::cout << '\n';
        PrintRows(FunSub::DirNameListRows(stats));
        if (stats.unreadable > 0)
            std::cout << '\n' << FunSub::UnreadableText(stats.unreadable) << '\n';
        if (incomplete)
            std::cout << '\n' << FunSub::kIncompleteTargetText << '\n';
        return kOk;
    }
    std::string out = "{\"directories\":" + std::to_string(stats.directories) +
                      ",\"files\":" + std::to_string(stats.fileTotal) +
                      ",\"bytes\":" + std::to_string(stats.byteTotal) + ",\"levels\":[";
    for (int k = 0; k < FunSub::kLevelSlots && stats.LevelCounts[k] != 0; ++k) {
        if (k > 0)
            out += ',';
        out += std::to_string(stats.LevelCounts[k]);
    }
    out += "],\"types\":[";
    bool first = true;
    for (const auto& t : stats.TypeStats) {
        if (!first)
            out += ',';
        first = false;
        out += "{\"type\":" + JsonString(t.TypeKey) + ",\"files\":" + std::to_string(t.FileCount) +
               ",\"bytes\":" + std::to_string(t.TotalSize) + "}";
    }
    out += "],\"directories_by_name\":[";
    first = true;
    for (const auto& d : stats.DirNameStats) {
        if (!first)
            out += ',';
        first = false;
        out += "{\"name\":" + JsonString(d.name) +
               ",\"directories\":" + std::to_string(d.directories) +
               ",\"files\":" + std::to_string(d.files) + ",\"bytes\":" + std::to_string(d.bytes) +
               "}";
    }
    std::cout << out << "],\"unreadable\":" << stats.unreadable
              << ",\"incomplete\":" << (incomplete ? "true" : "false") << JsonRecordedSource(dir)
              << "}\n";
    return kOk;
}

}  // namespace Cli
