#include "results/piclist.h"

#include <algorithm>

#include "app/settings.h"
#include "base/codec/imagecodec.h"
#include "base/heap.h"
#include "base/imagedraw/imagedraw.h"
#include "base/log.h"
#include "base/pathutil.h"
#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/itemquery.h"
#include "core/itemsort.h"
#include "core/preview/previewblob.h"
#include "core/preview/previewtypes.h"
#include "core/preview/previewworker.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "platform/fileio.h"
#include "platform/wnd/shellapi.h"
#include "results/previewwnd.h"
#include "results/renamedlg.h"

namespace {

constexpr COLORREF kTileFrame = RGB(0xC0, 0xC0, 0xC0);
constexpr COLORREF kBorder = RGB(0xCA, 0xCC, 0xCF);
constexpr DWORD kPicExtendedStyle = 0x6001008;
constexpr UINT kShowDetailsButton = 1113;

CString Lang(const char16_t* key) { return GetLangStr(key); }

// Menu pictures are loaded once and kept: a menu does not free its items' bitmaps.
HBITMAP MenuBitmap(UINT id) {
  static std::map<UINT, HBITMAP>& kept = *new std::map<UINT, HBITMAP>;
  auto it = kept.find(id);
  if (it != kept.end()) return it->second;
  HBITMAP bm = LoadBitmapW(nullptr, ResourceIdName(id));
  if (!bm) WriteLogFmt(u"Menu bitmap %u is missing", id);
  kept.emplace(id, bm);
  return bm;
}

void AppendMenuItem(CMenu& menu, UINT command, const CString& caption, UINT bitmap) {
  menu.AppendMenu(MF_STRING, command, caption.GetString());
  if (HBITMAP bm = MenuBitmap(bitmap)) SetMenuItemBitmaps(menu, command, MF_BYCOMMAND, bm, bm);
}

}  // namespace

PicTileLayout PicTileParts(const RECT& bounds) {
  const int x = bounds.left, y = bounds.top + 3;
  PicTileLayout p{};
  p.box = RECT{x + 3, y, x + 123, y + 120};
  p.caption = RECT{x + 3, y + 119, x + 123, bounds.bottom};
  p.text = RECT{x + 25, y + 119, x + 123, y + 144};
  p.check = POINT{x + 7, y + 124};
  p.checkHit = RECT{bounds.left + 2, bounds.top + 123, bounds.left + 22, bounds.top + 143};
  return p;
}

POINT CentreInBox(const RECT& box, int w, int h) {
  return POINT{box.left + (box.right - box.left - w) / 2, box.top + (box.bottom - box.top - h) / 2};
}

// ---- CSysIcon ----

CSysIcon& CSysIcon::Get() {
  // Made on first use (a paint), after the window layer is up; lives as long as the process.
  static CSysIcon& icons = *new CSysIcon();
  return icons;
}

CSysIcon::CSysIcon() {
  void* list = nullptr;
  if (SUCCEEDED(SHGetImageList(SHIL_EXTRALARGE, IID_IImageList, &list))) {
    m_imageList = static_cast<HIMAGELIST>(list);
    ImageList_GetIconSize(m_imageList, &m_iconWidth, &m_iconHeight);
  }
  char16_t sysDir[MAX_PATH] = {};
  GetSystemDirectoryW(sysDir, MAX_PATH);
  SHFILEINFOW info{};
  if (SHGetFileInfoW(sysDir, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SYSICONINDEX)) {
    m_folderIcon = info.iIcon;
    if (info.hIcon) DestroyIcon(info.hIcon);
  }
  info = SHFILEINFOW{};
  if (SHGetFileInfoW(u"1", FILE_ATTRIBUTE_NORMAL, &info, sizeof(info), SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX))
    m_defaultIcon = info.iIcon;
}

int CSysIcon::IconIndexFor(const char16_t* name) {
  CString ext;
  if (!name || !GetFileExtLower(name, ext) || ext.IsEmpty() || ext == CString(u"lnk")) return m_defaultIcon;
  auto it = m_extIcons.find(ext);
  if (it != m_extIcons.end()) return it->second;
  ++m_lookups;
  SHFILEINFOW info{};
  int index = -1;
  if (SHGetFileInfoW(name, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                     SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_TYPENAME | SHGFI_OPENICON | SHGFI_SYSICONINDEX)) {
    index = info.iIcon;
  }
  if (info.hIcon) DestroyIcon(info.hIcon);
  m_extIcons.emplace(ext, index);
  return index;
}

