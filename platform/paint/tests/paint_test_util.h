// Small surfaces for the raster tests: a memory DC over a 24- or 32-bit DIB section; PNG bytes
// of given pixels.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <vector>

#include "platform/paint/afxgdi.h"

// The PNG file of w by h straight-alpha BGRA pixels, rows top first.
inline std::vector<uint8_t> PngBgra(int w, int h, const std::vector<uint8_t>& bgra) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(w);
  img.height = png_uint_32(h);
  img.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&img, nullptr, &size, 0, bgra.data(), 0, nullptr));
  std::vector<uint8_t> out(size);
  EXPECT_TRUE(png_image_write_to_memory(&img, out.data(), &size, 0, bgra.data(), 0, nullptr));
  out.resize(size);
  return out;
}

struct Surface {
  CDC dc;
  CBitmap bmp;
  CBitmap* old = nullptr;
  void* bits = nullptr;
  int width = 0, height = 0;

  Surface(int w, int h, int bpp = 24, COLORREF fill = RGB(255, 255, 255)) : width(w), height(h) {
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = w;
    bmi.bmiHeader.biHeight = h;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = WORD(bpp);
    bmi.bmiHeader.biCompression = BI_RGB;
    EXPECT_TRUE(bmp.Attach(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0)));
    EXPECT_TRUE(dc.CreateCompatibleDC(nullptr));
    old = dc.SelectObject(&bmp);
    dc.FillSolidRect(0, 0, w, h, fill);
  }
  ~Surface() { dc.SelectObject(old); }
  COLORREF At(int x, int y) const { return ::GetPixel(dc, x, y); }
  void Set(int x, int y, COLORREF c) { ::SetPixel(dc, x, y, c); }
  // How many pixels differ from `c` inside the rectangle.
  int CountNot(COLORREF c, RECT r) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += At(x, y) != c;
    return n;
  }
};

inline bool Same(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; }
