// Input of the tree view: a press on a button expands or collapses, on an item selects it,
// releases tell the parent NM_CLICK / NM_RCLICK (a non-zero NM_CLICK answer keeps the check
// box as it is), double clicks NM_DBLCLK and expand; the keyboard moves the selection, opens
// and closes branches and turns check boxes; the wheel and the scroll bars scroll.
#include <algorithm>

#include "platform/wnd/treeview.h"

namespace {

constexpr WORD kLineUp = 0, kLineDown = 1, kPageUp = 2, kPageDown = 3, kThumbPosition = 4, kThumbTrack = 5,
               kTop = 6, kBottom = 7;
constexpr int kWheelLines = 3;
constexpr int kHorizontalLine = 16;

HTREEITEM HitAt(HWND h, TreeViewState& s, POINT pt, UINT* flags) {
  TVHITTESTINFO hi{};
  hi.pt = pt;
  HTREEITEM item = TvHitTest(h, s, &hi);
  *flags = hi.flags;
  return item;
}

LRESULT NotifyPlain(HWND h, UINT code) {
  NMHDR nm{};
  return SendNotify(h, code, &nm);
}

void Press(HWND h, TreeViewState& s, int button, POINT pt, bool dbl) {
  if (GetFocus() != h) SetFocus(h);
  if (!IsWindow(h)) return;
  UINT flags = 0;
  const HTREEITEM item = HitAt(h, s, pt, &flags);
  TvNode* n = TvFind(s, item);
  if (button == 0 && n) {
    if (flags & TVHT_ONITEMBUTTON) {
      TvExpand(h, s, n, TVE_TOGGLE, true);
    } else if (flags & TVHT_ONITEMSTATEICON) {
      // The check box turns on the release, once the parent had its say in NM_CLICK.
    } else if ((flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL)) ||
               ((StyleOf(h) & TVS_FULLROWSELECT) && (flags & (TVHT_ONITEMINDENT | TVHT_ONITEMRIGHT)))) {
      TvSelect(h, s, n, TVC_BYMOUSE);
    }
  }
  if (!IsWindow(h)) return;
  if (dbl && button == 0 && !(flags & TVHT_ONITEMSTATEICON)) {
    s.pressButton = -1;  // the release of a double click is no click of its own
    const bool handled = NotifyPlain(h, NM_DBLCLK) != 0;
    n = TvFind(s, item);
    if (!handled && n && (flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL))) TvExpand(h, s, n, TVE_TOGGLE, true);
    return;
  }
  s.pressButton = button;
  s.pressPoint = pt;
  s.pressFlags = flags;
  s.pressItem = TvFind(s, item);
  SetCapture(h);
}

void Release(HWND h, TreeViewState& s, int button, POINT pt) {
  if (s.pressButton != button) return;
  s.pressButton = -1;
  if (GetCapture() == h) ReleaseCapture();
  const HTREEITEM pressed = s.pressItem ? s.pressItem->handle : nullptr;
  const UINT pressFlags = s.pressFlags;
  s.pressItem = nullptr;
  if (button == 1) {
    if (NotifyPlain(h, NM_RCLICK) == 0 && IsWindow(h)) {
      POINT sp = pt;
      ClientToScreen(h, &sp);
      SendMessageW(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), MAKELPARAM(sp.x, sp.y));
    }
    return;
  }
  const LRESULT vetoed = NotifyPlain(h, NM_CLICK);
  if (vetoed || !IsWindow(h) || !(StyleOf(h) & TVS_CHECKBOXES) || !(pressFlags & TVHT_ONITEMSTATEICON)) return;
  // The box turns only when the button comes up on the box it went down on.
  UINT flags = 0;
  const HTREEITEM now = HitAt(h, s, pt, &flags);
  TvNode* n = TvFind(s, pressed);
  if (n && now == pressed && (flags & TVHT_ONITEMSTATEICON)) TvToggleStateImage(h, s, n);
}

void SelectRow(HWND h, TreeViewState& s, int row) {
  TvRows(h, s);
  if (s.rows.empty()) return;
  row = std::clamp(row, 0, int(s.rows.size()) - 1);
  TvSelect(h, s, s.rows[size_t(row)], TVC_BYKEYBOARD);
}

