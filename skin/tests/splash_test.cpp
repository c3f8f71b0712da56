// The splash on the virtual clock: the countdown and its close, Esc, Space, clicks, and a
// program that is placed at once when there is no splash.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "platform/hooks.h"
#include "skin/skinimages.h"
#include "skin/splash.h"
#include "skin/tests/skin_test_util.h"

namespace {

struct Placed {
  CWnd* main = nullptr;
  int how = 0;
  int count = 0;
};
Placed& PlacedBy() {
  static Placed p;
  return p;
}
std::vector<CString>& Opened() {
  static std::vector<CString> v;
  return v;
}

class SplashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    UseVirtualMessageClock(true);
    ClearSkinImagesForTest();
    AddSkinImageForTest(u"Other/Splash.bmp", SolidBmp(680, 520, RGB(20, 40, 80)));
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-HelpSoft: http://127.0.0.1/help\r\n", u"");
    SetSplashPlaceHandler([](CWnd* main, int how) { PlacedBy() = Placed{main, how, PlacedBy().count + 1}; });
    SetShellOpenHandler([](const CString& target) {
      Opened().push_back(target);
      return true;
    });
    PlacedBy() = Placed{};
    Opened().clear();
    SplashEnabled = 1;
    SplashPaused = 0;
    ASSERT_TRUE(main.CreateEx(0, nullptr, u"", WS_POPUP, RECT{0, 0, 0, 0}, nullptr, 0));
  }
  void TearDown() override {
    if (SplashWindow) SplashWindow->DestroyWindow();
    main.DestroyWindow();
    SetShellOpenHandler(nullptr);
    SetSplashPlaceHandler(nullptr);
    UseVirtualMessageClock(false);
    ClearSkinImagesForTest();
    SplashEnabled = 0;
  }
  // Moves the clock by whole ticks, handling what falls due after each.
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      AdvanceVirtualMessageClock(100);
      PumpAll();
    }
  }
  void Press(UINT vk) {
    MSG m{SplashWindow ? SplashWindow->m_hWnd : nullptr, WM_KEYDOWN, vk, 0, 0, {0, 0}};
    EXPECT_TRUE(SplashPreTranslateMessage(&m));
  }
  CWnd main;
};

TEST_F(SplashTest, CountsDownThreeTwoOneZeroAndClosesOnTheThirtyFirstTick) {
  ASSERT_TRUE(CSplashWnd::CreateAndShow(&main));
  ASSERT_NE(SplashWindow, nullptr);
  HWND h = SplashWindow->m_hWnd;
  RECT r{};
  GetWindowRect(h, &r);
  EXPECT_EQ(r.right - r.left, 680);
  PumpAll();
  EXPECT_TRUE(GetWindowLongPtrW(h, GWL_EXSTYLE) == 0);
  // What the countdown box shows: the digit changes only when a new ten-tick starts.
  auto box = [&] {
    std::vector<COLORREF> px;
    for (int y = 458; y < 486; ++y) {
      for (int x = 206; x < 232; ++x) px.push_back(GetWindowPixel(h, x, y));
    }
    return px;
  };
  const auto three = box();
  EXPECT_NE(three, std::vector<COLORREF>(three.size(), RGB(20, 40, 80)));  // a digit is there
  Ticks(9);
  EXPECT_EQ(SplashCountdown, 21u);
  EXPECT_EQ(box(), three);
  Ticks(1);
  const auto two = box();
  EXPECT_NE(two, three);
  Ticks(9);
  EXPECT_EQ(box(), two);
  Ticks(1);
  const auto one = box();
  EXPECT_NE(one, two);
  Ticks(10);
  EXPECT_EQ(SplashCountdown, 0u);
  EXPECT_NE(box(), one);
  EXPECT_TRUE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(PlacedBy().count, 0);
  EXPECT_TRUE(IsWindow(h));
  Ticks(1);  // tick 31
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(SplashWindow, nullptr);
  EXPECT_EQ(PlacedBy().count, 1);
  EXPECT_EQ(PlacedBy().main, &main);
  EXPECT_EQ(PlacedBy().how, 1);
  MSG key{main.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
  EXPECT_FALSE(SplashPreTranslateMessage(&key));  // no splash, no filter
}

TEST_F(SplashTest, EscEndsSpacePausesAndResumes) {
  ASSERT_TRUE(CSplashWnd::CreateAndShow(&main));
  Ticks(3);
  Press(VK_SPACE);
  Ticks(15);
  EXPECT_EQ(SplashCountdown, 27u);
  Press('A');  // eaten, does nothing
  Press(VK_SPACE);
  Ticks(2);
  EXPECT_EQ(SplashCountdown, 25u);
  Press(VK_ESCAPE);
  Ticks(1);
  EXPECT_EQ(SplashWindow, nullptr);
  EXPECT_EQ(PlacedBy().count, 1);
}

TEST_F(SplashTest, ClicksOnTheBoxEndOnTheLinkOpenHelpElsewhereNothing) {
  ASSERT_TRUE(CSplashWnd::CreateAndShow(&main));
  Ticks(1);
  HWND h = SplashWindow->m_hWnd;
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 400));
  EXPECT_EQ(Opened(), std::vector<CString>{CString(u"http://127.0.0.1/help")});
  EXPECT_FALSE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
  Ticks(2);
  EXPECT_EQ(SplashCountdown, 27u);  // the countdown goes on
  SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(215, 470));
  Ticks(1);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(PlacedBy().count, 1);
}

TEST_F(SplashTest, WithoutASplashTheMainWindowIsPlacedAtOnce) {
  SplashEnabled = 0;
  EXPECT_FALSE(CSplashWnd::CreateAndShow(&main));
  EXPECT_EQ(SplashWindow, nullptr);
  EXPECT_EQ(PlacedBy().count, 1);
  MSG key{main.m_hWnd, WM_KEYDOWN, VK_SPACE, 0, 0, {0, 0}};
  EXPECT_FALSE(SplashPreTranslateMessage(&key));
  EXPECT_EQ(SplashPaused, 0);
  // Enabled, but the picture is missing or broken.
  SplashEnabled = 1;
  ClearSkinImagesForTest();
  EXPECT_FALSE(CSplashWnd::CreateAndShow(&main));
  AddSkinImageForTest(u"Other/Splash.bmp", std::vector<uint8_t>{'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
  EXPECT_FALSE(CSplashWnd::CreateAndShow(&main));
  EXPECT_EQ(SplashWindow, nullptr);
  EXPECT_EQ(PlacedBy().count, 3);
}

}  // namespace
