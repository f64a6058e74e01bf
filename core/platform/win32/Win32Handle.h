#pragma once

#include "core/platform/win32/WinApi.h"

namespace Win32 {

// Closes a file handle when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : m_h(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    // Closes now; false when closing reported an error.
    bool reset() {
        bool ok = true;
        if (*this)
            ok = CloseHandle(m_h) != 0;
        m_h = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE m_h;
};

}  // namespace Win32
