// The details list: its texts, the view messages each mode answers, sorting, appending, the
// icon cache and the check click.
#include "platform/fileio.h"
#include "platform/wnd/shellapi.h"
#include "results/tests/resultfixture.h"

namespace results_test {
namespace {

TEST(ResultTexts, SizeColumnRoundsUpFrom500BytesAndPrints64Bits) {
  struct Case {
    uint64_t size;
    const char16_t* text;
  } cases[] = {{0, u"      0 KB"},    {1, u"      1 KB"},    {1023, u"      1 KB"}, {1024, u"      1 KB"},
               {1523, u"      1 KB"}, {1524, u"      2 KB"}, {2047, u"      2 KB"}, {2048, u"      2 KB"},
               {2ull << 40, u"2147483648 KB"}, {(5ull << 40) + 600, u"5368709121 KB"}};
  for (const Case& c : cases) EXPECT_EQ(FormatResultSize(c.size), CString(c.text)) << c.size;
}

TEST(ResultTexts, CopyTextToBufferNeverPassesItsEnd) {
  char16_t buf[6];
  for (char16_t& ch : buf) ch = u'#';
  CopyTextToBuffer(CString(u"abcdefgh"), buf, 4);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(buf[4], u'#');
  CopyTextToBuffer(CString(u"xy"), buf, 0);
  EXPECT_EQ(buf[0], u'a');
}

// Files named f000000.txt … under the root of one volume.
VolumeContext ManyFiles(uint32_t n) {
  VolumeContext v;
  ResetVolumeContext(v);
  v.type = kVolTypeNtfs;
  v.label = u"Big";
  CreateRootAndLostFolders(v);
  for (uint32_t i = 0; i < n; ++i) {
    char16_t name[16];
    const CString text = FormatCString(u"f%06u.txt", n - 1 - i);
    for (int k = 0; k <= text.GetLength(); ++k) name[k] = k < text.GetLength() ? text[k] : 0;
    FileRecord r = MakeRecord({1000 + i, kRootId, name, kRecInUse, 0, 0, i});
    AddFileRecord(v, r, 1);
  }
  return v;
}

TEST_F(ResultViewTest, ResultsReadyFillsEveryModeFromItsOwnRoot) {
  Publish(SampleVolume());
  // By path and the search pane: the root of slot 4, folders first, by name.
  for (int mode : {kModeByPath, kModeSearch}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(Details(mode).m_shownKey, kFirstScannedSlot);
    EXPECT_EQ(RowNames(mode), (std::vector<CString>{u"Docs", u"Photos", u"readme"}));
    EXPECT_EQ(Details(mode).m_sortColumn, kColumnName);
  }
  // The classified panes: the root of their own view.
  EXPECT_EQ(Details(kModeByType).m_shownKey, kViewIdFlag | 0u);
  EXPECT_EQ(Details(kModeByCreation).m_shownKey, kViewIdFlag | 1u);
  EXPECT_FALSE(Ids(kModeByType).empty());
  // The row texts come from the records; a folder shows its file count.
  CExplorerListCtrl& list = Details(kModeByPath);
  EXPECT_EQ(list.GetItemText(1, kColumnName), CString(u"Photos     (2 Files)"));
  EXPECT_EQ(list.GetItemText(2, kColumnSize), CString(u"      1 KB"));
}

TEST_F(ResultViewTest, OpenFolderIsTakenOnlyByTheViewsOfTheCurrentMode) {
  Publish(SampleVolume());
  // The by-path list opens a folder of a slot while its mode is the model's.
  NotifyVolumeListeners(List(), nullptr, WM_VIEW_OPENFOLDER, kFirstScannedSlot, 10);
  EXPECT_EQ(RowNames(kModeByPath), (std::vector<CString>{u"a.JPG", u"b.jpg"}));
  // The search list ignores it (its mode is not the model's), and so does every list for a
  // view key that is not its own.
  EXPECT_EQ(Details(kModeSearch).m_shownId, kRootId);
  const uint32_t typeShown = Details(kModeByType).m_shownId;
  NotifyVolumeListeners(List(), nullptr, WM_VIEW_OPENFOLDER, kViewIdFlag | 1u, 7);
  EXPECT_EQ(Details(kModeByType).m_shownId, typeShown);
  EXPECT_EQ(Details(kModeByPath).m_shownId, 10u);
  // Another mode current: the by-path list keeps what it showed.
  view_->SetClassifyMode(kModeByType);
  NotifyVolumeListeners(List(), nullptr, WM_VIEW_OPENFOLDER, kFirstScannedSlot, 11);
  EXPECT_EQ(Details(kModeByPath).m_shownId, 10u);
  view_->SetClassifyMode(kModeByPath);
  EXPECT_EQ(RowNames(kModeByPath), (std::vector<CString>{u"a.JPG", u"b.jpg"}));
}

TEST_F(ResultViewTest, SearchDoneAndAddedFilesReachOnlyTheirModes) {
  Publish(SampleVolume());
  NotifyVolumeListeners(List(), nullptr, WM_VIEW_SEARCHDONE, kFindFileSlot, 0);
  EXPECT_EQ(Details(kModeSearch).m_shownKey, kFindFileSlot);
  EXPECT_EQ(Details(kModeByPath).m_shownKey, kFirstScannedSlot);
  // Files added to slot 3 while the by-path list shows it are appended there only.
  NotifyVolumeListeners(List(), nullptr, WM_VIEW_OPENFOLDER, kFindFileSlot, kRootId);
  const size_t before = Ids(kModeByPath).size();
  {
    VolumeListWriteGuard guard(List());
    FileRecord r = MakeRecord({300, kRootId, u"carved.jpg", kRecInUse, 0, 0, 10});
    AddFileRecord(List().slots[kFindFileSlot], r, 1);
  }
  NotifyVolumeListeners(List(), nullptr, WM_VIEW_FILESADDED, 0, 0);
  ASSERT_EQ(Ids(kModeByPath).size(), before + 1);
  EXPECT_EQ(Ids(kModeByPath).back(), 300u);
}

TEST_F(ResultViewTest, AnAddedSlotGrowsOnlyTheClassifiedLists) {
  Publish(SampleVolume());
  const size_t byPath = Ids(kModeByPath).size(), byType = Ids(kModeByType).size();
  const std::vector<uint32_t> typeRows = Ids(kModeByType);
  VolumeContext more = MakeVolume({{30, 5, u"song.mp3", false, 5000, Day(2022, 2, 2), Day(2022, 2, 2)}}, u"More");
  ASSERT_TRUE(AddScannedVolume(List(), nullptr, more, 1));
  PumpAll();
  EXPECT_EQ(Ids(kModeByPath).size(), byPath);
  ASSERT_EQ(Ids(kModeByType).size(), byType + 1);
  EXPECT_TRUE(std::equal(typeRows.begin(), typeRows.end(), Ids(kModeByType).begin()));
}

TEST_F(ResultViewTest, AppendKeepsTheRowsAndTheirSortAndAddsOnlyTheNewIds) {
  Publish(SampleVolume());
  CExplorerListCtrl& list = Details(kModeByPath);
  list.SortByColumn(kColumnName);  // again: descending
  const std::vector<uint32_t> shown = list.m_ids;
  {
    VolumeListWriteGuard guard(List());
    AddFileRecord(List().slots[kFirstScannedSlot], MakeRecord({30, kRootId, u"aaa.txt", kRecInUse, 0, 0, 5}), 1);
  }
  list.AppendNewItems();
  ASSERT_EQ(list.m_ids.size(), shown.size() + 1);
  EXPECT_TRUE(std::equal(shown.begin(), shown.end(), list.m_ids.begin()));
  EXPECT_EQ(list.m_ids.back(), 30u);
  EXPECT_EQ(list.m_sortColumn, kColumnName);
  EXPECT_EQ(list.GetItemCount(), int(list.m_ids.size()));
  // Nothing new: nothing changes.
  list.AppendNewItems();
  EXPECT_EQ(list.m_ids.size(), shown.size() + 1);
}

TEST_F(ResultViewTest, ColumnClicksToggleTheOrderAndAnotherColumnStartsAscending) {
  Publish(SampleVolume());
  CExplorerListCtrl& list = Details(kModeByPath);
  NotifyVolumeListeners(List(), nullptr, WM_VIEW_OPENFOLDER, kFirstScannedSlot, 10);
  struct Step {
    int column;
    int ascending;
    std::vector<CString> names;
  } steps[] = {{kColumnName, 0, {u"b.jpg", u"a.JPG"}},
               {kColumnName, 1, {u"a.JPG", u"b.jpg"}},
               {kColumnSize, 1, {u"a.JPG", u"b.jpg"}},
               {kColumnSize, 0, {u"b.jpg", u"a.JPG"}},
               {kColumnModified, 1, {u"a.JPG", u"b.jpg"}}};
  for (const Step& s : steps) {
    NMLISTVIEW nm{};
    nm.hdr = NMHDR{list.m_hWnd, IDC_PANE_DETAILS, LVN_COLUMNCLICK};
    nm.iSubItem = s.column;
    Pane(kModeByPath).SendMessage(WM_NOTIFY, IDC_PANE_DETAILS, reinterpret_cast<LPARAM>(&nm));
    EXPECT_EQ(list.m_sortColumn, s.column);
    EXPECT_EQ(list.m_sortAscending, s.ascending);
    EXPECT_EQ(list.m_header.m_sortColumn, s.column);
    EXPECT_EQ(RowNames(kModeByPath), s.names);
  }
}

TEST_F(ResultViewTest, LargeFoldersAreNotSortedWhenShownAndWarnBeforeASort) {
  struct Case {
    uint32_t files;
    bool autoSorted;
    bool warned;
  } cases[] = {{9999, true, false}, {10000, false, false}, {109999, false, false}, {110000, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files);
    Publish(ManyFiles(c.files));
    CExplorerListCtrl& list = Details(kModeByPath);
    ASSERT_EQ(list.m_ids.size(), c.files);
    EXPECT_EQ(list.m_sortColumn, c.autoSorted ? int(kColumnName) : -1);
    mainwnd_test::Rec().boxes.clear();
    list.SortByColumn(kColumnSize);
    EXPECT_EQ(list.m_sortColumn, int(kColumnSize));
    if (c.warned) {
      EXPECT_EQ(mainwnd_test::Rec().boxes, (std::vector<CString>{u"Sorting 11", u"Sorted"}));
    } else {
      EXPECT_TRUE(mainwnd_test::Rec().boxes.empty());
    }
  }
}

TEST_F(ResultViewTest, DisplayTextIsCutToTheBufferTheListOffers) {
  Publish(SampleVolume());
  CExplorerListCtrl& list = Details(kModeByPath);
  // A buffer of exactly four characters on the heap, so the sanitizer sees a write past it.
  auto buf = std::make_unique<char16_t[]>(4);
  NMLVDISPINFOW di{};
  di.hdr = NMHDR{list.m_hWnd, IDC_PANE_DETAILS, LVN_GETDISPINFOW};
  di.item.mask = LVIF_TEXT;
  di.item.iItem = 1;  // "Photos     (2 Files)"
  di.item.pszText = buf.get();
  di.item.cchTextMax = 4;
  Pane(kModeByPath).SendMessage(WM_NOTIFY, IDC_PANE_DETAILS, reinterpret_cast<LPARAM>(&di));
  EXPECT_EQ(std::u16string(buf.get()), u"Pho");
  // Rows outside the list and missing records are left alone.
  buf[0] = u'#';
  di.item.iItem = 99;
  Pane(kModeByPath).SendMessage(WM_NOTIFY, IDC_PANE_DETAILS, reinterpret_cast<LPARAM>(&di));
  EXPECT_EQ(buf[0], u'#');
}

std::atomic<int> g_iconAsks{0};
HICON CountingIcon(const CString& ext) {
  ++g_iconAsks;
  SHFILEINFOW info{};
  SHGetFileInfoW(ext.GetString(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                 SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_SMALLICON);
  return info.hIcon;
}

TEST_F(ResultViewTest, IconCacheAsksTheShellOncePerExtension) {
  CExplorerListCtrl& list = Details(kModeByPath);
  SetExtensionIconHook(&CountingIcon);
  g_iconAsks = 0;
  EXPECT_EQ(list.GetIconIndex(u"folder.jpg", true), 0);
  EXPECT_EQ(list.GetIconIndex(u"README", false), 1);
  EXPECT_EQ(list.GetIconIndex(u".profile", false), 1);
  const int jpg = list.GetIconIndex(u"a.JPG", false);
  EXPECT_EQ(jpg, 2);
  EXPECT_EQ(list.GetIconIndex(u"b.jpg", false), jpg);
  EXPECT_EQ(list.GetIconIndex(u"c.tar.gz", false), 3);
  EXPECT_EQ(g_iconAsks.load(), 2);
  EXPECT_EQ(list.m_iconCache.back(), CString(u".GZ"));
  EXPECT_EQ(list.m_smallImages.GetImageCount(), int(list.m_iconCache.size()));
  SetExtensionIconHook(nullptr);
}

TEST_F(ResultViewTest, OnlyTheCheckBandTogglesTheRow) {
  view_->MoveWindow(0, 0, 1000, 600, TRUE);
  view_->SetLayoutState(3);
  view_->OnBnClickedShowDetails();
  Publish(SampleVolume());
  PumpAll();
  CExplorerListCtrl& list = Details(kModeByPath);
  RECT row{};
  ASSERT_TRUE(list.GetItemRect(2, &row, LVIR_BOUNDS));  // "readme"
  const int y = (row.top + row.bottom) / 2;
  for (int x : {7, 8, 20, 21}) {
    SCOPED_TRACE(x);
    const bool before = GetItemRecord(List(), kFirstScannedSlot, 23)->flags & kRecChecked;
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    PumpAll();
    const bool after = GetItemRecord(List(), kFirstScannedSlot, 23)->flags & kRecChecked;
    EXPECT_EQ(after != before, x >= 8 && x <= 20);
    // The summary follows every toggle.
    EXPECT_EQ(view_->m_selCount, after ? 1u : 0u);
  }
}

TEST_F(ResultViewTest, MenuCommandsWithoutARowAnswerWithTheirRefusal) {
  Publish(SampleVolume());
  CExplorerListCtrl& list = Details(kModeByPath);
  list.m_menuTarget = -1;
  struct Case {
    UINT command;
    const char16_t* text;
  } cases[] = {{ID_RESULT_RECOVER, u"Pick a file to recover"},
               {ID_RESULT_OPEN, u"Pick a file to open"},
               {ID_RESULT_PREVIEW, u"Pick a file to preview"},
               {ID_RESULT_RENAME, u"Pick a file to rename"}};
  for (const Case& c : cases) {
    mainwnd_test::Rec().boxes.clear();
    list.SendMessage(WM_COMMAND, c.command, 0);
    EXPECT_EQ(mainwnd_test::Rec().boxes, (std::vector<CString>{c.text}));
  }
  // The menu of a folder has no Preview; of empty space, it has.
  for (bool dir : {true, false}) {
    CMenu menu;
    menu.CreatePopupMenu();
    list.BuildContextMenu(menu, dir);
    EXPECT_EQ(menu.GetMenuItemCount(), dir ? 4u : 5u);
    EXPECT_EQ(menu.GetMenuState(ID_RESULT_PREVIEW, MF_BYCOMMAND) != UINT(-1), !dir);
  }
}

}  // namespace
}  // namespace results_test

namespace results_test {
namespace {

struct MenuSeen {
  UINT choose = 0;
  int items = 0;
  bool preview = false;
} g_menu;
UINT ChooseFromMenu(HMENU menu, HWND, void*) {
  g_menu.items = GetMenuItemCount(menu);
  g_menu.preview = GetMenuState(menu, ID_RESULT_PREVIEW, MF_BYCOMMAND) != UINT(-1);
  return g_menu.choose;
}

TEST_F(ResultViewTest, RightClickOpensTheMenuOfTheRowUnderTheCursor) {
  view_->MoveWindow(0, 0, 1000, 600, TRUE);
  view_->ShowResultView(1);
  view_->SetLayoutState(3);
  view_->OnBnClickedShowDetails();
  Publish(SampleVolume());
  PumpAll();
  CExplorerListCtrl& list = Details(kModeByPath);
  ASSERT_EQ(RowNames(kModeByPath)[0], CString(u"Docs"));
  RECT row{};
  ASSERT_TRUE(list.GetItemRect(0, &row, LVIR_BOUNDS));
  const LPARAM at = MAKELPARAM(100, (row.top + row.bottom) / 2);
  SetMenuChoiceHook(&ChooseFromMenu, nullptr);
  g_menu = {};
  g_menu.choose = ID_RESULT_OPEN;
  list.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, at);
  list.SendMessage(WM_RBUTTONUP, 0, at);
  PumpAll();
  SetMenuChoiceHook(nullptr, nullptr);
  // A folder's menu has no Preview; Open on it opens the folder in every view of the mode.
  EXPECT_EQ(g_menu.items, 4);
  EXPECT_FALSE(g_menu.preview);
  EXPECT_EQ(list.m_menuTarget, 11);
  EXPECT_EQ(list.m_shownId, 11u);
  EXPECT_EQ(RowNames(kModeByPath), (std::vector<CString>{u"notes.txt"}));
  // "Show icons" switches every pane to its thumbnails.
  list.SendMessage(WM_COMMAND, ID_RESULT_SHOWICONS, 0);
  for (CFdrDlg& pane : view_->m_panes) {
    EXPECT_FALSE(pane.m_details.GetStyle() & WS_VISIBLE);
    EXPECT_TRUE(pane.m_thumbs.GetStyle() & WS_VISIBLE);
  }
  EXPECT_FALSE(view_->m_btnIcons.IsWindowEnabled());
  EXPECT_TRUE(view_->m_btnDetails.IsWindowEnabled());
}

TEST_F(ResultViewTest, DoubleClickOnAFolderOpensIt) {
  view_->MoveWindow(0, 0, 1000, 600, TRUE);
  view_->ShowResultView(1);
  view_->SetLayoutState(3);
  view_->OnBnClickedShowDetails();
  Publish(SampleVolume());
  PumpAll();
  CExplorerListCtrl& list = Details(kModeByPath);
  RECT row{};
  ASSERT_TRUE(list.GetItemRect(1, &row, LVIR_BOUNDS));  // "Photos"
  const LPARAM at = MAKELPARAM(100, (row.top + row.bottom) / 2);
  list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
  list.SendMessage(WM_LBUTTONUP, 0, at);
  list.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  list.SendMessage(WM_LBUTTONUP, 0, at);
  PumpAll();
  EXPECT_EQ(list.m_shownId, 10u);
  EXPECT_EQ(RowNames(kModeByPath), (std::vector<CString>{u"a.JPG", u"b.jpg"}));
  // The search pane is of another mode: it stays at the root.
  EXPECT_EQ(Details(kModeSearch).m_shownId, kRootId);
}

}  // namespace
}  // namespace results_test
