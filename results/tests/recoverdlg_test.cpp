// The recovery options dialog: the folder checks in their order (the source volume, disk or
// image included), the policies it returns, the advanced part, refusals keeping it open, the
// folder picker and the folder remembered from one recovery to the next.
#include <unistd.h>

#include "core/volumecontext.h"
#include "platform/fileio.h"
#include "platform/storage.h"
#include "platform/wnd/commdlg.h"
#include "results/recoverdlg.h"
#include "results/tests/recovery_test_util.h"

namespace recovery_test {
namespace {

namespace fs = std::filesystem;

// Devices as on the machine; the free space of every folder is what the test says.
class SpaceBackend : public StorageBackend {
 public:
  std::shared_ptr<StorageDevice> Open(const CString& path, DWORD* err) override {
    return LinuxStorageBackend().Open(path, err);
  }
  bool VolumeSpace(const CString&, uint64_t* freeBytes, uint64_t* totalBytes) override {
    *freeBytes = free;
    *totalBytes = free * 2;
    return free != 0;
  }
  uint64_t free = 0;
};

CString Host(const fs::path& p) { return CString(FromHostPath(p.string())); }

class RecoverOptionsTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    RegisterSaveParamTemplate();
    char tmpl[] = "/tmp/kestrel-recoverdlg-XXXXXX";
    root_ = mkdtemp(tmpl);
    fs::create_directories(root_ / "out");
    fs::create_directories(root_ / "dout");
    std::ofstream(root_ / "disk.img") << std::string(4096, 'x');
    SetStorageBackend(&space_);
    SetScanTarget(VolumeContext());
    SetRememberedRecoverFolder(CString());
  }
  void TearDown() override {
    if (dlg_ && dlg_->m_hWnd) dlg_->DestroyWindow();
    dlg_.reset();
    SetStorageBackend(nullptr);
    SetScanTarget(VolumeContext());
    SetRememberedRecoverFolder(CString());
    fs::remove_all(root_);
    DialogTest::TearDown();
  }
  CSaveParamDlg& Open(uint64_t required = 0) {
    if (dlg_ && dlg_->m_hWnd) dlg_->DestroyWindow();
    dlg_ = std::make_unique<CSaveParamDlg>(&main_);
    dlg_->m_requiredBytes = required;
    EXPECT_TRUE(dlg_->Create(IDD_SAVE_PARAM, &main_));
    dlg_->ShowWindow(SW_SHOW);
    PumpAll();
    return *dlg_;
  }
  void Click(UINT id) {
    dlg_->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(::GetDlgItem(dlg_->m_hWnd, int(id))));
    PumpAll();
  }
  void ClickRadio(UINT id) {
    HWND b = ::GetDlgItem(dlg_->m_hWnd, int(id));
    ASSERT_NE(b, nullptr);
    SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    PumpAll();
  }
  void Type(const CString& folder) { dlg_->m_edit.SetWindowText(folder); }
  static CString Text(const CWnd& w) {
    CString t;
    w.GetWindowText(t);
    return t;
  }
  bool Checked(UINT id) const { return IsDlgButtonChecked(dlg_->m_hWnd, int(id)) != 0; }
  bool Ended() const { return IsDialogEnded(dlg_->m_hWnd); }
  int Height() const {
    RECT r{};
    dlg_->GetWindowRect(&r);
    return r.bottom - r.top;
  }

  fs::path root_;
  SpaceBackend space_;
  std::unique_ptr<CSaveParamDlg> dlg_;
};

