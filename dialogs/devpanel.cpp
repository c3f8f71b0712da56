// The scan-target panel's elements: construction, layout, mouse handling and drawing, and its
// host window. The choosers and the lookup of the selection are in scantargets.cpp.
#include "dialogs/devpanel.h"

#include <algorithm>
#include <atomic>

#include "app/settings.h"
#include "base/sizetext.h"
#include "platform/afx/afxmsg.h"
#include "skin/skinimages.h"
#include "skin/wndhelpers.h"

namespace {

constexpr COLORREF kFrameColor = RGB(0xCA, 0xCC, 0xCF);  // 0xCFCCCA as stored
constexpr COLORREF kAreaUseColor = RGB(0xDA, 0xDA, 0xDA);
constexpr COLORREF kUseKey = RGB(0, 255, 0);

// Ids come from one counter for the whole program and are never reused, so an id kept from
// before a rebuild names nothing afterwards.
std::atomic<uint32_t> g_nextId{1};
uint32_t NextId() { return g_nextId.fetch_add(1); }

void LoadBitmapDc(CBitmapDC& dc, const char16_t* name) {
  if (const SkinImageData* img = FindSkinImage(name)) dc.LoadFromImage(img);
}

void MakeArial(CFont& font, int height) {
  font.CreateFont(height, 0, 0, 0, 400, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"Arial");
}

void DrawAlpha(CDC* dc, CBitmap& image, int x, int y) {
  BITMAP bm{};
  if (!image.m_hObject || !image.GetBitmap(&bm)) return;
  CDC mem;
  if (!mem.CreateCompatibleDC(dc)) return;
  CBitmap* old = mem.SelectObject(&image);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  dc->AlphaBlend(x, y, bm.bmWidth, bm.bmHeight, &mem, 0, 0, bm.bmWidth, bm.bmHeight, bf);
  mem.SelectObject(old);
}

void FrameLine(CDC* dc, int x0, int y0, int x1, int y1) {
  CPen pen(PS_SOLID, 1, kFrameColor);
  CPen* old = dc->SelectObject(&pen);
  dc->MoveTo(x0, y0);
  dc->LineTo(x1, y1);
  dc->SelectObject(old);
}

const char16_t* HeaderCaptionKey(uint32_t tag) {
  switch (tag) {
    case kTagDrives: return u"NormalPart";
    case kTagAreas:
    case kTagAreasAlt: return u"OtherPart";
    case kTagDisks: return u"Disk";
    default: return u"SelLocale";
  }
}

}  // namespace

// ---- CCtrlBase ----

CCtrlBase::CCtrlBase() : m_id(NextId()) {}
CCtrlBase::~CCtrlBase() = default;

void CCtrlBase::Attach(CWnd* owner) {
  m_id = NextId();
  m_owner = owner;
  m_dirty = 1;
}

SIZE CCtrlBase::GetSize() const {
  if (!m_visible) return SIZE{0, 0};
  return SIZE{m_width, m_height};
}

bool CCtrlBase::Inside(POINT pt) const {
  return pt.x >= m_rect.left && pt.x < m_rect.right && pt.y >= m_rect.top && pt.y < m_rect.bottom;
}

CCtrlBase* CCtrlBase::AddChild(std::unique_ptr<CCtrlBase> child) {
  child->m_parent = this;
  m_children.push_back(std::move(child));
  return m_children.back().get();
}

void CCtrlBase::DeleteChildren() { m_children.clear(); }

void CCtrlBase::Notify(UINT code, uint32_t id, uintptr_t param) {
  if (m_parent) m_parent->Notify(code, id, param);
}

void CCtrlBase::InvalidateArea(const RECT& rc) {
  if (m_parent) m_parent->InvalidateArea(rc);
}

void CCtrlBase::InvalidateItem(uint32_t id) {
  if (const CCtrlBase* e = FindById(id)) InvalidateArea(e->m_rect);
}

void CCtrlBase::SelectItem(uint32_t id) {
  if (m_id != id && m_selected) {
    m_selected = 0;
    InvalidateArea(m_rect);
  }
  for (auto& c : m_children) c->SelectItem(id);
}

