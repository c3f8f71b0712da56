// The scan journey through the windows: a machine whose two disks are the fixtures' NTFS and FAT
// images (each also a lettered drive), listed by the device selection with their sizes and file
// systems; a drive chosen with the mouse and scanned with the real deep scan to its end, its
// progress arriving in order; a second scan paused, resumed and stopped.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/diskimage.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/sectorsignature.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscansettings.h"
#include "deepscan/devicediscovery.h"
#include "deepscan/diskimagescan.h"
#include "deepscan/liveresults.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanreader.h"
#include "core/diskreader.h"
#include "dialogs/deepscansetdlg.h"
#include "dialogs/tests/mainwnd_fixture.h"
#include "platform/fileio.h"
#include "scanbase/scanhitstore.h"
#include "scansave/scansaveidx.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"
#include "tests/fixtures/scriptfixture.h"

namespace mainwnd_test {
namespace {

namespace fs = std::filesystem;

uint64_t FileSectors(const std::string& p) {
  struct stat st{};
  return stat(p.c_str(), &st) == 0 ? uint64_t(st.st_size) / 512 : 0;
}

// The program's own English texts, so the screenshots read as a user sees them.
CString ProgramEnglishTexts() {
  std::ifstream in(fs::path(__FILE__).parent_path().parent_path().parent_path() / "resources/archive/Lang/English.txt");
  std::string line, all;
  while (std::getline(in, line)) all += line + "\r\n";
  return CString(std::string_view(all));
}

std::atomic<int> g_readDelayMs{0};
DWORD SlowReads(DWORD timeout, DWORD) {
  if (int ms = g_readDelayMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return timeout;
}

class ScanJourney : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    const std::string ntfs = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_small.img";
    const std::string fatDir = BuildScriptFixture("fatimages.sh", "fat_fixtures");
    if (!fs::exists(ntfs) || fatDir.empty()) GTEST_SKIP() << "fixture images missing";
    // File systems of 64 MiB and less are not named in the device list; the NTFS volume goes
    // onto a 96 MiB disk, the FAT32 one is the 110 MiB image.
    fat_ = fatDir + "/fat32big.img";
    dir_ = regRoot_ + "/machine";
    fs::create_directories(dir_);
    ntfs_ = dir_ + "/ntfs.img";
    ASSERT_EQ(system(("cp --sparse=always '" + ntfs + "' '" + ntfs_ + "'").c_str()), 0);
    fs::resize_file(ntfs_, 96ull << 20);
    std::ofstream(dir_ + "/machine.json") << "{\"disks\":[{\"image\":\"" << ntfs_ << "\",\"model\":\"Fixture NTFS\"},"
                                          << "{\"image\":\"" << fat_ << "\",\"model\":\"Fixture FAT\",\"bus\":\"usb\"}],"
                                          << "\"drives\":[{\"letter\":\"E\",\"image\":\"" << ntfs_ << "\"},"
                                          << "{\"letter\":\"F\",\"image\":\"" << fat_ << "\"}]}";
    setenv("KESTREL_MACHINE", (dir_ + "/machine.json").c_str(), 1);
    LoadSettingsForTest(u"Tesmur", u"Pro",
                        CString(DefaultVerCfg()) + u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\nDefault-ShowAllFile: 1\r\n",
                        CString(DefaultLang()) + ProgramEnglishTexts());
    SetDiscoveryDiskDelay(0);
    SetScanPauseStepMs(10);
    SetScanFinishingPauseMs(1);
    InitFileTypeTables();
    InitSectorSignatureMatcher();
    InstallCarvingConsumer();
    InstallScanResults();
    SetReadTimeoutHook(&SlowReads);
    Rec().answer = 0;  // no saved scan offered is taken, no save at the end
  }
  void TearDown() override {
    WaitForScanEnd(std::chrono::seconds(60));
    SetReadTimeoutHook(nullptr);
    g_readDelayMs = 0;
    unsetenv("KESTREL_MACHINE");
    MainWindowTest::TearDown();
    ClearVolumeList(AppVolumeList());
    FreeBlockHitLists();
  }
  // Pumps the window's messages (the scan threads send theirs) and notes every progress record.
  void PumpFor(std::chrono::milliseconds span, bool takeRecords = true) {
    const auto end = std::chrono::steady_clock::now() + span;
    do {
      PumpAll();
      ScanProgress rec;
      if (takeRecords && TakeScanProgress(rec)) records_.push_back(rec);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
  }
  bool ScanThreadsDone() const { return WorkerThreadCount() == 0 && !ScanBlockRingExists(); }
  bool WaitForScanEnd(std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      PumpFor(std::chrono::milliseconds(20));
      if (ScanThreadsDone()) return true;
    }
    return false;
  }
  CCtrlBase* ItemNamed(uint32_t groupTag, const CString& name) {
    CCtrlGroup* g = dlg_->m_devSel.m_devWnd.m_root.Group(groupTag);
    if (!g) return nullptr;
    for (auto& c : g->m_children)
      if (c->m_name == name) return c.get();
    return nullptr;
  }
  void ClickItem(CCtrlBase* item) {
    CDevWnd& host = dlg_->m_devSel.m_devWnd;
    const LPARAM at = MAKELPARAM(item->m_rect.left + 30, item->m_rect.top + 30);
    host.SendMessage(WM_MOUSEMOVE, 0, at);
    host.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
    host.SendMessage(WM_LBUTTONUP, 0, at);
    PumpAll();
  }
  uint64_t LastDone() const {
    for (auto it = records_.rbegin(); it != records_.rend(); ++it)
      if (it->kind == kProgressSectorScan) return it->scan.sectorsDone;
    return 0;
  }
  std::string ntfs_, fat_, dir_;
  std::vector<ScanProgress> records_;
};

TEST_F(ScanJourney, ListChooseScanToTheEnd) {
  Open();
  dlg_->ShowDeviceSelection(1);
  PumpAll();
  ASSERT_TRUE(dlg_->m_devSel.IsWindowVisible());
  // Both disks and both drives, with their sizes and file systems.
  auto* e = static_cast<CCtrlPartInfo*>(ItemNamed(kTagDrives, u"\\\\.\\E:"));
  auto* f = static_cast<CCtrlPartInfo*>(ItemNamed(kTagDrives, u"\\\\.\\F:"));
  ASSERT_NE(e, nullptr);
  ASSERT_NE(f, nullptr);
  EXPECT_GE(e->m_text.Find(u"(E: NTFS)"), 0) << e->m_text.ToUtf8();
  EXPECT_GE(f->m_text.Find(u"(F: FAT32)"), 0) << f->m_text.ToUtf8();
  EXPECT_EQ(e->m_sectorCount, FileSectors(ntfs_));
  EXPECT_EQ(f->m_sectorCount, FileSectors(fat_));
  auto* d0 = static_cast<CCtrlDiskInfo*>(ItemNamed(kTagDisks, u"\\\\.\\PhysicalDrive0"));
  auto* d1 = static_cast<CCtrlDiskInfo*>(ItemNamed(kTagDisks, u"\\\\.\\PhysicalDrive1"));
  ASSERT_NE(d0, nullptr);
  ASSERT_NE(d1, nullptr);
  EXPECT_EQ(d0->m_deviceSectors, FileSectors(ntfs_));
  EXPECT_EQ(d1->m_deviceSectors, FileSectors(fat_));
  EXPECT_GE(d1->m_model.Find(u"Fixture FAT"), 0);
  EXPECT_TRUE(Rec().boxes.empty());

  // The FAT drive, then Scan: the deep recovery of the whole drive starts at once.
  ClickItem(f);
  EXPECT_TRUE(f->m_selected);
  PumpAll();
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/device_selection.png"));
  dlg_->m_devSel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVSEL_SCAN, BN_CLICKED), 0);
  EXPECT_FALSE(dlg_->m_devSel.IsWindowVisible());
  EXPECT_TRUE(dlg_->m_resultView.IsWindowVisible());
  EXPECT_EQ(ScanTarget().driveLetter, u'F');
  EXPECT_EQ(ScanTarget().operation, 1u);
  ASSERT_TRUE(WaitForScanEnd(std::chrono::seconds(120)));
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanInputDone));
  EXPECT_EQ(dlg_->m_resultView.m_layoutState, 3);

  // The preparation's records (texts, the parse of the drive's own file system) come first,
  // then one unbroken run of sector-scan records counting up over the drive, then the end
  // stage's records.
  ASSERT_FALSE(records_.empty());
  size_t first = records_.size(), last = 0;
  for (size_t i = 0; i < records_.size(); ++i) {
    if (records_[i].kind != kProgressSectorScan) continue;
    first = std::min(first, i);
    last = i;
  }
  ASSERT_LT(first, records_.size());
  uint64_t done = 0;
  for (size_t i = first; i <= last; ++i) {
    const ScanProgress& r = records_[i];
    if (r.kind == kProgressText) continue;
    ASSERT_EQ(r.kind, uint32_t(kProgressSectorScan)) << "record " << i << " inside the sector scan";
    EXPECT_GE(r.scan.sectorsDone, done);
    done = r.scan.sectorsDone;
    EXPECT_EQ(r.scan.sectorsTotal, FileSectors(fat_));
  }
  for (size_t i = 0; i < first; ++i) EXPECT_TRUE(records_[i].kind == kProgressText || records_[i].kind == kProgressParse);
  EXPECT_LT(last + 1, records_.size()) << "no record of the end stage";
  // The mailbox keeps one record and drops what comes while it is full, so the last count seen
  // may fall short of the end.
  EXPECT_GT(done, 0u);
  // The drive's files are in the results.
  VolumeListReadGuard guard(AppVolumeList());
  uint32_t files = 0;
  for (uint32_t s = 0; s < AppVolumeList().slotCount; ++s) files += AppVolumeList().slots[s].fileCount;
  EXPECT_GT(files, 0u);
  bool fatVolume = false;
  for (uint32_t s = 0; s < AppVolumeList().slotCount; ++s)
    fatVolume = fatVolume || AppVolumeList().slots[s].name.Find(u"(F: FAT32)") >= 0;
  EXPECT_TRUE(fatVolume);
}

