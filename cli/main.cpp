#include <clocale>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "core/QuillError.h"
#ifdef _WIN32
#include "core/platform/win32/Win32Text.h"
#endif

namespace {

struct Command {
    const char* name;
    int positional;
    std::vector<std::string> options;
    int (*run)(const Cli::Args&);
};

}  // namespace

int main(int argc, char** argv) {
    // Before anything else: a stop asked for at the very start must not be lost.
    Cli::CatchStopSignals();
    // Dates and the order of list rows follow the user's locale, as in the windows.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
#ifdef _WIN32
    // The narrow argv holds only what the ANSI code page can say; the core takes UTF-8.
    std::vector<std::string> utf8Args = Win32::CommandLineUtf8();
    std::vector<char*> utf8Argv;
    for (std::string& a : utf8Args) utf8Argv.push_back(a.data());
    utf8Argv.push_back(nullptr);
    if (!utf8Args.empty()) {
        argc = static_cast<int>(utf8Args.size());
        argv = utf8Argv.data();
    }
    Win32::UseUtf8Console();
#endif

    const Command commands[] = {
        {"tree", 1, {"json"}, Cli::RunTree},
        {"files", 1, {"json"}, Cli::RunFiles},
        {"stats", 1, {"json"}, Cli::RunStats},
        {"name", 2, {"json"}, Cli::RunName},
        {"check", 2, {"exclude", "keep-only", "same-as-last", "json"}, Cli::RunCheck},
        {"copy",
         2,
         {"exclude", "keep-only", "same-as-last", "work", "keep-going", "force", "jobs", "verify",
          "verbose", "json"},
         Cli::RunCopy},
        {"diff", 2, {"json"}, Cli::RunDiff},
    };
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--json")
            Cli::SetJsonOutput(true);
    }
    if (argc < 2)
        return Cli::BadArguments("no command given");
    const std::string name = argv[1];
    if (argc == 2 && name == "--help")
        return Cli::Help();
    if (argc == 2 && name == "--version") {
        std::cout << "quillmere-cli " QUILLMERE_VERSION "\n";
        return Cli::kOk;
    }
    for (const Command& c : commands) {
        if (name != c.name)
            continue;
        Cli::Args args;
        std::string error;
        if (!Cli::ParseArgs(argc, argv, 2, c.options, args, error))
            return Cli::BadArguments(error);
        if (args.help)
            return Cli::Help();
        if (static_cast<int>(args.positional.size()) != c.positional) {
            return Cli::BadArguments(name + " takes " + std::to_string(c.positional) +
                                     (c.positional == 1 ? " path" : " paths"));
        }
        try {
            return c.run(args);
        } catch (const std::exception& e) {
            return Cli::Fail(e);
        }
    }
    return Cli::BadArguments("unknown command " + name);
}
