#pragma once

// Why an item could not be read or copied, from the system's error number: a short Chinese
// reason for people (the windows' lists, the command line's text) and a stable word for
// scripts (the command line's JSON).

#include <string>

#include "core/FilterCopy.h"

namespace FunSub {

enum class Reason {
    Other,
    NotFound,          // 找不到文件或目录
    AccessDenied,      // 拒绝访问
    InvalidName,       // 名称不能用于目标磁盘
    NameClash,         // 与另一名称只差大小写 (on a fresh target, "already exists")
    PathTooLong,       // 路径太长
    NoSpace,           // 目标磁盘已满
    FileTooLarge,      // 文件太大，目标磁盘存不下
    TooManyOpenFiles,  // 打开的文件太多
    ReadOnly,          // 目标磁盘只读
    DeviceGone,        // 磁盘已断开
    InUse,             // 文件正被其他程序使用
    IoError,           // 读写错误
    SpecialFile,       // 特殊文件（管道、套接字或设备）
};

// "access-denied", "not-found", "invalid-name", "name-clash", ...
const char* ReasonWord(Reason reason);
// "拒绝访问", "找不到文件或目录", ...; Other gives "系统错误" and the number when there is one.
std::string ReasonText(Reason reason, int platformError = 0);

// The reason behind a platform error number (Platform::kAlreadyExists included).
Reason ReasonOf(int platformError);
// The Chinese reason for a platform error number.
std::string ReasonText(int platformError);

// The reason behind a failure with the message `message`; a failure without an error number
// has a reason only when it is the special file's.
Reason ReasonOf(int platformError, const std::string& message);
// Why the copy passed over `item`.
Reason ReasonOf(const SkippedItem& item);
std::string ReasonText(const SkippedItem& item);

}  // namespace FunSub

namespace Platform {
// The reason behind an error number of this platform (errno, or a Windows error code).
FunSub::Reason ClassifyReason(int platformError);
}  // namespace Platform