std::vector<uint8_t> FileBytes(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CString& ImageAnswer() {
  static CString answer;
  return answer;
}
bool AnswerImagePath(const CString&, CString& chosen) {
  chosen = ImageAnswer();
  return !chosen.IsEmpty();
}

// The disk-image edition: Scan asks where the image goes (a cancel starts nothing), then the
// scan copies the whole chosen disk into that file and says so at its end.
TEST_F(ScanJourney, CloneEditionImagesTheChosenDisk) {
  LoadSettingsForTest(u"Tesmur", u"VuzuDazuv", CString(DefaultVerCfg()) + u"Default-Key: 101\r\n",
                      CString(DefaultLang()) + ProgramEnglishTexts());
  InstallDiskImageConsumer();
  SetProgramDirOverride(CString(std::string_view(dir_)));
  DiskImageServices sv;
  sv.saveAsDialog = &AnswerImagePath;
  SetDiskImageServices(sv);
  const std::string image = dir_ + "/Copy.QZD";
  Open();
  dlg_->ShowDeviceSelection(1);
  PumpAll();
  CCtrlBase* disk = ItemNamed(kTagDisks, u"\\\\.\\PhysicalDrive1");
  ASSERT_NE(disk, nullptr);
  ClickItem(disk);

  ImageAnswer() = CString();
  dlg_->m_devSel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVSEL_SCAN, BN_CLICKED), 0);
  ASSERT_EQ(Rec().boxes.size(), 1u);
  EXPECT_GE(Rec().boxes[0].Find(u"镜像文件"), 0) << "the notice of the room the image needs";
  EXPECT_TRUE(dlg_->m_devSel.IsWindowVisible()) << "cancelled: no scan";
  EXPECT_EQ(WorkerThreadCount(), 0);

  ImageAnswer() = CString(std::string_view(image));
  dlg_->m_devSel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVSEL_SCAN, BN_CLICKED), 0);
  EXPECT_FALSE(dlg_->m_devSel.IsWindowVisible());
  EXPECT_EQ(GetDiskImagePath(), ImageAnswer());
  ASSERT_TRUE(WaitForScanEnd(std::chrono::seconds(120)));
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_TRUE(FileBytes(image) == FileBytes(fat_)) << "the image is the disk byte for byte";
  ASSERT_FALSE(Rec().boxes.empty());
  EXPECT_EQ(Rec().boxes.back().Left(5), CString(u"镜像完成！")) << Rec().boxes.back().ToUtf8();
  const std::vector<uint8_t> clone = FileBytes(dir_ + "/ClonePath.txt");
  EXPECT_EQ(clone.size(), size_t(ImageAnswer().GetLength()) * 2);

  SetDiskImageServices(DiskImageServices());
  SetProgramDirOverride(CString());
}

