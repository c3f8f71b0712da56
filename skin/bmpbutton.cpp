// The picture rule, hover tracking, and the picture buttons sized to their pictures
// (CBmpButton, CTabButton).
#include "platform/afx/afxmsg.h"
#include "skin/skinbuttons.h"
#include "skin/skinfonts.h"

SkinPicture ChooseSkinPicture(const SkinButtonState& s) {
  if (s.selected) return kPicDown;
  if ((s.itemState & ODS_DISABLED) && s.haveDisabled) return kPicDisabled;
  if (s.heldDown) return kPicDown;
  if (s.itemState & ODS_SELECTED) return kPicDown;
  if (s.hover) return kPicHover;
  if ((s.itemState & ODS_FOCUS) && s.haveFocus) return kPicFocus;
  return kPicNormal;
}

// ---- Hover tracking ----

BEGIN_MESSAGE_MAP(CSkinHoverButton, CButton)
ON_WM_ERASEBKGND()
ON_WM_MOUSEMOVE()
ON_WM_MOUSELEAVE()
END_MESSAGE_MAP()

void CSkinHoverButton::TrackHover() {
  if (m_bHover) return;
  m_bHover = 1;
  TRACKMOUSEEVENT tme{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 1};
  TrackMouseEvent(&tme);
  Invalidate(TRUE);
  if (m_notify) {
    if (HWND parent = ::GetParent(m_hWnd)) PostMessageW(parent, WM_SKIN_BUTTON_HOVER, WPARAM(GetDlgCtrlID()), 1);
  }
}

void CSkinHoverButton::EndHover() {
  m_bHover = 0;
  Invalidate(FALSE);
  if (m_notify) {
    if (HWND parent = ::GetParent(m_hWnd)) SendMessageW(parent, WM_SKIN_BUTTON_HOVER, WPARAM(GetDlgCtrlID()), 2);
  }
}

void CSkinHoverButton::OnMouseMove(UINT, CPoint) {
  TrackHover();
  if (m_notify) ::SetCursor(LoadCursorW(nullptr, IDC_HAND));
  Default();
}

void CSkinHoverButton::OnMouseLeave() {
  EndHover();
  Default();
}

// Copies the skin under the button into dc, or fills with the dialog colour where there is no
// skinned parent, so key-coloured picture pixels show something sensible.
static void DrawUnderlay(HDC dc, HWND button, int w, int h) {
  if (CopyParentBackground(dc, button)) return;
  RECT r{0, 0, w, h};
  FillSolidRectDc(dc, &r, GetSysColor(COLOR_BTNFACE));
}

// ---- CBmpButton ----

void CBmpButton::PreSubclassWindow() {
  ModifyStyle(0, BS_OWNERDRAW | WS_CLIPSIBLINGS);
  CButton::PreSubclassWindow();
}

