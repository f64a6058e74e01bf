#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <ctime>

#include "core/DirTree.h"
#include "core/FunSub.h"
#include "core/Platform.h"
#include "core/TreeScan.h"
#include "core/TreeStats.h"
#include "support/TempTree.h"

using namespace FunSub;

namespace {

TreeStats StatsOf(const std::string& root) {
    return CollectTreeStats(BuildDirTree(root, RootLabel::ShortenDriveRoot));
}

std::vector<std::string> Flatten(const std::vector<ListRow>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) {
        std::string line = r.caption;
        for (const auto& s : r.subItems) line += "|" + s;
        out.push_back(line);
    }
    return out;
}

}  // namespace

TEST(TypeKeyTest, Extensions) {
    EXPECT_EQ(TypeKey("Report.DOC"), ".doc");
    EXPECT_EQ(TypeKey("a.JPG"), TypeKey("b.jpg"));
    EXPECT_EQ(TypeKey("archive.tar.gz"), ".gz");
    EXPECT_EQ(TypeKey("Makefile"), "无扩展名");
    EXPECT_EQ(TypeKey(".htaccess"), ".htaccess");
    EXPECT_EQ(TypeKey("name."), ".");
    EXPECT_EQ(TypeKey("photo.ÄÖ"), ".ÄÖ");  // only A-Z are lowered
}

TEST(TreeStatsTest, TypesInFirstMetOrderRowsSortedSummaryOnTop) {
    TempTree t;
    t.file("r/x.TXT", std::string(10, 'a'));
    t.file("r/y.txt", std::string(20, 'a'));
    t.file("r/z", std::string(5, 'a'));
    t.file("r/w.c", std::string(1000, 'a'));
    const TreeStats stats = StatsOf(t.path("r"));

    EXPECT_EQ(stats.fileTotal, 4);
    EXPECT_EQ(stats.byteTotal, 1035);

    EXPECT_EQ(
        Flatten(TypeListRows(stats)),
        (std::vector<std::string>{" 合计:3|4|1,035", ".c|1|1,000", ".txt|2|30", "无扩展名|1|5"}));
    EXPECT_EQ(
        LevelLines(stats),
        (std::vector<std::string>{"  目录级    目录数", " ------------------", "    0 级:    1"}));
}

// Types come in the order the walk first meets them, which is not their own order: each
// directory's files by name before its subdirectories', the root first. One walk on many
// threads meets them in the same order.
TEST(TreeStatsTest, TypesComeInTheOrderFirstMet) {
    TempTree t;
    for (const char* name : {"r/a.zip", "r/b.c", "r/c", "r/sub/a.ab", "r/sub/z.zip", "r/d.TXT"})
        t.file(name, "x");
    const std::vector<std::string> firstMet{".zip", ".c", "无扩展名", ".txt", ".ab"};
    for (const TreeStats& stats :
         {StatsOf(t.path("r")),
          CollectTreeStats(ScanTree(t.path("r"), RootLabel::ShortenDriveRoot))}) {
        std::vector<std::string> met;
        for (const auto& ft : stats.TypeStats) met.push_back(ft.TypeKey);
        EXPECT_EQ(met, firstMet);
    }
}

TEST(TreeStatsTest, LevelsAndEmptyTrees) {
    TempTree t;
    t.dir("r/a/a1");
    t.dir("r/a/a2");
    t.dir("r/b");
    const TreeStats stats = StatsOf(t.path("r"));
    EXPECT_EQ(LevelLines(stats),
              (std::vector<std::string>{"  目录级    目录数", " ------------------",
                                        "    0 级:    1", "    1 级:    2", "    2 级:    2"}));
    EXPECT_EQ(Flatten(TypeListRows(stats)), (std::vector<std::string>{" 合计:0|0|0"}));
    EXPECT_EQ(stats.directories, 5);
}

