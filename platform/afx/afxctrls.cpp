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

TOOLINFOW CToolTipCtrl::Info(CWnd* wnd, UINT_PTR id, const RECT* rect, const char16_t* text) {
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.lpszText = const_cast<char16_t*>(text);
  if (!wnd) return ti;
  if (!rect && id == 0) {
    // The window itself is the tool; its parent hears of it.
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = ::GetParent(wnd->m_hWnd);
    ti.uId = reinterpret_cast<UINT_PTR>(wnd->m_hWnd);
  } else {
    ti.hwnd = wnd->m_hWnd;
    ti.uId = id;
    if (rect) ti.rect = *rect;
  }
  return ti;
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, const char16_t* text, const RECT* rect, UINT_PTR id) {
  if (!wnd) return FALSE;
  TOOLINFOW ti = Info(wnd, id, rect, text);
  return BOOL(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

void CToolTipCtrl::DelTool(CWnd* wnd, UINT_PTR id) {
  TOOLINFOW ti = Info(wnd, id, nullptr, nullptr);
  SendMessage(TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::UpdateTipText(const char16_t* text, CWnd* wnd, UINT_PTR id) {
  TOOLINFOW ti = Info(wnd, id, nullptr, text);
  SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::SetToolRect(CWnd* wnd, UINT_PTR id, const RECT* rect) {
  TOOLINFOW ti = Info(wnd, id, rect, nullptr);
  SendMessage(TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&ti));
}
