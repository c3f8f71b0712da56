// The skinned report list: theme and geometry, the header that keeps its height, row colours on
// the screen (zebra, selection with and without focus, hover, disabled), hover repainting only
// the two rows concerned, sort markers, the check-picture click band against where the picture
// is drawn, row records, and a screenshot of a themed list.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/afx/afxmsg.h"
#include "platform/paint/resstore.h"
#include "skin/skinlist.h"
#include "skin/skintheme.h"
#include "skin/tests/skin_art.h"
#include "skin/tests/skin_test_util.h"

namespace {

constexpr COLORREF kDisabled = 0xD8E9EC;
constexpr COLORREF kSortUp = RGB(200, 0, 0);
constexpr COLORREF kSortDown = RGB(0, 0, 200);
constexpr COLORREF kSeparator = RGB(0, 160, 0);
constexpr COLORREF kHeaderFace = RGB(90, 90, 90);
constexpr COLORREF kUnchecked = RGB(10, 20, 30);
constexpr COLORREF kChecked = RGB(30, 200, 30);

// Records which rows were drawn.
class CCountingList : public CSkinListCtrl {
 public:
  void DrawItem(DRAWITEMSTRUCT* dis) override {
    drawn.insert(int(dis->itemID));
    CSkinListCtrl::DrawItem(dis);
  }
  std::set<int> drawn;
};

struct CountedRecord : ListRowData {
  explicit CountedRecord(int* alive) : alive_(alive) { ++*alive_; }
  ~CountedRecord() override { --*alive_; }
  int* alive_;
};

class SkinListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    SetSkinThemeValues();
    ClearResources();
    RegisterResource(RT_BITMAP, 170, SolidBmp(100, 23, kHeaderFace));
    RegisterResource(RT_GROUP_ICON, 236, SolidBmp(16, 16, kSortUp));
    RegisterResource(RT_GROUP_ICON, 243, SolidBmp(16, 16, kSortDown));
    RegisterResource(RT_GROUP_ICON, 171, SolidBmp(12, 16, kSeparator));
    ASSERT_TRUE(parent_.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{100, 100, 700, 600}, nullptr, 0));
  }
  void TearDown() override {
    parent_.DestroyWindow();
    PumpAll();
    ClearResources();
  }

  // A bordered list of `rows` rows and three columns at (10, 10), 400 by 400.
  void Make(CSkinListCtrl& list, int rows, DWORD style = 0) {
    ASSERT_TRUE(list.Create(WS_VISIBLE | WS_BORDER | LVS_REPORT | style, RECT{10, 10, 410, 410}, &parent_, 5));
    list.InsertColumn(0, u"Name", LVCFMT_LEFT, 180);
    list.InsertColumn(1, u"Size", LVCFMT_LEFT, 80);
    list.InsertColumn(2, u"Date", LVCFMT_LEFT, 120);
    for (int i = 0; i < rows; ++i) {
      list.InsertItem(i, FormatCString(u"file%d.jpg", i).GetString());
      list.SetItemText(i, 1, u"12 KB");
    }
    PumpAll();
  }
  // The colour the list shows at a client point.
  static COLORREF At(CWnd& list, int x, int y) { return GetWindowPixel(list.m_hWnd, x + 1, y + 1); }
  // A point inside row r, right of the first column's text.
  static POINT InRow(CListCtrl& list, int r) {
    RECT b{};
    list.GetItemRect(r, &b, LVIR_BOUNDS);
    return POINT{300, (b.top + b.bottom) / 2};
  }
  static void LoadCheckPictures(CSkinListCtrlBase& list, int size) {
    for (int k = 0; k < 2; ++k) {
      ASSERT_TRUE(list.m_checkImages[k].Create(size, size));
      list.m_checkImages[k].FillSolidRect(0, 0, size, size, k ? kChecked : kUnchecked);
    }
    list.m_bCheckBoxes = 1;
  }

  CWnd parent_;
};

