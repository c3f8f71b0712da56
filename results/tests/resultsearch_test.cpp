// The search's outcomes, the report of rebuilt videos at the end of a scan, and the pane's
// splitter and face.
#include "core/filefilter.h"
#include "results/tests/resultfixture.h"

namespace results_test {
namespace {

void AddRecord(VolumeList& list, uint32_t slot, uint32_t id, uint32_t parent, const char16_t* name, uint16_t flags,
               uint64_t size = 0) {
  VolumeListWriteGuard guard(list);
  AddFileRecord(list.slots[slot], MakeRecord({id, parent, name, flags, 0, Day(2020, 1, 1), size}), 1);
}

class SearchTest : public ResultViewTest {
 protected:
  void SetUp() override {
    ResultViewTest::SetUp();
    saved_ = FileFilter();
    view_->SetLayoutState(3);
    Publish(SampleVolume());
    AddRecord(List(), kFindFileSlot, 300, kRootId, u"carved.jpg", kRecInUse, 100);
    TakeReceived();
  }
  void TearDown() override {
    FileFilter() = saved_;
    ResultViewTest::TearDown();
  }
  void Search(const char16_t* words) {
    FileFilter() = MakeDefaultFileFilter(2030, 1, 1);
    FileFilter().keywords = words;
    mainwnd_test::Rec().boxes.clear();
    view_->ApplySearch();
    PumpAll();
  }
  FileFilterSettings saved_;
};

TEST_F(SearchTest, NoMatchKeepsTheMode) {
  view_->SetClassifyMode(kModeByType);
  TakeReceived();
  Search(u"nothing-like-this");
  EXPECT_EQ(mainwnd_test::Rec().boxes, (std::vector<CString>{u"Nothing found"}));
  EXPECT_EQ(List().mode, kModeByType);
  EXPECT_TRUE(ReceivedOf(WM_VIEW_SEARCHDONE).empty());
}

TEST_F(SearchTest, AMatchOnlyAmongTheFoundFilesRestoresTheMode) {
  view_->SetClassifyMode(kModeByCreation);
  TakeReceived();
  Search(u"carved");
  EXPECT_EQ(mainwnd_test::Rec().boxes, (std::vector<CString>{u"Nothing found"}));
  EXPECT_EQ(List().mode, kModeByCreation);
  EXPECT_TRUE(Pane(kModeByCreation).GetStyle() & WS_VISIBLE);
  EXPECT_TRUE(ReceivedOf(WM_VIEW_SEARCHDONE).empty());
}

TEST_F(SearchTest, AMatchInAVolumeShowsTheSearchPaneWithTheVisibleFilesOnly) {
  Search(u"readme");
  EXPECT_TRUE(mainwnd_test::Rec().boxes.empty());
  const auto done = ReceivedOf(WM_VIEW_SEARCHDONE);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].wParam, WPARAM(kFirstScannedSlot));
  EXPECT_EQ(List().mode, kModeSearch);
  EXPECT_TRUE(Pane(kModeSearch).GetStyle() & WS_VISIBLE);
  EXPECT_FALSE(Pane(kModeByPath).GetStyle() & WS_VISIBLE);
  EXPECT_EQ(RowNames(kModeSearch), (std::vector<CString>{u"readme"}));
  // The by-path list keeps its rows and ignores folders opened in the search mode.
  EXPECT_EQ(Ids(kModeByPath).size(), 3u);
  // A second search of the same mode reaches the list through the search's own message.
  Search(u"jpg");
  EXPECT_EQ(RowNames(kModeSearch), (std::vector<CString>{u"Photos"}));
}

