// The main window: placement, edition switches, the bottom bar's layout, the close question,
// the start-up ticks on the virtual clock, USB storage events and the scan threads' messages.
#include <thread>

#include "app/onlinecfg.h"
#include "app/runvalues.h"
#include "core/volumecontext.h"
#include "dialogs/tests/mainwnd_fixture.h"
#include "scanbase/scanrun.h"

namespace mainwnd_test {
namespace {

TEST_F(MainWindowTest, PlacementFollowsTheScreenAndDropsTopmost) {
  const struct {
    int W, H;
    RECT expected;
  } cases[] = {
      {1920, 1080, {395, 130, 395 + 1130, 130 + 820}},
      {1024, 768, {0, 0, 1024, 728}},
      {1280, 860, {75, 0, 75 + 1130, 820}},  // exactly H - 40 high: at the top
      {1130, 900, {0, 40, 1130, 860}},
  };
  for (const auto& c : cases) {
    SetScreenSize(c.W, c.H);
    Open();
    const RECT r = WindowRect();
    EXPECT_EQ(r.left, c.expected.left) << c.W << "x" << c.H;
    EXPECT_EQ(r.top, c.expected.top) << c.W << "x" << c.H;
    EXPECT_EQ(r.right, c.expected.right) << c.W << "x" << c.H;
    EXPECT_EQ(r.bottom, c.expected.bottom) << c.W << "x" << c.H;
    EXPECT_TRUE(IsWindowVisible(dlg_->m_hWnd));
    // Never left above every other program.
    EXPECT_EQ(GetWindowLongPtrW(dlg_->m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    Close();
  }
}

TEST_F(MainWindowTest, WithTheSplashTheWindowWaitsUnseenUntilTheSplashPlacesIt) {
  UseSettings(u"Tesmur", CString(DefaultVerCfg()) + u"Default-Splash: 1\r\n");
  SplashEnabled = 1;
  Open();
  ASSERT_NE(SplashWindow, nullptr);
  RECT r = WindowRect();
  EXPECT_EQ(r.right - r.left, 0);
  EXPECT_EQ(r.bottom - r.top, 0);
  EXPECT_EQ(r.left, 960);
  EXPECT_EQ(r.top, 540);
  Advance(3200);
  EXPECT_EQ(SplashWindow, nullptr);
  r = WindowRect();
  EXPECT_EQ(r.right - r.left, 1130);
  EXPECT_EQ(r.bottom - r.top, 820);
  SplashEnabled = 0;
}

TEST_F(MainWindowTest, SplashSwitchedOnButNotShownStillPlacesTheWindow) {
  // "Splash" is "1" but the command line (or a missing picture) gave no splash.
  UseSettings(u"Tesmur", CString(DefaultVerCfg()) + u"Default-Splash: 1\r\n");
  SplashEnabled = 0;
  Open();
  const RECT r = WindowRect();
  EXPECT_EQ(r.right - r.left, 1130);
  EXPECT_EQ(r.bottom - r.top, 820);
}

TEST_F(MainWindowTest, ShowDevOpensTheDeviceListByLanguage) {
  const struct {
    const char16_t* language;
    uint32_t mode;
    bool reported;
  } cases[] = {{u"EN", 7, false}, {u"en", 1, true}, {u"English", 1, true}};
  for (const auto& c : cases) {
    UseSettings(u"Tesmur", CString(DefaultVerCfg()) + u"Default-ShowDev: 1\r\n", c.language);
    Rec().reports.clear();
    ScanTarget().operation = 0;
    Open();
    EXPECT_EQ(dlg_->m_devSel.RecoveryMode, c.mode) << CString(c.language).ToUtf8();
    EXPECT_TRUE(dlg_->m_devSel.IsWindowVisible());
    EXPECT_EQ(dlg_->m_devSel.m_refreshCount, 1);
    const bool reported = !Rec().reports.empty() && Rec().reports[0].first == 28 &&
                          Rec().reports[0].second == CString(u"Recovery all file");
    EXPECT_EQ(reported, c.reported);
    EXPECT_EQ(ScanTarget().operation, c.mode == 1 ? 1u : 0u);
    Close();
  }
}

TEST_F(MainWindowTest, RecoveryModesReportAndRebuildTheListEveryTime) {
  Open();
  EXPECT_FALSE(dlg_->m_devSel.IsWindowVisible());
  EXPECT_TRUE(dlg_->m_newMenu.IsWindowVisible());
  const struct {
    uint32_t mode;
    const char16_t* text;
    uint32_t operation;
  } cases[] = {{2, u"Recovery del file", 5}, {6, u"Recovery disk file", 7}, {1, u"Recovery all file", 1},
               {4, u"Recovery usb file", 1}};
  int refreshes = 0;
  for (const auto& c : cases) {
    Rec().reports.clear();
    ScanTarget().operation = 5;
    if (c.mode == 4) ScanTarget().operation = 1;
    dlg_->m_devSel.m_refreshNeeded = 1;
    dlg_->ShowDeviceSelection(c.mode);
    ASSERT_EQ(Rec().reports.size(), 1u);
    EXPECT_EQ(Rec().reports[0].second, CString(c.text));
    EXPECT_EQ(ScanTarget().operation, c.operation);
    EXPECT_EQ(dlg_->m_devSel.m_refreshCount, ++refreshes);
    EXPECT_EQ(dlg_->m_devSel.m_refreshNeeded, 0u);
    EXPECT_EQ(dlg_->m_devSel.m_shown, 1u);
  }
  // The same mode twice rebuilds twice.
  dlg_->ShowDeviceSelection(2);
  dlg_->ShowDeviceSelection(2);
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, refreshes + 2);
}

TEST_F(MainWindowTest, BottomBarAndPanelsFollowTheSize) {
  for (bool service : {false, true}) {
    UseSettings(u"Tesmur", CString(DefaultVerCfg()) + (service ? u"Default-ShowServeQQ: 1\r\n" : u""));
    Open();
    RECT client{};
    dlg_->GetClientRect(&client);
    const int cx = client.right, cy = client.bottom;
    EXPECT_EQ(dlg_->m_btnService.IsWindowVisible() != 0, service);
    const RECT web = ChildRect(dlg_->m_btnWebsite);
    EXPECT_EQ(web.left, 5);
    EXPECT_EQ(web.top, cy - 29);
    EXPECT_EQ(web.right - web.left, 86);
    const RECT link = ChildRect(dlg_->m_link);
    EXPECT_EQ(link.left, service ? 283 : 197);
    EXPECT_EQ(link.right, cx - 120);
    const RECT version = ChildRect(dlg_->m_version);
    EXPECT_EQ(version.left, cx - 72);
    EXPECT_EQ(version.top, cy - 25);
    const RECT panel = ChildRect(dlg_->m_newMenu);
    EXPECT_EQ(panel.left, 3);
    EXPECT_EQ(panel.top, 83);
    EXPECT_EQ(panel.right - panel.left, cx - 6);
    EXPECT_EQ(panel.bottom - panel.top, cy - 116);
    const RECT menu = ChildRect(dlg_->m_btnTopMenu);
    EXPECT_EQ(menu.left, cx - 163);
    EXPECT_EQ(menu.right - menu.left, 56);
    EXPECT_EQ(dlg_->m_version.m_text, CString(u"Ver: 9.0.5"));
    // The panels lie at one place; the later one covers the earlier.
    EXPECT_EQ(ChildRect(dlg_->m_resultView).left, 3);
    Close();
  }
}

TEST_F(MainWindowTest, ClosingAsksUnlessAnUpdateStartedAndEscAsksToo) {
  Open();
  SetAppExiting(false);
  Rec().answer = 0;
  dlg_->SendMessage(WM_CLOSE);
  EXPECT_EQ(Rec().boxes.size(), 1u);
  EXPECT_EQ(Rec().boxes[0], CString(u"Quit?"));
  EXPECT_FALSE(IsDialogEnded(dlg_->m_hWnd));
  EXPECT_FALSE(IsAppExiting());
  // Esc in the window is the same question, never a silent end.
  dlg_->SendMessage(WM_COMMAND, IDCANCEL);
  EXPECT_EQ(Rec().boxes.size(), 2u);
  EXPECT_FALSE(IsDialogEnded(dlg_->m_hWnd));
  Rec().answer = 1;
  dlg_->SendMessage(WM_CLOSE);
  EXPECT_TRUE(IsDialogEnded(dlg_->m_hWnd));
  EXPECT_TRUE(IsAppExiting());
  Close();

  SetAppExiting(false);
  SetExitWithoutAsking(true);
  Rec().boxes.clear();
  Open();
  dlg_->SendMessage(WM_CLOSE);
  EXPECT_TRUE(Rec().boxes.empty());
  EXPECT_TRUE(IsDialogEnded(dlg_->m_hWnd));
  SetExitWithoutAsking(false);
  SetAppExiting(false);
}

TEST_F(MainWindowTest, StartUpTicksRunOnceEach) {
  UseSettings(u"Tesmur", CString(DefaultVerCfg()) + u"Default-Advert: Watch the video*http://127.0.0.1/v\r\n");
  ClearOnlineCfgForTest();
  SetUpdateNotice(2, u"A new version is ready", u"http://127.0.0.1/new");
  Open();
  ::SetWindowPos(dlg_->m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Advance(500, 500);
  EXPECT_EQ(StartupTicks, 1);
  EXPECT_EQ(GetWindowLongPtrW(dlg_->m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_TRUE(Rec().boxes.empty());
  Advance(4000, 500);
  EXPECT_EQ(StartupTicks, 9);
  EXPECT_TRUE(Rec().boxes.empty());
  Advance(500, 500);
  ASSERT_EQ(Rec().boxes.size(), 1u);
  EXPECT_EQ(Rec().boxes[0], CString(u"A new version is ready"));
  ASSERT_EQ(Rec().opened.size(), 1u);
  EXPECT_EQ(Rec().opened[0], CString(u"http://127.0.0.1/new"));
  EXPECT_FALSE(dlg_->m_link.IsWindowVisible());
  Advance(25000, 500);
  EXPECT_EQ(StartupTicks, 60);
  EXPECT_TRUE(dlg_->m_link.IsWindowVisible());
  CString caption;
  dlg_->m_link.GetWindowText(caption);
  EXPECT_EQ(caption, CString(u"Watch the video"));
  Advance(30000, 500);
  EXPECT_EQ(StartupTicks, 120);
  Advance(5000, 500);
  EXPECT_EQ(StartupTicks, 120);  // the timer is gone
  EXPECT_EQ(Rec().boxes.size(), 1u);
  ClearOnlineCfgForTest();
}

TEST_F(MainWindowTest, TheSystemMenuEndsWithTheAboutStringUnlessItIsEmpty) {
  const struct {
    const char16_t* text;  // null: the program's own string
    bool added;
  } cases[] = {{nullptr, true}, {u"", false}};
  for (const auto& c : cases) {
    if (c.text) RegisterStringResource(101, c.text);
    Open();
    HMENU sys = ::GetSystemMenu(dlg_->m_hWnd, FALSE);
    ASSERT_NE(sys, nullptr);
    const int n = GetMenuItemCount(sys);
    char16_t text[64] = {};
    GetMenuStringW(sys, UINT(n - 1), text, 64, MF_BYPOSITION);
    EXPECT_EQ(GetMenuItemID(sys, n - 1) == 16, c.added);
    EXPECT_EQ(std::u16string(text) == u"&About Kestrel...", c.added);
    Close();
  }
  RegisterEmbeddedResources();
}

TEST_F(MainWindowTest, AnEmptyNoticeShowsAndOpensNothing) {
  ClearOnlineCfgForTest();
  SetUpdateNotice(2, u"", u"http://127.0.0.1/new");
  Open();
  Advance(5000, 500);
  EXPECT_EQ(StartupTicks, 10);
  EXPECT_TRUE(Rec().boxes.empty());
  EXPECT_TRUE(Rec().opened.empty());
  ClearOnlineCfgForTest();
}

TEST_F(MainWindowTest, AdvertValuesBecomeTheLinkCaption) {
  const struct {
    const char16_t* advert;
    const char16_t* caption;  // null: the link stays hidden
  } cases[] = {
      {u"New: video help*http://127.0.0.1/v", u"New: video help"},
      {u"*http://127.0.0.1/v", u"*http://127.0.0.1/v"},
      {u"Only text", u"Only text"},
      {u"", nullptr},
  };
  for (const auto& c : cases) {
    UseSettings(u"Tesmur", CString(DefaultVerCfg()) + u"Default-Advert: " + c.advert + u"\r\n");
    Open();
    dlg_->ShowAdvert();
    EXPECT_EQ(dlg_->m_link.IsWindowVisible() != 0, c.caption != nullptr) << CString(c.advert).ToUtf8();
    if (c.caption) {
      CString caption;
      dlg_->m_link.GetWindowText(caption);
      EXPECT_EQ(caption, CString(c.caption));
    }
    Close();
  }
}

TEST(UsbStoragePaths, OnlyUsbStorageInterfacesCount) {
  const struct {
    const char16_t* path;
    bool usb;
  } cases[] = {
      {u"\\\\?\\USBSTOR#Disk&Ven_Kingston&Prod_DT&Rev_1.00#0012&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", true},
      {u"\\\\?\\usbstor#disk&ven_x#1&0#{53f56307}", true},
      {u"\\\\?\\USB#VID_0951&PID_1666#0012#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", false},
      {u"\\\\?\\HID#VID_046D#7&1#{4d1e55b2}", false},
      {u"\\\\?\\USBSTOR", false},         // no '#'
      {u"\\\\?\\USBSTOR#{guid}", false},  // nothing left after the cut but "USBSTOR": no component
      {u"USB", false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUsbStorageInterfacePath(c.path), c.usb) << CString(c.path).ToUtf8();
}

TEST_F(MainWindowTest, ABurstOfArrivalsGivesOneRefreshASecondAfterTheLast) {
  Open();
  dlg_->ShowDeviceSelection(2);
  const int before = dlg_->m_devSel.m_refreshCount;
  const CString usb = UsbStorDevicePath(u"Kestrel", u"Stick", u"1.00", u"0012");
  for (int i = 0; i < 10; ++i) {
    BroadcastDeviceChange(true, usb);
    Advance(100);
  }
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, before);
  Advance(800);  // 900 ms after the last arrival
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, before);
  Advance(100);
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, before + 1);
  Advance(3000);
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, before + 1);
  // Other devices start nothing.
  BroadcastDeviceChange(true, u"\\\\?\\HID#VID_046D#7&1#{4d1e55b2}");
  Advance(2000);
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, before + 1);
}

TEST_F(MainWindowTest, ARemovalWhileTheStartMenuShowsOnlyMarksTheList) {
  Open();
  dlg_->m_devSel.m_refreshNeeded = 0;
  BroadcastDeviceChange(false, UsbStorDevicePath(u"Kestrel", u"Stick", u"1.00", u"0012"));
  Advance(1100);
  EXPECT_EQ(dlg_->m_devSel.m_refreshNeeded, 1u);
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, 0);
  // Shown later, the list is rebuilt anyway.
  dlg_->ShowDeviceSelection(1);
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, 1);
  BroadcastDeviceChange(false, UsbStorDevicePath(u"Kestrel", u"Stick", u"1.00", u"0012"));
  Advance(1100);
  EXPECT_EQ(dlg_->m_devSel.m_refreshCount, 2);
}