void Key(HWND h, TreeViewState& s, UINT vk) {
  NMTVKEYDOWN kd{};
  kd.wVKey = WORD(vk);
  SendNotify(h, TVN_KEYDOWN, &kd.hdr);
  if (!IsWindow(h)) return;
  TvRows(h, s);
  TvNode* cur = s.caret;
  const int row = cur ? TvRowOf(s, cur) : -1;
  const int per = TvRowsPerPage(h, s);
  switch (vk) {
    case VK_UP: SelectRow(h, s, row < 0 ? 0 : row - 1); break;
    case VK_DOWN: SelectRow(h, s, row + 1); break;
    case VK_HOME: SelectRow(h, s, 0); break;
    case VK_END: SelectRow(h, s, int(s.rows.size()) - 1); break;
    case VK_PRIOR: SelectRow(h, s, row < 0 ? 0 : row - std::max(1, per - 1)); break;
    case VK_NEXT: SelectRow(h, s, row + std::max(1, per - 1)); break;
    case VK_LEFT:
      if (!cur) break;
      if (TvExpanded(cur) && TvCanExpand(cur)) TvExpand(h, s, cur, TVE_COLLAPSE, true);
      else if (cur->parent && cur->parent != &s.root) TvSelect(h, s, cur->parent, TVC_BYKEYBOARD);
      break;
    case VK_RIGHT:
      if (!cur) break;
      if (!TvExpanded(cur) && TvCanExpand(cur)) TvExpand(h, s, cur, TVE_EXPAND, true);
      else if (TvExpanded(cur) && cur->first) TvSelect(h, s, cur->first, TVC_BYKEYBOARD);
      break;
    case VK_ADD:
      if (cur) TvExpand(h, s, cur, TVE_EXPAND, true);
      break;
    case VK_SUBTRACT:
      if (cur) TvExpand(h, s, cur, TVE_COLLAPSE, true);
      break;
    case VK_SPACE:
      if (cur && (StyleOf(h) & TVS_CHECKBOXES)) TvToggleStateImage(h, s, cur);
      break;
    default: break;
  }
}

void Scroll(HWND h, TreeViewState& s, bool vertical, WORD code, int thumb) {
  if (vertical) {
    const int per = TvRowsPerPage(h, s);
    int top = s.topRow;
    switch (code) {
      case kLineUp: --top; break;
      case kLineDown: ++top; break;
      case kPageUp: top -= per; break;
      case kPageDown: top += per; break;
      case kThumbPosition:
      case kThumbTrack: top = thumb; break;
      case kTop: top = 0; break;
      case kBottom: top = INT32_MAX / 2; break;
      default: return;
    }
    TvScrollToRow(h, s, top);
    return;
  }
  RECT c{};
  GetClientRect(h, &c);
  int x = s.scrollX;
  switch (code) {
    case kLineUp: x -= kHorizontalLine; break;
    case kLineDown: x += kHorizontalLine; break;
    case kPageUp: x -= int(c.right); break;
    case kPageDown: x += int(c.right); break;
    case kThumbPosition:
    case kThumbTrack: x = thumb; break;
    case kTop: x = 0; break;
    case kBottom: x = INT32_MAX / 2; break;
    default: return;
  }
  TvScrollToX(h, s, x);
}

int ThumbPosition(HWND h, bool vertical, WPARAM w) {
  // The message carries 16 bits; the bar keeps the whole position while its thumb is dragged.
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_TRACKPOS, 0, 0, 0, 0, 0};
  const int small = int(HIWORD(w));
  if (GetScrollInfo(h, vertical ? SB_VERT : SB_HORZ, &si) && (si.nTrackPos & 0xFFFF) == small) return si.nTrackPos;
  return small;
}

}  // namespace

bool TvInput(HWND h, TreeViewState& s, UINT msg, WPARAM w, LPARAM l, LRESULT* result) {
  *result = 0;
  const POINT pt{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
  switch (msg) {
    case WM_GETDLGCODE: *result = DLGC_WANTARROWS | DLGC_WANTCHARS; return true;
    case WM_LBUTTONDOWN: Press(h, s, 0, pt, false); return true;
    case WM_LBUTTONDBLCLK: Press(h, s, 0, pt, true); return true;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: Press(h, s, 1, pt, false); return true;
    case WM_LBUTTONUP: Release(h, s, 0, pt); return true;
    case WM_RBUTTONUP: Release(h, s, 1, pt); return true;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(l) != h) s.pressButton = -1;
      return true;
    case WM_KEYDOWN: Key(h, s, UINT(w)); return true;
    case WM_CHAR: return true;  // keys did their work in WM_KEYDOWN
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      s.focus = msg == WM_SETFOCUS;
      InvalidateRect(h, nullptr, TRUE);
      NotifyPlain(h, s.focus ? NM_SETFOCUS : NM_KILLFOCUS);
      return true;
    case WM_MOUSEWHEEL: {
      s.wheelRest += int(int16_t(HIWORD(w)));
      const int lines = s.wheelRest / 120 * kWheelLines;
      s.wheelRest %= 120;
      if (lines) TvScrollToRow(h, s, s.topRow - lines);
      return true;
    }
    case WM_VSCROLL:
    case WM_HSCROLL: {
      const bool vertical = msg == WM_VSCROLL;
      Scroll(h, s, vertical, LOWORD(w), ThumbPosition(h, vertical, w));
      return true;
    }
    default: return false;
  }
}
