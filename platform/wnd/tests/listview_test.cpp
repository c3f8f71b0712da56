// The list view in report and icon view, headless: geometry and hit-testing, selection by
// mouse and keys, check boxes, notifications, scrolling, owner drawing, owner data and custom
// draw.
#include <gtest/gtest.h>

#include "platform/wnd/tests/listview_test_util.h"

namespace {

class ListView : public ::testing::Test {
 protected:
  void SetUp() override {
    SetScreenSize(1280, 800);
    spy_.Make();
  }
  void TearDown() override {
    if (IsWindow(spy_.parent)) DestroyWindow(spy_.parent);
    Pump();
    ReleaseCapture();
  }
  // A report list with three columns (100, 80, 120) and `rows` rows.
  HWND Report(DWORD style = 0, int rows = 5) {
    HWND l = MakeList(spy_.parent, LVS_REPORT | style);
    AddColumn(l, 0, u"Name", 100);
    AddColumn(l, 1, u"Size", 80, LVCFMT_RIGHT);
    AddColumn(l, 2, u"Date", 120);
    for (int i = 0; i < rows; ++i) AddRow(l, i, u"row", i * 10);
    return l;
  }
  int HeaderHeight(HWND l) {
    RECT r{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(l, LVM_GETHEADER, 0, 0)), &r);
    return r.bottom - r.top;
  }
  int RowHeight(HWND l) {
    RECT r = ItemRect(l, 0, LVIR_BOUNDS);
    return r.bottom - r.top;
  }
  ParentSpy spy_;
};

TEST_F(ListView, ReportRectanglesFollowColumnsHeaderAndCheckBoxes) {
  HWND l = Report();
  const int hh = HeaderHeight(l), rh = RowHeight(l);
  ASSERT_GT(hh, 10);
  ASSERT_GT(rh, 10);
  RECT b = ItemRect(l, 2, LVIR_BOUNDS);
  EXPECT_EQ(b.left, 0);
  EXPECT_EQ(b.right, 300);
  EXPECT_EQ(b.top, hh + 2 * rh);
  // Without state or small images the label takes the column from a two-pixel margin.
  RECT label = ItemRect(l, 2, LVIR_LABEL), icon = ItemRect(l, 2, LVIR_ICON);
  EXPECT_EQ(icon.left, 2);
  EXPECT_EQ(icon.right, 2);
  EXPECT_EQ(label.left, 2);
  EXPECT_EQ(label.right, 100);
  // Sub-items are the column cells; sub-item 0 bounds are the whole row.
  RECT c1 = SubItemRect(l, 2, 1, LVIR_LABEL), c2 = SubItemRect(l, 2, 2, LVIR_BOUNDS), c0 = SubItemRect(l, 2, 0, LVIR_BOUNDS);
  EXPECT_EQ(c1.left, 100);
  EXPECT_EQ(c1.right, 180);
  EXPECT_EQ(c2.left, 180);
  EXPECT_EQ(c2.right, 300);
  EXPECT_TRUE(EqualRect(&c0, &b));
  EXPECT_FALSE(SendMessageW(l, LVM_GETSUBITEMRECT, 2, reinterpret_cast<LPARAM>(&(c1 = RECT{LVIR_LABEL, 3, 0, 0}))));
  // Check boxes put a 16-pixel state image and a two-pixel gap before the label.
  SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
  label = ItemRect(l, 0, LVIR_LABEL);
  EXPECT_EQ(label.left, 2 + 16 + 2);
  // Select bounds: the icon and label, or the whole row with full-row selection.
  RECT sel = ItemRect(l, 0, LVIR_SELECTBOUNDS);
  EXPECT_EQ(sel.left, 20);
  EXPECT_EQ(sel.right, 100);
  SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  sel = ItemRect(l, 0, LVIR_SELECTBOUNDS);
  EXPECT_EQ(sel.right, 300);
  // Rows that do not exist have no rectangle.
  RECT none{LVIR_BOUNDS, 0, 0, 0};
  EXPECT_FALSE(SendMessageW(l, LVM_GETITEMRECT, 5, reinterpret_cast<LPARAM>(&none)));
  EXPECT_FALSE(SendMessageW(l, LVM_GETITEMRECT, WPARAM(-1), reinterpret_cast<LPARAM>(&none)));
}

TEST_F(ListView, HitTestNamesRowPartAndColumn) {
  HWND l = Report();
  SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
  const int hh = HeaderHeight(l), rh = RowHeight(l);
  RECT client{};
  GetClientRect(l, &client);
  struct Case {
    int x, y;
    bool fullRow;
    int item, sub;
    UINT flags;
  } cases[] = {
      {5, hh + rh / 2, false, 0, 0, LVHT_ONITEMSTATEICON},
      {30, hh + rh + 1, false, 1, 0, LVHT_ONITEMLABEL},
      {99, hh + 3 * rh - 1, false, 2, 0, LVHT_ONITEMLABEL},
      {150, hh + rh / 2, false, -1, 0, LVHT_NOWHERE},    // a sub-item without full-row selection
      {150, hh + rh / 2, true, 0, 1, LVHT_ONITEMLABEL},  // ... and with it
      {350, hh + rh / 2, true, 0, 0, LVHT_ONITEMLABEL},  // right of the last column, still the row
      {30, hh - 1, false, -1, 0, LVHT_NOWHERE},          // on the header
      {30, hh + 5 * rh, false, -1, 0, LVHT_NOWHERE},     // below the last row
      {-1, hh + 2, false, -1, 0, LVHT_TOLEFT},
      {30, client.bottom, false, -1, 0, LVHT_BELOW},
  };
  for (const Case& c : cases) {
    SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, c.fullRow ? LVS_EX_FULLROWSELECT : 0);
    LVHITTESTINFO hi{};
    hi.pt = POINT{c.x, c.y};
    const int got = int(SendMessageW(l, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hi)));
    SCOPED_TRACE(testing::Message() << "point " << c.x << "," << c.y);
    EXPECT_EQ(got, c.item);
    EXPECT_EQ(hi.iItem, c.item);
    EXPECT_EQ(hi.flags, c.flags);
    if (c.item >= 0) {
      EXPECT_EQ(hi.iSubItem, c.sub);
    }
  }
}

