// The default handling of window messages: frames and hit-testing, erasing and painting,
// cursors, activation, placement messages, system commands with the move and size loops.
#include <algorithm>

#include "platform/paint/gdi.h"
#include "platform/wnd/backend.h"
#include "platform/wnd/wndobj.h"

namespace {

constexpr int kCaptionHeight = 20;

// Where the caption buttons of a frame lie (window coordinates), as both the painter and the
// hit-test use them: close at the right, then maximise and minimise. Minimise and maximise
// come as a pair when the window asks for either, and only with a system menu.
struct CaptionButtons {
  bool close = false;
  bool boxes = false;
  RECT closeRect{}, maxRect{}, minRect{};
};

CaptionButtons CaptionButtonsOf(DWORD style, DWORD exStyle, int windowWidth) {
  CaptionButtons b;
  if ((style & WS_CAPTION) != WS_CAPTION || !(style & WS_SYSMENU)) return b;
  const RECT in = FrameInsets(style, exStyle);
  const int top = in.top - kCaptionHeight + 2, h = kCaptionHeight - 4, w = h + 2;
  const int right = windowWidth - in.right - 2;
  b.close = true;
  b.closeRect = RECT{right - w, top, right, top + h};
  b.boxes = (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) != 0 && !(exStyle & WS_EX_TOOLWINDOW);
  if (b.boxes) {
    b.maxRect = RECT{b.closeRect.left - 2 - w, top, b.closeRect.left - 2, top + h};
    b.minRect = RECT{b.maxRect.left - w, top, b.maxRect.left, top + h};
  }
  return b;
}

enum class Glyph { Close, Minimise, Maximise, Restore };

// One caption button: a raised (or, pressed, sunken) face with its glyph; greyed when the
// window does not offer it.
void DrawCaptionButton(HDC dc, RECT r, Glyph g, bool pressed, bool enabled) {
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  const COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), sh = GetSysColor(COLOR_BTNSHADOW),
                 dk = GetSysColor(COLOR_3DDKSHADOW);
  auto edge = [&](RECT e, COLORREF tl, COLORREF br) {
    RECT t{e.left, e.top, e.right, e.top + 1}, l{e.left, e.top, e.left + 1, e.bottom};
    RECT b{e.left, e.bottom - 1, e.right, e.bottom}, rr{e.right - 1, e.top, e.right, e.bottom};
    FillSolidRectDc(dc, &b, br);
    FillSolidRectDc(dc, &rr, br);
    FillSolidRectDc(dc, &t, tl);
    FillSolidRectDc(dc, &l, tl);
  };
  edge(r, pressed ? dk : hi, pressed ? hi : dk);
  RECT inner = r;
  InflateRect(&inner, -1, -1);
  edge(inner, pressed ? sh : GetSysColor(COLOR_BTNFACE), pressed ? GetSysColor(COLOR_BTNFACE) : sh);
  const COLORREF ink = enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT);
  const int cx = (r.left + r.right) / 2 + (pressed ? 1 : 0), cy = (r.top + r.bottom) / 2 + (pressed ? 1 : 0);
  auto fill = [&](int l, int t, int rr, int b) {
    RECT x{l, t, rr, b};
    FillSolidRectDc(dc, &x, ink);
  };
  switch (g) {
    case Glyph::Close:
      // Two strokes, two pixels wide, from corner to corner of an 8 by 7 box.
      for (int i = 0; i < 7; ++i) {
        fill(cx - 4 + i, cy - 4 + i, cx - 2 + i, cy - 3 + i);
        fill(cx + 2 - i, cy - 4 + i, cx + 4 - i, cy - 3 + i);
      }
      break;
    case Glyph::Minimise: fill(cx - 4, cy + 2, cx + 2, cy + 4); break;
    case Glyph::Maximise:
      fill(cx - 5, cy - 5, cx + 4, cy - 3);
      fill(cx - 5, cy - 3, cx - 4, cy + 4);
      fill(cx + 3, cy - 3, cx + 4, cy + 4);
      fill(cx - 5, cy + 3, cx + 4, cy + 4);
      break;
    case Glyph::Restore:
      fill(cx - 3, cy - 5, cx + 4, cy - 4);
      fill(cx + 3, cy - 4, cx + 4, cy + 1);
      fill(cx - 5, cy - 2, cx + 2, cy);
      fill(cx - 5, cy, cx - 4, cy + 4);
      fill(cx + 1, cy, cx + 2, cy + 4);
      fill(cx - 5, cy + 3, cx + 2, cy + 4);
      break;
  }
}

