#include "cli/CliCommon.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <variant>
#ifndef _WIN32
#include <pthread.h>
#include <time.h>
#endif

#include "core/CopyJob.h"
#include "core/FunSub.h"
#include "core/Glob.h"
#include "core/Platform.h"
#include "core/TreeStats.h"

namespace Cli {

namespace {

const char* const kUsageNotes =
    "TYPE: \".txt\", \"txt\" and \"TXT\" alike; 无扩展名 for names without \".\".\n"
    "--json: one JSON object on stdout, also on failure ({\"error\":..,\"code\":..}) and when\n"
    "  stopped ({\"stopped\":true}); progress and --verbose lines then go to stderr.\n"
    "--verify: once the copy is on the disk, read every copied file back and compare it\n"
    "  with its source; exit 1 when one differs.\n"
    "--jobs N: copy on N threads (default: one per core, at most 8; 1 copies one by one).\n"
    "exit: 0 done, 1 failed (the message names its path), 2 bad arguments, 3 copied but\n"
    "  items skipped (--keep-going), 130/143 stopped by SIGINT/SIGTERM.\n"
    "--exclude-dir NAME: leave out every directory of that name (A-Z as a-z) with all it holds.\n"
    "--exclude-name PATTERN: leave out the files whose names match (* ? [...]); a pattern\n"
    "  ending in / leaves out directories. Both leave out in either mode.\n"
    "--max-size SIZE: leave out files larger than SIZE (4096, 10M, 1.5G).\n"
    "--gitignore: leave out what git ignores: every .gitignore of the tree, and info/exclude\n"
    "  when the source lies in a git work tree (not the user's global excludes file).\n"
    "--same-as-last: the types, mode and rules last confirmed in the filter dialog for SOURCE.\n"
    "why: the rule that leaves PATH (below SOURCE) out, exit 0; \"copied\" and exit 1 when none.\n"
    "continue: finish the unfinished copy TARGET from the source and filter it recorded:\n"
    "  files already whole are kept, the rest copied; exit codes as copy.\n"
    "diff: exit 0 when TARGET holds just what the filter it shows would copy from SOURCE,\n"
    "  1 when something is missing, changed or extra.\n";

bool g_json = false;

std::atomic<bool> g_stop{false};
volatile std::sig_atomic_t g_signal = 0;

// The first signal asks the work to stop where it can and say so; a second one ends the
// process at once (a copy's target then keeps its unfinished marker).
extern "C" void AskToStop(int signal) {
    if (g_stop) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_signal = signal;
    g_stop = true;
}

bool IsOption(const std::string& arg) {
    return arg.size() >= 3 && arg.compare(0, 2, "--") == 0;
}

// How an option goes into the arguments of the commands that take it: those of every command,
// of check and copy, or of copy alone.
template <class A>
using Take = std::string (*)(A& args, const std::string& value);

// One option of the command line: its name without "--", the word its value stands for in the
// usage (null for a switch), whether it may be given more than once, and how it goes into the
// arguments: `take` returns why it refuses the value ("needs a type, such as .txt"), or nothing.
struct OptionSpec {
    const char* name;
    const char* value;
    bool repeats;
    std::variant<Take<Args>, Take<CheckArgs>, Take<CopyArgs>> take;
};

// A command: its name, its operands as the usage names them, the options it takes, and what
// parses its arguments and runs it. The usage and the errors about options come from these.
struct CommandSpec {
    const char* name;
    std::vector<const char*> operands;
    std::vector<std::string> options;
    int (*run)(const CommandSpec& command, int argc, char** argv);
};

// Puts a type given with --exclude or --keep-only into `into`.
std::string TakeType(std::vector<std::string>& into, const std::string& value) {
    const std::string type = TypeArgument(value);
    if (type.empty())
        return "needs a type, such as .txt";
    into.push_back(type);
    return {};
}

// Every option of every command: how it is written in the usage, and what it sets.
const OptionSpec kOptions[] = {
    {"exclude", "TYPE", true,
     [](CheckArgs& a, const std::string& v) { return TakeType(a.filter.exclude, v); }},
    {"keep-only", "TYPE", true,
     [](CheckArgs& a, const std::string& v) { return TakeType(a.filter.keepOnly, v); }},
    {"exclude-dir", "NAME", true,
     [](CheckArgs& a, const std::string& v) {
         if (v.empty() || v.find_first_of("/\\") != std::string::npos || v == "." || v == "..")
             return std::string("needs the name of a directory, such as node_modules");
         a.filter.rules.directoryNames.push_back(FunSub::LowerAscii(v));
         return std::string();
     }},
    {"exclude-name", "PATTERN", true,
     [](CheckArgs& a, const std::string& v) {
         if (!FunSub::GlobProblem(v).empty())
             return std::string(
                 "needs a name pattern, such as *.min.js or build*/, with each [ closed");
         a.filter.rules.namePatterns.push_back(v);
         return std::string();
     }},
    {"max-size", "SIZE", false,
     [](CheckArgs& a, const std::string& v) {
         a.filter.rules.sizeLimit = FunSub::ParseSize(v);
         return a.filter.rules.sizeLimit < 0
                    ? std::string("needs a size, such as 10M, 1.5G or 4096")
                    : std::string();
     }},
    {"gitignore", nullptr, false,
     [](CheckArgs& a, const std::string&) {
         return (a.filter.rules.gitignore = true, std::string());
     }},
    {"same-as-last", nullptr, false,
     [](CheckArgs& a, const std::string&) { return (a.filter.sameAsLast = true, std::string()); }},
    {"work", "WORKDIR", false,
     [](CopyArgs& a, const std::string& v) { return (a.work = v, std::string()); }},
    {"keep-going", nullptr, false,
     [](CopyArgs& a, const std::string&) { return (a.keepGoing = true, std::string()); }},
    {"force", nullptr, false,
     [](CopyArgs& a, const std::string&) { return (a.force = true, std::string()); }},
    {"jobs", "N", false,
     [](CopyArgs& a, const std::string& v) {
         char* end = nullptr;
         const long jobs = std::strtol(v.c_str(), &end, 10);
         if (*end != '\0' || jobs < 1 || jobs > 64)
             return std::string("needs a number of threads from 1 to 64");
         a.jobs = static_cast<int>(jobs);
         return std::string();
     }},
    {"verify", nullptr, false,
     [](CopyArgs& a, const std::string&) { return (a.verify = true, std::string()); }},
    {"verbose", nullptr, false,
     [](CopyArgs& a, const std::string&) { return (a.verbose = true, std::string()); }},
    {"json", nullptr, false,
     [](Args& a, const std::string&) { return (a.json = true, std::string()); }},
};

const OptionSpec* FindOption(const std::string& name) {
    for (const OptionSpec& o : kOptions) {
        if (name == o.name)
            return &o;
    }
    return nullptr;
}

// Gives `value` to `args`; a command's arguments hold every option the table gives it.
template <class A>
std::string TakeInto(const OptionSpec& option, A& args, const std::string& value) {
    return std::visit(
        [&](auto take) -> std::string {
            if constexpr (std::is_invocable_v<decltype(take), A&, const std::string&>)
                return take(args, value);
            else
                throw std::logic_error(std::string("--") + option.name + " has no place here");
        },
        option.take);
}

// Parses argv from index 2 for `command` into `out`: options that it does not take are errors.
// Returns why the arguments are bad, or nothing.
template <class A>
std::string ParseArgs(const CommandSpec& command, int argc, char** argv, A& out) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!IsOption(arg)) {
            out.positional.push_back(arg);
            continue;
        }
        const std::string name = arg.substr(2);
        if (name == "help") {
            out.help = true;
            continue;
        }
        const OptionSpec* option = FindOption(name);
        if (!option || std::find(command.options.begin(), command.options.end(), name) ==
                           command.options.end())
            return "unknown option " + arg;
        std::string value;
        if (option->value) {
            // A value that looks like an option is a forgotten value, not a type or a path.
            if (i + 1 >= argc || IsOption(argv[i + 1]))
                return "option " + arg + " needs a value";
            value = argv[++i];
        }
        if (const std::string refused = TakeInto(*option, out, value); !refused.empty())
            return "option " + arg + " " + refused;
    }
    return {};
}

