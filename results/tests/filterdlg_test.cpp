// The search and rename dialogs: the size-text rules and hints, date packing with its clamps,
// typing into the size edits (refusal and restore), the order of the OK checks, what OK stores
// (and what an empty size edit leaves), Cancel, and the rename dialog's empty start.
#include "results/filterdlg.h"

#include <functional>
#include <memory>
#include <string>

#include "base/packedtime.h"
#include "results/renamedlg.h"
#include "results/tests/dlgtestenv.h"

namespace {

using dlgtest::Box;

SYSTEMTIME Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  SYSTEMTIME st{};
  st.wYear = WORD(y), st.wMonth = WORD(m), st.wDay = WORD(d), st.wHour = WORD(hh), st.wMinute = WORD(mm),
  st.wSecond = WORD(ss);
  return st;
}

TEST(FileFilterRules, SizeTexts) {
  const struct {
    const char16_t* text;
    bool valid;
  } cases[] = {
      {u"", true},           {u"0", true},           {u"1024", true},       {u"139999999", true},
      {u"099999999", true},  {u"140000000", false},  {u"199999999", false}, {u"200000000", false},
      {u"1234567890", false}, {u"12a", false},       {u"-1", false},        {u" 1", false},
      {u"１２", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidSizeText(c.text), c.valid) << CString(c.text).ToUtf8();
  uint32_t v = 7;
  EXPECT_FALSE(ReadSizeText(u"", v));
  EXPECT_EQ(v, 7u) << "an empty text reads as nothing";
  EXPECT_FALSE(ReadSizeText(u"140000000", v));
  ASSERT_TRUE(ReadSizeText(u"139999999", v));
  EXPECT_EQ(v, 139999999u);
}

TEST(FileFilterRules, SizeHints) {
  const struct {
    uint32_t kib;
    const char16_t* hint;
  } cases[] = {
      {0, u"0(KB)"},           {1024, u"1024(KB)"},      {1025, u"1.00(MB)"},  {1536, u"1.50(MB)"},
      {1048576, u"1024.00(MB)"}, {1048577, u"1.00(GB)"}, {139999999, u"133.51(GB)"},
  };
  for (const auto& c : cases) EXPECT_EQ(SizeHintText(c.kib), CString(c.hint)) << c.kib;
}

TEST(FileFilterRules, PickerDatesPackAsWholeDays) {
  const struct {
    SYSTEMTIME st;
    bool upper;
    uint32_t packed;
  } cases[] = {
      // The time of day is dropped; upper bounds end at 23:59:59.
      {Date(2024, 5, 6, 13, 14, 15), false, PackTime(2024, 5, 6, 0, 0, 0)},
      {Date(2024, 5, 6, 13, 14, 15), true, PackTime(2024, 5, 6, 23, 59, 59)},
      {Date(99, 2, 3), false, PackTime(2043, 12, 31, 0, 0, 0)},  // 1980 + 99 lies past 2043
      {Date(30, 2, 3), false, PackTime(2010, 2, 3, 0, 0, 0)},
      {Date(1970, 7, 8), false, PackTime(1980, 7, 8, 0, 0, 0)},
      {Date(2043, 12, 31), true, PackTime(2043, 12, 31, 23, 59, 59)},
      // Past the packed form's last year: clamped, not wrapped to 1980.
      {Date(2044, 1, 1), false, PackTime(2043, 12, 31, 0, 0, 0)},
      {Date(2100, 6, 1), true, PackTime(2043, 12, 31, 23, 59, 59)},
      {Date(2024, 13, 40), false, PackTime(2024, 1, 1, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PackPickerDate(c.st, c.upper), c.packed) << c.st.wYear << "-" << c.st.wMonth << "-" << c.st.wDay;
  }
  EXPECT_EQ(PackPickerDate(Date(2024, 5, 6), true) & 0x1FFFF, kPackedEndOfDay);
  EXPECT_EQ(PackPickerDate(Date(1980, 1, 1), false), 0x420000u);

  SYSTEMTIME st{};
  EXPECT_FALSE(PackedToPickerTime(0, st));
  ASSERT_TRUE(PackedToPickerTime(PackTime(2024, 2, 29, 23, 59, 59), st));
  EXPECT_EQ(st.wYear, 2024);
  EXPECT_EQ(st.wMonth, 2);
  EXPECT_EQ(st.wDay, 29);
  EXPECT_EQ(st.wHour, 23);
  // A damaged stored value (31 April) still gives a date the picker takes.
  ASSERT_TRUE(PackedToPickerTime(PackTime(2023, 4, 31, 0, 0, 0), st));
  EXPECT_EQ(st.wDay, 1);
}

class FileFilterDialog : public dlgtest::DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    RegisterFileFilterTemplates();
    RegisterRenameTemplates();
  }
  void TearDown() override {
    if (dlg_ && dlg_->m_hWnd) dlg_->DestroyWindow();
    dlg_.reset();
    DialogTest::TearDown();
  }
  void Open(const FileFilterSettings& s) {
    dlg_ = std::make_unique<CFileFilterSetDlg>();
    dlg_->m_settings = s;
    ASSERT_TRUE(dlg_->Create(IDD_FILE_FILTER, nullptr));
    dlg_->ShowWindow(SW_SHOW);
    PumpAll();
  }
  static FileFilterSettings Defaults() { return MakeDefaultFileFilter(2026, 3, 4); }
  CString Text(UINT id) { return dlg_->EditText(id); }
  void SetPicker(CDateTimeCtrl& p, const SYSTEMTIME& st) { ASSERT_TRUE(p.SetTime(&st)); }
  void PressOk() {
    dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PumpAll();
  }
  bool Ended() const { return IsDialogEnded(dlg_->m_hWnd); }
  std::unique_ptr<CFileFilterSetDlg> dlg_;
};

