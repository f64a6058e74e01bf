#include "core/CopyRecord.h"

#include <cerrno>
#include <cstdio>

#include "core/FilterCopy.h"
#include "core/FilterMemory.h"
#include "core/FunSub.h"
#include "core/Platform.h"

namespace FunSub {
namespace {

constexpr const char* kFirstLine = "quillmere copy job 1\n";
constexpr const char* kEndLine = "end";

// The file `name` inside the marker of `targetRoot`.
std::string MarkerFile(const std::string& targetRoot, const char* name) {
    return PathBelow(PathBelow(targetRoot, kIncompleteMarker), name);
}

// FNV-1a of a line's text, as eight hexadecimal digits: what tells a whole line from one a
// power cut left half written.
std::string Check(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", hash);
    return digits;
}

// A whole number written in decimal, as the list writes sizes and times.
bool ReadNumber(const std::string& text, std::int64_t& out) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("-0123456789") != std::string::npos)
        return false;
    try {
        out = std::stoll(text);
    } catch (...) {
        return false;
    }
    return true;
}

// One line of the list: path, size, time and the check of the three; none when it is not whole.
std::optional<DurableFile> ReadDurableLine(const std::string& line) {
    const auto tab3 = line.rfind('\t');
    if (tab3 == std::string::npos || line.substr(tab3 + 1) != Check(line.substr(0, tab3)))
        return std::nullopt;
    const auto tab2 = line.rfind('\t', tab3 - 1);
    const auto tab1 =
        tab2 == std::string::npos || tab2 == 0 ? std::string::npos : line.rfind('\t', tab2 - 1);
    if (tab1 == std::string::npos)
        return std::nullopt;
    DurableFile file;
    if (!UnescapeField(line.substr(0, tab1), file.path) || file.path.empty() ||
        !ReadNumber(line.substr(tab1 + 1, tab2 - tab1 - 1), file.size) ||
        !ReadNumber(line.substr(tab2 + 1, tab3 - tab2 - 1), file.mtime))
        return std::nullopt;
    return file;
}

}  // namespace

int WriteCopyRecord(const std::string& targetRoot, const CopyRecord& record) {
    const FilterChoice choice{record.filter.mode(), record.filter.types(), record.filter.rules()};
    const std::string text = std::string(kFirstLine) + FilterChoiceLine(record.source, choice) +
                             "work\t" + EscapeField(record.workDir) + "\n" + "verify\t" +
                             (record.verify ? "1" : "0") + "\n" + kEndLine + "\n";
    return Platform::WriteDurableFile(MarkerFile(targetRoot, kRecordName), text);
}

std::optional<CopyRecord> ReadCopyRecord(const std::string& targetRoot) {
    std::string text;
    const std::string path = MarkerFile(targetRoot, kRecordName);
    if (!Platform::IsFile(path) || Platform::ReadSmallFile(path, text) != 0)
        return std::nullopt;
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.size() != 5 || lines[0] + "\n" != kFirstLine || lines[4] != kEndLine)
        return std::nullopt;
    CopyRecord record;
    FilterChoice choice;
    if (!ReadFilterChoiceLine(lines[1], record.source, choice) || !lines[2].starts_with("work\t") ||
        !UnescapeField(lines[2].substr(5), record.workDir))
        return std::nullopt;
    if (lines[3] != "verify\t0" && lines[3] != "verify\t1")
        return std::nullopt;
    record.verify = lines[3] == "verify\t1";
    record.filter = CopyFilter(choice.mode, choice.types, choice.rules);
    return record;
}

int AppendDurableFiles(const std::string& targetRoot, const std::vector<DurableFile>& files) {
    if (files.empty())
        return 0;
    std::string text;
    for (const DurableFile& f : files) {
        const std::string line =
            EscapeField(f.path) + "\t" + std::to_string(f.size) + "\t" + std::to_string(f.mtime);
        text += line + "\t" + Check(line) + "\n";
    }
    return Platform::AppendToFile(MarkerFile(targetRoot, kDurableListName), text);
}

std::unordered_map<std::string, DurableFile> ReadDurableFiles(const std::string& targetRoot) {
    std::unordered_map<std::string, DurableFile> files;
    std::string text;
    const std::string path = MarkerFile(targetRoot, kDurableListName);
    if (!Platform::IsFile(path) || Platform::ReadSmallFile(path, text) != 0)
        return files;
    // The last line counts only with its line end: without it, it may be cut short.
    const bool lastWhole = !text.empty() && text.back() == '\n';
    std::vector<std::string> lines = SplitLines(text);
    if (!lastWhole && !lines.empty())
        lines.pop_back();
    for (const std::string& line : lines) {
        if (std::optional<DurableFile> file = ReadDurableLine(line))
            files[file->path] = std::move(*file);
    }
    return files;
}

void DropDurableFiles(const std::string& targetRoot) {
    Platform::RemoveFile(MarkerFile(targetRoot, kDurableListName));
}

int EmptyMarker(const std::string& targetRoot) {
    const std::string marker = PathBelow(targetRoot, kIncompleteMarker);
    std::vector<Platform::Entry> entries;
    if (const int err = Platform::ListDirectory(marker, Platform::Detail::Kinds, entries))
        return err;
    int first = 0;
    // The list first and the record last: a marker without its record is never continued.
    std::vector<std::string> names;
    for (const Platform::Entry& e : entries)
        if (!e.isDirectory && e.name != kRecordName)
            names.push_back(e.name);
    for (const Platform::Entry& e : entries)
        if (e.name == kRecordName)
            names.push_back(e.name);
    for (const std::string& name : names) {
        const int err = Platform::RemoveFile(PathBelow(marker, name));
        if (err != 0 && first == 0)
            first = err;
    }
    return first;
}

}  // namespace FunSub
