#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "core/TreeStats.h"
#include "support/CliRun.h"
#include "support/TempTree.h"

namespace fs = std::filesystem;

namespace {

// quillmere-cli with `args`, as a script runs it; `prefix` goes before it in the shell
// command. Its output goes through files in `t`.
CliRun Cli(const TempTree& t, const std::vector<std::string>& args,
           const std::string& prefix = "") {
    return RunCli(t, args, QUILLMERE_CLI_PATH, prefix);
}

// What `stats --json` must print for `root`, worked out with std::filesystem alone:
// directories depth first, each directory's files before its subdirectories' files,
// names beginning with "." left out of the directories, files of every kind counted.
std::string ExpectedStats(const fs::path& root) {
    std::int64_t dirs = 0, files = 0, bytes = 0;
    std::vector<std::int64_t> levels;
    std::vector<std::pair<std::string, std::pair<std::int64_t, std::int64_t>>> types;
    // Per directory name below the root: directories, files and bytes beneath, each file once.
    std::map<std::string, std::array<std::int64_t, 3>> names;
    std::vector<std::string> path;  // the names from the root down to the directory visited
    auto folded = [](std::string n) {
        for (char& c : n) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        return n;
    };
    auto visit = [&](auto&& self, const fs::path& dir, std::size_t level) -> void {
        ++dirs;
        if (levels.size() <= level)
            levels.resize(level + 1);
        ++levels[level];
        std::vector<fs::path> subdirs;
        std::vector<fs::directory_entry> entries(fs::directory_iterator(dir), {});
        // Listings come by name with A-Z taken as a-z, then by bytes.
        std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
            const std::string x = a.path().filename().string(), y = b.path().filename().string();
            return std::pair(folded(x), x) < std::pair(folded(y), y);
        });
        for (const auto& e : entries) {
            std::error_code ec;
            const std::string name = e.path().filename().string();
            // Links are never followed: each is a file with the link's own size.
            const fs::file_status own = e.symlink_status(ec);
            if (fs::is_directory(own)) {
                if (name[0] != '.')
                    subdirs.push_back(e.path());
                continue;
            }
            std::int64_t size = 0;
            if (fs::is_regular_file(own))
                size = static_cast<std::int64_t>(fs::file_size(e.path()));
            if (fs::is_symlink(own))
                size = static_cast<std::int64_t>(fs::read_symlink(e.path()).string().size());
            const auto dot = name.rfind('.');
            std::string key = dot == std::string::npos ? "无扩展名" : name.substr(dot);
            for (char& c : key) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
            auto it =
                std::find_if(types.begin(), types.end(), [&](auto& t) { return t.first == key; });
            if (it == types.end()) {
                types.push_back({key, {1, size}});
            } else {
                ++it->second.first;
                it->second.second += size;
            }
            ++files;
            bytes += size;
            const std::set<std::string> above(path.begin(), path.end());
            for (const std::string& n : above) {
                ++names[n][1];
                names[n][2] += size;
            }
        }
        for (const auto& s : subdirs) {
            path.push_back(folded(s.filename().string()));
            ++names[path.back()][0];
            self(self, s, level + 1);
            path.pop_back();
        }
    };
    visit(visit, root, 0);
    std::string out = "{\"directories\":" + std::to_string(dirs) +
                      ",\"files\":" + std::to_string(files) +
                      ",\"bytes\":" + std::to_string(bytes) + ",\"levels\":[";
    for (std::size_t i = 0; i < levels.size() && i <= 50; ++i) {
        out += (i ? "," : "") + std::to_string(levels[i]);
    }
    out += "],\"types\":[";
    for (std::size_t i = 0; i < types.size(); ++i) {
        out += std::string(i ? "," : "") + "{\"type\":\"" + types[i].first +
               "\",\"files\":" + std::to_string(types[i].second.first) +
               ",\"bytes\":" + std::to_string(types[i].second.second) + "}";
    }
    std::vector<std::pair<std::string, std::array<std::int64_t, 3>>> byBytes(names.begin(),
                                                                             names.end());
    std::stable_sort(byBytes.begin(), byBytes.end(), [](const auto& a, const auto& b) {
        return std::tuple(b.second[2], b.second[1], b.second[0]) <
               std::tuple(a.second[2], a.second[1], a.second[0]);
    });
    out += "],\"directories_by_name\":[";
    for (std::size_t i = 0; i < byBytes.size(); ++i) {
        const auto& [name, n] = byBytes[i];
        out += std::string(i ? "," : "") + "{\"name\":\"" + name +
               "\",\"directories\":" + std::to_string(n[0]) + ",\"files\":" + std::to_string(n[1]) +
               ",\"bytes\":" + std::to_string(n[2]) + "}";
    }
    return out + "],\"unreadable\":0,\"incomplete\":false}\n";
}

}  // namespace

