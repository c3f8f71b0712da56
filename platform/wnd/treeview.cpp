// The tree view ("SysTreeView32"): its item store, expansion with the TVIS_EXPANDEDONCE rules,
// the selection, the messages that read and change items, and the procedure that hands
// painting, geometry and input to the other tree view files.
#include <algorithm>
#include <cstring>

#include "platform/wnd/treeview.h"

namespace {

HTREEITEM MakeHandle(uint32_t slot, uint32_t gen) {
  return reinterpret_cast<HTREEITEM>((uintptr_t(gen) << 32) | uintptr_t(slot + 1));
}

TvNode* NewNode(TreeViewState& s) {
  uint32_t slot;
  if (!s.freeSlots.empty()) {
    slot = s.freeSlots.back();
    s.freeSlots.pop_back();
  } else {
    slot = uint32_t(s.slots.size());
    s.slots.push_back(nullptr);
    s.gens.push_back(0);
  }
  auto* n = new TvNode;
  ++s.gens[slot];
  n->handle = MakeHandle(slot, s.gens[slot]);
  s.slots[slot] = n;
  ++s.count;
  return n;
}

void FreeNode(TreeViewState& s, TvNode* n) {
  const uint32_t slot = uint32_t(uintptr_t(n->handle) & 0xFFFFFFFFu) - 1;
  s.slots[slot] = nullptr;
  s.freeSlots.push_back(slot);
  --s.count;
  delete n;
}

void Unlink(TvNode* n) {
  TvNode* p = n->parent;
  if (n->prev) n->prev->next = n->next;
  else p->first = n->next;
  if (n->next) n->next->prev = n->prev;
  else p->last = n->prev;
  n->prev = n->next = nullptr;
}

bool IsAncestor(const TvNode* a, const TvNode* n) {
  for (const TvNode* p = n; p; p = p->parent) {
    if (p == a) return true;
  }
  return false;
}

// The item as the notifications describe it.
TVITEMW Describe(TreeViewState& s, TvNode* n) {
  TVITEMW it{};
  if (!n) return it;
  it.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
  it.hItem = n->handle;
  it.state = n->state | (n == s.caret ? TVIS_SELECTED : 0);
  it.stateMask = 0xFFFF;
  it.lParam = n->lParam;
  return it;
}

LRESULT NotifyTree(HWND h, UINT code, UINT action, TreeViewState& s, TvNode* oldItem, TvNode* newItem) {
  NMTREEVIEWW nm{};
  nm.action = action;
  nm.itemOld = Describe(s, oldItem);
  nm.itemNew = Describe(s, newItem);
  GetCursorPos(&nm.ptDrag);
  ScreenToClient(h, &nm.ptDrag);
  return SendNotify(h, code, &nm.hdr);
}

// True when the item's row shows (its ancestors are all expanded); with stale rows it is
// worked out from the ancestors.
bool Shows(TreeViewState& s, const TvNode* n) {
  if (n == &s.root) return true;
  if (!s.rowsStale) return TvRowOf(s, n) >= 0;
  for (const TvNode* p = n->parent; p && p != &s.root; p = p->parent) {
    if (!TvExpanded(p)) return false;
  }
  return true;
}

// Deletes the item and everything below it, children first, each announced with
// TVN_DELETEITEM while it still exists.
void DeleteSubtree(HWND h, TreeViewState& s, TvNode* top) {
  auto deepest = [](TvNode* x) {
    while (x->first) x = x->first;
    return x;
  };
  const bool shown = Shows(s, top);
  TvNode* parent = top->parent;
  s.deleting = true;
  TvNode* cur = top == &s.root ? (top->first ? deepest(top->first) : nullptr) : deepest(top);
  while (cur && cur != &s.root) {
    TvNode* next = cur == top ? nullptr : (cur->next ? deepest(cur->next) : cur->parent);
    if (next == &s.root) next = nullptr;
    if (cur == s.caret) s.caret = nullptr;
    if (cur == s.drop) s.drop = nullptr;
    if (cur == s.pressItem) s.pressItem = nullptr;
    if (IsWindow(h)) NotifyTree(h, TVN_DELETEITEMW, 0, s, cur, nullptr);
    // The owner may have had the rows rebuilt meanwhile: a shown item leaves them stale.
    if (TvRowOf(s, cur) >= 0) TvStructureChanged(h, s);
    Unlink(cur);
    FreeNode(s, cur);
    cur = next;
  }
  s.deleting = false;
  if (shown || (parent && Shows(s, parent))) TvStructureChanged(h, s);
}

TvNode* InsertItem(HWND h, TreeViewState& s, const TVINSERTSTRUCTW& is) {
  TvNode* parent = (!is.hParent || is.hParent == TVI_ROOT) ? &s.root : TvFind(s, is.hParent);
  if (!parent || s.deleting) return nullptr;
  TvNode* after = nullptr;  // null: first
  const HTREEITEM where = is.hInsertAfter;
  if (where == TVI_FIRST) {
    after = nullptr;
  } else if (where == TVI_SORT) {
    // Before the first sibling whose text sorts after the new one.
    const CString text = (is.item.mask & TVIF_TEXT) && is.item.pszText && is.item.pszText != LPSTR_TEXTCALLBACKW
                             ? CString(is.item.pszText)
                             : CString();
    after = parent->last;
    for (TvNode* c = parent->first; c; c = c->next) {
      if (c->text.CompareNoCase(text.GetString()) > 0) {
        after = c->prev;
        break;
      }
    }
  } else {
    TvNode* a = (where == TVI_LAST || !where) ? nullptr : TvFind(s, where);
    // An item that is not a child of the parent counts as the end.
    after = (a && a->parent == parent) ? a : parent->last;
  }
  TvNode* n = NewNode(s);
  n->parent = parent;
  n->level = parent == &s.root ? 0 : parent->level + 1;
  n->prev = after;
  n->next = after ? after->next : parent->first;
  if (n->prev) n->prev->next = n;
  else parent->first = n;
  if (n->next) n->next->prev = n;
  else parent->last = n;

  const TVITEMW& it = is.item;
  if (it.mask & TVIF_TEXT) {
    if (it.pszText == LPSTR_TEXTCALLBACKW) n->textCallback = true;
    else if (it.pszText) n->text = CString(it.pszText);
  }
  if (it.mask & TVIF_IMAGE) n->image = it.iImage;
  if (it.mask & TVIF_SELECTEDIMAGE) n->selImage = it.iSelectedImage;
  if (it.mask & TVIF_PARAM) n->lParam = it.lParam;
  if (it.mask & TVIF_CHILDREN) {
    n->children = it.cChildren;
    n->childrenGiven = true;
  }
  if (it.mask & TVIF_STATE) n->state = (it.state & it.stateMask) & ~TVIS_SELECTED;
  // Check boxes start unchecked unless the item says otherwise.
  if ((StyleOf(h) & TVS_CHECKBOXES) && TvStateImage(n) == 0) n->state |= INDEXTOSTATEIMAGEMASK(1);

  if (TvExpanded(parent) || parent == &s.root) {
    if (Shows(s, parent)) TvStructureChanged(h, s);
  } else if (parent->first == parent->last && Shows(s, parent)) {
    TvInvalidateItem(h, s, parent);  // its first child gives it a button
  }
  return n;
}

void CopyText(const CString& t, char16_t* buf, int max) {
  if (!buf || max <= 0) return;
  const int n = std::min(max - 1, t.GetLength());
  std::copy(t.GetString(), t.GetString() + n, buf);
  buf[n] = 0;
}

BOOL GetItem(HWND h, TreeViewState& s, TVITEMW* it) {
  if (!it) return FALSE;
  TvNode* n = TvFind(s, it->hItem);
  if (!n) return FALSE;
  if (it->mask & TVIF_TEXT) CopyText(TvText(h, s, n), it->pszText, it->cchTextMax);
  if (it->mask & TVIF_IMAGE) it->iImage = n->image;
  if (it->mask & TVIF_SELECTEDIMAGE) it->iSelectedImage = n->selImage;
  if (it->mask & TVIF_PARAM) it->lParam = n->lParam;
  if (it->mask & TVIF_STATE) it->state = (n->state | (n == s.caret ? TVIS_SELECTED : 0)) & it->stateMask;
  if (it->mask & TVIF_CHILDREN) it->cChildren = n->childrenGiven ? n->children : (n->first ? 1 : 0);
  return TRUE;
}

BOOL SetItem(HWND h, TreeViewState& s, const TVITEMW* it) {
  if (!it) return FALSE;
  TvNode* n = TvFind(s, it->hItem);
  if (!n) return FALSE;
  bool structure = false;
  if (it->mask & TVIF_TEXT) {
    n->textCallback = it->pszText == LPSTR_TEXTCALLBACKW;
    n->text = (it->pszText && !n->textCallback) ? CString(it->pszText) : CString();
    n->width = -1;
  }
  if (it->mask & TVIF_IMAGE) n->image = it->iImage;
  if (it->mask & TVIF_SELECTEDIMAGE) n->selImage = it->iSelectedImage;
  if (it->mask & TVIF_PARAM) n->lParam = it->lParam;
  if (it->mask & TVIF_CHILDREN) {
    n->children = it->cChildren;
    n->childrenGiven = true;
  }
  if (it->mask & TVIF_STATE) {
    // The selection belongs to TVM_SELECTITEM; the expanded bit changes what shows, quietly.
    const UINT mask = it->stateMask & ~TVIS_SELECTED;
    const UINT old = n->state;
    n->state = (n->state & ~mask) | (it->state & mask);
    structure = ((old ^ n->state) & TVIS_EXPANDED) != 0;
  }
  if (structure && Shows(s, n)) TvStructureChanged(h, s);
  else TvInvalidateItem(h, s, n);
  return TRUE;
}

TvNode* NextItem(TreeViewState& s, TvNode* n, UINT code) {
  switch (code) {
    case TVGN_ROOT: return s.root.first;
    case TVGN_CARET: return s.caret;
    case TVGN_DROPHILITE: return s.drop;
    case TVGN_FIRSTVISIBLE:
      return s.topRow < int(s.rows.size()) ? s.rows[size_t(s.topRow)] : nullptr;
    case TVGN_LASTVISIBLE: return s.rows.empty() ? nullptr : s.rows.back();
    default: break;
  }
  if (code == TVGN_CHILD && !n) return s.root.first;
  if (!n) return nullptr;
  switch (code) {
    case TVGN_NEXT: return n->next;
    case TVGN_PREVIOUS: return n->prev;
    case TVGN_PARENT: return n->parent == &s.root ? nullptr : n->parent;
    case TVGN_CHILD: return n->first;
    case TVGN_NEXTVISIBLE: {
      const int r = TvRowOf(s, n);
      return r >= 0 && size_t(r) + 1 < s.rows.size() ? s.rows[size_t(r) + 1] : nullptr;
    }
    case TVGN_PREVIOUSVISIBLE: {
      const int r = TvRowOf(s, n);
      return r > 0 ? s.rows[size_t(r) - 1] : nullptr;
    }
    default: return nullptr;
  }
}

}  // namespace

