#pragma once

// The top-level subdirectories of one directory, as the main window counts the working
// directory's candidates and lists the output directory's targets.

#include <string>
#include <vector>

namespace FunSub {

struct Subdirectory {
    std::string name;  // exactly as the file system lists it
    std::string path;  // the directory, a separator and the name
};

// The subdirectories of `dir` whose names do not begin with ".", in the order the file
// system lists them. Raises the input/output error when `dir` cannot be entered; a
// directory that can be entered but not read has none.
std::vector<Subdirectory> Subdirectories(const std::string& dir);

}  // namespace FunSub
