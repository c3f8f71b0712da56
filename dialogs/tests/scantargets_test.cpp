// Targets named by the user: folders resolved to the drive that holds them, image files checked
// by size, area names parsed, one target per chooser kind, and the saved-scan lookup.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "dialogs/devpanel.h"
#include "dialogs/scantargets.h"
#include "platform/hooks.h"
#include "platform/wnd/commdlg.h"
#include "platform/wnd/wnd.h"

namespace {

std::vector<CString>& Plain() {
  static std::vector<CString> v;
  return v;
}
std::vector<CString>& Boxes() {
  static std::vector<CString> v;
  return v;
}

VolumeContext Drive(char16_t letter) {
  VolumeContext e;
  e.mark = 1;
  e.targetKind = kTargetDrive;
  e.driveLetter = letter;
  e.volumePath = FormatCString(u"\\\\.\\%c:", letter);
  e.devicePath = e.volumePath;
  e.sectorCount = e.deviceSectors = 4096;
  return e;
}

class ScanTargets : public testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n",
                        u"SelInvalidScanDir: Not a folder of a listed drive\r\nImgTooSmall: Too small\r\n"
                        u"OpenFileFailed: Cannot open\r\nLoadScanSaveFailed: Saved scan gone\r\n"
                        u"PleaseSelScanDev: Select a device\r\nPleaseSelSchedule: Select a saved scan\r\n"
                        u"Desktop: Desktop\r\nRecycleBin: Recycle Bin\r\n");
    Plain().clear();
    Boxes().clear();
    TargetChooserHooks hooks;
    hooks.plainMessage = [](const CString& t) { Plain().push_back(t); };
    SetTargetChooserHooks(hooks);
    SetMessageBoxHandler([](const CString& t, const CString&, const CString&) {
      Boxes().push_back(t);
      return false;
    });
    char tmpl[] = "/tmp/kestrel-targets-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    SetTargetChooserHooks(TargetChooserHooks());
    SetMessageBoxHandler(nullptr);
    unsetenv("KESTREL_MACHINE");
    (void)!system(("rm -rf '" + dir_ + "'").c_str());
  }
  // A machine whose drives C, E and F are mounted at /, /media/e and /media/e/inner.
  void DescribeMounts() {
    const std::string img = dir_ + "/d.img";
    std::ofstream(img).close();
    (void)!truncate(img.c_str(), 1 << 20);
    std::ofstream(dir_ + "/m.json") << R"({"disks":[{"image":"d.img"}],"drives":[
        {"letter":"C","image":"d.img","mount":"/"},
        {"letter":"E","image":"d.img","mount":"/media/e"},
        {"letter":"F","image":"d.img","mount":"/media/e/inner/"}]})";
    setenv("KESTREL_MACHINE", (dir_ + "/m.json").c_str(), 1);
  }
  std::string dir_;
};

TEST_F(ScanTargets, FoldersResolveToTheDriveThatHoldsThem) {
  DescribeMounts();
  const std::vector<VolumeContext> list{Drive(u'C'), Drive(u'E'), Drive(u'F')};
  const struct {
    const char16_t* path;
    char16_t letter;  // 0: refused
  } cases[] = {
      {u"/media/e/photos", u'E'},     {u"/media/e", u'E'},      {u"/media/e/inner/x", u'F'},
      {u"/media/ee/x", u'C'},         {u"/home/user", u'C'},    {u"e:\\Photos", u'E'},
      {u"G:\\Photos", 0},             {u"\\\\server\\share", 0}, {u"C:", 0},
      {u"relative/dir", 0},
  };
  for (const auto& c : cases) {
    Plain().clear();
    VolumeContext out;
    const int r = ResolveFolderTarget(list, c.path, out);
    EXPECT_EQ(r, c.letter ? 1 : 0) << CString(c.path).ToUtf8();
    if (c.letter) {
      EXPECT_EQ(out.driveLetter, c.letter) << CString(c.path).ToUtf8();
    } else {
      EXPECT_EQ(Plain(), std::vector<CString>{CString(u"Not a folder of a listed drive")});
    }
  }
}

TEST_F(ScanTargets, RecycleBinTakesDriveCElseTheFirstLetteredDrive) {
  VolumeContext out;
  ASSERT_EQ(MakeRecycleBinTarget({Drive(u'D'), Drive(u'C')}, out), 1);
  EXPECT_EQ(out.driveLetter, u'C');
  EXPECT_EQ(out.targetKind, uint32_t(kTargetRecycleBin));
  EXPECT_EQ(out.sourcePath, CString(u"AllRecycleBin"));
  EXPECT_EQ(out.name, CString(u"Recycle Bin"));
  ASSERT_EQ(MakeRecycleBinTarget({Drive(u'F'), Drive(u'E')}, out), 1);
  EXPECT_EQ(out.driveLetter, u'F');
  EXPECT_EQ(MakeRecycleBinTarget({}, out), 0);
}

