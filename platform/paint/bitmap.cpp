// Bitmaps: DIB sections, screen-compatible bitmaps, conversion from and to DIB rows, pixels.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"
#include "platform/paint/pixels.h"

namespace {

// Largest bitmap we make: 32768 pixels on a side and 1 GiB of pixels.
constexpr int kMaxSide = 32768;
constexpr size_t kMaxBytes = size_t(1) << 30;

int StrideFor(int width, int bpp) { return ((width * bpp + 31) / 32) * 4; }

}  // namespace

GdiBitmap* NewBitmap(int width, int height, int bpp, bool bottomUp, bool dibSection) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  if (bpp != 24 && bpp != 32) return nullptr;
  int stride = StrideFor(width, bpp);
  size_t bytes = size_t(stride) * size_t(height);
  if (bytes > kMaxBytes) return nullptr;
  auto* bm = new (std::nothrow) GdiBitmap;
  if (!bm) return nullptr;
  bm->store.reset(new (std::nothrow) uint8_t[bytes]());
  if (!bm->store) {
    delete bm;
    return nullptr;
  }
  bm->width = width;
  bm->height = height;
  bm->bpp = bpp;
  bm->stride = stride;
  bm->bottomUp = bottomUp;
  bm->dibSection = dibSection;
  bm->bits = bm->store.get();
  RegisterGdiObject(bm);
  return bm;
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* bmi, UINT usage, void** bits, HANDLE section, DWORD offset) {
  (void)offset;
  if (bits) *bits = nullptr;
  if (dc && !LiveDc(dc)) return nullptr;
  if (!bmi || usage != DIB_RGB_COLORS || section) return nullptr;
  const BITMAPINFOHEADER& h = bmi->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biCompression != BI_RGB) return nullptr;
  if (h.biHeight == 0 || h.biHeight == INT32_MIN) return nullptr;
  bool bottomUp = h.biHeight > 0;
  GdiBitmap* bm = NewBitmap(h.biWidth, bottomUp ? h.biHeight : -h.biHeight, h.biBitCount, bottomUp, true);
  if (bm && bits) *bits = bm->bits;
  return bm;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  if (!LiveDc(dc)) return nullptr;
  return NewBitmap(width, height, 32, false, false);
}

bool DibLayout::From(const BITMAPINFO* bmi, size_t headerBytes) {
  if (!bmi || headerBytes < sizeof(BITMAPINFOHEADER)) return false;
  std::memcpy(&h, bmi, sizeof h);  // the header may sit unaligned inside file bytes
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > headerBytes) return false;
  if (h.biWidth <= 0 || h.biWidth > kMaxSide || h.biHeight == 0 || h.biHeight == INT32_MIN) return false;
  width = h.biWidth;
  bottomUp = h.biHeight > 0;
  height = bottomUp ? h.biHeight : -h.biHeight;
  if (height > kMaxSide) return false;
  bpp = h.biBitCount;
  const uint8_t* after = reinterpret_cast<const uint8_t*>(bmi) + h.biSize;
  size_t left = headerBytes - h.biSize;
  masks[0] = 0xFF0000;
  masks[1] = 0x00FF00;
  masks[2] = 0x0000FF;
  if (h.biCompression == BI_BITFIELDS) {
    if (bpp != 16 && bpp != 32) return false;
    // The three masks follow a 40-byte header; larger headers carry them inside.
    const uint8_t* m = h.biSize == sizeof(BITMAPINFOHEADER) ? after : reinterpret_cast<const uint8_t*>(bmi) + 40;
    if (h.biSize == sizeof(BITMAPINFOHEADER)) {
      if (left < 12) return false;
      after += 12;
      left -= 12;
    } else if (h.biSize < 52) {
      return false;
    }
    std::memcpy(masks, m, 12);
  } else if (h.biCompression != BI_RGB) {
    return false;
  } else if (bpp == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (bpp <= 8) {
    size_t n = h.biClrUsed ? h.biClrUsed : (size_t(1) << bpp);
    if (n > (size_t(1) << bpp)) n = size_t(1) << bpp;
    if (n * 4 > left) return false;
    palette.assign(256, RGBQUAD{0, 0, 0, 0});
    std::memcpy(palette.data(), after, n * 4);
  }
  stride = size_t(((uint64_t(width) * bpp + 31) / 32) * 4);
  return true;
}

static int MaskShift(DWORD m) {
  int s = 0;
  while (m && !(m & 1)) {
    m >>= 1;
    ++s;
  }
  return s;
}
static BYTE MaskValue(DWORD px, DWORD m) {
  if (!m) return 0;
  int s = MaskShift(m);
  const uint64_t v = (px & m) >> s, max = m >> s;
  return BYTE(v * 255 / max);
}