TreeViewState::~TreeViewState() {
  // Whatever WM_DESTROY left (a window destroyed without it) goes quietly.
  for (TvNode* n : slots) delete n;
}

std::shared_ptr<TreeViewState> TvState(HWND h) { return EnsureWindowData<TreeViewState>(h); }

TvNode* TvFind(TreeViewState& s, HTREEITEM h) {
  const uintptr_t v = reinterpret_cast<uintptr_t>(h);
  const uint32_t slot = uint32_t(v & 0xFFFFFFFFu);
  if (slot == 0 || slot > s.slots.size()) return nullptr;
  TvNode* n = s.slots[slot - 1];
  if (!n || n->handle != h) return nullptr;
  return n;
}

bool TvCanExpand(const TvNode* n) { return n->first || (n->childrenGiven && n->children != 0); }
bool TvExpanded(const TvNode* n) { return (n->state & TVIS_EXPANDED) != 0; }

CString TvText(HWND h, TreeViewState&, TvNode* n) {
  if (!n->textCallback) return n->text;
  char16_t buf[1024] = {};
  NMTVDISPINFOW di{};
  di.item.mask = TVIF_TEXT;
  di.item.hItem = n->handle;
  di.item.state = n->state;
  di.item.lParam = n->lParam;
  di.item.pszText = buf;
  di.item.cchTextMax = 1024;
  SendNotify(h, TVN_GETDISPINFOW, &di.hdr);
  const char16_t* t = di.item.pszText && di.item.pszText != LPSTR_TEXTCALLBACKW ? di.item.pszText : buf;
  int len = 0;
  while (len < 1023 && t[len]) ++len;
  return CString(t, len);
}

