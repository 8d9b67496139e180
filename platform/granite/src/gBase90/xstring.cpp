#include "gBase90/xstring.h"

#include <cstring>

#include "gBase90/klower.h"

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::basic_string<WCHAR>& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<WCHAR>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<WCHAR>(0xD800 + (c >> 10)));
    out.push_back(static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
  }
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}
}  // namespace

std::basic_string<WCHAR> KWideFromUtf8(const char* text, size_t length) {
  std::basic_string<WCHAR> out;
  out.reserve(length);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : -1;
    if (extra < 0 || b > 0xF4) {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    char32_t c = b & (0x3F >> extra);
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= length || (s[i + k] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are invalid.
    static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    AppendUtf16(out, c);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

std::string KUtf8FromWide(const WCHAR* text, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    char32_t c = static_cast<char16_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
      char32_t low = static_cast<char16_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
    AppendUtf8(out, c);
  }
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
  for (size_t i = 0; i < m_text.size(); ++i) s.m_text[i] = KLowerUnit(m_text[i]);
  return s;
}

const char* xstring::GetNarrow() const {
  if (!m_narrowValid) {
    m_narrow = KUtf8FromWide(m_text.data(), m_text.size());
    m_narrowValid = true;
  }
  return m_narrow.c_str();
}
