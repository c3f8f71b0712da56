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

BOOL CDevSelDlg::OnInitDialog() {
  CPlaceholderPanel::OnInitDialog();
  if (HWND host = ::GetDlgItem(m_hWnd, IDC_DEVICE_PANEL_HOST)) m_devWnd.SubclassWindow(host);
  return TRUE;
}

void CDevSelDlg::OnSkinSize(int cx, int cy) {
  if (m_devWnd.m_hWnd) m_devWnd.MoveWindow(10, 10, cx > 20 ? cx - 20 : 0, cy > 60 ? cy - 60 : 0, TRUE);
}

void CDevSelDlg::ApplyEditionOptions() {
  if (!m_hWnd) return;
}

void CDevSelDlg::AttachTargetPanel() { ++m_layoutCount; }

void CDevSelDlg::RefreshDeviceList() {
  ++m_refreshCount;
  WriteLog(u"Device list refreshed");
  if (m_devWnd.m_hWnd) m_devWnd.Invalidate(TRUE);
}

void CDevSelDlg::OnUsbArrived() {
  if (m_shown) RefreshDeviceList();
  else m_refreshNeeded = 1;
}

void CScanProgressDlg::PauseScan() { ::PauseScan(); }
void CScanProgressDlg::ResumeScan() { ::ResumeScan(); }

void CDorivDlg::SetLayoutState(int state) {
  if (m_layoutState == state) return;
  m_layoutState = state;
  ++m_layoutChanges;
}

void CDorivDlg::DisableResultPanes() { m_panesEnabled = 0; }

void CDorivDlg::OnScanFinished() {
  m_panesEnabled = 1;
  SetLayoutState(3);
}

void RegisterPanelTemplates() {
  for (UINT id : {IDD_NEW_MENU, IDD_CLASSIC_MENU, IDD_DEVICE_SELECTION, IDD_RESULT_VIEW}) {
    DlgTemplate t;
    t.style = WS_CHILD;
    t.cx = 600;
    t.cy = 200;
    if (id == IDD_DEVICE_SELECTION) {
      t.items = {{int(IDC_DEVICE_PANEL_HOST), WC_STATIC, WS_VISIBLE, 0, u"", 7, 7, 586, 160}};
    }
    RegisterDialogTemplate(id, t);
  }
}