HBRUSH ClassBrush(HWND hwnd) {
  auto b = GetClassLongPtrW(hwnd, GCLP_HBRBACKGROUND);
  if (!b) return nullptr;
  if (b <= 64) return GetSysColorBrush(int(b) - 1);  // COLOR_x + 1, as classes give it
  return reinterpret_cast<HBRUSH>(b);
}

LRESULT HitTest(HWND hwnd, int sx, int sy) {
  RECT wr{};
  if (!GetWindowRect(hwnd, &wr)) return HTNOWHERE;
  POINT p{sx, sy};
  if (sx < wr.left || sy < wr.top || sx >= wr.right || sy >= wr.bottom) return HTNOWHERE;
  POINT c{sx, sy};
  ScreenToClient(hwnd, &c);
  RECT cr{};
  GetClientRect(hwnd, &cr);
  if (PtInRect(&cr, c)) return HTCLIENT;
  const DWORD style = StyleOf(hwnd);
  const int x = p.x - wr.left, y = p.y - wr.top;
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  if (style & WS_THICKFRAME) {
    const int b = 4;
    const bool l = x < b, r = x >= w - b, t = y < b, bt = y >= h - b;
    if (t && l) return HTTOPLEFT;
    if (t && r) return HTTOPRIGHT;
    if (bt && l) return HTBOTTOMLEFT;
    if (bt && r) return HTBOTTOMRIGHT;
    if (l) return HTLEFT;
    if (r) return HTRIGHT;
    if (t) return HTTOP;
    if (bt) return HTBOTTOM;
  }
  if ((style & WS_CAPTION) == WS_CAPTION) {
    RECT in = FrameInsets(style, ExStyleOf(hwnd));
    if (y >= in.top - kCaptionHeight && y < in.top) {
      const CaptionButtons b = CaptionButtonsOf(style, ExStyleOf(hwnd), w);
      const POINT wp{x, y};
      if (b.close && PtInRect(&b.closeRect, wp)) return HTCLOSE;
      if (b.boxes && PtInRect(&b.maxRect, wp)) return HTMAXBUTTON;
      if (b.boxes && PtInRect(&b.minRect, wp)) return HTMINBUTTON;
      return HTCAPTION;
    }
  }
  for (int bar : {SB_VERT, SB_HORZ}) {
    const RECT sb = WindowScrollBarRect(hwnd, bar);
    if (PtInRect(&sb, POINT{x, y})) return bar == SB_VERT ? HTVSCROLL : HTHSCROLL;
  }
  return HTBORDER;
}

HCURSOR CursorForHit(LRESULT hit) {
  switch (hit) {
    case HTLEFT:
    case HTRIGHT: return LoadCursorW(nullptr, IDC_SIZEWE);
    case HTTOP:
    case HTBOTTOM: return LoadCursorW(nullptr, IDC_SIZENS);
    case HTTOPLEFT:
    case HTBOTTOMRIGHT: return LoadCursorW(nullptr, IDC_SIZENWSE);
    case HTTOPRIGHT:
    case HTBOTTOMLEFT: return LoadCursorW(nullptr, IDC_SIZENESW);
    default: return LoadCursorW(nullptr, IDC_ARROW);
  }
}

void SendPlacementMessages(HWND hwnd, const WINDOWPOS* wp) {
  if (!(wp->flags & SWP_NOMOVE)) {
    RECT r{};
    GetClientRect(hwnd, &r);
    POINT o{0, 0};
    ClientToScreen(hwnd, &o);
    if (IsChildStyle(hwnd)) ScreenToClient(GetParent(hwnd), &o);
    SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
  }
  if (!(wp->flags & SWP_NOSIZE)) {
    RECT r{};
    GetClientRect(hwnd, &r);
    WPARAM kind = IsZoomed(hwnd) ? SIZE_MAXIMIZED : IsIconic(hwnd) ? SIZE_MINIMIZED : SIZE_RESTORED;
    SendMessageW(hwnd, WM_SIZE, kind, MAKELPARAM(r.right, r.bottom));
  }
}

