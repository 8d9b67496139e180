#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "granite/CBasicString.h"
#include "win32/winrt.h"

namespace {

typedef std::basic_string<WCHAR> WideText;

WideText Text(const CBasicString& s) {
  return WideText(s.GetWideString(), size_t(s.GetLength()));
}

TEST(BasicString, NullPointersAndSingleCharacters) {
  EXPECT_EQ(CBasicString(static_cast<const char*>(nullptr)).GetLength(), 0);
  EXPECT_EQ(CBasicString(static_cast<const WCHAR*>(nullptr)).GetLength(), 0);
  EXPECT_EQ(CBasicString(static_cast<const CBasicString*>(nullptr)).GetLength(), 0);
  EXPECT_EQ(CBasicString("").GetLength(), 0);
  const CBasicString source(WSTR("src"));
  EXPECT_EQ(Text(CBasicString(&source)), WSTR("src"));

  EXPECT_EQ(Text(CBasicString('x')), WSTR("x"));
  EXPECT_EQ(Text(CBasicString(WCHAR(0x00E9))), WSTR("é"));
  EXPECT_EQ(CBasicString('\0').GetLength(), 1);  // one U+0000
  EXPECT_EQ(CBasicString('\0').GetAt(0), 0);

  CBasicString s(WSTR("abc"));  // wide null pointers: the fuzz target
  s = static_cast<const char*>(nullptr);
  EXPECT_EQ(s.GetLength(), 0);
  EXPECT_FALSE(s.Append(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(CBasicString() == static_cast<const char*>(nullptr));
}

TEST(BasicString, NarrowRoundTrips) {
  const char* path = "/home/u/Modèle/部品/\xF0\x9D\x94\x98.prt";
  CBasicString s(path);
  EXPECT_EQ(Text(s), WSTR("/home/u/Modèle/部品/\U0001D518.prt"));
  EXPECT_STREQ(s.GetMultiByte(), path);

  // Invalid and cut sequences, unpaired surrogates, ranges and the string's
  // own narrow copy as an argument are in the code page tests and the string
  // fuzz target.
  CBasicString empty;
  ASSERT_NE(empty.GetMultiByte(), nullptr);
  EXPECT_STREQ(empty.GetMultiByte(), "");
}

// Comparisons among strings and with wide text are checked against a model by
// the string fuzz target; narrow text, null and letter case stay here.
TEST(BasicString, ComparisonsAreExactAndOrdinal) {
  EXPECT_TRUE(CBasicString(WSTR("é")) == "é");
  EXPECT_TRUE(CBasicString(WSTR("\uFFFF")) > "\xF0\x9F\x98\x80");  // by unit, not by code point
  EXPECT_TRUE(CBasicString() == static_cast<const WCHAR*>(nullptr));
  EXPECT_FALSE(CBasicString() < static_cast<const WCHAR*>(nullptr));
  EXPECT_TRUE(CBasicString(WSTR("a")) > static_cast<const char*>(nullptr));

  EXPECT_EQ(CBasicString(WSTR("Bolt.PRT")).CompareNoCase(CBasicString(WSTR("bOLT.prt"))), 0);
  EXPECT_LT(CBasicString(WSTR("a")).CompareNoCase(CBasicString(WSTR("B"))), 0);

  const CBasicString base(WSTR("ab"));
  EXPECT_EQ(Text(base + CBasicString(WSTR("c")) + WSTR("d") + "é"), WSTR("abcdé"));
  EXPECT_EQ(Text(base + static_cast<const char*>(nullptr) + static_cast<const WCHAR*>(nullptr)),
            WSTR("ab"));
}

TEST(BasicString, HashIsCrc32OfUtf16LittleEndianBytes) {
  EXPECT_EQ(uint32_t(CBasicString(WSTR("abc")).GetHashValue()), 0xAD957AB0u);
  EXPECT_EQ(uint32_t(CBasicString(WSTR("Größe")).GetHashValue()), 0xD4EF2E6Bu);
  EXPECT_EQ(CBasicString().GetHashValue(), 0);
}

TEST(BasicString, FormatWideArgumentsAndOverflow) {
  CBasicString s;
  EXPECT_TRUE(s.Format(WSTR("%s-%S-%d-%c"), WSTR("Bolt"), "nüt", 42, WSTR('é')));
  EXPECT_EQ(Text(s), WSTR("Bolt-nüt-42-é"));
  EXPECT_FALSE(s.Format(nullptr));
  EXPECT_FALSE(s.Format(WSTR("")));  // nothing produced
  EXPECT_FALSE(s.Format(WSTR("%n"), nullptr));
  EXPECT_FALSE(s.Format(WSTR("%9999d"), 1));  // past 4095 units (texts near it: the fuzz target)
  EXPECT_EQ(Text(s), WSTR("Bolt-nüt-42-é"));
}

TEST(BasicString, LoadStringFromRegisteredTables) {
  int module = 0;  // any address serves as a module handle
  const win32::StringResource main[] = {{3, WSTR("Baugruppe")}, {5, WSTR("")}};
  const win32::StringResource other[] = {{3, WSTR("Teil")}};
  const WideText longText(5000, WSTR('q'));
  const win32::StringResource big[] = {{4, longText.c_str()}};
  ASSERT_TRUE(win32::RegisterStringTable(win32::GetModuleHandleW(nullptr), main, 2));
  ASSERT_TRUE(win32::RegisterStringTable(reinterpret_cast<win32::HMODULE>(&module), other, 1));
  ASSERT_TRUE(win32::RegisterStringTable(reinterpret_cast<win32::HMODULE>(&module), big, 1));

  CBasicString s(WSTR("old"));
  EXPECT_FALSE(s.LoadString(0));
  EXPECT_FALSE(s.LoadString(4));  // not in the main program
  EXPECT_FALSE(s.LoadString(5));  // an empty text is a missing one
  EXPECT_EQ(Text(s), WSTR("old"));
  EXPECT_TRUE(s.LoadString(3));
  EXPECT_EQ(Text(s), WSTR("Baugruppe"));
  EXPECT_TRUE(s.LoadString(3, &module));
  EXPECT_EQ(Text(s), WSTR("Teil"));
  EXPECT_TRUE(s.LoadString(4, &module));
  EXPECT_EQ(s.GetLength(), 4095);  // cut to the buffer
  win32::UnregisterStringTable(win32::GetModuleHandleW(nullptr));
  win32::UnregisterStringTable(reinterpret_cast<win32::HMODULE>(&module));
}

}  // namespace
