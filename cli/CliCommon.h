#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Cli {

// Exit codes of quillmere-cli.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;
inline constexpr int kSkipped = 3;  // a copy that finished but passed over items

// The arguments after the command name, split into positional ones and flags.
struct Args {
    std::vector<std::string> positional;
    bool json = false;
    bool verbose = false;
    bool keepGoing = false;
    bool force = false;
    std::vector<std::string> exclude;
    std::vector<std::string> keepOnly;
    std::string work;
    bool workGiven = false;
};

// Parses `argv` from index `first`. Options that the command does not accept are errors;
// `allowed` names the options (without "--") the command takes. Returns false and writes the
// reason to `error` on bad arguments.
bool ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& allowed,
               Args& out, std::string& error);

// Text for output: UTF-8 as it stands, every byte sequence that is not UTF-8 as U+FFFD.
std::string ValidUtf8(const std::string& s);
// A path argument as the core takes it: full, normalised, without a trailing separator
// (a root keeps its own).
std::string FullPath(const std::string& arg);
// A JSON string literal, quotes included.
std::string JsonString(const std::string& s);

// Prints "quillmere-cli: <message>" to stderr and returns kFailed.
int Fail(const std::string& message);
// Prints the reason and the usage to stderr and returns kBadArguments.
int BadArguments(const std::string& reason);

int RunTree(const Args& args);
int RunFiles(const Args& args);
int RunStats(const Args& args);
int RunName(const Args& args);
int RunCheck(const Args& args);
int RunCopy(const Args& args);

}  // namespace Cli
