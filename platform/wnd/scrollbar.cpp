// Scroll bars: a window's own two bars in its non-client area and the "ScrollBar" control,
// with one look (arrows, track, thumb) and one modal loop for a press on them: line and page
// steps that repeat while the button is held (on the message clock), thumb drags with
// SB_THUMBTRACK and SB_THUMBPOSITION, and SB_ENDSCROLL when the button is let go.
#include <algorithm>

#include "platform/paint/gdi.h"
#include "platform/wnd/wndobj.h"

namespace {

enum ScrollPart { kNoPart = 0, kLineUp, kPageUp, kThumb, kPageDown, kLineDown };

constexpr int kMinThumb = 8;
constexpr UINT_PTR kRepeatTimer = 0x7F5C;  // the loop's own timer, never dispatched
constexpr UINT kFirstRepeatMs = 200, kRepeatMs = 50;

struct ScrollCtlState : WindowData {
  ScrollBarState bar;
};

// How many steps the position has: 0 means nothing to scroll.
int Span(const ScrollBarState& s) { return s.max - s.min - std::max(s.page - 1, 0); }

void Clamp(ScrollBarState& s) {
  if (s.max < s.min) s.max = s.min;
  s.page = std::clamp(s.page, 0, s.max - s.min + 1);
  s.pos = std::clamp(s.pos, s.min, s.min + std::max(Span(s), 0));
}

struct Geometry {
  RECT up{}, down{}, thumb{};
  int trackStart = 0, trackLen = 0, thumbLen = 0;  // along the bar's axis, in its coordinates
  bool hasThumb = false;
};

Geometry Measure(const RECT& r, bool vertical, const ScrollBarState& s) {
  Geometry g;
  const int length = vertical ? r.bottom - r.top : r.right - r.left;
  const int start = vertical ? r.top : r.left;
  const int arrow = std::min(kScrollBarSize, length / 2);
  if (vertical) {
    g.up = RECT{r.left, r.top, r.right, r.top + arrow};
    g.down = RECT{r.left, r.bottom - arrow, r.right, r.bottom};
  } else {
    g.up = RECT{r.left, r.top, r.left + arrow, r.bottom};
    g.down = RECT{r.right - arrow, r.top, r.right, r.bottom};
  }
  g.trackStart = start + arrow;
  g.trackLen = std::max(0, length - 2 * arrow);
  const int span = Span(s);
  if (s.disabled || span <= 0) return g;
  const int64_t range = int64_t(s.max) - s.min + 1;
  g.thumbLen = s.page ? int(std::max<int64_t>(kMinThumb, int64_t(g.trackLen) * s.page / range)) : kScrollBarSize;
  if (g.thumbLen > g.trackLen) return g;
  const int p = s.tracking ? s.trackPos : s.pos;
  const int off = int(int64_t(g.trackLen - g.thumbLen) * (std::clamp(p, s.min, s.min + span) - s.min) / span);
  g.hasThumb = true;
  g.thumb = vertical ? RECT{r.left, g.trackStart + off, r.right, g.trackStart + off + g.thumbLen}
                     : RECT{g.trackStart + off, r.top, g.trackStart + off + g.thumbLen, r.bottom};
  return g;
}

ScrollPart PartAt(const RECT& r, bool vertical, const ScrollBarState& s, POINT p) {
  if (!PtInRect(&r, p)) return kNoPart;
  const Geometry g = Measure(r, vertical, s);
  if (PtInRect(&g.up, p)) return kLineUp;
  if (PtInRect(&g.down, p)) return kLineDown;
  if (!g.hasThumb) return kNoPart;
  if (PtInRect(&g.thumb, p)) return kThumb;
  const int at = vertical ? p.y : p.x, thumbStart = vertical ? g.thumb.top : g.thumb.left;
  return at < thumbStart ? kPageUp : kPageDown;
}

void Edge(HDC dc, RECT r, bool sunken) {
  auto line = [&](RECT x, int colour) { FillSolidRectDc(dc, &x, GetSysColor(colour)); };
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (sunken) {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
    return;
  }
  line(RECT{r.left, r.bottom - 1, r.right, r.bottom}, COLOR_3DDKSHADOW);
  line(RECT{r.right - 1, r.top, r.right, r.bottom}, COLOR_3DDKSHADOW);
  line(RECT{r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1}, COLOR_BTNSHADOW);
  line(RECT{r.right - 2, r.top + 1, r.right - 1, r.bottom - 1}, COLOR_BTNSHADOW);
  line(RECT{r.left, r.top, r.right - 1, r.top + 1}, COLOR_3DLIGHT);
  line(RECT{r.left, r.top, r.left + 1, r.bottom - 1}, COLOR_3DLIGHT);
  line(RECT{r.left + 1, r.top + 1, r.right - 2, r.top + 2}, COLOR_BTNHIGHLIGHT);
  line(RECT{r.left + 1, r.top + 1, r.left + 2, r.bottom - 2}, COLOR_BTNHIGHLIGHT);
}

// A filled triangle pointing up, down, left or right, four pixels high, in the box's middle.
void Arrow(HDC dc, RECT r, int dir, bool pressed, COLORREF ink) {
  const int cx = (r.left + r.right) / 2 + (pressed ? 1 : 0), cy = (r.top + r.bottom) / 2 + (pressed ? 1 : 0);
  for (int i = 0; i < 4; ++i) {
    RECT line{};
    switch (dir) {
      case 0: line = RECT{cx - i, cy - 2 + i, cx + i + 1, cy - 1 + i}; break;   // up
      case 1: line = RECT{cx - 3 + i, cy - 1 + i, cx + 4 - i, cy + i}; break;   // down
      case 2: line = RECT{cx - 2 + i, cy - i, cx - 1 + i, cy + i + 1}; break;   // left
      default: line = RECT{cx - 1 + i, cy - 3 + i, cx + i, cy + 4 - i}; break;  // right
    }
    FillSolidRectDc(dc, &line, ink);
  }
}

void DrawBar(HDC dc, const RECT& r, bool vertical, const ScrollBarState& s, bool enabled) {
  const Geometry g = Measure(r, vertical, s);
  const bool active = enabled && !s.disabled && Span(s) > 0;
  const COLORREF ink = active ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT);
  Edge(dc, g.up, s.pressed == kLineUp);
  Edge(dc, g.down, s.pressed == kLineDown);
  Arrow(dc, g.up, vertical ? 0 : 2, s.pressed == kLineUp, ink);
  Arrow(dc, g.down, vertical ? 1 : 3, s.pressed == kLineDown, ink);
  RECT track = vertical ? RECT{r.left, g.trackStart, r.right, g.trackStart + g.trackLen}
                        : RECT{g.trackStart, r.top, g.trackStart + g.trackLen, r.bottom};
  FillRect(dc, &track, GetSysColorBrush(COLOR_SCROLLBAR));
  if (!active || !g.hasThumb) return;
  // The held part of the track shows darker.
  if (s.pressed == kPageUp || s.pressed == kPageDown) {
    RECT part = track;
    const bool before = s.pressed == kPageUp;
    if (vertical && before) part.bottom = g.thumb.top;
    if (vertical && !before) part.top = g.thumb.bottom;
    if (!vertical && before) part.right = g.thumb.left;
    if (!vertical && !before) part.left = g.thumb.right;
    FillRect(dc, &part, GetSysColorBrush(COLOR_3DDKSHADOW));
  }
  Edge(dc, g.thumb, false);
}

