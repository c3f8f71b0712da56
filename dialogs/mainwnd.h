// The application's main window: a skinned dialog that hosts the four panels at one place
// (start menus, device selection, result view), a title banner, a bottom bar (website,
// customer service, link, version) and a menu button. It asks before the program closes,
// runs the start-up timer, hears USB storage come and go, and takes the scan threads' messages.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/scanreader.h"
#include "dialogs/panels.h"
#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_MAIN_WINDOW = 102;
constexpr UINT IDC_MAIN_VERSION = 1002;
constexpr UINT IDC_MAIN_WEBSITE = 1009;
constexpr UINT IDC_MAIN_MENU = 1010;
constexpr UINT IDC_MAIN_SERVICE = 1011;
constexpr UINT IDC_MAIN_LINK = 1034;

// The web page's close request; the scan threads' messages come with the engine's headers.
constexpr UINT WM_CLOSE_WEB = 0x48A;

constexpr UINT_PTR kStartupTimer = 1;
constexpr UINT_PTR kUsbArrivedTimer = 1036;
constexpr UINT_PTR kUsbRemovedTimer = 1037;
constexpr UINT kSysCommandAbout = 16;

// Commands of the help menus.
constexpr UINT ID_MENU_COMMUNITY = 1134;
constexpr UINT ID_MENU_WEBSITE = 1135;
constexpr UINT ID_MENU_ABOUTUS = 1136;
constexpr UINT ID_MENU_VIDEO_TUTORIAL = 1155;
constexpr UINT ID_MENU_HELP_FINDFILE = 1156;
constexpr UINT ID_MENU_HELP_FILEERROR = 1157;
constexpr UINT ID_MENU_HELP_CLONE = 1158;
constexpr UINT ID_MENU_HELP_MOV = 1159;
constexpr UINT ID_MENU_HELP_MTS = 1160;
constexpr UINT ID_MENU_SOFTHELP = 1161;

// One entry of a help menu: its command, its text (without the position prefix) and its
// check-mark bitmap resource (0 for none).
struct HelpMenuEntry {
  UINT command;
  CString text;
  UINT bitmap;
};
std::vector<HelpMenuEntry> HelpMenuEntries();
// The right-click menu of the brand: the full one for house brands, the short one for Pelmar
// and Corvinth, none for others.
std::vector<HelpMenuEntry> RightClickMenuEntries();
// The address a help command opens ("Web" value + page path, by brand), empty for commands
// that open no address of their own.
CString HelpCommandAddress(UINT command);

// The start-up tick counter of timer 1 (never reset).
extern int32_t StartupTicks;

class CKestrelDlg : public CSkinDialogEx {
 public:
  CKestrelDlg();
  ~CKestrelDlg() override;

  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  // Esc and Enter never end the program behind the user's back: Esc asks as closing does.
  void OnOK() override {}
  void OnCancel() override;
  void OnDrawBackground(CDC* dc) override;
  void OnSkinSize(int cx, int cy) override;

  void PlaceWindow(int show);
  void ShowDeviceSelection(uint32_t mode);
  void SetCaptions();
  void SetupButtons();
  void CreatePanels();
  void ShowAdvert();
  void ShowHelpMenu(CWnd* wnd, POINT pt);
  // The right-click menus of the house brands and of Pelmar and Corvinth.
  void BuildFullPopupMenu(POINT pt);
  void BuildMainPopupMenu(POINT pt);
  // A string item with the bitmap resource (0: none) for both check states.
  static void AppendBitmapMenuItem(CMenu& menu, UINT command, const CString& caption, UINT bitmap);

  // The result view comes from the maker the results library installs (a placeholder without).
  std::unique_ptr<CResultViewBase> m_resultViewOwner;
  CResultViewBase& m_resultView;
  CMainMenuDlg m_classicMenu;
  CVorMenuDlg m_newMenu;
  CDevSelDlg m_devSel;
  CSkinButton m_btnWebsite;
  CSkinButton m_btnTopMenu;
  CFont m_topBtnFont;  // the skin font "MinBtn"; the menu button gets a copy of its own
  CTransparentStatic m_version;
  CHyperlinkButton m_link;
  CSkinButton m_btnService;
  HICON m_hIcon = nullptr;

 protected:
  int OnCreate(CREATESTRUCTW* cs);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  BOOL OnEraseBkgnd(CDC*) { return TRUE; }
  void OnSize(UINT type, int cx, int cy);
  void OnDestroy();
  void OnClose();
  void OnTimer(UINT_PTR id);
  BOOL OnDeviceChange(UINT event, DWORD_PTR data);
  LRESULT OnScanFinishing(WPARAM, LPARAM);
  LRESULT OnScanFinished(WPARAM, LPARAM);
  LRESULT OnResultsReady(WPARAM, LPARAM);
  LRESULT OnDeviceLost(WPARAM, LPARAM);
  LRESULT OnCloseWebMsg(WPARAM, LPARAM);
  LRESULT OnCaptionMenu(WPARAM, LPARAM);
  void OnBnClickedMenu();
  void OnRButtonDown(UINT flags, CPoint pt);
  void OnSysCommand(UINT id, LPARAM lParam);
  void OnBnClickedWebsite();
  void OnBnClickedVideoHelp();
  void OnBnClickedService();
  void OnMenuWebsite();
  void OnMenuAboutUs();
  void OnMenuCommunity();
  void OnMenuSoftHelp();
  void OnMenuHelpPage(UINT command);

  DECLARE_MESSAGE_MAP()

 private:
  // Shows the entries (captions "%u. text") as a popup menu at the screen point and
  // destroys it after the choice, which arrives as a WM_COMMAND.
  void RunPopupMenu(const std::vector<HelpMenuEntry>& entries, POINT pt);
  bool m_closing = false;
};

// Registers the main window's and its panels' dialog templates.
void RegisterMainWindowTemplates();

// The help menus' item bitmap of the resource id, loaded at its first use and kept for the
// run; null for 0 or a missing resource.
HBITMAP HelpMenuBitmap(UINT id);

// The scan-target element's texts of USB storage (the rule of OnDeviceChange): the interface
// path after "\\?\", cut before its last '#', '#' → '\', upper-cased; true when its first
// component is "USBSTOR".
bool IsUsbStorageInterfacePath(const CString& path);
