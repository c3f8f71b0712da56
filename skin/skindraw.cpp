#include "skin/skindraw.h"

#include <algorithm>
#include <vector>

#include "platform/paint/resstore.h"
#include "skin/skinimages.h"
#include "skin/wndhelpers.h"

namespace {

// A 24-bit bottom-up DIB section of the size, as every skin-owned bitmap is.
HBITMAP CreateDib24(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

// ---- CBitmapDC ----

CBitmapDC::~CBitmapDC() { Release(); }

void CBitmapDC::Release() {
  if (m_hDC && m_pOldBitmap) SelectObject(m_pOldBitmap);
  m_pOldBitmap = nullptr;
  m_bitmap.DeleteObject();
  if (m_hDC) DeleteDC();
  m_bm = BITMAP{};
  m_bEmpty = 1;
}

bool CBitmapDC::AttachOwnBitmap(HBITMAP bm) {
  if (!bm) return false;
  if (!m_bitmap.Attach(bm)) {
    ::DeleteObject(bm);
    return false;
  }
  if (m_bitmap.GetBitmap(&m_bm) != int(sizeof(BITMAP)) || !CreateCompatibleDC(nullptr)) {
    Release();
    return false;
  }
  m_pOldBitmap = SelectObject(&m_bitmap);
  if (!m_pOldBitmap) {
    Release();
    return false;
  }
  m_bEmpty = 0;
  return true;
}

bool CBitmapDC::Create(int width, int height) {
  Release();
  return AttachOwnBitmap(CreateDib24(width, height));
}

bool CBitmapDC::LoadFromResource(UINT id) {
  if (id == 0) return false;
  Release();
  HBITMAP res = LoadBitmapW(nullptr, ResourceIdName(id));
  if (!res) return false;
  BITMAP info{};
  bool ok = GetObjectW(res, sizeof info, &info) == int(sizeof info) && Create(info.bmWidth, info.bmHeight);
  if (ok) {
    HDC src = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = src ? ::SelectObject(src, res) : nullptr;
    ok = old && BitBlt(0, 0, info.bmWidth, info.bmHeight, AfxDcFromHandle(src), 0, 0, SRCCOPY);
    if (old) ::SelectObject(src, old);
    if (src) ::DeleteDC(src);
    if (!ok) Release();
  }
  ::DeleteObject(res);
  return ok;
}

bool CBitmapDC::LoadFromImage(const SkinImageData* image) {
  if (!image) return false;
  Release();
  CBitmap bm;
  if (!BmpBytesToBitmap(bm, image->bytes, image->length) || !bm.m_hObject) return false;
  return AttachOwnBitmap(static_cast<HBITMAP>(bm.Detach()));
}

// ---- CStretchDC ----

CStretchDC::~CStretchDC() { Release(); }

void CStretchDC::Release() {
  if (m_hDC && m_pOldTarget) SelectObject(m_pOldTarget);
  m_pOldTarget = nullptr;
  m_target.DeleteObject();
  if (m_hDC) DeleteDC();
  m_targetBm = BITMAP{};
  m_bTargetEmpty = 1;
}

void CStretchDC::SetMargins() {
  const int mw = (m_source.Width() - 1) / 2, mh = (m_source.Height() - 1) / 2;
  for (int i = 0; i < 4; ++i) m_cornerW[i] = mw, m_cornerH[i] = mh;
  m_edge[0] = m_edge[1] = mh;
  m_edge[2] = m_edge[3] = mw;
}

bool CStretchDC::SetBitmapResource(UINT id) {
  Release();
  if (!m_source.LoadFromResource(id)) return false;
  SetMargins();
  return true;
}

bool CStretchDC::SetSkinImage(const SkinImageData* image) {
  if (!image) return false;
  Release();
  if (!m_source.LoadFromImage(image)) return false;
  SetMargins();
  return true;
}

bool CStretchDC::CreateTarget(int width, int height) {
  Release();
  HBITMAP bm = CreateDib24(width, height);
  if (!bm) return false;
  m_target.Attach(bm);
  if (m_target.GetBitmap(&m_targetBm) != int(sizeof(BITMAP)) || !CreateCompatibleDC(nullptr)) {
    Release();
    return false;
  }
  m_pOldTarget = SelectObject(&m_target);
  m_bTargetEmpty = 0;
  return true;
}

bool CStretchDC::Stretch(int W, int H) {
  Release();
  if ((W == 0 && H == 0) || m_source.m_bEmpty) return false;
  if (!CreateTarget(W, H)) {
    m_bTargetEmpty = 1;
    return false;
  }
  SetStretchBltMode(HALFTONE);
  CDC* s = &m_source;
  const int w = m_source.Width(), h = m_source.Height();
  const int T = m_edge[0], B = m_edge[1], L = m_edge[2], R = m_edge[3];
  const int tlw = m_cornerW[0], trw = m_cornerW[1], blw = m_cornerW[2], brw = m_cornerW[3];
  const int tlh = m_cornerH[0], blh = m_cornerH[1], trh = m_cornerH[2], brh = m_cornerH[3];
  // A target smaller than two corners would give the middle pieces negative extents, which a
  // stretch turns into a mirror image; they get no room instead.
  auto ext = [](int v) { return std::max(0, v); };
  if (m_bDrawCenter) StretchBlt(L, T, ext(W - L - R), ext(H - T - B), s, L, T, ext(w - L - R), ext(h - T - B), SRCCOPY);
  StretchBlt(0, tlh, L, ext(H - tlh - blh), s, 0, tlh, L, ext(h - tlh - blh), SRCCOPY);
  StretchBlt(W - R, trh, R, ext(H - trh - brh), s, w - R, trh, R, ext(h - trh - brh), SRCCOPY);
  StretchBlt(blw, H - B, ext(W - blw - brw), B, s, blw, h - B, ext(w - blw - brw), B, SRCCOPY);
  BitBlt(0, H - blh, blw, blh, s, 0, h - blh, SRCCOPY);
  BitBlt(W - brw, H - brh, brw, brh, s, w - brw, h - brh, SRCCOPY);
  StretchBlt(tlw, 0, ext(W - tlw - trw), T, s, tlw, 0, ext(w - tlw - trw), T, SRCCOPY);
  BitBlt(0, 0, tlw, tlh, s, 0, 0, SRCCOPY);
  BitBlt(W - trw, 0, trw, trh, s, w - trw, 0, SRCCOPY);
  m_bTargetEmpty = 0;
  return true;
}

// ---- Regions, backgrounds, fonts ----

HRGN CreateRegionFromBitmap(HBITMAP bitmap, COLORREF key) {
  if (!bitmap) return nullptr;
  BITMAP info{};
  if (GetObjectW(bitmap, sizeof info, &info) != int(sizeof info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
    return nullptr;
  }
  HDC ic = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
  if (!ic) return nullptr;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bool ok = GetDIBits(ic, bitmap, 0, UINT(info.bmHeight), nullptr, &bmi, DIB_RGB_COLORS) != 0;
  // Whatever depth the bitmap has, its rows are read as 24-bit colours, so every key
  // comparison is the same three bytes.
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  bmi.bmiHeader.biHeight = info.bmHeight;  // bottom-up
  const size_t stride = (size_t(info.bmWidth) * 3 + 3) & ~size_t(3);
  bmi.bmiHeader.biSizeImage = DWORD(stride * size_t(info.bmHeight));
  std::vector<uint8_t> rows;
  if (ok) {
    rows.resize(size_t(bmi.bmiHeader.biSizeImage) + 1);
    ok = GetDIBits(ic, bitmap, 0, UINT(info.bmHeight), rows.data(), &bmi, DIB_RGB_COLORS) != 0;
  }
  DeleteDC(ic);
  if (!ok) return nullptr;
  const uint8_t kb = GetBValue(key), kg = GetGValue(key), kr = GetRValue(key);
  std::vector<RECT> rects;
  rects.reserve(size_t(info.bmHeight));
  for (int y = 0; y < info.bmHeight; ++y) {
    // Rows are bottom-up in memory: image row 0 is the last one.
    const uint8_t* row = rows.data() + size_t(info.bmHeight - 1 - y) * stride;
    int x = 0;
    while (x < info.bmWidth) {
      while (x < info.bmWidth && row[3 * x] == kb && row[3 * x + 1] == kg && row[3 * x + 2] == kr) ++x;
      const int x0 = x;
      while (x < info.bmWidth && !(row[3 * x] == kb && row[3 * x + 1] == kg && row[3 * x + 2] == kr)) ++x;
      if (x > x0) rects.push_back(RECT{x0, y, x, y + 1});
    }
  }
  std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  RGNDATAHEADER hdr{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(rects.size()), 0, RECT{0, 0, 0, 0}};
  std::copy_n(reinterpret_cast<const uint8_t*>(&hdr), sizeof hdr, data.begin());
  if (!rects.empty()) {
    std::copy_n(reinterpret_cast<const uint8_t*>(rects.data()), rects.size() * sizeof(RECT),
                data.begin() + sizeof(RGNDATAHEADER));
  }
  return ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
}

bool CopyParentBackground(HDC dc, HWND control) {
  if (!dc || !control) return false;
  auto* skin = dynamic_cast<CSkinBase*>(CWnd::FromHandlePermanent(::GetParent(control)));
  if (!skin) return false;
  CDC* back = skin->GetBackgroundDC();
  if (!back || !back->m_hDC) return false;
  RECT r{};
  ::GetWindowRect(control, &r);
  HWND parent = ::GetParent(control);
  ::ScreenToClient(parent, reinterpret_cast<POINT*>(&r.left));
  ::ScreenToClient(parent, reinterpret_cast<POINT*>(&r.right));
  return ::BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, back->m_hDC, r.left, r.top, SRCCOPY) != FALSE;
}

bool CopyParentBackground(CDC* dc, CWnd* control) {
  return dc && control && CopyParentBackground(dc->m_hDC, control->m_hWnd);
}

bool CopyFontObject(CFont* source, CFont** font) {
  if (!font) return false;
  delete *font;
  *font = nullptr;
  if (!source) return true;
  LOGFONTW lf{};
  if (source->GetLogFont(&lf) != int(sizeof lf)) return false;
  auto* copy = new CFont;
  if (!copy->CreateFontIndirect(&lf)) {
    delete copy;
    return false;
  }
  *font = copy;
  return true;
}
