#include "base/imagedraw/imagedraw.h"

#include <cstring>

HBITMAP ImageToBitmap(const ImageCodec& img) {
  if (!img.IsValid()) return nullptr;
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = LONG(img.GetWidth());
  bmi.bmiHeader.biHeight = -LONG(img.GetHeight());  // top-down, as the picture keeps its rows
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bm || !bits) return nullptr;
  // Both sides pad 24-bit rows to 4 bytes.
  const size_t stride = (size_t(img.GetWidth()) * 3 + 3) & ~size_t(3);
  auto* out = static_cast<uint8_t*>(bits);
  for (uint32_t y = 0; y < img.GetHeight(); ++y) {
    uint8_t* d = out + size_t(y) * stride;
    if (img.GetBpp() == 24) {
      std::memcpy(d, img.GetRow(y), size_t(img.GetWidth()) * 3);
      continue;
    }
    const uint8_t* s = img.GetRow(y);
    const ImageColor* pal = img.GetPalette();
    for (uint32_t x = 0; x < img.GetWidth(); ++x, d += 3) {
      const ImageColor c = pal[s[x]];
      d[0] = c.b;
      d[1] = c.g;
      d[2] = c.r;
    }
  }
  return bm;
}

bool DrawImage(HDC dc, const ImageCodec& img, int x, int y, int cx, int cy) {
  if (!img.IsValid() || cx <= 0 || cy <= 0) return false;
  HBITMAP bm = ImageToBitmap(img);
  if (!bm) return false;
  HDC src = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(src, bm);
  const int w = int(img.GetWidth()), h = int(img.GetHeight());
  BOOL ok;
  if (cx == w && cy == h) {
    ok = BitBlt(dc, x, y, cx, cy, src, 0, 0, SRCCOPY);
  } else {
    const int mode = SetStretchBltMode(dc, HALFTONE);
    ok = StretchBlt(dc, x, y, cx, cy, src, 0, 0, w, h, SRCCOPY);
    SetStretchBltMode(dc, mode);
  }
  SelectObject(src, old);
  DeleteDC(src);
  DeleteObject(bm);
  return ok != 0;
}