void CSysIcon::DrawIndex(HDC dc, const RECT& rc, int index) const {
  if (!m_imageList || index < 0 || index >= ImageList_GetImageCount(m_imageList)) return;
  const POINT at = CentreInBox(rc, m_iconWidth, m_iconHeight);
  ImageList_Draw(m_imageList, index, dc, at.x, at.y, ILD_TRANSPARENT);
}

void CSysIcon::DrawIcon(HDC dc, const RECT& rc, const char16_t* name) {
  if (!name) return;
  DrawIndex(dc, rc, IconIndexFor(name));
}

// ---- CPicListCtrl ----

BEGIN_MESSAGE_MAP(CPicListCtrl, CListCtrl)
ON_MESSAGE(WM_VIEW_OPENFOLDER, OnOpenFolder)
ON_MESSAGE(WM_VIEW_CHECKCHANGED, OnCheckChanged)
ON_MESSAGE(WM_VIEW_RESULTSREADY, OnResultsReady)
ON_MESSAGE(WM_VIEW_MODECHANGED, OnViewModeChanged)
ON_MESSAGE(WM_VIEW_SEARCHDONE, OnSearchDone)
ON_MESSAGE(WM_VIEW_SLOTADDED, OnSlotAdded)
ON_MESSAGE(WM_VIEW_FILESADDED, OnFilesAdded)
ON_MESSAGE(WM_VIEW_RENAMED, OnItemRenamed)
ON_MESSAGE(WM_VIEW_PREVIEWREADY, OnGetPreview)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnNMCustomdraw)
ON_NOTIFY_REFLECT(NM_DBLCLK, OnNMDblclk)
ON_NOTIFY_REFLECT(NM_RCLICK, OnNMRclick)
ON_WM_LBUTTONDOWN()
ON_WM_SIZE()
ON_MESSAGE(WM_VSCROLL, OnVScroll)
ON_WM_MOUSEWHEEL()
ON_MESSAGE(WM_NCPAINT, OnNcPaint)
ON_COMMAND(kPicCmdShowDetail, OnShowDetails)
ON_COMMAND(kPicCmdRecover, OnRecover)
ON_COMMAND(kPicCmdOpen, OnOpen)
ON_COMMAND(kPicCmdPreview, OnPreview)
ON_COMMAND(kPicCmdRename, OnRename)
END_MESSAGE_MAP()

CPicListCtrl::~CPicListCtrl() = default;

void CPicListCtrl::Init(VolumeList* list, int mode, PreviewService* preview) {
  m_list = list;
  m_mode = mode;
  m_preview = preview ? preview : &AppPreviewService();
  if (list && m_hWnd) list->AddListener(m_hWnd);
  SetExtendedStyle(GetExtendedStyle() | kPicExtendedStyle);
  // The images are never drawn: the list only takes its tile size from them.
  if (!m_spacing.GetSafeHandle()) m_spacing.Create(kPicImageWidth, kPicImageHeight, ILC_COLOR32, 0, 1);
  SetImageList(&m_spacing, LVSIL_NORMAL);
  m_checkImages[0].LoadFromResource(172);
  m_checkImages[1].LoadFromResource(173);
  m_checkImages[2].LoadFromResource(237);
}

void CPicListCtrl::ListShownChildren(std::vector<uint32_t>& out) {
  out.clear();
  if (!m_list) return;
  if (IsViewId(m_slot)) ListViewChildren(*m_list, m_slot, m_folder, out, 0);
  else ListVolumeChildren(*m_list, m_slot, m_folder, out, 0);
}

void CPicListCtrl::ShowFolder() {
  DeleteAllItems();
  ListShownChildren(m_ids);
  if (m_list) SortItemIds(*m_list, m_slot, m_ids, 0, 1);
  SetItemCountEx(int(m_ids.size()), LVSICF_NOINVALIDATEALL);
}

void CPicListCtrl::AppendNewItems() {
  std::vector<uint32_t> listed;
  ListShownChildren(listed);
  if (listed.size() <= m_ids.size()) return;
  // Each shown id accounts for one listed id; what is left over is new, kept in listed order.
  std::vector<uint32_t> shown = m_ids;
  std::sort(shown.begin(), shown.end());
  std::vector<bool> used(shown.size(), false);
  for (uint32_t id : listed) {
    auto it = std::lower_bound(shown.begin(), shown.end(), id);
    while (it != shown.end() && *it == id && used[size_t(it - shown.begin())]) ++it;
    if (it != shown.end() && *it == id) {
      used[size_t(it - shown.begin())] = true;
      continue;
    }
    m_ids.push_back(id);
  }
  SetItemCountEx(int(m_ids.size()), LVSICF_NOINVALIDATEALL);
}

