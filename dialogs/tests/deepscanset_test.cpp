// The deep-scan settings dialog: sector texts, range checks and the priority fit, the file-type
// checks, forced options, the range that must lie on the device, and Close changing nothing.
#include "core/filetypetable.h"
#include "dialogs/deepscansetdlg.h"
#include "dialogs/tests/mainwnd_fixture.h"

namespace mainwnd_test {
namespace {

TEST(DeepScanSetRules, SectorTexts) {
  const struct {
    const char16_t* text;
    bool valid;
    const char16_t* gb;
  } cases[] = {
      {u"1234", true, u"0(GB)"},          {u"4194304", true, u"2(GB)"},  {u"", true, u"0(GB)"},
      {u"999", true, u"0(GB)"},           {u"999999999999", true, u"476837(GB)"},
      {u"9999999999999", false, nullptr}, {u"12a", false, nullptr},   {u"-5", false, nullptr},
      {u" 5", false, nullptr},
  };
  for (const auto& c : cases) {
    CString gb;
    EXPECT_EQ(ReadSectorText(c.text, &gb), c.valid) << CString(c.text).ToUtf8();
    if (c.valid) {
      EXPECT_EQ(gb, CString(c.gb)) << CString(c.text).ToUtf8();
    }
  }
}

TEST(DeepScanSetRules, RangeChecksInOrder) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"ScanLbaErr: bad start\r\nScanSizeErr: bad size\r\n");
  const struct {
    const char16_t* t[4];
    const char16_t* error;
  } cases[] = {
      {{u"0", u"9999", u"0", u"0"}, u"bad size"},
      {{u"0", u"10000", u"0", u"0"}, u""},
      {{u"x", u"1", u"y", u"z"}, u"bad start"},
      {{u"0", u"100000", u"1.5", u"0"}, u"优先扫描起始地址不合法!"},
      {{u"0", u"100000", u"0", u"1234567890123"}, u"优先扫描大小不合法!"},
  };
  for (const auto& c : cases) {
    const CString texts[4] = {c.t[0], c.t[1], c.t[2], c.t[3]};
    EXPECT_EQ(RangeTextsError(texts), CString(c.error));
  }
}

TEST(DeepScanSetRules, PriorityRangeFitsIntoTheScanRange) {
  const struct {
    uint64_t start, count, pStart, pCount, wantStart, wantCount;
  } cases[] = {
      {2048, 5000, 100, 0, 2048, 0},
      {2048, 5000, 2048, 10000, 2048, 5000},
      {2048, 5000, 9000, 10, 7048, 0},
      {2048, 5000, 3000, 1000, 3000, 1000},
      {0, UINT64_MAX, 5, UINT64_MAX, 5, UINT64_MAX - 5},
  };
  for (const auto& c : cases) {
    DeepScanSettings s;
    s.scanStart = c.start;
    s.scanCount = c.count;
    s.priorityStart = c.pStart;
    s.priorityCount = c.pCount;
    FitPriorityRange(s);
    EXPECT_EQ(s.priorityStart, c.wantStart);
    EXPECT_EQ(s.priorityCount, c.wantCount);
  }
  EXPECT_TRUE(ScanRangeOnDevice(0, 1000, 1000));
  EXPECT_TRUE(ScanRangeOnDevice(999, 1, 1000));
  EXPECT_FALSE(ScanRangeOnDevice(999, 2, 1000));
  EXPECT_FALSE(ScanRangeOnDevice(1000, 0, 1000));
  EXPECT_FALSE(ScanRangeOnDevice(10, UINT64_MAX, 1000));
}

class FileChecks : public testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
    InitFileTypeTables();
    checks_.LoadFromTable();
  }
  // A category with at least two types.
  int32_t Category() const {
    for (int32_t c = kFirstFileCategory; c <= kLastFileCategory; ++c)
      if (checks_.categories[size_t(c)].typeIds.size() >= 2) return c;
    return 0;
  }
  FileFormatChecks checks_;
};

