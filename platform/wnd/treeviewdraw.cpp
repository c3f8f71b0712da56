// Geometry and painting of the tree view: the shown rows, the parts of a row (lines and
// button column, state image, image, label), hit-testing, scrolling, and the painting of the
// rows on the page around the parent's NM_CUSTOMDRAW answers. Only the rows on the page are
// measured or drawn.
#include <algorithm>

#include "platform/wnd/treeview.h"

namespace {

constexpr int kCheckCell = 16;  // the built-in check box's cell without a state image list
constexpr int kLabelPad = 3;    // text inset inside the label

RECT Client(HWND h) {
  RECT c{};
  GetClientRect(h, &c);
  return c;
}

int StateWidth(HWND h, const TreeViewState& s) {
  if (s.stateImages) return TvImageSize(s.stateImages).cx;
  return (StyleOf(h) & TVS_CHECKBOXES) ? kCheckCell : 0;
}

int LabelWidth(HWND h, TreeViewState& s, TvNode* n) {
  if (n->width >= 0 && n->widthGen == s.widthGen && !n->textCallback) return n->width;
  const CString t = TvText(h, s, n);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, ControlFontOr(s.font));
  SIZE z{0, 0};
  if (!t.IsEmpty()) GetTextExtentPoint32W(dc, t.GetString(), t.GetLength(), &z);
  SelectObject(dc, old);
  DeleteDC(dc);
  n->width = int(z.cx) + 2 * kLabelPad;
  n->widthGen = s.widthGen;
  return n->width;
}

bool RootColumn(HWND h) { return (StyleOf(h) & TVS_LINESATROOT) != 0; }

// x of the left edge of the column of lines and button at `level`.
int ColumnX(HWND h, const TreeViewState& s, int level) {
  return -s.scrollX + s.indent * (level + (RootColumn(h) ? 0 : -1));
}

void DottedV(HDC dc, int x, int y0, int y1, COLORREF c) {
  for (int y = y0 + ((y0 & 1) ? 1 : 0); y < y1; y += 2) SetPixel(dc, x, y, c);
}

void DottedH(HDC dc, int x0, int x1, int y, COLORREF c) {
  for (int x = x0 + ((x0 & 1) ? 1 : 0); x < x1; x += 2) SetPixel(dc, x, y, c);
}

void DrawLinesAndButton(HWND h, TreeViewState& s, HDC dc, TvNode* n, const TvParts& p) {
  const DWORD style = StyleOf(h);
  const int ih = p.row.bottom - p.row.top;
  const int mid = p.row.top + ih / 2;
  const bool hasColumn = n->level > 0 || RootColumn(h);
  if (!hasColumn) return;
  const COLORREF lineColour = GetSysColor(COLOR_GRAYTEXT);
  const int cx = p.indentX + s.indent / 2;
  if (style & TVS_HASLINES) {
    // The item's own column: down from the row above (not for the very first item), on
    // through the row when a sibling follows.
    const bool firstOfAll = n->level == 0 && !n->prev;
    DottedV(dc, cx, firstOfAll ? mid : p.row.top, n->next ? p.row.bottom : mid + 1, lineColour);
    DottedH(dc, cx, p.indentX + s.indent, mid, lineColour);
    // The columns of ancestors that have siblings still to come.
    for (TvNode* a = n->parent; a && a->level >= 0; a = a->parent) {
      if (!a->next || (a->level == 0 && !RootColumn(h))) continue;
      DottedV(dc, ColumnX(h, s, a->level) + s.indent / 2, p.row.top, p.row.bottom, lineColour);
    }
  }
  if ((style & TVS_HASBUTTONS) && TvCanExpand(n)) {
    const int size = 9;
    RECT box{cx - size / 2, mid - size / 2, cx - size / 2 + size, mid - size / 2 + size};
    FillSolidRectDc(dc, &box, GetSysColor(COLOR_WINDOW));
    DrawEdgeLines(dc, box, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNSHADOW));
    const COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
    RECT minus{box.left + 2, mid, box.right - 2, mid + 1};
    FillSolidRectDc(dc, &minus, ink);
    if (!TvExpanded(n)) {
      RECT plus{cx, box.top + 2, cx + 1, box.bottom - 2};
      FillSolidRectDc(dc, &plus, ink);
    }
  }
}