TEST_F(FileFilterDialog, OpensWithTheFilterAndItsHints) {
  FileFilterSettings s = Defaults();
  s.keywords = u"report;2024";
  s.minSizeKiB = 1025;
  Open(s);
  EXPECT_EQ(Text(IDC_FF_KEYWORDS), CString(u"report;2024"));
  EXPECT_EQ(Text(IDC_FF_SIZE_MIN), CString(u"1025"));
  EXPECT_EQ(Text(IDC_FF_SIZE_MAX), CString(u"134217728"));
  EXPECT_EQ(dlg_->m_hintMin.m_text, CString(u"1.00(MB)"));
  EXPECT_EQ(dlg_->m_hintMax.m_text, CString(u"128.00(GB)"));
  EXPECT_EQ(::GetFocus(), dlg_->m_keywords.m_hWnd);
  EXPECT_FALSE(dlg_->m_enable.IsWindowVisible());
  EXPECT_FALSE(dlg_->m_accessFrom.IsWindowVisible());
  SYSTEMTIME st{};
  ASSERT_EQ(dlg_->m_createTo.GetTime(&st), DWORD(GDT_VALID));
  EXPECT_EQ(st.wYear, 2026);
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDay, 4);
  ASSERT_EQ(dlg_->m_modifyFrom.GetTime(&st), DWORD(GDT_VALID));
  EXPECT_EQ(st.wYear, 1980);
  EXPECT_TRUE(Box().texts.empty());
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, std::string(KESTREL_RESULTS_SHOT_DIR) + "/search_dialog.png"));
}

TEST_F(FileFilterDialog, InvalidSizeTextsAreRefusedAndTheLastValidTextComesBack) {
  Open(Defaults());
  const struct {
    const char16_t* typed;
    bool accepted;
  } cases[] = {
      {u"2048", true},       {u"20x48", false},     {u"1234567890", false}, {u"139999999", true},
      {u"140000000", false}, {u"099999999", true},  {u"", true},            {u"-", false},
  };
  CString last = u"0";
  for (const auto& c : cases) {
    Box().texts.clear();
    dlg_->m_sizeMin.SetWindowText(c.typed);
    PumpAll();
    const CString typed(c.typed);
    if (c.accepted) {
      EXPECT_TRUE(Box().texts.empty()) << typed.ToUtf8();
      EXPECT_EQ(Text(IDC_FF_SIZE_MIN), typed);
      last = typed;
    } else {
      ASSERT_EQ(Box().texts.size(), 1u) << typed.ToUtf8();
      EXPECT_EQ(Box().texts[0], CString(u"bad size text"));
      EXPECT_EQ(Text(IDC_FF_SIZE_MIN), last) << typed.ToUtf8();
      EXPECT_EQ(dlg_->m_lastValidMin, last);
    }
  }
  // Typed by hand, key by key: the letter never stays.
  dlg_->m_sizeMax.SetWindowText(u"12");
  dlg_->m_sizeMax.SetFocus();
  dlg_->m_sizeMax.SetSel(2, 2);
  Box().texts.clear();
  dlg_->m_sizeMax.SendMessage(WM_CHAR, 'k', 0);
  PumpAll();
  EXPECT_EQ(Box().texts.size(), 1u);
  EXPECT_EQ(Text(IDC_FF_SIZE_MAX), CString(u"12"));
  EXPECT_EQ(dlg_->m_hintMax.m_text, CString(u"12(KB)"));
}

