#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include <climits>
#include <clocale>
#include <cstdint>
#include <string>

#include "win32/winrt.h"

namespace {

typedef std::basic_string<WCHAR> WideText;

WideText Upper(WideText s) {
  for (WCHAR& c : s) c = win32::towupper(c);
  return s;
}

WideText Lower(WideText s) {
  for (WCHAR& c : s) c = win32::towlower(c);
  return s;
}

void ExpectFixedCaseMapping() {
  EXPECT_EQ(Upper(u".iges"), u".IGES");
  EXPECT_EQ(Lower(u"MODEL.IGS"), u"model.igs");
  EXPECT_EQ(Lower(u"ÄÖÜÉ"), u"äöüé");
  EXPECT_EQ(Upper(u"äöüéÿ"), u"ÄÖÜÉŸ");
  EXPECT_EQ(Lower(u"ΣΩЖＡ"), u"σωжａ");
  EXPECT_EQ(Upper(u"ςσжａ"), u"ΣΣЖＡ");
  // Simple mappings only: the length never changes.
  EXPECT_EQ(Upper(u"ß"), u"ß");
  EXPECT_EQ(win32::towlower(0x0130), u'i');
  EXPECT_EQ(win32::towupper(0x0131), u'I');
  // Surrogates and characters without case stay as they are.
  EXPECT_EQ(win32::towlower(0xD801), 0xD801);
  EXPECT_EQ(win32::towupper(u'7'), u'7');
}

TEST(WideText, CaseMappingIgnoresTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ExpectFixedCaseMapping();
  // The "C" locale of the C library maps ASCII only.
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
  for (WCHAR c : {u' ', u'\t', u'\n', u'\r', u'\v', u'\f', WCHAR(0xA0), WCHAR(0x2003), WCHAR(0x3000)})
    EXPECT_TRUE(win32::iswspace(c)) << int(c);
  for (WCHAR c : {u'a', u'0', u'\0', WCHAR(0x200B), WCHAR(0xFEFF)})
    EXPECT_FALSE(win32::iswspace(c)) << int(c);

  EXPECT_EQ(win32::_wcsicmp(u"ÄBC.Prt", u"äbc.pRT"), 0);
  EXPECT_EQ(win32::_wcsicmp(u"İ", u"i"), 0);
  EXPECT_LT(win32::_wcsicmp(u"a", u"B"), 0);  // lowered first: 'a' < 'b'
  EXPECT_LT(win32::_wcsicmp(u"_", u"A"), 0);  // '_' < 'a', though '_' > 'A'
  EXPECT_LT(win32::_wcsicmp(u"ab", u"ABC"), 0);
  EXPECT_GT(win32::_wcsicmp(u"abc", u"AB"), 0);
  EXPECT_EQ(win32::_wcsicmp(u"", u""), 0);
  EXPECT_EQ(win32::_wcsicmp(nullptr, u"a"), INT_MAX);
}

TEST(Formatter, ConversionsFollowTheWindowsConventions) {
  WCHAR buffer[128];
  const WideText wide = u"Bolt.prt";
  EXPECT_EQ(win32::swprintf_s(buffer, 128, u"%s|%S|%ls|%hs|%ws", wide.c_str(), "nüt", u"a", "b", u"c"),
            18);
  EXPECT_EQ(WideText(buffer), u"Bolt.prt|nüt|a|b|c");

  win32::swprintf_s(buffer, 128, u"[%c%C%lc%hc][%3c][%-2c]", u'é', 'x', u'y', 'z', u'w', u'v');
  EXPECT_EQ(WideText(buffer), u"[éxyz][  w][v ]");

  win32::swprintf_s(buffer, 128, u"%5s|%-5s|%.2s|%.1S|%*s|%s", u"ab", u"ab", u"abc", "xyz", 3, u"q",
                    static_cast<const WCHAR*>(nullptr));
  EXPECT_EQ(WideText(buffer), u"   ab|ab   |ab|x|  q|(null)");

  win32::swprintf_s(buffer, 128, u"%d %5d %-4d| %+d %05d %i %u %x %X %#o %%", -42, 7, 3, 5, -12, 9,
                    4000000000u, 255u, 255u, 8u);
  EXPECT_EQ(WideText(buffer), u"-42     7 3   | +5 -0012 9 4000000000 ff FF 010 %");

  win32::swprintf_s(buffer, 128, u"%lld %I64d %I64u %zu %hd %hhu %ld", LLONG_MIN, int64_t(-3),
                    uint64_t(UINT64_MAX), size_t(12), 70000, 300, -5L);
  EXPECT_EQ(WideText(buffer), u"-9223372036854775808 -3 18446744073709551615 12 4464 44 -5");

  win32::swprintf_s(buffer, 128, u"%.2f %8.3e %g %Lg %-6.1f|", 3.14159, 1234.5, 0.5, 2.5L, 1.25);
  EXPECT_EQ(WideText(buffer), u"3.14 1.234e+03 0.5 2.5 1.2   |");

  win32::swprintf_s(buffer, 128, u"%p", reinterpret_cast<void*>(uintptr_t(0xABC)));
  EXPECT_EQ(WideText(buffer), WideText(2 * sizeof(void*) - 3, u'0') + u"ABC");
}

TEST(Formatter, NeverWritesPastItsBuffer) {
  WCHAR buffer[8];
  auto fill = [&] { std::fill(buffer, buffer + 8, u'#'); };

  // Exactly fits: four units and the terminator.
  fill();
  EXPECT_EQ(win32::swprintf_s(buffer, 5, u"%s", u"abcd"), 4);
  EXPECT_EQ(WideText(buffer), u"abcd");
  // One unit too many: -1, an empty buffer, nothing written beyond count.
  auto overflows = [&](int result) {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[5], u'#');
    fill();
  };
  fill();
  overflows(win32::swprintf_s(buffer, 5, u"abcde"));
  overflows(win32::swprintf_s(buffer, 5, u"%s", u"abcde"));
  overflows(win32::swprintf_s(buffer, 5, u"%S", "abcdé"));
  overflows(win32::swprintf_s(buffer, 5, u"%5d", 12345));
  overflows(win32::swprintf_s(buffer, 5, u"ab%c%c%c", u'x', u'y', u'z'));
  overflows(win32::swprintf_s(buffer, 5, u"%8s", u"a"));
  overflows(win32::swprintf_s(buffer, 5, u"%f", 1.0));
  fill();
  EXPECT_EQ(win32::swprintf_s(buffer, 5, u"%5000d", 1), -1);
  EXPECT_EQ(buffer[5], u'#');

