// Popup menus: the modal loop by keyboard (arrows past separators, Enter, mnemonics, Esc) and
// by mouse (hover, click, a click elsewhere), grey items, check marks and item bitmaps, the
// system menu from Alt+Space and from the caption, and the scripted-choice hook.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "platform/wnd/tests/wnd_test_util.h"

namespace {

enum { kOpen = 11, kRecover = 12, kPreview = 13, kRename = 14 };

class Menus : public ::testing::Test {
 protected:
  void SetUp() override {
    TestWindows::Register();
    TestWindows::Get().log.clear();
    SetScreenSize(1280, 800);
    // Each time the menu loop falls idle, the next step of the script runs (the popup is its
    // lParam); the steps give input as a user would.
    owner_ = MakeWindow(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 100, 100, 400, 300, nullptr, 0,
                        [this](HWND, UINT msg, WPARAM w, LPARAM l, LRESULT*) {
                          if (msg == WM_ENTERIDLE && w == MSGF_MENU && !steps_.empty()) {
                            popup_ = reinterpret_cast<HWND>(l);
                            auto step = steps_.front();
                            steps_.pop_front();
                            step(popup_);
                          }
                          if (msg == WM_MENUSELECT && HIWORD(w) != 0xFFFF) selected_.push_back(LOWORD(w));
                          return false;
                        });
    SetWindowTextW(owner_, u"Owner");
    SetFocus(owner_);  // the keys go to the owner's thread, where the menu runs
    Pump();
    menu_ = CreatePopupMenu();
    AppendMenuW(menu_, MF_STRING, kOpen, u"&Open");
    AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu_, MF_STRING | MF_GRAYED, kRecover, u"&Recover");
    AppendMenuW(menu_, MF_STRING | MF_CHECKED, kPreview, u"&Preview");
    AppendMenuW(menu_, MF_STRING, kRename, u"Re&name\tF2");
  }
  void TearDown() override {
    SetMenuChoiceHook(nullptr, nullptr);
    DestroyMenu(menu_);
    if (IsWindow(owner_)) DestroyWindow(owner_);
    Pump();
  }
  UINT Track(UINT flags = TPM_RETURNCMD) {
    return UINT(TrackPopupMenu(menu_, flags, 150, 150, 0, owner_, nullptr));
  }
  static void Keys(std::initializer_list<UINT> vks) {
    for (UINT vk : vks) InjectKeyPress(vk);
  }
  // The middle of item `i` (counting separators) on the screen; items lie 3 pixels in, the
  // separator is 8 pixels high and the others as high as the first.
  static POINT ItemPoint(HWND popup, int i) {
    RECT r{};
    GetWindowRect(popup, &r);
    const int itemH = 20, sepH = 8;
    int y = r.top + 3;
    for (int k = 0; k < i; ++k) y += k == 1 ? sepH : itemH;
    return POINT{r.left + 40, y + (i == 1 ? sepH : itemH) / 2};
  }
  HWND owner_ = nullptr;
  HWND popup_ = nullptr;
  HMENU menu_ = nullptr;
  std::deque<std::function<void(HWND)>> steps_;
  std::vector<int> selected_;
  TestWindows& T() { return TestWindows::Get(); }
};

TEST_F(Menus, ArrowsSkipSeparatorsAndEnterTakesTheItem) {
  steps_.push_back([](HWND) { Keys({VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}); });
  EXPECT_EQ(Track(), UINT(kPreview));
  // Open, then past the separator the grey item (highlighted, as menus do), then Preview.
  EXPECT_EQ(selected_, (std::vector<int>{kOpen, kRecover, kPreview}));
  EXPECT_EQ(T().Count(owner_, WM_ENTERMENULOOP), 1);
  EXPECT_EQ(T().Count(owner_, WM_INITMENUPOPUP), 1);
  EXPECT_EQ(T().Count(owner_, WM_EXITMENULOOP), 1);
  EXPECT_FALSE(IsWindow(popup_));
  EXPECT_EQ(GetCapture(), nullptr);
  // Up from the top goes round to the bottom.
  steps_.push_back([](HWND) { Keys({VK_UP, VK_RETURN}); });
  EXPECT_EQ(Track(), UINT(kRename));
}

