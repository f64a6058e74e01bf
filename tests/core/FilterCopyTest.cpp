#include "core/FilterCopy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "core/CheckCopy.h"
#include "core/FileCopyPlatform.h"
#include "core/FunSub.h"
#include "core/Reasons.h"
#include "core/TreeFilter.h"
#include "core/TreeStats.h"
#include "support/CopyFileWhole.h"
#include "support/ScratchDisk.h"
#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

// What the copy told, in order. The copying threads call it too, so it takes its turns.
class RecordingProgress : public FunSub::CopyProgress {
public:
    void SetMax(std::int64_t max) override { Record("max " + std::to_string(max)); }
    void SetStep(std::int64_t step) override { Record("step " + std::to_string(step)); }
    void StepIt() override { Record("StepIt"); }
    void SetFromText(const std::string& text) override {
        Record(text);
        const std::lock_guard lock(m_mutex);
        from = text;
    }
    void SetToText(const std::string& text) override { Record(text); }
    void AddBytes(std::int64_t) override {
        if (duringCopy)
            duringCopy(From());
    }
    void FileCopied() override {
        if (afterFile)
            afterFile(++files);
    }
    void Syncing() override { Record("syncing"); }
    void Verifying(std::int64_t, std::int64_t) override {
        if (beforeVerify)
            beforeVerify();
    }
    std::vector<std::string> calls;
    std::string from;
    std::atomic<int> files{0};
    // Seams: run while a file is copied (with the from-text shown last), and after each file.
    std::function<void(const std::string&)> duringCopy;
    std::function<void(int)> afterFile;
    std::function<void()> beforeVerify;  // between the copy and its reading back

private:
    void Record(std::string call) {
        const std::lock_guard lock(m_mutex);
        calls.push_back(std::move(call));
    }
    std::string From() {
        const std::lock_guard lock(m_mutex);
        return from;
    }
    std::mutex m_mutex;
};

// Every path below `dir`, relative, directories marked with a trailing "/", links with
// " -> " and their text; the marker of an unfinished copy left out.
std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> out;
    if (!fs::exists(dir))
        return out;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string rel = it->path().lexically_relative(dir).string();
        if (rel == FunSub::kIncompleteMarker) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_symlink())
            out.insert(rel + " -> " + fs::read_symlink(it->path()).string());
        else
            out.insert(rel + (it->is_directory() ? "/" : ""));
    }
    return out;
}

class FilterCopyTest : public ::testing::Test {
protected:
    void SetUp() override {
        FunSub::ResetState();
        FunSub::WorkDir = m_tree.dir("work");
        FunSub::OutputDir = m_tree.dir("out");
        FunSub::SourceDir = m_tree.dir("work/proj");
        FunSub::TargetName = "proj-01";
        Filter(FunSub::FilterKind::Exclude, {});
    }
    void TearDown() override { FunSub::ResetState(); }

    // The main window's tree and file total, then the copy.
    FunSub::CopySummary Copy() {
        const FunSub::DirTree tree =
            FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
        FunSub::TreeFileTotal = FunSub::CollectTreeStats(tree).fileTotal;
        return FunSub::RunFilterCopy(Job(), tree, m_progress);
    }
    void Filter(FunSub::FilterKind mode, std::vector<std::string> types) {
        FunSub::FilterMode = mode;
        FunSub::SelectedTypes = std::move(types);
    }
    // The copy the program's state describes, run with `options`.
    static FunSub::CopyJob Job(const FunSub::CopyOptions& options = {}) {
        FunSub::CopyJob job = FunSub::CurrentCopyJob();
        job.options = options;
        return job;
    }
    std::string Target(const std::string& relative = "") const {
        return m_tree.path("out/proj-01") + (relative.empty() ? "" : "/" + relative);
    }
    void MixedSource() const {
        m_tree.file("work/proj/a.c", "int a;");
        m_tree.file("work/proj/.hidden", "h");
        m_tree.file("work/proj/sub/Notes.TXT", "notes");
        m_tree.file("work/proj/sub/README", "readme");
        m_tree.dir("work/proj/empty");
        m_tree.file("work/proj/.git/config", "x");
    }

    TempTree m_tree;
    RecordingProgress m_progress;
};

TEST_F(FilterCopyTest, ExcludeNothingCopiesEveryFileOutsideDotDirectories) {
    MixedSource();
    const FunSub::CopySummary s = Copy();
    EXPECT_EQ(Listing(Target()), (std::set<std::string>{"a.c", ".hidden", "sub/", "sub/Notes.TXT",
                                                        "sub/README", "empty/"}));
    EXPECT_EQ(ReadFile(Target("sub/Notes.TXT")), "notes");
    EXPECT_EQ(s.examined, 4);
    EXPECT_EQ(s.copied, 4);
    EXPECT_EQ(s.bytes, 6 + 1 + 5 + 6);
}

TEST_F(FilterCopyTest, KeepOnlyNothingMakesOnlyTheDirectories) {
    MixedSource();
    Filter(FunSub::FilterKind::KeepOnly, {});
    const FunSub::CopySummary s = Copy();
    EXPECT_EQ(Listing(Target()), (std::set<std::string>{"sub/", "empty/"}));
    EXPECT_EQ(s.examined, 4);
    EXPECT_EQ(s.copied, 0);
}

TEST_F(FilterCopyTest, TypesCompareLowerCasedAndExactly) {
    MixedSource();
    Filter(FunSub::FilterKind::KeepOnly, {".txt", FunSub::kNoExtension});
    Copy();
    EXPECT_EQ(Listing(Target()),
              (std::set<std::string>{"sub/", "sub/Notes.TXT", "sub/README", "empty/"}));

    fs::remove_all(Target());
    Filter(FunSub::FilterKind::Exclude, {".TXT", ".C"});  // no type key is ever upper case
    EXPECT_EQ(Copy().copied, 4);
}