  // Refused conversions and arguments.
  int written = 0;
  EXPECT_EQ(win32::swprintf_s(buffer, 8, u"ab%n", &written), -1);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, u"%y", 1), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, u"ab%"), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, u"%Ld", 1), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, nullptr), -1);
  EXPECT_EQ(win32::swprintf_s(nullptr, 8, u"x"), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 0, u"x"), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 1, u""), 0);
}

TEST(Formatter, NeverReadsPastTheFormat) {
  // Each format ends at the end of a page whose next page cannot be read.
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  char* pages = static_cast<char*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
  WCHAR buffer[16];
  for (const WideText text : {u"100%", u"%l", u"%-", u"%I", u"%5.", u"%hh"}) {
    WCHAR* format = reinterpret_cast<WCHAR*>(pages + page) - (text.size() + 1);
    std::copy(text.c_str(), text.c_str() + text.size() + 1, format);
    EXPECT_EQ(win32::swprintf_s(buffer, 16, format, 1), -1);
  }
  munmap(pages, 2 * page);
}

TEST(Resources, StringTablesPerModule) {
  win32::HMODULE main = win32::GetModuleHandleW(nullptr);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(win32::GetModuleHandleW(nullptr), main);
  win32::HMODULE shim = win32::GetModuleHandleW(u"win32shim");
  ASSERT_NE(shim, nullptr);
  EXPECT_NE(shim, main);
  EXPECT_EQ(win32::GetModuleHandleW(u"libwin32shim.so"), shim);
  EXPECT_EQ(win32::GetModuleHandleW(u"not-loaded"), nullptr);

  WCHAR buffer[16] = {u'#'};
  EXPECT_EQ(win32::LoadStringW(main, 1, buffer, 16), 0);  // nothing registered
  EXPECT_EQ(buffer[0], 0);

  const win32::StringResource table[] = {{1, u"Bauteil"}, {7, u"Größe"}, {9, u""}};
  ASSERT_TRUE(win32::RegisterStringTable(main, table, 3));
  const win32::StringResource other[] = {{1, u"other"}};
  ASSERT_TRUE(win32::RegisterStringTable(shim, other, 1));

  EXPECT_EQ(win32::LoadStringW(nullptr, 1, buffer, 16), 7);  // null is the main program
  EXPECT_EQ(WideText(buffer), u"Bauteil");
  EXPECT_EQ(win32::LoadStringW(shim, 1, buffer, 16), 5);
  EXPECT_EQ(WideText(buffer), u"other");
  EXPECT_EQ(win32::LoadStringW(main, 7, buffer, 4), 3);  // cut and terminated
  EXPECT_EQ(WideText(buffer), u"Grö");
  EXPECT_EQ(win32::LoadStringW(main, 9, buffer, 16), 0);  // empty is missing
  EXPECT_EQ(win32::LoadStringW(main, 2, buffer, 16), 0);
  EXPECT_EQ(win32::LoadStringW(main, 7, nullptr, 16), 0);

  const WCHAR* direct = nullptr;
  EXPECT_EQ(win32::LoadStringW(main, 7, reinterpret_cast<WCHAR*>(&direct), 0), 5);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(WideText(direct, 5), u"Größe");

  win32::UnregisterStringTable(main);
  win32::UnregisterStringTable(shim);
  EXPECT_EQ(win32::LoadStringW(main, 1, buffer, 16), 0);
  EXPECT_EQ(win32::LoadStringW(shim, 1, buffer, 16), 0);
}

}  // namespace