bool CBmpButton::SizeToPicture() {
  if (m_pictures[kPicNormal].m_bEmpty || !m_hWnd) return false;
  return ::SetWindowPos(m_hWnd, nullptr, 0, 0, m_pictures[kPicNormal].Width(), m_pictures[kPicNormal].Height(),
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool CBmpButton::LoadBitmaps(UINT normal, UINT hover, UINT down, UINT disabled) {
  bool ok = m_pictures[kPicNormal].LoadFromResource(normal);
  ok = m_pictures[kPicHover].LoadFromResource(hover) && ok;
  ok = m_pictures[kPicDown].LoadFromResource(down) && ok;
  ok = m_pictures[kPicDisabled].LoadFromResource(disabled) && ok;
  ok = SizeToPicture() && ok;
  m_keyColor = RGB(255, 0, 255);
  if (!m_pictures[kPicNormal].m_bEmpty && m_hWnd) {
    if (HRGN rgn = CreateRegionFromBitmap(m_pictures[kPicNormal].m_bitmap, m_keyColor)) ::SetWindowRgn(m_hWnd, rgn, TRUE);
  }
  return ok;
}

bool CBmpButton::SetSkinImages(const SkinImageData* normal, const SkinImageData* hover) {
  bool ok = m_pictures[kPicNormal].LoadFromImage(normal);
  ok = m_pictures[kPicDisabled].LoadFromImage(normal) && ok;
  ok = m_pictures[kPicFocus].LoadFromImage(normal) && ok;
  ok = m_pictures[kPicHover].LoadFromImage(hover) && ok;
  ok = m_pictures[kPicDown].LoadFromImage(hover) && ok;
  return SizeToPicture() && ok;
}

void CBmpButton::DrawItem(DRAWITEMSTRUCT* dis) {
  if (!dis) return;
  SkinButtonState st;
  st.hover = m_bHover != 0;
  st.itemState = dis->itemState;
  st.haveDisabled = !m_pictures[kPicDisabled].m_bEmpty;
  st.haveFocus = !m_pictures[kPicFocus].m_bEmpty;
  CBitmapDC* pic = &m_pictures[ChooseSkinPicture(st)];
  if (pic->m_bEmpty) pic = &m_pictures[kPicNormal];
  const int w = dis->rcItem.right - dis->rcItem.left, h = dis->rcItem.bottom - dis->rcItem.top;
  DrawUnderlay(dis->hDC, m_hWnd, w, h);
  if (!pic->m_bEmpty) {
    ::TransparentBlt(dis->hDC, 0, 0, pic->Width(), pic->Height(), pic->m_hDC, 0, 0, pic->Width(), pic->Height(),
                     m_keyColor);
  }
  CString text;
  GetWindowText(text);
  if (text.IsEmpty() || h <= 150) return;
  CFont font;
  CreateSkinFont(u"MenuBtn", &font);
  ScopedSelect sel(dis->hDC, font.m_hObject);
  const int oldMode = ::SetBkMode(dis->hDC, TRANSPARENT);
  RECT r{0, 136, 138, 156};
  DrawTextW(dis->hDC, text.GetString(), text.GetLength(), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  ::SetBkMode(dis->hDC, oldMode);
}

// ---- CTabButton ----

bool CTabButton::SetSkinImages(const SkinImageData* normal, const SkinImageData* hover, const SkinImageData* selected) {
  if (!normal || !hover || !selected) return false;
  bool ok = m_pictures[kPicNormal].LoadFromImage(normal);
  ok = m_pictures[kPicDisabled].LoadFromImage(normal) && ok;
  ok = m_pictures[kPicFocus].LoadFromImage(normal) && ok;
  ok = m_pictures[kPicHover].LoadFromImage(hover) && ok;
  ok = m_pictures[kPicDown].LoadFromImage(selected) && ok;
  return SizeToPicture() && ok;
}

void CTabButton::DrawItem(DRAWITEMSTRUCT* dis) {
  if (!dis) return;
  SkinButtonState st;
  st.selected = m_bSelected != 0;
  st.hover = m_bHover != 0;
  st.itemState = dis->itemState;
  st.haveDisabled = !m_pictures[kPicDisabled].m_bEmpty;
  st.haveFocus = !m_pictures[kPicFocus].m_bEmpty;
  const SkinPicture chosen = ChooseSkinPicture(st);
  CBitmapDC* pic = &m_pictures[chosen];
  if (pic->m_bEmpty) pic = &m_pictures[kPicNormal];
  RECT rc = dis->rcItem;
  DrawUnderlay(dis->hDC, m_hWnd, rc.right - rc.left, rc.bottom - rc.top);
  if (!pic->m_bEmpty) {
    ::TransparentBlt(dis->hDC, 0, 0, pic->Width(), pic->Height(), pic->m_hDC, 0, 0, pic->Width(), pic->Height(),
                     m_keyColor);
  }
  CString text;
  GetWindowText(text);
  CFont font;
  CreateSkinFont(u"MenuNom", &font);
  ScopedSelect sel(dis->hDC, font.m_hObject);
  const int oldMode = ::SetBkMode(dis->hDC, TRANSPARENT);
  const COLORREF oldColor = ::SetTextColor(dis->hDC, chosen == kPicDown ? RGB(35, 143, 229) : RGB(63, 64, 66));
  rc.left += 60;
  DrawTextW(dis->hDC, text.GetString(), text.GetLength(), &rc, DT_VCENTER | DT_SINGLELINE);
  ::SetTextColor(dis->hDC, oldColor);
  ::SetBkMode(dis->hDC, oldMode);
}
