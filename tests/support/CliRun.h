#pragma once

// quillmere-cli run as a script runs it, through the shell (POSIX only).

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/TempTree.h"

// `s` in single quotes, for the shell.
inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `args` and no input; `shellPrefix` goes before it in the shell command.
// Its output goes through files in `tree`.
inline CliRun RunCli(const TempTree& tree, const std::vector<std::string>& args,
                     const std::string& program, const std::string& shellPrefix = "") {
    std::string cmd = shellPrefix + Quote(program);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " >" + Quote(tree.path("cli.out")) + " 2>" + Quote(tree.path("cli.err")) + " </dev/null";
    const int st = std::system(cmd.c_str());
    return CliRun{WIFEXITED(st) ? WEXITSTATUS(st) : -1, ReadFile(tree.path("cli.out")),
                  ReadFile(tree.path("cli.err"))};
}
