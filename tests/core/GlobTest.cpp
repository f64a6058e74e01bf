#include <gtest/gtest.h>

#include "core/Glob.h"

using FunSub::GlobMatch;
using FunSub::GlobProblem;

// Patterns as the rules write them, against whole names.
TEST(GlobTest, MatchesAsTheShellDoes) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.min.js", "app.min.js", true},
        {"*.min.js", "app.js", false},
        {"*", "", true},
        {"?", "", false},
        {"~$*", "~$report.docx", true},
        {"~$*", "report~$", false},
        {"a*b*c", "axxbyyc", true},
        {"a*b*c", "axxbyy", false},
        {"*a*a*a", "aaaaaaaaaaaaab", false},
        {"[a-c]x", "bx", true},
        {"[a-c]x", "dx", false},
        {"[!a-c]x", "dx", true},
        {"[^a-c]x", "ax", false},
        {"[]]", "]", true},
        {"[!]]", "a", true},
        {"[a-]", "-", true},
        {"\\*", "*", true},
        {"\\*", "a", false},
        {"[", "[", true},
        {"ab[", "ab[", true},
        {"[\\]]", "]", true},
        {"build*", "build-out", true},
        {"Build", "build", false},
        {"??.txt", "ab.txt", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GlobMatch(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
}

TEST(GlobTest, UnusablePatternsSayWhy) {
    EXPECT_EQ(GlobProblem("*.js"), "");
    EXPECT_EQ(GlobProblem("a\\["), "");
    EXPECT_EQ(GlobProblem("[a-z"), "未闭合的 [");
    EXPECT_EQ(GlobProblem(""), "空的规则");
    EXPECT_EQ(GlobProblem("/"), "空的规则");
}
