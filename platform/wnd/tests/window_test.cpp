// Window objects, painting and clipping, regions, input routing, focus, timers and the move
// and size loops, all headless.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/sync.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/tests/wnd_test_util.h"

namespace {

class Wnd : public ::testing::Test {
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
    ReleaseCapture();
    UseVirtualMessageClock(false);
  }
  HWND Top(int x, int y, int cx, int cy, TestWindows::Handler h = nullptr, DWORD style = WS_POPUP | WS_VISIBLE,
           DWORD ex = 0, const char16_t* cls = u"TestWnd") {
    HWND w = MakeWindow(style, x, y, cx, cy, nullptr, 0, std::move(h), ex, cls);
    made_.push_back(w);
    return w;
  }
  std::vector<HWND> made_;
  TestWindows& T() { return TestWindows::Get(); }
};

TEST_F(Wnd, FramesGiveClientRectsAndCoordinatesMapThroughParents) {
  HWND top = Top(100, 50, 300, 200, nullptr, WS_POPUP | WS_VISIBLE | WS_BORDER, WS_EX_CLIENTEDGE);
  RECT wr{}, cr{};
  ASSERT_TRUE(GetWindowRect(top, &wr));
  EXPECT_EQ(wr.left, 100);
  EXPECT_EQ(wr.bottom, 250);
  GetClientRect(top, &cr);
  EXPECT_EQ(cr.right, 300 - 6);  // one border pixel and a two-pixel edge on each side
  EXPECT_EQ(cr.bottom, 200 - 6);
  HWND child = MakeWindow(WS_CHILD | WS_VISIBLE, 10, 20, 50, 40, top, 7);
  HWND grand = MakeWindow(WS_CHILD | WS_VISIBLE, 5, 6, 10, 10, child, 8);
  POINT p{1, 2};
  ClientToScreen(grand, &p);
  EXPECT_EQ(p.x, 100 + 3 + 10 + 5 + 1);
  EXPECT_EQ(p.y, 50 + 3 + 20 + 6 + 2);
  POINT q = p;
  MapWindowPoints(nullptr, top, &q, 1);
  EXPECT_EQ(q.x, 10 + 5 + 1);
  EXPECT_EQ(GetParent(grand), child);
  EXPECT_EQ(GetAncestor(grand, GA_ROOT), top);
  EXPECT_TRUE(IsChild(top, grand));
  EXPECT_EQ(GetDlgCtrlID(child), 7);
}

TEST_F(Wnd, SetWindowPosReportsSizeAndMoveAndHonoursTrackLimits) {
  HWND w = Top(0, 0, 100, 100, [](HWND, UINT msg, WPARAM, LPARAM l, LRESULT*) {
    if (msg != WM_GETMINMAXINFO) return false;
    auto* mmi = reinterpret_cast<MINMAXINFO*>(l);
    mmi->ptMinTrackSize = POINT{200, 150};
    return true;
  });
  T().log.clear();
  SetWindowPos(w, nullptr, 30, 40, 120, 90, SWP_NOZORDER);
  RECT r{};
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.right - r.left, 200);  // raised to the minimum track size
  EXPECT_EQ(r.bottom - r.top, 150);
  auto sizes = T().Of(WM_SIZE);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].l, MAKELPARAM(200, 150));
  auto moves = T().Of(WM_MOVE);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].l, MAKELPARAM(30, 40));
  // Only moving sends no WM_SIZE.
  T().log.clear();
  MoveWindow(w, 60, 40, 200, 150, TRUE);
  EXPECT_EQ(T().Count(w, WM_SIZE), 0);
  EXPECT_EQ(T().Count(w, WM_MOVE), 1);
}

