#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "support/CliRun.h"
#include "support/ScratchDisk.h"
#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

class CliCopyTest : public ::testing::Test {
protected:
    // Runs quillmere-cli with `args`; `shellPrefix` goes before it in the shell command.
    CliRun Cli(const std::vector<std::string>& args, const std::string& shellPrefix = "") {
        return RunCli(m_tree, args, QUILLMERE_CLI_PATH, shellPrefix);
    }

    // Starts quillmere-cli with `args` in the background, its output going where Cli's does;
    // with `ownGroup` in a process group of its own, as a shell's job is.
    pid_t Start(const std::vector<std::string>& args, bool ownGroup = false) {
        const pid_t child = fork();
        if (child == 0) {
            if (ownGroup)
                setpgid(0, 0);
            freopen(m_tree.path("cli.out").c_str(), "w", stdout);
            freopen(m_tree.path("cli.err").c_str(), "w", stderr);
            std::vector<char*> argv{const_cast<char*>("quillmere-cli")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(QUILLMERE_CLI_PATH, argv.data());
            _exit(127);
        }
        return child;
    }

    // The same, with SIGINT ignored as a script's background job inherits it.
    pid_t StartIgnoringSigint(const std::vector<std::string>& args) {
        std::signal(SIGINT, SIG_IGN);
        const pid_t child = Start(args);
        std::signal(SIGINT, SIG_DFL);
        return child;
    }

    TempTree m_tree;
};

// True once the process `pid` has its own handler for `signal`.
bool Catches(pid_t pid, int signal) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("SigCgt:");
    return at != std::string::npos &&
           (std::stoull(status.substr(at + 7, 24), nullptr, 16) >> (signal - 1) & 1) != 0;
}

// True while `pid` holds a file below `dir` open.
bool HoldsOpenBelow(pid_t pid, const std::string& dir) {
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(fds.c_str());
    bool found = false;
    while (dirent* e = d && !found ? readdir(d) : nullptr) {
        char link[4096];
        const ssize_t n = readlink((fds + "/" + e->d_name).c_str(), link, sizeof link);
        const std::string path(link, n > 0 ? static_cast<std::size_t>(n) : 0);
        // The marker of an unfinished copy is open from the start, and the copy's record and
        // list of whole files are written inside it; a file being copied is what counts.
        const bool record = path.find("/.quillmere-incomplete/copy-job") != std::string::npos ||
                            path.find("/.quillmere-incomplete/durable") != std::string::npos;
        found = path.rfind(dir, 0) == 0 && !path.ends_with("/.quillmere-incomplete") && !record;
    }
    if (d)
        closedir(d);
    return found;
}

// One JSON object on one line, as a script reads it.
bool OneJsonLine(const std::string& out) {
    return out.size() > 2 && out.front() == '{' && out.ends_with("}\n") &&
           out.find('\n') == out.size() - 1;
}

// How tests run the command line as an ordinary user, for whom permissions count.
std::string AsOrdinaryUserPrefix() {
    return geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
}

// What a filtered copy of `src` must hold, worked out with std::filesystem alone: every
// directory not beginning with ".", every other entry that the filter lets through. Maps
// relative paths to contents ("/" for a directory).
std::map<std::string, std::string> Expected(const fs::path& src,
                                            const std::function<bool(const std::string&)>& keep) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(src); it != fs::recursive_directory_iterator();
         ++it) {
        const std::string name = it->path().filename().string();
        const std::string rel = fs::relative(it->path(), src).string();
        if (it->is_directory()) {
            if (name[0] == '.') {
                it.disable_recursion_pending();
            } else {
                out[rel] = "/";
            }
            continue;
        }
        const auto dot = name.rfind('.');
        std::string type = dot == std::string::npos ? "无扩展名" : name.substr(dot);
        for (char& c : type) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (keep(type))
            out[rel] = ReadFile(it->path().string());
    }
    return out;
}

std::map<std::string, std::string> Actual(const fs::path& target) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(target)) {
        out[fs::relative(e.path(), target).string()] =
            e.is_directory() ? "/" : ReadFile(e.path().string());
    }
    return out;
}