LRESULT CPicListCtrl::OnOpenFolder(WPARAM w, LPARAM l) {
  const uint32_t slot = uint32_t(w), id = uint32_t(l);
  if (IsClassified()) {
    m_slot = ClassifiedSlot();
    if (slot != m_slot || id == m_folder) return 0;
  } else {
    if (slot & kViewIdFlag) return 0;
    if (slot == m_slot && id == m_folder) return 0;
    if (!m_list || m_list->mode != m_mode) return 0;
    m_slot = slot;
  }
  m_folder = id;
  ShowFolder();
  return 0;
}

LRESULT CPicListCtrl::OnCheckChanged(WPARAM w, LPARAM) {
  if (uint32_t(w) == m_slot) Invalidate(TRUE);
  return 0;
}

LRESULT CPicListCtrl::OnResultsReady(WPARAM w, LPARAM) {
  m_slot = IsClassified() ? ClassifiedSlot() : uint32_t(w);
  m_folder = kRootId;
  ShowFolder();
  return 0;
}

LRESULT CPicListCtrl::OnViewModeChanged(WPARAM w, LPARAM) {
  if (int32_t(w) == m_mode) Invalidate(TRUE);
  return 0;
}

LRESULT CPicListCtrl::OnSearchDone(WPARAM w, LPARAM) {
  if (m_mode != kModeSearch) return 0;
  m_slot = uint32_t(w);
  m_folder = kRootId;
  ShowFolder();
  return 0;
}

LRESULT CPicListCtrl::OnSlotAdded(WPARAM, LPARAM) {
  if (IsClassified()) AppendNewItems();
  return 0;
}

LRESULT CPicListCtrl::OnFilesAdded(WPARAM, LPARAM) {
  if (m_mode == kModeByPath && m_slot == kFindFileSlot) AppendNewItems();
  return 0;
}

LRESULT CPicListCtrl::OnItemRenamed(WPARAM, LPARAM) {
  // A name shows in the caption of any tile (a view's file node shares its file's name), so the
  // whole screenful is drawn again.
  Invalidate(TRUE);
  return 0;
}

void CPicListCtrl::InvalidateTile(int index) {
  RECT b{};
  if (!GetItemRect(index, &b, LVIR_BOUNDS)) return;
  // The picture box reaches one pixel past the bounds on the right and the caption frame down
  // to their bottom: the tile is redrawn whole.
  b.right += 2;
  InvalidateRect(&b, TRUE);
}

LRESULT CPicListCtrl::OnGetPreview(WPARAM w, LPARAM l) {
  if (uint32_t(w) != m_slot) return 0;
  const int end = std::min<int64_t>(int64_t(m_firstVisible) + m_visibleCount, int64_t(m_ids.size()));
  for (int i = std::max(0, m_firstVisible); i < end; ++i) {
    if (m_ids[size_t(i)] == uint32_t(l)) InvalidateTile(i);
  }
  return 0;
}

void CPicListCtrl::OnNMCustomdraw(NMHDR* nm, LRESULT* result) {
  auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(nm);
  *result = CDRF_SKIPDEFAULT;
  if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) {
    m_paintLogged = false;
    // The list's own first shown tile. The tile rule below alone can miss: when the top row
    // shows only the last pixels of its cells no tile passes it, the old index would stay,
    // and ready thumbnails of the bottom row would then never be repainted.
    m_firstVisible = GetTopIndex();
    *result = CDRF_NOTIFYITEMDRAW;
    return;
  }
  if (cd->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return;
  const int index = int(cd->nmcd.dwItemSpec);
  RECT rc{};
  if (!GetItemRect(index, &rc, LVIR_BOUNDS)) return;
  if (rc.left <= 10 && rc.top + 3 <= 10 && rc.bottom > 0) m_firstVisible = index;
  if (!m_list || index < 0 || size_t(index) >= m_ids.size()) return;
  // The record and its thumbnail buffer stay valid while the guard is held: a reset of the
  // list, and the clearing of the preview cache, wait for it.
  VolumeListReadGuard guard(*m_list);
  const uint32_t id = m_ids[size_t(index)];
  FileRecord* rec = GetItemRecord(*m_list, m_slot, id);
  if (rec) DrawIconItem(id, *rec, cd->nmcd.hdc, rc);
}

