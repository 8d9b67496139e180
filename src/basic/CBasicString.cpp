#include "granite/CBasicString.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "win32/winrt.h"

namespace {

typedef std::basic_string<WCHAR> WideText;

const int kBufferSize = 4096;

// Appends narrow text of n bytes, converted through the ANSI code page.
// False (and no change) when nothing could be converted.
bool AppendNarrow(WideText& text, const char* narrow, size_t n) {
  if (n == 0) return false;
  if (n > INT32_MAX) throw std::length_error("string too long");
  const int units = win32::MultiByteToWideChar(CP_ACP, 0, narrow, int(n), nullptr, 0);
  if (units <= 0) return false;
  const size_t old = text.size();
  text.resize(old + size_t(units));
  const int written = win32::MultiByteToWideChar(CP_ACP, 0, narrow, int(n), &text[old], units);
  text.resize(old + size_t(written > 0 ? written : 0));
  return written > 0;
}

WideText FromNarrow(const char* narrow) {
  WideText text;
  if (narrow != nullptr) AppendNarrow(text, narrow, std::strlen(narrow));
  return text;
}

WCHAR FromNarrow(char c) {
  WCHAR wide = 0;
  win32::MultiByteToWideChar(CP_ACP, 0, &c, 1, &wide, 1);
  return wide;
}

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320).
struct CrcTable {
  constexpr CrcTable() : entries() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[i] = c;
    }
  }
  uint32_t entries[256];
};

constexpr CrcTable kCrc;

}  // namespace

CBasicString::CBasicString() : m_narrow(nullptr) {}

CBasicString::CBasicString(const CBasicString& other) : m_text(other.m_text), m_narrow(nullptr) {}

CBasicString::CBasicString(const char* text) : m_text(FromNarrow(text)), m_narrow(nullptr) {}

CBasicString::CBasicString(const WCHAR* text) : m_narrow(nullptr) {
  if (text != nullptr) m_text = text;
}

CBasicString::CBasicString(const CBasicString* other) : m_narrow(nullptr) {
  if (other != nullptr) m_text = other->m_text;
}

CBasicString::CBasicString(char c) : m_text(1, FromNarrow(c)), m_narrow(nullptr) {}

CBasicString::CBasicString(WCHAR c) : m_text(1, c), m_narrow(nullptr) {}

CBasicString::~CBasicString() { ReleaseNarrow(); }

void CBasicString::ReleaseNarrow() {
  delete[] m_narrow;
  m_narrow = nullptr;
}

CBasicString& CBasicString::operator=(const CBasicString& other) {
  if (&other != this) {
    ReleaseNarrow();
    m_text = other.m_text;
  }
  return *this;
}

CBasicString& CBasicString::operator=(const WCHAR* text) {
  ReleaseNarrow();
  if (text != nullptr) m_text = text;  // may point into m_text: assign copes
  else m_text.clear();
  return *this;
}

CBasicString& CBasicString::operator=(const char* text) {
  WideText converted = FromNarrow(text);  // before the release: text may be m_narrow
  ReleaseNarrow();
  m_text.swap(converted);
  return *this;
}

CBasicString& CBasicString::operator+=(const CBasicString& text) {
  Append(text);
  return *this;
}

CBasicString& CBasicString::operator+=(const WCHAR* text) {
  if (text != nullptr) {
    ReleaseNarrow();
    m_text += text;
  }
  return *this;
}

CBasicString& CBasicString::operator+=(const char* text) {
  Append(text);
  return *this;
}

CBasicString CBasicString::operator+(const CBasicString& text) const {
  CBasicString result(*this);
  result.m_text += text.m_text;
  return result;
}

CBasicString CBasicString::operator+(const WCHAR* text) const {
  CBasicString result(*this);
  if (text != nullptr) result.m_text += text;
  return result;
}

CBasicString CBasicString::operator+(const char* text) const {
  CBasicString result(*this);
  if (text != nullptr) AppendNarrow(result.m_text, text, std::strlen(text));
  return result;
}

bool CBasicString::operator==(const CBasicString& other) const { return m_text == other.m_text; }

