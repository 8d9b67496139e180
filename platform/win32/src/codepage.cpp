#include "win32/wincodepage.h"

#include <cstring>

namespace win32 {
namespace {

// Decodes one UTF-8 sequence at s[i..n); returns the code point and advances i.
// A malformed or truncated sequence gives U+FFFD and consumes one byte.
char32_t DecodeUtf8(const unsigned char* s, int n, int& i) {
  const unsigned char b = s[i];
  int length;
  char32_t cp, minimum;
  if (b < 0x80) { ++i; return b; }
  if (b >= 0xC2 && b <= 0xDF) { length = 2; cp = b & 0x1F; minimum = 0x80; }
  else if (b >= 0xE0 && b <= 0xEF) { length = 3; cp = b & 0x0F; minimum = 0x800; }
  else if (b >= 0xF0 && b <= 0xF4) { length = 4; cp = b & 0x07; minimum = 0x10000; }
  else { ++i; return 0xFFFD; }
  if (n - i < length) { ++i; return 0xFFFD; }
  for (int k = 1; k < length; ++k) {
    const unsigned char c = s[i + k];
    if ((c & 0xC0) != 0x80) { ++i; return 0xFFFD; }
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) { ++i; return 0xFFFD; }
  i += length;
  return cp;
}

}  // namespace

int MultiByteToWideChar(unsigned, unsigned, const char* src, int srcLen, WCHAR* dst,
                        int dstLen) {
  if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) return 0;
  const int n = srcLen == -1 ? static_cast<int>(std::strlen(src)) + 1 : srcLen;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  int out = 0;
  for (int i = 0; i < n;) {
    const char32_t cp = DecodeUtf8(s, n, i);
    const int units = cp >= 0x10000 ? 2 : 1;
    if (dstLen > 0) {
      if (out + units > dstLen) return 0;
      if (units == 2) {
        dst[out] = static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10));
        dst[out + 1] = static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        dst[out] = static_cast<WCHAR>(cp);
      }
    }
    out += units;
  }
  return out;
}

int WideCharToMultiByte(unsigned, unsigned, const WCHAR* src, int srcLen, char* dst, int dstLen,
                        const char*, int* usedDefault) {
  if (usedDefault) *usedDefault = 0;
  if (!src || srcLen == 0 || srcLen < -1 || dstLen < 0 || (dstLen > 0 && !dst)) return 0;
  int n = srcLen;
  if (n == -1) {
    n = 0;
    while (src[n]) ++n;
    ++n;
  }
  int out = 0;
  for (int i = 0; i < n; ++i) {
    char32_t cp = src[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    unsigned char bytes[4];
    int length;
    if (cp < 0x80) { bytes[0] = static_cast<unsigned char>(cp); length = 1; }
    else if (cp < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
      bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      length = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
      bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      length = 3;
    } else {
      bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
      bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      length = 4;
    }
    if (dstLen > 0) {
      if (out + length > dstLen) return 0;
      std::memcpy(dst + out, bytes, length);
    }
    out += length;
  }
  return out;
}

}  // namespace win32
