#include "support/CopyFileWhole.h"

#include "core/FileCopyPlatform.h"
#include "core/FilterCopy.h"
#include "core/QuillError.h"

std::int64_t CopyFileWhole(const std::string& source, const std::string& destination) {
    const Platform::CopyOutcome outcome = Platform::CopyFileContent(source, destination);
    if (outcome.failure != Platform::CopyFailure::None)
        throw FunSub::CopyFailureError(outcome, source, destination);
    return outcome.bytes;
}
