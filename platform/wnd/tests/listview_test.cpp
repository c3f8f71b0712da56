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

}  // namespace
