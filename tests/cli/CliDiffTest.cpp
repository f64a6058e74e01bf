#include <gtest/gtest.h>
#include <sys/wait.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/CliRun.h"
#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

class CliDiffTest : public ::testing::Test {
protected:
    CliRun Cli(const std::vector<std::string>& args,
               const std::string& program = QUILLMERE_CLI_PATH) {
        return RunCli(m_tree, args, program);
    }

    // A source with three types, copied as the filter dialog would with ".o" left out.
    void MakeSourceAndCopy(const std::string& dir) {
        m_tree.file(dir + "/src/a.c", std::string(100, 'a'));
        m_tree.file(dir + "/src/b.c", std::string(200, 'b'));
        m_tree.file(dir + "/src/notes.txt", std::string(30, 'n'));
        m_tree.file(dir + "/src/README", std::string(7, 'r'));
        m_tree.file(dir + "/src/x.o", std::string(1000, 'x'));
        m_tree.file(dir + "/src/sub/c.c", std::string(40, 'c'));
        m_tree.file(dir + "/src/sub/y.o", std::string(500, 'y'));
        const CliRun copy =
            Cli({"copy", m_tree.path(dir + "/src"), m_tree.dir(dir + "/out"), "--exclude", ".o"});
        ASSERT_EQ(copy.status, 0) << copy.err;
    }

    TempTree m_tree;
};

// The part of a JSON object from `"key":` to the end of its value, an object.
std::string Member(const std::string& json, const std::string& key) {
    const auto at = json.find("\"" + key + "\":{");
    if (at == std::string::npos)
        return "<no " + key + ">";
    int depth = 0;
    for (std::size_t i = json.find('{', at); i < json.size(); ++i) {
        depth += json[i] == '{' ? 1 : json[i] == '}' ? -1 : 0;
        if (depth == 0)
            return json.substr(at, i + 1 - at);
    }
    return "<unclosed " + key + ">";
}

void SetTimeAhead(const std::string& path, int seconds) {
    const utimbuf times{std::time(nullptr) + seconds, std::time(nullptr) + seconds};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

const std::string kNothing = ":{\"files\":0,\"bytes\":0,\"directories\":0,\"items\":[]}";

}  // namespace

