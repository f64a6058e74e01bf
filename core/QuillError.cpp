#include "core/QuillError.h"

#include "core/Platform.h"

namespace FunSub {

std::string IoErrorText(int platformError) {
    switch (Platform::ClassifyError(platformError)) {
        case 2:
            return "File not found";
        case 3:
            return "Invalid filename";
        case 4:
            return "Too many open files";
        case 5:
            return "File access denied";
        default:
            return "I/O error " + std::to_string(platformError);
    }
}

void RaiseIoError(int platformError) {
    throw QuillError(IoErrorText(platformError), platformError);
}

void RaiseCannotCreate(const std::string& path, int platformError) {
    throw QuillError("Cannot create file " + path, platformError);
}

}  // namespace FunSub
