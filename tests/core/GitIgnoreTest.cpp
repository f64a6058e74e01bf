#include "core/GitIgnore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/TreeScan.h"
#include "support/TempTree.h"

using namespace FunSub;

namespace {

// One expectation: "+path" is ignored, "-path" is kept; a trailing "/" makes it a directory.
// The directories on the way are made on the disk, so that their .gitignore files are read.
void ExpectDecisions(const TempTree& t, const std::string& root,
                     const std::vector<std::string>& checks, const std::string& context) {
    t.dir(root);
    const GitIgnore rules(t.path(root));
    for (const std::string& check : checks) {
        std::string path = check.substr(1);
        const bool isDir = path.back() == '/';
        if (isDir)
            path.pop_back();
        const std::size_t cut = path.rfind('/');
        if (cut != std::string::npos)
            t.dir(root + "/" + path.substr(0, cut));
        EXPECT_EQ(rules.Explain(path, isDir).ignored, check[0] == '+') << context << ": " << check;
    }
}

struct PatternCase {
    const char* ignoreFile;
    std::vector<std::string> checks;
};

void ExpectPatterns(const std::vector<PatternCase>& cases) {
    for (const auto& c : cases) {
        TempTree t;
        t.file("tree/.gitignore", c.ignoreFile);
        ExpectDecisions(t, "tree", c.checks, c.ignoreFile);
    }
}

}  // namespace

TEST(GitIgnoreTest, LinesAreReadAsGitReadsThem) {
    ExpectPatterns({
        {"\n# a\n  \n", {"-a", "-#", "-# a"}},
        {"\\#h\n\\!b\n", {"+#h", "+!b", "-h", "-b"}},
        {"trail  \nesc\\ \nboth\\ \\  \npair\\\\  \n",
         {"+trail", "-trail ", "+esc ", "-esc", "+both  ", "-both", "+pair\\", "-pair\\ "}},
        {"tab\t\n", {"+tab\t", "-tab"}},
        {"crlf\r\nsp \r\n", {"+crlf", "-crlf\r", "+sp"}},
        {"\xEF\xBB\xBF"
         "bom\n",
         {"+bom"}},
        {"back\\\n", {"-back", "-back\\"}},
        {"!\n/\n!/\n", {"-a", "-a/"}},
    });
}

TEST(GitIgnoreTest, SlashesAnchorAndMarkDirectories) {
    ExpectPatterns({
        {"name\n", {"+name", "+a/name", "+a/b/name/", "-names", "-a/xname"}},
        {"/top\n", {"+top", "+top/", "-a/top", "-a/top/"}},
        {"doc/frotz\n", {"+doc/frotz", "+doc/frotz/", "-a/doc/frotz", "-frotz"}},
        {"dir/\n", {"+dir/", "+a/dir/", "-dir", "-a/dir"}},
        {"/a/b/\n", {"+a/b/", "-a/b", "-x/a/b/"}},
        {"two//\n", {"-two", "-two/"}},
        {"a/*\n", {"+a/x", "+a/y/", "+a/y/z", "-a", "-b/a/x"}},
    });
}

TEST(GitIgnoreTest, WildcardsAndBracketsMatchWithinOneName) {
    ExpectPatterns({
        {"*.o\n", {"+x.o", "+a/b.o", "+.o", "-x.c", "-x.o.c"}},
        {"lib*\n", {"+lib", "+libx.a", "+a/lib.d/", "-xlib"}},
        {"a?c\n", {"+abc", "+a.c", "-ac", "-abbc"}},
        {"*.py[cod]\n", {"+x.pyc", "+.pyo", "-x.py", "-x.pycc", "-y.pye"}},
        {"x*y\nx?z\n", {"+xy", "+x.y", "-x/y", "-x/z", "+xaz"}},
        {"x[/]y\nu[!a]v\n", {"-x/y", "-u/v", "+ubv", "-uav"}},
        {"[a-c]1\n[!a]2\n[^a]3\n", {"+b1", "-d1", "+b2", "-a2", "+c3", "-a3"}},
        {"[]a]1\n[a-]2\n[--0]3\n[a-c-e]4\n", {"+]1", "+a1", "+-2", "+.3", "+-4", "+e4", "-d4"}},
        {"[\\]]1\n[a\\-c]2\n[\\\\]3\n", {"+]1", "+-2", "-b2", "+\\3"}},
        {"[[:digit:]]1\n[[:alpha:][:space:]]2\n[[:upper:]]3\n",
         {"+71", "-a1", "+ 2", "-32", "-a3"}},
        {"[[:bogus:]]1\n[a[:bogus:]]2\n[abc\n", {"-a1", "-a2", "-a", "-[abc"}},
        {"[[:x]1\n[[:]]2\n", {"+[1", "+x1", "-:1", "+[]2", "-:]2"}},
        {"\\*\n\\a\n", {"+*", "-b", "+a"}},
        {"Case\n", {"+Case", "-case", "-CASE"}},
    });
}

