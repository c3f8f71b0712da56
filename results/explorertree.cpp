#include "results/explorertree.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/itemquery.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "platform/wnd/shellapi.h"
#include "results/renamedlg.h"

namespace {

constexpr char16_t kPlaceholder[] = u"***";
constexpr COLORREF kBorderColor = 0xCFCCCA;
constexpr int kDriveImage = 0;
constexpr int kFolderImage = 1;

bool IsPlaceholder(const CTreeCtrl& tree, HTREEITEM item) { return tree.GetItemText(item) == CString(kPlaceholder); }

// The picture of a check state: 1 unchecked, 2 checked, 3 partly. A record with both bits set
// (a state no tick makes) shows unchecked, as the details list shows it, rather than pointing
// past the three pictures and showing no box at all.
UINT CheckStateImage(uint32_t check) { return INDEXTOSTATEIMAGEMASK(check <= 2 ? check + 1 : 1); }

// The shell's small icon of a path (its drive or folder picture); null when it has none.
HICON SmallShellIcon(const CString& path) {
  SHFILEINFOW info{};
  if (!SHGetFileInfoW(path.GetString(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SMALLICON))
    return nullptr;
  return info.hIcon;
}

// The root of a system path: "C:\" of a drive path, "/" of a host path.
CString RootOfPath(const CString& path) {
  if (path.GetLength() > 0 && (path[0] == u'/' || path[0] == u'\\')) return path.Left(1);
  return path.Left(3);
}

}  // namespace

BEGIN_MESSAGE_MAP(CExplorerTreeCtrl, CTreeCtrl)
ON_NOTIFY_REFLECT(TVN_ITEMEXPANDEDW, OnTvnItemexpanded)
ON_NOTIFY_REFLECT(TVN_SELCHANGEDW, OnTvnSelchanged)
ON_NOTIFY_REFLECT(NM_CLICK, OnNMClick)
ON_NOTIFY_REFLECT(NM_RCLICK, OnNMRclick)
ON_WM_LBUTTONDOWN()
ON_WM_KEYDOWN()
ON_MESSAGE(WM_VIEW_OPENFOLDER, OnOpenFolder)
ON_MESSAGE(WM_VIEW_CHECKCHANGED, OnCheckChanged)
ON_MESSAGE(WM_VIEW_RESULTSREADY, OnResultsReady)
ON_MESSAGE(WM_VIEW_MODECHANGED, OnViewModeChanged)
ON_MESSAGE(WM_VIEW_SEARCHDONE, OnSearchDone)
ON_MESSAGE(WM_VIEW_SLOTADDED, OnSlotAdded)
ON_MESSAGE(WM_VIEW_FILESADDED, OnFilesAdded)
ON_MESSAGE(WM_VIEW_RENAMED, OnItemRenamed)
ON_COMMAND(ID_TREE_RECOVER, OnRecover)
ON_COMMAND(ID_TREE_RENAME, OnRename)
ON_MESSAGE(WM_NCPAINT, OnNcPaint)
ON_WM_ERASEBKGND()
ON_WM_PAINT()
END_MESSAGE_MAP()

// ---- Building ----

void CExplorerTreeCtrl::InitImageList() {
  char16_t dir[260] = {};
  const UINT n = GetSystemDirectoryW(dir, 260);
  const CString system = n > 0 && n < 260 ? CString(dir) : CString();
  if (m_images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 100, 10)) {
    for (const CString& path : {RootOfPath(system), system}) {
      HICON icon = SmallShellIcon(path);
      m_images.Add(icon);  // a missing icon still takes its place, so the folder stays image 1
      if (icon) DestroyIcon(icon);
    }
    SetImageList(&m_images, TVSIL_NORMAL);
  }
  if (m_stateImages.Create(IDB_TREE_STATES, 16, 2, RGB(255, 255, 255))) SetImageList(&m_stateImages, TVSIL_STATE);
}

