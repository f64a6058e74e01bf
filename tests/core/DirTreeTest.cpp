#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/mount.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include "core/DirTree.h"
#include "core/FunSub.h"
#include "support/TempTree.h"

using namespace FunSub;

namespace {

std::vector<std::string> Labels(const DirTree& tree) {
    std::vector<std::string> out;
    for (const auto& n : tree.nodes) out.push_back(n.label);
    return out;
}

std::vector<int> Levels(const DirTree& tree) {
    std::vector<int> out;
    for (const auto& n : tree.nodes) out.push_back(n.level);
    return out;
}

}  // namespace

TEST(DirTreeTest, PreOrderLevelsAndPaths) {
    TempTree t;
    t.dir("src/a/b/c");
    t.dir("src/d");
    t.file("src/a/file.txt", "x");  // files are not nodes
    const DirTree tree = BuildDirTree(t.path("src"), RootLabel::ShortenDriveRoot);
    EXPECT_EQ(Labels(tree),
              (std::vector<std::string>{t.path("src") + "<目录树根>", "a", "b", "c", "d"}));
    EXPECT_EQ(Levels(tree), (std::vector<int>{0, 1, 2, 3, 1}));
    const auto paths = AllNodePaths(tree);
    for (int i = 0; i < tree.size(); ++i) EXPECT_EQ(NodePath(tree, i), paths[i]);
    EXPECT_EQ(paths[0], t.path("src"));
    EXPECT_NE(std::find(paths.begin(), paths.end(), t.path("src/a/b/c")), paths.end());
}

// Whatever order the file system lists them in (ext4 lists in hash order), children come by
// name with A-Z taken as a-z, then by their bytes, as on every other platform.
TEST(DirTreeTest, ChildrenComeInNameOrderIgnoringCase) {
    std::vector<std::string> names{"zeta", "Alpha", "mid", "beta",  "Zulu",
                                   "10",   "9",     "_x",  "zeta2", "\xc3\xa4"};
    std::vector<std::string> expected{"10",  "9",    "_x",    "Alpha", "beta",
                                      "mid", "zeta", "zeta2", "Zulu",  "\xc3\xa4"};
#ifndef _WIN32
    names.push_back("ZETA");  // names that differ only in case: by their bytes
    expected.insert(expected.begin() + 6, "ZETA");
#endif
    TempTree t;
    for (const std::string& n : names) t.dir("r/" + n);
    std::vector<std::string> got = Labels(BuildDirTree(t.path("r"), RootLabel::ShortenDriveRoot));
    got.erase(got.begin());
    EXPECT_EQ(got, expected);
}

TEST(DirTreeTest, DotDirectoriesAreLeftOutHiddenOnesAreNot) {
    TempTree t;
    t.dir("r/.git/objects");
    t.dir("r/.svn");
    t.dir("r/visible");
    t.file("r/.hiddenfile");
    const DirTree tree = BuildDirTree(t.path("r"), RootLabel::ShortenDriveRoot);
    EXPECT_EQ(Labels(tree), (std::vector<std::string>{t.path("r") + "<目录树根>", "visible"}));
}

TEST(DirTreeTest, EmptyRootIsOneNode) {
    TempTree t;
    const DirTree tree = BuildDirTree(t.dir("empty"), RootLabel::AsGiven);
    ASSERT_EQ(tree.size(), 1);
    EXPECT_EQ(tree.nodes[0].label, t.path("empty") + "<目录树根>");
    EXPECT_EQ(NodePath(tree, 0), t.path("empty"));
}

#ifndef _WIN32  // Windows roots: WindowsTest
TEST(DirTreeTest, RootLabelRules) {
    EXPECT_EQ(RootLabelFor("/", RootLabel::ShortenDriveRoot), "<目录树根>");
    EXPECT_EQ(RootLabelFor("/", RootLabel::AsGiven), "/<目录树根>");
    EXPECT_EQ(RootLabelFor("/work", RootLabel::ShortenDriveRoot), "/work<目录树根>");

    // A root of the main trees gives "" for itself and "/x" below; the work tree keeps "/".
    DirTree shortened{{{"<目录树根>", -1, 0}, {"x", 0, 1}}};
    EXPECT_EQ(NodePath(shortened, 0), "");
    EXPECT_EQ(NodePath(shortened, 1), "/x");
    DirTree asGiven{{{"/<目录树根>", -1, 0}, {"x", 0, 1}}};
    EXPECT_EQ(NodePath(asGiven, 0), "/");
    EXPECT_EQ(NodePath(asGiven, 1), "//x");
}
#endif