TEST_F(Menus, GreyItemsAreNotChosenAndEscCancels) {
  // Enter on the grey item, its mnemonic, then Esc: nothing is chosen and nothing is sent.
  steps_.push_back([](HWND) { Keys({VK_DOWN, VK_DOWN, VK_RETURN}); });
  steps_.push_back([](HWND) { InjectKeyPress('R', u'r'); });
  steps_.push_back([](HWND) { Keys({VK_ESCAPE}); });
  EXPECT_EQ(Track(0), TRUE);
  Pump();
  EXPECT_EQ(T().Count(owner_, WM_COMMAND), 0);
  EXPECT_TRUE(steps_.empty());
  // A mnemonic of an enabled item takes it at once ("n" of "Re&name").
  steps_.push_back([](HWND) { InjectKeyPress('N', u'n'); });
  EXPECT_EQ(Track(), UINT(kRename));
  // Alt ends the menu as Esc does.
  steps_.push_back([](HWND) { Keys({VK_DOWN, VK_MENU}); });
  EXPECT_EQ(Track(), 0u);
}

TEST_F(Menus, TheMouseHighlightsChoosesAndAClickElsewhereCancels) {
  // Hover over Rename and let go there: the command arrives as WM_COMMAND after the loop.
  steps_.push_back([](HWND p) {
    POINT o = ItemPoint(p, 0);
    InjectMouseMove(o.x, o.y);
  });
  steps_.push_back([](HWND p) {
    POINT r = ItemPoint(p, 4);
    InjectMouseMove(r.x, r.y);
    InjectMouseButton(0, true, r.x, r.y);
    InjectMouseButton(0, false, r.x, r.y);
  });
  EXPECT_EQ(Track(0), TRUE);
  EXPECT_EQ(selected_, (std::vector<int>{kOpen, kRename}));
  Pump();
  auto cmds = T().Of(WM_COMMAND);
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(LOWORD(cmds[0].w), kRename);
  // Letting go on the grey item or the separator chooses nothing; a press outside ends it,
  // and the window under that press does not get it.
  T().log.clear();
  steps_.push_back([](HWND p) {
    for (int i : {1, 2}) {
      POINT q = ItemPoint(p, i);
      InjectMouseMove(q.x, q.y);
      InjectMouseButton(0, true, q.x, q.y);
      InjectMouseButton(0, false, q.x, q.y);
    }
  });
  steps_.push_back([](HWND) {
    InjectMouseMove(480, 380);
    InjectMouseButton(0, true, 480, 380);
    InjectMouseButton(0, false, 480, 380);
  });
  EXPECT_EQ(Track(), 0u);
  Pump();
  EXPECT_EQ(T().Count(owner_, WM_LBUTTONDOWN), 0);
  EXPECT_EQ(T().Count(owner_, WM_COMMAND), 0);
}

TEST_F(Menus, CheckMarksAndItemBitmapsAreDrawn) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP red = CreateCompatibleBitmap(dc, 16, 16);
  HGDIOBJ old = SelectObject(dc, red);
  RECT all{0, 0, 16, 16};
  FillSolidRectDc(dc, &all, RGB(220, 0, 0));
  SelectObject(dc, old);
  DeleteDC(dc);
  ASSERT_TRUE(SetMenuItemBitmaps(menu_, kOpen, MF_BYCOMMAND, red, red));
  COLORREF bitmapPixel = 0, checkInk = 0, checkBesideInk = 0, hotPixel = 0;
  steps_.push_back([](HWND) { Keys({VK_END}); });  // Rename is highlighted
  steps_.push_back([&](HWND p) {
    UpdateWindow(p);
    SaveWindowPng(p, std::string(KESTREL_WND_SHOT_DIR) + "/menu_popup.png");
    RECT r{};
    GetWindowRect(p, &r);
    POINT open = ItemPoint(p, 0), preview = ItemPoint(p, 3), rename = ItemPoint(p, 4);
    bitmapPixel = GetWindowPixel(p, 3 + 12, open.y - r.top);
    // The check mark's long stroke passes through its middle column.
    checkInk = GetWindowPixel(p, 3 + 12, preview.y - r.top);
    checkBesideInk = GetWindowPixel(p, 3 + 2, preview.y - r.top - 6);
    hotPixel = GetWindowPixel(p, r.right - r.left - 6, rename.y - r.top);
    Keys({VK_ESCAPE});
  });
  Track();
  EXPECT_EQ(bitmapPixel, RGB(220, 0, 0));
  EXPECT_EQ(checkInk, GetSysColor(COLOR_MENUTEXT));
  EXPECT_EQ(checkBesideInk, GetSysColor(COLOR_MENU));
  EXPECT_EQ(hotPixel, GetSysColor(COLOR_HIGHLIGHT));
  EXPECT_EQ(CheckMenuItem(menu_, kPreview, MF_BYCOMMAND | MF_UNCHECKED), DWORD(MF_CHECKED));
  EXPECT_EQ(GetMenuState(menu_, kPreview, MF_BYCOMMAND) & MF_CHECKED, 0u);
  DeleteObject(red);
}

