// The main window: construction, initialisation, placement, layout, the banner and the close.
// Its timers and device events are in mainwndevents.cpp, its menus and links in helpmenus.cpp.
#include "dialogs/mainwnd.h"

#include "app/appstart.h"
#include "app/edition.h"
#include "app/runvalues.h"
#include "app/servicedll.h"
#include "app/settings.h"
#include "base/log.h"
#include "core/volumecontext.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/supportdlg.h"
#include "dialogs/webdlg.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "platform/paint/resstore.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/splash.h"
#include "skin/wndhelpers.h"

namespace {

constexpr UINT kAboutMenuString = 101;
constexpr char16_t kProductVersionText[] = u"9.0.5";

// The interface classes whose devices the main window hears of: USB devices, disks, HID and
// network interfaces.
constexpr GUID kInterfaceClasses[4] = {
    {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}},
    {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}},
    {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}},
    {0xCAC88484, 0x7515, 0x4C03, {0x82, 0xE6, 0x71, 0xA8, 0x7A, 0xBA, 0xC3, 0x61}},
};

void PlaceMainFromSplash(CWnd* main, int how) {
  if (auto* dlg = dynamic_cast<CKestrelDlg*>(main)) dlg->PlaceWindow(how);
}

const char16_t* ModeEventText(uint32_t mode) {
  switch (mode) {
    case 1: return u"Recovery all file";
    case 2: return u"Recovery del file";
    case 3: return u"Recovery part file";
    case 4: return u"Recovery usb file";
    case 5: return u"Recovery recycle file";
    case 6: return u"Recovery disk file";
    default: return nullptr;
  }
}

}  // namespace

BEGIN_MESSAGE_MAP(CKestrelDlg, CSkinDialogEx)
ON_WM_CREATE()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_ERASEBKGND()
ON_WM_SIZE()
ON_WM_DESTROY()
ON_WM_CLOSE()
ON_WM_TIMER()
ON_WM_DEVICECHANGE()
ON_WM_RBUTTONDOWN()
ON_WM_SYSCOMMAND()
ON_MESSAGE(WM_SCAN_FINISHING, OnScanFinishing)
ON_MESSAGE(WM_SCAN_FINISHED, OnScanFinished)
ON_MESSAGE(WM_RESULTS_READY, OnResultsReady)
ON_MESSAGE(WM_DEVICE_LOST, OnDeviceLost)
ON_MESSAGE(WM_CLOSE_WEB, OnCloseWebMsg)
ON_MESSAGE(WM_SKIN_CAPTION_MENU, OnCaptionMenu)
ON_BN_CLICKED(IDC_MAIN_MENU, OnBnClickedMenu)
ON_BN_CLICKED(IDC_MAIN_WEBSITE, OnBnClickedWebsite)
ON_BN_CLICKED(IDC_MAIN_LINK, OnBnClickedVideoHelp)
ON_BN_CLICKED(IDC_MAIN_SERVICE, OnBnClickedService)
ON_COMMAND(ID_MENU_WEBSITE, OnMenuWebsite)
ON_COMMAND(ID_MENU_ABOUTUS, OnMenuAboutUs)
ON_COMMAND(ID_MENU_COMMUNITY, OnMenuCommunity)
ON_COMMAND(ID_MENU_SOFTHELP, OnMenuSoftHelp)
ON_COMMAND_RANGE(ID_MENU_VIDEO_TUTORIAL, ID_MENU_HELP_MTS, OnMenuHelpPage)
END_MESSAGE_MAP()

CKestrelDlg::CKestrelDlg()
    : CSkinDialogEx(IDD_MAIN_WINDOW), m_resultViewOwner(MakeResultView()), m_resultView(*m_resultViewOwner) {
  m_hIcon = LoadIconW(nullptr, ResourceIdName(128));
}

CKestrelDlg::~CKestrelDlg() {
  if (m_hIcon) DestroyIcon(m_hIcon);
}

void CKestrelDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_MAIN_VERSION, m_version);
  DDX_Control(dx, IDC_MAIN_WEBSITE, m_btnWebsite);
  DDX_Control(dx, IDC_MAIN_MENU, m_btnTopMenu);
  DDX_Control(dx, IDC_MAIN_SERVICE, m_btnService);
  DDX_Control(dx, IDC_MAIN_LINK, m_link);
}

int CKestrelDlg::OnCreate(CREATESTRUCTW*) {
  if (Default() == -1) return -1;
  SetSplashPlaceHandler(&PlaceMainFromSplash);
  CSplashWnd::CreateAndShow(this);
  return 0;
}

BOOL CKestrelDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  char16_t about[256];
  if (CMenu* sys = GetSystemMenu(FALSE); sys && sys->GetSafeHmenu() && LoadStringW(nullptr, kAboutMenuString, about, 256)) {
    sys->AppendMenu(MF_SEPARATOR);
    sys->AppendMenu(MF_STRING, kSysCommandAbout, about);
  }
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  // Kept out of sight only while a splash actually runs: the splash's last tick places the
  // window, and without a splash nothing else would.
  PlaceWindow(SplashWindow ? 0 : 1);
  for (CBmpButton* b : {&m_btnClose, &m_btnMax, &m_btnMin, &m_btnMenu}) b->ShowWindow(SW_SHOW);
  m_minTrack = CSize(800, 600);
  SetCaptions();
  SetupButtons();
  CreatePanels();
  if (m_background.SetSkinImage(FindSkinImage(u"Dlg/MainDlg.bmp"))) {
    m_bBackReady = 0;
    InvalidateNoErase();
    UpdateWindowRegion();
  }
  SetWindowText(GetSoftCfg(u"LocalName"));
  AppVolumeList().mainWindow = m_hWnd;
  if (IsSoftCfgOn(u"ShowDev")) ShowDeviceSelection(GetBaseCfg(u"Language") == CString(u"EN") ? 7 : 1);
  if (!IsSoftCfgOn(u"ShowServeQQ")) m_btnService.ShowWindow(SW_HIDE);
  SetTimer(kStartupTimer, 500, nullptr);
  if (IsHouseBrand()) m_btnTopMenu.ShowWindow(SW_SHOW);
  for (const GUID& g : kInterfaceClasses) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = 32;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = g;
    RegisterDeviceNotificationW(m_hWnd, &filter, 0);
  }
  CheckForUpdate([this] { EndDialog(IDOK); });
  return TRUE;
}

