#include "core/FunSub.h"

namespace FunSub {

std::string AppDir;
std::string WorkDir;
std::string OutputDir;
std::string HintText;
std::string PickerTarget;
std::string SourceDir;
std::string TargetName;
bool SourceChanged = false;
std::int64_t TreeFileTotal = 0;
std::vector<std::string> SelectedTypes;
FilterKind FilterMode = FilterKind::KeepOnly;
FilterRules SelectedRules;
bool KeepGoing = false;
bool Verify = false;

void ResetState() {
    AppDir.clear();
    WorkDir.clear();
    OutputDir.clear();
    HintText.clear();
    PickerTarget.clear();
    SourceDir.clear();
    TargetName.clear();
    SourceChanged = false;
    TreeFileTotal = 0;
    SelectedTypes.clear();
    FilterMode = FilterKind::KeepOnly;
    SelectedRules = {};
    KeepGoing = false;
    Verify = false;
}

std::string FormatThousands(const std::string& s) {
    const std::size_t lead = s.size() % 3;
    std::string out = s.substr(0, lead);
    for (std::size_t i = lead; i < s.size(); i += 3) {
        if (!out.empty())
            out += ',';
        out.append(s, i, 3);
    }
    return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string one = text.substr(start, end - start);
        if (!one.empty() && one.back() == '\r')
            one.pop_back();
        lines.push_back(std::move(one));
        start = end + 1;
    }
    return lines;
}

std::string FormatThousands(std::int64_t n) {
    return FormatThousands(std::to_string(n));
}

std::string StripCommas(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != ',')
            out += c;
    }
    return out;
}

std::string LastPathComponent(const std::string& path) {
    const auto cut = path.find_last_of(kSeparator);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string LowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsDriveRoot(const std::string& path) {
    return Platform::IsDriveRoot(path);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    std::string out;
    out.reserve(dir.size() + 1 + name.size());
    out += dir;
    out += kSeparator;
    out += name;
    return out;
}

std::string PathBelow(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == kSeparator ? dir + name : JoinPath(dir, name);
}

std::string PathShownFrom(const std::string& dir, const std::string& path) {
    if (dir.empty() || path.size() <= dir.size() || path.compare(0, dir.size(), dir) != 0)
        return path;
    std::size_t cut = dir.size();
    if (dir.back() != kSeparator && path[cut] != kSeparator)
        return path;  // only a name that begins like dir's last one
    while (cut < path.size() && path[cut] == kSeparator) ++cut;
    return cut < path.size() ? path.substr(cut) : path;
}

std::string DirectoryOfExecutable(const std::string& exePath) {
    const auto cut = exePath.find_last_of(kSeparator);
    if (cut == std::string::npos)
        return {};
    if (cut + 1 == Platform::RootLength(exePath))
        return exePath.substr(0, cut + 1);  // a program in a root keeps the root's separator
    return exePath.substr(0, cut);
}

namespace {

// Where an installed program keeps what it brings besides its executables.
std::string InstalledDataDirectory() {
    return JoinPath(PathBelow(DirectoryOfExecutable(AppDir), "share"), "quillmere");
}

}  // namespace

std::string SettingsDirectory() {
    // A work.ini that may be written counts as room beside the program; a directory that is
    // missing altogether is for the save itself to report.
    const bool roomBeside = !Platform::IsDirectory(AppDir) || Platform::MayWrite(AppDir) ||
                            Platform::MayWrite(PathBelow(AppDir, "work.ini"));
    if (Platform::IsDirectory(InstalledDataDirectory()) || !roomBeside) {
        const std::string config = Platform::UserConfigDirectory();
        if (!config.empty())
            return PathBelow(config, "quillmere");
    }
    return AppDir;
}

std::string SettingsPath() {
    // A program in a root never gets this far, but keep the path well formed anyway.
    return PathBelow(SettingsDirectory(), "work.ini");
}

std::string GuidePath() {
    for (const std::string& dir : {AppDir, InstalledDataDirectory()}) {
        const std::string guide = PathBelow(dir, "guide.htm");
        if (Platform::IsFile(guide))
            return guide;
    }
    return {};
}

void ParseSettings(const std::string& text, std::string& first, std::string& second) {
    first.clear();
    second.clear();
    std::string* line = &first;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            if (line == &second)
                return;
            line = &second;
        } else if (c != '\r') {
            *line += c;
        }
    }
}

void LoadSettings() {
    WorkDir.clear();
    OutputDir.clear();
    const std::string path = SettingsPath();
    if (!Platform::IsFile(path))
        return;
    std::string bytes;
    const int err = Platform::ReadSmallFile(path, bytes);
    ParseSettings(Platform::FromSettingsEncoding(bytes), WorkDir, OutputDir);
    if (err != 0)
        RaiseIoError(err);
}

void SaveSettings() {
    const std::string dir = SettingsDirectory();
    // The program's own directory must exist already; the user's one is made on first save.
    if (dir != AppDir) {
        if (int err = Platform::CreateDirectories(dir))
            RaiseIoError(err);
    }
    const std::string text = WorkDir + "\r\n" + OutputDir + "\r\n";
    if (int err = Platform::ReplaceSmallFile(PathBelow(dir, "work.ini"),
                                             Platform::ToSettingsEncoding(text))) {
        RaiseIoError(err);
    }
}

}  // namespace FunSub
