#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CliRun.h"
#include "support/TempTree.h"

namespace {

// The words bash's completion offers for the command line `words`, the last being the one
// under completion, one per line; a second run of `complete -p` shows how it is bound.
std::string Offered(const TempTree& tree, const std::vector<std::string>& words) {
    std::string line;
    for (const auto& w : words) line += " " + Quote(w);
    const std::string script = "source " + Quote(QUILLMERE_COMPLETION_PATH) + "; cd " +
                               Quote(tree.root()) + "; COMP_WORDS=(" + Quote(QUILLMERE_CLI_PATH) +
                               line + "); COMP_CWORD=" + std::to_string(words.size()) +
                               "; _quillmere_cli; printf '%s\\n' \"${COMPREPLY[@]}\" | sort";
    return RunCli(tree, {"-c", script}, "bash").out;
}

}  // namespace

// Commands, each command's own options, directories for the paths, and the source's types and
// directory names after the options that take them.
TEST(CliCompletionTest, OffersWhatTheCommandTakesAtEachWord) {
    TempTree t;
    t.file("proj/a.c", "a");
    t.file("proj/node_modules/x.js", "x");
    t.file("proj/README", "r");
    t.dir("out");
    const struct {
        std::vector<std::string> words;
        std::string offered;
    } cases[] = {
        {{"c"}, "check\ncontinue\ncopy\n"},
        {{"--v"}, "--version\n"},
        {{"copy", "--ex"}, "--exclude\n--exclude-dir\n--exclude-name\n"},
        {{"diff", "--"}, "--json\n"},
        {{"copy", "pr"}, "proj\n"},
        {{"copy", "proj", "o"}, "out\n"},
        {{"copy", "proj", "out", "--exclude", ""}, ".c\n.js\n无扩展名\n"},
        {{"check", "proj", "--keep-only", ".c", "--keep-only", "."}, ".c\n.js\n"},
        {{"copy", "proj", "--exclude-dir", "n"}, "node_modules\n"},
        {{"copy", "--jobs", "2", "proj", "out", "--max-size", ""}, "\n"},
        {{"why", "proj", "R"}, "README\n"},
        {{"copy", "--exclude", ""}, "\n"},  // no source on the line yet
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& w : c.words) shown += w + " ";
        EXPECT_EQ(Offered(t, c.words), c.offered) << shown;
    }
    EXPECT_EQ(
        RunCli(t,
               {"-c", "source " + Quote(QUILLMERE_COMPLETION_PATH) + "; complete -p quillmere-cli"},
               "bash")
            .out,
        "complete -o filenames -F _quillmere_cli quillmere-cli\n");
}