// Row centre in client coordinates.
POINT RowPoint(HWND l, int i, int x = 30) {
  RECT b = ItemRect(l, i, LVIR_BOUNDS);
  return POINT{x, (b.top + b.bottom) / 2};
}

void Focus(HWND top, HWND l) {
  SetActiveWindow(top);
  SetFocus(l);
  Pump();
}

TEST_F(ListView, ClicksSelectWithCtrlAndShiftFromTheMark) {
  HWND l = Report(0, 10);
  auto click = [&](int row, WPARAM keys) {
    POINT p = RowPoint(l, row);
    ClickAt(l, p.x, p.y, keys);
  };
  click(2, 0);
  EXPECT_EQ(Selected(l), (std::vector<int>{2}));
  EXPECT_EQ(StateOf(l, 2), UINT(LVIS_SELECTED | LVIS_FOCUSED));
  EXPECT_EQ(SendMessageW(l, LVM_GETSELECTIONMARK, 0, 0), 2);
  EXPECT_EQ(GetFocus(), l);  // a click takes the keyboard
  click(5, MK_SHIFT);
  EXPECT_EQ(Selected(l), (std::vector<int>{2, 3, 4, 5}));
  EXPECT_EQ(SendMessageW(l, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED), 5);
  click(7, MK_CONTROL);
  EXPECT_EQ(Selected(l), (std::vector<int>{2, 3, 4, 5, 7}));
  click(4, MK_CONTROL);  // toggles off, and the mark moves there
  EXPECT_EQ(Selected(l), (std::vector<int>{2, 3, 5, 7}));
  click(6, MK_CONTROL | MK_SHIFT);  // adds the run from the mark, keeping the rest
  EXPECT_EQ(Selected(l), (std::vector<int>{2, 3, 4, 5, 6, 7}));
  click(1, MK_SHIFT);  // a plain Shift run replaces the selection
  EXPECT_EQ(Selected(l), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(SendMessageW(l, LVM_GETSELECTEDCOUNT, 0, 0), 4);
  // A click on empty space clears the selection; the focus stays.
  RECT c{};
  GetClientRect(l, &c);
  ClickAt(l, 30, c.bottom - 2);
  EXPECT_TRUE(Selected(l).empty());
  EXPECT_EQ(SendMessageW(l, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED), 1);
  // Every selection change was told: row 1 became selected once in the last Shift click.
  int told = 0;
  for (const Notice& n : spy_.Of(LVN_ITEMCHANGED)) told += n.item == 1 && (n.newState & LVIS_SELECTED) && !(n.oldState & LVIS_SELECTED);
  EXPECT_EQ(told, 1);
}

TEST_F(ListView, SingleSelectionKeepsOneRow) {
  HWND l = Report(LVS_SINGLESEL, 10);
  POINT a = RowPoint(l, 2), b = RowPoint(l, 6);
  ClickAt(l, a.x, a.y);
  ClickAt(l, b.x, b.y, MK_SHIFT);
  EXPECT_EQ(Selected(l), (std::vector<int>{6}));
  ClickAt(l, a.x, a.y, MK_CONTROL);
  EXPECT_EQ(Selected(l), (std::vector<int>{2}));
}

TEST_F(ListView, KeysMoveTheFocusAndSelectionAndScrollItIntoView) {
  HWND l = Report(0, 40);
  Focus(spy_.parent, l);
  const int per = int(SendMessageW(l, LVM_GETCOUNTPERPAGE, 0, 0));
  ASSERT_GT(per, 3);
  ASSERT_LT(per, 40);
  auto key = [](UINT vk) {
    InjectKeyPress(vk);
    Pump();
  };
  key(VK_DOWN);  // no focus yet: the first row
  EXPECT_EQ(Selected(l), (std::vector<int>{0}));
  key(VK_DOWN);
  key(VK_DOWN);
  EXPECT_EQ(Selected(l), (std::vector<int>{2}));
  InjectKey(VK_SHIFT, true);
  key(VK_DOWN);
  key(VK_DOWN);
  InjectKey(VK_SHIFT, false);
  Pump();
  EXPECT_EQ(Selected(l), (std::vector<int>{2, 3, 4}));
  InjectKey(VK_CONTROL, true);
  key(VK_DOWN);  // the focus alone moves
  InjectKey(VK_CONTROL, false);
  Pump();
  EXPECT_EQ(Selected(l), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(SendMessageW(l, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED), 5);
  key(VK_NEXT);  // first to the bottom of the page
  EXPECT_EQ(Selected(l), (std::vector<int>{per - 1}));
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), 0);
  key(VK_NEXT);  // then a page on, scrolled into view
  EXPECT_EQ(Selected(l), (std::vector<int>{2 * per - 2}));
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), per - 1);
  key(VK_END);
  EXPECT_EQ(Selected(l), (std::vector<int>{39}));
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), 40 - per);
  key(VK_HOME);
  EXPECT_EQ(Selected(l), (std::vector<int>{0}));
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), 0);
  EXPECT_FALSE(spy_.Of(LVN_KEYDOWN).empty());
}