// The scan-parameters box asks for the settings at the scan start: the range typed there is the
// range scanned, and the file types cleared there are cleared for the scan.
TEST_F(ScanJourney, SettingsAskedAtTheStartNarrowTheScan) {
  LoadSettingsForTest(u"Tesmur", u"Pro",
                      CString(DefaultVerCfg()) +
                          u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\nDefault-ShowAllFile: 1\r\nDefault-SetParam: 1\r\n",
                      CString(DefaultLang()) + ProgramEnglishTexts());
  InitFileTypeTables();
  RegisterDeepScanSettingsTemplates();
  InstallDeepScanSettingsDialog();
  ScanSettingsValid.store(0);
  Open();
  dlg_->ShowDeviceSelection(1);
  PumpAll();
  CDevSelDlg& sel = dlg_->m_devSel;
  ASSERT_TRUE(sel.m_chkParam.IsWindowVisible());
  sel.m_chkParam.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  sel.m_chkParam.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  PumpAll();
  EXPECT_EQ(AskScanSettings.load(), 1u);
  ASSERT_FALSE(Rec().boxes.empty());
  EXPECT_EQ(Rec().boxes.back(), GetLangStr(u"ClickScanSetParam"));
  ClickItem(ItemNamed(kTagDrives, u"\\\\.\\F:"));
  // Reads that take a little while spread the reader's records out, so the mailbox (one record,
  // later ones dropped while it is full) hands this test some of the sector scan's.
  g_readDelayMs = 20;

  // The dialog is modal: a timer of the main window fills it in once it shows.
  static int32_t cleared;
  static bool filled;
  cleared = 0;
  filled = false;
  UseVirtualMessageClock(false);
  ::SetTimer(dlg_->m_hWnd, 0x7778, 10, [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
    auto* d = dynamic_cast<CDeepScanSetDlg*>(CWnd::FromHandlePermanent(GetActiveWindow()));
    if (!d || filled) return;
    ::KillTimer(hwnd, id);
    filled = true;
    d->m_general.m_edits[0].SetWindowText(u"2048");
    d->m_general.m_edits[1].SetWindowText(u"20480");
    d->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DSS_TAB_FILES, BN_CLICKED), 0);
    CFileFormatTreeCtrl& tree = d->m_files.m_tree;
    HTREEITEM photos = tree.FindItem(DWORD_PTR(7));
    cleared = 7;
    tree.ToggleItem(photos);
    d->SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  sel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVSEL_SCAN, BN_CLICKED), 0);
  UseVirtualMessageClock(true);
  ::KillTimer(dlg_->m_hWnd, 0x7778);
  ASSERT_TRUE(filled);
  EXPECT_FALSE(sel.IsWindowVisible());
  EXPECT_EQ(ScanTarget().firstLba, 2048u);
  EXPECT_EQ(ScanTarget().sectorCount, 20480u);
  EXPECT_EQ(DeepScanSettingsRecord().scanCount, 20480u);
  EXPECT_EQ(FileTypeTable().categories[size_t(cleared)].checkState, 0);
  for (int32_t t : FileTypeTable().categories[size_t(cleared)].typeIds) EXPECT_EQ(FileTypeTable().types[size_t(t)].enabled, 0);
  ASSERT_TRUE(WaitForScanEnd(std::chrono::seconds(120)));
  bool sawScan = false;
  for (const ScanProgress& r : records_) {
    if (r.kind != kProgressSectorScan) continue;
    sawScan = true;
    EXPECT_EQ(r.scan.sectorsTotal, 20480u);
  }
  EXPECT_TRUE(sawScan);
  AskScanSettings.store(0);
  InitFileTypeTables();
}

