#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace FunSub {

// The one error type that ends a handler. Its text is exactly what the user is shown
// (before the closing "." the error report adds when it is missing).
class QuillError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // `error`: the platform error number behind the failure, when there is one; `path`: what
    // it concerns, when the message does not say.
    QuillError(const std::string& message, int error, std::string path = {})
        : std::runtime_error(message), m_error(error), m_path(std::move(path)) {}

    int error() const { return m_error; }
    const std::string& path() const { return m_path; }

private:
    int m_error = 0;
    std::string m_path;
};

// The input/output error text for a platform error number: the described texts for
// "file not found", "invalid filename", "too many open files" and "access denied",
// "I/O error N" for the rest.
std::string IoErrorText(int platformError);

[[noreturn]] void RaiseIoError(int platformError);
[[noreturn]] void RaiseCannotCreate(const std::string& path, int platformError = 0);

}  // namespace FunSub