TEST_F(ListView, CheckBoxesTurnByClickAndSpaceWithoutTouchingTheSelection) {
  HWND l = Report(0, 4);
  SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
  auto checked = [&](int i) { return (StateOf(l, i, LVIS_STATEIMAGEMASK) >> 12) == 2; };
  EXPECT_EQ(StateOf(l, 1, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));  // the empty box
  POINT a = RowPoint(l, 0), box = RowPoint(l, 1, 10);
  ClickAt(l, a.x, a.y);
  spy_.Clear();
  ClickAt(l, box.x, box.y);
  EXPECT_TRUE(checked(1));
  EXPECT_EQ(Selected(l), (std::vector<int>{0}));
  ASSERT_EQ(spy_.Of(LVN_ITEMCHANGED).size(), 1u);
  EXPECT_EQ(spy_.Of(LVN_ITEMCHANGED)[0].newState & LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(2));
  ClickAt(l, box.x, box.y);
  EXPECT_FALSE(checked(1));
  // The parent may refuse the change.
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == LVN_ITEMCHANGING; };
  ClickAt(l, box.x, box.y);
  EXPECT_FALSE(checked(1));
  spy_.answer = nullptr;
  // Space turns the focused row's box.
  Focus(spy_.parent, l);
  InjectKeyPress(VK_SPACE, u' ');
  Pump();
  EXPECT_TRUE(checked(0));
  // The box shows its tick.
  UpdateWindow(l);
  auto ink = [&](int row) {
    RECT b = ItemRect(l, row, LVIR_BOUNDS);
    int n = 0;
    for (int y = b.top; y < b.bottom; ++y) {
      for (int x = 2; x < 18; ++x) n += GetWindowPixel(l, x, y) == GetSysColor(COLOR_WINDOWTEXT);
    }
    return n;
  };
  EXPECT_GT(ink(0), 8);
  EXPECT_EQ(ink(2), 0);
}

