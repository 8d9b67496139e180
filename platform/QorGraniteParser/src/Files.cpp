// The sibling's file-name services of CGraniteParser: where a referenced file
// is looked for, and whether a file name is a part or an assembly.
#include <filesystem>
#include <string>
#include <system_error>

#include "Registry.h"
#include "win32/pathcase.h"

namespace {

std::string Utf8(const qgp::Text& text) {
  CBasicString copy = qgp::ToString(text);
  const char* narrow = copy.GetMultiByte();
  return narrow ? std::string(narrow) : std::string();
}

qgp::Text FromUtf8(const std::string& text) {
  return qgp::ToText(CBasicString(text.c_str()));
}

// A regular file is there under this name, letter case and Windows syntax
// aside (as the loader's existence test and the kernel find files).
bool IsFile(const std::string& path) {
  if (path.empty()) return false;
  std::string found;
  if (!win32::ResolvePathCase(path, found)) return false;
  std::error_code error;
  return std::filesystem::is_regular_file(found, error);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Join(const std::string& directory, const std::string& name) {
  return std::filesystem::path(directory + "/" + name).lexically_normal().generic_string();
}

// A directory made absolute against the working directory of the moment; the
// empty directory (a model file named without one) is the working directory.
std::string Absolute(const std::string& directory) {
  std::error_code error;
  const std::filesystem::path made =
      std::filesystem::absolute(directory.empty() ? std::string(".") : directory, error);
  if (error) return directory;
  return made.lexically_normal().generic_string();
}

std::string Trimmed(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

bool IsRooted(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

qgp::FileContext ContextOf(CBasicString& filename, CBasicString directory,
                           GraniteSupportFileCallback callback) {
  // The directories in this system's syntax and absolute, worked out once per
  // model file, installation directory and callback of this thread: a load
  // asks for every component. Directories named relative to the working
  // directory are worked out anew, as it may have changed.
  struct Memo {
    qgp::Text filename, directory;
    GraniteSupportFileCallback callback = nullptr;
    bool valid = false;
    qgp::FileContext context;
  };
  thread_local Memo memo;
  const size_t filenameLength = static_cast<size_t>(filename.GetLength());
  const size_t directoryLength = static_cast<size_t>(directory.GetLength());
  if (memo.valid && memo.callback == callback &&
      memo.filename.compare(0, qgp::Text::npos, filename.GetWideString(), filenameLength) == 0 &&
      memo.directory.compare(0, qgp::Text::npos, directory.GetWideString(), directoryLength) == 0)
    return memo.context;

  qgp::FileContext context;
  const std::string parserDirectory =
      DirectoryOf(win32::NativePathSyntax(Utf8(qgp::ToText(filename))));
  context.parserDirectory = FromUtf8(Trimmed(Absolute(parserDirectory)));
  const std::string installation = win32::NativePathSyntax(Utf8(qgp::ToText(directory)));
  if (!installation.empty())
    context.installationDirectory = FromUtf8(Trimmed(Absolute(installation)));
  context.callback = callback;
  memo.valid = IsRooted(parserDirectory) && (installation.empty() || IsRooted(installation));
  if (memo.valid) {
    memo.filename = qgp::ToText(filename);
    memo.directory = qgp::ToText(directory);
    memo.callback = callback;
    memo.context = context;
  }
  return context;
}

// The search for one name. The answer is an absolute path in this system's
// syntax, found again unchanged when it is looked up a second time; found
// tells whether a file is there. A relative name is never looked for in the
// working directory: a file there has nothing to do with the model.
qgp::Text Search(const qgp::Text& original, const qgp::FileContext& context, bool& found) {
  found = true;
  const std::string name = win32::NativePathSyntax(Utf8(original));
  // "/x" on both systems, "C:/x" on Windows too.
  const bool absolute = std::filesystem::path(name).has_root_directory();
  if (absolute && IsFile(name))
    return FromUtf8(std::filesystem::path(name).lexically_normal().generic_string());

  // Beside the model file, then in the installation directory: under the name
  // as it stands when it is relative, and under its last component (a path
  // written on another machine).
  const size_t slash = name.find_last_of('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  for (const qgp::Text* directory : {&context.parserDirectory, &context.installationDirectory}) {
    if (directory->empty()) continue;
    const std::string dir = Utf8(*directory);
    if (!absolute) {
      const std::string candidate = Join(dir, name);
      if (IsFile(candidate)) return FromUtf8(candidate);
    }
    if (!base.empty() && base != name) {
      const std::string candidate = Join(dir, base);
      if (IsFile(candidate)) return FromUtf8(candidate);
    }
  }

  // The host's own search directories.
  if (context.callback != nullptr) {
    CBasicString answer;
    if (context.callback(qgp::ToString(original), qgp::ToString(context.parserDirectory),
                         answer) != 0 &&
        answer.GetLength() > 0) {
      const std::string path = win32::NativePathSyntax(Utf8(qgp::ToText(answer)));
      if (std::filesystem::path(path).has_root_directory())
        return FromUtf8(std::filesystem::path(path).lexically_normal().generic_string());
      return FromUtf8(Join(Absolute(std::string()), path));
    }
  }
  // Nowhere: the place beside the model file where it was expected.
  found = false;
  if (absolute || context.parserDirectory.empty()) return FromUtf8(name);
  return FromUtf8(Join(Utf8(context.parserDirectory), name));
}

}  // namespace

// An empty name stays empty; any other gets a non-empty, absolute answer: the
// first existing candidate, else what the support-file callback found, else
// where it was expected beside the model file. Each name is searched once per
// model file, installation directory and callback, and a file found is
// recorded once in the resolved-files list. A name found nowhere is not
// recorded, and is searched again by the next load (a new root element).
CBasicString CGraniteParser::GetResolvedFilename(CBasicString fileName) {
  if (fileName.GetLength() == 0) return CBasicString();
  const qgp::Text original = qgp::ToText(fileName);
  const qgp::FileContext context =
      ContextOf(m_filename, m_installationDirectory, m_getSupportFilePtr);
  qgp::Registry& registry = qgp::Registry::Instance();
  qgp::Text answer;
  if (registry.LookUpFile(this, m_resolvedFilesList, context, original, answer))
    return qgp::ToString(answer);
  // The registry is not held while the file system and the host are asked.
  bool found = false;
  const qgp::Text resolved = Search(original, context, found);
  registry.RecordFile(this, m_resolvedFilesList, context, fileName, resolved, found);
  return qgp::ToString(resolved);
}

// By the last extension of the last path component, a version number after it
// (gear.prt.3) passed over: .asm and .xas are assemblies, everything else is
// loaded as a part (the native .prt and .xpr and every exchange format).
bool CGraniteParser::GetFileIsPart(CBasicString fileName) {
  qgp::Text name = qgp::ToText(fileName);
  const size_t slash = name.find_last_of(WSTR("/\\"));
  if (slash != qgp::Text::npos) name.erase(0, slash + 1);
  size_t dot = name.find_last_of(WSTR('.'));
  if (dot != qgp::Text::npos && dot + 1 < name.size() &&
      name.find_first_not_of(WSTR("0123456789"), dot + 1) == qgp::Text::npos) {
    name.erase(dot);
    dot = name.find_last_of(WSTR('.'));
  }
  if (dot == qgp::Text::npos) return true;
  qgp::Text extension = name.substr(dot + 1);
  for (WCHAR& c : extension) {
    if (c >= WSTR('A') && c <= WSTR('Z')) c = WCHAR(c - WSTR('A') + WSTR('a'));
  }
  return extension != WSTR("asm") && extension != WSTR("xas");
}
