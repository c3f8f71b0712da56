// The class library: message maps, reflection, data exchange with subclassing,
// pre-translation through parents and the application, modal dialogs and the message loop.
#include <gtest/gtest.h>

#include "platform/afx/afxctrls.h"
#include "platform/afx/afxdlg.h"
#include "platform/afx/afxmsg.h"

namespace {

constexpr UINT kTemplate = 9001;
enum { kLabel = 200, kName = 201, kGo = 202, kFlag = 203 };
constexpr UINT WM_TEST_DRIVE = WM_USER + 50;

void RegisterSample() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_VISIBLE;
  t.cx = 160;
  t.cy = 80;
  t.title = u"Afx";
  t.items = {
      {kLabel, u"Static", WS_VISIBLE, 0, u"Label", 5, 5, 60, 10},
      {kName, u"Edit", WS_VISIBLE | WS_TABSTOP | WS_GROUP, 0, u"", 5, 20, 100, 12},
      {kFlag, u"Button", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, u"Flag", 5, 36, 60, 10},
      {kGo, u"Button", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, u"Go", 5, 50, 40, 14},
      {IDOK, u"Button", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, u"OK", 60, 60, 40, 14},
      {IDCANCEL, u"Button", WS_VISIBLE | WS_TABSTOP, 0, u"Cancel", 110, 60, 40, 14},
  };
  RegisterDialogTemplate(kTemplate, t);
}

// A mix-in the skinned controls share; found again by a run-time cast.
struct CPaintSource {
  virtual ~CPaintSource() = default;
  virtual COLORREF Face() const = 0;
};

// An owner-drawn button in the way the skinned buttons become one when subclassed.
class CFlatButton : public CButton {
 public:
  void PreSubclassWindow() override {
    ModifyStyle(0, BS_OWNERDRAW | WS_CLIPSIBLINGS);
    ++preSubclassed;
  }
  void DrawItem(DRAWITEMSTRUCT* dis) override {
    ++drawn;
    FillSolidRectDc(dis->hDC, &dis->rcItem, (dis->itemState & ODS_SELECTED) ? RGB(10, 20, 30) : RGB(40, 50, 60));
  }
  int preSubclassed = 0;
  int drawn = 0;
};

class CWatchedEdit : public CEdit {
 public:
  void OnUpdate() { ++updates; }
  int updates = 0;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CWatchedEdit, CEdit)
ON_EN_UPDATE_REFLECT(OnUpdate)
END_MESSAGE_MAP()

class CSampleDlg : public CDialog, public CPaintSource {
 public:
  CSampleDlg() : CDialog(kTemplate) {}
  COLORREF Face() const override { return RGB(1, 2, 3); }
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, kGo, go);
    DDX_Control(dx, kName, name);
    DDX_Text(dx, kName, text);
    DDX_Check(dx, kFlag, flag);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetWindowText(u"Afx sample");
    PostMessage(WM_TEST_DRIVE);
    return TRUE;
  }
  BOOL PreTranslateMessage(MSG* m) override {
    if (m->message == WM_KEYDOWN && m->wParam == 'P' && (GetKeyState(VK_CONTROL) & 0x8000)) {
      ++secretKeys;
      return TRUE;
    }
    return CDialog::PreTranslateMessage(m);
  }
  void OnGo() {
    ++goClicks;
    EndDialog(42);
  }
  void OnNameChange() { ++nameChanges; }
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
    if (ctlColor == CTLCOLOR_STATIC && wnd && wnd->GetDlgCtrlID() == kLabel) {
      dc->SetBkMode(TRANSPARENT);
      ++labelColours;
      return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
    return CDialog::OnCtlColor(dc, wnd, ctlColor);
  }
  LRESULT OnDrive(WPARAM, LPARAM) {
    if (drive) drive(this);
    return 0;
  }

  CFlatButton go;
  CWatchedEdit name;
  CString text = u"preset";
  int flag = 1;
  int goClicks = 0, nameChanges = 0, secretKeys = 0, labelColours = 0;
  void (*drive)(CSampleDlg*) = nullptr;
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(CSampleDlg, CDialog)
ON_BN_CLICKED(kGo, OnGo)
ON_EN_CHANGE(kName, OnNameChange)
ON_WM_CTLCOLOR()
ON_MESSAGE(WM_TEST_DRIVE, OnDrive)
END_MESSAGE_MAP()

class Afx : public ::testing::Test {
 protected:
  void SetUp() override { RegisterSample(); }
};

