// The class library's dialogs: CDialog and CDialogEx over templates from the template store,
// modal (DoModal, on any thread) or modeless (Create), with data exchange.
#pragma once

#include "platform/afx/afxwin.h"

using INT_PTR = intptr_t;

class CDataExchange {
 public:
  CDataExchange(CWnd* dlg, BOOL save) : m_bSaveAndValidate(save), m_pDlgWnd(dlg) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};

class CDialog : public CWnd {
 public:
  CDialog() = default;
  explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
  // Runs the dialog modally on the calling thread: the owner (the parent, else the main
  // window's last active popup) is disabled meanwhile. The EndDialog value, -1 on failure.
  virtual INT_PTR DoModal();
  // Creates the dialog modeless; it shows itself when its template says WS_VISIBLE.
  virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
  void EndDialog(int result) { ::EndDialog(m_hWnd, result); }
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  virtual void DoDataExchange(CDataExchange*) {}
  BOOL UpdateData(BOOL save = TRUE);
  BOOL PreTranslateMessage(MSG* msg) override;
  void GotoDlgCtrl(CWnd* ctl);
  void NextDlgCtrl() const { SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, 0); }
  void PrevDlgCtrl() const { SendMessageW(m_hWnd, WM_NEXTDLGCTL, 1, 0); }
  void SetDefID(UINT id) { SendMessageW(m_hWnd, DM_SETDEFID, id, 0); }
  DWORD GetDefID() const { return DWORD(SendMessageW(m_hWnd, DM_GETDEFID, 0, 0)); }
  void MapDialogRect(RECT* r) const { ::MapDialogRect(m_hWnd, r); }

  UINT m_nIDTemplate = 0;
  const DlgTemplate* m_lpDialogTemplate = nullptr;  // used instead of the id when set
  CWnd* m_pParentWnd = nullptr;

  DECLARE_MESSAGE_MAP()

 protected:
  void HandleOK() { OnOK(); }
  void HandleCancel() { OnCancel(); }

 private:
  HWND CreateFromTemplate(HWND parent, bool hidden);
};



class CDialogEx : public CDialog {
 public:
  using CDialog::CDialog;
  void SetBackgroundColor(COLORREF c, BOOL repaint = TRUE);
  HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);

  DECLARE_MESSAGE_MAP()

 private:
  CBrush m_brush;
};

// The dialog procedure of class-library dialogs: WM_INITDIALOG goes to OnInitDialog.
LRESULT AfxDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Binds the control with the id to `ctl` (subclassing it) the first time.
void DDX_Control(CDataExchange* dx, int id, CWnd& ctl);
void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
// The index of the checked radio button of the group that starts at `id`, -1 for none.
void DDX_Radio(CDataExchange* dx, int id, int& value);