const CCtrlBase* CCtrlBase::FindById(uint32_t id) const {
  if (m_id == id) return this;
  for (const auto& c : m_children) {
    if (const CCtrlBase* e = c->FindById(id)) return e;
  }
  return nullptr;
}

uint32_t CCtrlBase::FindTag(uint32_t id) const {
  const CCtrlBase* e = FindById(id);
  return e ? e->m_tag : 0;
}

int CCtrlBase::GetItemName(uint32_t id, CString& name) const {
  const CCtrlBase* e = FindById(id);
  if (!e) return 0;
  name = e->m_name;
  return 1;
}

int CCtrlBase::SetNameByTag(uint32_t tag, const CString& name) {
  if (m_tag == tag) {
    m_name = name;
    return 1;
  }
  for (auto& c : m_children) {
    if (c->SetNameByTag(tag, name)) return 1;
  }
  return 0;
}

void CCtrlBase::SetState(uint32_t state) {
  if (m_state == state) return;
  m_state = state;
  InvalidateArea(m_rect);
}

void CCtrlBase::OnMouse(UINT msg, POINT pt) { ItemMouse(msg, pt, true); }

void CCtrlBase::ItemMouse(UINT msg, POINT pt, bool reportClicks) {
  if (!m_visible) return;
  const bool inside = Inside(pt);
  switch (msg) {
    case WM_MOUSEMOVE:
      if (inside) {
        if (m_state == 0) SetState(1);
      } else {
        SetState(0);
      }
      break;
    case WM_LBUTTONDOWN:
      if (m_state == 1) SetState(2);
      break;
    case WM_LBUTTONUP:
      // The point is not tested again: leaving the item on the way dropped the state to 0.
      if (m_state == 2) {
        SetState(1);
        if (reportClicks) {
          m_selected = 1;
          Notify(DEVPANEL_CLICK, m_id, 0);
        }
      }
      break;
    case WM_LBUTTONDBLCLK:
      if (inside && reportClicks) Notify(DEVPANEL_DBLCLK, m_id, 0);
      break;
    default:
      break;
  }
}

// ---- Items ----

CCtrlItemBase::CCtrlItemBase() {
  MakeArial(m_titleFont, 15);
  MakeArial(m_detailFont, 14);
  LoadBitmapDc(m_normal, u"Dev/DevNormal.bmp");
  LoadBitmapDc(m_over, u"Dev/DevOver.bmp");
  LoadBitmapDc(m_sel, u"Dev/DevSel.bmp");
}

void CCtrlItemBase::DrawBackground(CDC* dc) {
  CBitmapDC* pic = (m_state == 2 || m_selected) ? &m_sel : m_state == 1 ? &m_over : &m_normal;
  if (pic->m_bEmpty) {
    dc->FillSolidRect(&m_rect, (m_state == 2 || m_selected) ? RGB(0xD6, 0xE5, 0xF7)
                               : m_state == 1               ? RGB(0xEE, 0xF4, 0xFC)
                                                            : RGB(0xFF, 0xFF, 0xFF));
    return;
  }
  dc->BitBlt(m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top, pic, 0, 0, SRCCOPY);
}

