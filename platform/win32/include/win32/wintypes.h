// Basic platform types shared by every module.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>  // WCHAR is wchar_t
#define WSTR(s) L##s
#define GRANITE_VISIBLE __declspec(dllexport)
#else
// The wide character is one UTF-16 code unit, as on Windows.
typedef char16_t WCHAR;
#define WSTR(s) u##s
// Marks what a module makes visible to the others.
#define GRANITE_VISIBLE __attribute__((visibility("default")))
#endif

static_assert(sizeof(WCHAR) == 2, "the wide character is one UTF-16 code unit");
