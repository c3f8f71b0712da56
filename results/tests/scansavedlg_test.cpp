// The saved-scan list and the move to another device: rows of the scans whose data file exists,
// deletion by the entry's own index position, columns by brand, the resume checks by target
// kind, the device picker's offer and answer, the copy with the new identity (and nothing
// changed when it fails), and the language texts the dialogs look up.
#include "results/scansavedlg.h"

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "base/pathutil.h"
#include "core/devicelists.h"
#include "dialogs/scantargets.h"
#include "platform/fileio.h"
#include "platform/textconv.h"
#include "results/tests/dlgtestenv.h"

namespace {

using dlgtest::Box;

std::vector<uint8_t> Bytes(const CString& path) {
  std::ifstream f(path.ToUtf8(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}
void PutBytes(const CString& path, const std::vector<uint8_t>& b) {
  std::ofstream f(path.ToUtf8(), std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void PutUtf16(std::vector<uint8_t>& b, std::u16string_view s) {
  for (char16_t c : s) b.push_back(uint8_t(c)), b.push_back(uint8_t(c >> 8));
}
// A data file: magic, identity, then a tail that a copy must keep byte for byte.
std::vector<uint8_t> DataFile(const char* magic, std::u16string_view identity, size_t tail) {
  std::vector<uint8_t> b(magic, magic + 4);
  PutU32(b, uint32_t(identity.size() * 2));
  PutUtf16(b, identity);
  for (size_t i = 0; i < tail; ++i) b.push_back(uint8_t(i * 7 + 1));
  return b;
}

std::vector<CString>& Plain() {
  static std::vector<CString> p;
  return p;
}
void RecordPlain(const CString& text) { Plain().push_back(text); }

VolumeContext Device(const char16_t* name, const char16_t* model, const char16_t* path, uint64_t sectors) {
  VolumeContext v;
  v.name = name;
  v.diskModel = model;
  v.devicePath = path;
  v.volumePath = path;
  v.firstLba = 2048;
  v.sectorCount = sectors;
  v.deviceSectors = sectors + 4096;
  v.targetKind = kTargetDisk;
  return v;
}

class ScanSaveDialog : public dlgtest::DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    char t[] = "/tmp/kestrel-scansave-XXXXXX";
    dir_ = mkdtemp(t);
    SetProgramDirOverride(CString(Utf8ToUtf16(dir_)));
    RegisterScanSaveTemplates();
    TargetChooserHooks hooks;
    hooks.plainMessage = &RecordPlain;
    SetTargetChooserHooks(hooks);
    Plain().clear();
    ClearDeviceLists();
  }
  void TearDown() override {
    Close();
    ClearDeviceLists();
    SetTargetChooserHooks(TargetChooserHooks{});
    SetProgramDirOverride(CString());
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    DialogTest::TearDown();
  }
  // A saved scan of a disk, with its data file.
  CString Save(const char* file, const char16_t* when, uint32_t kind = 2, uint32_t targetKind = kTargetDisk,
               const CString& source = CString()) {
    const CString path = JoinPath(GetScanSaveFolder(), CString(Utf8ToUtf16(file)));
    ScanSaveSource s;
    s.target = Device(u"Disk 1", u"Kscan Image", u"/dev/kscan1", 1 << 20);
    s.target.operation = kind;
    s.target.targetKind = targetKind;
    s.target.sourcePath = source;
    s.regionEnd = 4 * 16384;
    s.blockReads = 4;
    s.blockReadFailures = 1;
    EXPECT_TRUE(AppendScanSaveEntry(path, s));
    PutBytes(path, DataFile("QZD4", u"Kscan Image", 600));
    std::vector<ScanSaveEntry> all;
    ReadIndex(all);
    std::memset(all.back().savedAt, 0, sizeof all.back().savedAt);
    std::memcpy(all.back().savedAt, when, std::char_traits<char16_t>::length(when) * 2);
    EXPECT_TRUE(WriteScanSaveIndex(all));
    return path;
  }
  static void ReadIndex(std::vector<ScanSaveEntry>& all) {
    const std::vector<uint8_t> b = Bytes(GetScanSaveIndexPath());
    all.resize(b.size() < 8 ? 0 : (b.size() - 8) / sizeof(ScanSaveEntry));
    if (!all.empty()) std::memcpy(all.data(), b.data() + 8, all.size() * sizeof(ScanSaveEntry));
  }
  template <typename Dlg = CScanSaveDlg>
  Dlg& Open() {
    auto d = std::make_unique<Dlg>();
    Dlg& ref = *d;
    dlg_ = std::move(d);
    dlg_->m_present = {Device(u"DISK 1", u"kscan image", u"/DEV/KSCAN1", 1 << 20)};
    EXPECT_TRUE(dlg_->Create(IDD_SCAN_SAVE, nullptr));
    dlg_->ShowWindow(SW_SHOW);
    PumpAll();
    return ref;
  }
  void Close() {
    if (dlg_ && dlg_->m_hWnd) dlg_->DestroyWindow();
    dlg_.reset();
  }
  void Select(CSkinListCtrl& list, int row) {
    list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.SetSelectionMark(row);
  }
  void Click(CWnd& dlg, UINT id) {
    dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    PumpAll();
  }
  int Columns() { return dlg_->m_list.GetHeaderCtrl()->GetItemCount(); }

  std::string dir_;
  std::unique_ptr<CScanSaveDlg> dlg_;
};

TEST_F(ScanSaveDialog, RowsAreTheScansWithDataAndDeleteRemovesTheChosenOne) {
  const CString a = Save("Save_a.dat", u"2026-01-01 10:00:00");
  const CString b = Save("Save_b.dat", u"2026-01-02 10:00:00");
  const CString c = Save("Save_c.dat", u"2026-01-03 10:00:00");
  const std::vector<uint8_t> bBytes = Bytes(b);
  ASSERT_EQ(unlink(b.ToUtf8().c_str()), 0);
  Open();
  ASSERT_EQ(dlg_->m_list.GetItemCount(), 2);
  EXPECT_EQ(dlg_->m_list.GetItemText(0, 0), CString(u"2026-01-01 10:00:00"));
  EXPECT_EQ(dlg_->m_list.GetItemText(1, 0), CString(u"2026-01-03 10:00:00"));
  EXPECT_EQ(dlg_->m_list.GetItemText(1, 5), c);
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, std::string(KESTREL_RESULTS_SHOT_DIR) + "/saved_scans.png"));

  Click(*dlg_, IDC_SS_DELETE);
  ASSERT_EQ(Box().texts.size(), 1u);
  EXPECT_EQ(Box().texts[0], CString(u"choose one"));
  // The middle scan's file comes back while the list is open: the second row still means c.
  PutBytes(b, bBytes);
  Select(dlg_->m_list, 1);
  Box() = dlgtest::Boxes{};
  Click(*dlg_, IDC_SS_DELETE);  // answered "No"
  EXPECT_TRUE(std::filesystem::exists(c.ToUtf8()));
  Box().answers = {true};
  Click(*dlg_, IDC_SS_DELETE);
  EXPECT_EQ(Box().texts.back(), CString(u"deleted"));
  EXPECT_EQ(Box().texts[1], CString(u"delete 2026-01-03 10:00:00?"));
  EXPECT_FALSE(std::filesystem::exists(c.ToUtf8()));
  EXPECT_TRUE(std::filesystem::exists(a.ToUtf8()));
  EXPECT_TRUE(std::filesystem::exists(b.ToUtf8()));
  EXPECT_EQ(dlg_->m_list.GetItemCount(), 1);
  ASSERT_EQ(dlg_->m_entries.size(), 1u);
  std::vector<ScanSaveEntry> all;
  ReadIndex(all);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(EntryText(all[0].dataPath), a);
  EXPECT_EQ(EntryText(all[1].dataPath), b);

  // The index changed behind the list (a's entry gone): the row no longer names the entry at
  // its position, so nothing is deleted.
  all.erase(all.begin());
  ASSERT_TRUE(WriteScanSaveIndex(all));
  Select(dlg_->m_list, 0);
  Box() = dlgtest::Boxes{};
  Box().answers = {true};
  Click(*dlg_, IDC_SS_DELETE);
  EXPECT_EQ(Box().texts.back(), CString(u"not deleted"));
  EXPECT_TRUE(std::filesystem::exists(a.ToUtf8()));
  EXPECT_TRUE(std::filesystem::exists(b.ToUtf8()));
  EXPECT_EQ(dlg_->m_list.GetItemCount(), 1);
}

TEST_F(ScanSaveDialog, ColumnsAndButtonsByBrand) {
  Save("Save_a.dat", u"2026-01-01 10:00:00", 1);
  Save("Save_b.dat", u"2026-01-02 10:00:00", 7);
  Open();
  EXPECT_EQ(Columns(), 6);
  EXPECT_EQ(dlg_->m_list.GetItemText(0, 1), CString(u"深度恢复"));
  EXPECT_EQ(dlg_->m_list.GetItemText(1, 1), CString());
  EXPECT_EQ(dlg_->m_list.GetItemText(0, 2), CString(u"100%"));
  EXPECT_EQ(dlg_->m_list.GetItemText(0, 3), CString(u"75%"));
  EXPECT_EQ(dlg_->m_list.GetItemText(0, 4), CString(u"Disk 1"));
  EXPECT_TRUE(dlg_->m_btnModify.IsWindowVisible());
  Close();
  UseBrand(u"Ostrel");
  Open();
  EXPECT_EQ(Columns(), 5);
  EXPECT_EQ(dlg_->m_list.GetItemText(0, 1), CString(u"100%"));
  EXPECT_FALSE(dlg_->m_btnModify.IsWindowVisible());
}

TEST_F(ScanSaveDialog, ResumeChecksWhatTheScanNeeds) {
  const std::string folder = dir_ + "/photos", image = dir_ + "/disk.img";
  std::filesystem::create_directory(folder);
  PutBytes(CString(Utf8ToUtf16(image)), {1, 2, 3});
  const CString data = Save("Save_a.dat", u"2026-01-01 10:00:00");
  Open();
  const CString missing = CString(Utf8ToUtf16(dir_ + "/gone"));
  const struct {
    uint32_t targetKind;
    CString source;
    const char16_t* model;
    bool dataThere;
    int result;
    CString message;
  } cases[] = {
      {kTargetFolder, CString(Utf8ToUtf16(folder)), u"", true, 1, CString()},
      {kTargetFolder, missing, u"", true, 0, CString(u"no source") + missing},
      {kTargetDesktop, CString(Utf8ToUtf16(folder)), u"", true, 1, CString()},
      {kTargetImage, CString(Utf8ToUtf16(image)), u"", true, 1, CString()},
      {kTargetImage, missing, u"", true, 0, CString(u"no source") + missing},
      {kTargetDisk, CString(), u"KSCAN IMAGE", true, 1, CString()},
      {kTargetDrive, CString(), u"Kscan Image", true, 1, CString()},
      {kTargetDisk, CString(), u"Kscan Image 2", true, 0, CString(u"no device")},
      {kTargetDisk, CString(), u"Kscan Image", false, 0, CString(u"no data file") + missing},
  };
  for (const auto& c : cases) {
    ScanSaveEntry& e = dlg_->m_entries.at(0);
    e.targetKind = c.targetKind;
    std::memset(e.sourcePath, 0, sizeof e.sourcePath);
    std::memcpy(e.sourcePath, c.source.GetString(), size_t(c.source.GetLength()) * 2);
    std::memset(e.model, 0, sizeof e.model);
    std::memcpy(e.model, c.model, std::char_traits<char16_t>::length(c.model) * 2);
    const CString path = c.dataThere ? data : missing;
    std::memset(e.dataPath, 0, sizeof e.dataPath);
    std::memcpy(e.dataPath, path.GetString(), size_t(path.GetLength()) * 2);
    Box().texts.clear();
    EXPECT_EQ(dlg_->CheckEntry(0), c.result) << c.targetKind << " " << c.source.ToUtf8();
    if (c.message.IsEmpty()) {
      EXPECT_TRUE(Box().texts.empty());
    } else {
      ASSERT_EQ(Box().texts.size(), 1u);
      EXPECT_EQ(Box().texts[0], c.message);
    }
  }
  Box().texts.clear();
  EXPECT_EQ(dlg_->CheckEntry(1), 0);
  EXPECT_EQ(dlg_->CheckEntry(-1), 0);
  EXPECT_TRUE(Box().texts.empty());
}

TEST_F(ScanSaveDialog, ResumeEndsWithTheChosenRowAndThePanelFindsItsTarget) {
  const CString data = Save("Save_a.dat", u"2026-01-01 10:00:00");
  Open();
  Select(dlg_->m_list, 0);
  Click(*dlg_, IDOK);  // answered "No"
  EXPECT_FALSE(IsDialogEnded(dlg_->m_hWnd));
  EXPECT_EQ(Box().texts.back(), CString(u"resume 2026-01-01 10:00:00?"));
  Box().answers = {true};
  Click(*dlg_, IDOK);
  EXPECT_TRUE(IsDialogEnded(dlg_->m_hWnd));
  EXPECT_EQ(dlg_->m_chosen, 0);

  // The panel's lookup reads the same index.
  InstallSavedScanChooser();
  std::vector<SavedScanRef> refs;
  ASSERT_TRUE(GetTargetChooserHooks().loadScanSaveIndex(refs));
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_EQ(refs[0].timeText, CString(u"2026-01-01 10:00:00"));
  EXPECT_EQ(refs[0].dataFile, data);
  EXPECT_EQ(refs[0].devicePath, CString(u"/dev/kscan1"));
  EXPECT_EQ(refs[0].scanKind, 2u);
}

TEST_F(ScanSaveDialog, ThePickerOffersLargeDrivesAndDisksAndAnswersWithTheKind) {
  DriveList() = {Device(u"E:", u"", u"/dev/small", 0x3FFFFF), Device(u"F:", u"", u"/dev/big", 0x400000)};
  DiskList() = {Device(u"Disk 0", u"Model Zero", u"/dev/disk0", 1 << 24)};
  CFixSaveDataDlg picker;
  picker.m_currentName = u"Disk 1";
  picker.m_currentModel = u"Kscan Image";
  ASSERT_TRUE(picker.Create(IDD_FIX_SAVE_DATA, nullptr));
  picker.ShowWindow(SW_SHOW);
  PumpAll();
  ASSERT_EQ(picker.m_list.GetItemCount(), 2);
  EXPECT_EQ(picker.m_list.GetItemText(0, 0), CString(u"F:"));
  EXPECT_EQ(picker.m_list.GetItemText(1, 1), CString(u"Model Zero"));
  EXPECT_EQ(picker.m_name.m_text, CString(u"当前用户描述：Disk 1"));
  EXPECT_EQ(picker.m_model.m_text, CString(u"当前设备描述：Kscan Image"));
  EXPECT_TRUE(SaveWindowPng(picker.m_hWnd, std::string(KESTREL_RESULTS_SHOT_DIR) + "/move_saved_scan.png"));

  Click(picker, IDC_FSD_APPLY);
  EXPECT_EQ(Box().texts.back(), CString(u"请选择一个设备！"));
  Select(picker.m_list, 1);
  Click(picker, IDC_FSD_APPLY);  // the confirmation answered "Cancel"
  EXPECT_FALSE(IsDialogEnded(picker.m_hWnd));
  // Keys are looked up without case: "Ok" finds "OK", so the box has its two buttons.
  EXPECT_EQ(Box().firstCaptions.back(), CString(u"OK"));
  Box().answers = {true};
  Click(picker, IDC_FSD_APPLY);
  EXPECT_TRUE(IsDialogEnded(picker.m_hWnd));
  EXPECT_EQ(picker.m_chosen.kind, RetargetDevice::kDisk);
  EXPECT_EQ(picker.m_chosen.position, 0u);
  picker.DestroyWindow();
}

TEST_F(ScanSaveDialog, MovingCopiesTheDataFileWithTheNewIdentity) {
  const CString old = Save("Save_a.dat", u"2026-01-01 10:00:00", 3, kTargetDisk, u"/src");
  const std::vector<uint8_t> oldBytes = Bytes(old);
  std::vector<ScanSaveEntry> list;
  ASSERT_TRUE(LoadScanSaveIndex(list));
  const ScanSaveEntry before = list[0];
  const VolumeContext target = Device(u"Disk 7", u"New Model", u"/dev/disk7", 1 << 22);
  const CString moved = JoinPath(GetScanSaveFolder(), u"Save_20260202_020202.dat");
  EXPECT_EQ(RetargetScanSave(list, 1, target, moved), 0);
  ASSERT_EQ(RetargetScanSave(list, 0, target, moved), 1);

  std::vector<uint8_t> want = DataFile("QZD4", u"New Model", 0);
  want.insert(want.end(), oldBytes.begin() + 8 + 22, oldBytes.end());
  EXPECT_EQ(Bytes(moved), want);
  EXPECT_EQ(Bytes(old), oldBytes) << "the old data file stays";
  std::vector<ScanSaveEntry> all;
  ReadIndex(all);
  ASSERT_EQ(all.size(), 1u);
  const ScanSaveEntry& e = all[0];
  EXPECT_EQ(EntryText(e.dataPath), moved);
  EXPECT_EQ(EntryText(e.name), CString(u"Disk 7"));
  EXPECT_EQ(EntryText(e.model), CString(u"New Model"));
  EXPECT_EQ(EntryText(e.devicePath), CString(u"/dev/disk7"));
  EXPECT_EQ(e.regionStart, 2048u);
  EXPECT_EQ(e.regionLength, uint64_t(1) << 22);
  EXPECT_EQ(e.deviceSectors, (uint64_t(1) << 22) + 4096);
  EXPECT_NE(EntryText(e.savedAt), EntryText(before.savedAt));
  EXPECT_EQ(e.operation, 3u);
  EXPECT_EQ(e.targetKind, uint32_t(kTargetDisk));
  EXPECT_EQ(EntryText(e.sourcePath), CString(u"/src"));
  EXPECT_EQ(EntryText(e.donePercent), EntryText(before.donePercent));
  EXPECT_EQ(EntryText(e.readPercent), EntryText(before.readPercent));
}

TEST_F(ScanSaveDialog, AFailedMoveChangesNothing) {
  const CString old = Save("Save_a.dat", u"2026-01-01 10:00:00");
  const VolumeContext target = Device(u"Disk 7", u"New Model", u"/dev/disk7", 1 << 22);
  const CString moved = JoinPath(GetScanSaveFolder(), u"Save_20260202_020202.dat");
  std::vector<ScanSaveEntry> list;
  ASSERT_TRUE(LoadScanSaveIndex(list));
  const std::vector<uint8_t> index = Bytes(GetScanSaveIndexPath());
  VolumeContext longPath = target;
  longPath.devicePath = CString(std::u16string(200, u'p'));
  const struct {
    const char* why;
    std::vector<uint8_t> data;
    VolumeContext device;
  } cases[] = {
      {"not a data file", DataFile("QZD5", u"Kscan Image", 600), target},
      {"an identity running past the end", [] {
         std::vector<uint8_t> b = DataFile("QZD4", u"Kscan Image", 600);
         b[4] = 0xFF, b[5] = 0xFF;
         return b;
       }(), target},
      {"a device path longer than its field", DataFile("QZD4", u"Kscan Image", 600), longPath},
  };
  for (const auto& c : cases) {
    PutBytes(old, c.data);
    std::vector<ScanSaveEntry> copy = list;
    EXPECT_EQ(RetargetScanSave(copy, 0, c.device, moved), 0) << c.why;
    EXPECT_EQ(Bytes(GetScanSaveIndexPath()), index) << c.why;
    EXPECT_FALSE(std::filesystem::exists(moved.ToUtf8())) << c.why;
    EXPECT_EQ(std::memcmp(copy.data(), list.data(), sizeof(ScanSaveEntry)), 0) << c.why;
    for (const auto& f : std::filesystem::directory_iterator(GetScanSaveFolder().ToUtf8()))
      EXPECT_EQ(f.path().filename().string().find(".dat") == std::string::npos ||
                    f.path().filename() == "Save_a.dat",
                true)
          << "a partial copy stays behind: " << f.path();
  }
}

// The move as the user makes it, with the device picker answered.
class PickingScanSaveDlg : public CScanSaveDlg {
 public:
  bool PickRetargetDevice(const ScanSaveEntry&, RetargetDevice& out) override {
    out = answer;
    return true;
  }
  RetargetDevice answer;
};

TEST_F(ScanSaveDialog, MoveFromTheListRefillsItOrReportsTheFailure) {
  Save("Save_a.dat", u"2026-01-01 10:00:00");
  DiskList() = {Device(u"Disk 0", u"Model Zero", u"/dev/disk0", 1 << 24)};
  PickingScanSaveDlg& dlg = Open<PickingScanSaveDlg>();
  Select(dlg.m_list, 0);
  // A position beyond the list the discovery left.
  dlg.answer = {RetargetDevice::kDisk, 1};
  Click(dlg, IDC_SS_FIX);
  ASSERT_EQ(Plain().size(), 1u);
  EXPECT_EQ(Plain()[0], CString(u"修改扫描进度失败！"));
  // A drive position is never read as a disk: no drives, so it fails too.
  dlg.answer = {RetargetDevice::kDrive, 0};
  Click(dlg, IDC_SS_FIX);
  EXPECT_EQ(Plain().back(), CString(u"修改扫描进度失败！"));
  dlg.answer = {RetargetDevice::kDisk, 0};
  Click(dlg, IDC_SS_FIX);
  EXPECT_EQ(Plain().back(), CString(u"修改扫描进度成功！"));
  ASSERT_EQ(dlg.m_list.GetItemCount(), 1);
  EXPECT_EQ(dlg.m_list.GetItemText(0, 4), CString(u"Disk 0"));
  EXPECT_NE(dlg.m_list.GetItemText(0, 5).Find(u"Save_"), -1);
  EXPECT_NE(dlg.m_list.GetItemText(0, 5), JoinPath(GetScanSaveFolder(), u"Save_a.dat"));
}

TEST(ShippedLanguage, HoldsEveryKeyTheSearchAndSavedScanDialogsLookUp) {
  std::ifstream f(std::string(KESTREL_SOURCE_DIR) + "/resources/archive/Lang/English.txt");
  std::string line, all;
  // Keys are found without regard to case.
  while (std::getline(f, line)) {
    for (char& ch : line) ch = char(std::toupper(uint8_t(ch)));
    all += "\n" + line;
  }
  for (const char* key :
       {"FileSearchSet", "InputNameKey", "FileBigSize", "CreateBigTime", "FixBigTime", "OK", "Cancel",
        "InputFileSizeErr", "FileSizeErr", "FileCreateTimeErr", "FileFixTimeErr", "FileAccessTimeErr", "Rename",
        "FileBigName", "LoadScanSave", "Delete", "Fix", "Resume", "SelScanSave", "LoadSSFNoSave", "LoadSSFNoLocal",
        "LoadSSFNoDev", "SureLoadScanSave", "SureDelScanSave", "Yes", "No", "DelOK", "DelFailed", "Ok",
        "ScanSaveTime", "RecoveryMode", "PercentScanned", "ReadSuccessRate", "DevDesc", "SavePath"}) {
    std::string k(key);
    for (char& ch : k) ch = char(std::toupper(uint8_t(ch)));
    EXPECT_NE(all.find("\n" + k + ":"), std::string::npos) << key;
  }
}

}  // namespace