void CExplorerTreeCtrl::AddRoot(uint32_t key) {
  if (!m_list || !m_hWnd) return;
  {
    VolumeListReadGuard guard(*m_list);
    if (!GetItemRecord(*m_list, key, kRootId)) return;
  }
  CString label;
  if (!GetVolumeSlotLabel(*m_list, key, label)) return;
  HTREEITEM root = InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM, label.GetString(), kDriveImage,
                              kDriveImage, 0, 0, LPARAM(kRootId), TVI_ROOT, TVI_LAST);
  if (root) InsertItem(kPlaceholder, root);
}

void CExplorerTreeCtrl::ListFolderIds(uint32_t key, uint32_t id, std::vector<uint32_t>& out) const {
  out.clear();
  if (!m_list) return;
  if (IsViewId(key)) ListViewChildren(*m_list, key, id, out, 1);
  else ListVolumeChildren(*m_list, key, id, out, 1);
}

void CExplorerTreeCtrl::AppendFolder(uint32_t key, HTREEITEM parent, uint32_t id, const CString& label,
                                     uint32_t check) {
  HTREEITEM item = InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE, label.GetString(),
                              kFolderImage, kFolderImage, CheckStateImage(check), TVIS_STATEIMAGEMASK, LPARAM(id),
                              parent, TVI_LAST);
  if (item && HasSubfolders(*m_list, key, id)) InsertItem(kPlaceholder, item);
}

void CExplorerTreeCtrl::FillChildren(uint32_t key, HTREEITEM item, uint32_t id) {
  if (!m_list || !item) return;
  HTREEITEM first = GetChildItem(item);
  if (first && !IsPlaceholder(*this, first)) return;  // filled already
  while (HTREEITEM child = GetChildItem(item)) DeleteItem(child);
  std::vector<uint32_t> ids;
  ListFolderIds(key, id, ids);
  std::vector<CString> labels;
  std::vector<uint32_t> checks;
  GetItemLabelsAndChecks(*m_list, key, ids, labels, checks);
  if (labels.size() == ids.size() && checks.size() == ids.size()) {
    for (size_t i = 0; i < ids.size(); ++i) AppendFolder(key, item, ids[i], labels[i], checks[i]);
    return;
  }
  // The labels skip an id whose record went away meanwhile, so they no longer line up with
  // the ids: each folder is labelled on its own instead.
  for (uint32_t child : ids) {
    CString label;
    uint32_t check = 0;
    if (GetItemLabel(*m_list, key, child, label, check)) AppendFolder(key, item, child, label, check);
  }
}

bool CExplorerTreeCtrl::GetItemKey(HTREEITEM item, uint32_t& key) const {
  if (!item || !m_hWnd) return false;
  HTREEITEM root = item;
  while (HTREEITEM up = GetParentItem(root)) root = up;
  const CString text = GetItemText(root);
  const int blank = text.Find(u' ');
  if (blank <= 0) return false;
  uint32_t n = 0;
  for (int i = 0; i < blank; ++i) {
    const char16_t c = text[i];
    if (c < u'0' || c > u'9') return false;
    n = n * 10 + uint32_t(c - u'0');
    if (n > 0xFFFF) return false;  // no slot or view number is this large
  }
  key = IsByPathOrSearch() ? n + kFindFileSlot : (n | kViewIdFlag);
  return true;
}

HTREEITEM CExplorerTreeCtrl::FindRootOfKey(uint32_t key) const {
  for (HTREEITEM root = GetRootItem(); root; root = GetNextSiblingItem(root)) {
    uint32_t k = 0;
    if (GetItemKey(root, k) && k == key) return root;
  }
  return nullptr;
}

void CExplorerTreeCtrl::ExpandRootOfKey(uint32_t key) {
  if (HTREEITEM root = FindRootOfKey(key)) Expand(root, TVE_EXPAND);
}