TEST_F(MainWindowTest, ScanMessagesSwitchTheResultViewOnce) {
  Open();
  dlg_->SendMessage(WM_RESULTS_READY);
  dlg_->SendMessage(WM_RESULTS_READY);
  EXPECT_EQ(dlg_->m_resultView.m_layoutState, 2);
  EXPECT_EQ(dlg_->m_resultView.m_layoutChanges, 1);
  dlg_->SendMessage(WM_SCAN_FINISHING);
  EXPECT_EQ(dlg_->m_resultView.m_panesEnabled, 0);
  dlg_->SendMessage(WM_SCAN_FINISHED);
  EXPECT_EQ(dlg_->m_resultView.m_panesEnabled, 1);
}

TEST_F(MainWindowTest, ALostDeviceHoldsTheReaderUntilTheUserAnswers) {
  Open();
  ScanTarget().name = u"Stick";
  for (int answer : {1, 0}) {
    Rec().boxes.clear();
    Rec().answer = answer;
    dlg_->m_resultView.m_scanProgress.m_waitingForDevice = 0;
    ScanRunState = kScanRunning;
    std::atomic<bool> returned{false};
    std::thread reader([&] {
      SendMessageW(dlg_->m_hWnd, WM_DEVICE_LOST, 0, 0);
      returned = true;
    });
    for (int i = 0; i < 2000 && !returned; ++i) {
      PumpSentMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    reader.join();
    ASSERT_EQ(Rec().boxes.size(), 1u);
    EXPECT_EQ(Rec().boxes[0], CString(u"Stick is gone."));
    if (answer) {
      EXPECT_EQ(ScanRunState.load(), uint32_t(kScanRunning));
      EXPECT_EQ(dlg_->m_resultView.m_scanProgress.m_waitingForDevice, 0u);
    } else {
      EXPECT_EQ(ScanRunState.load(), uint32_t(kScanPaused));
      EXPECT_EQ(dlg_->m_resultView.m_scanProgress.m_waitingForDevice, 1u);
    }
  }
  ScanRunState = kScanStopped;
}

TEST_F(MainWindowTest, ScreenshotOfTheMainWindow) {
  Open();
  UpdateAllWindows();
  const std::string path = std::string(KESTREL_DIALOGS_SHOT_DIR) + "/main_window.png";
  ASSERT_TRUE(SaveWindowPng(dlg_->m_hWnd, path));
  // The banner's blue at the top, the light face below it.
  const COLORREF top = GetWindowPixel(dlg_->m_hWnd, 600, 20);
  EXPECT_GT(GetBValue(top), GetRValue(top) + 40);
  const COLORREF face = GetWindowPixel(dlg_->m_hWnd, 600, 400);
  EXPECT_GT(GetRValue(face), 220);
}

}  // namespace
}  // namespace mainwnd_test
