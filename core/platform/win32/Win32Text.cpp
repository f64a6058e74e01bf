#include "core/platform/win32/Win32Text.h"

#include "core/platform/win32/WinApi.h"

#include <shellapi.h>

namespace Win32 {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsHighSurrogate(unsigned u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(unsigned u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// Decodes one sequence at `p[i]`; returns its length, or 0 when it is not one. Surrogate
// code points are accepted (generalised UTF-8), overlong forms and values past U+10FFFF not.
std::size_t DecodeOne(const unsigned char* p, std::size_t n, std::size_t i, unsigned& cp) {
    const unsigned char c = p[i];
    std::size_t len = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > n)
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((p[i + k] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    static const unsigned kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF)
        return 0;
    return len;
}

void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::wstring FromCodePage(UINT codePage, const std::string& text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), n);
    return out;
}

std::string ToCodePage(UINT codePage, DWORD flags, const std::wstring& text, BOOL* usedDefault) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int n =
        WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, usedDefault);
    std::string out(static_cast<std::size_t>(n), '\0');
    if (n > 0) {
        WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), n, nullptr,
                            usedDefault);
    }
    return out;
}

bool StartsWith(const std::wstring& s, const wchar_t* prefix) {
    return s.rfind(prefix, 0) == 0;
}

}  // namespace

std::wstring Widen(const std::string& utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        unsigned cp = 0;
        const std::size_t len = DecodeOne(p, n, i, cp);
        if (len == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

std::string Narrow(const wchar_t* wide, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        unsigned u = static_cast<unsigned>(wide[i]) & 0xFFFF;
        if (IsHighSurrogate(u) && i + 1 < length &&
            IsLowSurrogate(static_cast<unsigned>(wide[i + 1]) & 0xFFFF)) {
            const unsigned low = static_cast<unsigned>(wide[++i]) & 0xFFFF;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        }
        AppendUtf8(out, u);
    }
    return out;
}

std::string Narrow(const std::wstring& wide) {
    return Narrow(wide.data(), wide.size());
}

namespace {

// A full path ("C:\\..." or "\\\\server\\share\\...") with nothing in it that the API's
// normalisation would change: backslashes only, no empty, "." or ".." component.
bool IsPlainFullPath(const std::wstring& path) {
    std::size_t start = 0;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        start = 3;
    else if (StartsWith(path, L"\\\\") && path.size() > 2)
        start = 2;
    else
        return false;
    while (start < path.size()) {
        std::size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        const std::wstring part = path.substr(start, end - start);
        if (part.empty() || part == L"." || part == L".." || part.find(L'/') != std::wstring::npos)
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

std::wstring ApiPath(const std::string& utf8Path) {
    std::wstring path = Widen(utf8Path);
    // The main trees name a drive's root "C:"; to the API that would be the drive's current
    // directory.
    if (path.size() == 2 && path[1] == L':')
        return path + L'\\';
    // Every other path takes the extended form, whatever its length, so that no operation is
    // cut off at MAX_PATH (CreateDirectoryW already at MAX_PATH - 12).
    if (path.empty() || StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\"))
        return path;
    // The prefix turns off the normalisation the API would otherwise do. A full path that
    // needs none takes the prefix as it stands, so that a name the normalisation would cut
    // (a trailing dot or blank, which NTFS holds and listings return) stays whole.
    if (IsPlainFullPath(path)) {
        return StartsWith(path, L"\\\\") ? L"\\\\?\\UNC\\" + path.substr(2) : L"\\\\?\\" + path;
    }
    const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0)
        return path;
    std::wstring full(need, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), need, full.data(), nullptr);
    if (got == 0 || got >= need)
        return path;
    full.resize(got);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    if (StartsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return path;
}

std::string AnsiToUtf8(const std::string& ansi) {
    return Narrow(FromCodePage(CP_ACP, ansi));
}

std::string Utf8ToAnsi(const std::string& utf8, bool* exact) {
    if (exact)
        *exact = true;
    if (GetACP() == CP_UTF8)
        return utf8;
    const std::wstring wide = Widen(utf8);
    BOOL usedDefault = FALSE;
    // Without the flag a character outside the code page would quietly become a look-alike.
    std::string out = ToCodePage(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, &usedDefault);
    if (out.empty() && !wide.empty() && GetLastError() == ERROR_INVALID_FLAGS) {
        out = ToCodePage(CP_ACP, 0, wide, &usedDefault);
    }
    if (exact && (usedDefault || (out.empty() && !wide.empty())))
        *exact = false;
    return out;
}

int CompareLocale(const std::string& a, const std::string& b) {
    const std::wstring wa = Widen(a);
    const std::wstring wb = Widen(b);
    const int r =
        CompareStringEx(LOCALE_NAME_USER_DEFAULT, 0, wa.c_str(), static_cast<int>(wa.size()),
                        wb.c_str(), static_cast<int>(wb.size()), nullptr, nullptr, 0);
    if (r == 0)
        return a.compare(b);
    return r - CSTR_EQUAL;
}

std::vector<std::string> CommandLineUtf8() {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return args;
    for (int i = 0; i < count; ++i) args.push_back(Narrow(std::wstring(wide[i])));
    LocalFree(wide);
    return args;
}

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
}

}  // namespace Win32
