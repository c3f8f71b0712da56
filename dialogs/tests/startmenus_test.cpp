// The start menus: the tabs and start button of the new menu, the help lines and buttons of the
// classic menu, their layout and the description pane's bullets.
#include <fstream>

#include "deepscan/devicediscovery.h"
#include "dialogs/startmenus.h"
#include "dialogs/tests/mainwnd_fixture.h"

namespace mainwnd_test {
namespace {

class StartMenus : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    // A machine without disks: the device selection each start shows is quick and empty.
    std::ofstream(regRoot_ + "/empty.json") << R"({"disks":[],"drives":[]})";
    setenv("KESTREL_MACHINE", (regRoot_ + "/empty.json").c_str(), 1);
    SetDiscoveryDiskDelay(0);
  }
  void TearDown() override {
    unsetenv("KESTREL_MACHINE");
    MainWindowTest::TearDown();
  }
  void OpenWith(const CString& brand, const CString& extra) {
    UseSettings(brand, CString(DefaultVerCfg()) + extra);
    Open();
  }
  void Click(CWnd& panel, UINT id) {
    panel.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(::GetDlgItem(panel.m_hWnd, int(id))));
    PumpAll();
  }
};

TEST_F(StartMenus, StartButtonShowsTheDeviceSelectionInTheTabsMode) {
  OpenWith(u"Tesmur", u"");
  CVorMenuDlg& menu = dlg_->m_newMenu;
  EXPECT_EQ(menu.SelectedTab(), IDC_MENU_TAB_FIRST);
  const struct {
    UINT tab;
    uint32_t mode;
    const char16_t* report;
    uint32_t operation;  // 5: left as it was
  } cases[] = {
      {1120, 1, u"Recovery all file", 1}, {1121, 2, u"Recovery del file", 5}, {1122, 3, u"Recovery part file", 5},
      {1123, 4, u"Recovery usb file", 5}, {1124, 5, u"Recovery recycle file", 5}, {1125, 6, u"Recovery disk file", 7},
  };
  for (const auto& c : cases) {
    Rec().reports.clear();
    ScanTarget().operation = 5;
    Click(menu, c.tab);
    EXPECT_EQ(menu.SelectedTab(), c.tab);
    Click(menu, IDC_MENU_START);
    EXPECT_EQ(dlg_->m_devSel.RecoveryMode, c.mode);
    ASSERT_FALSE(Rec().reports.empty());
    EXPECT_EQ(Rec().reports[0].first, 28u);
    EXPECT_EQ(Rec().reports[0].second, CString(c.report));
    EXPECT_EQ(ScanTarget().operation, c.operation);
  }
}

TEST_F(StartMenus, ReselectingTheSameTabRepaintsNothing) {
  OpenWith(u"Tesmur", u"");
  CVorMenuDlg& menu = dlg_->m_newMenu;
  Click(menu, 1122);
  const int switches = menu.m_tabSwitches;
  PumpAll();
  Click(menu, 1122);
  EXPECT_EQ(menu.m_tabSwitches, switches);
  EXPECT_FALSE(GetUpdateRect(menu.m_hWnd, nullptr, FALSE));
  EXPECT_FALSE(GetUpdateRect(menu.m_tabs[2].m_hWnd, nullptr, FALSE));
  Click(menu, 1123);
  EXPECT_EQ(menu.m_tabSwitches, switches + 1);
  EXPECT_EQ(menu.m_tabs[2].m_bSelected, 0);
}

TEST_F(StartMenus, BulletsOnlyBesideLines) {
  OpenWith(u"Tesmur", u"");
  CVorMenuDlg& menu = dlg_->m_newMenu;
  Click(menu, 1121);  // three lines
  PumpAll();
  const COLORREF white = RGB(255, 255, 255);
  for (int k = 0; k < 6; ++k) {
    const COLORREF px = GetWindowPixel(menu.m_hWnd, 327, 161 + 35 * k);
    if (k < 3) {
      EXPECT_NE(px, white) << "line " << k + 1;
    } else {
      EXPECT_EQ(px, white) << "line " << k + 1;
    }
  }
  // The tab column's own face.
  EXPECT_EQ(GetWindowPixel(menu.m_hWnd, 5, 600), RGB(0xFB, 0xFD, 0xFF));
  EXPECT_TRUE(SaveWindowPng(dlg_->m_hWnd, std::string(KESTREL_DIALOGS_SHOT_DIR) + "/start_menu.png"));
}

