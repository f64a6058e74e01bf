#pragma once

// The one place the win32 layer takes <windows.h> from, with the API level it needs
// (Windows 7: GetDateFormatEx, CompareStringEx, FindExInfoBasic) and without the macros that
// clash with the standard library.

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef WINVER
#define WINVER _WIN32_WINNT
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>