TEST_F(CliCopyTest, CopyHoldsWhatTheFilterKeeps) {
    const char* names[] = {"main.c",           "main.o",       "LIB.O",
                           "Makefile",         ".env",         "x.tar.gz",
                           "doc/a.TXT",        "doc/b.o",      "doc/deep/er/c.c",
                           "doc/deep/README",  ".git/HEAD",    ".git/o/x.o",
                           "build/.cache/k.o", "build/out.obj"};
    int i = 0;
    for (const char* n : names) {
        ++i;
        m_tree.file(std::string("work/src/") + n, std::string(i * 100, static_cast<char>('a' + i)));
    }
    m_tree.dir("work/src/empty/inner");
    const std::string src = m_tree.path("work/src"), out = m_tree.dir("out");

    const CliRun r = Cli({"copy", src, out, "--exclude", ".o", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto expected = Expected(src, [](const std::string& t) { return t != ".o"; });
    EXPECT_EQ(Actual(out + "/src-01"), expected);
    std::int64_t files = 0, bytes = 0;
    for (const auto& [rel, content] : expected) {
        if (content != "/")
            ++files, bytes += static_cast<std::int64_t>(content.size());
    }
    const auto all = Expected(src, [](const std::string&) { return true; });
    const auto examined =
        std::count_if(all.begin(), all.end(), [](const auto& e) { return e.second != "/"; });
    EXPECT_EQ(r.out, "{\"target\":\"src-01\",\"examined\":" + std::to_string(examined) +
                         ",\"copied\":" + std::to_string(files) +
                         ",\"bytes\":" + std::to_string(bytes) +
                         ",\"skipped\":[],\"stopped\":false,\"paused_seconds\":0.00}\n");

    const CliRun keep = Cli({"copy", src, out, "--keep-only", ".c", "--keep-only", "无扩展名"});
    ASSERT_EQ(keep.status, 0) << keep.err;
    EXPECT_EQ(Actual(out + "/src-02"),
              Expected(src, [](const std::string& t) { return t == ".c" || t == "无扩展名"; }));
    EXPECT_EQ(Cli({"name", src, out}).out, "src-03\n");

    // Read back and compared: every copied file matches.
    const CliRun verified = Cli({"copy", src, out, "--verify", "--json"});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_TRUE(verified.out.ends_with(",\"stopped\":false,\"paused_seconds\":0.00,\"verified\":" +
                                       std::to_string(examined) + ",\"mismatches\":[]}\n"))
        << verified.out;
}

TEST_F(CliCopyTest, VerboseShowsTheFromAndToTexts) {
    m_tree.file("work/photos/2003/a/x.jpg", "jpeg");
    const std::string out = m_tree.dir("out");
    CliRun r = Cli({"copy", m_tree.path("work/photos/2003"), out, "--verbose"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("\n", r.out.find("to: ")) + 1),
              "from: 2003/a/x.jpg\nto: 2003-01/a/x.jpg\n");

    r = Cli(
        {"copy", m_tree.path("work/photos/2003"), out, "--verbose", "--work", m_tree.path("work")});
    EXPECT_EQ(r.out.substr(0, r.out.find("\n", r.out.find("to: ")) + 1),
              "from: photos/2003/a/x.jpg\nto: 2003-02/a/x.jpg\n");
}

TEST_F(CliCopyTest, ExitStatus) {
    const std::string src = m_tree.dir("work/src"), out = m_tree.dir("out");
    EXPECT_EQ(Cli({"copy", src, out, "--exclude", ".o", "--keep-only", ".c"}).status, 2);
    EXPECT_EQ(Cli({"copy", src, out, "--exclud", ".o"}).status, 2);
    EXPECT_EQ(Cli({"copy", src}).status, 2);
    const CliRun missing = Cli({"copy", m_tree.path("work/none"), out});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("File not found"), std::string::npos) << missing.err;
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(CliCopyTest, AnOutputDirectoryInsideTheSourceIsRefused) {
    m_tree.file("work/src/f.txt", "x");
    const std::string src = m_tree.path("work/src");
    const std::string inside = m_tree.dir("work/src/a");
    ASSERT_EQ(symlink(inside.c_str(), m_tree.path("link").c_str()), 0);
    for (const std::string& out : {src, inside, m_tree.path("link"), m_tree.path("work/src/new")}) {
        const CliRun r = Cli({"copy", src, out});
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_NE(r.err.find("输出目录位于源目录之内，不能复制"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Actual(src), (std::map<std::string, std::string>{{"a", "/"}, {"f.txt", "x"}}));
}

// A copy killed at any moment (kill -9, a power cut) cannot pass for a whole one: a large file
// appears under its name only when whole, and the target says it is unfinished until the
// copy has ended, which statistics and checks report; what the killed copy left behind is
// never counted or copied as data.
TEST_F(CliCopyTest, KilledCopyCannotPassForAWholeOne) {
    std::string large(std::size_t{64} << 20, '\0');
    for (std::size_t i = 0; i < large.size(); i += 4096) large[i] = static_cast<char>(i >> 12);
    struct Row {
        const char* what;
        bool exfat;
        int files;
        std::size_t size;
    } rows[] = {{"a large file", false, 1, large.size()},
                {"small files", false, 200, 128 << 10},
                {"a large file on exFAT, which has no unnamed files", true, 1, large.size()}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::optional<ScratchDisk> disk;
        if (row.exfat) {
            disk.emplace(ScratchDisk::Exfat(std::int64_t{256} << 20));
            if (disk->unavailable())
                GTEST_SKIP() << disk->reason();
            ASSERT_TRUE(disk->mounted()) << disk->reason();
        }
        fs::remove_all(m_tree.path("work"));
        for (int i = 0; i < row.files; ++i)
            m_tree.file("work/src/f" + std::to_string(i) + ".bin", large.substr(0, row.size));
        // Killed as soon as it holds a file open in the target; a busy machine may let a copy
        // finish before that is seen, so it may take more than one try.
        std::string target;
        bool killed = false;
        for (int attempt = 0; attempt < 5 && !killed; ++attempt) {
            const std::string out = row.exfat ? disk->path() + "/o" + std::to_string(attempt)
                                              : m_tree.dir("out/" + std::to_string(attempt));
            fs::create_directories(out);
            target = out + "/src-01";
            const pid_t child = Start({"copy", m_tree.path("work/src"), out});
            ASSERT_GT(child, 0);
            while (!killed && waitpid(child, nullptr, WNOHANG) == 0) {
                if (HoldsOpenBelow(child, target + "/"))
                    killed = kill(child, SIGKILL) == 0;
            }
            waitpid(child, nullptr, 0);
        }
        ASSERT_TRUE(killed) << "every copy ended before it could be killed";
        int whole = 0;
        for (const auto& [rel, got] : Actual(target)) {
            if (rel.rfind(".quillmere-incomplete", 0) == 0 || got == "/")
                continue;
            if (row.files == 1) {
                EXPECT_EQ(got.size(), row.size) << rel << " is short";
            }
            whole += got.size() == row.size;
        }
        const CliRun stats = Cli({"stats", target, "--json"});
        EXPECT_NE(stats.out.find("\"incomplete\":true"), std::string::npos) << stats.out;
        if (row.files == 1) {
            EXPECT_EQ(
                stats.out.rfind("{\"directories\":1,\"files\":" + std::to_string(whole) + ",", 0),
                0u)
                << stats.out;
        }
        const CliRun again = Cli({"copy", target, m_tree.dir("again"), "--json"});
        EXPECT_NE(again.out.find("\"target\":\"src-01-01\""), std::string::npos)
            << again.out << again.err;
        for (const auto& [rel, got] : Actual(m_tree.path("again/src-01-01")))
            EXPECT_EQ(rel.find(".quillmere"), std::string::npos) << rel;
        fs::remove_all(m_tree.path("again"));
    }
}

// SIGINT (Ctrl+C) and SIGTERM stop the copy after the files in progress: whole files only, a
// summary that says it was stopped, and a target that says it is unfinished.
TEST_F(CliCopyTest, InterruptedCopyStopsAfterAWholeFile) {
    for (int i = 0; i < 2000; ++i) {
        m_tree.file("work/src/d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".bin",
                    std::string(16 << 10, static_cast<char>('a' + i % 26)));
    }
    const auto source = Actual(m_tree.path("work/src"));
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        int status = 0;
        std::string target;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::string out =
                m_tree.dir("out" + std::to_string(signal) + "-" + std::to_string(attempt));
            target = out + "/src-01";
            const pid_t child = Start({"copy", m_tree.path("work/src"), out, "--json"});
            ASSERT_GT(child, 0);
            while (waitpid(child, &status, WNOHANG) == 0 && !fs::exists(target + "/d0")) {
            }
            kill(child, signal);
            waitpid(child, &status, 0);
            if (WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal)
                break;
        }
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal)
            << "never stopped mid-way";
        EXPECT_NE(ReadFile(m_tree.path("cli.out")).find("\"stopped\":true"), std::string::npos);
        EXPECT_TRUE(fs::is_directory(target + "/.quillmere-incomplete"));
        fs::remove_all(target + "/.quillmere-incomplete");
        const auto copied = Actual(target);
        EXPECT_LT(copied.size(), source.size());
        for (const auto& [rel, content] : copied) EXPECT_EQ(content, source.at(rel)) << rel;
    }
}

// A copy held by Ctrl-Z (SIGTSTP) or SIGSTOP goes on at SIGCONT as if nothing had happened, and
// its summary says how long it stood still ("paused_seconds"): the time its rate leaves out.
TEST_F(CliCopyTest, AStoppedCopyGoesOnAndCountsTheTimeItStoodStill) {
    for (int i = 0; i < 2000; ++i) {
        m_tree.file("work/src/d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".bin",
                    std::string(16 << 10, static_cast<char>('a' + i % 26)));
    }
    const auto source = Actual(m_tree.path("work/src"));
    for (const int signal : {SIGTSTP, SIGSTOP}) {
        SCOPED_TRACE(signal);
        int status = 0;
        bool held = false;
        std::string target;
        double wall = 0;
        for (int attempt = 0; attempt < 5 && !held; ++attempt) {
            const std::string out =
                m_tree.dir("out" + std::to_string(signal) + "-" + std::to_string(attempt));
            target = out + "/src-01";
            const auto began = std::chrono::steady_clock::now();
            // A job of its own: a stop from the terminal is not lost on an orphaned group.
            const pid_t child = Start({"copy", m_tree.path("work/src"), out, "--json"}, true);
            ASSERT_GT(child, 0);
            while (waitpid(child, &status, WNOHANG) == 0 && !fs::exists(target + "/d0")) {
            }
            kill(child, signal);
            held = waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status);
            if (held) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                kill(child, SIGCONT);
                waitpid(child, &status, 0);
            }
            wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        }
        ASSERT_TRUE(held) << "every copy ended before it could be stopped";
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        const std::string json = ReadFile(m_tree.path("cli.out"));
        const auto at = json.find("\"paused_seconds\":");
        ASSERT_NE(at, std::string::npos) << json;
        const double paused = std::stod(json.substr(at + 17));
        EXPECT_GE(paused, 1.4) << json;
        EXPECT_LT(paused, wall) << json;
        EXPECT_FALSE(fs::exists(target + "/.quillmere-incomplete"));
        EXPECT_EQ(Actual(target), source);
    }
}

