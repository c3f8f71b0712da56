// Scroll bars: a window's own bars (non-client area, hit-testing, showing and hiding with the
// range) and the scroll-bar control; line, page and thumb moves, repeats on the virtual clock,
// SB_ENDSCROLL, the wheel.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/sync.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

// A window that scrolls the way list windows do: it answers WM_VSCROLL/WM_HSCROLL by moving
// the position, and records the codes it got.
struct Scroller {
  std::vector<int> codes;
  std::vector<int> tracks;  // positions of SB_THUMBTRACK
  std::atomic<int> lineDowns{0};
  TestWindows::Handler Handler() {
    return [this](HWND h, UINT msg, WPARAM w, LPARAM l, LRESULT*) {
      if (msg != WM_VSCROLL && msg != WM_HSCROLL) return false;
      HWND target = l ? reinterpret_cast<HWND>(l) : h;
      const int bar = l ? SB_CTL : msg == WM_VSCROLL ? SB_VERT : SB_HORZ;
      SCROLLINFO si{sizeof si, SIF_ALL, 0, 0, 0, 0, 0};
      GetScrollInfo(target, bar, &si);
      const int code = LOWORD(w);
      codes.push_back(code);
      int pos = si.nPos;
      switch (code) {
        case SB_LINEUP: pos -= 1; break;
        case SB_LINEDOWN: pos += 1, ++lineDowns; break;
        case SB_PAGEUP: pos -= int(si.nPage); break;
        case SB_PAGEDOWN: pos += int(si.nPage); break;
        case SB_THUMBTRACK: tracks.push_back(si.nTrackPos), pos = si.nTrackPos; break;
        case SB_THUMBPOSITION: pos = si.nTrackPos; break;
        default: break;
      }
      SetScrollPos(target, bar, pos, TRUE);
      return true;
    };
  }
};

class Scroll : public ::testing::Test {
 protected:
  void SetUp() override {
    TestWindows::Register();
    TestWindows::Get().log.clear();
    SetScreenSize(1280, 800);
  }
  void TearDown() override {
    for (HWND h : made_) {
      if (IsWindow(h)) DestroyWindow(h);
    }
    Pump();
    UseVirtualMessageClock(false);
  }
  HWND Top(DWORD style, TestWindows::Handler h) {
    HWND w = MakeWindow(style, 100, 100, 200, 150, nullptr, 0, std::move(h));
    made_.push_back(w);
    SetFocus(w);
    Pump();
    return w;
  }
  static POINT W(HWND h, int x, int y) {
    RECT r{};
    GetWindowRect(h, &r);
    return POINT{r.left + x, r.top + y};
  }
  static void Press(POINT p) {
    InjectMouseMove(p.x, p.y);
    InjectMouseButton(0, true, p.x, p.y);
  }
  static void Release(POINT p) { InjectMouseButton(0, false, p.x, p.y); }
  std::vector<HWND> made_;
  Scroller sc_;
};

// A 200 by 150 window with a one-pixel border: its vertical bar runs from x 182 to 199, its
// arrows are 17 high and its track from y 18 to 132 (114 pixels). With the range 0 to 99 and a
// page of 10 the thumb is 11 pixels long and moves over 103 pixels for 90 positions.
TEST_F(Scroll, WindowBarsTakeTheirPlaceAndShowOnlyWhenTheyScroll) {
  HWND w = Top(WS_POPUP | WS_VISIBLE | WS_BORDER | WS_VSCROLL, sc_.Handler());
  RECT cr{};
  GetClientRect(w, &cr);
  EXPECT_EQ(cr.right, 200 - 2 - 17);
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 99, 10, 45, 0};
  EXPECT_EQ(SetScrollInfo(w, SB_VERT, &si, TRUE), 45);
  POINT bar = W(w, 190, 75);
  EXPECT_EQ(SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(bar.x, bar.y)), HTVSCROLL);
  // The position keeps within the range less the page.
  EXPECT_EQ(SetScrollPos(w, SB_VERT, 500, TRUE), 45);
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 90);
  SetScrollPos(w, SB_VERT, 45, TRUE);
  UpdateAllWindows();
  // The thumb at 45 of 90: its top at 18 + 103 * 45 / 90 = 69.
  EXPECT_EQ(GetWindowPixel(w, 184, 68), GetSysColor(COLOR_SCROLLBAR));
  EXPECT_NE(GetWindowPixel(w, 190, 74), GetSysColor(COLOR_SCROLLBAR));
  SaveWindowPng(w, std::string(KESTREL_WND_SHOT_DIR) + "/scroll_bar.png");
  // A page as large as the range: nothing to scroll, the bar goes and the client grows.
  si = SCROLLINFO{sizeof si, SIF_PAGE, 0, 0, 100, 0, 0};
  SetScrollInfo(w, SB_VERT, &si, TRUE);
  EXPECT_FALSE(GetWindowLongPtrW(w, GWL_STYLE) & WS_VSCROLL);
  GetClientRect(w, &cr);
  EXPECT_EQ(cr.right, 200 - 2);
  // It comes back when there is something to scroll; asked to stay, it stays grey.
  si = SCROLLINFO{sizeof si, SIF_RANGE | SIF_PAGE, 0, 199, 100, 0, 0};
  SetScrollInfo(w, SB_VERT, &si, TRUE);
  EXPECT_TRUE(GetWindowLongPtrW(w, GWL_STYLE) & WS_VSCROLL);
  si = SCROLLINFO{sizeof si, SIF_RANGE | SIF_DISABLENOSCROLL, 0, 50, 0, 0, 0};
  si.nMax = 99;
  si.nPage = 100;
  si.fMask |= SIF_PAGE;
  SetScrollInfo(w, SB_VERT, &si, TRUE);
  EXPECT_TRUE(GetWindowLongPtrW(w, GWL_STYLE) & WS_VSCROLL);
  UpdateAllWindows();
  // Grey arrows: the down arrow's glyph is drawn in the grey text colour.
  bool grey = false;
  for (int y = 135; y < 149 && !grey; ++y) {
    for (int x = 184; x < 198 && !grey; ++x) grey = GetWindowPixel(w, x, y) == GetSysColor(COLOR_GRAYTEXT);
  }
  EXPECT_TRUE(grey);
}

