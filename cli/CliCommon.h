#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "core/FilterRules.h"
#include "core/QuillError.h"
#include "core/StopToken.h"

namespace Cli {

// Exit codes of quillmere-cli.
inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;
inline constexpr int kSkipped = 3;  // a copy that finished but passed over items

// What every command is given: its operands, --json and --help.
struct Args {
    std::vector<std::string> positional;
    bool json = false;
    bool help = false;
};

// The options that choose what check and copy take from the source.
struct FilterArgs {
    std::vector<std::string> exclude;
    std::vector<std::string> keepOnly;
    FunSub::FilterRules rules;  // --exclude-dir, --exclude-name, --max-size, --gitignore
    bool sameAsLast = false;    // the types and mode last confirmed for the source
};

// The arguments of check: the operands and the filter.
struct CheckArgs : Args {
    FilterArgs filter;
};

// The arguments of copy: those of check, and how the copy goes.
struct CopyArgs : CheckArgs {
    std::optional<std::string> work;  // --work, as given
    int jobs = 0;                     // --jobs: copying threads; 0 when not given
    bool keepGoing = false;
    bool force = false;
    bool verify = false;
    bool verbose = false;
};

// A failure the command line itself finds in what it was given, with its stable code word.
class CliError : public FunSub::QuillError {
public:
    CliError(const std::string& message, const char* code) : QuillError(message, code) {}
};

// Runs the command argv[1] names with the arguments after it, which it parses into its own
// kind of Args; returns the exit status. Unknown commands and options are bad arguments.
int RunCommand(int argc, char** argv);

// Text for output: UTF-8 as it stands, every byte sequence that is not UTF-8 as U+FFFD.
std::string ValidUtf8(const std::string& s);
// A path argument as the core takes it: full, normalised, without a trailing separator
// (a root keeps its own).
std::string FullPath(const std::string& arg);
// A JSON string literal, quotes included.
std::string JsonString(const std::string& s);
// A type as the program makes them (".txt", "无扩展名") from "TXT", ".TXT" or "txt"; empty
// when `arg` is empty.
std::string TypeArgument(const std::string& arg);

// Raises the input/output error, naming `dir`, when `dir` cannot be made current.
void RequireEnterable(const std::string& dir);

// Whether output is JSON: decided once from the whole command line, so that even bad
// arguments answer with an object.
void SetJsonOutput(bool json);
bool JsonOutput();

// The message of a failure, naming what it concerns: the described text, and the path after
// it when the text does not hold it ("Stream write error: /src/big.bin").
std::string FailureMessage(const std::exception& e);
// The stable code word of a failure: "not-found", "output-inside-source", ...
std::string FailureCode(const std::exception& e);
// Prints "quillmere-cli: <message>" to stderr and, with --json, {"error":..,"code":..} to
// stdout; returns kFailed.
int Fail(const std::string& message, const std::string& code);
int Fail(const std::exception& e);
// Prints the reason and the usage to stderr (with --json also the failure object) and returns
// kBadArguments.
int BadArguments(const std::string& reason);

// The settings the program beside this one keeps (filters.ini, the copies' records) are the
// ones this run reads and writes.
void UseProgramSettings();

// SIGINT and SIGTERM ask the run to stop, from the start of main; a signal the process
// inherited as ignored stays ignored for the whole run.
void CatchStopSignals();
// From now on, counts the time the process spends stopped (SIGTSTP, Ctrl-Z, or SIGSTOP) until
// SIGCONT continues it. Called before the work starts its threads; once is enough.
void WatchStoppedTime();
// The seconds counted so far; 0 where the process cannot be stopped so (Windows).
double StoppedSeconds();
// What the work checks to learn that such a signal came.
FunSub::StopToken StopFlag();
bool StopRequested();
// The exit status of a stopped run: 128 + the signal.
int StoppedStatus();
// Reports a run stopped before it had anything to show: {"stopped":true} with --json,
// "stopped" on stderr otherwise; returns StoppedStatus().
int Stopped();
// Prints the usage to stdout and returns kOk.
int Help();

// The commands, each with the arguments of its kind.
int RunTree(const Args& args);
int RunFiles(const Args& args);
int RunStats(const Args& args);
int RunName(const Args& args);
int RunCheck(const CheckArgs& args);
int RunCopy(const CopyArgs& args);
int RunDiff(const Args& args);
int RunWhy(const CheckArgs& args);
int RunContinue(const CopyArgs& args);

// ,"source":"..." with the source an unfinished copy into `dir` recorded; empty when `dir` is
// no such target or its record cannot be read.
std::string JsonRecordedSource(const std::string& dir);

}  // namespace Cli