TEST_F(ListView, ClicksAndColumnsTellTheParent) {
  HWND l = Report(0, 6);
  SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  POINT p = RowPoint(l, 1, 150);
  ClickAt(l, p.x, p.y);
  auto clicks = spy_.Of(NM_CLICK);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].item, 1);
  EXPECT_EQ(clicks[0].sub, 1);
  EXPECT_EQ(clicks[0].pt.x, p.x);
  EXPECT_EQ(clicks[0].pt.y, p.y);
  // A double click: one click, one double click, and the release after it is no click.
  spy_.Clear();
  SendMessageW(l, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(l, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendMessageW(l, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(l, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(spy_.Of(NM_CLICK).size(), 1u);
  ASSERT_EQ(spy_.Of(NM_DBLCLK).size(), 1u);
  EXPECT_EQ(spy_.Of(NM_DBLCLK)[0].item, 1);
  EXPECT_EQ(spy_.Of(LVN_ITEMACTIVATE).size(), 1u);
  // A right click inside the selection keeps it; outside it, it selects that row alone.
  POINT q = RowPoint(l, 3, 150);
  ClickAt(l, q.x, q.y, MK_SHIFT);
  spy_.Clear();
  ClickAt(l, RowPoint(l, 2).x, RowPoint(l, 2).y, 0, true);
  EXPECT_EQ(Selected(l), (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(spy_.Of(NM_RCLICK).size(), 1u);
  EXPECT_EQ(spy_.Of(NM_RCLICK)[0].item, 2);
  ClickAt(l, RowPoint(l, 5).x, RowPoint(l, 5).y, 0, true);
  EXPECT_EQ(Selected(l), (std::vector<int>{5}));
  RECT c{};
  GetClientRect(l, &c);
  spy_.Clear();
  ClickAt(l, 30, c.bottom - 2, 0, true);
  ASSERT_EQ(spy_.Of(NM_RCLICK).size(), 1u);
  EXPECT_EQ(spy_.Of(NM_RCLICK)[0].item, -1);
  // A click on a column's header is a column click with its index.
  HWND hdr = reinterpret_cast<HWND>(SendMessageW(l, LVM_GETHEADER, 0, 0));
  spy_.Clear();
  ClickAt(hdr, 140, 5);
  ASSERT_EQ(spy_.Of(LVN_COLUMNCLICK).size(), 1u);
  EXPECT_EQ(spy_.Of(LVN_COLUMNCLICK)[0].sub, 1);
}

TEST_F(ListView, DraggingAHeaderDividerResizesTheColumnsOfTheList) {
  HWND l = Report(0, 3);
  HWND hdr = reinterpret_cast<HWND>(SendMessageW(l, LVM_GETHEADER, 0, 0));
  auto drag = [&](int from, int to) {
    SendMessageW(hdr, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from, 5));
    SendMessageW(hdr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM((from + to) / 2, 5));
    SendMessageW(hdr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to, 5));
    SendMessageW(hdr, WM_LBUTTONUP, 0, MAKELPARAM(to, 5));
  };
  drag(101, 151);
  EXPECT_EQ(SendMessageW(l, LVM_GETCOLUMNWIDTH, 0, 0), 150);
  EXPECT_EQ(SubItemRect(l, 0, 1, LVIR_LABEL).left, 150);
  EXPECT_EQ(ItemRect(l, 0, LVIR_BOUNDS).right, 350);
  // The list's parent hears the drag, and may forbid it.
  ASSERT_EQ(spy_.Of(HDN_BEGINTRACKW).size(), 1u);
  ASSERT_EQ(spy_.Of(HDN_ENDTRACKW).size(), 1u);
  EXPECT_EQ(spy_.Of(HDN_ENDTRACKW)[0].sub, 150);
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == HDN_BEGINTRACKW; };
  drag(150, 60);
  EXPECT_EQ(SendMessageW(l, LVM_GETCOLUMNWIDTH, 0, 0), 150);
  spy_.answer = nullptr;
  // Dragged past the left edge, a column ends at width 0.
  drag(230, 100);
  EXPECT_EQ(SendMessageW(l, LVM_GETCOLUMNWIDTH, 1, 0), 0);
}

TEST_F(ListView, OwnerDrawnReportAsksForTheRowHeightAndDrawsEachShownRow) {
  spy_.rowHeight = 30;
  HWND l = Report(LVS_OWNERDRAWFIXED, 20);
  EXPECT_GE(spy_.measured, 1);
  EXPECT_EQ(RowHeight(l), 30);
  const int hh = HeaderHeight(l);
  LVITEMW sel{};
  sel.stateMask = sel.state = LVIS_SELECTED;
  SendMessageW(l, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&sel));
  UpdateAllWindows();
  spy_.drawn.clear();
  InvalidateRect(l, nullptr, FALSE);
  UpdateWindow(l);
  RECT c{};
  GetClientRect(l, &c);
  const int shown = (c.bottom - hh + 29) / 30;
  ASSERT_EQ(int(spy_.drawn.size()), shown);
  for (int i = 0; i < shown; ++i) {
    const DRAWITEMSTRUCT& d = spy_.drawn[size_t(i)];
    EXPECT_EQ(d.CtlType, ODT_LISTVIEW);
    EXPECT_EQ(d.CtlID, 5u);
    EXPECT_EQ(int(d.itemID), i);
    EXPECT_EQ(d.rcItem.top, hh + 30 * i);
    EXPECT_EQ(d.rcItem.right, 300);
    EXPECT_EQ(d.itemData, ULONG_PTR(i * 10));
    EXPECT_EQ((d.itemState & ODS_SELECTED) != 0, i == 2);
  }
  // Invalidating one row draws that row only.
  spy_.drawn.clear();
  RECT r = ItemRect(l, 4, LVIR_BOUNDS);
  InvalidateRect(l, &r, FALSE);
  UpdateWindow(l);
  ASSERT_EQ(spy_.drawn.size(), 1u);
  EXPECT_EQ(spy_.drawn[0].itemID, 4u);
  // A WM_WINDOWPOSCHANGED sent by hand makes the list measure again.
  spy_.rowHeight = 25;
  const int before = spy_.measured;
  RECT wr{};
  GetWindowRect(l, &wr);
  WINDOWPOS wp{l, nullptr, 0, 0, wr.right - wr.left, wr.bottom - wr.top,
                SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOOWNERZORDER};
  SendMessageW(l, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  EXPECT_EQ(spy_.measured, before + 1);
  EXPECT_EQ(RowHeight(l), 25);
}

TEST_F(ListView, OwnerDrawAddedAfterCreationIsMeasuredOnFirstUse) {
  spy_.rowHeight = 40;
  HWND l = Report(0, 3);
  EXPECT_EQ(spy_.measured, 0);
  const int plain = RowHeight(l);
  SetWindowLongPtrW(l, GWL_STYLE, GetWindowLongPtrW(l, GWL_STYLE) | LVS_OWNERDRAWFIXED);
  EXPECT_EQ(RowHeight(l), 40);
  EXPECT_EQ(spy_.measured, 1);
  SetWindowLongPtrW(l, GWL_STYLE, GetWindowLongPtrW(l, GWL_STYLE) & ~LVS_OWNERDRAWFIXED);
  EXPECT_EQ(RowHeight(l), plain);
}

TEST_F(ListView, DefaultPaintIntoAHandedContextDrawsEveryRowAndLeavesTheWindowInvalid) {
  spy_.rowHeight = 20;
  HWND l = Report(LVS_OWNERDRAWFIXED, 4);
  UpdateAllWindows();
  // The owner paints each row in a colour of its own, into whatever context it is handed.
  spy_.onDraw = [](const DRAWITEMSTRUCT* d) {
    RECT r = d->rcItem;
    FillSolidRectDc(d->hDC, &r, RGB(10, 20 + 10 * int(d->itemID), 30));
  };
  RECT c{};
  GetClientRect(l, &c);
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(mem, c.right, c.bottom);
  HGDIOBJ old = SelectObject(mem, bm);
  FillSolidRectDc(mem, &c, RGB(200, 200, 200));
  InvalidateRect(l, nullptr, FALSE);
  RECT upd{};
  ASSERT_TRUE(GetUpdateRect(l, &upd, FALSE));
  spy_.drawn.clear();
  SendMessageW(l, WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
  EXPECT_EQ(spy_.drawn.size(), 4u);
  const int hh = HeaderHeight(l);
  EXPECT_EQ(GetPixel(mem, 50, hh + 20 * 3 + 5), RGB(10, 50, 30));
  EXPECT_EQ(GetPixel(mem, 50, hh + 20 * 4 + 5), RGB(200, 200, 200));  // below the rows: untouched
  EXPECT_EQ(GetPixel(mem, 50, 2), RGB(200, 200, 200));                // the header's rows are the header's
  EXPECT_TRUE(GetUpdateRect(l, &upd, FALSE));
  SelectObject(mem, old);
  DeleteObject(bm);
  DeleteDC(mem);
}

TEST_F(ListView, DefaultRowsShowTheSelectionByFocusAndStyle) {
  auto selectedColour = [&](DWORD style, bool focus) {
    HWND l = Report(style, 3);
    LVITEMW sel{};
    sel.stateMask = sel.state = LVIS_SELECTED;
    SendMessageW(l, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&sel));
    if (focus) Focus(spy_.parent, l);
    else SetFocus(spy_.parent);
    UpdateAllWindows();
    POINT p = RowPoint(l, 1, 80);
    const COLORREF c = GetWindowPixel(l, p.x, p.y);
    DestroyWindow(l);
    return c;
  };
  EXPECT_EQ(selectedColour(0, true), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(selectedColour(LVS_SHOWSELALWAYS, false), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(selectedColour(0, false), GetSysColor(COLOR_WINDOW));
}

TEST_F(ListView, ScrollBarRequestsTheWheelAndEnsureVisibleMoveTheTopRow) {
  HWND l = Report(0, 100);
  const int per = int(SendMessageW(l, LVM_GETCOUNTPERPAGE, 0, 0));
  auto top = [&] { return int(SendMessageW(l, LVM_GETTOPINDEX, 0, 0)); };
  struct Step {
    UINT msg;
    WPARAM w;
    int expect;
  } steps[] = {
      {WM_VSCROLL, 1, 1},                      // line down
      {WM_VSCROLL, 3, 1 + per},                // page down
      {WM_VSCROLL, 2, 1},                      // page up
      {WM_VSCROLL, MAKEWPARAM(5, 50), 50},     // thumb track
      {WM_VSCROLL, 7, 100 - per},              // bottom
      {WM_VSCROLL, 1, 100 - per},              // no further
      {WM_VSCROLL, 6, 0},                      // top
      {WM_VSCROLL, 0, 0},                      // no further up
      {WM_MOUSEWHEEL, MAKEWPARAM(0, -240), 6},  // two notches, three rows each
      {WM_MOUSEWHEEL, MAKEWPARAM(0, -60), 6},   // half a notch waits
      {WM_MOUSEWHEEL, MAKEWPARAM(0, -60), 9},   // ... for the other half
      {WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 6},
  };
  for (const Step& st : steps) {
    SendMessageW(l, st.msg, st.w, 0);
    EXPECT_EQ(top(), st.expect) << "message " << st.msg << " " << st.w;
  }
  SendMessageW(l, LVM_ENSUREVISIBLE, 80, FALSE);
  EXPECT_EQ(top(), 80 - per + 1);
  SendMessageW(l, LVM_ENSUREVISIBLE, 10, FALSE);
  EXPECT_EQ(top(), 10);
  SendMessageW(l, LVM_SCROLL, 0, 3 * RowHeight(l));
  EXPECT_EQ(top(), 13);
  EXPECT_EQ(ItemRect(l, 13, LVIR_BOUNDS).top, HeaderHeight(l));
}

TEST_F(ListView, OwnerDataOfTenMillionRowsAsksOnlyForTheRowsShown) {
  HWND l = MakeList(spy_.parent, LVS_REPORT | LVS_OWNERDATA);
  AddColumn(l, 0, u"Name", 120);
  AddColumn(l, 1, u"Size", 80);
  AddColumn(l, 2, u"Date", 120);
  const int kRows = 10000000;
  SendMessageW(l, LVM_SETITEMCOUNT, kRows, LVSICF_NOINVALIDATEALL);
  EXPECT_EQ(SendMessageW(l, LVM_GETITEMCOUNT, 0, 0), kRows);
  UpdateAllWindows();
  RECT c{};
  GetClientRect(l, &c);
  const int rh = RowHeight(l), hh = HeaderHeight(l);
  const int shown = (c.bottom - hh + rh - 1) / rh;
  auto askedRows = [&] {
    int lo = INT32_MAX, hi = -1;
    for (auto [row, sub] : spy_.asked) lo = std::min(lo, row), hi = std::max(hi, row);
    return std::pair<int, int>{lo, hi};
  };
  EXPECT_EQ(int(spy_.asked.size()), shown * 3);
  EXPECT_EQ(askedRows(), (std::pair<int, int>{0, shown - 1}));
  ASSERT_EQ(spy_.cacheHints.size(), 1u);
  EXPECT_EQ(spy_.cacheHints[0], (std::pair<int, int>{0, shown - 1}));
  // One notch of the wheel: three rows on, and only the rows now shown are asked for.
  spy_.Clear();
  SendMessageW(l, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  UpdateAllWindows();
  EXPECT_EQ(askedRows(), (std::pair<int, int>{3, 3 + shown - 1}));
  EXPECT_EQ(spy_.cacheHints, (std::vector<std::pair<int, int>>{{3, 3 + shown - 1}}));
  // The last row, by key; then Shift+Home selects all ten million as one range.
  Focus(spy_.parent, l);
  spy_.Clear();
  InjectKeyPress(VK_END);
  Pump();
  const int per = int(SendMessageW(l, LVM_GETCOUNTPERPAGE, 0, 0));
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), kRows - per);
  EXPECT_EQ(askedRows().first, kRows - per);
  EXPECT_EQ(Selected(l), (std::vector<int>{kRows - 1}));
  spy_.Clear();
  InjectKey(VK_SHIFT, true);
  InjectKeyPress(VK_HOME);
  InjectKey(VK_SHIFT, false);
  Pump();
  EXPECT_EQ(SendMessageW(l, LVM_GETSELECTEDCOUNT, 0, 0), kRows);
  ASSERT_EQ(spy_.Of(LVN_ODSTATECHANGED).size(), 1u);
  EXPECT_EQ(spy_.Of(LVN_ODSTATECHANGED)[0].item, 0);
  EXPECT_EQ(spy_.Of(LVN_ODSTATECHANGED)[0].sub, kRows - 1);
  EXPECT_LE(spy_.Of(LVN_ITEMCHANGED).size(), 4u);  // the focus moves; no row by row news
  EXPECT_EQ(StateOf(l, 5000000, LVIS_SELECTED), UINT(LVIS_SELECTED));
  // A plain click clears it again with one notice for every row.
  spy_.Clear();
  POINT p = RowPoint(l, 2);
  ClickAt(l, p.x, p.y);
  EXPECT_EQ(SendMessageW(l, LVM_GETSELECTEDCOUNT, 0, 0), 1);
  int allRows = 0;
  for (const Notice& n : spy_.Of(LVN_ITEMCHANGED)) allRows += n.item == -1;
  EXPECT_EQ(allRows, 1);
  // Texts of any row are asked of the parent.
  char16_t buf[32] = {};
  LVITEMW it{};
  it.iSubItem = 2;
  it.pszText = buf;
  it.cchTextMax = 32;
  EXPECT_EQ(SendMessageW(l, LVM_GETITEMTEXTW, kRows - 1, reinterpret_cast<LPARAM>(&it)), 10);
  EXPECT_EQ(std::u16string(buf), u"r9999999c2");
}

TEST_F(ListView, DisplayTextsNeverRunPastTheBufferTheListOffers) {
  HWND l = MakeList(spy_.parent, LVS_REPORT | LVS_OWNERDATA);
  AddColumn(l, 0, u"Name", 120);
  SendMessageW(l, LVM_SETITEMCOUNT, 3, 0);
  int offered = 0;
  // A parent that fills the whole buffer and forgets the terminator.
  spy_.dispInfo = [&](NMLVDISPINFOW* di) {
    if (!(di->item.mask & LVIF_TEXT)) return;
    offered = di->item.cchTextMax;
    std::fill(di->item.pszText, di->item.pszText + di->item.cchTextMax, u'x');
  };
  char16_t buf[17];
  std::fill(buf, buf + 17, u'#');
  LVITEMW it{};
  it.pszText = buf;
  it.cchTextMax = 16;
  EXPECT_EQ(SendMessageW(l, LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&it)), 15);
  EXPECT_EQ(offered, 16);
  EXPECT_EQ(std::u16string(buf), std::u16string(15, u'x'));
  EXPECT_EQ(buf[16], u'#');
  // A parent that points at a long text of its own: no more than the buffer is taken.
  static const std::u16string longText(1000, u'y');
  spy_.dispInfo = [&](NMLVDISPINFOW* di) {
    if (di->item.mask & LVIF_TEXT) di->item.pszText = const_cast<char16_t*>(longText.c_str());
  };
  it.cchTextMax = 8;
  EXPECT_EQ(SendMessageW(l, LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&it)), 7);
  EXPECT_EQ(std::u16string(buf), u"yyyyyyy");
  UpdateAllWindows();  // painting takes the long text within its own buffer
  // A callback text the parent asks the list to keep is asked for once.
  HWND plain = Report(0, 0);
  LVITEMW cb{};
  cb.mask = LVIF_TEXT;
  cb.pszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(plain, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&cb));
  int asks = 0;
  spy_.dispInfo = [&](NMLVDISPINFOW* di) {
    ++asks;
    static char16_t kept[] = u"kept";
    di->item.pszText = kept;
    di->item.mask |= LVIF_DI_SETITEM;
  };
  it.cchTextMax = 16;
  SendMessageW(plain, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&it));
  SendMessageW(plain, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_EQ(std::u16string(buf), u"kept");
  EXPECT_EQ(asks, 1);
}