class VideoReportTest : public ResultViewTest {
 protected:
  void SetUp() override {
    ResultViewTest::SetUp();
    mov_ = MovFragmentMode;
    mts_ = MtsFragmentMode;
    MovFragmentMode = 0;
    MtsFragmentMode = 0;
    Publish(SampleVolume());
    mainwnd_test::Rec().reports.clear();
    mainwnd_test::Rec().boxes.clear();
  }
  void TearDown() override {
    MovFragmentMode = mov_;
    MtsFragmentMode = mts_;
    ResultViewTest::TearDown();
  }
  // A folder of slot 3 with `extents` children carrying an extent list and `plain` without.
  uint32_t next_ = 400;
  void Folder(uint32_t id, uint32_t extents, uint32_t plain) {
    if (!GetFileRecord(List().slots[kFindFileSlot], id)) AddRecord(List(), kFindFileSlot, id, kRootId, u"Videos", kDirInUse);
    for (uint32_t i = 0; i < extents + plain; ++i) {
      AddRecord(List(), kFindFileSlot, next_++, id, u"v.mp4", uint16_t(kRecInUse | (i < extents ? kRecExtentList : 0)), 10);
    }
  }
  uint32_t mov_ = 0, mts_ = 0;
};

TEST_F(VideoReportTest, RebuiltVideosAreReportedAndTheirFolderOpened) {
  struct Case {
    uint32_t* mode;
    uint32_t folder;
    const char16_t* report;
    const char16_t* message;
  } cases[] = {{&MovFragmentMode, kMovVideoFolderId, u"Rebuild mov: 2", u"成功重组2个视频文件！"},
               {&MtsFragmentMode, kMtsVideoFolderId, u"Rebuild mts: 2", u"成功重组2个MTS视频文件！"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    Publish(SampleVolume());
    Folder(c.folder, 2, 3);
    *c.mode = 1;
    mainwnd_test::Rec().reports.clear();
    mainwnd_test::Rec().boxes.clear();
    TakeReceived();
    view_->OnScanFinished();
    *c.mode = 0;
    ASSERT_EQ(mainwnd_test::Rec().reports.size(), 1u);
    EXPECT_EQ(mainwnd_test::Rec().reports[0].first, 26u);
    EXPECT_EQ(mainwnd_test::Rec().reports[0].second, CString(c.report));
    EXPECT_EQ(mainwnd_test::Rec().boxes, (std::vector<CString>{c.message}));
    const auto opened = ReceivedOf(WM_VIEW_OPENFOLDER);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].wParam, WPARAM(kFindFileSlot));
    EXPECT_EQ(opened[0].lParam, LPARAM(c.folder));
  }
  // No rebuilt video (only plain children): nothing at all.
  Publish(SampleVolume());
  Folder(kMovVideoFolderId, 0, 2);
  MovFragmentMode = 1;
  mainwnd_test::Rec().reports.clear();
  mainwnd_test::Rec().boxes.clear();
  view_->OnScanFinished();
  EXPECT_TRUE(mainwnd_test::Rec().reports.empty());
  EXPECT_TRUE(mainwnd_test::Rec().boxes.empty());
}

TEST_F(VideoReportTest, PhotoFragmentDiagnosticNeedsFourAndHalfOfBoth) {
  struct Case {
    uint32_t b, beside;
    bool reported;
  } cases[] = {{3, 0, false}, {4, 0, true}, {4, 4, true}, {4, 5, true}, {4, 6, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.b << "/" << c.beside);
    Publish(SampleVolume());
    Folder(201, c.b, 0);
    if (c.beside) Folder(kMovVideoFolderId, c.beside, 0);
    mainwnd_test::Rec().reports.clear();
    view_->OnScanFinished();
    if (!c.reported) {
      EXPECT_TRUE(mainwnd_test::Rec().reports.empty());
      continue;
    }
    ASSERT_EQ(mainwnd_test::Rec().reports.size(), 1u);
    EXPECT_EQ(mainwnd_test::Rec().reports[0].first, 25u);
    EXPECT_EQ(mainwnd_test::Rec().reports[0].second,
              FormatCString(u"Find Canon fragment: %u / %u", c.b, c.b + c.beside));
  }
}

