#include "base/codec/imagecodec.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/codec/tests/pictures.h"
#include "base/memstream.h"

namespace {

struct Sample {
  const char* file;
  uint32_t format;
  uint32_t width, height;
  uint32_t bpp;
  int tolerance;
  uint32_t sniffedAs = 0;  // the decoder that takes it with format 0, when not its own
};

// Every sample decodes with its format named and with format 0 (sniffed, or every decoder
// tried for the animated cursor), at its size and with its quadrant colours.
const Sample kSamples[] = {
    {"quad.png", kImagePng, 96, 64, 24, 0},
    {"quad_pal.png", kImagePng, 96, 64, 24, 0},
    {"quad_alpha.png", kImagePng, 96, 64, 24, 0},  // the transparent quadrant shows white
    {"quad.bmp", kImageBmp, 96, 64, 24, 0},
    {"quad_rle8.bmp", kImageBmp, 96, 64, 8, 0},
    {"quad_565.bmp", kImageBmp, 96, 64, 24, 0},
    {"quad.gif", kImageGif, 96, 64, 8, 0},
    {"quad.jpg", kImageJpeg, 96, 64, 24, 12},
    {"quad_prog.jpg", kImageJpeg, 96, 64, 24, 12},
    {"quad_cmyk.jpg", kImageJpeg, 96, 64, 24, 16},
    {"quad.tif", kImageTiff, 96, 64, 24, 0},
    {"quad_pal.tif", kImageTiff, 96, 64, 24, 0},
    {"quad.psd", kImagePsd, 96, 64, 24, 0},
    {"quad.ico", kImageIco, 48, 32, 24, 0},
    {"quad_png.ico", kImageIco, 96, 64, 24, 0},
    {"quad.ani", kImageIco, 48, 32, 24, 0},
    // The camera's embedded JPEG preview; unnamed, the file is a TIFF whose first directory
    // holds that preview.
    {"quad.dng", kImageRaw, 48, 32, 24, 12, kImageTiff},
    {"quad_nothumb.dng", kImageRaw, 96, 64, 24, 12},  // the 192 x 128 mosaic at half size
};

TEST(ImageCodec, EverySampleDecodesWithItsColours) {
  for (const Sample& s : kSamples) {
    for (uint32_t format : {s.format, uint32_t(kImageUnknown)}) {
      SCOPED_TRACE(std::string(s.file) + " as format " + std::to_string(format));
      const std::vector<uint8_t> bytes = LoadPicture(s.file);
      ASSERT_FALSE(bytes.empty());
      ImageCodec img;
      ASSERT_TRUE(img.DecodeFromMemory(bytes.data(), uint32_t(bytes.size()), format));
      EXPECT_EQ(img.GetType(), format == 0 && s.sniffedAs ? s.sniffedAs : s.format);
      EXPECT_EQ(img.GetWidth(), s.width);
      EXPECT_EQ(img.GetHeight(), s.height);
      EXPECT_EQ(img.GetBpp(), s.bpp);
      for (int q = 0; q < 4; ++q) {
        const Rgb c = QuadrantColour(img, q);
        EXPECT_TRUE(Near(c, kQuadColours[q], s.tolerance)) << "quadrant " << q << ": " << c.r << "," << c.g << "," << c.b;
      }
      // The corners too: row order and column order are right.
      const Rgb corner = {img.GetPixelColor(0, 0).r, img.GetPixelColor(0, 0).g, img.GetPixelColor(0, 0).b};
      EXPECT_TRUE(Near(corner, kQuadColours[0], s.tolerance + 8));
    }
  }
}

TEST(ImageCodec, GreyJpegStaysEightBitsWithAGreyRamp) {
  const std::vector<uint8_t> bytes = LoadPicture("quad_gray.jpg");
  ImageCodec img;
  ASSERT_TRUE(img.DecodeFromMemory(bytes.data(), uint32_t(bytes.size()), kImageJpeg));
  EXPECT_EQ(img.GetBpp(), 8u);
  EXPECT_TRUE(img.IsGreyRamp());
  // The Rec. 709 luma of red, blue, green and white, as the sample was made.
  const int luma[4] = {54, 18, 182, 255};
  for (int q = 0; q < 4; ++q) EXPECT_NEAR(QuadrantColour(img, q).g, luma[q], 8) << q;
}

TEST(ImageCodec, NamedFormatMustMatchTheBytes) {
  const std::vector<uint8_t> png = LoadPicture("quad.png");
  ImageCodec img;
  for (uint32_t wrong : {kImageJpeg, kImageBmp, kImageGif, kImageTiff, kImagePsd, kImageIco, kImageRaw}) {
    EXPECT_FALSE(img.DecodeFromMemory(png.data(), uint32_t(png.size()), wrong)) << wrong;
    EXPECT_FALSE(img.IsValid());
  }
  EXPECT_FALSE(img.DecodeFromMemory(nullptr, 10, kImagePng));
  EXPECT_FALSE(img.DecodeFromMemory(png.data(), 0, kImagePng));
  // Metafiles are recognised and never decoded.
  const uint8_t wmf[] = {0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(img.DecodeFromMemory(wmf, sizeof wmf, 0));
  EXPECT_EQ(img.LastStatus(), ImageStatus::kUnsupported);
  // Bytes no decoder takes.
  const uint8_t junk[64] = {1, 2, 3, 4, 5};
  EXPECT_FALSE(img.DecodeFromMemory(junk, sizeof junk, 0));
}

TEST(ImageCodec, DetectImageFormatReadsOnlyTheGivenLength) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t format;
  };
  std::vector<uint8_t> emf(44, 0);
  std::memcpy(emf.data() + 41, "EMF", 3);
  std::vector<uint8_t> emfShort(emf.begin(), emf.end() - 1);
  const Case cases[] = {
      {{0xFF, 0xD8}, kImageJpeg},
      {{0xFF}, kImageUnknown},
      {{'B', 'M'}, kImageBmp},
      {{0x89, 'P', 'N', 'G'}, kImagePng},
      {{0x89, 'P', 'N'}, kImageUnknown},
      {{'G', 'I', 'F', '8'}, kImageGif},
      {{'I', 'I', 0x2A, 0}, kImageTiff},
      {{'M', 'M', 0, 0x2A}, kImageTiff},
      {{0, 0, 1, 0, 1, 0}, kImageIco},
      {{0, 0, 1, 0, 1}, kImageUnknown},  // the icon test needs byte 5
      {{9, 9, 9, 0, 0, 1, 0}, kImageIco},
      {{'8', 'B', 'P', 'S'}, kImagePsd},
      {{0xD7, 0xCD, 0xC6, 0x9A}, kImageMetafile},
      {{0x01, 0x00, 0x09, 0x00}, kImageMetafile},
      {{0x02, 0x00, 0x09, 0x00}, kImageMetafile},
      {emf, kImageMetafile},
      {emfShort, kImageUnknown},
      {{'R', 'I', 'F', 'F'}, kImageUnknown},
      {{}, kImageUnknown},
  };
  for (const Case& c : cases) EXPECT_EQ(DetectImageFormat(c.bytes.data(), c.bytes.size()), c.format);
  EXPECT_EQ(DetectImageFormat(nullptr, 10), uint32_t(kImageUnknown));
}

TEST(ImageCodec, DecodesFromAStream) {
  const std::vector<uint8_t> bytes = LoadPicture("quad.gif");
  CStream stream(bytes.data(), bytes.size());
  ImageCodec img;
  ASSERT_TRUE(img.DecodeFromStream(&stream, 0));
  EXPECT_EQ(img.GetType(), uint32_t(kImageGif));
  EXPECT_TRUE(Near(QuadrantColour(img, 1), kQuadColours[1], 0));
  // The stream is read from its start whatever its position.
  ASSERT_TRUE(img.DecodeFromStream(&stream, kImageGif));
  EXPECT_FALSE(img.DecodeFromStream(nullptr, 0));
}

}  // namespace