bool CExplorerTreeCtrl::FindChildItem(uint32_t key, uint32_t id, HTREEITEM parent, HTREEITEM& out) const {
  out = nullptr;
  if (id == kRootId) {
    for (HTREEITEM root = GetRootItem(); root; root = GetNextSiblingItem(root)) {
      uint32_t k = 0;
      if (GetItemKey(root, k) && k == key && GetItemData(root) == kRootId) {
        out = root;
        return true;
      }
    }
    return false;
  }
  if (!parent) return false;
  for (HTREEITEM c = GetChildItem(parent); c; c = GetNextSiblingItem(c)) {
    if (GetItemData(c) == id) {
      out = c;
      return true;
    }
  }
  return false;
}

void CExplorerTreeCtrl::RefreshBranch(uint32_t key, VolumeList* model, HTREEITEM item) {
  if (!model || !item) return;
  // Each item of the work list gets the whole refresh: its children relabelled (and queued
  // for their own), then the sub-folders the model gained appended. A list, not recursion,
  // because a damaged volume can nest folders deeper than any stack.
  std::vector<HTREEITEM> work{item};
  std::vector<uint32_t> ids, shown;
  std::vector<bool> matched;
  while (!work.empty()) {
    HTREEITEM at = work.back();
    work.pop_back();
    shown.clear();
    for (HTREEITEM c = GetChildItem(at); c; c = GetNextSiblingItem(c)) {
      const uint32_t id = uint32_t(GetItemData(c));
      CString label;
      uint32_t check = 0;
      if (GetItemLabel(*model, key, id, label, check) && label != GetItemText(c)) SetItemText(c, label.GetString());
      work.push_back(c);
      shown.push_back(id);
    }
    // Each shown item stands for one listed id: sorted, with a mark per match.
    std::sort(shown.begin(), shown.end());
    matched.assign(shown.size(), false);
    ListFolderIds(key, uint32_t(GetItemData(at)), ids);
    for (uint32_t id : ids) {
      size_t i = size_t(std::lower_bound(shown.begin(), shown.end(), id) - shown.begin());
      while (i < shown.size() && shown[i] == id && matched[i]) ++i;
      if (i < shown.size() && shown[i] == id) {
        matched[i] = true;
        continue;
      }
      CString label;
      uint32_t check = 0;
      if (GetItemLabel(*model, key, id, label, check)) AppendFolder(key, at, id, label, check);
    }
  }
}

// ---- Checks ----

void CExplorerTreeCtrl::RefreshChecks(HTREEITEM item, uint32_t key) {
  if (!m_list || !item) return;
  std::vector<HTREEITEM> work{item};
  std::vector<std::pair<HTREEITEM, UINT>> pictures;
  {
    VolumeListReadGuard guard(*m_list);
    while (!work.empty()) {
      HTREEITEM at = work.back();
      work.pop_back();
      HTREEITEM first = GetChildItem(at);
      if (!first || IsPlaceholder(*this, first)) continue;  // not filled: nothing to mirror
      for (HTREEITEM c = first; c; c = GetNextSiblingItem(c)) {
        if (const FileRecord* r = GetItemRecord(*m_list, key, uint32_t(GetItemData(c))))
          pictures.emplace_back(c, CheckStateImage(GetCheckState(*r)));
        work.push_back(c);
      }
    }
  }
  // Set after the lock is let go: a repaint may ask the model again.
  for (const auto& [c, state] : pictures) {
    if (GetItemState(c, TVIS_STATEIMAGEMASK) != state) SetItemState(c, state, TVIS_STATEIMAGEMASK);
  }
}

void CExplorerTreeCtrl::RefreshRootCheck(HTREEITEM root, uint32_t key) {
  if (!m_list || !root) return;
  std::vector<uint32_t> ids;
  if (IsViewId(key)) ListViewChildren(*m_list, key, kRootId, ids, 0);
  else ListVolumeChildren(*m_list, key, kRootId, ids, 0);
  bool checked = false, unchecked = false, partly = false;
  {
    VolumeListReadGuard guard(*m_list);
    for (uint32_t id : ids) {
      const FileRecord* r = GetItemRecord(*m_list, key, id);
      if (!r) continue;
      switch (GetCheckState(*r)) {
        case 0: unchecked = true; break;
        case 1: checked = true; break;
        case 2: partly = true; break;
        default: break;  // both bits: neither checked nor unchecked
      }
    }
  }
  const uint32_t check = partly || (checked && unchecked) ? 2 : checked ? 1 : 0;
  SetItemState(root, CheckStateImage(check), TVIS_STATEIMAGEMASK);
}