TEST_F(SkinListTest, ThemeStylesRowHeightAndHeaderOnSubclass) {
  CSkinListCtrl list;
  Make(list, 3);
  EXPECT_TRUE(list.GetStyle() & LVS_OWNERDRAWFIXED);
  EXPECT_TRUE(list.GetExtendedStyle() & LVS_EX_FULLROWSELECT);
  EXPECT_EQ(list.GetHeaderCtrl(), &list.m_header);
  EXPECT_EQ(list.m_oddRowColor, SkinTheme.listOddRow);
  EXPECT_EQ(list.m_selectedColor, SkinTheme.listSelected);
  EXPECT_EQ(list.m_header.m_textColor, SkinTheme.listHeaderText);
  EXPECT_NE(list.m_header.m_hSortAscending, nullptr);
  // The header is never lower than its 23-pixel picture; the rows start below it.
  RECT r0{}, r1{};
  ASSERT_TRUE(list.GetItemRect(0, &r0, LVIR_BOUNDS));
  ASSERT_TRUE(list.GetItemRect(1, &r1, LVIR_BOUNDS));
  EXPECT_GE(list.m_header.m_nHeight, 23);
  EXPECT_EQ(r0.top, list.m_header.m_nHeight);
  EXPECT_EQ(r0.bottom - r0.top, 30);
  list.SetRowHeight(44);
  ASSERT_TRUE(list.GetItemRect(1, &r1, LVIR_BOUNDS));
  EXPECT_EQ(r1.bottom - r1.top, 44);
}

TEST_F(SkinListTest, HeaderKeepsTheHighestLayoutItWasGiven) {
  CSkinListCtrl list;
  Make(list, 3);
  CFont big, small;
  ASSERT_TRUE(big.CreateFont(-30, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"DejaVu Sans"));
  ASSERT_TRUE(small.CreateFont(-8, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"DejaVu Sans"));
  auto layout = [&](CFont& f) {
    list.m_header.SetFont(&f, FALSE);
    RECT area{0, 0, 400, 400};
    WINDOWPOS wp{};
    HDLAYOUT lay{&area, &wp};
    EXPECT_TRUE(list.m_header.SendMessage(HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&lay)));
    EXPECT_EQ(area.top, wp.cy);  // the list area starts right below the header
    return int(wp.cy);
  };
  const int high = layout(big);
  EXPECT_GT(high, 23);
  EXPECT_EQ(layout(small), high);
  // Unthemed, the header starts from the layout's own height, then never shrinks.
  CSkinHeaderCtrl& h = list.m_header;
  h.m_nHeight = 0;
  const int first = layout(small);
  EXPECT_LT(first, high);
  EXPECT_EQ(layout(small), first);
}

TEST_F(SkinListTest, RowsShowZebraSelectionAndHoverColours) {
  CSkinListCtrl list;
  Make(list, 6, 0);
  list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
  list.m_hoverRow = 3;
  list.SetFocus();
  list.Invalidate();
  UpdateAllWindows();
  auto colourOf = [&](int r) {
    const POINT p = InRow(list, r);
    return At(list, p.x, p.y);
  };
  EXPECT_EQ(colourOf(0), SkinTheme.listEvenRow);
  EXPECT_EQ(colourOf(1), SkinTheme.listOddRow);
  EXPECT_EQ(colourOf(2), SkinTheme.listSelected);
  EXPECT_EQ(colourOf(3), SkinTheme.listHover);
  EXPECT_EQ(colourOf(4), SkinTheme.listEvenRow);
  // Below the rows the list is white.
  EXPECT_EQ(At(list, 200, 390), RGB(255, 255, 255));
  // Without the focus the selection turns pale, unless the list always shows it.
  parent_.SetFocus();
  list.Invalidate();
  UpdateAllWindows();
  EXPECT_EQ(colourOf(2), SkinTheme.listSelectedUnfocused);
  list.ModifyStyle(0, LVS_SHOWSELALWAYS);
  list.Invalidate();
  UpdateAllWindows();
  EXPECT_EQ(colourOf(2), SkinTheme.listSelected);
}

TEST_F(SkinListTest, DisabledListPaintsRowsAndEmptySpaceAlike) {
  CSkinListCtrl list;
  Make(list, 4);
  list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
  list.EnableWindow(FALSE);
  UpdateAllWindows();
  for (int r : {0, 2, 3}) {
    const POINT p = InRow(list, r);
    EXPECT_EQ(At(list, p.x, p.y), kDisabled) << r;
  }
  EXPECT_EQ(At(list, 200, 390), kDisabled);
  // The frame is drawn in the theme's colour around the whole list.
  EXPECT_EQ(GetWindowPixel(list.m_hWnd, 0, 0), SkinTheme.listFrame);
  EXPECT_EQ(GetWindowPixel(list.m_hWnd, 399, 200), SkinTheme.listFrame);
}