MINMAXINFO AskMinMaxInfo(HWND hwnd) {
  MINMAXINFO mmi{};
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  mmi.ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
  mmi.ptMaxPosition = POINT{work.left, work.top};
  mmi.ptMinTrackSize = POINT{0, 0};
  mmi.ptMaxTrackSize = POINT{GetSystemMetrics(SM_CXSCREEN) * 4, GetSystemMetrics(SM_CYSCREEN) * 4};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  mmi.ptMinTrackSize.x = std::max<LONG>(0, mmi.ptMinTrackSize.x);
  mmi.ptMinTrackSize.y = std::max<LONG>(0, mmi.ptMinTrackSize.y);
  mmi.ptMaxTrackSize.x = std::max(mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x);
  mmi.ptMaxTrackSize.y = std::max(mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y);
  return mmi;
}

void ClampToTrackSize(HWND hwnd, WINDOWPOS* wp) {
  if (IsChildStyle(hwnd) || (wp->flags & SWP_NOSIZE)) return;
  const MINMAXINFO mmi = AskMinMaxInfo(hwnd);
  wp->cx = std::clamp<int>(wp->cx, mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x);
  wp->cy = std::clamp<int>(wp->cy, mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y);
}

LRESULT CtlColorDefault(UINT msg, HDC dc) {
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  if (msg == WM_CTLCOLOREDIT || msg == WM_CTLCOLORLISTBOX) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace

bool GetTrackSizeLimits(HWND top, SIZE* minSize, SIZE* maxSize) {
  if (!IsWindow(top)) return false;
  const MINMAXINFO mmi = AskMinMaxInfo(top);
  if (minSize) *minSize = SIZE{mmi.ptMinTrackSize.x, mmi.ptMinTrackSize.y};
  if (maxSize) *maxSize = SIZE{mmi.ptMaxTrackSize.x, mmi.ptMaxTrackSize.y};
  return true;
}

void DrawDefaultFrame(HWND hwnd, HDC dc) {
  RECT wr{};
  GetWindowRect(hwnd, &wr);
  OffsetRect(&wr, -wr.left, -wr.top);
  const DWORD style = StyleOf(hwnd), ex = ExStyleOf(hwnd);
  RECT in = FrameInsets(style, ex);
  RECT r = wr;
  if (ex & WS_EX_CLIENTEDGE) {
    // Sunken edge just outside the client area.
    RECT e{in.left - 2, in.top - 2, wr.right - in.right + 2, wr.bottom - in.bottom + 2};
    HBRUSH sh = GetSysColorBrush(COLOR_BTNSHADOW), hi = GetSysColorBrush(COLOR_BTNHIGHLIGHT);
    RECT a{e.left, e.top, e.right, e.top + 1}, b{e.left, e.top, e.left + 1, e.bottom};
    FillRect(dc, &a, sh);
    FillRect(dc, &b, sh);
    RECT c{e.left, e.bottom - 1, e.right, e.bottom}, d{e.right - 1, e.top, e.right, e.bottom};
    FillRect(dc, &c, hi);
    FillRect(dc, &d, hi);
    RECT a2{e.left + 1, e.top + 1, e.right - 1, e.top + 2}, b2{e.left + 1, e.top + 1, e.left + 2, e.bottom - 1};
    HBRUSH dk = GetSysColorBrush(COLOR_3DDKSHADOW);
    FillRect(dc, &a2, dk);
    FillRect(dc, &b2, dk);
  }
  const int outer = in.left - ((ex & WS_EX_CLIENTEDGE) ? 2 : 0) - ((ex & WS_EX_STATICEDGE) ? 1 : 0);
  if (outer > 0) {
    HBRUSH face = GetSysColorBrush(outer == 1 ? COLOR_WINDOWTEXT : COLOR_BTNFACE);
    for (int i = 0; i < outer; ++i) {
      FrameRect(dc, &r, face);
      InflateRect(&r, -1, -1);
    }
  }
  if (ex & WS_EX_STATICEDGE) {
    HBRUSH sh = GetSysColorBrush(COLOR_BTNSHADOW);
    FrameRect(dc, &r, sh);
  }
  DrawWindowScrollBars(hwnd, dc);
  if ((style & WS_CAPTION) == WS_CAPTION) {
    RECT cap{outer, outer, wr.right - outer, in.top};
    const bool active = GetAncestor(hwnd, GA_ROOT) == GetForegroundWindow();
    FillSolidRectDc(dc, &cap, active ? RGB(0, 84, 166) : RGB(128, 128, 128));
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    CString t = GetWindowTextString(hwnd);
    RECT tr = cap;
    tr.left += 6;
    const CaptionButtons b = CaptionButtonsOf(style, ex, wr.right);
    if (b.boxes) tr.right = b.minRect.left - 2;
    else if (b.close) tr.right = b.closeRect.left - 2;
    DrawTextW(dc, t.GetString(), t.GetLength(), &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    LRESULT pressed = 0;
    {
      LayerLock g(Layer().m);
      if (VisWindow* v = Vis(hwnd)) pressed = v->pressedCaptionButton;
    }
    if (b.close) DrawCaptionButton(dc, b.closeRect, Glyph::Close, pressed == HTCLOSE, true);
    if (b.boxes) {
      DrawCaptionButton(dc, b.maxRect, IsZoomed(hwnd) ? Glyph::Restore : Glyph::Maximise, pressed == HTMAXBUTTON,
                        (style & WS_MAXIMIZEBOX) != 0);
      DrawCaptionButton(dc, b.minRect, Glyph::Minimise, pressed == HTMINBUTTON, (style & WS_MINIMIZEBOX) != 0);
    }
  }
}

void TrackCaptionButton(HWND hwnd, LRESULT hit) {
  const DWORD style = StyleOf(hwnd);
  if ((hit == HTMAXBUTTON && !(style & WS_MAXIMIZEBOX)) || (hit == HTMINBUTTON && !(style & WS_MINIMIZEBOX))) return;
  auto show = [&](bool down) {
    {
      LayerLock g(Layer().m);
      VisWindow* v = Vis(hwnd);
      if (!v || (v->pressedCaptionButton == hit) == down) return;
      v->pressedCaptionButton = down ? hit : 0;
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN | RDW_UPDATENOW);
  };
  auto over = [&] {
    POINT p{};
    GetCursorPos(&p);
    return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == hit;
  };
  // Pressed while the pointer stays on the button; the command goes out when it is let go there.
  SetCapture(hwnd);
  show(true);
  bool chosen = false;
  for (int guard = 0; guard < 1000000; ++guard) {
    MSG m;
    if (!GetMessageW(&m, nullptr, 0, 0)) {
      PostQuitMessage(int(m.wParam));
      break;
    }
    if (GetCapture() != hwnd || !IsWindow(hwnd)) break;
    if (m.message == WM_MOUSEMOVE) {
      show(over());
      continue;
    }
    if (m.message == WM_LBUTTONUP) {
      chosen = over();
      break;
    }
    if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) break;
    if ((m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) ||
        (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST)) {
      continue;
    }
    DispatchMessageW(&m);
  }
  if (GetCapture() == hwnd) ReleaseCapture();
  if (!IsWindow(hwnd)) return;
  show(false);
  if (!chosen) return;
  if (hit == HTCLOSE) SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  else if (hit == HTMINBUTTON) SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  else SendMessageW(hwnd, WM_SYSCOMMAND, IsZoomed(hwnd) ? SC_RESTORE : SC_MAXIMIZE, 0);
}

bool LayerDefProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  LRESULT& res = *result;
  res = 0;
  switch (msg) {
    case WM_NCCALCSIZE: {
      if (!lParam) return true;
      auto* rc = reinterpret_cast<RECT*>(lParam);  // the first rectangle in both forms
      RECT in = NonClientInsets(StyleOf(hwnd), ExStyleOf(hwnd));
      rc->left += in.left;
      rc->top += in.top;
      rc->right = std::max(rc->left, rc->right - in.right);
      rc->bottom = std::max(rc->top, rc->bottom - in.bottom);
      return true;
    }
    case WM_NCHITTEST: res = HitTest(hwnd, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return true;
    case WM_NCPAINT: {
      HDC dc = GetWindowDC(hwnd);
      DrawDefaultFrame(hwnd, dc);
      ReleaseDC(hwnd, dc);
      return true;
    }
    case WM_NCACTIVATE:
      RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
      res = TRUE;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return true;
    }
    case WM_ERASEBKGND: {
      HBRUSH b = ClassBrush(hwnd);
      if (!b) return true;
      RECT r{};
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, b);
      res = 1;
      return true;
    }
    case WM_PRINTCLIENT:
    case WM_PRINT: return true;
    case WM_SETCURSOR: {
      // A child lets its parent decide first.
      if (IsChildStyle(hwnd)) {
        if (SendMessageW(GetParent(hwnd), WM_SETCURSOR, wParam, lParam)) {
          res = TRUE;
          return true;
        }
      }
      const LRESULT hit = LRESULT(int16_t(LOWORD(uintptr_t(lParam))));
      if (hit == HTCLIENT) {
        auto c = reinterpret_cast<HCURSOR>(GetClassLongPtrW(hwnd, GCLP_HCURSOR));
        if (c) SetCursor(c);
        else if (!IsChildStyle(hwnd)) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        else return true;  // the parent chose nothing: leave the cursor alone
        res = TRUE;
        return true;
      }
      SetCursor(CursorForHit(hit));
      res = TRUE;
      return true;
    }
    case WM_MOUSEACTIVATE:
      if (IsChildStyle(hwnd)) {
        res = SendMessageW(GetParent(hwnd), WM_MOUSEACTIVATE, wParam, lParam);
        if (res) return true;
      }
      res = MA_ACTIVATE;
      return true;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(hwnd)) {
        HWND f = GetFocus();
        if (!f || (f != hwnd && !IsChild(hwnd, f))) SetFocus(hwnd);
      }
      return true;
    case WM_MOUSEWHEEL: {
      // A window with a vertical (else horizontal) scroll bar scrolls three lines a notch;
      // others leave the wheel to their parent.
      const DWORD style = StyleOf(hwnd);
      const int bar = (style & WS_VSCROLL) ? SB_VERT : (style & WS_HSCROLL) ? SB_HORZ : -1;
      if (bar < 0 || (style & WS_DISABLED)) {
        if (IsChildStyle(hwnd)) res = SendMessageW(GetParent(hwnd), msg, wParam, lParam);
        return true;
      }
      int lines = 0;
      {
        LayerLock g(Layer().m);
        VisWindow* v = Vis(hwnd);
        if (!v) return true;
        v->wheelRest += int(int16_t(HIWORD(uintptr_t(wParam))));
        lines = v->wheelRest * 3 / WHEEL_DELTA;  // a partial turn waits for the rest of it
        v->wheelRest -= lines * WHEEL_DELTA / 3;
      }
      const UINT scroll = bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
      for (int i = 0; i < std::min(std::abs(lines), 300); ++i) {
        SendMessageW(hwnd, scroll, MAKEWPARAM(lines > 0 ? SB_LINEUP : SB_LINEDOWN, 0), 0);
      }
      if (lines) SendMessageW(hwnd, scroll, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
      return true;
    }
    case WM_WINDOWPOSCHANGING: ClampToTrackSize(hwnd, reinterpret_cast<WINDOWPOS*>(lParam)); return true;
    case WM_WINDOWPOSCHANGED: SendPlacementMessages(hwnd, reinterpret_cast<const WINDOWPOS*>(lParam)); return true;
    case WM_GETTEXTLENGTH: res = GetWindowTextString(hwnd).GetLength(); return true;
    case WM_GETTEXT: {
      auto* buf = reinterpret_cast<char16_t*>(lParam);
      const int max = int(wParam);
      if (!buf || max <= 0) return true;
      CString t = GetWindowTextString(hwnd);
      const int n = std::min(max - 1, t.GetLength());
      std::copy(t.GetString(), t.GetString() + n, buf);
      buf[n] = 0;
      res = n;
      return true;
    }
    case WM_SETTEXT:
      if ((StyleOf(hwnd) & WS_CAPTION) == WS_CAPTION) RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
      if (!IsChildStyle(hwnd)) {
        if (auto* b = CurrentBackend()) b->WindowTitleChanged(hwnd);
      }
      res = TRUE;
      return true;
    case WM_SETICON:
    case WM_GETICON: {
      {
        LayerLock g(Layer().m);
        VisWindow* v = Vis(hwnd);
        if (!v) return true;
        HICON& slot = wParam == ICON_BIG ? v->iconBig : v->iconSmall;
        res = reinterpret_cast<LRESULT>(slot);
        if (msg == WM_GETICON) return true;
        slot = reinterpret_cast<HICON>(lParam);
      }
      if (!IsChildStyle(hwnd)) {
        if (auto* b = CurrentBackend()) b->WindowIconChanged(hwnd);
      }
      return true;
    }
    case WM_QUERYDRAGICON: {
      LayerLock g(Layer().m);
      VisWindow* v = Vis(hwnd);
      res = v ? reinterpret_cast<LRESULT>(v->iconBig) : 0;
      return true;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: res = CtlColorDefault(msg, reinterpret_cast<HDC>(wParam)); return true;
    case WM_SETREDRAW: {
      // Drawing off hides the window from painting without telling anyone, as the
      // list controls expect; drawing on shows it again.
      DWORD s = StyleOf(hwnd);
      SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR(wParam ? s | WS_VISIBLE : s & ~WS_VISIBLE));
      return true;
    }
    case WM_NCLBUTTONDOWN: {
      const LRESULT hit = LRESULT(wParam);
      if (hit == HTCLOSE || hit == HTMINBUTTON || hit == HTMAXBUTTON) TrackCaptionButton(hwnd, hit);
      else if (hit == HTVSCROLL || hit == HTHSCROLL) {
        TrackScrollBar(hwnd, hit == HTVSCROLL ? SB_VERT : SB_HORZ, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      }
      else if (hit == HTCAPTION) SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lParam);
      else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT) {
        static const int kDir[] = {WMSZ_LEFT, WMSZ_RIGHT, WMSZ_TOP, WMSZ_TOPLEFT,
                                   WMSZ_TOPRIGHT, WMSZ_BOTTOM, WMSZ_BOTTOMLEFT, WMSZ_BOTTOMRIGHT};
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_SIZE + WPARAM(kDir[hit - HTLEFT]), lParam);
      }
      return true;
    }
    case WM_NCLBUTTONDBLCLK:
      // A quick second press on a caption button is a press like the first.
      if (LRESULT(wParam) == HTCLOSE || LRESULT(wParam) == HTMINBUTTON || LRESULT(wParam) == HTMAXBUTTON) {
        TrackCaptionButton(hwnd, LRESULT(wParam));
      } else if (LRESULT(wParam) == HTVSCROLL || LRESULT(wParam) == HTHSCROLL) {
        TrackScrollBar(hwnd, LRESULT(wParam) == HTVSCROLL ? SB_VERT : SB_HORZ,
                       POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      } else if (LRESULT(wParam) == HTCAPTION && (StyleOf(hwnd) & WS_MAXIMIZEBOX)) {
        SendMessageW(hwnd, WM_SYSCOMMAND, IsZoomed(hwnd) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      }
      return true;
    case WM_SYSKEYDOWN:
      // Alt+F4 closes the top-level window the key went to.
      if (wParam == VK_F4 && (lParam & 0x20000000)) SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_SYSCOMMAND, SC_CLOSE, 0);
      return true;
    case WM_SYSKEYUP: return true;
    case WM_SYSCHAR:
      // Alt+Space opens the system menu.
      if (wParam == u' ') SendMessageW(GetAncestor(hwnd, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU, u' ');
      return true;
    case WM_SYSCOMMAND: {
      const WPARAM cmd = wParam & 0xFFF0;
      if (cmd == SC_MOVE) RunSizeMoveLoop(hwnd, 0);
      else if (cmd == SC_SIZE) RunSizeMoveLoop(hwnd, int(wParam & 0xF));
      else if (cmd == SC_CLOSE) SendMessageW(hwnd, WM_CLOSE, 0, 0);
      else if (cmd == SC_MINIMIZE) ShowWindow(hwnd, SW_MINIMIZE);
      else if (cmd == SC_MAXIMIZE) ShowWindow(hwnd, SW_MAXIMIZE);
      else if (cmd == SC_RESTORE) ShowWindow(hwnd, SW_RESTORE);
      else if (cmd == SC_KEYMENU && lParam == u' ') {
        // Alt+Space: the system menu below the caption's left end.
        RECT wr{};
        GetWindowRect(hwnd, &wr);
        const RECT in = FrameInsets(StyleOf(hwnd), ExStyleOf(hwnd));
        TrackSystemMenu(hwnd, POINT{wr.left + in.left, wr.top + in.top});
      }
      return true;
    }
    case WM_RBUTTONUP: {
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ClientToScreen(hwnd, &p);
      SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(p.x, p.y));
      return true;
    }
    case WM_NCRBUTTONUP:
      SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), lParam);
      return true;
    case WM_CONTEXTMENU: {
      // A child leaves it to its parent; a click on the caption opens the system menu.
      if (IsChildStyle(hwnd)) {
        SendMessageW(GetParent(hwnd), WM_CONTEXTMENU, wParam, lParam);
        return true;
      }
      const LRESULT hit = SendMessageW(hwnd, WM_NCHITTEST, 0, lParam);
      if (hit == HTCAPTION || hit == HTSYSMENU) TrackSystemMenu(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return true;
    }
    default: return false;
  }
}

