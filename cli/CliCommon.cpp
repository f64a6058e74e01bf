#include "cli/CliCommon.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "core/Platform.h"

namespace Cli {

namespace {

const char* const kUsage =
    "usage:\n"
    "  quillmere-cli tree  DIR [--json]\n"
    "  quillmere-cli files DIR [--json]\n"
    "  quillmere-cli stats DIR [--json]\n"
    "  quillmere-cli name  SOURCE OUTPUTDIR\n"
    "  quillmere-cli check SOURCE OUTPUTDIR [--exclude TYPE]... [--keep-only TYPE]... [--json]\n"
    "  quillmere-cli copy  SOURCE OUTPUTDIR [--exclude TYPE]... [--keep-only TYPE]...\n"
    "                      [--work WORKDIR] [--keep-going] [--force] [--verbose] [--json]\n";

bool Allowed(const std::vector<std::string>& allowed, const std::string& name) {
    for (const auto& a : allowed) {
        if (a == name) return true;
    }
    return false;
}

}  // namespace

bool ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& allowed,
               Args& out, std::string& error) {
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
            out.positional.push_back(arg);
            continue;
        }
        const std::string name = arg.substr(2);
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
        } else {
            if (i + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            const std::string value = argv[++i];
            if (name == "exclude") out.exclude.push_back(value);
            if (name == "keep-only") out.keepOnly.push_back(value);
            if (name == "work") {
                out.work = value;
                out.workGiven = true;
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
    std::string p = std::filesystem::absolute(arg).lexically_normal().string();
    while (p.size() > 1 && p.back() == Platform::kSeparator) p.pop_back();
#endif
    return p;
}

int Fail(const std::string& message) {
    std::cerr << "quillmere-cli: " << ValidUtf8(message) << '\n';
    return kFailed;
}

int BadArguments(const std::string& reason) {
    std::cerr << "quillmere-cli: " << reason << '\n' << kUsage;
    return kBadArguments;
}

}  // namespace Cli
