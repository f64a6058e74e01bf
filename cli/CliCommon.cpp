#include "cli/CliCommon.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "core/FilterCopy.h"
#include "core/FunSub.h"
#include "core/Platform.h"
#include "core/Reasons.h"
#include "core/TreeStats.h"

namespace Cli {

namespace {

const char* const kUsage =
    "usage:\n"
    "  quillmere-cli tree  DIR [--json]\n"
    "  quillmere-cli files DIR [--json]\n"
    "  quillmere-cli stats DIR [--json]\n"
    "  quillmere-cli name  SOURCE OUTPUTDIR [--json]\n"
    "  quillmere-cli check SOURCE OUTPUTDIR [--exclude TYPE]... [--keep-only TYPE]...\n"
    "                      [--same-as-last] [--json]\n"
    "  quillmere-cli copy  SOURCE OUTPUTDIR [--exclude TYPE]... [--keep-only TYPE]...\n"
    "                      [--same-as-last] [--work WORKDIR] [--keep-going] [--force]\n"
    "                      [--jobs N] [--verify] [--verbose] [--json]\n"
    "  quillmere-cli diff  SOURCE TARGET [--json]\n"
    "  quillmere-cli --help | --version\n"
    "TYPE: \".txt\", \"txt\" and \"TXT\" alike; 无扩展名 for names without \".\".\n"
    "--json: one JSON object on stdout, also on failure ({\"error\":..,\"code\":..}) and when\n"
    "  stopped ({\"stopped\":true}); progress and --verbose lines then go to stderr.\n"
    "--verify: once the copy is on the disk, read every copied file back and compare it\n"
    "  with its source; exit 1 when one differs.\n"
    "--jobs N: copy on N threads (default: one per core, at most 8; 1 copies one by one).\n"
    "exit: 0 done, 1 failed (the message names its path), 2 bad arguments, 3 copied but\n"
    "  items skipped (--keep-going), 130/143 stopped by SIGINT/SIGTERM.\n"
    "--same-as-last: the types and mode last confirmed in the filter dialog for SOURCE.\n"
    "diff: exit 0 when TARGET holds just what the filter it shows would copy from SOURCE,\n"
    "  1 when something is missing, changed or extra.\n";

bool g_json = false;

std::atomic<bool> g_stop{false};
volatile std::sig_atomic_t g_signal = 0;

extern "C" void AskToStop(int signal) {
    g_signal = signal;
    g_stop = true;
}

bool IsOption(const std::string& arg) {
    return arg.size() >= 3 && arg.compare(0, 2, "--") == 0;
}

bool Allowed(const std::vector<std::string>& allowed, const std::string& name) {
    for (const auto& a : allowed) {
        if (a == name)
            return true;
    }
    return false;
}

}  // namespace

bool ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& allowed, Args& out,
               std::string& error) {
    for (int i = first; i < argc; ++i) {
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
        if (!Allowed(allowed, name)) {
            error = "unknown option " + arg;
            return false;
        }
        if (name == "json") {
            out.json = true;
        } else if (name == "verbose") {
            out.verbose = true;
        } else if (name == "keep-going") {
            out.keepGoing = true;
        } else if (name == "force") {
            out.force = true;
        } else if (name == "verify") {
            out.verify = true;
        } else if (name == "same-as-last") {
            out.sameAsLast = true;
        } else {
            // A value that looks like an option is a forgotten value, not a type or a path.
            if (i + 1 >= argc || IsOption(argv[i + 1])) {
                error = "option " + arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (name == "exclude" || name == "keep-only") {
                const std::string type = TypeArgument(value);
                if (type.empty()) {
                    error = "option " + arg + " needs a type, such as .txt";
                    return false;
                }
                (name == "exclude" ? out.exclude : out.keepOnly).push_back(type);
            }
            if (name == "work") {
                out.work = value;
                out.workGiven = true;
            }
            if (name == "jobs") {
                char* end = nullptr;
                const long jobs = std::strtol(value.c_str(), &end, 10);
                if (*end != '\0' || jobs < 1 || jobs > 64) {
                    error = "option " + arg + " needs a number of threads from 1 to 64";
                    return false;
                }
                out.jobs = static_cast<int>(jobs);
            }
        }
    }
    return true;
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
    if (const auto* cli = dynamic_cast<const CliError*>(&e))
        return cli->code();
    if (dynamic_cast<const FunSub::TargetExistsError*>(&e))
        return "target-exists";
    if (dynamic_cast<const FunSub::OutputInsideSourceError*>(&e))
        return "output-inside-source";
    const auto* quill = dynamic_cast<const FunSub::QuillError*>(&e);
    if (quill && quill->error() != 0)
        return FunSub::ReasonWord(FunSub::ReasonOf(quill->error(), quill->what()));
    return "failed";
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
    std::cerr << "quillmere-cli: " << reason << '\n' << kUsage;
    return kBadArguments;
}

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

const std::atomic<bool>& StopFlag() {
    return g_stop;
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
    std::cout << kUsage;
    return kOk;
}

}  // namespace Cli
