// The message box: its layout by text extent, and which result each way of closing it gives,
// shown from a worker thread while the user-interface thread keeps pumping.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/settings.h"
#include "dialogs/messagedlg.h"
#include "platform/hooks.h"
#include "skin/tests/skin_art.h"
#include "skin/tests/skin_test_util.h"

namespace {

TEST(MessageBoxLayout, WidthLinesAndButtonsFollowTheTextExtent) {
  const struct {
    int w, lineFeeds, width, lines;
  } cases[] = {
      {0, 0, 300, 2}, {270, 0, 300, 2}, {271, 0, 301, 2}, {570, 0, 600, 3},
      {571, 0, 600, 3}, {1140, 0, 600, 4}, {200, 2, 300, 4},
  };
  for (const auto& c : cases) {
    const MessageBoxLayout l = ComputeMessageBoxLayout(c.w, 19, c.lineFeeds, false);
    EXPECT_EQ(l.width, c.width) << c.w;
    EXPECT_EQ(l.lines, c.lines) << c.w;
    EXPECT_EQ(l.height, c.lines * 19 + 108) << c.w;
    EXPECT_EQ(l.text.bottom, 50 + c.lines * 19);
    EXPECT_EQ(l.text.right, c.width - 15);
  }
  // One button in the middle; two buttons 30 pixels apart around it.
  MessageBoxLayout one = ComputeMessageBoxLayout(100, 19, 0, false);
  EXPECT_EQ(one.second.left, 150 - 41);
  EXPECT_EQ(one.second.right, 150 + 41);
  EXPECT_EQ(one.second.top, one.text.bottom + 15);
  EXPECT_EQ(one.second.bottom - one.second.top, 28);
  MessageBoxLayout two = ComputeMessageBoxLayout(301, 19, 0, true);
  EXPECT_EQ(two.first.left, 165 - 97);
  EXPECT_EQ(two.first.right, 165 - 15);
  EXPECT_EQ(two.second.left, 165 + 15);
  EXPECT_EQ(two.second.right, 165 + 97);
}

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitWindowLayer();
    LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"Message: Message\r\nOK: OK\r\nYes: Yes\r\nNo: No\r\n");
    LoadSkinArt();
    InstallMessageBox();
    ASSERT_TRUE(main.CreateEx(0, nullptr, u"Main", WS_POPUP | WS_VISIBLE, RECT{100, 100, 700, 500}, nullptr, 0));
    app.m_pMainWnd = &main;
    PumpAll();
  }
  void TearDown() override {
    app.m_pMainWnd = nullptr;
    main.DestroyWindow();
    SetMessageBoxHandler(nullptr);
  }

  // Shows the box on a worker thread, waits for it while pumping, acts, and returns the
  // result; the main window is disabled while the box is up and enabled afterwards.
  bool Run(const CString& text, const CString& first, const CString& second, const std::function<void(HWND)>& act) {
    std::atomic<int> result{-1};
    std::thread worker([&] { result = ShowMessageBox(text, first, second) ? 1 : 0; });
    HWND box = nullptr;
    for (int i = 0; i < 5000 && !box; ++i) {
      PumpAll();
      HWND p = GetLastActivePopup(main.m_hWnd);
      if (p != main.m_hWnd && IsWindowVisible(p)) box = p;
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_NE(box, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main.m_hWnd));
    if (box) {
      // Give the box's thread time to paint, then act.
      for (int i = 0; i < 50; ++i) PumpAll(), std::this_thread::sleep_for(std::chrono::milliseconds(2));
      shown = box;
      act(box);
    }
    for (int i = 0; i < 5000 && result < 0; ++i) PumpAll(), std::this_thread::sleep_for(std::chrono::milliseconds(1));
    worker.join();
    PumpAll();
    EXPECT_TRUE(IsWindowEnabled(main.m_hWnd));
    return result == 1;
  }
  static void ClickItem(HWND box, int id) {
    HWND b = GetDlgItem(box, id);
    ASSERT_NE(b, nullptr);
    RECT r{};
    GetClientRect(b, &r);
    POINT p = ScreenAt(b, r.right / 2, r.bottom / 2);
    InjectMouseMove(p.x, p.y);
    InjectMouseButton(0, true, p.x, p.y);
    InjectMouseButton(0, false, p.x, p.y);
  }

  CWinApp app;
  CWnd main;
  HWND shown = nullptr;
};

TEST_F(MessageBoxTest, OnlyTheLeftButtonOfATwoButtonBoxAnswersYes) {
  const struct {
    bool two;
    const char* how;
    bool want;
  } cases[] = {
      {false, "ok", false},   {false, "close", false}, {false, "esc", false}, {false, "enter", false},
      {true, "left", true},   {true, "right", false},  {true, "esc", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.how) + (c.two ? " two" : " one"));
    const bool got = Run(u"Save the scan results?", c.two ? u"Save" : u"", c.two ? u"Leave" : u"", [&](HWND box) {
      const std::string how = c.how;
      if (how == "ok" || how == "right") ClickItem(box, IDCANCEL);
      else if (how == "left") ClickItem(box, IDOK);
      else if (how == "close") ClickItem(box, 10024);
      else if (how == "esc") InjectKeyPress(VK_ESCAPE);
      else if (how == "enter") InjectKeyPress(VK_RETURN);
    });
    EXPECT_EQ(got, c.want);
  }
}

TEST_F(MessageBoxTest, TheBoxGrowsWithItsTextAndShowsTheCallersCaptions) {
  Run(u"The scan found 1,024 files on the disk.\\nSave the results before you leave, so a later session can "
      u"pick them up again without scanning the whole disk once more?",
      u"Save", u"Leave", [&](HWND box) {
        RECT r{};
        GetWindowRect(box, &r);
        EXPECT_EQ(r.right - r.left, 600);
        HWND left = GetDlgItem(box, IDOK), right = GetDlgItem(box, IDCANCEL);
        EXPECT_TRUE(IsWindowVisible(left));
        EXPECT_EQ(GetWindowTextString(left), CString(u"Save"));
        EXPECT_EQ(GetWindowTextString(right), CString(u"Leave"));
        // The text never runs under the buttons: no dark ink below the text rectangle.
        RECT br{};
        GetWindowRect(left, &br);
        const int buttonsTop = br.top - r.top;
        int inkBelow = 0;
        for (int y = buttonsTop - 12; y < buttonsTop; ++y) {
          for (int x = 15; x < 585; ++x) inkBelow += GetWindowPixel(box, x, y) == RGB(48, 48, 48);
        }
        EXPECT_EQ(inkBelow, 0);
        SaveWindowPng(box, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/message_box.png");
        ClickItem(box, IDCANCEL);
      });
  Run(u"Nothing was found.", u"", u"", [&](HWND box) {
    RECT r{};
    GetWindowRect(box, &r);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(box, IDOK)));
    EXPECT_EQ(GetWindowTextString(GetDlgItem(box, IDCANCEL)), CString(u"OK"));
    SaveWindowPng(box, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/message_box_notice.png");
    ClickItem(box, IDCANCEL);
  });
}

}  // namespace
