// The kernel's string value: UTF-16 text with a UTF-8 narrow view.
#pragma once

#include <string>

#include "win32/wintypes.h"

class GRANITE_KBASE_API xstring {
 public:
  xstring() = default;
  // From NUL-terminated wide text; null gives the empty string.
  xstring(const WCHAR* text);
  xstring(const WCHAR* text, int length);
  // From NUL-terminated UTF-8 text; invalid sequences become U+FFFD.
  static xstring FromNarrow(const char* utf8);
  static xstring FromNarrow(const std::string& utf8);

  // Length in UTF-16 units.
  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  // The text lowered unit by unit, whatever the process locale.
  xstring ToLower() const;

  // NUL-terminated views; valid while the string is alive and unchanged.
  const WCHAR* GetWide() const { return m_text.c_str(); }
  const char* GetNarrow() const;

  bool operator==(const xstring& other) const { return m_text == other.m_text; }
  bool operator!=(const xstring& other) const { return m_text != other.m_text; }

 private:
  std::basic_string<WCHAR> m_text;
  mutable std::string m_narrow;
  mutable bool m_narrowValid = false;
};

// UTF-8 to UTF-16 and back; invalid input becomes U+FFFD.
GRANITE_KBASE_API std::basic_string<WCHAR> KWideFromUtf8(const char* text, size_t length);
GRANITE_KBASE_API std::string KUtf8FromWide(const WCHAR* text, size_t length);
