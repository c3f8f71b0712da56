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
                                                 u"ScanRangeErr: bad range\r\nScanRangeOverDevice: past the device %s\r\n"
                                                 u"Document: Documents\r\nPhoto: Photos\r\nImage: Images\r\n"
                                                 u"Audio: Audio\r\nVideo: Videos\r\nZipFile: Archives\r\n"
                                                 u"Other: Other\r\n");
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

// The file-type page's tree, driven by real presses and releases on the boxes the tree draws.
class FileTypeTree : public DeepScanSetDialog {
 protected:
  void SetUp() override {
    DeepScanSetDialog::SetUp();
    dlg_set_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DSS_TAB_FILES, BN_CLICKED), 0);
    PumpAll();
  }
  void TearDown() override {
    // The dialog's tests may have stored changed checks: the next test starts from all on.
    InitFileTypeTables();
    DeepScanSetDialog::TearDown();
  }
  CFileFormatTreeCtrl& Tree() { return dlg_set_->m_files.m_tree; }
  FileFormatChecks& Checks() { return dlg_set_->m_files.m_checks; }
  int32_t CategoryWithTypes(size_t n) {
    for (int32_t c = kFirstFileCategory; c <= kLastFileCategory; ++c)
      if (Checks().categories[size_t(c)].typeIds.size() >= n) return c;
    return 0;
  }
  UINT Image(HTREEITEM item) { return Tree().GetItemState(item, TVIS_STATEIMAGEMASK) >> 12; }
  // Shows the item and finds the point of its box: left of its text, where the tree reports
  // the state icon.
  POINT BoxOf(HTREEITEM item) {
    if (HTREEITEM parent = Tree().GetParentItem(item)) Tree().Expand(parent, TVE_EXPAND);
    Tree().EnsureVisible(item);
    PumpAll();
    RECT r{};
    Tree().GetItemRect(item, &r, TRUE);
    const int y = (r.top + r.bottom) / 2;
    for (int x = r.left - 1; x >= 0; --x) {
      UINT flags = 0;
      if (Tree().HitTest(CPoint(x, y), &flags) == item && (flags & TVHT_ONITEMSTATEICON)) return POINT{x, y};
    }
    return POINT{-1, -1};
  }
  void Click(POINT p) {
    Tree().SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    Tree().SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    PumpAll();
  }
};

TEST_F(FileTypeTree, ListsCategoriesWithTheirTypes) {
  int categories = 0;
  for (HTREEITEM r = Tree().GetRootItem(); r; r = Tree().GetNextSiblingItem(r), ++categories) {
    const int32_t cat = int32_t(Tree().GetItemData(r));
    EXPECT_EQ(cat, kFirstFileCategory + categories);
    EXPECT_EQ(Tree().GetItemText(r), Checks().categories[size_t(cat)].name);
    EXPECT_FALSE(Tree().GetItemText(r).IsEmpty());
    EXPECT_EQ(Image(r), 2u);
    for (HTREEITEM c = Tree().GetChildItem(r); c; c = Tree().GetNextSiblingItem(c)) {
      const FileTypeRow& row = Checks().types[Tree().GetItemData(c)];
      EXPECT_EQ(row.category, cat);
      EXPECT_EQ(Tree().GetItemText(c), row.description + u"   (" + row.extList + u")");
    }
  }
  EXPECT_EQ(categories, kLastFileCategory - kFirstFileCategory + 1);
}

TEST_F(FileTypeTree, BoxesFollowClicksOnTheirIconsOnly) {
  const int32_t cat = CategoryWithTypes(2);
  ASSERT_NE(cat, 0);
  HTREEITEM catItem = Tree().FindItem(DWORD_PTR(cat));
  ASSERT_NE(catItem, nullptr);
  HTREEITEM typeItem = Tree().GetChildItem(catItem);
  ASSERT_NE(typeItem, nullptr);
  HTREEITEM otherItem = Tree().GetNextSiblingItem(typeItem);
  ASSERT_NE(otherItem, nullptr);
  const int32_t type = int32_t(Tree().GetItemData(typeItem));
  const POINT typeBox = BoxOf(typeItem);
  ASSERT_GE(typeBox.x, 0);
  // Clearing one of several types: the category is partly checked (picture 3).
  Click(typeBox);
  EXPECT_EQ(Checks().TypeEnabled(type), 0);
  EXPECT_EQ(Image(typeItem), 1u);
  EXPECT_EQ(Image(catItem), 3u);
  SaveWindowPng(dlg_set_->m_hWnd, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/deepscan_file_types.png");
  // Partly → all on → all off.
  const POINT catBox = BoxOf(catItem);
  Click(catBox);
  EXPECT_EQ(Image(catItem), 2u);
  EXPECT_EQ(Image(typeItem), 2u);
  EXPECT_EQ(Checks().TypeEnabled(type), 1);
  Click(catBox);
  EXPECT_EQ(Image(catItem), 1u);
  EXPECT_EQ(Image(otherItem), 1u);
  EXPECT_EQ(Checks().CategoryCheck(cat), 0);
  // The text of a type is no check box; a press on a box released elsewhere is no click.
  RECT text{};
  Tree().GetItemRect(typeItem, &text, TRUE);
  Click(POINT{text.left + 4, (text.top + text.bottom) / 2});
  EXPECT_EQ(Checks().TypeEnabled(type), 0);
  EXPECT_EQ(Image(typeItem), 1u);
  // Space on the selected type follows the same rules: on, then off again, never "partly".
  ASSERT_EQ(Tree().GetSelectedItem(), typeItem);
  for (UINT want : {2u, 1u}) {
    Tree().SendMessage(WM_KEYDOWN, VK_SPACE, 0);
    Tree().SendMessage(WM_KEYUP, VK_SPACE, 0);
    PumpAll();
    EXPECT_EQ(Image(typeItem), want);
    EXPECT_EQ(Checks().TypeEnabled(type), int(want) - 1);
  }
  // Turning the one type back on leaves the category partly checked; OK stores that choice.
  Click(BoxOf(typeItem));
  EXPECT_EQ(Image(catItem), 3u);
  dlg_set_->OnOK();
  EXPECT_EQ(FileTypeTable().types[size_t(type)].enabled, 1);
  EXPECT_EQ(FileTypeTable().types[Tree().GetItemData(otherItem)].enabled, 0);
  EXPECT_EQ(FileTypeTable().categories[size_t(cat)].checkState, 2);
}

// A type may stand in the list of a category other than the one it is shown under; toggling
// that category changes the type, and its box says so.
TEST_F(FileTypeTree, ABoxShownUnderItsOwnCategoryFollowsAnotherCategorysToggle) {
  const int32_t cat = CategoryWithTypes(1);
  ASSERT_NE(cat, 0);
  int32_t other = cat == kLastFileCategory ? kFirstFileCategory : cat + 1;
  const int32_t type = Checks().categories[size_t(cat)].typeIds[0];
  ASSERT_EQ(Checks().types[size_t(type)].category, cat);
  Checks().categories[size_t(other)].typeIds.push_back(type);
  HTREEITEM typeItem = Tree().FindItem(DWORD_PTR(type));
  ASSERT_EQ(Tree().GetParentItem(typeItem), Tree().FindItem(DWORD_PTR(cat)));
  Click(BoxOf(Tree().FindItem(DWORD_PTR(other))));
  EXPECT_EQ(Checks().TypeEnabled(type), 0);
  EXPECT_EQ(Image(typeItem), 1u);
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