TEST_F(Scroll, AChangedBarRedrawsTheFrameAndLeavesTheClientAlone) {
  HWND w = Top(WS_POPUP | WS_VISIBLE | WS_BORDER | WS_VSCROLL, sc_.Handler());
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 99, 10, 0, 0};
  SetScrollInfo(w, SB_VERT, &si, TRUE);
  UpdateAllWindows();
  auto& log = TestWindows::Get();
  const struct {
    const char* what;
    SCROLLINFO info;
    BOOL redraw;
    bool frame;
  } cases[] = {
      {"a longer range", {sizeof si, SIF_RANGE, 0, 150, 0, 0, 0}, TRUE, true},
      {"a new position", {sizeof si, SIF_POS, 0, 0, 0, 30, 0}, TRUE, true},
      {"the same values", {sizeof si, SIF_ALL, 0, 150, 10, 30, 0}, TRUE, false},
      {"not asked to redraw", {sizeof si, SIF_POS, 0, 0, 0, 40, 0}, FALSE, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    log.log.clear();
    SetScrollInfo(w, SB_VERT, &c.info, c.redraw);
    RECT dirty{};
    EXPECT_FALSE(GetUpdateRect(w, &dirty, FALSE));
    UpdateAllWindows();
    EXPECT_EQ(log.Count(w, WM_NCPAINT), c.frame ? 1 : 0);
  }
}

TEST_F(Scroll, ArrowsPagesAndTheThumbMoveThePosition) {
  HWND w = Top(WS_POPUP | WS_VISIBLE | WS_BORDER | WS_VSCROLL, sc_.Handler());
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 99, 10, 45, 0};
  SetScrollInfo(w, SB_VERT, &si, TRUE);
  // The down arrow: one line, then the end of the scroll.
  POINT down = W(w, 190, 140);
  Press(down);
  Release(down);
  Pump();
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 46);
  EXPECT_EQ(sc_.codes, (std::vector<int>{SB_LINEDOWN, SB_ENDSCROLL}));
  // The track below the thumb: a page.
  sc_.codes.clear();
  POINT track = W(w, 190, 120);
  Press(track);
  Release(track);
  Pump();
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 56);
  EXPECT_EQ(sc_.codes, (std::vector<int>{SB_PAGEDOWN, SB_ENDSCROLL}));
  // The thumb (now at 18 + 103 * 56 / 90 = 82): dragged 30 pixels down, it tracks, then
  // settles where it was let go.
  sc_.codes.clear();
  POINT thumb = W(w, 190, 86);
  Press(thumb);
  for (int dy = 10; dy <= 30; dy += 10) InjectMouseMove(thumb.x, thumb.y + dy);
  Release(POINT{thumb.x, thumb.y + 30});
  Pump();
  ASSERT_EQ(sc_.tracks.size(), 3u);
  EXPECT_LT(sc_.tracks[0], sc_.tracks[1]);
  const int expect = int((int64_t(82 + 30 - 18) * 90 + 51) / 103);
  EXPECT_EQ(sc_.tracks.back(), expect);
  EXPECT_EQ(GetScrollPos(w, SB_VERT), expect);
  EXPECT_EQ(sc_.codes.back(), SB_ENDSCROLL);
  EXPECT_EQ(sc_.codes[sc_.codes.size() - 2], SB_THUMBPOSITION);
  // Dragged past the end it stops at the last position.
  sc_.tracks.clear();
  POINT t2 = W(w, 190, 18 + 103 * expect / 90 + 3);
  Press(t2);
  InjectMouseMove(t2.x, t2.y + 400);
  Release(POINT{t2.x, t2.y + 400});
  Pump();
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 90);
  // The wheel: three lines a notch, towards the top when turned away.
  sc_.codes.clear();
  POINT mid = W(w, 80, 70);
  InjectMouseMove(mid.x, mid.y);
  InjectMouseWheel(WHEEL_DELTA, mid.x, mid.y);
  Pump();
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 87);
  EXPECT_EQ(sc_.codes, (std::vector<int>{SB_LINEUP, SB_LINEUP, SB_LINEUP, SB_ENDSCROLL}));
  // A quarter of a notch (less than a line) waits for more; the next quarter makes a line.
  InjectMouseWheel(-WHEEL_DELTA / 4, mid.x, mid.y);
  Pump();
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 87);
  InjectMouseWheel(-WHEEL_DELTA / 4, mid.x, mid.y);
  Pump();
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 88);
}