TEST_F(ListView, IconViewPlacesItemsOnTheGridOfItsSpacing) {
  HWND l = MakeList(spy_.parent, LVS_ICON | LVS_NOLABELWRAP | LVS_SHOWSELALWAYS, 10, 10, 400, 300);
  for (int i = 0; i < 20; ++i) AddRow(l, i, u"item");
  // Without a normal image list the icons are 32 by 32, and the spacing 43 more each way.
  EXPECT_EQ(SendMessageW(l, LVM_GETITEMSPACING, 0, 0), MAKELRESULT(75, 75));
  RECT icon = ItemRect(l, 7, LVIR_ICON), b = ItemRect(l, 7, LVIR_BOUNDS);  // 5 per row: column 2, row 1
  EXPECT_EQ(icon.left, 150 + (75 - 32) / 2);
  EXPECT_EQ(icon.top, 75 + 2);
  EXPECT_EQ(icon.right - icon.left, 32);
  EXPECT_EQ(b.left, 152);
  EXPECT_EQ(b.right, 223);
  EXPECT_EQ(SendMessageW(l, LVM_SETICONSPACING, 0, MAKELPARAM(126, 170)), MAKELRESULT(75, 75));
  b = ItemRect(l, 4, LVIR_BOUNDS);  // 3 per row: column 1, row 1
  EXPECT_EQ(b.left, 126 + 2);
  EXPECT_EQ(b.top, 170 + 2);
  struct Case {
    int x, y, item;
    UINT flags;
  } cases[] = {
      {126 + 63, 170 + 20, 4, LVHT_ONITEMICON},
      {126 + 10, b.bottom - 3, 4, LVHT_ONITEMLABEL},
      {126 + 63, b.bottom + 5, -1, LVHT_NOWHERE},  // below the label, inside the cell
      {3 * 126 + 2, 20, -1, LVHT_NOWHERE},         // right of the last column, left of the scroll bar
  };
  for (const Case& c : cases) {
    LVHITTESTINFO hi{};
    hi.pt = POINT{c.x, c.y};
    EXPECT_EQ(SendMessageW(l, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hi)), c.item) << c.x << "," << c.y;
    EXPECT_EQ(hi.flags, c.flags);
  }
  // Scrolling moves the grid by pixels; the keys move by one and by a row of the grid.
  SendMessageW(l, WM_VSCROLL, 3, 0);
  POINT origin{};
  SendMessageW(l, LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(&origin));
  EXPECT_EQ(origin.y, 300);
  EXPECT_EQ(ItemRect(l, 4, LVIR_BOUNDS).top, 172 - 300);
  Focus(spy_.parent, l);
  InjectKeyPress(VK_RIGHT);
  InjectKeyPress(VK_RIGHT);
  InjectKeyPress(VK_DOWN);
  Pump();
  EXPECT_EQ(Selected(l), (std::vector<int>{4}));
  EXPECT_EQ(SendMessageW(l, LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(&origin)) ? origin.y : -1, 0);
}