// A target too small for the copy is found before anything is written, and the copy is
// refused unless forced; forced, the full disk still ends it, leaving no half file.
TEST_F(CliCopyTest, TooLittleSpaceIsFoundBeforeAnythingIsWritten) {
    ScratchDisk disk = ScratchDisk::Tmpfs(1 << 20);
    if (disk.unavailable())
        GTEST_SKIP() << disk.reason();
    ASSERT_TRUE(disk.mounted()) << disk.reason();
    m_tree.file("work/src/big.bin", std::string(3 << 20, 'x'));
    m_tree.file("work/src/small.txt", "s");
    const std::string src = m_tree.path("work/src");

    CliRun r = Cli({"check", src, disk.path(), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"kind\":\"no-space\",\"path\":\"\",\"detail\":\"需要 3.0 "
                         "MB（含每个文件所占的整块），可用 "),
              std::string::npos)
        << r.out;
    r = Cli({"copy", src, disk.path(), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.out.rfind("{\"error\":\"目标磁盘空间不足：需要 3.0 MB（含每个文件所占的整块），可用 ", 0),
        0u)
        << r.out;
    EXPECT_TRUE(fs::is_empty(disk.path()));

    // One file after the other, so that the full disk ends it before the small file.
    r = Cli({"copy", src, disk.path(), "--force", "--keep-going", "--jobs", "1", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("{\"error\":\"Stream write error: " + src +
                              "/big.bin\",\"code\":\"no-space\",\"target\":\"src-01\",",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\"copied\":0,\"bytes\":0,"), std::string::npos) << r.out;
    // Nothing but the target with its marker and the copy's record, by which it can be finished.
    auto held = Actual(disk.path());
    EXPECT_NE(held["src-01/.quillmere-incomplete/copy-job.txt"].find(src), std::string::npos);
    held.erase("src-01/.quillmere-incomplete/copy-job.txt");
    EXPECT_EQ(held, (std::map<std::string, std::string>{{"src-01", "/"},
                                                        {"src-01/.quillmere-incomplete", "/"}}));
}

// A disk that takes data in and then cannot write it back (a failing stick, a thin-provisioned
// disk) tells so once, at a sync: whichever sync of the copy that is, the copy fails, with
// or without reading back, and its target keeps its marker, so stats and diff say so too.
TEST_F(CliCopyTest, ADiskThatLosesWrittenDataFailsTheCopy) {
    for (int i = 0; i < 19; ++i)
        m_tree.file("work/src/f" + std::to_string(i) + ".bin", std::string(3670016, 'a' + i));
    for (int i = 0; i < 3000; ++i) m_tree.file("work/src/many/" + std::to_string(i));
    const std::string src = m_tree.path("work/src");
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        ScratchDisk disk = ScratchDisk::ThinExt4(std::int64_t{256} << 20, std::int64_t{60} << 20);
        if (disk.unavailable())
            GTEST_SKIP() << disk.reason();
        ASSERT_TRUE(disk.mounted()) << disk.reason();
        const std::string out = disk.path() + "/out";
        fs::create_directory(out);
        std::vector<std::string> args{"copy", src, out, "--jobs", "1", "--json"};
        if (verify)
            args.push_back("--verify");
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_TRUE(fs::is_directory(out + "/src-01/.quillmere-incomplete")) << r.out;
        EXPECT_EQ(Cli({"diff", src, out + "/src-01", "--json"}).status, 1);
    }
}

// On a FAT-style target a name with ":" and two names that differ only in case are found
// before anything is written; with --keep-going both are passed over and listed, and
// everything else is copied byte for byte.
TEST_F(CliCopyTest, WhatAFatTargetCannotHoldIsFoundFirstAndPassedOverOnRequest) {
    ScratchDisk disk = ScratchDisk::Exfat();
    if (disk.unavailable())
        GTEST_SKIP() << disk.reason();
    ASSERT_TRUE(disk.mounted()) << disk.reason();
    m_tree.file("work/src/a:b.txt", "colon");
    m_tree.file("work/src/README", "upper");
    m_tree.file("work/src/readme", "lower");
    m_tree.file("work/src/plain.txt", "plain");
    m_tree.file("work/src/sub/keep.c", "keep");
    const std::string src = m_tree.path("work/src");

    CliRun r = Cli({"check", src, disk.path(), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("{\"kind\":\"name-not-allowed\",\"path\":\"a:b.txt\""), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"kind\":\"name-clash\",\"path\":\"readme\",\"detail\":\"README\""),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(fs::is_empty(disk.path()));

    r = Cli({"copy", src, disk.path(), "--keep-going", "--json"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find("\"skipped\":[{\"path\":\"a:b.txt\",\"reason\":\"invalid-name\","),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"path\":\"readme\",\"reason\":\"name-clash\",\"error\":17,"),
              std::string::npos)
        << r.out;
    r = Cli({"copy", src, disk.path(), "--keep-going"});
    EXPECT_NE(
        r.out.find(
            "\n  skipped a:b.txt：名称不能用于目标磁盘\n  skipped readme：与另一名称只差大小写\n"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(
        Actual(disk.path() + "/src-01"),
        (std::map<std::string, std::string>{
            {"README", "upper"}, {"plain.txt", "plain"}, {"sub", "/"}, {"sub/keep.c", "keep"}}));
}

// Two large files that differ only in case, copied onto exFAT through FUSE by two threads at
// once: each run keeps one of them whole and lists the other as a clash, never counts both as
// copied while one replaced the other. The race lies in a moment, so the copy is run many times.
TEST_F(CliCopyTest, TwoLargeFilesOfOneNameOnExfatNeverBothCountAsCopied) {
    ScratchDisk disk = ScratchDisk::Exfat();
    if (disk.unavailable())
        GTEST_SKIP() << disk.reason();
    ASSERT_TRUE(disk.mounted()) << disk.reason();
    const std::map<std::string, std::string> sources{{"BIG.dat", std::string(8 << 20, 'U')},
                                                     {"big.dat", std::string(8 << 20, 'l')}};
    for (const auto& [name, content] : sources) m_tree.file("work/src/" + name, content);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const CliRun r = Cli({"copy", m_tree.path("work/src"), disk.path(), "--jobs", "2",
                              "--keep-going", "--json"});
        EXPECT_EQ(r.status, 3) << r.out;
        EXPECT_NE(r.out.find("\"copied\":1,"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"reason\":\"name-clash\",\"error\":17,"), std::string::npos)
            << r.out;
        const std::map<std::string, std::string> left = Actual(disk.path() + "/src-01");
        ASSERT_EQ(left.size(), 1u) << r.out;
        EXPECT_EQ(left.begin()->second, sources.at(left.begin()->first));
        fs::remove_all(disk.path() + "/src-01");
    }
}

// What this user cannot read is listed by the check; the copy ends at the first such item,
// or with --keep-going lists them all and copies the rest.
TEST_F(CliCopyTest, UnreadableFilesAndDirectoriesOfAnOrdinaryUser) {
    m_tree.file("work/src/a.txt", "a");
    const std::string locked = m_tree.file("work/src/locked.txt", "secret");
    const std::string shut = m_tree.dir("work/src/shut");
    m_tree.file("work/src/shut/inner.txt", "inner");
    m_tree.file("work/src/z.txt", "z");
    chmod(locked.c_str(), 0);
    chmod(shut.c_str(), 0);
    chmod(m_tree.root().c_str(), 0755);
    const std::string out = m_tree.dir("out");
    chmod(out.c_str(), 0777);
    const std::string src = m_tree.path("work/src");
    const std::string user = AsOrdinaryUserPrefix();

    CliRun r = Cli({"check", src, out, "--json"}, user);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("{\"kind\":\"unreadable-file\",\"path\":\"locked.txt\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("{\"kind\":\"unreadable-directory\",\"path\":\"shut\",\"detail\":\"拒绝访问\""),
        std::string::npos)
        << r.out;
    r = Cli({"check", src, out}, user);
    EXPECT_NE(r.out.find("无法读取的目录：shut（拒绝访问）"), std::string::npos) << r.out;

    r = Cli({"copy", src, out}, user);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open file " + locked), std::string::npos) << r.err;

    r = Cli({"copy", src, out, "--keep-going", "--json"}, user);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.out.find(
                  "\"skipped\":[{\"path\":\"locked.txt\",\"reason\":\"access-denied\",\"error\":13,"
                  "\"text\":\"拒绝访问\",\"message\":\"Cannot open file "),
              std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find(
            "{\"path\":\"shut\",\"reason\":\"access-denied\",\"error\":13,\"text\":\"拒绝访问\","
            "\"message\":\"File access denied\"}"),
        std::string::npos)
        << r.out;
    r = Cli({"copy", src, out, "--keep-going"}, user);
    EXPECT_NE(r.out.find("\n  skipped locked.txt：拒绝访问\n  skipped shut：拒绝访问"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(Actual(out + "/src-03"),
              (std::map<std::string, std::string>{{"a.txt", "a"}, {"shut", "/"}, {"z.txt", "z"}}));
}

// Every entry below `target` as the copy made it: directories "/", links "-> text", files
// their content.
std::map<std::string, std::string> Made(const std::string& target) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(target)) {
        const std::string rel = e.path().lexically_relative(target).string();
        if (e.is_symlink())
            out[rel] = "-> " + fs::read_symlink(e.path()).string();
        else
            out[rel] = e.is_directory() ? "/" : ReadFile(e.path().string());
    }
    return out;
}

// Links are copied as links, never followed, wherever they point: the copy holds the same
// links and nothing they lead to, and the statistics count each as one file of its own size.
TEST_F(CliCopyTest, LinksAreCopiedAsLinksNeverFollowed) {
    m_tree.dir("work/src/in");
    m_tree.file("elsewhere/big.bin", std::string(100000, 'x'));
    const std::map<std::string, std::string> links{{"to-file", "/etc/hostname"},
                                                   {"to-inside", "in"},
                                                   {"to-outside", m_tree.path("elsewhere")},
                                                   {"to-root", "/"},
                                                   {"dangling", "gone/nowhere.txt"}};
    std::int64_t bytes = 0;
    std::map<std::string, std::string> expected{{"in", "/"}};
    for (const auto& [name, text] : links) {
        ASSERT_EQ(symlink(text.c_str(), m_tree.path("work/src/" + name).c_str()), 0);
        expected[name] = "-> " + text;
        bytes += static_cast<std::int64_t>(text.size());
    }
    const std::string src = m_tree.path("work/src"), out = m_tree.dir("out");
    const CliRun copy = Cli({"copy", src, out, "--json"});
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_EQ(Made(out + "/src-01"), expected);
    const CliRun stats = Cli({"stats", src, "--json"});
    EXPECT_EQ(stats.out.rfind(
                  "{\"directories\":2,\"files\":5,\"bytes\":" + std::to_string(bytes) + ",", 0),
              0u)
        << stats.out;
}

// What the check passes, the copy can write; what it refuses, the copy could not. Each row
// makes a source and an output directory, then runs the check and the copy (forced when the
// check refuses it).
TEST_F(CliCopyTest, TheCheckSaysWhatTheCopyWillMeet) {
    const std::string user = AsOrdinaryUserPrefix();
    auto freeBytes = [](const std::string& dir) {
        struct statvfs v {};
        statvfs(dir.c_str(), &v);
        return static_cast<std::int64_t>(v.f_bavail) * static_cast<std::int64_t>(v.f_frsize);
    };
    // What root may fill besides: the blocks ext4 keeps back for it.
    auto reserved = [](const std::string& dir) {
        struct statvfs v {};
        statvfs(dir.c_str(), &v);
        return static_cast<std::int64_t>(v.f_bfree - v.f_bavail) *
               static_cast<std::int64_t>(v.f_frsize);
    };
    // A file that fits only into root's share of an ext4.
    const auto intoTheReserve = [&](const std::string&, std::string& out, std::string&) {
        chmod(out.c_str(), 0777);
        m_tree.file("work/src/all.bin",
                    std::string(static_cast<std::size_t>(freeBytes(out) + reserved(out) / 2), 'r'));
    };
    struct Row {
        const char* what;
        std::function<ScratchDisk()> disk;
        // Makes the source in `src` for the output directory `out`; may change `out` and the
        // shell prefix the commands run with.
        std::function<void(const std::string& src, std::string& out, std::string& prefix)> make;
        std::string blocking;  // the kind of the first problem; empty when the check passes
        bool runCopy = true;
        std::string says = {};  // what the check's text says, when that matters
    };
    const auto sparse = [](const std::string& path, std::int64_t size) {
        std::FILE* f = std::fopen(path.c_str(), "w");
        std::fputs("data", f);
        std::fclose(f);
        truncate(path.c_str(), size);
    };
    const auto ordinary = [&](const std::string&, std::string& out, std::string& prefix) {
        chmod(out.c_str(), 0777);
        prefix = user;
    };
    const Row rows[] = {
        {"a 2 GiB sparse file onto 20 MiB of tmpfs", [] { return ScratchDisk::Tmpfs(20 << 20); },
         [&](const std::string& src, std::string&, std::string&) {
             sparse(src + "/disk.img", std::int64_t{2} << 30);
         },
         ""},
        {"a 100 MiB sparse file onto 64 MiB of exFAT, which has no holes",
         [] { return ScratchDisk::Exfat(); },
         [&](const std::string& src, std::string&, std::string&) {
             sparse(src + "/disk.img", 100 << 20);
         },
         "no-space"},
        // The copy's record and its list of durable files take a block each while it runs.
        {"exactly the free space of a tmpfs but the record's and the list's blocks",
         [] { return ScratchDisk::Tmpfs(8 << 20); },
         [&](const std::string& src, std::string& out, std::string&) {
             m_tree.file("work/src/all.bin",
                         std::string(static_cast<std::size_t>(freeBytes(out) - 2 * 4096), 'f'));
             (void)src;
         },
         ""},
        // On ext4 with 1 KiB blocks a file past four block groups needs a block for the list of
        // its parts; the target root, the marker of an unfinished copy, its record and its list
        // of durable files take one each (the list only once a sync covered a file: the check
        // keeps its room all the same).
        {"ext4, a file that leaves room for what it needs",
         [] { return ScratchDisk::Ext4(64 << 20); },
         [&](const std::string&, std::string& out, std::string& prefix) {
             ordinary("", out, prefix);
             m_tree.file("work/src/all.bin",
                         std::string(static_cast<std::size_t>(freeBytes(out) - 5 * 1024), 'e'));
         },
         ""},
        {"ext4, a file one block larger than the copy takes",
         [] { return ScratchDisk::Ext4(64 << 20); },
         [&](const std::string&, std::string& out, std::string& prefix) {
             ordinary("", out, prefix);
             m_tree.file("work/src/all.bin",
                         std::string(static_cast<std::size_t>(freeBytes(out) - 3 * 1024), 'e'));
         },
         "no-space"},
        {"a 5 GiB file onto FAT32 through FUSE", [] { return ScratchDisk::Fat(); },
         [&](const std::string& src, std::string&, std::string&) {
             sparse(src + "/big.img", std::int64_t{5} << 30);
         },
         "file-too-large", false},
        {"a read-only output directory", [] { return ScratchDisk::Tmpfs(1 << 20); },
         [&](const std::string& src, std::string& out, std::string&) {
             m_tree.file("work/src/a.txt", "a");
             (void)src;
             mount(out.c_str(), out.c_str(), nullptr, MS_BIND, nullptr);
             mount(nullptr, out.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
         },
         "output-not-writable"},
        {"an output directory this user may not write", [] { return ScratchDisk::Tmpfs(1 << 20); },
         [&](const std::string&, std::string& out, std::string& prefix) {
             m_tree.file("work/src/a.txt", "a");
             prefix = user;
             out += "/root-only";
             fs::create_directory(out);
             chmod(out.c_str(), 0755);
         },
         user.empty() ? "" : "output-not-writable"},
        {"200 tiny files onto an ext4 of 64 inodes",
         [] { return ScratchDisk::Ext4(8 << 20, 1024, 64); },
         [&](const std::string&, std::string&, std::string&) {
             for (int i = 0; i < 200; ++i) m_tree.file("work/src/f" + std::to_string(i), "x");
         },
         "no-inodes", true, "目标磁盘能新建的文件数不足：需要新建 204 个文件和目录，可新建"},
        {"3,000 empty files onto 8 MiB of exFAT, which says it has fewer inodes",
         [] { return ScratchDisk::Exfat(8 << 20); },
         [&](const std::string&, std::string&, std::string&) {
             for (int i = 0; i < 3000; ++i) m_tree.file("work/src/e" + std::to_string(i));
         },
         ""},
        {"root fills the blocks ext4 keeps back for it", [] { return ScratchDisk::Ext4(24 << 20); },
         intoTheReserve, "", true},
        {"an ordinary user may not", [] { return ScratchDisk::Ext4(24 << 20); },
         [&](const std::string& src, std::string& out, std::string& prefix) {
             intoTheReserve(src, out, prefix);
             prefix = user;
         },
         user.empty() ? "" : "no-space"},
        {"twice the free space, cloned on the same XFS", [] { return ScratchDisk::Xfs(); },
         [&](const std::string& src, std::string& out, std::string&) {
             // The source lies on the XFS too; its second file shares the first one's blocks.
             const std::string onDisk = out + "/src";
             fs::create_directory(onDisk);
             mount(onDisk.c_str(), src.c_str(), nullptr, MS_BIND, nullptr);
             m_tree.file("work/src/a.bin",
                         std::string(static_cast<std::size_t>(freeBytes(out) * 2 / 3), 'c'));
             std::system(("cp --reflink=always " + src + "/a.bin " + src + "/b.bin").c_str());
             out += "/out";
             fs::create_directory(out);
         },
         "", true, "将克隆 2 个文件"},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDisk disk = row.disk();
        if (disk.unavailable())
            GTEST_SKIP() << disk.reason();
        ASSERT_TRUE(disk.mounted()) << disk.reason();
        fs::remove_all(m_tree.path("work"));
        const std::string src = m_tree.dir("work/src");
        chmod(m_tree.root().c_str(), 0755);
        std::string out = disk.path(), prefix;
        row.make(src, out, prefix);
        chmod(m_tree.path("work").c_str(), 0755);
        chmod(src.c_str(), 0755);
        for (const auto& e : fs::recursive_directory_iterator(src)) chmod(e.path().c_str(), 0644);

        const CliRun check = Cli({"check", src, out, "--json"}, prefix);
        EXPECT_EQ(check.status, row.blocking.empty() ? 0 : 1) << check.out << check.err;
        if (!row.says.empty()) {
            const CliRun text = Cli({"check", src, out}, prefix);
            EXPECT_NE(text.out.find(row.says), std::string::npos) << text.out;
        }
        if (!row.blocking.empty()) {
            EXPECT_NE(check.out.find("\"problems\":[{\"kind\":\"" + row.blocking + "\""),
                      std::string::npos)
                << check.out;
        }
        if (row.runCopy) {
            std::vector<std::string> args{"copy", src, out};
            if (!row.blocking.empty())
                args.push_back("--force");
            const CliRun copy = Cli(args, prefix);
            EXPECT_EQ(copy.status, row.blocking.empty() ? 0 : 1) << copy.err;
        }
        umount2(src.c_str(), MNT_DETACH);
        umount2(out.c_str(), MNT_DETACH);
        ++n;
    }
    EXPECT_EQ(n, 13);
}

// A chain of `depth` directories "d" below `root`, each holding "f.txt" that names its level
// and a directory "e" beside "d" with "g.txt" in it, which a walk in name order enters on its
// way back up; made relative to each directory's descriptor, so it may reach beyond PATH_MAX.
void MakeDeepTree(const std::string& root, int depth) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        const std::string text = "level " + std::to_string(level);
        mkdirat(fd, "e", 0755);
        for (const char* name : {"f.txt", "e/g.txt"}) {
            const int file = openat(fd, name, O_WRONLY | O_CREAT | O_EXCL, 0644);
            (void)!write(file, text.data(), text.size());
            close(file);
        }
        const int below = level + 1 < depth && mkdirat(fd, "d", 0755) == 0
                              ? openat(fd, "d", O_RDONLY | O_DIRECTORY)
                              : -1;
        close(fd);
        fd = below;
    }
    if (fd >= 0)
        close(fd);
}

// What the file `name` in the directory `fd` holds.
std::string ReadAt(int fd, const char* name) {
    const int file = openat(fd, name, O_RDONLY | O_NOFOLLOW);
    char buf[64];
    const ssize_t n = file >= 0 ? read(file, buf, sizeof buf) : -1;
    if (file >= 0)
        close(file);
    return n >= 0 ? std::string(buf, static_cast<std::size_t>(n)) : "<missing>";
}

// How many levels of MakeDeepTree's chain below `root` are there whole.
int DeepLevelsWhole(const std::string& root) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
    int level = 0;
    for (; fd >= 0; ++level) {
        const std::string text = "level " + std::to_string(level);
        const bool whole = ReadAt(fd, "f.txt") == text && ReadAt(fd, "e/g.txt") == text;
        const int below = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        close(fd);
        fd = below;
        if (!whole)
            break;
    }
    if (fd >= 0)
        close(fd);
    return level;
}

