// The skinned list's column header: a nine-grid background rendered once per size, column
// texts, the sort marker and separator icons, drawn through a memory picture; a layout that
// never makes the header lower than it has been.
#include <algorithm>

#include "platform/afx/afxmsg.h"
#include "skin/skinlist.h"

namespace {

constexpr int kSortMarkerSize = 16;
constexpr int kSortMarkerInset = 24;  // the marker's left edge from the column's right edge
constexpr int kSeparatorInset = 6;
constexpr int kSeparatorWidth = 12;
constexpr int kIconHeight = 16;
constexpr int kTextIndent = 4;
constexpr int kMaxHeaderText = 256;  // 255 characters and the terminator

}  // namespace

BEGIN_MESSAGE_MAP(CSkinHeaderCtrl, CHeaderCtrl)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_SIZE()
ON_MESSAGE(HDM_LAYOUT, OnLayout)
END_MESSAGE_MAP()

CSkinHeaderCtrl::~CSkinHeaderCtrl() {
  if (m_hSortAscending) DestroyIcon(m_hSortAscending);
  if (m_hSortDescending) DestroyIcon(m_hSortDescending);
  m_mem.Release();
}

void CSkinHeaderCtrl::OnSize(UINT, int, int) {
  Default();
  m_bBackgroundReady = 0;
}

LRESULT CSkinHeaderCtrl::OnLayout(WPARAM, LPARAM lParam) {
  const LRESULT done = Default();
  auto* lay = reinterpret_cast<HDLAYOUT*>(lParam);
  if (!done || !lay || !lay->prc || !lay->pwpos) return done;
  const int asked = lay->pwpos->cy;
  m_nHeight = std::max(m_nHeight, asked);
  // The list area starts below the header at the height it keeps.
  lay->prc->top += m_nHeight - asked;
  lay->pwpos->cy = m_nHeight;
  return done;
}

void CSkinHeaderCtrl::OnPaint() {
  CPaintDC dc(this);
  RECT rc{};
  GetClientRect(&rc);
  if (rc.right <= 0 || rc.bottom <= 0) return;
  if (!m_bBackgroundReady && m_background.Stretch(rc.right, rc.bottom)) m_bBackgroundReady = 1;
  if (m_mem.m_bEmpty || m_mem.Width() != rc.right || m_mem.Height() != rc.bottom) {
    if (!m_mem.Create(rc.right, rc.bottom)) return;
  }
  m_mem.SetBkMode(TRANSPARENT);
  if (HFONT f = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))) ::SelectObject(m_mem.m_hDC, f);
  m_mem.SetTextColor(m_textColor);
  // Without its picture the header is a plain face; never an error.
  if (m_bBackgroundReady) m_mem.BitBlt(0, 0, rc.right, rc.bottom, &m_background, 0, 0, SRCCOPY);
  else m_mem.FillSolidRect(&rc, GetSysColor(COLOR_BTNFACE));
  DrawItems(&m_mem);
  dc.BitBlt(0, 0, rc.right, rc.bottom, &m_mem, 0, 0, SRCCOPY);
}

void CSkinHeaderCtrl::DrawItems(CDC* dc) {
  TEXTMETRICW tm{};
  dc->GetTextMetrics(&tm);
  const int count = GetItemCount();
  for (int i = 0; i < count; ++i) {
    RECT col{};
    if (!GetItemRect(i, &col)) continue;
    const int height = col.bottom - col.top;
    RECT text = col;
    if (m_textOffsetX != 0 || m_textOffsetY != 0) {
      OffsetRect(&text, m_textOffsetX, m_textOffsetY);
    } else {
      text.left += kTextIndent;
      text.top += (height - tm.tmHeight) / 2;
    }
    char16_t buf[kMaxHeaderText] = {};
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = buf;
    item.cchTextMax = kMaxHeaderText;
    if (GetItem(i, &item) && buf[0]) {
      dc->DrawText(buf, -1, &text, DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    const int y = col.top + (height - kIconHeight) / 2;
    const HICON marker = m_bSortAscending ? m_hSortAscending : m_hSortDescending;
    // A column too narrow for the marker shows none rather than one over its neighbour.
    if (i == m_sortColumn && marker && col.right - kSortMarkerInset >= col.left) {
      DrawIconEx(dc->m_hDC, col.right - kSortMarkerInset, y, marker, kSortMarkerSize, kIconHeight, 0, nullptr,
                 DI_NORMAL);
    }
    if (m_hSeparator) {
      DrawIconEx(dc->m_hDC, col.right - kSeparatorInset, y, m_hSeparator, kSeparatorWidth, kIconHeight, 0, nullptr,
                 DI_NORMAL);
    }
  }
}
