// CListCtrl and CHeaderCtrl: the members that do more than send one message.
#include "platform/afx/afxcmn.h"

#include <vector>

namespace {

// Reflected WM_DRAWITEM goes to the control's message map first, then to its DrawItem.
template <typename T>
bool DrawReflected(T* self, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (msg != WM_DRAWITEM) return false;
  if (!self->ReflectChildNotify(msg, wParam, lParam, result)) self->DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
  if (result) *result = TRUE;
  return true;
}

}  // namespace

BOOL CHeaderCtrl::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (DrawReflected(this, msg, wParam, lParam, result)) return TRUE;
  return CWnd::OnChildNotify(msg, wParam, lParam, result);
}

BOOL CListCtrl::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (DrawReflected(this, msg, wParam, lParam, result)) return TRUE;
  return CWnd::OnChildNotify(msg, wParam, lParam, result);
}

int CListCtrl::InsertItem(UINT mask, int item, const char16_t* text, UINT state, UINT stateMask, int image,
                          LPARAM lParam) {
  LVITEMW it{};
  it.mask = mask;
  it.iItem = item;
  it.pszText = const_cast<char16_t*>(text);
  it.state = state;
  it.stateMask = stateMask;
  it.iImage = image;
  it.lParam = lParam;
  return InsertItem(&it);
}

BOOL CListCtrl::SetItem(int item, int subItem, UINT mask, const char16_t* text, int image, UINT state, UINT stateMask,
                        LPARAM lParam) {
  LVITEMW it{};
  it.mask = mask;
  it.iItem = item;
  it.iSubItem = subItem;
  it.pszText = const_cast<char16_t*>(text);
  it.iImage = image;
  it.state = state;
  it.stateMask = stateMask;
  it.lParam = lParam;
  return SetItem(&it);
}

CString CListCtrl::GetItemText(int item, int subItem) const {
  // A buffer that grows until the text fits in it with room to spare.
  for (int size = 256; size <= (1 << 20); size *= 4) {
    std::vector<char16_t> buf(size_t(size), 0);
    LVITEMW it{};
    it.iSubItem = subItem;
    it.pszText = buf.data();
    it.cchTextMax = size;
    const int n = int(SendMessage(LVM_GETITEMTEXTW, WPARAM(item), reinterpret_cast<LPARAM>(&it)));
    if (n < size - 1) return CString(buf.data(), n);
  }
  return CString();
}

int CListCtrl::GetItemText(int item, int subItem, char16_t* buf, int len) const {
  if (!buf || len <= 0) return 0;
  LVITEMW it{};
  it.iSubItem = subItem;
  it.pszText = buf;
  it.cchTextMax = len;
  return int(SendMessage(LVM_GETITEMTEXTW, WPARAM(item), reinterpret_cast<LPARAM>(&it)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const char16_t* text) {
  LVITEMW it{};
  it.iSubItem = subItem;
  it.pszText = const_cast<char16_t*>(text);
  return BOOL(SendMessage(LVM_SETITEMTEXTW, WPARAM(item), reinterpret_cast<LPARAM>(&it)));
}

DWORD_PTR CListCtrl::GetItemData(int item) const {
  LVITEMW it{};
  it.mask = LVIF_PARAM;
  it.iItem = item;
  GetItem(&it);
  return DWORD_PTR(it.lParam);
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  LVITEMW it{};
  it.state = state;
  it.stateMask = mask;
  return SetItemState(item, &it);
}

int CListCtrl::InsertColumn(int col, const char16_t* heading, int format, int width, int subItem) {
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT | LVCF_FMT;
  c.pszText = const_cast<char16_t*>(heading);
  c.fmt = format;
  if (width >= 0) {
    c.mask |= LVCF_WIDTH;
    c.cx = width;
  }
  if (subItem >= 0) {
    c.mask |= LVCF_SUBITEM;
    c.iSubItem = subItem;
  }
  return InsertColumn(col, &c);
}

CHeaderCtrl* CListCtrl::GetHeaderCtrl() const {
  HWND h = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
  if (!h) return nullptr;
  // A header subclassed by a CHeaderCtrl of the owner's is that object.
  if (auto* own = dynamic_cast<CHeaderCtrl*>(CWnd::FromHandlePermanent(h))) return own;
  headerProxy_.m_hWnd = h;
  headerProxy_.m_temporary = true;
  return &headerProxy_;
}

int CListCtrl::GetNextSelectedItem(POSITION& pos) const {
  const int item = int(reinterpret_cast<intptr_t>(pos)) - 1;
  pos = reinterpret_cast<POSITION>(intptr_t(GetNextItem(item, LVNI_SELECTED) + 1));
  return item;
}

BOOL CListCtrl::GetItemRect(int item, RECT* r, UINT code) const {
  if (!r) return FALSE;
  r->left = LONG(code);
  return BOOL(SendMessage(LVM_GETITEMRECT, WPARAM(item), reinterpret_cast<LPARAM>(r)));
}

BOOL CListCtrl::GetSubItemRect(int item, int subItem, int area, CRect& r) const {
  r.top = subItem;
  r.left = area;
  return BOOL(SendMessage(LVM_GETSUBITEMRECT, WPARAM(item), reinterpret_cast<LPARAM>(static_cast<RECT*>(&r))));
}

int CListCtrl::HitTest(CPoint pt, UINT* flags) const {
  LVHITTESTINFO hi{};
  hi.pt = pt;
  const int i = HitTest(&hi);
  if (flags) *flags = hi.flags;
  return i;
}

CSize CListCtrl::SetIconSpacing(int cx, int cy) {
  const LRESULT old = SendMessage(LVM_SETICONSPACING, 0, MAKELPARAM(cx, cy));
  return CSize(int(LOWORD(uintptr_t(old))), int(HIWORD(uintptr_t(old))));
}