TEST_F(StartMenus, TutorialCaptionAndAddress) {
  OpenWith(u"Tesmur", u"");
  CString caption;
  dlg_->m_newMenu.m_btnTutorial.GetWindowText(caption);
  EXPECT_EQ(caption, CString(u"软件教程"));
  Click(dlg_->m_newMenu, IDC_MENU_TUTORIAL);  // an empty address opens nothing
  for (const CString& o : Rec().opened) EXPECT_TRUE(o.IsEmpty());
  Close();
  OpenWith(u"Tesmur", u"Default-VideoHelp: http://127.0.0.1/video\r\n");
  dlg_->m_newMenu.m_btnTutorial.GetWindowText(caption);
  EXPECT_NE(caption, CString(u"软件教程"));
  Click(dlg_->m_newMenu, IDC_MENU_TUTORIAL);
  ASSERT_FALSE(Rec().opened.empty());
  EXPECT_EQ(Rec().opened.back(), CString(u"http://127.0.0.1/video"));
}

TEST_F(StartMenus, ClassicHelpLinesFollowTheMouse) {
  OpenWith(u"Tesmur", u"Default-NewMenu: 0\r\n");
  CMainMenuDlg& menu = dlg_->m_classicMenu;
  EXPECT_TRUE(menu.IsWindowVisible());
  EXPECT_GE(menu.m_lines[4].m_text.Find(u"破坏"), 0);
  menu.SendMessage(WM_SKIN_BUTTON_HOVER, IDC_CLASSIC_DEVICE, 1);
  EXPECT_EQ(menu.m_lines[0].m_text, CString(u"基于底层存储技术，恢复整个存储设备上的文件。"));
  menu.SendMessage(WM_SKIN_BUTTON_HOVER, IDC_CLASSIC_DEVICE, 2);
  EXPECT_GE(menu.m_lines[4].m_text.Find(u"误分区"), 0);
  menu.SendMessage(WM_SKIN_BUTTON_HOVER, IDC_CLASSIC_SUPPORT, 1);
  EXPECT_EQ(menu.m_lines[0].m_text, CString());
  EXPECT_EQ(menu.m_lines[1].m_text, CString(u"立即阅读《软件使用教程》。"));
  menu.SendMessage(WM_SKIN_BUTTON_HOVER, 4242, 1);  // nothing listed for it
  EXPECT_EQ(menu.m_lines[1].m_text, CString(u"立即阅读《软件使用教程》。"));
}

TEST_F(StartMenus, ClassicButtonsByBrand) {
  const struct {
    const char16_t* brand;
    UINT button;
    uint32_t mode;
  } cases[] = {{u"Tesmur", IDC_CLASSIC_DELETED, 2}, {u"Tesmur", IDC_CLASSIC_PARTITION, 3},
               {u"Tesmur", IDC_CLASSIC_DEVICE, 6},  {u"Pelmar", IDC_CLASSIC_DELETED, 1},
               {u"Corvinth", IDC_CLASSIC_PARTITION, 1}};
  for (const auto& c : cases) {
    OpenWith(c.brand, u"Default-NewMenu: 0\r\n");
    Click(dlg_->m_classicMenu, c.button);
    EXPECT_EQ(dlg_->m_devSel.RecoveryMode, c.mode) << CString(c.brand).ToUtf8() << " " << c.button;
    Close();
  }
}

TEST(StartMenuRules, ClassicLayoutAndTabModes) {
  const ClassicLayout l = ClassicMenuLayout(1124, 704);  // c = 252, d = 172
  EXPECT_EQ(l.buttonX[0], 210);
  EXPECT_EQ(l.buttonX[1], 397);
  EXPECT_EQ(l.buttonX[2], 584);
  EXPECT_EQ(l.buttonX[3], 771);
  EXPECT_EQ(l.buttonY, 172);
  EXPECT_EQ(l.lineX, 245);
  EXPECT_EQ(l.lineY, 392);
  const ClassicLayout odd = ClassicMenuLayout(621, 301);  // halves round toward zero
  EXPECT_EQ(odd.buttonX[0], -42);
  EXPECT_EQ(odd.buttonY, -30);
  EXPECT_EQ(ModeOfTab(1119), 0u);
  EXPECT_EQ(ModeOfTab(1120), 1u);
  EXPECT_EQ(ModeOfTab(1125), 6u);
  EXPECT_EQ(ModeOfTab(1126), 0u);
}

}  // namespace
}  // namespace mainwnd_test
