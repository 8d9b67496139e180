#include <gtest/gtest.h>

#include <clocale>

#include "win32/winctype.h"

TEST(CaseMapping, FullUnicodeWhateverTheProcessLocale) {
  // Whatever setlocale says (a Turkish locale if installed, else "C"), the
  // mapping stays the locale-independent one.
  if (!std::setlocale(LC_ALL, "tr_TR.UTF-8")) std::setlocale(LC_ALL, "C");
  EXPECT_EQ(win32::towupper(u'i'), u'I');
  EXPECT_EQ(win32::towlower(u'I'), u'i');
  EXPECT_EQ(win32::towlower(u'\u00C4'), u'\u00E4');  // A with diaeresis
  EXPECT_EQ(win32::towupper(u'\u00E9'), u'\u00C9');
  EXPECT_EQ(win32::towlower(u'\u0414'), u'\u0434');  // Cyrillic De
  EXPECT_EQ(win32::towlower(u'\u03A3'), u'\u03C3');  // Greek Sigma
  EXPECT_EQ(win32::towlower(u'7'), u'7');
  EXPECT_EQ(win32::towlower(static_cast<WCHAR>(0xD83D)), static_cast<WCHAR>(0xD83D));
  EXPECT_EQ(win32::_wcsicmp(u"MODEL.IGES", u"model.iges"), 0);
  EXPECT_EQ(win32::_wcsicmp(u"\u00C4.PRT", u"\u00E4.prt"), 0);
  EXPECT_LT(win32::_wcsicmp(u"abc", u"ABD"), 0);
  EXPECT_GT(win32::_wcsicmp(u"abcd", nullptr), 0);
  std::setlocale(LC_ALL, "C");
}

TEST(CaseMapping, WhiteSpace) {
  for (WCHAR c : {u' ', u'\t', u'\n', u'\r', u'\u3000', u'\u2003'}) EXPECT_TRUE(win32::iswspace(c));
  for (WCHAR c : {u'a', u'0', u'_', u'\u00E4'}) EXPECT_FALSE(win32::iswspace(c));
}
