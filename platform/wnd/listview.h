// The list view's own record and the operations its files share: the item store, the
// selection, layout and geometry, painting and input. Only the list view's files include it.
//
// The control never holds anything per row of an owner-data list: the selection is a set of
// ranges, and texts and images are asked for row by row as they are painted, so a list of ten
// million rows costs what a list of ten does.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/wnd/ctlutil.h"
#include "platform/wnd/wndobj.h"

// Sorted, disjoint, non-touching half-open ranges of row indexes.
class RangeSet {
 public:
  bool Contains(int i) const;
  // Adds or removes [from, to).
  void Add(int from, int to);
  void Remove(int from, int to);
  void Clear() { r_.clear(); }
  bool Empty() const { return r_.empty(); }
  int64_t Count() const;
  // The first index >= from that is in the set, or -1.
  int NextFrom(int from) const;
  // A row was inserted at `at`: indexes from it move one up. A row was removed at `at`:
  // it leaves the set and the indexes above it move one down.
  void InsertAt(int at);
  void EraseAt(int at);
  // Drops every index >= n.
  void Truncate(int n) { Remove(n, INT32_MAX); }
  const std::vector<std::pair<int, int>>& Ranges() const { return r_; }

 private:
  std::vector<std::pair<int, int>> r_;
};

struct LvSubText {
  CString text;
  bool callback = false;
};

struct LvItem {
  CString text;
  bool textCallback = false;
  int image = I_IMAGENONE;
  UINT state = 0;  // every state bit but the selection and the focus, which the list keeps apart
  LPARAM lParam = 0;
  int indent = 0;
  std::vector<LvSubText> sub;  // sub-items 1, 2, ...
};

struct LvColumn {
  int fmt = LVCFMT_LEFT;
  int subItem = 0;
  int width = 0;  // a copy of the header's width, taken back after every change
};

struct ListViewState : WindowData {
  std::vector<LvItem> items;  // empty for an owner-data list
  int ownerCount = 0;         // the rows of an owner-data list
  RangeSet selected;
  int focused = -1;
  int mark = -1;  // the selection mark: where a Shift selection starts
  std::vector<LvColumn> columns;
  HWND header = nullptr;
  HFONT font = nullptr;
  DWORD exStyle = 0;
  UINT callbackMask = 0;
  HIMAGELIST normalImages = nullptr, smallImages = nullptr, stateImages = nullptr;
  COLORREF bkColor = CLR_DEFAULT, textColor = CLR_DEFAULT, textBkColor = CLR_DEFAULT;
  SIZE iconSpacing{0, 0};  // 0: from the normal image list

  // Layout, recomputed by LvLayout.
  int headerHeight = 0;
  int rowHeight = 0;       // 0 until measured
  int lineHeight = 0;      // of the font; 0 until measured
  DWORD layoutStyle = 0xFFFFFFFF;  // the style bits the last layout was made for
  bool inLayout = false;
  DWORD measuredStyle = 0;  // the view and owner-draw bits the row height was measured for
  int topIndex = 0;        // report view: the first row shown
  int scrollX = 0;         // report view: pixels scrolled to the right
  int scrollY = 0;         // icon view: pixels scrolled down
  int wheelRest = 0;       // wheel movement not yet worth a line

  // The last range LVN_ODCACHEHINT announced.
  int hintFrom = -1, hintTo = -1;

  // A press waiting for its release, to tell NM_CLICK / NM_RCLICK.
  int pressButton = -1;  // 0 left, 1 right
  POINT pressPoint{0, 0};
  UINT pressKeys = 0;
  bool inNotify = false;
};

std::shared_ptr<ListViewState> LvState(HWND h);