// A name counts every directory that carries it, A-Z folded, and the files beneath the
// outermost of them once; a file beneath two names counts for both. The root is no name.
TEST(TreeStatsTest, DirectoryNamesCountWhatLiesBeneathThemOnce) {
    TempTree t;
    t.file("r/top.txt", "1");
    t.file("r/node_modules/a.js", "12");
    t.file("r/node_modules/pkg/node_modules/b.js", "123");
    t.file("r/Src/Node_Modules/c.js", "1234");
    t.file("r/lib/d.c", "12345678901");
    t.dir("r/empty");
    const TreeStats both[] = {StatsOf(t.path("r")),
                              CollectTreeStats(ScanTree(t.path("r"), RootLabel::AsGiven))};
    for (const TreeStats& stats : both) {
        EXPECT_EQ(Flatten(DirNameListRows(stats)),
                  (std::vector<std::string>{" 合计:5|7|4|20", "lib|1|1|11", "node_modules|3|3|9",
                                            "src|1|1|4", "pkg|1|1|3", "empty|1|0|0"}));
    }
}

TEST(TreeStatsTest, CountsAreDecimalSizesAreGrouped) {
    TempTree t;
    for (int i = 0; i < 1234; ++i) t.file("r/f" + std::to_string(i) + ".b", "x");
    const auto rows = TypeListRows(StatsOf(t.path("r")));
    EXPECT_EQ(Flatten(rows), (std::vector<std::string>{" 合计:1|1234|1,234", ".b|1234|1,234"}));
}

TEST(TreeStatsTest, HiddenFilesCountDotDirectoriesDoNot) {
    TempTree t;
    t.file("r/.profile", "12");
    t.file("r/.git/config", "123456");
    t.file("r/sub/.hidden.txt", "1");
    const TreeStats stats = StatsOf(t.path("r"));
    EXPECT_EQ(stats.fileTotal, 2);
    EXPECT_EQ(stats.byteTotal, 3);
}

TEST(TreeStatsTest, HugeSparseFileAndSixtyLevels) {
    TempTree t;
    t.sparseFile("r/big.iso", 3000000000LL);
    std::string rel = "r";
    for (int i = 0; i < 60; ++i) rel += "/d";
    t.file(rel + "/deep.iso", "1234");
    const TreeStats stats = StatsOf(t.path("r"));
    EXPECT_EQ(stats.byteTotal, 3000000004LL);
    EXPECT_EQ(stats.fileTotal, 2);  // files below level 50 are still counted
    EXPECT_EQ(stats.directories, 61);
    const auto levels = LevelLines(stats);
    EXPECT_EQ(levels.size(), 2u + 51u);  // levels 0 to 50 and no further
    EXPECT_EQ(levels.back(), "    50 级:    1");
    EXPECT_EQ(Flatten(TypeListRows(stats))[0], " 合计:1|2|3,000,000,004");
}

#ifndef _WIN32
namespace {

// What the listing hook swaps for a link, and where the link leads.
std::string g_swapWhen, g_swap, g_swapTo;

// Swaps g_swap for a link to g_swapTo just before g_swapWhen is listed, once.
void SwapForALink(const std::string& dir) {
    if (g_swapWhen.empty() || dir != g_swapWhen)
        return;
    g_swapWhen.clear();
    std::rename(g_swap.c_str(), (g_swap + "-away").c_str());
    (void)!symlink(g_swapTo.c_str(), g_swap.c_str());
}

}  // namespace

