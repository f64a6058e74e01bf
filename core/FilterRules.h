#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace FunSub {

// What a copy leaves out besides types, in either mode: directories by name with all they
// hold, names by pattern, files above a size, what git ignores.
struct FilterRules {
    std::vector<std::string> directoryNames;  // A-Z lowered, as the statistics show them
    // Shell patterns (Glob.h) for file names; one that ends in "/" is for directory names.
    // Names compare as the platform's file names do.
    std::vector<std::string> namePatterns;
    std::int64_t sizeLimit = -1;  // files of more bytes are left out; -1 for no limit
    bool gitignore = false;       // what git's ignore rules ignore is left out (GitIgnore.h)

    bool empty() const {
        return directoryNames.empty() && namePatterns.empty() && sizeLimit < 0 && !gitignore;
    }
    bool operator==(const FilterRules& other) const = default;
};

}  // namespace FunSub