// Parses the arguments of `command` into its kind of arguments and runs `Run` with them.
template <class A, int (*Run)(const A&)>
int ParseAndRun(const CommandSpec& command, int argc, char** argv) {
    A args;
    if (const std::string error = ParseArgs(command, argc, argv, args); !error.empty())
        return BadArguments(error);
    if (args.help)
        return Help();
    const std::size_t operands = command.operands.size();
    if (args.positional.size() != operands) {
        return BadArguments(std::string(command.name) + " takes " + std::to_string(operands) +
                            (operands == 1 ? " path" : " paths"));
    }
    try {
        return Run(args);
    } catch (const std::exception& e) {
        return Fail(e);
    }
}

const std::vector<CommandSpec> kCommands = {
    {"tree", {"DIR"}, {"json"}, ParseAndRun<Args, RunTree>},
    {"files", {"DIR"}, {"json"}, ParseAndRun<Args, RunFiles>},
    {"stats", {"DIR"}, {"json"}, ParseAndRun<Args, RunStats>},
    {"name", {"SOURCE", "OUTPUTDIR"}, {"json"}, ParseAndRun<Args, RunName>},
    {"check",
     {"SOURCE", "OUTPUTDIR"},
     {"exclude", "keep-only", "exclude-dir", "exclude-name", "max-size", "gitignore",
      "same-as-last", "json"},
     ParseAndRun<CheckArgs, RunCheck>},
    {"copy",
     {"SOURCE", "OUTPUTDIR"},
     {"exclude", "keep-only", "exclude-dir", "exclude-name", "max-size", "gitignore",
      "same-as-last", "work", "keep-going", "force", "jobs", "verify", "verbose", "json"},
     ParseAndRun<CopyArgs, RunCopy>},
    {"continue",
     {"TARGET"},
     {"keep-going", "verify", "verbose", "json"},
     ParseAndRun<CopyArgs, RunContinue>},
    {"diff", {"SOURCE", "TARGET"}, {"json"}, ParseAndRun<Args, RunDiff>},
    {"why",
     {"SOURCE", "PATH"},
     {"exclude", "keep-only", "exclude-dir", "exclude-name", "max-size", "gitignore",
      "same-as-last", "json"},
     ParseAndRun<CheckArgs, RunWhy>},
};