void CExplorerTreeCtrl::RefreshKeyChecks(uint32_t key) {
  HTREEITEM root = FindRootOfKey(key);
  if (!root) return;
  RefreshChecks(root, key);
  RefreshRootCheck(root, key);
}

// ---- Notifications of the control ----

void CExplorerTreeCtrl::OnTvnItemexpanded(NMHDR* nm, LRESULT* result) {
  *result = 0;
  const auto* tv = reinterpret_cast<const NMTREEVIEWW*>(nm);
  if (!(tv->itemNew.state & TVIS_EXPANDED)) return;
  uint32_t key = 0;
  if (GetItemKey(tv->itemNew.hItem, key)) FillChildren(key, tv->itemNew.hItem, uint32_t(GetItemData(tv->itemNew.hItem)));
}

void CExplorerTreeCtrl::OnTvnSelchanged(NMHDR* nm, LRESULT* result) {
  *result = 0;
  if (!m_list) return;
  HTREEITEM item = reinterpret_cast<const NMTREEVIEWW*>(nm)->itemNew.hItem;
  uint32_t key = 0;
  if (!GetItemKey(item, key)) return;
  const bool valid = IsViewId(key) ? ViewIndexOf(key) < kViewCount : key < m_list->slotCount;
  if (!valid) return;
  NotifyVolumeListeners(*m_list, m_hWnd, WM_VIEW_OPENFOLDER, key, LPARAM(GetItemData(item)));
}

void CExplorerTreeCtrl::OnLButtonDown(UINT flags, CPoint pt) {
  HTREEITEM item = HitTest(pt, &m_lastHitFlags);
  uint32_t key = 0;
  if (m_list && (m_lastHitFlags & TVHT_ONITEMSTATEICON) && GetItemKey(item, key)) {
    // The model toggles the folder with everything below and above it; the pictures follow
    // its WM_VIEW_CHECKCHANGED, which reaches this tree as well (no sender).
    ToggleItemCheck(*m_list, nullptr, key, uint32_t(GetItemData(item)));
    SelectItem(item);
  }
  CTreeCtrl::OnLButtonDown(flags, pt);
}

void CExplorerTreeCtrl::OnNMClick(NMHDR*, LRESULT* result) {
  // The control's own toggling would make the picture disagree with the model.
  *result = (m_lastHitFlags & TVHT_ONITEMSTATEICON) ? 1 : 0;
}

void CExplorerTreeCtrl::OnKeyDown(UINT key, UINT, UINT) {
  // Space would turn the check picture by itself, apart from the model: it does nothing here.
  if (key == VK_SPACE) return;
  Default();
}

void CExplorerTreeCtrl::OnNMRclick(NMHDR*, LRESULT* result) {
  *result = 0;
  POINT screen{};
  GetCursorPos(&screen);
  POINT pt = screen;
  ScreenToClient(&pt);
  HTREEITEM item = HitTest(CPoint(pt.x, pt.y));
  uint32_t key = 0;
  if (!item || !GetItemKey(item, key)) return;
  m_menuKey = key;
  m_menuId = uint32_t(GetItemData(item));
  CMenu menu;
  if (!menu.CreatePopupMenu()) return;
  menu.AppendMenu(MF_STRING, ID_TREE_RECOVER, GetLangStr(u"Recover").GetString());
  menu.AppendMenu(MF_STRING, ID_TREE_RENAME, GetLangStr(u"Rename").GetString());
  SetForegroundWindow();
  menu.TrackPopupMenu(TPM_LEFTALIGN, screen.x, screen.y, this);
  menu.DestroyMenu();
}

// ---- View messages ----

bool CExplorerTreeCtrl::PathFromRoot(uint32_t key, uint32_t id, std::vector<uint32_t>& out) const {
  out.clear();
  if (!m_list || !GetItemPathIds(*m_list, key, id, out) || out.empty()) return false;
  std::vector<uint32_t> down(out.rbegin(), out.rend());
  out.swap(down);
  return true;
}