LRESULT CustomDraw(HWND h, NMTVCUSTOMDRAW& cd) { return SendNotify(h, NM_CUSTOMDRAW, &cd.nmcd.hdr); }

}  // namespace

SIZE TvImageSize(HIMAGELIST il) {
  SIZE z{0, 0};
  int cx = 0, cy = 0;
  if (il && ImageList_GetIconSize(il, &cx, &cy)) z = SIZE{cx, cy};
  return z;
}

void TvRows(HWND h, TreeViewState& s) {
  if (!s.rowsStale) return;
  // Old row indexes become void by the generation; the old array may name deleted items, so
  // it is never walked.
  s.rows.clear();
  s.rowsStale = false;
  ++s.rowGen;
  // A walk in display order that steps into expanded items only.
  TvNode* n = s.root.first;
  while (n) {
    n->row = int(s.rows.size());
    n->rowGen = s.rowGen;
    s.rows.push_back(n);
    if (n->first && TvExpanded(n)) {
      n = n->first;
      continue;
    }
    while (n && !n->next) {
      n = n->parent;
      if (n == &s.root) n = nullptr;
    }
    if (n) n = n->next;
  }
  s.widest = 0;
  if (!s.inLayout) {
    const int maxTop = std::max(0, int(s.rows.size()) - TvRowsPerPage(h, s));
    s.topRow = std::clamp(s.topRow, 0, maxTop);
    TvUpdateScrollBars(h, s);
  }
}

int TvItemHeight(HWND h, TreeViewState& s) {
  (void)h;
  if (s.itemHeight > 0) return s.itemHeight;
  if (s.lineHeight <= 0) s.lineHeight = FontLineHeight(s.font);
  int ih = s.lineHeight + 3;
  ih = std::max<int>(ih, TvImageSize(s.normalImages).cy);
  ih = std::max<int>(ih, s.stateImages ? TvImageSize(s.stateImages).cy : ((StyleOf(h) & TVS_CHECKBOXES) ? kCheckCell : 0));
  if (!(StyleOf(h) & TVS_NONEVENHEIGHT)) ih += ih & 1;
  return ih;
}

int TvRowsPerPage(HWND h, TreeViewState& s) {
  return std::max(1, int(Client(h).bottom) / std::max(1, TvItemHeight(h, s)));
}

TvParts TvRowParts(HWND h, TreeViewState& s, int r) {
  TvParts p{};
  TvNode* n = s.rows[size_t(r)];
  const int ih = TvItemHeight(h, s);
  const RECT c = Client(h);
  const int64_t top = int64_t(r - s.topRow) * ih;
  p.row = RECT{0, LONG(std::clamp<int64_t>(top, INT32_MIN / 2, INT32_MAX / 2)), c.right, 0};
  p.row.bottom = p.row.top + ih;
  p.indentX = ColumnX(h, s, n->level);
  const int x0 = p.indentX + s.indent;
  p.stateX = x0;
  p.imageX = x0 + StateWidth(h, s);
  const int labelX = p.imageX + TvImageSize(s.normalImages).cx;
  p.label = RECT{labelX, p.row.top, labelX + LabelWidth(h, s, n), p.row.bottom};
  return p;
}

HTREEITEM TvHitTest(HWND h, TreeViewState& s, TVHITTESTINFO* hi) {
  TvRows(h, s);
  hi->flags = 0;
  hi->hItem = nullptr;
  const RECT c = Client(h);
  const POINT pt = hi->pt;
  if (pt.y < 0) hi->flags |= TVHT_ABOVE;
  if (pt.y >= c.bottom) hi->flags |= TVHT_BELOW;
  if (pt.x < 0) hi->flags |= TVHT_TOLEFT;
  if (pt.x >= c.right) hi->flags |= TVHT_TORIGHT;
  if (hi->flags) return nullptr;
  const int64_t r = s.topRow + int64_t(pt.y) / std::max(1, TvItemHeight(h, s));
  if (r >= int64_t(s.rows.size())) {
    hi->flags = TVHT_NOWHERE;
    return nullptr;
  }
  TvNode* n = s.rows[size_t(r)];
  const TvParts p = TvRowParts(h, s, int(r));
  const int x = pt.x;
  if (x < p.indentX) hi->flags = TVHT_ONITEMINDENT;
  else if (x < p.stateX) {
    const bool button = (StyleOf(h) & TVS_HASBUTTONS) && TvCanExpand(n) && (n->level > 0 || RootColumn(h));
    hi->flags = button ? TVHT_ONITEMBUTTON : TVHT_ONITEMINDENT;
  } else if (x < p.imageX) hi->flags = TVHT_ONITEMSTATEICON;
  else if (x < p.label.left) hi->flags = TVHT_ONITEMICON;
  else if (x < p.label.right) hi->flags = TVHT_ONITEMLABEL;
  else hi->flags = TVHT_ONITEMRIGHT;
  hi->hItem = n->handle;
  return n->handle;
}