#ifndef _WIN32  // "<" is not allowed in Windows names
TEST(DirTreeTest, PathsWithTheMarkerCharactersSurvive) {
    TempTree t;
    t.dir("a<b/c<d");
    const DirTree tree = BuildDirTree(t.path("a<b"), RootLabel::ShortenDriveRoot);
    ASSERT_EQ(tree.size(), 2);
    EXPECT_EQ(NodePath(tree, 0), t.path("a<b"));
    EXPECT_EQ(NodePath(tree, 1), t.path("a<b/c<d"));
}
#endif

TEST(DirTreeTest, RootThatCannotBeEnteredRaisesBeforeBuilding) {
    TempTree t;
    t.file("plain");
    EXPECT_THROW(
        {
            try {
                BuildDirTree(t.path("missing"), RootLabel::ShortenDriveRoot);
            } catch (const QuillError& e) {
                EXPECT_STREQ(e.what(), "File not found");
                throw;
            }
        },
        QuillError);
    try {
        BuildDirTree(t.path("plain"), RootLabel::ShortenDriveRoot);
        FAIL();
    } catch (const QuillError& e) {
#ifdef _WIN32
        EXPECT_STREQ(e.what(), "I/O error 267");  // ERROR_DIRECTORY
#else
        EXPECT_STREQ(e.what(), "Invalid filename");
#endif
    }
}

#ifndef _WIN32  // symbolic links and bind mounts; Windows: WindowsTest
// Links are never followed: a link to a directory, even to one above it, is no node. A
// directory that shows up again below itself (a bind mount) is shown but not entered.
TEST(DirTreeTest, DeepTreesLinksAndLoops) {
    TempTree t;
    std::string rel = "deep";
    for (int i = 0; i < 60; ++i) rel += "/d" + std::to_string(i);
    t.dir(rel);
    t.dir("deep/other");
    ASSERT_EQ(symlink(t.path("deep").c_str(), t.path("deep/d0/up").c_str()), 0);
    ASSERT_EQ(symlink("../other", t.path("deep/d0/elsewhere").c_str()), 0);
    ASSERT_EQ(symlink(".", t.path("deep/self").c_str()), 0);
    const std::string again = t.dir("deep/d0/again");
    const bool bound = mount(t.path("deep").c_str(), again.c_str(), nullptr, MS_BIND, nullptr) == 0;
    const DirTree tree = BuildDirTree(t.path("deep"), RootLabel::ShortenDriveRoot);
    if (bound)
        umount2(again.c_str(), MNT_DETACH);
    // root, 60 levels, "other" and "again"; no link is a node.
    EXPECT_EQ(tree.size(), 1 + 60 + 1 + 1);
    int maxLevel = 0;
    for (const auto& n : tree.nodes) maxLevel = std::max(maxLevel, n.level);
    EXPECT_EQ(maxLevel, 60);
    const auto again_ = std::find_if(tree.nodes.begin(), tree.nodes.end(),
                                     [](const DirNode& n) { return n.label == "again"; });
    ASSERT_NE(again_, tree.nodes.end());
    EXPECT_EQ(again_->loop, bound) << "a bind mount of the root below itself (needs root)";
}
#endif

#ifndef _WIN32  // Windows names are UTF-16
TEST(DirTreeTest, NamesThatAreNotUtf8) {
    TempTree t;
    const std::string odd = "bad\xff\xfe";
    t.dir("r/" + odd + "/inner");
    const DirTree tree = BuildDirTree(t.path("r"), RootLabel::ShortenDriveRoot);
    ASSERT_EQ(tree.size(), 3);
    EXPECT_EQ(tree.nodes[1].label, odd);
    EXPECT_TRUE(DirExists(NodePath(tree, 2)));
}
#endif

TEST(DirTreeTest, DirExists) {
    TempTree t;
    t.file("f");
    EXPECT_FALSE(DirExists(""));
    EXPECT_FALSE(DirExists(t.path("f")));
    EXPECT_FALSE(DirExists(t.path("none")));
    EXPECT_TRUE(DirExists(t.root()));
}
