#pragma once

// The program-wide state that every window reads and writes, and the shared helpers.

#include <cstdint>
#include <string>
#include <vector>

#include "core/FilterRules.h"
#include "core/Platform.h"
#include "core/QuillError.h"

namespace FunSub {

enum class FilterKind { Exclude, KeepOnly };

extern std::string AppDir;          // the executable's directory, no trailing separator
extern std::string WorkDir;         // its subdirectories are the candidate sources
extern std::string OutputDir;       // every copy makes one new directory here
extern std::string HintText;        // shown by the work/output directory dialog
extern std::string PickerTarget;    // "work", or anything else for the output directory
extern std::string SourceDir;       // full path of the chosen source, below WorkDir
extern std::string TargetName;      // the directory the next copy creates below OutputDir
extern bool SourceChanged;          // a new source waits for the main window's rebuild
extern std::int64_t TreeFileTotal;  // files in the source tree, the copy's progress range
extern std::vector<std::string> SelectedTypes;  // type keys ticked in the filter dialog
extern FilterKind FilterMode;
extern FilterRules SelectedRules;  // the rules the filter dialog confirmed
extern bool KeepGoing;  // the copy passes over items it cannot copy and lists them at the end
extern bool Verify;     // once on the disk, the copy is read back and compared with its source

// Back to the values the program starts with (tests use it between cases).
void ResetState();

inline constexpr char kSeparator = Platform::kSeparator;

// "1234567" -> "1,234,567". Only decimal texts of non-negative numbers are passed in.
std::string FormatThousands(const std::string& s);
std::string FormatThousands(std::int64_t n);
// `text` split at its line ends, CR LF or LF, which the lines do not keep.
std::vector<std::string> SplitLines(const std::string& text);
// "1,234,567" -> "1234567".
std::string StripCommas(const std::string& s);
// The characters after the last separator; empty when the path ends in one.
std::string LastPathComponent(const std::string& path);
// Lowers A-Z and leaves every other byte as it is.
std::string LowerAscii(std::string s);
// The value of the hexadecimal digit `c` (either case); -1 for anything else.
int HexDigitValue(char c);
// A name that begins with ".": such directories are left out of trees, statistics and copies.
inline bool IsDotName(const std::string& name) {
    return !name.empty() && name[0] == '.';
}

// A drive root: three characters on Windows ("C:\"), "/" on Linux.
bool IsDriveRoot(const std::string& path);
// `dir` + separator + `name`. Tree paths are built this way, so a root that keeps its
// separator gives a doubled one ("C:\\x"), as those paths are shown.
std::string JoinPath(const std::string& dir, const std::string& name);
// The path of `name` inside `dir` for use on the file system: a directory that already
// ends in a separator (a root, or a hand-edited setting) does not get a second one.
std::string PathBelow(const std::string& dir, const std::string& name);
// `path` as the windows name it from `dir`: the part below `dir`, without the separators
// that follow `dir` (so a `dir` that ends in one, and a tree path that doubles it, read
// alike), or the whole of `path` when it does not lie below `dir`.
std::string PathShownFrom(const std::string& dir, const std::string& path);

// The directory part of an executable path: everything before the last separator, or the
// root itself for a program that lies directly in a root.
std::string DirectoryOfExecutable(const std::string& exePath);

// Where work.ini lies: beside the executable, so that a program unpacked in a folder of the
// user's keeps everything together. An installed program (its files in ../share/quillmere),
// and one in a directory the user may not write that holds no work.ini they may, keep it in
// the user's configuration directory for the program instead (~/.config/quillmere), which
// the first save creates. Windows keeps it beside the executable always.
std::string SettingsDirectory();
std::string SettingsPath();  // SettingsDirectory() + separator + "work.ini"
// guide.htm beside the executable, else the installed one in ../share/quillmere; empty when
// there is neither.
std::string GuidePath();
// Reads WorkDir and OutputDir from work.ini (both empty when there is none). A file that
// exists but cannot be read raises the input/output error, keeping what was read.
void LoadSettings();
// Writes WorkDir and OutputDir to work.ini, each followed by CR LF; raises on failure.
void SaveSettings();
// Splits settings text into its first two lines: LF or CR LF end a line, a CR not
// followed by LF is dropped, a missing line is empty, later lines are ignored.
void ParseSettings(const std::string& text, std::string& first, std::string& second);

}  // namespace FunSub