LRESULT CExplorerTreeCtrl::OnOpenFolder(WPARAM wKey, LPARAM lId) {
  if (!m_list) return 0;
  const uint32_t key = uint32_t(wKey), id = uint32_t(lId);
  if (IsByPathOrSearch()) {
    if (IsViewId(key) || m_mode != m_list->mode) return 0;
  } else if (key != m_currentKey) {
    return 0;
  }
  std::vector<uint32_t> path;
  if (!PathFromRoot(key, id, path)) return 0;
  HTREEITEM at = nullptr;
  bool whole = true;
  for (uint32_t step : path) {
    HTREEITEM found = nullptr;
    if (!FindChildItem(key, step, at, found)) {
      whole = false;
      break;
    }
    at = found;
    Expand(at, TVE_EXPAND);
  }
  SelectItem(whole ? at : nullptr);
  return 0;
}

LRESULT CExplorerTreeCtrl::OnCheckChanged(WPARAM key, LPARAM) {
  RefreshKeyChecks(uint32_t(key));
  return 0;
}

LRESULT CExplorerTreeCtrl::OnViewModeChanged(WPARAM mode, LPARAM) {
  if (!m_list || int32_t(mode) != m_mode) return 0;
  if (IsByPathOrSearch()) {
    const uint32_t count = m_list->slotCount;
    for (uint32_t slot = kFindFileSlot; slot < count; ++slot) RefreshKeyChecks(slot);
  } else {
    RefreshKeyChecks(kViewIdFlag | uint32_t(m_mode));
  }
  return 0;
}

LRESULT CExplorerTreeCtrl::OnResultsReady(WPARAM, LPARAM) {
  if (!m_list) return 0;
  DeleteAllItems();
  if (IsByPathOrSearch()) {
    const uint32_t count = m_list->slotCount;
    for (uint32_t slot = kFindFileSlot; slot < count; ++slot) AddRoot(slot);
    m_currentKey = count > 0 ? count - 1 : kNoTreeKey;
  } else {
    m_currentKey = kViewIdFlag | uint32_t(m_mode);
    AddRoot(m_currentKey);
  }
  for (HTREEITEM root = GetRootItem(); root; root = GetNextSiblingItem(root)) Expand(root, TVE_EXPAND);
  return 0;
}

LRESULT CExplorerTreeCtrl::OnSearchDone(WPARAM, LPARAM) {
  if (!m_list || m_mode != kModeSearch) return 0;
  std::vector<uint32_t> slots;
  ListVisibleVolumeSlots(*m_list, slots);
  if (slots.empty()) return 0;
  DeleteAllItems();
  for (uint32_t slot : slots) AddRoot(slot);
  m_currentKey = slots.back();
  ExpandRootOfKey(m_currentKey);
  return 0;
}

void CExplorerTreeCtrl::RelabelRoot(HTREEITEM root, uint32_t key) {
  CString label;
  if (root && m_list && GetVolumeSlotLabel(*m_list, key, label) && label != GetItemText(root))
    SetItemText(root, label.GetString());
}

LRESULT CExplorerTreeCtrl::OnSlotAdded(WPARAM wSlot, LPARAM) {
  if (!m_list || m_mode == kModeSearch) return 0;
  const uint32_t slot = uint32_t(wSlot);
  SendMessage(WM_SETREDRAW, FALSE);
  HTREEITEM first = GetRootItem();
  if (m_mode == kModeByPath) {
    AddRoot(slot);
    ExpandRootOfKey(slot);
    // The first slot that arrives is opened in every view of the by-path mode.
    if (!first) RequestOpenFolder(*m_list, m_hWnd, slot, kRootId);
  } else if (first) {
    const uint32_t key = kViewIdFlag | uint32_t(m_mode);
    RelabelRoot(first, key);
    RefreshBranch(key, m_list, first);
  } else {
    m_currentKey = kViewIdFlag | uint32_t(m_mode);
    AddRoot(m_currentKey);
    ExpandRootOfKey(m_currentKey);
    if (HTREEITEM root = GetRootItem()) SelectItem(root);
  }
  SendMessage(WM_SETREDRAW, TRUE);
  return 0;
}

