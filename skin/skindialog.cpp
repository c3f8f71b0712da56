#include "skin/skindialog.h"

#include <cstdlib>

#include "platform/afx/afxmsg.h"
#include "platform/paint/resstore.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/skintheme.h"

namespace {

constexpr int FF_SWISS = 0x20;
constexpr BYTE kProofQuality = 2;

// The hidden title of Ctrl+P / Ctrl+F1, kept scrambled so it does not show in the binary.
CString HiddenTitle() {
  static const unsigned char kBytes[] = {0x11, 0x3f, 0x29, 0x2e, 0x28, 0x3f, 0x36, 0x7a, 0x3e, 0x3b, 0x2e, 0x3b, 0x7a, 0x28, 0x3f, 0x39, 0x35, 0x2c, 0x3f, 0x28, 0x23};
  CString out;
  for (unsigned char b : kBytes) out += char16_t(b ^ 0x5A);
  return out;
}

HCURSOR CursorForBand(int band) {
  switch (band) {
    case WMSZ_TOPLEFT:
    case WMSZ_BOTTOMRIGHT: return LoadCursorW(nullptr, IDC_SIZENWSE);
    case WMSZ_TOPRIGHT:
    case WMSZ_BOTTOMLEFT: return LoadCursorW(nullptr, IDC_SIZENESW);
    case WMSZ_LEFT:
    case WMSZ_RIGHT: return LoadCursorW(nullptr, IDC_SIZEWE);
    case WMSZ_TOP:
    case WMSZ_BOTTOM: return LoadCursorW(nullptr, IDC_SIZENS);
    default: return nullptr;
  }
}

LPARAM ScreenPoint(HWND h, CPoint pt) {
  POINT p = pt;
  ::ClientToScreen(h, &p);
  return MAKELPARAM(p.x, p.y);
}

void FillMinMax(MINMAXINFO* mmi, CSize minTrack) {
  if (!mmi) return;
  mmi->ptMinTrackSize = POINT{minTrack.cx, minTrack.cy};
  RECT work{};
  if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    mmi->ptMaxPosition = POINT{work.left, work.top};
    mmi->ptMaxSize = POINT{work.right - work.left, work.bottom - work.top};
  }
}

}  // namespace

int SkinSizingBand(int x, int y, int W, int H) {
  auto near = [](int v, int edge, int d) { return std::abs(v - edge) <= d; };
  if (near(x, W, 7) && near(y, H, 7)) return WMSZ_BOTTOMRIGHT;
  if (near(x, 0, 7) && near(y, 0, 7)) return WMSZ_TOPLEFT;
  if (near(x, W, 7) && near(y, 0, 7)) return WMSZ_TOPRIGHT;
  if (near(x, 0, 7) && near(y, H, 7)) return WMSZ_BOTTOMLEFT;
  if (near(x, W, 4)) return WMSZ_RIGHT;
  if (near(y, H, 4)) return WMSZ_BOTTOM;
  if (near(x, 0, 4)) return WMSZ_LEFT;
  if (near(y, 0, 4)) return WMSZ_TOP;
  return 0;
}

// ---- CSkinDialogEx ----

BEGIN_MESSAGE_MAP(CSkinDialogEx, CDialog)
ON_BN_CLICKED(IDC_SKIN_CLOSE, OnCloseButton)
ON_BN_CLICKED(IDC_SKIN_MAX, OnMaximizeButton)
ON_BN_CLICKED(IDC_SKIN_MIN, OnMinimizeButton)
ON_BN_CLICKED(IDC_SKIN_MENU, OnMenuButton)
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONDBLCLK()
ON_WM_SIZE()
ON_WM_GETMINMAXINFO()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