TEST_F(Wnd, MaximiseFillsTheWorkAreaAndRestoreComesBack) {
  HWND w = Top(10, 20, 300, 200, nullptr, WS_POPUP | WS_VISIBLE | WS_THICKFRAME | WS_MAXIMIZEBOX);
  ShowWindow(w, SW_MAXIMIZE);
  EXPECT_TRUE(IsZoomed(w));
  RECT r{}, work{};
  GetWindowRect(w, &r);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_TRUE(EqualRect(&r, &work));
  SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsZoomed(w));
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.right, 310);
  ShowWindow(w, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(w));
  ShowWindow(w, SW_RESTORE);
  EXPECT_FALSE(IsIconic(w));
}

TEST_F(Wnd, ZOrderKeepsTopmostWindowsAboveAndChildrenInCreationOrder) {
  HWND a = Top(0, 0, 10, 10);
  HWND b = Top(0, 0, 10, 10);
  EXPECT_EQ(GetTopWindow(nullptr), b);
  SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  HWND c = Top(0, 0, 10, 10);
  EXPECT_EQ(GetTopWindow(nullptr), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), c);
  SetWindowPos(a, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(GetWindow(c, GW_HWNDLAST), a);
  HWND k1 = MakeWindow(WS_CHILD, 0, 0, 5, 5, b, 1);
  HWND k2 = MakeWindow(WS_CHILD, 0, 0, 5, 5, b, 2);
  EXPECT_EQ(GetWindow(b, GW_CHILD), k1);
  EXPECT_EQ(GetWindow(k1, GW_HWNDNEXT), k2);
}

TEST_F(Wnd, InvalidationsCoalesceIntoOnePaintAfterTheErase) {
  HWND w = Top(0, 0, 100, 100, FillOnPaint(RGB(0, 0, 255)));
  Pump();
  T().log.clear();
  RECT a{0, 0, 10, 10}, b{50, 50, 60, 60};
  InvalidateRect(w, &a, FALSE);
  InvalidateRect(w, &b, TRUE);
  RECT box{};
  EXPECT_TRUE(GetUpdateRect(w, &box, FALSE));
  EXPECT_EQ(box.right, 60);
  Pump();
  EXPECT_EQ(T().Count(w, WM_PAINT), 1);
  EXPECT_EQ(T().Count(w, WM_ERASEBKGND), 1);
  EXPECT_FALSE(GetUpdateRect(w, &box, FALSE));
  // The erase comes from BeginPaint, inside the paint.
  size_t paintAt = 0, eraseAt = 0;
  for (size_t i = 0; i < T().log.size(); ++i) {
    if (T().log[i].msg == WM_PAINT && !paintAt) paintAt = i + 1;
    if (T().log[i].msg == WM_ERASEBKGND) eraseAt = i + 1;
  }
  EXPECT_LT(paintAt, eraseAt);
  ValidateRect(w, nullptr);
  InvalidateRect(w, &a, FALSE);
  ValidateRect(w, &a);
  Pump();
  EXPECT_EQ(T().Count(w, WM_PAINT), 1);
}

