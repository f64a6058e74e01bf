// Finishing an unfinished copy from what it recorded inside its marker: what is whole stays
// untouched, what is missing, short or unlike its source is copied, and a target that cannot
// be continued is left as it is.

#include "core/ContinueCopy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>

#include "core/CopyRecord.h"
#include "core/DirTree.h"
#include "core/FunSub.h"
#include "core/TreeStats.h"
#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

class QuietProgress : public FunSub::CopyProgress {
public:
    void SetMax(std::int64_t) override {}
    void SetStep(std::int64_t) override {}
    void StepIt() override {}
    void SetFromText(const std::string&) override {}
    void SetToText(const std::string&) override {}
};

std::atomic<bool> g_stop{false};
std::atomic<int> g_files{0};

// Every regular file and link below `root` but the marker's, with its content (a link: its
// target text), and its inode and change time.
struct Held {
    std::string content;
    ino_t inode = 0;
    std::int64_t changed = 0;
    bool operator==(const Held&) const = default;
};
std::map<std::string, Held> Holding(const std::string& root) {
    std::map<std::string, Held> held;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
        if (it->path().filename() == FunSub::kIncompleteMarker) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st {};
        lstat(it->path().c_str(), &st);
        if (S_ISDIR(st.st_mode))
            continue;
        const std::string content = S_ISLNK(st.st_mode) ? fs::read_symlink(it->path()).string()
                                                        : ReadFile(it->path().string());
        held[it->path().lexically_relative(root).string()] = {
            content, st.st_ino, st.st_ctim.tv_sec * 1000000000 + st.st_ctim.tv_nsec};
    }
    return held;
}

class ContinueCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tree.file("src/keep.txt", "kept as it is");
        m_tree.file("src/short.txt", std::string(5000, 's'));
        m_tree.file("src/zeros.txt", "data, not zeros");
        m_tree.file("src/missing.txt", "never copied");
        m_tree.file("src/sub/deep.txt", "below");
        m_tree.file("src/listed.txt", "listed durable");
        m_tree.file("src/changed.txt", "changed since");
        m_tree.file("src/left.o", "the filter leaves this out");
        m_tree.file("src/node_modules/m.js", "and this");
        m_tree.dir("src/empty");
        fs::create_symlink("keep.txt", m_tree.path("src/link"));
        m_source = m_tree.path("src");
        m_target = m_tree.path("out/src-01");
    }

    // A copy of the source stopped after its first file, as "放　　弃" stops one.
    void StoppedCopy(bool verify) {
        FunSub::CopyJob job;
        job.workDir = m_tree.path("");
        job.outputDir = m_tree.dir("out");
        job.targetName = "src-01";
        FunSub::FilterRules rules;
        rules.directoryNames = {"node_modules"};
        job.filter = FunSub::CopyFilter(FunSub::FilterKind::Exclude, {".o"}, rules);
        job.options.jobs = 1;
        job.options.verify = verify;
        job.options.stop = FunSub::StopToken(&g_stop);
        g_stop = false;
        g_files = 0;
        FunSub::SetFileCopyHook([] { g_stop = ++g_files > 1; });
        const FunSub::DirTree tree = FunSub::BuildDirTree(m_source, FunSub::RootLabel::AsGiven);
        QuietProgress progress;
        const FunSub::CopySummary copied = FunSub::RunFilterCopy(job, tree, progress);
        FunSub::SetFileCopyHook(nullptr);
        ASSERT_TRUE(copied.stopped);
        ASSERT_TRUE(FunSub::TargetIncomplete(m_target));
    }

    FunSub::ContinueSummary Continue(bool keepGoing = false) {
        FunSub::CopyOptions options;
        options.keepGoing = keepGoing;
        FunSub::ContinueSummary summary;
        QuietProgress progress;
        FunSub::ContinueCopy(m_target, options, progress, summary);
        return summary;
    }

    TempTree m_tree;
    std::string m_source, m_target;
};

// What one uninterrupted copy makes of the source, and what a user put in the target.
std::map<std::string, std::string> Expected() {
    return {{"keep.txt", "kept as it is"},     {"short.txt", std::string(5000, 's')},
            {"zeros.txt", "data, not zeros"},  {"missing.txt", "never copied"},
            {"sub/deep.txt", "below"},         {"listed.txt", "listed durable"},
            {"changed.txt", "changed since!"}, {"link", "keep.txt"},
            {"mine.txt", "the user's"}};
}

