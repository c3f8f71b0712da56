#include "dialogs/panels.h"

#include "app/settings.h"
#include "base/log.h"
#include "platform/afx/afxmsg.h"
#include "scanbase/scanrun.h"
#include "skin/skinfonts.h"

void CPlaceholderPanel::OnDrawBackground(CDC* dc) {
  RECT rc{};
  GetClientRect(&rc);
  CFont font;
  CreateSkinFont(u"MenuNom", &font);
  ScopedSelect sel(dc->m_hDC, font.m_hObject);
  dc->SetBkMode(TRANSPARENT);
  dc->SetTextColor(RGB(120, 120, 120));
  dc->DrawText(m_label, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

int CScanProgressDlg::PauseScan() { return ::PauseScan(); }
void CScanProgressDlg::ResumeScan() { ::ResumeScan(); }

void CDorivDlg::SetLayoutState(int state) {
  if (m_layoutState == state) return;
  m_layoutState = state;
  ++m_layoutChanges;
}

void CDorivDlg::ShowResultView(int show) {
  if (!show) {
    ShowWindow(SW_HIDE);
    return;
  }
  ShowWindow(SW_SHOW);
}

void CDorivDlg::DisableResultPanes() { m_panesEnabled = 0; }

void CDorivDlg::OnScanFinished() {
  m_panesEnabled = 1;
  SetLayoutState(3);
}

void RegisterPanelTemplates() {
  for (UINT id : {IDD_NEW_MENU, IDD_CLASSIC_MENU, IDD_RESULT_VIEW}) {
    DlgTemplate t;
    t.style = WS_CHILD;
    t.cx = 600;
    t.cy = 200;
    RegisterDialogTemplate(id, t);
  }
  RegisterDeviceSelectionTemplate();
}
