// The result view in the main window: its layout states, the classify modes and their panes,
// the selection summary, the header and Back.
#include "results/tests/resultfixture.h"
#include "base/sizetext.h"
#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "scanbase/scanrun.h"

namespace results_test {
namespace {

RECT RectIn(CWnd& parent, CWnd& child) {
  RECT r{};
  ::GetWindowRect(child.m_hWnd, &r);
  POINT tl{r.left, r.top}, br{r.right, r.bottom};
  ::ScreenToClient(parent.m_hWnd, &tl);
  ::ScreenToClient(parent.m_hWnd, &br);
  return RECT{tl.x, tl.y, br.x - tl.x, br.y - tl.y};  // x, y, width, height
}

bool Same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Show(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) + "x" +
         std::to_string(r.bottom);
}

int VisiblePanes(CDorivDlg& v) {
  int n = 0;
  for (CFdrDlg& p : v.m_panes) n += (p.GetStyle() & WS_VISIBLE) ? 1 : 0;
  return n;
}

TEST_F(ResultViewTest, LayoutStatesPlaceThePanelTheRowAndTheBottomButtons) {
  view_->MoveWindow(0, 0, 900, 600, TRUE);
  const int cx = 900, cy = 600;
  struct Case {
    int state;
    int panelTop;  // -1: hidden
    int rowTop;
    bool resultControls;
  } cases[] = {{1, cy / 2 - 30, 0, false}, {2, 2, 67, true}, {3, -1, 5, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    view_->SetLayoutState(c.state);
    PumpAll();
    if (c.panelTop >= 0) {
      EXPECT_TRUE(view_->m_scanProgress.GetStyle() & WS_VISIBLE);
      EXPECT_TRUE(Same(RectIn(*view_, view_->m_scanProgress), RECT{0, c.panelTop, cx, 60}))
          << Show(RectIn(*view_, view_->m_scanProgress));
    } else {
      EXPECT_FALSE(view_->m_scanProgress.GetStyle() & WS_VISIBLE);
    }
    EXPECT_EQ(bool(view_->m_btnByPath.GetStyle() & WS_VISIBLE), c.resultControls);
    EXPECT_EQ(bool(view_->m_btnRecover.GetStyle() & WS_VISIBLE), c.resultControls);
    EXPECT_TRUE(view_->m_btnBack.GetStyle() & WS_VISIBLE);
    if (c.state == 1) {
      EXPECT_TRUE(Same(RectIn(*view_, view_->m_btnBack), RECT{cx - 96, cy - 40, 88, 32}));
      EXPECT_EQ(VisiblePanes(*view_), 0);
      continue;
    }
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_btnByPath), RECT{15, c.rowTop, 120, 30}));
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_btnByType), RECT{140, c.rowTop, 120, 30}));
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_btnSearch), RECT{515, c.rowTop, 120, 30}));
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_header), RECT{655, c.rowTop, cx - 58 - 655, 30}));
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_btnIcons), RECT{cx - 29, c.rowTop + 1, 24, 24}));
    EXPECT_TRUE(Same(RectIn(*view_, Pane(kModeByPath)), RECT{0, c.rowTop + 30, cx, cy - c.rowTop - 78}));
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_btnBack), RECT{cx - 194, cy - 40, 88, 32}));
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_btnRecover), RECT{cx - 96, cy - 40, 88, 32}));
    EXPECT_TRUE(Same(RectIn(*view_, view_->m_summary), RECT{10, cy - 30, 450, 18}));
    EXPECT_EQ(VisiblePanes(*view_), 1);
  }
  // The same state again changes nothing; the scan end relays out even in state 3.
  const int changes = view_->m_layoutChanges;
  view_->SetLayoutState(3);
  EXPECT_EQ(view_->m_layoutChanges, changes);
  view_->DisableResultPanes();
  EXPECT_FALSE(Pane(kModeByType).m_details.IsWindowEnabled());
  view_->OnScanFinished();
  EXPECT_EQ(view_->m_layoutChanges, changes);
  for (CFdrDlg& p : view_->m_panes) EXPECT_TRUE(p.m_details.IsWindowEnabled());
}

TEST_F(ResultViewTest, WithoutClassifiedViewsTheSearchButtonMovesOnlyWhenTheScanDisallowedThem) {
  view_->MoveWindow(0, 0, 900, 600, TRUE);
  // The edition hides the classify buttons: they keep their places, search stays at 515.
  LoadSettingsForTest(u"Tesmur", u"Pro", mainwnd_test::DefaultVerCfg(),
                      CString(mainwnd_test::DefaultLang()) + kResultLang);
  view_->SetLayoutState(3);
  PumpAll();
  EXPECT_FALSE(view_->m_btnByType.GetStyle() & WS_VISIBLE);
  EXPECT_EQ(RectIn(*view_, view_->m_btnSearch).left, 515);
  // The scan disallowed them: search takes the second place.
  ClassifyAllowed = 0;
  view_->OnScanFinished();
  EXPECT_EQ(RectIn(*view_, view_->m_btnSearch).left, 140);
  EXPECT_EQ(RectIn(*view_, view_->m_header).left, 280);
}

TEST_F(ResultViewTest, ClassifyModeSwitchesOncePerChangeAndShowsOnePane) {
  view_->SetLayoutState(3);
  Publish(SampleVolume());
  TakeReceived();
  view_->SetClassifyMode(kModeByPath);  // the current mode: nothing
  EXPECT_TRUE(ReceivedOf(WM_VIEW_MODECHANGED).empty());
  view_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RESULT_BYTYPE, BN_CLICKED), 0);
  const auto changes = ReceivedOf(WM_VIEW_MODECHANGED);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(int32_t(changes[0].wParam), kModeByType);
  EXPECT_EQ(List().mode, kModeByType);
  EXPECT_EQ(VisiblePanes(*view_), 1);
  EXPECT_TRUE(Pane(kModeByType).GetStyle() & WS_VISIBLE);
  // A value outside the modes shows no pane and leaves the model's mode word alone.
  view_->SetClassifyMode(7);
  EXPECT_EQ(VisiblePanes(*view_), 0);
  EXPECT_EQ(List().mode, kModeByType);
}

