#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "core/FileCopyPlatform.h"
#include "core/FilterCopy.h"
#ifdef _WIN32
#include "core/platform/win32/WinApi.h"
#endif

namespace {

#ifdef _WIN32
constexpr int kNotFound = ERROR_FILE_NOT_FOUND;
constexpr int kUntold = ERROR_NOT_SAME_DEVICE;
#else
constexpr int kNotFound = ENOENT;
constexpr int kUntold = EXDEV;
#endif

// The word a script is told a failure by (the command line's "code"), from what the failure
// is, never from its text.
TEST(FailureCodeTest, EachFailureHasItsWord) {
    using namespace FunSub;
    const struct {
        QuillError failure;
        const char* code;
    } cases[] = {
        {TargetExistsError(), "target-exists"},
        {OutputInsideSourceError(), "output-inside-source"},
        {QuillError("'x' is not a valid integer value"), "failed"},
        {IoError(kNotFound, "/src"), "not-found"},
        {QuillError("Cannot open file /src/a", kNotFound, "/src/a"), "not-found"},
        // The copy made the directory itself: a name it cannot find there is refused.
        {CannotCreate("/out/a:b", kNotFound, "/src/a:b", Side::Target), "invalid-name"},
        {CannotCreate("/out/README", Platform::kAlreadyExists, "", Side::Target), "name-clash"},
        {QuillError("Stream write error", kUntold, "/out"), "other"},
    };
    for (const auto& c : cases) EXPECT_STREQ(c.failure.code(), c.code) << c.failure.what();
}

}  // namespace
