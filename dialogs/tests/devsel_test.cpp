// The rules of the device selection and its scan start: the list filter, the operation code of
// a target, the classified views by memory, the window fit, the help lines, and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "dialogs/devseldlg.h"
#include "dialogs/scantargets.h"
#include "dialogs/tests/mainwnd_fixture.h"
#include "scanbase/scanrun.h"

namespace mainwnd_test {
namespace {

TEST(DevSelRules, FilterByModeBrandAndUsbEdition) {
  const struct {
    const char16_t* brand;
    const char16_t* cfg;
    uint32_t mode;
    int filter;
  } cases[] = {
      {u"Tesmur", u"", 6, 2},         {u"Tesmur", u"", 4, 3},        {u"Tesmur", u"", 7, 0},
      {u"Tesmur", u"", 1, 4},         {u"Tesmur", u"", 2, 1},        {u"Tesmur", u"", 5, 1},
      {u"Pelmar", u"", 1, 0},         {u"Corvinth", u"", 6, 0},      {u"Virelmo", u"", 2, 0},
      {u"Pelmar", u"Default-ShowUsbDev: 1\r\n", 1, 3},
      {u"Tesmur", u"Default-ShowUsbDev: 1\r\n", 7, 3},
      {u"Tesmur", u"Default-ShowUsbDev: 11\r\n", 1, 4},
  };
  for (const auto& c : cases) {
    LoadSettingsForTest(c.brand, u"Pro", c.cfg, u"");
    EXPECT_EQ(DeviceFilterFor(c.mode), c.filter) << CString(c.brand).ToUtf8() << " mode " << c.mode;
  }
}

TEST(DevSelRules, OperationCodeByTargetKind) {
  auto drive = [](uint32_t type, uint8_t spc, uint8_t shift) {
    VolumeContext t;
    t.targetKind = kTargetDrive;
    t.type = type;
    t.bootSector[0x0D] = spc;
    t.bootSector[0x6D] = shift;
    return t;
  };
  VolumeContext saved;
  saved.targetKind = kTargetSavedScan;
  saved.operation = 6;
  VolumeContext image;
  image.targetKind = kTargetImage;
  VolumeContext disk;
  disk.targetKind = kTargetDisk;
  const struct {
    VolumeContext t;
    uint32_t mode;
    uint32_t op;
  } cases[] = {
      {drive(kVolTypeFat32, 0, 0), 2, 1},  {drive(kVolTypeFat32, 8, 0), 2, 2}, {drive(kVolTypeNtfs, 8, 0), 5, 5},
      {drive(kVolTypeNtfs, 0, 0), 5, 1},   {drive(kVolTypeExfat, 0, 9), 2, 2}, {drive(kVolTypeExfat, 8, 0), 2, 1},
      {drive(kVolTypeNone, 8, 9), 2, 1},   {drive(kVolTypeFat32, 0, 0), 3, 3}, {image, 2, 1},
      {image, 6, 1},                       {saved, 2, 6},                      {disk, 6, 6},
  };
  for (const auto& c : cases) EXPECT_EQ(ScanOperationFor(c.t, c.mode), c.op) << c.t.type << " mode " << c.mode;
}

TEST(DevSelRules, ClassifiedViewsByMemoryAndSize) {
  const uint64_t tib = 1ull << 31;  // sectors
  const struct {
    uint64_t mib, sectors;
    uint32_t on;
  } cases[] = {
      {900, tib, 1},  {450, tib, 0}, {500, 520ull << 21, 0}, {501, 520ull << 21, 1},
      {1000, 1200ull << 21, 0}, {1001, 1200ull << 21, 1}, {100, (520ull << 21) - 1, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ComputeClassifyAllowed(c.mib, c.sectors), c.on) << c.mib << " " << c.sectors;
}

TEST(DevSelRules, WindowFitByDeviceCount) {
  const struct {
    int drives, areas, disks, W, H;
    int columns, rows;
    bool maximize, resize;
    int w, h;
  } cases[] = {
      {4, 1, 1, 1130, 820, 4, 3, false, false, 0, 0},
      {13, 4, 4, 1130, 780, 4, 6, false, true, 1312, 820},   // 6 rows > 5 below 820
      {13, 4, 4, 1130, 820, 4, 6, false, false, 0, 0},       // 6 rows allowed from 820
      {20, 4, 4, 1130, 820, 4, 7, false, true, 1312, 820},
      {30, 0, 0, 1312, 900, 5, 6, false, false, 0, 0},
      {33, 3, 3, 1024, 700, 3, 13, true, false, 0, 0},
  };
  for (const auto& c : cases) {
    const DeviceFit f = FitForDevices(c.drives, c.areas, c.disks, c.W, c.H);
    EXPECT_EQ(f.columns, c.columns);
    EXPECT_EQ(f.rows, c.rows);
    EXPECT_EQ(f.maximize, c.maximize);
    EXPECT_EQ(f.resize, c.resize);
    if (c.resize) {
      EXPECT_EQ(f.width, c.w);
      EXPECT_EQ(f.height, c.h);
    }
  }
}

TEST(DevSelRules, HelpLinesByEdition) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"ClickScanData: Double-click what to scan.\r\nClickToClone: Clone\r\n"
                                             u"CloneUsb: Clone with %s\r\nReflush: Refresh first\r\n");
  HelpLines plain = ChooseHelpLines(101, false, false, u"Pro");
  EXPECT_EQ(plain.line[0], CString(u"Double-click what to scan."));
  EXPECT_FALSE(plain.show[1]);
  EXPECT_FALSE(plain.show[2]);
  EXPECT_FALSE(plain.link);
  HelpLines usb = ChooseHelpLines(191, true, false, u"Kestrel Pro");
  EXPECT_TRUE(usb.line[0].Find(u"U盘") >= 0);
  EXPECT_TRUE(usb.line[2].Find(u"《Kestrel Pro》") >= 0);
  // The edition key wins over the video modes; the MOV mode wins over MTS.
  EXPECT_TRUE(ChooseHelpLines(5, true, true, u"P").line[1].Find(u"JPG") >= 0);
  EXPECT_TRUE(ChooseHelpLines(101, true, true, u"P").line[0].Find(u"MOV/MP4") >= 0);
  EXPECT_TRUE(ChooseHelpLines(101, false, true, u"P").line[0].Find(u"MTS") >= 0);
  HelpLines clone = ChooseHelpLines(196, false, false, u"P");
  EXPECT_EQ(clone.line[1], CString(u"Clone with P"));
  EXPECT_TRUE(clone.link);
}

TEST(DevSelRules, LastImagePathFromTheCloneFile) {
  const auto utf16 = [](std::u16string_view t) {
    std::vector<uint8_t> b;
    for (char16_t c : t) b.insert(b.end(), {uint8_t(c & 0xFF), uint8_t(c >> 8)});
    return b;
  };
  const std::u16string longest = u"/" + std::u16string(258, u'x');  // 518 bytes
  const struct {
    std::vector<uint8_t> bytes;
    bool shown;
    std::u16string path;
  } cases[] = {
      {utf16(u"/media/backup/Copy.QZD"), true, u"/media/backup/Copy.QZD"},
      {utf16(u"D:\\Copy.QZD"), true, u"D:\\Copy.QZD"},
      {utf16(std::u16string(u"/a.QZD") + u'\0' + u"junk"), true, u"/a.QZD"},
      {{'/', 0, 'a'}, true, u"/"},  // an odd last byte is no character
      {utf16(longest), true, longest},
      {utf16(longest + u"x"), false, u""},  // 520 bytes: too long
      {utf16(u"Copy.QZD"), false, u""},     // not an absolute path
      {utf16(u"/"), false, u""},            // 2 bytes: too short
  };
  for (const auto& c : cases) {
    CString path;
    EXPECT_EQ(LastImagePathFromBytes(c.bytes.data(), uint32_t(c.bytes.size()), path), c.shown) << c.bytes.size();
    if (c.shown) EXPECT_EQ(path, CString(c.path));
  }
}

TEST_F(MainWindowTest, ScanWhileWorkersRunIsRefusedAndChangesNothing) {
  UseSettings(u"Tesmur", CString(DefaultVerCfg()) + u"Default-ShowDev: 0\r\n");
  LoadSettingsForTest(u"Tesmur", u"Pro", DefaultVerCfg(), u"WaitHandLastData: Wait for the last scan\r\n");
  Open();
  ScanTarget().name = u"before";
  ScanRunState.store(kScanStopped);
  OnThreadBegin(u"test worker");
  dlg_->m_devSel.StartScan(1);
  OnThreadEnd(u"test worker");
  ASSERT_EQ(Rec().boxes.size(), 1u);
  EXPECT_EQ(Rec().boxes[0], CString(u"Wait for the last scan"));
  EXPECT_EQ(ScanTarget().name, CString(u"before"));
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanStopped));
}

TEST_F(MainWindowTest, NothingSelectedAsksForADevice) {
  LoadSettingsForTest(u"Tesmur", u"Pro", DefaultVerCfg(), u"PleaseSelScanDev: Select a device\r\n");
  Open();
  std::vector<CString> shown;
  static std::vector<CString>* sink;
  sink = &shown;
  TargetChooserHooks hooks;
  hooks.plainMessage = [](const CString& t) { sink->push_back(t); };
  SetTargetChooserHooks(hooks);
  dlg_->m_devSel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVSEL_SCAN, BN_CLICKED),
                             LPARAM(dlg_->m_devSel.m_btnScan.m_hWnd));
  EXPECT_EQ(shown, std::vector<CString>{CString(u"Select a device")});
  EXPECT_TRUE(Rec().boxes.empty());
  SetTargetChooserHooks(TargetChooserHooks());
}

}  // namespace
}  // namespace mainwnd_test
