// The class library's list, header and tooltip controls: rows and columns through CListCtrl,
// an owner-drawn list that measures and draws through reflection and paints itself through
// a memory picture with the list's default painting, a subclassed header, and tooltips that
// show after their delay on the virtual clock.
#include <gtest/gtest.h>

#include "platform/afx/afxcmn.h"
#include "platform/afx/afxmsg.h"

namespace {

class AfxCmn : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    SetScreenSize(1280, 800);
    ASSERT_TRUE(parent_.CreateEx(0, nullptr, u"P", WS_POPUP | WS_VISIBLE, RECT{100, 100, 600, 500}, nullptr, 0));
  }
  void TearDown() override {
    parent_.DestroyWindow();
    Pump();
    UseVirtualMessageClock(false);
  }
  static void Pump() {
    MSG m;
    for (int i = 0; i < 10000 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&m);
    UpdateAllWindows();
  }
  CWnd parent_;
};

// The way a skinned list works: it answers its row height, draws every row, and paints
// through a memory picture that the list's own painting fills.
class CBufferedList : public CListCtrl {
 public:
  void MeasureItem(MEASUREITEMSTRUCT* mis) { mis->itemHeight = UINT(rowHeight); }
  void DrawItem(DRAWITEMSTRUCT* dis) override {
    ++drawn;
    RECT r = dis->rcItem;
    r.right = 10000;
    FillSolidRectDc(dis->hDC, &r, (dis->itemState & ODS_SELECTED) ? RGB(0, 0, 200) : RGB(0, 150, 0));
  }
  void OnPaint() {
    CPaintDC dc(this);
    RECT c{};
    GetClientRect(&c);
    HDC mem = CreateCompatibleDC(dc.m_hDC);
    HBITMAP bm = CreateCompatibleBitmap(mem, c.right, c.bottom);
    HGDIOBJ old = SelectObject(mem, bm);
    FillSolidRectDc(mem, &c, RGB(236, 233, 216));
    DefWindowProc(WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
    BitBlt(dc.m_hDC, 0, 0, c.right, c.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bm);
    DeleteDC(mem);
  }
  void OnEndTrack(NMHDR*, LRESULT* result) {
    ++endTracks;
    *result = 0;
  }
  int rowHeight = 24;
  int drawn = 0;
  int endTracks = 0;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CBufferedList, CListCtrl)
ON_WM_MEASUREITEM_REFLECT()
ON_WM_PAINT()
ON_NOTIFY(HDN_ENDTRACKW, 0, OnEndTrack)
END_MESSAGE_MAP()

class CCountingHeader : public CHeaderCtrl {};

TEST_F(AfxCmn, ListCtrlKeepsRowsColumnsChecksAndSelection) {
  CListCtrl list;
  ASSERT_TRUE(list.Create(WS_VISIBLE | LVS_REPORT, RECT{0, 0, 300, 200}, &parent_, 7));
  list.SetExtendedStyle(list.GetExtendedStyle() | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  EXPECT_EQ(list.InsertColumn(0, u"Name", LVCFMT_LEFT, 120), 0);
  EXPECT_EQ(list.InsertColumn(1, u"Size", LVCFMT_RIGHT, 60), 1);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list.InsertItem(i, u"file"), i);
    list.SetItemText(i, 1, u"12 KB");
    list.SetItemData(i, DWORD_PTR(100 + i));
  }
  EXPECT_EQ(list.GetItemCount(), 5);
  EXPECT_EQ(list.GetItemText(3, 0), CString(u"file"));
  EXPECT_EQ(list.GetItemText(3, 1), CString(u"12 KB"));
  EXPECT_EQ(list.GetItemText(3, 2), CString());
  EXPECT_EQ(list.GetItemData(4), DWORD_PTR(104));
  EXPECT_EQ(list.GetColumnWidth(0), 120);
  CImageList small;
  ASSERT_TRUE(small.Create(20, 20, ILC_COLOR32, 100, 10));
  EXPECT_EQ(list.SetImageList(&small, LVSIL_SMALL), nullptr);
  EXPECT_EQ(list.GetImageListHandle(LVSIL_SMALL), small.GetSafeHandle());
  char16_t heading[16] = {};
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_FMT;
  col.pszText = heading;
  col.cchTextMax = 16;
  ASSERT_TRUE(list.GetColumn(1, &col));
  EXPECT_EQ(CString(heading), CString(u"Size"));
  EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_RIGHT);
  EXPECT_FALSE(list.GetColumn(2, &col));
  EXPECT_FALSE(list.GetCheck(2));
  list.SetCheck(2);
  EXPECT_TRUE(list.GetCheck(2));
  list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
  list.SetItemState(3, LVIS_SELECTED, LVIS_SELECTED);
  std::vector<int> rows;
  for (POSITION pos = list.GetFirstSelectedItemPosition(); pos;) rows.push_back(list.GetNextSelectedItem(pos));
  EXPECT_EQ(rows, (std::vector<int>{1, 3}));
  EXPECT_EQ(list.GetSelectedCount(), 2u);
  CRect cell;
  ASSERT_TRUE(list.GetSubItemRect(2, 1, LVIR_LABEL, cell));
  EXPECT_EQ(cell.left, 120);
  UINT flags = 0;
  EXPECT_EQ(list.HitTest(CPoint(cell.left + 5, cell.top + 2), &flags), 2);
  EXPECT_EQ(flags, LVHT_ONITEMLABEL);
  ASSERT_TRUE(list.DeleteItem(0));
  EXPECT_EQ(list.GetItemData(0), DWORD_PTR(101));
  rows.clear();
  for (POSITION pos = list.GetFirstSelectedItemPosition(); pos;) rows.push_back(list.GetNextSelectedItem(pos));
  EXPECT_EQ(rows, (std::vector<int>{0, 2}));  // the selection moved up with its rows
  ASSERT_TRUE(list.DeleteAllItems());
  EXPECT_EQ(list.GetItemCount(), 0);
  list.SetImageList(static_cast<CImageList*>(nullptr), LVSIL_SMALL);
  EXPECT_EQ(list.GetFirstSelectedItemPosition(), nullptr);
}