LRESULT CExplorerTreeCtrl::OnFilesAdded(WPARAM, LPARAM) {
  if (m_mode == kModeByPath && GetRootItem()) UpdateFoundFilesBranch();
  return 0;
}

void CExplorerTreeCtrl::UpdateFoundFilesBranch() {
  // The found files belong under the root of slot 3 only: refreshing another volume's root
  // with slot 3's ids would show found folders inside that volume.
  HTREEITEM root = FindRootOfKey(kFindFileSlot);
  if (!root || !m_list) return;
  SendMessage(WM_SETREDRAW, FALSE);
  RefreshBranch(kFindFileSlot, m_list, root);
  ExpandRootOfKey(kFindFileSlot);
  RelabelRoot(root, kFindFileSlot);
  SendMessage(WM_SETREDRAW, TRUE);
}

LRESULT CExplorerTreeCtrl::OnItemRenamed(WPARAM wKey, LPARAM lId) {
  if (!m_list) return 0;
  const uint32_t key = uint32_t(wKey), id = uint32_t(lId);
  std::vector<uint32_t> path;
  if (!PathFromRoot(key, id, path)) return 0;
  HTREEITEM at = nullptr;
  for (uint32_t step : path) {
    HTREEITEM found = nullptr;
    if (!FindChildItem(key, step, at, found)) return 0;
    at = found;
  }
  CString name;
  {
    VolumeListReadGuard guard(*m_list);
    name = RecordNameText(GetItemRecord(*m_list, key, id));
  }
  if (!name.IsEmpty()) SetItemText(at, name.GetString());
  return 0;
}

// ---- Commands ----

void CExplorerTreeCtrl::OnRecover() {
  bool exists = false;
  if (m_list) {
    VolumeListReadGuard guard(*m_list);
    exists = GetItemRecord(*m_list, m_menuKey, m_menuId) != nullptr;
  }
  if (!exists) {
    ShowMessageBox(GetLangStr(u"RightClickToRecover"));
    return;
  }
  RecoverOneItem(*m_list, m_menuKey, m_menuId, nullptr);
}

void CExplorerTreeCtrl::OnRename() {
  if (!m_list) return;
  CString name;
  if (!AskNewName(this, name)) return;
  ShowMessageBox(GetLangStr(RenameItem(*m_list, m_menuKey, m_menuId, name) ? u"RenameOK" : u"RenameFailed"));
}

// ---- Painting ----

LRESULT CExplorerTreeCtrl::OnNcPaint(WPARAM, LPARAM) {
  Default();
  CWindowDC dc(this);
  RECT w{};
  GetWindowRect(&w);
  const RECT frame{0, 0, w.right - w.left, w.bottom - w.top};
  CBrush brush(kBorderColor);
  dc.FrameRect(&frame, &brush);
  return 0;
}

void CExplorerTreeCtrl::OnPaint() {
  CPaintDC dc(this);
  RECT clip{}, client{};
  dc.GetClipBox(&clip);
  GetClientRect(&client);
  if (client.right <= 0 || client.bottom <= 0) return;
  // The control paints into a picture of the client, which reaches the screen in one copy:
  // a refill never shows half done.
  CDC mem;
  CBitmap bm;
  if (!mem.CreateCompatibleDC(&dc) || !bm.CreateCompatibleBitmap(&dc, client.right, client.bottom)) return;
  CBitmap* old = mem.SelectObject(&bm);
  CRgn rgn;
  if (rgn.CreateRectRgnIndirect(&clip)) mem.SelectClipRgn(&rgn);
  DefWindowProc(WM_PAINT, reinterpret_cast<WPARAM>(mem.m_hDC), 0);
  dc.BitBlt(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, &mem, clip.left, clip.top, SRCCOPY);
  mem.SelectObject(old);
}
