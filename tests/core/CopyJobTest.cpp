#include "core/CopyJob.h"
#include "core/TreeFilter.h"

#include <gtest/gtest.h>

#include "core/TreeStats.h"

namespace {

using FunSub::CopyFilter;
using FunSub::FilterKind;

// A file passes by its type, A-Z folded as the statistics fold it: every type but the chosen
// ones, or only the chosen ones; a filter made without any leaves nothing out.
TEST(CopyJobTest, AFilterPassesFilesByTheirType) {
    const std::string none = FunSub::kNoExtension;
    struct Row {
        CopyFilter filter;
        const char* name;
        bool passes;
    } rows[] = {
        {CopyFilter(), "a.o", true},
        {CopyFilter(), "Makefile", true},
        {CopyFilter(FilterKind::Exclude, {".o"}), "a.o", false},
        {CopyFilter(FilterKind::Exclude, {".o"}), "A.O", false},
        {CopyFilter(FilterKind::Exclude, {".o"}), "a.obj", true},
        {CopyFilter(FilterKind::Exclude, {".gz"}), "a.tar.gz", false},
        {CopyFilter(FilterKind::Exclude, {none}), "Makefile", false},
        {CopyFilter(FilterKind::KeepOnly, {".c", ".h"}), "x.H", true},
        {CopyFilter(FilterKind::KeepOnly, {".c", ".h"}), "x.cpp", false},
        {CopyFilter(FilterKind::KeepOnly, {}), "x.c", false},
        {CopyFilter(FilterKind::KeepOnly, {".bashrc"}), ".bashrc", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.filter.PassesFile(row.name), row.passes);
        EXPECT_EQ(row.filter.PassesType(FunSub::TypeKey(row.name)), row.passes);
    }
    EXPECT_EQ(CopyFilter(), CopyFilter(FilterKind::Exclude, {}));
    EXPECT_NE(CopyFilter(FilterKind::KeepOnly, {}), CopyFilter(FilterKind::Exclude, {}));
}

// The windows' state, taken at once: later changes to it do not reach a job already made.
TEST(CopyJobTest, TheCurrentJobIsTheStateWhenItIsTaken) {
    FunSub::ResetState();
    FunSub::WorkDir = "/w";
    FunSub::OutputDir = "/o";
    FunSub::TargetName = "proj-03";
    FunSub::SelectedTypes = {".o"};
    FunSub::FilterMode = FilterKind::KeepOnly;
    FunSub::TreeFileTotal = 12;
    FunSub::KeepGoing = true;
    FunSub::SelectedRules.directoryNames = {"bin"};
    const FunSub::CopyJob job = FunSub::CurrentCopyJob();
    FunSub::ResetState();
    EXPECT_EQ(job.workDir, "/w");
    EXPECT_EQ(job.outputDir, "/o");
    EXPECT_EQ(job.targetName, "proj-03");
    EXPECT_EQ(job.filter, CopyFilter(FilterKind::KeepOnly, {".o"}, {{"bin"}, {}, -1}));
    EXPECT_EQ(job.fileTotal, 12);
    EXPECT_TRUE(job.options.keepGoing);
    EXPECT_FALSE(job.options.verify);
}

// What the filter dialog says of a choice: what the rules alone take out, each file once
// however many rules match it, and what the copy takes, types and rules together.
// A small source read whole: its tree, and the files of each directory by node.
struct ReadSource {
    FunSub::DirTree tree;
    std::vector<std::vector<Platform::Entry>> files;
};

ReadSource SmallSource() {
    auto file = [](const char* name, std::int64_t size) {
        Platform::Entry e;
        e.name = name;
        e.size = size;
        return e;
    };
    ReadSource s;
    s.tree.nodes = {{"/s<目录树根>", -1, 0}, {"node_modules", 0, 1}, {"deep", 1, 2}, {"src", 0, 1}};
    s.files = {{file("a.js", 10), file("a.min.js", 2000), file("notes.txt", 5)},
               {file("x.js", 1)},
               {file("y.min.js", 3)},
               {file("b.js", 20), file("c.o", 7)}};
    return s;
}

TEST(CopyJobTest, TheEffectOfAFilterCountsEachFileOnce) {
    const auto [tree, files] = SmallSource();
    const struct {
        CopyFilter filter;
        FunSub::FilterEffect effect;
    } rows[] = {
        {CopyFilter(), {0, 0, 0, 7, 2046}},
        {CopyFilter(FilterKind::Exclude, {".o"}, {{"node_modules"}, {"*.min.js"}, 1000}),
         {2, 3, 2004, 3, 35}},
        {CopyFilter(FilterKind::KeepOnly, {".js"}, {{}, {"node_modules/"}, -1}),
         {2, 2, 4, 3, 2030}},
    };
    for (const auto& row : rows) {
        const FunSub::FilterEffect e = FunSub::MeasureFilter(tree, files, row.filter);
        EXPECT_EQ(std::vector<std::int64_t>(
                      {e.ruleDirectories, e.ruleFiles, e.ruleBytes, e.copiedFiles, e.copiedBytes}),
                  std::vector<std::int64_t>({row.effect.ruleDirectories, row.effect.ruleFiles,
                                             row.effect.ruleBytes, row.effect.copiedFiles,
                                             row.effect.copiedBytes}));
    }
}

// What check --json lists: each rule of the filter, also one that takes nothing, then the
// types left out; each file for the first rule that leaves it out, a directory's for all
// beneath it.
TEST(CopyJobTest, WhatEachRuleLeavesOut) {
    const auto [tree, files] = SmallSource();
    const struct {
        CopyFilter filter;
        std::vector<std::string> tallies;
    } rows[] = {
        {CopyFilter(), {}},
        {CopyFilter(FilterKind::Exclude, {".o", ".gz"},
                    {{"node_modules", "bin"}, {"*.min.js"}, 1000}),
         {"dir:node_modules 2 2 4", "dir:bin 0 0 0", "name:*.min.js 0 1 2000", "size:1000 0 0 0",
          "type:.o 0 1 7", "type:.gz 0 0 0"}},
        {CopyFilter(FilterKind::KeepOnly, {".js"}, {{}, {"deep/"}, 5}),
         {"name:deep/ 1 1 3", "size:5 0 4 2037", "type:.txt 0 1 5"}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> got;
        for (const FunSub::RuleTally& t : FunSub::LeftOutByRule(tree, files, row.filter)) {
            got.push_back(t.rule + " " + std::to_string(t.directories) + " " +
                          std::to_string(t.files) + " " + std::to_string(t.bytes));
        }
        EXPECT_EQ(got, row.tallies);
    }
}

// Sizes as a user writes them after --max-size or in the dialog.
TEST(CopyJobTest, SizesAreBytesOrNumbersWithAUnit) {
    const struct {
        const char* text;
        std::int64_t bytes;
    } rows[] = {{"4096", 4096},
                {"4096B", 4096},
                {"10M", 10485760},
                {"10mb", 10485760},
                {"1.5G", 1610612736},
                {"0.5k", 512},
                {"2T", 2199023255552},
                {"0", 0},
                {"", -1},
                {"M", -1},
                {"1.5", -1},
                {"10X", -1},
                {"10MiB", -1},
                {"1.2.3M", -1},
                {"-1", -1},
                {"99999999999T", -1},
                {" 10M", -1}};
    for (const auto& row : rows) EXPECT_EQ(FunSub::ParseSize(row.text), row.bytes) << row.text;
}

}  // namespace