void CCtrlItemBase::DrawItemText(CDC* dc, CFont& font, const CString& text, RECT rc) {
  ScopedSelect sel(dc->m_hDC, font.m_hObject);
  dc->SetBkMode(TRANSPARENT);
  dc->DrawText(text, &rc, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
}

CCtrlPartInfo::CCtrlPartInfo() {
  m_tag = kTagDrives;
  LoadBitmapDc(m_use, u"Dev/PartUse.bmp");
  LoadBitmapDc(m_size, u"Dev/PartSize.bmp");
  m_havePartIcon = LoadSkinImage(m_partIcon, u"Dev/PartIco.png");
  m_haveSpaceIcon = LoadSkinImage(m_spaceIcon, u"Dev/PartSpace.png");
}

int CCtrlPartInfo::UsedBarRight() const {
  const int left = m_rect.left + 58;
  if (m_sectorCount == 0 || m_freeSectors >= m_sectorCount) return left;
  // The product stays in 64 bits: the count is at most 2^48 sectors, times 185.
  const uint64_t used = m_sectorCount - m_freeSectors;
  return left + int(used * 185 / m_sectorCount);
}

void CCtrlPartInfo::Draw(CDC* dc) {
  DrawBackground(dc);
  DrawItemText(dc, m_titleFont, m_text, RECT{m_rect.left + 56, m_rect.top, m_rect.right, m_rect.top + 21});
  CString detail;
  if (m_lettered || m_bootSignature) {
    detail = FormatCString(GetLangStr(u"PartCapacityInfo").View(), FormatSectorSize(m_freeSectors),
                           FormatSectorSize(m_sectorCount));
  } else {
    detail = FormatCString(GetLangStr(u"LostPart").View(), FormatSectorSize(m_firstLba), FormatSectorSize(m_sectorCount));
  }
  DrawItemText(dc, m_detailFont, detail, RECT{m_rect.left + 56, m_rect.top + 36, m_rect.right, m_rect.bottom});
  if (m_freeSectors < m_sectorCount) {
    if (!m_size.m_bEmpty) {
      dc->BitBlt(m_rect.left + 56, m_rect.top + 21, 189, 15, &m_size, 0, 0, SRCCOPY);
    } else {
      dc->FillSolidRect(m_rect.left + 56, m_rect.top + 21, 189, 15, RGB(0xF0, 0xF0, 0xF0));
    }
    const RECT used{m_rect.left + 58, m_rect.top + 23, UsedBarRight(), m_rect.top + 34};
    if (used.right > used.left) {
      if ((m_lettered || m_bootSignature) && !m_use.m_bEmpty) {
        dc->TransparentBlt(used.left, used.top, used.right - used.left, used.bottom - used.top, &m_use, 0, 0,
                           m_use.Width(), m_use.Height(), kUseKey);
      } else {
        dc->FillSolidRect(&used, kAreaUseColor);
      }
    }
  }
  if (m_lettered ? m_havePartIcon : m_haveSpaceIcon) {
    DrawAlpha(dc, m_lettered ? m_partIcon : m_spaceIcon, m_rect.left + 4, m_rect.top + 9);
  }
}

CCtrlDiskInfo::CCtrlDiskInfo() {
  m_tag = kTagDisks;
  m_haveIcon = LoadSkinImage(m_icon, u"Dev/DiskIco.png");
}

CString CCtrlDiskInfo::DetailText() const {
  const char16_t last = m_name.IsEmpty() ? u'0' : m_name[m_name.GetLength() - 1];
  return FormatCString(u"%s %c     %s", GetLangStr(u"Disk"), last, FormatSectorSize(m_deviceSectors));
}

void CCtrlDiskInfo::Draw(CDC* dc) {
  DrawBackground(dc);
  DrawItemText(dc, m_titleFont, m_model, RECT{m_rect.left + 56, m_rect.top + 12, m_rect.right, m_rect.top + 33});
  DrawItemText(dc, m_detailFont, DetailText(), RECT{m_rect.left + 56, m_rect.top + 31, m_rect.right, m_rect.bottom - 7});
  if (m_haveIcon) DrawAlpha(dc, m_icon, m_rect.left + 4, m_rect.top + 9);
}

CCtrlBtnInfo::CCtrlBtnInfo(uint32_t tag) {
  m_tag = tag;
  const char16_t* icon = u"Dev/SetScanDesktopIco.png";
  switch (tag) {
    case kTagSavedScan: icon = u"Dev/LoadScanSaveIco.png"; break;
    case kTagFolder: icon = u"Dev/SetScanLocalIco.png"; break;
    case kTagImage: icon = u"Dev/LoadImgIco.png"; break;
    case kTagRecycleBin: icon = u"Dev/SetScanRecycleIco.png"; break;
    default: break;
  }
  m_haveIcon = LoadSkinImage(m_icon, icon);
}

CString CCtrlBtnInfo::DetailText() const {
  if (m_tag == kTagRecycleBin || m_tag == kTagDesktop || m_name.IsEmpty()) return CString();
  int cut = -1;
  for (int i = 0; i < m_name.GetLength(); ++i) {
    if (m_name[i] == u'\\' || m_name[i] == u'/') cut = i;
  }
  return cut < 0 ? m_name : m_name.Mid(cut + 1);
}

void CCtrlBtnInfo::Draw(CDC* dc) {
  DrawBackground(dc);
  const char16_t* key = u"Desktop";
  switch (m_tag) {
    case kTagSavedScan: key = u"LoadScanSave"; break;
    case kTagFolder: key = u"SetScanLocal"; break;
    case kTagImage: key = u"LoadDevImg"; break;
    case kTagRecycleBin: key = u"RecycleBin"; break;
    default: break;
  }
  const CString detail = DetailText();
  const int titleBottom = detail.IsEmpty() ? m_rect.top + 43 : m_rect.top + 33;
  DrawItemText(dc, m_titleFont, GetLangStr(key), RECT{m_rect.left + 56, m_rect.top + 12, m_rect.right, titleBottom});
  if (!detail.IsEmpty()) {
    DrawItemText(dc, m_detailFont, detail, RECT{m_rect.left + 56, m_rect.top + 31, m_rect.right, m_rect.bottom - 7});
  }
  if (m_haveIcon) DrawAlpha(dc, m_icon, m_rect.left + 4, m_rect.top + 8);
}

// ---- Header ----

CCtrlShowDevBtn::CCtrlShowDevBtn() {
  MakeArial(m_font, 16);
  LoadBitmapDc(m_arrows, u"Dev/ShowDev.bmp");
  LoadBitmapDc(m_left, u"Dev/ShowDevBtnLeft.bmp");
  LoadBitmapDc(m_right, u"Dev/ShowDevBtnRight.bmp");
}

void CCtrlShowDevBtn::Measure(int width, int) {
  m_width = width;
  m_height = kDevHeaderHeight;
}

int CCtrlShowDevBtn::ArrowCell() const {
  const bool active = m_state == 1 || m_state == 2;
  if (m_expanded) return active ? 10 : 0;
  return active ? 30 : 20;
}

void CCtrlShowDevBtn::OnMouse(UINT msg, POINT pt) {
  if (!m_visible) return;
  if (msg == WM_LBUTTONUP) {
    if (m_state == 2) {
      SetState(1);
      m_expanded = m_expanded ? 0 : 1;
      Notify(DEVPANEL_TOGGLE, m_id, 0);
    }
    return;
  }
  if (msg == WM_LBUTTONDBLCLK) return;
  ItemMouse(msg, pt, false);
}

void CCtrlShowDevBtn::Draw(CDC* dc) {
  const RECT& r = m_rect;
  if (m_state == 1 || m_state == 2) {
    if (!m_left.m_bEmpty) dc->BitBlt(r.left, r.top, 91, 27, &m_left, 0, 0, SRCCOPY);
    if (!m_right.m_bEmpty) dc->BitBlt(r.right - 31, r.top, 31, 27, &m_right, 0, 0, SRCCOPY);
    FrameLine(dc, r.left + 10, r.top, r.right - 10, r.top);
    FrameLine(dc, r.left + 10, r.bottom - 1, r.right - 10, r.bottom - 1);
  }
  if (!m_arrows.m_bEmpty) dc->BitBlt(r.left + 10, r.top + 8, 10, 10, &m_arrows, ArrowCell(), 0, SRCCOPY);
  const CString caption = GetLangStr(HeaderCaptionKey(m_tag));
  ScopedSelect sel(dc->m_hDC, m_font.m_hObject);
  dc->SetBkMode(TRANSPARENT);
  const int right = r.left + (GetBaseCfg(u"Language") == CString(u"EN") ? 220 : 120);
  RECT tr{r.left + 30, r.top, right, r.bottom};
  dc->DrawText(caption, &tr, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX);
  SIZE ext{};
  GetTextExtentPoint32W(dc->m_hDC, caption.GetString(), caption.GetLength(), &ext);
  const int middle = r.top + (r.bottom - r.top) / 2;
  FrameLine(dc, r.left + ext.cx + 40, middle, r.right - 2, middle);
}

// ---- Group ----

CCtrlGroup::CCtrlGroup() { AddChild(std::make_unique<CCtrlShowDevBtn>()); }

CCtrlShowDevBtn* CCtrlGroup::Header() const { return static_cast<CCtrlShowDevBtn*>(m_children.front().get()); }

void CCtrlGroup::SetTag(uint32_t tag) {
  m_tag = tag;
  Header()->SetTag(tag);
  if (tag != kTagButtons) return;
  // Folder and desktop targets make no sense for the operations that need a whole partition.
  const uint32_t op = ScanTarget().operation;
  const bool wholeOnly = op == 3 || op == 6;
  for (uint32_t t : {uint32_t(kTagDesktop), uint32_t(kTagRecycleBin), uint32_t(kTagFolder), uint32_t(kTagSavedScan),
                     uint32_t(kTagImage)}) {
    if (wholeOnly && (t == kTagDesktop || t == kTagFolder)) continue;
    AddChild(std::make_unique<CCtrlBtnInfo>(t));
  }
}

int CCtrlGroup::Columns(int width) { return std::max(1, (width - kDevItemIndent) / kDevItemWidth); }

void CCtrlGroup::Measure(int width, int) {
  m_width = width;
  const size_t n = ItemCount();
  if (!Header()->m_expanded || n == 0) {
    m_height = kDevGroupEmptyHeight;
    return;
  }
  const size_t cols = size_t(Columns(width));
  const size_t rows = (n + cols - 1) / cols;
  m_height = kDevGroupEmptyHeight + kDevItemHeight * int(rows);
}

void CCtrlGroup::SetRect(const RECT& rc) {
  m_rect = rc;
  Header()->SetRect(RECT{rc.left, rc.top, rc.right, rc.top + kDevHeaderHeight});
  const int cols = Columns(rc.right - rc.left);
  for (size_t k = 1; k < m_children.size(); ++k) {
    const int i = int(k - 1);
    const int x = rc.left + kDevItemIndent + (i % cols) * kDevItemWidth;
    const int y = rc.top + kDevGroupEmptyHeight + (i / cols) * kDevItemHeight;
    m_children[k]->SetRect(RECT{x, y, x + kDevItemWidth, y + kDevItemHeight});
  }
}

void CCtrlGroup::Draw(CDC* dc) {
  if (!m_visible || ItemCount() == 0) return;
  Header()->Draw(dc);
  if (!Header()->m_expanded) return;
  for (size_t k = 1; k < m_children.size(); ++k) m_children[k]->Draw(dc);
}

void CCtrlGroup::OnMouse(UINT msg, POINT pt) {
  if (!m_visible || ItemCount() == 0) return;
  // A chooser started by a click is posted, so nothing below frees the elements of this loop.
  Header()->OnMouse(msg, pt);
  if (!Header()->m_expanded) return;
  for (size_t k = 1; k < m_children.size(); ++k) m_children[k]->OnMouse(msg, pt);
}

void CCtrlGroup::AddVolume(const VolumeContext& e) {
  if (e.mark == 0) return;
  if (e.targetKind == kTargetDisk) {
    auto item = std::make_unique<CCtrlDiskInfo>();
    item->m_name = e.devicePath;
    item->m_model = e.name;
    item->m_deviceSectors = e.deviceSectors;
    AddChild(std::move(item));
    return;
  }
  auto item = std::make_unique<CCtrlPartInfo>();
  item->m_text = e.name;
  item->m_firstLba = e.firstLba;
  item->m_sectorCount = e.sectorCount;
  item->m_freeSectors = e.freeSectors;
  if (e.targetKind == kTargetDrive) {
    item->m_name = e.volumePath;
    item->m_lettered = 1;
  } else {
    const bool boot = e.targetKind == kTargetPartition;
    item->m_name = e.devicePath + FormatCString(boot ? u">%llu" : u"<%llu", (unsigned long long)e.firstLba);
    item->m_bootSignature = boot ? 1 : 0;
  }
  AddChild(std::move(item));
}

// ---- Root ----

CCtrlGroup* CCtrlDev::Group(uint32_t tag) const {
  for (const auto& c : m_children) {
    if (c->m_tag == tag) return static_cast<CCtrlGroup*>(c.get());
  }
  return nullptr;
}

void CCtrlDev::Build(const std::vector<VolumeContext>& targets) {
  if (m_chooserDepth > 0) {
    // The chooser's elements are on the call stack: the rebuild waits until it returns.
    if (&targets != &m_pendingTargets) m_pendingTargets = targets;
    m_buildPending = true;
    return;
  }
  if (&targets != &m_targets) m_targets = targets;
  DeleteChildren();
  const bool noButtons = GetBaseCfg(u"Version") == CString(u"VuzuDazuv");
  for (uint32_t tag : {uint32_t(kTagDrives), uint32_t(kTagAreas), uint32_t(kTagDisks), uint32_t(kTagButtons)}) {
    if (tag == kTagButtons && noButtons) continue;
    auto group = std::make_unique<CCtrlGroup>();
    group->SetTag(tag);
    AddChild(std::move(group));
  }
  for (const VolumeContext& e : m_targets) {
    uint32_t tag = 0;
    switch (e.targetKind) {
      case kTargetDrive: tag = kTagDrives; break;
      case kTargetArea:
      case kTargetPartition: tag = kTagAreas; break;
      case kTargetDisk: tag = kTagDisks; break;
      default: break;
    }
    if (CCtrlGroup* g = tag ? Group(tag) : nullptr) g->AddVolume(e);
  }
  const int w = m_rect.right - m_rect.left;
  if (w >= 1 && w <= 999998) SetRect(m_rect);
  if (m_owner && m_owner->m_hWnd) m_owner->Invalidate(TRUE);
}

void CCtrlDev::SetRect(const RECT& rc) {
  m_rect = rc;
  const RECT inner{rc.left + 3, rc.top + 3, rc.right - 3, rc.bottom - 3};
  int top = inner.top;
  for (auto& g : m_children) {
    g->Measure(inner.right - inner.left, inner.bottom - inner.top);
    const SIZE s = g->GetSize();
    g->SetRect(RECT{inner.left, top, inner.left + s.cx, top + s.cy});
    top += s.cy;
  }
}

void CCtrlDev::Draw(CDC* dc) {
  if (!m_visible) return;
  for (auto& g : m_children) g->Draw(dc);
}

void CCtrlDev::OnMouse(UINT msg, POINT pt) {
  if (!m_visible) return;
  for (auto& g : m_children) g->OnMouse(msg, pt);
  // Without a window to post to, a chooser asked for by this message runs now that no element
  // is on the call stack any more.
  if (const uint32_t id = m_pendingChooser) {
    m_pendingChooser = 0;
    RunChooser(id);
  }
}

void CCtrlDev::InvalidateArea(const RECT& rc) {
  if (m_owner && m_owner->m_hWnd) m_owner->InvalidateRect(&rc, TRUE);
}

void CCtrlDev::Notify(UINT code, uint32_t id, uintptr_t) {
  switch (code) {
    case DEVPANEL_CLICK:
      OnSelect(id);
      break;
    case DEVPANEL_DBLCLK:
      OnSelect(id);
      if (m_owner && m_owner->m_hWnd) m_owner->PostMessage(WM_DEVPANEL_NOTIFY, DEVPANEL_DBLCLK, LPARAM(m_selectedId));
      break;
    case DEVPANEL_TOGGLE:
      SetRect(m_rect);
      if (m_owner && m_owner->m_hWnd) m_owner->Invalidate(TRUE);
      break;
    default:
      break;
  }
}

void CCtrlDev::OnSelect(uint32_t id) {
  if (m_selectedId != id) {
    m_selectedId = id;
    SelectItem(id);
  }
  if (m_selectedId == 0) return;
  const uint32_t tag = FindTag(m_selectedId);
  if (tag < kTagSavedScan || tag > kTagDesktop) return;
  // The chooser runs once this click has been handled: posted to the host window, or, for a
  // tree without one, at the end of the root's mouse dispatch.
  if (m_owner && m_owner->m_hWnd) m_owner->PostMessage(WM_DEVPANEL_RUNCHOOSER, WPARAM(m_selectedId), 0);
  else m_pendingChooser = m_selectedId;
}

void CCtrlDev::RunChooser(uint32_t id) {
  // A rebuild in between removed the element: nothing to choose for.
  const uint32_t tag = FindTag(id);
  if (tag < kTagSavedScan || tag > kTagDesktop) return;
  ++m_chooserDepth;
  int chosen = 0;
  switch (tag) {
    case kTagSavedScan: chosen = ChooseSavedScan(); break;
    case kTagFolder: chosen = ChooseFolder(); break;
    case kTagImage: chosen = ChooseDiskImage(); break;
    case kTagRecycleBin: ChooseRecycleBin(); break;
    case kTagDesktop: ChooseDesktop(); break;
    default: break;
  }
  --m_chooserDepth;
  if (chosen && tag <= kTagImage && m_owner && m_owner->m_hWnd) {
    m_owner->PostMessage(WM_DEVPANEL_NOTIFY, DEVPANEL_CHOSEN, LPARAM(m_selectedId));
  }
  if (m_chooserDepth == 0 && m_buildPending) {
    m_buildPending = false;
    std::vector<VolumeContext> pending = std::move(m_pendingTargets);
    m_pendingTargets.clear();
    Build(pending);
  }
}

// ---- Host window ----

BEGIN_MESSAGE_MAP(CDevWnd, CWnd)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_LBUTTONDBLCLK()
ON_WM_SIZE()
ON_MESSAGE(WM_DEVPANEL_NOTIFY, OnPanelNotify)
ON_MESSAGE(WM_DEVPANEL_RUNCHOOSER, OnRunChooser)
END_MESSAGE_MAP()

CDevWnd::CDevWnd() = default;

const char16_t* DevPanelHostClass() {
  static const char16_t* name = AfxRegisterWndClass(CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW));
  return name;
}

