// The skinned report list: theme, row height, image lists and row records; the buffered paint
// (the list view's own painting into one memory picture per size, blitted below the header);
// hover tracking that repaints only the two rows concerned; the check-picture click; the frame.
#include <algorithm>

#include "platform/afx/afxmsg.h"
#include "platform/paint/resstore.h"
#include "skin/skinlist.h"
#include "skin/skintheme.h"

namespace {

constexpr COLORREF kDisabledFill = 0xD8E9EC;  // RGB(236, 233, 216)
constexpr UINT kHeaderBackground = 170;
constexpr UINT kSortAscendingIcon = 236;
constexpr UINT kSortDescendingIcon = 243;
// With icons the check picture sits this much further left, in front of the row's icon.
constexpr int kIconShift = 20;
constexpr int kRowIconInset = 16;
constexpr int kRowIconSize = 20;

HICON LoadIconResource(UINT id) { return LoadIconW(nullptr, ResourceIdName(id)); }

}  // namespace

BEGIN_MESSAGE_MAP(CSkinListCtrlBase, CListCtrl)
ON_WM_CREATE()
ON_WM_MEASUREITEM_REFLECT()
ON_WM_MOUSEMOVE()
ON_WM_MOUSELEAVE()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONDBLCLK()
ON_WM_LBUTTONUP()
ON_MESSAGE(WM_RBUTTONDOWN, OnRButton)
ON_MESSAGE(WM_RBUTTONDBLCLK, OnRButton)
ON_WM_PAINT()
ON_MESSAGE(WM_NCPAINT, OnNcPaint)
ON_WM_ERASEBKGND()
ON_WM_SIZE()
ON_NOTIFY(HDN_BEGINTRACKA, 0, OnHeaderTrack)
ON_NOTIFY(HDN_BEGINTRACKW, 0, OnHeaderTrack)
ON_NOTIFY(HDN_DIVIDERDBLCLICKA, 0, OnHeaderTrack)
ON_NOTIFY(HDN_DIVIDERDBLCLICKW, 0, OnHeaderTrack)
ON_NOTIFY(HDN_ENDTRACKA, 0, OnHeaderEndTrack)
ON_NOTIFY(HDN_ENDTRACKW, 0, OnHeaderEndTrack)
END_MESSAGE_MAP()

CSkinListCtrlBase::~CSkinListCtrlBase() {
  FreeAllRowData();
  m_mem.Release();
  for (CBitmapDC& c : m_checkImages) c.Release();
}

void CSkinListCtrlBase::PreSubclassWindow() {
  ModifyStyle(0, LVS_OWNERDRAWFIXED | WS_CLIPSIBLINGS);
  SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
  AttachHeader();
  ApplyListTheme();
  CListCtrl::PreSubclassWindow();
}

int CSkinListCtrlBase::OnCreate(CREATESTRUCTW*) {
  const int r = int(Default());
  // A list created through this object had no header yet when it was subclassed.
  if (r != -1) AttachHeader();
  return r;
}

void CSkinListCtrlBase::AttachHeader() {
  if (m_header.m_hWnd || (GetStyle() & LVS_NOCOLUMNHEADER)) return;
  HWND h = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
  if (!h || !m_header.SubclassWindow(h)) return;
  // The header was laid out before it kept its height; lay the list out again.
  RECT c{};
  GetClientRect(&c);
  SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
}

