#include <gtest/gtest.h>

#include "platform/textconv.h"

namespace {

TEST(TextConv, Utf8RoundTripIncludingSurrogatePairs) {
  const std::string utf8 = "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80";  // a é 中 😀
  const std::u16string utf16 = u"a\u00e9\u4e2d\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
}

TEST(TextConv, InvalidInputBecomesReplacementCharacters) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"\xff", u"\uFFFD"},
      {"a\xc3", u"a\uFFFD"},                // truncated sequence at the end
      {"\xc0\xaf", u"\uFFFD"},              // overlong "/"
      {"\xe0\x80\xaf", u"\uFFFD"},          // overlong three-byte form
      {"\xed\xa0\x80", u"\uFFFD"},          // encoded surrogate
      {"\xf4\x90\x80\x80", u"\uFFFD"},      // above U+10FFFF
      {"ok\x80ok", u"ok\uFFFDok"},          // stray continuation byte
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.in), c.out) << c.in.size();
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xef\xbf\xbdx");  // lone high surrogate
  EXPECT_EQ(Utf16ToUtf8(u"\xDC00"), "\xef\xbf\xbd");
}

TEST(TextConv, AnsiCodePageCanBePinnedToASingleBytePage) {
  ASSERT_EQ(GetAnsiCodePage(), "UTF-8");
  ASSERT_TRUE(SetAnsiCodePage("CP1252"));
  EXPECT_EQ(AnsiToUtf16("caf\xe9 \x80"), u"caf\u00e9 \u20ac");
  EXPECT_EQ(Utf16ToAnsi(u"caf\u00e9"), "caf\xe9");
  EXPECT_EQ(Utf16ToAnsi(u"\u4e2d!"), "?!");  // not in the page
  EXPECT_FALSE(SetAnsiCodePage("NO-SUCH-PAGE"));
  EXPECT_EQ(GetAnsiCodePage(), "CP1252");
  ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
  EXPECT_EQ(AnsiToUtf16("caf\xc3\xa9"), u"caf\u00e9");
}

}  // namespace