TEST_F(Afx, ModalDialogBindsControlsReflectsAndEndsFromAMessageMapHandler) {
  CSampleDlg dlg;
  dlg.drive = [](CSampleDlg* d) {
    // Runs inside the modal loop, with the dialog shown and focused on the name box.
    d->UpdateWindow();
    EXPECT_EQ(CWnd::GetFocus(), &d->name);
    EXPECT_EQ(GetWindowTextString(d->name), CString(u"preset"));
    EXPECT_EQ(d->go.preSubclassed, 1);
    EXPECT_TRUE(d->go.GetStyle() & BS_OWNERDRAW);
    InjectText(u"x");
    InjectKey(VK_CONTROL, true);
    InjectKeyPress('P');
    InjectKey(VK_CONTROL, false);
    RECT r{};
    d->go.GetWindowRect(&r);
    InjectMouseMove(r.left + 3, r.top + 3);
    InjectMouseButton(0, true, r.left + 3, r.top + 3);
    InjectMouseButton(0, false, r.left + 3, r.top + 3);
  };
  EXPECT_EQ(dlg.DoModal(), 42);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_EQ(dlg.goClicks, 1);
  EXPECT_EQ(dlg.secretKeys, 1);
  EXPECT_GE(dlg.name.updates, 2);      // the reflected EN_UPDATE reached the control
  EXPECT_GE(dlg.nameChanges, 2);       // and EN_CHANGE the dialog's map
  EXPECT_GT(dlg.go.drawn, 0);          // owner draw reflected to the button
  EXPECT_GT(dlg.labelColours, 0);
  // A run-time cast finds the mix-in again from the window object.
  CPaintSource* src = dynamic_cast<CPaintSource*>(static_cast<CWnd*>(&dlg));
  ASSERT_NE(src, nullptr);
  EXPECT_EQ(src->Face(), RGB(1, 2, 3));
}

TEST_F(Afx, OkRunsDataExchangeAndEscCancels) {
  CSampleDlg dlg;
  dlg.drive = [](CSampleDlg*) {
    InjectKeyPress(VK_END);
    InjectText(u"!");
    InjectKeyPress(VK_TAB);  // to the check box
    InjectKeyPress(VK_SPACE, u' ');
    InjectKeyPress(VK_RETURN, u'\r');
  };
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.text, CString(u"preset!")) << dlg.text.ToUtf8();
  EXPECT_EQ(dlg.flag, 0);
  CSampleDlg other;
  other.drive = [](CSampleDlg*) { InjectKeyPress(VK_ESCAPE); };
  EXPECT_EQ(other.DoModal(), IDCANCEL);
  EXPECT_EQ(other.text, CString(u"preset"));
}

class CCountingApp : public CWinAppEx {
 public:
  CCountingApp() : CWinAppEx(u"Kestrel test") {}
  BOOL InitInstance() override {
    main = new CWnd;
    main->CreateEx(0, nullptr, u"Main", WS_POPUP | WS_VISIBLE, RECT{0, 0, 200, 100}, nullptr, 0);
    m_pMainWnd = main;
    main->PostMessage(WM_KEYDOWN, 'Q', 0);
    main->PostMessage(WM_USER + 3, 0, 0);
    PostQuitMessage(7);
    return TRUE;
  }
  BOOL PreTranslateMessage(MSG* m) override {
    if (m->message == WM_KEYDOWN) ++keysSeen;
    return FALSE;
  }
  int ExitInstance() override {
    delete main;
    return CWinApp::ExitInstance() + 1;
  }
  CWnd* main = nullptr;
  int keysSeen = 0;
};

TEST_F(Afx, ApplicationLoopPreTranslatesAndReturnsTheQuitCode) {
  CCountingApp app;
  EXPECT_EQ(AfxGetApp(), &app);
  EXPECT_EQ(AfxRunApp(&app), 8);
  EXPECT_EQ(app.keysSeen, 1);
  EXPECT_EQ(AfxGetMainWnd(), app.main);
}

class CSelfDeleting : public CDialog {
 public:
  explicit CSelfDeleting(int* gone) : CDialog(kTemplate), gone_(gone) {}
  void PostNcDestroy() override {
    ++*gone_;
    delete this;
  }
  int* gone_;
};

TEST_F(Afx, ModelessDialogsAndTemporaryWrappers) {
  int gone = 0;
  auto* d = new CSelfDeleting(&gone);
  ASSERT_TRUE(d->Create(kTemplate));
  HWND h = d->m_hWnd;
  EXPECT_EQ(CWnd::FromHandlePermanent(h), d);
  HWND label = ::GetDlgItem(h, kLabel);
  CWnd* tmp = CWnd::FromHandle(label);
  ASSERT_NE(tmp, nullptr);
  EXPECT_EQ(CWnd::FromHandle(label), tmp);
  EXPECT_EQ(CWnd::FromHandlePermanent(label), nullptr);
  EXPECT_EQ(tmp->GetDlgCtrlID(), kLabel);
  // Enter in a modeless dialog ends it without destroying it.
  ::DestroyWindow(h);
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(CWnd::FromHandle(h), nullptr);
}

TEST_F(Afx, ToolTipKeepsItsSettings) {
  CWnd parent;
  ASSERT_TRUE(parent.CreateEx(0, nullptr, u"P", WS_POPUP, RECT{0, 0, 10, 10}, nullptr, 0));
  CToolTipCtrl tip;
  ASSERT_TRUE(tip.Create(&parent));
  tip.SetDelayTime(TTDT_INITIAL, 300);
  EXPECT_EQ(tip.SetMaxTipWidth(400), -1);
  EXPECT_EQ(tip.SetMaxTipWidth(200), 400);
  EXPECT_EQ(tip.GetDelayTime(TTDT_INITIAL), 300);
  MSG m{parent.m_hWnd, WM_MOUSEMOVE, 0, 0, 0, {0, 0}};
  tip.RelayEvent(&m);
  EXPECT_FALSE(tip.IsWindowVisible());
}

}  // namespace
