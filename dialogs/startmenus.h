// The two start menus, the first panel of the main window, which hand the chosen recovery mode
// to the device selection: the new style (a column of tabs, a description pane, a start button)
// and the classic style (four large picture buttons with help lines that follow the mouse).
#pragma once

#include <cstdint>
#include <vector>

#include "skin/skinbuttons.h"
#include "skin/skindialog.h"
#include "skin/skinstatic.h"

constexpr UINT IDD_NEW_MENU = 349;
constexpr UINT IDD_CLASSIC_MENU = 130;
constexpr UINT IDC_MENU_TAB_FIRST = 1120;  // deep recovery; 1121 to 1125 follow
constexpr UINT IDC_MENU_TAB_LAST = 1125;
constexpr UINT IDC_MENU_START = 1127;
constexpr UINT IDC_MENU_TUTORIAL = 1128;
constexpr UINT IDC_CLASSIC_DELETED = 1000;
constexpr UINT IDC_CLASSIC_PARTITION = 1010;
constexpr UINT IDC_CLASSIC_DEVICE = 1007;
constexpr UINT IDC_CLASSIC_SUPPORT = 1002;
constexpr UINT IDC_CLASSIC_LINE_FIRST = 1011;  // lines A to E: 1011 to 1015

// The description of one tab: a title, a heading and up to six lines (empty: not drawn).
struct MenuFeatureText {
  CString title;
  CString heading;
  CString lines[6];
};

// The recovery mode a tab starts (1 to 6), 0 for no tab.
uint32_t ModeOfTab(UINT tabId);
// The five help lines of the classic menu for a button the mouse is over (0: the mouse left);
// false for a control that has no texts.
bool ClassicHelpTexts(UINT controlId, CString (&lines)[5]);
// Where the classic menu's buttons (x of each, y) and lines (x, first y) go for a panel size.
struct ClassicLayout {
  int buttonX[4];
  int buttonY;
  int lineX;
  int lineY;
};
ClassicLayout ClassicMenuLayout(int cx, int cy);

class CVorMenuDlg : public CSkinChildDialog {
 public:
  CVorMenuDlg();
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnDrawBackground(CDC* dc) override;

  void LoadButtonImages();
  void FillFeatureTexts();
  void SelectTab(UINT tabId);
  void DrawFeaturePane(CDC* dc, const MenuFeatureText& text);
  // The selected tab's id, 0 for none.
  UINT SelectedTab() const;

  CWnd* m_mainWnd = nullptr;
  CTabButton m_tabs[6];
  CSkinButton m_btnStart, m_btnTutorial;
  CFont m_btnFont, m_bigFont, m_nomFont;
  int m_tabLeft = 0, m_tabTop = 3, m_tabWidth = 210, m_tabHeight = 60;
  RECT m_pane{310, 50, 970, 90};
  COLORREF m_paneColor = 0;
  CBitmapDC m_bullet;
  std::vector<MenuFeatureText> m_features;
  int m_tabSwitches = 0;

 protected:
  void OnTab(UINT id);
  void OnBnClickedStartRecovery();
  void OnBnClickedTutorial();
  DECLARE_MESSAGE_MAP()
};

class CMainMenuDlg : public CSkinChildDialog {
 public:
  CMainMenuDlg();
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;

  CWnd* m_mainWnd = nullptr;
  CBmpButton m_btnDeleted, m_btnPartition, m_btnDevice, m_btnSupport;
  CTransparentStatic m_lines[5];
  CFont m_lineFont;

 protected:
  void OnBnClickedDeletedFiles();
  void OnBnClickedPartitionFiles();
  void OnBnClickedDeviceFiles();
  void OnBnClickedSupport();
  LRESULT OnSkinButtonHover(WPARAM id, LPARAM state);
  DECLARE_MESSAGE_MAP()
};

void RegisterStartMenuTemplates();
