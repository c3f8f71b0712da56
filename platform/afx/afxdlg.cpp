// CDialog: creation from the template store, the modal loop with pre-translation, OK and
// Cancel, and data exchange.
#include "platform/afx/afxdlg.h"

#include <algorithm>
#include <string>

#include "platform/afx/afxmsg.h"
#include "platform/wnd/controls.h"

namespace {

void AttachDialog(HWND h, void* ctx) {
  auto* d = static_cast<CDialog*>(ctx);
  d->Attach(h);
  d->m_pfnSuper = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
}

}  // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, HandleOK)
ON_COMMAND(IDCANCEL, HandleCancel)
END_MESSAGE_MAP()

LRESULT AfxDlgProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  if (msg != WM_INITDIALOG) return FALSE;
  auto* d = dynamic_cast<CDialog*>(CWnd::FromHandlePermanent(hwnd));
  return d ? d->OnInitDialog() : TRUE;
}

HWND CDialog::CreateFromTemplate(HWND parent, bool hidden) {
  const DlgTemplate* t = m_lpDialogTemplate ? m_lpDialogTemplate : FindDialogTemplate(m_nIDTemplate);
  if (!t || m_hWnd) return nullptr;
  DlgTemplate copy = *t;
  if (hidden) copy.style &= ~WS_VISIBLE;
  HookNextWindowCreation(&AttachDialog, this);
  HWND h = CreateDialogIndirectParamW(nullptr, &copy, parent, &AfxDlgProc, 0);
  HookNextWindowCreation(nullptr, nullptr);
  if (!h && m_hWnd) Detach();
  return h;
}

INT_PTR CDialog::DoModal() {
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!owner) {
    CWnd* main = AfxGetMainWnd();
    if (main && main != this && main->m_hWnd) owner = GetLastActivePopup(main->m_hWnd);
  }
  if (owner) owner = GetAncestor(owner, GA_ROOT);
  HWND h = CreateFromTemplate(owner, true);
  if (!h) return -1;
  const LRESULT r = RunModalDialogLoop(h, owner, [](MSG* m, void*) { return AfxPreTranslateMessage(m) != FALSE; },
                                       nullptr);
  if (IsWindow(h)) ::DestroyWindow(h);
  return INT_PTR(r);
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  if (templateId) m_nIDTemplate = templateId;
  if (parent) m_pParentWnd = parent;
  return CreateFromTemplate(parent ? parent->m_hWnd : nullptr, false) != nullptr;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL save) {
  CDataExchange dx(this, save);
  DoDataExchange(&dx);
  return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
  if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) return IsDialogMessageW(m_hWnd, msg);
  return FALSE;
}

void CDialog::GotoDlgCtrl(CWnd* ctl) {
  if (ctl) SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ctl->m_hWnd), TRUE);
}

BEGIN_MESSAGE_MAP(CDialogEx, CDialog)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

void CDialogEx::SetBackgroundColor(COLORREF c, BOOL repaint) {
  m_brush.DeleteObject();
  m_brush.CreateSolidBrush(c);
  if (repaint && m_hWnd) Invalidate();
}

HBRUSH CDialogEx::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
  if (ctlColor == CTLCOLOR_DLG && m_brush.m_hObject) return m_brush;
  return CDialog::OnCtlColor(dc, wnd, ctlColor);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& ctl) {
  if (ctl.m_hWnd || !dx || !dx->m_pDlgWnd) return;
  HWND h = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
  if (h) ctl.SubclassWindow(h);
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  HWND h = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
  if (!h) return;
  if (dx->m_bSaveAndValidate) value = GetWindowTextString(h);
  else SetWindowTextW(h, value);
}

void DDX_Text(CDataExchange* dx, int id, int& value) {
  HWND h = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
  if (!h) return;
  if (dx->m_bSaveAndValidate) {
    CString t = GetWindowTextString(h);
    long long v = 0;
    bool neg = false;
    int i = 0;
    if (i < t.GetLength() && (t[i] == u'-' || t[i] == u'+')) neg = t[i++] == u'-';
    for (; i < t.GetLength() && t[i] >= u'0' && t[i] <= u'9' && v < (1LL << 32); ++i) v = v * 10 + (t[i] - u'0');
    v = neg ? -v : v;
    value = int(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
  } else {
    SetWindowTextW(h, CString(std::string_view(std::to_string(value))));
  }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  HWND h = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
  if (!h) return;
  if (dx->m_bSaveAndValidate) value = int(SendMessageW(h, BM_GETCHECK, 0, 0));
  else SendMessageW(h, BM_SETCHECK, WPARAM(value < 0 ? 0 : value), 0);
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
  HWND dlg = dx->m_pDlgWnd->m_hWnd;
  HWND first = ::GetDlgItem(dlg, id);
  if (!first) return;
  if (dx->m_bSaveAndValidate) value = -1;
  int index = 0;
  HWND h = first;
  for (int guard = 0; h && guard < 1000; ++guard, ++index) {
    if (dx->m_bSaveAndValidate) {
      if (SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
    } else {
      SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    h = ::GetWindow(h, GW_HWNDNEXT);
    if (h && (GetWindowLongPtrW(h, GWL_STYLE) & WS_GROUP)) break;
  }
}
