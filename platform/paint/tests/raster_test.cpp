#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/paint/tests/paint_test_util.h"

namespace {

// The skin's nine-grid rule: quarters of the source as corners copied 1:1, the middle row and
// column stretched, drawn in the order the skin draws them.
void NineGrid(CDC& dst, int W, int H, CDC& src, int w, int h) {
  const int L = (w - 1) / 2, R = L, T = (h - 1) / 2, B = T;
  dst.SetStretchBltMode(HALFTONE);
  dst.StretchBlt(L, T, W - L - R, H - T - B, &src, L, T, w - L - R, h - T - B, SRCCOPY);
  dst.StretchBlt(0, T, L, H - T - B, &src, 0, T, L, h - T - B, SRCCOPY);
  dst.StretchBlt(W - R, T, R, H - T - B, &src, w - R, T, R, h - T - B, SRCCOPY);
  dst.StretchBlt(L, H - B, W - L - R, B, &src, L, h - B, w - L - R, B, SRCCOPY);
  dst.BitBlt(0, H - B, L, B, &src, 0, h - B, SRCCOPY);
  dst.BitBlt(W - R, H - B, R, B, &src, w - R, h - B, SRCCOPY);
  dst.StretchBlt(L, 0, W - L - R, T, &src, L, 0, w - L - R, T, SRCCOPY);
  dst.BitBlt(0, 0, L, T, &src, 0, 0, SRCCOPY);
  dst.BitBlt(W - R, 0, R, T, &src, w - R, 0, SRCCOPY);
}

COLORREF Distinct(int x, int y) { return RGB(x * 23, y * 23, (x * 7 + y * 11) % 256); }

class NineGridTest : public ::testing::TestWithParam<int> {};

TEST_P(NineGridTest, CornersCopiedMiddlesStretched) {
  const int n = GetParam(), W = 100, H = 40;
  const int m = (n - 1) / 2;  // corner size
  const int mid = n - 2 * m;  // 1 for odd sources, 2 for even
  Surface src(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) src.Set(x, y, Distinct(x, y));
  Surface dst(W, H, 24, RGB(1, 2, 3));
  NineGrid(dst.dc, W, H, src.dc, n, n);

  EXPECT_EQ(dst.CountNot(RGB(1, 2, 3), RECT{0, 0, W, H}), W * H) << "every target pixel is drawn";
  for (int y = 0; y < m; ++y) {
    for (int x = 0; x < m; ++x) {
      EXPECT_EQ(dst.At(x, y), Distinct(x, y));                              // top-left
      EXPECT_EQ(dst.At(W - m + x, y), Distinct(n - m + x, y));              // top-right
      EXPECT_EQ(dst.At(x, H - m + y), Distinct(x, n - m + y));              // bottom-left
      EXPECT_EQ(dst.At(W - m + x, H - m + y), Distinct(n - m + x, n - m + y));  // bottom-right
    }
  }
  // The middle run of the top edge: a 1-pixel source column gives one colour all along; a
  // 2-pixel one gives its first colour on the left half and its second on the right half.
  const int span = W - 2 * m;
  for (int y = 0; y < m; ++y) {
    for (int i = 0; i < span; ++i) {
      int sx = m + (mid == 1 ? 0 : (i < span / 2 ? 0 : 1));
      ASSERT_EQ(dst.At(m + i, y), Distinct(sx, y)) << "x=" << m + i << " y=" << y;
    }
  }
  const int vspan = H - 2 * m;
  for (int x = 0; x < m; ++x) {
    for (int j = 0; j < vspan; ++j) {
      int sy = m + (mid == 1 ? 0 : (j < vspan / 2 ? 0 : 1));
      ASSERT_EQ(dst.At(x, m + j), Distinct(x, sy)) << "x=" << x << " y=" << m + j;
    }
  }
  if (mid == 1) {
    EXPECT_EQ(dst.CountNot(Distinct(m, m), RECT{m, m, W - m, H - m}), 0) << "the centre is one colour";
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, NineGridTest, ::testing::Values(9, 10));

TEST(StretchBlt, HalftoneAveragesAreas) {
  // A 4x4 black and white checkerboard halves into mid grey.
  Surface src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.Set(x, y, ((x + y) & 1) ? RGB(255, 255, 255) : RGB(0, 0, 0));
  Surface dst(2, 2);
  dst.dc.SetStretchBltMode(HALFTONE);
  ASSERT_TRUE(dst.dc.StretchBlt(0, 0, 2, 2, &src.dc, 0, 0, 4, 4, SRCCOPY));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(dst.At(x, y), RGB(128, 128, 128));

  // Three pixels into one: their mean; two into three: the middle one straddles both.
  Surface row(3, 1);
  row.Set(0, 0, RGB(0, 30, 90));
  row.Set(1, 0, RGB(90, 60, 90));
  row.Set(2, 0, RGB(255, 90, 90));
  Surface one(1, 1);
  one.dc.SetStretchBltMode(HALFTONE);
  ASSERT_TRUE(one.dc.StretchBlt(0, 0, 1, 1, &row.dc, 0, 0, 3, 1, SRCCOPY));
  EXPECT_EQ(one.At(0, 0), RGB(115, 60, 90));

  Surface two(2, 1);
  two.Set(0, 0, RGB(0, 0, 0));
  two.Set(1, 0, RGB(200, 100, 50));
  Surface three(3, 1);
  three.dc.SetStretchBltMode(HALFTONE);
  ASSERT_TRUE(three.dc.StretchBlt(0, 0, 3, 1, &two.dc, 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(three.At(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(three.At(1, 0), RGB(100, 50, 25));
  EXPECT_EQ(three.At(2, 0), RGB(200, 100, 50));
}

TEST(StretchBlt, ColorOnColorPicksPixels) {
  Surface src(4, 1);
  for (int x = 0; x < 4; ++x) src.Set(x, 0, RGB(x * 50, 0, 0));
  Surface dst(2, 1);
  dst.dc.SetStretchBltMode(COLORONCOLOR);
  ASSERT_TRUE(dst.dc.StretchBlt(0, 0, 2, 1, &src.dc, 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(dst.At(0, 0), RGB(50, 0, 0));
  EXPECT_EQ(dst.At(1, 0), RGB(150, 0, 0));
  Surface wide(8, 1);
  wide.dc.SetStretchBltMode(COLORONCOLOR);
  ASSERT_TRUE(wide.dc.StretchBlt(0, 0, 8, 1, &src.dc, 0, 0, 4, 1, SRCCOPY));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(wide.At(x, 0), RGB((x / 2) * 50, 0, 0));
}

TEST(StretchBlt, SourceOutsideItsBitmapReadsEdgePixels) {
  Surface src(2, 2, 24, RGB(9, 9, 9));
  Surface dst(8, 8);
  dst.dc.SetStretchBltMode(HALFTONE);
  EXPECT_TRUE(dst.dc.StretchBlt(0, 0, 8, 8, &src.dc, -5, -5, 20, 20, SRCCOPY));
  EXPECT_EQ(dst.CountNot(RGB(9, 9, 9), RECT{0, 0, 8, 8}), 0);
  // Negative extents (a mirror) draw nothing.
  Surface keep(4, 4, 24, RGB(1, 1, 1));
  EXPECT_FALSE(keep.dc.StretchBlt(4, 0, -4, 4, &src.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(keep.CountNot(RGB(1, 1, 1), RECT{0, 0, 4, 4}), 0);
}

TEST(TransparentBlt, KeyColourPixelsAreSkipped) {
  const COLORREF key = RGB(255, 0, 255);
  Surface src(2, 2, 24, key);
  src.Set(0, 0, RGB(10, 20, 30));
  src.Set(1, 1, RGB(254, 0, 255));  // one step from the key: drawn
  Surface dst(4, 4, 24, RGB(0, 128, 0));
  ASSERT_TRUE(dst.dc.TransparentBlt(0, 0, 4, 4, &src.dc, 0, 0, 2, 2, key));
  EXPECT_EQ(dst.At(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(dst.At(1, 1), RGB(10, 20, 30));
  EXPECT_EQ(dst.At(2, 0), RGB(0, 128, 0));
  EXPECT_EQ(dst.At(0, 3), RGB(0, 128, 0));
  EXPECT_EQ(dst.At(3, 3), RGB(254, 0, 255));
  // Black as the key, from a 32-bit source onto a 24-bit target.
  Surface src32(2, 1, 32, RGB(0, 0, 0));
  src32.Set(1, 0, RGB(1, 2, 3));
  Surface dst2(2, 1, 24, RGB(7, 7, 7));
  ASSERT_TRUE(dst2.dc.TransparentBlt(0, 0, 2, 1, &src32.dc, 0, 0, 2, 1, 0));
  EXPECT_EQ(dst2.At(0, 0), RGB(7, 7, 7));
  EXPECT_EQ(dst2.At(1, 0), RGB(1, 2, 3));
}

TEST(AlphaBlend, PremultipliedSourceOverExactValues) {
  Surface src(4, 1, 32);
  auto* px = static_cast<uint8_t*>(src.bits);
  // Pixels: half-transparent, opaque, fully transparent, transparent with colour (additive).
  const uint8_t pixels[4][4] = {{0, 32, 64, 128}, {30, 20, 10, 255}, {0, 0, 0, 0}, {40, 40, 40, 0}};
  std::memcpy(px, pixels, sizeof pixels);
  Surface dst(4, 1, 24, RGB(200, 100, 50));
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ASSERT_TRUE(dst.dc.AlphaBlend(0, 0, 4, 1, &src.dc, 0, 0, 4, 1, bf));
  // 64 + 200*127/255, 32 + 100*127/255, 0 + 50*127/255, each rounded.
  EXPECT_EQ(dst.At(0, 0), RGB(164, 82, 25));
  EXPECT_EQ(dst.At(1, 0), RGB(10, 20, 30));
  EXPECT_EQ(dst.At(2, 0), RGB(200, 100, 50));
  EXPECT_EQ(dst.At(3, 0), RGB(240, 140, 90));

  // Constant alpha without per-pixel alpha: (s*128 + d*127) / 255.
  Surface solid(1, 1, 24, RGB(255, 0, 100));
  Surface d2(1, 1, 24, RGB(0, 255, 100));
  BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
  ASSERT_TRUE(d2.dc.AlphaBlend(0, 0, 1, 1, &solid.dc, 0, 0, 1, 1, half));
  EXPECT_EQ(d2.At(0, 0), RGB(128, 127, 100));

  // A source rectangle outside the source, or per-pixel alpha from 24 bits, is refused.
  EXPECT_FALSE(dst.dc.AlphaBlend(0, 0, 4, 1, &src.dc, 1, 0, 4, 1, bf));
  EXPECT_FALSE(d2.dc.AlphaBlend(0, 0, 1, 1, &solid.dc, 0, 0, 1, 1, bf));
}

TEST(BitBlt, CopiesClipsAndAppliesRasterOps) {
  Surface src(4, 4, 24, RGB(0, 0, 0));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.Set(x, y, Distinct(x, y));
  Surface dst(6, 6, 32, RGB(5, 5, 5));
  // Partly outside both surfaces: only the overlap is copied.
  ASSERT_TRUE(dst.dc.BitBlt(-1, 3, 4, 4, &src.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(dst.At(0, 3), Distinct(1, 0));
  EXPECT_EQ(dst.At(2, 5), Distinct(3, 2));
  EXPECT_EQ(dst.At(3, 3), RGB(5, 5, 5));
  EXPECT_EQ(dst.At(0, 2), RGB(5, 5, 5));
  // Source rectangle sticking out of the source: the missing part stays untouched.
  ASSERT_TRUE(dst.dc.BitBlt(0, 0, 3, 3, &src.dc, 2, 2, SRCCOPY));
  EXPECT_EQ(dst.At(0, 0), Distinct(2, 2));
  EXPECT_EQ(dst.At(1, 1), Distinct(3, 3));
  EXPECT_EQ(dst.At(2, 2), RGB(5, 5, 5));

  struct Case {
    DWORD rop;
    COLORREF expect;
  };
  const Case cases[] = {{SRCPAINT, RGB(0xFF, 0x00, 0xFC)},
                        {SRCAND, RGB(0x00, 0x00, 0x30)},
                        {SRCINVERT, RGB(0xFF, 0x00, 0xCC)},
                        {NOTSRCCOPY, RGB(0xF0, 0xFF, 0xC3)},
                        {BLACKNESS, RGB(0, 0, 0)},
                        {WHITENESS, RGB(255, 255, 255)},
                        {DSTINVERT, RGB(0x0F, 0xFF, 0x0F)}};
  for (const Case& c : cases) {
    Surface s(1, 1, 24, RGB(0x0F, 0x00, 0x3C));
    Surface d(1, 1, 24, RGB(0xF0, 0x00, 0xF0));
    ASSERT_TRUE(d.dc.BitBlt(0, 0, 1, 1, &s.dc, 0, 0, c.rop));
    EXPECT_EQ(d.At(0, 0), c.expect) << std::hex << c.rop;
  }
}

TEST(BitBlt, OverlappingCopyWithinOneBitmapReadsOldPixels) {
  Surface s(5, 1);
  for (int x = 0; x < 5; ++x) s.Set(x, 0, RGB(x, 0, 0));
  ASSERT_TRUE(s.dc.BitBlt(1, 0, 4, 1, &s.dc, 0, 0, SRCCOPY));
  for (int x = 1; x < 5; ++x) EXPECT_EQ(s.At(x, 0), RGB(x - 1, 0, 0));
}

TEST(GetDIBits, RowsBottomUpAndPaddedToFourBytes) {
  Surface s(3, 2);
  s.Set(0, 0, RGB(1, 2, 3));  // top-left
  s.Set(2, 1, RGB(4, 5, 6));  // bottom-right
  HDC ic = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(ic, nullptr);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  ASSERT_NE(GetDIBits(ic, s.bmp, 0, 2, nullptr, &bmi, DIB_RGB_COLORS), 0);
  EXPECT_EQ(bmi.bmiHeader.biWidth, 3);
  EXPECT_EQ(bmi.bmiHeader.biHeight, 2);
  EXPECT_EQ(bmi.bmiHeader.biBitCount, 24);
  EXPECT_EQ(bmi.bmiHeader.biSizeImage, 24u);  // 9 bytes a row padded to 12
  std::vector<uint8_t> buf(bmi.bmiHeader.biSizeImage + 1, 0xAA);
  ASSERT_EQ(GetDIBits(ic, s.bmp, 0, 2, buf.data(), &bmi, DIB_RGB_COLORS), 2);
  // First row in memory is the bottom row of the picture.
  EXPECT_EQ(buf[6], 6);
  EXPECT_EQ(buf[7], 5);
  EXPECT_EQ(buf[8], 4);
  EXPECT_EQ(buf[9], 0);  // padding
  EXPECT_EQ(buf[12], 3);
  EXPECT_EQ(buf[13], 2);
  EXPECT_EQ(buf[14], 1);
  EXPECT_EQ(buf[24], 0xAA) << "nothing written past the image";
  // A screen-compatible bitmap reports its own depth.
  CBitmap ddb;
  ASSERT_TRUE(ddb.CreateCompatibleBitmap(&s.dc, 5, 3));
  BITMAPINFO q{};
  q.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  ASSERT_NE(GetDIBits(ic, ddb, 0, 3, nullptr, &q, DIB_RGB_COLORS), 0);
  EXPECT_EQ(q.bmiHeader.biBitCount, 32);
  EXPECT_EQ(q.bmiHeader.biSizeImage, 60u);
  DeleteDC(ic);
}

TEST(Bitmaps, DibSectionsAndDescriptions) {
  BITMAPINFO bmi{};
  bmi.bmiHeader = BITMAPINFOHEADER{40, 7, 5, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP h = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(h, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(h, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 7);
  EXPECT_EQ(bm.bmHeight, 5);
  EXPECT_EQ(bm.bmWidthBytes, 24);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  EXPECT_EQ(bm.bmBits, bits);
  EXPECT_TRUE(DeleteObject(h));
  EXPECT_FALSE(DeleteObject(h)) << "a deleted handle is refused";
  struct Bad {
    LONG w, h;
    WORD bpp;
    DWORD comp;
  };
  for (Bad b : {Bad{0, 5, 24, BI_RGB}, Bad{5, 0, 24, BI_RGB}, Bad{5, 5, 16, BI_RGB}, Bad{5, 5, 24, BI_RLE8},
                Bad{-5, 5, 24, BI_RGB}, Bad{100000, 100000, 32, BI_RGB}}) {
    bmi.bmiHeader = BITMAPINFOHEADER{40, b.w, b.h, 1, b.bpp, b.comp, 0, 0, 0, 0, 0};
    EXPECT_EQ(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
    EXPECT_EQ(bits, nullptr);
  }
}

TEST(Primitives, FillsRectanglesLinesAndFrames) {
  Surface s(10, 10);
  CPen pen(PS_SOLID, 1, RGB(255, 0, 0));
  CBrush brush(RGB(0, 0, 255));
  CPen* oldPen = s.dc.SelectObject(&pen);
  CBrush* oldBrush = s.dc.SelectObject(&brush);
  ASSERT_TRUE(s.dc.Rectangle(1, 1, 5, 5));
  EXPECT_EQ(s.At(1, 1), RGB(255, 0, 0));
  EXPECT_EQ(s.At(4, 4), RGB(255, 0, 0));
  EXPECT_EQ(s.At(2, 2), RGB(0, 0, 255));
  EXPECT_EQ(s.At(5, 5), RGB(255, 255, 255));
  // With the hollow brush only the outline is drawn.
  s.dc.SelectStockObject(NULL_BRUSH);
  s.dc.FillSolidRect(0, 0, 10, 10, RGB(255, 255, 255));
  s.dc.Rectangle(0, 0, 10, 10);
  EXPECT_EQ(s.CountNot(RGB(255, 0, 0), RECT{0, 0, 10, 1}), 0);
  EXPECT_EQ(s.CountNot(RGB(255, 255, 255), RECT{1, 1, 9, 9}), 0);
  // Lines leave out their last point.
  s.dc.FillSolidRect(0, 0, 10, 10, RGB(255, 255, 255));
  s.dc.MoveTo(2, 3);
  s.dc.LineTo(7, 3);
  EXPECT_EQ(s.CountNot(RGB(255, 255, 255), RECT{0, 0, 10, 10}), 5);
  EXPECT_EQ(s.At(7, 3), RGB(255, 255, 255));
  s.dc.LineTo(7, 8);
  EXPECT_EQ(s.At(7, 3), RGB(255, 0, 0));
  EXPECT_EQ(s.At(7, 8), RGB(255, 255, 255));
  s.dc.MoveTo(0, 0);
  s.dc.LineTo(4, 4);
  EXPECT_EQ(s.At(3, 3), RGB(255, 0, 0));
  EXPECT_EQ(s.At(4, 4), RGB(255, 255, 255));
  s.dc.SelectObject(oldPen);
  s.dc.SelectObject(oldBrush);

  // Draw3dRect: top and left one short in the first colour, right and bottom in the second.
  s.dc.FillSolidRect(0, 0, 10, 10, RGB(255, 255, 255));
  RECT r{1, 1, 6, 6};
  s.dc.Draw3dRect(&r, RGB(10, 10, 10), RGB(20, 20, 20));
  EXPECT_EQ(s.At(1, 1), RGB(10, 10, 10));
  EXPECT_EQ(s.At(4, 1), RGB(10, 10, 10));
  EXPECT_EQ(s.At(5, 1), RGB(20, 20, 20));
  EXPECT_EQ(s.At(1, 5), RGB(20, 20, 20));
  EXPECT_EQ(s.At(5, 5), RGB(20, 20, 20));
  EXPECT_EQ(s.At(3, 3), RGB(255, 255, 255));
  EXPECT_EQ(s.dc.GetBkColor(), RGB(20, 20, 20)) << "filling goes through the background colour";
}

TEST(DeviceContexts, SaveRestoreAndClip) {
  Surface s(8, 8);
  s.dc.SetTextColor(RGB(1, 1, 1));
  int level = s.dc.SaveDC();
  ASSERT_GT(level, 0);
  s.dc.SetTextColor(RGB(2, 2, 2));
  s.dc.IntersectClipRect(2, 2, 4, 4);
  s.dc.SaveDC();
  s.dc.SetBkMode(TRANSPARENT);
  s.dc.FillSolidRect(0, 0, 8, 8, RGB(0, 0, 0));
  EXPECT_EQ(s.CountNot(RGB(255, 255, 255), RECT{0, 0, 8, 8}), 4) << "only the clip is painted";
  ASSERT_TRUE(s.dc.RestoreDC(level));  // drops the later save too
  EXPECT_EQ(s.dc.GetTextColor(), RGB(1, 1, 1));
  EXPECT_EQ(s.dc.GetBkMode(), OPAQUE);
  EXPECT_FALSE(s.dc.RestoreDC(-1)) << "nothing saved any more";
  s.dc.FillSolidRect(0, 0, 8, 8, RGB(0, 0, 0));
  EXPECT_EQ(s.CountNot(RGB(0, 0, 0), RECT{0, 0, 8, 8}), 0) << "the clip went with the state";

  // A clip region with a hole, then the viewport origin moves drawing.
  CRgn outer, inner;
  outer.CreateRectRgn(0, 0, 8, 8);
  inner.CreateRectRgn(2, 2, 6, 6);
  outer.CombineRgn(&outer, &inner, RGN_DIFF);
  s.dc.SelectClipRgn(&outer);
  s.dc.FillSolidRect(0, 0, 8, 8, RGB(9, 9, 9));
  EXPECT_EQ(s.CountNot(RGB(0, 0, 0), RECT{2, 2, 6, 6}), 0);
  EXPECT_EQ(s.At(1, 1), RGB(9, 9, 9));
  s.dc.SelectClipRgn(nullptr);
  s.dc.SetViewportOrg(3, 3);
  s.dc.FillSolidRect(0, 0, 1, 1, RGB(7, 7, 7));
  EXPECT_EQ(s.At(0, 0), RGB(7, 7, 7));
  s.dc.SetViewportOrg(0, 0);
  EXPECT_EQ(s.At(3, 3), RGB(7, 7, 7));
}

TEST(DeviceContexts, ObjectDeletedWhileSelectedLivesUntilDeselected) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bm = CreateCompatibleBitmap(dc, 4, 4);
  HGDIOBJ old = SelectObject(dc, bm);
  ASSERT_NE(old, nullptr);
  EXPECT_TRUE(DeleteObject(bm));
  EXPECT_EQ(GetObjectType(bm), DWORD(OBJ_BITMAP)) << "still selected, still usable";
  EXPECT_TRUE(PatBlt(dc, 0, 0, 4, 4, WHITENESS));
  SelectObject(dc, old);
  EXPECT_EQ(GetObjectType(bm), 0u) << "gone once deselected";
  // A bitmap goes into one context at a time.
  HDC dc2 = CreateCompatibleDC(nullptr);
  HBITMAP b2 = CreateCompatibleBitmap(dc, 2, 2);
  ASSERT_NE(SelectObject(dc, b2), nullptr);
  EXPECT_EQ(SelectObject(dc2, b2), nullptr);
  DeleteDC(dc);  // releases b2
  EXPECT_NE(SelectObject(dc2, b2), nullptr);
  DeleteDC(dc2);
  EXPECT_TRUE(DeleteObject(b2));
  // Information contexts measure but never draw.
  HDC ic = CreateICW(u"DISPLAY", nullptr, nullptr, nullptr);
  HBITMAP b3 = CreateCompatibleBitmap(ic, 2, 2);
  EXPECT_EQ(SelectObject(ic, b3), nullptr);
  DeleteObject(b3);
  DeleteDC(ic);
  EXPECT_EQ(CreateICW(u"PRINTER", nullptr, nullptr, nullptr), nullptr);
}

TEST(ClassLibrary, FromHandleGivesAttachedOrTemporaryWrappers) {
  CDC dc;
  ASSERT_TRUE(dc.CreateCompatibleDC(nullptr));
  CBitmap bmp;
  ASSERT_TRUE(bmp.CreateCompatibleBitmap(&dc, 3, 3));
  CBitmap* stock = dc.SelectObject(&bmp);
  ASSERT_NE(stock, nullptr);
  EXPECT_TRUE(stock->m_temporary);
  EXPECT_EQ(dc.SelectObject(stock), &bmp) << "the attached wrapper comes back";
  EXPECT_EQ(dc.SelectObject(&bmp), stock) << "one temporary per handle";
  dc.SelectObject(stock);
  {
    CFont f;
    ASSERT_TRUE(f.CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, u"Arial"));
    LOGFONTW lf{};
    ASSERT_EQ(f.GetLogFont(&lf), int(sizeof lf));
    EXPECT_EQ(lf.lfHeight, 12);
    EXPECT_EQ(std::u16string(lf.lfFaceName), u"Arial");
    HGDIOBJ h = f.m_hObject;
    CFont copy;
    ASSERT_TRUE(copy.CreateFontIndirect(&lf));
    EXPECT_NE(copy.m_hObject, h);
  }
  CBrush* b = CBrush::FromHandle(static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
  LOGBRUSH lb{};
  ASSERT_EQ(b->GetObject(sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbStyle, BS_NULL);
  EXPECT_FALSE(b->DeleteObject()) << "a temporary wrapper never deletes";
}

}  // namespace

namespace {

TEST(Icons, DrawnWithAlphaOrMaskAtAnySize) {
  // A 2x2 icon with alpha: opaque red, half-transparent green, two transparent pixels.
  Surface color(2, 2, 32, RGB(0, 0, 0));
  auto* p = static_cast<uint8_t*>(color.bits);  // bottom-up: first row is the picture's bottom
  const uint8_t bottom[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const uint8_t top[8] = {0, 0, 255, 255, 0, 255, 0, 128};
  std::memcpy(p, bottom, 8);
  std::memcpy(p + 8, top, 8);
  ICONINFO ii{TRUE, 0, 0, nullptr, color.bmp};
  HICON icon = CreateIconIndirect(&ii);
  ASSERT_NE(icon, nullptr);
  SIZE sz{};
  ASSERT_TRUE(GetIconSize(icon, &sz));
  EXPECT_EQ(sz.cx, 2);
  Surface dst(8, 8, 24, RGB(0, 0, 200));
  ASSERT_TRUE(DrawIconEx(dst.dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(dst.At(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(dst.At(1, 0), RGB(0, 128, 100));  // 255*128/255 over 200*(127/255)
  EXPECT_EQ(dst.At(0, 1), RGB(0, 0, 200));
  ASSERT_TRUE(DrawIconEx(dst.dc, 4, 4, icon, 4, 4, 0, nullptr, DI_NORMAL));
  EXPECT_EQ(dst.At(5, 5), RGB(255, 0, 0));
  EXPECT_EQ(dst.At(7, 7), RGB(0, 0, 200));
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_FALSE(DestroyIcon(icon));
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(icon)));

  // Without alpha the mask decides: white mask pixels are transparent.
  Surface plain(2, 1, 24, RGB(9, 9, 9));
  Surface mask(2, 1, 24, RGB(0, 0, 0));
  mask.Set(1, 0, RGB(255, 255, 255));
  ICONINFO im{TRUE, 0, 0, mask.bmp, plain.bmp};
  HICON masked = CreateIconIndirect(&im);
  ASSERT_NE(masked, nullptr);
  Surface d2(2, 1, 24, RGB(1, 1, 1));
  ASSERT_TRUE(DrawIcon(d2.dc, 0, 0, masked));
  EXPECT_EQ(d2.At(0, 0), RGB(9, 9, 9));
  EXPECT_EQ(d2.At(1, 0), RGB(1, 1, 1));
  DestroyIcon(masked);
}

}  // namespace

namespace {

// Coordinates and sizes far outside any surface neither overflow nor hang; they draw what
// lies on the surface or nothing.
TEST(DeviceContexts, ExtremeCoordinatesAreSafe) {
  Surface s(16, 16, 24, RGB(0, 0, 0));
  Surface src(4, 4, 24, RGB(255, 255, 255));
  const int big = INT32_MAX, small = INT32_MIN;
  s.dc.SetViewportOrg(1000, -1000);
  EXPECT_FALSE(s.dc.BitBlt(big - 5, small, big, big, &src.dc, small, big, SRCCOPY));
  EXPECT_FALSE(s.dc.StretchBlt(0, 0, big, big, &src.dc, 0, 0, 4, 4, SRCCOPY));
  EXPECT_FALSE(s.dc.StretchBlt(0, 0, 4, 4, &src.dc, 0, 0, big, 4, SRCCOPY));
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, 0};
  EXPECT_FALSE(s.dc.AlphaBlend(small, small, 4, 4, &src.dc, 0, 0, 4, 4, bf));
  EXPECT_FALSE(s.dc.TransparentBlt(0, 0, big, 1, &src.dc, 0, 0, 4, 4, 0));
  s.dc.PatBlt(big, big, big, big, WHITENESS);
  s.dc.FillSolidRect(small, small, big, big, RGB(255, 255, 255));
  s.dc.MoveTo(small, small);
  s.dc.LineTo(big, small);
  s.dc.Rectangle(small, small, big, big);
  s.dc.IntersectClipRect(small, small, big, big);
  RECT r{small, small, big, big};
  s.dc.DrawText(CString(u"text"), &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  s.dc.TextOut(big, big, CString(u"text"));
  s.dc.SetViewportOrg(0, 0);
  // Only the rectangle, whose inside covers the surface, reached it.
  EXPECT_EQ(s.CountNot(RGB(255, 255, 255), RECT{0, 0, 16, 16}), 0);
}

}  // namespace
