// The drawn buttons that render through a memory DC: the nine-grid push button (CSkinButton),
// the text link (CHyperlinkButton) and the check box / radio button (CSkinCRButton).
#include <algorithm>

#include "platform/afx/afxmsg.h"
#include "platform/paint/resstore.h"
#include "skin/skinbuttons.h"

namespace {

// The memory DC of a control at its client size, with a font and a transparent background.
bool PrepareControlDc(CWnd* wnd, CBitmapDC& mem, HFONT font) {
  RECT rc{};
  wnd->GetClientRect(&rc);
  if (!mem.Create(rc.right, rc.bottom)) return false;
  if (!font) font = reinterpret_cast<HFONT>(wnd->SendMessage(WM_GETFONT));
  if (font) ::SelectObject(mem.m_hDC, font);
  mem.SetBkMode(TRANSPARENT);
  return true;
}

// The skin under the control, or the dialog colour where the parent is not skinned.
void Underlay(CBitmapDC& mem, CWnd* wnd) {
  if (CopyParentBackground(&mem, wnd)) return;
  mem.FillSolidRect(0, 0, mem.Width(), mem.Height(), GetSysColor(COLOR_BTNFACE));
}

void BlitToItem(const DRAWITEMSTRUCT* dis, CBitmapDC& mem) {
  ::BitBlt(dis->hDC, 0, 0, mem.Width(), mem.Height(), mem.m_hDC, 0, 0, SRCCOPY);
}

constexpr COLORREF kDisabledText = RGB(172, 168, 153);

}  // namespace

// ---- CSkinButton ----

BEGIN_MESSAGE_MAP(CSkinButton, CSkinHoverButton)
ON_WM_SIZE()
END_MESSAGE_MAP()

CSkinButton::~CSkinButton() {
  m_mem.Release();  // the caption font may be selected into it
  delete m_pFont;
  if (m_hIcon) DestroyIcon(m_hIcon);
}

void CSkinButton::PreSubclassWindow() {
  ModifyStyle(0, BS_OWNERDRAW | WS_CLIPSIBLINGS);
  if (m_hWnd) SetBitmaps(157, 158, 155, 154, 156);
  CButton::PreSubclassWindow();
}

bool CSkinButton::SetBitmaps(UINT normal, UINT hover, UINT down, UINT disabled, UINT focus) {
  RECT rc{};
  if (m_hWnd) GetClientRect(&rc);
  const UINT ids[5] = {normal, hover, down, disabled, focus};
  bool ok = true;
  for (int i = 0; i < 5; ++i) {
    ok = m_pictures[i].SetBitmapResource(ids[i]) && ok;
    ok = m_pictures[i].Stretch(rc.right, rc.bottom) && ok;
  }
  m_keyColor = RGB(255, 0, 255);
  m_bPrepared = 0;
  return ok;
}

BOOL CSkinButton::SetIcon(UINT iconId, int size) {
  if (m_hIcon) DestroyIcon(m_hIcon);
  m_hIcon = static_cast<HICON>(LoadImageW(nullptr, ResourceIdName(iconId), IMAGE_ICON, size, size, 0));
  if (!m_hIcon) return FALSE;
  m_iconSize = size;
  m_bPrepared = 0;
  return TRUE;
}

bool CSkinButton::PrepareStateImages() {
  RECT rc{};
  GetClientRect(&rc);
  bool ok = true;
  for (int i = kPicNormal; i <= kPicDown; ++i) ok = m_pictures[i].Stretch(rc.right, rc.bottom) && ok;
  // The optional pictures are rendered whenever they are loaded, so a button whose pictures were
  // set before it had a size still shows its disabled and focus looks.
  for (int i = kPicDisabled; i <= kPicFocus; ++i) {
    if (!m_pictures[i].m_source.m_bEmpty) m_pictures[i].Stretch(rc.right, rc.bottom);
  }
  if (!ok) return false;
  if (HRGN rgn = CreateRegionFromBitmap(m_pictures[kPicNormal].m_target, m_keyColor)) ::SetWindowRgn(m_hWnd, rgn, TRUE);
  m_bPrepared = 1;
  return true;
}

bool CSkinButton::PrepareMemoryDC() {
  m_bMemReady = PrepareControlDc(this, m_mem, m_pFont ? HFONT(*m_pFont) : nullptr) ? 1 : 0;
  return m_bMemReady != 0;
}

int CSkinButton::IconX(int w, int cx, int s) { return std::max(5, (w - (cx + s + s / 8)) / 2 - s / 8); }

void CSkinButton::OnSize(UINT, int, int) {
  Default();
  m_bMemReady = 0;
  m_bPrepared = 0;
}