bool TvExpand(HWND h, TreeViewState& s, TvNode* n, UINT code, bool byUser) {
  if (!n || n == &s.root) return false;
  const HTREEITEM handle = n->handle;
  UINT action = code & TVE_ACTIONMASK;
  if (action == TVE_TOGGLE) action = TvExpanded(n) ? TVE_COLLAPSE : TVE_EXPAND;
  // After the first expansion the owner has filled the item; later calls of the program stay
  // quiet, while the user's clicks and keys always tell.
  const bool notify = byUser || !(n->state & TVIS_EXPANDEDONCE);
  if (action == TVE_EXPAND) {
    if (TvExpanded(n) || !TvCanExpand(n)) return false;
    if (notify && NotifyTree(h, TVN_ITEMEXPANDINGW, TVE_EXPAND, s, nullptr, n)) return false;
    n = TvFind(s, handle);
    if (!n) return false;
    n->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    if (Shows(s, n)) TvStructureChanged(h, s);
    else TvInvalidateItem(h, s, n);
    if (notify) NotifyTree(h, TVN_ITEMEXPANDEDW, TVE_EXPAND, s, nullptr, n);
    // One rebuild after the owner filled the branch, so that the scroll bar tells at once.
    TvRows(h, s);
    return true;
  }
  if (action != TVE_COLLAPSE) return false;
  const bool reset = (code & TVE_COLLAPSERESET) != 0;
  if (!TvExpanded(n) && !reset) return false;
  if (TvExpanded(n)) {
    if (notify && NotifyTree(h, TVN_ITEMEXPANDINGW, TVE_COLLAPSE, s, nullptr, n)) return false;
    n = TvFind(s, handle);
    if (!n) return false;
    n->state &= ~TVIS_EXPANDED;
    if (Shows(s, n)) TvStructureChanged(h, s);
    // A selection that disappears into the collapsed branch moves up to it.
    if (s.caret && s.caret != n && IsAncestor(n, s.caret)) TvSelect(h, s, n, TVC_UNKNOWN);
    n = TvFind(s, handle);
    if (n && notify) NotifyTree(h, TVN_ITEMEXPANDEDW, TVE_COLLAPSE, s, nullptr, n);
    n = TvFind(s, handle);
    if (!n) return true;
  }
  if (reset) {
    while (n->first) DeleteSubtree(h, s, n->first);
    n->state &= ~TVIS_EXPANDEDONCE;
    TvInvalidateItem(h, s, n);
  }
  TvRows(h, s);
  return true;
}