// A tree many levels deep is read, checked, copied, verified and compared whole, also where
// few files may be open at once (the copy keeps only the deepest directories of its path
// open, and the command raises its own soft limit to the hard one) and where the paths are
// longer than the system takes in one call.
TEST_F(CliCopyTest, DeepTreesAreCopiedWhole) {
    struct Row {
        const char* what;
        int depth;
        std::string prefix;
    };
    const Row rows[] = {
        {"320 levels, 256 descriptors at most", 320, "ulimit -n 256; "},
        {"320 levels, a soft limit of 64 below a higher hard one", 320, "ulimit -Sn 64; "},
        {"2,200 levels, paths beyond PATH_MAX", 2200, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string src = m_tree.dir("work/src"), out = m_tree.dir("out");
        MakeDeepTree(src, row.depth);
        const std::string both = std::to_string(2 * row.depth);
        const CliRun stats = Cli({"stats", src, "--json"}, row.prefix);
        EXPECT_TRUE(stats.out.starts_with("{\"directories\":" + both + ",\"files\":" + both + ","))
            << stats.out;
        EXPECT_NE(stats.out.find("\"unreadable\":0,"), std::string::npos) << stats.out;
        const CliRun check = Cli({"check", src, out, "--json"}, row.prefix);
        EXPECT_EQ(check.status, 0) << check.out;
        const CliRun copy =
            Cli({"copy", src, out, "--jobs", "4", "--verify", "--json"}, row.prefix);
        EXPECT_EQ(copy.status, 0) << copy.out << copy.err;
        EXPECT_NE(copy.out.find("\"copied\":" + both + ","), std::string::npos) << copy.out;
        EXPECT_NE(copy.out.find("\"verified\":" + both + ",\"mismatches\":[]"), std::string::npos);
        EXPECT_EQ(DeepLevelsWhole(out + "/src-01"), row.depth);
        const CliRun diff = Cli({"diff", src, out + "/src-01", "--json"}, row.prefix);
        EXPECT_EQ(diff.status, 0) << diff.out;
        EXPECT_NE(diff.out.find("\"same\":true"), std::string::npos) << diff.out;
        std::system(("rm -rf " + Quote(m_tree.path("work")) + " " + Quote(out)).c_str());
    }
}

// A read error in one source file is that file's failure: a copy that goes on past items
// lists it and copies the rest. (The file is a bind mount of this process's memory, which
// cannot be read at its start.)
TEST_F(CliCopyTest, AReadErrorInOneFileIsASingleItem) {
    m_tree.file("work/src/a.txt", "a");
    const std::string bad = m_tree.file("work/src/bad.bin");
    m_tree.file("work/src/c.txt", "c");
    if (mount("/proc/self/mem", bad.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "needs root to mount";
    const CliRun r =
        Cli({"copy", m_tree.path("work/src"), m_tree.dir("out"), "--keep-going", "--json"});
    umount2(bad.c_str(), MNT_DETACH);
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("\"copied\":2,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"skipped\":[{\"path\":\"bad.bin\""), std::string::npos) << r.out;
}

TEST_F(CliCopyTest, HelpVersionAndOptionsThatLackTheirValue) {
    CliRun r = Cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage:", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
    r = Cli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "quillmere-cli " QUILLMERE_VERSION "\n");

    // A forgotten type must not turn the next option into one and copy everything.
    const std::string src = m_tree.dir("work/src"), out = m_tree.dir("out");
    m_tree.file("work/src/a.c", "a");
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"copy", src, out, "--exclude", "--keep-only", ".c"},
                                               {"copy", src, out, "--keep-only"},
                                               {"copy", src, out, "--work", "--json"}}) {
        r = Cli(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_NE(r.err.find("usage:"), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty() || r.out.find("\"code\":\"bad-arguments\"}") != std::string::npos)
            << r.out;
    }
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(CliCopyTest, FileSizeLimitEndsWithTheWriteError) {
    m_tree.file("work/src/big.bin", std::string(2 << 20, 'x'));
    const std::string out = m_tree.dir("out");
    const CliRun r = Cli({"copy", m_tree.path("work/src"), out}, "ulimit -f 256; exec ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Stream write error"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out + "/src-01/big.bin"));
}