TEST_F(SkinListTest, HoverRepaintsOnlyTheRowsItLeavesAndEnters) {
  CCountingList list;
  Make(list, 8);
  list.SetItemState(5, LVIS_SELECTED, LVIS_SELECTED);
  UpdateAllWindows();
  auto moveTo = [&](int r) {
    const POINT p = InRow(list, r);
    const POINT s = ScreenAt(list.m_hWnd, p.x, p.y);
    InjectMouseMove(s.x, s.y);
    PumpAll();
    UpdateAllWindows();
  };
  moveTo(3);
  list.drawn.clear();
  moveTo(4);
  EXPECT_EQ(list.drawn, (std::set<int>{3, 4}));
  EXPECT_EQ(list.m_hoverRow, 4);
  EXPECT_EQ(At(list, 300, (InRow(list, 4).y)), SkinTheme.listHover);
  EXPECT_EQ(At(list, 300, (InRow(list, 3).y)), SkinTheme.listOddRow);
  EXPECT_EQ(list.m_bPaintThrough, 0);  // the direct paint is used once
  // The selected row keeps its colour and is not repainted for the hover.
  list.drawn.clear();
  moveTo(5);
  EXPECT_EQ(list.drawn, (std::set<int>{4}));
  EXPECT_EQ(At(list, 300, InRow(list, 5).y), SkinTheme.listSelectedUnfocused);
  // Leaving the list repaints the last hover row through the memory picture.
  moveTo(6);
  list.SendMessage(WM_MOUSELEAVE);
  UpdateAllWindows();
  EXPECT_EQ(list.m_hoverRow, -1);
  EXPECT_EQ(list.m_bHoverShortcutBlocked, 1);
  EXPECT_EQ(At(list, 300, InRow(list, 6).y), SkinTheme.listEvenRow);
}

TEST_F(SkinListTest, SortMarkerShowsOnlyInAColumnWideEnough) {
  CSkinListCtrl list;
  Make(list, 2);
  list.m_header.m_hSeparator = LoadIconW(nullptr, ResourceIdName(171));
  const struct {
    int width;
    int ascending;
    COLORREF want;  // at the marker's place
  } cases[] = {{180, 1, kSortUp}, {180, 0, kSortDown}, {24, 1, kSortUp}, {23, 1, kHeaderFace}};
  for (const auto& c : cases) {
    list.SetColumnWidth(0, c.width);
    list.m_header.m_sortColumn = 0;
    list.m_header.m_bSortAscending = c.ascending;
    list.m_header.Invalidate();
    UpdateAllWindows();
    const int y = list.m_header.m_nHeight / 2;
    // The marker sits 24 px left of the column's right edge; with no room it is not drawn.
    const int x = std::max(0, c.width - 24) + 3;
    EXPECT_EQ(GetWindowPixel(list.m_header.m_hWnd, x, y), c.want) << c.width;
  }
  // The separator icon at the right end of each column.
  list.SetColumnWidth(0, 180);
  list.m_header.Invalidate();
  UpdateAllWindows();
  EXPECT_EQ(GetWindowPixel(list.m_header.m_hWnd, 180 - 6 + 2, list.m_header.m_nHeight / 2), kSeparator);
  EXPECT_EQ(GetWindowPixel(list.m_header.m_hWnd, 180 + 80 - 6 + 2, list.m_header.m_nHeight / 2), kSeparator);
  DestroyIcon(list.m_header.m_hSeparator);
  list.m_header.m_hSeparator = nullptr;
}

