// The four panels the main window hosts at one place, as far as the main window reaches into
// them: the two start menus, the device selection panel with its scan-target host, and the
// result view with its scan progress panel. Each shows a plain placeholder face until the
// panel itself is built; the state the main window reads and writes is real.
#pragma once

#include <cstdint>

#include "skin/skindialog.h"

constexpr UINT IDD_NEW_MENU = 349;
constexpr UINT IDD_CLASSIC_MENU = 130;
constexpr UINT IDD_DEVICE_SELECTION = 131;
constexpr UINT IDD_RESULT_VIEW = 278;
constexpr UINT IDC_DEVICE_PANEL_HOST = 1112;

// A panel whose face names what will be there.
class CPlaceholderPanel : public CSkinChildDialog {
 public:
  CPlaceholderPanel(UINT templateId, const char16_t* label) : CSkinChildDialog(templateId), m_label(label) {}
  void OnDrawBackground(CDC* dc) override;

  CString m_label;
};

class CVorMenuDlg : public CPlaceholderPanel {
 public:
  CVorMenuDlg() : CPlaceholderPanel(IDD_NEW_MENU, u"Start menu") {}
};

class CMainMenuDlg : public CPlaceholderPanel {
 public:
  CMainMenuDlg() : CPlaceholderPanel(IDD_CLASSIC_MENU, u"Start menu (classic)") {}
};

// The window that hosts the scan-target panel.
class CDevWnd : public CWnd {};

class CDevSelDlg : public CPlaceholderPanel {
 public:
  CDevSelDlg() : CPlaceholderPanel(IDD_DEVICE_SELECTION, u"Device selection") {}
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;
  // Nothing before the panel exists; edition switches of its buttons.
  void ApplyEditionOptions();
  // Hangs the scan-target panel's element tree into its host and lays it out.
  void AttachTargetPanel();
  // The device discovery and the rebuild of the scan-target panel.
  void RefreshDeviceList();
  // A USB disk arrived: the list is rebuilt when the panel shows (else it is marked for it).
  void OnUsbArrived();

  uint32_t RecoveryMode = 0;
  uint32_t m_shown = 0;
  uint32_t m_refreshNeeded = 1;
  CDevWnd m_devWnd;
  int m_refreshCount = 0;  // device list rebuilds, for the curious
  int m_layoutCount = 0;
};

// The scan progress panel inside the result view.
class CScanProgressDlg {
 public:
  void PauseScan();
  void ResumeScan();
  uint32_t m_waitingForDevice = 0;
};

class CDorivDlg : public CPlaceholderPanel {
 public:
  CDorivDlg() : CPlaceholderPanel(IDD_RESULT_VIEW, u"Results") {}
  // 0 start, 1 scanning, 2 scanning with results below the progress panel, 3 results final.
  void SetLayoutState(int state);
  // The end-of-scan stage began / ended: the result panes' controls are disabled / enabled.
  void DisableResultPanes();
  void OnScanFinished();

  CScanProgressDlg m_scanProgress;
  int m_layoutState = 0;
  int m_layoutChanges = 0;
  int m_panesEnabled = 1;
};

// Registers the panels' dialog templates.
void RegisterPanelTemplates();
