// The native text format: reading models, and finding the files that native
// assemblies refer to.
#pragma once

#include <string>

#include "gGeometry90/kmodel.h"

struct stat;

namespace knative {

// Reads a model from text. name is used in reasons; directory is where the
// components of an assembly look for their files. Null on failure, with the
// reason in reason ("name:line: ...").
xrchandle<KModel> Read(const char* text, size_t length, const std::string& name,
                       const std::string& directory, std::string& reason);

// Reads a whole native file (path as found on disk). Null on failure with reason.
xrchandle<KModel> ReadFile(const std::string& path, std::string& reason);

// Reads the native file open on fd (path as found on disk), and closes fd. A
// part read before is given from the session's models when the file is the
// same (see KFlushModelCache); a part read now is kept there. Null on failure
// with reason.
xrchandle<KModel> ReadOpened(int fd, const std::string& path, std::string& reason);

// The part kept for the native file at path (as found on disk) whose status st
// was just read, when that status is the identity it was read with and the
// file is past the racy window (a racy file's text is compared by ReadOpened);
// null otherwise. Counts a hit.
xrchandle<KModel> FindKept(const std::string& path, const struct stat& st);

// Loads the model a native assembly's component refers to: for a
// configuration name its instance file (name, name.xpr, name.xas), else the
// referenced file, each looked for beside the assembly. Null with the kernel's
// last error set when none can be read.
xrchandle<KModel> LoadReferenced(const std::string& directory, const xstring& fileName,
                                 const xstring& configName);

// True for the names of native files: .asm, .prt, .xas, .xpr in any case,
// optionally followed by a version number (gear.prt.3).
bool IsNativeName(const std::string& path);

}  // namespace knative