// Every command answers a script the same way: with --json exactly one object on stdout, also
// on failure, where it carries the message (naming its path) and a stable code word.
TEST_F(CliCopyTest, OneJsonObjectForEveryCommandAndFailure) {
    m_tree.file("work/src/a.txt", "a");
    const std::string src = m_tree.path("work/src"), out = m_tree.dir("out");
    const std::string missing = m_tree.path("none"), shut = m_tree.dir("shut");
    m_tree.file("work/locked/a.txt", "a");
    const std::string locked = m_tree.path("work/locked"), inner = m_tree.dir("work/locked/in");
    chmod(shut.c_str(), 0);
    chmod(inner.c_str(), 0);
    chmod(m_tree.root().c_str(), 0755);
    chmod(out.c_str(), 0777);
    const std::string user = AsOrdinaryUserPrefix();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string code;   // empty for success
        std::string named;  // what the message must name
        std::string prefix = "";
    };
    const std::vector<Case> cases = {
        {{"tree", src}, 0, "", ""},
        {{"files", src}, 0, "", ""},
        {{"stats", src}, 0, "", ""},
        {{"name", src, out}, 0, "", ""},
        {{"check", src, out}, 0, "", ""},
        {{"copy", src, out, "--verbose"}, 0, "", ""},
        {{"tree", missing}, 1, "not-found", missing},
        {{"files", missing}, 1, "not-found", missing},
        {{"stats", missing}, 1, "not-found", missing},
        {{"stats", shut}, 1, "access-denied", shut, user},
        {{"name", missing, out}, 1, "not-found", missing},
        {{"name", src, missing}, 1, "not-found", missing},
        {{"check", src, missing}, 1, "not-found", missing},
        {{"check", src, src}, 1, "output-inside-source", "输出目录位于源目录之内，不能复制"},
        {{"check", src, "/"}, 1, "root-directory", "根目录不能设置为输出目录！请重新选择"},
        {{"copy", missing, out}, 1, "not-found", missing},
        {{"copy", src, missing}, 1, "not-found", missing},
        {{"copy", src, "/"}, 1, "root-directory", "根目录不能设置为输出目录！请重新选择"},
        {{"copy", locked, out}, 1, "access-denied", "File access denied: " + inner, user},
        {{"copy", src, out, "--exclude", ".c", "--keep-only", ".o"}, 2, "bad-arguments", ""},
        {{"files", src, out}, 2, "bad-arguments", ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        const std::string what = c.args[0] + " " + c.args.back();
        CliRun r = Cli(args, c.prefix);
        EXPECT_EQ(r.status, c.status) << what << r.err;
        EXPECT_TRUE(OneJsonLine(r.out)) << what << ": " << r.out;
        if (c.code.empty()) {
            EXPECT_EQ(r.out.find("\"error\""), std::string::npos) << what << ": " << r.out;
            continue;
        }
        EXPECT_NE(r.out.find("\"code\":\"" + c.code + "\""), std::string::npos)
            << what << ": " << r.out;
        EXPECT_NE(r.out.find("{\"error\":\""), std::string::npos) << what << ": " << r.out;
        EXPECT_NE(r.out.find(c.named), std::string::npos) << what << ": " << r.out;
        r = Cli(c.args, c.prefix);  // the same failure, said to a person
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << what << ": " << r.err;
    }
    // With --json the from/to lines go to stderr, beside the object.
    const CliRun verbose = Cli({"copy", src, out, "--verbose", "--json"});
    EXPECT_TRUE(OneJsonLine(verbose.out)) << verbose.out;
    EXPECT_NE(verbose.err.find("from: src/a.txt\nto: src-02/a.txt\n"), std::string::npos)
        << verbose.err;
}

