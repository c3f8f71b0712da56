// Input of the list view: clicks select (Ctrl toggles, Shift extends from the selection
// mark), a click on a check box turns it, releases tell the parent NM_CLICK / NM_RCLICK,
// double clicks NM_DBLCLK; the keyboard moves the focus and the selection; the wheel and the
// scroll bars scroll.
#include <algorithm>

#include "platform/wnd/listview.h"

namespace {

// Scroll-bar requests (the low word of WM_VSCROLL and WM_HSCROLL).
constexpr WORD kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbPosition = 4, kThumbTrack = 5,
               kTop = 6, kBottom = 7;
constexpr int kWheelLines = 3;
constexpr int kHorizontalLine = 16;

bool KeyDown(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

UINT KeyFlags() {
  return (KeyDown(VK_SHIFT) ? LVKF_SHIFT : 0) | (KeyDown(VK_CONTROL) ? LVKF_CONTROL : 0) | (KeyDown(VK_MENU) ? LVKF_ALT : 0);
}

LRESULT NotifyActivate(HWND h, ListViewState& s, UINT code, POINT pt, UINT keys) {
  LVHITTESTINFO hi{};
  hi.pt = pt;
  LvHitTest(h, s, &hi, true);
  NMITEMACTIVATE nm{};
  nm.iItem = hi.iItem;
  nm.iSubItem = hi.iItem >= 0 ? hi.iSubItem : 0;
  nm.ptAction = pt;
  nm.lParam = LvGetParam(s, hi.iItem);
  nm.uKeyFlags = keys;
  return SendNotify(h, code, &nm.hdr);
}

void ToggleCheck(HWND h, ListViewState& s, int i) {
  const int image = LvStateImage(h, s, i);
  LvSetState(h, s, i, INDEXTOSTATEIMAGEMASK(image >= 2 ? 1 : 2), LVIS_STATEIMAGEMASK);
}

// What a press of the left (or right) button on row i does to the selection.
void ClickSelect(HWND h, ListViewState& s, int i, WPARAM keys, bool right) {
  const bool ctrl = (keys & MK_CONTROL) != 0, shift = (keys & MK_SHIFT) != 0;
  const bool single = (StyleOf(h) & LVS_SINGLESEL) != 0;
  if (i < 0) {
    if (!ctrl && !shift) LvDeselectAll(h, s, -1);
    return;
  }
  if (right) {
    // A right press keeps a selection it lands in, so that a menu acts on all of it.
    if (!LvGetState(h, s, i, LVIS_SELECTED)) {
      LvDeselectAll(h, s, i);
      LvSetState(h, s, i, LVIS_SELECTED, LVIS_SELECTED);
      s.mark = i;
    }
    LvSetFocus(h, s, i);
    return;
  }
  if (shift && !single) {
    const int from = s.mark >= 0 ? s.mark : (s.focused >= 0 ? s.focused : i);
    LvSelectRange(h, s, from, i, ctrl);
    s.mark = from;
  } else if (ctrl && !single) {
    LvSetState(h, s, i, LvGetState(h, s, i, LVIS_SELECTED) ^ LVIS_SELECTED, LVIS_SELECTED);
    s.mark = i;
  } else {
    LvDeselectAll(h, s, i);
    LvSetState(h, s, i, LVIS_SELECTED, LVIS_SELECTED);
    s.mark = i;
  }
  if (i < LvCount(s)) LvSetFocus(h, s, i);
}

void Press(HWND h, ListViewState& s, int button, POINT pt, WPARAM keys, bool dbl) {
  if (GetFocus() != h) SetFocus(h);
  if (!IsWindow(h)) return;
  LvEnsureLayout(h, s);
  LVHITTESTINFO hi{};
  hi.pt = pt;
  const int i = LvHitTest(h, s, &hi, false);
  if (button == 0 && i >= 0 && (hi.flags & LVHT_ONITEMSTATEICON) && (s.exStyle & LVS_EX_CHECKBOXES)) {
    ToggleCheck(h, s, i);
  } else {
    ClickSelect(h, s, i, keys, button == 1);
  }
  if (!IsWindow(h)) return;
  if (dbl) {
    const UINT flags = KeyFlags();
    NotifyActivate(h, s, button == 0 ? NM_DBLCLK : NM_RDBLCLK, pt, flags);
    if (button == 0 && i >= 0 && IsWindow(h)) NotifyActivate(h, s, LVN_ITEMACTIVATE, pt, flags);
    s.pressButton = -1;  // the release of a double click is no click of its own
    return;
  }
  s.pressButton = button;
  s.pressPoint = pt;
  s.pressKeys = KeyFlags();
  SetCapture(h);
}

void Release(HWND h, ListViewState& s, int button) {
  if (s.pressButton != button) return;
  s.pressButton = -1;
  if (GetCapture() == h) ReleaseCapture();
  NotifyActivate(h, s, button == 0 ? NM_CLICK : NM_RCLICK, s.pressPoint, s.pressKeys);
}

// The row the focus moves to for a navigation key, or -1 for other keys.
int Target(HWND h, ListViewState& s, UINT vk) {
  const int n = LvCount(s);
  if (n <= 0) return -1;
  const int cur = s.focused >= 0 ? s.focused : -1;
  const bool report = LvIsReport(h);
  const int step = report ? 1 : LvIconColumns(h, s);
  int per = 1;
  if (report) {
    per = LvCountPerPage(h, s);
  } else {
    const RECT c = LvClient(h);
    per = std::max(1, int(c.bottom) / std::max<int>(1, LvIconSpacing(s).cy)) * step;
  }
  switch (vk) {
    case VK_HOME: return 0;
    case VK_END: return n - 1;
    case VK_UP: return cur < 0 ? 0 : (cur - step >= 0 ? cur - step : cur);
    case VK_DOWN: return cur < 0 ? 0 : (cur + step < n ? cur + step : cur);
    case VK_LEFT: return report ? -1 : (cur < 0 ? 0 : std::max(0, cur - 1));
    case VK_RIGHT: return report ? -1 : (cur < 0 ? 0 : std::min(n - 1, cur + 1));
    case VK_PRIOR: {
      if (cur < 0) return 0;
      // First to the top of the page, then a page further.
      const int top = report ? s.topIndex : LvVisibleRows(h, s).first;
      if (report && cur > top) return top;
      return std::max(cur % step, cur - std::max(step, per - step));
    }
    case VK_NEXT: {
      if (cur < 0) return 0;
      if (report) {
        const int bottom = int(std::min<int64_t>(n - 1, int64_t(s.topIndex) + per - 1));
        if (cur < bottom) return bottom;
        return int(std::min<int64_t>(n - 1, int64_t(cur) + std::max(1, per - 1)));
      }
      const int to = cur + std::max(step, per - step);
      return to < n ? to : cur;
    }
    default: return -1;
  }
}

void MoveTo(HWND h, ListViewState& s, int to) {
  const bool ctrl = KeyDown(VK_CONTROL), shift = KeyDown(VK_SHIFT);
  const bool single = (StyleOf(h) & LVS_SINGLESEL) != 0;
  if (shift && !single) {
    const int from = s.mark >= 0 ? s.mark : (s.focused >= 0 ? s.focused : to);
    LvSelectRange(h, s, from, to, ctrl);
    s.mark = from;
  } else if (!ctrl || single) {
    LvDeselectAll(h, s, to);
    LvSetState(h, s, to, LVIS_SELECTED, LVIS_SELECTED);
    s.mark = to;
  }
  if (to < LvCount(s)) LvSetFocus(h, s, to);
  LvEnsureVisible(h, s, to);
}

void KeyPress(HWND h, ListViewState& s, UINT vk) {
  NMLVKEYDOWN kd{};
  kd.wVKey = WORD(vk);
  SendNotify(h, LVN_KEYDOWN, &kd.hdr);
  if (!IsWindow(h)) return;
  LvEnsureLayout(h, s);
  if (const int to = Target(h, s, vk); to >= 0) {
    MoveTo(h, s, to);
    return;
  }
  const int f = s.focused;
  switch (vk) {
    case VK_LEFT:
    case VK_RIGHT:
      if (LvIsReport(h)) LvScrollToX(h, s, s.scrollX + (vk == VK_LEFT ? -kHorizontalLine : kHorizontalLine));
      break;
    case VK_SPACE:
      if (f < 0) break;
      if (s.exStyle & LVS_EX_CHECKBOXES) ToggleCheck(h, s, f);
      else if (KeyDown(VK_CONTROL)) LvSetState(h, s, f, LvGetState(h, s, f, LVIS_SELECTED) ^ LVIS_SELECTED, LVIS_SELECTED);
      else LvSetState(h, s, f, LVIS_SELECTED, LVIS_SELECTED);
      break;
    case VK_RETURN: {
      NMHDR nm{};
      SendNotify(h, NM_RETURN, &nm);
      if (f >= 0 && IsWindow(h)) {
        NMITEMACTIVATE act{};
        act.iItem = f;
        act.lParam = LvGetParam(s, f);
        act.uKeyFlags = KeyFlags();
        SendNotify(h, LVN_ITEMACTIVATE, &act.hdr);
      }
      break;
    }
    default: break;
  }
}

void Scroll(HWND h, ListViewState& s, bool vertical, WORD code, int thumb) {
  if (!vertical) {
    const RECT c = LvClient(h);
    int x = s.scrollX;
    switch (code) {
      case kLineUp: x -= kHorizontalLine; break;
      case kLineDown: x += kHorizontalLine; break;
      case kPageUp: x -= c.right; break;
      case kPageDown: x += c.right; break;
      case kThumbPosition:
      case kThumbTrack: x = thumb; break;
      case kTop: x = 0; break;
      case kBottom: x = LvTotalWidth(s); break;
      default: return;
    }
    if (LvIsReport(h)) LvScrollToX(h, s, x);
    return;
  }
  if (LvIsReport(h)) {
    const int per = LvCountPerPage(h, s);
    int64_t top = s.topIndex;
    switch (code) {
      case kLineUp: top -= 1; break;
      case kLineDown: top += 1; break;
      case kPageUp: top -= per; break;
      case kPageDown: top += per; break;
      case kThumbPosition:
      case kThumbTrack: top = thumb; break;
      case kTop: top = 0; break;
      case kBottom: top = LvCount(s); break;
      default: return;
    }
    LvScrollToRow(h, s, top);
    return;
  }
  const RECT c = LvClient(h);
  const int line = std::max(1, LvIconSpacing(s).cy / kWheelLines);
  int y = s.scrollY;
  switch (code) {
    case kLineUp: y -= line; break;
    case kLineDown: y += line; break;
    case kPageUp: y -= c.bottom; break;
    case kPageDown: y += c.bottom; break;
    case kThumbPosition:
    case kThumbTrack: y = thumb; break;
    case kTop: y = 0; break;
    case kBottom: y = INT32_MAX / 2; break;
    default: return;
  }
  LvScrollToY(h, s, y);
}

void Wheel(HWND h, ListViewState& s, int delta) {
  LvEnsureLayout(h, s);
  s.wheelRest += delta;
  const int notches = s.wheelRest / WHEEL_DELTA;
  if (notches == 0) return;
  s.wheelRest -= notches * WHEEL_DELTA;
  const int lines = -notches * kWheelLines;
  if (LvIsReport(h)) LvScrollToRow(h, s, int64_t(s.topIndex) + lines);
  else LvScrollToY(h, s, s.scrollY + lines * std::max(1, LvIconSpacing(s).cy / kWheelLines));
}

}  // namespace

// The position a scroll bar's thumb was dragged to: the 32-bit one when the scroll bar keeps
// it, else the 16 bits the message carries.
int LvThumbPosition(HWND h, bool vertical, WPARAM w);

bool LvInput(HWND h, ListViewState& s, UINT msg, WPARAM w, LPARAM l, LRESULT* result) {
  *result = 0;
  const POINT pt{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
  switch (msg) {
    case WM_LBUTTONDOWN: Press(h, s, 0, pt, w, false); return true;
    case WM_LBUTTONDBLCLK: Press(h, s, 0, pt, w, true); return true;
    case WM_RBUTTONDOWN: Press(h, s, 1, pt, w, false); return true;
    case WM_RBUTTONDBLCLK: Press(h, s, 1, pt, w, true); return true;
    case WM_LBUTTONUP: Release(h, s, 0); return true;
    case WM_RBUTTONUP: Release(h, s, 1); return true;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(l) != h) s.pressButton = -1;
      return true;
    case WM_KEYDOWN: KeyPress(h, s, UINT(w)); return true;
    case WM_MOUSEWHEEL: Wheel(h, s, int(int16_t(HIWORD(w)))); return true;
    case WM_VSCROLL:
    case WM_HSCROLL: {
      const bool vertical = msg == WM_VSCROLL;
      LvEnsureLayout(h, s);
      Scroll(h, s, vertical, LOWORD(w), LvThumbPosition(h, vertical, w));
      return true;
    }
    default: return false;
  }
}
