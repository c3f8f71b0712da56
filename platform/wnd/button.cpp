// The "Button" control: push, default push, check box, radio button, group box and owner-drawn
// buttons, with mouse capture while pressed, the space bar, and BN_CLICKED to the parent.
#include <cmath>
#include <map>

#include "platform/paint/gdi.h"
#include "platform/wnd/controls.h"
#include "platform/wnd/dialog.h"
#include "platform/wnd/wndobj.h"

namespace {

struct ButtonState {
  WPARAM check = BST_UNCHECKED;
  bool pushed = false;    // drawn pressed
  bool tracking = false;  // the mouse went down on it
  bool focus = false;
  HFONT font = nullptr;
};

std::map<HWND, ButtonState>& States() {
  static auto& m = *new std::map<HWND, ButtonState>;
  return m;
}

ButtonState Get(HWND h) {
  LayerLock g(Layer().m);
  return States()[h];
}

template <typename F>
void Change(HWND h, F&& f) {
  LayerLock g(Layer().m);
  f(States()[h]);
}

DWORD Kind(HWND h) { return StyleOf(h) & BS_TYPEMASK; }

void Notify(HWND h, WORD code) {
  HWND p = GetParent(h);
  if (p) SendMessageW(p, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), code), reinterpret_cast<LPARAM>(h));
}