void CSkinButton::DrawItem(DRAWITEMSTRUCT* dis) {
  if (!dis) return;
  if (!m_bPrepared && !PrepareStateImages()) return;
  if (!m_bMemReady && !PrepareMemoryDC()) return;
  const int W = m_mem.Width(), H = m_mem.Height();
  SkinButtonState st;
  st.heldDown = m_bHeldDown != 0;
  st.hover = m_bHover != 0;
  st.itemState = dis->itemState;
  st.haveDisabled = !m_pictures[kPicDisabled].m_bTargetEmpty;
  st.haveFocus = !m_pictures[kPicFocus].m_bTargetEmpty;
  CStretchDC& pic = m_pictures[ChooseSkinPicture(st)];
  Underlay(m_mem, this);
  m_mem.TransparentBlt(0, 0, W, H, &pic, 0, 0, W, H, m_keyColor);
  CString text;
  GetWindowText(text);
  const SIZE ext = m_mem.GetTextExtent(text);
  const bool pressed = (dis->itemState & ODS_SELECTED) != 0;
  int x = (W - ext.cx) / 2;
  if (m_hIcon) {
    const int s = m_iconSize;
    const int ix = IconX(W, ext.cx, s);
    DrawIconEx(m_mem.m_hDC, ix + (pressed ? 1 : 0), (H - s) / 2 + 1 + (pressed ? 1 : 0), m_hIcon, s, s, 0, nullptr,
               DI_NORMAL);
    x = ix + s + s / 8;
  }
  if (!text.IsEmpty()) {
    RECT r{m_captionX != -1 ? m_captionX : x, (H - ext.cy) / 2, W - 8, 0};
    r.bottom = r.top + ext.cy;
    m_mem.SetTextColor((dis->itemState & ODS_DISABLED) ? m_disabledColor : m_captionColor);
    m_mem.DrawText(text, &r, DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  }
  BlitToItem(dis, m_mem);
}

// ---- CHyperlinkButton ----

BEGIN_MESSAGE_MAP(CHyperlinkButton, CSkinHoverButton)
ON_WM_SETCURSOR()
ON_WM_SIZE()
END_MESSAGE_MAP()

CHyperlinkButton::CHyperlinkButton() : CSkinHoverButton(false) { m_hHand = LoadCursorW(nullptr, IDC_HAND); }

CHyperlinkButton::~CHyperlinkButton() {
  m_mem.Release();
  delete m_pFont;
}

void CHyperlinkButton::PreSubclassWindow() {
  ModifyStyle(0, BS_OWNERDRAW | WS_CLIPSIBLINGS);
  if (auto f = reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))) {
    LOGFONTW lf{};
    if (GetObjectW(f, sizeof lf, &lf) == int(sizeof lf)) m_windowFont.CreateFontIndirect(&lf);
  }
  CButton::PreSubclassWindow();
}

BOOL CHyperlinkButton::OnSetCursor(CWnd*, UINT, UINT) {
  ::SetCursor(m_hHand);
  return TRUE;
}

void CHyperlinkButton::OnSize(UINT, int, int) {
  Default();
  m_bMemReady = 0;
}

void CHyperlinkButton::DrawItem(DRAWITEMSTRUCT* dis) {
  if (!dis) return;
  if (!m_bMemReady) {
    HFONT f = m_pFont ? HFONT(*m_pFont) : HFONT(m_windowFont);
    m_bMemReady = PrepareControlDc(this, m_mem, f) ? 1 : 0;
    if (!m_bMemReady) return;
  }
  Underlay(m_mem, this);
  CString text;
  GetWindowText(text);
  if (!text.IsEmpty()) {
    RECT r{0, 0, m_mem.Width(), m_mem.Height()};
    if (dis->itemState & ODS_DISABLED) {
      m_lastColor = kDisabledText;
    } else if (dis->itemState & ODS_SELECTED) {
      OffsetRect(&r, 1, 1);  // the colour stays as the last drawing left it
    } else {
      m_lastColor = m_bHover ? m_hoverColor : m_normalColor;
    }
    m_mem.SetTextColor(m_lastColor);
    m_mem.DrawText(text, &r, DT_VCENTER | DT_SINGLELINE);
  }
  BlitToItem(dis, m_mem);
}

// ---- CSkinCRButton ----

BEGIN_MESSAGE_MAP(CSkinCRButton, CSkinHoverButton)
ON_MESSAGE(BM_SETCHECK, OnSetCheck)
ON_MESSAGE(BM_GETCHECK, OnGetCheck)
ON_MESSAGE(WM_SKIN_RADIO_UNCHECK, OnRadioUncheck)
ON_WM_LBUTTONUP()
ON_WM_LBUTTONDBLCLK()
ON_WM_KEYDOWN()
ON_WM_SIZE()
END_MESSAGE_MAP()

CSkinCRButton::~CSkinCRButton() {
  m_mem.Release();
  delete m_pFont;
}