TEST_F(FileChecks, CategoryAndTypeBoxes) {
  const int32_t cat = Category();
  ASSERT_NE(cat, 0);
  const std::vector<int32_t> ids = checks_.categories[size_t(cat)].typeIds;
  // Clearing one of several types makes the category partly checked.
  EXPECT_EQ(checks_.ToggleType(ids[0]), 0);
  EXPECT_EQ(checks_.CategoryCheck(cat), 2);
  // Partly → all on → all off.
  EXPECT_EQ(checks_.ToggleCategory(cat), 1);
  for (int32_t t : ids) EXPECT_EQ(checks_.TypeEnabled(t), 1);
  EXPECT_EQ(checks_.ToggleCategory(cat), 0);
  for (int32_t t : ids) EXPECT_EQ(checks_.TypeEnabled(t), 0);
  // Turning on one, then clearing the last enabled type, leaves the category off.
  EXPECT_EQ(checks_.ToggleType(ids[1]), 1);
  EXPECT_EQ(checks_.CategoryCheck(cat), 2);
  EXPECT_EQ(checks_.ToggleType(ids[1]), 0);
  EXPECT_EQ(checks_.CategoryCheck(cat), 0);
  // Ids outside the table are refused.
  EXPECT_FALSE(checks_.SetCategoryCheck(5, 1));
  EXPECT_FALSE(checks_.SetCategoryCheck(13, 1));
  EXPECT_FALSE(checks_.SetTypeEnabled(35, 1));
  EXPECT_FALSE(checks_.SetTypeEnabled(177, 1));
  int state = 0;
  EXPECT_FALSE(checks_.GetCategoryState(0, &state));
  // The table itself is untouched until the copies are stored.
  EXPECT_EQ(FileTypeTable().types[size_t(ids[0])].enabled, 1);
}

class DeepScanSetDialog : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    LoadSettingsForTest(u"Tesmur", u"Pro", DefaultVerCfg(),
                        CString(DefaultLang()) + u"ScanLbaErr: bad start\r\nScanSizeErr: bad size\r\n"
                                                 u"ScanRangeErr: bad range\r\nScanRangeOverDevice: past the device %s\r\n");
    InitFileTypeTables();
    RegisterDeepScanSettingsTemplates();
    VolumeContext t;
    t.deviceSectors = 1000000;
    t.sectorCount = 1000000;
    SetScanTarget(t);
    values_.scanStart = 0;
    values_.scanCount = 1000000;
    values_.showAllFiles = kOptionForced;
    values_.clusterAlignedStarts = 1;
    dlg_set_ = std::make_unique<CDeepScanSetDlg>(values_);
    ASSERT_TRUE(dlg_set_->Create(IDD_DEEPSCAN_SETTINGS, nullptr));
    dlg_set_->ShowWindow(SW_SHOW);
    PumpAll();
  }
  void TearDown() override {
    if (dlg_set_ && dlg_set_->m_hWnd) dlg_set_->DestroyWindow();
    dlg_set_.reset();
    MainWindowTest::TearDown();
  }
  CSkinEdit& Edit(int i) { return dlg_set_->m_general.m_edits[i]; }
  DeepScanSettings values_;
  std::unique_ptr<CDeepScanSetDlg> dlg_set_;
};

