#include "skin/splash.h"

#include "app/settings.h"
#include "platform/afx/afxmsg.h"
#include "platform/hooks.h"
#include "skin/skindraw.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/wndhelpers.h"

int32_t SplashEnabled = 0;
CSplashWnd* SplashWindow = nullptr;
uint32_t SplashCountdown = 0;
int32_t SplashPaused = 0;

namespace {

SplashPlaceHandler g_place = nullptr;

void PlaceMain(CWnd* main) {
  if (g_place) g_place(main, 1);
}

constexpr int FF_SWISS = 0x20;

}  // namespace

void SetSplashPlaceHandler(SplashPlaceHandler h) { g_place = h; }

BEGIN_MESSAGE_MAP(CSplashWnd, CWnd)
ON_WM_CREATE()
ON_WM_PAINT()
ON_WM_TIMER()
ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CSplashWnd::~CSplashWnd() {
  if (SplashWindow == this) SplashWindow = nullptr;
}

void CSplashWnd::PostNcDestroy() { delete this; }

bool CSplashWnd::CreateAndShow(CWnd* parent) {
  if (SplashWindow) return false;
  if (!SplashEnabled) {
    PlaceMain(parent);
    return false;
  }
  auto* w = new CSplashWnd;
  w->m_pMain = parent;
  SplashCountdown = 30;
  SplashWindow = w;
  const SkinImageData* img = FindSkinImage(u"Other/Splash.bmp");
  BITMAP bm{};
  const bool picture = img && BmpBytesToBitmap(w->m_bitmap, img->bytes, img->length) &&
                       w->m_bitmap.GetBitmap(&bm) == int(sizeof bm);
  if (!picture || !w->CreateEx(0, AfxRegisterWndClass(0, LoadCursorW(nullptr, IDC_ARROW)), u"", WS_POPUP | WS_VISIBLE,
                               RECT{0, 0, bm.bmWidth, bm.bmHeight}, parent, 0)) {
    delete w;
    PlaceMain(parent);
    return false;
  }
  w->UpdateWindow();
  return true;
}

int CSplashWnd::OnCreate(CREATESTRUCTW*) {
  const int r = int(Default());
  // Centred on a visible owner, else on the screen: the main window waits hidden and unsized.
  HWND owner = ::GetOwner(m_hWnd);
  RECT area{}, me{};
  if (!owner || !::IsWindowVisible(owner) || !::GetWindowRect(owner, &area) || IsRectEmpty(&area)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  GetWindowRect(&me);
  const int w = me.right - me.left, h = me.bottom - me.top;
  ::SetWindowPos(m_hWnd, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetTimer(1, 100, nullptr);
  return r;
}

void CSplashWnd::OnPaint() {
  CPaintDC dc(this);
  BITMAP bm{};
  m_bitmap.GetBitmap(&bm);
  HDC mem = ::CreateCompatibleDC(dc.m_hDC);
  HGDIOBJ old = ::SelectObject(mem, m_bitmap.m_hObject);
  ::BitBlt(dc.m_hDC, 0, 0, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
  ::SelectObject(mem, old);
  ::DeleteDC(mem);
  HFONT font = CreateFontW(36, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, GetSkinFontFace().GetString());
  ScopedSelect sel(dc.m_hDC, font, true);
  dc.SetTextColor(RGB(255, 248, 61));
  dc.SetBkMode(TRANSPARENT);
  CString digit = FormatCString(u"%u", SplashCountdown / 10);
  RECT box = m_box;
  dc.DrawText(digit, &box, DT_VCENTER | DT_SINGLELINE);
}

void CSplashWnd::OnTimer(UINT_PTR id) {
  if (id != 1) return;
  if (!m_bFirstTick) {
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    m_bFirstTick = 1;
  }
  if (SplashCountdown == 0) {
    // Destroying the window deletes this object: what comes after uses locals only.
    CWnd* main = m_pMain;
    DestroyWindow();
    PlaceMain(main);
    return;
  }
  if (SplashPaused) return;
  --SplashCountdown;
  if (SplashCountdown % 10 == 0) ::InvalidateRect(m_hWnd, &m_box, TRUE);
}

void CSplashWnd::OnLButtonDown(UINT, CPoint pt) {
  if (PtInRect(&m_box, pt)) {
    SplashCountdown = 0;
  } else if (PtInRect(&m_link, pt)) {
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const CString url = GetSoftCfg(u"HelpSoft");
    if (!url.IsEmpty()) ShellOpen(url);
  }
  Default();
}

BOOL SplashPreTranslateMessage(const MSG* msg) {
  if (!SplashWindow || !msg || msg->message != WM_KEYDOWN) return FALSE;
  if (msg->wParam == VK_ESCAPE) SplashCountdown = 0;
  else if (msg->wParam == VK_SPACE) SplashPaused = SplashPaused ? 0 : 1;
  return TRUE;
}
