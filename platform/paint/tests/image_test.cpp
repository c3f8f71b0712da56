#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/paint/tests/paint_test_util.h"

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A BMP file: file header, 40-byte info header, `colours` palette entries, then `pixels`.
std::vector<uint8_t> Bmp(int32_t w, int32_t h, uint16_t bpp, const std::vector<uint32_t>& colours,
                         const std::vector<uint8_t>& pixels, uint32_t compression = BI_RGB) {
  const size_t off = 14 + 40 + colours.size() * 4;
  std::vector<uint8_t> b(off + pixels.size());
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, uint32_t(b.size()));
  Put32(b, 10, uint32_t(off));
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(w));
  Put32(b, 22, uint32_t(h));
  Put16(b, 26, 1);
  Put16(b, 28, bpp);
  Put32(b, 30, compression);
  Put32(b, 46, uint32_t(colours.size()));
  for (size_t i = 0; i < colours.size(); ++i) Put32(b, 54 + 4 * i, colours[i]);
  std::copy(pixels.begin(), pixels.end(), b.begin() + ptrdiff_t(off));
  return b;
}

COLORREF PixelOf(HBITMAP bm, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

TEST(BmpBytes, DecodesDepthsAndRowOrder) {
  // 24 bits, 2x2 bottom-up: rows of 6 bytes padded to 8.
  std::vector<uint8_t> px = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  HBITMAP b24 = BitmapFromBmpBytes(Bmp(2, 2, 24, {}, px));
  ASSERT_NE(b24, nullptr);
  EXPECT_EQ(PixelOf(b24, 0, 1), RGB(3, 2, 1)) << "first stored row is the bottom";
  EXPECT_EQ(PixelOf(b24, 1, 0), RGB(12, 11, 10));
  BITMAP desc{};
  GetObjectW(b24, sizeof desc, &desc);
  EXPECT_EQ(desc.bmBitsPixel, 32) << "a screen-compatible bitmap";
  EXPECT_EQ(desc.bmBits, nullptr);
  DeleteObject(b24);

  // 8 bits with a palette, top-down (negative height).
  HBITMAP b8 = BitmapFromBmpBytes(Bmp(2, -2, 8, {0x00FF0000, 0x0000FF00}, {0, 1, 0, 0, 1, 1, 0, 0}));
  ASSERT_NE(b8, nullptr);
  EXPECT_EQ(PixelOf(b8, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(PixelOf(b8, 1, 0), RGB(0, 255, 0));
  EXPECT_EQ(PixelOf(b8, 0, 1), RGB(0, 255, 0));
  DeleteObject(b8);

  // 1 bit across a byte boundary, and 4 bits.
  HBITMAP b1 = BitmapFromBmpBytes(Bmp(9, 1, 1, {0, 0x00FFFFFF}, {0x80, 0x80, 0, 0}));
  ASSERT_NE(b1, nullptr);
  EXPECT_EQ(PixelOf(b1, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(PixelOf(b1, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(PixelOf(b1, 8, 0), RGB(255, 255, 255));
  DeleteObject(b1);
  HBITMAP b4 = BitmapFromBmpBytes(Bmp(2, 1, 4, {0, 0, 0x000000FF}, {0x20, 0, 0, 0}));
  ASSERT_NE(b4, nullptr);
  EXPECT_EQ(PixelOf(b4, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(PixelOf(b4, 1, 0), RGB(0, 0, 0));
  DeleteObject(b4);
}

TEST(BmpBytes, RefusesBytesThatDoNotHoldThePicture) {
  const std::vector<uint8_t> good = Bmp(2, 2, 24, {}, std::vector<uint8_t>(16, 0));
  ASSERT_NE(BitmapFromBmpBytes(good), nullptr);
  struct Case {
    const char* why;
    std::vector<uint8_t> bytes;
  };
  auto patched = [&](size_t at, uint32_t v) {
    auto b = good;
    Put32(b, at, v);
    return b;
  };
  std::vector<Case> cases = {
      {"empty", {}},
      {"shorter than the headers", std::vector<uint8_t>(good.begin(), good.begin() + 40)},
      {"no BM", [&] { auto b = good; b[0] = 'X'; return b; }()},
      {"pixels cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"pixel offset past the end", patched(10, 1000)},
      {"pixel offset inside the header", patched(10, 20)},
      {"header size past the pixels", patched(14, 200)},
      {"header size too small", patched(14, 12)},
      {"zero width", patched(18, 0)},
      {"most negative height", patched(22, 0x80000000u)},
      {"huge width", patched(18, 0x7FFFFFFF)},
      {"odd depth", [&] { auto b = good; Put16(b, 28, 7); return b; }()},
      {"run-length coded", patched(30, BI_RLE8)},
      {"palette larger than the room before the pixels", [&] {
         auto b = Bmp(2, 1, 8, {0, 0}, {0, 1, 0, 0});
         Put32(b, 46, 200);
         return b;
       }()},
  };
  for (const Case& c : cases) EXPECT_EQ(BitmapFromBmpBytes(c.bytes), nullptr) << c.why;
}

TEST(PngBytes, DecodedPremultipliedAndBlendable) {
  const std::vector<uint8_t> px = {200, 100, 50, 128, 10, 20, 30, 255, 99, 99, 99, 0};
  HBITMAP bm = BitmapFromPngBytes(PngBgra(3, 1, px));
  ASSERT_NE(bm, nullptr);
  BITMAP d{};
  GetObjectW(bm, sizeof d, &d);
  EXPECT_EQ(d.bmBitsPixel, 32);
  ASSERT_NE(d.bmBits, nullptr);
  const auto* p = static_cast<const uint8_t*>(d.bmBits);  // top-down
  const uint8_t expect[12] = {100, 50, 25, 128, 10, 20, 30, 255, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(p, p + 12), std::vector<uint8_t>(expect, expect + 12));

  Surface dst(3, 1, 24, RGB(255, 255, 255));
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(src, bm);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 3, 1, src, 0, 0, 3, 1, bf));
  EXPECT_EQ(dst.At(0, 0), RGB(25 + 127, 50 + 127, 100 + 127));
  EXPECT_EQ(dst.At(1, 0), RGB(30, 20, 10));
  EXPECT_EQ(dst.At(2, 0), RGB(255, 255, 255));
  SelectObject(src, old);
  DeleteDC(src);
  DeleteObject(bm);

  std::vector<uint8_t> png = PngBgra(3, 1, px);
  EXPECT_EQ(BitmapFromPngBytes(std::vector<uint8_t>(png.begin(), png.begin() + 40)), nullptr);
  EXPECT_EQ(BitmapFromPngBytes(std::vector<uint8_t>(64, 0x42)), nullptr);
  EXPECT_EQ(BitmapFromPngBytes({}), nullptr);
}

TEST(PngFile, WrittenPictureReadsBack) {
  Surface s(5, 3, 24, RGB(10, 20, 30));
  s.Set(4, 2, RGB(200, 100, 0));
  const std::string path = ::testing::TempDir() + "/kestrel-paint-roundtrip.png";
  ASSERT_TRUE(WriteBitmapPng(s.bmp, path));
  std::ifstream f(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  HBITMAP back = BitmapFromPngBytes(bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(PixelOf(back, 0, 0), RGB(10, 20, 30));
  EXPECT_EQ(PixelOf(back, 4, 2), RGB(200, 100, 0));
  DeleteObject(back);
  std::remove(path.c_str());
  EXPECT_FALSE(WriteBitmapPng(s.bmp, "/nonexistent-dir/x.png"));
}

}  // namespace
