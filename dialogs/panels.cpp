#include "dialogs/panels.h"

#include "app/settings.h"
#include "base/log.h"
#include "dialogs/deepscansetdlg.h"
#include "platform/afx/afxmsg.h"
#include "scanbase/scanrun.h"
#include "skin/skinfonts.h"

namespace {

// The face of a panel that is not built here: its name in grey, centred.
void DrawPanelLabel(CWnd* wnd, CDC* dc, const CString& label) {
  RECT rc{};
  wnd->GetClientRect(&rc);
  CFont font;
  CreateSkinFont(u"MenuNom", &font);
  ScopedSelect sel(dc->m_hDC, font.m_hObject);
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(RGB(120, 120, 120));
  dc->DrawText(label, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

ResultViewMaker g_resultViewMaker;

}  // namespace

void CPlaceholderPanel::OnDrawBackground(CDC* dc) { DrawPanelLabel(this, dc, m_label); }

void SetResultViewMaker(const ResultViewMaker& maker) {
  g_resultViewMaker = maker;
  if (maker.registerTemplates) maker.registerTemplates();
}

std::unique_ptr<CResultViewBase> MakeResultView() {
  if (g_resultViewMaker.make) {
    if (std::unique_ptr<CResultViewBase> view = g_resultViewMaker.make()) return view;
  }
  return std::make_unique<CPlaceholderResultView>();
}

void CPlaceholderResultView::OnDrawBackground(CDC* dc) { DrawPanelLabel(this, dc, CString(u"Results")); }

BOOL CPlaceholderResultView::OnInitDialog() {
  CResultViewBase::OnInitDialog();
  m_scanProgress.Create(IDD_SCAN_PROGRESS, this);
  m_scanProgress.ShowWindow(SW_HIDE);
  return TRUE;
}

void CPlaceholderResultView::OnSkinSize(int cx, int cy) {
  if (!m_scanProgress.m_hWnd) return;
  // Scanning without results: the progress panel in the middle; with results: at the top.
  const int top = m_layoutState == 1 ? cy / 2 - kScanProgressHeight / 2 : 2;
  m_scanProgress.MoveWindow(10, top, cx - 20, kScanProgressHeight, TRUE);
}

void CPlaceholderResultView::SetLayoutState(int state) {
  if (m_layoutState == state) return;
  m_layoutState = state;
  ++m_layoutChanges;
  if (m_scanProgress.m_hWnd) {
    if (state == 3) {
      m_scanProgress.ShowWindow(SW_HIDE);
    } else {
      m_scanProgress.ShowWindow(SW_SHOW);
      if (state == 1) m_scanProgress.m_bar.SetPos(0);
    }
  }
  if (m_hWnd) {
    RECT rc{};
    GetClientRect(&rc);
    OnSkinSize(rc.right, rc.bottom);
    Invalidate(TRUE);
  }
}

void CPlaceholderResultView::ShowResultView(int show) {
  if (!show) {
    ShowWindow(SW_HIDE);
    return;
  }
  m_scanProgress.Reset();
  ShowWindow(SW_SHOW);
}

void CPlaceholderResultView::DisableResultPanes() { m_panesEnabled = 0; }

void CPlaceholderResultView::OnScanFinished() {
  m_panesEnabled = 1;
  SetLayoutState(3);
}

void RegisterPanelTemplates() {
  DlgTemplate t;
  t.style = WS_CHILD;
  t.cx = 600;
  t.cy = 200;
  RegisterDialogTemplate(IDD_RESULT_VIEW, t);
  // The real view's template replaces the placeholder's whenever the panels are registered.
  if (g_resultViewMaker.registerTemplates) g_resultViewMaker.registerTemplates();
  RegisterStartMenuTemplates();
  RegisterDeviceSelectionTemplate();
  RegisterDeepScanSettingsTemplates();
  RegisterScanProgressTemplate();
}