void TvUpdateScrollBars(HWND h, TreeViewState& s) {
  if ((StyleOf(h) & TVS_NOSCROLL) || s.inLayout) return;
  s.inLayout = true;
  TvRows(h, s);
  SCROLLINFO v{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(0, int(s.rows.size()) - 1),
               UINT(TvRowsPerPage(h, s)), s.topRow, 0};
  SetScrollInfo(h, SB_VERT, &v, TRUE);
  if (IsWindow(h) && !(StyleOf(h) & TVS_NOHSCROLL)) {
    const RECT c = Client(h);
    SCROLLINFO hz{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(0, s.widest - 1),
                  UINT(std::max<LONG>(1, c.right)), s.scrollX, 0};
    SetScrollInfo(h, SB_HORZ, &hz, TRUE);
  }
  s.inLayout = false;
}

void TvStructureChanged(HWND h, TreeViewState& s) {
  const bool wasStale = s.rowsStale;
  s.rowsStale = true;
  // One repaint is enough for any number of changes before it.
  if (!wasStale && IsWindow(h)) InvalidateRect(h, nullptr, TRUE);
}

void TvScrollToRow(HWND h, TreeViewState& s, int top) {
  TvRows(h, s);
  top = std::clamp(top, 0, std::max(0, int(s.rows.size()) - TvRowsPerPage(h, s)));
  if (top == s.topRow) return;
  s.topRow = top;
  InvalidateRect(h, nullptr, TRUE);
  TvUpdateScrollBars(h, s);
}

void TvScrollToX(HWND h, TreeViewState& s, int x) {
  const RECT c = Client(h);
  x = std::clamp(x, 0, std::max(0, s.widest - int(c.right)));
  if (x == s.scrollX) return;
  s.scrollX = x;
  InvalidateRect(h, nullptr, TRUE);
  TvUpdateScrollBars(h, s);
}

void TvInvalidateItem(HWND h, TreeViewState& s, TvNode* n) {
  if (!n || TvRowOf(s, n) < 0 || !IsWindow(h)) return;
  const TvParts p = TvRowParts(h, s, TvRowOf(s, n));
  const RECT c = Client(h);
  if (p.row.bottom <= 0 || p.row.top >= c.bottom) return;
  InvalidateRect(h, &p.row, TRUE);
}