void Click(HWND h) {
  const DWORD k = Kind(h);
  if (k == BS_AUTOCHECKBOX) {
    SendMessageW(h, BM_SETCHECK, Get(h).check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
  } else if (k == BS_AUTO3STATE) {
    SendMessageW(h, BM_SETCHECK, (Get(h).check + 1) % 3, 0);
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
  const ButtonState st = Get(h);
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

LRESULT ButtonProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_NCDESTROY: {
      LayerLock g(Layer().m);
      States().erase(h);
      return 0;
    }
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
      Change(h, [&](ButtonState& s) { s.font = reinterpret_cast<HFONT>(w); });
      if (l) Repaint(h);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(Get(h).font);
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
      Change(h, [](ButtonState& s) { s.pushed = true, s.tracking = true; });
      Repaint(h);
      if (msg == WM_LBUTTONDBLCLK && (StyleOf(h) & BS_NOTIFY)) Notify(h, BN_DOUBLECLICKED);
      return 0;
    case WM_MOUSEMOVE: {
      ButtonState st = Get(h);
      if (!st.tracking) return 0;
      RECT rc{};
      GetClientRect(h, &rc);
      const bool inside = PtInRect(&rc, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}) != 0;
      if (inside != st.pushed) {
        Change(h, [&](ButtonState& s) { s.pushed = inside; });
        Repaint(h);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      ButtonState st = Get(h);
      if (!st.tracking) return 0;
      Change(h, [](ButtonState& s) { s.pushed = false, s.tracking = false; });
      if (GetCapture() == h) ReleaseCapture();
      Repaint(h);
      RECT rc{};
      GetClientRect(h, &rc);
      if (PtInRect(&rc, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)})) Click(h);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (Get(h).tracking && reinterpret_cast<HWND>(l) != h) {
        Change(h, [](ButtonState& s) { s.pushed = false, s.tracking = false; });
        Repaint(h);
      }
      return 0;
    case WM_KEYDOWN:
      if (w == VK_SPACE) {
        Change(h, [](ButtonState& s) { s.pushed = true; });
        Repaint(h);
      }
      return 0;
    case WM_KEYUP:
      if (w == VK_SPACE && Get(h).pushed) {
        Change(h, [](ButtonState& s) { s.pushed = false; });
        Repaint(h);
        Click(h);
      }
      return 0;
    case WM_SETFOCUS:
      Change(h, [](ButtonState& s) { s.focus = true; });
      Repaint(h);
      if (StyleOf(h) & BS_NOTIFY) Notify(h, BN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      Change(h, [](ButtonState& s) { s.focus = false, s.pushed = s.tracking && s.pushed; });
      Repaint(h);
      if (StyleOf(h) & BS_NOTIFY) Notify(h, BN_KILLFOCUS);
      return 0;
    case BM_GETCHECK: return LRESULT(Get(h).check);
    case BM_SETCHECK: {
      const DWORD k = Kind(h);
      WPARAM v = w;
      if (k != BS_3STATE && k != BS_AUTO3STATE && v == BST_INDETERMINATE) v = BST_CHECKED;
      if (v > BST_INDETERMINATE) v = BST_CHECKED;
      Change(h, [&](ButtonState& s) { s.check = v; });
      Repaint(h);
      return 0;
    }
    case BM_GETSTATE: {
      ButtonState st = Get(h);
      return LRESULT(st.check | (st.pushed ? BST_PUSHED : 0) | (st.focus ? BST_FOCUS : 0));
    }
    case BM_SETSTATE:
      Change(h, [&](ButtonState& s) { s.pushed = w != 0; });
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

// ---- Static ----

struct StaticState {
  HFONT font = nullptr;
};
std::map<HWND, StaticState>& Statics() {
  static auto& m = *new std::map<HWND, StaticState>;
  return m;
}

void DrawStatic(HWND h, HDC dc) {
  const DWORD style = StyleOf(h);
  RECT rc{};
  GetClientRect(h, &rc);
  HFONT font = nullptr;
  {
    LayerLock g(Layer().m);
    font = Statics()[h].font;
  }
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

LRESULT StaticProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_NCDESTROY: {
      LayerLock g(Layer().m);
      Statics().erase(h);
      return 0;
    }
    case WM_NCHITTEST: return (StyleOf(h) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_GETDLGCODE: return DLGC_STATIC;
    case WM_SETFONT: {
      {
        LayerLock g(Layer().m);
        Statics()[h].font = reinterpret_cast<HFONT>(w);
      }
      if (l) InvalidateRect(h, nullptr, TRUE);
      return 0;
    }
    case WM_GETFONT: {
      LayerLock g(Layer().m);
      return reinterpret_cast<LRESULT>(Statics()[h].font);
    }
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
        DrawStatic(h, reinterpret_cast<HDC>(w));
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) DrawStatic(h, dc);
      EndPaint(h, &ps);
      return 0;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}

// ---- Progress bar ----

struct ProgressState {
  int low = 0, high = 100, pos = 0, step = 10;
  COLORREF bar = CLR_INVALID;
};
std::map<HWND, ProgressState>& Progress() {
  static auto& m = *new std::map<HWND, ProgressState>;
  return m;
}

void DrawProgress(HWND h, HDC dc) {
  ProgressState st;
  {
    LayerLock g(Layer().m);
    st = Progress()[h];
  }
  RECT rc{};
  GetClientRect(h, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  const int64_t span = int64_t(st.high) - st.low;
  if (span <= 0) return;
  const int64_t done = std::clamp<int64_t>(int64_t(st.pos) - st.low, 0, span);
  RECT bar = rc;
  bar.right = LONG(rc.left + (int64_t(rc.right - rc.left) * done) / span);
  FillSolidRectDc(dc, &bar, st.bar == CLR_INVALID ? GetSysColor(COLOR_HIGHLIGHT) : st.bar);
}

LRESULT ProgressProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  auto update = [&](auto&& f) {
    LRESULT r;
    {
      LayerLock g(Layer().m);
      r = f(Progress()[h]);
    }
    InvalidateRect(h, nullptr, FALSE);
    return r;
  };
  auto clampPos = [](ProgressState& s) { s.pos = std::clamp(s.pos, std::min(s.low, s.high), std::max(s.low, s.high)); };
  switch (msg) {
    case WM_NCDESTROY: {
      LayerLock g(Layer().m);
      Progress().erase(h);
      return 0;
    }
    case PBM_SETRANGE:
      return update([&](ProgressState& s) {
        LRESULT old = MAKELRESULT(s.low, s.high);
        s.low = LOWORD(uintptr_t(l)), s.high = HIWORD(uintptr_t(l));
        clampPos(s);
        return old;
      });
    case PBM_SETRANGE32:
      return update([&](ProgressState& s) {
        LRESULT old = MAKELRESULT(s.low, s.high);
        s.low = int(w), s.high = int(l);
        clampPos(s);
        return old;
      });
    case PBM_GETRANGE: {
      LayerLock g(Layer().m);
      ProgressState& s = Progress()[h];
      if (auto* r = reinterpret_cast<PBRANGE*>(l)) r->iLow = s.low, r->iHigh = s.high;
      return w ? s.low : s.high;
    }
    case PBM_SETPOS:
      return update([&](ProgressState& s) {
        LRESULT old = s.pos;
        s.pos = int(w);
        clampPos(s);
        return old;
      });
    case PBM_DELTAPOS:
      return update([&](ProgressState& s) {
        LRESULT old = s.pos;
        s.pos = int(std::clamp<int64_t>(int64_t(s.pos) + int(w), INT32_MIN, INT32_MAX));
        clampPos(s);
        return old;
      });
    case PBM_SETSTEP:
      return update([&](ProgressState& s) {
        LRESULT old = s.step;
        s.step = int(w);
        return old;
      });
    case PBM_STEPIT:
      return update([&](ProgressState& s) {
        LRESULT old = s.pos;
        s.pos = int(std::clamp<int64_t>(int64_t(s.pos) + s.step, INT32_MIN, INT32_MAX));
        if (s.pos > s.high) s.pos = s.low + (s.pos - s.high);  // wraps round as the control does
        clampPos(s);
        return old;
      });
    case PBM_GETPOS: {
      LayerLock g(Layer().m);
      return Progress()[h].pos;
    }
    case PBM_SETBARCOLOR:
      return update([&](ProgressState& s) {
        LRESULT old = LRESULT(s.bar);
        s.bar = COLORREF(l);
        return old;
      });
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        DrawProgress(h, reinterpret_cast<HDC>(w));
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) DrawProgress(h, dc);
      EndPaint(h, &ps);
      return 0;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}

}  // namespace

LRESULT EditProc(HWND h, UINT msg, WPARAM w, LPARAM l);

void RegisterControlClasses() {
  auto reg = [](const char16_t* name, WNDPROC proc, UINT style, const char16_t* cursor) {
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    wc.hCursor = LoadCursorW(nullptr, cursor);
    RegisterClassW(&wc);
  };
  reg(WC_BUTTON, &ButtonProc, CS_DBLCLKS, IDC_ARROW);
  reg(WC_STATIC, &StaticProc, 0, IDC_ARROW);
  reg(WC_EDIT, &EditProc, CS_DBLCLKS, IDC_IBEAM);
  reg(PROGRESS_CLASS, &ProgressProc, 0, IDC_ARROW);
  WNDCLASSW dlg{};
  dlg.style = CS_DBLCLKS | CS_SAVEBITS;
  dlg.lpfnWndProc = &DefDlgProcW;
  dlg.lpszClassName = WC_DIALOG;
  dlg.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&dlg);
}
