// A list of a million owner-data rows under a private Xvfb server (bare and under openbox):
// the real wheel of xdotool scrolls it three rows a notch, the End key takes it to the last
// page, and the X screen shows the rows the list painted. Skipped where Xvfb or xdotool is
// missing; the setup script installs them.
#include <gtest/gtest.h>

#include <string>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/tests/x11/x11_test_util.h"

namespace {

using x11test::PumpUntil;

constexpr int kRows = 1000000;

class ListWheel : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string wm = GetParam();
    if (x11test::FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
    if (x11test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    if (!wm.empty() && x11test::FindProgram(wm.c_str()).empty()) GTEST_SKIP() << wm << " is not installed";
    ASSERT_TRUE(server_.Start(wm));
    ASSERT_TRUE(SelectBackend("x11"));
    TestWindows::Register();
  }
  void TearDown() override {
    if (IsWindow(top_)) DestroyWindow(top_);
    Pump();
    SelectBackend("headless");
    server_.Stop();
  }
  int Top() { return int(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0)); }
  // Turns the wheel `notches` times (down when positive) with the pointer over the list.
  void Wheel(int notches) {
    EXPECT_EQ(x11test::Run({"xdotool", "click", "--repeat", std::to_string(notches < 0 ? -notches : notches),
                            "--delay", "30", notches < 0 ? "4" : "5"}),
              0);
  }
  // Whether the X screen shows the list's part of the window's surface, pixel for pixel.
  bool ScreenShowsList() {
    RECT r{};
    GetWindowRect(list_, &r);
    XImage* img = XGetImage(server_.dpy(), DefaultRootWindow(server_.dpy()), r.left, r.top, unsigned(r.right - r.left),
                            unsigned(r.bottom - r.top), AllPlanes, ZPixmap);
    if (!img) return false;
    int wrong = 0;
    for (int y = 0; y < r.bottom - r.top; y += 3) {
      for (int x = 0; x < r.right - r.left; x += 3) {
        const unsigned long px = XGetPixel(img, x, y);
        wrong += RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF) != GetWindowPixel(list_, x, y);
      }
    }
    XDestroyImage(img);
    return wrong == 0;
  }

  x11test::XServer server_;
  HWND top_ = nullptr;
  HWND list_ = nullptr;
};

TEST_P(ListWheel, AMillionRowsScrollWithTheRealWheel) {
  int asked = 0, maxAsked = -1;
  top_ = MakeWindow(WS_POPUP | WS_CAPTION | WS_SYSMENU, 120, 100, 520, 420, nullptr, 0,
                    [&](HWND, UINT msg, WPARAM, LPARAM l, LRESULT* r) {
                      if (msg != WM_NOTIFY) return msg == WM_CLOSE;
                      auto* di = reinterpret_cast<NMLVDISPINFOW*>(l);
                      if (di->hdr.code != LVN_GETDISPINFOW || !(di->item.mask & LVIF_TEXT)) return false;
                      ++asked;
                      maxAsked = std::max(maxAsked, di->item.iItem);
                      CString t;
                      t.Format(u"Row %d", di->item.iItem);
                      const int n = std::min(t.GetLength(), di->item.cchTextMax - 1);
                      std::copy(t.GetString(), t.GetString() + n, di->item.pszText);
                      di->item.pszText[n] = 0;
                      *r = 0;
                      return true;
                    });
  SetWindowTextW(top_, u"Rows");
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_OWNERDATA, 10,
                          10, 480, 360, top_, reinterpret_cast<void*>(intptr_t(4)), nullptr, nullptr);
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH;
  c.cx = 200;
  c.pszText = const_cast<char16_t*>(u"Name");
  SendMessageW(list_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&c));
  SendMessageW(list_, LVM_SETITEMCOUNT, kRows, LVSICF_NOINVALIDATEALL);
  ShowWindow(top_, SW_SHOW);
  UpdateWindow(top_);
  ASSERT_TRUE(PumpUntil([&] { return server_.FindByTitle("Rows") != 0; }));
  const int per = int(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
  ASSERT_GT(per, 5);
  EXPECT_LE(maxAsked, per);  // only the first page was ever asked for
  // A click gives the list the keyboard; the wheel follows the keyboard.
  RECT lr{};
  GetWindowRect(list_, &lr);
  const int cx = (lr.left + lr.right) / 2, cy = (lr.top + lr.bottom) / 2;
  EXPECT_EQ(x11test::Run({"xdotool", "mousemove", std::to_string(cx), std::to_string(cy), "sleep", "0.1", "click", "1"}),
            0);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == list_; }));
  Wheel(4);
  ASSERT_TRUE(PumpUntil([&] { return Top() == 12; })) << "top row " << Top();
  Wheel(-2);
  ASSERT_TRUE(PumpUntil([&] { return Top() == 6; })) << "top row " << Top();
  EXPECT_EQ(x11test::Run({"xdotool", "key", "End"}), 0);
  ASSERT_TRUE(PumpUntil([&] { return Top() == kRows - per; })) << "top row " << Top();
  asked = 0;
  maxAsked = -1;
  Wheel(-3);
  ASSERT_TRUE(PumpUntil([&] { return Top() == kRows - per - 9; })) << "top row " << Top();
  ASSERT_TRUE(PumpUntil([&] { return asked > 0 && ScreenShowsList(); }));
  EXPECT_LE(asked, 4 * (per + 1));  // a page at most per notch, never the rows between
  server_.SaveScreen(std::string(KESTREL_WND_SHOT_DIR) + "/listview_x11.png");
}

INSTANTIATE_TEST_SUITE_P(X11, ListWheel, ::testing::Values("openbox", ""),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                           return std::string(p.param).empty() ? std::string("Bare") : std::string(p.param);
                         });

}  // namespace