TEST(GitIgnoreTest, TwoStarsSpanDirectories) {
    ExpectPatterns({
        {"**/foo\n", {"+foo", "+a/foo", "+a/b/foo/"}},
        {"**/foo/bar\n", {"+foo/bar", "+a/foo/bar", "-foo/x/bar"}},
        {"abc/**\n", {"-abc", "-abc/", "+abc/x", "+abc/x/y", "-x/abc/y"}},
        {"a/**/b\n", {"+a/b", "+a/x/b", "+a/x/y/b", "-a/xb", "-b"}},
        {"d/**x\n", {"+d/x", "+d/ax", "-d/y/x"}},
        {"star**s\n**a\n", {"+starXs", "-star/s", "+ba"}},
        {"l**/m\n", {"+lm", "+l/m", "+lx/y/m"}},
        {"x/l**/m\n", {"+x/lm", "+x/l/m", "+x/lq/r/m"}},
        {"[!a]*/l**/m\ne\\]l**/m\n", {"-x/lm", "+x/l/m", "-x/lq/r/m", "-e]lm", "+e]l/m"}},
        {"***/x\nq/***\n", {"+y/z/x", "+q/a/b", "-q"}},
        {"**/**\n", {"+a", "+d/b/"}},
        {"a**/**\n", {"+a", "+ab", "+a/x", "-b"}},
        {"a/*/**\n", {"-a/b", "-a/b/", "+a/b/c", "+a/b/c/d/", "-x/a/b/c"}},
    });
}

TEST(GitIgnoreTest, LaterAndDeeperPatternsWinButNeverInsideAnIgnoredDirectory) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::string> checks;
    };
    const std::vector<Case> cases = {
        {{{".gitignore", "*.log\n!keep.log\n"}}, {"+a.log", "-keep.log", "+x/a.log"}},
        {{{".gitignore", "!keep.log\n*.log\n"}}, {"+keep.log"}},
        {{{".gitignore", "*.log\n"}, {"sub/.gitignore", "!*.log\n"}},
         {"+a.log", "-sub/a.log", "-sub/x/a.log"}},
        {{{".gitignore", "!*.log\n"}, {"sub/.gitignore", "*.log\n"}}, {"-a.log", "+sub/a.log"}},
        {{{".gitignore", "/x\n"}, {"sub/.gitignore", "/y\nz/w\n"}},
         {"+x", "-sub/x", "-y", "+sub/y", "-sub/a/y", "+sub/z/w", "-z/w"}},
        {{{".gitignore", "build/\n!build/keep\n"}}, {"+build/", "+build/keep", "+build/a/b"}},
        {{{".gitignore", "/*\n!/foo\n/foo/*\n!/foo/bar\n"}},
         {"+a", "-foo/", "+foo/x", "-foo/bar/", "-foo/bar/y"}},
        {{{".gitignore", "*\n!*/\n!*.c\n"}}, {"+a.h", "-a.c", "-d/", "-d/e/f.c", "+d/e/f.h"}},
        {{{".git/info/exclude", "*.o\nlocal\n"}, {".gitignore", "!*.o\n"}},
         {"-a.o", "+local", "+d/local"}},
    };
    for (const auto& c : cases) {
        TempTree t;
        t.dir("tree/.git");
        for (const auto& [name, content] : c.files) t.file("tree/" + name, content);
        ExpectDecisions(t, "tree", c.checks, c.files.front().second);
    }
}

TEST(GitIgnoreTest, TreeInsideAWorkTreeTakesTheRulesAbove) {
    TempTree t;
    t.dir("repo/.git/info");
    t.file("repo/.git/info/exclude", "*.x\n");
    t.file("repo/.gitignore", "/top\n*.tmp\nsrc/gen/\n");
    t.file("repo/src/.gitignore", "/local\n!keep.tmp\n");
    t.dir("repo/src/app");
    ExpectDecisions(t, "repo/src/app", {"+a.x", "+a.tmp", "-keep.tmp", "-top", "-local", "-gen/"},
                    "below the top");
    ExpectDecisions(t, "repo/src", {"+local", "-app/local", "+gen/", "+gen/x"}, "src");
    // The root itself lies inside an ignored directory: everything in it is ignored.
    ExpectDecisions(t, "repo/src/gen/deep", {"+a", "+b/"}, "ignored root");
    const GitIgnore inside(t.path("repo/src/gen/deep"));
    const auto v = inside.Explain("a", false);
    EXPECT_EQ(v.pattern, "src/gen/");
    EXPECT_EQ(v.line, 3);
    EXPECT_TRUE(inside.Ignored(*inside.Root(), "any", false));
}