TEST(CliBrowseTest, StatsAgreeWithAnIndependentWalkOfSystemTrees) {
    // Trees this test did not make: whatever the machine has installed.
    const TempTree out;
    for (const char* dir : {"/usr/include/c++", "/usr/share/cmake-3.25/Modules", "/etc"}) {
        if (!fs::is_directory(dir))
            continue;
        const CliRun r = Cli(out, {"stats", dir, "--json"});
        ASSERT_EQ(r.status, 0) << dir;
        EXPECT_EQ(r.out, ExpectedStats(dir)) << dir;
    }
}

// Statistics say what they could not read instead of leaving it out in silence.
TEST(CliBrowseTest, StatsCountTheDirectoriesTheyCouldNotRead) {
    TempTree t;
    t.file("r/a/one.txt", "1");
    t.file("r/shut/two.txt", "22");
    t.file("r/shut/deeper/three.txt", "333");
    chmod(t.path("r/shut").c_str(), 0);
    chmod(t.root().c_str(), 0755);
    const std::string user =
        geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
    const CliRun json = Cli(t, {"stats", t.path("r"), "--json"}, user);
    EXPECT_EQ(json.out.rfind("{\"directories\":3,\"files\":1,\"bytes\":1,", 0), 0u) << json.out;
    EXPECT_NE(json.out.find("\"unreadable\":1,"), std::string::npos) << json.out;
    const CliRun text = Cli(t, {"stats", t.path("r")}, user);
    EXPECT_NE(text.out.find("1 个目录无法读取，其中的文件没有计入"), std::string::npos) << text.out;
}

TEST(CliBrowseTest, StatsTextIsWhatTheWindowShows) {
    TempTree t;
    t.file("r/a.C", "12345");
    t.file("r/sub/b.c", "1");
    const CliRun r = Cli(t, {"stats", t.path("r")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              " 合计:1\t2\t6\n.c\t2\t6\n\n  目录级    目录数\n ------------------\n"
              "    0 级:    1\n    1 级:    1\n\n 合计:1\t1\t1\t1\nsub\t1\t1\t1\n");
}

TEST(CliBrowseTest, TreeAndFilesAsJson) {
    TempTree t;
    t.file("r/x/f\"q.txt", "abcd");
    CliRun r = Cli(t, {"tree", t.path("r"), "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"nodes\":[{\"index\":0,\"level\":0,\"label\":\"" + t.path("r") +
                         "<目录树根>\",\"path\":\"" + t.path("r") +
                         "\"},{\"index\":1,\"level\":1,"
                         "\"label\":\"x\",\"path\":\"" +
                         t.path("r/x") + "\"}]}\n");
    EXPECT_EQ(Cli(t, {"tree", "r/", "--json"}, "cd " + Quote(t.root()) + " && ").out,
              r.out);  // relative, trailing separator
    r = Cli(t, {"files", t.path("r/x"), "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("{\"files\":[{\"name\":\"f\\\"q.txt\",\"size\":4,\"mtime\":\"20"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("],\"count\":1,\"bytes\":4}"), std::string::npos) << r.out;
}

TEST(CliBrowseTest, NamesThatAreNotUtf8AreReplacedInOutputOnly) {
    TempTree t;
    t.file("r/a\xff.txt", "1");
    const CliRun r = Cli(t, {"files", t.path("r"), "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"name\":\"a\xEF\xBF\xBD.txt\""), std::string::npos) << r.out;
}

TEST(CliBrowseTest, ExitCodes) {
    TempTree t;
    EXPECT_EQ(Cli(t, {}).status, 2);
    EXPECT_EQ(Cli(t, {"frobnicate", "/"}).status, 2);
    EXPECT_EQ(Cli(t, {"stats"}).status, 2);
    EXPECT_EQ(Cli(t, {"stats", "/", "--verbose"}).status, 2);
    EXPECT_EQ(Cli(t, {"stats", t.path("missing")}).status, 1);
    EXPECT_EQ(Cli(t, {"files", t.path("missing")}).status, 1);
    EXPECT_EQ(Cli(t, {"tree", t.path("missing")}).status, 1);
}
