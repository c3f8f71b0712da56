#include "app/edition.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/runvalues.h"
#include "app/settings.h"
#include "platform/hooks.h"
#include "platform/registry.h"

namespace {

const char16_t kVerCfg[] = u"Default-Company: Maker\r\nDefault-LocalName: Tool\r\n";

struct Report {
  unsigned code;
  CString text;
  bool queued;
};
std::vector<Report> g_reports;
void Record(unsigned code, const CString& text, bool queued) { g_reports.push_back({code, text, queued}); }

class EditionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrel-edition-XXXXXX";
    root_ = mkdtemp(tmpl);
    SetRegistryRootOverride(CString(root_.c_str()));
    UseBrand(u"Tesmur");
    g_reports.clear();
    SetEventReportHandler(&Record);
  }
  void TearDown() override {
    SetEventReportHandler(nullptr);
    SetRegistryRootOverride(CString());
    SetAppOsText(CString());
    SetAppDetailValue(u"0");
    SetImproveJoined(false);
    ASSERT_EQ(system(("rm -rf '" + root_ + "'").c_str()), 0);
  }
  static void UseBrand(const CString& brand) { LoadSettingsForTest(brand, u"Pro", kVerCfg, u""); }
  static void CreateKey() { ASSERT_EQ(RegSetupCreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Maker\\Tool"), ERROR_SUCCESS); }
  static CString Stored(const CString& name) {
    CString v;
    return ReadRegValue(name, v) ? v : CString(u"<none>");
  }
  std::string root_;
};

TEST_F(EditionTest, BrandsAreMatchedWholeAndInTheirOwnCase) {
  struct Case {
    const char16_t* brand;
    bool house, pelmarCorvinth, ostrel;
  } cases[] = {
      {u"Tesmur", true, false, false},   {u"Andovel", true, false, false}, {u"Brisolde", true, false, false},
      {u"Drevask", true, false, false},  {u"Pelmar", false, true, false},  {u"Corvinth", false, true, false},
      {u"Ostrel", false, false, true},   {u"tesmur", false, false, false}, {u"OSTREL", false, false, false},
      {u"Tesmur ", false, false, false}, {u"Tes", false, false, false},    {u"", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CString(c.brand).ToUtf8());
    UseBrand(c.brand);
    EXPECT_EQ(IsHouseBrand(), c.house);
    EXPECT_EQ(IsPelmarCorvinthBrand(), c.pelmarCorvinth);
    EXPECT_EQ(IsOstrelBrand(), c.ostrel);
  }
}

TEST_F(EditionTest, ValuesLiveUnderTheEditionKeyAndAreReadWithinBounds) {
  EXPECT_EQ(GetRegKeyPath(), CString(u"SOFTWARE\\Maker\\Tool"));
  CreateKey();
  EXPECT_TRUE(WriteRegValue(u"Detail", u"x"));
  EXPECT_EQ(Stored(u"Detail"), CString(u"x"));
  // Empty and too long values count as unreadable; 259 characters still fit.
  EXPECT_TRUE(WriteRegValue(u"Detail", u""));
  EXPECT_EQ(Stored(u"Detail"), CString(u"<none>"));
  EXPECT_TRUE(WriteRegValue(u"Detail", CString(u'a', 259)));
  EXPECT_EQ(Stored(u"Detail"), CString(u'a', 259));
  EXPECT_TRUE(WriteRegValue(u"Detail", CString(u'a', 260)));
  EXPECT_EQ(Stored(u"Detail"), CString(u"<none>"));
}

TEST_F(EditionTest, RunInfoCountsUnfinishedRunsOfHouseBrands) {
  CreateKey();
  struct Case {
    const char16_t* before;  // null: missing
    unsigned n;
    const char16_t* after;
  } cases[] = {
      {nullptr, 1, u"1"}, {u"2", 1, u"3"}, {u"8", 1, u"9"}, {u"9", 1, u"9"},
      {u"12", 1, u"1"},   {u"5", 0, u"0"}, {nullptr, 0, u"0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.before ? CString(c.before).ToUtf8() : "missing") << " + " << c.n);
    ASSERT_TRUE(WriteRegValue(u"RunInfo", c.before ? c.before : u""));
    UpdateRunInfo(c.n);
    EXPECT_EQ(Stored(u"RunInfo"), CString(c.after));
  }

  // Another brand never writes the value.
  ASSERT_TRUE(WriteRegValue(u"RunInfo", u""));
  UseBrand(u"Pelmar");
  UpdateRunInfo(1);
  EXPECT_EQ(Stored(u"RunInfo"), CString(u"<none>"));
}

TEST_F(EditionTest, AFailedLastRunIsReportedAtOnceThenClearedByANormalEnd) {
  CreateKey();
  SetAppOsText(u"6.1.64");
  for (const char16_t* v : {u"", u"2", u"12"}) {
    ASSERT_TRUE(WriteRegValue(u"RunInfo", v));
    EXPECT_FALSE(ReportLastRunFailed());
  }
  EXPECT_TRUE(g_reports.empty());

  ASSERT_TRUE(WriteRegValue(u"RunInfo", u"2"));
  UpdateRunInfo(1);
  EXPECT_TRUE(ReportLastRunFailed());
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].code, 1u);
  EXPECT_EQ(g_reports[0].text, CString(u"Last run failed 3   6.1.64   "));
  EXPECT_FALSE(g_reports[0].queued);
  UpdateRunInfo(0);
  EXPECT_EQ(Stored(u"RunInfo"), CString(u"0"));
}

