// The four panels the main window hosts at one place, as far as the main window reaches into
// them: the two start menus (startmenus.h), the device selection panel (devseldlg.h), and the
// result view with its scan progress panel. A panel not built yet shows a plain placeholder face; the state the
// main window reads and writes is real.
#pragma once

#include <cstdint>

#include "dialogs/devseldlg.h"
#include "dialogs/scanprogressdlg.h"
#include "dialogs/startmenus.h"
#include "skin/skindialog.h"

constexpr UINT IDD_RESULT_VIEW = 278;

// A panel whose face names what will be there.
class CPlaceholderPanel : public CSkinChildDialog {
 public:
  CPlaceholderPanel(UINT templateId, const char16_t* label) : CSkinChildDialog(templateId), m_label(label) {}
  void OnDrawBackground(CDC* dc) override;

  CString m_label;
};

class CDorivDlg : public CPlaceholderPanel {
 public:
  CDorivDlg() : CPlaceholderPanel(IDD_RESULT_VIEW, u"Results") {}
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;
  // 0 start, 1 scanning, 2 scanning with results below the progress panel, 3 results final.
  void SetLayoutState(int state);
  // The classification the panes show (-2 by path); the view shown for a new scan.
  void SetClassifyMode(int mode) { m_classifyMode = mode; }
  void ShowResultView(int show);
  // The end-of-scan stage began / ended: the result panes' controls are disabled / enabled.
  void DisableResultPanes();
  void OnScanFinished();

  CScanProgressDlg m_scanProgress;
  int m_layoutState = 0;
  int m_layoutChanges = 0;
  int m_panesEnabled = 1;
  int m_classifyMode = 0;
};

// Registers the panels' dialog templates.
void RegisterPanelTemplates();
