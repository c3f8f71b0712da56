// Damaged, cut-short and oversized pictures: every decoder refuses them cleanly.
#include <gtest/gtest.h>

#include <cstring>

#include "base/codec/imagecodec.h"
#include "base/codec/tests/pictures.h"

namespace {

const char* const kFiles[] = {"quad.png",     "quad_pal.png",  "quad_alpha.png", "quad.bmp",      "quad_rle8.bmp",
                              "quad_565.bmp", "quad.gif",      "quad.jpg",       "quad_prog.jpg", "quad_gray.jpg",
                              "quad_cmyk.jpg", "quad.tif",     "quad_pal.tif",   "quad.psd",      "quad.ico",
                              "quad_png.ico", "quad.ani",      "quad.dng",       "quad_nothumb.dng"};

// A cut inside the header fails; a cut further on either fails or still gives a picture of
// the declared size (scan data cut short shows what was decoded). Never more.
TEST(ImageCodecHostile, CutShortPicturesFailOrKeepTheirSize) {
  for (const char* file : kFiles) {
    const std::vector<uint8_t> whole = LoadPicture(file);
    ImageCodec ref;
    ASSERT_TRUE(ref.DecodeFromMemory(whole.data(), uint32_t(whole.size()), 0)) << file;
    for (size_t keep : {size_t(1), size_t(8), size_t(20), whole.size() / 4, whole.size() / 2, whole.size() - 1}) {
      SCOPED_TRACE(std::string(file) + " cut to " + std::to_string(keep));
      // A copy of exactly the kept length, so a read past it is caught by the sanitizers.
      std::vector<uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(keep));
      ImageCodec img;
      const bool ok = img.DecodeFromMemory(cut.data(), uint32_t(cut.size()), 0);
      if (keep <= 20) {
        EXPECT_FALSE(ok);
      }
      if (ok) {
        EXPECT_EQ(img.GetWidth(), ref.GetWidth());
        EXPECT_EQ(img.GetHeight(), ref.GetHeight());
      } else {
        EXPECT_FALSE(img.IsValid());
        EXPECT_NE(img.LastStatus(), ImageStatus::kOk);
      }
    }
  }
}

// Bytes overwritten in the middle (as a reused sector leaves them) never crash a decoder.
TEST(ImageCodecHostile, OverwrittenBytesNeverCrash) {
  for (const char* file : kFiles) {
    const std::vector<uint8_t> whole = LoadPicture(file);
    for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x5A)}) {
      for (size_t at : {size_t(2), size_t(12), size_t(30), whole.size() / 3, whole.size() / 2}) {
        std::vector<uint8_t> bad = whole;
        for (size_t i = at; i < at + 16 && i < bad.size(); ++i) bad[i] = fill;
        ImageCodec img;
        if (img.DecodeFromMemory(bad.data(), uint32_t(bad.size()), 0)) {
          EXPECT_LE(uint64_t(img.GetWidth()) * img.GetHeight(), kMaxImagePixels);
        }
      }
    }
  }
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v, bool bigEndian) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (bigEndian ? 24 - 8 * i : 8 * i));
}
void Put16Be(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v >> 8);
  b[at + 1] = uint8_t(v);
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

// Sets the width and height of a TIFF entry (SHORT or LONG, one value) wherever the bytes hold
// one with the old value.
void PatchTiffSize(std::vector<uint8_t>& b, uint16_t tag, uint32_t oldValue, uint32_t newValue) {
  for (size_t i = 8; i + 12 <= b.size(); i += 2) {
    if (b[i] != (tag & 0xFF) || b[i + 1] != (tag >> 8) || b[i + 4] != 1 || b[i + 5] || b[i + 6] || b[i + 7]) continue;
    const uint16_t type = uint16_t(b[i + 2] | (b[i + 3] << 8));
    const uint32_t v = type == 3 ? uint32_t(b[i + 8] | (b[i + 9] << 8))
                                 : uint32_t(b[i + 8] | (b[i + 9] << 8) | (b[i + 10] << 16) | (uint32_t(b[i + 11]) << 24));
    if ((type != 3 && type != 4) || v != oldValue) continue;
    b[i + 2] = 4;
    b[i + 3] = 0;
    Put32(b, i + 8, newValue, false);
  }
}