TEST_F(Wnd, ChildrenAndSiblingsClipEachOthersPaint) {
  HWND top = Top(0, 0, 100, 100, FillOnPaint(RGB(255, 0, 0)), WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN);
  HWND low = MakeWindow(WS_CHILD | WS_VISIBLE, 10, 10, 40, 40, top, 1, FillOnPaint(RGB(0, 255, 0)));
  HWND high = MakeWindow(WS_CHILD | WS_VISIBLE, 30, 30, 40, 40, top, 2, FillOnPaint(RGB(0, 0, 255)));
  SetWindowPos(high, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Pump();
  EXPECT_EQ(GetWindowPixel(top, 5, 5), RGB(255, 0, 0));
  EXPECT_EQ(GetWindowPixel(top, 15, 15), RGB(0, 255, 0));
  EXPECT_EQ(GetWindowPixel(top, 35, 35), RGB(0, 0, 255));  // the upper sibling wins the overlap
  // Repainting the parent leaves its children alone.
  InvalidateRect(top, nullptr, TRUE);
  Pump();
  EXPECT_EQ(GetWindowPixel(top, 15, 15), RGB(0, 255, 0));
  EXPECT_EQ(GetWindowPixel(top, 35, 35), RGB(0, 0, 255));
  // Repainting the lower sibling does not reach under the upper one.
  InvalidateRect(low, nullptr, TRUE);
  Pump();
  EXPECT_EQ(GetWindowPixel(top, 35, 35), RGB(0, 0, 255));
  // A context of the child never draws outside it.
  HDC dc = GetDC(low);
  RECT big{-50, -50, 200, 200};
  FillSolidRectDc(dc, &big, RGB(9, 9, 9));
  ReleaseDC(low, dc);
  EXPECT_EQ(GetWindowPixel(top, 5, 5), RGB(255, 0, 0));
  EXPECT_EQ(GetWindowPixel(top, 15, 15), RGB(9, 9, 9));
  EXPECT_EQ(GetWindowPixel(top, 35, 35), RGB(0, 0, 255));
  // Hiding a child shows the parent again where it was.
  ShowWindow(high, SW_HIDE);
  Pump();
  EXPECT_EQ(GetWindowPixel(top, 65, 65), RGB(255, 0, 0));
}

TEST_F(Wnd, WindowRegionsClipPaintAndClicks) {
  HWND top = Top(100, 100, 100, 100, FillOnPaint(RGB(255, 0, 0)), WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN);
  HWND child = MakeWindow(WS_CHILD | WS_VISIBLE, 0, 0, 60, 60, top, 1, FillOnPaint(RGB(0, 255, 0)));
  // Only the left 20 columns of the child remain.
  SetWindowRgn(child, CreateRectRgn(0, 0, 20, 60), TRUE);
  Pump();
  EXPECT_EQ(GetWindowPixel(top, 10, 10), RGB(0, 255, 0));
  EXPECT_EQ(GetWindowPixel(top, 40, 10), RGB(255, 0, 0));
  T().log.clear();
  Click(top, 40, 10);
  Pump();
  EXPECT_EQ(T().Count(top, WM_LBUTTONDOWN), 1);
  EXPECT_EQ(T().Count(child, WM_LBUTTONDOWN), 0);
  Click(top, 10, 10);
  Pump();
  EXPECT_EQ(T().Count(child, WM_LBUTTONDOWN), 1);
  // A top-level region makes the cut-away part belong to whatever lies beneath.
  HWND under = Top(100, 100, 100, 100);
  SetWindowPos(under, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  HRGN r = CreateRectRgn(0, 0, 50, 100);
  SetWindowRgn(top, r, TRUE);
  EXPECT_EQ(WindowFromPoint(POINT{180, 150}), under);
  EXPECT_EQ(WindowFromPoint(POINT{140, 150}), top);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(top, copy), SIMPLEREGION);
  DeleteObject(copy);
}

TEST_F(Wnd, MouseMessagesCarryKeysAndDoubleClicksNeedTheClassStyle) {
  UseVirtualMessageClock(true);
  HWND w = Top(0, 0, 100, 100);
  HWND plain = Top(200, 0, 100, 100, nullptr, WS_POPUP | WS_VISIBLE, 0, u"TestWndNoDbl");
  T().log.clear();
  InjectKey(VK_CONTROL, true);
  Click(w, 10, 10);
  Click(w, 11, 10);
  InjectKey(VK_CONTROL, false);
  Pump();
  auto downs = T().Of(WM_LBUTTONDOWN);
  auto dbls = T().Of(WM_LBUTTONDBLCLK);
  ASSERT_EQ(downs.size(), 1u);
  ASSERT_EQ(dbls.size(), 1u);
  EXPECT_EQ(downs[0].w, MK_LBUTTON | MK_CONTROL);
  EXPECT_EQ(dbls[0].l, MAKELPARAM(11, 10));
  auto ups = T().Of(WM_LBUTTONUP);
  ASSERT_EQ(ups.size(), 2u);
  EXPECT_EQ(ups[0].w, MK_CONTROL);
  // Too slow, too far, or a class without double clicks: two plain presses.
  T().log.clear();
  Click(w, 10, 10);
  Pump();
  AdvanceVirtualMessageClock(600);
  Click(w, 10, 10);
  Click(w, 30, 30);
  Click(plain, 10, 10);
  Click(plain, 10, 10);
  Pump();
  EXPECT_EQ(T().Count(w, WM_LBUTTONDOWN), 3);
  EXPECT_EQ(T().Count(w, WM_LBUTTONDBLCLK), 0);
  EXPECT_EQ(T().Count(plain, WM_LBUTTONDOWN), 2);
  // Right button.
  T().log.clear();
  Click(w, 5, 5, 1);
  Pump();
  EXPECT_EQ(T().Count(w, WM_RBUTTONDOWN), 1);
  EXPECT_EQ(T().Count(w, WM_RBUTTONUP), 1);
}

TEST_F(Wnd, CaptureTakesTheMouseAndLeaveTrackingFiresOnce) {
  HWND a = Top(0, 0, 100, 100);
  HWND b = Top(200, 0, 100, 100);
  Pump();
  InjectMouseMove(50, 50);
  Pump();
  TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, a, 1};
  ASSERT_TRUE(TrackMouseEvent(&tme));
  T().log.clear();
  InjectMouseMove(60, 50);
  InjectMouseMove(250, 50);
  InjectMouseMove(260, 50);
  Pump();
  EXPECT_EQ(T().Count(a, WM_MOUSELEAVE), 1);
  EXPECT_EQ(T().Count(b, WM_MOUSEMOVE), 2);
  // Tracking while the pointer is already elsewhere reports the leave at once.
  T().log.clear();
  TrackMouseEvent(&tme);
  Pump();
  EXPECT_EQ(T().Count(a, WM_MOUSELEAVE), 1);
  // With capture the moves over b go to a, in a's client coordinates.
  SetCapture(a);
  T().log.clear();
  InjectMouseMove(250, 40);
  Pump();
  auto moves = T().Of(WM_MOUSEMOVE);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].hwnd, a);
  EXPECT_EQ(moves[0].l, MAKELPARAM(250, 40));
  T().log.clear();
  SetCapture(b);
  EXPECT_EQ(T().Count(a, WM_CAPTURECHANGED), 1);
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Wnd, DisabledWindowsTakeNoMouseInput) {
  HWND top = Top(0, 0, 100, 100);
  HWND child = MakeWindow(WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, top, 1);
  EnableWindow(child, FALSE);
  Pump();
  T().log.clear();
  Click(top, 10, 10);
  Pump();
  EXPECT_EQ(T().Count(child, WM_LBUTTONDOWN), 0);
  EXPECT_EQ(T().Count(top, WM_LBUTTONDOWN), 1);
  EnableWindow(top, FALSE);
  T().log.clear();
  Click(top, 80, 80);
  Pump();
  EXPECT_EQ(T().Count(top, WM_LBUTTONDOWN), 0);
  EnableWindow(top, TRUE);
  EnableWindow(child, TRUE);
  EXPECT_TRUE(IsWindowEnabled(child));
}

