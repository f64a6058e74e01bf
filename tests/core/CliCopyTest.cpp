#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliCopyTest : public ::testing::Test {
protected:
    // Runs quillmere-cli with `args`; `shellPrefix` goes before it in the shell command.
    CliRun Cli(const std::vector<std::string>& args, const std::string& shellPrefix = "") {
        std::string cmd = shellPrefix + Quote(QUILLMERE_CLI_PATH);
        for (const auto& a : args) cmd += " " + Quote(a);
        cmd += " >" + Quote(m_tree.path("cli.out")) + " 2>" + Quote(m_tree.path("cli.err")) +
               " </dev/null";
        const int st = std::system(cmd.c_str());
        return CliRun{WIFEXITED(st) ? WEXITSTATUS(st) : -1, ReadFile(m_tree.path("cli.out")),
                      ReadFile(m_tree.path("cli.err"))};
    }

    TempTree m_tree;
};

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
                         ",\"bytes\":" + std::to_string(bytes) + ",\"skipped\":[]}\n");

    const CliRun keep = Cli({"copy", src, out, "--keep-only", ".c", "--keep-only", "无扩展名"});
    ASSERT_EQ(keep.status, 0) << keep.err;
    EXPECT_EQ(Actual(out + "/src-02"),
              Expected(src, [](const std::string& t) { return t == ".c" || t == "无扩展名"; }));
    EXPECT_EQ(Cli({"name", src, out}).out, "src-03\n");
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

// A copy killed in the middle of a large file (kill -9, a power cut) leaves no short file
// under the file's name: the file appears there only when whole.
TEST_F(CliCopyTest, KilledCopyLeavesNoShortFileUnderItsName) {
    std::string content(std::size_t{64} << 20, '\0');
    for (std::size_t i = 0; i < content.size(); i += 4096) content[i] = static_cast<char>(i >> 12);
    m_tree.file("work/src/big.bin", content);
    // Killed as soon as it holds a file open in the target; a busy machine may let a copy
    // finish before that is seen, so it may take more than one try.
    std::string out;
    bool killed = false;
    for (int attempt = 0; attempt < 5 && !killed; ++attempt) {
        out = m_tree.dir("out" + std::to_string(attempt));
        const pid_t child = fork();
        if (child == 0) {
            execl(QUILLMERE_CLI_PATH, "quillmere-cli", "copy", m_tree.path("work/src").c_str(),
                  out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(child, 0);
        const std::string fds = "/proc/" + std::to_string(child) + "/fd";
        while (!killed && waitpid(child, nullptr, WNOHANG) == 0) {
            DIR* d = opendir(fds.c_str());
            while (dirent* e = d ? readdir(d) : nullptr) {
                char link[4096];
                const ssize_t n = readlink((fds + "/" + e->d_name).c_str(), link, sizeof link);
                if (n > 0 && std::string(link, static_cast<std::size_t>(n)).rfind(out + "/", 0) == 0) {
                    killed = kill(child, SIGKILL) == 0;
                    break;
                }
            }
            if (d)
                closedir(d);
        }
        waitpid(child, nullptr, 0);
    }
    ASSERT_TRUE(killed) << "every copy ended before it could be killed";
    for (const auto& [rel, got] : Actual(out)) {
        if (got != "/" && rel.find("/.quillmere-") == std::string::npos) {  // hidden, no name
            EXPECT_EQ(got.size(), content.size()) << rel << " is short";
        }
    }
}

TEST_F(CliCopyTest, FileSizeLimitEndsWithTheWriteError) {
    m_tree.file("work/src/big.bin", std::string(2 << 20, 'x'));
    const std::string out = m_tree.dir("out");
    const CliRun r = Cli({"copy", m_tree.path("work/src"), out}, "ulimit -f 256; exec ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Stream write error"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out + "/src-01/big.bin"));
}

}  // namespace