void TvPaint(HWND h, TreeViewState& s, HDC dc, const RECT& area) {
  TvRows(h, s);
  const RECT c = Client(h);
  const COLORREF bk = s.bkColor == CLR_NONE ? GetSysColor(COLOR_WINDOW) : s.bkColor;
  FillSolidRectDc(dc, &area, bk);
  HGDIOBJ oldFont = SelectObject(dc, ControlFontOr(s.font));
  const bool enabled = IsWindowEnabled(h) != 0;
  const DWORD style = StyleOf(h);

  NMTVCUSTOMDRAW cd{};
  cd.nmcd.dwDrawStage = CDDS_PREPAINT;
  cd.nmcd.hdc = dc;
  cd.nmcd.rc = c;
  const LRESULT whole = CustomDraw(h, cd);
  if (whole & CDRF_SKIPDEFAULT || s.rowsStale) {
    SelectObject(dc, oldFont);
    return;
  }
  const int ih = TvItemHeight(h, s);
  const int first = s.topRow + std::max(0, int(area.top)) / std::max(1, ih);
  const int last = std::min<int64_t>(int64_t(s.rows.size()), s.topRow + int64_t(area.bottom + ih - 1) / std::max(1, ih));
  int widest = s.widest;
  for (int r = first; r < last && !s.rowsStale; ++r) {
    TvNode* n = s.rows[size_t(r)];
    const TvParts p = TvRowParts(h, s, r);
    widest = std::max<int>(widest, p.label.right + s.scrollX);
    const bool selected = n == s.caret || n == s.drop;
    const bool showSel = selected && (s.focus || n == s.drop || (style & TVS_SHOWSELALWAYS));
    COLORREF text = !enabled ? GetSysColor(COLOR_GRAYTEXT)
                    : showSel ? (s.focus || n == s.drop ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_WINDOWTEXT))
                    : s.textColor == CLR_NONE ? GetSysColor(COLOR_WINDOWTEXT) : s.textColor;
    COLORREF textBk = showSel ? (s.focus || n == s.drop ? GetSysColor(COLOR_HIGHLIGHT) : GetSysColor(COLOR_BTNFACE)) : bk;
    LRESULT itemRes = CDRF_DODEFAULT;
    if (whole & CDRF_NOTIFYITEMDRAW) {
      NMTVCUSTOMDRAW ic{};
      ic.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
      ic.nmcd.hdc = dc;
      ic.nmcd.rc = p.row;
      ic.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(n->handle);
      ic.nmcd.uItemState = (selected ? CDIS_SELECTED : 0) | (n == s.caret && s.focus ? CDIS_FOCUS : 0) |
                           (enabled ? 0 : CDIS_DISABLED);
      ic.nmcd.lItemlParam = n->lParam;
      ic.clrText = text;
      ic.clrTextBk = textBk;
      ic.iLevel = n->level;
      itemRes = CustomDraw(h, ic);
      if (s.rowsStale) break;  // the parent changed the tree while it was asked
      if (itemRes & CDRF_SKIPDEFAULT) continue;
      text = ic.clrText;
      textBk = ic.clrTextBk;
    }
    DrawLinesAndButton(h, s, dc, n, p);
    const int stateImage = TvStateImage(n);
    if (stateImage > 0) {
      const int sw = StateWidth(h, s);
      if (s.stateImages) {
        const SIZE z = TvImageSize(s.stateImages);
        ImageList_Draw(s.stateImages, stateImage, dc, p.stateX, p.row.top + (ih - z.cy) / 2, ILD_TRANSPARENT);
      } else if (style & TVS_CHECKBOXES) {
        RECT cell{p.stateX, p.row.top, p.stateX + sw, p.row.bottom};
        DrawCheckBox(dc, cell, stateImage >= 2, enabled);
      }
    }
    if (s.normalImages) {
      const SIZE z = TvImageSize(s.normalImages);
      ImageList_Draw(s.normalImages, n == s.caret ? n->selImage : n->image, dc, p.imageX, p.row.top + (ih - z.cy) / 2,
                     ILD_TRANSPARENT);
    }
    RECT label = (style & TVS_FULLROWSELECT) && showSel ? RECT{p.label.left, p.row.top, c.right, p.row.bottom} : p.label;
    if (textBk != bk && textBk != CLR_NONE) FillSolidRectDc(dc, &label, textBk);
    const CString t = TvText(h, s, n);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, text);
    RECT tr{p.label.left + kLabelPad, p.row.top, p.label.right, p.row.bottom};
    DrawTextW(dc, t.GetString(), t.GetLength(), &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (n == s.caret && s.focus) DrawFocusRect(dc, &label);
    if (itemRes & CDRF_NOTIFYPOSTPAINT) {
      NMTVCUSTOMDRAW pc{};
      pc.nmcd.dwDrawStage = CDDS_ITEMPOSTPAINT;
      pc.nmcd.hdc = dc;
      pc.nmcd.rc = p.row;
      pc.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(n->handle);
      pc.nmcd.lItemlParam = n->lParam;
      pc.iLevel = n->level;
      CustomDraw(h, pc);
    }
  }
  if (whole & CDRF_NOTIFYPOSTPAINT) {
    NMTVCUSTOMDRAW pc{};
    pc.nmcd.dwDrawStage = CDDS_POSTPAINT;
    pc.nmcd.hdc = dc;
    pc.nmcd.rc = c;
    CustomDraw(h, pc);
  }
  SelectObject(dc, oldFont);
  if (widest > s.widest) {
    s.widest = widest;
    TvUpdateScrollBars(h, s);
  }
}
