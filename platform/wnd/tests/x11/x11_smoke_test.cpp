// The x11 backend under a private Xvfb server: the skinned demonstration dialog shows the
// same pixels on the X screen as in its headless rendering, the window region cuts the X
// window, and a click sent through X reaches the dialog. Skipped when Xvfb is not installed.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/wnd/backend.h"
#include "platform/wnd/tests/skin_demo.h"
#include "platform/wnd/tests/x11/x11_test_util.h"

namespace {

using x11test::PumpFor;

COLORREF ToColorref(unsigned long px) { return RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF); }

TEST(X11Smoke, SkinnedDialogLooksTheSameOnXAsHeadless) {
  if (x11test::FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
  x11test::XServer server;
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(SelectBackend("x11"));
  ASSERT_EQ(BackendName(), "x11");
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);

  HWND dlg = skindemo::Show();
  ASSERT_NE(dlg, nullptr);
  RECT wr{};
  GetWindowRect(dlg, &wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  Display* d = server.dpy();
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(dlg, rgn), ERROR);
  // Every pixel inside the window's shape is the headless pixel; the cut corner shows the
  // (black) root window. The X server shows it once the exposure has been painted.
  XImage* img = nullptr;
  int inside = 0, differ = 0;
  const auto shown = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  do {
    PumpFor(50);
    XSync(d, False);
    if (img) XDestroyImage(img);
    img = XGetImage(d, DefaultRootWindow(d), wr.left, wr.top, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    ASSERT_NE(img, nullptr);
    inside = differ = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (!PtInRegion(rgn, x, y)) continue;
        ++inside;
        differ += ToColorref(XGetPixel(img, x, y)) != GetWindowPixel(dlg, x, y);
      }
    }
  } while (differ != 0 && std::chrono::steady_clock::now() < shown);
  EXPECT_GT(inside, w * h / 2);
  EXPECT_EQ(differ, 0);
  // The server is local: the pixels went through shared memory.
  EXPECT_TRUE(X11BackendUsesSharedMemory());
  EXPECT_FALSE(PtInRegion(rgn, 0, 0));
  EXPECT_EQ(ToColorref(XGetPixel(img, 0, 0)), RGB(0, 0, 0));
  // Chosen points, as in the headless demonstration.
  EXPECT_EQ(ToColorref(XGetPixel(img, w / 2, 0)), skindemo::kFrame);
  EXPECT_EQ(ToColorref(XGetPixel(img, w - 20, 20)), skindemo::kCaption);
  EXPECT_EQ(ToColorref(XGetPixel(img, w / 2, h - 4)), skindemo::kFill);
  DeleteObject(rgn);

  // The X screenshot, written next to the headless one.
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(mem, w, h);
  HGDIOBJ old = SelectObject(mem, bm);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) SetPixel(mem, x, y, ToColorref(XGetPixel(img, x, y)));
  }
  SelectObject(mem, old);
  DeleteDC(mem);
  EXPECT_TRUE(WriteBitmapPng(bm, std::string(KESTREL_WND_SHOT_DIR) + "/skin_demo_x11.png"));
  DeleteObject(bm);
  XDestroyImage(img);

  // A click sent to the X window comes back as a click on the button.
  HWND save = GetDlgItem(dlg, skindemo::kOk);
  RECT br{};
  GetWindowRect(save, &br);
  Window xw = 0, root = 0, parent = 0, *kids = nullptr;
  unsigned n = 0;
  XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n);
  for (unsigned i = 0; i < n; ++i) {
    XWindowAttributes a{};
    XGetWindowAttributes(d, kids[i], &a);
    if (a.x == wr.left && a.y == wr.top && a.width == w && a.map_state == IsViewable) xw = kids[i];
  }
  if (kids) XFree(kids);
  ASSERT_NE(xw, 0u);
  const int cx = (br.left + br.right) / 2, cy = (br.top + br.bottom) / 2;
  for (int type : {MotionNotify, ButtonPress, ButtonRelease}) {
    XEvent e{};
    // Motion and button events share their leading fields.
    XButtonEvent& b = e.xbutton;
    b.type = type;
    b.send_event = True;
    b.display = d;
    b.window = xw;
    b.root = DefaultRootWindow(d);
    b.x = cx - wr.left;
    b.y = cy - wr.top;
    b.x_root = cx;
    b.y_root = cy;
    b.same_screen = True;
    if (type != MotionNotify) b.button = Button1;
    const long mask = type == MotionNotify ? PointerMotionMask : type == ButtonPress ? ButtonPressMask : ButtonReleaseMask;
    XSendEvent(d, xw, True, mask, &e);
  }
  XFlush(d);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (skindemo::S().result == 0 && std::chrono::steady_clock::now() < deadline) PumpFor(10);
  EXPECT_EQ(skindemo::S().result, skindemo::kOk);

  DestroyWindow(dlg);
  skindemo::Reset();
  SelectBackend("headless");
  EXPECT_EQ(BackendName(), "headless");
}

}  // namespace
