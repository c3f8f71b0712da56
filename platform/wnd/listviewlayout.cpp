// The list view's layout and geometry: row height (asked of the owner for owner-drawn
// reports), the header's place, the rectangles of items and their parts, the icon view's
// grid, hit-testing, scrolling and the scroll bars.
//
// Report rows: the first column holds, from its left edge, two pixels, the state image (check
// box) and two pixels more when there is one, the small icon, then the label to the column's
// right edge. Icon view: a grid of cells the size of the icon spacing (by default the normal
// image size plus 43 pixels each way); an item's icon is centred at the top of its cell with
// its label below.
#include <algorithm>

#include "platform/wnd/listview.h"

namespace {

constexpr int kMargin = 2;
constexpr int kIconSpacingExtra = 43;

int StateWidth(ListViewState& s) {
  if (s.stateImages) return LvImageSize(s.stateImages).cx;
  return (s.exStyle & LVS_EX_CHECKBOXES) ? 16 : 0;
}

int StateHeight(ListViewState& s) {
  if (s.stateImages) return LvImageSize(s.stateImages).cy;
  return (s.exStyle & LVS_EX_CHECKBOXES) ? 16 : 0;
}

SIZE NormalIconSize(ListViewState& s) {
  SIZE z = LvImageSize(s.normalImages);
  if (z.cx <= 0 || z.cy <= 0) z = SIZE{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
  return z;
}

int LabelLines(HWND h) { return (StyleOf(h) & LVS_NOLABELWRAP) ? 1 : 2; }

DWORD MeasureBits(HWND h) { return StyleOf(h) & (LVS_TYPEMASK | LVS_OWNERDRAWFIXED); }

bool OwnerDrawnReport(HWND h) { return LvIsReport(h) && (StyleOf(h) & LVS_OWNERDRAWFIXED); }

int Indent(HWND h, ListViewState& s, int i) {
  if (LvOwnerData(h) || i < 0 || size_t(i) >= s.items.size()) return 0;
  return s.items[size_t(i)].indent * LvImageSize(s.smallImages).cx;
}

struct IconParts {
  RECT icon, label, bounds;
};

IconParts IconItemParts(HWND h, ListViewState& s, int i) {
  const POINT cell = LvIconCell(h, s, i);
  const SIZE sp = LvIconSpacing(s), ic = NormalIconSize(s);
  IconParts p{};
  p.icon = RECT{cell.x + (sp.cx - ic.cx) / 2, cell.y + kMargin, 0, 0};
  p.icon.right = p.icon.left + ic.cx;
  p.icon.bottom = p.icon.top + ic.cy;
  const int line = LvLineHeight(s);
  p.label = RECT{cell.x + kMargin, p.icon.bottom + kMargin, cell.x + sp.cx - kMargin,
                 p.icon.bottom + kMargin + line * LabelLines(h) + 4};
  p.bounds = RECT{std::min(p.icon.left, p.label.left), p.icon.top, std::max(p.icon.right, p.label.right), p.label.bottom};
  return p;
}

// The column under a client x, or -1 (right of the last column).
int ColumnAt(const ListViewState& s, int x) {
  int left = -s.scrollX;
  for (size_t c = 0; c < s.columns.size(); ++c) {
    const int right = left + s.columns[c].width;
    if (x >= left && x < right) return int(c);
    left = right;
  }
  return -1;
}

}  // namespace

RECT LvClient(HWND h) {
  RECT c{};
  GetClientRect(h, &c);
  return c;
}

int LvTotalWidth(const ListViewState& s) {
  int w = 0;
  for (const LvColumn& c : s.columns) w += c.width;
  return w;
}

int LvColumnLeft(const ListViewState& s, int col) {
  int x = -s.scrollX;
  for (int c = 0; c < col && size_t(c) < s.columns.size(); ++c) x += s.columns[size_t(c)].width;
  return x;
}

void LvSyncColumns(HWND h, ListViewState& s) {
  (void)h;
  if (!s.header) return;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    HDITEMW hd{};
    hd.mask = HDI_WIDTH;
    if (SendMessageW(s.header, HDM_GETITEMW, WPARAM(i), reinterpret_cast<LPARAM>(&hd))) s.columns[i].width = hd.cxy;
  }
}