TEST_F(AfxCmn, ListCtrlCheckFollowsTheStateImage) {
  // A list without check boxes gives its rows no state image: none of them is checked.
  CListCtrl list;
  ASSERT_TRUE(list.Create(WS_VISIBLE | LVS_REPORT, RECT{0, 0, 300, 200}, &parent_, 8));
  list.InsertColumn(0, u"Name", LVCFMT_LEFT, 120);
  list.InsertItem(0, u"file");
  const struct {
    UINT image;
    BOOL checked;
  } cases[] = {{0, FALSE}, {1, FALSE}, {2, TRUE}, {3, TRUE}, {0, FALSE}};
  EXPECT_FALSE(list.GetCheck(0));
  for (const auto& c : cases) {
    list.SetItemState(0, INDEXTOSTATEIMAGEMASK(c.image), LVIS_STATEIMAGEMASK);
    EXPECT_EQ(list.GetCheck(0), c.checked) << c.image;
  }
  EXPECT_FALSE(list.GetCheck(5));  // no such row
}

TEST_F(AfxCmn, OwnerDrawnListMeasuresDrawsAndPaintsThroughAMemoryPicture) {
  CBufferedList list;
  ASSERT_TRUE(list.Create(WS_VISIBLE | LVS_REPORT | LVS_OWNERDRAWFIXED | LVS_SHOWSELALWAYS, RECT{0, 0, 300, 200},
                          &parent_, 8));
  list.InsertColumn(0, u"Name", LVCFMT_LEFT, 200);
  for (int i = 0; i < 3; ++i) list.InsertItem(i, u"row");
  list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
  Pump();
  CRect r;
  ASSERT_TRUE(list.GetItemRect(1, &r, LVIR_BOUNDS));
  EXPECT_EQ(r.Height(), 24);
  EXPECT_EQ(list.drawn, 3);
  EXPECT_EQ(GetWindowPixel(list.m_hWnd, 250, r.top + 5), RGB(0, 0, 200));
  EXPECT_EQ(GetWindowPixel(list.m_hWnd, 250, r.bottom + 5), RGB(0, 150, 0));
  // Below the rows the memory picture keeps its own fill.
  EXPECT_EQ(GetWindowPixel(list.m_hWnd, 250, 190), RGB(236, 233, 216));
  // A new row height takes effect when the list hears of its place again.
  list.rowHeight = 30;
  CRect w;
  list.GetWindowRect(&w);
  WINDOWPOS wp{list.m_hWnd, nullptr, 0, 0, w.Width(), w.Height(), SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE};
  list.SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  ASSERT_TRUE(list.GetItemRect(1, &r, LVIR_BOUNDS));
  EXPECT_EQ(r.Height(), 30);
  // The header is found, subclassed, and its divider drags reach the list's map.
  CHeaderCtrl* plain = list.GetHeaderCtrl();
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->GetItemCount(), 1);
  CCountingHeader header;
  ASSERT_TRUE(header.SubclassWindow(plain->GetSafeHwnd()));
  EXPECT_EQ(list.GetHeaderCtrl(), &header);
  header.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 5));
  header.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(230, 5));
  header.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(230, 5));
  EXPECT_EQ(list.endTracks, 1);
  EXPECT_EQ(list.GetColumnWidth(0), 230);
}