TEST_F(Wnd, FocusActivationAndKeyboard) {
  HWND top = Top(0, 0, 100, 100);
  HWND c1 = MakeWindow(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, top, 1);
  HWND c2 = MakeWindow(WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, top, 2);
  SetFocus(c1);
  EXPECT_EQ(GetActiveWindow(), top);
  EXPECT_EQ(GetForegroundWindow(), top);
  T().log.clear();
  SetFocus(c2);
  ASSERT_EQ(T().Of(WM_KILLFOCUS).size(), 1u);
  EXPECT_EQ(T().Of(WM_KILLFOCUS)[0].hwnd, c1);
  EXPECT_EQ(T().Of(WM_SETFOCUS)[0].hwnd, c2);
  // The control key's state is the one at the time each key message is handled.
  short ctrlAtP = 0;
  TestWindows::Get().handlers[c2] = [&](HWND, UINT msg, WPARAM w, LPARAM, LRESULT*) {
    if (msg == WM_KEYDOWN && w == 'P') ctrlAtP = GetKeyState(VK_CONTROL);
    return false;
  };
  T().log.clear();
  InjectKey(VK_CONTROL, true);
  InjectKeyPress('P', u'p');
  InjectKey(VK_CONTROL, false);
  Pump();
  EXPECT_LT(ctrlAtP, 0);
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
  EXPECT_EQ(T().Count(c2, WM_KEYDOWN), 2);
  EXPECT_EQ(T().Count(c2, WM_KEYUP), 2);
  ASSERT_EQ(T().Of(WM_CHAR).size(), 1u);
  EXPECT_EQ(T().Of(WM_CHAR)[0].w, WPARAM(u'p'));
  // Destroying the focused window leaves no focus behind.
  DestroyWindow(c2);
  EXPECT_EQ(GetFocus(), nullptr);
}

