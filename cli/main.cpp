#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "core/Platform.h"
#include "core/QuillError.h"
#include "core/Version.h"
#ifdef _WIN32
#include "core/platform/win32/Win32Text.h"
#endif

int main(int argc, char** argv) {
    // Before anything else: a stop asked for at the very start must not be lost.
    Cli::CatchStopSignals();
    // Deep trees keep a few directories of each level open.
    Platform::RaiseOpenFileLimit();
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
        std::cout << "quillmere-cli " << FunSub::kVersion << "\n";
        return Cli::kOk;
    }
    return Cli::RunCommand(argc, argv);
}