TEST_F(RecoverOptionsTest, FolderChecksInTheirOrder) {
  // A relative folder whose first letter names a drive, for the lettered-volume test.
  const fs::path cwd = fs::current_path();
  fs::current_path(root_);
  const CString imageTarget = Host(root_ / "disk.img");
  const struct {
    const char* what;
    const char16_t* volumePath;  // the scan target's volume path
    bool imageSource;            // the scan target is the image file disk.img
    CString folder;
    uint64_t required, free;
    const char16_t* want;
  } cases[] = {
      {"empty", u"\\\\.\\D:", true, u"", 1ull << 40, 1, u"NeedSaveDir"},
      {"missing", u"\\\\.\\D:", true, Host(root_ / "missing"), 1ull << 40, 1, u"SaveDirErr"},
      {"too long for the job", nullptr, false, Host(root_ / std::string(300, 'a')), 0, 0, u"SaveDirErr"},
      // Letters compare upper-cased; another letter is another volume.
      {"on drive D", u"\\\\.\\D:", false, u"dout", 1ull << 40, 1, u"SaveDirInRecoverPart"},
      {"not on drive E", u"\\\\.\\E:", false, u"dout", 0, 0, u""},
      {"short volume path", u"\\\\.\\", false, u"dout", 0, 0, u""},
      // A host device path as the volume path names no letter; nor does a lettered path
      // whose "letter" is not one.
      {"host volume path", u"/dev/sdb1", false, Host(root_ / "out"), 0, 0, u""},
      {"no letter", u"\\\\.\\/:", false, Host(root_ / "out"), 0, 0, u""},
      // A whole disk or an image has no letter: where the folder lies decides.
      {"the image itself", nullptr, true, imageTarget, 1ull << 40, 1, u"SaveDirInRecoverPart"},
      {"beside the image", nullptr, true, Host(root_ / "out"), 0, 0, u""},
      // Free space: below (required / 100) * 103 fails; unknown (0) passes.
      {"too small", nullptr, false, Host(root_ / "out"), 10000, 10299, u"SavePartSmall"},
      {"just enough", nullptr, false, Host(root_ / "out"), 10000, 10300, u""},
      {"space unknown", nullptr, false, Host(root_ / "out"), 1ull << 40, 0, u""},
      {"under 100 bytes", nullptr, false, Host(root_ / "out"), 99, 1, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    VolumeContext t;
    if (c.volumePath) t.volumePath = c.volumePath;
    if (c.imageSource) {
      t.devicePath = imageTarget;
      t.sourcePath = imageTarget;
      t.targetKind = kTargetImage;
      t.diskNumber = kImageDiskNumber;
    }
    SetScanTarget(t);
    space_.free = c.free;
    EXPECT_EQ(SaveDirRefusal(c.folder, c.required), CString(c.want));
  }
  fs::current_path(cwd);
}

TEST_F(RecoverOptionsTest, OpensWithTheRememberedFolderAndReturnsEveryPolicy) {
  SetRememberedRecoverFolder(Host(root_ / "out"));
  Open();
  EXPECT_EQ(dlg_->m_title, CString(u"Preparing files for recovery..."));
  CString text;
  dlg_->m_edit.GetWindowText(text);
  EXPECT_EQ(text, Host(root_ / "out"));
  EXPECT_EQ(dlg_->m_note.m_text, CString(u"Choose the folder to recover the files into:"));
  EXPECT_EQ(Text(dlg_->m_btnSelDir), CString(u"Browse..."));
  // Both policies start at 1; the advanced button is hidden in this edition.
  EXPECT_TRUE(Checked(IDC_SAVEPARAM_EXISTS_FIRST + 1));
  EXPECT_TRUE(Checked(IDC_SAVEPARAM_ERROR_FIRST + 1));
  EXPECT_FALSE(dlg_->m_btnAdvanced.IsWindowVisible());
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, ShotPath("recover_options.png")));
  Click(IDOK);
  ASSERT_TRUE(Ended());
  RecoverOptions o = dlg_->Options();
  EXPECT_EQ(o.folder, Host(root_ / "out"));
  EXPECT_EQ(o.existsChoice, uint32_t(kExistsOverwrite));
  EXPECT_EQ(o.errorChoice, uint32_t(kErrorKeepPart));

  // Every pair of choices comes back as picked.
  for (uint32_t exists = 0; exists < 3; ++exists) {
    for (uint32_t error = 0; error < 3; ++error) {
      SCOPED_TRACE(testing::Message() << exists << "/" << error);
      Open();
      ClickRadio(IDC_SAVEPARAM_EXISTS_FIRST + exists);
      ClickRadio(IDC_SAVEPARAM_ERROR_FIRST + error);
      // One choice per group.
      for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Checked(IDC_SAVEPARAM_EXISTS_FIRST + i), i == exists);
        EXPECT_EQ(Checked(IDC_SAVEPARAM_ERROR_FIRST + i), i == error);
      }
      Click(IDOK);
      ASSERT_TRUE(Ended());
      o = dlg_->Options();
      EXPECT_EQ(o.existsChoice, exists);
      EXPECT_EQ(o.errorChoice, error);
    }
  }
}