// A window of a worker thread in front, then a click on the main thread's edit box: the click
// brings the main window to the front and the keys typed next land in the edit box, also when
// they come before the main thread has taken the click.
TEST_F(Wnd, AClickTakesTheKeyboardFromAnotherThreadsWindow) {
  HWND mainWnd = Top(0, 0, 300, 200);
  HWND edit = CreateWindowExW(0, WC_EDIT, u"", WS_CHILD | WS_VISIBLE, 10, 10, 200, 24, mainWnd, nullptr, nullptr,
                              nullptr);
  SetFocus(edit);
  ASSERT_EQ(GetForegroundWindow(), mainWnd);

  std::atomic<HWND> worker{nullptr};
  std::atomic<int> workerChars{0}, workerDeactivated{0};
  std::atomic<bool> stop{false};
  std::thread t([&] {
    HWND w = MakeWindow(WS_POPUP, 400, 300, 100, 100, nullptr, 0, [&](HWND, UINT msg, WPARAM wp, LPARAM, LRESULT*) {
      if (msg == WM_CHAR) ++workerChars;
      if (msg == WM_ACTIVATE && LOWORD(wp) == WA_INACTIVE) ++workerDeactivated;
      return false;
    });
    ShowWindow(w, SW_SHOW);
    worker = w;
    while (!stop) {
      Pump();
      Sleep(1);
    }
    DestroyWindow(w);
  });
  while (!worker) Sleep(1);
  EXPECT_EQ(GetForegroundWindow(), worker.load());
  InjectText(u"w");  // the worker's window is in front and takes this one
  for (int i = 0; i < 500 && workerChars == 0; ++i) Sleep(1);
  EXPECT_EQ(workerChars.load(), 1);

  // Click and type at once, as a quick hand does, then let the main thread catch up.
  Click(edit, 5, 5);
  InjectText(u"ok");
  Pump();
  EXPECT_EQ(GetForegroundWindow(), mainWnd);
  EXPECT_EQ(GetFocus(), edit);
  EXPECT_EQ(GetWindowTextString(edit).ToUtf8(), "ok");
  for (int i = 0; i < 500 && workerDeactivated == 0; ++i) Sleep(1);
  EXPECT_EQ(workerDeactivated.load(), 1);
  EXPECT_EQ(workerChars.load(), 1);
  stop = true;
  t.join();
}

