// The class library's common controls over the list view and the header: CListCtrl and
// CHeaderCtrl. Owner-drawn ones draw in DrawItem when their parent reflects WM_DRAWITEM.
#pragma once

#include "platform/afx/afxctrls.h"

// A place in a list of selected rows: the row index plus one, null at the end.
using POSITION = void*;

class CHeaderCtrl : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_HEADER, u"", style, rect, parent, id);
  }
  int GetItemCount() const { return int(SendMessage(HDM_GETITEMCOUNT)); }
  int InsertItem(int pos, HDITEMW* item) { return int(SendMessage(HDM_INSERTITEMW, WPARAM(pos), reinterpret_cast<LPARAM>(item))); }
  BOOL DeleteItem(int pos) { return BOOL(SendMessage(HDM_DELETEITEM, WPARAM(pos))); }
  BOOL GetItem(int pos, HDITEMW* item) const { return BOOL(SendMessage(HDM_GETITEMW, WPARAM(pos), reinterpret_cast<LPARAM>(item))); }
  BOOL SetItem(int pos, HDITEMW* item) { return BOOL(SendMessage(HDM_SETITEMW, WPARAM(pos), reinterpret_cast<LPARAM>(item))); }
  BOOL GetItemRect(int pos, RECT* r) const { return BOOL(SendMessage(HDM_GETITEMRECT, WPARAM(pos), reinterpret_cast<LPARAM>(r))); }
  BOOL Layout(HDLAYOUT* layout) { return BOOL(SendMessage(HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(layout))); }
  int HitTest(HDHITTESTINFO* info) { return int(SendMessage(HDM_HITTEST, 0, reinterpret_cast<LPARAM>(info))); }
  virtual void DrawItem(DRAWITEMSTRUCT*) {}
  BOOL OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CListCtrl : public CWnd {
 public:
  BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_LISTVIEW, u"", style, rect, parent, id);
  }
  BOOL CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::CreateEx(exStyle, WC_LISTVIEW, u"", style | WS_CHILD, rect, parent, id);
  }

  // ---- Rows ----
  int GetItemCount() const { return int(SendMessage(LVM_GETITEMCOUNT)); }
  BOOL SetItemCount(int count) { return BOOL(SendMessage(LVM_SETITEMCOUNT, WPARAM(count))); }
  BOOL SetItemCountEx(int count, DWORD flags = LVSICF_NOINVALIDATEALL) {
    return BOOL(SendMessage(LVM_SETITEMCOUNT, WPARAM(count), LPARAM(flags)));
  }
  int InsertItem(const LVITEMW* item) { return int(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item))); }
  int InsertItem(int item, const char16_t* text) { return InsertItem(LVIF_TEXT, item, text, 0, 0, 0, 0); }
  int InsertItem(int item, const char16_t* text, int image) {
    return InsertItem(LVIF_TEXT | LVIF_IMAGE, item, text, 0, 0, image, 0);
  }
  int InsertItem(UINT mask, int item, const char16_t* text, UINT state, UINT stateMask, int image, LPARAM lParam);
  BOOL DeleteItem(int item) { return BOOL(SendMessage(LVM_DELETEITEM, WPARAM(item))); }
  BOOL DeleteAllItems() { return BOOL(SendMessage(LVM_DELETEALLITEMS)); }
  BOOL GetItem(LVITEMW* item) const { return BOOL(SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
  BOOL SetItem(const LVITEMW* item) { return BOOL(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
  BOOL SetItem(int item, int subItem, UINT mask, const char16_t* text, int image, UINT state, UINT stateMask,
               LPARAM lParam);
  CString GetItemText(int item, int subItem) const;
  int GetItemText(int item, int subItem, char16_t* buf, int len) const;
  BOOL SetItemText(int item, int subItem, const char16_t* text);
  DWORD_PTR GetItemData(int item) const;
  BOOL SetItemData(int item, DWORD_PTR data) { return SetItem(item, 0, LVIF_PARAM, nullptr, 0, 0, 0, LPARAM(data)); }
  UINT GetItemState(int item, UINT mask) const { return UINT(SendMessage(LVM_GETITEMSTATE, WPARAM(item), LPARAM(mask))); }
  BOOL SetItemState(int item, UINT state, UINT mask);
  BOOL SetItemState(int item, LVITEMW* lvi) { return BOOL(SendMessage(LVM_SETITEMSTATE, WPARAM(item), reinterpret_cast<LPARAM>(lvi))); }
  // The check box of a row: its state image 2 is checked, 1 unchecked.
  // Checked for state image 2 (and above); a row without a state image (0) or with image 1 is not.
  BOOL GetCheck(int item) const { return (GetItemState(item, LVIS_STATEIMAGEMASK) >> 12) >= 2; }
  BOOL SetCheck(int item, BOOL check = TRUE) {
    return SetItemState(item, INDEXTOSTATEIMAGEMASK(check ? 2 : 1), LVIS_STATEIMAGEMASK);
  }

  // ---- Columns ----
  int InsertColumn(int col, const LVCOLUMNW* column) {
    return int(SendMessage(LVM_INSERTCOLUMNW, WPARAM(col), reinterpret_cast<LPARAM>(column)));
  }
  int InsertColumn(int col, const char16_t* heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
  BOOL DeleteColumn(int col) { return BOOL(SendMessage(LVM_DELETECOLUMN, WPARAM(col))); }
  BOOL GetColumn(int col, LVCOLUMNW* column) const {
    return BOOL(SendMessage(LVM_GETCOLUMNW, WPARAM(col), reinterpret_cast<LPARAM>(column)));
  }
  BOOL SetColumn(int col, const LVCOLUMNW* column) {
    return BOOL(SendMessage(LVM_SETCOLUMNW, WPARAM(col), reinterpret_cast<LPARAM>(column)));
  }
  int GetColumnWidth(int col) const { return int(SendMessage(LVM_GETCOLUMNWIDTH, WPARAM(col))); }
  BOOL SetColumnWidth(int col, int cx) { return BOOL(SendMessage(LVM_SETCOLUMNWIDTH, WPARAM(col), MAKELPARAM(cx, 0))); }
  CHeaderCtrl* GetHeaderCtrl() const;

  // ---- Selection and focus ----
  int GetNextItem(int item, int flags) const { return int(SendMessage(LVM_GETNEXTITEM, WPARAM(item), LPARAM(flags))); }
  UINT GetSelectedCount() const { return UINT(SendMessage(LVM_GETSELECTEDCOUNT)); }
  POSITION GetFirstSelectedItemPosition() const {
    return reinterpret_cast<POSITION>(intptr_t(GetNextItem(-1, LVNI_SELECTED) + 1));
  }
  int GetNextSelectedItem(POSITION& pos) const;
  int GetSelectionMark() const { return int(SendMessage(LVM_GETSELECTIONMARK)); }
  int SetSelectionMark(int item) { return int(SendMessage(LVM_SETSELECTIONMARK, 0, LPARAM(item))); }

  // ---- Geometry and scrolling ----
  BOOL GetItemRect(int item, RECT* r, UINT code) const;
  BOOL GetSubItemRect(int item, int subItem, int area, CRect& r) const;
  int HitTest(LVHITTESTINFO* info) const { return int(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(info))); }
  int HitTest(CPoint pt, UINT* flags = nullptr) const;
  int SubItemHitTest(LVHITTESTINFO* info) { return int(SendMessage(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(info))); }
  BOOL EnsureVisible(int item, BOOL partialOk) { return BOOL(SendMessage(LVM_ENSUREVISIBLE, WPARAM(item), partialOk)); }
  BOOL Scroll(CSize size) { return BOOL(SendMessage(LVM_SCROLL, WPARAM(size.cx), LPARAM(size.cy))); }
  int GetTopIndex() const { return int(SendMessage(LVM_GETTOPINDEX)); }
  int GetCountPerPage() const { return int(SendMessage(LVM_GETCOUNTPERPAGE)); }
  BOOL GetItemPosition(int item, POINT* p) const {
    return BOOL(SendMessage(LVM_GETITEMPOSITION, WPARAM(item), reinterpret_cast<LPARAM>(p)));
  }
  BOOL GetViewRect(RECT* r) const { return BOOL(SendMessage(LVM_GETVIEWRECT, 0, reinterpret_cast<LPARAM>(r))); }
  BOOL GetOrigin(POINT* p) const { return BOOL(SendMessage(LVM_GETORIGIN, 0, reinterpret_cast<LPARAM>(p))); }
  CSize SetIconSpacing(int cx, int cy);
  BOOL RedrawItems(int first, int last) { return BOOL(SendMessage(LVM_REDRAWITEMS, WPARAM(first), LPARAM(last))); }
  BOOL Update(int item) { return BOOL(SendMessage(LVM_UPDATE, WPARAM(item))); }
  BOOL Arrange(UINT code) { return BOOL(SendMessage(LVM_ARRANGE, WPARAM(code))); }
  int GetStringWidth(const char16_t* text) const {
    return int(SendMessage(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
  }

  // ---- Looks ----
  DWORD GetExtendedStyle() const { return DWORD(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
  DWORD SetExtendedStyle(DWORD ex) { return DWORD(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LPARAM(ex))); }
  HIMAGELIST SetImageList(HIMAGELIST list, int which) {
    return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, WPARAM(which), reinterpret_cast<LPARAM>(list)));
  }
  // The list stays the owner's; the one it replaces comes back as a handle.
  HIMAGELIST SetImageList(CImageList* list, int which) { return SetImageList(list ? list->m_hImageList : nullptr, which); }
  HIMAGELIST GetImageListHandle(int which) const {
    return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, WPARAM(which)));
  }
  COLORREF GetBkColor() const { return COLORREF(SendMessage(LVM_GETBKCOLOR)); }
  BOOL SetBkColor(COLORREF c) { return BOOL(SendMessage(LVM_SETBKCOLOR, 0, LPARAM(c))); }
  COLORREF GetTextColor() const { return COLORREF(SendMessage(LVM_GETTEXTCOLOR)); }
  BOOL SetTextColor(COLORREF c) { return BOOL(SendMessage(LVM_SETTEXTCOLOR, 0, LPARAM(c))); }
  COLORREF GetTextBkColor() const { return COLORREF(SendMessage(LVM_GETTEXTBKCOLOR)); }
  BOOL SetTextBkColor(COLORREF c) { return BOOL(SendMessage(LVM_SETTEXTBKCOLOR, 0, LPARAM(c))); }
  UINT GetCallbackMask() const { return UINT(SendMessage(LVM_GETCALLBACKMASK)); }
  BOOL SetCallbackMask(UINT mask) { return BOOL(SendMessage(LVM_SETCALLBACKMASK, WPARAM(mask))); }

  // Owner-drawn reports (LVS_OWNERDRAWFIXED) draw their rows here.
  virtual void DrawItem(DRAWITEMSTRUCT*) {}
  BOOL OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  // Stands for the header while no CHeaderCtrl of the owner's has subclassed it; it never
  // owns the window.
  mutable CHeaderCtrl headerProxy_;
};

#include "platform/afx/afxtree.h"
