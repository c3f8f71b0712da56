// The scan progress panel: records from the real mailbox rendered on the 200 ms tick, pause and
// continue with their bookkeeping, the save button, the reset of a new scan, and the
// scanned-area map.
#include <atomic>

#include "deepscan/deepscanstate.h"
#include "dialogs/scanmapdlg.h"
#include "dialogs/tests/mainwnd_fixture.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace mainwnd_test {
namespace {

std::atomic<int64_t> g_now{1000};
int64_t FakeNow() { return g_now.load(); }

class ScanProgressPanel : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    LoadSettingsForTest(u"Tesmur", u"Pro", DefaultVerCfg(),
                        CString(DefaultLang()) + u"Pause: Pause\r\nContinue: Continue\r\nPauseScan: Pause scan\r\n"
                                                 u"ContinueScan: Continue scan\r\nSaveProgress: Save\r\nStop: Stop\r\n"
                                                 u"SaveScanOK: Saved\r\nSaveScanErr: Not saved\r\nSectorInfo: Items\r\n"
                                                 u"ReadSectorInfo: Reading\r\nScanRange: Range\r\nFindFileNum: Files\r\n"
                                                 u"RecoverImmediately: Recover now\r\n");
    ScanClock clock;
    clock.nowSeconds = &FakeNow;
    SetScanClock(clock);
    Open();
    ScanRunState.store(kScanRunning);
    EmptyScanProgressMailbox();
  }
  void TearDown() override {
    ScanRunState.store(kScanStopped);
    ScanPauseFlag.store(0);
    SetScanClock(ScanClock());
    SetSaveScanStateHandler(nullptr);
    MainWindowTest::TearDown();
  }
  CScanProgressDlg& Panel() { return dlg_->m_resultView.m_scanProgress; }
  int BarPos() { return int(Panel().m_bar.SendMessage(PBM_GETPOS)); }
  CString PauseText() {
    CString t;
    Panel().m_btnPause.GetWindowText(t);
    return t;
  }
  void ClickPause() {
    Panel().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SCANPROG_PAUSE, BN_CLICKED), LPARAM(Panel().m_btnPause.m_hWnd));
  }
};

ScanProgress SectorScan(uint64_t total, uint64_t done, uint32_t files = 0) {
  ScanProgress r = MakeScanProgress(kProgressSectorScan);
  r.scan.sectorsTotal = total;
  r.scan.sectorsDone = done;
  r.scan.filesFound = files;
  return r;
}

TEST_F(ScanProgressPanel, RecordsByKindOnTheTick) {
  ScanProgress image = MakeScanProgress(kProgressDiskImage);
  image.image.blocksRead = 3;
  image.image.blocksFailed = 1;
  image.image.blocksExpected = 8;
  ScanProgress many = MakeScanProgress(kProgressReadState);
  many.count.done = 50000000;  // a hundred times this no longer fits in 32 bits
  many.count.total = 60000000;
  ScanProgress none = MakeScanProgress(kProgressSaveState);
  none.count.done = 5;
  ScanProgress text = MakeScanProgress(kProgressText);
  SetProgressText(text, offsetof(ScanProgress, text) + offsetof(ProgressTexts, heading), 64, u"Heading");
  SetProgressText(text, offsetof(ScanProgress, text) + offsetof(ProgressTexts, line1), 128, u"Line one");
  const struct {
    ScanProgress rec;
    int bar;  // -1: the bar keeps 37
    const char16_t* line1;
    const char16_t* line2;
  } cases[] = {
      {SectorScan(1000, 500), -1, u"Recover now", u"Range: 0(MB)/0(MB)"},
      {SectorScan(4096, 2048, 7), 50, u"Recover now", u"Range: 1(MB)/2(MB)     Files: 7"},
      {SectorScan(4096, 9000), 100, u"Recover now", u"Range: 2(MB)/2(MB)"},
      {image, 50, u"镜像成功率: 75%", nullptr},
      {many, 83, u"Reading", u"Items: 50000000 / 60000000"},
      {none, -1, nullptr, u"Items: 5 / 0"},
      {text, -1, u"Heading", u"Line one"},
  };
  for (const auto& c : cases) {
    Panel().m_bar.SetPos(37);
    PostScanProgress(c.rec);
    Advance(200);
    EXPECT_EQ(BarPos(), c.bar < 0 ? 37 : c.bar) << "kind " << c.rec.kind;
    if (c.line1) {
      EXPECT_GE(Panel().m_line1.m_text.Find(c.line1), 0) << Panel().m_line1.m_text.ToUtf8();
    }
    if (c.line2) {
      EXPECT_GE(Panel().m_line2.m_text.Find(c.line2), 0) << Panel().m_line2.m_text.ToUtf8();
    }
  }
}

