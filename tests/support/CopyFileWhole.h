#pragma once

// One file copied by full paths, as the filtered copy copies each of its files.

#include <cstdint>
#include <string>

// Copies `source` whole, streamed, into a new file `destination` (never over an existing
// one): a plain file with current times. A copy that fails leaves nothing at `destination`
// and raises the message the copy reports it with. Returns the number of bytes copied.
std::int64_t CopyFileWhole(const std::string& source, const std::string& destination);