TEST_F(Menus, TheSystemMenuOpensFromAltSpaceAndTheCaption) {
  HMENU sys = GetSystemMenu(owner_, FALSE);
  AppendMenuW(sys, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(sys, MF_STRING, 16, u"&About Kestrel...");
  // Alt+Space, then the last item: the custom one, as WM_SYSCOMMAND.
  steps_.push_back([](HWND) { Keys({VK_END, VK_RETURN}); });
  InjectKey(VK_MENU, true);
  InjectKeyPress(VK_SPACE, u' ');
  InjectKey(VK_MENU, false);
  Pump();
  ASSERT_EQ(T().Of(WM_INITMENUPOPUP).size(), 1u);
  EXPECT_EQ(HIWORD(T().Of(WM_INITMENUPOPUP)[0].l), 1);  // the system menu
  auto sc = T().Of(WM_SYSCOMMAND);
  ASSERT_FALSE(sc.empty());
  EXPECT_EQ(sc.back().w, 16u);
  // Items say what the window can do: a window that is not maximised has nothing to restore.
  EXPECT_NE(GetMenuState(sys, UINT(SC_RESTORE), MF_BYCOMMAND) & MF_GRAYED, 0u);
  EXPECT_EQ(GetMenuState(sys, UINT(SC_CLOSE), MF_BYCOMMAND) & MF_GRAYED, 0u);
  // A right click on the caption opens it too; Close asks the window to close.
  T().log.clear();
  steps_.push_back([](HWND) { Keys({VK_END, VK_UP, VK_RETURN}); });
  POINT cap{150, 110};
  InjectMouseMove(cap.x, cap.y);
  InjectMouseButton(1, true, cap.x, cap.y);
  InjectMouseButton(1, false, cap.x, cap.y);
  Pump();
  EXPECT_EQ(T().Count(owner_, WM_CLOSE), 1);
}

TEST_F(Menus, TheHookChoosesWithoutAPopup) {
  static std::vector<CString> seen;
  static UINT choice = kPreview;
  seen.clear();
  SetMenuChoiceHook(
      [](HMENU m, HWND, void* ctx) {
        char16_t buf[32];
        for (int i = 0; i < GetMenuItemCount(m); ++i) {
          if (GetMenuStringW(m, UINT(i), buf, 32, MF_BYPOSITION) > 0) seen.push_back(CString(buf));
        }
        return *static_cast<UINT*>(ctx);
      },
      &choice);
  EXPECT_EQ(Track(), UINT(kPreview));
  EXPECT_EQ(seen.size(), 4u);
  EXPECT_EQ(T().Count(owner_, WM_INITMENUPOPUP), 1);
  EXPECT_EQ(T().Count(owner_, WM_ENTERMENULOOP), 0);  // nothing was shown
  // Without TPM_RETURNCMD the choice comes as WM_COMMAND; a grey item is no choice.
  EXPECT_EQ(Track(0), TRUE);
  Pump();
  ASSERT_EQ(T().Of(WM_COMMAND).size(), 1u);
  static UINT grey = kRecover;
  SetMenuChoiceHook([](HMENU, HWND, void*) { return grey; }, nullptr);
  EXPECT_EQ(Track(), 0u);
}

}  // namespace