TEST_F(ScanProgressPanel, SectorScanSetsItsFirstLineOnlyWhenItChanges) {
  PostScanProgress(SectorScan(8192, 2048));
  Advance(200);
  const int sets = Panel().m_line1Sets;
  PostScanProgress(SectorScan(8192, 4096));
  Advance(200);
  EXPECT_EQ(Panel().m_line1Sets, sets);
  EXPECT_EQ(BarPos(), 50);
}

TEST_F(ScanProgressPanel, OnlyARunningScanIsShown) {
  for (uint32_t state : {uint32_t(kScanPaused), uint32_t(kScanStopped), uint32_t(kScanInputDone)}) {
    ScanRunState.store(state);
    PostScanProgress(SectorScan(4096, 2048));
    Advance(400);
    ScanProgress left;
    EXPECT_TRUE(TakeScanProgress(left)) << state;  // still in the mailbox
  }
}

TEST_F(ScanProgressPanel, PauseButtonTogglesRunningAndPausedOnly) {
  EXPECT_EQ(PauseText(), CString(u"Pause"));
  g_now = 1000;
  ClickPause();
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanPaused));
  EXPECT_EQ(PauseText(), CString(u"Continue"));
  EXPECT_EQ(ScanPauseFlag.load(), 1u);
  const uint32_t before = ScanPausedSeconds.load();
  g_now = 1042;
  ClickPause();
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanRunning));
  EXPECT_EQ(PauseText(), CString(u"Pause"));
  EXPECT_EQ(ScanPausedSeconds.load() - before, 42u);
  EXPECT_EQ(ScanPauseFlag.load(), 0u);
  // Once the reader is through (or a stop was asked for) the button changes nothing: "running"
  // again would leave the end of the scan waiting for ever.
  for (uint32_t state : {uint32_t(kScanInputDone), uint32_t(kScanStopped)}) {
    ScanRunState.store(state);
    ClickPause();
    EXPECT_EQ(ScanRunState.load(), state);
  }
}

TEST_F(ScanProgressPanel, PauseByOthersAndTheEditionsCaptions) {
  EXPECT_EQ(Panel().PauseScan(), 1);
  EXPECT_EQ(PauseText(), CString(u"Continue scan"));
  // Paused already: the caller must not resume a pause that is not its own.
  EXPECT_EQ(Panel().PauseScan(), 0);
  EXPECT_EQ(Panel().ResumeScan(), 1);
  EXPECT_EQ(PauseText(), CString(u"Pause"));
  CString save;
  Panel().m_btnSave.GetWindowText(save);
  EXPECT_EQ(save, CString(u"Save"));
  Close();
  LoadSettingsForTest(u"Tesmur", u"VuzuDazuv", DefaultVerCfg(),
                      u"PauseScan: Pause scan\r\nPause: Pause\r\nStop: Stop\r\nSaveProgress: Save\r\n");
  Open();
  EXPECT_EQ(PauseText(), CString(u"Pause scan"));
  Panel().m_btnSave.GetWindowText(save);
  EXPECT_EQ(save, CString(u"Stop"));
}

bool g_saveResult = false;
uint32_t g_stateDuringSave = 99;
bool FakeSave() {
  g_stateDuringSave = ScanRunState.load();
  return g_saveResult;
}