void CSkinCRButton::PreSubclassWindow() {
  const DWORD style = GetStyle();
  if ((style & BS_AUTOCHECKBOX) == BS_AUTOCHECKBOX) m_kind = kCheckBox;
  else if ((style & BS_AUTORADIOBUTTON) == BS_AUTORADIOBUTTON) m_kind = kRadio;
  else m_kind = kPlain;
  ModifyStyle(0, BS_OWNERDRAW | WS_CLIPSIBLINGS);
  if (m_kind == kCheckBox) SetCheckBitmaps(172, 173);
  else if (m_kind == kRadio) SetCheckBitmaps(176, 177);
  CButton::PreSubclassWindow();
}

bool CSkinCRButton::SetCheckBitmaps(UINT uncheckedId, UINT checkedId) {
  m_keyColor = RGB(0, 0, 0);
  bool ok = true;
  for (int i = 0; i < 5; ++i) {
    ok = m_unchecked[i].LoadFromResource(uncheckedId) && ok;
    ok = m_checked[i].LoadFromResource(checkedId) && ok;
  }
  return ok;
}

LRESULT CSkinCRButton::OnSetCheck(WPARAM state, LPARAM) {
  m_check = (m_kind != kPlain && state != 0) ? 1 : 0;
  if (m_kind == kRadio && m_check) {
    HWND dlg = ::GetParent(m_hWnd);
    // The walk of the group comes back to this button; the bound keeps a broken tree finite.
    HWND o = ::GetNextDlgGroupItem(dlg, m_hWnd, FALSE);
    for (int guard = 0; o && o != m_hWnd && guard < 10000; ++guard) {
      SendMessageW(o, WM_SKIN_RADIO_UNCHECK, 0, 0);
      o = ::GetNextDlgGroupItem(dlg, o, FALSE);
    }
  }
  Invalidate(TRUE);
  return 0;
}

LRESULT CSkinCRButton::OnGetCheck(WPARAM, LPARAM) { return m_check; }

LRESULT CSkinCRButton::OnRadioUncheck(WPARAM, LPARAM) {
  if (m_kind == kRadio && m_check) {
    m_check = 0;
    Invalidate(TRUE);
  }
  return 0;
}

void CSkinCRButton::Toggle() {
  if (m_kind == kCheckBox) SendMessage(BM_SETCHECK, m_check ? 0 : 1);
  else if (m_kind == kRadio) SendMessage(BM_SETCHECK, 1);
}

void CSkinCRButton::OnLButtonUp(UINT, CPoint pt) {
  RECT rc{};
  GetClientRect(&rc);
  if (PtInRect(&rc, pt)) Toggle();
  Default();
}

void CSkinCRButton::OnLButtonDblClk(UINT flags, CPoint pt) {
  // A quick second click is a second click.
  SendMessage(WM_LBUTTONDOWN, flags, MAKELPARAM(pt.x, pt.y));
}

void CSkinCRButton::OnKeyDown(UINT key, UINT, UINT) {
  if (key == VK_SPACE) Toggle();
  Default();
}

void CSkinCRButton::OnSize(UINT, int, int) {
  Default();
  m_bMemReady = 0;
}

void CSkinCRButton::DrawItem(DRAWITEMSTRUCT* dis) {
  if (!dis) return;
  const bool checked = SendMessage(BM_GETCHECK) == 1;
  if (!m_bMemReady) {
    m_bMemReady = PrepareControlDc(this, m_mem, nullptr) ? 1 : 0;
    if (!m_bMemReady) return;
  }
  Underlay(m_mem, this);
  CBitmapDC* set = checked ? m_checked : m_unchecked;
  SkinButtonState st;
  st.hover = m_bHover != 0;
  st.itemState = dis->itemState;
  st.haveDisabled = !set[kPicDisabled].m_bEmpty;
  st.haveFocus = !set[kPicFocus].m_bEmpty;
  CBitmapDC& pic = set[ChooseSkinPicture(st)];
  const int H = m_mem.Height();
  if (!pic.m_bEmpty) {
    m_mem.TransparentBlt(0, (H - m_unchecked[kPicNormal].Height()) / 2, pic.Width(), pic.Height(), &pic, 0, 0,
                         pic.Width(), pic.Height(), m_keyColor);
  }
  CString text;
  GetWindowText(text);
  if (!text.IsEmpty()) {
    const SIZE ext = m_mem.GetTextExtent(text);  // in the window's font
    RECT r{m_captionX, (H - ext.cy) / 2, m_captionX + ext.cx, 0};
    r.bottom = r.top + ext.cy;
    m_mem.SetTextColor((dis->itemState & ODS_DISABLED) ? kDisabledText : m_captionColor);
    ScopedSelect font(m_mem.m_hDC, m_pFont ? m_pFont->m_hObject : nullptr);
    m_mem.DrawText(text, &r, DT_VCENTER | DT_SINGLELINE);
  }
  BlitToItem(dis, m_mem);
}