// A scroll bar that the loop works on: a window's own (SB_HORZ, SB_VERT) or a control's.
class BarRef {
 public:
  BarRef(HWND hwnd, int bar) : hwnd_(hwnd), bar_(bar) {
    if (bar == SB_CTL) ctl_ = EnsureWindowData<ScrollCtlState>(hwnd);
  }
  bool Vertical() const {
    return bar_ == SB_CTL ? (GetWindowLongPtrW(hwnd_, GWL_STYLE) & SBS_VERT) != 0 : bar_ == SB_VERT;
  }
  // The bar in screen coordinates.
  RECT ScreenRect() const {
    RECT r{};
    if (bar_ == SB_CTL) {
      GetClientRect(hwnd_, &r);
      POINT o{0, 0};
      ClientToScreen(hwnd_, &o);
      OffsetRect(&r, o.x, o.y);
    } else {
      r = WindowScrollBarRect(hwnd_, bar_);
      RECT wr{};
      GetWindowRect(hwnd_, &wr);
      OffsetRect(&r, wr.left, wr.top);
    }
    return r;
  }
  ScrollBarState Get() const {
    if (ctl_) return ctl_->bar;
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd_);
    return v ? v->bars[bar_] : ScrollBarState{};
  }
  template <typename F>
  void Change(F&& f) {
    if (ctl_) {
      f(ctl_->bar);
    } else {
      LayerLock g(Layer().m);
      if (VisWindow* v = Vis(hwnd_)) f(v->bars[bar_]);
    }
    Redraw();
  }
  void Redraw() const {
    if (ctl_) {
      InvalidateRect(hwnd_, nullptr, FALSE);
      UpdateWindow(hwnd_);
    } else {
      RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN | RDW_UPDATENOW);
    }
  }
  // WM_VSCROLL or WM_HSCROLL: to the window itself for its own bars, to the parent for a
  // control (which names itself in lParam).
  void Notify(WORD code, int pos) const {
    const UINT msg = Vertical() ? WM_VSCROLL : WM_HSCROLL;
    const WPARAM w = MAKEWPARAM(code, pos);
    if (bar_ == SB_CTL) {
      if (HWND p = GetParent(hwnd_)) SendMessageW(p, msg, w, reinterpret_cast<LPARAM>(hwnd_));
    } else {
      SendMessageW(hwnd_, msg, w, 0);
    }
  }
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_;
  int bar_;
  std::shared_ptr<ScrollCtlState> ctl_;
};