TEST_F(ScanProgressPanel, SaveHoldsTheScanAndReports) {
  const auto click = [&] {
    Panel().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_SCANPROG_SAVE, BN_CLICKED), LPARAM(Panel().m_btnSave.m_hWnd));
  };
  SetSaveScanStateHandler(&FakeSave);
  g_saveResult = false;
  click();
  ASSERT_EQ(Rec().boxes.size(), 1u);
  EXPECT_EQ(Rec().boxes[0], CString(u"Not saved"));
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanRunning));
  g_saveResult = true;
  click();
  EXPECT_EQ(g_stateDuringSave, uint32_t(kScanPaused));
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanRunning));
  EXPECT_EQ(Rec().boxes.back(), CString(u"Saved"));
  // A pause of the user's stays after the save.
  ScanRunState.store(kScanPaused);
  click();
  EXPECT_EQ(ScanRunState.load(), uint32_t(kScanPaused));
}

TEST_F(ScanProgressPanel, ResetForANewScanKeepsWhatTheScanAlreadyDid) {
  Panel().m_waitingForDevice = 1;
  Panel().m_bar.SetPos(70);
  const struct {
    uint32_t before, after;
  } cases[] = {{kScanRunning, kScanRunning}, {kScanPaused, kScanRunning}, {kScanInputDone, kScanInputDone},
               {kScanStopped, kScanStopped}};
  for (const auto& c : cases) {
    ScanRunState.store(c.before);
    Panel().Reset();
    EXPECT_EQ(ScanRunState.load(), c.after) << c.before;
  }
  EXPECT_EQ(Panel().m_waitingForDevice, 0u);
  EXPECT_EQ(BarPos(), 0);
  EXPECT_EQ(Panel().m_line1.m_text, CString());
}

TEST(ScanMap, CellsOfTheBlockMap) {
  InitWindowLayer();
  std::vector<uint8_t> states(96000 + 10, kBlockHandled);
  states[1] = kBlockTaken;
  CBitmapDC dc;
  ASSERT_TRUE(dc.Create(kScanMapWidth, kScanMapHeight));
  DrawBlockStateMap(&dc, states);
  EXPECT_EQ(GetPixel(dc.m_hDC, 798, 0), RGB(255, 0, 0));  // block 399
  EXPECT_EQ(GetPixel(dc.m_hDC, 799, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc.m_hDC, 0, 2), RGB(255, 0, 0));    // block 400
  EXPECT_EQ(GetPixel(dc.m_hDC, 2, 0), RGB(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(GetPixel(dc.m_hDC, 799, 479), RGB(255, 0, 0));  // the last cell; the rest falls outside
  // An empty map: only the frame and the white face.
  CBitmapDC empty;
  ASSERT_TRUE(empty.Create(kScanMapWidth, kScanMapHeight));
  DrawBlockStateMap(&empty, {});
  EXPECT_EQ(GetPixel(empty.m_hDC, 400, 240), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(empty.m_hDC, 0, 0), RGB(0, 0, 0));
}

int g_mapsOpened = 0;
void CountMap(CWnd*) { ++g_mapsOpened; }

TEST_F(MainWindowTest, CtrlRightClickInTheCornerOpensTheMap) {
  Open();
  dlg_->ShowDeviceSelection(1);
  const struct {
    int x, y;
    WPARAM keys;
    int opened;
  } cases[] = {{19, 19, MK_CONTROL | MK_RBUTTON, 1}, {20, 5, MK_CONTROL | MK_RBUTTON, 0}, {5, 5, MK_RBUTTON, 0}};
  for (const auto& c : cases) {
    g_mapsOpened = 0;
    SetScanMapRunner(&CountMap);
    dlg_->m_devSel.SendMessage(WM_RBUTTONDOWN, c.keys, MAKELPARAM(c.x, c.y));
    SetScanMapRunner(nullptr);
    EXPECT_EQ(g_mapsOpened, c.opened) << c.x << "," << c.y;
  }
}

}  // namespace
}  // namespace mainwnd_test