// Where the check picture is drawn is where it can be clicked, with and without row icons.
TEST_F(SkinListTest, CheckClickBandLiesUnderThePicture) {
  for (const bool icons : {false, true}) {
    CSkinListCtrl list;
    Make(list, 3);
    // Both lists have images (they make the room the indent gives); only one shows icons.
    CImageList plain;
    if (icons) {
      list.InitCtrl(1);
      HICON icon = LoadIconW(nullptr, ResourceIdName(236));
      EXPECT_EQ(list.AddIcon(icon), 0);
      DestroyIcon(icon);
    } else {
      ASSERT_TRUE(plain.Create(20, 20, ILC_COLOR32, 1, 1));
      list.SetImageList(&plain, LVSIL_SMALL);
    }
    LoadCheckPictures(list, 16);
    // Room left of the label for the picture: rows indented by two image widths.
    for (int r = 0; r < 3; ++r) {
      LVITEMW it{};
      it.mask = LVIF_INDENT | (icons ? LVIF_IMAGE : 0);
      it.iItem = r;
      it.iIndent = 2;
      it.iImage = 0;
      list.SetItem(&it);
      list.SetCheck(r, FALSE);
    }
    CRect label;
    ASSERT_TRUE(list.GetSubItemRect(1, 0, LVIR_LABEL, label));
    const int start = icons ? -34 : -14;  // the picture's left edge from the label's
    const struct {
      int dx;
      bool toggles;
    } band[] = {{start - 1, false}, {start, true}, {start + 8, true}, {start + 15, true}, {start + 16, false}};
    const int y = (label.top + label.bottom) / 2;
    for (const auto& b : band) {
      const bool before = list.IsRowChecked(1);
      const LPARAM at = MAKELPARAM(label.left + b.dx, y);
      list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
      list.SendMessage(WM_LBUTTONUP, 0, at);
      EXPECT_EQ(list.IsRowChecked(1) != before, b.toggles) << "icons " << icons << " dx " << b.dx;
    }
    // The picture shows across exactly that band.
    list.SetCheck(1, TRUE);
    list.Invalidate();
    UpdateAllWindows();
    EXPECT_EQ(At(list, label.left + start, y), kChecked);
    EXPECT_EQ(At(list, label.left + start + 15, y), kChecked);
    EXPECT_NE(At(list, label.left + start + 16, y), kChecked);
    EXPECT_NE(At(list, label.left + start - 1, y), kChecked);
    // A right click toggles too; without check boxes nothing does.
    list.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(label.left + start + 2, y));
    EXPECT_FALSE(list.IsRowChecked(1));
    list.m_bCheckBoxes = 0;
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(label.left + start + 2, y));
    list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(label.left + start + 2, y));
    EXPECT_FALSE(list.IsRowChecked(1));
    list.DestroyWindow();
  }
}

TEST_F(SkinListTest, CheckBandReachingTheLabelsEndIsNotClickable) {
  CSkinListCtrl list;
  Make(list, 2);
  LoadCheckPictures(list, 16);
  list.m_checkImageOffset = 0;
  list.SetColumnWidth(0, 16);  // the label is narrower than the picture
  CRect label;
  ASSERT_TRUE(list.GetSubItemRect(0, 0, LVIR_LABEL, label));
  list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(label.left + 2, (label.top + label.bottom) / 2));
  list.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(label.left + 2, (label.top + label.bottom) / 2));
  EXPECT_FALSE(list.IsRowChecked(0));
}

TEST_F(SkinListTest, RowRecordsAreFreedOnRequestAndWithTheList) {
  int alive = 0;
  {
    CSkinListCtrl list;
    Make(list, 3);
    for (int r = 0; r < 3; ++r) list.SetRowData(r, std::make_unique<CountedRecord>(&alive));
    EXPECT_EQ(alive, 3);
    EXPECT_EQ(reinterpret_cast<ListRowData*>(list.GetItemData(2)), list.m_rowData[2].get());
    list.DeleteAllItems();
    list.FreeAllRowData();
    EXPECT_EQ(alive, 0);
    list.InsertItem(0, u"again");
    list.SetRowData(0, std::make_unique<CountedRecord>(&alive));
    list.DestroyWindow();
  }
  EXPECT_EQ(alive, 0);
}