TEST_F(CliDiffTest, DiffSaysWhatTheTargetLeftOutLacksHoldsChangedOrHoldsBeyond) {
    const std::string kLeftOutO =
        "\"left_out\":{\"files\":2,\"bytes\":1500,\"directories\":0,\"recorded\":true,"
        "\"types\":[{\"type\":\".o\","
        "\"files\":2,"
        "\"bytes\":1500,\"directories\":0,\"items\":[{\"path\":\"x.o\",\"directory\":false,"
        "\"size\":1000},"
        "{\"path\":\"sub/y.o\",\"directory\":false,\"size\":500}]}],\"rules\":[]}";
    const struct {
        const char* name;
        std::function<void(const std::string& src, const std::string& target)> change;
        int status;
        std::string group;  // "left_out", "missing", "changed" or "extra"
        std::string expected;
    } cases[] = {
        {"a fresh copy", [](const std::string&, const std::string&) {}, 0, "left_out", kLeftOutO},
        {"a file gone from the target, its type still there",
         [](const std::string&, const std::string& t) { fs::remove(t + "/sub/c.c"); }, 1, "missing",
         "\"missing\":{\"files\":1,\"bytes\":40,\"directories\":0,\"items\":[{\"path\":\"sub/c.c\","
         "\"directory\":false,\"size\":40}]}"},
        {"the only file of a type gone: the copy's filter says it is missing",
         [](const std::string&, const std::string& t) { fs::remove(t + "/README"); }, 1, "missing",
         "\"missing\":{\"files\":1,\"bytes\":7,\"directories\":0,\"items\":[{\"path\":"
         "\"README\",\"directory\":false,\"size\":7}]}"},
        {"a source file grown, another written after the copy",
         [](const std::string& s, const std::string&) {
             std::FILE* f = std::fopen((s + "/a.c").c_str(), "ab");
             std::fputs("more", f);
             std::fclose(f);
             SetTimeAhead(s + "/a.c", -1000);
             SetTimeAhead(s + "/notes.txt", 100);
         },
         1, "changed",
         "\"changed\":{\"files\":2,\"bytes\":134,\"directories\":0,\"items\":[{\"path\":\"a.c\","
         "\"directory\":false,\"size\":104,\"target_size\":100,\"source_newer\":false},{\"path\":"
         "\"notes.txt\",\"directory\":false,\"size\":30,\"target_size\":30,\"source_newer\":true}]"
         "}"},
        {"files and directories the source does not hold",
         [](const std::string&, const std::string& t) {
             Write(t + "/extra.log", "12345");
             Write(t + "/old/inner/k.txt", "kk");
         },
         1, "extra",
         "\"extra\":{\"files\":2,\"bytes\":7,\"directories\":2,\"items\":[{\"path\":\"extra.log\","
         "\"directory\":false,\"size\":5},{\"path\":\"old\",\"directory\":true,\"size\":0},{"
         "\"path\":"
         "\"old/inner\",\"directory\":true,\"size\":0},{\"path\":\"old/inner/"
         "k.txt\",\"directory\":false,"
         "\"size\":2}]}"},
        {"a directory made in the source since",
         [](const std::string& s, const std::string&) {
             Write(s + "/new/e.c", "e");
             fs::create_directories(s + "/new/deeper");
         },
         1, "missing",
         "\"missing\":{\"files\":1,\"bytes\":1,\"directories\":2,\"items\":[{\"path\":\"new\","
         "\"directory\":"
         "true,\"size\":0},{\"path\":\"new/e.c\",\"directory\":false,\"size\":1},{\"path\":\"new/"
         "deeper\","
         "\"directory\":true,\"size\":0}]}"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = "case" + std::to_string(++n);
        MakeSourceAndCopy(dir);
        const std::string src = m_tree.path(dir + "/src"),
                          target = m_tree.path(dir + "/out/src-01");
        c.change(src, target);
        const CliRun r = Cli({"diff", src, target, "--json"});
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_EQ(Member(r.out, c.group).substr(0, c.expected.size()), c.expected) << r.out;
        EXPECT_NE(r.out.find(c.status == 0 ? "\"same\":true" : "\"same\":false"),
                  std::string::npos);
        for (const char* other : {"missing", "changed", "extra"}) {
            if (other != c.group) {
                EXPECT_EQ(Member(r.out, other), "\"" + std::string(other) + "\"" + kNothing);
            }
        }
    }

    // The same in words, and a copy that never finished is no match.
    const std::string src = m_tree.path("case2/src"), target = m_tree.path("case2/out/src-01");
    CliRun text = Cli({"diff", src, target});
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("\n目标中缺少的文件：1 个文件，40 字节\n  sub/c.c\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("\n  .o：2 个文件，1,500 字节\n    x.o\n    sub/y.o\n"),
              std::string::npos);
    fs::create_directory(m_tree.path("case1/out/src-01/.quillmere-incomplete"));
    text = Cli({"diff", m_tree.path("case1/src"), m_tree.path("case1/out/src-01"), "--json"});
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("\"same\":false,\"incomplete\":true"), std::string::npos) << text.out;
    text = Cli({"diff", src, m_tree.path("nowhere"), "--json"});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out, "{\"error\":\"File not found: " + m_tree.path("nowhere") +
                            "\",\"code\":\"not-found\"}\n");
}

