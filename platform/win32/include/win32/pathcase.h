// Finding files as Windows does: letter case does not matter, and Windows
// separators and drive letters are understood.
#pragma once

#include <string>
#include <vector>

#include "win32/wintypes.h"

struct stat;

namespace win32 {

// Turns a UTF-8 path that may use Windows syntax into the path of an existing
// file or directory: the exact path when it exists, otherwise each component
// matched against its directory's entries ignoring letter case (the byte-wise
// smallest of several matches wins). Backslashes count as separators and a
// leading drive letter is dropped. False when nothing matches.
GRANITE_WIN32_API bool ResolvePathCase(const std::string& path, std::string& resolved);
// The same, also giving the status (stat(2)) of the path found, read by the
// search itself: no second look at the file.
GRANITE_WIN32_API bool ResolvePathCase(const std::string& path, std::string& resolved,
                                       struct stat& st);

// The entries beside the file the path names whose names match its last
// component ignoring letter case, as paths, when there are two or more (a
// name that does not tell which file is meant); empty otherwise.
GRANITE_WIN32_API std::vector<std::string> CaseTwins(const std::string& path);
// CaseTwins of a path ResolvePathCase has just found, without searching again.
GRANITE_WIN32_API std::vector<std::string> CaseTwinsOfFound(const std::string& resolved);

// The UTF-8 path in the syntax of this system: separators turned to '/', a
// leading drive letter ("C:") dropped.
GRANITE_WIN32_API std::string NativePathSyntax(const std::string& path);

// Two UTF-8 names are the same name ignoring letter case (each UTF-16 unit
// folded with the locale-independent lowering). Invalid UTF-8 matches nothing.
GRANITE_WIN32_API bool SameNameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace win32
