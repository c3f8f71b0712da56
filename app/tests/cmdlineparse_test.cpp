#include "app/cmdlineparse.h"

#include <gtest/gtest.h>

#include <map>

#include "app/tests/cstring_print.h"

namespace {

using Options = std::map<CString, CString>;

TEST(CmdLineParse, ReadsOptionsTable) {
  struct Case {
    const char16_t* line;
    Options want;
  };
  const Case cases[] = {
      // Quoted values keep their quotation marks; an empty value at the end is an option.
      {u"prog /a=1 /B=\"x y\" /c=", {{u"/a", u"1"}, {u"/b", u"\"x y\""}, {u"/c", u""}}},
      // The last of two names that differ only in case wins.
      {u"/A=1 /a=2", {{u"/a", u"2"}}},
      // The name stops at the first '=': values may hold '=' (quoted or not).
      {u"/x=a=b /v=\"a==\"", {{u"/x", u"a=b"}, {u"/v", u"\"a==\""}}},
      // Blanks before '=' are allowed; text between options is passed over.
      {u"junk /k  =v more /m=\"\"", {{u"/k", u"v"}, {u"/m", u"\"\""}}},
      // Non-ASCII names and values, a character outside the basic plane included.
      {u"/Dossier=\"C:\\Données\\\U0001F600\"", {{u"/dossier", u"\"C:\\Données\\\U0001F600\""}}},
  };
  for (const Case& c : cases) {
    CCmdLineParse p;
    ASSERT_TRUE(p.Parse(c.line)) << CString(c.line).ToUtf8();
    EXPECT_EQ(p.Options(), c.want) << CString(c.line).ToUtf8();
  }
}

TEST(CmdLineParse, NoOptionFailsWithTheParseError) {
  for (const char16_t* line : {u"", u"plain words only", u"/noequals", u"=value"}) {
    CCmdLineParse p;
    p.Set(u"/old", u"1");
    EXPECT_FALSE(p.Parse(line));
    EXPECT_EQ(CString(p.GetErrorText()), CString(u"Err:无法解析命令行参数\r\n") + line);
    EXPECT_TRUE(p.Options().empty());
  }
}

TEST(CmdLineParse, BuildsInNameOrderQuotingOnce) {
  CCmdLineParse p;
  p.Set(u"/verinfo", u"\"9.0.6\"");
  p.Set(u"/ppid", u"42");
  p.Set(u"/appfile", u"/opt/kestrel/kestrel");
  p.Set(u"/empty", u"\"\"");
  p.Set(u"/ppid", u"43");
  CString out;
  p.Build(out);
  EXPECT_EQ(out, CString(u"/appfile=\"/opt/kestrel/kestrel\" /empty=\"\" /ppid=\"43\" /verinfo=\"9.0.6\""));

  CCmdLineParse none;
  none.Build(out);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(CmdLineParse, WhatBuildWritesParsesBack) {
  // The updater reads what the program writes: paths with blanks and values with '=' survive.
  CCmdLineParse p;
  p.Set(u"/appfile", u"/home/a user/Kestrel dir/kestrel");
  p.Set(u"/verinfo", u"ver=9.0.6;channel=stable");
  p.Set(u"/ppid", u"1234");
  CString line;
  p.Build(line);
  CCmdLineParse back;
  ASSERT_TRUE(back.Parse(line));
  EXPECT_EQ(back.Options(), (Options{{u"/appfile", u"\"/home/a user/Kestrel dir/kestrel\""},
                                     {u"/ppid", u"\"1234\""},
                                     {u"/verinfo", u"\"ver=9.0.6;channel=stable\""}}));
}

TEST(RegEx, GroupsEmptyMatchesAndBadPatterns) {
  CRegEx re;
  std::vector<std::vector<CString>> m;
  ASSERT_TRUE(re.Search(m, u"(a)|(b)", u"ab"));
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0], (std::vector<CString>{u"a", u"a", u""}));
  EXPECT_EQ(m[1], (std::vector<CString>{u"b", u"", u"b"}));

  // A pattern that matches the empty text still ends, one empty match per position.
  ASSERT_TRUE(re.Search(m, u"x*", u"ab"));
  EXPECT_EQ(m.size(), 3u);

  EXPECT_FALSE(re.Search(m, u"", u"ab"));
  EXPECT_FALSE(re.Search(m, u"a", u""));
  EXPECT_FALSE(re.Search(m, u"z", u"ab"));

  EXPECT_FALSE(re.Search(m, u"(unclosed", u"ab"));
  EXPECT_EQ(CString(re.GetErrorText()).Left(28), CString(u"fetch boost::bad_expression "));
  EXPECT_GT(CString(re.GetErrorText()).GetLength(), 28);
}

}  // namespace