void DibLayout::ToBitmap(const uint8_t* bits, GdiBitmap* dst) const {
  int w = std::min(width, dst->width), hgt = std::min(height, dst->height);
  for (int y = 0; y < hgt; ++y) {
    const uint8_t* s = bits + size_t(bottomUp ? height - 1 - y : y) * stride;
    uint8_t* d = dst->Row(y);
    int db = dst->Bytes();
    for (int x = 0; x < w; ++x, d += db) {
      BYTE r, g, b;
      switch (bpp) {
        case 1: case 4: case 8: {
          int idx;
          if (bpp == 8) {
            idx = s[x];
          } else if (bpp == 4) {
            idx = (s[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF;
          } else {
            idx = (s[x / 8] >> (7 - (x & 7))) & 1;
          }
          const RGBQUAD& q = palette[size_t(idx)];
          r = q.rgbRed;
          g = q.rgbGreen;
          b = q.rgbBlue;
          break;
        }
        case 16: {
          DWORD px = DWORD(s[2 * x]) | (DWORD(s[2 * x + 1]) << 8);
          r = MaskValue(px, masks[0]);
          g = MaskValue(px, masks[1]);
          b = MaskValue(px, masks[2]);
          break;
        }
        case 24:
          b = s[3 * x];
          g = s[3 * x + 1];
          r = s[3 * x + 2];
          break;
        default: {
          DWORD px;
          std::memcpy(&px, s + 4 * x, 4);
          if (h.biCompression == BI_BITFIELDS) {
            r = MaskValue(px, masks[0]);
            g = MaskValue(px, masks[1]);
            b = MaskValue(px, masks[2]);
          } else {
            b = s[4 * x];
            g = s[4 * x + 1];
            r = s[4 * x + 2];
          }
          if (db == 4) d[3] = s[4 * x + 3];
          break;
        }
      }
      d[0] = b;
      d[1] = g;
      d[2] = r;
    }
  }
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* bmi, UINT usage) {
  if (!LiveDc(dc) || !header || usage != DIB_RGB_COLORS) return nullptr;
  LONG hgt = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  if (header->biHeight == INT32_MIN) return nullptr;
  GdiBitmap* bm = NewBitmap(header->biWidth, hgt, 32, false, false);
  if (!bm || !(init & CBM_INIT)) return bm;
  DibLayout lay;
  // The caller vouches for a full colour table after the header, as the call has no length.
  if (!bits || !lay.From(bmi, sizeof(BITMAPINFOHEADER) + 12 + 256 * sizeof(RGBQUAD))) {
    DeleteObject(bm);
    return nullptr;
  }
  lay.ToBitmap(static_cast<const uint8_t*>(bits), bm);
  return bm;
}

int GetDIBits(HDC dc, HBITMAP h, UINT start, UINT lines, void* bits, BITMAPINFO* bmi, UINT usage) {
  GdiBitmap* bm = LiveGdi(h, GdiKind::Bitmap);
  if (!LiveDc(dc) || !bm || !bmi || usage != DIB_RGB_COLORS) return 0;
  BITMAPINFOHEADER& hd = bmi->bmiHeader;
  if (hd.biSize < sizeof(BITMAPINFOHEADER)) return 0;
  if (!bits) {
    if (hd.biBitCount == 0) {
      hd.biWidth = bm->width;
      hd.biHeight = bm->height;
      hd.biPlanes = 1;
      hd.biBitCount = WORD(bm->bpp);
      hd.biCompression = BI_RGB;
      hd.biClrUsed = 0;
      hd.biClrImportant = 0;
    }
    if (hd.biBitCount != 24 && hd.biBitCount != 32) return 0;
    hd.biSizeImage = DWORD(StrideFor(bm->width, hd.biBitCount)) * DWORD(bm->height);
    return bm->height;
  }
  if ((hd.biBitCount != 24 && hd.biBitCount != 32) || hd.biCompression != BI_RGB) return 0;
  if (hd.biWidth != bm->width || hd.biHeight == 0 || hd.biHeight == INT32_MIN) return 0;
  if (start >= UINT(bm->height)) return 0;
  UINT n = std::min(lines, UINT(bm->height) - start);
  bool bottomUp = hd.biHeight > 0;
  int outBytes = hd.biBitCount / 8, inBytes = bm->Bytes();
  size_t outStride = size_t(StrideFor(bm->width, hd.biBitCount));
  auto* out = static_cast<uint8_t*>(bits);
  for (UINT i = 0; i < n; ++i) {
    int y = bottomUp ? bm->height - 1 - int(start + i) : int(start + i);
    const uint8_t* s = bm->Row(y);
    uint8_t* d = out + size_t(i) * outStride;
    std::memset(d, 0, outStride);
    for (int x = 0; x < bm->width; ++x, s += inBytes, d += outBytes) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      if (outBytes == 4) d[3] = inBytes == 4 ? s[3] : 0;
    }
  }
  return int(n);
}

COLORREF GetPixel(HDC h, int x, int y) {
  GdiDc* dc = LiveDc(h);
  if (!dc || !dc->s.bitmap || dc->infoOnly) return CLR_INVALID;
  x = DevX(dc, x);
  y = DevY(dc, y);
  const GdiBitmap* bm = dc->s.bitmap;
  if (x < 0 || y < 0 || x >= bm->width || y >= bm->height) return CLR_INVALID;
  const uint8_t* p = bm->Row(y) + size_t(x) * size_t(bm->Bytes());
  return RGB(p[2], p[1], p[0]);
}

COLORREF SetPixel(HDC h, int x, int y, COLORREF c) {
  GdiDc* dc = LiveDc(h);
  if (!dc) return CLR_INVALID;
  COLORREF result = CLR_INVALID;
  RECT dev{DevX(dc, x), DevY(dc, y), DevX(dc, x) + 1, DevY(dc, y) + 1};
  ForEachClipRect(dc, dev, [&](const RECT& r) {
    GdiBitmap* bm = dc->s.bitmap;
    PutPixel(bm->Row(r.top) + size_t(r.left) * size_t(bm->Bytes()), bm->Bytes(), GetRValue(c),
             GetGValue(c), GetBValue(c));
    result = c & 0xFFFFFF;
  });
  return result;
}