void CSkinListCtrlBase::ApplyListTheme() {
  if (m_header.m_hSortAscending) DestroyIcon(m_header.m_hSortAscending);
  if (m_header.m_hSortDescending) DestroyIcon(m_header.m_hSortDescending);
  m_header.m_hSortDescending = nullptr;
  m_header.m_hSortAscending = LoadIconResource(kSortAscendingIcon);
  if (m_header.m_hSortAscending) m_header.m_hSortDescending = LoadIconResource(kSortDescendingIcon);
  m_header.m_background.SetBitmapResource(kHeaderBackground);
  // At least as high as its picture, so the picture is never cut.
  m_header.m_nHeight = std::max(m_header.m_background.TargetHeight(), m_header.m_background.m_source.Height());
  m_header.m_textColor = SkinTheme.listHeaderText;
  m_oddRowColor = SkinTheme.listOddRow;
  m_evenRowColor = SkinTheme.listEvenRow;
  m_selectedColor = SkinTheme.listSelected;
  m_selectedUnfocusedColor = SkinTheme.listSelectedUnfocused;
  m_hoverColor = SkinTheme.listHover;
  m_textColor = SkinTheme.listText;
  m_selectedTextColor = SkinTheme.listSelectedText;
  m_frameColor = SkinTheme.listFrame;
  m_header.m_bBackgroundReady = 0;
  SetRowHeight(SkinTheme.listRowHeight);
}

int CSkinListCtrlBase::InitCtrl(int withIcons) {
  if (m_bTooltipCreated) return 1;
  m_bTooltipCreated = m_tooltip.Create(this, TTS_ALWAYSTIP) ? 1 : 0;
  if (m_bTooltipCreated) {
    m_tooltip.SetDelayTime(TTDT_INITIAL, 1);
    m_tooltip.SetMaxTipWidth(400);
  }
  if (withIcons) {
    m_smallImages.Create(20, 20, ILC_COLOR32, 100, 10);
    m_largeImages.Create(32, 32, ILC_COLOR24 | ILC_MASK, 100, 10);
    SetImageList(&m_smallImages, LVSIL_SMALL);
    SetImageList(&m_largeImages, LVSIL_NORMAL);
    m_bIcons = 1;
  }
  return m_bTooltipCreated;
}

int CSkinListCtrlBase::AddIcon(HICON icon) {
  const int large = m_largeImages.Add(icon);
  if (large < 0) return -1;
  const int small = m_smallImages.Add(icon);
  if (small < 0) {
    m_largeImages.Remove(large);
    return -1;
  }
  return small;
}

void CSkinListCtrlBase::SetRowHeight(int height) {
  m_rowHeight = height;
  if (!m_hWnd) return;
  RECT w{};
  GetWindowRect(&w);
  WINDOWPOS wp{m_hWnd, nullptr, 0, 0, w.right - w.left, w.bottom - w.top,
               SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOOWNERZORDER};
  SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
}

void CSkinListCtrlBase::FreeAllRowData() { m_rowData.clear(); }

void CSkinListCtrlBase::SetRowData(int row, std::unique_ptr<ListRowData> data) {
  if (!data) return;
  SetItemData(row, reinterpret_cast<DWORD_PTR>(data.get()));
  m_rowData.push_back(std::move(data));
}

