#include "results/renamedlg.h"

#include "app/settings.h"
#include "platform/wnd/dialog.h"

CFixFileInfoDlg::CFixFileInfoDlg(CWnd* parent) : CSkinDialogEx(IDD_RENAME, parent) {}

void CFixFileInfoDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_RENAME_LABEL, m_label);
  DDX_Control(dx, IDC_RENAME_EDIT, m_edit);
  DDX_Control(dx, IDOK, m_btnOk);
  DDX_Control(dx, IDCANCEL, m_btnCancel);
  DDX_Text(dx, IDC_RENAME_EDIT, m_newName);
}

BOOL CFixFileInfoDlg::OnInitDialog() {
  CSkinDialogEx::OnInitDialog();
  SetAppIcon();
  SetTitle(GetLangStr(u"Rename"));
  m_edit.SetFocus();
  SetTexts();
  return FALSE;
}

void CFixFileInfoDlg::SetTexts() {
  m_btnOk.SetWindowText(GetLangStr(u"OK"));
  m_btnCancel.SetWindowText(GetLangStr(u"Cancel"));
  m_label.SetText(GetLangStr(u"FileBigName") + u": ");
}

bool AskNewName(CWnd* parent, CString& name) {
  CFixFileInfoDlg dlg(parent);
  if (dlg.DoModal() != IDOK) return false;
  name = dlg.m_newName;
  return true;
}

void RegisterRenameTemplates() {
  DlgTemplate d;
  d.style = WS_POPUP | WS_SYSMENU | DS_MODALFRAME;
  d.cx = 193;
  d.cy = 90;
  d.title = u"重命名";
  const DWORD button = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
  d.items = {
      {int(IDC_RENAME_LABEL), WC_STATIC, WS_VISIBLE, 0, u"文件名:", 15, 37, 36, 8},
      {int(IDC_RENAME_EDIT), WC_EDIT, WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, u"", 57, 34, 112, 14},
      {IDOK, WC_BUTTON, button, 0, u"确定", 57, 61, 49, 17},
      {IDCANCEL, WC_BUTTON, button, 0, u"取消", 121, 61, 49, 17},
  };
  RegisterDialogTemplate(IDD_RENAME, d);
}

void InstallRenameDialog() { RegisterRenameTemplates(); }
