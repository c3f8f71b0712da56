#include <gtest/gtest.h>

#include "platform/cstring.h"

namespace {

TEST(CString, SubstringsClampLikeTheClassLibrary) {
  CString s(u"abcdef");
  EXPECT_EQ(s.Left(2), CString(u"ab"));
  EXPECT_EQ(s.Left(100), s);
  EXPECT_EQ(s.Left(-1), CString());
  EXPECT_EQ(s.Right(2), CString(u"ef"));
  EXPECT_EQ(s.Right(100), s);
  EXPECT_EQ(s.Mid(4), CString(u"ef"));
  EXPECT_EQ(s.Mid(10), CString());
  EXPECT_EQ(s.Mid(-3, 2), CString(u"ab"));
  EXPECT_EQ(s.Mid(2, 100), CString(u"cdef"));
  EXPECT_EQ(s.GetAt(6), u'\0');
}

TEST(CString, FindAndReverseFind) {
  CString s(u"C:\\out\\a.b.txt");
  EXPECT_EQ(s.Find(u'\\'), 2);
  EXPECT_EQ(s.Find(u'\\', 3), 6);
  EXPECT_EQ(s.ReverseFind(u'.'), 10);
  EXPECT_EQ(s.Find(u"out"), 3);
  EXPECT_EQ(s.Find(u"zzz"), -1);
  EXPECT_EQ(s.Find(u'x', 100), -1);
  EXPECT_EQ(s.FindOneOf(u":?"), 1);
}

TEST(CString, CaseFoldingCoversNonAsciiLetters) {
  CString s(u"Straße ÄÖÜ Привет abc");
  CString upper = s;
  upper.MakeUpper();
  EXPECT_EQ(upper, CString(u"STRAßE ÄÖÜ ПРИВЕТ ABC"));
  CString lower = s;
  lower.MakeLower();
  EXPECT_EQ(lower, CString(u"straße äöü привет abc"));
  EXPECT_EQ(CString(u"ÄBC").CompareNoCase(u"äbc"), 0);
  EXPECT_EQ(CString(u"abc").CompareNoCase(u"ABD"), -1);
  EXPECT_EQ(CString(u"abcd").CompareNoCase(u"ABC"), 1);
  EXPECT_EQ(CString(u"abc").Compare(u"abc"), 0);
  EXPECT_EQ(CString(u"B").Compare(u"a"), -1);  // ordinal: 'B' < 'a'
}

TEST(CString, TrimReplaceRemoveInsertDelete) {
  CString s(u" \t text \r\n");
  s.Trim();
  EXPECT_EQ(s, CString(u"text"));
  CString q(u"\"quoted\"");
  q.Trim(u"\"");
  EXPECT_EQ(q, CString(u"quoted"));

  CString r(u"a%b%c");
  EXPECT_EQ(r.Replace(u"%", u"%%"), 2);
  EXPECT_EQ(r, CString(u"a%%b%%c"));
  EXPECT_EQ(r.Replace(u"", u"x"), 0);
  EXPECT_EQ(r.Replace(u'%', u'-'), 4);
  EXPECT_EQ(r.Remove(u'-'), 4);
  EXPECT_EQ(r, CString(u"abc"));
  r.Insert(1, u"XY");
  EXPECT_EQ(r, CString(u"aXYbc"));
  r.Insert(100, u'!');
  EXPECT_EQ(r, CString(u"aXYbc!"));
  r.Delete(1, 2);
  EXPECT_EQ(r, CString(u"abc!"));
  r.Delete(10, 2);
  EXPECT_EQ(r, CString(u"abc!"));
}

TEST(CString, NarrowTextIsReadAsUtf8ByDefault) {
  CString s("caf\xc3\xa9");
  EXPECT_EQ(s.GetLength(), 4);
  EXPECT_EQ(s.ToUtf8(), "caf\xc3\xa9");
}

}  // namespace