TEST_F(ScanTargets, DesktopFromTheUserDirs) {
  DescribeMounts();
  const std::string home = dir_ + "/home";
  (void)!system(("mkdir -p '" + home + "/.config'").c_str());
  std::ofstream(home + "/.config/user-dirs.dirs") << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
  const char* oldHome = getenv("HOME");
  const std::string keep = oldHome ? oldHome : "";
  setenv("HOME", home.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DESKTOP_DIR");
  EXPECT_EQ(DesktopFolderPath(), CString(std::string_view(home + "/Schreibtisch")));
  VolumeContext out;
  ASSERT_EQ(MakeDesktopTarget({Drive(u'C'), Drive(u'E')}, out), 1);
  EXPECT_EQ(out.targetKind, uint32_t(kTargetDesktop));
  EXPECT_EQ(out.driveLetter, u'C');
  EXPECT_EQ(out.name, CString(u"Desktop"));
  setenv("HOME", keep.c_str(), 1);
}

TEST_F(ScanTargets, ImageFilesBySize) {
  const struct {
    uint64_t bytes;
    int result;
    uint32_t removable;
  } cases[] = {
      {(8ull << 20) - 1, 0, 0},
      {8ull << 20, 1, 1},
      {(8ull << 20) + 511, 1, 1},
      {0x21C0000000ull - 0x6666666ull, 1, 1},  // 134.9 GiB
      {0x21C0000000ull, 1, 0},                 // 135 GiB
  };
  for (const auto& c : cases) {
    Boxes().clear();
    const std::string p = dir_ + "/disk.img";
    std::ofstream(p).close();
    ASSERT_EQ(truncate(p.c_str(), off_t(c.bytes)), 0);
    VolumeContext out;
    const int r = CheckDiskImageFile(CString(std::string_view(p)), out);
    EXPECT_EQ(r, c.result) << c.bytes;
    if (!r) {
      EXPECT_EQ(Boxes(), std::vector<CString>{CString(u"Too small")});
      continue;
    }
    EXPECT_EQ(out.removable, c.removable) << c.bytes;
    EXPECT_EQ(out.targetKind, uint32_t(kTargetImage));
    EXPECT_EQ(out.diskNumber, kImageDiskNumber);
    EXPECT_EQ(out.sectorCount, c.bytes / 512);
    EXPECT_EQ(out.name, CString(u"disk.img"));
  }
  VolumeContext out;
  EXPECT_EQ(CheckDiskImageFile(CString(std::string_view(dir_ + "/missing.img")), out), 0);
  EXPECT_EQ(Boxes().back(), CString(u"Cannot open"));
  EXPECT_EQ(CheckDiskImageFile(CString(std::string_view(dir_)), out), 0);  // a folder is no image
}

TEST_F(ScanTargets, AreaNames) {
  const struct {
    const char16_t* in;
    uint32_t kind;
    const char16_t* name;
    uint64_t lba;
  } cases[] = {
      {u"\\\\.\\PhysicalDrive0<2048", 2, u"\\\\.\\PhysicalDrive0", 2048},
      {u"\\\\.\\PhysicalDrive0>18446744073709551615", 3, u"\\\\.\\PhysicalDrive0", 18446744073709551615ull},
      {u"<5", 9, u"<5", 7},  // a mark in the first place is no mark
      {u"\\\\.\\C:", 9, u"\\\\.\\C:", 7},
      {u"a<x", 2, u"a", 0},
  };
  for (const auto& c : cases) {
    uint32_t kind = 9;
    CString name = c.in;
    uint64_t lba = 7;
    ParseAreaName(kind, name, lba);
    EXPECT_EQ(kind, c.kind) << CString(c.in).ToUtf8();
    EXPECT_EQ(name, CString(c.name));
    EXPECT_EQ(lba, c.lba);
  }
}

// With no picker hook set, the folder and image choosers ask the window layer's own folder
// picker and file-open dialog (answered here by their scripted answers); a cancel chooses
// nothing and keeps the earlier choice.
TEST_F(ScanTargets, WithoutHooksTheChoosersUseTheLayersPickers) {
  InitWindowLayer();
  DescribeMounts();
  CCtrlDev root;
  root.Build({Drive(u'C')});
  const CString folder{std::string_view(dir_)};
  PushPickerAnswerForTest(&folder);
  ASSERT_EQ(root.ChooseFolder(), 1);
  VolumeContext out;
  ASSERT_EQ(root.FindTarget(kTagFolder, folder, out), 1);
  EXPECT_EQ(out.driveLetter, u'C');
  PushPickerAnswerForTest(nullptr);
  EXPECT_EQ(root.ChooseFolder(), 0);
  EXPECT_EQ(root.FindTarget(kTagFolder, folder, out), 1);

  const std::string img = dir_ + "/card.img";
  std::ofstream(img).close();
  ASSERT_EQ(truncate(img.c_str(), off_t(8 << 20)), 0);
  const CString image{std::string_view(img)};
  PushPickerAnswerForTest(&image);
  ASSERT_EQ(root.ChooseDiskImage(), 1);
  ASSERT_EQ(root.FindTarget(kTagImage, image, out), 1);
  EXPECT_EQ(out.sectorCount, uint64_t(8 << 20) / 512);
  PushPickerAnswerForTest(nullptr);
  EXPECT_EQ(root.ChooseDiskImage(), 0);
  EXPECT_EQ(root.FindTarget(kTagImage, image, out), 1);
}

bool PickFolderOne(const CString&, CString& p) {
  p = u"C:\\One";
  return true;
}
bool PickFolderTwo(const CString&, CString& p) {
  p = u"C:\\Two";
  return true;
}

TEST_F(ScanTargets, ASecondFolderReplacesTheFirst) {
  CCtrlDev root;
  root.Build({Drive(u'C')});
  TargetChooserHooks hooks = GetTargetChooserHooks();
  hooks.browseForFolder = &PickFolderOne;
  SetTargetChooserHooks(hooks);
  EXPECT_EQ(root.ChooseFolder(), 1);
  hooks.browseForFolder = &PickFolderTwo;
  SetTargetChooserHooks(hooks);
  EXPECT_EQ(root.ChooseFolder(), 1);
  int folders = 0;
  for (const VolumeContext& e : root.m_targets) folders += e.targetKind == kTargetFolder ? 1 : 0;
  EXPECT_EQ(folders, 1);
  VolumeContext out;
  EXPECT_EQ(root.FindTarget(kTagFolder, u"c:\\two", out), 1);
  EXPECT_EQ(root.FindTarget(kTagFolder, u"C:\\One", out), 0);
}

bool SavedIndex(std::vector<SavedScanRef>& entries) {
  SavedScanRef gone;
  gone.timeText = u"2026-01-02 10:00:00";
  gone.targetKind = kTargetArea;
  gone.volumePath = u"\\\\.\\PhysicalDrive0";
  gone.regionStart = 999;
  gone.regionLength = 10;
  gone.scanKind = 2;
  SavedScanRef drive = gone;
  drive.timeText = u"2026-01-03 10:00:00";
  drive.targetKind = kTargetDrive;
  drive.volumePath = u"\\\\.\\c:";
  drive.dataFile = u"/tmp/scan.dat";
  entries = {gone, drive};
  return true;
}

TEST_F(ScanTargets, SavedScans) {
  CCtrlDev root;
  root.Build({Drive(u'C')});
  TargetChooserHooks hooks = GetTargetChooserHooks();
  hooks.loadScanSaveIndex = &SavedIndex;
  SetTargetChooserHooks(hooks);
  VolumeContext out;
  // The saved button selected without a saved scan chosen.
  const CCtrlGroup* buttons = root.Group(kTagButtons);
  uint32_t savedId = 0;
  for (const auto& c : buttons->m_children)
    if (c->m_tag == kTagSavedScan) savedId = c->m_id;
  root.m_selectedId = savedId;
  EXPECT_EQ(root.GetSelectedTarget(out), 0);
  EXPECT_EQ(Plain(), std::vector<CString>{CString(u"Select a saved scan")});
  // A saved scan of a partition that is no longer there: two messages.
  Plain().clear();
  root.SetNameByTag(kTagSavedScan, u"2026-01-02 10:00:00");
  EXPECT_EQ(root.GetSelectedTarget(out), 0);
  EXPECT_EQ(Boxes(), std::vector<CString>{CString(u"Saved scan gone")});
  EXPECT_EQ(Plain(), std::vector<CString>{CString(u"Select a device")});
  // One of a present drive carries its saved code and data file.
  root.SetNameByTag(kTagSavedScan, u"2026-01-03 10:00:00");
  ASSERT_EQ(root.GetSelectedTarget(out), 1);
  EXPECT_EQ(out.driveLetter, u'C');
  EXPECT_EQ(out.operation, 2u);
  EXPECT_EQ(out.scanStateFile, CString(u"/tmp/scan.dat"));
}

}  // namespace