TEST_F(DeepScanSetDialog, OpensOnTheGeneralPageWithTheValues) {
  EXPECT_TRUE(dlg_set_->m_general.IsWindowVisible());
  EXPECT_FALSE(dlg_set_->m_files.IsWindowVisible());
  EXPECT_EQ(dlg_set_->m_tabGeneral.m_bHeldDown, 1);
  EXPECT_EQ(dlg_set_->m_tabFiles.m_bHeldDown, 0);
  CString t;
  Edit(1).GetWindowText(t);
  EXPECT_EQ(t, CString(u"1000000"));
  // A forced option is shown unticked and fixed.
  CSkinCRButton& showAll = dlg_set_->m_general.m_boxes[1];
  EXPECT_EQ(showAll.GetCheck(), 0);
  EXPECT_FALSE(showAll.IsWindowEnabled());
  EXPECT_EQ(dlg_set_->m_general.m_boxes[0].GetCheck(), 1);
  dlg_set_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DSS_TAB_FILES, BN_CLICKED), 0);
  EXPECT_FALSE(dlg_set_->m_general.IsWindowVisible());
  EXPECT_TRUE(dlg_set_->m_files.IsWindowVisible());
  EXPECT_EQ(dlg_set_->m_tabFiles.m_bHeldDown, 1);
}

TEST_F(DeepScanSetDialog, TypingShowsGigabytesOrTheMessage) {
  Edit(1).SetWindowText(u"4194304");
  PumpAll();
  EXPECT_EQ(dlg_set_->m_general.m_gb[1].m_text, CString(u"2(GB)"));
  Edit(0).SetWindowText(u"12x");
  PumpAll();
  ASSERT_FALSE(Rec().boxes.empty());
  EXPECT_EQ(Rec().boxes.back(), CString(u"bad start"));
}

TEST_F(DeepScanSetDialog, OkStoresOnlyWhatFitsTheDevice) {
  const DeepScanSettings before = DeepScanSettingsRecord();
  // Past the end of the device: refused with a message, nothing stored.
  Edit(0).SetWindowText(u"900000");
  Edit(1).SetWindowText(u"200000");
  Rec().boxes.clear();
  dlg_set_->OnOK();
  ASSERT_EQ(Rec().boxes.size(), 1u);
  EXPECT_GE(Rec().boxes[0].Find(u"past the device"), 0);
  EXPECT_TRUE(IsWindow(dlg_set_->m_hWnd));
  EXPECT_EQ(DeepScanSettingsRecord().scanStart, before.scanStart);
  EXPECT_EQ(ScanTarget().sectorCount, 1000000u);
  // A size of four digits: the size message.
  Edit(0).SetWindowText(u"2048");
  Edit(1).SetWindowText(u"9999");
  Rec().boxes.clear();
  dlg_set_->OnOK();
  EXPECT_EQ(Rec().boxes.back(), CString(u"bad size"));
  // Fitting: stored, the target moved to the range, the forced option kept.
  Edit(1).SetWindowText(u"10000");
  Edit(2).SetWindowText(u"100");
  Edit(3).SetWindowText(u"50000");
  Rec().boxes.clear();
  dlg_set_->OnOK();
  EXPECT_TRUE(Rec().boxes.empty());
  const DeepScanSettings& s = DeepScanSettingsRecord();
  EXPECT_EQ(s.scanStart, 2048u);
  EXPECT_EQ(s.scanCount, 10000u);
  EXPECT_EQ(s.priorityStart, 2048u);
  EXPECT_EQ(s.priorityCount, 10000u);
  EXPECT_EQ(s.showAllFiles, kOptionForced);
  EXPECT_EQ(ScanTarget().firstLba, 2048u);
  EXPECT_EQ(ScanTarget().sectorCount, 10000u);
}

TEST_F(DeepScanSetDialog, CloseChangesNothing) {
  const DeepScanSettings before = DeepScanSettingsRecord();
  const int32_t type = FileTypeTable().categories[7].typeIds.empty() ? 40 : FileTypeTable().categories[7].typeIds[0];
  const int32_t enabled = FileTypeTable().types[size_t(type)].enabled;
  dlg_set_->m_files.m_checks.ToggleType(type);
  Edit(0).SetWindowText(u"4096");
  dlg_set_->SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(FileTypeTable().types[size_t(type)].enabled, enabled);
  EXPECT_EQ(DeepScanSettingsRecord().scanStart, before.scanStart);
  EXPECT_EQ(ScanTarget().firstLba, 0u);
}

}  // namespace
}  // namespace mainwnd_test