TEST_F(SkinListTest, InitCtrlRunsOnceAndIconsGoIntoBothLists) {
  CSkinListCtrl list;
  Make(list, 1);
  EXPECT_EQ(list.InitCtrl(1), 1);
  EXPECT_EQ(list.m_bIcons, 1);
  EXPECT_EQ(list.GetImageListHandle(LVSIL_SMALL), list.m_smallImages.GetSafeHandle());
  EXPECT_EQ(list.GetImageListHandle(LVSIL_NORMAL), list.m_largeImages.GetSafeHandle());
  EXPECT_EQ(list.InitCtrl(1), 1);
  HICON icon = LoadIconW(nullptr, ResourceIdName(243));
  EXPECT_EQ(list.AddIcon(icon), 0);
  EXPECT_EQ(list.AddIcon(icon), 1);
  EXPECT_EQ(list.m_largeImages.GetImageCount(), 2);
  EXPECT_EQ(list.AddIcon(nullptr), -1);
  EXPECT_EQ(list.m_largeImages.GetImageCount(), 2);
  EXPECT_EQ(list.m_smallImages.GetImageCount(), 2);
  DestroyIcon(icon);
}

TEST_F(SkinListTest, EndOfColumnDragRepaintsTheWholeList) {
  CCountingList list;
  Make(list, 5);
  UpdateAllWindows();
  list.drawn.clear();
  NMHEADERW nm{};
  nm.hdr.hwndFrom = list.m_header.m_hWnd;
  nm.hdr.code = HDN_ENDTRACKW;
  list.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
  UpdateAllWindows();
  EXPECT_EQ(list.drawn, (std::set<int>{0, 1, 2, 3, 4}));
  nm.hdr.code = HDN_BEGINTRACKW;
  EXPECT_EQ(list.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm)), FALSE);
}

// The list with the program's own pictures, for a person to look at.
TEST(SkinListShot, ThemedListWithIconsChecksAndSortMarker) {
  InitWindowLayer();
  SetScreenSize(1280, 800);
  if (!LoadSkinArt()) GTEST_SKIP() << "skin pictures not built";
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{0, 0, 520, 300}, nullptr, 0));
  CSkinListCtrl list;
  ASSERT_TRUE(list.Create(WS_VISIBLE | WS_BORDER | LVS_REPORT, RECT{10, 10, 510, 290}, &parent, 5));
  list.InitCtrl(1);
  HICON icon = LoadIconW(nullptr, ResourceIdName(236));
  list.AddIcon(icon);
  DestroyIcon(icon);
  list.m_header.m_hSeparator = LoadIconW(nullptr, ResourceIdName(171));
  list.InsertColumn(0, u"Name", LVCFMT_LEFT, 220);
  list.InsertColumn(1, u"Size", LVCFMT_LEFT, 90);
  list.InsertColumn(2, u"Modified", LVCFMT_LEFT, 170);
  list.m_header.m_sortColumn = 1;
  for (int k = 0; k < 2; ++k) {
    list.m_checkImages[k].Create(14, 14);
    list.m_checkImages[k].FillSolidRect(0, 0, 14, 14, RGB(160, 160, 160));
    list.m_checkImages[k].FillSolidRect(1, 1, 12, 12, k ? RGB(40, 120, 220) : RGB(255, 255, 255));
  }
  list.m_bCheckBoxes = 1;
  for (int i = 0; i < 9; ++i) {
    list.InsertItem(i, FormatCString(u"holiday_%d.jpg", 100 + i).GetString());
    LVITEMW it{};
    it.mask = LVIF_INDENT | LVIF_IMAGE;
    it.iItem = i;
    it.iIndent = 2;
    it.iImage = 0;
    list.SetItem(&it);
    list.SetItemText(i, 1, FormatCString(u"%d KB", 120 + 37 * i).GetString());
    list.SetItemText(i, 2, u"2024-02-19  10:42:07");
    list.SetCheck(i, i % 3 == 0);
  }
  list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
  list.m_hoverRow = 4;
  list.SetFocus();
  list.Invalidate();
  UpdateAllWindows();
  const std::string dir = KESTREL_SKIN_SHOT_DIR;
  EXPECT_TRUE(SaveWindowPng(parent.m_hWnd, dir + "/skin_list.png"));
  DestroyIcon(list.m_header.m_hSeparator);
  list.m_header.m_hSeparator = nullptr;
  parent.DestroyWindow();
  ClearResources();
}

}  // namespace
