// The class library's tree control over the tree view: CTreeCtrl. Its notifications reach a
// subclass through ON_NOTIFY_REFLECT like those of the other common controls.
#pragma once

#include <cstring>

#include "platform/afx/afxctrls.h"

class CTreeCtrl : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_TREEVIEW, u"", style, rect, parent, id);
  }
  BOOL CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::CreateEx(exStyle, WC_TREEVIEW, u"", style | WS_CHILD, rect, parent, id);
  }

  // ---- Items ----
  HTREEITEM InsertItem(const TVINSERTSTRUCTW* is) {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(is)));
  }
  HTREEITEM InsertItem(UINT mask, const char16_t* text, int image, int selectedImage, UINT state, UINT stateMask,
                       LPARAM lParam, HTREEITEM parent, HTREEITEM after);
  HTREEITEM InsertItem(const char16_t* text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST) {
    return InsertItem(TVIF_TEXT, text, 0, 0, 0, 0, 0, parent, after);
  }
  HTREEITEM InsertItem(const char16_t* text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                       HTREEITEM after = TVI_LAST) {
    return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0, parent, after);
  }
  BOOL DeleteItem(HTREEITEM item) { return BOOL(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item))); }
  BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
  UINT GetCount() const { return UINT(SendMessage(TVM_GETCOUNT)); }
  BOOL GetItem(TVITEMW* item) const { return BOOL(SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
  BOOL SetItem(const TVITEMW* item) { return BOOL(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
  BOOL SetItem(HTREEITEM item, UINT mask, const char16_t* text, int image, int selectedImage, UINT state,
               UINT stateMask, LPARAM lParam);
  CString GetItemText(HTREEITEM item) const;
  BOOL SetItemText(HTREEITEM item, const char16_t* text) { return SetItem(item, TVIF_TEXT, text, 0, 0, 0, 0, 0); }
  DWORD_PTR GetItemData(HTREEITEM item) const;
  BOOL SetItemData(HTREEITEM item, DWORD_PTR data) { return SetItem(item, TVIF_PARAM, nullptr, 0, 0, 0, 0, LPARAM(data)); }
  BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
  BOOL SetItemImage(HTREEITEM item, int image, int selectedImage) {
    return SetItem(item, TVIF_IMAGE | TVIF_SELECTEDIMAGE, nullptr, image, selectedImage, 0, 0, 0);
  }
  UINT GetItemState(HTREEITEM item, UINT mask) const {
    return UINT(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), LPARAM(mask)));
  }
  BOOL SetItemState(HTREEITEM item, UINT state, UINT mask) { return SetItem(item, TVIF_STATE, nullptr, 0, 0, state, mask, 0); }
  // The check box: state image 2 is checked, 1 unchecked; no state image is not checked.
  BOOL GetCheck(HTREEITEM item) const { return (GetItemState(item, TVIS_STATEIMAGEMASK) >> 12) == 2; }
  BOOL SetCheck(HTREEITEM item, BOOL check = TRUE) {
    return SetItemState(item, INDEXTOSTATEIMAGEMASK(check ? 2 : 1), TVIS_STATEIMAGEMASK);
  }
  BOOL ItemHasChildren(HTREEITEM item) const;

  // ---- Navigation and selection ----
  HTREEITEM GetNextItem(HTREEITEM item, UINT code) const {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, WPARAM(code), reinterpret_cast<LPARAM>(item)));
  }
  HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
  HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
  HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
  HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
  HTREEITEM GetFirstVisibleItem() const { return GetNextItem(nullptr, TVGN_FIRSTVISIBLE); }
  HTREEITEM GetNextVisibleItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXTVISIBLE); }
  HTREEITEM GetPrevVisibleItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUSVISIBLE); }
  HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
  HTREEITEM GetDropHilightItem() const { return GetNextItem(nullptr, TVGN_DROPHILITE); }
  BOOL Select(HTREEITEM item, UINT code) { return BOOL(SendMessage(TVM_SELECTITEM, WPARAM(code), reinterpret_cast<LPARAM>(item))); }
  BOOL SelectItem(HTREEITEM item) { return Select(item, TVGN_CARET); }
  BOOL SelectDropTarget(HTREEITEM item) { return Select(item, TVGN_DROPHILITE); }
  BOOL SelectSetFirstVisible(HTREEITEM item) { return Select(item, TVGN_FIRSTVISIBLE); }
  BOOL Expand(HTREEITEM item, UINT code) { return BOOL(SendMessage(TVM_EXPAND, WPARAM(code), reinterpret_cast<LPARAM>(item))); }
  BOOL EnsureVisible(HTREEITEM item) { return BOOL(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item))); }

  // ---- Geometry ----
  HTREEITEM HitTest(CPoint pt, UINT* flags = nullptr) const;
  HTREEITEM HitTest(TVHITTESTINFO* info) const {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
  }
  BOOL GetItemRect(HTREEITEM item, RECT* r, BOOL textOnly) const {
    if (!r) return FALSE;
    std::memcpy(r, &item, sizeof(item));
    return BOOL(SendMessage(TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(r)));
  }
  UINT GetVisibleCount() const { return UINT(SendMessage(TVM_GETVISIBLECOUNT)); }
  UINT GetIndent() const { return UINT(SendMessage(TVM_GETINDENT)); }
  void SetIndent(UINT indent) { SendMessage(TVM_SETINDENT, WPARAM(indent)); }
  int16_t GetItemHeight() const { return int16_t(SendMessage(TVM_GETITEMHEIGHT)); }
  int16_t SetItemHeight(int16_t height) { return int16_t(SendMessage(TVM_SETITEMHEIGHT, WPARAM(uint16_t(height)))); }

  // ---- Looks ----
  HIMAGELIST SetImageList(HIMAGELIST list, int which) {
    return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_SETIMAGELIST, WPARAM(which), reinterpret_cast<LPARAM>(list)));
  }
  // The list stays the owner's; the one it replaces comes back as a handle.
  HIMAGELIST SetImageList(CImageList* list, int which) { return SetImageList(list ? list->m_hImageList : nullptr, which); }
  HIMAGELIST GetImageListHandle(int which) const {
    return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_GETIMAGELIST, WPARAM(which)));
  }
  COLORREF SetBkColor(COLORREF c) { return COLORREF(SendMessage(TVM_SETBKCOLOR, 0, LPARAM(c))); }
  COLORREF GetBkColor() const { return COLORREF(SendMessage(TVM_GETBKCOLOR)); }
  COLORREF SetTextColor(COLORREF c) { return COLORREF(SendMessage(TVM_SETTEXTCOLOR, 0, LPARAM(c))); }
  COLORREF GetTextColor() const { return COLORREF(SendMessage(TVM_GETTEXTCOLOR)); }
};
