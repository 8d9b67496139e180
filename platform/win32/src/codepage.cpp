// Code page conversion. The ANSI code page is UTF-8.
#include <climits>
#include <cstring>

#include "win32/winrt.h"

namespace win32 {
namespace {

const char32_t kReplacement = 0xFFFD;
const char32_t kInvalid = 0xFFFFFFFF;

bool IsUtf8(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// Decodes the sequence at s[i], advancing i. An ill-formed sequence consumes
// its longest valid prefix (at least one byte) and gives kInvalid.
char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t& i) {
  unsigned char b = s[i++];
  if (b < 0x80) return b;
  int follow;
  char32_t c;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    follow = 1;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    follow = 2;
    c = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;       // no overlong forms
    else if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    follow = 3;
    c = b & 0x07;
    if (b == 0xF0) lo = 0x90;       // no overlong forms
    else if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return kInvalid;
  }
  for (; follow > 0; --follow) {
    if (i >= n || s[i] < lo || s[i] > hi) return kInvalid;
    c = (c << 6) | (s[i++] & 0x3F);
    lo = 0x80;
    hi = 0xBF;
  }
  return c;
}

int EncodeUtf8(char32_t c, char* out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen, WCHAR* dst,
                        int dstLen) {
  if (!IsUtf8(codePage) || (flags & ~DWORD(MB_ERR_INVALID_CHARS)) != 0 || src == nullptr ||
      srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && dst == nullptr))
    return 0;
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  const size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
  size_t count = 0;
  for (size_t i = 0; i < n;) {
    // ASCII, the common case, needs no decoding.
    char32_t c = s[i] < 0x80 ? s[i++] : DecodeUtf8(s, n, i);
    if (c == kInvalid) {
      if (flags & MB_ERR_INVALID_CHARS) return 0;
      c = kReplacement;
    }
    const size_t units = c > 0xFFFF ? 2 : 1;
    if (dstLen > 0) {
      if (count + units > static_cast<size_t>(dstLen)) return 0;
      if (units == 1) {
        dst[count] = static_cast<WCHAR>(c);
      } else {
        c -= 0x10000;
        dst[count] = static_cast<WCHAR>(0xD800 + (c >> 10));
        dst[count + 1] = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
      }
    }
    count += units;
    if (count > INT_MAX) return 0;
  }
  return static_cast<int>(count);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLen, char* dst,
                        int dstLen, const char* defaultChar, int* usedDefault) {
  if (!IsUtf8(codePage) || (flags & ~DWORD(WC_ERR_INVALID_CHARS)) != 0 ||
      defaultChar != nullptr || usedDefault != nullptr || src == nullptr || srcLen == 0 ||
      srcLen < -1 || dstLen < 0 || (dstLen > 0 && dst == nullptr))
    return 0;
  const size_t n = srcLen == -1 ? wcslen(src) + 1 : static_cast<size_t>(srcLen);
  size_t count = 0;
  for (size_t i = 0; i < n;) {
    char32_t c = src[i++];
    if (IsHighSurrogate(c) && i < n && IsLowSurrogate(src[i])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (src[i++] - 0xDC00);
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      if (flags & WC_ERR_INVALID_CHARS) return 0;
      c = kReplacement;
    }
    char bytes[4];
    const int length = EncodeUtf8(c, bytes);
    if (dstLen > 0) {
      if (count + length > static_cast<size_t>(dstLen)) return 0;
      std::memcpy(dst + count, bytes, length);
    }
    count += length;
    if (count > INT_MAX) return 0;
  }
  return static_cast<int>(count);
}

}  // namespace win32
