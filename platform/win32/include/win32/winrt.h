// The Windows run-time calls the strings use: code page conversion, wide
// character case mapping and classification, the secure wide formatter and
// string resources.
//
// On Windows these forward to the system. Elsewhere they are implemented here
// with the behaviour Windows has:
//  - The active ANSI code page is UTF-8 (as on a Windows system set to use
//    UTF-8 for ANSI), so CP_ACP and CP_UTF8 behave the same. Invalid narrow
//    input becomes U+FFFD, one per maximal ill-formed subsequence; an unpaired
//    surrogate on the way back becomes the UTF-8 bytes of U+FFFD. The
//    *_ERR_INVALID_CHARS flags make both cases a failure instead.
//  - towlower, towupper, iswspace and _wcsicmp work on one UTF-16 unit at a
//    time with the Unicode simple case mapping of the whole BMP and the
//    Unicode White_Space set, whatever locale the process has set.
//  - vswprintf_s follows the Windows wide conventions: %s and %c take a wide
//    string or character, %S and %C a narrow one (%ls/%ws and %hs force wide
//    and narrow). Numbers are formatted in the "C" locale. A result that does
//    not fit, a null buffer or format, %n and unknown conversions give -1 and
//    an empty buffer; nothing is ever written past `count` units.
//  - String resources exist only where RegisterStringTable put them.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

#include "win32/wintypes.h"

#if defined(_WIN32)

#include <stdio.h>
#include <wchar.h>
#include <wctype.h>

namespace win32 {

using ::DWORD;
using ::HINSTANCE;
using ::HMODULE;
using ::UINT;

using ::GetModuleHandleW;
using ::LoadStringW;
using ::MultiByteToWideChar;
using ::WideCharToMultiByte;
using ::_wcsicmp;
using ::wcslen;

inline WCHAR towlower(WCHAR c) { return static_cast<WCHAR>(::towlower(c)); }
inline WCHAR towupper(WCHAR c) { return static_cast<WCHAR>(::towupper(c)); }
inline int iswspace(WCHAR c) { return ::iswspace(c); }

inline int vswprintf_s(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
  return ::_vsnwprintf_s(buffer, count, _TRUNCATE, format, args);
}

struct StringResource {
  UINT id;
  const WCHAR* text;
};
// Windows modules carry their own resources.
inline bool RegisterStringTable(HMODULE, const StringResource*, int) { return false; }
inline void UnregisterStringTable(HMODULE) {}

}  // namespace win32

#else

#ifndef CP_ACP
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_ERR_INVALID_CHARS 0x00000080
#endif

namespace win32 {

typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef void* HMODULE;
typedef void* HINSTANCE;

// codePage: CP_ACP or CP_UTF8. srcLen -1 reads up to and including the
// terminator. dstLen 0 asks for the number of units needed. Returns the number
// of units written (or needed), 0 on failure, including a too small buffer.
GRANITE_WIN32_API int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen,
                                        WCHAR* dst, int dstLen);
// The same the other way. defaultChar and usedDefault must be null, as for
// CP_UTF8 on Windows.
GRANITE_WIN32_API int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen,
                                        char* dst, int dstLen, const char* defaultChar,
                                        int* usedDefault);

GRANITE_WIN32_API WCHAR towlower(WCHAR c);
GRANITE_WIN32_API WCHAR towupper(WCHAR c);
GRANITE_WIN32_API int iswspace(WCHAR c);
// Compares unit by unit after towlower. Null arguments give INT_MAX.
GRANITE_WIN32_API int _wcsicmp(const WCHAR* a, const WCHAR* b);
inline size_t wcslen(const WCHAR* s) { return std::char_traits<WCHAR>::length(s); }

// Returns the number of units written, without the terminator, or -1.
GRANITE_WIN32_API int vswprintf_s(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);

// GetModuleHandleW(nullptr) is the main program. A name gives the shared
// library loaded under that name ("gBase90" also finds libgBase90.so), or null.
GRANITE_WIN32_API HMODULE GetModuleHandleW(const WCHAR* name);
// Copies resource `id` of `module` (null: the main program) into buffer, cut
// to bufferMax - 1 units and terminated. Returns its length, 0 when missing.
// bufferMax 0 stores a read-only pointer to the resource in *buffer instead.
GRANITE_WIN32_API int LoadStringW(HINSTANCE module, UINT id, WCHAR* buffer, int bufferMax);

struct StringResource {
  UINT id;
  const WCHAR* text;
};
// Adds (or replaces) string resources of a module; the texts are copied.
// Returns false for a null table or a negative count.
GRANITE_WIN32_API bool RegisterStringTable(HMODULE module, const StringResource* table, int count);
// Removes every string resource of a module.
GRANITE_WIN32_API void UnregisterStringTable(HMODULE module);

}  // namespace win32

#endif

namespace win32 {

inline int swprintf_s(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vswprintf_s(buffer, count, format, args);
  va_end(args);
  return n;
}

}  // namespace win32
