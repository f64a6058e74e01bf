#pragma once

// Shell-style name patterns, as the filter's rules write them: "*" any run of characters,
// "?" any one, "[...]" one of a set ("a-z" a range, "!" or "^" first for none of it), and a
// backslash takes the next character as it is. A pattern is matched against a whole name,
// never across a separator.

#include <string>
#include <string_view>

namespace FunSub {

// Whether `name` matches `pattern`. An unclosed "[" matches itself, as the shell has it.
bool GlobMatch(std::string_view pattern, std::string_view name);

// Why `pattern` cannot be used as a rule ("未闭合的 [", "空的规则"); empty when it can.
std::string GlobProblem(std::string_view pattern);

}  // namespace FunSub