TEST_F(ScanJourney, PauseResumeStop) {
  Open();
  dlg_->ShowDeviceSelection(1);
  PumpAll();
  CCtrlBase* disk = ItemNamed(kTagDisks, u"\\\\.\\PhysicalDrive0");
  ASSERT_NE(disk, nullptr);
  g_readDelayMs = 40;  // each chunk of a block waits: a block takes over 300 ms
  ClickItem(disk);
  dlg_->m_devSel.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_DEVSEL_SCAN, BN_CLICKED), 0);
  // Running: the done count moves.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (LastDone() == 0 && std::chrono::steady_clock::now() < until) PumpFor(std::chrono::milliseconds(20));
  ASSERT_GT(LastDone(), 0u);
  ASSERT_EQ(dlg_->m_resultView.m_scanProgress.PauseScan(), 1);
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanPaused));
  // The reader holds: once the block in hand and the ring are through, nothing more is read.
  // A loaded machine may take longer to finish the block in hand: wait until the count rests.
  uint64_t held = LastDone();
  const auto rest = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  do {
    held = LastDone();
    PumpFor(std::chrono::milliseconds(600));
  } while (LastDone() != held && std::chrono::steady_clock::now() < rest);
  EXPECT_EQ(LastDone(), held);
  EXPECT_LT(held, FileSectors(ntfs_));
  EXPECT_EQ(dlg_->m_resultView.m_scanProgress.PauseScan(), 0);  // already paused: not ours to resume
  // Save while paused: the scan state goes into a data file and the index beside the program,
  // and the user's pause stays.
  SetProgramDirOverride(CString(std::string_view(dir_)));
  CScanProgressDlg& progress = dlg_->m_resultView.m_scanProgress;
  progress.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SCANPROG_SAVE, BN_CLICKED), LPARAM(progress.m_btnSave.m_hWnd));
  ASSERT_FALSE(Rec().boxes.empty());
  EXPECT_EQ(Rec().boxes.back(), GetLangStr(u"SaveScanOK"));
  std::vector<ScanSaveEntry> saved;
  ASSERT_TRUE(LoadScanSaveIndex(saved));
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(EntryText(saved[0].devicePath), CString(u"\\\\.\\PhysicalDrive0"));
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanPaused));
  SetProgramDirOverride(CString());
  dlg_->m_resultView.m_scanProgress.ResumeScan();
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanRunning));
  // Reading goes on; on a loaded machine the next count may take a while to arrive.
  const auto moved = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (LastDone() == held && std::chrono::steady_clock::now() < moved) PumpFor(std::chrono::milliseconds(20));
  EXPECT_GT(LastDone(), held);
  // The progress panel shows the running scan: its 200 ms tick takes the records now.
  CScanProgressDlg& panel = dlg_->m_resultView.m_scanProgress;
  EXPECT_TRUE(panel.IsWindowVisible());
  // It shows the next record the reader posts, which a loaded machine may take a while to send.
  const auto shown = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  do {
    AdvanceVirtualMessageClock(200);
    PumpFor(std::chrono::milliseconds(150), false);
  } while (panel.m_line2.m_text.Find(u"Scanned") < 0 && std::chrono::steady_clock::now() < shown);
  EXPECT_GT(int(panel.m_bar.SendMessage(PBM_GETPOS)), 0);
  EXPECT_GE(panel.m_line2.m_text.Find(u"Scanned"), 0) << panel.m_line2.m_text.ToUtf8();
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/scan_running.png"));
  // Stop: the scan ends before the end of the disk and every scan thread leaves.
  ScanRunState.store(kScanStopped);
  ASSERT_TRUE(WaitForScanEnd(std::chrono::seconds(60)));
  EXPECT_LT(LastDone(), FileSectors(ntfs_));
  EXPECT_EQ(WorkerThreadCount(), 0);
}

}  // namespace
}  // namespace mainwnd_test
