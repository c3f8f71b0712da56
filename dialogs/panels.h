// The four panels the main window hosts at one place, as far as the main window reaches into
// them: the two start menus (startmenus.h), the device selection panel (devseldlg.h), and the
// result view with its scan progress panel. A panel not built yet shows a plain placeholder face; the state the
// main window reads and writes is real.
#pragma once

#include <cstdint>
#include <memory>

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

// The result view as the main window and the scan start reach it: the scan progress panel it
// holds, its layout state and the calls of a scan's course. The results library builds the
// real view and installs its maker at start-up (it sits above this layer); without one a
// placeholder stands in, which keeps the same state words.
class CResultViewBase : public CSkinChildDialog {
 public:
  CResultViewBase() : CSkinChildDialog(IDD_RESULT_VIEW) {}
  // 0 start, 1 scanning, 2 scanning with results below the progress panel, 3 results final.
  virtual void SetLayoutState(int state) = 0;
  // The classification the panes show (-2 by path); the view shown for a new scan.
  virtual void SetClassifyMode(int mode) = 0;
  virtual void ShowResultView(int show) = 0;
  // The end-of-scan stage began / ended: the result panes' controls are disabled / enabled.
  virtual void DisableResultPanes() = 0;
  virtual void OnScanFinished() = 0;

  CScanProgressDlg m_scanProgress;
  int m_layoutState = 0;
  int m_layoutChanges = 0;  // layouts made, for the curious
  int m_panesEnabled = 1;
  int m_classifyMode = 3;
};

class CPlaceholderResultView : public CResultViewBase {
 public:
  BOOL OnInitDialog() override;
  void OnSkinSize(int cx, int cy) override;
  void OnDrawBackground(CDC* dc) override;
  void SetLayoutState(int state) override;
  void SetClassifyMode(int mode) override { m_classifyMode = mode; }
  void ShowResultView(int show) override;
  void DisableResultPanes() override;
  void OnScanFinished() override;
};

// The maker of the real result view and the registration of its dialog template.
struct ResultViewMaker {
  std::unique_ptr<CResultViewBase> (*make)() = nullptr;
  void (*registerTemplates)() = nullptr;
};
// Installs the maker (and registers its templates at once); a maker without functions brings
// the placeholder back.
void SetResultViewMaker(const ResultViewMaker& maker);
std::unique_ptr<CResultViewBase> MakeResultView();

// Registers the panels' dialog templates.
void RegisterPanelTemplates();
