#include "base/imagedraw/imagedraw.h"

#include <gtest/gtest.h>

#include "base/codec/tests/pictures.h"
#include "platform/paint/tests/paint_test_util.h"

namespace {

COLORREF Ref(Rgb c) { return RGB(c.r, c.g, c.b); }

ImageCodec Decode(const char* file) {
  const std::vector<uint8_t> bytes = LoadPicture(file);
  ImageCodec img;
  EXPECT_TRUE(img.DecodeFromMemory(bytes.data(), uint32_t(bytes.size()), 0)) << file;
  return img;
}

TEST(ImageDraw, BitmapHoldsThePictureTopDown) {
  for (const char* file : {"quad.png", "quad_rle8.bmp"}) {  // 24 bits, and 8 bits through a palette
    ImageCodec img = Decode(file);
    HBITMAP bm = ImageToBitmap(img);
    ASSERT_NE(bm, nullptr) << file;
    BITMAP info{};
    ASSERT_NE(GetObjectW(bm, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, 96);
    EXPECT_EQ(info.bmHeight, 64);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0)) << file;
    EXPECT_EQ(GetPixel(dc, 95, 0), RGB(0, 0, 255)) << file;
    EXPECT_EQ(GetPixel(dc, 0, 63), RGB(0, 255, 0)) << file;
    EXPECT_EQ(GetPixel(dc, 95, 63), RGB(255, 255, 255)) << file;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  EXPECT_EQ(ImageToBitmap(ImageCodec()), nullptr);
}

// Drawn at its own size the picture lands pixel for pixel; drawn smaller it is stretched into
// exactly the rectangle asked for.
TEST(ImageDraw, DrawsAtItsOwnSizeOrHalftoneStretched) {
  ImageCodec img = Decode("quad.png");
  Surface s(200, 100, 24, RGB(10, 10, 10));
  ASSERT_TRUE(DrawImage(s.dc, img, 4, 6, 96, 64));
  EXPECT_EQ(s.At(4, 6), Ref(kQuadColours[0]));
  EXPECT_EQ(s.At(4 + 95, 6 + 63), Ref(kQuadColours[3]));
  EXPECT_EQ(s.At(3, 6), RGB(10, 10, 10));
  EXPECT_EQ(s.At(4 + 96, 6), RGB(10, 10, 10));

  // 96 x 64 into 36 x 24 at (110, 2): each target pixel averages 8/3 source pixels; the
  // red/blue edge at source column 48 falls between target columns 17 and 18.
  ASSERT_TRUE(DrawImage(s.dc, img, 110, 2, 36, 24));
  EXPECT_EQ(s.At(110, 2), Ref(kQuadColours[0]));
  EXPECT_EQ(s.At(110 + 35, 2 + 23), Ref(kQuadColours[3]));
  EXPECT_EQ(s.At(110 + 18, 2), Ref(kQuadColours[1]));
  EXPECT_EQ(s.At(110 + 17, 2), RGB(255, 0, 0));
  EXPECT_EQ(s.At(110 + 36, 2), RGB(10, 10, 10));

  EXPECT_FALSE(DrawImage(s.dc, ImageCodec(), 0, 0, 10, 10));
  EXPECT_FALSE(DrawImage(s.dc, img, 0, 0, 0, 10));
}

}  // namespace