TEST_F(AfxCmn, ToolTipShowsAfterItsDelayNearThePointerAndGoesOnAPress) {
  UseVirtualMessageClock(true);
  CWnd button;
  ASSERT_TRUE(button.Create(WC_STATIC, u"", WS_VISIBLE, RECT{10, 10, 110, 40}, &parent_, 3));
  CToolTipCtrl tip;
  ASSERT_TRUE(tip.Create(&parent_, TTS_ALWAYSTIP));
  ASSERT_TRUE(tip.AddTool(&button, u"Start the scan"));
  const RECT area{200, 200, 300, 260};
  ASSERT_TRUE(tip.AddTool(&parent_, u"A second tool", &area, 77));
  EXPECT_EQ(tip.GetToolCount(), 2);
  tip.SetDelayTime(TTDT_INITIAL, 400);
  auto move = [&](CWnd* over, int x, int y) {
    POINT s{x, y};
    ClientToScreen(over->m_hWnd, &s);
    SetCursorPos(s.x, s.y);
    MSG m{over->m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y), 0, s};
    tip.RelayEvent(&m);
  };
  move(&button, 20, 10);
  AdvanceVirtualMessageClock(300);
  Pump();
  EXPECT_FALSE(tip.IsWindowVisible());
  move(&button, 22, 11);  // resting on the same tool does not start the wait again
  AdvanceVirtualMessageClock(150);
  Pump();
  ASSERT_TRUE(tip.IsWindowVisible());
  CRect at;
  tip.GetWindowRect(&at);
  POINT cursor{};
  GetCursorPos(&cursor);
  EXPECT_EQ(at.left, cursor.x);
  EXPECT_EQ(at.top, cursor.y + 20);
  EXPECT_EQ(GetWindowTextString(tip.m_hWnd), CString(u"Start the scan"));
  EXPECT_EQ(GetWindowPixel(tip.m_hWnd, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetWindowPixel(tip.m_hWnd, 2, 2), RGB(255, 255, 225));
  EXPECT_NE(GetActiveWindow(), tip.m_hWnd);
  // A press takes it away, and it stays away while the pointer stays on the tool.
  MSG press{button.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(22, 11), 0, {0, 0}};
  tip.RelayEvent(&press);
  EXPECT_FALSE(tip.IsWindowVisible());
  move(&button, 25, 12);
  AdvanceVirtualMessageClock(1000);
  Pump();
  EXPECT_FALSE(tip.IsWindowVisible());
  // Another tool shows after the delay; leaving every tool takes the tip away.
  move(&parent_, 250, 230);
  AdvanceVirtualMessageClock(450);
  Pump();
  ASSERT_TRUE(tip.IsWindowVisible());
  EXPECT_EQ(GetWindowTextString(tip.m_hWnd), CString(u"A second tool"));
  tip.UpdateTipText(u"Changed", &parent_, 77);
  EXPECT_EQ(GetWindowTextString(tip.m_hWnd), CString(u"Changed"));
  move(&parent_, 350, 230);
  EXPECT_FALSE(tip.IsWindowVisible());
  // Shown too long, it goes by itself.
  move(&parent_, 250, 230);
  AdvanceVirtualMessageClock(450);
  Pump();
  ASSERT_TRUE(tip.IsWindowVisible());
  AdvanceVirtualMessageClock(tip.GetDelayTime(TTDT_AUTOPOP) + 10);
  Pump();
  EXPECT_FALSE(tip.IsWindowVisible());
  // Switched off, it shows nothing; a narrow maximum width wraps the text.
  tip.Activate(FALSE);
  move(&button, 20, 10);
  AdvanceVirtualMessageClock(1000);
  Pump();
  EXPECT_FALSE(tip.IsWindowVisible());
  tip.Activate(TRUE);
  tip.SetMaxTipWidth(60);
  tip.UpdateTipText(u"A text much wider than sixty pixels", &button);
  move(&parent_, 450, 350);
  move(&button, 20, 10);
  AdvanceVirtualMessageClock(450);
  Pump();
  ASSERT_TRUE(tip.IsWindowVisible());
  tip.GetWindowRect(&at);
  EXPECT_LE(at.Width(), 60 + 8);
  EXPECT_GT(at.Height(), 30);
  tip.DelTool(&button);
  EXPECT_EQ(tip.GetToolCount(), 1);
  EXPECT_FALSE(tip.IsWindowVisible());
}

}  // namespace
