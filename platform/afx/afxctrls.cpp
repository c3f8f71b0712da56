// Controls of the class library.
#include "platform/afx/afxctrls.h"

BOOL CButton::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg == WM_DRAWITEM) {
    if (!ReflectChildNotify(msg, wParam, lParam, result)) DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    if (result) *result = TRUE;
    return TRUE;
  }
  return CWnd::OnChildNotify(msg, wParam, lParam, result);
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style) {
  InitWindowLayer();
  return CreateEx(WS_EX_TOPMOST, TOOLTIPS_CLASS, u"", WS_POPUP | style, RECT{0, 0, 0, 0}, parent, 0);
}