class PaneTest : public ResultViewTest {
 protected:
  void SetUp() override {
    ResultViewTest::SetUp();
    view_->ShowResultView(1);
    view_->SetLayoutState(3);
    view_->OnBnClickedShowDetails();
    PumpAll();
    UpdateAllWindows();
  }
  void Drag(CFdrDlg& pane, int fromX, int toX, int y) {
    pane.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(fromX, y));
    pane.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(toX, y));
    pane.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(toX, y));
  }
};

TEST_F(PaneTest, SplitterDropsOnlyAwayFromTheEdges) {
  CFdrDlg& pane = Pane(kModeByPath);
  RECT rc{};
  pane.GetClientRect(&rc);
  const int cx = rc.right, y = rc.bottom / 2;
  struct Case {
    int to;
    bool taken;
  } cases[] = {{6, false}, {9, false}, {10, true}, {400, true}, {cx - 11, true}, {cx - 10, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    pane.m_treeWidth = 330;
    pane.OnSkinSize(rc.right, rc.bottom);
    const int bar = 5 + 330 + 2;  // between the tree and the list
    ASSERT_EQ(pane.HitTestSplitter(CPoint(bar, y)), 1);
    Drag(pane, bar, c.to, y);
    EXPECT_EQ(pane.m_treeWidth, c.taken ? c.to : 330);
    EXPECT_EQ(pane.m_dragMode, 0);
  }
  // A press beside the bar drags nothing.
  Drag(pane, 200, 400, y);
  EXPECT_EQ(pane.m_treeWidth, 330);
  RECT list{};
  pane.m_details.GetWindowRect(&list);
  pane.ScreenToClient(&list);
  EXPECT_EQ(list.left, 330 + 10);
}

TEST_F(PaneTest, TheDragLineIsGoneAfterTheDrop) {
  CFdrDlg& pane = Pane(kModeByPath);
  RECT rc{};
  pane.GetClientRect(&rc);
  const int y = rc.bottom / 2, bar = 5 + 330 + 2;
  const COLORREF before = GetWindowPixel(pane.m_hWnd, bar, y);
  pane.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(bar, y));
  pane.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(bar + 1, y));
  EXPECT_NE(GetWindowPixel(pane.m_hWnd, bar, y), before);  // the grey line is drawn
  pane.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(bar + 1, y));
  // The line is inverted away before the pane lays out anew; nothing of it is left.
  pane.m_treeWidth = 330;
  pane.OnSkinSize(rc.right, rc.bottom);
  PumpAll();
  UpdateAllWindows();
  EXPECT_EQ(GetWindowPixel(pane.m_hWnd, bar, y), before);
}

TEST_F(PaneTest, FrameAndTabMarkOfEachPane) {
  struct Case {
    int mode;
    int slot;
  } cases[] = {{kModeByPath, 0}, {kModeSearch, 4}, {kModeByType, 1}, {kModeByCreation, 2}, {kModeByModification, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    view_->SetClassifyMode(c.mode);
    PumpAll();
    UpdateAllWindows();
    CFdrDlg& pane = Pane(c.mode);
    EXPECT_EQ(GetWindowPixel(pane.m_hWnd, 0, 200), kPaneFrameColor);
    for (int slot = 0; slot < 5; ++slot) {
      const COLORREF top = GetWindowPixel(pane.m_hWnd, 125 * slot + 60, 0);
      EXPECT_EQ(top, slot == c.slot ? RGB(255, 255, 255) : kPaneFrameColor) << "slot " << slot;
    }
  }
  // Classified views off: only the by-path pane marks its tab.
  ClassifyAllowed = 0;
  for (int mode : {kModeByPath, kModeSearch}) {
    view_->SetClassifyMode(mode);
    CFdrDlg& pane = Pane(mode);
    pane.m_bBackReady = 0;
    pane.Invalidate(FALSE);
    PumpAll();
    UpdateAllWindows();
    const int x = mode == kModeByPath ? 60 : 4 * 125 + 60;
    EXPECT_EQ(GetWindowPixel(pane.m_hWnd, x, 0), mode == kModeByPath ? RGB(255, 255, 255) : kPaneFrameColor);
  }
}

}  // namespace
}  // namespace results_test
