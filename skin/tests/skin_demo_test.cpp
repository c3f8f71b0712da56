// A demonstration dialog with every skinned control on the program's own skin pictures, shown
// headless, hovered and pressed with real input, and written as skin_demo.png next to the test
// program; the splash is written as splash.png.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/afx/afxdlg.h"
#include "platform/afx/afxmsg.h"
#include "skin/skindialog.h"
#include "skin/skinfonts.h"
#include "skin/skinstatic.h"
#include "skin/splash.h"
#include "skin/tests/skin_art.h"
#include "skin/tests/skin_test_util.h"

namespace {

enum {
  kDemo = 7201, kPanel = 7202, kIntro = 100, kName = 101, kGroup = 102, kCheck1 = 103, kCheck2 = 104,
  kRadio1 = 105, kRadio2 = 106, kRadio3 = 107, kLink = 108, kScan = 109, kCancelBtn = 110, kPanelText = 120
};

class DemoPanel : public CSkinChildDialog {
 public:
  DemoPanel() : CSkinChildDialog(kPanel) {}
  void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kPanelText, text); }
  void OnDrawBackground(CDC* dc) override {
    RECT rc{};
    GetClientRect(&rc);
    dc->FillSolidRect(0, 0, rc.right, rc.bottom, RGB(234, 241, 250));
    dc->FillSolidRect(0, 0, 3, rc.bottom, RGB(42, 109, 194));
  }
  CTransparentStatic text;
};

class DemoDialog : public CSkinDialogEx {
 public:
  DemoDialog() : CSkinDialogEx(kDemo) {}
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kIntro, intro);
    DDX_Control(dx, kName, name);
    DDX_Control(dx, kGroup, group);
    DDX_Control(dx, kCheck1, check1);
    DDX_Control(dx, kCheck2, check2);
    DDX_Control(dx, kRadio1, radio1);
    DDX_Control(dx, kRadio2, radio2);
    DDX_Control(dx, kRadio3, radio3);
    DDX_Control(dx, kLink, link);
    DDX_Control(dx, kScan, scan);
    DDX_Control(dx, kCancelBtn, cancel);
  }
  BOOL OnInitDialog() override {
    CSkinDialogEx::OnInitDialog();
    SetAppIcon();
    SetTitle(u"Scan settings");
    intro.m_textColor = RGB(55, 52, 47);
    CopyFontObject(&SkinMinBtnFont(), &intro.m_pFont);
    group.m_captionColor = RGB(55, 52, 47);
    name.m_topJoined = 0;
    check1.SetCheck(1);
    radio2.SetCheck(1);
    for (CSkinButton* b : {&scan, &cancel}) b->SendMessage(WM_SETFONT, WPARAM(SkinMinBtnFont().m_hObject), TRUE);
    scan.m_bHeldDown = 0;
    panel.Create(kPanel, this);
    panel.MoveWindow(330, 60, 250, 150);
    CopyFontObject(&SkinMinBtnFont(), &panel.text.m_pFont);
    panel.text.m_textColor = RGB(40, 60, 90);
    return TRUE;
  }
  void OnDrawBackground(CDC* dc) override {
    // A hairline above the dialog's buttons.
    RECT rc{}, br{};
    GetClientRect(&rc);
    scan.GetWindowRect(&br);
    ScreenToClient(&br);
    dc->FillSolidRect(20, br.top - 16, rc.right - 40, 1, RGB(223, 228, 235));
  }
  CTransparentStatic intro;
  CSkinEdit name;
  CSxGroupBox group;
  CSkinCRButton check1, check2, radio1, radio2, radio3;
  CHyperlinkButton link;
  CSkinButton scan, cancel;
  DemoPanel panel;
};

