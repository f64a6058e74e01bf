#include "core/QuillError.h"

#include <utility>

#include "core/Reasons.h"

namespace FunSub {

QuillError::QuillError(const std::string& message, Reason cause, Side side)
    : std::runtime_error(message), m_cause(cause), m_side(side) {}

QuillError::QuillError(const std::string& message, int error, std::string path, Side side)
    : QuillError(message, ReasonOf(error), error, std::move(path), side) {}

QuillError::QuillError(const std::string& message, Reason cause, int error, std::string path,
                       Side side)
    : std::runtime_error(message),
      m_cause(cause),
      m_side(side),
      m_error(error),
      m_path(std::move(path)) {}

QuillError::QuillError(const std::string& message, const char* code)
    : std::runtime_error(message), m_code(code) {}

const char* QuillError::code() const {
    if (m_code)
        return m_code;
    return m_cause == Reason::Other && m_error == 0 ? "failed" : ReasonWord(m_cause);
}

std::string IoErrorText(int platformError) {
    return IoErrorText(ReasonOf(platformError), platformError);
}

QuillError IoError(int platformError, std::string path, Side side) {
    const Reason cause = ReasonOf(platformError);
    return QuillError(IoErrorText(cause, platformError), cause, platformError, std::move(path),
                      side);
}

QuillError CannotCreate(const std::string& target, int platformError, std::string path, Side side) {
    Reason cause = ReasonOf(platformError);
    if (cause == Reason::NotFound || cause == Reason::PathNotFound)
        cause = Reason::InvalidName;
    return QuillError("Cannot create file " + target, cause, platformError, std::move(path), side);
}

void RaiseIoError(int platformError) {
    throw IoError(platformError);
}

}  // namespace FunSub
