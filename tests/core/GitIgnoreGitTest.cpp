// The matcher against git itself: random trees with random .gitignore files, each decided by
// `git ls-files` and `git check-ignore` and by a walk over the matcher.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "core/GitIgnore.h"
#include "support/CliRun.h"
#include "support/TempTree.h"

using namespace FunSub;

namespace {

// Names that the patterns below can hit in many ways: dots, digits, case, blanks and the
// characters that patterns escape.
const std::vector<std::string> kNames = {
    "a",   "b",   "ab", "a.o", "b.o", "x.txt", "A",   "c1", "c2", "doc",  "lib", "lib.a",
    "foo", "bar", "#h", "!n",  "s p", "t ",    "d-1", "e]", "q*", "w\\v", "-",   "lx",
};
const std::vector<std::string> kSegments = {
    "a",    "b",     "ab",   "*",    "*.o",    "a*",   "?b",     "[ab]",  "[!a]*", "[a-c]*",
    "**",   "doc",   "lib*", "foo",  "\\#h",   "\\!n", "s p",    "t\\ ",  "c?",    "[[:digit:]]",
    "A",    "x.*",   "[^b]", "**a",  "*o*",    "a**",  "l**",    "*[12]", "d-?",   "[[:alpha:]]?",
    "[a-]", "[]e]*", "e\\]", "q\\*", "w\\\\v", "*\\ ", "[[:x]*",
};

template <typename T>
const T& Pick(std::mt19937& random, const std::vector<T>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

bool Chance(std::mt19937& random, int percent) {
    return std::uniform_int_distribution<int>(0, 99)(random) < percent;
}

std::string RandomPattern(std::mt19937& random) {
    std::string p = Chance(random, 25) ? "!" : "";
    if (Chance(random, 20))
        p += "/";
    const int segments = Chance(random, 60) ? 1 : (Chance(random, 70) ? 2 : 3);
    for (int i = 0; i < segments; ++i) p += (i ? "/" : "") + Pick(random, kSegments);
    if (Chance(random, 20))
        p += "/";
    if (Chance(random, 10))
        p += "  ";
    return p;
}

std::string RandomIgnoreFile(std::mt19937& random) {
    std::string content = Chance(random, 20) ? "# made\n\n" : "";
    const int n = std::uniform_int_distribution<int>(1, 6)(random);
    for (int i = 0; i < n; ++i)
        content += RandomPattern(random) + (Chance(random, 10) ? "\r\n" : "\n");
    return content;
}

// Directories (each with files, so that git's listing shows what became of it) and
// .gitignore files below `dir`, `depth` levels at most.
void RandomTree(std::mt19937& random, const TempTree& t, const std::string& dir, int depth,
                std::vector<std::string>& paths) {
    if (Chance(random, 50))
        t.file(dir + "/.gitignore", RandomIgnoreFile(random));
    std::set<std::string> used;
    const int files = std::uniform_int_distribution<int>(1, 5)(random);
    for (int i = 0; i < files; ++i) used.insert(Pick(random, kNames));
    for (const auto& name : used) {
        t.file(dir + "/" + name, "x");
        paths.push_back(dir + "/" + name);
    }
    const int dirs = depth ? std::uniform_int_distribution<int>(1, 3)(random) : 0;
    for (int i = 0; i < dirs; ++i) {
        const std::string name = Pick(random, kNames);
        if (!used.insert(name).second)
            continue;
        paths.push_back(dir + "/" + name + "/");
        RandomTree(random, t, dir + "/" + name, depth - 1, paths);
    }
}

// The files of the walk that the matcher keeps, below `prefix` (relative to the work tree).
void Walk(const GitIgnore& rules, const GitIgnore::Scope& scope, const std::string& full,
          const std::string& prefix, std::set<std::string>& kept) {
    std::vector<Platform::Entry> listing;
    ASSERT_EQ(Platform::ListDirectory(full, Platform::Detail::Kinds, listing), 0);
    for (const auto& e : listing) {
        if (e.name == ".git" || rules.Ignored(scope, e.name, e.isDirectory))
            continue;
        if (!e.isDirectory) {
            kept.insert(prefix + e.name);
            continue;
        }
        std::vector<Platform::Entry> inner;
        Platform::ListDirectory(full + "/" + e.name, Platform::Detail::Kinds, inner);
        const auto child = rules.Enter(scope, e.name, GitIgnore::MarksOf(inner));
        Walk(rules, *child, full + "/" + e.name, prefix + e.name + "/", kept);
    }
}

std::vector<std::string> SplitNul(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\0', at);
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

const std::string kGitEnvironment =
    "HOME=/nonexistent XDG_CONFIG_HOME=/nonexistent GIT_CONFIG_NOSYSTEM=1 "
    "GIT_CONFIG_GLOBAL=/dev/null ";

bool HaveGit() {
    return std::system("git --version >/dev/null 2>&1") == 0;
}

}  // namespace

namespace {

struct Tally {
    int cases = 0;
    int agreed = 0;
    void Count(bool same) {
        ++cases;
        agreed += same;
    }
};

// One random work tree, and the tree within it that the matcher is built for.
struct Generated {
    std::string top;                 // the work tree's top
    std::string below;               // the tree's root below it, "" or ending in "/"
    std::vector<std::string> paths;  // below the tree's root; directories end in "/"
};

// A repository as git finds one (no `git init`, which would cost a process per tree), with
// random trees and rules in it.
Generated MakeRepository(std::mt19937& random, const TempTree& t, const std::string& name) {
    std::vector<std::string> made;
    RandomTree(random, t, name, 3, made);
    t.file(name + "/.git/HEAD", "ref: refs/heads/master\n");
    t.dir(name + "/.git/objects");
    t.dir(name + "/.git/refs");
    t.file(name + "/.git/info/exclude", RandomIgnoreFile(random));
    Generated g;
    g.top = Platform::CanonicalPath(t.path(name));
    // Sometimes the tree is one directory of the work tree, under the rules above it.
    const std::size_t cut = name.size() + 1;
    for (const auto& p : made) {
        if (g.below.empty() && p.back() == '/' && Chance(random, 30))
            g.below = p.substr(cut);
    }
    for (const auto& p : made) {
        if (p.compare(cut, g.below.size(), g.below) == 0 && p.size() > cut + g.below.size())
            g.paths.push_back(p.substr(cut + g.below.size()));
    }
    return g;
}

// What `git check-ignore -v` said of each path, by its path below the work tree's top.
std::map<std::string, GitIgnore::Verdict> ReadCheckIgnore(const std::string& top,
                                                          const std::string& output) {
    const auto fields = SplitNul(output);
    std::map<std::string, GitIgnore::Verdict> out;
    for (std::size_t i = 0; i + 3 < fields.size(); i += 4) {
        GitIgnore::Verdict& v = out[fields[i + 3]];
        v.matched = !fields[i].empty();
        if (!v.matched)
            continue;
        v.source = top + "/" + fields[i];
        v.line = std::atoi(fields[i + 1].c_str());
        v.pattern = fields[i + 2];
        v.ignored = v.pattern[0] != '!';
    }
    return out;
}

// The tree decided by the matcher against git's `ls-files` (which files a walk keeps) and
// `check-ignore` (for every file and directory, the pattern that decided).
void Compare(const Generated& g, const std::string& listed, const std::string& checked,
             Tally& tally) {
    std::set<std::string> byGit, byMatcher;
    for (const auto& f : SplitNul(listed)) {
        if (f.rfind(g.below, 0) == 0)
            byGit.insert(f.substr(g.below.size()));
    }
    const GitIgnore rules(g.top + "/" + g.below);
    Walk(rules, *rules.Root(), g.top + "/" + g.below, "", byMatcher);
    EXPECT_EQ(byGit, byMatcher) << g.top << ", below " << g.below;
    const auto told = ReadCheckIgnore(g.top, checked);
    for (const auto& path : g.paths) {
        const bool isDir = path.back() == '/';
        const std::string asked = g.below + (isDir ? path.substr(0, path.size() - 1) : path);
        const auto mine = rules.Explain(path, isDir);
        const auto found = told.find(asked);
        ASSERT_NE(found, told.end()) << asked;
        const auto& git = found->second;
        const bool same = mine.matched == git.matched && mine.ignored == git.ignored &&
                          mine.source == git.source && mine.line == git.line &&
                          mine.pattern == git.pattern;
        tally.Count(same && (isDir || byGit.count(path) == byMatcher.count(path)));
        EXPECT_TRUE(same) << asked << ": git " << git.source << ":" << git.line << ":"
                          << git.pattern << ", matcher " << mine.source << ":" << mine.line << ":"
                          << mine.pattern;
    }
}

}  // namespace

TEST(GitIgnoreGitTest, RandomTreesAreDecidedAsGitDecidesThem) {
    if (!HaveGit())
        GTEST_SKIP() << "git is not installed: the comparison with git is skipped";
    std::mt19937 random(20261209);
    TempTree t;
    std::vector<Generated> trees;
    // One shell for all of git's answers.
    std::string script;
    for (int i = 0; i < 56; ++i) {
        const std::string name = "r" + std::to_string(i);
        trees.push_back(MakeRepository(random, t, name));
        std::string input;
        for (const auto& p : trees.back().paths)
            input += trees.back().below + p.substr(0, p.find_last_not_of('/') + 1) + '\0';
        t.file(name + ".in", input);
        const std::string top = Quote(trees.back().top), out = Quote(t.path(name));
        script += "cd " + top + " && git ls-files -z -co --exclude-standard >" + out +
                  ".ls && { git check-ignore --no-index -v -n -z --stdin <" + out + ".in >" + out +
                  ".ci; [ $? -le 1 ]; } || exit 1\n";
    }
    t.file("git.sh", script);
    ASSERT_EQ(std::system((kGitEnvironment + "sh " + Quote(t.path("git.sh"))).c_str()), 0);
    Tally tally;
    for (std::size_t i = 0; i < trees.size(); ++i) {
        const std::string name = "r" + std::to_string(i);
        Compare(trees[i], ReadFile(t.path(name + ".ls")), ReadFile(t.path(name + ".ci")), tally);
    }
    std::printf("%d of %d generated paths decided as git decides them\n", tally.agreed,
                tally.cases);
    EXPECT_GE(tally.cases, 500);
    EXPECT_EQ(tally.agreed, tally.cases);
}

TEST(GitIgnoreGitTest, AnIgnoreFileThatIsALinkIsNotRead) {
    TempTree t;
    t.file("tree/real", "a\n");
    t.file("tree/s/a");
    std::filesystem::create_symlink("../real", FsPath(t.path("tree/s/.gitignore")));
    std::vector<Platform::Entry> listing;
    ASSERT_EQ(Platform::ListDirectory(t.path("tree/s"), Platform::Detail::Kinds, listing), 0);
    EXPECT_FALSE(GitIgnore::MarksOf(listing).ignoreFile);
    const GitIgnore rules(t.path("tree"));
    EXPECT_FALSE(rules.Explain("s/a", false).matched);
    std::filesystem::remove(FsPath(t.path("tree/s/.gitignore")));
    std::filesystem::copy_file(FsPath(t.path("tree/real")), FsPath(t.path("tree/s/.gitignore")));
    listing.clear();
    ASSERT_EQ(Platform::ListDirectory(t.path("tree/s"), Platform::Detail::Kinds, listing), 0);
    EXPECT_TRUE(GitIgnore::MarksOf(listing).ignoreFile);
    EXPECT_TRUE(rules.Explain("s/a", false).ignored);
}