void RegisterDemoTemplates() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
  t.cx = 400, t.cy = 220;
  t.title = u"Demo";
  t.items = {
      {kIntro, WC_STATIC, WS_VISIBLE, 0, u"Choose what the deep scan looks for. It only reads the disk.", 13, 38, 190, 20},
      {kName, WC_EDIT, WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 0, u"Holiday photos", 13, 62, 190, 12},
      {kGroup, WC_BUTTON, WS_VISIBLE | BS_GROUPBOX, 0, u"File types", 13, 82, 190, 70},
      {kCheck1, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, u"Photos and pictures", 22, 96, 120, 10},
      {kCheck2, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, u"Office documents", 22, 110, 120, 10},
      {kRadio1, WC_BUTTON, WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 0, u"Quick", 22, 128, 50, 10},
      {kRadio2, WC_BUTTON, WS_VISIBLE | BS_AUTORADIOBUTTON, 0, u"Deep", 75, 128, 50, 10},
      {kRadio3, WC_BUTTON, WS_VISIBLE | BS_AUTORADIOBUTTON, 0, u"Sector", 128, 128, 60, 10},
      {kLink, WC_BUTTON, WS_VISIBLE | WS_GROUP | BS_PUSHBUTTON, 0, u"How does a deep scan work?", 13, 160, 150, 10},
      {kScan, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"Start scan", 248, 190, 62, 18},
      {kCancelBtn, WC_BUTTON, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"Cancel", 318, 190, 62, 18},
  };
  RegisterDialogTemplate(kDemo, t);
  DlgTemplate p;
  p.style = WS_CHILD | WS_VISIBLE;
  p.cx = 160, p.cy = 90;
  p.items = {{kPanelText, WC_STATIC, WS_VISIBLE, 0,
              u"The panel draws over the dialog's skin: a child dialog with its own background and a text "
              u"control that copies it.",
              10, 8, 145, 70}};
  RegisterDialogTemplate(kPanel, p);
}

TEST(SkinDemo, EveryControlOnTheProgramsSkin) {
  InitWindowLayer();
  ASSERT_TRUE(LoadSkinArt());
  RegisterDemoTemplates();
  DemoDialog dlg;
  ASSERT_TRUE(dlg.Create(kDemo));
  dlg.SetWindowPos(nullptr, 60, 40, 600, 338, SWP_NOZORDER);
  PumpAll();
  // The skin's corners are cut; its caption and face are where the picture put them.
  EXPECT_EQ(WindowFromPoint(POINT{60, 40}), nullptr);
  EXPECT_EQ(WindowFromPoint(POINT{300, 200}) != nullptr, true);
  EXPECT_EQ(dlg.m_btnClose.IsWindowVisible(), TRUE);
  EXPECT_EQ(dlg.m_btnMax.IsWindowVisible(), FALSE);  // no maximise box in the template
  // Hover the scan button and press the close button's neighbour with real input.
  RECT sr{};
  dlg.scan.GetClientRect(&sr);
  const COLORREF rest = GetWindowPixel(dlg.scan.m_hWnd, sr.right / 2, 3);
  POINT p = ScreenAt(dlg.scan.m_hWnd, sr.right / 2, sr.bottom / 2);
  InjectMouseMove(p.x, p.y);
  InjectMouseMove(p.x + 1, p.y);
  PumpAll();
  EXPECT_NE(GetWindowPixel(dlg.scan.m_hWnd, sr.right / 2, 3), rest);
  const std::string dir = KESTREL_SKIN_SHOT_DIR;
  std::filesystem::remove(dir + "/skin_demo.png");
  ASSERT_TRUE(SaveWindowPng(dlg.m_hWnd, dir + "/skin_demo.png"));
  EXPECT_GT(std::filesystem::file_size(dir + "/skin_demo.png"), 2000u);
  // Typing into the edit, clicking a radio button.
  RECT rr{};
  dlg.radio3.GetClientRect(&rr);
  POINT r3 = ScreenAt(dlg.radio3.m_hWnd, 5, rr.bottom / 2);
  InjectMouseMove(r3.x, r3.y);
  InjectMouseButton(0, true, r3.x, r3.y);
  InjectMouseButton(0, false, r3.x, r3.y);
  PumpAll();
  EXPECT_EQ(dlg.radio3.GetCheck(), 1);
  EXPECT_EQ(dlg.radio2.GetCheck(), 0);
  dlg.DestroyWindow();

  // The splash, with its countdown digit.
  SplashEnabled = 1;
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, nullptr, u"", WS_POPUP, RECT{0, 0, 0, 0}, nullptr, 0));
  ASSERT_TRUE(CSplashWnd::CreateAndShow(&owner));
  PumpAll();
  ASSERT_TRUE(SaveWindowPng(SplashWindow->m_hWnd, dir + "/splash.png"));
  SplashWindow->DestroyWindow();
  owner.DestroyWindow();
  SplashEnabled = 0;
}

}  // namespace
