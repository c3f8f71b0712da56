// The "Button" control: push, default push, check box, radio button, group box and owner-drawn
// buttons, with mouse capture while pressed, the space bar, and BN_CLICKED to the parent. Its
// state lives in the window's own data.
#include <cmath>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/wndobj.h"

namespace {

struct ButtonState : WindowData {
  WPARAM check = BST_UNCHECKED;
  bool pushed = false;    // drawn pressed
  bool tracking = false;  // the mouse went down on it
  bool focus = false;
  HFONT font = nullptr;
};

std::shared_ptr<ButtonState> State(HWND h) { return EnsureWindowData<ButtonState>(h); }

DWORD Kind(HWND h) { return StyleOf(h) & BS_TYPEMASK; }

void Notify(HWND h, WORD code) {
  HWND p = GetParent(h);
  if (p) SendMessageW(p, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), code), reinterpret_cast<LPARAM>(h));
}

void Click(HWND h) {
  const DWORD k = Kind(h);
  if (k == BS_AUTOCHECKBOX) {
    SendMessageW(h, BM_SETCHECK, State(h)->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
  } else if (k == BS_AUTO3STATE) {
    SendMessageW(h, BM_SETCHECK, (State(h)->check + 1) % 3, 0);
  } else if (k == BS_AUTORADIOBUTTON) {
    // The other automatic radio buttons of the group go off.
    HWND dlg = GetParent(h);
    SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
    for (HWND o = GetNextDlgGroupItem(dlg, h, FALSE); o && o != h; o = GetNextDlgGroupItem(dlg, o, FALSE)) {
      if (GetWindowClassName(o).CompareNoCase(WC_BUTTON) == 0 && Kind(o) == BS_AUTORADIOBUTTON) {
        SendMessageW(o, BM_SETCHECK, BST_UNCHECKED, 0);
      }
    }
  }
  Notify(h, BN_CLICKED);
}

HBRUSH ParentBrush(HWND h, HDC dc) {
  HWND p = GetParent(h);
  const UINT msg = (Kind(h) == BS_PUSHBUTTON || Kind(h) == BS_DEFPUSHBUTTON) ? WM_CTLCOLORBTN : WM_CTLCOLORSTATIC;
  if (!p) return GetSysColorBrush(COLOR_BTNFACE);
  return reinterpret_cast<HBRUSH>(SendMessageW(p, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h)));
}