TEST_F(Wnd, TimersFireOnTheVirtualClockThroughTheLoop) {
  UseVirtualMessageClock(true);
  HWND w = Top(0, 0, 10, 10);
  SetTimer(w, 5, 200, nullptr);
  Pump();
  T().log.clear();
  AdvanceVirtualMessageClock(199);
  Pump();
  EXPECT_EQ(T().Count(w, WM_TIMER), 0);
  AdvanceVirtualMessageClock(1);
  Pump();
  ASSERT_EQ(T().Count(w, WM_TIMER), 1);
  EXPECT_EQ(T().Of(WM_TIMER)[0].w, 5u);
  SetTimer(w, 5, 500, nullptr);  // setting it again restarts it
  AdvanceVirtualMessageClock(200);
  Pump();
  EXPECT_EQ(T().Count(w, WM_TIMER), 1);
  AdvanceVirtualMessageClock(300);
  Pump();
  EXPECT_EQ(T().Count(w, WM_TIMER), 2);
  KillTimer(w, 5);
  AdvanceVirtualMessageClock(1000);
  Pump();
  EXPECT_EQ(T().Count(w, WM_TIMER), 2);
}

TEST_F(Wnd, CursorFollowsTheHitTest) {
  HWND w = Top(0, 0, 100, 100, nullptr, WS_POPUP | WS_VISIBLE | WS_THICKFRAME);
  InjectMouseMove(50, 50);
  Pump();
  EXPECT_EQ(CursorId(GetCursor()), 32512u);
  InjectMouseMove(1, 50);
  Pump();
  EXPECT_EQ(CursorId(GetCursor()), reinterpret_cast<uintptr_t>(IDC_SIZEWE));
  InjectMouseMove(99, 99);
  Pump();
  EXPECT_EQ(CursorId(GetCursor()), reinterpret_cast<uintptr_t>(IDC_SIZENWSE));
  (void)w;
}

TEST_F(Wnd, DraggingByTheClientAreaMovesAndBordersSize) {
  // As a skinned dialog does: any press in the client area starts the move loop.
  HWND w = Top(100, 100, 200, 150, [](HWND h, UINT msg, WPARAM, LPARAM l, LRESULT*) {
    if (msg == WM_LBUTTONDOWN) {
      POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
      ClientToScreen(h, &p);
      SendMessageW(h, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(p.x, p.y));
      return true;
    }
    if (msg == WM_GETMINMAXINFO) {
      reinterpret_cast<MINMAXINFO*>(l)->ptMinTrackSize = POINT{150, 100};
      return true;
    }
    return false;
  }, WS_POPUP | WS_VISIBLE | WS_THICKFRAME);
  Pump();
  InjectMouseMove(150, 150);
  InjectMouseButton(0, true, 150, 150);
  InjectMouseMove(170, 160);
  InjectMouseMove(190, 175);
  InjectMouseButton(0, false, 190, 175);
  Pump();
  RECT r{};
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 140);
  EXPECT_EQ(r.top, 125);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(GetCapture(), nullptr);
  // Size from the left border; the width stops at the minimum and the right edge stays.
  InjectMouseMove(141, 200);
  InjectMouseButton(0, true, 141, 200);
  InjectMouseMove(241, 200);
  InjectMouseButton(0, false, 241, 200);
  Pump();
  GetWindowRect(w, &r);
  EXPECT_EQ(r.right, 340);
  EXPECT_EQ(r.right - r.left, 150);
}

TEST_F(Wnd, WindowsOfAThreadThatEndsLeaveTheScreen) {
  HWND left = nullptr;
  std::thread t([&] { left = MakeWindow(WS_POPUP | WS_VISIBLE, 500, 500, 50, 50); });
  t.join();
  EXPECT_FALSE(IsWindow(left));
  EXPECT_NE(WindowFromPoint(POINT{510, 510}), left);
  EXPECT_FALSE(IsWindowVisible(left));
}

TEST_F(Wnd, ScreenSizeReachesMetricsAndDeviceCaps) {
  SetScreenSize(1024, 768);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
  HDC dc = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 1024);
  EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 768);
  ReleaseDC(nullptr, dc);
  RECT work{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(work.right, 1024);
  EXPECT_LT(work.bottom, 768);
  SetScreenSize(1280, 800);
}

