// The x11 backend as a citizen of the desktop, under a private Xvfb server, once with the
// openbox window manager and once bare: focus and UTF-8 typing through the input method, the
// window manager's close request, caption drags and border sizing, the window's properties
// (UTF-8 title, no decorations, state, icon) and minimising. Real input comes from xdotool and
// wmctrl. Skipped where Xvfb (or the tool a test needs) is missing; the setup script installs
// them.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/tests/x11/x11_test_util.h"

namespace {

using x11test::PumpFor;
using x11test::PumpUntil;

class Desktop : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string wm = GetParam();
    if (x11test::FindProgram("Xvfb").empty()) GTEST_SKIP() << "Xvfb is not installed";
    if (!wm.empty() && x11test::FindProgram(wm.c_str()).empty()) GTEST_SKIP() << wm << " is not installed";
    ASSERT_TRUE(server_.Start(wm));
    ASSERT_TRUE(SelectBackend("x11"));
    TestWindows::Register();
    TestWindows::Get().log.clear();
  }
  void TearDown() override {
    // A drag still running ends on its own; its window may be gone by then.
    while (dragger_.joinable() && !dragDone_) Pump();
    EndDrag();
    for (HWND h : made_) {
      if (IsWindow(h)) DestroyWindow(h);
    }
    Pump();
    SelectBackend("headless");
    server_.Stop();
  }
  bool Managed() const { return std::string(GetParam()) == "openbox"; }

  // A shown top-level window with the given title; closing it only records.
  HWND Show(DWORD style, const char16_t* title, int x, int y, int cx, int cy, TestWindows::Handler h = nullptr) {
    if (!h) h = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT*) { return msg == WM_CLOSE; };
    HWND w = MakeWindow(style, x, y, cx, cy, nullptr, 0, std::move(h));
    SetWindowTextW(w, title);
    made_.push_back(w);
    ShowWindow(w, SW_SHOW);
    UpdateWindow(w);
    return w;
  }
  // The X window of a shown window, once the server has it.
  Window XOf(const char16_t* title) {
    Window xw = 0;
    PumpUntil([&] { return (xw = server_.FindByTitle(CString(title).ToUtf8())) != 0; });
    return xw;
  }
  bool XGeometryIs(Window xw, HWND h) {
    RECT x = server_.Geometry(xw), r{};
    GetWindowRect(h, &r);
    return EqualRect(&x, &r) != 0;
  }
  static std::string Str(int v) { return std::to_string(v); }

  // Presses the left button at (x, y), moves by (dx, dy) in `steps` steps and lets go, on a
  // thread of its own; dragDone_ tells when it is over.
  void Drag(int x, int y, int dx, int dy, int steps) {
    EndDrag();
    dragDone_ = false;
    dragger_ = std::thread([=, this] {
      std::vector<std::string> cmd{"xdotool", "mousemove", Str(x), Str(y), "sleep", "0.1", "mousedown", "1",
                                   "sleep", "0.2"};
      for (int i = 1; i <= steps; ++i) {
        for (const std::string& a : {std::string("mousemove"), Str(x + dx * i / steps), Str(y + dy * i / steps),
                                     std::string("sleep"), std::string("0.05")}) {
          cmd.push_back(a);
        }
      }
      for (const char* a : {"sleep", "0.2", "mouseup", "1"}) cmd.push_back(a);
      x11test::Run(cmd);
      dragDone_ = true;
    });
  }
  void EndDrag() {
    if (dragger_.joinable()) dragger_.join();
  }
  std::thread dragger_;
  std::atomic<bool> dragDone_{true};

  x11test::XServer server_;
  std::vector<HWND> made_;
};

