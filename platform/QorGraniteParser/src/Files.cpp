// The sibling's file-name services of CGraniteParser: where a referenced file
// is looked for, and whether a file name is a part or an assembly.
#include <filesystem>
#include <string>
#include <system_error>

#include "SiblingState.h"
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

qgp::FileContext ContextOf(CBasicString& filename, CBasicString directory,
                           GraniteSupportFileCallback callback) {
  qgp::FileContext context;
  context.parserDirectory =
      FromUtf8(DirectoryOf(win32::NativePathSyntax(Utf8(qgp::ToText(filename)))));
  context.installationDirectory = FromUtf8(win32::NativePathSyntax(Utf8(qgp::ToText(directory))));
  context.callback = callback;
  return context;
}

// The search for one name. The answer is in this system's syntax and is found
// again unchanged when it is looked up a second time.
qgp::Text Search(const qgp::Text& original, const qgp::FileContext& context) {
  const std::string name = win32::NativePathSyntax(Utf8(original));
  if (IsFile(name)) return FromUtf8(name);

  // Beside the model file, then in the installation directory: under the name
  // as it stands when it is relative, and under its last component (a path
  // written on another machine).
  const bool absolute = !name.empty() && name[0] == '/';
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
    CBasicString found;
    if (context.callback(qgp::ToString(original), qgp::ToString(context.parserDirectory), found) !=
            0 &&
        found.GetLength() > 0)
      return FromUtf8(win32::NativePathSyntax(Utf8(qgp::ToText(found))));
  }
  return FromUtf8(name);
}

// Rebuilds the name cache from the resolved-files list, the newest entry of a
// name winning.
void RebuildFiles(qgp::ParserState& state, C3DMList& list) {
  state.files.clear();
  for (CBasicListElement* node = qgp::HeadOf(list); node; node = node->m_next) {
    CGraniteResolvedFileEntry* entry = static_cast<CGraniteResolvedFileEntry*>(node->m_item);
    if (entry == nullptr) continue;
    state.files[qgp::ToText(entry->GetOriginalFilename())] =
        qgp::ToText(entry->GetResolvedFilename());
  }
  state.filesSignature = qgp::ListSignature::Of(list);
}

}  // namespace

// An empty name stays empty; any other gets a non-empty answer: the first
// existing candidate, else what the support-file callback found, else the name
// itself. Each name is searched once per model file, installation directory
// and callback, and recorded once in the resolved-files list.
CBasicString CGraniteParser::GetResolvedFilename(CBasicString fileName) {
  if (fileName.GetLength() == 0) return CBasicString();
  const qgp::Text original = qgp::ToText(fileName);
  const qgp::FileContext context =
      ContextOf(m_filename, m_installationDirectory, m_getSupportFilePtr);
  {
    std::lock_guard<std::mutex> hold(qgp::StateLock());
    qgp::ParserState& state = qgp::StateOf(this);
    if (!state.filesContextSet) {
      state.filesContextSet = true;
      state.filesContext = context;
      RebuildFiles(state, m_resolvedFilesList);
    } else if (!(state.filesContext == context)) {
      // Another model file, directory or callback: the earlier answers stay
      // in the list, but every name is searched again.
      state.files.clear();
      state.filesContext = context;
      state.filesSignature = qgp::ListSignature::Of(m_resolvedFilesList);
    } else if (state.filesSignature != qgp::ListSignature::Of(m_resolvedFilesList)) {
      RebuildFiles(state, m_resolvedFilesList);
    }
    const auto found = state.files.find(original);
    if (found != state.files.end()) return qgp::ToString(found->second);
  }

  // No lock while the file system and the host are asked.
  const qgp::Text resolved = Search(original, context);

  std::lock_guard<std::mutex> hold(qgp::StateLock());
  qgp::ParserState& state = qgp::StateOf(this);
  const bool current = state.filesContext == context &&
                       state.filesSignature == qgp::ListSignature::Of(m_resolvedFilesList);
  CGraniteResolvedFileEntry entry;
  entry.SetOriginalFilename(fileName);
  entry.SetResolvedFilename(qgp::ToString(resolved));
  if (!m_resolvedFilesList.AddTailCopy(&entry))
    m_resolvedFilesList.AddTail(new CGraniteResolvedFileEntry(entry));
  if (current) {
    state.files[original] = resolved;
    state.filesSignature = qgp::ListSignature::Of(m_resolvedFilesList);
  }
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
