#include <gtest/gtest.h>

#include "platform/cstring.h"
#include "platform/format.h"

namespace {

struct WideCase {
  const char16_t* fmt;
  std::u16string expected;
  std::u16string got;
};

TEST(Format, FormatsTheProgramsOwnFormatStrings) {
  const char16_t name[] = u"Report";
  const CString ext(u"jpg");
  const WideCase cases[] = {
      {u"%u(B)", u"1023(B)", FormatW(u"%u(B)", 1023u)},
      {u"%.2f(KB)", u"1.50(KB)", FormatW(u"%.2f(KB)", 1.5)},
      {u"%0.2f(MB)", u"1023.00(MB)", FormatW(u"%0.2f(MB)", 1023.0)},
      {u"%llx.", u"1f400.", FormatW(u"%llx.", 0x1F400ull)},
      {u"Dir%08llu", u"Dir00000042", FormatW(u"Dir%08llu", 42ull)},
      {u"%03u", u"007", FormatW(u"%03u", 7u)},
      {u"%04d-%02d-%02d_%02d%02d_%X.%s", u"2024-02-09_1305_1A2B.mp4",
       FormatW(u"%04d-%02d-%02d_%02d%02d_%X.%s", 2024, 2, 9, 13, 5, 0x1A2Bu, u"mp4")},
      {u"0x%I64X.mts", u"0x1234ABCD5678.mts", FormatW(u"0x%I64X.mts", 0x1234ABCD5678ull)},
      {u"%d-%02d-%02d  %02d:%02d:%02d", u"1980-01-01  23:59:59",
       FormatW(u"%d-%02d-%02d  %02d:%02d:%02d", 1980, 1, 1, 23, 59, 59)},
      {u"%I64u / %I64d", u"18446744073709551615 / -5", FormatW(u"%I64u / %I64d", ~0ull, -5ll)},
      {u"%s wide, %S narrow", u"Report wide, ascii narrow", FormatW(u"%s wide, %S narrow", name, "ascii")},
      {u"%s from CString", u"jpg from CString", FormatW(u"%s from CString", ext)},
      {u"%ls and %hs", u"Report and x", FormatW(u"%ls and %hs", name, "x")},
      {u"%c%C", u"AB", FormatW(u"%c%C", u'A', 'B')},
      {u"[%5s|%-5s]", u"[  abc|abc  ]", FormatW(u"[%5s|%-5s]", u"abc", u"abc")},
      {u"%.3s", u"Rep", FormatW(u"%.3s", name)},
      {u"%x %X %o", u"ff FF 17", FormatW(u"%x %X %o", 255, 255, 15)},
      {u"%ld %lu", u"-1 4294967295", FormatW(u"%ld %lu", -1, 0xFFFFFFFFu)},
      {u"%lld %llu %llX", u"-9 10 FFFFFFFFFF", FormatW(u"%lld %llu %llX", -9ll, 10ull, 0xFFFFFFFFFFull)},
      {u"100%%", u"100%", FormatW(u"100%%")},
      {u"%5.1f|%-6d|%+d", u"  2.5|42    |+3", FormatW(u"%5.1f|%-6d|%+d", 2.5, 42, 3)},
      {u"%*d", u"   12", FormatW(u"%*d", 5, 12)},
      {u"ID: %u ", u"ID: 3000000000 ", FormatW(u"ID: %u ", 3000000000u)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.got, c.expected) << "format: " << CString(c.fmt).ToUtf8();
  }
}

TEST(Format, WidthOfThirtyTwoBitConversionsFollowsWindows) {
  // %u and %ld read 32 bits even when a 64-bit value is passed, as the Windows runtime does.
  EXPECT_EQ(FormatW(u"%u", 0x100000005ull), u"5");
  EXPECT_EQ(FormatW(u"%d", 0xFFFFFFFFull), u"-1");
  EXPECT_EQ(FormatW(u"%llu", 7u), u"7");
}

TEST(Format, MismatchedOrMissingArgumentsNeverCrash) {
  EXPECT_EQ(FormatW(u"%s", (const char16_t*)nullptr), u"(null)");
  EXPECT_EQ(FormatW(u"%s and %d"), u"(null) and 0");
  EXPECT_EQ(FormatW(u"%s", 12), u"12");
  EXPECT_EQ(FormatW(u"tail %"), u"tail %");
  EXPECT_EQ(FormatW(u"%q"), u"%q");
  EXPECT_EQ(FormatW(u"%n", 5), u"");
}

TEST(Format, NarrowFormatsSwapTheMeaningOfSAndCapitalS) {
  EXPECT_EQ(FormatA("%s|%S", "narrow", u"wide"), "narrow|wide");
  EXPECT_EQ(FormatA("%08X %I64u", 0xBEEFu, 12345678901ull), "0000BEEF 12345678901");
  EXPECT_EQ(FormatA("%S", u"\u00e9"), "\xc3\xa9");
}

TEST(Format, CStringFormatAndAppendFormat) {
  CString s;
  s.Format(u"%u:%02u:%02u", 1u, 2u, 5u);
  EXPECT_EQ(s, CString(u"1:02:05"));
  s.AppendFormat(u" [%s]", CString(u"x"));
  EXPECT_EQ(s, CString(u"1:02:05 [x]"));
}

}  // namespace