// A type is matched in any of the forms people write it; an empty one is a mistake.
TEST_F(CliCopyTest, TypesInTheFormsPeopleWriteThem) {
    for (const char* n : {"a.txt", "B.TXT", "c.c", "README"})
        m_tree.file(std::string("work/src/") + n, n);
    const std::string src = m_tree.path("work/src"), out = m_tree.dir("out");
    const std::map<std::string, std::string> noText = {{"README", "README"}, {"c.c", "c.c"}};
    const std::map<std::string, std::string> text = {{"B.TXT", "B.TXT"}, {"a.txt", "a.txt"}};
    const std::vector<std::pair<std::vector<std::string>, std::map<std::string, std::string>>>
        cases = {
            {{"--exclude", "txt"}, noText}, {{"--exclude", ".TXT"}, noText},
            {{"--exclude", "TXT"}, noText}, {{"--keep-only", ".TXT"}, text},
            {{"--keep-only", "txt"}, text}, {{"--keep-only", "无扩展名"}, {{"README", "README"}}},
        };
    int n = 0;
    for (const auto& [options, expected] : cases) {
        std::vector<std::string> args = {"copy", src, out};
        args.insert(args.end(), options.begin(), options.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 0) << options[1] << r.err;
        EXPECT_EQ(Actual(out + "/src-0" + std::to_string(++n)), expected) << options[1];
    }
    const CliRun check = Cli({"check", src, out, "--keep-only", "TXT", "--json"});
    EXPECT_EQ(check.out.rfind("{\"files\":2,", 0), 0u) << check.out;
    EXPECT_EQ(Cli({"copy", src, out, "--keep-only", ""}).status, 2);
    EXPECT_EQ(Cli({"check", src, out, "--exclude", ""}).status, 2);
}

