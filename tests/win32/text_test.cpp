#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdint>
#include <string>

#include "win32/winrt.h"

namespace {

typedef std::basic_string<WCHAR> WideText;

// The run-time's "C" locale, whatever the process locale: ASCII letters only
// change case (not U+0130, U+0131, U+00DF, nor any other letter beyond ASCII).
void ExpectFixedCaseMapping() {
  for (int c = 0; c < 0x10000; ++c) {
    const WCHAR u = WCHAR(c), upper = u >= 'a' && u <= 'z' ? WCHAR(c - 32) : u,
                lower = u >= 'A' && u <= 'Z' ? WCHAR(c + 32) : u;
    ASSERT_EQ(win32::towupper(u), upper) << c;
    ASSERT_EQ(win32::towlower(u), lower) << c;
  }
}

TEST(WideText, CaseMappingIgnoresTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ExpectFixedCaseMapping();
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  ExpectFixedCaseMapping();
  for (const char* turkish : {"tr_TR.UTF-8", "tr_TR.utf8", "tr_TR"}) {
    if (std::setlocale(LC_ALL, turkish) != nullptr) {
      ExpectFixedCaseMapping();
      break;
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(WideText, SpacesAndCaseInsensitiveComparison) {
  for (WCHAR c : {WSTR(' '), WSTR('\t'), WSTR('\n'), WSTR('\r'), WSTR('\v'), WSTR('\f'), WCHAR(0xA0), WCHAR(0x2003), WCHAR(0x3000)})
    EXPECT_TRUE(win32::iswspace(c)) << int(c);
  for (WCHAR c : {WSTR('a'), WSTR('0'), WSTR('\0'), WCHAR(0x200B), WCHAR(0xFEFF), WCHAR(0x85)})
    EXPECT_FALSE(win32::iswspace(c)) << int(c);

  EXPECT_EQ(win32::_wcsicmp(WSTR("ABC.Prt"), WSTR("abc.pRT")), 0);
  EXPECT_LT(win32::_wcsicmp(WSTR("ÄBC.Prt"), WSTR("äbc.pRT")), 0);  // ASCII only: 0xC4 < 0xE4
  EXPECT_GT(win32::_wcsicmp(WSTR("İ"), WSTR("i")), 0);
  EXPECT_LT(win32::_wcsicmp(WSTR("a"), WSTR("B")), 0);  // lowered first: 'a' < 'b'
  EXPECT_LT(win32::_wcsicmp(WSTR("_"), WSTR("A")), 0);  // '_' < 'a', though '_' > 'A'
  EXPECT_LT(win32::_wcsicmp(WSTR("ab"), WSTR("ABC")), 0);
  EXPECT_EQ(win32::_wcsicmp(WSTR(""), WSTR("")), 0);
  EXPECT_EQ(win32::_wcsicmp(nullptr, WSTR("a")), INT_MAX);
}

TEST(Formatter, ConversionsFollowTheWindowsConventions) {
  WCHAR buffer[128];
  const WideText wide = WSTR("Bolt.prt");
  EXPECT_EQ(win32::swprintf_s(buffer, 128, WSTR("%s|%S|%ls|%hs|%ws"), wide.c_str(), "nüt", WSTR("a"), "b", WSTR("c")),
            18);
  EXPECT_EQ(WideText(buffer), WSTR("Bolt.prt|nüt|a|b|c"));

  win32::swprintf_s(buffer, 128, WSTR("[%c%C%lc%hc][%3c][%-2c]"), WSTR('é'), 'x', WSTR('y'), 'z', WSTR('w'), WSTR('v'));
  EXPECT_EQ(WideText(buffer), WSTR("[éxyz][  w][v ]"));

  win32::swprintf_s(buffer, 128, WSTR("%5s|%-5s|%.2s|%.1S|%*s|%s"), WSTR("ab"), WSTR("ab"), WSTR("abc"), "xyz", 3, WSTR("q"),
                    static_cast<const WCHAR*>(nullptr));
  EXPECT_EQ(WideText(buffer), WSTR("   ab|ab   |ab|x|  q|(null)"));

  win32::swprintf_s(buffer, 128, WSTR("%d %5d %-4d| %+d %05d %i %u %x %X %#o %%"), -42, 7, 3, 5, -12, 9,
                    4000000000u, 255u, 255u, 8u);
  EXPECT_EQ(WideText(buffer), WSTR("-42     7 3   | +5 -0012 9 4000000000 ff FF 010 %"));

  win32::swprintf_s(buffer, 128, WSTR("%lld %I64d %I64u %zu %hd %hhu %ld"), LLONG_MIN, int64_t(-3),
                    uint64_t(UINT64_MAX), size_t(12), 70000, 300, -5L);
  EXPECT_EQ(WideText(buffer), WSTR("-9223372036854775808 -3 18446744073709551615 12 4464 44 -5"));
}

TEST(Formatter, NeverWritesPastItsBuffer) {
  WCHAR buffer[8];
  auto fill = [&] { std::fill(buffer, buffer + 8, WSTR('#')); };

  // Exactly fits: four units and the terminator.
  fill();
  EXPECT_EQ(win32::swprintf_s(buffer, 5, WSTR("%s"), WSTR("abcd")), 4);
  EXPECT_EQ(WideText(buffer), WSTR("abcd"));
  // One unit too many: -1, an empty buffer, nothing written beyond count.
  auto overflows = [&](int result) {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[5], WSTR('#'));
    fill();
  };
  fill();
  overflows(win32::swprintf_s(buffer, 5, WSTR("abcde")));
  overflows(win32::swprintf_s(buffer, 5, WSTR("%s"), WSTR("abcde")));
  overflows(win32::swprintf_s(buffer, 5, WSTR("%S"), "abcdé"));
  overflows(win32::swprintf_s(buffer, 5, WSTR("%5d"), 12345));
  overflows(win32::swprintf_s(buffer, 5, WSTR("ab%c%c%c"), WSTR('x'), WSTR('y'), WSTR('z')));
  overflows(win32::swprintf_s(buffer, 5, WSTR("%8s"), WSTR("a")));
  overflows(win32::swprintf_s(buffer, 5, WSTR("%f"), 1.0));
  fill();
  EXPECT_EQ(win32::swprintf_s(buffer, 5, WSTR("%5000d"), 1), -1);
  EXPECT_EQ(buffer[5], WSTR('#'));

  // Refused conversions.
  int written = 0;
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("ab%n"), &written), -1);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("%y"), 1), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("ab%")), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("%Ld"), 1), -1);
}

}  // namespace