// How an option is written in the usage: "[--json]", "[--jobs N]", "[--exclude TYPE]...".
std::string UsageOf(const OptionSpec& o) {
    std::string text = std::string("[--") + o.name;
    if (o.value)
        text += std::string(" ") + o.value;
    return text + (o.repeats ? "]..." : "]");
}

// The usage: one line per command, its options wrapped below it, then the notes.
std::string Usage() {
    constexpr std::size_t kWidth = 88;
    std::string text = "usage:\n";
    for (const CommandSpec& c : kCommands) {
        std::string line = "  quillmere-cli " + std::string(c.name);
        line.resize(std::max<std::size_t>(line.size(), 21), ' ');
        for (const char* operand : c.operands) line += std::string(" ") + operand;
        const std::size_t indent = 22;
        for (const std::string& name : c.options) {
            const std::string option = UsageOf(*FindOption(name));
            if (line.size() + 1 + option.size() > kWidth) {
                text += line + "\n";
                line = std::string(indent, ' ') + option;
            } else {
                line += " " + option;
            }
        }
        text += line + "\n";
    }
    return text + "  quillmere-cli --help | --version\n" + kUsageNotes;
}

}  // namespace

int RunCommand(int argc, char** argv) {
    const std::string name = argv[1];
    for (const CommandSpec& c : kCommands) {
        if (name == c.name)
            return c.run(c, argc, argv);
    }
    return BadArguments("unknown command " + name);
}

