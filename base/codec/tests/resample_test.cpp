// Resampling, fitting into the thumbnail box, JPEG encoding and decoding for a box.
#include <gtest/gtest.h>

#include "base/codec/imagecodec.h"
#include "base/codec/tests/pictures.h"

namespace {

ImageCodec GreyRow(std::initializer_list<uint8_t> values) {
  ImageCodec img;
  EXPECT_EQ(img.Create(uint32_t(values.size()), 1, 8), ImageStatus::kOk);
  uint32_t x = 0;
  for (uint8_t v : values) img.GetRow(0)[x++] = v;
  return img;
}

// A 24-bit picture of the quadrant pattern at any size.
ImageCodec Quadrants(uint32_t w, uint32_t h) {
  ImageCodec img;
  EXPECT_EQ(img.Create(w, h, 24), ImageStatus::kOk);
  for (uint32_t y = 0; y < h; ++y) {
    uint8_t* d = img.GetRow(y);
    for (uint32_t x = 0; x < w; ++x, d += 3) {
      const Rgb c = kQuadColours[(y * 2 / h) * 2 + x * 2 / w];
      d[0] = uint8_t(c.b);
      d[1] = uint8_t(c.g);
      d[2] = uint8_t(c.r);
    }
  }
  return img;
}

TEST(ImageResample, AveragesTheAreaEachPixelCovers) {
  struct Case {
    std::initializer_list<uint8_t> in;
    uint32_t width;
    std::vector<int> out;
  };
  const Case cases[] = {
      {{0, 100, 200, 255}, 2, {50, 228}},
      // Three into two: each target pixel takes one and a half source pixels.
      {{0, 90, 180}, 2, {30, 150}},
      {{10, 20, 30, 40, 50, 60}, 1, {35}},
      // Enlarging repeats the covered pixel.
      {{0, 200}, 4, {0, 0, 200, 200}},
  };
  for (const Case& c : cases) {
    ImageCodec img = GreyRow(c.in);
    ASSERT_TRUE(img.Resample(c.width, 1));
    ASSERT_EQ(img.GetWidth(), c.width);
    EXPECT_EQ(img.GetBpp(), 8u);  // a grey ramp stays 8-bit
    for (uint32_t x = 0; x < c.width; ++x) EXPECT_EQ(img.GetRow(0)[x], c.out[x]) << x;
  }
}

TEST(ImageResample, DownscaledQuadrantsKeepClearColours) {
  ImageCodec img = Quadrants(400, 300);
  ASSERT_TRUE(img.Resample(40, 30));
  for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(QuadrantColour(img, q), kQuadColours[q], 0)) << q;
  // The column across the vertical edge mixes red and blue evenly only where the edge falls
  // inside it; here it falls between columns 19 and 20.
  EXPECT_TRUE(Near({img.GetPixelColor(19, 5).r, img.GetPixelColor(19, 5).g, img.GetPixelColor(19, 5).b}, kQuadColours[0], 0));

  // A palette that is not the grey ramp is raised to 24 bits first.
  ImageCodec pal = GreyRow({0, 1});
  pal.SetPaletteColor(1, 255, 0, 0);
  ASSERT_TRUE(pal.Resample(1, 1));
  EXPECT_EQ(pal.GetBpp(), 24u);
  EXPECT_EQ(pal.GetPixelColor(0, 0).r, 128);
  EXPECT_EQ(pal.GetPixelColor(0, 0).g, 0);
  EXPECT_FALSE(pal.Resample(0, 1));
}

TEST(ImageResample, FitIntoTheThumbnailBox) {
  struct Case {
    uint32_t w, h, fitW, fitH;
  };
  const Case cases[] = {
      {4000, 3000, 118, 88}, {600, 800, 88, 118}, {100, 50, 100, 50}, {118, 118, 118, 118},
      {119, 119, 118, 118},  {3000, 4000, 88, 118},
      {100000, 10, 118, 1},  // a sliver keeps one row
  };
  for (const Case& c : cases) {
    uint32_t w = 0, h = 0;
    FitIntoBox(c.w, c.h, 118, w, h);
    EXPECT_EQ(w, c.fitW) << c.w << "x" << c.h;
    EXPECT_EQ(h, c.fitH) << c.w << "x" << c.h;
  }
}

TEST(ImageEncode, JpegRoundTripAndGreyscale) {
  ImageCodec img = Quadrants(96, 64);
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(img.EncodeJpeg(jpeg));
  ASSERT_GE(jpeg.size(), 100u);
  EXPECT_EQ(DetectImageFormat(jpeg.data(), jpeg.size()), uint32_t(kImageJpeg));
  ImageCodec back;
  ASSERT_TRUE(back.DecodeFromMemory(jpeg.data(), uint32_t(jpeg.size()), kImageJpeg));
  EXPECT_EQ(back.GetWidth(), 96u);
  for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(QuadrantColour(back, q), kQuadColours[q], 12)) << q;

  // Grey-ramp pictures are written as greyscale JPEG and come back 8-bit.
  ImageCodec grey = GreyRow({0, 64, 128, 255, 255, 128, 64, 0});
  ASSERT_TRUE(grey.EncodeJpeg(jpeg));
  ASSERT_TRUE(back.DecodeFromMemory(jpeg.data(), uint32_t(jpeg.size()), 0));
  EXPECT_EQ(back.GetBpp(), 8u);
  // A palette of colours must be raised by the caller first.
  grey.SetPaletteColor(3, 1, 2, 3);
  EXPECT_FALSE(grey.EncodeJpeg(jpeg));
  ImageCodec empty;
  EXPECT_FALSE(empty.EncodeJpeg(jpeg));
}

TEST(ImageDecodeForBox, JpegIsScaledInTheTransformOnlyAsFarAsTheBoxAllows) {
  struct Case {
    uint32_t w, h, box, outW, outH;
  };
  const Case cases[] = {
      {800, 600, 118, 200, 150},  // 1/8 would give 100 x 75, less than 118 x 88
      {1600, 1200, 118, 200, 150},
      {600, 800, 118, 150, 200},
      {100, 60, 118, 100, 60},    // smaller than the box: full size
      {800, 600, 0, 800, 600},    // no box: full size
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(Quadrants(c.w, c.h).EncodeJpeg(jpeg));
    ImageCodec img;
    ASSERT_TRUE(img.DecodeForBox(jpeg.data(), uint32_t(jpeg.size()), 0, c.box, c.box));
    EXPECT_EQ(img.GetWidth(), c.outW) << c.w << "x" << c.h;
    EXPECT_EQ(img.GetHeight(), c.outH) << c.w << "x" << c.h;
    for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(QuadrantColour(img, q), kQuadColours[q], 16)) << q;
  }
}

}  // namespace
