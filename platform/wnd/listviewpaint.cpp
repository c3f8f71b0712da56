// Painting of the list view: report rows (drawn by the list, by the owner through WM_DRAWITEM
// for LVS_OWNERDRAWFIXED, or around the parent's NM_CUSTOMDRAW answers), grid lines, the
// icon view's items, check boxes, and the cache hint that tells an owner-data parent which
// rows are about to be asked for. Only the rows that show are touched.
#include <algorithm>

#include "platform/wnd/listview.h"

namespace {

struct Colours {
  COLORREF bk, text, textBk;
};

Colours ResolveColours(const ListViewState& s) {
  Colours c{};
  c.bk = s.bkColor == CLR_DEFAULT ? GetSysColor(COLOR_WINDOW) : s.bkColor;
  c.text = s.textColor == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : s.textColor;
  c.textBk = s.textBkColor == CLR_DEFAULT ? CLR_NONE : s.textBkColor;
  return c;
}

LRESULT CustomDraw(HWND h, ListViewState& s, NMLVCUSTOMDRAW& cd) {
  s.inNotify = true;
  const LRESULT r = SendNotify(h, NM_CUSTOMDRAW, &cd.nmcd.hdr);
  s.inNotify = false;
  return r;
}

UINT TextFormat(int fmt) {
  UINT f = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  if ((fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT) f |= DT_RIGHT;
  else if ((fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER) f |= DT_CENTER;
  return f;
}

void DrawStateImage(HWND h, ListViewState& s, HDC dc, int i, bool enabled) {
  const int image = LvStateImage(h, s, i);
  if (image <= 0) return;
  const RECT cell = LvStateRect(h, s, i);
  if (s.stateImages) {
    const SIZE z = LvImageSize(s.stateImages);
    LvDrawImage(s.stateImages, image - 1, dc, cell.left, cell.top + (cell.bottom - cell.top - z.cy) / 2, false);
  } else if (s.exStyle & LVS_EX_CHECKBOXES) {
    DrawCheckBox(dc, cell, image >= 2, enabled);
  }
}

void PaintReportRow(HWND h, ListViewState& s, HDC dc, int i, const RECT& area, bool focus, bool enabled,
                    bool notifyItems, const Colours& col) {
  RECT bounds{};
  if (!LvItemRect(h, s, i, LVIR_BOUNDS, &bounds)) return;
  const RECT client = LvClient(h);
  const UINT state = LvGetState(h, s, i, LVIS_SELECTED | LVIS_FOCUSED);
  const bool selected = (state & LVIS_SELECTED) != 0;
  const bool hasFocusMark = (state & LVIS_FOCUSED) && focus;
  const bool showSel = selected && enabled && (focus || (StyleOf(h) & LVS_SHOWSELALWAYS));
  COLORREF text = enabled ? col.text : GetSysColor(COLOR_GRAYTEXT), textBk = col.textBk;
  LRESULT itemRes = CDRF_DODEFAULT;
  if (notifyItems) {
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    cd.nmcd.hdc = dc;
    cd.nmcd.rc = bounds;
    cd.nmcd.dwItemSpec = DWORD_PTR(i);
    cd.nmcd.uItemState = (selected ? CDIS_SELECTED : 0) | (hasFocusMark ? CDIS_FOCUS : 0) | (enabled ? 0 : CDIS_DISABLED);
    cd.nmcd.lItemlParam = LvGetParam(s, i);
    cd.clrText = text;
    cd.clrTextBk = textBk;
    itemRes = CustomDraw(h, s, cd);
    if (itemRes & CDRF_SKIPDEFAULT) return;
    text = cd.clrText;
    textBk = cd.clrTextBk;
    if (i >= LvCount(s)) return;  // the parent shrank the list while it was asked
  }
  RECT row{client.left, bounds.top, client.right, bounds.bottom};
  if (col.bk != CLR_NONE) FillSolidRectDc(dc, &row, col.bk);
  if (textBk != CLR_NONE && textBk != CLR_DEFAULT) FillSolidRectDc(dc, &bounds, textBk);
  RECT label{};
  LvSubItemRect(h, s, i, 0, LVIR_LABEL, &label);
  const bool fullRow = (s.exStyle & LVS_EX_FULLROWSELECT) != 0;
  if (showSel) {
    RECT hi = fullRow ? bounds : label;
    FillSolidRectDc(dc, &hi, focus ? GetSysColor(COLOR_HIGHLIGHT) : GetSysColor(COLOR_BTNFACE));
  }
  const COLORREF selText = focus ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_WINDOWTEXT);
  DrawStateImage(h, s, dc, i, enabled);
  if (s.smallImages) {
    RECT icon{};
    LvSubItemRect(h, s, i, 0, LVIR_ICON, &icon);
    const int image = LvGetImage(h, s, i);
    const SIZE z = LvImageSize(s.smallImages);
    if (image >= 0 && icon.right > icon.left) {
      LvDrawImage(s.smallImages, image, dc, icon.left, icon.top + (icon.bottom - icon.top - z.cy) / 2, showSel);
    }
  }
  for (size_t c = 0; c < s.columns.size(); ++c) {
    RECT cell{};
    if (c == 0) {
      cell = label;
      cell.left += 2;
      cell.right -= 2;
    } else {
      LvSubItemRect(h, s, i, int(c), LVIR_LABEL, &cell);
      cell.left += 6;
      cell.right -= 6;
    }
    if (cell.right <= cell.left || cell.right <= area.left || cell.left >= area.right) continue;
    const CString t = LvGetText(h, s, i, s.columns[c].subItem);
    if (t.IsEmpty()) continue;
    SetTextColor(dc, showSel && (c == 0 || fullRow) ? selText : text);
    DrawTextW(dc, t.GetString(), t.GetLength(), &cell, TextFormat(s.columns[c].fmt));
  }
  if (hasFocusMark) {
    RECT f = fullRow ? bounds : label;
    DrawFocusRect(dc, &f);
  }
  if ((itemRes & CDRF_NOTIFYPOSTPAINT) && i < LvCount(s)) {
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.dwDrawStage = CDDS_ITEMPOSTPAINT;
    cd.nmcd.hdc = dc;
    cd.nmcd.rc = bounds;
    cd.nmcd.dwItemSpec = DWORD_PTR(i);
    cd.nmcd.lItemlParam = LvGetParam(s, i);
    CustomDraw(h, s, cd);
  }
}

void PaintOwnerRow(HWND h, ListViewState& s, HDC dc, int i, bool focus, bool enabled) {
  RECT bounds{};
  if (!LvItemRect(h, s, i, LVIR_BOUNDS, &bounds)) return;
  const UINT state = LvGetState(h, s, i, LVIS_SELECTED | LVIS_FOCUSED);
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_LISTVIEW;
  dis.CtlID = UINT(GetDlgCtrlID(h));
  dis.itemID = UINT(i);
  dis.itemAction = ODA_DRAWENTIRE;
  dis.itemState = ((state & LVIS_SELECTED) ? ODS_SELECTED : 0) | ((state & LVIS_FOCUSED) && focus ? ODS_FOCUS : 0) |
                  (enabled ? 0 : ODS_DISABLED);
  dis.hwndItem = h;
  dis.hDC = dc;
  dis.rcItem = bounds;
  dis.itemData = ULONG_PTR(LvGetParam(s, i));
  HWND parent = GetParent(h);
  if (!parent) return;
  // The owner may leave the context as it likes; the next row starts from the same one.
  const int saved = SaveDC(dc);
  SendMessageW(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
  RestoreDC(dc, saved);
}

void PaintGrid(HWND h, ListViewState& s, HDC dc, int firstRow, int lastRow) {
  if (lastRow <= firstRow) return;
  const COLORREF ink = GetSysColor(COLOR_3DLIGHT);
  const RECT c = LvClient(h);
  const int rh = std::max(1, LvRowHeight(h, s));
  const int top = LvRowTop(s, firstRow, rh), bottom = LvRowTop(s, lastRow, rh);
  const int right = std::min<int>(c.right, LvTotalWidth(s) - s.scrollX);
  for (int k = firstRow; k < lastRow; ++k) {
    const int y = LvRowTop(s, int64_t(k) + 1, rh) - 1;
    RECT line{c.left, y, std::max<int>(right, c.left), y + 1};
    FillSolidRectDc(dc, &line, ink);
  }
  for (size_t col = 0; col < s.columns.size(); ++col) {
    const int x = LvColumnLeft(s, int(col)) + s.columns[col].width - 1;
    if (x < c.left || x >= c.right) continue;
    RECT line{x, top, x + 1, bottom};
    FillSolidRectDc(dc, &line, ink);
  }
}

void PaintReport(HWND h, ListViewState& s, HDC dc, const RECT& area, bool fillEmpty, const Colours& col) {
  const RECT c = LvClient(h);
  const bool focus = GetFocus() == h, enabled = IsWindowEnabled(h) != FALSE;
  const bool ownerDraw = (StyleOf(h) & LVS_OWNERDRAWFIXED) != 0;
  LRESULT pre = CDRF_DODEFAULT;
  if (!ownerDraw) {
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.dwDrawStage = CDDS_PREPAINT;
    cd.nmcd.hdc = dc;
    cd.nmcd.rc = c;
    pre = CustomDraw(h, s, cd);
    if (pre & CDRF_SKIPDEFAULT) return;
  }
  const int rh = std::max(1, LvRowHeight(h, s));
  auto [first, last] = LvVisibleRows(h, s);
  // Only the rows that cross the area to paint.
  const int64_t fromArea = int64_t(s.topIndex) + std::max<int64_t>(0, area.top - s.headerHeight) / rh;
  const int64_t toArea = int64_t(s.topIndex) + (std::max<int64_t>(0, area.bottom - s.headerHeight) + rh - 1) / rh;
  first = int(std::max<int64_t>(first, fromArea));
  last = int(std::min<int64_t>(last, toArea));
  HGDIOBJ oldFont = SelectObject(dc, ControlFontOr(s.font));
  SetBkMode(dc, TRANSPARENT);
  for (int i = first; i < last && i < LvCount(s); ++i) {
    if (ownerDraw) PaintOwnerRow(h, s, dc, i, focus, enabled);
    else PaintReportRow(h, s, dc, i, area, focus, enabled, (pre & CDRF_NOTIFYITEMDRAW) != 0, col);
  }
  if (s.exStyle & LVS_EX_GRIDLINES) PaintGrid(h, s, dc, first, std::min(last, LvCount(s)));
  if (fillEmpty && col.bk != CLR_NONE) {
    const int64_t rowsEnd = s.headerHeight + int64_t(LvCount(s) - s.topIndex) * rh;
    RECT empty{area.left, LONG(std::clamp<int64_t>(rowsEnd, area.top, area.bottom)), area.right, area.bottom};
    if (empty.bottom > empty.top) FillSolidRectDc(dc, &empty, col.bk);
  }
  SelectObject(dc, oldFont);
  if (pre & CDRF_NOTIFYPOSTPAINT) {
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.dwDrawStage = CDDS_POSTPAINT;
    cd.nmcd.hdc = dc;
    cd.nmcd.rc = c;
    CustomDraw(h, s, cd);
  }
}

void PaintIconItem(HWND h, ListViewState& s, HDC dc, int i, bool focus, bool enabled, const Colours& col) {
  RECT icon{}, label{};
  LvItemRect(h, s, i, LVIR_ICON, &icon);
  LvItemRect(h, s, i, LVIR_LABEL, &label);
  const UINT state = LvGetState(h, s, i, LVIS_SELECTED | LVIS_FOCUSED);
  const bool showSel = (state & LVIS_SELECTED) && enabled && (focus || (StyleOf(h) & LVS_SHOWSELALWAYS));
  if (s.normalImages) {
    const int image = LvGetImage(h, s, i);
    if (image >= 0) LvDrawImage(s.normalImages, image, dc, icon.left, icon.top, showSel);
  }
  if (showSel) FillSolidRectDc(dc, &label, focus ? GetSysColor(COLOR_HIGHLIGHT) : GetSysColor(COLOR_BTNFACE));
  const CString t = LvGetText(h, s, i, 0);
  if (!t.IsEmpty()) {
    SetTextColor(dc, showSel && focus ? GetSysColor(COLOR_HIGHLIGHTTEXT) : enabled ? col.text : GetSysColor(COLOR_GRAYTEXT));
    RECT tr = label;
    InflateRect(&tr, -2, -2);
    const UINT fmt = (StyleOf(h) & LVS_NOLABELWRAP) ? DT_SINGLELINE | DT_CENTER | DT_NOPREFIX | DT_END_ELLIPSIS
                                                    : DT_CENTER | DT_NOPREFIX | DT_WORDBREAK | DT_EDITCONTROL;
    DrawTextW(dc, t.GetString(), t.GetLength(), &tr, fmt);
  }
  if ((state & LVIS_FOCUSED) && focus) DrawFocusRect(dc, &label);
}

void PaintIcons(HWND h, ListViewState& s, HDC dc, const RECT& area, const Colours& col) {
  const RECT c = LvClient(h);
  const bool focus = GetFocus() == h, enabled = IsWindowEnabled(h) != FALSE;
  NMLVCUSTOMDRAW pre{};
  pre.nmcd.dwDrawStage = CDDS_PREPAINT;
  pre.nmcd.hdc = dc;
  pre.nmcd.rc = c;
  const LRESULT res = CustomDraw(h, s, pre);
  if (res & CDRF_SKIPDEFAULT) return;
  HGDIOBJ oldFont = SelectObject(dc, ControlFontOr(s.font));
  SetBkMode(dc, TRANSPARENT);
  const auto [first, last] = LvVisibleRows(h, s);
  for (int i = first; i < last && i < LvCount(s); ++i) {
    RECT b{}, x{};
    if (!LvItemRect(h, s, i, LVIR_BOUNDS, &b) || !IntersectRect(&x, &b, &area)) continue;
    LRESULT itemRes = CDRF_DODEFAULT;
    if (res & CDRF_NOTIFYITEMDRAW) {
      const UINT state = LvGetState(h, s, i, LVIS_SELECTED | LVIS_FOCUSED);
      NMLVCUSTOMDRAW cd{};
      cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
      cd.nmcd.hdc = dc;
      cd.nmcd.rc = b;
      cd.nmcd.dwItemSpec = DWORD_PTR(i);
      cd.nmcd.uItemState = ((state & LVIS_SELECTED) ? CDIS_SELECTED : 0) | ((state & LVIS_FOCUSED) && focus ? CDIS_FOCUS : 0);
      cd.nmcd.lItemlParam = LvGetParam(s, i);
      cd.clrText = col.text;
      cd.clrTextBk = col.textBk;
      itemRes = CustomDraw(h, s, cd);
      if (itemRes & CDRF_SKIPDEFAULT) continue;
      if (i >= LvCount(s)) break;
    }
    PaintIconItem(h, s, dc, i, focus, enabled, col);
    if (itemRes & CDRF_NOTIFYPOSTPAINT) {
      NMLVCUSTOMDRAW cd{};
      cd.nmcd.dwDrawStage = CDDS_ITEMPOSTPAINT;
      cd.nmcd.hdc = dc;
      cd.nmcd.rc = b;
      cd.nmcd.dwItemSpec = DWORD_PTR(i);
      CustomDraw(h, s, cd);
    }
  }
  SelectObject(dc, oldFont);
  if (res & CDRF_NOTIFYPOSTPAINT) {
    NMLVCUSTOMDRAW cd{};
    cd.nmcd.dwDrawStage = CDDS_POSTPAINT;
    cd.nmcd.hdc = dc;
    cd.nmcd.rc = c;
    CustomDraw(h, s, cd);
  }
}

}  // namespace

void LvAnnounceCache(HWND h, ListViewState& s) {
  if (!LvOwnerData(h)) return;
  const auto [first, last] = LvVisibleRows(h, s);
  if (last <= first || (first == s.hintFrom && last - 1 == s.hintTo)) return;
  s.hintFrom = first;
  s.hintTo = last - 1;
  NMLVCACHEHINT hint{};
  hint.iFrom = first;
  hint.iTo = last - 1;
  SendNotify(h, LVN_ODCACHEHINT, &hint.hdr);
}

void LvPaint(HWND h, ListViewState& s, HDC dc, const RECT& area, bool fillEmpty) {
  if (!dc) return;
  LvEnsureLayout(h, s);
  LvAnnounceCache(h, s);
  const Colours col = ResolveColours(s);
  if (LvIsReport(h)) PaintReport(h, s, dc, area, fillEmpty, col);
  else PaintIcons(h, s, dc, area, col);
}