TEST_F(ListView, CustomDrawTellsEachShownTileAndSkipsTheDefault) {
  HWND l = MakeList(spy_.parent, LVS_ICON | LVS_OWNERDATA | LVS_NOLABELWRAP | LVS_NOCOLUMNHEADER, 10, 10, 400, 300);
  SendMessageW(l, LVM_SETICONSPACING, 0, MAKELPARAM(126, 170));
  SendMessageW(l, LVM_SETITEMCOUNT, 1000, 0);
  const COLORREF tile = RGB(30, 160, 90);
  spy_.customDraw = [&](NMLVCUSTOMDRAW* cd) -> LRESULT {
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) FillSolidRectDc(cd->nmcd.hdc, &cd->nmcd.rc, tile);
    return CDRF_SKIPDEFAULT;
  };
  UpdateAllWindows();
  std::vector<int> tiles;
  for (const NMCUSTOMDRAW& cd : spy_.customDrawn) {
    if (cd.dwDrawStage != CDDS_ITEMPREPAINT) continue;
    tiles.push_back(int(cd.dwItemSpec));
    RECT b = ItemRect(l, int(cd.dwItemSpec), LVIR_BOUNDS);
    EXPECT_TRUE(EqualRect(&b, &cd.rc));
  }
  EXPECT_EQ(tiles, (std::vector<int>{0, 1, 2, 3, 4, 5}));  // two rows of three show
  EXPECT_TRUE(spy_.asked.empty());                         // the default drawing never ran
  RECT b0 = ItemRect(l, 0, LVIR_BOUNDS);
  EXPECT_EQ(GetWindowPixel(l, (b0.left + b0.right) / 2, (b0.top + b0.bottom) / 2), tile);
  // A parent that skips everything at the start hears of no tile.
  spy_.Clear();
  spy_.customDraw = [](NMLVCUSTOMDRAW*) -> LRESULT { return CDRF_SKIPDEFAULT; };
  InvalidateRect(l, nullptr, TRUE);
  UpdateAllWindows();
  ASSERT_EQ(spy_.customDrawn.size(), 1u);
  EXPECT_EQ(spy_.customDrawn[0].dwDrawStage, CDDS_PREPAINT);
}

