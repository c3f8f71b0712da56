// The default frame: caption buttons as the style asks for them, their hit-test codes and
// pictures, and a press that only counts when it is let go on the same button.
#include <gtest/gtest.h>

#include "platform/wnd/tests/wnd_test_util.h"

namespace {

class Frame : public ::testing::Test {
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
  }
  HWND Top(DWORD style, int x = 100, int y = 100, int cx = 300, int cy = 200) {
    // Closing only records; the test decides when windows go. WM_PROBE samples a pixel from
    // inside a modal loop.
    HWND w = MakeWindow(style, x, y, cx, cy, nullptr, 0, [this](HWND h, UINT msg, WPARAM wp, LPARAM lp, LRESULT*) {
      if (msg == kProbe) probe_ = GetWindowPixel(h, int(wp), int(lp));
      return msg == WM_CLOSE;
    });
    SetWindowTextW(w, u"Frame");
    made_.push_back(w);
    Pump();
    return w;
  }
  // Screen point of a window point.
  static POINT W(HWND h, int x, int y) {
    RECT r{};
    GetWindowRect(h, &r);
    return POINT{r.left + x, r.top + y};
  }
  static LRESULT HitAt(HWND h, int x, int y) {
    POINT p = W(h, x, y);
    return SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
  }
  static void PressAndRelease(POINT down, POINT up) {
    InjectMouseMove(down.x, down.y);
    InjectMouseButton(0, true, down.x, down.y);
    InjectMouseMove(up.x, up.y);
    InjectMouseButton(0, false, up.x, up.y);
    Pump();
  }
  static constexpr UINT kProbe = WM_USER + 50;
  std::vector<HWND> made_;
  COLORREF probe_ = CLR_INVALID;
  TestWindows& T() { return TestWindows::Get(); }
};

// Caption buttons (width 18, height 16, 2 pixels below the caption's top) lie right to left:
// close, maximise, minimise. With a 3-pixel frame and a 300-pixel window the close button runs
// from x 277 to 295.
TEST_F(Frame, CaptionButtonsFollowTheStyle) {
  struct Case {
    DWORD style;
    LRESULT atClose, atMax, atMin;
  } cases[] = {
      {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, HTCLOSE, HTMAXBUTTON, HTMINBUTTON},
      {WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, HTCLOSE, HTMAXBUTTON, HTMINBUTTON},
      {WS_POPUP | WS_CAPTION | WS_SYSMENU, HTCLOSE, HTCAPTION, HTCAPTION},
      {WS_POPUP | WS_CAPTION | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, HTCAPTION, HTCAPTION, HTCAPTION},
  };
  for (const Case& c : cases) {
    HWND w = Top(c.style | WS_VISIBLE);
    EXPECT_EQ(HitAt(w, 286, 12), c.atClose) << std::hex << c.style;
    EXPECT_EQ(HitAt(w, 266, 12), c.atMax) << std::hex << c.style;
    EXPECT_EQ(HitAt(w, 248, 12), c.atMin) << std::hex << c.style;
    EXPECT_EQ(HitAt(w, 100, 12), HTCAPTION);
    UpdateAllWindows();
    // The close glyph's middle is ink; the face around it is button face.
    const COLORREF closeMiddle = GetWindowPixel(w, 286, 13);
    if (c.atClose == HTCLOSE) {
      EXPECT_EQ(closeMiddle, GetSysColor(COLOR_BTNTEXT));
      EXPECT_EQ(GetWindowPixel(w, 279, 7), GetSysColor(COLOR_BTNFACE));
      if (c.atMax == HTMAXBUTTON) SaveWindowPng(w, std::string(KESTREL_WND_SHOT_DIR) + "/frame_buttons.png");
    } else {
      EXPECT_NE(closeMiddle, GetSysColor(COLOR_BTNTEXT));
    }
    // A box the window does not offer is drawn grey.
    if (c.atMax == HTMAXBUTTON) {
      const COLORREF maxTop = GetWindowPixel(w, 266, 9);  // the box's thick top
      EXPECT_EQ(maxTop, (c.style & WS_MAXIMIZEBOX) ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
    }
    DestroyWindow(w);
  }
}

TEST_F(Frame, ACaptionButtonActsWhenLetGoOnIt) {
  HWND w = Top(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  RECT in{};
  GetWindowRect(w, &in);
  const int close = (in.right - in.left) - 4 - 2 - 9;  // the close button's middle
  // Pressed, the button shows sunken; dragged off and let go, nothing happens.
  POINT c = W(w, close, 14);
  InjectMouseMove(c.x, c.y);
  InjectMouseButton(0, true, c.x, c.y);
  POINT off = W(w, close - 60, 14);
  InjectMouseMove(off.x, off.y);
  InjectMouseMove(c.x, c.y);
  PostMessageW(w, kProbe, close - 8, 6);
  InjectMouseMove(off.x, off.y);
  InjectMouseButton(0, false, off.x, off.y);
  Pump();
  EXPECT_EQ(probe_, GetSysColor(COLOR_3DDKSHADOW));
  EXPECT_EQ(T().Count(w, WM_CLOSE), 0);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(GetWindowPixel(w, close - 8, 6), GetSysColor(COLOR_BTNHIGHLIGHT));
  // Let go on it: the close request goes out as a system command.
  PressAndRelease(c, c);
  EXPECT_EQ(T().Count(w, WM_CLOSE), 1);
  ASSERT_FALSE(T().Of(WM_SYSCOMMAND).empty());
  EXPECT_EQ(T().Of(WM_SYSCOMMAND).back().w & 0xFFF0, SC_CLOSE);
  // Maximise, then the same button restores; minimise hides it from the screen.
  POINT max = W(w, close - 20, 14);
  PressAndRelease(max, max);
  EXPECT_TRUE(IsZoomed(w));
  RECT r{};
  GetWindowRect(w, &r);
  POINT max2{r.left + (r.right - r.left) - 4 - 2 - 9 - 20, r.top + 14};
  PressAndRelease(max2, max2);
  EXPECT_FALSE(IsZoomed(w));
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, in.left);
  EXPECT_EQ(r.right - r.left, in.right - in.left);
  POINT min = W(w, close - 38, 14);
  PressAndRelease(min, min);
  EXPECT_TRUE(IsIconic(w));
}

}  // namespace
