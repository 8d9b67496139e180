// Code-page conversions of the Windows run-time. The active ANSI code page is
// UTF-8, the encoding of Linux file names, so a path goes narrow -> wide ->
// narrow unchanged.
#pragma once

#include "win32/wintypes.h"

namespace win32 {

constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_UTF8 = 65001;

// srcLen -1: the input is zero-terminated and the terminator is converted too.
// dstLen 0: answers the number of units needed. Answers 0 on failure (a
// buffer too small, a null input). Invalid UTF-8 becomes U+FFFD, as without
// flags on Windows; the input is never read past srcLen.
GRANITE_VISIBLE int MultiByteToWideChar(unsigned codePage, unsigned flags, const char* src,
                                        int srcLen, WCHAR* dst, int dstLen);
// A lone surrogate becomes U+FFFD (bytes EF BF BD).
GRANITE_VISIBLE int WideCharToMultiByte(unsigned codePage, unsigned flags, const WCHAR* src,
                                        int srcLen, char* dst, int dstLen,
                                        const char* defaultChar, int* usedDefault);

}  // namespace win32
