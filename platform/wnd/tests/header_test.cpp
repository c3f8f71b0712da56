// The header control on its own, headless: items and their rectangles, hit-testing and
// layout, divider drags with their notifications, clicks, and owner-drawn items.
#include <gtest/gtest.h>

#include "platform/wnd/tests/listview_test_util.h"

namespace {

class Header : public ::testing::Test {
 protected:
  void SetUp() override {
    spy_.Make();
    hdr_ = CreateWindowExW(0, WC_HEADER, u"", WS_CHILD | WS_VISIBLE | HDS_BUTTONS, 0, 0, 400, 24, spy_.parent,
                           reinterpret_cast<void*>(intptr_t(9)), nullptr, nullptr);
    for (int w : {100, 60, 0, 80}) Insert(w);
  }
  void TearDown() override {
    DestroyWindow(spy_.parent);
    Pump();
    ReleaseCapture();
  }
  void Insert(int width, int fmt = HDF_STRING) {
    HDITEMW it{};
    it.mask = HDI_WIDTH | HDI_TEXT | HDI_FORMAT;
    it.cxy = width;
    it.fmt = fmt;
    it.pszText = const_cast<char16_t*>(u"Column");
    SendMessageW(hdr_, HDM_INSERTITEMW, WPARAM(SendMessageW(hdr_, HDM_GETITEMCOUNT, 0, 0)), reinterpret_cast<LPARAM>(&it));
  }
  int Width(int i) {
    HDITEMW it{};
    it.mask = HDI_WIDTH;
    SendMessageW(hdr_, HDM_GETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&it));
    return it.cxy;
  }
  std::vector<UINT> Codes() {
    std::vector<UINT> out;
    for (const Notice& n : spy_.notices) out.push_back(n.code);
    return out;
  }
  ParentSpy spy_;
  HWND hdr_ = nullptr;
};

TEST_F(Header, ItemsRectanglesHitTestAndLayout) {
  EXPECT_EQ(SendMessageW(hdr_, HDM_GETITEMCOUNT, 0, 0), 4);
  RECT r{};
  ASSERT_TRUE(SendMessageW(hdr_, HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&r)));
  EXPECT_EQ(r.left, 160);
  EXPECT_EQ(r.right, 240);
  EXPECT_EQ(r.bottom, 24);
  EXPECT_FALSE(SendMessageW(hdr_, HDM_GETITEMRECT, 4, reinterpret_cast<LPARAM>(&r)));
  char16_t buf[4];
  HDITEMW it{};
  it.mask = HDI_TEXT;
  it.pszText = buf;
  it.cchTextMax = 4;
  ASSERT_TRUE(SendMessageW(hdr_, HDM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)));
  EXPECT_EQ(std::u16string(buf), u"Col");  // cut to the buffer
  struct Case {
    int x, y, item;
    UINT flags;
  } cases[] = {
      {50, 5, 0, HHT_ONHEADER},   {97, 5, 0, HHT_ONDIVIDER}, {103, 5, 0, HHT_ONDIVIDER},
      {120, 5, 1, HHT_ONHEADER},  {160, 5, 2, HHT_ONDIVIDER},  // the hidden column's divider wins
      {300, 5, -1, HHT_NOWHERE},  {50, 30, -1, HHT_BELOW},     {-3, 5, -1, HHT_TOLEFT},
  };
  for (const Case& c : cases) {
    HDHITTESTINFO hi{};
    hi.pt = POINT{c.x, c.y};
    EXPECT_EQ(SendMessageW(hdr_, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hi)), c.item) << c.x << "," << c.y;
    EXPECT_EQ(hi.iItem, c.item);
    EXPECT_EQ(hi.flags, c.flags) << c.x << "," << c.y;
  }
  // Layout takes the header's height off the top of the area and says where it goes.
  RECT area{0, 0, 400, 300};
  WINDOWPOS wp{};
  HDLAYOUT lay{&area, &wp};
  ASSERT_TRUE(SendMessageW(hdr_, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&lay)));
  EXPECT_GT(wp.cy, 12);
  EXPECT_EQ(area.top, wp.cy);
  EXPECT_EQ(wp.cx, 400);
  SetWindowLongPtrW(hdr_, GWL_STYLE, GetWindowLongPtrW(hdr_, GWL_STYLE) | HDS_HIDDEN);
  area = RECT{0, 0, 400, 300};
  SendMessageW(hdr_, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&lay));
  EXPECT_EQ(area.top, 0);
}

