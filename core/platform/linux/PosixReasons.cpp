#include <cerrno>

#include "core/Platform.h"

namespace Platform {

FunSub::Reason ClassifyReason(int e) {
    using FunSub::Reason;
    switch (e) {
        case ENOENT:
            return Reason::NotFound;
        case ENOTDIR:
            return Reason::PathNotFound;
        case EACCES:
        case EPERM:
            return Reason::AccessDenied;
        case EINVAL:
        case EILSEQ:
            return Reason::InvalidName;
        case EEXIST:
            return Reason::NameClash;
        case ENAMETOOLONG:
            return Reason::PathTooLong;
        case ENOSPC:
        case EDQUOT:
            return Reason::NoSpace;
        case EFBIG:
            return Reason::FileTooLarge;
        case EMFILE:
        case ENFILE:
            return Reason::TooManyOpenFiles;
        case EROFS:
            return Reason::ReadOnly;
        case ENODEV:
        case ENXIO:
        case ENOTCONN:
        case ESTALE:
            return Reason::DeviceGone;
        case ETXTBSY:
        case EBUSY:
            return Reason::InUse;
        case EIO:
            return Reason::IoError;
        default:
            return Reason::Other;
    }
}

bool HasDescribedText(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case EINVAL:
        case EMFILE:
        case ENFILE:
        case EACCES:
        case EPERM:
            return true;
        default:
            return false;
    }
}

}  // namespace Platform