bool TvSelect(HWND h, TreeViewState& s, TvNode* n, UINT action) {
  if (n == s.caret) {
    if (n) TvEnsureVisible(h, s, n);
    return true;
  }
  const HTREEITEM newHandle = n ? n->handle : nullptr;
  if (NotifyTree(h, TVN_SELCHANGINGW, action, s, s.caret, n)) return false;
  n = newHandle ? TvFind(s, newHandle) : nullptr;
  if (newHandle && !n) return false;
  TvNode* old = s.caret;
  const HTREEITEM oldHandle = old ? old->handle : nullptr;
  if (old) TvInvalidateItem(h, s, old);
  s.caret = n;
  if (n) {
    TvEnsureVisible(h, s, n);
    n = TvFind(s, newHandle);
    if (n) TvInvalidateItem(h, s, n);
  }
  // The notification describes the old item as it was; it may be gone by now.
  NMTREEVIEWW nm{};
  nm.action = action;
  nm.itemOld.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
  nm.itemOld.hItem = oldHandle;
  if (TvNode* o = oldHandle ? TvFind(s, oldHandle) : nullptr) {
    nm.itemOld.state = o->state;
    nm.itemOld.lParam = o->lParam;
  }
  nm.itemNew = Describe(s, s.caret);
  GetCursorPos(&nm.ptDrag);
  ScreenToClient(h, &nm.ptDrag);
  SendNotify(h, TVN_SELCHANGEDW, &nm.hdr);
  return true;
}

