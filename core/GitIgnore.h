#pragma once

// Which files and directories of a tree git would ignore, decided as git itself decides:
// the .gitignore of every directory (for that directory and below, deeper files winning),
// the repository's info/exclude beneath them, and, when the tree lies inside a work tree,
// the .gitignore files of the work tree above the tree's root. The user's global excludes
// file is not read. Names compare exactly, as git does with core.ignorecase off.
//
// Made for a walk that goes down directory by directory: it asks Ignored() of each entry and
// calls Enter() for each directory it goes into, never going into an ignored one (nothing
// below an ignored directory can be taken back by a "!" pattern). A directory that holds a
// .git of its own is a repository of its own: the rules above it stop there, and its own
// info/exclude starts.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/Platform.h"

namespace FunSub {

class GitIgnore {
public:
    // The rules in force in one directory of the walk. Never changed once made, so the
    // threads of a walk may share one; each holds what it needs of its parents.
    class Scope;
    using ScopePtr = std::shared_ptr<const Scope>;

    // What a directory's listing says about its rules: whether it holds a .gitignore (a
    // plain file; git reads none through a symbolic link) and whether it holds a .git (a
    // directory or a file), which makes it a repository of its own.
    struct Marks {
        bool ignoreFile = false;
        bool repository = false;
    };
    static Marks MarksOf(const std::vector<Platform::Entry>& listing);

    // The decision about one path, with the pattern that made it, as `git check-ignore -v`
    // tells it. With no pattern matching, `matched` is false and the path is not ignored.
    struct Verdict {
        bool ignored = false;
        bool matched = false;  // a pattern decided, also a "!" pattern that took the path back
        std::string source;    // the full path of the file that holds the pattern
        int line = 0;          // its line there, from 1
        std::string pattern;   // the line as written, without its trailing blanks
    };

    // Gathers the rules in force at `root`: info/exclude of the repository found from `root`
    // upwards and the .gitignore files between its work tree's top and `root`, which may
    // already ignore the whole tree. Outside any repository the tree's root stands for the
    // work tree's top. Files that cannot be read count as empty.
    explicit GitIgnore(const std::string& root);

    // The rules at the tree's root (its own .gitignore included).
    const ScopePtr& Root() const { return m_root; }

    // The rules inside the directory `name` of `parent`, whose listing gave `marks`. Reads its
    // .gitignore, and its info/exclude when it is a repository.
    ScopePtr Enter(const Scope& parent, std::string_view name, Marks marks) const;

    // Whether git ignores the entry `name` of the directory of `scope`.
    bool Ignored(const Scope& scope, std::string_view name, bool isDirectory) const;

    // The decision about one path below the root ('/' between its names), read from the disk
    // along the way as a walk would: a path below an ignored directory is ignored by the
    // pattern that ignored the directory.
    Verdict Explain(std::string_view relativePath, bool isDirectory) const;

    // The directory's rules, with the listing read from the disk.
    ScopePtr EnterReading(const Scope& parent, std::string_view name) const;

private:
    Verdict Decide(const Scope& scope, std::string_view name, bool isDirectory) const;

    ScopePtr m_root;
    Verdict m_rootVerdict;  // ignored: the root lies inside a directory the work tree ignores
};

}  // namespace FunSub
