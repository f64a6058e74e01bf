#include "core/TargetNaming.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "core/DirTree.h"
#include "core/FunSub.h"

namespace FunSub {
namespace {

[[noreturn]] void RaiseNotInteger(const std::string& text) {
    throw QuillError("'" + text + "' is not a valid integer value");
}

// Up to `count` characters of `text` from byte `from` on: a UTF-8 sequence is never cut, so
// that an error message quoting them stays readable. Bytes that are not UTF-8 count one each.
std::string Characters(const std::string& text, std::size_t from, int count) {
    std::size_t end = from;
    for (int n = 0; n < count && end < text.size(); ++n) {
        const auto lead = static_cast<unsigned char>(text[end++]);
        const int more = (lead & 0xE0) == 0xC0   ? 1
                         : (lead & 0xF0) == 0xE0 ? 2
                         : (lead & 0xF8) == 0xF0 ? 3
                                                 : 0;
        for (int k = 0; k < more && end < text.size() &&
                        (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80;
             ++k)
            ++end;
    }
    return text.substr(from, end - from);
}

struct Match {
    std::string numberText;  // the (up to) two characters after the "-"
};

// "-07" for 7, "-12" for 12, "-100" for 100.
std::string NumberSuffix(int n) {
    return n < 10 ? "-0" + std::to_string(n) : "-" + std::to_string(n);
}

// The name the numbering rules give, before any check against what already exists.
std::string NameByNumbers(const std::string& base, std::vector<Match>& matches) {
    if (matches.empty())
        return base + "-01";
    if (matches.size() == 1)
        return base + (StrToInt(matches[0].numberText) < 2 ? "-02" : "-01");

    std::sort(matches.begin(), matches.end(),
              [](const Match& a, const Match& b) { return a.numberText < b.numberText; });
    if (StrToInt(matches[0].numberText) != 1)
        return base + "-01";
    // Only the texts the walk reaches are converted: a later malformed one must not fail it.
    int last = 1;
    for (std::size_t i = 1; i < matches.size(); ++i) {
        if (StrToInt(matches[i].numberText) != last + 1)
            break;
        ++last;
    }
    return base + NumberSuffix(last + 1);
}

// Duplicate or out-of-range numbers can make the rules above name a directory that is
// already there, and a file of that name would block the new directory just the same; a
// copy must never go into either, so take the lowest number still free. `occupied` holds
// every name in OutputDir with A-Z lowered.
std::string AvoidExisting(const std::string& base, const std::string& chosen,
                          const std::unordered_set<std::string>& occupied) {
    if (!occupied.contains(LowerAscii(chosen)))
        return chosen;
    const std::string lowerBase = LowerAscii(base);
    for (int n = 1;; ++n) {
        const std::string suffix = NumberSuffix(n);
        if (!occupied.contains(lowerBase + suffix))
            return base + suffix;
    }
}

}  // namespace

std::int32_t StrToInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const bool hex = i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X');
    if (hex)
        ++i;
    if (i == text.size())
        RaiseNotInteger(text);

    // Hexadecimal takes the full 32 bits (as a bit pattern); decimal must fit the sign.
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 2147483648u : 2147483647u);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit =
            hex ? HexDigitValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0)
            RaiseNotInteger(text);
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (value > limit)
            RaiseNotInteger(text);
    }
    const auto bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

std::string ChooseTargetName(const std::string& sourceDir, const std::string& outputDir) {
    const std::string base = LastPathComponent(sourceDir);
    const std::string prefix = LowerAscii(base) + "-";

    CheckEnterable(outputDir);
    std::vector<Platform::Entry> entries;
    if (int err = Platform::ListDirectory(outputDir, Platform::Detail::Kinds, entries)) {
        RaiseIoError(err);
    }

    std::vector<Match> matches;
    std::unordered_set<std::string> occupied;
    for (const Platform::Entry& e : entries) {
        std::string lower = LowerAscii(e.name);
        if (e.isDirectory && !IsDotName(e.name) && lower.compare(0, prefix.size(), prefix) == 0) {
            matches.push_back(Match{Characters(e.name, prefix.size(), 2)});
        }
        occupied.insert(std::move(lower));
    }
    return AvoidExisting(base, NameByNumbers(base, matches), occupied);
}

}  // namespace FunSub