// Each format declaring 60000 x 60000 (3.6 gigapixels) in a small file: refused as too large
// before anything of that size is allocated.
TEST(ImageCodecHostile, DeclaredGigapixelsAreRefused) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;

  std::vector<uint8_t> bmp = LoadPicture("quad.bmp");
  Put32(bmp, 18, 60000, false);
  Put32(bmp, 22, 60000, false);
  cases.push_back({"bmp", bmp});

  std::vector<uint8_t> png = LoadPicture("quad.png");  // IHDR data at 16, its CRC at 29
  Put32(png, 16, 60000, true);
  Put32(png, 20, 60000, true);
  Put32(png, 29, Crc32(png.data() + 12, 17), true);
  cases.push_back({"png", png});

  std::vector<uint8_t> jpg = LoadPicture("quad.jpg");
  for (size_t i = 2; i + 9 < jpg.size(); ++i) {
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) {
      Put16Be(jpg, i + 5, 60000);
      Put16Be(jpg, i + 7, 60000);
      break;
    }
  }
  cases.push_back({"jpeg", jpg});

  std::vector<uint8_t> gif = LoadPicture("quad.gif");
  // The logical screen, and the first frame's descriptor (after the global palette).
  const size_t palette = (gif[10] & 0x80) ? 3u << ((gif[10] & 7) + 1) : 0;
  size_t desc = 13 + palette;
  while (desc < gif.size() && gif[desc] == 0x21) {  // skip extensions
    desc += 2;
    while (desc < gif.size() && gif[desc]) desc += gif[desc] + 1u;
    ++desc;
  }
  ASSERT_EQ(gif[desc], 0x2C);
  for (size_t at : {size_t(6), size_t(8), desc + 5, desc + 7}) {
    gif[at] = 0x60;
    gif[at + 1] = 0xEA;
  }
  cases.push_back({"gif", gif});

  std::vector<uint8_t> tif = LoadPicture("quad.tif");
  PatchTiffSize(tif, 256, 96, 60000);
  PatchTiffSize(tif, 257, 64, 60000);
  cases.push_back({"tiff", tif});

  std::vector<uint8_t> raw = LoadPicture("quad_nothumb.dng");
  PatchTiffSize(raw, 256, 192, 60000);
  PatchTiffSize(raw, 257, 128, 60000);
  cases.push_back({"camera raw", raw});

  std::vector<uint8_t> psd = LoadPicture("quad.psd");
  Put32(psd, 14, 60000, true);
  Put32(psd, 18, 60000, true);
  cases.push_back({"psd", psd});

  std::vector<uint8_t> ico = LoadPicture("quad.ico");  // the DIB header at 22
  Put32(ico, 22 + 4, 60000, false);
  Put32(ico, 22 + 8, 120000, false);
  cases.push_back({"icon", ico});

  const uint32_t formats[] = {kImageBmp, kImagePng, kImageJpeg, kImageGif, kImageTiff, kImageRaw, kImagePsd, kImageIco};
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    for (uint32_t format : {formats[i], uint32_t(kImageUnknown)}) {
      ImageCodec img;
      EXPECT_FALSE(img.DecodeFromMemory(cases[i].bytes.data(), uint32_t(cases[i].bytes.size()), format));
      EXPECT_EQ(img.LastStatus(), ImageStatus::kTooLarge);
    }
  }
}

TEST(ImageCodecHostile, SizeCapAndFitting) {
  EXPECT_TRUE(ImageSizeAllowed(10000, 5000));
  EXPECT_FALSE(ImageSizeAllowed(10000, 5001));
  EXPECT_FALSE(ImageSizeAllowed(0, 10));
  EXPECT_FALSE(ImageSizeAllowed(1ull << 32, 1));
}

}  // namespace

namespace {

// A Photoshop file whose body is far too short for the picture it declares (within the size
// cap) is refused as damaged, for packed and raw rows alike, instead of coming back as a big
// "picture" of filling after seconds of work.
TEST(ImageCodecHostile, PsdBodyTooShortForItsPictureIsRefused) {
  const std::vector<uint8_t> whole = LoadPicture("quad.psd");
  for (uint16_t compression : {uint16_t(1), uint16_t(0)}) {
    std::vector<uint8_t> psd = whole;
    Put32(psd, 14, 7000, true);
    Put32(psd, 18, 7000, true);
    // The compression word follows the three length-prefixed sections after the 26-byte header.
    size_t at = 26;
    for (int section = 0; section < 3; ++section) {
      ASSERT_LE(at + 4, psd.size());
      at += 4 + (uint32_t(psd[at]) << 24 | uint32_t(psd[at + 1]) << 16 | uint32_t(psd[at + 2]) << 8 | psd[at + 3]);
    }
    ASSERT_LE(at + 2, psd.size());
    psd[at] = 0;
    psd[at + 1] = uint8_t(compression);
    SCOPED_TRACE(compression ? "packed rows" : "raw rows");
    for (uint32_t format : {uint32_t(kImagePsd), uint32_t(kImageUnknown)}) {
      ImageCodec img;
      EXPECT_FALSE(img.DecodeFromMemory(psd.data(), uint32_t(psd.size()), format));
      EXPECT_EQ(img.LastStatus(), ImageStatus::kCorrupt);
    }
  }
}

}  // namespace
