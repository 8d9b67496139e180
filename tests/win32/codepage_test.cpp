#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "win32/winrt.h"

namespace {

typedef std::basic_string<WCHAR> WideText;

// Converts exactly n bytes held in a heap block of that size, so that reading
// past the end is caught by the address sanitizer.
WideText Widen(const char* bytes, int n) {
  std::unique_ptr<char[]> copy(new char[n]);
  std::copy(bytes, bytes + n, copy.get());
  const int size = win32::MultiByteToWideChar(CP_ACP, 0, copy.get(), n, nullptr, 0);
  WideText out(size_t(size), WSTR('\0'));
  if (size > 0) {
    EXPECT_EQ(size, win32::MultiByteToWideChar(CP_ACP, 0, copy.get(), n, &out[0], size));
  }
  return out;
}

std::string Narrow(const WideText& text) {
  const int n = int(text.size());
  const int size = win32::WideCharToMultiByte(CP_ACP, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(size), '\0');
  if (size > 0) {
    EXPECT_EQ(size, win32::WideCharToMultiByte(CP_ACP, 0, text.data(), n, &out[0], size,
                                               nullptr, nullptr));
  }
  return out;
}

// -1 reads through the terminator and counts it, both ways (the round trip of a
// path is in the tests of CBasicString).
TEST(CodePage, MinusOneCountsTheTerminatorBothWays) {
  const std::string path = "/home/u/Modèle/Żółw/部品/\xF0\x9D\x94\x98.prt";
  const WideText wide = WSTR("/home/u/Modèle/Żółw/部品/\U0001D518.prt");
  WCHAR buffer[64];
  const int units = win32::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, buffer, 64);
  EXPECT_EQ(units, int(wide.size()) + 1);
  EXPECT_EQ(WideText(buffer), wide);
  EXPECT_EQ(win32::WideCharToMultiByte(CP_UTF8, 0, buffer, -1, nullptr, 0, nullptr, nullptr),
            int(path.size()) + 1);
}

TEST(CodePage, InvalidNarrowInputBecomesReplacementCharacters) {
  // Sequences cut short at the end of the input: one U+FFFD each.
  EXPECT_EQ(Widen("ab\xE2\x82", 4), WideText(WSTR("ab\uFFFD")));
  EXPECT_EQ(Widen("\xF0\x9F\x98", 3), WideText(WSTR("\uFFFD")));
  EXPECT_EQ(Widen("x\xC3", 2), WideText(WSTR("x\uFFFD")));
  // A bad byte ends the sequence and is decoded again.
  EXPECT_EQ(Widen("\xE2\x82z", 3), WideText(WSTR("\uFFFDz")));
  // Stray continuation, overlong forms, encoded surrogates, bytes never used.
  EXPECT_EQ(Widen("\x80", 1), WideText(WSTR("\uFFFD")));
  EXPECT_EQ(Widen("\xC0\xAF", 2), WideText(WSTR("\uFFFD\uFFFD")));
  EXPECT_EQ(Widen("\xED\xA0\x80", 3), WideText(WSTR("\uFFFD\uFFFD\uFFFD")));
  EXPECT_EQ(Widen("\xF4\x90\x80\x80", 4), WideText(WSTR("\uFFFD\uFFFD\uFFFD\uFFFD")));
  EXPECT_EQ(Widen("\xFF", 1), WideText(WSTR("\uFFFD")));
  // Embedded zeros are characters when the length is given.
  EXPECT_EQ(Widen("a\0b", 3), WideText(WSTR("a\0b"), 3));
  // The strict flag turns every one of those into a failure.
  char truncated[] = {'a', '\xE2', '\x82'};
  EXPECT_EQ(win32::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, truncated, 3, nullptr, 0), 0);
  EXPECT_EQ(win32::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "ok", 2, nullptr, 0), 2);
}

TEST(CodePage, UnpairedSurrogatesBecomeReplacementBytes) {
  EXPECT_EQ(Narrow(WideText{WSTR('a'), 0xD800, WSTR('b')}), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Narrow(WideText{0xDC00, 0xD83D}), "\xEF\xBF\xBD\xEF\xBF\xBD");
  // A pair cut by the given length is not joined with what follows.
  const WCHAR pair[] = {0xD835, 0xDD18, 0};
  char out[8];
  EXPECT_EQ(win32::WideCharToMultiByte(CP_ACP, 0, pair, 1, out, 8, nullptr, nullptr), 3);
  EXPECT_EQ(win32::WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, pair, 1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(win32::WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, pair, 2, out, 8, nullptr, nullptr), 4);
}

// Too small a buffer: failure, and nothing beyond the given length is touched.
TEST(CodePage, ShortBuffersAreRefusedUntouched) {
  WCHAR wide[4] = {WSTR('#'), WSTR('#'), WSTR('#'), WSTR('#')};
  EXPECT_EQ(win32::MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 3), 0);
  EXPECT_EQ(wide[3], WSTR('#'));
  EXPECT_EQ(win32::MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);

  char narrow[4] = {'#', '#', '#', '#'};
  // "é" needs two bytes; the second would land at narrow[3].
  EXPECT_EQ(win32::WideCharToMultiByte(CP_ACP, 0, WSTR("abé"), 3, narrow, 3, nullptr, nullptr), 0);
  EXPECT_EQ(narrow[3], '#');
  EXPECT_EQ(win32::WideCharToMultiByte(CP_ACP, 0, WSTR("abé"), 3, narrow, 4, nullptr, nullptr), 4);
}

}  // namespace