void CKestrelDlg::PlaceWindow(int show) {
  CClientDC dc(this);
  const unsigned W = unsigned(dc.GetDeviceCaps(HORZRES));
  const unsigned H = unsigned(dc.GetDeviceCaps(VERTRES));
  unsigned w = show ? 1130u : 0u;
  if (w > W) w = W;
  unsigned h = show ? 820u : 0u;
  if (h > H - 40u) h = H - 40u;
  const int x = int((W - w) / 2u);
  const int y = h == H - 40u ? 0 : int((H - h) / 2u);
  ::SetParent(m_hWnd, nullptr);
  ::SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, int(w), int(h), SWP_SHOWWINDOW);
  // Raised above everything once, then an ordinary window: the program never stays on top
  // of the user's other programs.
  ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CKestrelDlg::CreatePanels() {
  m_newMenu.Create(IDD_NEW_MENU, this);
  m_classicMenu.Create(IDD_CLASSIC_MENU, this);
  const bool newMenu = GetSoftCfg(u"NewMenu") == CString(u"1");
  const UINT place = SWP_NOACTIVATE;
  m_newMenu.SetWindowPos(nullptr, 3, 83, 904, 300, place);
  ::SetWindowPos(m_newMenu.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  m_classicMenu.SetWindowPos(nullptr, 3, 83, 904, 300, place);
  ::SetWindowPos(m_classicMenu.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  m_newMenu.ShowWindow(newMenu ? SW_SHOW : SW_HIDE);
  m_classicMenu.ShowWindow(newMenu ? SW_HIDE : SW_SHOW);
  for (CSkinChildDialog* panel : {static_cast<CSkinChildDialog*>(&m_devSel), static_cast<CSkinChildDialog*>(&m_resultView)}) {
    panel->Create(panel == &m_devSel ? IDD_DEVICE_SELECTION : IDD_RESULT_VIEW, this);
    panel->ShowWindow(SW_HIDE);
    panel->SetWindowPos(nullptr, 3, 83, 904, 300, place);
    ::SetWindowPos(panel->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  RECT rc{};
  GetClientRect(&rc);
  OnSkinSize(rc.right, rc.bottom);
}

void CKestrelDlg::SetCaptions() {
  m_btnWebsite.SetWindowText(GetLangStr(u"Website"));
  m_version.SetText(GetLangStr(u"Version"));
  const CString brand = GetBaseCfg(u"Brand");
  if (brand == CString(u"Virelmo")) m_btnService.SetWindowText(u"客服在线");
  else if (IsPelmarCorvinthBrand()) m_btnService.SetWindowText(u"客服服务");
  else m_btnService.SetWindowText(GetLangStr(u"ServiceQQ"));
}

void CKestrelDlg::SetupButtons() {
  const WPARAM font = reinterpret_cast<WPARAM>(SkinMinBtnFont().m_hObject);
  for (CWnd* w : {static_cast<CWnd*>(&m_btnWebsite), static_cast<CWnd*>(&m_btnService), static_cast<CWnd*>(&m_link),
                  static_cast<CWnd*>(&m_version)}) {
    w->SendMessage(WM_SETFONT, font, TRUE);
  }
  m_btnWebsite.SetBitmaps(356, 361, 361, 356, 356);
  m_btnWebsite.SetIcon(357, 20);
  m_btnWebsite.ShowWindow(SW_SHOW);
  m_btnService.SetBitmaps(356, 361, 361, 356, 356);
  m_btnService.SetIcon(359, 20);
  m_btnService.ShowWindow(IsSoftCfgOn(u"ShowServeQQ") ? SW_SHOW : SW_HIDE);
  m_btnTopMenu.SetBitmaps(402, 400, 400, 401, 401);
  m_btnTopMenu.m_captionColor = RGB(255, 255, 255);
  m_btnTopMenu.m_disabledColor = RGB(172, 168, 153);
  m_btnTopMenu.SetIcon(404, 16);
  CreateSkinFont(u"MinBtn", &m_topBtnFont);
  CopyFontObject(&m_topBtnFont, &m_btnTopMenu.m_pFont);
  m_btnTopMenu.Invalidate(TRUE);
  m_version.ShowWindow(SW_SHOW);
}

void CKestrelDlg::OnSkinSize(int cx, int cy) {
  if (!m_classicMenu.m_hWnd) return;
  const bool service = (m_btnService.GetStyle() & WS_VISIBLE) != 0;
  const int row = cy - 29;
  m_btnWebsite.MoveWindow(5, row, 86, 25, TRUE);
  int next = 91;
  if (service) {
    m_btnService.MoveWindow(91, row, 86, 25, TRUE);
    next = 177;
  }
  const int linkLeft = next + 106;
  m_link.MoveWindow(linkLeft, row, cx - 120 - linkLeft, 25, TRUE);
  m_version.MoveWindow(cx - 72, cy - 25, 72, 22, TRUE);
  m_version.SetText(FormatCString(u"%s: %s", GetLangStr(u"Version"), kProductVersionText));
  for (CWnd* p : {static_cast<CWnd*>(&m_newMenu), static_cast<CWnd*>(&m_classicMenu), static_cast<CWnd*>(&m_devSel),
                  static_cast<CWnd*>(&m_resultView)}) {
    if (p->m_hWnd) p->MoveWindow(3, 83, cx - 6, cy - 116, TRUE);
  }
  m_btnTopMenu.MoveWindow(cx - 163, 5, 56, 21, TRUE);
}

void CKestrelDlg::OnDrawBackground(CDC* dc) {
  if (const SkinImageData* banner = FindSkinImage(SkinBannerName())) {
    DrawPic(dc->m_hDC, banner, 0, 0);
    return;
  }
  CFont font;
  CreateSkinFont(u"Banner", &font);
  ScopedSelect sel(dc->m_hDC, font.m_hObject);
  dc->SetTextColor(RGB(255, 255, 255));
  dc->SetBkMode(TRANSPARENT);
  RECT r{75, 19, 675, 64};
  dc->DrawText(GetSoftCfg(u"LocalName"), &r, DT_SINGLELINE | DT_VCENTER);
}

void CKestrelDlg::ShowDeviceSelection(uint32_t mode) {
  if (const char16_t* text = ModeEventText(mode)) SendEventReport(28, text, true);
  if (mode == 1) ScanTarget().operation = 1;
  else if (mode == 6) ScanTarget().operation = 7;
  m_devSel.RecoveryMode = mode;
  m_devSel.ApplyEditionOptions();
  m_devSel.AttachTargetPanel();
  m_devSel.ShowWindow(SW_SHOW);
  m_devSel.m_shown = 1;
  m_devSel.m_refreshNeeded = 0;
  m_devSel.RefreshDeviceList();
  RECT rc{};
  m_devSel.GetClientRect(&rc);
  m_devSel.OnSkinSize(rc.right, rc.bottom);
}

void CKestrelDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    RECT rc{};
    GetClientRect(&rc);
    const int x = (rc.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    if (m_hIcon) DrawIcon(dc.m_hDC, x, y, m_hIcon);
    return;
  }
  CSkinDialogEx::OnPaint();
}

HCURSOR CKestrelDlg::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(m_hIcon); }

void CKestrelDlg::OnSize(UINT type, int cx, int cy) { CSkinDialogEx::OnSize(type, cx, cy); }

void CKestrelDlg::OnDestroy() {
  KillTimer(kStartupTimer);
  Default();
}

void CKestrelDlg::OnClose() {
  if (!IsExitWithoutAsking() && !ShowMessageBox(GetLangStr(u"SureQuit"), GetLangStr(u"Exit"), GetLangStr(u"Cancel"))) {
    return;
  }
  ReportAppExit(GetRunIdText());
  WriteLog(u"To close web");
  CloseMainWebView();
  WriteLog(u"Close web ok");
  m_closing = true;
  Default();
}

void CKestrelDlg::OnCancel() {
  if (m_closing) CSkinDialogEx::OnCancel();
  else SendMessage(WM_CLOSE);
}

LRESULT CKestrelDlg::OnCloseWebMsg(WPARAM, LPARAM) {
  CloseMainWebView();
  return 0;
}

void RegisterMainWindowTemplates() {
  DlgTemplate t;
  t.style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
  t.cx = 600;
  t.cy = 400;
  t.title = u"";
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  t.items = {
      {int(IDC_MAIN_WEBSITE), WC_BUTTON, button, 0, u"Website", 3, 380, 50, 14},
      {int(IDC_MAIN_SERVICE), WC_BUTTON, button, 0, u"Service", 55, 380, 50, 14},
      {int(IDC_MAIN_LINK), WC_BUTTON, WS_TABSTOP | BS_OWNERDRAW, 0, u"", 110, 380, 200, 14},
      {int(IDC_MAIN_VERSION), WC_STATIC, WS_VISIBLE, 0, u"Version", 550, 382, 45, 12},
      {int(IDC_MAIN_MENU), WC_BUTTON, button, 0, u"", 500, 3, 35, 12},
  };
  RegisterDialogTemplate(IDD_MAIN_WINDOW, t);
  RegisterPanelTemplates();
  RegisterAboutTemplate();
  RegisterSupportTemplates();
  RegisterWebTemplate();
}
