#include "core/TargetNaming.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/FunSub.h"
#include "support/TempTree.h"

namespace {

struct Case {
    std::vector<std::string> dirs;  // directories already below OutputDir
    std::string expected;           // the name chosen, or the conversion error's message
    std::string source = "proj";
};

std::vector<std::string> Numbered(int from, int to) {
    std::vector<std::string> names;
    for (int n = from; n <= to; ++n)
        names.push_back("proj-" + std::string(n < 10 ? "0" : "") + std::to_string(n));
    return names;
}

// Each case in an output directory of its own; returns the chosen name or the error text.
std::string Choose(const TempTree& tree, const Case& c, int index) {
    FunSub::ResetState();
    FunSub::OutputDir = tree.dir("out" + std::to_string(index));
    for (const auto& d : c.dirs) tree.dir("out" + std::to_string(index) + "/" + d);
    try {
        return FunSub::ChooseTargetName(tree.path("work/" + c.source), FunSub::OutputDir);
    } catch (const FunSub::QuillError& e) {
        return e.what();
    }
}

void ExpectAll(const std::vector<Case>& cases) {
    TempTree tree;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::string existing;
        for (const auto& d : cases[i].dirs) existing += d + " ";
        EXPECT_EQ(Choose(tree, cases[i], static_cast<int>(i)), cases[i].expected)
            << "source " << cases[i].source << ", existing: " << existing;
    }
    FunSub::ResetState();
}

TEST(TargetNamingTest, NumberingRules) {
    ExpectAll({
        {{}, "proj-01"},
        {{"project-01", "prj-01", "proj", "other-01"}, "proj-01"},
        {{"proj-01"}, "proj-02"},
        {{"proj-03"}, "proj-01"},
        {{"proj-00"}, "proj-02"},
        {{"proj-1"}, "proj-02"},
        {{"proj-02", "proj-03"}, "proj-01"},
        {{"proj-01", "proj-02", "proj-04"}, "proj-03"},
        {{"PROJ-01", "Proj-02"}, "proj-03"},
        {{"proj-01"}, "Proj-02", "Proj"},
        {Numbered(1, 9), "proj-10"},
        {Numbered(1, 99), "proj-100"},
        {{"proj-01", "proj-5"}, "proj-02"},              // "5" sorts after "01" and reads 5
        {{"proj-01", "proj-03", "proj-xy"}, "proj-02"},  // the walk stops before "xy"
    });
}

TEST(TargetNamingTest, ConversionErrors) {
    ExpectAll({
        {{"proj-old"}, "'ol' is not a valid integer value"},
        {{"proj-01", "proj-old"}, "'ol' is not a valid integer value"},
        {{"proj-01", "proj-02", "proj-xy"}, "'xy' is not a valid integer value"},
        {{"proj-"}, "'' is not a valid integer value"},
        {{"proj-7 old"}, "'7 ' is not a valid integer value"},
        {{"照片-旧"}, "'旧' is not a valid integer value", "照片"},  // two characters, not bytes
        {{"照片-旧照"}, "'旧照' is not a valid integer value", "照片"},
    });
}

// Where the rules alone would name a directory that is already there.
TEST(TargetNamingTest, ExistingNamesFallBackToTheLowestFreeNumber) {
    std::vector<std::string> upTo100 = Numbered(1, 100);
    ExpectAll({
        {{"proj-01", "proj-01a", "PROJ-02"}, "proj-03"},
        {{"proj-00", "proj-01"}, "proj-02"},
        {upTo100, "proj-101"},
        {{".cfg-01"}, ".cfg-02", ".cfg"},  // a dot-name is no match, but still in the way
    });
}

TEST(TargetNamingTest, FilesNeverMatchButAreNeverChosen) {
    TempTree tree;
    const std::string source = tree.path("work/proj");
    FunSub::OutputDir = tree.dir("out");
    // Not a match, so the rules give proj-01; but a directory of that name could never be
    // made beside the file, so the next free name is taken instead.
    tree.file("out/PROJ-01", "a file");
    EXPECT_EQ(FunSub::ChooseTargetName(source, FunSub::OutputDir), "proj-02");

    FunSub::OutputDir = tree.dir("out2");
    tree.dir("out2/proj-00");
    tree.dir("out2/proj-01");
    tree.file("out2/proj-02");
    EXPECT_EQ(FunSub::ChooseTargetName(source, FunSub::OutputDir), "proj-03");
    FunSub::ResetState();
}

TEST(TargetNamingTest, MissingOutputDirIsAnIoError) {
    TempTree tree;
    FunSub::OutputDir = tree.path("gone");
    std::string message;
    try {
        FunSub::ChooseTargetName(tree.path("work/proj"), FunSub::OutputDir);
    } catch (const FunSub::QuillError& e) {
        message = e.what();
    }
    EXPECT_EQ(message, "File not found");
    FunSub::ResetState();
}

TEST(StrToIntTest, AcceptedForms) {
    EXPECT_EQ(FunSub::StrToInt("07"), 7);
    EXPECT_EQ(FunSub::StrToInt("  7"), 7);
    EXPECT_EQ(FunSub::StrToInt("+5"), 5);
    EXPECT_EQ(FunSub::StrToInt("-5"), -5);
    EXPECT_EQ(FunSub::StrToInt("$1F"), 31);
    EXPECT_EQ(FunSub::StrToInt("x1f"), 31);
    EXPECT_EQ(FunSub::StrToInt(" -XfF"), -255);
    EXPECT_EQ(FunSub::StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(FunSub::StrToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(FunSub::StrToInt("$FFFFFFFF"), -1);
}

TEST(StrToIntTest, RejectedForms) {
    for (const char* text : {"", " ", "7 ", "+", "-", "$", "x", "+ 1", "1x", "ol", "\t1", "1.0",
                             "$G", "2147483648", "-2147483649", "$100000000"}) {
        try {
            FunSub::StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const FunSub::QuillError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}

}  // namespace
