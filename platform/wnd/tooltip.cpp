// The tooltip ("tooltips_class32"): text tools (a window, or a rectangle of a window) whose
// mouse messages the owner relays (TTM_RELAYEVENT). Resting on a tool for the initial delay
// shows its text in a small topmost popup just below the pointer; a button press, leaving the
// tool or the automatic delay takes it away. It never takes the keyboard or the mouse.
#include <algorithm>
#include <vector>

#include "platform/wnd/ctlutil.h"
#include "platform/wnd/wndobj.h"

namespace {

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT_PTR kPopTimer = 2;
constexpr COLORREF kTipFace = RGB(255, 255, 225);
constexpr COLORREF kTipInk = RGB(0, 0, 0);
constexpr int kPad = 3;
constexpr int kBelowPointer = 20;  // about a pointer's height

struct Tool {
  UINT flags = 0;
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  RECT rect{};
  CString text;
};

struct ToolTipState : WindowData {
  // Indexed by TTDT_RESHOW, TTDT_AUTOPOP, TTDT_INITIAL (TTDT_AUTOMATIC sets all three).
  int delays[4] = {0, 100, 5000, 500};
  int maxWidth = -1;
  bool active = true;
  std::vector<Tool> tools;
  int hot = -1;        // the tool under the pointer
  bool shown = false;  // its tip is up
  bool held = false;   // a press hid the tip; it waits for the pointer to leave the tool
  bool waiting = false;  // the initial (or reshow) delay runs
  HFONT font = nullptr;
};

void SetAutomaticDelays(ToolTipState& s, int initial) {
  s.delays[TTDT_INITIAL] = initial;
  s.delays[TTDT_RESHOW] = initial / 5;
  s.delays[TTDT_AUTOPOP] = initial * 10;
}

bool Same(const Tool& t, const TOOLINFOW& ti) {
  return t.hwnd == ti.hwnd && t.id == ti.uId;
}

int Find(const ToolTipState& s, const TOOLINFOW* ti) {
  if (!ti) return -1;
  for (size_t i = 0; i < s.tools.size(); ++i) {
    if (Same(s.tools[i], *ti)) return int(i);
  }
  return -1;
}

// The tool under a point of `wnd`'s client area, or -1.
int ToolAt(const ToolTipState& s, HWND wnd, POINT pt) {
  for (size_t i = 0; i < s.tools.size(); ++i) {
    const Tool& t = s.tools[i];
    if (t.flags & TTF_IDISHWND) {
      if (reinterpret_cast<HWND>(t.id) == wnd) return int(i);
    } else if (t.hwnd == wnd && PtInRect(&t.rect, pt)) {
      return int(i);
    }
  }
  return -1;
}

HWND ToolWindow(const Tool& t) { return (t.flags & TTF_IDISHWND) ? reinterpret_cast<HWND>(t.id) : t.hwnd; }

void Wait(HWND h, ToolTipState& s, int ms) {
  s.waiting = true;
  SetTimer(h, kShowTimer, UINT(std::max(1, ms)), nullptr);
}

void Hide(HWND h, ToolTipState& s) {
  s.waiting = false;
  KillTimer(h, kShowTimer);
  KillTimer(h, kPopTimer);
  if (s.shown) {
    s.shown = false;
    ShowWindow(h, SW_HIDE);
  }
}

// Lays the text out: one line, or wrapped at the widest line the owner allows.
SIZE TextSize(const ToolTipState& s, const CString& text, UINT* fmt) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, ControlFontOr(s.font));
  RECT r{0, 0, s.maxWidth > 0 ? s.maxWidth : 10000, 0};
  *fmt = DT_NOPREFIX | (s.maxWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  DrawTextW(dc, text.GetString(), text.GetLength(), &r, *fmt | DT_CALCRECT);
  SelectObject(dc, old);
  DeleteDC(dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

void Show(HWND h, ToolTipState& s) {
  if (s.hot < 0 || size_t(s.hot) >= s.tools.size()) return;
  const Tool& t = s.tools[size_t(s.hot)];
  // Without TTS_ALWAYSTIP a tip shows only over the window that has the keyboard's attention.
  if (!(StyleOf(h) & TTS_ALWAYSTIP)) {
    HWND top = GetAncestor(ToolWindow(t), GA_ROOT);
    if (top != GetActiveWindow() && top != GetForegroundWindow()) return;
  }
  if (t.text.IsEmpty()) return;
  UINT fmt = 0;
  const SIZE text = TextSize(s, t.text, &fmt);
  const int w = text.cx + 2 * kPad + 2, hgt = text.cy + 2 * kPad + 2;
  POINT at{};
  GetCursorPos(&at);
  at.y += kBelowPointer;
  // Kept on the screen: moved left of the right edge, above the pointer at the bottom.
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  if (at.x + w > sw) at.x = std::max(0, sw - w);
  if (at.y + hgt > sh) at.y = std::max(0, at.y - kBelowPointer - hgt - 4);
  SetWindowTextW(h, t.text);
  s.shown = true;
  SetWindowPos(h, HWND_TOPMOST, at.x, at.y, w, hgt, SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(h, nullptr, TRUE);
  if (s.delays[TTDT_AUTOPOP] > 0) SetTimer(h, kPopTimer, UINT(s.delays[TTDT_AUTOPOP]), nullptr);
}

void Paint(HWND h, HDC dc, ToolTipState& s) {
  RECT c{};
  GetClientRect(h, &c);
  FillSolidRectDc(dc, &c, kTipFace);
  DrawEdgeLines(dc, c, kTipInk, kTipInk);
  const CString t = GetWindowTextString(h);
  UINT fmt = 0;
  TextSize(s, t, &fmt);
  HGDIOBJ old = SelectObject(dc, ControlFontOr(s.font));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kTipInk);
  RECT r = c;
  InflateRect(&r, -(kPad + 1), -(kPad + 1));
  DrawTextW(dc, t.GetString(), t.GetLength(), &r, fmt);
  SelectObject(dc, old);
}

void Relay(HWND h, ToolTipState& s, const MSG* m) {
  if (!m || !s.active) return;
  const UINT msg = m->message;
  if (msg == WM_MOUSELEAVE) {
    Hide(h, s);
    s.hot = -1;
    s.held = false;
    return;
  }
  const bool press = msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN ||
                     msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDBLCLK;
  if (msg != WM_MOUSEMOVE && !press && msg != WM_LBUTTONUP && msg != WM_RBUTTONUP && msg != WM_MBUTTONUP) return;
  const int tool = ToolAt(s, m->hwnd, POINT{GET_X_LPARAM(m->lParam), GET_Y_LPARAM(m->lParam)});
  if (press) {
    Hide(h, s);
    s.hot = tool;
    s.held = tool >= 0;
    return;
  }
  if (msg != WM_MOUSEMOVE) return;
  if (tool == s.hot) {
    if (!s.shown && !s.held && !s.waiting && tool >= 0) Wait(h, s, s.delays[TTDT_INITIAL]);
    return;
  }
  // Onto another tool: a tip that was up comes back after the shorter reshow delay.
  const bool wasShown = s.shown;
  Hide(h, s);
  s.hot = tool;
  s.held = false;
  if (tool >= 0) Wait(h, s, s.delays[wasShown ? TTDT_RESHOW : TTDT_INITIAL]);
}

}  // namespace

LRESULT ToolTipProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<ToolTipState> st = EnsureWindowData<ToolTipState>(h);
  ToolTipState& s = *st;
  switch (msg) {
    case TTM_RELAYEVENT: Relay(h, s, reinterpret_cast<const MSG*>(l)); return 0;
    case TTM_ACTIVATE:
      s.active = w != 0;
      if (!s.active) Hide(h, s), s.hot = -1;
      return 0;
    case TTM_ADDTOOLW: {
      const auto* ti = reinterpret_cast<const TOOLINFOW*>(l);
      if (!ti || Find(s, ti) >= 0) return FALSE;
      Tool t;
      t.flags = ti->uFlags;
      t.hwnd = ti->hwnd;
      t.id = ti->uId;
      t.rect = ti->rect;
      if (ti->lpszText) t.text = ti->lpszText;
      s.tools.push_back(t);
      return TRUE;
    }
    case TTM_DELTOOLW: {
      const int i = Find(s, reinterpret_cast<const TOOLINFOW*>(l));
      if (i < 0) return 0;
      if (s.hot == i) Hide(h, s), s.hot = -1;
      else if (s.hot > i) --s.hot;
      s.tools.erase(s.tools.begin() + i);
      return 0;
    }
    case TTM_NEWTOOLRECTW: {
      const auto* ti = reinterpret_cast<const TOOLINFOW*>(l);
      if (int i = Find(s, ti); i >= 0) s.tools[size_t(i)].rect = ti->rect;
      return 0;
    }
    case TTM_UPDATETIPTEXTW: {
      const auto* ti = reinterpret_cast<const TOOLINFOW*>(l);
      const int i = Find(s, ti);
      if (i < 0) return 0;
      s.tools[size_t(i)].text = ti->lpszText ? CString(ti->lpszText) : CString();
      if (s.shown && s.hot == i) {
        SetWindowTextW(h, s.tools[size_t(i)].text);
        InvalidateRect(h, nullptr, TRUE);
      }
      return 0;
    }
    case TTM_GETTEXTW: {
      auto* ti = reinterpret_cast<TOOLINFOW*>(l);
      const int i = Find(s, ti);
      const int max = int(w);
      if (i < 0 || !ti->lpszText || max <= 0) return 0;
      const CString& t = s.tools[size_t(i)].text;
      const int n = std::min(max - 1, t.GetLength());
      std::copy(t.GetString(), t.GetString() + n, ti->lpszText);
      ti->lpszText[n] = 0;
      return n;
    }
    case TTM_GETTOOLCOUNT: return LRESULT(s.tools.size());
    case TTM_POP: Hide(h, s); return 0;
    case TTM_SETDELAYTIME: {
      // The delay is the low word; a negative one brings back the default.
      const int ms = int(int16_t(LOWORD(uintptr_t(l))));
      if (w == TTDT_AUTOMATIC) SetAutomaticDelays(s, ms < 0 ? 500 : ms);
      else if (w <= TTDT_INITIAL) s.delays[w] = ms >= 0 ? ms : ToolTipState{}.delays[w];
      return 0;
    }
    case TTM_GETDELAYTIME: return w >= TTDT_RESHOW && w <= TTDT_INITIAL ? s.delays[w] : 0;
    case TTM_SETMAXTIPWIDTH: {
      const int old = s.maxWidth;
      s.maxWidth = int(l);
      return old;
    }
    case TTM_GETMAXTIPWIDTH: return s.maxWidth;
    case WM_TIMER:
      if (w == kShowTimer) {
        KillTimer(h, kShowTimer);
        s.waiting = false;
        Show(h, s);
      } else if (w == kPopTimer) {
        Hide(h, s);
        s.held = true;  // up for its time; it comes back once the pointer moves to another tool
      }
      return 0;
    case WM_SETFONT: s.font = reinterpret_cast<HFONT>(w); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) Paint(h, dc, s);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_NCHITTEST: return HTTRANSPARENT;
    default: return DefWindowProcW(h, msg, w, l);
  }
}