bool CBasicString::operator==(const WCHAR* text) const {
  return text != nullptr ? m_text == text : m_text.empty();
}

bool CBasicString::operator==(const char* text) const { return m_text == FromNarrow(text); }

bool CBasicString::operator!=(const CBasicString& other) const { return !(*this == other); }

bool CBasicString::operator!=(const WCHAR* text) const { return !(*this == text); }

bool CBasicString::operator!=(const char* text) const { return !(*this == text); }

// Ordinal order: WCHAR is unsigned, so the standard comparison orders by unit value.
bool CBasicString::operator<(const CBasicString& other) const { return m_text < other.m_text; }

bool CBasicString::operator<(const WCHAR* text) const {
  return text != nullptr && m_text.compare(text) < 0;
}

bool CBasicString::operator<(const char* text) const { return m_text < FromNarrow(text); }

bool CBasicString::operator>(const CBasicString& other) const { return m_text > other.m_text; }

bool CBasicString::operator>(const WCHAR* text) const {
  return text != nullptr ? m_text.compare(text) > 0 : !m_text.empty();
}

bool CBasicString::operator>(const char* text) const { return m_text > FromNarrow(text); }

int CBasicString::GetLength() const { return static_cast<int>(m_text.size()); }

const WCHAR* CBasicString::GetWideString() const { return m_text.c_str(); }

const char* CBasicString::GetMultiByte() {
  ReleaseNarrow();
  int size = 0;
  if (!m_text.empty()) {
    size = win32::WideCharToMultiByte(CP_ACP, 0, m_text.data(), GetLength(), nullptr, 0, nullptr,
                                      nullptr);
    if (size <= 0) return nullptr;
  }
  char* narrow = new char[size_t(size) + 1];
  if (size > 0) {
    size = win32::WideCharToMultiByte(CP_ACP, 0, m_text.data(), GetLength(), narrow, size,
                                      nullptr, nullptr);
    if (size <= 0) {
      delete[] narrow;
      return nullptr;
    }
  }
  narrow[size] = 0;
  m_narrow = narrow;
  return m_narrow;
}

int CBasicString::Find(const CBasicString& what, int start) const {
  if (!IsValidIndex(start)) return -1;
  const size_t position = m_text.find(what.m_text, size_t(start));
  return position == WideText::npos ? -1 : static_cast<int>(position);
}

int CBasicString::ReverseFind(char c, int start) const { return ReverseFind(FromNarrow(c), start); }

int CBasicString::ReverseFind(WCHAR c, int start) const {
  if (start == 0) start = GetLength() - 1;
  if (!IsValidIndex(start)) return -1;
  const size_t position = m_text.rfind(c, size_t(start));
  return position == WideText::npos ? -1 : static_cast<int>(position);
}

bool CBasicString::MakeLower() {
  if (m_text.empty()) return false;
  for (WCHAR& c : m_text) c = win32::towlower(c);
  return true;
}

bool CBasicString::MakeUpper() {
  if (m_text.empty()) return false;
  for (WCHAR& c : m_text) c = win32::towupper(c);
  return true;
}

// CRC-32 of the UTF-16LE bytes.
int CBasicString::GetHashValue() const {
  if (m_text.empty()) return 0;
  uint32_t crc = 0xFFFFFFFFu;
  for (WCHAR c : m_text) {
    const uint32_t unit = static_cast<uint16_t>(c);
    crc = kCrc.entries[(crc ^ unit) & 0xFF] ^ (crc >> 8);
    crc = kCrc.entries[(crc ^ (unit >> 8)) & 0xFF] ^ (crc >> 8);
  }
  return static_cast<int>(~crc);
}

int CBasicString::CompareNoCase(const CBasicString& other) const {
  return win32::_wcsicmp(m_text.c_str(), other.m_text.c_str());
}

bool CBasicString::Append(const CBasicString& text) {
  if (text.m_text.empty()) return false;
  ReleaseNarrow();
  m_text += text.m_text;
  return true;
}

bool CBasicString::Append(const char* text) {
  if (text == nullptr || *text == 0) return false;
  WideText converted = FromNarrow(text);  // before the release: text may be m_narrow
  if (converted.empty()) return false;
  ReleaseNarrow();
  m_text += converted;
  return true;
}

