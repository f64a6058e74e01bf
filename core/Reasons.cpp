#include "core/Reasons.h"

#include "core/FileCopyPlatform.h"

namespace FunSub {

namespace {
constexpr const char* kCannotCreate = "Cannot create file ";
}  // namespace

const char* ReasonWord(Reason reason) {
    switch (reason) {
        case Reason::NotFound:
            return "not-found";
        case Reason::AccessDenied:
            return "access-denied";
        case Reason::InvalidName:
            return "invalid-name";
        case Reason::NameClash:
            return "name-clash";
        case Reason::PathTooLong:
            return "path-too-long";
        case Reason::NoSpace:
            return "no-space";
        case Reason::FileTooLarge:
            return "file-too-large";
        case Reason::TooManyOpenFiles:
            return "too-many-open-files";
        case Reason::ReadOnly:
            return "read-only";
        case Reason::DeviceGone:
            return "device-gone";
        case Reason::InUse:
            return "in-use";
        case Reason::IoError:
            return "io-error";
        case Reason::SpecialFile:
            return "special-file";
        case Reason::Other:
            break;
    }
    return "other";
}

std::string ReasonText(Reason reason, int platformError) {
    switch (reason) {
        case Reason::NotFound:
            return "找不到文件或目录";
        case Reason::AccessDenied:
            return "拒绝访问";
        case Reason::InvalidName:
            return "名称不能用于目标磁盘";
        case Reason::NameClash:
            return "与另一名称只差大小写";
        case Reason::PathTooLong:
            return "路径太长";
        case Reason::NoSpace:
            return "目标磁盘已满";
        case Reason::FileTooLarge:
            return "文件太大，目标磁盘存不下";
        case Reason::TooManyOpenFiles:
            return "打开的文件太多";
        case Reason::ReadOnly:
            return "目标磁盘只读";
        case Reason::DeviceGone:
            return "磁盘已断开";
        case Reason::InUse:
            return "文件正被其他程序使用";
        case Reason::IoError:
            return "读写错误";
        case Reason::SpecialFile:
            return "特殊文件（管道、套接字或设备）";
        case Reason::Other:
            break;
    }
    return platformError > 0 ? "系统错误 " + std::to_string(platformError) : "系统错误";
}

Reason ReasonOf(int platformError) {
    // The copy's targets are brand new: a name already there was made by the copy itself
    // under another spelling.
    if (platformError == Platform::kAlreadyExists)
        return Reason::NameClash;
    return Platform::ClassifyReason(platformError);
}

std::string ReasonText(int platformError) {
    return ReasonText(ReasonOf(platformError), platformError);
}

Reason ReasonOf(int platformError, const std::string& message) {
    if (platformError == 0)
        return message == kSpecialFileText ? Reason::SpecialFile : Reason::Other;
    const Reason reason = ReasonOf(platformError);
    // The directory a name is made in was made by the copy itself, so a target that cannot
    // find what it is asked to make refuses the name (exFAT through FUSE says so for ":").
    if (reason == Reason::NotFound && message.rfind(kCannotCreate, 0) == 0)
        return Reason::InvalidName;
    return reason;
}

Reason ReasonOf(const SkippedItem& item) {
    return ReasonOf(item.error, item.reason);
}

std::string ReasonText(const SkippedItem& item) {
    const Reason reason = ReasonOf(item);
    // An item passed over for no system error keeps what the copy said of it.
    return reason == Reason::Other && item.error == 0 ? item.reason
                                                      : ReasonText(reason, item.error);
}

}  // namespace FunSub
