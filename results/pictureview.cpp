#include "results/pictureview.h"

#include "base/imagedraw/imagedraw.h"
#include "base/memstream.h"
#include "core/filetypetable.h"
#include "core/preview/previewtypes.h"
#include "platform/afx/afxmsg.h"
#include "skin/skinfonts.h"

namespace {

constexpr COLORREF kFrameColor = RGB(0xCA, 0xCC, 0xCF);
constexpr int FF_SWISS = 0x20;

// GIF, PSD and the photo formats skip the stream decoder: they go straight to their own.
bool FormatDecoderOnly(uint32_t code) { return code == 45 || code == 47 || (code <= 0xFF && IsPhotoType(int32_t(code))); }

}  // namespace

RECT FitPictureRect(int w, int h, int W, int H) {
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0) return RECT{0, 0, 0, 0};
  if (W < w || H < h) {
    const double rw = double(w) / W, rh = double(h) / H;
    if (rw >= rh) {
      const int sh = int(h / rw);
      const int y = int((H - h / rw) / 2);
      return RECT{0, y, W, y + sh};
    }
    const int sw = int(w / rh);
    const int x = int((W - w / rh) / 2);
    return RECT{x, 0, x + sw, H};
  }
  const int x = (W - w) / 2, y = (H - h) / 2;
  return RECT{x, y, x + w, y + h};
}

BEGIN_MESSAGE_MAP(CPicWnd, CWnd)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

void CPicWnd::LoadImage(const uint8_t* bytes, uint32_t count, uint32_t code) {
  if (!bytes || count == 0) return;
  m_image.Destroy();
  m_lastDecoder = 0;
  if (!FormatDecoderOnly(code)) {
    CStream stream(bytes, count);
    if (m_image.DecodeFromStream(&stream, kImageUnknown) && m_image.GetWidth() > 0 && m_image.GetHeight() > 0) {
      m_lastDecoder = 1;
      if (m_hWnd) Invalidate(TRUE);
      return;
    }
    m_image.Destroy();
  }
  if (m_image.DecodeFromMemory(bytes, count, CategoryToImageType(code))) {
    m_lastDecoder = 2;
    if (m_hWnd) Invalidate(TRUE);
  }
}

void CPicWnd::OnPaint() {
  CPaintDC dc(this);
  RECT rc{};
  GetClientRect(&rc);
  const int W = rc.right, H = rc.bottom;
  if (W <= 0 || H <= 0) return;
  CDC mem;
  CBitmap bm;
  if (!mem.CreateCompatibleDC(&dc) || !bm.CreateCompatibleBitmap(&dc, W, H)) return;
  CBitmap* oldBm = mem.SelectObject(&bm);
  mem.FillSolidRect(&rc, RGB(255, 255, 255));
  if (m_image.IsValid()) {
    // A picture without area has no size to scale to: nothing is drawn.
    const RECT at = FitPictureRect(int(m_image.GetWidth()), int(m_image.GetHeight()), W, H);
    if (at.right > at.left && at.bottom > at.top) {
      SetStretchBltMode(mem.m_hDC, HALFTONE);
      DrawImage(mem.m_hDC, m_image, at.left, at.top, at.right - at.left, at.bottom - at.top);
    }
  }
  if (!m_caption.IsEmpty()) {
    CFont font;
    font.CreateFont(18, 0, 0, 0, 400, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, FF_SWISS, GetSkinFontFace().GetString());
    CFont* oldFont = mem.SelectObject(&font);
    mem.SetBkMode(TRANSPARENT);
    RECT tr{10, 10, W - 10, 100};
    mem.DrawText(m_caption, &tr, DT_END_ELLIPSIS | DT_NOPREFIX);
    mem.SelectObject(oldFont);
  }
  dc.BitBlt(0, 0, W, H, &mem, 0, 0, SRCCOPY);
  mem.SelectObject(oldBm);
  CBrush frame(kFrameColor);
  dc.FrameRect(&rc, &frame);
  CPen white(PS_SOLID, 1, RGB(255, 255, 255));
  CPen* oldPen = dc.SelectObject(&white);
  dc.MoveTo(121, 0);
  dc.LineTo(219, 0);
  dc.SelectObject(oldPen);
}

void CPicWnd::OnLButtonDown(UINT, CPoint) { SetFocus(); }