WORD CodeOf(ScrollPart p) {
  switch (p) {
    case kLineUp: return SB_LINEUP;
    case kLineDown: return SB_LINEDOWN;
    case kPageUp: return SB_PAGEUP;
    default: return SB_PAGEDOWN;
  }
}

// The position the thumb stands for when its leading edge is at `lead` (screen, along the axis).
int PosAtThumb(const RECT& r, bool vertical, const ScrollBarState& s, int lead) {
  const Geometry g = Measure(r, vertical, s);
  const int room = g.trackLen - g.thumbLen;
  if (room <= 0) return s.pos;
  const int off = std::clamp(lead - g.trackStart, 0, room);
  return s.min + int((int64_t(off) * Span(s) + room / 2) / room);
}

// Applies what SetScrollInfo gives to a bar's state; the position that results.
int ApplyInfo(ScrollBarState& s, const SCROLLINFO& info) {
  if (info.fMask & SIF_RANGE) s.min = info.nMin, s.max = info.nMax;
  if (info.fMask & SIF_PAGE) s.page = int(std::min<UINT>(info.nPage, 0x7FFFFFFF));
  if (info.fMask & SIF_POS) s.pos = info.nPos;
  Clamp(s);
  return s.pos;
}

void FillInfo(const ScrollBarState& s, SCROLLINFO* info) {
  if (info->fMask & SIF_RANGE) info->nMin = s.min, info->nMax = s.max;
  if (info->fMask & SIF_PAGE) info->nPage = UINT(s.page);
  if (info->fMask & SIF_POS) info->nPos = s.pos;
  if (info->fMask & SIF_TRACKPOS) info->nTrackPos = s.tracking ? s.trackPos : s.pos;
}

DWORD StyleBit(int bar) { return bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL; }

void FrameChanged(HWND hwnd) {
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

}  // namespace

RECT WindowScrollBarRect(HWND hwnd, int bar) {
  const DWORD style = StyleOf(hwnd);
  if (!(style & StyleBit(bar))) return RECT{};
  RECT wr{};
  if (!GetWindowRect(hwnd, &wr)) return RECT{};
  const RECT in = FrameInsets(style, ExStyleOf(hwnd));
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  const int both = (style & WS_VSCROLL) && (style & WS_HSCROLL) ? kScrollBarSize : 0;
  if (bar == SB_VERT) return RECT{w - in.right - kScrollBarSize, in.top, w - in.right, h - in.bottom - both};
  return RECT{in.left, h - in.bottom - kScrollBarSize, w - in.right - both, h - in.bottom};
}