TEST_F(ListView, CustomDrawColoursReportTexts) {
  HWND l = Report(0, 3);
  const COLORREF red = RGB(220, 0, 0);
  spy_.customDraw = [&](NMLVCUSTOMDRAW* cd) -> LRESULT {
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->nmcd.dwItemSpec == 1) cd->clrText = red;
    return CDRF_DODEFAULT;
  };
  InvalidateRect(l, nullptr, TRUE);
  UpdateAllWindows();
  auto redPixels = [&](int row) {
    RECT b = ItemRect(l, row, LVIR_BOUNDS);
    int n = 0;
    for (int y = b.top; y < b.bottom; ++y) {
      for (int x = 0; x < 100; ++x) {
        const COLORREF c = GetWindowPixel(l, x, y);  // text edges are blended with the background
        n += GetRValue(c) > 150 && GetGValue(c) < 120 && GetBValue(c) < 120;
      }
    }
    return n;
  };
  EXPECT_GT(redPixels(1), 5);
  EXPECT_EQ(redPixels(0), 0);
}

TEST_F(ListView, ScrollBarsFollowTheRowsAndTheirThumbScrollsTenMillion) {
  HWND few = Report(0, 3);
  EXPECT_FALSE(GetWindowLongPtrW(few, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL));
  DestroyWindow(few);
  HWND l = MakeList(spy_.parent, LVS_REPORT | LVS_OWNERDATA);
  AddColumn(l, 0, u"Name", 300);
  AddColumn(l, 1, u"Size", 200);  // wider than the list together
  const int kRows = 10000000;
  SendMessageW(l, LVM_SETITEMCOUNT, kRows, LVSICF_NOINVALIDATEALL);
  ASSERT_TRUE(GetWindowLongPtrW(l, GWL_STYLE) & WS_VSCROLL);
  ASSERT_TRUE(GetWindowLongPtrW(l, GWL_STYLE) & WS_HSCROLL);
  const int per = int(SendMessageW(l, LVM_GETCOUNTPERPAGE, 0, 0));
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(l, SB_VERT, &si));
  EXPECT_EQ(si.nMax, kRows - 1);
  EXPECT_EQ(int(si.nPage), per);
  EXPECT_EQ(si.nPos, 0);
  UpdateAllWindows();
  RECT wr{};
  GetWindowRect(l, &wr);
  const int x = wr.right - 8;
  // Input is queued whole before it is handled: a press on a scroll bar runs its own loop.
  auto click = [](int px, int py) {
    InjectMouseMove(px, py);
    InjectMouseButton(0, true, px, py);
    InjectMouseButton(0, false, px, py);
    Pump();
  };
  // The down arrow: one row.
  click(x, wr.bottom - 17 - 8);
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), 1);
  // The thumb dragged to the end of its track: the last page, beyond what 16 bits can say.
  InjectMouseMove(x, wr.top + 17 + 3);
  InjectMouseButton(0, true, x, wr.top + 17 + 3);
  InjectMouseMove(x, wr.top + 150);
  InjectMouseMove(x, wr.bottom + 200);
  InjectMouseButton(0, false, x, wr.bottom + 200);
  Pump();
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), kRows - per);
  EXPECT_EQ(GetScrollPos(l, SB_VERT), kRows - per);
  // Keys and the wheel move the thumb with the rows.
  SendMessageW(l, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  EXPECT_EQ(GetScrollPos(l, SB_VERT), kRows - per - 3);
  // Scrolled to the right, the header moves left with the cells.
  SendMessageW(l, LVM_SCROLL, 60, 0);
  EXPECT_EQ(GetScrollPos(l, SB_HORZ), 60);
  EXPECT_EQ(SubItemRect(l, kRows - 1, 1, LVIR_LABEL).left, 300 - 60);
  HWND hdr = reinterpret_cast<HWND>(SendMessageW(l, LVM_GETHEADER, 0, 0));
  RECT hr{}, cr{};
  GetWindowRect(hdr, &hr);
  POINT origin{0, 0};
  ClientToScreen(l, &origin);
  EXPECT_EQ(hr.left, origin.x - 60);
  GetClientRect(l, &cr);
  EXPECT_EQ(cr.right, 400 - 17);
  EXPECT_EQ(cr.bottom, 300 - 17);
}