// Rules leave out in either mode: a directory by its name (A-Z folded) or a pattern ending in
// "/" with all it holds, a file by a pattern of its name or by its size. The check counts
// what the copy then copies.
TEST_F(FilterCopyTest, RulesLeaveOutDirectoriesNamesAndLargeFilesInEitherMode) {
    m_tree.file("work/proj/app.js", "app");
    m_tree.file("work/proj/app.min.js", "minified");
    m_tree.file("work/proj/big.bin", std::string(2000, 'b'));
    m_tree.file("work/proj/Node_Modules/lib/x.js", "x");
    m_tree.file("work/proj/src/node_modules/y.js", "y");
    m_tree.file("work/proj/build-out/z.js", "z");
    m_tree.file("work/proj/src/main.js", "main");
    using FunSub::FilterKind;
    const struct {
        FilterKind mode;
        std::vector<std::string> types;
        FunSub::FilterRules rules;
        std::set<std::string> copied;
    } cases[] = {
        {FilterKind::Exclude,
         {},
         {{"node_modules"}, {"*.min.js", "build*/"}, 1000},
         {"app.js", "src/", "src/main.js"}},
        {FilterKind::KeepOnly,
         {".js"},
         {{"node_modules"}, {}, -1},
         {"app.js", "app.min.js", "build-out/", "build-out/z.js", "src/", "src/main.js"}},
        {FilterKind::Exclude,
         {".bin"},
         {{}, {"[a-b]*", "?ain.js"}, -1},
         {"Node_Modules/", "Node_Modules/lib/", "Node_Modules/lib/x.js", "build-out/",
          "build-out/z.js", "src/", "src/node_modules/", "src/node_modules/y.js"}},
    };
    for (const auto& c : cases) {
        FunSub::CopyJob job = Job();
        job.filter = FunSub::CopyFilter(c.mode, c.types, c.rules);
        const FunSub::DirTree tree =
            FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
        const FunSub::CopyPlan plan = FunSub::CheckCopy(job, tree);
        EXPECT_TRUE(plan.problems.empty()) << plan.problems.front().path;
        const FunSub::CopySummary s = FunSub::RunFilterCopy(job, tree, m_progress);
        EXPECT_EQ(Listing(Target()), c.copied);
        EXPECT_EQ(s.copied, plan.files);
        EXPECT_EQ(s.examined, plan.examined);
        EXPECT_TRUE(s.skipped.empty());
        fs::remove_all(Target());
    }
}

// Why a path is left out: the first rule that takes it, a directory above it before the
// path itself; nothing for what is copied; a path that is not there is an error.
TEST_F(FilterCopyTest, EachLeftOutPathSaysWhichRuleTakesIt) {
    m_tree.file("work/proj/node_modules/pkg/x.js", "x");
    m_tree.file("work/proj/src/app.min.js", "m");
    m_tree.file("work/proj/src/big.bin", std::string(100, 'b'));
    m_tree.file("work/proj/src/debug.log", "l");
    m_tree.file("work/proj/src/main.c", "c");
    m_tree.file("work/proj/.gitignore", "*.log\n");
    m_tree.file("work/proj/.cache/c.txt", "c");
    const FunSub::CopyFilter filter(FunSub::FilterKind::Exclude, {".c"},
                                    {{"node_modules"}, {"*.min.js"}, 50, true});
    const std::string source = FunSub::SourceDir;
    const std::pair<const char*, const char*> cases[] = {
        {"node_modules", "dir:node_modules"},
        {"node_modules/pkg/x.js", "dir:node_modules"},
        {"src/app.min.js", "name:*.min.js"},
        {"src/big.bin", "size:50"},
        {"src/debug.log", "gitignore:.gitignore"},
        {"./src/main.c", "type:.c"},
        {".cache/c.txt", "dot-directory"},
        {"src", ""},
        {".gitignore", ""},
    };
    for (const auto& [path, rule] : cases)
        EXPECT_EQ(FunSub::WhyLeftOut(source, path, filter), rule) << path;
    EXPECT_THROW(FunSub::WhyLeftOut(source, "src/none.c", filter), FunSub::QuillError);
    EXPECT_THROW(FunSub::WhyLeftOut(source, "src/main.c/x", filter), FunSub::QuillError);
    EXPECT_THROW(FunSub::WhyLeftOut(source, "../proj/src", filter), FunSub::QuillError);
}

TEST_F(FilterCopyTest, FromAndToTextsAndProgress) {
    FunSub::SourceDir = m_tree.dir("work/photos/2003");
    FunSub::TargetName = "2003-01";
    m_tree.file("work/photos/2003/skip.raw");
    m_tree.file("work/photos/2003/a/x.jpg", "jpeg");
    Filter(FunSub::FilterKind::KeepOnly, {".jpg"});
    Copy();
    EXPECT_EQ(m_progress.calls, (std::vector<std::string>{"max 2", "step 1", "StepIt", "StepIt",
                                                          "from: photos/2003/a/x.jpg",
                                                          "to: 2003-01/a/x.jpg", "syncing"}));
    EXPECT_EQ(ReadFile(m_tree.path("out/2003-01/a/x.jpg")), "jpeg");

    // A work directory changed since the source was chosen: shown from the source's parent.
    FunSub::WorkDir = m_tree.dir("elsewhere");
    FunSub::TargetName = "2003-02";
    m_progress.calls.clear();
    Copy();
    EXPECT_EQ(m_progress.calls.at(4), "from: 2003/a/x.jpg");
    EXPECT_EQ(m_progress.calls.at(5), "to: 2003-02/a/x.jpg");

    // A work directory that ends in a separator, as a hand-edited work.ini may have it: the
    // source dialog then names its directories with a doubled one.
    FunSub::WorkDir = m_tree.path("work") + "/";
    FunSub::SourceDir = FunSub::WorkDir + "/photos/2003";
    FunSub::TargetName = "2003-03";
    m_progress.calls.clear();
    Copy();
    EXPECT_EQ(m_progress.calls.at(4), "from: photos/2003/a/x.jpg");
}

