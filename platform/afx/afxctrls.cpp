// Controls of the class library and the tooltip stand-in.
#include "platform/afx/afxctrls.h"

namespace {

// Tooltips keep their settings and show nothing: no tools are ever added to them.
LRESULT ToolTipProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto* tt = dynamic_cast<CToolTipCtrl*>(CWnd::FromHandlePermanent(h));
  switch (msg) {
    case TTM_RELAYEVENT: return 0;
    case TTM_SETDELAYTIME:
      if (tt && w <= TTDT_INITIAL) tt->m_delays[w] = int(l);
      if (tt && w == TTDT_AUTOMATIC) tt->m_delays[TTDT_INITIAL] = int(l), tt->m_delays[TTDT_AUTOPOP] = int(l) * 10;
      return 0;
    case TTM_SETMAXTIPWIDTH: {
      if (!tt) return -1;
      int old = tt->m_maxWidth;
      tt->m_maxWidth = int(l);
      return old;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}

}  // namespace

BOOL CButton::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg == WM_DRAWITEM) {
    if (!ReflectChildNotify(msg, wParam, lParam, result)) DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    if (result) *result = TRUE;
    return TRUE;
  }
  return CWnd::OnChildNotify(msg, wParam, lParam, result);
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style) {
  static const bool registered = [] {
    InitWindowLayer();
    WNDCLASSW wc{};
    wc.lpfnWndProc = &ToolTipProc;
    wc.lpszClassName = u"tooltips_class32";
    return RegisterClassW(&wc) != FALSE;
  }();
  (void)registered;
  return CreateEx(0, u"tooltips_class32", u"", WS_POPUP | style, RECT{0, 0, 0, 0}, parent, 0);
}

int CToolTipCtrl::GetDelayTime(DWORD which) const { return which <= TTDT_INITIAL ? m_delays[which] : 0; }