int LvRowHeight(HWND h, ListViewState& s) {
  if (s.rowHeight > 0 && s.measuredStyle == MeasureBits(h)) return s.rowHeight;
  s.measuredStyle = MeasureBits(h);
  int height = std::max({LvLineHeight(s) + 4, LvImageSize(s.smallImages).cy + 2, StateHeight(s) + 2});
  if (OwnerDrawnReport(h)) {
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_LISTVIEW;
    mis.CtlID = UINT(GetDlgCtrlID(h));
    mis.itemHeight = UINT(height);
    if (HWND p = GetParent(h)) SendMessageW(p, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    height = int(std::clamp<UINT>(mis.itemHeight, 1, 4096));
  }
  s.rowHeight = height;
  return height;
}

void LvRemeasure(HWND h, ListViewState& s) {
  if (!OwnerDrawnReport(h)) return;
  const int old = s.rowHeight;
  s.rowHeight = 0;
  if (LvRowHeight(h, s) != old) {
    LvLayout(h, s);
    InvalidateRect(h, nullptr, TRUE);
  }
}

int LvCountPerPage(HWND h, ListViewState& s) {
  const RECT c = LvClient(h);
  return std::max(1, int(c.bottom - s.headerHeight) / std::max(1, LvRowHeight(h, s)));
}

SIZE LvIconSpacing(ListViewState& s) {
  const SIZE ic = NormalIconSize(s);
  SIZE sp{ic.cx + kIconSpacingExtra, ic.cy + kIconSpacingExtra};
  if (s.iconSpacing.cx > 0) sp.cx = s.iconSpacing.cx;
  if (s.iconSpacing.cy > 0) sp.cy = s.iconSpacing.cy;
  return sp;
}

int LvIconColumns(HWND h, ListViewState& s) {
  const RECT c = LvClient(h);
  return std::max(1, int(c.right) / std::max<int>(1, LvIconSpacing(s).cx));
}

POINT LvIconCell(HWND h, ListViewState& s, int i) {
  const int cols = LvIconColumns(h, s);
  const SIZE sp = LvIconSpacing(s);
  return POINT{(i % cols) * sp.cx, int(int64_t(i / cols) * sp.cy - s.scrollY)};
}

std::pair<int, int> LvVisibleRows(HWND h, ListViewState& s) {
  const int n = LvCount(s);
  const RECT c = LvClient(h);
  if (n <= 0) return {0, 0};
  if (LvIsReport(h)) {
    const int rh = std::max(1, LvRowHeight(h, s));
    const int area = std::max(0, int(c.bottom) - s.headerHeight);
    const int first = std::min(s.topIndex, n);
    return {first, int(std::min<int64_t>(n, int64_t(first) + (area + rh - 1) / rh))};
  }
  const int cols = LvIconColumns(h, s);
  const SIZE sp = LvIconSpacing(s);
  const int64_t r0 = s.scrollY / sp.cy, r1 = (int64_t(s.scrollY) + std::max<int>(0, c.bottom - 1)) / sp.cy;
  return {int(std::min<int64_t>(n, r0 * cols)), int(std::min<int64_t>(n, (r1 + 1) * cols))};
}

LONG LvRowTop(const ListViewState& s, int64_t row, int rowHeight) {
  constexpr int64_t kFar = int64_t(1) << 30;
  return LONG(std::clamp<int64_t>(s.headerHeight + (row - s.topIndex) * rowHeight, -kFar, kFar));
}

RECT LvStateRect(HWND h, ListViewState& s, int i) {
  const int rh = std::max(1, LvRowHeight(h, s));
  const int top = LvRowTop(s, i, rh);
  const int left = LvColumnLeft(s, 0) + Indent(h, s, i) + kMargin;
  return RECT{left, top, left + StateWidth(s), top + rh};
}

bool LvItemRect(HWND h, ListViewState& s, int i, int code, RECT* r) {
  if (!r || i < 0 || i >= LvCount(s)) return false;
  if (!LvIsReport(h)) {
    const IconParts p = IconItemParts(h, s, i);
    switch (code) {
      case LVIR_ICON: *r = p.icon; return true;
      case LVIR_LABEL: *r = p.label; return true;
      case LVIR_BOUNDS:
      case LVIR_SELECTBOUNDS: *r = p.bounds; return true;
      default: return false;
    }
  }
  return LvSubItemRect(h, s, i, 0, code, r);
}

bool LvSubItemRect(HWND h, ListViewState& s, int i, int sub, int code, RECT* r) {
  if (!r || i < 0 || i >= LvCount(s) || sub < 0) return false;
  if (!LvIsReport(h)) return sub == 0 && LvItemRect(h, s, i, code, r);
  if (code < LVIR_BOUNDS || code > LVIR_SELECTBOUNDS) return false;
  const int rh = std::max(1, LvRowHeight(h, s));
  const int top = LvRowTop(s, i, rh), bottom = top + rh;
  if (sub > 0) {
    if (size_t(sub) >= s.columns.size()) return false;
    const int left = LvColumnLeft(s, sub), right = left + s.columns[size_t(sub)].width;
    *r = RECT{left, top, code == LVIR_ICON ? left : right, bottom};
    return true;
  }
  const int c0 = LvColumnLeft(s, 0);
  const int c0right = c0 + (s.columns.empty() ? 0 : s.columns[0].width);
  const RECT st = LvStateRect(h, s, i);
  int x = st.right + (StateWidth(s) > 0 ? kMargin : 0);
  const RECT icon{std::min(x, c0right), top, std::min(x + LvImageSize(s.smallImages).cx, c0right), bottom};
  x = icon.right;
  const RECT label{std::min(x, c0right), top, c0right, bottom};
  switch (code) {
    case LVIR_BOUNDS: *r = RECT{c0, top, c0 + LvTotalWidth(s), bottom}; return true;
    case LVIR_ICON: *r = icon; return true;
    case LVIR_LABEL: *r = label; return true;
    case LVIR_SELECTBOUNDS:
      if (s.exStyle & LVS_EX_FULLROWSELECT) *r = RECT{c0, top, c0 + LvTotalWidth(s), bottom};
      else *r = RECT{icon.left, top, label.right, bottom};
      return true;
    default: return false;
  }
}

int LvHitTest(HWND h, ListViewState& s, LVHITTESTINFO* hi, bool subItems) {
  if (!hi) return -1;
  hi->flags = 0;
  hi->iItem = -1;
  hi->iSubItem = 0;
  const RECT c = LvClient(h);
  const POINT p = hi->pt;
  if (p.x < c.left) hi->flags |= LVHT_TOLEFT;
  if (p.x >= c.right) hi->flags |= LVHT_TORIGHT;
  if (p.y < c.top) hi->flags |= LVHT_ABOVE;
  if (p.y >= c.bottom) hi->flags |= LVHT_BELOW;
  if (hi->flags) return -1;
  hi->flags = LVHT_NOWHERE;
  const int n = LvCount(s);
  if (LvIsReport(h)) {
    if (p.y < s.headerHeight) return -1;
    const int rh = std::max(1, LvRowHeight(h, s));
    const int64_t row = int64_t(s.topIndex) + (p.y - s.headerHeight) / rh;
    if (row >= n) return -1;
    const int i = int(row);
    const int col = ColumnAt(s, p.x);
    RECT st = LvStateRect(h, s, i), icon{}, label{};
    LvSubItemRect(h, s, i, 0, LVIR_ICON, &icon);
    LvSubItemRect(h, s, i, 0, LVIR_LABEL, &label);
    UINT flags = 0;
    if (col == 0 && PtInRect(&st, p)) flags = LVHT_ONITEMSTATEICON;
    else if (col == 0 && PtInRect(&icon, p)) flags = LVHT_ONITEMICON;
    else if (col == 0 && p.x >= label.left) flags = LVHT_ONITEMLABEL;
    else if (s.exStyle & LVS_EX_FULLROWSELECT) flags = LVHT_ONITEMLABEL;  // the whole row is the item
    if (!flags) return -1;
    hi->flags = flags;
    hi->iItem = i;
    if (subItems) hi->iSubItem = std::max(0, col);
    return i;
  }
  const SIZE sp = LvIconSpacing(s);
  const int cols = LvIconColumns(h, s);
  const int col = p.x / std::max<int>(1, sp.cx);
  const int64_t row = (int64_t(p.y) + s.scrollY) / std::max<int>(1, sp.cy);
  if (col >= cols || row < 0) return -1;
  const int64_t idx = row * cols + col;
  if (idx >= n) return -1;
  const IconParts parts = IconItemParts(h, s, int(idx));
  if (PtInRect(&parts.icon, p)) hi->flags = LVHT_ONITEMICON;
  else if (PtInRect(&parts.bounds, p)) hi->flags = LVHT_ONITEMLABEL;
  else return -1;
  hi->iItem = int(idx);
  (void)subItems;
  return hi->iItem;
}

int LvLineHeight(ListViewState& s) {
  if (s.lineHeight <= 0) s.lineHeight = FontLineHeight(s.font);
  return s.lineHeight;
}

namespace {
DWORD LayoutBits(HWND h) { return StyleOf(h) & (LVS_TYPEMASK | LVS_NOCOLUMNHEADER | LVS_OWNERDRAWFIXED); }
}  // namespace

void LvEnsureLayout(HWND h, ListViewState& s) {
  if (s.layoutStyle != LayoutBits(h)) LvLayout(h, s);
}

void LvLayout(HWND h, ListViewState& s) {
  if (s.inLayout) return;
  s.inLayout = true;
  s.layoutStyle = LayoutBits(h);
  const RECT c = LvClient(h);
  const bool report = LvIsReport(h);
  if (s.header) {
    const bool show = report && !(StyleOf(h) & LVS_NOCOLUMNHEADER);
    if (show) {
      RECT area = c;
      WINDOWPOS wp{};
      HDLAYOUT lay{&area, &wp};
      SendMessageW(s.header, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&lay));
      s.headerHeight = std::max(0, int(area.top - c.top));
      // Scrolled to the right, the header moves left with the rows.
      RECT now{};
      GetWindowRect(s.header, &now);
      POINT at{now.left, now.top};
      ScreenToClient(h, &at);
      const int x = wp.x - s.scrollX, cx = wp.cx + s.scrollX;
      if (!IsWindowVisible(s.header) || at.x != x || at.y != wp.y || now.right - now.left != cx ||
          now.bottom - now.top != wp.cy) {
        SetWindowPos(s.header, nullptr, x, wp.y, cx, wp.cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
      }
    } else {
      s.headerHeight = 0;
      if (IsWindowVisible(s.header)) ShowWindow(s.header, SW_HIDE);
    }
  }
  LvCountChanged(h, s);
  s.inLayout = false;
}

void LvCountChanged(HWND h, ListViewState& s) {
  const RECT c = LvClient(h);
  const int n = LvCount(s);
  if (LvIsReport(h)) {
    s.topIndex = std::clamp(s.topIndex, 0, std::max(0, n - LvCountPerPage(h, s)));
    s.scrollX = std::clamp(s.scrollX, 0, std::max(0, LvTotalWidth(s) - int(c.right)));
  } else {
    const SIZE sp = LvIconSpacing(s);
    const int cols = LvIconColumns(h, s);
    const int64_t content = int64_t((n + cols - 1) / cols) * sp.cy;
    s.scrollY = int(std::clamp<int64_t>(s.scrollY, 0, std::max<int64_t>(0, content - c.bottom)));
  }
  LvUpdateScrollBars(h, s);
}

void LvScrollToRow(HWND h, ListViewState& s, int64_t top) {
  const int n = LvCount(s);
  const int row = int(std::clamp<int64_t>(top, 0, std::max(0, n - LvCountPerPage(h, s))));
  if (row == s.topIndex) return;
  s.topIndex = row;
  RECT c = LvClient(h);
  c.top = s.headerHeight;
  InvalidateRect(h, &c, FALSE);
  LvUpdateScrollBars(h, s);
}

void LvScrollToY(HWND h, ListViewState& s, int y) {
  const RECT c = LvClient(h);
  const SIZE sp = LvIconSpacing(s);
  const int cols = LvIconColumns(h, s);
  const int64_t content = int64_t((LvCount(s) + cols - 1) / cols) * sp.cy;
  y = int(std::clamp<int64_t>(y, 0, std::max<int64_t>(0, content - c.bottom)));
  if (y == s.scrollY) return;
  s.scrollY = y;
  InvalidateRect(h, nullptr, TRUE);
  LvUpdateScrollBars(h, s);
}

void LvScrollToX(HWND h, ListViewState& s, int x) {
  const RECT c = LvClient(h);
  x = std::clamp(x, 0, std::max(0, LvTotalWidth(s) - int(c.right)));
  if (x == s.scrollX) return;
  s.scrollX = x;
  LvLayout(h, s);  // the header follows
  InvalidateRect(h, nullptr, FALSE);
}

void LvEnsureVisible(HWND h, ListViewState& s, int i) {
  if (i < 0 || i >= LvCount(s)) return;
  if (LvIsReport(h)) {
    const int per = LvCountPerPage(h, s);
    if (i < s.topIndex) LvScrollToRow(h, s, i);
    else if (i >= int64_t(s.topIndex) + per) LvScrollToRow(h, s, int64_t(i) - per + 1);
    return;
  }
  const IconParts p = IconItemParts(h, s, i);
  const RECT c = LvClient(h);
  if (p.bounds.top < 0) LvScrollToY(h, s, s.scrollY + p.bounds.top - kMargin);
  else if (p.bounds.bottom > c.bottom) LvScrollToY(h, s, s.scrollY + (p.bounds.bottom - c.bottom) + kMargin);
}

void LvInvalidateItem(HWND h, ListViewState& s, int i) {
  if (i < 0 || i >= LvCount(s)) return;
  const RECT c = LvClient(h);
  if (LvIsReport(h)) {
    RECT b{};
    if (!LvItemRect(h, s, i, LVIR_BOUNDS, &b) || b.bottom <= s.headerHeight || b.top >= c.bottom) return;
    RECT row{c.left, std::max<LONG>(b.top, s.headerHeight), c.right, b.bottom};
    InvalidateRect(h, &row, FALSE);
    return;
  }
  RECT b{};
  if (!LvItemRect(h, s, i, LVIR_BOUNDS, &b) || b.bottom <= 0 || b.top >= c.bottom) return;
  InflateRect(&b, kMargin, kMargin);
  InvalidateRect(h, &b, TRUE);
}

// ---- Image lists and scroll bars ----

SIZE LvImageSize(HIMAGELIST il) {
  int cx = 0, cy = 0;
  if (!il || !ImageList_GetIconSize(il, &cx, &cy)) return SIZE{0, 0};
  return SIZE{cx, cy};
}

void LvDrawImage(HIMAGELIST il, int index, HDC dc, int x, int y, bool selected) {
  if (!il || index < 0 || index >= ImageList_GetImageCount(il)) return;
  ImageList_Draw(il, index, dc, x, y, ILD_TRANSPARENT | (selected ? ILD_SELECTED : 0));
}

void LvUpdateScrollBars(HWND h, ListViewState& s) {
  if (StyleOf(h) & LVS_NOSCROLL) return;
  const RECT c = LvClient(h);
  SCROLLINFO v{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 1, 0, 0};
  SCROLLINFO hz = v;
  const int n = LvCount(s);
  if (LvIsReport(h)) {
    // Rows are the vertical unit, pixels the horizontal one.
    v.nMax = std::max(0, n - 1);
    v.nPage = UINT(std::max(1, LvCountPerPage(h, s)));
    v.nPos = s.topIndex;
    hz.nMax = std::max(0, LvTotalWidth(s) - 1);
    hz.nPage = UINT(std::max<LONG>(1, c.right));
    hz.nPos = s.scrollX;
  } else {
    const SIZE sp = LvIconSpacing(s);
    const int cols = LvIconColumns(h, s);
    const int64_t content = int64_t((n + cols - 1) / cols) * sp.cy;
    v.nMax = int(std::clamp<int64_t>(content - 1, 0, INT32_MAX));
    v.nPage = UINT(std::max<LONG>(1, c.bottom));
    v.nPos = s.scrollY;
  }
  SetScrollInfo(h, SB_VERT, &v, TRUE);
  if (IsWindow(h)) SetScrollInfo(h, SB_HORZ, &hz, TRUE);
}

int LvThumbPosition(HWND h, bool vertical, WPARAM w) {
  // The message carries 16 bits; the bar keeps the whole position while its thumb is dragged.
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_TRACKPOS, 0, 0, 0, 0, 0};
  const int small = int(HIWORD(w));
  if (GetScrollInfo(h, vertical ? SB_VERT : SB_HORZ, &si) && (si.nTrackPos & 0xFFFF) == small) return si.nTrackPos;
  return small;
}