// Scripts stay executable, as with cp -r; a copy is always readable and writable by its
// owner, also from a read-only or unreadable source; a private directory stays private; nothing
// gets setuid, setgid or sticky. Times are current.
TEST_F(FilterCopyTest, CopyKeepsRwxBitsReadableAndWritableByItsOwnerWithCurrentTimes) {
    const mode_t mask = umask(022);
    struct Row {
        std::string path;
        mode_t source;
        mode_t copy;
    } rows[] = {{"ro.dat", 0444, 0644},   {"run.sh", 06755, 0755}, {"tool.bin", 01750, 0750},
                {"none.dat", 0000, 0600}, {"wo.dat", 0200, 0600},  {"private/", 0700, 0700},
                {"shared/", 02775, 0755}, {"closed/", 0000, 0700}};
    for (const Row& r : rows) {
        const bool dir = r.path.back() == '/';
        const std::string path =
            dir ? m_tree.dir("work/proj/" + r.path)
                : m_tree.file("work/proj/" + r.path,
                              r.path == "tool.bin" ? std::string(5 << 20, 'x') : "data");
        chmod(path.c_str(), r.source);
    }
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, m_tree.path("work/proj/ro.dat").c_str(), old, 0);
    Copy();
    umask(mask);

    for (const Row& r : rows) {
        struct stat st {};
        ASSERT_EQ(stat(Target(r.path).c_str(), &st), 0) << r.path;
        EXPECT_EQ(st.st_mode & 07777, r.copy) << r.path;
    }
    struct stat st {};
    ASSERT_EQ(stat(Target("ro.dat").c_str(), &st), 0);
    EXPECT_GT(st.st_mtime, std::time(nullptr) - 3600);
    EXPECT_EQ(ReadFile(Target("ro.dat")), "data");
}

TEST_F(FilterCopyTest, ExistingTargetIsRefusedBeforeAnythingIsWritten) {
    m_tree.file("work/proj/a.c", "a");
    m_tree.file("out/proj-01/old.txt", "old");
    try {
        Copy();
        FAIL() << "copied into an existing target";
    } catch (const FunSub::TargetExistsError& e) {
        EXPECT_STREQ(e.what(), "目标目录已存在！请重新指定源目录");
    }
    EXPECT_EQ(Listing(Target()), (std::set<std::string>{"old.txt"}));
    EXPECT_TRUE(m_progress.calls.empty());

    fs::remove_all(Target());
    m_tree.file("out/proj-01", "a file in the way");
    EXPECT_THROW(Copy(), FunSub::TargetExistsError);
}

