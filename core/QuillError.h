#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "core/Reason.h"

namespace FunSub {

// Which side of a copy a failure concerns: the source, one item in the target, or the
// target as a whole (its root, its disk).
enum class Side : std::uint8_t { None, Source, Target, TargetRoot };

// The one error type that ends a handler. Its text is exactly what the user is shown
// (before the closing "." the error report adds when it is missing); its reason and side
// are set where it is raised.
class QuillError : public std::runtime_error {
public:
    // A failure with no system error behind it; `cause` when the core names one.
    explicit QuillError(const std::string& message, Reason cause = Reason::Other,
                        Side side = Side::None);
    // `error`: the platform error number behind the failure, whose reason it has; `path`:
    // what it concerns, when the message does not say.
    QuillError(const std::string& message, int error, std::string path = {},
               Side side = Side::None);
    // With a reason other than its error number's (a name the target refuses).
    QuillError(const std::string& message, Reason cause, int error, std::string path, Side side);

    int error() const { return m_error; }
    const std::string& path() const { return m_path; }
    Reason cause() const { return m_cause; }
    Side side() const { return m_side; }
    // The stable word scripts know the failure by: its own code, else its reason's word
    // ("not-found", "target-exists"); "failed" when it has neither a reason nor an error number.
    const char* code() const;

protected:
    // A failure with a code of its own, outside the reasons (the command line's).
    QuillError(const std::string& message, const char* code);

private:
    Reason m_cause = Reason::Other;
    Side m_side = Side::None;
    int m_error = 0;
    std::string m_path;
    const char* m_code = nullptr;
};

// The input/output error text for a platform error number, from its reason: the described
// texts for "file not found", "invalid filename", "too many open files" and "access denied",
// "I/O error N" for the rest.
std::string IoErrorText(int platformError);

// The input/output error of a platform error number, with its text.
QuillError IoError(int platformError, std::string path = {}, Side side = Side::None);
// "Cannot create file <target>": the copy made the directory the name goes into itself, so
// a target that cannot find it refuses the name (exFAT through FUSE says so for ":").
QuillError CannotCreate(const std::string& target, int platformError, std::string path, Side side);

// Throws IoError(platformError).
[[noreturn]] void RaiseIoError(int platformError);

}  // namespace FunSub