CSkinDialogEx::CSkinDialogEx(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {
  m_nullBrush.CreateStockObject(NULL_BRUSH);
  CreateSkinFont(u"GuideBtn", &m_titleFont);
  m_titleFontHeight = GetSkinFontHeight(u"GuideBtn");
}

CSkinDialogEx::~CSkinDialogEx() {
  m_background.Release();  // the title font may still be selected into it
  if (m_hTitleIcon) DestroyIcon(m_hTitleIcon);
}

BOOL CSkinDialogEx::OnInitDialog() {
  CDialog::OnInitDialog();
  const DWORD shown = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_OWNERDRAW;
  const RECT none{0, 0, 0, 0};
  if (!m_btnClose.Create(u"", shown, none, this, IDC_SKIN_CLOSE) || !m_btnMax.Create(u"", shown, none, this, IDC_SKIN_MAX) ||
      !m_btnMin.Create(u"", shown, none, this, IDC_SKIN_MIN) ||
      !m_btnMenu.Create(u"", shown & ~WS_VISIBLE, none, this, IDC_SKIN_MENU)) {
    OnCancel();
    return TRUE;
  }
  const DWORD style = GetStyle();
  m_bResizable = (style & WS_THICKFRAME) ? 1 : 0;
  LayoutCaptionButtons();
  DWORD now = (style & (WS_VISIBLE | WS_SYSMENU)) | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (style & WS_MINIMIZEBOX) now |= WS_MINIMIZEBOX;
  else m_btnMin.ShowWindow(SW_HIDE);
  if (style & WS_MAXIMIZEBOX) now |= WS_MAXIMIZEBOX;
  else m_btnMax.ShowWindow(SW_HIDE);
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, LONG_PTR(now));
  SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, 0);
  // Caption and frame are gone: the client area becomes the whole window.
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  CString text;
  GetWindowText(text);
  SetTitle(text);
  m_tooltip.Create(this);
  LoadSkin();
  m_bBackReady = 0;
  return TRUE;
}

BOOL CSkinDialogEx::PreTranslateMessage(MSG* msg) {
  m_tooltip.RelayEvent(msg);
  if (msg->message == WM_KEYDOWN && (msg->wParam == 'P' || msg->wParam == VK_F1) && (GetKeyState(VK_CONTROL) & 0x8000)) {
    m_title = HiddenTitle();
    m_bBackReady = 0;
    InvalidateNoErase();
  }
  return CDialog::PreTranslateMessage(msg);
}

void CSkinDialogEx::SetTitle(const CString& text) {
  m_title = text;
  SetWindowText(text);
  m_bBackReady = 0;
  InvalidateNoErase();
}

BOOL CSkinDialogEx::SetAppIcon() {
  if (m_hTitleIcon) DestroyIcon(m_hTitleIcon);
  m_hTitleIcon = static_cast<HICON>(LoadImageW(nullptr, ResourceIdName(128), IMAGE_ICON, 16, 16, 0));
  if (!m_hTitleIcon) return 0;
  if (m_titleX == 10) m_titleX = 28;
  m_bBackReady = 0;
  InvalidateNoErase();
  return 1;
}

void CSkinDialogEx::LoadSkin() {
  if (!m_hWnd) return;
  m_titleColor = SkinTheme.captionText;
  m_bBackReady = 0;
  InvalidateNoErase();
  m_keyColor = SkinTheme.keyColor;
  UpdateWindowRegion();
  m_captionRight = SkinTheme.captionRight;
  m_captionTop = SkinTheme.captionTop;
  LayoutCaptionButtons();
  if (m_background.SetSkinImage(FindSkinImage(u"Dlg/ChildDlg.bmp"))) {
    m_bBackReady = 0;
    InvalidateNoErase();
    UpdateWindowRegion();
  }
  const SkinImageData* closeN = FindSkinImage(u"Dlg/CloseNormal.bmp");
  const SkinImageData* closeM = FindSkinImage(u"Dlg/CloseMove.bmp");
  const SkinImageData* maxN = FindSkinImage(u"Dlg/MaxNormal.bmp");
  const SkinImageData* maxM = FindSkinImage(u"Dlg/MaxMove.bmp");
  const SkinImageData* minN = FindSkinImage(u"Dlg/MinNormal.bmp");
  const SkinImageData* minM = FindSkinImage(u"Dlg/MinMove.bmp");
  const SkinImageData* menuN = FindSkinImage(u"Dlg/MenuNormal.bmp");
  const SkinImageData* menuM = FindSkinImage(u"Dlg/MenuMove.bmp");
  if (!closeN || !closeM || !FindSkinImage(u"Dlg/CloseDown.bmp") || !maxN || !maxM ||
      !FindSkinImage(u"Dlg/MaxDown.bmp") || !minN || !minM || !FindSkinImage(u"Dlg/MinDown.bmp")) {
    return;
  }
  if (!m_btnClose.SetSkinImages(closeN, closeM)) m_btnClose.ShowWindow(SW_HIDE);
  if (!m_btnMax.SetSkinImages(maxN, maxM)) m_btnMax.ShowWindow(SW_HIDE);
  if (!m_btnMin.SetSkinImages(minN, minM)) m_btnMin.ShowWindow(SW_HIDE);
  if (!menuN || !m_btnMenu.SetSkinImages(menuN, menuM)) m_btnMenu.ShowWindow(SW_HIDE);
  CBmpButton* buttons[4] = {&m_btnClose, &m_btnMax, &m_btnMin, &m_btnMenu};
  for (int i = 0; i < 4; ++i) buttons[i]->GetClientRect(&m_rcButtons[i]);
  LayoutCaptionButtons();
}