TEST_F(Wnd, PrintWindowAndPaintIntoAGivenContext) {
  HWND top = Top(0, 0, 100, 60, FillOnPaint(RGB(0, 0, 200)));
  HWND bar = CreateWindowExW(0, u"msctls_progress32", u"", WS_CHILD | WS_VISIBLE, 10, 10, 80, 10, top, nullptr,
                             nullptr, nullptr);
  SendMessageW(bar, PBM_SETRANGE32, 0, 10);
  SendMessageW(bar, PBM_SETPOS, 10, 0);
  HDC mem = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(mem, 100, 60);
  HGDIOBJ old = SelectObject(mem, bm);
  ASSERT_TRUE(PrintWindow(top, mem, 0));
  EXPECT_EQ(GetPixel(mem, 2, 2), RGB(0, 0, 200));
  EXPECT_EQ(GetPixel(mem, 50, 15), GetSysColor(COLOR_HIGHLIGHT));
  // A control paints into a context it is given, at that context's origin.
  RECT all{0, 0, 100, 60};
  FillSolidRectDc(mem, &all, RGB(1, 1, 1));
  SendMessageW(bar, WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
  EXPECT_EQ(GetPixel(mem, 40, 5), GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(GetPixel(mem, 90, 5), RGB(1, 1, 1));
  SelectObject(mem, old);
  DeleteObject(bm);
  DeleteDC(mem);
}

TEST_F(Wnd, SystemMenuHasTheStandardItemsAndTakesMore) {
  HWND w = Top(0, 0, 10, 10, nullptr, WS_POPUP | WS_VISIBLE | WS_SYSMENU);
  HMENU m = GetSystemMenu(w, FALSE);
  ASSERT_NE(m, nullptr);
  const int n = GetMenuItemCount(m);
  EXPECT_EQ(GetMenuItemID(m, n - 1), UINT(SC_CLOSE));
  AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(m, MF_STRING, 16, u"About");
  EXPECT_EQ(GetSystemMenu(w, FALSE), m);
  EXPECT_EQ(GetMenuItemID(m, n + 1), 16u);
  char16_t buf[16];
  EXPECT_EQ(GetMenuStringW(m, 16, buf, 16, MF_BYCOMMAND), 5);
  EXPECT_EQ(std::u16string(buf), u"About");
}

TEST_F(Wnd, DeviceChangesReachRegisteredWindows) {
  std::vector<std::u16string> seen;
  HWND w = Top(0, 0, 10, 10, [&](HWND, UINT msg, WPARAM wp, LPARAM l, LRESULT*) {
    if (msg != WM_DEVICECHANGE) return false;
    auto* hdr = reinterpret_cast<const DEV_BROADCAST_HDR*>(l);
    if (hdr->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
      auto* di = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(l);
      seen.push_back((wp == DBT_DEVICEARRIVAL ? u"+" : u"-") + std::u16string(di->dbcc_name));
    }
    return true;
  });
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  HDEVNOTIFY n = RegisterDeviceNotificationW(w, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  ASSERT_NE(n, nullptr);
  CString path = UsbStorDevicePath(u"Kingst on", u"Data Traveler", u"1.00", u"ABC#123");
  EXPECT_EQ(path.Left(15), CString(u"\\\\?\\USBSTOR#Dis"));
  BroadcastDeviceChange(true, path);
  BroadcastDeviceChange(false, path);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], u"+\\\\?\\USBSTOR#Disk&Ven_Kingst_on&Prod_Data_Traveler&Rev_1.00#ABC123&0#"
                     u"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
  EXPECT_EQ(seen[1][0], u'-');
  UnregisterDeviceNotification(n);
  BroadcastDeviceChange(true, path);
  EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