void DrawButton(HWND h, HDC dc) {
  const ButtonState st = *State(h);
  const DWORD style = StyleOf(h);
  const DWORD k = style & BS_TYPEMASK;
  const bool enabled = !(style & WS_DISABLED);
  RECT rc{};
  GetClientRect(h, &rc);
  if (k == BS_OWNERDRAW) {
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_BUTTON;
    dis.CtlID = UINT(GetDlgCtrlID(h));
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = (st.pushed ? ODS_SELECTED : 0) | (st.focus ? ODS_FOCUS : 0) | (enabled ? 0 : ODS_DISABLED);
    dis.hwndItem = h;
    dis.hDC = dc;
    dis.rcItem = rc;
    if (HWND p = GetParent(h)) SendMessageW(p, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
    return;
  }
  HFONT font = st.font ? st.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HGDIOBJ oldFont = SelectObject(dc, font);
  HBRUSH bg = ParentBrush(h, dc);
  CString text = GetWindowTextString(h);
  const COLORREF textColour = enabled ? GetTextColor(dc) : GetSysColor(COLOR_GRAYTEXT);
  SetBkMode(dc, TRANSPARENT);
  if (k == BS_PUSHBUTTON || k == BS_DEFPUSHBUTTON) {
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    RECT r = rc;
    if (k == BS_DEFPUSHBUTTON || st.focus) {
      FrameRect(dc, &r, GetSysColorBrush(COLOR_3DDKSHADOW));
      InflateRect(&r, -1, -1);
    }
    const COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), sh = GetSysColor(COLOR_BTNSHADOW);
    RECT t{r.left, r.top, r.right, r.top + 1}, l{r.left, r.top, r.left + 1, r.bottom};
    RECT b{r.left, r.bottom - 1, r.right, r.bottom}, rr{r.right - 1, r.top, r.right, r.bottom};
    FillSolidRectDc(dc, &t, st.pushed ? sh : hi);
    FillSolidRectDc(dc, &l, st.pushed ? sh : hi);
    FillSolidRectDc(dc, &b, st.pushed ? hi : sh);
    FillSolidRectDc(dc, &rr, st.pushed ? hi : sh);
    RECT tr = rc;
    if (st.pushed) OffsetRect(&tr, 1, 1);
    SetTextColor(dc, enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, text.GetString(), text.GetLength(), &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  } else if (k == BS_GROUPBOX) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT frame = rc;
    frame.top += tm.tmHeight / 2;
    FrameRect(dc, &frame, GetSysColorBrush(COLOR_BTNSHADOW));
    if (!text.IsEmpty()) {
      SIZE sz{};
      GetTextExtentPoint32W(dc, text.GetString(), text.GetLength(), &sz);
      RECT tr{8, 0, 8 + sz.cx + 4, tm.tmHeight};
      if (bg) FillRect(dc, &tr, bg);
      SetTextColor(dc, textColour);
      TextOutW(dc, 10, 0, text.GetString(), text.GetLength());
    }
  } else {
    if (bg) FillRect(dc, &rc, bg);
    const int box = 13;
    const int y = (rc.bottom - box) / 2;
    const bool radio = k == BS_RADIOBUTTON || k == BS_AUTORADIOBUTTON;
    if (radio) {
      // A disc row by row: the outline ring, the face, and the dot when checked.
      auto disc = [&](double radius, COLORREF c) {
        const double centre = (box - 1) / 2.0;
        for (int row = 0; row < box; ++row) {
          const double dy = row - centre;
          if (dy * dy > radius * radius) continue;
          const double half = std::sqrt(radius * radius - dy * dy);
          RECT r{LONG(std::lround(centre - half)), y + row, LONG(std::lround(centre + half)) + 1, y + row + 1};
          FillSolidRectDc(dc, &r, c);
        }
      };
      disc(6.2, GetSysColor(COLOR_BTNSHADOW));
      disc(5.2, GetSysColor(COLOR_WINDOW));
      if (st.check) disc(2.2, GetSysColor(COLOR_WINDOWTEXT));
    } else {
      RECT br{0, y, box, y + box};
      FillRect(dc, &br, GetSysColorBrush(COLOR_WINDOW));
      FrameRect(dc, &br, GetSysColorBrush(COLOR_BTNSHADOW));
      if (st.check) {
        RECT m = br;
        InflateRect(&m, -3, -3);
        FillSolidRectDc(dc, &m, st.check == BST_INDETERMINATE ? GetSysColor(COLOR_GRAYTEXT) : GetSysColor(COLOR_WINDOWTEXT));
      }
    }
    RECT tr{box + 4, 0, rc.right, rc.bottom};
    SetTextColor(dc, textColour);
    DrawTextW(dc, text.GetString(), text.GetLength(), &tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (st.focus) {
      SIZE sz{};
      GetTextExtentPoint32W(dc, text.GetString(), text.GetLength(), &sz);
      RECT fr{tr.left - 1, (rc.bottom - sz.cy) / 2 - 1, tr.left + sz.cx + 1, (rc.bottom + sz.cy) / 2 + 1};
      FrameRect(dc, &fr, GetSysColorBrush(COLOR_BTNSHADOW));
    }
  }
  SelectObject(dc, oldFont);
}

void Repaint(HWND h) { InvalidateRect(h, nullptr, FALSE); }

}  // namespace