bool CBasicString::Append(const WCHAR* text) {
  if (text == nullptr || *text == 0) return false;
  ReleaseNarrow();
  m_text += text;
  return true;
}

bool CBasicString::Append(const char* begin, const char* end) {
  if (begin == nullptr || end == nullptr || end <= begin) return false;
  WideText converted;
  if (!AppendNarrow(converted, begin, size_t(end - begin))) return false;
  ReleaseNarrow();
  m_text += converted;
  return true;
}

bool CBasicString::Assign(const CBasicString& other) {
  if (&other == this) return false;
  *this = other;
  return true;
}

bool CBasicString::Format(const WCHAR* format, ...) {
  if (format == nullptr) return false;
  WCHAR buffer[kBufferSize];
  va_list args;
  va_start(args, format);
  const int n = win32::vswprintf_s(buffer, kBufferSize, format, args);
  va_end(args);
  if (n <= 0) return false;
  ReleaseNarrow();
  m_text.assign(buffer, size_t(n));
  return true;
}

bool CBasicString::LoadString(int id, void* module) {
  if (id < 1) return false;
  win32::HINSTANCE instance = module != nullptr ? static_cast<win32::HINSTANCE>(module)
                                                : win32::GetModuleHandleW(nullptr);
  WCHAR buffer[kBufferSize];
  const int n = win32::LoadStringW(instance, win32::UINT(id), buffer, kBufferSize);
  if (n <= 0) return false;
  ReleaseNarrow();
  m_text.assign(buffer, size_t(n));
  return true;
}

WCHAR CBasicString::GetAt(int i) const { return IsValidIndex(i) ? m_text[size_t(i)] : 0; }

WCHAR CBasicString::GetFirst() const { return m_text.empty() ? 0 : m_text.front(); }

WCHAR CBasicString::GetLast() const { return m_text.empty() ? 0 : m_text.back(); }

bool CBasicString::SetAt(int i, WCHAR c) {
  if (!IsValidIndex(i)) return false;
  m_text[size_t(i)] = c;
  return true;
}

bool CBasicString::IsValidIndex(int i) const { return i >= 0 && size_t(i) < m_text.size(); }

CBasicString CBasicString::Mid(int first, int last) const {
  if (last == -1) last = GetLength() - 1;
  CBasicString result;
  if (IsValidIndex(first) && IsValidIndex(last) && first <= last)
    result.m_text.assign(m_text, size_t(first), size_t(last - first) + 1);
  return result;
}

bool CBasicString::Delete(int i) {
  if (!IsValidIndex(i)) return false;
  m_text.erase(size_t(i), 1);
  return true;
}

// Every occurrence, left to right; the search resumes after the inserted text,
// so a replacement that contains `what` cannot loop.
bool CBasicString::Replace(const CBasicString& what, const CBasicString& with) {
  const WideText pattern = what.m_text;  // copies: either may be *this
  const WideText replacement = with.m_text;
  if (pattern.empty()) return false;
  size_t position = m_text.find(pattern);
  if (position == WideText::npos) return false;
  WideText result;
  size_t done = 0;
  for (; position != WideText::npos; position = m_text.find(pattern, done)) {
    result.append(m_text, done, position - done).append(replacement);
    done = position + pattern.size();
  }
  result.append(m_text, done, WideText::npos);
  m_text.swap(result);
  return true;
}

bool CBasicString::TrimLeft() {
  size_t n = 0;
  while (n < m_text.size() && win32::iswspace(m_text[n])) ++n;
  m_text.erase(0, n);
  return n > 0;
}

bool CBasicString::TrimRight() {
  size_t n = m_text.size();
  while (n > 0 && win32::iswspace(m_text[n - 1])) --n;
  const bool trimmed = n < m_text.size();
  m_text.resize(n);
  return trimmed;
}

bool CBasicString::Truncate(int n) {
  if (!IsValidIndex(n)) return false;
  m_text.resize(size_t(n));
  return true;
}

bool CBasicString::Empty() {
  if (m_text.empty()) return false;
  ReleaseNarrow();
  m_text.clear();
  return true;
}