bool CSkinListCtrlBase::IsRowChecked(int row) const {
  return (GetItemState(row, LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

BOOL CSkinListCtrlBase::PreTranslateMessage(MSG* msg) {
  if (m_tooltip.m_hWnd) m_tooltip.RelayEvent(msg);
  return CListCtrl::PreTranslateMessage(msg);
}

void CSkinListCtrlBase::MeasureItem(MEASUREITEMSTRUCT* mis) { mis->itemHeight = UINT(std::max(1, m_rowHeight)); }

// ---- Hover ----

void CSkinListCtrlBase::OnMouseMove(UINT, CPoint pt) {
  if (!m_bTracking) {
    TRACKMOUSEEVENT tme{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 1};
    m_bTracking = TrackMouseEvent(&tme) ? 1 : 0;
  }
  const int row = HitTest(pt);
  if (row != m_hoverRow) {
    bool invalidated = false;
    for (int r : {row, m_hoverRow}) {
      if (r < 0 || (GetItemState(r, LVIS_SELECTED) & LVIS_SELECTED)) continue;
      RECT b{};
      if (GetItemRect(r, &b, LVIR_BOUNDS)) {
        InvalidateRect(&b, FALSE);
        invalidated = true;
      }
    }
    if (invalidated && !m_bHoverShortcutBlocked && ::GetCapture() != m_hWnd) m_bPaintThrough = 1;
    else m_bHoverShortcutBlocked = 0;
    m_hoverRow = row;
  }
  Default();
}

void CSkinListCtrlBase::OnMouseLeave() {
  m_bTracking = 0;
  if (m_hoverRow >= 0) {
    RECT b{};
    if (GetItemRect(m_hoverRow, &b, LVIR_BOUNDS)) InvalidateRect(&b, FALSE);
  }
  m_hoverRow = -1;
  m_bHoverShortcutBlocked = 1;
}

// ---- Check pictures ----

int CSkinListCtrlBase::CheckImageLeft(int labelLeft) const {
  return labelLeft + m_checkImageOffset - (m_bIcons ? kIconShift : 0);
}

void CSkinListCtrlBase::OnCheckBoxClick(CPoint pt) {
  if (!m_bCheckBoxes) return;
  const int row = HitTest(pt);
  if (row < 0) return;
  const bool checked = IsRowChecked(row);
  CRect label;
  if (!GetSubItemRect(row, 0, LVIR_LABEL, label)) return;
  const CBitmapDC& image = m_checkImages[checked ? 1 : 0];
  const int left = CheckImageLeft(label.left);
  const int right = left + (image.m_bEmpty ? 0 : image.Width());
  if (right >= label.right) return;
  if (pt.x >= left && pt.x < right && pt.y >= label.top && pt.y < label.bottom) SetCheck(row, checked ? FALSE : TRUE);
}

void CSkinListCtrlBase::DrawCheckImage(CDC* dc, int row) {
  if (!m_bCheckBoxes || !dc) return;
  CBitmapDC& image = m_checkImages[IsRowChecked(row) ? 1 : 0];
  if (image.m_bEmpty) return;
  CRect label;
  if (!GetSubItemRect(row, 0, LVIR_LABEL, label)) return;
  const int y = label.top + (label.Height() - image.Height()) / 2;
  dc->BitBlt(CheckImageLeft(label.left), y, image.Width(), image.Height(), &image, 0, 0, SRCCOPY);
}

void CSkinListCtrlBase::OnLButtonDown(UINT, CPoint pt) {
  OnCheckBoxClick(pt);
  Default();
}

void CSkinListCtrlBase::OnLButtonDblClk(UINT, CPoint pt) {
  OnCheckBoxClick(pt);
  Default();
}

LRESULT CSkinListCtrlBase::OnRButton(WPARAM, LPARAM lParam) {
  OnCheckBoxClick(CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
  return Default();
}

void CSkinListCtrlBase::OnLButtonUp(UINT, CPoint) { Default(); }

// ---- Painting ----

void CSkinListCtrlBase::PrepareMemoryDC(const RECT& client) {
  if (!m_mem.Create(client.right, client.bottom)) return;
  m_mem.SetBkMode(TRANSPARENT);
  if (HFONT f = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))) ::SelectObject(m_mem.m_hDC, f);
  m_mem.SetTextColor(m_textColor);
  m_bMemReady = 1;
}

void CSkinListCtrlBase::OnPaint() {
  if (m_bPaintThrough) {
    // A hover change: the two rows paint themselves straight on the screen.
    Default();
    m_bPaintThrough = 0;
    return;
  }
  CPaintDC dc(this);
  RECT rc{};
  GetClientRect(&rc);
  if (rc.right <= 0 || rc.bottom <= 0) return;
  if (!m_bMemReady) PrepareMemoryDC(rc);
  if (!m_bMemReady) return;
  m_mem.FillSolidRect(&rc, IsWindowEnabled() ? RGB(255, 255, 255) : kDisabledFill);
  DefWindowProc(WM_PAINT, reinterpret_cast<WPARAM>(m_mem.m_hDC), 0);
  // The header paints its own rows.
  const int top = (GetStyle() & LVS_NOCOLUMNHEADER) || !m_header.m_hWnd ? 0 : m_header.m_nHeight;
  if (rc.bottom > top) dc.BitBlt(0, top, rc.right, rc.bottom - top, &m_mem, 0, top, SRCCOPY);
}

LRESULT CSkinListCtrlBase::OnNcPaint(WPARAM, LPARAM) {
  Default();
  CWindowDC dc(this);
  RECT w{};
  GetWindowRect(&w);
  RECT frame{0, 0, w.right - w.left, w.bottom - w.top};
  HBRUSH brush = CreateSolidBrush(m_frameColor);
  ::FrameRect(dc.m_hDC, &frame, brush);
  DeleteObject(brush);
  return 0;
}

BOOL CSkinListCtrlBase::OnEraseBkgnd(CDC*) {
  if (m_bPaintThrough) return BOOL(Default());
  return TRUE;
}

void CSkinListCtrlBase::OnSize(UINT, int, int) {
  Default();
  m_bMemReady = 0;
  m_bHoverShortcutBlocked = 1;
}

void CSkinListCtrlBase::OnHeaderTrack(NMHDR*, LRESULT* result) { *result = FALSE; }

void CSkinListCtrlBase::OnHeaderEndTrack(NMHDR*, LRESULT* result) {
  Invalidate(TRUE);
  *result = 0;
}

// ---- Rows ----

void CSkinListCtrlBase::DrawRowBackground(CDC* dc, int row, const RECT& item, bool selected) {
  RECT client{};
  GetClientRect(&client);
  RECT full{item.left, item.top, std::max(item.right, client.right), item.bottom};
  if (!IsWindowEnabled()) dc->FillSolidRect(&full, kDisabledFill);
  else dc->FillSolidRect(&full, (row & 1) ? m_oddRowColor : m_evenRowColor);
  if (selected) {
    dc->SetTextColor(m_selectedTextColor);
    const bool focused = ::GetFocus() == m_hWnd || (GetStyle() & LVS_SHOWSELALWAYS);
    dc->FillSolidRect(&item, focused ? m_selectedColor : m_selectedUnfocusedColor);
  } else {
    dc->SetTextColor(m_textColor);
    if (row == m_hoverRow) dc->FillSolidRect(&item, m_hoverColor);
  }
}

CSkinListCtrl::~CSkinListCtrl() = default;

void CSkinListCtrl::DrawItem(DRAWITEMSTRUCT* dis) {
  if (!dis || !dis->hDC) return;
  CDC* dc = AfxDcFromHandle(dis->hDC);
  const int row = int(dis->itemID);
  LVITEMW item{};
  item.mask = LVIF_STATE | LVIF_IMAGE;
  item.iItem = row;
  item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
  if (!GetItem(&item)) return;
  dc->SetBkMode(TRANSPARENT);
  DrawRowBackground(dc, row, dis->rcItem, (item.state & LVIS_SELECTED) != 0);
  TEXTMETRICW tm{};
  dc->GetTextMetrics(&tm);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  for (int i = 0; GetColumn(i, &column); ++i) {
    CRect cell;
    if (!GetSubItemRect(row, i, LVIR_LABEL, cell)) continue;
    cell.top += (cell.Height() - tm.tmHeight) / 2;
    const CString text = (i == 0 ? CString(u"  ") : CString(u" ")) + GetItemText(row, i);
    dc->DrawText(text, &cell, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  DrawCheckImage(dc, row);
  if (m_bIcons && item.iImage >= 0) {
    CRect label;
    if (GetSubItemRect(row, 0, LVIR_LABEL, label)) {
      m_smallImages.Draw(dc, item.iImage,
                         POINT{label.left - kRowIconInset, label.top + (label.Height() - kRowIconSize) / 2}, ILD_IMAGE);
    }
  }
}
