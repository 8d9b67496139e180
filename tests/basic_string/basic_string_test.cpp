#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "granite/CBasicString.h"
#include "win32/winrt.h"

namespace {

typedef std::basic_string<WCHAR> WideText;

WideText Text(const CBasicString& s) { return WideText(s.GetWideString(), size_t(s.GetLength())); }

// Bit-by-bit CRC-32, independent of the table the class uses.
uint32_t Crc32(const unsigned char* p, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

TEST(BasicString, NullPointersAndSingleCharacters) {
  EXPECT_EQ(CBasicString(static_cast<const char*>(nullptr)).GetLength(), 0);
  EXPECT_EQ(CBasicString(static_cast<const WCHAR*>(nullptr)).GetLength(), 0);
  EXPECT_EQ(CBasicString(static_cast<const CBasicString*>(nullptr)).GetLength(), 0);
  EXPECT_EQ(CBasicString("").GetLength(), 0);
  const CBasicString source(u"src");
  EXPECT_EQ(Text(CBasicString(&source)), u"src");

  EXPECT_EQ(Text(CBasicString('x')), u"x");
  EXPECT_EQ(Text(CBasicString(WCHAR(0x00E9))), u"é");
  EXPECT_EQ(CBasicString('\0').GetLength(), 1);  // one U+0000
  EXPECT_EQ(CBasicString('\0').GetAt(0), 0);

  CBasicString s(u"abc");
  s = static_cast<const WCHAR*>(nullptr);
  EXPECT_EQ(s.GetLength(), 0);
  s = u"abc";
  s = static_cast<const char*>(nullptr);
  EXPECT_EQ(s.GetLength(), 0);
  s = u"abc";
  s += static_cast<const WCHAR*>(nullptr);
  s += static_cast<const char*>(nullptr);
  EXPECT_EQ(Text(s), u"abc");
  EXPECT_FALSE(s.Append(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(s.Append(static_cast<const WCHAR*>(nullptr)));
  EXPECT_FALSE(s.Append(u""));
  EXPECT_FALSE(s.Append(CBasicString()));
  EXPECT_FALSE(s.Append(nullptr, "x"));
  const char range[] = "xyz";
  EXPECT_FALSE(s.Append(range + 2, range + 2));
  EXPECT_FALSE(s.Append(range + 2, range));
  EXPECT_TRUE(s.Append(range, range + 2));
  EXPECT_EQ(Text(s), u"abcxy");
  EXPECT_FALSE(s == static_cast<const WCHAR*>(nullptr));
  EXPECT_TRUE(CBasicString() == static_cast<const char*>(nullptr));
  EXPECT_TRUE(CBasicString() == static_cast<const WCHAR*>(nullptr));
  EXPECT_FALSE(s.Assign(s));
  EXPECT_TRUE(CBasicString().Assign(s));
}

TEST(BasicString, NarrowRoundTripsAndInvalidInput) {
  const char* path = "/home/u/Modèle/部品/\xF0\x9D\x94\x98.prt";
  CBasicString s(path);
  EXPECT_EQ(Text(s), u"/home/u/Modèle/部品/\U0001D518.prt");
  EXPECT_EQ(s.GetLength(), 24);  // UTF-16 units, the pair counts two, no terminator
  EXPECT_STREQ(s.GetMultiByte(), path);
  EXPECT_TRUE(s == path);

  // A multi-byte sequence cut by the end of the input, in a block of exactly
  // that size (the address sanitizer catches any read past it).
  std::unique_ptr<char[]> cut(new char[4]{'a', 'b', '\xE2', '\x82'});
  CBasicString partial;
  EXPECT_TRUE(partial.Append(cut.get(), cut.get() + 4));
  EXPECT_EQ(Text(partial), u"ab\uFFFD");
  EXPECT_EQ(Text(CBasicString("\xC3")), u"\uFFFD");
  EXPECT_EQ(Text(CBasicString("x\xFFy")), u"x\uFFFDy");

  // Unpaired surrogates go out as U+FFFD.
  CBasicString lone(u"a");
  lone.Append(WideText{0xD800, u'b'}.c_str());
  EXPECT_STREQ(lone.GetMultiByte(), "a\xEF\xBF\xBD" "b");

  CBasicString empty;
  ASSERT_NE(empty.GetMultiByte(), nullptr);
  EXPECT_STREQ(empty.GetMultiByte(), "");

  // Narrow arguments that are the string's own narrow copy.
  CBasicString self("Bolt.prt");
  self = self.GetMultiByte();
  EXPECT_EQ(Text(self), u"Bolt.prt");
  self += self.GetMultiByte();
  EXPECT_EQ(Text(self), u"Bolt.prtBolt.prt");
  EXPECT_TRUE(self.Append(self.GetMultiByte()));
  EXPECT_EQ(self.GetLength(), 32);
  const char* narrow = self.GetMultiByte();
  EXPECT_TRUE(self.Append(narrow, narrow + 4));
  EXPECT_EQ(Text(self.Mid(32, -1)), u"Bolt");
}

TEST(BasicString, ComparisonsAreExactAndOrdinal) {
  EXPECT_FALSE(CBasicString(u"a") == CBasicString(u"A"));
  EXPECT_TRUE(CBasicString(u"a") != CBasicString(u"A"));
  EXPECT_TRUE(CBasicString(u"é") == "é");
  EXPECT_TRUE(CBasicString(u"ab") != u"abc");
  EXPECT_TRUE(CBasicString(u"ab") < CBasicString(u"abc"));  // a prefix is smaller
  EXPECT_TRUE(CBasicString(u"abc") > u"ab");
  EXPECT_TRUE(CBasicString(u"z") < u"ä");  // by unit value
  EXPECT_TRUE(CBasicString(u"\uFFFF") > "\xF0\x9F\x98\x80");  // not by code point
  EXPECT_FALSE(CBasicString() < static_cast<const WCHAR*>(nullptr));
  EXPECT_TRUE(CBasicString(u"a") > static_cast<const char*>(nullptr));

  EXPECT_EQ(CBasicString(u"Bolt.PRT").CompareNoCase(CBasicString(u"bOLT.prt")), 0);
  EXPECT_EQ(CBasicString(u"ÄÖ").CompareNoCase(CBasicString(u"äö")), 0);
  EXPECT_LT(CBasicString(u"a").CompareNoCase(CBasicString(u"B")), 0);
  EXPECT_GT(CBasicString(u"ab").CompareNoCase(CBasicString(u"A")), 0);

  const CBasicString base(u"ab");
  EXPECT_EQ(Text(base + CBasicString(u"c") + u"d" + "é"), u"abcdé");
  EXPECT_EQ(Text(base + static_cast<const char*>(nullptr)), u"ab");
}

TEST(BasicString, PositionBoundaries) {
  const CBasicString s(u"a/b/c");
  const CBasicString empty;
  EXPECT_EQ(empty.Find(CBasicString(), 0), -1);
  EXPECT_EQ(empty.Find(CBasicString(u"a"), 0), -1);
  EXPECT_EQ(s.Find(CBasicString(), 2), 2);
  EXPECT_EQ(s.Find(CBasicString(u"/"), 0), 1);
  EXPECT_EQ(s.Find(CBasicString(u"/"), 2), 3);
  EXPECT_EQ(s.Find(CBasicString(u"/"), 4), -1);
  EXPECT_EQ(s.Find(CBasicString(u"c"), 4), 4);
  EXPECT_EQ(s.Find(CBasicString(u"a"), 5), -1);  // start == length
  EXPECT_EQ(s.Find(CBasicString(u"a"), -1), -1);
  EXPECT_EQ(s.Find(CBasicString(u"c/"), 0), -1);

  EXPECT_EQ(s.ReverseFind(u'/', 0), 3);  // 0 means from the last character
  EXPECT_EQ(s.ReverseFind('/', 2), 1);
  EXPECT_EQ(s.ReverseFind('/', 3), 3);
  EXPECT_EQ(s.ReverseFind(u'a', 0), 0);
  EXPECT_EQ(s.ReverseFind(u'/', 5), -1);
  EXPECT_EQ(s.ReverseFind(u'/', -1), -1);
  EXPECT_EQ(s.ReverseFind(u'x', 0), -1);
  EXPECT_EQ(empty.ReverseFind(u'a', 0), -1);

  const CBasicString letters(u"abcdef");
  EXPECT_EQ(Text(letters.Mid(2, -1)), u"cdef");
  EXPECT_EQ(Text(letters.Mid(0, 5)), u"abcdef");
  EXPECT_EQ(Text(letters.Mid(5, 5)), u"f");
  EXPECT_EQ(letters.Mid(0, 6).GetLength(), 0);
  EXPECT_EQ(letters.Mid(3, 2).GetLength(), 0);  // first after last
  EXPECT_EQ(letters.Mid(-1, 2).GetLength(), 0);
  EXPECT_EQ(letters.Mid(6, -1).GetLength(), 0);
  EXPECT_EQ(empty.Mid(0, -1).GetLength(), 0);

  EXPECT_EQ(letters.GetAt(5), u'f');
  EXPECT_EQ(letters.GetAt(6), 0);
  EXPECT_EQ(letters.GetAt(-1), 0);
  EXPECT_EQ(letters.GetFirst(), u'a');
  EXPECT_EQ(letters.GetLast(), u'f');
  EXPECT_EQ(empty.GetFirst(), 0);
  EXPECT_EQ(empty.GetLast(), 0);

  CBasicString t(u"abc");
  EXPECT_TRUE(t.SetAt(2, u'Z'));
  EXPECT_FALSE(t.SetAt(3, u'Y'));
  EXPECT_FALSE(t.SetAt(-1, u'Y'));
  EXPECT_EQ(Text(t), u"abZ");
  EXPECT_FALSE(t.Delete(3));
  EXPECT_FALSE(t.Delete(-1));
  EXPECT_TRUE(t.Delete(2));
  EXPECT_TRUE(t.Delete(0));
  EXPECT_EQ(Text(t), u"b");
  EXPECT_FALSE(empty.IsValidIndex(0));

  CBasicString u(u"abcd");
  EXPECT_FALSE(u.Truncate(4));  // must shorten
  EXPECT_FALSE(u.Truncate(-1));
  EXPECT_TRUE(u.Truncate(2));
  EXPECT_EQ(Text(u), u"ab");
  EXPECT_TRUE(u.Truncate(0));
  EXPECT_EQ(u.GetLength(), 0);
  EXPECT_FALSE(u.Truncate(0));
  EXPECT_FALSE(u.Empty());
  u = u"x";
  EXPECT_TRUE(u.Empty());
}

TEST(BasicString, ReplaceEndsAndCopesWithAliases) {
  CBasicString s(u"banana");
  EXPECT_TRUE(s.Replace(CBasicString(u"a"), CBasicString(u"aa")));
  EXPECT_EQ(Text(s), u"baanaanaa");
  EXPECT_TRUE(s.Replace(CBasicString(u"aa"), CBasicString(u"a")));
  EXPECT_EQ(Text(s), u"banana");
  EXPECT_TRUE(s.Replace(CBasicString(u"an"), CBasicString()));
  EXPECT_EQ(Text(s), u"ba");
  EXPECT_FALSE(s.Replace(CBasicString(u"x"), CBasicString(u"y")));
  EXPECT_FALSE(s.Replace(CBasicString(), CBasicString(u"y")));
  EXPECT_EQ(Text(s), u"ba");

  CBasicString run(u"aaaaa");
  EXPECT_TRUE(run.Replace(CBasicString(u"aa"), CBasicString(u"b")));  // left to right
  EXPECT_EQ(Text(run), u"bba");

  CBasicString self(u"x-x");
  EXPECT_TRUE(self.Replace(self, CBasicString(u"y")));
  EXPECT_EQ(Text(self), u"y");
  CBasicString twice(u"ab");
  EXPECT_TRUE(twice.Replace(CBasicString(u"b"), twice));
  EXPECT_EQ(Text(twice), u"aab");
}

TEST(BasicString, TrimAndCaseMapping) {
  CBasicString spaces(u" \t\r\n\u00A0\u3000 ");
  EXPECT_TRUE(spaces.TrimLeft());
  EXPECT_EQ(spaces.GetLength(), 0);
  EXPECT_FALSE(spaces.TrimLeft());
  EXPECT_FALSE(spaces.TrimRight());
  CBasicString right(u"\t \u2003");
  EXPECT_TRUE(right.TrimRight());
  EXPECT_EQ(right.GetLength(), 0);
  CBasicString both(u"  a b  ");
  EXPECT_TRUE(both.TrimLeft());
  EXPECT_EQ(Text(both), u"a b  ");
  EXPECT_TRUE(both.TrimRight());
  EXPECT_EQ(Text(both), u"a b");
  EXPECT_FALSE(both.TrimRight());

  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");  // ASCII-only case mapping in the C library
  CBasicString name(u"A.PRT");
  EXPECT_TRUE(name.MakeLower());
  EXPECT_EQ(Text(name), u"a.prt");
  CBasicString ext(u".iges");
  EXPECT_TRUE(ext.MakeUpper());
  EXPECT_EQ(Text(ext), u".IGES");
  CBasicString word(u"ÄÖÜ ΣΑΣ Ж");
  EXPECT_TRUE(word.MakeLower());
  EXPECT_EQ(Text(word), u"äöü σασ ж");
  CBasicString street(u"straße");
  EXPECT_TRUE(street.MakeUpper());
  EXPECT_EQ(Text(street), u"STRAßE");  // one unit at a time: the length stays
  CBasicString empty;
  EXPECT_FALSE(empty.MakeLower());
  EXPECT_FALSE(empty.MakeUpper());
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(BasicString, HashIsCrc32OfUtf16LittleEndianBytes) {
  EXPECT_EQ(uint32_t(CBasicString(u"abc").GetHashValue()), 0xAD957AB0u);
  EXPECT_NE(CBasicString(u"ABC").GetHashValue(), CBasicString(u"abc").GetHashValue());
  EXPECT_EQ(CBasicString().GetHashValue(), 0);

  const CBasicString text(u"Größe-部品-\U0001D518");
  std::basic_string<unsigned char> bytes;
  for (int i = 0; i < text.GetLength(); ++i) {
    bytes.push_back(static_cast<unsigned char>(text.GetAt(i) & 0xFF));
    bytes.push_back(static_cast<unsigned char>(text.GetAt(i) >> 8));
  }
  EXPECT_EQ(uint32_t(text.GetHashValue()), Crc32(bytes.data(), bytes.size()));
}

TEST(BasicString, FormatWideArgumentsAndOverflow) {
  CBasicString s;
  EXPECT_TRUE(s.Format(u"%s-%S-%d-%c", u"Bolt", "nüt", 42, u'é'));
  EXPECT_EQ(Text(s), u"Bolt-nüt-42-é");
  EXPECT_FALSE(s.Format(nullptr));
  EXPECT_FALSE(s.Format(u""));  // nothing produced
  EXPECT_FALSE(s.Format(u"%n", nullptr));
  EXPECT_EQ(Text(s), u"Bolt-nüt-42-é");

  const WideText fits(4095, u'x');
  EXPECT_TRUE(s.Format(u"%s", fits.c_str()));
  EXPECT_EQ(s.GetLength(), 4095);
  s = u"keep";
  EXPECT_FALSE(s.Format(u"%s", WideText(4096, u'x').c_str()));
  EXPECT_FALSE(s.Format(u"%s%d", fits.c_str(), 1));
  EXPECT_FALSE(s.Format(u"%9999d", 1));
  EXPECT_EQ(Text(s), u"keep");
}

TEST(BasicString, LoadStringFromRegisteredTables) {
  int module = 0;  // any address serves as a module handle
  const win32::StringResource main[] = {{3, u"Baugruppe"}};
  const win32::StringResource other[] = {{3, u"Teil"}};
  const WideText longText(5000, u'q');
  const win32::StringResource big[] = {{4, longText.c_str()}};
  ASSERT_TRUE(win32::RegisterStringTable(win32::GetModuleHandleW(nullptr), main, 1));
  ASSERT_TRUE(win32::RegisterStringTable(&module, other, 1));
  ASSERT_TRUE(win32::RegisterStringTable(&module, big, 1));

  CBasicString s(u"old");
  EXPECT_FALSE(s.LoadString(0));
  EXPECT_FALSE(s.LoadString(-3));
  EXPECT_FALSE(s.LoadString(4));  // not in the main program
  EXPECT_FALSE(s.LoadString(1, &module));
  EXPECT_EQ(Text(s), u"old");
  EXPECT_TRUE(s.LoadString(3));
  EXPECT_EQ(Text(s), u"Baugruppe");
  EXPECT_TRUE(s.LoadString(3, &module));
  EXPECT_EQ(Text(s), u"Teil");
  EXPECT_TRUE(s.LoadString(4, &module));
  EXPECT_EQ(s.GetLength(), 4095);  // cut to the buffer

  win32::UnregisterStringTable(win32::GetModuleHandleW(nullptr));
  win32::UnregisterStringTable(&module);
  EXPECT_FALSE(s.LoadString(3));
}

}  // namespace
