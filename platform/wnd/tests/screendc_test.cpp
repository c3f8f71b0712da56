// The screen's context: a drag line drawn with R2_NOTXORPEN across two overlapping windows
// shows in both where they show, leaves the covered part of the lower one alone, and is gone
// when drawn a second time, as the pane splitter draws and erases its track.
#include <gtest/gtest.h>

#include "platform/wnd/controls.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

void DrawTrack(int x, int top, int bottom) {
  HDC dc = GetDC(nullptr);
  ASSERT_NE(dc, nullptr);
  HPEN pen = CreatePen(PS_SOLID, 5, RGB(128, 128, 128));
  HGDIOBJ old = SelectObject(dc, pen);
  const int oldMode = SetROP2(dc, R2_NOTXORPEN);
  MoveToEx(dc, x, top, nullptr);
  LineTo(dc, x, bottom);
  SetROP2(dc, oldMode);
  SelectObject(dc, old);
  DeleteObject(pen);
  ReleaseDC(nullptr, dc);
}

TEST(ScreenDc, NotXorTrackShowsOverWindowsAndErasesItself) {
  SetScreenSize(1280, 800);
  const COLORREF lowColour = RGB(200, 100, 50), highColour = RGB(20, 40, 60);
  HWND low = MakeWindow(WS_POPUP | WS_VISIBLE, 100, 100, 200, 200, nullptr, 0, FillOnPaint(lowColour));
  HWND high = MakeWindow(WS_POPUP | WS_VISIBLE, 100, 250, 200, 100, nullptr, 0, FillOnPaint(highColour));
  UpdateAllWindows();
  Pump();
  // The track runs from y 120 to 320: over the lower window, then over the upper one.
  DrawTrack(150, 120, 320);
  auto mixed = [](COLORREF c) {
    return RGB(BYTE(~(128 ^ GetRValue(c))), BYTE(~(128 ^ GetGValue(c))), BYTE(~(128 ^ GetBValue(c))));
  };
  EXPECT_EQ(GetWindowPixel(low, 50, 30), mixed(lowColour));
  EXPECT_EQ(GetWindowPixel(low, 52, 30), mixed(lowColour));
  EXPECT_EQ(GetWindowPixel(low, 53, 30), lowColour);
  EXPECT_EQ(GetWindowPixel(high, 50, 30), mixed(highColour));
  // The lower window's part under the upper one took nothing.
  EXPECT_EQ(GetWindowPixel(low, 50, 170), lowColour);
  // Nothing is drawn where no window is.
  DrawTrack(150, 120, 320);
  EXPECT_EQ(GetWindowPixel(low, 50, 30), lowColour);
  EXPECT_EQ(GetWindowPixel(high, 50, 30), highColour);
  // A context of the screen that draws nothing changes no window.
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1280);
  ReleaseDC(nullptr, dc);
  EXPECT_EQ(GetWindowPixel(low, 10, 10), lowColour);
  DestroyWindow(high);
  DestroyWindow(low);
  Pump();
}

}  // namespace
