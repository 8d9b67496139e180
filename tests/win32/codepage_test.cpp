#include <gtest/gtest.h>

#include <string>

#include "win32/wincodepage.h"

namespace {

std::u16string Widen(const std::string& s) {
  const int n = win32::MultiByteToWideChar(win32::CP_ACP, 0, s.data(), static_cast<int>(s.size()),
                                           nullptr, 0);
  std::u16string w(n, u'\0');
  EXPECT_EQ(win32::MultiByteToWideChar(win32::CP_ACP, 0, s.data(), static_cast<int>(s.size()),
                                       &w[0], n), n);
  return w;
}

std::string Narrow(const std::u16string& w) {
  const int n = win32::WideCharToMultiByte(win32::CP_ACP, 0, w.data(), static_cast<int>(w.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  EXPECT_EQ(win32::WideCharToMultiByte(win32::CP_ACP, 0, w.data(), static_cast<int>(w.size()),
                                       &s[0], n, nullptr, nullptr), n);
  return s;
}

}  // namespace

TEST(CodePage, NonAsciiPathsRoundTrip) {
  const std::string path = "/mod\xC3\xA8les/\xE9\xBD\xBF\xE8\xBD\xAE/g\xC3\xA4r \xF0\x9F\x94\xA9.prt";
  const std::u16string wide = Widen(path);
  EXPECT_EQ(wide, u"/modèles/齿轮/gär \U0001F529.prt");  // the emoji is a surrogate pair
  EXPECT_EQ(Narrow(wide), path);
}

TEST(CodePage, TerminatorCountedOnlyForZeroTerminatedInput) {
  EXPECT_EQ(win32::MultiByteToWideChar(win32::CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(win32::MultiByteToWideChar(win32::CP_ACP, 0, "abc", 3, nullptr, 0), 3);
  EXPECT_EQ(win32::WideCharToMultiByte(win32::CP_ACP, 0, u"abc", -1, nullptr, 0, nullptr, nullptr),
            4);
}

TEST(CodePage, InvalidInputBecomesReplacementWithoutOverread) {
  // A truncated three-byte sequence at the very end of the buffer, an overlong
  // encoding and a stray continuation byte.
  const char bytes[] = {'a', '\xC0', '\xAF', '\x80', 'b', '\xE2', '\x82'};
  EXPECT_EQ(Widen(std::string(bytes, sizeof bytes)), u"a\uFFFD\uFFFD\uFFFDb\uFFFD\uFFFD");
  // A lone surrogate on the way back.
  const char16_t lone[] = {u'x', 0xD800, u'y'};
  EXPECT_EQ(Narrow(std::u16string(lone, 3)), "x\xEF\xBF\xBDy");
}

TEST(CodePage, RefusesBadArgumentsAndShortBuffers) {
  WCHAR small[2];
  EXPECT_EQ(win32::MultiByteToWideChar(win32::CP_ACP, 0, "abc", 3, small, 2), 0);
  EXPECT_EQ(win32::MultiByteToWideChar(win32::CP_ACP, 0, nullptr, -1, nullptr, 0), 0);
  EXPECT_EQ(win32::MultiByteToWideChar(win32::CP_ACP, 0, "", 0, nullptr, 0), 0);
  char out[2];
  EXPECT_EQ(win32::WideCharToMultiByte(win32::CP_ACP, 0, u"\u00E4", 1, out, 1, nullptr, nullptr),
            0);
}
