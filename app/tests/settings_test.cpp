#include <gtest/gtest.h>

#include "app/settings.h"

namespace {

const char16_t kVerCfg[] =
    u"// edition configuration\r\n"
    u"Default-Web: http://127.0.0.1/help  // trailing comment\r\n"
    u"Default-Key: 96\r\n"
    u"Default-ShowDev: 1\r\n"
    u"Pro-ShowDev:\r\n"
    u"default-Splash: 1\r\n"
    u"Default-NoSuchKey: 1\r\n"
    u"Default-MovFragRecovery: 1\r\n"
    u"\r\n";

const char16_t kLang[] =
    u"FileLost: Lost files\r\n"
    u"Retry : with a blank\r\n"
    u":no key\r\n"
    u"FileLost:  Lost Files  \r\n";

TEST(Settings, GettersFollowTheTableRules) {
  LoadSettingsForTest(u"Tesmur", u"Pro", kVerCfg, kLang);
  // Keys are found in any case, with or without their colon; a later line replaces.
  EXPECT_EQ(GetLangStr(u"filelost"), CString(u"Lost Files"));
  EXPECT_EQ(GetLangStr(u"FILELOST:"), CString(u"Lost Files"));
  // A blank before the colon belongs to the key.
  EXPECT_EQ(GetLangStr(u"Retry"), CString());
  EXPECT_EQ(GetLangStr(u"Retry "), CString(u"with a blank"));
  EXPECT_EQ(GetLangStr(u""), CString());

  EXPECT_EQ(GetBaseCfg(u"brand"), CString(u"Tesmur"));
  EXPECT_EQ(GetBaseCfg(u"Language"), CString(u"English"));

  // "//" after a scheme stays; a blank-led "//" cuts the rest.
  EXPECT_EQ(GetSoftCfg(u"Web"), CString(u"http://127.0.0.1/help"));
  // The version's empty entry beats the default.
  EXPECT_EQ(GetSoftCfg(u"ShowDev"), CString());
  EXPECT_FALSE(IsSoftCfgOn(u"ShowDev"));
  // Wrong-case prefix and unknown keys are ignored.
  EXPECT_EQ(GetSoftCfg(u"Splash"), CString());
  EXPECT_EQ(GetSoftCfg(u"NoSuchKey"), CString());
  EXPECT_EQ(GetSoftCfgKey(), 96);
  EXPECT_EQ(VideoFragOptions.MovFragRecovery, 1u);
  EXPECT_EQ(MovFragmentMode, 1u);
  EXPECT_EQ(MtsFragmentMode, 0u);
}

TEST(Settings, SplitCfgLinesSkipsTheFirstUnitAlways) {
  const std::u16string noBom = u"Abc: 1\r\nDef: 2";
  std::vector<CString> lines;
  ASSERT_TRUE(SplitCfgLines(noBom.data(), noBom.size(), lines));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], CString(u"bc: 1"));
  EXPECT_EQ(lines[1], CString(u"Def: 2"));
  // A lone CR or LF stays inside the line.
  const std::u16string lone = u"\uFEFFa\rb\nc\r\n";
  lines.clear();
  ASSERT_TRUE(SplitCfgLines(lone.data(), lone.size(), lines));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], CString(u"a\rb\nc"));
  lines.clear();
  const std::u16string comment = u"\uFEFF// only\r\n";
  EXPECT_FALSE(SplitCfgLines(comment.data(), comment.size(), lines));
}

}  // namespace