// ---- Items (listview.cpp) ----
int LvCount(const ListViewState& s);
bool LvOwnerData(HWND h);
bool LvIsReport(HWND h);
// The item's state bits in `mask`, selection and focus included.
UINT LvGetState(HWND h, ListViewState& s, int i, UINT mask);
// Changes the state bits of one row (or of every row for -1) with LVN_ITEMCHANGING and
// LVN_ITEMCHANGED; false when refused or out of range.
bool LvSetState(HWND h, ListViewState& s, int i, UINT state, UINT mask);
// The text of a cell (asked of the parent for callback texts and owner data), at most
// maxChars - 1 units.
CString LvGetText(HWND h, ListViewState& s, int i, int sub, int maxChars = 260);
// The image of a row's first column, or I_IMAGENONE.
int LvGetImage(HWND h, ListViewState& s, int i);
LPARAM LvGetParam(const ListViewState& s, int i);
// The state image (1 unchecked, 2 checked with check boxes), 0 for none.
int LvStateImage(HWND h, ListViewState& s, int i);
// Selection helpers that notify as the user's actions do.
void LvDeselectAll(HWND h, ListViewState& s, int except);
void LvSelectRange(HWND h, ListViewState& s, int from, int to, bool keepOthers);
void LvSetFocus(HWND h, ListViewState& s, int i);

// ---- Layout and geometry (listviewlayout.cpp) ----
// Measures the rows (WM_MEASUREITEM for owner-drawn reports), places the header and sets the
// scroll bars; call after any change of size, style, font, columns, images or count.
void LvLayout(HWND h, ListViewState& s);
// After rows came or went: the scroll positions stay inside the rows and the scroll bars follow;
// the header is left alone.
void LvCountChanged(HWND h, ListViewState& s);
// Lays out again when the style changed behind the list's back (SetWindowLong).
void LvEnsureLayout(HWND h, ListViewState& s);
int LvLineHeight(ListViewState& s);
// The client y of a report row's top, counted in 64 bits (rows far from the top row lie
// billions of pixels away) and held within +-2^30, so that rectangles of rows far off the page
// stay far off it instead of wrapping onto it.
LONG LvRowTop(const ListViewState& s, int64_t row, int rowHeight);
int LvRowHeight(HWND h, ListViewState& s);
// Asks the owner of an owner-drawn report for the row height again.
void LvRemeasure(HWND h, ListViewState& s);
void LvSyncColumns(HWND h, ListViewState& s);
int LvTotalWidth(const ListViewState& s);
int LvColumnLeft(const ListViewState& s, int col);
RECT LvClient(HWND h);
// Report rows that fit the page whole, at least 1.
int LvCountPerPage(HWND h, ListViewState& s);
// The rows [first, last) that show, partly shown ones included.
std::pair<int, int> LvVisibleRows(HWND h, ListViewState& s);
// Rectangles in client coordinates; false when the row does not exist.
bool LvItemRect(HWND h, ListViewState& s, int i, int code, RECT* r);
bool LvSubItemRect(HWND h, ListViewState& s, int i, int sub, int code, RECT* r);
RECT LvStateRect(HWND h, ListViewState& s, int i);
// The icon view's grid.
SIZE LvIconSpacing(ListViewState& s);
int LvIconColumns(HWND h, ListViewState& s);
POINT LvIconCell(HWND h, ListViewState& s, int i);  // the cell's top-left in client coordinates
int LvHitTest(HWND h, ListViewState& s, LVHITTESTINFO* hi, bool subItems);
// Scrolling: to a row (report) or a pixel offset (icon view); both clamp and repaint.
void LvScrollToRow(HWND h, ListViewState& s, int64_t top);
void LvScrollToY(HWND h, ListViewState& s, int y);
void LvScrollToX(HWND h, ListViewState& s, int x);
void LvEnsureVisible(HWND h, ListViewState& s, int i);
void LvInvalidateItem(HWND h, ListViewState& s, int i);
// Image list sizes (0 by 0 without a list).
SIZE LvImageSize(HIMAGELIST il);
void LvDrawImage(HIMAGELIST il, int index, HDC dc, int x, int y, bool selected);
void LvUpdateScrollBars(HWND h, ListViewState& s);

// ---- Painting (listviewpaint.cpp) ----
// `fillEmpty`: the list paints the part below its rows too (its own WM_PAINT); a context
// handed in keeps what its owner put there.
void LvPaint(HWND h, ListViewState& s, HDC dc, const RECT& area, bool fillEmpty);
void LvAnnounceCache(HWND h, ListViewState& s);

// ---- Input (listviewinput.cpp) ----
// True when the message was one of the list's input messages; *result holds its answer.
bool LvInput(HWND h, ListViewState& s, UINT msg, WPARAM w, LPARAM l, LRESULT* result);
