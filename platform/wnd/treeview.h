// The tree view's own record and the operations its files share: the item store, the rows
// that show, geometry, painting and input. Only the tree view's files include it.
//
// Items live in slots addressed by their handle (slot and generation), so a handle of a
// deleted item is recognised and refused, never followed. The rows that show (every item
// whose ancestors are all expanded) are kept as one array that is rebuilt lazily after a
// change of structure, so inserting a million children costs a million small steps and one
// rebuild, not a million rebuilds.
#pragma once

#include <memory>
#include <vector>

#include "platform/wnd/ctlutil.h"
#include "platform/wnd/wndobj.h"

struct TvNode {
  HTREEITEM handle = nullptr;
  TvNode* parent = nullptr;
  TvNode* first = nullptr;  // first child
  TvNode* last = nullptr;   // last child
  TvNode* prev = nullptr;
  TvNode* next = nullptr;
  CString text;
  bool textCallback = false;
  int image = 0, selImage = 0;
  int children = 0;  // the cChildren the owner gave (1 or I_CHILDRENCALLBACK: has children)
  bool childrenGiven = false;
  UINT state = 0;  // every state bit but TVIS_SELECTED, which the tree keeps apart
  LPARAM lParam = 0;
  int level = 0;
  int row = -1;    // index among the shown rows, when rowGen is the tree's rowGen
  uint32_t rowGen = 0;
  int width = -1;  // the label's text width, measured once per font (widthGen)
  int widthGen = -1;
};

struct TreeViewState : WindowData {
  std::vector<TvNode*> slots;  // by slot; null when free
  std::vector<uint32_t> gens;  // generation of each slot, part of the handle
  std::vector<uint32_t> freeSlots;
  TvNode root;  // the invisible parent of the top-level items
  int count = 0;

  std::vector<TvNode*> rows;  // the items that show, in order
  bool rowsStale = false;
  uint32_t rowGen = 1;  // a rebuild of the rows makes every older row index void
  int topRow = 0;
  int scrollX = 0;
  int widest = 0;  // the widest row seen since the last rebuild (for the horizontal bar)

  TvNode* caret = nullptr;  // the selected item
  TvNode* drop = nullptr;   // the drop-highlighted item
  HIMAGELIST normalImages = nullptr, stateImages = nullptr;
  HFONT font = nullptr;
  int indent = 19;
  int itemHeight = 0;       // 0: from the font and the images
  int lineHeight = 0;       // of the font; 0 until measured
  int widthGen = 0;         // counts font changes, so that old label widths are measured again
  bool deleting = false;    // a deletion is sending its TVN_DELETEITEM notifications
  bool inLayout = false;
  COLORREF bkColor = CLR_NONE, textColor = CLR_NONE;
  bool focus = false;
  bool redraw = true;
  bool inPaint = false;

  // A press waiting for its release, to tell NM_CLICK and NM_RCLICK.
  int pressButton = -1;
  POINT pressPoint{0, 0};
  UINT pressFlags = 0;
  TvNode* pressItem = nullptr;
  int wheelRest = 0;

  ~TreeViewState() override;
};

std::shared_ptr<TreeViewState> TvState(HWND h);

// ---- Items (treeview.cpp) ----
TvNode* TvFind(TreeViewState& s, HTREEITEM h);
bool TvCanExpand(const TvNode* n);
bool TvExpanded(const TvNode* n);
// The state image index (bits 12-15 of the state).
inline int TvStateImage(const TvNode* n) { return int((n->state & TVIS_STATEIMAGEMASK) >> 12); }
// The text of an item (asked of the parent for callback texts), at most 1023 units.
CString TvText(HWND h, TreeViewState& s, TvNode* n);
// Expands, collapses or toggles the item; `byUser` sends the notifications whatever
// TVIS_EXPANDEDONCE says. False when nothing changed or the parent refused.
bool TvExpand(HWND h, TreeViewState& s, TvNode* n, UINT code, bool byUser);
// Makes the item the selected one with TVN_SELCHANGING (which may refuse) and TVN_SELCHANGED.
bool TvSelect(HWND h, TreeViewState& s, TvNode* n, UINT action);
// Expands the item's ancestors and scrolls it into view.
void TvEnsureVisible(HWND h, TreeViewState& s, TvNode* n);
// Turns the item's state image to the next one (the check box), wrapping to the first.
void TvToggleStateImage(HWND h, TreeViewState& s, TvNode* n);

// ---- Geometry and painting (treeviewdraw.cpp) ----
// The item's index among the shown rows, -1 when it does not show (or the rows are stale).
inline int TvRowOf(const TreeViewState& s, const TvNode* n) {
  return !s.rowsStale && n->rowGen == s.rowGen ? n->row : -1;
}
// Rebuilds the shown rows when they are stale; the scroll position and bars follow.
void TvRows(HWND h, TreeViewState& s);
int TvItemHeight(HWND h, TreeViewState& s);
int TvRowsPerPage(HWND h, TreeViewState& s);  // whole rows, at least 1
struct TvParts {
  RECT row;      // the whole row
  int indentX;   // where the item's own column of lines and button starts
  int stateX;    // the state image (width 0 without a state image list)
  int imageX;    // the image (width 0 without a normal image list)
  RECT label;
};
// The parts of the item in shown row r, client coordinates.
TvParts TvRowParts(HWND h, TreeViewState& s, int r);
HTREEITEM TvHitTest(HWND h, TreeViewState& s, TVHITTESTINFO* hi);
void TvPaint(HWND h, TreeViewState& s, HDC dc, const RECT& area);
void TvScrollToRow(HWND h, TreeViewState& s, int top);
void TvScrollToX(HWND h, TreeViewState& s, int x);
void TvUpdateScrollBars(HWND h, TreeViewState& s);
// The tree's structure changed: rows, scroll position and bars follow, and it repaints.
void TvStructureChanged(HWND h, TreeViewState& s);
void TvInvalidateItem(HWND h, TreeViewState& s, TvNode* n);
SIZE TvImageSize(HIMAGELIST il);

// ---- Input (treeviewinput.cpp) ----
bool TvInput(HWND h, TreeViewState& s, UINT msg, WPARAM w, LPARAM l, LRESULT* result);