TEST_F(Header, DividerDragTellsBeginTrackChangesAndEnd) {
  SendMessageW(hdr_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(101, 5));
  EXPECT_EQ(GetCapture(), hdr_);
  SendMessageW(hdr_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(131, 5));
  SendMessageW(hdr_, WM_LBUTTONUP, 0, MAKELPARAM(131, 5));
  EXPECT_EQ(Width(0), 130);
  EXPECT_EQ(Codes(), (std::vector<UINT>{HDN_BEGINTRACKW, HDN_TRACKW, HDN_ITEMCHANGINGW, HDN_ITEMCHANGEDW, HDN_ENDTRACKW}));
  EXPECT_EQ(spy_.Of(HDN_TRACKW)[0].sub, 130);
  EXPECT_NE(GetCapture(), hdr_);
  // A parent that refuses the change keeps the width; one that refuses the start, the drag.
  spy_.Clear();
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == HDN_ITEMCHANGINGW; };
  SendMessageW(hdr_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(130, 5));
  SendMessageW(hdr_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(150, 5));
  SendMessageW(hdr_, WM_LBUTTONUP, 0, MAKELPARAM(150, 5));
  EXPECT_EQ(Width(0), 130);
  spy_.answer = [](NMHDR* nm) -> LRESULT { return nm->code == HDN_BEGINTRACKW; };
  SendMessageW(hdr_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(130, 5));
  EXPECT_NE(GetCapture(), hdr_);
  SendMessageW(hdr_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(170, 5));
  SendMessageW(hdr_, WM_LBUTTONUP, 0, MAKELPARAM(170, 5));
  EXPECT_EQ(Width(0), 130);
  spy_.answer = nullptr;
  // A drag opens a hidden column again.
  SendMessageW(hdr_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(190, 5));
  SendMessageW(hdr_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(215, 5));
  SendMessageW(hdr_, WM_LBUTTONUP, 0, MAKELPARAM(215, 5));
  EXPECT_EQ(Width(2), 25);
  EXPECT_EQ(Width(1), 60);
}

TEST_F(Header, ClicksAndDividerDoubleClicks) {
  ClickAt(hdr_, 120, 5);
  auto clicks = spy_.Of(HDN_ITEMCLICKW);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].item, 1);
  // Pressed, then let go outside the item: no click.
  spy_.Clear();
  SendMessageW(hdr_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 5));
  SendMessageW(hdr_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(220, 5));
  SendMessageW(hdr_, WM_LBUTTONUP, 0, MAKELPARAM(220, 5));
  EXPECT_TRUE(spy_.Of(HDN_ITEMCLICKW).empty());
  SendMessageW(hdr_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(99, 5));
  ASSERT_EQ(spy_.Of(HDN_DIVIDERDBLCLICKW).size(), 1u);
  EXPECT_EQ(spy_.Of(HDN_DIVIDERDBLCLICKW)[0].item, 0);
  // Without HDS_BUTTONS the items are no buttons.
  SetWindowLongPtrW(hdr_, GWL_STYLE, GetWindowLongPtrW(hdr_, GWL_STYLE) & ~HDS_BUTTONS);
  spy_.Clear();
  ClickAt(hdr_, 120, 5);
  EXPECT_TRUE(spy_.Of(HDN_ITEMCLICKW).empty());
}

TEST_F(Header, OwnerDrawnItemsAreDrawnByTheParent) {
  Insert(50, HDF_OWNERDRAW);
  spy_.onDraw = [](const DRAWITEMSTRUCT* d) {
    RECT r = d->rcItem;
    FillSolidRectDc(d->hDC, &r, RGB(1, 2, 3));
  };
  UpdateAllWindows();
  ASSERT_EQ(spy_.drawn.size(), 1u);
  const DRAWITEMSTRUCT& d = spy_.drawn[0];
  EXPECT_EQ(d.CtlType, ODT_HEADER);
  EXPECT_EQ(d.CtlID, 9u);
  EXPECT_EQ(d.itemID, 4u);
  EXPECT_EQ(d.rcItem.left, 240);
  EXPECT_EQ(d.rcItem.right, 290);
  EXPECT_EQ(GetWindowPixel(hdr_, 260, 10), RGB(1, 2, 3));
  EXPECT_EQ(GetWindowPixel(hdr_, 85, 10), GetSysColor(COLOR_BTNFACE));  // right of the text
}

}  // namespace
