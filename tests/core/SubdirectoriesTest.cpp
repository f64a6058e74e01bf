#include <gtest/gtest.h>

#include "core/FunSub.h"
#include "core/Subdirectories.h"
#include "support/TempTree.h"

using namespace FunSub;

namespace {

std::vector<std::string> Names(const std::vector<Subdirectory>& dirs) {
    std::vector<std::string> out;
    for (const auto& d : dirs) out.push_back(d.name);
    return out;
}

}  // namespace

TEST(SubdirectoriesTest, TopLevelDirectoriesInNameOrderWithoutHiddenOnesOrFiles) {
    TempTree t;
    for (const char* d : {"out/ABC", "out/proj-01", "out/zz", "out/.git", "out/proj-01/deeper"}) {
        t.dir(d);
    }
    t.file("out/proj-02", "a file, not a target");
    const auto dirs = Subdirectories(t.path("out"));
    EXPECT_EQ(Names(dirs), (std::vector<std::string>{"ABC", "proj-01", "zz"}));
    ASSERT_EQ(dirs.size(), 3u);
    for (const auto& d : dirs) EXPECT_EQ(d.path, t.path("out") + "/" + d.name);
}

TEST(SubdirectoriesTest, TrailingSeparatorIsNotDoubled) {
    TempTree t;
    t.dir("out/x");
    const auto dirs = Subdirectories(t.path("out") + "/");
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs[0].path, t.path("out/x"));
}

TEST(SubdirectoriesTest, DirectoryThatCannotBeEnteredRaisesTheIoError) {
    TempTree t;
    t.file("plain", "x");
    try {
        Subdirectories(t.path("gone"));
        FAIL() << "no error for a missing directory";
    } catch (const QuillError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_THROW(Subdirectories(t.path("plain")), QuillError);
}