TEST_P(Desktop, AWindowTakesTheFocusAndTypedUtf8TextArrives) {
  if (x11test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  HWND w = Show(WS_POPUP | WS_CAPTION | WS_SYSMENU, u"Typing", 200, 150, 320, 120);
  HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDIT, u"", WS_CHILD | WS_VISIBLE, 10, 10, 280, 26, w, nullptr,
                              nullptr, nullptr);
  SetFocus(edit);
  const Window xw = XOf(u"Typing");
  ASSERT_NE(xw, 0u);
  ASSERT_TRUE(PumpUntil([&] { return server_.Focus() == xw; })) << "the X focus never came";
  EXPECT_EQ(GetForegroundWindow(), w);
  // Latin, a Latin-1 letter with an accent, a CJK character, a character beyond the BMP.
  // Keys of their own for the characters, as a keyboard layout would have them: the tool would
  // otherwise bind a spare key for each character and take it back at once, and a busy machine
  // can read such a key only after it was bound to the next one.
  ASSERT_TRUE(server_.BindKeysyms({0xE9 /* eacute */, 0x1004E2D, 0x101D11E}));
  std::u16string want;
  for (const auto& [utf8, text] : {std::pair{"a", u"a"}, std::pair{"é", u"é"}, std::pair{"中", u"中"},
                                   std::pair{"𝄞", u"𝄞"}}) {
    want += text;
    EXPECT_EQ(x11test::Run({"xdotool", "type", utf8}), 0);
    EXPECT_TRUE(PumpUntil([&] { return GetWindowTextString(edit).View() == want; }))
        << GetWindowTextString(edit).ToUtf8();
  }
  // Keys with Alt held come as system keys; Alt+F4 asks the window to close.
  TestWindows::Get().log.clear();
  EXPECT_EQ(x11test::Run({"xdotool", "key", "alt+F4"}), 0);
  EXPECT_TRUE(PumpUntil([&] { return TestWindows::Get().Count(w, WM_CLOSE) == 1; }));
}

TEST_P(Desktop, TheCloseRequestOfTheWindowManagerSendsWmClose) {
  HWND w = Show(WS_POPUP | WS_CAPTION | WS_SYSMENU, u"Closing", 100, 100, 200, 100);
  const Window xw = XOf(u"Closing");
  ASSERT_NE(xw, 0u);
  if (Managed()) {
    if (x11test::FindProgram("wmctrl").empty()) GTEST_SKIP() << "wmctrl is not installed";
    ASSERT_TRUE(PumpUntil([&] { return x11test::Run({"wmctrl", "-c", "Closing"}) == 0; }));
  } else {
    server_.SendProtocol(xw, "WM_DELETE_WINDOW");  // what a window manager sends
  }
  EXPECT_TRUE(PumpUntil([&] { return TestWindows::Get().Count(w, WM_CLOSE) == 1; }));
  ASSERT_FALSE(TestWindows::Get().Of(WM_SYSCOMMAND).empty());
  EXPECT_EQ(TestWindows::Get().Of(WM_SYSCOMMAND).back().w & 0xFFF0, SC_CLOSE);
}

