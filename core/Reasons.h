#pragma once

// The words and texts of a Reason: a short Chinese reason for people (the windows' lists,
// the command line's text), a stable word for scripts (the command line's JSON), and the
// English text of the input/output error it is raised with.

#include <string>

#include "core/Reason.h"

namespace FunSub {

struct SkippedItem;

// "access-denied", "not-found", "invalid-name", "name-clash", ...
const char* ReasonWord(Reason reason);
// "拒绝访问", "找不到文件或目录", ...; Other gives "系统错误" and the number when there is one.
std::string ReasonText(Reason reason, int platformError = 0);
// "File not found", "Invalid filename", "Too many open files", "File access denied" for the
// error numbers the platform describes so, and "I/O error N" with the number for the rest.
std::string IoErrorText(Reason reason, int platformError);

// The reason behind a platform error number (Platform::kAlreadyExists included).
Reason ReasonOf(int platformError);
// The Chinese reason for a platform error number.
std::string ReasonText(int platformError);

// Why the copy passed over `item`.
Reason ReasonOf(const SkippedItem& item);
// Its reason's text; an item passed over for no system error keeps what the copy said of it.
std::string ReasonText(const SkippedItem& item);

}  // namespace FunSub
