#include "skin/skinstatic.h"

#include "platform/afx/afxmsg.h"

namespace {

void DefaultWarning(const CString& text) { AfxMessageBox(text, MB_OK); }
EditWarningHandler g_warning = &DefaultWarning;

constexpr COLORREF kEditFrame = RGB(202, 204, 207);
constexpr DWORD BS_RIGHT_ALIGN = 0x200;
constexpr DWORD BS_CENTER_ALIGN = 0x300;

}  // namespace

// ---- CTransparentStatic ----

BEGIN_MESSAGE_MAP(CTransparentStatic, CStatic)
ON_WM_PAINT()
ON_WM_SIZE()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CTransparentStatic::~CTransparentStatic() {
  m_mem.Release();
  delete m_pFont;
}

void CTransparentStatic::PreSubclassWindow() {
  ModifyStyle(0, WS_CLIPSIBLINGS);
  CStatic::PreSubclassWindow();
}

void CTransparentStatic::SetText(const CString& text) {
  m_text = text;
  SetWindowText(text);
  m_bMemReady = 0;
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

UINT CTransparentStatic::TextFormat() const {
  UINT fmt = DT_EDITCONTROL | DT_WORDBREAK;
  if (m_bEndEllipsis) fmt |= DT_END_ELLIPSIS;
  const DWORD type = GetStyle() & SS_TYPEMASK;
  if (type == SS_CENTER) fmt |= DT_CENTER;
  else if (type == SS_RIGHT) fmt |= DT_RIGHT;
  else if (GetStyle() & SS_CENTERIMAGE) fmt |= DT_VCENTER | DT_SINGLELINE;
  if (m_bSingleLine) fmt |= DT_VCENTER | DT_SINGLELINE;
  return fmt;
}

void CTransparentStatic::OnSize(UINT, int, int) {
  Default();
  m_bMemReady = 0;
}

void CTransparentStatic::OnPaint() {
  CPaintDC dc(this);
  RECT rc{};
  GetClientRect(&rc);
  if (!m_bMemReady) {
    if (!m_mem.Create(rc.right, rc.bottom)) return;
    m_mem.SetBkMode(TRANSPARENT);
    HFONT f = m_pFont ? HFONT(*m_pFont) : reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
    if (f) ::SelectObject(m_mem.m_hDC, f);
    m_mem.SetTextColor(m_textColor);
    m_bMemReady = 1;
  }
  if (!CopyParentBackground(&m_mem, this)) m_mem.FillSolidRect(&rc, GetSysColor(COLOR_BTNFACE));
  if (m_text.IsEmpty()) GetWindowText(m_text);
  RECT tr = rc;
  m_mem.DrawText(m_text, &tr, TextFormat());
  dc.BitBlt(0, 0, rc.right, rc.bottom, &m_mem, 0, 0, SRCCOPY);
}

// ---- CSkinEdit ----

void SetEditWarningHandler(EditWarningHandler h) { g_warning = h ? h : &DefaultWarning; }

BEGIN_MESSAGE_MAP(CSkinEdit, CEdit)
ON_MESSAGE(WM_NCPAINT, OnNcPaint)
ON_WM_SETCURSOR()
ON_WM_MOUSELEAVE()
ON_WM_CHAR()
ON_EN_UPDATE_REFLECT(OnTextUpdate)
END_MESSAGE_MAP()

void CSkinEdit::PreSubclassWindow() {
  ModifyStyle(0, WS_CLIPSIBLINGS);
  CEdit::PreSubclassWindow();
}

void CSkinEdit::DrawFrame() {
  CWindowDC dc(this);
  if (!dc.m_hDC) return;
  RECT wr{};
  GetWindowRect(&wr);
  const int w = wr.right - wr.left, h = wr.bottom - wr.top;
  dc.Draw3dRect(0, 0, w, h, kEditFrame, kEditFrame);
  if (m_topJoined == 1 || m_topJoined == 2) {
    CPen white(PS_SOLID, 1, RGB(255, 255, 255));
    ScopedSelect pen(dc.m_hDC, white.m_hObject);
    dc.MoveTo(m_topJoined == 1 ? 16 : 121, 0);
    dc.LineTo(m_topJoined == 1 ? 114 : 219, 0);
  }
}

LRESULT CSkinEdit::OnNcPaint(WPARAM, LPARAM) {
  Default();
  DrawFrame();
  return 0;
}

BOOL CSkinEdit::OnSetCursor(CWnd*, UINT, UINT) {
  if (!m_bTracking) {
    m_bTracking = 1;
    TRACKMOUSEEVENT tme{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 1};
    TrackMouseEvent(&tme);
    DrawFrame();
  }
  return BOOL(Default());
}

void CSkinEdit::OnMouseLeave() {
  m_bTracking = 0;
  DrawFrame();
}

bool CSkinEdit::Refused(char16_t c) const {
  if (!m_bAllowNonAscii && c > 128) return true;
  for (char16_t f : m_forbidden) {
    if (f == c) return true;
  }
  return false;
}

void CSkinEdit::Warn() const {
  if (!m_warning.IsEmpty()) g_warning(m_warning);
}

void CSkinEdit::OnChar(UINT ch, UINT, UINT) {
  const auto c = char16_t(ch);
  if (!m_bAllowNonAscii && c > 128) return;
  for (char16_t f : m_forbidden) {
    if (f == c) {
      Warn();
      return;
    }
  }
  GetWindowText(m_lastValid);
  Default();
}

void CSkinEdit::OnTextUpdate() {
  // The restore below sets the text again, which comes back here: the restored text stands.
  if (m_restoring) return;
  CString text;
  GetWindowText(text);
  bool refuse = false;
  for (int i = 0; i < text.GetLength() && !refuse; ++i) {
    if (Refused(text[i])) {
      Warn();
      refuse = true;
    }
  }
  if (!refuse && m_longestLine >= 0) {
    const int lines = GetLineCount();
    char16_t buf[1001];
    for (int i = 0; i < lines && !refuse; ++i) refuse = GetLine(i, buf, 1000) > m_longestLine;
  }
  if (!refuse) {
    m_lastValid = text;
    return;
  }
  int start = 0, end = 0;
  GetSel(start, end);
  m_restoring = true;
  SetWindowText(m_lastValid);
  m_restoring = false;
  const int caret = std::max(0, start + (m_lastValid.GetLength() - text.GetLength()));
  SendMessage(EM_SETSEL, WPARAM(caret), LPARAM(caret));
  SendMessage(EM_SCROLLCARET);
}

// ---- CSxGroupBox ----

BEGIN_MESSAGE_MAP(CSxGroupBox, CButton)
ON_WM_PAINT()
ON_WM_SIZE()
ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

CSxGroupBox::CSxGroupBox()
    : m_frameColor(GetSysColor(COLOR_BTNSHADOW)),
      m_frameColor2(GetSysColor(COLOR_BTNHIGHLIGHT)),
      m_shadowColor(GetSysColor(COLOR_BTNSHADOW)),
      m_highlightColor(GetSysColor(COLOR_BTNHIGHLIGHT)) {
  m_captionFont.CreateFont(10, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 3, 2, 2, 0, u"MS Sans Serif");
}

void CSxGroupBox::PreSubclassWindow() {
  ModifyStyle(0, WS_CLIPSIBLINGS);
  const DWORD align = GetStyle() & BS_CENTER_ALIGN;
  m_align = align == BS_CENTER_ALIGN ? 0x300 : align == BS_RIGHT_ALIGN ? 0x200 : 0x100;
  ComputeFrameRect();
  m_bCaptionHidden = (GetExStyle() & 0xC0) ? 1 : 0;
  GetWindowText(m_caption);
  SetWindowText(u"");
  // The controls inside the group draw over it.
  ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  CButton::PreSubclassWindow();
}

void CSxGroupBox::ComputeFrameRect() {
  RECT r{};
  GetWindowRect(&r);
  ScreenToClient(&r);
  const DWORD ex = GetExStyle();
  const int cxEdge = GetSystemMetrics(SM_CXEDGE), cyEdge = GetSystemMetrics(SM_CYEDGE);
  if (ex & WS_EX_DLGMODALFRAME) {
    InflateRect(&r, -2 * cxEdge, -2 * cyEdge);
    r.left += 1;
  }
  if (ex & WS_EX_CLIENTEDGE) {
    InflateRect(&r, -(cxEdge + 1), -(cyEdge + 1));
    r.left += 1;
    if (ex & WS_EX_DLGMODALFRAME) r.right += 1;
  }
  if (ex & WS_EX_STATICEDGE) {
    InflateRect(&r, -2 * GetSystemMetrics(SM_CXBORDER), -2 * GetSystemMetrics(SM_CYBORDER));
    r.left += 1;
  }
  m_frame = r;
}

void CSxGroupBox::OnSize(UINT, int, int) {
  Default();
  ComputeFrameRect();
}

HBRUSH CSxGroupBox::CtlColor(CDC*, UINT) {
  if (HWND parent = ::GetParent(m_hWnd)) ::InvalidateRect(parent, nullptr, TRUE);
  return nullptr;
}

void CSxGroupBox::OnPaint() {
  CString text;
  GetWindowText(text);
  if (!text.IsEmpty()) {
    m_caption = text;
    SetWindowText(u"");
  }
  CPaintDC dc(this);
  const int saved = dc.SaveDC();
  CopyParentBackground(&dc, this);
  const CString caption = m_caption.IsEmpty() ? CString() : u" " + m_caption + u" ";
  const int h0 = dc.GetTextExtent(caption).cy;
  dc.SelectObject(&m_captionFont);
  const SIZE ext = dc.GetTextExtent(caption);
  const int L0 = m_frame.left, T0 = m_frame.top, R0 = m_frame.right;
  const int y = caption.IsEmpty() ? T0 : T0 + h0 / 2 - 1;
  int x = L0 + m_margin;
  if (m_align == 0x200) x = R0 - m_margin - ext.cx;
  else if (m_align == 0x300) x = L0 + (R0 - L0 - ext.cx) / 2;
  const int e = x + ext.cx;
  const int L = L0 + 1, R = R0 - 1, B = m_frame.bottom - 1;
  const bool enabled = IsWindowEnabled();
  LOGBRUSH lb{BS_SOLID, enabled ? m_frameColor : m_shadowColor, 0};
  CPen pen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE, m_penWidth, &lb);
  dc.SelectObject(&pen);
  if (m_frameStyle == 0x8000) {
    const POINT pts[] = {{x, y},     {L + 2, y}, {L, y + 2},     {L, B - 2}, {L + 2, B},
                         {R - 2, B}, {R, B - 2}, {R, y + 2}, {R - 2, y}, {e, y}};
    dc.Polyline(pts, int(sizeof pts / sizeof pts[0]));
  }
  if (!caption.IsEmpty() && !m_bCaptionHidden) {
    dc.SetTextColor(m_captionColor);
    dc.SetBkMode(TRANSPARENT);
    if (enabled) {
      RECT r{x, y - m_raise, e, y};
      dc.DrawText(caption, &r, DT_SINGLELINE | DT_VCENTER | DT_NOCLIP);
    } else {
      dc.DrawState(POINT{x, y - ext.cy / 2}, ext, caption.GetString(), DSS_DISABLED, TRUE, caption.GetLength());
    }
  }
  dc.RestoreDC(saved);
}