void CDevWnd::Relayout() {
  if (!m_hWnd) return;
  RECT rc{};
  GetClientRect(&rc);
  if (rc.right - rc.left < 400 || rc.bottom - rc.top < 300) return;
  m_root.SetRect(rc);
  Invalidate(TRUE);
}

void CDevWnd::OnPaint() {
  CPaintDC pdc(this);
  RECT rc{};
  GetClientRect(&rc);
  if (rc.right <= 0 || rc.bottom <= 0) return;
  CBitmapDC mem;
  if (!mem.Create(rc.right, rc.bottom)) return;
  mem.FillSolidRect(&rc, RGB(255, 255, 255));
  {
    CPen pen(PS_SOLID, 1, kFrameColor);
    CPen* oldPen = mem.SelectObject(&pen);
    CGdiObject* oldBrush = mem.SelectStockObject(NULL_BRUSH);
    mem.Rectangle(&rc);
    mem.SelectObject(oldPen);
    if (oldBrush) ::SelectObject(mem.m_hDC, oldBrush->m_hObject);
  }
  m_root.Draw(&mem);
  pdc.BitBlt(0, 0, rc.right, rc.bottom, &mem, 0, 0, SRCCOPY);
}

void CDevWnd::OnMouseMove(UINT, CPoint pt) {
  m_root.OnMouse(WM_MOUSEMOVE, pt);
  Default();
}

void CDevWnd::OnLButtonDown(UINT, CPoint pt) {
  m_root.OnMouse(WM_LBUTTONDOWN, pt);
  Default();
}

void CDevWnd::OnLButtonUp(UINT, CPoint pt) {
  m_root.OnMouse(WM_LBUTTONUP, pt);
  Default();
}

void CDevWnd::OnLButtonDblClk(UINT, CPoint pt) {
  m_root.OnMouse(WM_LBUTTONDBLCLK, pt);
  Default();
}

void CDevWnd::OnSize(UINT, int, int) {
  Default();
  Relayout();
}

LRESULT CDevWnd::OnPanelNotify(WPARAM wParam, LPARAM) {
  if (!m_panelOwner) return 0;
  if (wParam == DEVPANEL_DBLCLK) m_panelOwner->StartScan(1);
  else if (wParam == DEVPANEL_CHOSEN) m_panelOwner->StartScan(0);
  return 0;
}

LRESULT CDevWnd::OnRunChooser(WPARAM wParam, LPARAM) {
  m_root.RunChooser(uint32_t(wParam));
  return 0;
}