void DrawWindowScrollBars(HWND hwnd, HDC dc) {
  const DWORD style = StyleOf(hwnd);
  if (!(style & (WS_VSCROLL | WS_HSCROLL))) return;
  ScrollBarState bars[2];
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return;
    bars[0] = v->bars[0], bars[1] = v->bars[1];
  }
  const bool enabled = !(style & WS_DISABLED);
  for (int bar : {SB_HORZ, SB_VERT}) {
    RECT r = WindowScrollBarRect(hwnd, bar);
    if (!IsRectEmpty(&r)) DrawBar(dc, r, bar == SB_VERT, bars[bar], enabled);
  }
  if ((style & WS_VSCROLL) && (style & WS_HSCROLL)) {
    // The corner where the two bars meet.
    RECT v = WindowScrollBarRect(hwnd, SB_VERT), h = WindowScrollBarRect(hwnd, SB_HORZ);
    RECT corner{v.left, h.top, v.right, h.bottom};
    FillRect(dc, &corner, GetSysColorBrush(COLOR_BTNFACE));
  }
}

void TrackScrollBar(HWND hwnd, int bar, POINT pt) {
  BarRef ref(hwnd, bar);
  const bool vertical = ref.Vertical();
  const RECT r = ref.ScreenRect();
  ScrollBarState s = ref.Get();
  if (StyleOf(hwnd) & WS_DISABLED) return;
  const ScrollPart part = PartAt(r, vertical, s, pt);
  if (part == kNoPart) return;
  SetCapture(hwnd);
  int grab = 0;  // where on the thumb the pointer holds it
  if (part == kThumb) {
    const Geometry g = Measure(r, vertical, s);
    grab = (vertical ? pt.y - g.thumb.top : pt.x - g.thumb.left);
    ref.Change([&](ScrollBarState& x) { x.pressed = kThumb, x.tracking = true, x.trackPos = x.pos; });
  } else {
    ref.Change([&](ScrollBarState& x) { x.pressed = part; });
    // The repeat is timed from the press, before the window hears of the first step.
    SetTimer(hwnd, kRepeatTimer, kFirstRepeatMs, nullptr);
    ref.Notify(CodeOf(part), 0);
  }
  bool repeating = false;
  for (int guard = 0; guard < 10000000; ++guard) {
    MSG m;
    if (!GetMessageW(&m, nullptr, 0, 0)) {
      PostQuitMessage(int(m.wParam));
      break;
    }
    if (GetCapture() != hwnd || !IsWindow(hwnd)) break;
    POINT now{};
    GetCursorPos(&now);
    if (m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == kRepeatTimer) {
      // Steps repeat while the pointer stays on the part pressed (a page step stops when the
      // thumb has come under the pointer).
      if (!repeating) SetTimer(hwnd, kRepeatTimer, kRepeatMs, nullptr), repeating = true;
      if (PartAt(r, vertical, ref.Get(), now) == part) ref.Notify(CodeOf(part), 0);
      continue;
    }
    if (m.message == WM_MOUSEMOVE) {
      if (part == kThumb) {
        const ScrollBarState cur = ref.Get();
        const int p = PosAtThumb(r, vertical, cur, (vertical ? now.y : now.x) - grab);
        if (p != cur.trackPos) {
          ref.Change([&](ScrollBarState& x) { x.trackPos = p; });
          ref.Notify(SB_THUMBTRACK, p);
        }
      } else {
        const int shown = PartAt(r, vertical, ref.Get(), now) == part ? part : kNoPart;
        if (shown != ref.Get().pressed) ref.Change([&](ScrollBarState& x) { x.pressed = shown; });
      }
      continue;
    }
    if (m.message == WM_LBUTTONUP) break;
    if ((m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) ||
        (m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST)) {
      continue;
    }
    DispatchMessageW(&m);
  }
  KillTimer(hwnd, kRepeatTimer);
  if (GetCapture() == hwnd) ReleaseCapture();
  if (!IsWindow(hwnd)) return;
  if (part == kThumb) {
    const int p = ref.Get().trackPos;
    ref.Notify(SB_THUMBPOSITION, p);
  }
  ref.Change([&](ScrollBarState& x) { x.pressed = kNoPart, x.tracking = false; });
  ref.Notify(SB_ENDSCROLL, 0);
}

