// The progress bar ("msctls_progress32"): range, position, step and bar colour, drawn as a
// sunken frame around the empty track with the done part filled from the left.
#include <algorithm>

#include "platform/paint/gdi.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/wndobj.h"

namespace {

struct ProgressState : WindowData {
  int low = 0, high = 100, pos = 0, step = 10;
  COLORREF bar = CLR_INVALID;
};

void DrawProgress(HWND h, HDC dc, const ProgressState& st) {
  RECT rc{};
  GetClientRect(h, &rc);
  if (IsRectEmpty(&rc)) return;
  // A one-pixel sunken frame: shadow above and left, highlight below and right.
  const COLORREF sh = GetSysColor(COLOR_BTNSHADOW), hi = GetSysColor(COLOR_BTNHIGHLIGHT);
  RECT t{rc.left, rc.top, rc.right, rc.top + 1}, l{rc.left, rc.top, rc.left + 1, rc.bottom};
  RECT b{rc.left, rc.bottom - 1, rc.right, rc.bottom}, r{rc.right - 1, rc.top, rc.right, rc.bottom};
  FillSolidRectDc(dc, &b, hi);
  FillSolidRectDc(dc, &r, hi);
  FillSolidRectDc(dc, &t, sh);
  FillSolidRectDc(dc, &l, sh);
  RECT track = rc;
  InflateRect(&track, -1, -1);
  if (IsRectEmpty(&track)) return;
  FillRect(dc, &track, GetSysColorBrush(COLOR_BTNFACE));
  const int64_t span = int64_t(st.high) - st.low;
  if (span <= 0) return;
  const int64_t done = std::clamp<int64_t>(int64_t(st.pos) - st.low, 0, span);
  RECT bar = track;
  bar.right = LONG(track.left + (int64_t(track.right - track.left) * done) / span);
  if (bar.right > bar.left) FillSolidRectDc(dc, &bar, st.bar == CLR_INVALID ? GetSysColor(COLOR_HIGHLIGHT) : st.bar);
}

void ClampPos(ProgressState& s) { s.pos = std::clamp(s.pos, std::min(s.low, s.high), std::max(s.low, s.high)); }

}  // namespace

LRESULT ProgressProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<ProgressState> st = EnsureWindowData<ProgressState>(h);
  ProgressState& s = *st;
  // Every setter answers with what it replaced and repaints.
  auto changed = [h](LRESULT old) {
    InvalidateRect(h, nullptr, FALSE);
    return old;
  };
  switch (msg) {
    case PBM_SETRANGE: {
      const LRESULT old = MAKELRESULT(s.low, s.high);
      s.low = LOWORD(uintptr_t(l)), s.high = HIWORD(uintptr_t(l));
      ClampPos(s);
      return changed(old);
    }
    case PBM_SETRANGE32: {
      const LRESULT old = MAKELRESULT(s.low, s.high);
      s.low = int(w), s.high = int(l);
      ClampPos(s);
      return changed(old);
    }
    case PBM_GETRANGE:
      if (auto* r = reinterpret_cast<PBRANGE*>(l)) r->iLow = s.low, r->iHigh = s.high;
      return w ? s.low : s.high;
    case PBM_SETPOS: {
      const LRESULT old = s.pos;
      s.pos = int(w);
      ClampPos(s);
      return changed(old);
    }
    case PBM_DELTAPOS: {
      const LRESULT old = s.pos;
      s.pos = int(std::clamp<int64_t>(int64_t(s.pos) + int(w), INT32_MIN, INT32_MAX));
      ClampPos(s);
      return changed(old);
    }
    case PBM_SETSTEP: {
      const LRESULT old = s.step;
      s.step = int(w);
      return changed(old);
    }
    case PBM_STEPIT: {
      const LRESULT old = s.pos;
      s.pos = int(std::clamp<int64_t>(int64_t(s.pos) + s.step, INT32_MIN, INT32_MAX));
      if (s.pos > s.high) s.pos = s.low + (s.pos - s.high);  // wraps round as the control does
      ClampPos(s);
      return changed(old);
    }
    case PBM_GETPOS: return s.pos;
    case PBM_SETBARCOLOR: {
      const LRESULT old = LRESULT(s.bar);
      s.bar = COLORREF(l);
      return changed(old);
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        DrawProgress(h, reinterpret_cast<HDC>(w), s);
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) DrawProgress(h, dc, s);
      EndPaint(h, &ps);
      return 0;
    }
    default: return DefWindowProcW(h, msg, w, l);
  }
}
