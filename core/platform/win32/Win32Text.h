#pragma once

// Text and path conversions of the Windows build, and the few Windows-only services the
// command line needs. Free of <windows.h>, so that core and command-line sources can use it.

#include <string>
#include <vector>

namespace Win32 {

// UTF-8 to UTF-16 and back. A lone surrogate in a file name (NTFS allows them) is carried
// through as its generalised UTF-8 form, so every name that was listed can be opened again.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string Narrow(const wchar_t* wide, std::size_t length);

// A path as the wide API takes it: a bare drive ("C:") is its root, and every other path is
// made full and given the extended form ("\\?\C:\...", "\\?\UNC\server\share\..."), so
// that deep trees are not cut off at MAX_PATH. Texts for people keep the ordinary form.
std::wstring ApiPath(const std::string& utf8Path);

// Text in the system's ANSI code page to UTF-8 and back. `exact` (optional) is set to false
// when some character has no form in the code page.
std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const std::string& utf8, bool* exact = nullptr);

// The user's locale-aware, case-sensitive comparison: <0, 0 or >0.
int CompareLocale(const std::string& a, const std::string& b);

// The process's arguments as UTF-8, from the wide command line (the narrow argv holds only
// what the ANSI code page can express).
std::vector<std::string> CommandLineUtf8();

// Console output is UTF-8, as the rest of the program's output.
void UseUtf8Console();

}  // namespace Win32
