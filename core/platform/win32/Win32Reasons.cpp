#include "core/Platform.h"
#include "core/platform/win32/WinApi.h"

namespace Platform {

FunSub::Reason ClassifyReason(int e) {
    using FunSub::Reason;
    switch (static_cast<DWORD>(e)) {
        case ERROR_FILE_NOT_FOUND:
            return Reason::NotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_NETPATH:
        case ERROR_DIRECTORY:
            return Reason::PathNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return Reason::AccessDenied;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_PARAMETER:
        case ERROR_NO_UNICODE_TRANSLATION:
            return Reason::InvalidName;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return Reason::NameClash;
        case ERROR_FILENAME_EXCED_RANGE:
            return Reason::PathTooLong;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Reason::NoSpace;
        case ERROR_FILE_TOO_LARGE:
            return Reason::FileTooLarge;
        case ERROR_TOO_MANY_OPEN_FILES:
            return Reason::TooManyOpenFiles;
        case ERROR_WRITE_PROTECT:
            return Reason::ReadOnly;
        case ERROR_NOT_READY:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NETNAME_DELETED:
        case ERROR_UNEXP_NET_ERR:
            return Reason::DeviceGone;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return Reason::InUse;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_IO_DEVICE:
        case ERROR_GEN_FAILURE:
            return Reason::IoError;
        default:
            return Reason::Other;
    }
}

bool HasDescribedText(int e) {
    switch (static_cast<DWORD>(e)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_TOO_MANY_OPEN_FILES:
        case ERROR_ACCESS_DENIED:
            return true;
        default:
            return false;
    }
}

}  // namespace Platform