// A copy records its filter beside the program's settings, never in the target; the
// comparison groups what each rule left out. A target the record does not describe (made by
// hand, made again under the same name, compared with another source) has its filter read
// off the target, and the comparison says so.
TEST_F(CliDiffTest, WhatTheCopysRulesLeftOutIsGroupedByRule) {
    const std::string app = m_tree.dir("app");
    const std::string cli = app + "/quillmere-cli";
    fs::copy_file(QUILLMERE_CLI_PATH, cli);
    const std::string src = m_tree.path("proj");
    m_tree.file("proj/main.c", "int main;");
    m_tree.file("proj/README", "read me");
    m_tree.file("proj/build.log", "12345");
    m_tree.file("proj/x.o", "oooo");
    m_tree.file("proj/node_modules/a/index.js", "js");
    m_tree.file("proj/node_modules/b.js", "bjs");
    m_tree.file("proj/web/app.js", "app");
    const CliRun copy = Cli({"copy", src, m_tree.dir("out"), "--exclude", ".o", "--exclude-dir",
                             "node_modules", "--exclude-name", "*.log"},
                            cli);
    ASSERT_EQ(copy.status, 0) << copy.err;
    const std::string target = m_tree.path("out/proj-01");
    ASSERT_EQ(std::distance(fs::directory_iterator(app + "/copies"), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(target + "/.quillmere-record"));

    CliRun r = Cli({"diff", src, target, "--json"}, cli);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Member(r.out, "left_out"),
              "\"left_out\":{\"files\":4,\"bytes\":14,\"directories\":2,\"recorded\":true,"
              "\"types\":[{\"type\":\".o\",\"files\":1,\"bytes\":4,\"directories\":0,\"items\":[{"
              "\"path\":\"x.o\",\"directory\":false,\"size\":4}]}],"
              "\"rules\":[{\"rule\":\"name:*.log\",\"files\":1,\"bytes\":5,\"directories\":0,"
              "\"items\":[{\"path\":\"build.log\",\"directory\":false,\"size\":5}]},"
              "{\"rule\":\"dir:node_modules\",\"files\":2,\"bytes\":5,\"directories\":2,\"items\":["
              "{\"path\":\"node_modules\",\"directory\":true,\"size\":0},"
              "{\"path\":\"node_modules/b.js\",\"directory\":false,\"size\":3},"
              "{\"path\":\"node_modules/a\",\"directory\":true,\"size\":0},"
              "{\"path\":\"node_modules/a/index.js\",\"directory\":false,\"size\":2}]}]}");
    r = Cli({"diff", src, target}, cli);
    EXPECT_EQ(
        r.out.substr(0, r.out.find('\n')),
        "按复制时的过滤滤除 4 个文件和 2 个目录；其余与源目录一致：没有缺少、改变或多出的文件");
    EXPECT_NE(r.out.find("\n按复制时的过滤滤除：3 条规则，4 个文件，14 字节，2 个目录\n"
                         "  name:*.log：1 个文件，5 字节\n    build.log\n  .o：1 个文件，4 字节\n"),
              std::string::npos)
        << r.out;

    const std::string readOff = "按类型滤除 2 种类型；";
    const struct {
        const char* name;
        std::function<std::string()> make;  // the target to compare with `src`
        std::string source;
    } cases[] = {
        {"another source", [&] { return target; }, m_tree.path("twin")},
        {"a target made by hand",
         [&] {
             fs::copy(target, m_tree.path("out/hand"), fs::copy_options::recursive);
             return m_tree.path("out/hand");
         },
         src},
        {"the target made again under its name",
         [&] {
             fs::rename(target, m_tree.path("out/moved"));
             fs::copy(m_tree.path("out/moved"), target, fs::copy_options::recursive);
             return target;
         },
         src},
    };
    fs::copy(src, m_tree.path("twin"), fs::copy_options::recursive);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string t = c.make();
        r = Cli({"diff", c.source, t}, cli);
        EXPECT_EQ(r.status, 1) << r.out;  // node_modules and build.log now count as missing
        EXPECT_EQ(r.out.substr(0, readOff.size()), readOff) << r.out;
        EXPECT_NE(
            r.out.find("\n没有这个目标复制时的过滤记录：滤除的类型是从目标中有哪些类型推断的\n"),
            std::string::npos)
            << r.out;
        EXPECT_NE(Cli({"diff", c.source, t, "--json"}, cli).out.find("\"recorded\":false"),
                  std::string::npos);
    }

    // The next copy drops the records of targets that are gone, but keeps those it cannot
    // reach.
    const std::string stick = m_tree.path("stick/out/proj-01");
    Write(app + "/copies/0123456789abcdef.txt",
          "exclude\t" + stick + "\r\nfrom\t" + src + "\r\nid\t1\t2\r\n");
    fs::remove_all(target);
    ASSERT_EQ(Cli({"copy", src, m_tree.dir("out2")}, cli).status, 0);
    std::vector<std::string> records;
    for (const auto& e : fs::directory_iterator(app + "/copies"))
        records.push_back(ReadFile(e.path().string()));
    std::sort(records.begin(), records.end());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].substr(0, 8 + m_tree.path("out2").size()),
              "exclude\t" + m_tree.path("out2"));
    EXPECT_EQ(records[1].substr(0, 8 + stick.size()), "exclude\t" + stick);
}