void CSkinDialogEx::LayoutCaptionButtons() {
  if (!m_hWnd || !m_btnClose.m_hWnd) return;
  RECT rc{};
  GetClientRect(&rc);
  auto width = [](CWnd& b) {
    RECT r{};
    b.GetWindowRect(&r);
    return int(r.right - r.left);
  };
  const UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
  const int y = m_captionTop + 1;
  int x = rc.right - 1 - m_captionRight - width(m_btnClose);
  m_btnClose.SetWindowPos(nullptr, x, y, 0, 0, flags);
  x -= width(m_btnMax);
  m_btnMax.SetWindowPos(nullptr, x, y, 0, 0, flags);
  if (m_bResizable) x -= width(m_btnMax);
  m_btnMin.SetWindowPos(nullptr, x, y, 0, 0, flags);
  m_btnMenu.SetWindowPos(nullptr, x - width(m_btnMin), y, 0, 0, flags);
}

void CSkinDialogEx::RenderBackground() {
  if (m_bBackReady || !m_hWnd) return;
  RECT rc{};
  GetClientRect(&rc);
  if (!m_background.Stretch(rc.right, rc.bottom)) return;
  CDC& dc = m_background;
  CFont* oldFont = dc.SelectObject(&m_titleFont);
  dc.SetTextColor(m_titleColor);
  dc.SetBkMode(TRANSPARENT);
  if (m_hTitleIcon) DrawIconEx(dc.m_hDC, m_iconX, m_iconY, m_hTitleIcon, 16, 16, 0, nullptr, DI_NORMAL);
  if (!m_title.IsEmpty()) {
    if (m_titleFontHeight <= 34) m_titleY = (35 - m_titleFontHeight) / 2;
    dc.TextOut(m_titleX, m_titleY, m_title);
  }
  OnDrawBackground(&dc);
  // The title font goes with the dialog; the background DC must not keep it.
  if (oldFont) dc.SelectObject(oldFont);
  m_bBackReady = 1;
  OnBackgroundReady();
}

CDC* CSkinDialogEx::GetBackgroundDC() {
  RenderBackground();
  return &m_background;
}

void CSkinDialogEx::UpdateWindowRegion() {
  if (!m_hWnd) return;
  RenderBackground();
  if (m_background.m_bTargetEmpty) return;
  if (HRGN rgn = CreateRegionFromBitmap(m_background.m_target, m_keyColor)) ::SetWindowRgn(m_hWnd, rgn, TRUE);
}

void CSkinDialogEx::OnCloseButton() { SendMessage(WM_CLOSE); }

void CSkinDialogEx::OnMaximizeButton() {
  if (!m_bResizable) return;
  if (IsZoomed()) SendMessage(WM_SYSCOMMAND, SC_RESTORE);
  else ShowWindow(SW_MAXIMIZE);
}

void CSkinDialogEx::OnMinimizeButton() { SendMessage(WM_SYSCOMMAND, SC_MINIMIZE); }

void CSkinDialogEx::OnMenuButton() { SendMessage(WM_SKIN_CAPTION_MENU); }

void CSkinDialogEx::OnLButtonDown(UINT, CPoint pt) {
  if (IsZoomed()) {
    Default();
    return;
  }
  if (!m_bResizable) {
    SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, ScreenPoint(m_hWnd, pt));
    Default();
    return;
  }
  RECT rc{};
  GetClientRect(&rc);
  const int band = SkinSizingBand(pt.x, pt.y, rc.right, rc.bottom);
  if (band) {
    ::SetCursor(CursorForBand(band));
    SendMessage(WM_SYSCOMMAND, SC_SIZE + WPARAM(band), ScreenPoint(m_hWnd, pt));
  } else {
    SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, ScreenPoint(m_hWnd, pt));
  }
  Default();
}

void CSkinDialogEx::OnMouseMove(UINT, CPoint pt) {
  if (m_bResizable && !IsZoomed()) {
    RECT rc{};
    GetClientRect(&rc);
    if (HCURSOR c = CursorForBand(SkinSizingBand(pt.x, pt.y, rc.right, rc.bottom))) ::SetCursor(c);
  }
  Default();
}

