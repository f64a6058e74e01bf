#pragma once

// A filter applied to one source tree: which of its directories are left out with all they
// hold, and which files of each directory are copied. Where the filter follows git's ignore
// rules, the rules in force in each directory are gathered once, from the root down; the
// check's threads may then ask about any directory at once.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/CopyJob.h"
#include "core/DirTree.h"
#include "core/GitIgnore.h"
#include "core/Platform.h"

namespace FunSub {

class TreeFilter {
public:
    // `files`, when given, holds by node the entries that are not directories, as ScanTree
    // reads them (it tells which directories hold a .gitignore); without it, a directory's
    // rules are read from the disk.
    TreeFilter(const DirTree& tree, CopyFilter filter,
               const std::vector<std::vector<Platform::Entry>>* files = nullptr);

    const CopyFilter& filter() const { return m_filter; }
    // The number of the tree's nodes.
    std::size_t size() const { return m_dirRule.size(); }
    // Whether the directory of `node` is left out, by its own name or one above it.
    bool LeftOut(std::size_t node) const { return !m_dirRule[node].empty(); }
    // The directories that are not left out, the root included.
    std::int64_t DirectoriesKept() const;
    // Whether the entry `e` of the directory of `node` is copied.
    bool PassesFile(std::size_t node, const Platform::Entry& e) const;
    // The rule that leaves the directory of `node` out ("dir:bin", "gitignore:.gitignore"),
    // its own or one above it; empty when it is copied.
    const std::string& DirectoryRule(std::size_t node) const { return m_dirRule[node]; }
    // The rule that leaves the entry `e` of the directory of `node` out, its directory's
    // first; empty when it is copied.
    std::string FileRule(std::size_t node, const Platform::Entry& e) const;

private:
    // The word of the git rule that ignores `name` (a directory when `isDirectory`) in the
    // directory of `node`: "gitignore:" and the file that holds the pattern.
    std::string GitRule(std::size_t node, const std::string& name, bool isDirectory) const;

    const CopyFilter m_filter;
    std::vector<std::string> m_dirRule;         // by node
    std::unique_ptr<GitIgnore> m_git;           // when the filter follows git's rules
    std::vector<GitIgnore::ScopePtr> m_scopes;  // by node; null where left out
    std::vector<std::string> m_paths;           // by node, with git's rules
};

// What a filter does to a tree read whole: what its rules leave out (the directories, and the
// files beneath them or left out by name, size or git's rules, each counted once) and what the
// copy takes, types and rules together.
struct FilterEffect {
    std::int64_t ruleDirectories = 0;
    std::int64_t ruleFiles = 0;
    std::int64_t ruleBytes = 0;
    std::int64_t copiedFiles = 0;
    std::int64_t copiedBytes = 0;
};

// `files` holds, by node index, the entries of each directory that are not directories, as
// ScanTree reads them.
FilterEffect MeasureFilter(const DirTree& tree,
                           const std::vector<std::vector<Platform::Entry>>& files,
                           const CopyFilter& filter);
// The same with `rulesAlone`, a TreeFilter of RulesAlone(filter) on the tree, made once by the
// caller for other questions too (PassesWithRules).
FilterEffect MeasureFilter(const TreeFilter& rulesAlone,
                           const std::vector<std::vector<Platform::Entry>>& files,
                           const CopyFilter& filter);

// `filter` without its types: the rules alone, every type passing.
CopyFilter RulesAlone(const CopyFilter& filter);
// Whether `filter` copies the entry `e` of the directory of `node`, as a TreeFilter of the
// whole filter says, with `rulesAlone` a TreeFilter of RulesAlone(filter) on the same tree.
bool PassesWithRules(const TreeFilter& rulesAlone, const CopyFilter& filter, std::size_t node,
                     const Platform::Entry& e);

// What one rule of a filter leaves out of a tree.
struct RuleTally {
    std::string rule;  // as FileRule and DirectoryRule name it
    std::int64_t directories = 0;
    std::int64_t files = 0;
    std::int64_t bytes = 0;
};

// What each rule of `filter` leaves out of a tree read whole (`files` as for MeasureFilter):
// every rule of the filter, also one that leaves nothing out, then the types left out and the
// ignore files that left something out, in the order met. Each directory and file counts for
// the rule that leaves it out first: a directory's rule for everything beneath it, then a
// pattern, the size limit, git's rules, the type.
std::vector<RuleTally> LeftOutByRule(const DirTree& tree,
                                     const std::vector<std::vector<Platform::Entry>>& files,
                                     const CopyFilter& filter);

// Why a copy of `source` under `filter` leaves out the entry `relative` below it (names
// separated by "/" or the platform's separator): the rule that does, a directory above it
// first ("dot-directory" for one whose name begins with ".", which no copy takes), or empty
// when it is copied. Raises the input/output error when the entry is not there.
std::string WhyLeftOut(const std::string& source, const std::string& relative,
                       const CopyFilter& filter);

}  // namespace FunSub
