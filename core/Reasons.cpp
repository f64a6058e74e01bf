#include "core/Reasons.h"

#include "core/FileCopyPlatform.h"
#include "core/FilterCopy.h"

namespace FunSub {

namespace {

struct ReasonTexts {
    const char* word;     // for scripts
    const char* text;     // for people
    const char* english;  // the input/output error's; null: "I/O error N"
};

// The one table of the reasons' words and texts.
ReasonTexts TextsOf(Reason reason) {
    switch (reason) {
        case Reason::NotFound:
            return {"not-found", "找不到文件或目录", "File not found"};
        case Reason::PathNotFound:
            return {"not-found", "找不到文件或目录", "Invalid filename"};
        case Reason::AccessDenied:
            return {"access-denied", "拒绝访问", "File access denied"};
        case Reason::InvalidName:
            return {"invalid-name", "名称不能用于目标磁盘", "Invalid filename"};
        case Reason::NameClash:
            return {"name-clash", "与另一名称只差大小写", nullptr};
        case Reason::PathTooLong:
            return {"path-too-long", "路径太长", "Invalid filename"};
        case Reason::NoSpace:
            return {"no-space", "目标磁盘已满", nullptr};
        case Reason::FileTooLarge:
            return {"file-too-large", "文件太大，目标磁盘存不下", nullptr};
        case Reason::TooManyOpenFiles:
            return {"too-many-open-files", "打开的文件太多", "Too many open files"};
        case Reason::ReadOnly:
            return {"read-only", "目标磁盘只读", nullptr};
        case Reason::DeviceGone:
            return {"device-gone", "磁盘已断开", nullptr};
        case Reason::InUse:
            return {"in-use", "文件正被其他程序使用", nullptr};
        case Reason::IoError:
            return {"io-error", "读写错误", nullptr};
        case Reason::SpecialFile:
            return {"special-file", "特殊文件（管道、套接字或设备）", nullptr};
        case Reason::MarkerName:
            return {"marker-name", "与复制未完成的标记同名", nullptr};
        case Reason::TargetExists:
            return {"target-exists", kTargetExistsText, nullptr};
        case Reason::OutputInsideSource:
            return {"output-inside-source", kOutputInsideSourceText, nullptr};
        case Reason::Other:
            break;
    }
    return {"other", "系统错误", nullptr};
}

}  // namespace

const char* ReasonWord(Reason reason) {
    return TextsOf(reason).word;
}

std::string ReasonText(Reason reason, int platformError) {
    const std::string text = TextsOf(reason).text;
    return reason == Reason::Other && platformError > 0 ? text + " " + std::to_string(platformError)
                                                        : text;
}

std::string IoErrorText(Reason reason, int platformError) {
    const char* english = TextsOf(reason).english;
    if (english && (platformError == 0 || Platform::HasDescribedText(platformError)))
        return english;
    return "I/O error " + std::to_string(platformError);
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

Reason ReasonOf(const SkippedItem& item) {
    return item.cause;
}

std::string ReasonText(const SkippedItem& item) {
    return item.cause == Reason::Other && item.error == 0 ? item.reason
                                                          : ReasonText(item.cause, item.error);
}

}  // namespace FunSub
