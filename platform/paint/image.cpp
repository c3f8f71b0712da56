// Pictures: BMP file bytes and PNG bytes to bitmaps, and bitmaps to PNG files.
#include <png.h>

#include <cstring>
#include <limits>
#include <vector>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"
#include "platform/paint/pixels.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

}  // namespace

HBITMAP BitmapFromBmpBytes(std::span<const uint8_t> b) {
  constexpr size_t kFileHeader = sizeof(BITMAPFILEHEADER);
  if (b.size() < kFileHeader + sizeof(BITMAPINFOHEADER) || b[0] != 'B' || b[1] != 'M') return nullptr;
  const uint32_t offBits = Le32(b.data() + 10);
  const uint32_t infoSize = Le32(b.data() + kFileHeader);
  // The information header and colour table lie between the file header and the pixels.
  if (offBits > b.size() || offBits < kFileHeader + infoSize || infoSize < sizeof(BITMAPINFOHEADER)) return nullptr;
  DibLayout lay;
  if (!lay.From(reinterpret_cast<const BITMAPINFO*>(b.data() + kFileHeader), offBits - kFileHeader)) return nullptr;
  const size_t image = lay.ImageBytes();
  if (image > b.size() - offBits) return nullptr;
  GdiBitmap* bm = NewBitmap(lay.width, lay.height, 32, false, false);
  if (!bm) return nullptr;
  lay.ToBitmap(b.data() + offBits, bm);
  return bm;
}

HBITMAP BitmapFromPngBytes(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return nullptr;
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return nullptr;
  img.format = PNG_FORMAT_BGRA;
  if (img.width == 0 || img.height == 0 || img.width > 32768 || img.height > 32768) {
    png_image_free(&img);
    return nullptr;
  }
  GdiBitmap* bm = NewBitmap(int(img.width), int(img.height), 32, false, true);
  if (!bm) {
    png_image_free(&img);
    return nullptr;
  }
  if (!png_image_finish_read(&img, nullptr, bm->bits, bm->stride, nullptr)) {
    png_image_free(&img);
    DeleteObject(bm);
    return nullptr;
  }
  // AlphaBlend takes premultiplied colours: each colour byte times alpha / 255, rounded down.
  for (int y = 0; y < bm->height; ++y) {
    uint8_t* p = bm->Row(y);
    for (int x = 0; x < bm->width; ++x, p += 4) {
      const unsigned a = p[3];
      p[0] = uint8_t(p[0] * a / 255);
      p[1] = uint8_t(p[1] * a / 255);
      p[2] = uint8_t(p[2] * a / 255);
    }
  }
  return bm;
}

bool WriteBitmapPng(HBITMAP h, const std::string& hostPath) {
  GdiBitmap* bm = LiveGdi(h, GdiKind::Bitmap);
  if (!bm) return false;
  std::vector<uint8_t> rgb(size_t(bm->width) * 3 * size_t(bm->height));
  for (int y = 0; y < bm->height; ++y) {
    const uint8_t* s = bm->Row(y);
    uint8_t* d = rgb.data() + size_t(y) * size_t(bm->width) * 3;
    for (int x = 0; x < bm->width; ++x, s += bm->Bytes(), d += 3) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  }
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(bm->width);
  img.height = png_uint_32(bm->height);
  img.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&img, hostPath.c_str(), 0, rgb.data(), bm->width * 3, nullptr) != 0;
}

std::vector<uint8_t> BmpFileBytes(HBITMAP h) {
  GdiBitmap* bm = LiveGdi(h, GdiKind::Bitmap);
  if (!bm) return {};
  const uint32_t stride = (uint32_t(bm->width) * 3 + 3) & ~3u;
  const uint32_t image = stride * uint32_t(bm->height);
  const uint32_t off = 14 + 40;
  std::vector<uint8_t> out(off + image, 0);
  auto put16 = [&](size_t at, uint32_t v) { out[at] = uint8_t(v), out[at + 1] = uint8_t(v >> 8); };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
  out[0] = 'B', out[1] = 'M';
  put32(2, off + image);
  put32(10, off);
  put32(14, 40);
  put32(18, uint32_t(bm->width));
  put32(22, uint32_t(bm->height));
  put16(26, 1);
  put16(28, 24);
  put32(34, image);
  put32(38, 2835);  // 72 dpi
  put32(42, 2835);
  for (int y = 0; y < bm->height; ++y) {
    const uint8_t* s = bm->Row(bm->height - 1 - y);  // bottom row first
    uint8_t* d = out.data() + off + size_t(y) * stride;
    for (int x = 0; x < bm->width; ++x, s += bm->Bytes(), d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
  }
  return out;
}