void TvEnsureVisible(HWND h, TreeViewState& s, TvNode* n) {
  if (!n) return;
  const HTREEITEM handle = n->handle;
  // Outermost first, so that each expansion's owner sees its own parent open already.
  std::vector<HTREEITEM> up;
  for (TvNode* p = n->parent; p && p != &s.root; p = p->parent) up.push_back(p->handle);
  for (auto it = up.rbegin(); it != up.rend(); ++it) {
    TvNode* p = TvFind(s, *it);
    if (p && !TvExpanded(p)) TvExpand(h, s, p, TVE_EXPAND, false);
  }
  n = TvFind(s, handle);
  if (!n) return;
  TvRows(h, s);
  const int row = TvRowOf(s, n);
  if (row < 0) return;
  const int per = TvRowsPerPage(h, s);
  if (row < s.topRow) TvScrollToRow(h, s, row);
  else if (row >= s.topRow + per) TvScrollToRow(h, s, row - per + 1);
}

void TvToggleStateImage(HWND h, TreeViewState& s, TvNode* n) {
  int count = 3;  // the built-in pictures: none, unchecked, checked
  if (s.stateImages) count = std::max(2, ImageList_GetImageCount(s.stateImages));
  int next = TvStateImage(n) + 1;
  if (next >= count) next = 1;
  n->state = (n->state & ~TVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(UINT(next));
  TvInvalidateItem(h, s, n);
}

LRESULT TreeViewProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const std::shared_ptr<TreeViewState> st = TvState(h);
  TreeViewState& s = *st;
  LRESULT r = 0;
  if (TvInput(h, s, msg, w, l, &r)) return r;
  switch (msg) {
    case WM_CREATE:
      s.root.level = -1;
      s.root.state = TVIS_EXPANDED;
      return 0;
    case WM_DESTROY:
      // The owner hears of every item, so that it can free what their data point at.
      DeleteSubtree(h, s, &s.root);
      return DefWindowProcW(h, msg, w, l);
    case WM_SIZE:
      TvRows(h, s);
      TvUpdateScrollBars(h, s);
      TvScrollToRow(h, s, s.topRow);
      InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_SETFONT:
      s.font = reinterpret_cast<HFONT>(w);
      s.lineHeight = 0;
      ++s.widthGen;
      s.widest = 0;
      TvUpdateScrollBars(h, s);
      if (LOWORD(uintptr_t(l))) InvalidateRect(h, nullptr, TRUE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s.font);
    case WM_SETREDRAW:
      s.redraw = w != 0;
      DefWindowProcW(h, msg, w, l);
      if (s.redraw) {
        TvRows(h, s);
        TvUpdateScrollBars(h, s);
        InvalidateRect(h, nullptr, TRUE);
      }
      return 0;
    case WM_ERASEBKGND: return 1;  // the paint fills every pixel
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      if (w) {
        // Painting into a context the caller hands in (a memory picture): the whole client.
        RECT c{};
        GetClientRect(h, &c);
        TvPaint(h, s, reinterpret_cast<HDC>(w), c);
        return 0;
      }
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      if (dc) TvPaint(h, s, dc, ps.rcPaint);
      EndPaint(h, &ps);
      return 0;
    }
    case TVM_INSERTITEMW: {
      const auto* is = reinterpret_cast<const TVINSERTSTRUCTW*>(l);
      if (!is) return 0;
      TvNode* n = InsertItem(h, s, *is);
      return n ? reinterpret_cast<LRESULT>(n->handle) : 0;
    }
    case TVM_DELETEITEM: {
      if (s.deleting) return FALSE;
      const auto item = reinterpret_cast<HTREEITEM>(l);
      if (!item || item == TVI_ROOT) {
        DeleteSubtree(h, s, &s.root);
        s.topRow = 0;
        s.scrollX = 0;
        TvStructureChanged(h, s);
        TvRows(h, s);
        return TRUE;
      }
      TvNode* n = TvFind(s, item);
      if (!n) return FALSE;
      DeleteSubtree(h, s, n);
      return TRUE;
    }
    case TVM_EXPAND: {
      TvNode* n = TvFind(s, reinterpret_cast<HTREEITEM>(l));
      return n && TvExpand(h, s, n, UINT(w), false) ? TRUE : FALSE;
    }
    case TVM_GETITEMRECT: {
      auto* rc = reinterpret_cast<RECT*>(l);
      if (!rc) return FALSE;
      HTREEITEM item{};
      std::memcpy(&item, rc, sizeof(item));
      TvNode* n = TvFind(s, item);
      if (!n) return FALSE;
      TvRows(h, s);
      if (TvRowOf(s, n) < 0) return FALSE;
      const TvParts p = TvRowParts(h, s, TvRowOf(s, n));
      *rc = w ? p.label : p.row;
      return TRUE;
    }
    case TVM_GETCOUNT: return s.count;
    case TVM_GETINDENT: return s.indent;
    case TVM_SETINDENT:
      s.indent = std::max(5, int(w));
      InvalidateRect(h, nullptr, TRUE);
      return 0;
    case TVM_GETITEMHEIGHT: return TvItemHeight(h, s);
    case TVM_SETITEMHEIGHT: {
      const int old = TvItemHeight(h, s);
      const int v = int(int16_t(LOWORD(w)));
      s.itemHeight = v <= 0 ? 0 : v;
      TvUpdateScrollBars(h, s);
      InvalidateRect(h, nullptr, TRUE);
      return old;
    }
    case TVM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(w == TVSIL_STATE ? s.stateImages : w == TVSIL_NORMAL ? s.normalImages : nullptr);
    case TVM_SETIMAGELIST: {
      HIMAGELIST* slot = w == TVSIL_STATE ? &s.stateImages : w == TVSIL_NORMAL ? &s.normalImages : nullptr;
      if (!slot) return 0;
      HIMAGELIST old = *slot;
      *slot = reinterpret_cast<HIMAGELIST>(l);
      TvUpdateScrollBars(h, s);
      InvalidateRect(h, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(old);
    }
    case TVM_GETNEXTITEM: {
      TvRows(h, s);
      TvNode* from = (l && reinterpret_cast<HTREEITEM>(l) != TVI_ROOT) ? TvFind(s, reinterpret_cast<HTREEITEM>(l)) : nullptr;
      if (l && reinterpret_cast<HTREEITEM>(l) != TVI_ROOT && !from) return 0;
      TvNode* n = NextItem(s, from, UINT(w));
      return n ? reinterpret_cast<LRESULT>(n->handle) : 0;
    }
    case TVM_SELECTITEM: {
      const auto item = reinterpret_cast<HTREEITEM>(l);
      TvNode* n = item ? TvFind(s, item) : nullptr;
      if (item && !n) return FALSE;
      if (w == TVGN_CARET) return TvSelect(h, s, n, TVC_UNKNOWN) ? TRUE : FALSE;
      if (w == TVGN_DROPHILITE) {
        if (s.drop) TvInvalidateItem(h, s, s.drop);
        s.drop = n;
        if (n) TvInvalidateItem(h, s, n);
        return TRUE;
      }
      if (w == TVGN_FIRSTVISIBLE && n) {
        TvEnsureVisible(h, s, n);
        if (TvFind(s, item) && TvRowOf(s, n) >= 0) TvScrollToRow(h, s, TvRowOf(s, n));
        return TRUE;
      }
      return FALSE;
    }
    case TVM_GETITEMW: return GetItem(h, s, reinterpret_cast<TVITEMW*>(l));
    case TVM_SETITEMW: return SetItem(h, s, reinterpret_cast<const TVITEMW*>(l));
    case TVM_GETITEMSTATE: {
      TvNode* n = TvFind(s, reinterpret_cast<HTREEITEM>(w));
      if (!n) return 0;
      return LRESULT((n->state | (n == s.caret ? TVIS_SELECTED : 0)) & UINT(l));
    }
    case TVM_GETVISIBLECOUNT: return TvRowsPerPage(h, s);
    case TVM_HITTEST: {
      auto* hi = reinterpret_cast<TVHITTESTINFO*>(l);
      return hi ? reinterpret_cast<LRESULT>(TvHitTest(h, s, hi)) : 0;
    }
    case TVM_ENSUREVISIBLE: {
      TvNode* n = TvFind(s, reinterpret_cast<HTREEITEM>(l));
      if (!n) return FALSE;
      TvEnsureVisible(h, s, n);
      return TRUE;
    }
    case TVM_SETBKCOLOR: {
      const COLORREF old = s.bkColor;
      s.bkColor = COLORREF(l);
      InvalidateRect(h, nullptr, TRUE);
      return LRESULT(old);
    }
    case TVM_GETBKCOLOR: return LRESULT(s.bkColor);
    case TVM_SETTEXTCOLOR: {
      const COLORREF old = s.textColor;
      s.textColor = COLORREF(l);
      InvalidateRect(h, nullptr, TRUE);
      return LRESULT(old);
    }
    case TVM_GETTEXTCOLOR: return LRESULT(s.textColor);
    default: return DefWindowProcW(h, msg, w, l);
  }
}
