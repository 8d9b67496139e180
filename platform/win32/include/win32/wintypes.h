// Basic platform types shared by every module.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <windows.h>  // WCHAR is wchar_t
#define WSTR(s) L##s
#define GRANITE_DLLEXPORT __declspec(dllexport)
#define GRANITE_DLLIMPORT __declspec(dllimport)
#else
// The wide character is one UTF-16 code unit, as on Windows.
typedef char16_t WCHAR;
#define WSTR(s) u##s
#define GRANITE_DLLEXPORT __attribute__((visibility("default")))
#define GRANITE_DLLIMPORT __attribute__((visibility("default")))
#endif

// What each module makes visible to the others. On Windows a declaration is
// exported by the module that defines it and imported by every other, so that
// no DLL exports the vtables and type information another module's classes
// leave in it. The build defines <target>_EXPORTS while it compiles a DLL.
// A class template defined wholly in its header: every module makes its own
// instantiations, which a Windows DLL neither exports nor imports.
#if defined(_WIN32)
#define GRANITE_TEMPLATE_API
#else
#define GRANITE_TEMPLATE_API GRANITE_DLLEXPORT
#endif
#if defined(win32shim_EXPORTS)
#define GRANITE_WIN32_API GRANITE_DLLEXPORT
#else
#define GRANITE_WIN32_API GRANITE_DLLIMPORT
#endif
#if defined(gBase90_EXPORTS)
#define GRANITE_KBASE_API GRANITE_DLLEXPORT
#else
#define GRANITE_KBASE_API GRANITE_DLLIMPORT
#endif
#if defined(gGeometry90_EXPORTS)
#define GRANITE_KGEOMETRY_API GRANITE_DLLEXPORT
#else
#define GRANITE_KGEOMETRY_API GRANITE_DLLIMPORT
#endif
#if defined(gTranslator90_EXPORTS)
#define GRANITE_KTRANSLATOR_API GRANITE_DLLEXPORT
#else
#define GRANITE_KTRANSLATOR_API GRANITE_DLLIMPORT
#endif
#if defined(qorvelaex_EXPORTS)
#define GRANITE_QORVELAEX_API GRANITE_DLLEXPORT
#else
#define GRANITE_QORVELAEX_API GRANITE_DLLIMPORT
#endif
// The loader's exports. A program that links the loader's objects statically
// (the white-box tests) neither imports nor exports them on Windows.
#if defined(GRANITE_BUILDING_LOADER)
#define GRANITE_API GRANITE_DLLEXPORT
#elif defined(GRANITE_LOADER_STATIC) && defined(_WIN32)
#define GRANITE_API
#else
#define GRANITE_API GRANITE_DLLIMPORT
#endif
// CGraniteParser and CGraniteElement: the loader and the sibling library
// QorGraniteParser each define, and export, part of their members.
#if defined(GRANITE_BUILDING_LOADER) || defined(QorGraniteParser_EXPORTS)
#define GRANITE_SHARED_CLASS GRANITE_DLLEXPORT
#else
#define GRANITE_SHARED_CLASS GRANITE_API
#endif

static_assert(sizeof(WCHAR) == 2, "the wide character is one UTF-16 code unit");