TEST_P(Desktop, CaptionDragsMoveAndBorderDragsSize) {
  if (x11test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  HWND w = Show(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, u"Dragging", 150, 120, 300, 200,
                [](HWND, UINT msg, WPARAM, LPARAM l, LRESULT*) {
                  if (msg == WM_GETMINMAXINFO) {
                    reinterpret_cast<MINMAXINFO*>(l)->ptMinTrackSize = POINT{200, 150};
                    return true;
                  }
                  return msg == WM_CLOSE;
                });
  const Window xw = XOf(u"Dragging");
  ASSERT_NE(xw, 0u);
  ASSERT_TRUE(PumpUntil([&] { return XGeometryIs(xw, w); }));
  RECT start{};
  GetWindowRect(w, &start);
  const int handOffs = X11MoveSizeHandOffs();
  // Press on the caption, move in steps, let go: the window follows by as much. The pointer
  // moves while the program runs its (or the window manager's) loop, so from another thread.
  Drag(start.left + 100, start.top + 14, 120, 60, 6);
  ASSERT_TRUE(PumpUntil([&] {
    RECT r{};
    GetWindowRect(w, &r);
    return dragDone_ && r.left == start.left + 120 && r.top == start.top + 60 &&
           TestWindows::Get().Count(w, WM_EXITSIZEMOVE) == 1;
  })) << "the window did not follow the caption drag";
  EXPECT_TRUE(PumpUntil([&] { return XGeometryIs(xw, w); }));
  EXPECT_EQ(TestWindows::Get().Count(w, WM_ENTERSIZEMOVE), 1);
  EndDrag();

  // The bottom-right corner sizes it; the minimum track size holds.
  RECT r{};
  GetWindowRect(w, &r);
  Drag(r.right - 2, r.bottom - 2, 60, 40, 4);
  EXPECT_TRUE(PumpUntil([&] {
    RECT now{};
    GetWindowRect(w, &now);
    return dragDone_ && now.right - now.left == 360 && now.bottom - now.top == 240 && now.left == r.left;
  })) << "the window did not follow the border drag";
  EndDrag();
  // Then smaller than it may be: it stops at its minimum.
  GetWindowRect(w, &r);
  Drag(r.right - 2, r.bottom - 2, -250, -200, 5);
  EXPECT_TRUE(PumpUntil([&] {
    RECT now{};
    GetWindowRect(w, &now);
    return dragDone_ && now.right - now.left == 200 && now.bottom - now.top == 150;
  })) << "the size went below its minimum";
  EndDrag();
  // A window manager ran the three loops; bare, the program ran them itself.
  EXPECT_EQ(X11MoveSizeHandOffs() - handOffs, Managed() ? 3 : 0);
  EXPECT_TRUE(PumpUntil([&] { return XGeometryIs(xw, w); }));
}

TEST_P(Desktop, PropertiesSayWhatTheWindowIs) {
  HWND w = Show(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, u"Kestrel ✓ 恢复", 100, 100, 300,
                200);
  const Window xw = XOf(u"Kestrel ✓ 恢复");
  ASSERT_NE(xw, 0u);
  XWindowAttributes a{};
  XGetWindowAttributes(server_.dpy(), xw, &a);
  EXPECT_FALSE(a.override_redirect);
  // No decorations of the window manager; closing and focusing by its protocols.
  std::vector<long> motif = server_.Property(xw, XInternAtom(server_.dpy(), "_MOTIF_WM_HINTS", False),
                                             XInternAtom(server_.dpy(), "_MOTIF_WM_HINTS", False));
  ASSERT_GE(motif.size(), 3u);
  EXPECT_EQ(motif[0] & 2, 2);
  EXPECT_EQ(motif[2], 0);
  std::vector<std::string> protocols = server_.AtomNames(xw, "WM_PROTOCOLS");
  EXPECT_NE(std::find(protocols.begin(), protocols.end(), "WM_DELETE_WINDOW"), protocols.end());
  EXPECT_NE(std::find(protocols.begin(), protocols.end(), "WM_TAKE_FOCUS"), protocols.end());
  // A new title reaches the display.
  SetWindowTextW(w, u"Kestrel — 新");
  EXPECT_TRUE(PumpUntil([&] { return server_.TextProperty(xw, "_NET_WM_NAME", "UTF8_STRING") == "Kestrel — 新"; }));

  // Icons: a 16 by 16 red one and a 32 by 32 blue one.
  auto solidIcon = [](int size, COLORREF c) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP colour = CreateCompatibleBitmap(dc, size, size), mask = CreateCompatibleBitmap(dc, size, size);
    HGDIOBJ old = SelectObject(dc, colour);
    RECT all{0, 0, size, size};
    FillSolidRectDc(dc, &all, c);
    SelectObject(dc, old);
    DeleteDC(dc);
    ICONINFO ii{TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&ii);
    DeleteObject(colour);
    DeleteObject(mask);
    return icon;
  };
  HICON small = solidIcon(16, RGB(255, 0, 0)), big = solidIcon(32, RGB(0, 0, 255));
  SendMessageW(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  SendMessageW(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  std::vector<long> icon;
  EXPECT_TRUE(PumpUntil([&] { return (icon = server_.Cardinals(xw, "_NET_WM_ICON")).size() == 2 + 256 + 2 + 1024; }));
  if (icon.size() == 2 + 256 + 2 + 1024) {
    EXPECT_EQ(icon[0], 16);
    EXPECT_EQ(uint32_t(icon[2]), 0xFFFF0000u);
    EXPECT_EQ(icon[258], 32);
    EXPECT_EQ(uint32_t(icon[260]), 0xFF0000FFu);
  }

  if (Managed()) {
    // Maximised and topmost windows say so; the maximised one fills the work area.
    ShowWindow(w, SW_MAXIMIZE);
    auto has = [&](const char* state) {
      std::vector<std::string> s = server_.AtomNames(xw, "_NET_WM_STATE");
      return std::find(s.begin(), s.end(), state) != s.end();
    };
    EXPECT_TRUE(PumpUntil([&] { return has("_NET_WM_STATE_MAXIMIZED_VERT") && has("_NET_WM_STATE_MAXIMIZED_HORZ"); }));
    RECT work{}, r{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(w, &r);
    EXPECT_TRUE(EqualRect(&work, &r));
    EXPECT_TRUE(PumpUntil([&] { return XGeometryIs(xw, w); }));
    ShowWindow(w, SW_RESTORE);
    EXPECT_TRUE(PumpUntil([&] { return !has("_NET_WM_STATE_MAXIMIZED_VERT"); }));
    SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(PumpUntil([&] { return has("_NET_WM_STATE_ABOVE"); }));
    SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(PumpUntil([&] { return !has("_NET_WM_STATE_ABOVE"); }));
  }

  // Minimised through the program, the display hides it; brought back by the window manager
  // (or shown again bare), it is restored.
  ShowWindow(w, SW_MINIMIZE);
  EXPECT_TRUE(PumpUntil([&] {
    XWindowAttributes now{};
    XGetWindowAttributes(server_.dpy(), xw, &now);
    return now.map_state != IsViewable;
  }));
  if (Managed() && !x11test::FindProgram("wmctrl").empty()) {
    x11test::Run({"wmctrl", "-a", "Kestrel — 新"});
    EXPECT_TRUE(PumpUntil([&] { return !IsIconic(w); }));
  } else {
    ShowWindow(w, SW_RESTORE);
  }
  EXPECT_TRUE(PumpUntil([&] {
    XWindowAttributes now{};
    XGetWindowAttributes(server_.dpy(), xw, &now);
    return now.map_state == IsViewable;
  }));
  DestroyWindow(w);
  DestroyIcon(small);
  DestroyIcon(big);
}

// A popup menu bypasses the window manager and takes the pointer: a real click on an item
// chooses it, a click on the bare screen outside every window of ours cancels it.
TEST_P(Desktop, PopupMenusTakeThePointer) {
  if (x11test::FindProgram("xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  std::atomic<HWND> popup{nullptr};
  RECT popupRect{};
  HWND w = Show(WS_POPUP | WS_CAPTION | WS_SYSMENU, u"Menus", 100, 100, 300, 200,
                [&](HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT*) {
                  if (msg == WM_ENTERIDLE && wp == MSGF_MENU && !popup) {
                    GetWindowRect(reinterpret_cast<HWND>(lp), &popupRect);
                    popup = reinterpret_cast<HWND>(lp);
                  }
                  return msg == WM_CLOSE;
                });
  ASSERT_NE(XOf(u"Menus"), 0u);
  HMENU m = CreatePopupMenu();
  AppendMenuW(m, MF_STRING, 21, u"&First");
  AppendMenuW(m, MF_STRING, 22, u"&Second");
  int unframed = 0;
  for (int round = 0; round < 2; ++round) {
    popup = nullptr;
    std::atomic<bool> clicked{false};
    std::thread user([&] {
      for (int i = 0; i < 500 && !popup; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      // The popup is a window of its own on the screen that the window manager never framed.
      Display* d = server_.dpy();
      Window root = 0, parent = 0, *kids = nullptr;
      unsigned n = 0;
      XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n);
      for (unsigned i = 0; i < n; ++i) {
        XWindowAttributes a{};
        XGetWindowAttributes(d, kids[i], &a);
        if (a.override_redirect && a.map_state == IsViewable && a.x == popupRect.left && a.y == popupRect.top) {
          ++unframed;
        }
      }
      if (kids) XFree(kids);
      // The second item's middle; or far from every window.
      const int x = round == 0 ? popupRect.left + 30 : 900, y = round == 0 ? popupRect.top + 3 + 20 + 10 : 700;
      x11test::Run({"xdotool", "mousemove", Str(x), Str(y), "sleep", "0.1", "click", "1"});
      clicked = true;
    });
    const UINT id = UINT(TrackPopupMenu(m, TPM_RETURNCMD, 400, 200, 0, w, nullptr));
    user.join();
    EXPECT_TRUE(clicked);
    EXPECT_EQ(id, round == 0 ? 22u : 0u);
  }
  EXPECT_EQ(popupRect.left, 400);
  EXPECT_EQ(popupRect.top, 200);
  EXPECT_EQ(unframed, 2);
  DestroyMenu(m);
}

INSTANTIATE_TEST_SUITE_P(X11, Desktop, ::testing::Values("openbox", ""),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           return std::string(i.param).empty() ? std::string("Bare") : std::string("Openbox");
                         });

}  // namespace