TEST(GitIgnoreTest, LinkedWorkTreeReadsTheSharedExcludeFile) {
    TempTree t;
    t.file("main/.git/info/exclude", "shared\n");
    t.file("main/.git/worktrees/w/commondir", "../..\n");
    t.file("w/.git", "gitdir: ../main/.git/worktrees/w\n");
    t.dir("w/d");
    ExpectDecisions(t, "w/d", {"+shared", "-other"}, "linked work tree");
    ExpectDecisions(t, "w", {"+d/shared"}, "linked work tree top");
    const std::string exclude = Platform::CanonicalPath(t.path("main/.git/info/exclude"));
    EXPECT_EQ(GitIgnore(t.path("w")).Explain("shared", false).source, exclude);
    // A .git file that names no directory gives no exclude file, and no failure.
    t.file("w/.git", "gitdir:\n");
    ExpectDecisions(t, "w", {"-shared"}, "unnamed directory");
}

TEST(GitIgnoreTest, ANestedRepositoryHasRulesOfItsOwn) {
    TempTree t;
    t.file("outer/.git/info/exclude", "a\n");
    t.file("outer/.gitignore", "b\ninner2/\n");
    t.file("outer/inner/.git/info/exclude", "z\n");
    t.file("outer/inner/.gitignore", "c\n");
    t.file("outer/inner2/.git", "gitdir: elsewhere\n");
    ExpectDecisions(t, "outer",
                    {"+a", "+b", "-z", "-inner/a", "-inner/b", "+inner/z", "+inner/c", "+inner2/"},
                    "nested");
}

TEST(GitIgnoreTest, ExplainTellsWhichFileAndLineDecided) {
    TempTree t;
    t.file("tree/.gitignore", "# objects\n*.o   \n!keep.o\nout/\n");
    t.file("tree/sub/.gitignore", "\n\\#x\n");
    t.dir("tree/out");
    const GitIgnore rules(t.path("tree"));
    const std::string top = Platform::CanonicalPath(t.path("tree")) + Platform::kSeparator;
    const std::string sub = top + "sub" + Platform::kSeparator;
    struct Case {
        std::string path;
        bool ignored, matched;
        std::string source;
        int line;
        std::string pattern;
    };
    const std::vector<Case> cases = {
        {"a.o", true, true, top + ".gitignore", 2, "*.o"},
        {"keep.o", false, true, top + ".gitignore", 3, "!keep.o"},
        {"out/keep.o", true, true, top + ".gitignore", 4, "out/"},
        {"sub/#x", true, true, sub + ".gitignore", 2, "\\#x"},
        {"sub/a.c", false, false, "", 0, ""},
    };
    for (const auto& c : cases) {
        auto v = rules.Explain(c.path, false);
        EXPECT_EQ(v.ignored, c.ignored) << c.path;
        EXPECT_EQ(v.matched, c.matched) << c.path;
        EXPECT_EQ(v.source, c.source) << c.path;
        EXPECT_EQ(v.line, c.line) << c.path;
        EXPECT_EQ(v.pattern, c.pattern) << c.path;
    }
}

// A reading of the tree under git's rules never takes in a directory they ignore, nor
// anything below it; the rules of the ignore files on the way still apply.
TEST(GitIgnoreTest, AReadingOfTheTreeLeavesIgnoredDirectoriesUnread) {
    TempTree t;
    t.file("tree/.gitignore", "build/\n");
    t.file("tree/build/x.o", "x");
    t.file("tree/src/.gitignore", "gen/\n!keep/\n");
    t.file("tree/src/gen/g.c", "g");
    t.file("tree/src/keep/k.c", "k");
    t.file("tree/lib/build/y.o", "y");
    const GitIgnore git(t.path("tree"));
    ScanOptions options;
    options.ignore = &git;
    const ScannedTree scanned = ScanTree(t.path("tree"), RootLabel::AsGiven, options);
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < scanned.tree.nodes.size(); ++i)
        paths.push_back(NodePath(scanned.tree, static_cast<int>(i)));
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{t.path("tree/lib"), t.path("tree/src"),
                                               t.path("tree/src/keep")}));
}
