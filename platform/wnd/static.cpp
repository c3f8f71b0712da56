// The "Static" control: text (left, centred, right, vertically centred with SS_CENTERIMAGE),
// black frames and owner-drawn statics, over the brush its parent gives through
// WM_CTLCOLORSTATIC (a null brush leaves what lies under it).
#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/wndobj.h"

namespace {

struct StaticState : WindowData {
  HFONT font = nullptr;
};

void DrawStatic(HWND h, HDC dc, HFONT font) {
  const DWORD style = StyleOf(h);
  RECT rc{};
  GetClientRect(h, &rc);
  HGDIOBJ old = SelectObject(dc, font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  HWND p = GetParent(h);
  HBRUSH bg = p ? reinterpret_cast<HBRUSH>(SendMessageW(p, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                        reinterpret_cast<LPARAM>(h)))
                : GetSysColorBrush(COLOR_BTNFACE);
  if (bg) FillRect(dc, &rc, bg);  // a null brush (the stock one draws nothing) leaves what is under it
  const DWORD type = style & SS_TYPEMASK;
  if (type == SS_BLACKFRAME) {
    FrameRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  } else if (type == SS_OWNERDRAW) {
    DRAWITEMSTRUCT dis{ODT_STATIC, UINT(GetDlgCtrlID(h)), 0, ODA_DRAWENTIRE, 0, h, dc, rc, 0};
    if (p) SendMessageW(p, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
  } else {
    UINT fmt = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
    if (type == SS_LEFTNOWORDWRAP) fmt |= DT_SINGLELINE;
    else if (style & SS_CENTERIMAGE) fmt |= DT_SINGLELINE | DT_VCENTER;
    else fmt |= DT_WORDBREAK;
    if (style & SS_NOPREFIX) fmt |= DT_NOPREFIX;
    if (style & SS_ENDELLIPSIS) fmt |= DT_END_ELLIPSIS;
    if (style & WS_DISABLED) SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    SetBkMode(dc, TRANSPARENT);
    CString t = GetWindowTextString(h);
    DrawTextW(dc, t.GetString(), t.GetLength(), &rc, fmt);
  }
  SelectObject(dc, old);
}

}  // namespace

LRESULT StaticProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<StaticState> s = EnsureWindowData<StaticState>(h);
  switch (msg) {
    case WM_NCHITTEST: return (StyleOf(h) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_SETFONT:
      s->font = reinterpret_cast<HFONT>(w);
      if (l) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s->font);
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(h, msg, w, l);
      InvalidateRect(h, nullptr, TRUE);
      return r;
    }
    case WM_ENABLE: InvalidateRect(h, nullptr, TRUE); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
      if (HWND p = GetParent(h)) {
        SendMessageW(p, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), STN_CLICKED), reinterpret_cast<LPARAM>(h));
      }
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        DrawStatic(h, reinterpret_cast<HDC>(w), s->font);
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) DrawStatic(h, dc, s->font);
      EndPaint(h, &ps);
      return 0;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}