// Each kind of file a kill or a power cut leaves, in one target: a whole one is kept (not
// written: same inode, same change time), one listed durable with its source unchanged is
// trusted without a look, the rest is compared and made whole; the filter's leavings are
// not added, the user's file is kept and listed, and only then does the marker go.
TEST_F(ContinueCopyTest, EveryFileEndsWholeAndWhatWasWholeIsNotWrittenAgain) {
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify ? "verified" : "not verified");
        fs::remove_all(m_tree.path("out"));
        StoppedCopy(verify);
        // What the disk might hold after a kill and a power cut.
        m_tree.file("out/src-01/keep.txt", "kept as it is");
        m_tree.file("out/src-01/short.txt", std::string(1000, 's'));
        m_tree.file("out/src-01/zeros.txt", std::string(15, '\0'));
        m_tree.file("out/src-01/sub/deep.txt", "below");
        m_tree.file("out/src-01/listed.txt", "listed durable");
        m_tree.file("out/src-01/changed.txt", "changed since");
        m_tree.file("out/src-01/mine.txt", "the user's");
        struct stat listed {
        }, changed{};
        stat(m_tree.path("src/listed.txt").c_str(), &listed);
        stat(m_tree.path("src/changed.txt").c_str(), &changed);
        ASSERT_EQ(FunSub::AppendDurableFiles(m_target,
                                             {{"listed.txt", listed.st_size, listed.st_mtime},
                                              {"changed.txt", changed.st_size, changed.st_mtime}}),
                  0);
        m_tree.file("src/changed.txt", "changed since!");
        const auto before = Holding(m_target);

        const FunSub::ContinueSummary s = Continue();
        EXPECT_TRUE(s.finished);
        EXPECT_FALSE(FunSub::TargetIncomplete(m_target));
        const auto after = Holding(m_target);
        std::map<std::string, std::string> contents;
        for (const auto& [path, held] : after) contents[path] = held.content;
        EXPECT_EQ(contents, Expected());
        for (const char* untouched : {"keep.txt", "sub/deep.txt", "listed.txt", "mine.txt"})
            EXPECT_EQ(after.at(untouched), before.at(untouched)) << untouched;
        EXPECT_TRUE(fs::is_directory(m_tree.path("out/src-01/empty")));
        EXPECT_EQ(s.extras, std::vector<std::string>{"mine.txt"});
        EXPECT_EQ(s.kept, 3);                         // keep, deep and listed
        EXPECT_EQ(s.copy.verified, verify ? 7 : -1);  // all but the link
        m_tree.file("src/changed.txt", "changed since");
    }
}

// A target that cannot be continued says why, and nothing in it changes: one whose source is
// gone, one whose record does not read, one that is whole already.
TEST_F(ContinueCopyTest, ATargetThatCannotBeContinuedIsLeftAsItIs) {
    const std::string record = m_tree.path("out/src-01/.quillmere-incomplete/copy-job.txt");
    struct Row {
        const char* what;
        std::function<void()> spoil;
        const char* code;
    } rows[] = {
        {"the source is gone", [&] { fs::rename(m_source, m_tree.path("moved")); }, "source-gone"},
        {"the record is cut short", [&] { fs::resize_file(record, fs::file_size(record) / 2); },
         "no-record"},
        {"the record is gone", [&] { fs::remove(record); }, "no-record"},
        {"the copy is whole",
         [&] { fs::remove_all(m_tree.path("out/src-01/.quillmere-incomplete")); },
         "not-incomplete"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(m_tree.path("out"));
        StoppedCopy(false);
        row.spoil();
        const auto before = Holding(m_target);
        try {
            Continue();
            ADD_FAILURE() << "continued";
        } catch (const FunSub::ContinueRefusedError& e) {
            EXPECT_STREQ(e.code(), row.code);
        }
        EXPECT_EQ(Holding(m_target), before);
        if (fs::exists(m_tree.path("moved")))
            fs::rename(m_tree.path("moved"), m_source);
    }
}

}  // namespace