TEST_F(RecoverOptionsTest, RefusalsKeepItOpenAndOnlyOkRemembersTheFolder) {
  Open(1000);
  Type(u"");
  Click(IDOK);
  EXPECT_FALSE(Ended());
  Type(Host(root_ / "missing"));
  Click(IDOK);
  EXPECT_FALSE(Ended());
  EXPECT_EQ(TheBoxes().Take(), (std::vector<CString>{u"Please choose a folder to recover the files into.",
                                                      u"The folder does not exist. Please choose another folder."}));
  EXPECT_EQ(GetRememberedRecoverFolder(), CString());
  Type(Host(root_ / "out"));
  Click(IDOK);
  EXPECT_TRUE(Ended());
  EXPECT_TRUE(TheBoxes().Take().empty());
  EXPECT_EQ(GetRememberedRecoverFolder(), Host(root_ / "out"));

  // The next dialog offers it; Cancel keeps it as it was.
  Open();
  Type(Host(root_ / "dout"));
  Click(IDCANCEL);
  EXPECT_TRUE(Ended());
  EXPECT_EQ(GetRememberedRecoverFolder(), Host(root_ / "out"));
}

TEST_F(RecoverOptionsTest, ThePickerFillsTheFolder) {
  Open();
  const CString chosen = Host(root_ / "dout");
  PushPickerAnswerForTest(&chosen);
  Click(IDC_SAVEPARAM_SELDIR);
  CString text;
  dlg_->m_edit.GetWindowText(text);
  EXPECT_EQ(text, chosen);
  // Cancelled: the text stays.
  PushPickerAnswerForTest(nullptr);
  Click(IDC_SAVEPARAM_SELDIR);
  dlg_->m_edit.GetWindowText(text);
  EXPECT_EQ(text, chosen);
}

class RecoverOptionsAdvanced : public RecoverOptionsTest {
 protected:
  CString EditionValues() const override { return u"Default-ShowSaveSet: 1\r\n"; }
};

TEST_F(RecoverOptionsAdvanced, TheAdvancedPartOpensAndClosesWithItsMessageEachTime) {
  Open();
  ASSERT_TRUE(dlg_->m_btnAdvanced.IsWindowVisible());
  const int collapsed = Height();
  const CString advice = u"These settings are for experienced users; most recoveries need no change here.";
  for (int round = 0; round < 2; ++round) {
    Click(IDC_SAVEPARAM_ADVANCED);
    EXPECT_EQ(Height(), collapsed + kSaveParamAdvancedHeight);
    EXPECT_EQ(Text(dlg_->m_btnAdvanced), CString(u"Basic"));
    EXPECT_EQ(TheBoxes().Take(), std::vector<CString>{advice});
    if (round == 0) {
      PumpAll();
      EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, ShotPath("recover_options_advanced.png")));
    }
    Click(IDC_SAVEPARAM_ADVANCED);
    EXPECT_EQ(Height(), collapsed);
    EXPECT_EQ(Text(dlg_->m_btnAdvanced), CString(u"Advanced"));
    EXPECT_TRUE(TheBoxes().Take().empty());
  }
}

}  // namespace
}  // namespace recovery_test