void RunSizeMoveLoop(HWND hwnd, int how) {
  if (!IsWindow(hwnd) || IsZoomed(hwnd)) return;
  HWND top = GetAncestor(hwnd, GA_ROOT);
  RECT start{};
  GetWindowRect(top, &start);
  POINT from{};
  GetCursorPos(&from);
  SendMessageW(top, WM_ENTERSIZEMOVE, 0, 0);
  // A window manager that moves and sizes windows itself does it here; the window follows what
  // it reports until the pointer is let go.
  if (auto* b = CurrentBackend(); b && b->BeginMoveSize(top, how, from)) {
    if (GetCapture()) ReleaseCapture();
    for (int guard = 0; guard < 1000000 && IsWindow(top) && b->MoveSizeActive(top); ++guard) {
      MSG m;
      if (!GetMessageW(&m, nullptr, 0, 0)) {
        PostQuitMessage(int(m.wParam));
        break;
      }
      if ((m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) ||
          (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST)) {
        continue;
      }
      DispatchMessageW(&m);
    }
    if (IsWindow(top)) SendMessageW(top, WM_EXITSIZEMOVE, 0, 0);
    return;
  }
  SetCapture(top);
  for (int guard = 0; guard < 1000000; ++guard) {
    MSG m;
    if (!GetMessageW(&m, nullptr, 0, 0)) {
      PostQuitMessage(int(m.wParam));
      break;
    }
    if (GetCapture() != top) break;
    if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
      SetWindowPos(top, nullptr, start.left, start.top, start.right - start.left, start.bottom - start.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      break;
    }
    if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP) {
      POINT now{};
      GetCursorPos(&now);
      const int dx = now.x - from.x, dy = now.y - from.y;
      RECT r = start;
      if (how == 0) {
        OffsetRect(&r, dx, dy);
      } else {
        if (how == WMSZ_LEFT || how == WMSZ_TOPLEFT || how == WMSZ_BOTTOMLEFT) r.left += dx;
        if (how == WMSZ_RIGHT || how == WMSZ_TOPRIGHT || how == WMSZ_BOTTOMRIGHT) r.right += dx;
        if (how == WMSZ_TOP || how == WMSZ_TOPLEFT || how == WMSZ_TOPRIGHT) r.top += dy;
        if (how == WMSZ_BOTTOM || how == WMSZ_BOTTOMLEFT || how == WMSZ_BOTTOMRIGHT) r.bottom += dy;
        MINMAXINFO mmi{};
        mmi.ptMaxTrackSize = POINT{GetSystemMetrics(SM_CXSCREEN) * 4, GetSystemMetrics(SM_CYSCREEN) * 4};
        SendMessageW(top, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        // The dragged edge stops where the size reaches a limit; the other edge stays.
        const int w = std::clamp<int>(r.right - r.left, mmi.ptMinTrackSize.x,
                                      std::max(mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x));
        const int h = std::clamp<int>(r.bottom - r.top, mmi.ptMinTrackSize.y,
                                      std::max(mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y));
        if (r.left != start.left) r.left = r.right - w;
        else r.right = r.left + w;
        if (r.top != start.top) r.top = r.bottom - h;
        else r.bottom = r.top + h;
      }
      SetWindowPos(top, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
      if (m.message == WM_LBUTTONUP) break;
      continue;
    }
    if (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) continue;
    if (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST) continue;
    DispatchMessageW(&m);
  }
  if (GetCapture() == top) ReleaseCapture();
  SendMessageW(top, WM_EXITSIZEMOVE, 0, 0);
}
