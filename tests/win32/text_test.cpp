#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/mman.h>
#include <unistd.h>
#endif

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
  EXPECT_EQ(Upper(WSTR(".iges")), WSTR(".IGES"));
  EXPECT_EQ(Lower(WSTR("MODEL.IGS")), WSTR("model.igs"));
  // The run-time's "C" locale: letters beyond ASCII keep their case.
  EXPECT_EQ(Lower(WSTR("ÄÖÜÉ")), WSTR("ÄÖÜÉ"));
  EXPECT_EQ(Upper(WSTR("äöüéÿ")), WSTR("äöüéÿ"));
  EXPECT_EQ(Lower(WSTR("ΣΩЖＡ")), WSTR("ΣΩЖＡ"));
  EXPECT_EQ(Upper(WSTR("ß")), WSTR("ß"));
  EXPECT_EQ(win32::towlower(0x0130), 0x0130);
  EXPECT_EQ(win32::towupper(0x0131), 0x0131);
  // Surrogates and characters without case stay as they are.
  EXPECT_EQ(win32::towlower(0xD801), 0xD801);
  EXPECT_EQ(win32::towupper(WSTR('7')), WSTR('7'));
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
  EXPECT_GT(win32::_wcsicmp(WSTR("abc"), WSTR("AB")), 0);
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

  win32::swprintf_s(buffer, 128, WSTR("%.2f %8.3e %g %Lg %-6.1f|"), 3.14159, 1234.5, 0.5, 2.5L, 1.25);
  EXPECT_EQ(WideText(buffer), WSTR("3.14 1.234e+03 0.5 2.5 1.2   |"));

  win32::swprintf_s(buffer, 128, WSTR("%p"), reinterpret_cast<void*>(uintptr_t(0xABC)));
  EXPECT_EQ(WideText(buffer), WideText(2 * sizeof(void*) - 3, WSTR('0')) + WSTR("ABC"));
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

  // Refused conversions and arguments.
  int written = 0;
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("ab%n"), &written), -1);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("%y"), 1), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("ab%")), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, WSTR("%Ld"), 1), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 8, nullptr), -1);
  EXPECT_EQ(win32::swprintf_s(nullptr, 8, WSTR("x")), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 0, WSTR("x")), -1);
  EXPECT_EQ(win32::swprintf_s(buffer, 1, WSTR("")), 0);
}

#if !defined(_WIN32)
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
#endif

TEST(Resources, StringTablesPerModule) {
  win32::HMODULE main = win32::GetModuleHandleW(nullptr);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(win32::GetModuleHandleW(nullptr), main);
  win32::HMODULE shim = win32::GetModuleHandleW(WSTR("win32shim"));
  ASSERT_NE(shim, nullptr);
  EXPECT_NE(shim, main);
  EXPECT_EQ(win32::GetModuleHandleW(WSTR("libwin32shim.so")), shim);
  EXPECT_EQ(win32::GetModuleHandleW(WSTR("not-loaded")), nullptr);

  WCHAR buffer[16] = {WSTR('#')};
  EXPECT_EQ(win32::LoadStringW(main, 1, buffer, 16), 0);  // nothing registered
  EXPECT_EQ(buffer[0], 0);

  const win32::StringResource table[] = {{1, WSTR("Bauteil")}, {7, WSTR("Größe")}, {9, WSTR("")}};
  ASSERT_TRUE(win32::RegisterStringTable(main, table, 3));
  const win32::StringResource other[] = {{1, WSTR("other")}};
  ASSERT_TRUE(win32::RegisterStringTable(shim, other, 1));

  EXPECT_EQ(win32::LoadStringW(nullptr, 1, buffer, 16), 7);  // null is the main program
  EXPECT_EQ(WideText(buffer), WSTR("Bauteil"));
  EXPECT_EQ(win32::LoadStringW(shim, 1, buffer, 16), 5);
  EXPECT_EQ(WideText(buffer), WSTR("other"));
  EXPECT_EQ(win32::LoadStringW(main, 7, buffer, 4), 3);  // cut and terminated
  EXPECT_EQ(WideText(buffer), WSTR("Grö"));
  EXPECT_EQ(win32::LoadStringW(main, 9, buffer, 16), 0);  // empty is missing
  EXPECT_EQ(win32::LoadStringW(main, 2, buffer, 16), 0);
  EXPECT_EQ(win32::LoadStringW(main, 7, nullptr, 16), 0);

  const WCHAR* direct = nullptr;
  EXPECT_EQ(win32::LoadStringW(main, 7, reinterpret_cast<WCHAR*>(&direct), 0), 5);
  ASSERT_NE(direct, nullptr);
  EXPECT_EQ(WideText(direct, 5), WSTR("Größe"));

  win32::UnregisterStringTable(main);
  win32::UnregisterStringTable(shim);
  EXPECT_EQ(win32::LoadStringW(main, 1, buffer, 16), 0);
  EXPECT_EQ(win32::LoadStringW(shim, 1, buffer, 16), 0);
}

}  // namespace