TEST_F(FileFilterDialog, OkChecksInOrderAndStaysOpenOnAFailure) {
  Open(Defaults());
  // Sizes first, even when a date range is reversed too.
  dlg_->m_sizeMin.SetWindowText(u"500");
  dlg_->m_sizeMax.SetWindowText(u"499");
  SetPicker(dlg_->m_createFrom, Date(2025, 1, 2));
  SetPicker(dlg_->m_createTo, Date(2025, 1, 1));
  SetPicker(dlg_->m_modifyFrom, Date(2025, 1, 2));
  SetPicker(dlg_->m_modifyTo, Date(2025, 1, 1));
  const struct {
    std::function<void()> fix;
    const char16_t* message;
  } steps[] = {
      {[] {}, u"max below min"},
      {[&] { dlg_->m_sizeMax.SetWindowText(u"500"); }, u"creation reversed"},
      {[&] { SetPicker(dlg_->m_createTo, Date(2025, 1, 2)); }, u"modification reversed"},
  };
  for (const auto& s : steps) {
    s.fix();
    Box().texts.clear();
    PressOk();
    ASSERT_EQ(Box().texts.size(), 1u);
    EXPECT_EQ(Box().texts[0], CString(s.message));
    EXPECT_FALSE(Ended());
  }
  EXPECT_EQ(dlg_->m_settings.minSizeKiB, 0u) << "nothing stored while the input is refused";
  SetPicker(dlg_->m_modifyTo, Date(2025, 3, 1));
  Box().texts.clear();
  PressOk();
  EXPECT_TRUE(Box().texts.empty());
  EXPECT_TRUE(Ended());
  const FileFilterSettings& s = dlg_->m_settings;
  EXPECT_EQ(s.minSizeKiB, 500u);
  EXPECT_EQ(s.maxSizeKiB, 500u) << "equal bounds are a valid range";
  // One day as both bounds covers that whole day.
  EXPECT_EQ(s.creationFrom, PackTime(2025, 1, 2, 0, 0, 0));
  EXPECT_EQ(s.creationTo, PackTime(2025, 1, 2, 23, 59, 59));
  EXPECT_EQ(s.modificationTo, PackTime(2025, 3, 1, 23, 59, 59));
}

TEST_F(FileFilterDialog, AStoredReversedAccessRangeIsReported) {
  FileFilterSettings s = Defaults();
  s.accessFrom = PackTime(2025, 6, 1, 0, 0, 0);
  s.accessTo = PackTime(2025, 5, 1, 23, 59, 59);
  Open(s);
  PressOk();
  ASSERT_EQ(Box().texts.size(), 1u);
  EXPECT_EQ(Box().texts[0], CString(u"access reversed"));
}

TEST_F(FileFilterDialog, OkStoresTheInputAndEmptySizeEditsKeepTheirBounds) {
  FileFilterSettings s = Defaults();
  s.minSizeKiB = 10;
  s.maxSizeKiB = 20;
  Open(s);
  dlg_->m_keywords.SetWindowText(u" ;; ");
  dlg_->m_sizeMin.SetWindowText(u"");
  dlg_->m_sizeMax.SetWindowText(u"");
  SetPicker(dlg_->m_createFrom, Date(2050, 1, 1));
  SetPicker(dlg_->m_createTo, Date(2060, 1, 1));
  PressOk();
  ASSERT_TRUE(Ended()) << (Box().texts.empty() ? "" : Box().texts[0].ToUtf8());
  EXPECT_EQ(dlg_->m_settings.keywords, CString(u" ;; ")) << "kept as typed; the search parses it";
  EXPECT_EQ(dlg_->m_settings.minSizeKiB, 10u);
  EXPECT_EQ(dlg_->m_settings.maxSizeKiB, 20u);
  EXPECT_EQ(dlg_->m_settings.creationFrom, PackTime(2043, 12, 31, 0, 0, 0));
  EXPECT_EQ(dlg_->m_settings.creationTo, PackTime(2043, 12, 31, 23, 59, 59));

  // An empty minimum is checked as the bound it keeps: 10 against a new maximum of 5.
  dlg_->DestroyWindow();
  Open(s);
  dlg_->m_sizeMin.SetWindowText(u"");
  dlg_->m_sizeMax.SetWindowText(u"5");
  Box().texts.clear();
  PressOk();
  ASSERT_EQ(Box().texts.size(), 1u);
  EXPECT_EQ(Box().texts[0], CString(u"max below min"));
}

TEST_F(FileFilterDialog, CancelStoresNothing) {
  const FileFilterSettings before = FileFilter();
  Open(FileFilter());
  dlg_->m_sizeMin.SetWindowText(u"77");
  dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_TRUE(Ended());
  EXPECT_EQ(FileFilter().minSizeKiB, before.minSizeKiB);
}

TEST_F(FileFilterDialog, RenameStartsEmptyAndReturnsTheTypedName) {
  CFixFileInfoDlg dlg;
  ASSERT_TRUE(dlg.Create(IDD_RENAME, nullptr));
  dlg.ShowWindow(SW_SHOW);
  PumpAll();
  CString t = u"x";
  dlg.m_edit.GetWindowText(t);
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(::GetFocus(), dlg.m_edit.m_hWnd);
  EXPECT_TRUE(SaveWindowPng(dlg.m_hWnd, std::string(KESTREL_RESULTS_SHOT_DIR) + "/rename_dialog.png"));
  dlg.m_edit.SetWindowText(u"holiday 2.jpg");
  dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(IsDialogEnded(dlg.m_hWnd));
  EXPECT_EQ(dlg.m_newName, CString(u"holiday 2.jpg"));
  dlg.DestroyWindow();
}

}  // namespace