// The rules mix with the types and leave out in either mode; the JSON summary names them, and
// a rule that cannot be used is refused before anything is read, naming the argument.
TEST_F(CliCopyTest, RulesLeaveOutDirectoriesNamesAndLargeFiles) {
    m_tree.file("work/src/app.js", "app");
    m_tree.file("work/src/app.min.js", "min");
    m_tree.file("work/src/disk.img", std::string(3000, 'i'));
    m_tree.file("work/src/Node_Modules/x.js", "x");
    m_tree.file("work/src/build-1/y.js", "y");
    const std::string src = m_tree.path("work/src"), out = m_tree.dir("out");
    const struct {
        std::vector<std::string> options;
        std::map<std::string, std::string> copied;
        std::string rules;
    } cases[] = {
        {{"--exclude-dir", "node_modules", "--exclude-name", "*.min.js", "--max-size", "2K"},
         {{"app.js", "app"}, {"build-1", "/"}, {"build-1/y.js", "y"}},
         ",\"rules\":[\"dir:node_modules\",\"name:*.min.js\",\"size:2048\"]}"},
        {{"--keep-only", "js", "--exclude-name", "build-?/", "--exclude-name", "[!a]*"},
         {{"app.js", "app"}, {"app.min.js", "min"}, {"Node_Modules", "/"}},
         ",\"rules\":[\"name:build-?/\",\"name:[!a]*\"]}"},
        {{"--exclude", ".img"},
         {{"app.js", "app"},
          {"app.min.js", "min"},
          {"Node_Modules", "/"},
          {"Node_Modules/x.js", "x"},
          {"build-1", "/"},
          {"build-1/y.js", "y"}},
         "\"stopped\":false,\"paused_seconds\":0.00}"},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::vector<std::string> args = {"copy", src, out, "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Actual(out + "/src-0" + std::to_string(++n)), c.copied) << c.options[1];
        EXPECT_TRUE(r.out.ends_with(c.rules + "\n")) << r.out;
        std::vector<std::string> check = {"check", src, out, "--json"};
        check.insert(check.end(), c.options.begin(), c.options.end());
        const std::size_t files = std::count_if(c.copied.begin(), c.copied.end(),
                                                [](const auto& e) { return e.second != "/"; });
        EXPECT_EQ(Cli(check).out.rfind("{\"files\":" + std::to_string(files) + ",", 0), 0u);
    }
    const CliRun leftOut =
        Cli({"check", src, out, "--json", "--exclude-dir", "node_modules", "--exclude-name",
             "*.min.js", "--max-size", "2K", "--exclude", "js"});
    EXPECT_NE(leftOut.out.find(
                  ",\"left_out\":[{\"rule\":\"dir:node_modules\",\"directories\":1,\"files\":1,"
                  "\"bytes\":1},{\"rule\":\"name:*.min.js\",\"directories\":0,\"files\":1,"
                  "\"bytes\":3},{\"rule\":\"size:2048\",\"directories\":0,\"files\":1,"
                  "\"bytes\":3000},{\"rule\":\"type:.js\",\"directories\":0,\"files\":2,"
                  "\"bytes\":4}]}\n"),
              std::string::npos)
        << leftOut.out;
    const struct {
        std::vector<std::string> options;
        std::string message;
    } refused[] = {
        {{"--exclude-dir", ""}, "--exclude-dir needs the name of a directory"},
        {{"--exclude-dir", "a/b"}, "--exclude-dir needs the name of a directory"},
        {{"--exclude-name", "[a-z"}, "--exclude-name needs a name pattern"},
        {{"--exclude-name", ""}, "--exclude-name needs a name pattern"},
        {{"--max-size", "10X"}, "--max-size needs a size"},
        {{"--max-size", "1.5"}, "--max-size needs a size"},
        {{"--same-as-last", "--max-size", "1M"}, "--same-as-last does not mix"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args = {"copy", src, out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, 2) << c.options[0];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(out + "/src-04"));

    // A directory left out is no concern of the copy: one the user may not read is no problem.
    chmod(m_tree.path("work/src/Node_Modules").c_str(), 0);
    chmod(m_tree.root().c_str(), 0755);
    chmod(out.c_str(), 0777);
    const std::string user = AsOrdinaryUserPrefix();
    EXPECT_NE(Cli({"check", src, out, "--json"}, user).out.find("unreadable-directory"),
              std::string::npos);
    const CliRun check = Cli({"check", src, out, "--json", "--exclude-dir", "NODE_MODULES"}, user);
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_NE(check.out.find("\"problems\":[]"), std::string::npos) << check.out;
}

// --gitignore leaves out just what git itself leaves out of the same tree: nested ignore
// files, negations, anchors, directories, and the repository's info/exclude.
TEST_F(CliCopyTest, GitIgnoreLeavesOutWhatGitIgnores) {
    if (std::system("git --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "git is not installed";
    const std::string src = m_tree.dir("work/src"), out = m_tree.dir("out");
    for (const char* f :
         {"a.c", "x.log", "keep.log", "build/out.o", "src/m.c", "src/gen/g.c", "src/deep/gen/h.c",
          "src/t.tmp", "src/deep/u.tmp", "docs/readme.md", "lib/build/inner.c", "notes/todo.txt"})
        m_tree.file(std::string("work/src/") + f, f);
    m_tree.file("work/src/.gitignore", "*.log\n!keep.log\nbuild/\n# a comment\n\\#x\n");
    m_tree.file("work/src/src/.gitignore", "/gen\n*.tmp\n!deep/u.tmp\n");
    ASSERT_EQ(std::system(
                  ("cd " + src + " && git init -q . && echo notes/ >> .git/info/exclude").c_str()),
              0);
    const std::string listed = m_tree.path("git.out");
    ASSERT_EQ(
        std::system(("cd " + src + " && git ls-files -co --exclude-standard > " + listed).c_str()),
        0);
    std::map<std::string, std::string> expected;
    std::istringstream lines(ReadFile(listed));
    for (std::string line; std::getline(lines, line);) expected[line] = ReadFile(src + "/" + line);

    const CliRun r = Cli({"copy", src, out, "--gitignore", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<std::string, std::string> copied = Actual(out + "/src-01");
    std::erase_if(copied, [](const auto& e) { return e.second == "/"; });
    EXPECT_EQ(copied, expected);
    EXPECT_TRUE(r.out.ends_with(",\"rules\":[\"gitignore\"]}\n")) << r.out;
    const CliRun check = Cli({"check", src, out, "--gitignore", "--json"});
    EXPECT_NE(check.out.find("{\"rule\":\"gitignore:.gitignore\",\"directories\":2,\"files\":3,"),
              std::string::npos)
        << check.out;
    EXPECT_NE(check.out.find("{\"rule\":\"gitignore:src/.gitignore\",\"directories\":1,"
                             "\"files\":2,"),
              std::string::npos)
        << check.out;
}

// why names the rule that leaves a path out, as git check-ignore -v does, or says that it is
// copied; exit 0, 1, and 2 for a path that is not in the source.
TEST_F(CliCopyTest, WhySaysWhichRuleLeavesAPathOut) {
    m_tree.file("work/src/node_modules/x.js", "x");
    m_tree.file("work/src/main.c", "c");
    m_tree.file("work/src/debug.log", "l");
    m_tree.file("work/src/.gitignore", "*.log\n");
    const std::string src = m_tree.path("work/src");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out;
    } cases[] = {
        {{"why", src, "node_modules/x.js", "--exclude-dir", "node_modules"},
         0,
         "dir:node_modules\tnode_modules/x.js\n"},
        {{"why", src, src + "/debug.log", "--gitignore", "--json"},
         0,
         "{\"path\":\"debug.log\",\"left_out\":true,\"rule\":\"gitignore:.gitignore\"}\n"},
        {{"why", src, "main.c", "--keep-only", "js"}, 0, "type:.c\tmain.c\n"},
        {{"why", src, "main.c", "--json"}, 1, "{\"path\":\"main.c\",\"left_out\":false}\n"},
        {{"why", src, "main.c"}, 1, "copied\tmain.c\n"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[2] << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_EQ(Cli({"why", src, "none.c"}).status, 2);
    EXPECT_EQ(Cli({"why", src, "/etc/passwd"}).status, 2);
    EXPECT_EQ(Cli({"why", src, "../src/main.c"}).status, 2);
    EXPECT_EQ(Cli({"why", src}).status, 2);
}

// ".." after a link leaves the directory the link leads to, as the system resolves it; a
// source reached through a link keeps its own name.
TEST_F(CliCopyTest, PathsAreResolvedAsTheSystemResolvesThem) {
    m_tree.file("w/src/a.txt", "a");
    m_tree.dir("x/deep");
    ASSERT_EQ(symlink("../x/deep", m_tree.path("w/lnk").c_str()), 0);
    ASSERT_EQ(symlink("src", m_tree.path("w/alias").c_str()), 0);
    const std::string in = "cd " + Quote(m_tree.path("w")) + " && exec ";
    CliRun r = Cli({"copy", "src", "lnk/..", "--json"}, in);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(m_tree.path("x/src-01/a.txt")), "a");
    EXPECT_FALSE(fs::exists(m_tree.path("w/src-01")));
    r = Cli({"copy", "alias", "lnk/..", "--json"}, in);
    EXPECT_EQ(r.out.rfind("{\"target\":\"alias-01\"", 0), 0u) << r.out;
}

// Two copies of one source started together: the second takes the next free number when the
// first takes its name between the choice and the making of the target.
TEST_F(CliCopyTest, ANameTakenMeanwhileGoesToTheNextNumber) {
    for (int i = 0; i < 600; ++i)
        m_tree.file("work/src/d" + std::to_string(i / 20) + "/f" + std::to_string(i));
    // The check's probe file shows that the name was chosen; the copy is held there while the
    // other copy takes the name. A copy quick enough to make its target before it is held is
    // tried again.
    std::string out;
    bool taken = false;
    for (int attempt = 0; attempt < 10 && !taken; ++attempt) {
        out = m_tree.dir("out" + std::to_string(attempt));
        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);
        const pid_t child = Start({"copy", m_tree.path("work/src"), out, "--json"});
        ASSERT_GT(child, 0);
        alignas(inotify_event) char events[4096];
        ASSERT_GT(read(watch, events, sizeof events), 0);
        kill(child, SIGSTOP);
        taken = mkdir((out + "/src-01").c_str(), 0755) == 0;
        kill(child, SIGCONT);
        close(watch);
        int status = 0;
        waitpid(child, &status, 0);
        if (!taken)
            continue;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << ReadFile(m_tree.path("cli.err"));
    }
    ASSERT_TRUE(taken) << "every copy made its target before the name could be taken";
    EXPECT_EQ(ReadFile(m_tree.path("cli.out")).rfind("{\"target\":\"src-02\",\"examined\":600,", 0),
              0u)
        << ReadFile(m_tree.path("cli.out"));
    EXPECT_EQ(Actual(out + "/src-02"), Actual(m_tree.path("work/src")));
    EXPECT_TRUE(fs::is_empty(out + "/src-01"));
}

// SIGTERM and SIGINT stop a run in every phase, from the start: a stop during the scan copies
// nothing and still answers with its object. A SIGINT that a background job inherits as
// ignored stays ignored. A SIGINT during the last file lets it finish, and then the copy is
// whole: it is made durable and reported done, not stopped.
TEST_F(CliCopyTest, StopSignalsCountFromTheStartUnlessInheritedAsIgnored) {
    // Directories enough that the signal comes while they are read, not after; on a quick
    // disk the whole copy may still end before it comes, so it may take more than one try.
    for (int i = 0; i < 2000; ++i)
        m_tree.dir("work/src/d" + std::to_string(i / 20) + "/e" + std::to_string(i));
    std::string scanned;
    pid_t child = 0;
    int status = 0;
    for (int attempt = 0; attempt < 10 && !(WIFEXITED(status) && WEXITSTATUS(status) == 143);
         ++attempt) {
        scanned = m_tree.dir("out-scan" + std::to_string(attempt));
        child = Start({"copy", m_tree.path("work/src"), scanned, "--json"});
        ASSERT_GT(child, 0);
        bool ended = false;
        while (!(ended = waitpid(child, &status, WNOHANG) != 0) && !Catches(child, SIGTERM)) {
        }
        if (!ended) {
            kill(child, SIGTERM);
            waitpid(child, &status, 0);
        }
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 143) << status;
    EXPECT_NE(ReadFile(m_tree.path("cli.out")).find("\"stopped\":true"), std::string::npos)
        << ReadFile(m_tree.path("cli.out"));
    EXPECT_TRUE(fs::is_empty(scanned));

    for (int i = 0; i < 1000; ++i) m_tree.file("work/many/f" + std::to_string(i), "m");
    const std::string ignored = m_tree.dir("out-ignored");
    child = StartIgnoringSigint({"copy", m_tree.path("work/many"), ignored, "--json"});
    while (waitpid(child, &status, WNOHANG) == 0 && !fs::exists(ignored + "/many-01/f1")) {
    }
    kill(child, SIGINT);
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Actual(ignored + "/many-01"), Actual(m_tree.path("work/many")));

    // Several of the kernel's copy chunks, so that the file stays open long enough to be seen
    // even where memory is the disk; an attempt that missed it leaves nothing behind.
    const std::string content(std::size_t{64} << 20, 'L');
    m_tree.file("work/one/last.bin", content);
    bool interrupted = false;
    for (int attempt = 0; attempt < 10 && !interrupted; ++attempt) {
        const std::string last = m_tree.dir("out-last" + std::to_string(attempt));
        child = Start({"copy", m_tree.path("work/one"), last, "--json"});
        while (!interrupted && waitpid(child, &status, WNOHANG) == 0) {
            if (HoldsOpenBelow(child, last + "/one-01/"))
                interrupted = kill(child, SIGINT) == 0;
        }
        if (!interrupted) {
            fs::remove_all(last);
            continue;
        }
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_NE(ReadFile(m_tree.path("cli.out"))
                      .find("\"copied\":1,\"bytes\":67108864,\"skipped\":[],\"stopped\":false"),
                  std::string::npos)
            << ReadFile(m_tree.path("cli.out"));
        EXPECT_EQ(fs::file_size(last + "/one-01/last.bin"), content.size());
        EXPECT_FALSE(fs::exists(last + "/one-01/.quillmere-incomplete"));
    }
    EXPECT_TRUE(interrupted) << "every copy ended before it could be interrupted";
}

}  // namespace

namespace {

// kill -9 at a random moment of a filtered copy, then `continue`: each time the target ends as
// one whole copy would (the filter's leavings not added), says what it kept, and the marker
// is gone; on the tests' own file system, on ext4, and on exFAT through FUSE, where each file
// is synced by itself and listed as durable as it goes. `stats --json` of the unfinished
// target names its source first.
TEST_F(CliCopyTest, KilledCopiesAreFinishedByContinue) {
    const std::string src = m_tree.dir("work/src");
    for (int i = 0; i < 600; ++i)
        m_tree.file("work/src/d" + std::to_string(i / 60) + "/f" + std::to_string(i) + ".txt",
                    std::string(i % 700 + 1, static_cast<char>('a' + i % 26)));
    m_tree.file("work/src/left.o", "left out");
    const std::string whole = m_tree.dir("whole");
    ASSERT_EQ(Cli({"copy", src, whole, "--exclude", ".o"}).status, 0);
    const auto expected = Actual(fs::path(whole) / "src-01");
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const struct {
        const char* what;
        std::function<std::optional<ScratchDisk>()> disk;
        int latestKill;  // microseconds after the first file, at most
    } rows[] = {
        {"the tests' file system", [] { return std::nullopt; }, 15000},
        {"ext4", [] { return ScratchDisk::Ext4(64 << 20, 4096); }, 15000},
        // Slower, each file synced: some kills come after files were listed as durable.
        {"exFAT through FUSE", [] { return ScratchDisk::Exfat(64 << 20); }, 200000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::optional<ScratchDisk> disk = row.disk();
        if (disk && (disk->unavailable() || !disk->mounted()))
            continue;  // what the machine lacks for it
        const std::string out = disk ? disk->path() : m_tree.dir("out");
        int unfinished = 0;
        for (int round = 0; round < 3; ++round) {
            const pid_t child = Start({"copy", src, out, "--exclude", ".o"});
            ASSERT_GT(child, 0);
            const std::string target = out + "/src-01";
            // Killed once its target is there, a few files or most of them in.
            while (!fs::exists(target + "/d0/f1.txt") && waitpid(child, nullptr, WNOHANG) == 0)
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution(0, row.latestKill)(random)));
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            if (fs::is_directory(target + "/.quillmere-incomplete")) {
                ++unfinished;
                const CliRun stats = Cli({"stats", target, "--json"});
                EXPECT_NE(stats.out.find("\"incomplete\":true,\"source\":\"" + src + "\""),
                          std::string::npos)
                    << stats.out;
                const CliRun run = Cli({"continue", target, "--json"});
                ASSERT_EQ(run.status, 0) << run.out << run.err;
                EXPECT_NE(run.out.find("\"finished\":true"), std::string::npos) << run.out;
                EXPECT_NE(run.out.find("\"kept\":"), std::string::npos) << run.out;
            }
            EXPECT_EQ(Actual(target), expected) << "round " << round;
            fs::remove_all(target);
        }
        RecordProperty(row.what, unfinished);
    }
    // A target that is whole is not continued.
    const CliRun refused = Cli({"continue", whole + "/src-01", "--json"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("\"code\":\"not-incomplete\""), std::string::npos) << refused.out;
}

}  // namespace