std::string ValidUtf8(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::size_t len = 0;
        unsigned cp = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        }
        bool ok = len > 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            ok = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Reject overlong forms, surrogates and values past U+10FFFF.
        static const unsigned kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && cp >= kMin[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (ok) {
            out.append(s, i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (char ch : ValidUtf8(s)) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

// The core works on full paths without a trailing separator, as the windows hand them over.
std::string FullPath(const std::string& arg) {
#ifdef _WIN32
    // Arguments are UTF-8 here; a std::filesystem path made from a narrow string would read
    // them in the ANSI code page. A drive root keeps its separator ("C:\").
    const std::u8string full =
        std::filesystem::absolute(std::filesystem::path(std::u8string(arg.begin(), arg.end())))
            .lexically_normal()
            .u8string();
    std::string p(full.begin(), full.end());
    while (p.size() > 3 && p.back() == Platform::kSeparator) p.pop_back();
#else
    // ".." leaves the directory a link leads to, as the system takes it ("lnk/.." is the
    // parent of the link's target), while the last component and the names before a ".."
    // stay as given: a source keeps its own name.
    const std::string given = std::filesystem::absolute(arg).string();
    std::string p = "/";
    std::size_t start = 0;
    while (start <= given.size()) {
        std::size_t end = given.find('/', start);
        if (end == std::string::npos)
            end = given.size();
        const std::string part = given.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part != "..") {
            p = FunSub::PathBelow(p, part);
            continue;
        }
        if (const std::string real = Platform::CanonicalPath(p); !real.empty())
            p = real;
        const auto cut = p.find_last_of('/');
        p.erase(cut == 0 ? 1 : cut);
    }
#endif
    return p;
}

std::string TypeArgument(const std::string& arg) {
    if (arg.empty() || arg == FunSub::kNoExtension)
        return arg;
    return FunSub::LowerAscii(arg[0] == '.' ? arg : "." + arg);
}

void RequireEnterable(const std::string& dir) {
    if (const int err = Platform::CheckEnterable(dir))
        throw FunSub::QuillError(FunSub::IoErrorText(err) + ": " + dir, err);
}

void SetJsonOutput(bool json) {
    g_json = json;
}
bool JsonOutput() {
    return g_json;
}

std::string FailureMessage(const std::exception& e) {
    std::string message = e.what();
    const auto* quill = dynamic_cast<const FunSub::QuillError*>(&e);
    if (quill && !quill->path().empty() && message.find(quill->path()) == std::string::npos)
        message += ": " + quill->path();
    return message;
}

std::string FailureCode(const std::exception& e) {
    const auto* quill = dynamic_cast<const FunSub::QuillError*>(&e);
    return quill ? quill->code() : "failed";
}

int Fail(const std::string& message, const std::string& code) {
    if (g_json) {
        std::cout << "{\"error\":" << JsonString(message) << ",\"code\":" << JsonString(code)
                  << "}\n";
    }
    std::cerr << "quillmere-cli: " << ValidUtf8(message) << '\n';
    return kFailed;
}

int Fail(const std::exception& e) {
    return Fail(FailureMessage(e), FailureCode(e));
}

int BadArguments(const std::string& reason) {
    if (g_json)
        std::cout << "{\"error\":" << JsonString(reason) << ",\"code\":\"bad-arguments\"}\n";
    std::cerr << "quillmere-cli: " << reason << '\n' << Usage();
    return kBadArguments;
}

#ifndef _WIN32
namespace {

// A stopped process runs no code, and SIGCONT tells only that it goes on again, not since when
// it stood still. A watcher thread notes the time every few milliseconds; SIGCONT is let through
// to that thread alone, so its handler runs there before the thread notes anything more, and the
// time since the last note is the time stopped (a few milliseconds too long at most).
constexpr auto kWatchTick = std::chrono::milliseconds(20);
std::atomic<std::int64_t> g_continuedAt{0};  // CLOCK_MONOTONIC nanoseconds of the last SIGCONT
std::atomic<bool> g_continued{false};
std::atomic<std::int64_t> g_stoppedNs{0};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

std::int64_t MonotonicNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

extern "C" void NoteContinued(int) {
    g_continuedAt = MonotonicNs();
    g_continued = true;
}

void WatchForStops() {
    sigset_t cont;
    sigemptyset(&cont);
    sigaddset(&cont, SIGCONT);
    pthread_sigmask(SIG_UNBLOCK, &cont, nullptr);
    std::int64_t noted = MonotonicNs();
    for (;;) {
        std::this_thread::sleep_for(kWatchTick);
        const std::int64_t now = MonotonicNs();
        if (g_continued.exchange(false))
            g_stoppedNs += std::max<std::int64_t>(g_continuedAt - noted, 0);
        noted = now;
    }
}

}  // namespace

void WatchStoppedTime() {
    static bool watching = false;
    if (watching)
        return;
    watching = true;
    // Every thread made from here on is born with SIGCONT held back; only the watcher takes it.
    sigset_t cont;
    sigemptyset(&cont);
    sigaddset(&cont, SIGCONT);
    pthread_sigmask(SIG_BLOCK, &cont, nullptr);
    struct sigaction note {};
    note.sa_handler = NoteContinued;
    note.sa_flags = SA_RESTART;
    sigemptyset(&note.sa_mask);
    sigaction(SIGCONT, &note, nullptr);
    std::thread(WatchForStops).detach();
}

double StoppedSeconds() {
    return static_cast<double>(g_stoppedNs.load()) / 1e9;
}
#else
void WatchStoppedTime() {}

double StoppedSeconds() {
    return 0;
}
#endif

void CatchStopSignals() {
#ifdef _WIN32
    std::signal(SIGINT, AskToStop);
    std::signal(SIGTERM, AskToStop);
#else
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction inherited {};
        if (sigaction(signal, nullptr, &inherited) != 0 || inherited.sa_handler == SIG_IGN)
            continue;
        struct sigaction ask {};
        ask.sa_handler = AskToStop;
        ask.sa_flags = SA_RESTART;  // a read or write in progress finishes its work
        sigemptyset(&ask.sa_mask);
        sigaction(signal, &ask, nullptr);
    }
#endif
}

void UseProgramSettings() {
    FunSub::AppDir = FunSub::DirectoryOfExecutable(Platform::ExecutablePath());
}

FunSub::StopToken StopFlag() {
    return FunSub::StopToken(&g_stop);
}
bool StopRequested() {
    return g_stop.load();
}
int StoppedStatus() {
    return 128 + static_cast<int>(g_signal);
}

int Stopped() {
    if (g_json)
        std::cout << "{\"stopped\":true}\n";
    else
        std::cerr << "quillmere-cli: stopped\n";
    return StoppedStatus();
}

int Help() {
    std::cout << Usage();
    return kOk;
}

}  // namespace Cli