TEST_F(EditionTest, RunNumCountsUpToTilde) {
  CreateKey();
  struct Case {
    const char16_t* before;
    int run;
    const char16_t* after;
  } cases[] = {
      {u"", 1, u"1"}, {u"1", 2, u"2"}, {u"5", 6, u"6"}, {u"}", 78, u"~"}, {u"~", 79, u"~"}, {u"5ab", 6, u"6ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(CString(c.before).ToUtf8());
    ASSERT_TRUE(WriteRegValue(u"RunNum", c.before));
    EXPECT_EQ(IncRunNum(), c.run);
    EXPECT_EQ(Stored(u"RunNum"), CString(c.after));
  }
}

bool IsValidServeCode(const CString& code) {
  if (code.GetLength() != 9 || code[4] != u'-') return false;
  int sum = 0;
  for (int i : {0, 1, 2, 3, 5, 6, 7}) {
    if (code[i] < u'0' || code[i] > u'9') return false;
    sum += code[i] - u'0';
  }
  return code[8] == char16_t(u'0' + sum % 10);
}

TEST_F(EditionTest, ServeCodeIsKeptOrReplacedByAValidOne) {
  for (int i = 0; i < 50; ++i) EXPECT_TRUE(IsValidServeCode(MakeServeCode()));
  CreateKey();
  ASSERT_TRUE(WriteRegValue(u"ServeCode", u"1234-567"));
  CString fresh = GetServeCode();
  EXPECT_TRUE(IsValidServeCode(fresh)) << fresh.ToUtf8();
  EXPECT_EQ(Stored(u"ServeCode"), fresh);
  EXPECT_EQ(GetServeCode(), fresh);
  ASSERT_TRUE(WriteRegValue(u"ServeCode", u"1111-1115"));
  EXPECT_EQ(GetServeCode(), CString(u"1111-1115"));
}

TEST_F(EditionTest, DetailConsentAndEditionTag) {
  CreateKey();
  EXPECT_EQ(GetDetailValue(), CString(u"0"));
  for (auto [stored, expected] : {std::pair{u"Ab12", u"Ab12"}, {u"a-b", u"0"}, {u"a b", u"0"}, {u"\u00e9", u"0"}}) {
    ASSERT_TRUE(WriteRegValue(u"Detail", stored));
    EXPECT_EQ(GetDetailValue(), CString(expected));
  }
  ASSERT_TRUE(WriteRegValue(u"Detail", u"QX7"));
  for (auto [join, joined] : {std::pair{u"1", true}, {u"11", false}, {u"0", false}}) {
    ASSERT_TRUE(WriteRegValue(u"JoinImproveSoft", join));
    LoadRegistryRunValues();
    EXPECT_EQ(IsImproveJoined(), joined);
  }
  BaseCfgTable().Set(u"Owner:", u"Maker");
  EXPECT_EQ(GetEditionTag(), CString(u"maker-pro-qx7"));
}

TEST_F(EditionTest, WithoutTheKeyEverythingFailsSilentlyAndFallsBack) {
  CString v;
  EXPECT_FALSE(ReadRegValue(u"RunNum", v));
  EXPECT_FALSE(WriteRegValue(u"RunNum", u"1"));
  UpdateRunInfo(1);
  EXPECT_FALSE(ReportLastRunFailed());
  EXPECT_EQ(IncRunNum(), 1);
  EXPECT_TRUE(IsValidServeCode(GetServeCode()));
  EXPECT_EQ(GetDetailValue(), CString(u"0"));
  LoadRegistryRunValues();
  EXPECT_FALSE(IsImproveJoined());
  EXPECT_TRUE(g_reports.empty());
}

}  // namespace