TEST_F(CliDiffTest, SameAsLastTakesTheTypesAndModeRememberedForTheSource) {
    // filters.ini lies where the windows keep work.ini: beside the programs.
    const std::string app = m_tree.dir("app");
    const std::string cli = app + "/quillmere-cli";
    fs::copy_file(QUILLMERE_CLI_PATH, cli);
    const std::string src = m_tree.path("work/a\tb");
    for (const char* name : {"a.c", "b.c", "README", "x.o", "notes.txt", "sub/c.c"})
        Write(src + "/" + name, "1234");
    const std::string out = m_tree.dir("out");
    const std::string escaped = m_tree.path("work/a%09b");
    const std::string other = "exclude\t/elsewhere\t.c\r\n";
    const struct {
        const char* name;
        std::string filters;  // empty: no file at all
        std::vector<std::string> options;
        int status;
        std::string answer;  // the start of stdout
    } cases[] = {
        {"kept only",
         other + "keep-only\t" + escaped + "\t.c\t无扩展名\t.gone\r\n",
         {},
         0,
         "{\"files\":4,"},
        {"left out", "exclude\t" + escaped + "\t.c\r\n" + other, {}, 0, "{\"files\":3,"},
        {"no line for it", other, {}, 1, "{\"error\":\"no choice of types remembered"},
        {"no file", "", {}, 1, "{\"error\":\"no choice of types remembered"},
        {"a malformed line",
         "keep-only\t" + escaped + "\t%zz\r\n",
         {},
         1,
         "{\"error\":\"no choice of types remembered"},
        {"with a type option",
         other,
         {"--exclude", ".o"},
         2,
         "{\"error\":\"--same-as-last does not mix"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(app + "/filters.ini");
        if (!c.filters.empty())
            Write(app + "/filters.ini", c.filters);
        std::vector<std::string> args{"check", src, out, "--same-as-last", "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun r = Cli(args, cli);
        EXPECT_EQ(r.status, c.status) << r.out << r.err;
        EXPECT_EQ(r.out.substr(0, c.answer.size()), c.answer) << r.out;
    }

    Write(app + "/filters.ini", "keep-only\t" + escaped + "\t.c\t无扩展名\r\n");
    const CliRun copy = Cli({"copy", src, out, "--same-as-last"}, cli);
    ASSERT_EQ(copy.status, 0) << copy.err;
    std::vector<std::string> copied;
    for (const auto& e : fs::recursive_directory_iterator(out))
        copied.push_back(fs::relative(e.path(), out).string());
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (std::vector<std::string>{"a\tb-01", "a\tb-01/README", "a\tb-01/a.c",
                                                "a\tb-01/b.c", "a\tb-01/sub", "a\tb-01/sub/c.c"}));
}
