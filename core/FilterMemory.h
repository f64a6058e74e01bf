#pragma once

// The choice of types last confirmed for each source, kept across runs in filters.ini beside
// work.ini and written the same way (a temporary file renamed into place, CR LF, the settings'
// code page). One line per source, the one confirmed last on top:
//
//     MODE <tab> SOURCE <tab> TYPE <tab> TYPE ...
//
// MODE is "exclude" or "keep-only"; SOURCE is the source's full path. In SOURCE and in each
// TYPE, "%" and the control characters (tab, CR and LF among them) are written as "%" and two
// hexadecimal digits, so that any path and any type text, "无扩展名" included, reads back as
// it was. A line that does not read this way is ignored, and dropped at the next rewrite.
// The rules follow the types as fields that begin with "%00", which no type can: "%00dir:"
// and a directory name, "%00name:" and a pattern, "%00size:" and a number of bytes, and
// "%00gitignore"; a program that knows no rules takes them for types that no file has.

#include <optional>
#include <string>
#include <vector>

#include "core/CopyJob.h"
#include "core/FunSub.h"
#include "core/Platform.h"

namespace FunSub {

struct FilterChoice {
    FilterKind mode = FilterKind::Exclude;
    std::vector<std::string> types;
    FilterRules rules;
};

// The most sources the file remembers; the ones confirmed longest ago go first.
inline constexpr std::size_t kRememberedSources = 500;

// A text as one field of such a line, "%" and the control characters as "%" and two
// hexadecimal digits; and back, false when `field` does not read so.
std::string EscapeField(const std::string& text);
bool UnescapeField(const std::string& field, std::string& out);

// The line of filters.ini for `source` and `choice` (CR LF at its end), and read back from
// such a line (its line end optional); false when it does not read well.
std::string FilterChoiceLine(const std::string& source, const FilterChoice& choice);
bool ReadFilterChoiceLine(std::string line, std::string& source, FilterChoice& choice);

std::string FilterMemoryPath();  // SettingsDirectory() + separator + "filters.ini"

// The choice last confirmed for `source`; none when there is no file, it cannot be read, or
// its line for `source` is malformed.
std::optional<FilterChoice> LastFilterChoice(const std::string& source);

// Puts `choice` on top as the one for `source`, keeping the other sources' lines that read
// well. False when the file could not be written: the choice is then not remembered, and
// nothing else is affected.
bool RememberFilterChoice(const std::string& source, const FilterChoice& choice);

// What a copy was made with, kept for its comparison with its source later. Each target has
// a small file of its own in the directory "copies" beside filters.ini (never a file inside
// the target, which is the user's), named by a hash of the target's path and written as
// filters.ini is: the line of the filter with the target's path in the place of the source,
// a line "from" and the source's path, a line "id" and the target root's identity, so that a
// record outlives neither its target nor a new directory made later under the same name.
struct CopyOrigin {
    std::string source;  // as the system names it, links resolved
    FilterChoice filter;
};

std::string CopyRecordDirectory();  // SettingsDirectory() + separator + "copies"

// Records that `target`, whose root has the identity `id`, was copied from `source` through
// `filter`, and drops the records of targets that are gone. False when it could not be
// written; nothing else is affected then.
bool RecordCopy(const std::string& target, const Platform::FileId& id, const std::string& source,
                const CopyFilter& filter);

// The record of the copy that made `target`; none when there is none, it cannot be read, or
// `target` is no longer the directory it was made as.
std::optional<CopyOrigin> RecordedCopy(const std::string& target);

// Whether `a` and `b` name one directory, however their separators are written (links are
// not resolved).
bool SameDirectory(const std::string& a, const std::string& b);

}  // namespace FunSub