TEST_F(Scroll, AHeldArrowRepeatsOnTheClock) {
  UseVirtualMessageClock(true);
  HWND w = Top(WS_POPUP | WS_VISIBLE | WS_BORDER | WS_VSCROLL, sc_.Handler());
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 99, 10, 0, 0};
  SetScrollInfo(w, SB_VERT, &si, TRUE);
  POINT down = W(w, 190, 140);
  Press(down);
  // While the button is held: nothing more before 200 ms, then one step every 50 ms.
  std::thread clock([&] {
    auto waitFor = [&](int n) {
      for (int i = 0; i < 2000 && sc_.lineDowns < n; ++i) Sleep(1);
    };
    waitFor(1);
    AdvanceVirtualMessageClock(199);
    Sleep(20);
    AdvanceVirtualMessageClock(1);
    waitFor(2);
    for (int k = 3; k <= 5; ++k) {
      AdvanceVirtualMessageClock(50);
      waitFor(k);
    }
    Release(down);
  });
  Pump();
  clock.join();
  Pump();
  EXPECT_EQ(sc_.lineDowns.load(), 5);
  EXPECT_EQ(GetScrollPos(w, SB_VERT), 5);
  EXPECT_EQ(sc_.codes.back(), SB_ENDSCROLL);
}

TEST_F(Scroll, TheControlTellsItsParent) {
  HWND parent = Top(WS_POPUP | WS_VISIBLE, sc_.Handler());
  HWND bar = CreateWindowExW(0, WC_SCROLLBAR, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | SBS_HORZ, 10, 10, 150, 17, parent,
                             nullptr, nullptr, nullptr);
  ASSERT_NE(bar, nullptr);
  SCROLLINFO si{sizeof si, SIF_ALL, 0, 20, 5, 3, 0};
  EXPECT_EQ(SetScrollInfo(bar, SB_CTL, &si, TRUE), 3);
  SCROLLINFO got{sizeof got, SIF_ALL, 0, 0, 0, 0, 0};
  ASSERT_TRUE(GetScrollInfo(bar, SB_CTL, &got));
  EXPECT_EQ(got.nMax, 20);
  EXPECT_EQ(got.nPage, 5u);
  // The right arrow: the parent hears of it with the control in lParam and moves it.
  POINT right = At(bar, 145, 8);
  Press(right);
  Release(right);
  Pump();
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 4);
  auto h = TestWindows::Get().Of(WM_HSCROLL);
  ASSERT_EQ(h.size(), 2u);
  EXPECT_EQ(h[0].l, reinterpret_cast<LPARAM>(bar));
  EXPECT_EQ(GetFocus(), bar);
  // Keys of the focused control.
  sc_.codes.clear();
  InjectKeyPress(VK_LEFT);
  InjectKeyPress(VK_NEXT);
  Pump();
  EXPECT_EQ(sc_.codes, (std::vector<int>{SB_LINEUP, SB_ENDSCROLL, SB_PAGEDOWN, SB_ENDSCROLL}));
  EXPECT_EQ(GetScrollPos(bar, SB_CTL), 8);
  int lo = -1, hi = -1;
  SendMessageW(bar, SBM_GETRANGE, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 20);
}

}  // namespace
