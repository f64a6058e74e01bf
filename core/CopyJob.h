#pragma once

// One copy described whole: what is copied, where to, under which filter and how. The check,
// the copy with its reading back, and the command line take it as it is; the windows make one
// from the program's state at the moment the user starts.

#include <cstdint>
#include <string>
#include <vector>

#include "core/FilterRules.h"
#include "core/FunSub.h"
#include "core/StopToken.h"

namespace FunSub {

// Which files of the source a copy takes: by type, every type but the chosen ones, or only the
// chosen ones, and none that a rule leaves out. A type is the key TypeKey gives a file name
// (".c", "无扩展名", ...).
class CopyFilter {
public:
    // Leaves nothing out.
    CopyFilter() = default;
    CopyFilter(FilterKind mode, std::vector<std::string> types, FilterRules rules = {});

    FilterKind mode() const { return m_mode; }
    const std::vector<std::string>& types() const { return m_types; }
    const FilterRules& rules() const { return m_rules; }

    // Whether files of the type `key` are copied.
    bool PassesType(const std::string& key) const;
    // Whether the file `name` of `size` bytes is copied (a size below 0: not known, and no
    // limit applies).
    bool PassesFile(const std::string& name, std::int64_t size = -1) const;
    // Whether the directory `name` is copied, or left out with all it holds.
    bool PassesDirectory(const std::string& name) const;
    // The rule that leaves the directory `name` out ("dir:node_modules", "name:build*/"), or
    // empty when it is copied.
    std::string DirectoryRule(const std::string& name) const;
    // The rule that leaves the file `name` of `size` bytes out: a pattern, the size limit or
    // its type ("name:*.min.js", "size:10485760", "type:.o"); empty when it is copied.
    std::string FileRule(const std::string& name, std::int64_t size) const;

    bool operator==(const CopyFilter& other) const = default;

private:
    // The first pattern of the rules that matches `name`: one of files or, `directory`, of
    // directories; null when none does.
    const std::string* MatchingPattern(const std::string& name, bool directory) const;

    // A pattern of the rules as names compare (Platform::PathKey), made once: it is tried on
    // every file.
    struct Pattern {
        std::string key;  // without the "/" of a directory pattern
        bool directories = false;
        bool operator==(const Pattern& other) const = default;
    };

    FilterKind m_mode = FilterKind::Exclude;
    std::vector<std::string> m_types;
    FilterRules m_rules;
    std::vector<Pattern> m_patterns;  // by index, those of m_rules.namePatterns
};

// A size as the rules take it: bytes ("4096"), or a number with K, M, G or T after it, 1024
// to each step ("10M", "1.5G"; "MB" and lower case alike); -1 when the text is no size.
std::int64_t ParseSize(const std::string& text);

// The rules as words, one per rule: "dir:node_modules", "name:*.min.js", "size:10485760",
// "gitignore".
std::vector<std::string> RuleWords(const FilterRules& rules);

struct CopyPlan;

struct CopyOptions {
    // Pass over what concerns one item (a file that cannot be read, a name the target
    // refuses, a clash, a directory that cannot be listed), list it and go on. What concerns
    // the whole target (a full disk, a device gone) still ends the copy.
    bool keepGoing = false;
    // Set from another thread to stop the copy after the files in progress. Its gate, when it
    // has one, pauses the copy, its sync and its reading back between two parts of a file.
    StopToken stop = {};
    // Threads that copy files while one walks the tree and decides; 1 copies one file after
    // the other on the calling thread; 0 takes DefaultJobs().
    int jobs = 0;
    // The check's listing of the same tree, from which the copy works instead of reading
    // every directory again; null to read them as it goes.
    const CopyPlan* plan = nullptr;
    // Once the copy is on the disk, read every copied file back and compare it with its
    // source byte for byte.
    bool verify = false;
    // Once the target is made, record what it is copied from and through which filter with
    // the program's settings, for the comparison of the two later (RecordCopy). The windows
    // and the command line do; a failure to record leaves the copy as it is.
    bool record = false;
};

struct CopyJob {
    std::string workDir;     // the copy's texts show the source's files relative to it
    std::string outputDir;   // the target is made here
    std::string targetName;  // the target's name in outputDir
    CopyFilter filter;
    std::int64_t fileTotal = 0;  // the files of the source's statistics: the progress's range
    CopyOptions options;
};

// The copy the windows' state describes: WorkDir, OutputDir, TargetName, the filter dialog's
// SelectedTypes, FilterMode and SelectedRules, TreeFileTotal, KeepGoing and Verify.
CopyJob CurrentCopyJob();
// The filter the filter dialog confirmed last.
CopyFilter CurrentFilter();

}  // namespace FunSub
