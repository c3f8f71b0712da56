// CTreeCtrl: the members that do more than send one message.
#include "platform/afx/afxtree.h"

HTREEITEM CTreeCtrl::InsertItem(UINT mask, const char16_t* text, int image, int selectedImage, UINT state,
                                UINT stateMask, LPARAM lParam, HTREEITEM parent, HTREEITEM after) {
  TVINSERTSTRUCTW is{};
  is.hParent = parent;
  is.hInsertAfter = after;
  is.item.mask = mask;
  is.item.pszText = const_cast<char16_t*>(text);
  is.item.iImage = image;
  is.item.iSelectedImage = selectedImage;
  is.item.state = state;
  is.item.stateMask = stateMask;
  is.item.lParam = lParam;
  return InsertItem(&is);
}

BOOL CTreeCtrl::SetItem(HTREEITEM item, UINT mask, const char16_t* text, int image, int selectedImage, UINT state,
                        UINT stateMask, LPARAM lParam) {
  TVITEMW it{};
  it.mask = mask | TVIF_HANDLE;
  it.hItem = item;
  it.pszText = const_cast<char16_t*>(text);
  it.iImage = image;
  it.iSelectedImage = selectedImage;
  it.state = state;
  it.stateMask = stateMask;
  it.lParam = lParam;
  return SetItem(&it);
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
  // Item texts are at most 1023 units long.
  char16_t buf[1024] = {};
  TVITEMW it{};
  it.mask = TVIF_TEXT | TVIF_HANDLE;
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = 1024;
  if (!GetItem(&it)) return CString();
  return CString(buf);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
  TVITEMW it{};
  it.mask = TVIF_PARAM | TVIF_HANDLE;
  it.hItem = item;
  return GetItem(&it) ? DWORD_PTR(it.lParam) : 0;
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
  TVITEMW it{};
  it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
  it.hItem = item;
  if (!GetItem(&it)) return FALSE;
  image = it.iImage;
  selectedImage = it.iSelectedImage;
  return TRUE;
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const {
  TVITEMW it{};
  it.mask = TVIF_CHILDREN | TVIF_HANDLE;
  it.hItem = item;
  return GetItem(&it) && it.cChildren != 0;
}

HTREEITEM CTreeCtrl::HitTest(CPoint pt, UINT* flags) const {
  TVHITTESTINFO hi{};
  hi.pt = pt;
  HTREEITEM item = HitTest(&hi);
  if (flags) *flags = hi.flags;
  return item;
}
