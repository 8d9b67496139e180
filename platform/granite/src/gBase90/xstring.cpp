#include "gBase90/xstring.h"

#include <cstring>

#include "win32/winrt.h"

namespace {

// True when every byte or unit is ASCII, which converts one to one.
template <class C>
bool IsAscii(const C* text, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (static_cast<unsigned>(text[i]) >= 0x80) return false;
  return true;
}

}  // namespace

std::basic_string<WCHAR> KWideFromUtf8(const char* text, size_t length) {
  std::basic_string<WCHAR> out;
  if (!text || length == 0 || length > 0x7FFFFFFF) return out;
  if (IsAscii(reinterpret_cast<const unsigned char*>(text), length)) {
    out.assign(text, text + length);
    return out;
  }
  int n = static_cast<int>(length);
  int units = win32::MultiByteToWideChar(CP_UTF8, 0, text, n, nullptr, 0);
  if (units <= 0) return out;
  out.resize(static_cast<size_t>(units));
  win32::MultiByteToWideChar(CP_UTF8, 0, text, n, &out[0], units);
  return out;
}

std::string KUtf8FromWide(const WCHAR* text, size_t length) {
  std::string out;
  if (!text || length == 0 || length > 0x7FFFFFFF) return out;
  if (IsAscii(text, length)) {
    out.resize(length);
    for (size_t i = 0; i < length; ++i) out[i] = static_cast<char>(text[i]);
    return out;
  }
  int n = static_cast<int>(length);
  int bytes = win32::WideCharToMultiByte(CP_UTF8, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return out;
  out.resize(static_cast<size_t>(bytes));
  win32::WideCharToMultiByte(CP_UTF8, 0, text, n, &out[0], bytes, nullptr, nullptr);
  return out;
}

xstring::xstring(const WCHAR* text) {
  if (text) m_text = text;
}

xstring::xstring(const WCHAR* text, int length) {
  if (text && length > 0) m_text.assign(text, static_cast<size_t>(length));
}

xstring xstring::FromNarrow(const char* utf8) {
  xstring s;
  if (utf8) s.m_text = KWideFromUtf8(utf8, std::strlen(utf8));
  return s;
}

xstring xstring::FromNarrow(const std::string& utf8) {
  xstring s;
  s.m_text = KWideFromUtf8(utf8.data(), utf8.size());
  return s;
}

xstring xstring::ToLower() const {
  xstring s;
  s.m_text.resize(m_text.size());
  for (size_t i = 0; i < m_text.size(); ++i) {
    WCHAR c = m_text[i];
    s.m_text[i] =
        c < 0x80 ? (c >= 'A' && c <= 'Z' ? static_cast<WCHAR>(c + 32) : c) : win32::towlower(c);
  }
  return s;
}

const char* xstring::GetNarrow() const {
  if (!m_narrowValid) {
    m_narrow = KUtf8FromWide(m_text.data(), m_text.size());
    m_narrowValid = true;
  }
  return m_narrow.c_str();
}