// A directory swapped for a link while the tree is read is not followed, whether the link
// takes the place of the directory itself (which then counts as unreadable) or of one on the
// way to it (read where it really is, relative to its open parent; or, where too many are
// open for that, by its path, which then no longer leads into its parent: unreadable). What
// lies outside the tree is never counted.
TEST(TreeStatsTest, ADirectorySwappedForALinkDuringTheReadingIsNotFollowed) {
    const std::string deep = "r/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d/d";  // 19 levels
    struct Row {
        std::string swapped, read;  // swapped as `read` is about to be read
        int openFiles;              // the soft limit of open files while the tree is read
        std::int64_t files, unreadable;
    } rows[] = {
        {"r/d/d", "r/d/d", 0, 1, 1},
        {"r/d", "r/d/d", 0, 2, 0},
        // By path: the swapped directory's "e" is not found where it was either.
        {deep.substr(0, deep.size() - 2), deep, 64, 1, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.swapped);
        TempTree t;
        t.file("r/top.txt", "x");
        t.file(deep + "/own.txt", "x");
        // A directory beside each, read after the whole chain: each level stays open till then.
        for (std::string level = "r"; level.size() < deep.size(); level += "/d")
            t.dir(level + "/e");
        const std::string outside = t.dir("outside");
        std::string inside = outside + "/d";
        for (std::size_t k = row.read.size() - row.swapped.size(); k > 2; k -= 2) inside += "/d";
        for (const char* name : {"/x1.txt", "/x2.txt", "/x3.txt"})
            t.file(inside.substr(t.root().size() + 1) + name, "outside");
        g_swapWhen = t.path(row.read);
        g_swap = t.path(row.swapped);
        g_swapTo = row.read == row.swapped ? inside : outside;
        struct rlimit was {};
        getrlimit(RLIMIT_NOFILE, &was);
        struct rlimit few = was;
        few.rlim_cur = row.openFiles > 0 ? static_cast<rlim_t>(row.openFiles) : was.rlim_cur;
        setrlimit(RLIMIT_NOFILE, &few);
        Platform::SetListingHook(SwapForALink);
        ScanOptions one;
        one.threads = 1;
        const TreeStats stats = CollectTreeStats(ScanTree(t.path("r"), RootLabel::AsGiven, one));
        Platform::SetListingHook(nullptr);
        setrlimit(RLIMIT_NOFILE, &was);
        EXPECT_EQ(stats.fileTotal, row.files);
        EXPECT_EQ(stats.unreadable, row.unreadable);
    }
}
#endif

TEST(ListDirFilesTest, FilesOnlyWithSizesAndTimes) {
    TempTree t;
    t.file("d/b.txt", "hello");
    t.file("d/A.TXT", "");
    t.file("d/.hidden", "12");
    t.dir("d/sub");
    const std::string p = t.path("d/b.txt");
    // Local midnight shows the date alone; another time shows date and time.
    std::tm tm{};
    tm.tm_year = 2003 - 1900;
    tm.tm_mon = 8;
    tm.tm_mday = 26;
    tm.tm_isdst = -1;
    const std::time_t midnight = std::mktime(&tm);
    utimbuf times{midnight, midnight};
    ASSERT_EQ(utime(p.c_str(), &times), 0);

    const FileListing listing = ListDirFiles(t.path("d"));
    EXPECT_EQ(listing.files.size(), 3u);
    EXPECT_EQ(listing.totalBytes, 7);
    const auto rows = FileListRows(listing);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].caption, " 合计:3");
    EXPECT_EQ(rows[0].subItems, (std::vector<std::string>{"7"}));
    for (const auto& r : rows) {
        if (r.caption == "b.txt") {
            EXPECT_EQ(r.subItems[1], Platform::LocalDateTimeText(midnight));
            EXPECT_EQ(r.subItems[1].find(' '), std::string::npos);
        }
        if (r.caption == "A.TXT") {
            EXPECT_NE(r.subItems[1].find(' '), std::string::npos);
        }
    }
}

TEST(ListDirFilesTest, MissingDirectoryGivesOnlyTheSummary) {
    TempTree t;
    const auto rows = FileListRows(ListDirFiles(t.path("gone")));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].caption, " 合计:0");
    EXPECT_EQ(rows[0].subItems, (std::vector<std::string>{"0"}));
}

#ifndef _WIN32  // Windows names are UTF-16
TEST(ListDirFilesTest, NamesThatAreNotUtf8StayUsable) {
    TempTree t;
    const std::string odd = "x\xff\xfe.DAT";
    t.file("d/" + odd, "abc");
    const FileListing listing = ListDirFiles(t.path("d"));
    ASSERT_EQ(listing.files.size(), 1u);
    EXPECT_EQ(listing.files[0].name, odd);
    EXPECT_EQ(ReadFile(JoinPath(t.path("d"), listing.files[0].name)), "abc");
    EXPECT_EQ(TypeKey(odd), ".dat");
}
#endif

TEST(ListRowsTest, SummaryStaysFirstWhateverTheCollation) {
    std::vector<ListRow> rows{{" 合计:3", {}}, {"b", {}}, {" a", {}}, {"A", {}}};
    SortBelowSummary(rows);
    EXPECT_EQ(rows[0].caption, " 合计:3");
}
