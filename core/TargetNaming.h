#pragma once

// The name of the directory that the next copy of a source creates below OutputDir.

#include <cstdint>
#include <string>

namespace FunSub {

// The standard text-to-integer conversion: leading blanks, an optional "+" or "-", then
// decimal digits, or hexadecimal digits after "$", "x" or "X". Anything else, the empty
// text and a trailing blank included, raises "'<text>' is not a valid integer value".
std::int32_t StrToInt(const std::string& text);

// The source's own name, "-" and the next number, judged by the directories already below
// `outputDir`; never the name of a directory that exists there (letter case of A-Z ignored).
std::string ChooseTargetName(const std::string& sourceDir, const std::string& outputDir);

}  // namespace FunSub