// What real trees hold besides files and directories: links are made again as the same
// links, pipes and sockets are passed over and reported, and a directory that shows up again
// below itself (a bind mount) is made empty: its files are neither counted nor copied again.
TEST_F(FilterCopyTest, LinksPipesSocketsAndLoopsOfRealTrees) {
    m_tree.file("work/proj/root.txt", "r");
    m_tree.file("work/proj/sub/s.txt", "s");
    ASSERT_EQ(symlink("..", m_tree.path("work/proj/sub/up").c_str()), 0);
    ASSERT_EQ(symlink("../gone/target.h", m_tree.path("work/proj/sub/dangling.h").c_str()), 0);
    ASSERT_EQ(symlink("s.txt", m_tree.path("work/proj/sub/alias.txt").c_str()), 0);
    ASSERT_EQ(mkfifo(m_tree.path("work/proj/pipe").c_str(), 0666), 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = m_tree.path("work/proj/sock");
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string again = m_tree.dir("work/proj/sub/again");
    const bool bound =
        mount(m_tree.path("work/proj").c_str(), again.c_str(), nullptr, MS_BIND, nullptr) == 0;

    const FunSub::CopySummary s = Copy();
    close(sock);
    if (bound)
        umount2(again.c_str(), MNT_DETACH);
    EXPECT_EQ(FunSub::TreeFileTotal, 7);  // the loop's files are not counted twice
    std::set<std::string> expected{"root.txt",
                                   "sub/",
                                   "sub/again/",
                                   "sub/alias.txt -> s.txt",
                                   "sub/dangling.h -> ../gone/target.h",
                                   "sub/s.txt",
                                   "sub/up -> .."};
    EXPECT_EQ(Listing(Target()), expected);
    EXPECT_EQ(s.examined, 7);
    EXPECT_EQ(s.copied, 5);
    ASSERT_EQ(s.skipped.size(), 2u);
    EXPECT_EQ(s.skipped[0].path, "pipe");
    EXPECT_EQ(s.skipped[1].path, "sock");
    EXPECT_EQ(s.skipped[1].reason, FunSub::kSpecialFileText);
}

// On a case-insensitive target, such as a USB stick, "README" and "readme" are one name: the
// second fails there and never replaces the first or merges into its directory.
TEST_F(FilterCopyTest, CaseInsensitiveTargetFailsRatherThanLosingAFile) {
    ScratchDisk disk = ScratchDisk::Exfat();
    if (disk.unavailable())
        GTEST_SKIP() << disk.reason();
    ASSERT_TRUE(disk.mounted()) << disk.reason();
    FunSub::OutputDir = disk.path();
    struct Case {
        std::string kept, keptContent, clash;
    } cases[] = {
        {"README", "first", "readme"},
        {"Big.bin", std::string(5 << 20, 'A'), "big.bin"},  // written invisibly, then named
        {"Sub/x.txt", "in Sub", "sub"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string source = "p" + std::to_string(++n);
        FunSub::SourceDir = m_tree.path("work/" + source);
        FunSub::TargetName = source + "-01";
        m_tree.file("work/" + source + "/" + c.kept, c.keptContent);
        m_tree.file("work/" + source + "/" + c.clash + (c.clash == "sub" ? "/x.txt" : ""), "other");
        const std::string target = disk.path() + "/" + FunSub::TargetName;
        try {
            Copy();
            ADD_FAILURE() << c.clash << " was copied over " << c.kept;
        } catch (const FunSub::QuillError& e) {
            EXPECT_EQ(e.what(), "Cannot create file " + target + "/" + c.clash);
        }
        EXPECT_EQ(ReadFile(target + "/" + c.kept), c.keptContent);
        EXPECT_EQ(Listing(target).size(), c.clash == "sub" ? 2u : 1u) << c.clash;
        EXPECT_TRUE(FunSub::TargetIncomplete(target)) << "a failed copy is not a whole one";
    }
}

// On exFAT through FUSE, which can neither rename without replacing nor link, a large file
// takes its name in two steps. Whatever comes between them, the name ends up holding one
// whole file or nothing: another file that the same name stands for ("big.dat" while
// "BIG.dat" is being named) is refused, and a file that cannot be named leaves no empty file
// behind under the name.
TEST_F(FilterCopyTest, ALargeFileOnExfatGetsItsNameWithoutReplacingAnother) {
    ScratchDisk disk = ScratchDisk::Exfat();
    if (disk.unavailable())
        GTEST_SKIP() << disk.reason();
    ASSERT_TRUE(disk.mounted()) << disk.reason();
    static std::string s_dir, s_other;
    static Platform::CopyOutcome s_between;
    s_other = m_tree.file("work/proj/big.dat", std::string(5 << 20, 'l'));
    const std::string upper = m_tree.file("work/proj/BIG.dat", std::string(5 << 20, 'U'));
    struct Row {
        const char* what;
        Platform::NamingHook between;
        Platform::CopyFailure failure;
        std::set<std::string> left;
    } rows[] = {
        {"the other file of that name is copied meanwhile",
         [](const std::string&) {
             s_between = Platform::CopyFileContent(s_other, s_dir + "/big.dat");
         },
         Platform::CopyFailure::None,
         {"BIG.dat"}},
        {"the written file is lost before its rename",
         [](const std::string&) {
             for (const auto& e : fs::directory_iterator(s_dir))
                 if (e.path().extension() == ".part")
                     fs::remove(e.path());
         },
         Platform::CopyFailure::Write,
         {}},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        s_dir = disk.path() + "/t" + std::to_string(++n);
        fs::create_directory(s_dir);
        s_between = {};
        Platform::SetNamingHook(row.between);
        const Platform::CopyOutcome outcome = Platform::CopyFileContent(upper, s_dir + "/BIG.dat");
        Platform::SetNamingHook(nullptr);
        EXPECT_EQ(outcome.failure, row.failure);
        EXPECT_EQ(Listing(s_dir), row.left);
        if (n == 1) {
            EXPECT_EQ(s_between.failure, Platform::CopyFailure::CreateDestination);
            EXPECT_EQ(s_between.error, EEXIST);
            EXPECT_EQ(ReadFile(s_dir + "/BIG.dat"), std::string(5 << 20, 'U'));
        }
    }
}

// A source file written to while it is copied is not reported as copied: the copy ends there,
// or, going on past items, leaves it out and lists it.
TEST_F(FilterCopyTest, ASourceFileChangedDuringItsCopyIsAFailedItem) {
    m_tree.file("work/proj/a.txt", "a");
    const std::string b = m_tree.file("work/proj/b.txt", "before");
    m_tree.file("work/proj/c.txt", "c");
    m_progress.duringCopy = [&](const std::string& from) {
        if (from.ends_with("b.txt"))
            std::ofstream(b, std::ios::app) << " and after";
    };
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    try {
        FunSub::RunFilterCopy(Job(), tree, m_progress);
        ADD_FAILURE() << "a changed file was reported as copied";
    } catch (const FunSub::QuillError& e) {
        EXPECT_EQ(e.what(), std::string(FunSub::kSourceChangedText) + "：" + b);
    }
    EXPECT_EQ(Listing(Target()), (std::set<std::string>{"a.txt"}));

    FunSub::TargetName = "proj-02";
    fs::remove_all(Target());
    const FunSub::CopySummary s = FunSub::RunFilterCopy(Job({true}), tree, m_progress);
    EXPECT_EQ(Listing(m_tree.path("out/proj-02")), (std::set<std::string>{"a.txt", "c.txt"}));
    ASSERT_EQ(s.skipped.size(), 1u);
    EXPECT_EQ(s.skipped[0].path, "b.txt");
}

// On exFAT through FUSE file times move in whole seconds, so a writer that rewrites a file
// within one second leaves its times as they were. A copy made while one rewrites a file in
// place, a quarter megabyte at a time, alternately all "A" and all "B", must never be reported
// as copied when it is torn: neither all one letter nor what the source holds once the writer
// has stopped.
TEST_F(FilterCopyTest, ASourceRewrittenWithinItsTimeStepIsNeverCopiedTorn) {
    ScratchDisk disk = ScratchDisk::Exfat();
    if (disk.unavailable())
        GTEST_SKIP() << disk.reason();
    ASSERT_TRUE(disk.mounted()) << disk.reason();
    constexpr std::size_t kChunk = 256 << 10, kSize = 12 * kChunk;
    FunSub::WorkDir = disk.path();
    FunSub::SourceDir = disk.path() + "/proj";
    fs::create_directory(FunSub::SourceDir);
    const std::string file = FunSub::SourceDir + "/f.bin";
    std::ofstream(file, std::ios::binary) << std::string(kSize, 'A');
    int torn = 0;
    for (int run = 1; run <= 6; ++run) {
        FunSub::TargetName = "proj-0" + std::to_string(run);
        std::atomic<bool> stop{false};
        std::atomic<int> passes{0};
        std::thread writer([&] {
            const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
            for (int pass = 0; fd >= 0 && !stop; ++pass, ++passes) {
                const std::string chunk(kChunk, pass % 2 ? 'B' : 'A');
                for (std::size_t at = 0; at < kSize; at += kChunk)
                    (void)!pwrite(fd, chunk.data(), kChunk, static_cast<off_t>(at));
            }
            close(fd);
        });
        while (passes < 2) std::this_thread::yield();
        bool copied = true;
        try {
            Copy();
        } catch (const FunSub::QuillError& e) {
            EXPECT_EQ(e.what(), std::string(FunSub::kSourceChangedText) + "：" + file);
            copied = false;
        }
        stop = true;
        writer.join();
        if (!copied)
            continue;
        const std::string copy = ReadFile(m_tree.path("out/" + FunSub::TargetName + "/f.bin"));
        torn += copy != std::string(kSize, 'A') && copy != std::string(kSize, 'B') &&
                copy != ReadFile(file);
    }
    EXPECT_EQ(torn, 0) << "torn copies reported as copied";
}

// A copy that goes on past single items still ends when the whole copy is lost: its target
// moved away or its source renamed while it ran.
TEST_F(FilterCopyTest, KeepingGoingEndsWhenARootIsGone) {
    for (int i = 0; i < 20; ++i)
        m_tree.file("work/proj/d" + std::to_string(i % 4) + "/f" + std::to_string(i), "x");
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    FunSub::TreeFileTotal = 20;
    const std::string source = FunSub::SourceDir;
    struct Row {
        std::string moved, to, message;
    } rows[] = {{"out/proj-01", "out/elsewhere",
                 std::string(FunSub::kTargetGoneText) + m_tree.path("out/proj-01")},
                {"work/proj", "work/renamed", std::string(FunSub::kSourceGoneText) + source}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.moved);
        fs::remove_all(m_tree.path("out"));
        m_tree.dir("out");
        m_progress.files = 0;
        m_progress.afterFile = [&](int files) {
            if (files == 5)
                fs::rename(m_tree.path(row.moved), m_tree.path(row.to));
        };
        try {
            FunSub::RunFilterCopy(Job({true}), tree, m_progress);
            ADD_FAILURE() << "the copy did not notice";
        } catch (const FunSub::QuillError& e) {
            EXPECT_EQ(e.what(), row.message);
        }
        fs::rename(m_tree.path(row.to), m_tree.path(row.moved));
    }
}

// "Done" means on the disk: when the copy returns, what it wrote has reached the device, as
// the file system's own count of what it wrote there shows.
TEST_F(FilterCopyTest, EverythingIsOnTheDiskWhenTheCopyReturns) {
    ScratchDisk disk = ScratchDisk::Ext4(128 << 20, 4096);
    if (disk.unavailable())
        GTEST_SKIP() << disk.reason();
    ASSERT_TRUE(disk.mounted()) << disk.reason();
    for (int i = 0; i < 64; ++i)
        m_tree.file("work/proj/f" + std::to_string(i), std::string(64 << 10, 'x'));
    m_tree.file("work/proj/large.bin", std::string(8 << 20, 'y'));
    FunSub::OutputDir = disk.path();
    struct stat st {};
    ASSERT_EQ(stat(disk.path().c_str(), &st), 0);
    const std::string written =
        "/sys/fs/ext4/" +
        fs::path(fs::canonical("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                               std::to_string(minor(st.st_dev))))
            .filename()
            .string() +
        "/lifetime_write_kbytes";
    auto kbytes = [&] { return std::stoll(ReadFile(written)); };
    sync();
    const long long before = kbytes();
    Copy();
    EXPECT_GE(kbytes() - before, (4 << 10) + (8 << 10)) << "written data still in memory";
    EXPECT_EQ(m_progress.calls.back(), "syncing");
    EXPECT_FALSE(FunSub::TargetIncomplete(Target()));
}

// The check looks at many directories at once: what it finds is what one walk would find.
TEST_F(FilterCopyTest, TheCheckOfManyDirectoriesIsTheSumOfItsParts) {
    for (int d = 0; d < 100; ++d) {
        for (int f = 0; f <= d % 3; ++f)
            m_tree.file(
                "work/proj/d" + std::to_string(d) + "/f" + std::to_string(f) + (f ? ".c" : ".o"),
                std::string(d, 'x'));
    }
    Filter(FunSub::FilterKind::Exclude, {".o"});
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    const FunSub::CopyPlan plan = FunSub::CheckCopy(Job(), tree);
    std::int64_t files = 0, bytes = 0, examined = 0;
    for (int d = 0; d < 100; ++d) {
        examined += d % 3 + 1;
        files += d % 3;
        bytes += static_cast<std::int64_t>(d) * (d % 3);
    }
    EXPECT_EQ(plan.directories, 101);
    EXPECT_EQ(plan.examined, examined);
    EXPECT_EQ(plan.files, files);
    EXPECT_EQ(plan.bytes, bytes);
    EXPECT_TRUE(plan.problems.empty());
}

// Verified, every copied file is read back and compared with its source: a copy changed or
// taken away between the copy and the reading back is listed, the equal ones are not.
TEST_F(FilterCopyTest, VerifyingListsTheCopiesThatDoNotMatch) {
    m_tree.file("work/proj/a.txt", "alpha");
    m_tree.file("work/proj/sub/b.txt", "bravo");
    m_tree.file("work/proj/sub/c.bin", std::string(3 << 20, 'c'));
    m_tree.file("work/proj/d.txt", "delta");
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    struct Row {
        std::string target;
        std::function<void(const std::string& copy)> change;
        std::vector<std::string> mismatches;  // path and word
    } rows[] = {
        {"proj-01", [](const std::string&) {}, {}},
        {"proj-02",
         [](const std::string& copy) { std::ofstream(copy + "/sub/b.txt") << "brAvo"; },
         {"sub/b.txt different"}},
        {"proj-03",
         [](const std::string& copy) {
             std::fstream f(copy + "/sub/c.bin", std::ios::in | std::ios::out | std::ios::binary);
             f.seekp((3 << 20) - 1);
             f.put('X');
         },
         {"sub/c.bin different"}},
        {"proj-04",
         [](const std::string& copy) { fs::remove(copy + "/d.txt"); },
         {"d.txt copy-unreadable"}},
#ifndef _WIN32
        // A source directory swapped for a link to an equal one is not read through the link.
        {"proj-05",
         [this](const std::string&) {
             fs::rename(m_tree.path("work/proj/sub"), m_tree.path("sub-away"));
             fs::copy(m_tree.path("sub-away"), m_tree.dir("elsewhere/sub"));
             fs::create_directory_symlink(m_tree.path("elsewhere/sub"),
                                          m_tree.path("work/proj/sub"));
         },
         {"sub/b.txt source-unreadable", "sub/c.bin source-unreadable"}},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        FunSub::TargetName = row.target;
        m_progress.beforeVerify = [&] { row.change(m_tree.path("out/" + row.target)); };
        FunSub::CopyOptions options;
        options.verify = true;
        const FunSub::CopySummary s = FunSub::RunFilterCopy(Job(options), tree, m_progress);
        EXPECT_EQ(s.verified, 4);
        std::vector<std::string> found;
        for (const FunSub::Mismatch& m : s.mismatches) found.push_back(m.path + " " + m.word);
        EXPECT_EQ(found, row.mismatches);
        // A copy that does not read back as its source is not done.
        EXPECT_EQ(FunSub::TargetIncomplete(m_tree.path("out/" + row.target)),
                  !row.mismatches.empty());
        EXPECT_EQ(FunSub::VerifyText(s), row.mismatches.empty()
                                             ? "校验通过：4 个文件"
                                             : "校验发现 " + std::to_string(row.mismatches.size()) +
                                                   " 个文件与源文件不符（已校验 4 个文件）");
    }
}

std::atomic<int> g_syncs{0};
std::atomic<int> g_failingSync{0};  // the number of the sync that fails, from 1

// Plays a disk whose write-back fails once: the sync numbered g_failingSync reports it.
int FailOneSync() {
    return ++g_syncs == g_failingSync ? EIO : 0;
}

// A sync that reports a failed write-back fails the copy and the target keeps its marker,
// whether the sync of the copy's end saw the failure or the one while it went on (the disk
// tells it only once): a copy that ends saying done after one of them lost data on the disk.
TEST_F(FilterCopyTest, AWriteBackThatFailedFailsTheCopy) {
    // More than the few megabytes after which the copy syncs while it goes on (a sparse file
    // costs nothing to copy); the listing of `later` waits, so that that sync comes before the
    // end.
    ASSERT_EQ(truncate(m_tree.file("work/proj/big.img", "").c_str(), std::int64_t{70} << 20), 0);
    m_tree.file("work/proj/later/a.txt", "a");
    Platform::SetListingHook([](const std::string& dir) {
        if (dir.find("later") != std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    Platform::SetSyncHook(FailOneSync);
    struct Row {
        int failing;  // 0: none
        int syncs;    // the syncs the copy asks for
    } rows[] = {{0, 2}, {1, 2}, {2, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failing);
        FunSub::TargetName = "proj-0" + std::to_string(row.failing + 1);
        g_syncs = 0;
        g_failingSync = row.failing;
        int error = 0;
        try {
            Copy();
        } catch (const FunSub::QuillError& e) {
            error = e.error();
        }
        EXPECT_EQ(g_syncs, row.syncs);
        EXPECT_EQ(error, row.failing ? EIO : 0);
        EXPECT_EQ(FunSub::TargetIncomplete(m_tree.path("out/" + FunSub::TargetName)),
                  row.failing != 0);
    }
    Platform::SetSyncHook(nullptr);
    Platform::SetListingHook(nullptr);
}

// A copy sends what it wrote to the disk while it goes on, a tree of small or empty files as
// well as one of larger ones, so that its end has little left to write and a copy killed on
// the way has files listed as durable.
TEST_F(FilterCopyTest, SmallFilesGoToTheDiskWhileTheCopyGoesOn) {
    struct Row {
        const char* what;
        int files;
        std::size_t size;
    } rows[] = {{"600 empty files", 600, 0}, {"200 files of 64 KiB", 200, 64 << 10}};
    FunSub::SetFileCopyHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
    Platform::SetSyncHook(FailOneSync);
    g_failingSync = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(m_tree.path("work/proj"));
        for (int i = 0; i < row.files; ++i)
            m_tree.file("work/proj/f" + std::to_string(i), std::string(row.size, 'x'));
        FunSub::TargetName = "proj-" + std::to_string(row.files);
        g_syncs = 0;
        Copy();
        EXPECT_GE(g_syncs, 2);  // the copy's last sync, and at least one before it
    }
    Platform::SetSyncHook(nullptr);
    FunSub::SetFileCopyHook(nullptr);
}

// A stop asked for after the last file is whole finds nothing left to stop: the copy is made
// durable and done. One asked for before leaves the rest uncopied and the target unfinished.
TEST_F(FilterCopyTest, AStopOnceEveryFileIsWholeLeavesADoneCopy) {
    for (int i = 0; i < 3; ++i) m_tree.file("work/proj/f" + std::to_string(i), "f");
    std::atomic<bool> stop{false};
    struct Row {
        int stopAfter;  // files
        bool stopped;
        int copied;
    } rows[] = {{3, false, 3}, {1, true, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stopAfter);
        FunSub::TargetName = "proj-0" + std::to_string(row.stopAfter);
        stop = false;
        m_progress.files = 0;
        m_progress.afterFile = [&](int files) {
            if (files == row.stopAfter)
                stop = true;
        };
        const FunSub::DirTree tree =
            FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
        FunSub::CopyOptions options;
        options.stop = FunSub::StopToken(&stop);
        options.jobs = 1;
        const FunSub::CopySummary s = FunSub::RunFilterCopy(Job(options), tree, m_progress);
        EXPECT_EQ(s.stopped, row.stopped);
        EXPECT_EQ(s.copied, row.copied);
        EXPECT_EQ(FunSub::TargetIncomplete(m_tree.path("out/" + FunSub::TargetName)), row.stopped);
    }
}

// A copy paused through its gate rests where it is, holding its files open and no lock, and
// goes on as it was when the gate opens: a source changed meanwhile is caught as any change
// during a copy is; paused while it reads back, nothing is read until it goes on, and a stop
// then ends the reading back without reading a file more.
TEST_F(FilterCopyTest, APausedCopyRestsWithItsFilesOpenAndGoesOnAsItWas) {
    const std::string big = m_tree.file("work/proj/big.bin", std::string(12 << 20, 'b'));
    for (int i = 0; i < 20; ++i) m_tree.file("work/proj/f" + std::to_string(i), "f");
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    struct Row {
        bool inVerify;  // paused when the reading back begins, else inside big.bin
    } rows[] = {{false}, {true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.inVerify ? "reading back" : "copying");
        FunSub::TargetName = row.inVerify ? "proj-02" : "proj-01";
        std::atomic<bool> stop{false};
        FunSub::PauseGate gate;
        FunSub::CopyOptions options;
        options.stop = FunSub::StopToken(FunSub::StopToken(&stop), &gate);
        options.jobs = 2;
        options.verify = row.inVerify;
        m_progress.files = 0;
        m_progress.afterFile = [](int) {};  // counts them
        std::atomic<bool> pausedOnce{false};
        m_progress.duringCopy = [&](const std::string& from) {
            if (!row.inVerify && from.ends_with("big.bin") && !pausedOnce.exchange(true))
                gate.Pause();
        };
        m_progress.beforeVerify = [&] {
            if (row.inVerify)
                gate.Pause();
        };
        FunSub::CopySummary summary;
        std::exception_ptr failure;
        std::thread copy([&] {
            try {
                FunSub::RunFilterCopy(Job(options), tree, m_progress, summary);
            } catch (...) {
                failure = std::current_exception();
            }
        });
        for (int i = 0; i < 2000 && !gate.Resting(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(gate.Resting()) << "never came to rest";
        const int files = m_progress.files;
        if (row.inVerify) {
            EXPECT_EQ(files, 21) << "every file copied, none read back";
            stop = true;
            gate.Wake();
        } else {
            EXPECT_LT(files, 21);
            // Others may go on reading, and writing, the source meanwhile.
            EXPECT_EQ(ReadFile(big).size(), std::size_t{12} << 20);
            std::ofstream(big, std::ios::app) << "more";
            gate.Resume();
        }
        copy.join();
        if (row.inVerify) {
            ASSERT_FALSE(failure);
            EXPECT_EQ(m_progress.files, files) << "read back after the stop";
            EXPECT_EQ(summary.verified, 0);
            EXPECT_TRUE(summary.stopped);
            EXPECT_EQ(FunSub::VerifyText(summary), "校验已停止：已校验 0 个文件");
        } else {
            ASSERT_TRUE(failure) << "a source changed while paused was reported as copied";
            try {
                std::rethrow_exception(failure);
            } catch (const FunSub::QuillError& e) {
                EXPECT_EQ(e.what(), std::string(FunSub::kSourceChangedText) + "：" + big);
            }
            EXPECT_FALSE(fs::exists(Target("big.bin")));
        }
    }
}

// Only a directory of the copy's own is its marker: a user's file of that name in a source
// does not make the source look unfinished, and the copy lists it as what it could not put
// beside its marker, copying the rest. The copy leaves nothing of its own in the output
// directory but the target.
TEST_F(FilterCopyTest, AFileNamedAsTheMarkerIsTheUsers) {
    m_tree.file("work/proj/.quillmere-incomplete", "mine");
    m_tree.file("work/proj/sub/.quillmere-incomplete", "mine too");
    m_tree.file("work/proj/a.txt", "a");
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    EXPECT_FALSE(FunSub::CheckCopy(Job(), tree).sourceIncomplete);
    const FunSub::CopySummary s = Copy();
    ASSERT_EQ(s.skipped.size(), 1u);
    EXPECT_EQ(s.skipped[0].path, ".quillmere-incomplete");
    EXPECT_EQ(FunSub::ReasonWord(FunSub::ReasonOf(s.skipped[0])), std::string("marker-name"));
    EXPECT_EQ(Listing(Target()),
              (std::set<std::string>{"a.txt", "sub/", "sub/.quillmere-incomplete"}));
    EXPECT_FALSE(FunSub::TargetIncomplete(Target()));
    EXPECT_EQ(Listing(m_tree.path("out")).count("proj-01/"), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_tree.path("out")), fs::directory_iterator()),
              1);
}

// The target gets its name in one step where the file system renames without replacing, and
// where it refuses to be asked so (FAT and exFAT through FUSE).
TEST_F(FilterCopyTest, TheTargetIsNamedOnEveryFileSystem) {
    m_tree.file("work/proj/a.txt", "a");
    m_tree.file("work/proj/sub/b.txt", "b");
    for (ScratchDisk (*make)() :
         {+[] { return ScratchDisk::Exfat(); }, +[] { return ScratchDisk::Fat(); }}) {
        ScratchDisk disk = make();
        if (disk.unavailable())
            GTEST_SKIP() << disk.reason();
        ASSERT_TRUE(disk.mounted()) << disk.reason();
        FunSub::OutputDir = disk.path();
        EXPECT_EQ(Copy().copied, 2);
        EXPECT_EQ(Listing(disk.path()),
                  (std::set<std::string>{"proj-01/", "proj-01/a.txt", "proj-01/sub/",
                                         "proj-01/sub/b.txt"}));
        EXPECT_FALSE(FunSub::TargetIncomplete(disk.path() + "/proj-01"));
    }
}

TEST_F(FilterCopyTest, EmptyTargetNameIsRefused) {
    m_tree.file("work/proj/a.c", "a");
    FunSub::TargetName.clear();
    EXPECT_THROW(Copy(), FunSub::QuillError);
    EXPECT_TRUE(Listing(m_tree.path("out")).empty());
    EXPECT_TRUE(m_progress.calls.empty());
}

TEST_F(FilterCopyTest, VanishedSourceDirectoryStopsTheCopyThere) {
    m_tree.file("work/proj/f1", "1");
    m_tree.file("work/proj/a/f2", "2");
    m_tree.file("work/proj/a/b/f3", "3");
    m_tree.file("work/proj/a/b/c/f4", "4");
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    fs::remove_all(m_tree.path("work/proj/a/b"));
    try {
        FunSub::RunFilterCopy(Job(), tree, m_progress);
        FAIL() << "no error for a vanished directory";
    } catch (const FunSub::QuillError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    EXPECT_EQ(ReadFile(Target("f1")), "1");
    EXPECT_EQ(ReadFile(Target("a/f2")), "2");
    EXPECT_FALSE(fs::exists(Target("a/b/c")));
    EXPECT_EQ(std::count(m_progress.calls.begin(), m_progress.calls.end(), "StepIt"), 2);
}

// Runs `work` in a child process whose files may not grow past 64 KiB, and returns the
// message of the error it ended with.
std::string WithSmallFileLimit(const std::function<void()>& work) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // so that the write fails instead of the process
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string message = "no error";
        try {
            work();
        } catch (const FunSub::QuillError& e) {
            message = e.what();
        }
        (void)!write(pipeFds[1], message.data(), message.size());
        _exit(0);
    }
    close(pipeFds[1]);
    char buf[256];
    const ssize_t n = child > 0 ? read(pipeFds[0], buf, sizeof buf) : 0;
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

TEST_F(FilterCopyTest, FailedWriteLeavesNoPartialFile) {
    m_tree.file("work/proj/small.txt", "small");
    m_tree.file("work/proj/sub/big.bin", std::string(1 << 20, 'b'));
    m_tree.file("work/proj/sub/zz/later.txt", "later");
    const FunSub::DirTree tree =
        FunSub::BuildDirTree(FunSub::SourceDir, FunSub::RootLabel::ShortenDriveRoot);
    EXPECT_EQ(WithSmallFileLimit([&] { FunSub::RunFilterCopy(Job(), tree, m_progress); }),
              "Stream write error");
    EXPECT_EQ(ReadFile(Target("small.txt")), "small");
    EXPECT_FALSE(fs::exists(Target("sub/big.bin")));
}

// Between two file systems the kernel will not copy by itself, and plain reads and writes
// through the one buffer do it instead.
TEST_F(FilterCopyTest, CopyAcrossFileSystems) {
    // The source on a tmpfs of its own, or on /dev/shm where none can be mounted.
    const ScratchDisk disk = ScratchDisk::Tmpfs(16 << 20);
    const std::string other = disk.mounted() ? disk.path() : "/dev/shm";
    struct stat shm {
    }, tmp{};
    if (stat(other.c_str(), &shm) != 0 || stat(m_tree.root().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev)
        GTEST_SKIP() << "no second file system at " << other;
    const std::string src = other + "/quillmere-copy-test-" + std::to_string(getpid());
    std::string content((5 << 19) + 7, '\0');  // two and a half buffers
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
    std::FILE* f = std::fopen(src.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);

    const std::string dst = m_tree.path("out/across.bin");
    EXPECT_EQ(CopyFileWhole(src, dst), static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(ReadFile(dst), content);
    fs::remove(dst);
    EXPECT_EQ(WithSmallFileLimit([&] { CopyFileWhole(src, dst); }), "Stream write error");
    EXPECT_FALSE(fs::exists(dst));
    unlink(src.c_str());
}

TEST_F(FilterCopyTest, SparseFileAboveTwoGiBIsCopiedWholeAndStaysSparse) {
    const std::int64_t size = (std::int64_t{3} << 30) + 5;
    const std::string src = m_tree.sparseFile("work/proj/big.img", size);
    const std::int64_t offsets[] = {0, (std::int64_t{1} << 31) + 7, size - 100};
    const int fd = open(src.c_str(), O_WRONLY);
    for (std::int64_t off : offsets) {
        const std::string block = "block at " + std::to_string(off);
        ASSERT_EQ(pwrite(fd, block.data(), block.size(), off), static_cast<ssize_t>(block.size()));
    }
    close(fd);

    const std::string dst = m_tree.path("out/big.img");
    EXPECT_EQ(CopyFileWhole(src, dst), size);
    struct stat st {};
    ASSERT_EQ(stat(dst.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, size);
    EXPECT_LT(st.st_blocks * 512, 64 << 20);
    const int in = open(dst.c_str(), O_RDONLY);
    for (std::int64_t off : offsets) {
        const std::string block = "block at " + std::to_string(off);
        std::string got(block.size() + 1, '?');
        const ssize_t n = pread(in, got.data(), got.size(), off);
        got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        EXPECT_EQ(got, block + '\0');
    }
    close(in);
}

TEST_F(FilterCopyTest, NamesThatAreNotUtf8KeepTheirBytes) {
    m_tree.file("work/proj/d\xe9j\xe0/f\xff\xfe.bin", "bytes");
    Copy();
    EXPECT_EQ(ReadFile(Target("d\xe9j\xe0/f\xff\xfe.bin")), "bytes");
}

TEST_F(FilterCopyTest, CopyFileWholeFailures) {
    // The message the copy of `src` to `dst` fails with; nothing may be left at `dst`.
    auto failure = [](const std::string& src, const std::string& dst) -> std::string {
        std::string message = "no error";
        try {
            CopyFileWhole(src, dst);
        } catch (const FunSub::QuillError& e) {
            message = e.what();
        }
        EXPECT_FALSE(fs::is_regular_file(dst)) << dst;
        return message;
    };
    const std::string missing = m_tree.path("work/none.c");
    EXPECT_EQ(failure(missing, m_tree.path("out/none.c")), "Cannot open file " + missing);

    const std::string src = m_tree.file("work/a.c", "a");
    const std::string noDir = m_tree.path("out/no/such/a.c");
    EXPECT_EQ(failure(src, noDir), "Cannot create file " + noDir);
    const std::string aDir = m_tree.dir("out/adir");
    EXPECT_EQ(failure(src, aDir), "Cannot create file " + aDir);

    // A named pipe is refused at once rather than waited on.
    const std::string fifo = m_tree.path("work/pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(failure(fifo, m_tree.path("out/pipe")), "Cannot open file " + fifo);
}

TEST_F(FilterCopyTest, CopyFileWholeNeverReplacesAnExistingFile) {
    const std::string dst = m_tree.file("out/a.c", "older");
    for (const std::string& src :
         {m_tree.file("work/a.c", "new"), m_tree.file("work/big.c", std::string(5 << 20, 'b'))}) {
        try {
            CopyFileWhole(src, dst);
            ADD_FAILURE() << "replaced " << dst;
        } catch (const FunSub::QuillError& e) {
            EXPECT_EQ(e.what(), "Cannot create file " + dst);
        }
        EXPECT_EQ(ReadFile(dst), "older");
    }
    EXPECT_EQ(Listing(m_tree.path("out")), (std::set<std::string>{"a.c"}));  // no temporary left
}

}  // namespace
