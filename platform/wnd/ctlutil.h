// Small helpers the common controls share: notifications to the parent, the font a control
// draws with, and the raised and sunken edges of their faces. Only files of this folder
// include it.
#pragma once

#include "platform/paint/gdi.h"
#include "platform/wnd/commctrl.h"
#include "platform/wnd/wnd.h"

// Fills in the header of a notification record and sends it to the control's parent as
// WM_NOTIFY; 0 when the control has no parent.
inline LRESULT SendNotify(HWND from, UINT code, NMHDR* nm) {
  nm->hwndFrom = from;
  nm->idFrom = UINT_PTR(GetDlgCtrlID(from));
  nm->code = code;
  HWND parent = GetParent(from);
  if (!parent) return 0;
  return SendMessageW(parent, WM_NOTIFY, nm->idFrom, reinterpret_cast<LPARAM>(nm));
}

// The font a control draws with: the one WM_SETFONT gave it, else the default GUI font.
inline HFONT ControlFontOr(HFONT f) { return f ? f : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

// The height of a line of text in the font.
inline int FontLineHeight(HFONT font) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, ControlFontOr(font));
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  DeleteDC(dc);
  return tm.tmHeight > 0 ? tm.tmHeight : 13;
}

// A one-pixel edge: `tl` on the top and left, `br` on the bottom and right.
inline void DrawEdgeLines(HDC dc, const RECT& e, COLORREF tl, COLORREF br) {
  if (e.right <= e.left || e.bottom <= e.top) return;
  RECT t{e.left, e.top, e.right, e.top + 1}, l{e.left, e.top, e.left + 1, e.bottom};
  RECT b{e.left, e.bottom - 1, e.right, e.bottom}, r{e.right - 1, e.top, e.right, e.bottom};
  FillSolidRectDc(dc, &b, br);
  FillSolidRectDc(dc, &r, br);
  FillSolidRectDc(dc, &t, tl);
  FillSolidRectDc(dc, &l, tl);
}

// The built-in check box of the list and the tree (no state image list), centred in its cell.
inline void DrawCheckBox(HDC dc, const RECT& cell, bool checked, bool enabled) {
  const int size = 13;
  const int x = cell.left + (cell.right - cell.left - size) / 2, y = cell.top + (cell.bottom - cell.top - size) / 2;
  RECT box{x, y, x + size, y + size};
  FillSolidRectDc(dc, &box, enabled ? GetSysColor(COLOR_WINDOW) : GetSysColor(COLOR_BTNFACE));
  DrawEdgeLines(dc, box, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNSHADOW));
  if (!checked) return;
  const COLORREF ink = enabled ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(COLOR_GRAYTEXT);
  // A tick of three-pixel strokes: down from the left, then up to the right.
  for (int k = 0; k < 7; ++k) {
    const int px = x + 3 + k;
    const int py = k < 3 ? y + 5 + k : y + 7 - (k - 2);
    RECT stroke{px, py, px + 1, py + 3};
    FillSolidRectDc(dc, &stroke, ink);
  }
}
