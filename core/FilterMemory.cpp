#include "core/FilterMemory.h"

#include <string_view>

#include "core/FunSub.h"
#include "core/Platform.h"

namespace FunSub {

namespace {

constexpr const char* kExcludeWord = "exclude";
constexpr const char* kKeepOnlyWord = "keep-only";

}  // namespace

std::string EscapeField(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '%' || c < 0x20 || c == 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

bool UnescapeField(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = HexDigitValue(text[i + 1]);
        const int low = HexDigitValue(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

namespace {

struct Line {
    std::string source;
    FilterChoice choice;
};

constexpr std::string_view kDirRule = "dir:", kNameRule = "name:", kSizeRule = "size:",
                           kGitRule = "gitignore";

// Adds the rule `text` (a rule field without its leading NUL) to `rules`; false when it is no
// rule this program knows.
bool ReadRule(const std::string& text, FilterRules& rules) {
    const std::string_view t(text);
    if (t.starts_with(kDirRule) && t.size() > kDirRule.size()) {
        rules.directoryNames.emplace_back(t.substr(kDirRule.size()));
    } else if (t.starts_with(kNameRule) && t.size() > kNameRule.size()) {
        rules.namePatterns.emplace_back(t.substr(kNameRule.size()));
    } else if (t == kGitRule) {
        rules.gitignore = true;
    } else if (t.starts_with(kSizeRule)) {
        const std::string digits(t.substr(kSizeRule.size()));
        if (digits.empty() || digits.size() > 18 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        rules.sizeLimit = std::stoll(digits);
    } else {
        return false;
    }
    return true;
}

// The rules as fields: each of RuleWords behind a NUL, which no type begins with.
std::string RuleFields(const FilterRules& rules) {
    std::string out;
    for (const std::string& word : RuleWords(rules)) out += '\t' + EscapeField('\0' + word);
    return out;
}

std::optional<Line> ParseLine(const std::string& text) {
    std::vector<std::string> fields{std::string()};
    for (const char c : text) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (fields.size() < 2)
        return std::nullopt;
    Line line;
    if (fields[0] == kExcludeWord)
        line.choice.mode = FilterKind::Exclude;
    else if (fields[0] == kKeepOnlyWord)
        line.choice.mode = FilterKind::KeepOnly;
    else
        return std::nullopt;
    if (!UnescapeField(fields[1], line.source) || line.source.empty())
        return std::nullopt;
    for (std::size_t i = 2; i < fields.size(); ++i) {
        std::string type;
        if (!UnescapeField(fields[i], type))
            return std::nullopt;
        if (type.empty() || type[0] != '\0')
            line.choice.types.push_back(std::move(type));
        else if (!ReadRule(type.substr(1), line.choice.rules))
            return std::nullopt;
    }
    return line;
}

std::string LineText(const std::string& source, const FilterChoice& choice) {
    std::string text = choice.mode == FilterKind::KeepOnly ? kKeepOnlyWord : kExcludeWord;
    text += '\t' + EscapeField(source);
    for (const std::string& type : choice.types) text += '\t' + EscapeField(type);
    return text + RuleFields(choice.rules) + "\r\n";
}

// One directory however its path is written: a doubled separator (a working directory that
// ends in one) or a trailing one says the same, and Windows takes letters in either case.
std::string SourceKey(const std::string& path) {
    std::string key;
    for (const char c : path) {
        if (c == kSeparator && !key.empty() && key.back() == kSeparator)
            continue;
        key += c;
    }
    if (key.size() > 1 && key.back() == kSeparator)
        key.pop_back();
    return Platform::PathKey(std::move(key));
}

// The lines of the text file `path`, without their line ends; none when there is no file or
// it cannot be read.
std::vector<std::string> TextLines(const std::string& path) {
    std::string bytes;
    if (!Platform::IsFile(path) || Platform::ReadSmallFile(path, bytes) != 0)
        return {};
    return SplitLines(Platform::FromSettingsEncoding(bytes));
}

// The lines of filters.ini that read well, in their order.
std::vector<Line> ReadLines() {
    std::vector<Line> lines;
    for (const std::string& text : TextLines(FilterMemoryPath())) {
        if (std::optional<Line> line = ParseLine(text))
            lines.push_back(std::move(*line));
    }
    return lines;
}

// The settings directory, made where it is the user's own; false when it cannot be.
bool MakeSettingsDirectory() {
    const std::string dir = SettingsDirectory();
    return dir == AppDir || Platform::CreateDirectories(dir) == 0;
}

constexpr const char* kFromWord = "from\t";
constexpr const char* kIdWord = "id\t";

std::string IdText(const Platform::FileId& id) {
    return std::to_string(id.device) + "\t" + std::to_string(id.inode);
}

// The record in the file `path`, and the target it is for; none when it does not read well.
std::optional<std::pair<std::string, CopyOrigin>> ReadRecord(const std::string& path,
                                                             std::string& idText) {
    const std::vector<std::string> lines = TextLines(path);
    if (lines.size() < 3 || !lines[1].starts_with(kFromWord) || !lines[2].starts_with(kIdWord))
        return std::nullopt;
    std::optional<Line> line = ParseLine(lines[0]);
    CopyOrigin record;
    if (!line || !UnescapeField(lines[1].substr(std::string_view(kFromWord).size()), record.source))
        return std::nullopt;
    record.filter = std::move(line->choice);
    idText = lines[2].substr(std::string_view(kIdWord).size());
    return std::make_pair(std::move(line->source), std::move(record));
}

// Whether the directory `target` still has the identity written as `idText`.
bool StillTheTarget(const std::string& target, const std::string& idText) {
    Platform::FileId id;
    return Platform::PathIdentity(target, id) == 0 && IdText(id) == idText;
}

// The file of the record for `target`: a hash of its path as the platform compares paths.
std::string RecordPath(const std::string& target) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : SourceKey(target)) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string name(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) name[static_cast<std::size_t>(i)] = kHex[hash & 0xF];
    return PathBelow(CopyRecordDirectory(), name + ".txt");
}

// `path` as the system names it, where it can be found.
std::string Resolved(const std::string& path) {
    std::string canonical = Platform::CanonicalPath(path);
    return canonical.empty() ? path : canonical;
}

// Removes the records whose targets are gone or are other directories now. A target whose
// output directory cannot be reached (a USB stick that is not plugged in) keeps its record.
void DropStaleRecords() {
    std::vector<Platform::Entry> entries;
    if (Platform::ListDirectory(CopyRecordDirectory(), Platform::Detail::Kinds, entries) != 0)
        return;
    for (const Platform::Entry& e : entries) {
        const std::string path = PathBelow(CopyRecordDirectory(), e.name);
        std::string idText;
        const auto record = e.isDirectory ? std::nullopt : ReadRecord(path, idText);
        if (record && Platform::IsDirectory(DirectoryOfExecutable(record->first)) &&
            !StillTheTarget(record->first, idText))
            Platform::RemoveFile(path);
    }
}

}  // namespace

std::string FilterChoiceLine(const std::string& source, const FilterChoice& choice) {
    return LineText(source, choice);
}

bool ReadFilterChoiceLine(std::string line, std::string& source, FilterChoice& choice) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::optional<Line> read = ParseLine(line);
    if (!read)
        return false;
    source = std::move(read->source);
    choice = std::move(read->choice);
    return true;
}

std::string FilterMemoryPath() {
    return PathBelow(SettingsDirectory(), "filters.ini");
}

std::optional<FilterChoice> LastFilterChoice(const std::string& source) {
    for (Line& line : ReadLines()) {
        if (SameDirectory(line.source, source))
            return std::move(line.choice);
    }
    return std::nullopt;
}

bool RememberFilterChoice(const std::string& source, const FilterChoice& choice) {
    std::string text = LineText(source, choice);
    std::size_t kept = 1;
    for (const Line& line : ReadLines()) {
        if (kept == kRememberedSources)
            break;
        if (SameDirectory(line.source, source))
            continue;
        text += LineText(line.source, line.choice);
        ++kept;
    }
    return MakeSettingsDirectory() &&
           Platform::ReplaceSmallFile(FilterMemoryPath(), Platform::ToSettingsEncoding(text)) == 0;
}

std::string CopyRecordDirectory() {
    return PathBelow(SettingsDirectory(), "copies");
}

bool RecordCopy(const std::string& targetDir, const Platform::FileId& id, const std::string& source,
                const CopyFilter& filter) {
    const std::string target = Resolved(targetDir);
    if (!MakeSettingsDirectory() || Platform::CreateDirectories(CopyRecordDirectory()) != 0)
        return false;
    DropStaleRecords();
    const FilterChoice choice{filter.mode(), filter.types(), filter.rules()};
    const std::string text = LineText(target, choice) + kFromWord + EscapeField(Resolved(source)) +
                             "\r\n" + kIdWord + IdText(id) + "\r\n";
    return Platform::ReplaceSmallFile(RecordPath(target), Platform::ToSettingsEncoding(text)) == 0;
}

std::optional<CopyOrigin> RecordedCopy(const std::string& targetDir) {
    const std::string target = Resolved(targetDir);
    std::string idText;
    auto record = ReadRecord(RecordPath(target), idText);
    if (!record || !SameDirectory(record->first, target) || !StillTheTarget(target, idText))
        return std::nullopt;
    return std::move(record->second);
}

bool SameDirectory(const std::string& a, const std::string& b) {
    return SourceKey(a) == SourceKey(b);
}

}  // namespace FunSub