TEST_F(ResultViewTest, ANewScanKeepsThePanesHiddenBehindTheCentredPanel) {
  view_->SetLayoutState(3);
  view_->SetClassifyMode(kModeByType);
  // The scan start's order of calls.
  view_->SetLayoutState(1);
  view_->SetClassifyMode(kModeByPath);
  view_->ShowResultView(1);
  EXPECT_EQ(VisiblePanes(*view_), 0);
  view_->SetLayoutState(2);
  EXPECT_TRUE(Pane(kModeByPath).GetStyle() & WS_VISIBLE);
}

TEST_F(ResultViewTest, SummaryCountsCheckedFilesNotFolders) {
  view_->SetLayoutState(3);
  Publish(MakeVolume({{10, 5, u"Dir", true},
                      {20, 10, u"a.jpg", false, 1000},
                      {21, 10, u"b.jpg", false, 2000},
                      {22, 5, u"empty.txt", false, 0},
                      {23, 5, u"none.txt", false, 0}}));
  // A folder checks the files below it: two files, 3000 bytes; the folder itself is no file.
  ToggleItemCheck(List(), nullptr, kFirstScannedSlot, 10);
  EXPECT_EQ(view_->m_selCount, 2u);
  EXPECT_EQ(view_->m_selBytes, 3000u);
  EXPECT_EQ(view_->m_summary.m_text, FormatCString(u"%u files, %s", 2u, FormatByteSize(3000)));
  ToggleItemCheck(List(), nullptr, kFirstScannedSlot, 10);
  // Files of size 0 only: the count goes to Recover, the text asks to choose.
  ToggleItemCheck(List(), nullptr, kFirstScannedSlot, 22);
  ToggleItemCheck(List(), nullptr, kFirstScannedSlot, 23);
  EXPECT_EQ(view_->m_selCount, 2u);
  EXPECT_EQ(view_->m_selBytes, 0u);
  EXPECT_EQ(view_->m_summary.m_text, CString(u"Check files and save"));
}

struct OptionsAsked {
  int calls = 0;
  uint32_t files = 0;
  uint64_t bytes = 0;
} g_asked;
bool RecordOptionsDialog(void*, uint32_t files, uint64_t bytes, RecoverOptions&) {
  ++g_asked.calls;
  g_asked.files = files;
  g_asked.bytes = bytes;
  return false;  // cancelled
}

TEST_F(ResultViewTest, RecoverHandsTheSummaryToTheOptionsDialog) {
  view_->SetLayoutState(3);
  Publish(SampleVolume());
  CopyOutServices services;
  services.saveParamDlg = &RecordOptionsDialog;
  SetCopyOutServices(services);
  g_asked = {};
  ScanRunState.store(kScanStopped);
  ToggleItemCheck(List(), nullptr, kFirstScannedSlot, 10);  // Photos: 3000 + 1024 bytes
  view_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RESULT_RECOVER, BN_CLICKED), 0);
  SetCopyOutServices(CopyOutServices{});
  EXPECT_EQ(g_asked.calls, 1);
  EXPECT_EQ(g_asked.files, 2u);
  EXPECT_EQ(g_asked.bytes, 4024u);
}

TEST_F(ResultViewTest, HeaderNamesTheDiskOrThePartitionOrTheRecycleBin) {
  VolumeContext t;
  t.name = u"\\\\.\\E:";
  t.sectorCount = 1000;
  t.deviceSectors = 1000;
  EXPECT_EQ(CDorivDlg::HeaderText(t), CString(u"Disk \\\\.\\E:"));
  t.sectorCount = 999;
  EXPECT_EQ(CDorivDlg::HeaderText(t), CString(u"Partition \\\\.\\E:"));
  t.operation = 8;
  EXPECT_EQ(CDorivDlg::HeaderText(t), CString(u"Partition Recycle Bin"));
}

TEST_F(ResultViewTest, BackAsksOnlyWhileTheScanRuns) {
  struct Case {
    uint32_t state;
    int answer;  // 1: the first button ("Yes", keep scanning)
    bool asked;
    bool leaves;
  } cases[] = {{kScanRunning, 1, true, false},
               {kScanRunning, 0, true, true},
               {kScanPaused, 1, false, true},
               {kScanInputDone, 1, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    view_->ShowResultView(1);
    dlg_->m_devSel.ShowWindow(SW_HIDE);
    dlg_->m_devSel.m_refreshNeeded = 0;
    ScanRunState.store(c.state);
    mainwnd_test::Rec().boxes.clear();
    mainwnd_test::Rec().answer = c.answer;
    view_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_RESULT_BACK, BN_CLICKED), 0);
    EXPECT_EQ(!mainwnd_test::Rec().boxes.empty(), c.asked);
    EXPECT_EQ(ScanRunState.load(), c.leaves ? uint32_t(kScanStopped) : c.state);
    EXPECT_EQ(bool(view_->GetStyle() & WS_VISIBLE), !c.leaves);
    EXPECT_EQ(bool(dlg_->m_devSel.GetStyle() & WS_VISIBLE), c.leaves);
  }
  ScanRunState.store(kScanStopped);
}

}  // namespace
}  // namespace results_test