TEST_F(ListView, RowsBillionsOfPixelsAwayKeepTheirSideOfThePage) {
  // 2^31 - 1 rows: past about 86 million rows their distance in pixels no longer fits 32 bits.
  HWND l = MakeList(spy_.parent, LVS_REPORT | LVS_OWNERDATA, 10, 10, 400, 300);
  SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
  AddColumn(l, 0, u"Name", 200);
  const int kRows = INT32_MAX;
  SendMessageW(l, LVM_SETITEMCOUNT, kRows, LVSICF_NOINVALIDATEALL);
  UpdateAllWindows();
  RECT c{};
  GetClientRect(l, &c);
  const int hh = HeaderHeight(l);
  for (int row : {90000000, 200000000, 1500000000, kRows - 1}) {
    const RECT r = ItemRect(l, row, LVIR_BOUNDS);
    EXPECT_GE(r.top, c.bottom) << row;
    EXPECT_GT(r.bottom, r.top) << row;
    LVHITTESTINFO hi{};
    hi.pt = POINT{20, int(c.bottom) - 1};
    EXPECT_LT(SendMessageW(l, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hi)), 100) << row;
  }
  RECT view{};
  ASSERT_TRUE(SendMessageW(l, LVM_GETVIEWRECT, 0, reinterpret_cast<LPARAM>(&view)));
  EXPECT_EQ(view.top, hh);
  EXPECT_GT(view.bottom, c.bottom);
  // At the end the first rows lie above the page and the last ones are shown and asked for.
  Focus(spy_.parent, l);
  InjectKeyPress(VK_END);
  Pump();
  const int per = int(SendMessageW(l, LVM_GETCOUNTPERPAGE, 0, 0));
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), kRows - per);
  for (int row : {0, 1000, 200000000}) EXPECT_LE(ItemRect(l, row, LVIR_BOUNDS).bottom, hh) << row;
  const RECT last = ItemRect(l, kRows - 1, LVIR_BOUNDS);
  EXPECT_GE(last.top, hh);
  EXPECT_LE(last.bottom, c.bottom);
  spy_.Clear();
  InvalidateRect(l, nullptr, TRUE);
  UpdateAllWindows();
  ASSERT_FALSE(spy_.asked.empty());
  for (auto [row, sub] : spy_.asked) EXPECT_GE(row, kRows - per - 1);
  ASSERT_TRUE(SendMessageW(l, LVM_GETVIEWRECT, 0, reinterpret_cast<LPARAM>(&view)));
  EXPECT_LT(view.top, 0);
  EXPECT_EQ(view.bottom, last.bottom);
  // Page and wheel moves at the very end stay on the last page.
  InjectKeyPress(VK_NEXT);
  SendMessageW(l, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
  SendMessageW(l, WM_VSCROLL, SB_PAGEDOWN, 0);
  Pump();
  EXPECT_EQ(SendMessageW(l, LVM_GETTOPINDEX, 0, 0), kRows - per);
  EXPECT_EQ(Selected(l), (std::vector<int>{kRows - 1}));
}

TEST_F(ListView, AnOrdinaryListTakesAHugeCountAsAHintOnly) {
  // The count only reserves rows, and never more than a bounded number of them.
  HWND l = Report(0, 0);
  for (int count : {INT32_MAX, INT32_MAX - 1, 1 << 30, 5}) {
    EXPECT_TRUE(SendMessageW(l, LVM_SETITEMCOUNT, WPARAM(count), 0)) << count;
    EXPECT_EQ(SendMessageW(l, LVM_GETITEMCOUNT, 0, 0), 0) << count;
  }
  EXPECT_FALSE(SendMessageW(l, LVM_SETITEMCOUNT, WPARAM(-1), 0));
  for (int i = 0; i < 3; ++i) AddRow(l, i, u"row", i);
  EXPECT_EQ(SendMessageW(l, LVM_GETITEMCOUNT, 0, 0), 3);
}

TEST_F(ListView, ImagesComeFromTheImageListsAndTheNormalOneSetsTheIconGrid) {
  // Tiles of 83 by 127 pictures lie 126 by 170 apart.
  HWND icons = MakeList(spy_.parent, LVS_ICON | LVS_OWNERDATA, 10, 10, 400, 300);
  HIMAGELIST tiles = ImageList_Create(83, 127, ILC_COLOR24 | ILC_MASK, 0, 10);
  SendMessageW(icons, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(tiles));
  EXPECT_EQ(SendMessageW(icons, LVM_GETITEMSPACING, 0, 0), MAKELRESULT(126, 170));
  SendMessageW(icons, LVM_SETITEMCOUNT, 10, 0);
  EXPECT_EQ(ItemRect(icons, 4, LVIR_ICON).top, 170 + 2);
  EXPECT_EQ(ItemRect(icons, 4, LVIR_ICON).left, 126 + (126 - 83) / 2);
  DestroyWindow(icons);
  // Small icons in the first column: the label starts after them; the picture is drawn.
  HIMAGELIST small = ImageList_Create(20, 20, ILC_COLOR32, 0, 10);
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(dc, 20, 20);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT all{0, 0, 20, 20};
  FillSolidRectDc(dc, &all, RGB(200, 30, 30));
  SelectObject(dc, old);
  DeleteDC(dc);
  ASSERT_EQ(ImageList_Add(small, bm, nullptr), 0);
  DeleteObject(bm);
  HWND l = Report(0, 3);
  SendMessageW(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
  SendMessageW(l, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(small));
  LVITEMW it{};
  it.mask = LVIF_IMAGE;
  it.iItem = 1;
  it.iImage = 0;
  SendMessageW(l, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_EQ(ItemRect(l, 1, LVIR_LABEL).left, 2 + 16 + 2 + 20);
  EXPECT_GE(RowHeight(l), 22);
  UpdateAllWindows();
  RECT icon = ItemRect(l, 1, LVIR_ICON);
  EXPECT_EQ(GetWindowPixel(l, icon.left + 10, (icon.top + icon.bottom) / 2), RGB(200, 30, 30));
  RECT other = ItemRect(l, 0, LVIR_ICON);  // row 0 has no image
  EXPECT_EQ(GetWindowPixel(l, other.left + 10, (other.top + other.bottom) / 2), GetSysColor(COLOR_WINDOW));
  DestroyWindow(l);
  ImageList_Destroy(small);
  ImageList_Destroy(tiles);
}

}  // namespace
