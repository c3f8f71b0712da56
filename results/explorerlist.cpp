#include "results/explorerlist.h"

#include <atomic>
#include <unordered_map>

#include "app/settings.h"
#include "base/packedtime.h"
#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/itemquery.h"
#include "core/itemsort.h"
#include "dialogs/mainwnd.h"
#include "platform/afx/afxmsg.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/paint/resstore.h"
#include "platform/wnd/shellapi.h"
#include "results/previewwnd.h"
#include "results/renamedlg.h"
#include "results/resultview.h"

namespace {

constexpr int kRowHeight = 25;
constexpr int kColumnWidths[4] = {280, 100, 160, 160};
const char16_t* const kColumnKeys[4] = {u"Name", u"Size", u"CreateBigTime", u"FixBigTime"};
// The check picture's clickable band, in client pixels.
constexpr int kCheckBandLeft = 8, kCheckBandRight = 20;
const char16_t kNoExtension[] = u"***";

HICON ShellExtensionIcon(const CString& extension) {
  SHFILEINFOW info{};
  if (!SHGetFileInfoW(extension.GetString(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                      SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_SMALLICON)) {
    return nullptr;
  }
  return info.hIcon;
}

std::atomic<ExtensionIconFn> g_extensionIcon{&ShellExtensionIcon};

HICON SystemFolderIcon() {
  char16_t dir[260] = {};
  const UINT n = GetSystemDirectoryW(dir, 260);
  if (n == 0 || n >= 260) return nullptr;
  SHFILEINFOW info{};
  if (!SHGetFileInfoW(dir, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SMALLICON)) return nullptr;
  return info.hIcon;
}

void Say(const char16_t* key) { ShowMessageBox(GetLangStr(key)); }

}  // namespace

void SetExtensionIconHook(ExtensionIconFn fn) { g_extensionIcon.store(fn ? fn : &ShellExtensionIcon); }

CString FormatResultSize(uint64_t size) {
  if (size == 0) return CString(u"      0 KB");
  if (size < 1024) return CString(u"      1 KB");
  const uint64_t kib = (size >> 10) + ((size & 1023) >= 500 ? 1 : 0);
  return FormatCString(u"%7llu KB", static_cast<unsigned long long>(kib));
}

CString FormatResultName(const FileRecord& r) {
  const CString name = RecordNameText(&r);
  if (!(r.flags & kRecDirectory)) return name;
  return FormatCString(u"%s     (%u %s)", name, uint32_t(r.filesBelow), GetLangStr(u"Files"));
}

void CopyTextToBuffer(const CString& text, char16_t* buffer, int capacity) {
  if (!buffer || capacity <= 0) return;
  const int n = std::min(text.GetLength(), capacity - 1);
  for (int i = 0; i < n; ++i) buffer[i] = text[i];
  buffer[n] = 0;
}

BEGIN_MESSAGE_MAP(CExplorerListCtrl, CSkinListCtrl)
ON_NOTIFY_REFLECT(NM_DBLCLK, OnNMDblclk)
ON_NOTIFY_REFLECT(LVN_COLUMNCLICK, OnLvnColumnclick)
ON_NOTIFY_REFLECT(NM_CLICK, OnNMClick)
ON_NOTIFY_REFLECT(NM_RCLICK, OnNMRclick)
ON_NOTIFY_REFLECT(LVN_GETDISPINFOW, OnLvnGetdispinfo)
ON_NOTIFY_REFLECT(LVN_ITEMCHANGED, OnLvnItemchanged)
ON_MESSAGE(WM_VIEW_OPENFOLDER, OnOpenFolder)
ON_MESSAGE(WM_VIEW_CHECKCHANGED, OnCheckChanged)
ON_MESSAGE(WM_VIEW_RESULTSREADY, OnResultsReady)
ON_MESSAGE(WM_VIEW_MODECHANGED, OnViewModeChanged)
ON_MESSAGE(WM_VIEW_SEARCHDONE, OnSearchDone)
ON_MESSAGE(WM_VIEW_SLOTADDED, OnSlotAdded)
ON_MESSAGE(WM_VIEW_FILESADDED, OnFilesAdded)
ON_MESSAGE(WM_VIEW_RENAMED, OnItemRenamed)
ON_COMMAND(ID_RESULT_OPEN, OnOpen)
ON_COMMAND(ID_RESULT_RECOVER, OnRecover)
ON_COMMAND(ID_RESULT_SHOWICONS, OnShowIcons)
ON_COMMAND(ID_RESULT_RENAME, OnRename)
ON_COMMAND(ID_RESULT_PREVIEW, OnPreview)
END_MESSAGE_MAP()

CExplorerListCtrl::CExplorerListCtrl() = default;
CExplorerListCtrl::~CExplorerListCtrl() = default;

void CExplorerListCtrl::Init() {
  if (!m_list) m_list = &AppVolumeList();
  SetExtendedStyle(GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  SetRowHeight(kRowHeight);
  if (m_header.m_hSeparator) DestroyIcon(m_header.m_hSeparator);
  m_header.m_hSeparator = LoadIconW(nullptr, ResourceIdName(171));
  const bool checked = m_checkImages[1].LoadFromResource(173);
  const bool unchecked = m_checkImages[0].LoadFromResource(172);
  const bool partly = m_checkImages[2].LoadFromResource(237);
  if (checked && unchecked && partly) {
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_CHECKBOXES);
    m_bCheckBoxes = 1;
  }
  InitCtrl(1);
  SetExtendedStyle(GetExtendedStyle() | LVS_EX_CHECKBOXES);
  ModifyStyle(LVS_TYPEMASK, LVS_REPORT);
  // Image 0 the folder, image 1 the plain file; one image per extension follows. The cache
  // holds one entry per image, so a missing picture is replaced rather than left out.
  m_iconCache.clear();
  for (HICON icon : {SystemFolderIcon(), LoadIconW(nullptr, ResourceIdName(182))}) {
    if (!icon) icon = ShellExtensionIcon(CString(u".file"));
    AddIcon(icon);
    if (icon) DestroyIcon(icon);
    m_iconCache.emplace_back(kNoExtension);
  }
  InsertColumns();
  for (int i = 0; i < 4; ++i) SetColumnWidth(i, kColumnWidths[i]);
}

void CExplorerListCtrl::InsertColumns() {
  for (int i = 0; i < 4; ++i) InsertColumn(i, GetLangStr(kColumnKeys[i]).GetString(), LVCFMT_LEFT, kColumnWidths[i]);
}

uint32_t CExplorerListCtrl::RowId(int row) const {
  return row >= 0 && size_t(row) < m_ids.size() ? m_ids[size_t(row)] : 0;
}

void CExplorerListCtrl::ListShownChildren(std::vector<uint32_t>& out) {
  out.clear();
  if (!m_list) return;
  if (IsViewId(m_shownKey)) ListViewChildren(*m_list, m_shownKey, m_shownId, out, 0);
  else ListVolumeChildren(*m_list, m_shownKey, m_shownId, out, 0);
}

void CExplorerListCtrl::ShowFolder() {
  m_sortColumn = -1;
  m_bPaintThrough = 1;
  if (DeleteAllItems()) FreeAllRowData();
  ListShownChildren(m_ids);
  SetItemCountEx(int(m_ids.size()), LVSICF_NOINVALIDATEALL);
  if (m_ids.empty()) return;
  uint32_t first = 0;
  FindFirstPreviewableItem(*m_list, m_ids, m_shownKey, first);
  if (m_ids.size() < kAutoSortLimit) SortByColumn(kColumnName);
  for (size_t i = 0; i < m_ids.size(); ++i) {
    if (m_ids[i] != first) continue;
    SetItemState(int(i), LVIS_SELECTED, LVIS_SELECTED);
    break;
  }
}

void CExplorerListCtrl::AppendNewItems() {
  std::vector<uint32_t> fresh;
  ListShownChildren(fresh);
  if (fresh.size() <= m_ids.size()) return;
  // Each shown id answers one listed id; the listed ids left over are the new ones, in order.
  std::unordered_map<uint32_t, uint32_t> unmatched;
  unmatched.reserve(m_ids.size());
  for (uint32_t id : m_ids) ++unmatched[id];
  for (uint32_t id : fresh) {
    auto it = unmatched.find(id);
    if (it != unmatched.end() && it->second > 0) --it->second;
    else m_ids.push_back(id);
  }
  SetItemCountEx(int(m_ids.size()), LVSICF_NOINVALIDATEALL);
}

void CExplorerListCtrl::SortByColumn(int column) {
  if (m_ids.empty() || !m_list) return;
  const int ascending = column != m_sortColumn || !m_sortAscending ? 1 : 0;
  const bool warn = m_ids.size() >= kSortWarnRows;
  if (warn) ShowMessageBox(FormatCString(GetLangStr(u"WaitSortMinute").GetString(), uint32_t(m_ids.size() / 10000)));
  if (column >= 0 && SortItemIds(*m_list, m_shownKey, m_ids, uint32_t(column), uint32_t(ascending))) {
    m_sortColumn = column;
    m_sortAscending = ascending;
    m_header.m_sortColumn = column;
    m_header.m_bSortAscending = ascending;
    if (m_header.m_hWnd) m_header.Invalidate(FALSE);
    Repaint();
  }
  if (warn) ShowMessageBox(GetLangStr(u"SortOK"));
}

int CExplorerListCtrl::GetIconIndex(const CString& name, bool isDirectory) {
  if (isDirectory) return 0;
  const int dot = name.ReverseFind(u'.');
  if (dot <= 0) return 1;
  CString ext = name.Mid(dot);
  ext.MakeUpper();
  for (size_t i = 0; i < m_iconCache.size(); ++i) {
    if (m_iconCache[i] == ext) return int(i);
  }
  HICON icon = g_extensionIcon.load()(ext);
  const int added = AddIcon(icon);
  if (icon) DestroyIcon(icon);
  // Without an image of its own the extension keeps the plain file image; it is asked again
  // next time, so the cache and the image lists stay in step.
  if (added < 0 || size_t(added) != m_iconCache.size()) return 1;
  m_iconCache.push_back(ext);
  return int(m_iconCache.size()) - 1;
}

void CExplorerListCtrl::DrawCheckImage(CDC* dc, int row) {
  if (!m_bCheckBoxes || !dc || row < 0 || size_t(row) >= m_ids.size() || !m_list) return;
  int image = 0;
  {
    VolumeListReadGuard guard(*m_list);
    if (const FileRecord* r = GetItemRecord(*m_list, m_shownKey, m_ids[size_t(row)])) {
      const uint32_t state = GetCheckState(*r);
      image = state == 1 ? 1 : state == 2 ? 2 : 0;
    }
  }
  CBitmapDC& pic = m_checkImages[image];
  if (pic.m_bEmpty) return;
  CRect label;
  if (!GetSubItemRect(row, 0, LVIR_LABEL, label)) return;
  const int y = label.top + (label.Height() - pic.Height()) / 2;
  dc->BitBlt(CheckImageLeft(label.left), y, pic.Width(), pic.Height(), &pic, 0, 0, SRCCOPY);
}

void CExplorerListCtrl::BuildContextMenu(CMenu& menu, bool isDirectory) {
  struct Item {
    UINT command;
    const char16_t* key;
    UINT bitmap;
  };
  static constexpr Item kItems[] = {{ID_RESULT_SHOWICONS, u"ShowIcon", 353}, {ID_RESULT_RECOVER, u"Recover", 351},
                                    {ID_RESULT_OPEN, u"Open", 350},         {ID_RESULT_PREVIEW, u"Preview", 354},
                                    {ID_RESULT_RENAME, u"Rename", 355}};
  for (const Item& item : kItems) {
    if (item.command == ID_RESULT_PREVIEW && isDirectory) continue;
    menu.AppendMenu(MF_STRING, item.command, GetLangStr(item.key).GetString());
    if (HBITMAP bm = HelpMenuBitmap(item.bitmap)) SetMenuItemBitmaps(menu, item.command, MF_BYCOMMAND, bm, bm);
  }
}

// ---- Notifications ----

void CExplorerListCtrl::OnLvnGetdispinfo(NMHDR* nm, LRESULT* result) {
  *result = 0;
  auto* di = reinterpret_cast<NMLVDISPINFOW*>(nm);
  if (!m_list || di->item.iItem < 0 || size_t(di->item.iItem) >= m_ids.size()) return;
  CString text, name;
  bool directory = false;
  {
    VolumeListReadGuard guard(*m_list);
    const FileRecord* r = GetItemRecord(*m_list, m_shownKey, m_ids[size_t(di->item.iItem)]);
    if (!r) return;
    directory = (r->flags & kRecDirectory) != 0;
    if (di->item.mask & LVIF_TEXT) {
      switch (di->item.iSubItem) {
        case kColumnName: text = FormatResultName(*r); break;
        case kColumnSize: text = FormatResultSize(r->size); break;
        case kColumnCreated: text = PackedTimeToText(r->ctime); break;
        case kColumnModified: text = PackedTimeToText(r->mtime); break;
        default: break;
      }
    }
    if (di->item.mask & LVIF_IMAGE) name = RecordNameText(r);
  }
  if (di->item.mask & LVIF_TEXT) CopyTextToBuffer(text, di->item.pszText, di->item.cchTextMax);
  if (di->item.mask & LVIF_IMAGE) di->item.iImage = GetIconIndex(name, directory);
}

void CExplorerListCtrl::OnLvnItemchanged(NMHDR*, LRESULT* result) { *result = 0; }

void CExplorerListCtrl::OnLvnColumnclick(NMHDR* nm, LRESULT* result) {
  *result = 0;
  SortByColumn(reinterpret_cast<NMLISTVIEW*>(nm)->iSubItem);
}

void CExplorerListCtrl::OnNMClick(NMHDR* nm, LRESULT* result) {
  *result = 0;
  const POINT pt = reinterpret_cast<NMITEMACTIVATE*>(nm)->ptAction;
  const int row = HitTest(CPoint(pt.x, pt.y));
  if (row < 0 || pt.x < kCheckBandLeft || pt.x > kCheckBandRight || size_t(row) >= m_ids.size() || !m_list) return;
  ToggleItemCheck(*m_list, nullptr, m_shownKey, m_ids[size_t(row)]);
}

void CExplorerListCtrl::OnNMDblclk(NMHDR*, LRESULT* result) {
  *result = 0;
  const int row = GetNextItem(-1, LVNI_SELECTED);
  if (row < 0 || size_t(row) >= m_ids.size() || !m_list) return;
  const uint32_t id = m_ids[size_t(row)];
  bool exists = false, directory = false;
  {
    VolumeListReadGuard guard(*m_list);
    if (const FileRecord* r = GetItemRecord(*m_list, m_shownKey, id)) {
      exists = true;
      directory = (r->flags & kRecDirectory) != 0;
    }
  }
  if (!exists) return;
  if (directory) RequestOpenFolder(*m_list, m_hWnd, m_shownKey, id);
  else PreviewItem(m_shownKey, id);
}

void CExplorerListCtrl::OnNMRclick(NMHDR* nm, LRESULT* result) {
  *result = 0;
  POINT pt = reinterpret_cast<NMITEMACTIVATE*>(nm)->ptAction;
  const int row = HitTest(CPoint(pt.x, pt.y));
  m_menuTarget = row >= 0 && size_t(row) < m_ids.size() ? int32_t(m_ids[size_t(row)]) : -1;
  bool directory = false;
  if (m_menuTarget >= 0 && m_list) {
    VolumeListReadGuard guard(*m_list);
    const FileRecord* r = GetItemRecord(*m_list, m_shownKey, uint32_t(m_menuTarget));
    directory = r && (r->flags & kRecDirectory);
  }
  CMenu menu;
  if (!menu.CreatePopupMenu()) return;
  BuildContextMenu(menu, directory);
  SetForegroundWindow();
  ClientToScreen(&pt);
  menu.TrackPopupMenu(TPM_LEFTALIGN, pt.x, pt.y, this);
  menu.DestroyMenu();
}

// ---- View messages ----

LRESULT CExplorerListCtrl::OnOpenFolder(WPARAM key, LPARAM id) {
  if (!m_list) return 0;
  const uint32_t k = uint32_t(key), i = uint32_t(id);
  if (m_mode == kModeByPath || m_mode == kModeSearch) {
    if (IsViewId(k) || (k == m_shownKey && i == m_shownId) || m_mode != m_list->mode) return 0;
    m_shownKey = k;
  } else {
    m_shownKey = kViewIdFlag | uint32_t(m_mode);
    if (k != m_shownKey || i == m_shownId) return 0;
  }
  m_shownId = i;
  ShowFolder();
  return 0;
}

LRESULT CExplorerListCtrl::OnCheckChanged(WPARAM key, LPARAM) {
  if (uint32_t(key) == m_shownKey) Repaint();
  return 0;
}

LRESULT CExplorerListCtrl::OnResultsReady(WPARAM key, LPARAM) {
  m_shownKey = m_mode >= kModeByType ? kViewIdFlag | uint32_t(m_mode) : uint32_t(key);
  m_shownId = kRootId;
  ShowFolder();
  return 0;
}

LRESULT CExplorerListCtrl::OnViewModeChanged(WPARAM mode, LPARAM) {
  if (int32_t(mode) == m_mode) Repaint();
  return 0;
}

LRESULT CExplorerListCtrl::OnSearchDone(WPARAM slot, LPARAM) {
  if (m_mode != kModeSearch) return 0;
  m_shownKey = uint32_t(slot);
  m_shownId = kRootId;
  ShowFolder();
  return 0;
}

LRESULT CExplorerListCtrl::OnSlotAdded(WPARAM, LPARAM) {
  if (m_mode >= kModeByType) AppendNewItems();
  return 0;
}

LRESULT CExplorerListCtrl::OnFilesAdded(WPARAM, LPARAM) {
  if (m_mode == kModeByPath && m_shownKey == kFindFileSlot) AppendNewItems();
  return 0;
}

LRESULT CExplorerListCtrl::OnItemRenamed(WPARAM, LPARAM) {
  Repaint();
  return 0;
}

// ---- Menu commands ----

namespace {

// Whether the item's record exists (and is a directory).
bool ItemExists(VolumeList* list, uint32_t key, int32_t id, bool* directory = nullptr) {
  if (!list || id < 0) return false;
  VolumeListReadGuard guard(*list);
  const FileRecord* r = GetItemRecord(*list, key, uint32_t(id));
  if (r && directory) *directory = (r->flags & kRecDirectory) != 0;
  return r != nullptr;
}

}  // namespace

void CExplorerListCtrl::OnShowIcons() {
  CWnd* pane = GetParent();
  CWnd* view = pane ? pane->GetParent() : nullptr;
  if (auto* results = dynamic_cast<CDorivDlg*>(view ? CWnd::FromHandlePermanent(view->m_hWnd) : nullptr)) {
    results->OnBnClickedShowIcons();
  }
}

void CExplorerListCtrl::OnRecover() {
  if (!ItemExists(m_list, m_shownKey, m_menuTarget)) return Say(u"RightClickToRecover");
  RecoverOneItem(*m_list, m_shownKey, uint32_t(m_menuTarget), nullptr);
}

void CExplorerListCtrl::OnOpen() {
  bool directory = false;
  if (!ItemExists(m_list, m_shownKey, m_menuTarget, &directory)) return Say(u"RightClickToOpen");
  if (directory) {
    RequestOpenFolder(*m_list, m_hWnd, m_shownKey, uint32_t(m_menuTarget));
  } else if (!OpenItemViaTempCopy(*m_list, m_shownKey, uint32_t(m_menuTarget), nullptr)) {
    Say(u"OpenFileFailed");
  }
}

void CExplorerListCtrl::OnPreview() {
  if (!ItemExists(m_list, m_shownKey, m_menuTarget)) return Say(u"RightClickToPreview");
  PreviewItem(m_shownKey, uint32_t(m_menuTarget));
}

void CExplorerListCtrl::OnRename() {
  if (m_menuTarget < 0 || !m_list) return Say(u"RightClickToRename");
  CString name;
  if (!AskNewName(this, name)) return;
  Say(RenameItem(*m_list, m_shownKey, uint32_t(m_menuTarget), name) ? u"RenameOK" : u"RenameFailed");
}
