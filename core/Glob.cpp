#include "core/Glob.h"

namespace FunSub {

namespace {

// The end of the set that opens at `p[i]` ("["), just past its "]"; npos when unclosed.
std::size_t SetEnd(std::string_view p, std::size_t i) {
    std::size_t j = i + 1;
    if (j < p.size() && (p[j] == '!' || p[j] == '^'))
        ++j;
    if (j < p.size() && p[j] == ']')
        ++j;  // a "]" first is one of the set
    for (; j < p.size(); ++j) {
        if (p[j] == '\\' && j + 1 < p.size())
            ++j;
        else if (p[j] == ']')
            return j + 1;
    }
    return std::string_view::npos;
}

// Whether `c` is in the set p[begin, end) (its brackets included).
bool InSet(std::string_view p, std::size_t begin, std::size_t end, unsigned char c) {
    std::size_t j = begin + 1;
    const bool negated = p[j] == '!' || p[j] == '^';
    if (negated)
        ++j;
    bool found = false;
    for (bool first = true; j < end - 1; first = false) {
        if (p[j] == ']' && !first)
            break;
        if (p[j] == '\\' && j + 1 < end - 1)
            ++j;
        const auto low = static_cast<unsigned char>(p[j]);
        auto high = low;
        if (j + 2 < end - 1 && p[j + 1] == '-') {
            j += 2;
            if (p[j] == '\\' && j + 1 < end - 1)
                ++j;
            high = static_cast<unsigned char>(p[j]);
        }
        found = found || (c >= low && c <= high);
        ++j;
    }
    return found != negated;
}

}  // namespace

bool GlobMatch(std::string_view p, std::string_view n) {
    // The classic walk with one way back: to the last "*", one character further each time.
    std::size_t i = 0, j = 0, starP = std::string_view::npos, starN = 0;
    while (j < n.size()) {
        if (i < p.size() && p[i] == '*') {
            starP = ++i;
            starN = j;
            continue;
        }
        if (i < p.size()) {
            std::size_t next = i + 1;
            bool one = false;
            if (p[i] == '?') {
                one = true;
            } else if (p[i] == '[' && SetEnd(p, i) != std::string_view::npos) {
                next = SetEnd(p, i);
                one = InSet(p, i, next, static_cast<unsigned char>(n[j]));
            } else {
                if (p[i] == '\\' && i + 1 < p.size())
                    next = ++i + 1;
                one = p[i] == n[j];
            }
            if (one) {
                i = next;
                ++j;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        i = starP;
        j = ++starN;
    }
    while (i < p.size() && p[i] == '*') ++i;
    return i == p.size();
}

std::string GlobProblem(std::string_view pattern) {
    if (pattern.empty() || pattern == "/")
        return "空的规则";
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\') {
            ++i;
        } else if (pattern[i] == '[') {
            const std::size_t end = SetEnd(pattern, i);
            if (end == std::string_view::npos)
                return "未闭合的 [";
            i = end - 1;
        }
    }
    return {};
}

}  // namespace FunSub