// ---- The calls ----

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* info, BOOL redraw) {
  if (!info) return 0;
  if (bar == SB_CTL) return int(SendMessageW(hwnd, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(info)));
  if (bar != SB_HORZ && bar != SB_VERT) return 0;
  int pos = 0;
  bool show = false, hide = false;
  DWORD wake = 0;
  {
    LayerLock g(Layer().m);
    VisWindow* v = Vis(hwnd);
    if (!v) return 0;
    ScrollBarState& s = v->bars[bar];
    const ScrollBarState before = s;
    pos = ApplyInfo(s, *info);
    if (info->fMask & (SIF_RANGE | SIF_PAGE)) {
      // A bar with nothing to scroll goes (or, asked to stay, goes grey) and comes back when
      // there is something again.
      const bool shown = (StyleOf(hwnd) & StyleBit(bar)) != 0;
      const bool needed = Span(s) > 0;
      s.disabled = !needed && (info->fMask & SIF_DISABLENOSCROLL);
      if (needed && !shown) show = true;
      if (!needed && shown && !(info->fMask & SIF_DISABLENOSCROLL)) hide = true;
    }
    const bool changed = s.min != before.min || s.max != before.max || s.page != before.page ||
                         s.pos != before.pos || s.disabled != before.disabled;
    if (redraw && changed && !show && !hide && !v->ncDirty) {
      // The bar lies in the frame: only the frame is drawn again, the client keeps what it shows.
      v->ncDirty = true;
      wake = v->thread;
    }
  }
  if (show || hide) {
    const DWORD style = StyleOf(hwnd);
    SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR(show ? style | StyleBit(bar) : style & ~StyleBit(bar)));
    FrameChanged(hwnd);
  } else if (wake) {
    WakeThreads({wake});
  }
  return pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* info) {
  if (!info) return FALSE;
  if (bar == SB_CTL) return BOOL(SendMessageW(hwnd, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
  if (bar != SB_HORZ && bar != SB_VERT) return FALSE;
  LayerLock g(Layer().m);
  VisWindow* v = Vis(hwnd);
  if (!v) return FALSE;
  FillInfo(v->bars[bar], info);
  return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int pos, BOOL redraw) {
  const int old = GetScrollPos(hwnd, bar);
  SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, pos, 0};
  SetScrollInfo(hwnd, bar, &si, redraw);
  return old;
}

int GetScrollPos(HWND hwnd, int bar) {
  SCROLLINFO si{sizeof si, SIF_POS, 0, 0, 0, 0, 0};
  return GetScrollInfo(hwnd, bar, &si) ? si.nPos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int min, int max, BOOL redraw) {
  SCROLLINFO si{sizeof si, SIF_RANGE, min, max, 0, 0, 0};
  SetScrollInfo(hwnd, bar, &si, redraw);
  return IsWindow(hwnd);
}

BOOL GetScrollRange(HWND hwnd, int bar, int* min, int* max) {
  SCROLLINFO si{sizeof si, SIF_RANGE, 0, 0, 0, 0, 0};
  if (!GetScrollInfo(hwnd, bar, &si)) return FALSE;
  if (min) *min = si.nMin;
  if (max) *max = si.nMax;
  return TRUE;
}

BOOL ShowScrollBar(HWND hwnd, int bar, BOOL show) {
  if (!IsWindow(hwnd)) return FALSE;
  if (bar == SB_CTL) {
    ShowWindow(hwnd, show ? SW_SHOW : SW_HIDE);
    return TRUE;
  }
  const DWORD bits = bar == SB_BOTH ? (WS_HSCROLL | WS_VSCROLL) : bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
  const DWORD style = StyleOf(hwnd);
  const DWORD now = show ? style | bits : style & ~bits;
  if (now != style) {
    SetWindowLongPtrW(hwnd, GWL_STYLE, LONG_PTR(now));
    FrameChanged(hwnd);
  }
  return TRUE;
}

BOOL EnableScrollBar(HWND hwnd, UINT bar, UINT arrows) {
  const bool off = arrows == ESB_DISABLE_BOTH;
  if (bar == SB_CTL) {
    SendMessageW(hwnd, SBM_ENABLE_ARROWS, arrows, 0);
    return TRUE;
  }
  for (int b : {SB_HORZ, SB_VERT}) {
    if (bar != UINT(SB_BOTH) && bar != UINT(b)) continue;
    LayerLock g(Layer().m);
    if (VisWindow* v = Vis(hwnd)) v->bars[b].disabled = off;
  }
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
  return TRUE;
}

// ---- The control ----

LRESULT ScrollBarProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<ScrollCtlState> st = EnsureWindowData<ScrollCtlState>(h);
  ScrollBarState& s = st->bar;
  const bool vertical = (StyleOf(h) & SBS_VERT) != 0;
  auto changed = [h](LRESULT r, BOOL redraw) {
    if (redraw) InvalidateRect(h, nullptr, FALSE);
    return r;
  };
  auto notifyParent = [&](WORD code) {
    if (HWND p = GetParent(h)) {
      SendMessageW(p, vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(h));
    }
  };
  switch (msg) {
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_ERASEBKGND: return 1;
    case WM_ENABLE: InvalidateRect(h, nullptr, FALSE); return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      RECT rc{};
      GetClientRect(h, &rc);
      if (w) {
        DrawBar(reinterpret_cast<HDC>(w), rc, vertical, s, IsWindowEnabled(h) != FALSE);
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) DrawBar(dc, rc, vertical, s, IsWindowEnabled(h) != FALSE);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (StyleOf(h) & WS_TABSTOP) SetFocus(h);
      POINT p{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
      ClientToScreen(h, &p);
      TrackScrollBar(h, SB_CTL, p);
      return 0;
    }
    case WM_KEYDOWN:
      switch (w) {
        case VK_UP:
        case VK_LEFT: notifyParent(SB_LINEUP); break;
        case VK_DOWN:
        case VK_RIGHT: notifyParent(SB_LINEDOWN); break;
        case VK_PRIOR: notifyParent(SB_PAGEUP); break;
        case VK_NEXT: notifyParent(SB_PAGEDOWN); break;
        case VK_HOME: notifyParent(SB_TOP); break;
        case VK_END: notifyParent(SB_BOTTOM); break;
        default: break;
      }
      return 0;
    case WM_KEYUP:
      if (w == VK_UP || w == VK_LEFT || w == VK_DOWN || w == VK_RIGHT || w == VK_PRIOR || w == VK_NEXT ||
          w == VK_HOME || w == VK_END) {
        notifyParent(SB_ENDSCROLL);
      }
      return 0;
    case SBM_SETSCROLLINFO: {
      const auto* info = reinterpret_cast<const SCROLLINFO*>(l);
      if (!info) return s.pos;
      ApplyInfo(s, *info);
      if (info->fMask & (SIF_RANGE | SIF_PAGE)) s.disabled = Span(s) <= 0 && (info->fMask & SIF_DISABLENOSCROLL);
      return changed(s.pos, BOOL(w));
    }
    case SBM_GETSCROLLINFO:
      if (auto* info = reinterpret_cast<SCROLLINFO*>(l)) FillInfo(s, info);
      return TRUE;
    case SBM_SETPOS: {
      const int old = s.pos;
      s.pos = int(w);
      Clamp(s);
      return changed(old, BOOL(l));
    }
    case SBM_GETPOS: return s.pos;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
      const int old = s.pos;
      s.min = int(w), s.max = int(l);
      Clamp(s);
      return changed(old, msg == SBM_SETRANGEREDRAW);
    }
    case SBM_GETRANGE:
      if (auto* lo = reinterpret_cast<int*>(w)) *lo = s.min;
      if (auto* hi = reinterpret_cast<int*>(l)) *hi = s.max;
      return 0;
    case SBM_ENABLE_ARROWS:
      s.disabled = w == ESB_DISABLE_BOTH;
      return changed(TRUE, TRUE);
    default: return DefWindowProcW(h, msg, w, l);
  }
}