void CSkinDialogEx::OnLButtonDblClk(UINT, CPoint pt) {
  if (m_bResizable && pt.y < 70) {
    SendMessage(WM_SYSCOMMAND, IsZoomed() ? SC_RESTORE : SC_MAXIMIZE, ScreenPoint(m_hWnd, pt));
  }
  Default();
}

void CSkinDialogEx::OnSize(UINT, int cx, int cy) {
  Default();
  if (m_btnClose.m_hWnd) LayoutCaptionButtons();
  OnSkinSize(cx, cy);
  m_bBackReady = 0;
  InvalidateNoErase();
  UpdateWindowRegion();
}

void CSkinDialogEx::OnGetMinMaxInfo(MINMAXINFO* mmi) { FillMinMax(mmi, m_minTrack); }

void CSkinDialogEx::OnPaint() {
  CPaintDC dc(this);
  RenderBackground();
  RECT rc{};
  GetClientRect(&rc);
  if (m_bBackReady) {
    dc.BitBlt(0, 0, rc.right, rc.bottom, &m_background, 0, 0, SRCCOPY);
  } else {
    // Without its skin picture the dialog still shows a plain face, never stale pixels.
    dc.FillSolidRect(&rc, GetSysColor(COLOR_BTNFACE));
  }
}

HBRUSH CSkinDialogEx::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
  if (ctlColor == CTLCOLOR_STATIC && wnd) {
    const CString cls = GetWindowClassName(wnd->m_hWnd);
    if (cls == u"Static" || cls == u"Button") {
      dc->SetBkMode(TRANSPARENT);
      return m_nullBrush;
    }
  }
  return CDialog::OnCtlColor(dc, wnd, ctlColor);
}

// ---- CSkinChildDialog ----

BEGIN_MESSAGE_MAP(CSkinChildDialog, CDialog)
ON_WM_PAINT()
ON_WM_SIZE()
ON_WM_GETMINMAXINFO()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CSkinChildDialog::CSkinChildDialog(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {
  m_textFont.CreateFont(15, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, kProofQuality, FF_SWISS, u"MS Shell Dlg");
}

CSkinChildDialog::~CSkinChildDialog() { m_back.Release(); }

BOOL CSkinChildDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  const DWORD style = GetStyle();
  SetWindowLongPtrW(m_hWnd, GWL_STYLE, LONG_PTR((style & (WS_CHILD | WS_VISIBLE)) | WS_CLIPCHILDREN | WS_CLIPSIBLINGS));
  SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, 0);
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  m_tooltip.Create(this);
  m_bBackReady = 0;
  return TRUE;
}

BOOL CSkinChildDialog::PreTranslateMessage(MSG* msg) {
  m_tooltip.RelayEvent(msg);
  return CDialog::PreTranslateMessage(msg);
}

void CSkinChildDialog::RenderBackground() {
  if (m_bBackReady || !m_hWnd) return;
  RECT rc{};
  GetClientRect(&rc);
  if (!m_back.Create(rc.right, rc.bottom)) return;
  if (!CopyParentBackground(&m_back, this)) m_back.FillSolidRect(&rc, GetSysColor(COLOR_BTNFACE));
  HFONT font = m_textFont.m_hObject ? HFONT(m_textFont) : reinterpret_cast<HFONT>(SendMessage(WM_GETFONT));
  HGDIOBJ old = font ? ::SelectObject(m_back.m_hDC, font) : nullptr;
  m_back.SetTextColor(m_textColor);
  m_back.SetBkMode(TRANSPARENT);
  OnDrawBackground(&m_back);
  if (old) ::SelectObject(m_back.m_hDC, old);
  m_bBackReady = 1;
  OnBackgroundReady();
}

CDC* CSkinChildDialog::GetBackgroundDC() {
  RenderBackground();
  return &m_back;
}

void CSkinChildDialog::OnPaint() {
  CPaintDC dc(this);
  RenderBackground();
  RECT rc{};
  GetClientRect(&rc);
  if (m_bBackReady) dc.BitBlt(0, 0, rc.right, rc.bottom, &m_back, 0, 0, SRCCOPY);
}

void CSkinChildDialog::OnSize(UINT, int cx, int cy) {
  Default();
  m_bBackReady = 0;
  ::InvalidateRect(m_hWnd, nullptr, FALSE);
  OnSkinSize(cx, cy);
}

void CSkinChildDialog::OnGetMinMaxInfo(MINMAXINFO* mmi) { FillMinMax(mmi, m_minTrack); }