LRESULT ButtonProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<ButtonState> st = State(h);
  ButtonState& s = *st;
  switch (msg) {
    case WM_GETDLGCODE: {
      const DWORD k = Kind(h);
      if (k == BS_DEFPUSHBUTTON) return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
      if (k == BS_PUSHBUTTON || k == BS_OWNERDRAW) return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
      if (k == BS_RADIOBUTTON || k == BS_AUTORADIOBUTTON) return DLGC_BUTTON | DLGC_RADIOBUTTON;
      if (k == BS_GROUPBOX) return DLGC_STATIC;
      return DLGC_BUTTON;
    }
    case WM_NCHITTEST:
      if (Kind(h) == BS_GROUPBOX) return HTTRANSPARENT;
      return DefWindowProcW(h, msg, w, l);
    case WM_SETFONT:
      s.font = reinterpret_cast<HFONT>(w);
      if (l) Repaint(h);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcW(h, msg, w, l);
      InvalidateRect(h, nullptr, TRUE);
      return r;
    }
    case WM_ENABLE: Repaint(h); return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers everything
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        DrawButton(h, reinterpret_cast<HDC>(w));
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) DrawButton(h, dc);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // a quick second click is a second click
      if (Kind(h) == BS_GROUPBOX) return 0;
      SetFocus(h);
      SetCapture(h);
      s.pushed = true, s.tracking = true;
      Repaint(h);
      if (msg == WM_LBUTTONDBLCLK && (StyleOf(h) & BS_NOTIFY)) Notify(h, BN_DOUBLECLICKED);
      return 0;
    case WM_MOUSEMOVE: {
      if (!s.tracking) return 0;
      RECT rc{};
      GetClientRect(h, &rc);
      const bool inside = PtInRect(&rc, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}) != 0;
      if (inside != s.pushed) {
        s.pushed = inside;
        Repaint(h);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      if (!s.tracking) return 0;
      s.pushed = false, s.tracking = false;
      if (GetCapture() == h) ReleaseCapture();
      Repaint(h);
      RECT rc{};
      GetClientRect(h, &rc);
      if (PtInRect(&rc, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)})) Click(h);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (s.tracking && reinterpret_cast<HWND>(l) != h) {
        s.pushed = false, s.tracking = false;
        Repaint(h);
      }
      return 0;
    case WM_KEYDOWN:
      if (w == VK_SPACE) {
        s.pushed = true;
        Repaint(h);
      }
      return 0;
    case WM_KEYUP:
      if (w == VK_SPACE && s.pushed) {
        s.pushed = false;
        Repaint(h);
        Click(h);
      }
      return 0;
    case WM_SETFOCUS:
      s.focus = true;
      Repaint(h);
      if (StyleOf(h) & BS_NOTIFY) Notify(h, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      s.focus = false, s.pushed = s.tracking && s.pushed;
      Repaint(h);
      if (StyleOf(h) & BS_NOTIFY) Notify(h, BN_KILLFOCUS);
      return 0;
    case BM_GETCHECK: return LRESULT(s.check);
    case BM_SETCHECK: {
      const DWORD k = Kind(h);
      WPARAM v = w;
      if (k != BS_3STATE && k != BS_AUTO3STATE && v == BST_INDETERMINATE) v = BST_CHECKED;
      if (v > BST_INDETERMINATE) v = BST_CHECKED;
      s.check = v;
      Repaint(h);
      return 0;
    }
    case BM_GETSTATE: return LRESULT(s.check | (s.pushed ? BST_PUSHED : 0) | (s.focus ? BST_FOCUS : 0));
    case BM_SETSTATE:
      s.pushed = w != 0;
      Repaint(h);
      return 0;
    case BM_SETSTYLE:
      SetWindowLongPtrW(h, GWL_STYLE, LONG_PTR((StyleOf(h) & ~BS_TYPEMASK) | (DWORD(w) & BS_TYPEMASK)));
      if (l) Repaint(h);
      return 0;
    case BM_CLICK:
      if (IsWindowEnabled(h)) Click(h);
      return 0;
    default: return DefWindowProcW(h, msg, w, l);
  }
}