void CPicListCtrl::DrawIconItem(uint32_t id, FileRecord& rec, HDC hdc, const RECT& bounds) {
  const PicTileLayout p = PicTileParts(bounds);
  CPen pen(PS_SOLID, 1, kTileFrame);
  HGDIOBJ oldPen = SelectObject(hdc, pen.m_hObject);
  Rectangle(hdc, p.box.left, p.box.top, p.box.right, p.box.bottom);
  Rectangle(hdc, p.caption.left, p.caption.top, p.caption.right, p.caption.bottom);
  SelectObject(hdc, oldPen);

  const bool folder = (rec.flags & kRecDirectory) != 0;
  if (m_preview && m_preview->RequestThumbnail(m_slot, id, rec)) {
    const uint64_t handle = rec.previewHandle;
    const auto* blob = reinterpret_cast<const uint8_t*>(uintptr_t(handle));
    PreviewBlobView view;
    if (!blob || !ReadPreviewBlob(blob, GetMemSize(blob), view)) {
      if (!m_paintLogged) {
        m_paintLogged = true;
        ++m_badBlobLogs;
        LogSrcLine(u"DrawIconItem Pointer error ********************************", u"ckctrl/piclistctrl", __LINE__);
      }
    } else if (view.code == kPreviewJpegCode) {
      ImageCodec img;
      if (!view.head.empty() && img.DecodeFromMemory(view.head.data(), uint32_t(view.head.size()), kImageJpeg)) {
        const int w = int(img.GetWidth()), h = int(img.GetHeight());
        const POINT at = CentreInBox(p.box, w, h);
        DrawImage(hdc, img, at.x, at.y, w, h);
      }
    } else if (view.code == kPreviewTextCode) {
      RECT tr{p.box.left + 2, p.box.top + 2, p.box.right - 2, p.box.bottom - 2};
      DrawTextW(hdc, view.text.GetString(), view.text.GetLength(), &tr, DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    }
  } else if (folder) {
    CSysIcon& icons = CSysIcon::Get();
    icons.DrawIndex(hdc, p.box, icons.m_folderIcon);
  } else {
    const CString name = RecordNameText(&rec);
    CSysIcon::Get().DrawIcon(hdc, p.box, name.GetString());
  }

  const uint32_t state = GetCheckState(rec);
  if (state < 3 && !m_checkImages[state].m_bEmpty)
    BitBlt(hdc, p.check.x, p.check.y, 16, 16, m_checkImages[state].m_hDC, 0, 0, SRCCOPY);

  const CString name = RecordNameText(&rec);
  CString caption = name;
  if (folder) caption = FormatCString(u"%s  (%u %s)", name.GetString(), uint32_t(rec.filesBelow), Lang(u"Files").GetString());
  RECT tr = p.text;
  SetBkMode(hdc, TRANSPARENT);
  DrawTextW(hdc, caption.GetString(), caption.GetLength(), &tr,
            DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
}

void CPicListCtrl::OnLButtonDown(UINT, CPoint pt) {
  const int64_t last = int64_t(m_firstVisible) + m_visibleCount;
  for (int64_t i = std::max(0, m_firstVisible); i <= last && i < int64_t(m_ids.size()); ++i) {
    RECT b{};
    if (!GetItemRect(int(i), &b, LVIR_BOUNDS) || !PtInRect(&b, pt)) continue;
    const PicTileLayout p = PicTileParts(b);
    if (PtInRect(&p.checkHit, pt) && m_list) {
      ToggleItemCheck(*m_list, m_hWnd, m_slot, m_ids[size_t(i)]);
      InvalidateTile(int(i));
    }
    break;
  }
  Default();
}

void CPicListCtrl::OnSize(UINT, int, int) {
  Default();
  RECT rc{};
  GetClientRect(&rc);
  m_visibleCount = (rc.bottom / kPicTileHeight + 2) * (rc.right / kPicTileWidth);
}

LRESULT CPicListCtrl::OnVScroll(WPARAM code, LPARAM) {
  if (LOWORD(code) == SB_ENDSCROLL) Invalidate(TRUE);
  return Default();
}

BOOL CPicListCtrl::OnMouseWheel(UINT, short, CPoint) {
  Invalidate(TRUE);
  return BOOL(Default());
}

LRESULT CPicListCtrl::OnNcPaint(WPARAM, LPARAM) {
  Default();
  CWindowDC dc(this);
  RECT w{};
  GetWindowRect(&w);
  RECT frame{0, 0, w.right - w.left, w.bottom - w.top};
  CBrush brush(kBorder);
  dc.FrameRect(&frame, &brush);
  return 0;
}

void CPicListCtrl::OnNMDblclk(NMHDR*, LRESULT* result) {
  *result = 0;
  const int i = GetNextItem(-1, LVNI_SELECTED);
  if (!m_list || i < 0 || size_t(i) >= m_ids.size()) return;
  const uint32_t id = m_ids[size_t(i)];
  bool folder = false;
  {
    VolumeListReadGuard guard(*m_list);
    const FileRecord* r = GetItemRecord(*m_list, m_slot, id);
    if (!r) return;
    folder = (r->flags & kRecDirectory) != 0;
  }
  if (folder) RequestOpenFolder(*m_list, m_hWnd, m_slot, id);
  else PreviewItem(m_slot, id);
}

std::vector<UINT> CPicListCtrl::ContextMenuCommands(bool folder) {
  std::vector<UINT> c{kPicCmdShowDetail, kPicCmdRecover, kPicCmdOpen};
  if (!folder) c.push_back(kPicCmdPreview);
  c.push_back(kPicCmdRename);
  return c;
}

void CPicListCtrl::OnNMRclick(NMHDR* nm, LRESULT* result) {
  *result = 0;
  const auto* act = reinterpret_cast<const NMITEMACTIVATE*>(nm);
  LVHITTESTINFO hit{};
  hit.pt = act->ptAction;
  const int i = HitTest(&hit);
  m_menuItem = (i >= 0 && size_t(i) < m_ids.size()) ? int(m_ids[size_t(i)]) : -1;
  bool folder = false;
  if (m_list && m_menuItem >= 0) {
    VolumeListReadGuard guard(*m_list);
    const FileRecord* r = GetItemRecord(*m_list, m_slot, uint32_t(m_menuItem));
    folder = r && (r->flags & kRecDirectory);
  }
  POINT screen{};
  GetCursorPos(&screen);
  BuildContextMenu(folder, screen);
}

void CPicListCtrl::BuildContextMenu(bool folder, POINT screen) {
  static const struct {
    UINT command;
    const char16_t* key;
    UINT bitmap;
  } kEntries[] = {
      {kPicCmdShowDetail, u"ShowDetail", 352}, {kPicCmdRecover, u"Recover", 351}, {kPicCmdOpen, u"Open", 388},
      {kPicCmdPreview, u"Preview", 354},       {kPicCmdRename, u"Rename", 355},
  };
  CMenu menu;
  if (!menu.CreatePopupMenu()) return;
  for (UINT command : ContextMenuCommands(folder)) {
    for (const auto& e : kEntries) {
      if (e.command == command) AppendMenuItem(menu, e.command, Lang(e.key), e.bitmap);
    }
  }
  SetForegroundWindow();
  menu.TrackPopupMenu(TPM_LEFTALIGN, screen.x, screen.y, this);
  menu.DestroyMenu();
}

void CPicListCtrl::OnShowDetails() {
  // The results view switches every pane to its details list, as its own button does.
  CWnd* pane = GetParent();
  CWnd* view = pane ? pane->GetParent() : nullptr;
  if (view) view->SendMessage(WM_COMMAND, MAKEWPARAM(kShowDetailsButton, BN_CLICKED), 0);
}

void CPicListCtrl::OnRecover() {
  if (!m_list) return;
  if (m_menuItem < 0 || !GetItemRecord(*m_list, m_slot, uint32_t(m_menuItem))) {
    ShowMessageBox(Lang(u"RightClickToRecover"));
    return;
  }
  RecoverOneItem(*m_list, m_slot, uint32_t(m_menuItem), this);
}

void CPicListCtrl::OnOpen() {
  if (!m_list) return;
  bool folder = false;
  {
    VolumeListReadGuard guard(*m_list);
    const FileRecord* r = m_menuItem < 0 ? nullptr : GetItemRecord(*m_list, m_slot, uint32_t(m_menuItem));
    if (!r) {
      ShowMessageBox(Lang(u"RightClickToOpen"));
      return;
    }
    folder = (r->flags & kRecDirectory) != 0;
  }
  if (folder) {
    RequestOpenFolder(*m_list, m_hWnd, m_slot, uint32_t(m_menuItem));
  } else if (!OpenItemViaTempCopy(*m_list, m_slot, uint32_t(m_menuItem), this)) {
    ShowMessageBox(Lang(u"OpenFileFailed"));
  }
}

void CPicListCtrl::OnPreview() { PreviewItem(m_slot, uint32_t(m_menuItem)); }

void CPicListCtrl::OnRename() {
  if (m_menuItem == -1 || !m_list || !GetItemRecord(*m_list, m_slot, uint32_t(m_menuItem))) {
    ShowMessageBox(Lang(u"RightClickToRename"));
    return;
  }
  CString newName;
  if (!AskNewName(this, newName)) return;
  const int ok = RenameItem(*m_list, m_slot, uint32_t(m_menuItem), newName);
  ShowMessageBox(Lang(ok ? u"RenameOK" : u"RenameFailed"));
}
