// Icon resources: the icon file's directory, the choice by size and the area-average scaling.
#include "platform/paint/resicon.h"

#include <algorithm>
#include <new>

#include "platform/paint/gdi.h"
#include "platform/paint/gdiobj.h"

namespace {

constexpr int kMaxIconSide = 1024;

uint32_t Le(std::span<const uint8_t> b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
  return v;
}

bool IsPng(std::span<const uint8_t> b) {
  return b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G';
}

// The picture scaled to cx by cy by averaging the source area under every target pixel
// (premultiplied colours average correctly with their alpha).
GdiBitmap* Resample(const GdiBitmap* src, int cx, int cy) {
  GdiBitmap* dst = NewBitmap(cx, cy, 32, false, true);
  if (!dst) return nullptr;
  const double sx = double(src->width) / cx, sy = double(src->height) / cy;
  for (int y = 0; y < cy; ++y) {
    const double y0 = y * sy, y1 = (y + 1) * sy;
    uint8_t* d = dst->Row(y);
    for (int x = 0; x < cx; ++x) {
      const double x0 = x * sx, x1 = (x + 1) * sx;
      double acc[4] = {0, 0, 0, 0}, total = 0;
      for (int v = int(y0); v < src->height && v < y1; ++v) {
        const double wy = std::min<double>(v + 1, y1) - std::max<double>(v, y0);
        if (wy <= 0) continue;
        const uint8_t* s = src->Row(v);
        for (int u = int(x0); u < src->width && u < x1; ++u) {
          const double w = wy * (std::min<double>(u + 1, x1) - std::max<double>(u, x0));
          if (w <= 0) continue;
          for (int k = 0; k < 4; ++k) acc[k] += w * s[4 * u + k];
          total += w;
        }
      }
      for (int k = 0; k < 4; ++k) d[4 * x + k] = uint8_t(total > 0 ? std::clamp(acc[k] / total + 0.5, 0.0, 255.0) : 0);
    }
  }
  return dst;
}

// A 32-bit premultiplied picture from PNG or BMP bytes (a BMP has no alpha: it is opaque).
GdiBitmap* DecodePicture(std::span<const uint8_t> bytes) {
  const bool png = IsPng(bytes);
  HBITMAP bm = png ? BitmapFromPngBytes(bytes) : BitmapFromBmpBytes(bytes);
  GdiBitmap* b = LiveGdi(bm, GdiKind::Bitmap);
  if (!b) return nullptr;
  if (b->bpp != 32) {
    DeleteObject(bm);
    return nullptr;
  }
  if (!png) {
    for (int y = 0; y < b->height; ++y) {
      uint8_t* p = b->Row(y);
      for (int x = 0; x < b->width; ++x) p[4 * x + 3] = 255;
    }
  }
  return b;
}

}  // namespace

std::vector<IconFilePicture> IconFilePictures(std::span<const uint8_t> file) {
  std::vector<IconFilePicture> out;
  if (file.size() < 6 || Le(file, 0, 2) != 0 || Le(file, 2, 2) != 1) return out;
  const size_t count = Le(file, 4, 2);
  if (6 + 16 * count > file.size()) return out;
  for (size_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * i;
    const uint64_t length = Le(file, e + 8, 4), offset = Le(file, e + 12, 4);
    if (offset > file.size() || length > file.size() - offset) continue;
    IconFilePicture p;
    p.width = file[e] ? file[e] : 256;
    p.height = file[e + 1] ? file[e + 1] : 256;
    p.bytes = file.subspan(size_t(offset), size_t(length));
    if (IsPng(p.bytes)) out.push_back(p);
  }
  return out;
}

int ChooseIconPicture(std::span<const IconFilePicture> pictures, int cx, int cy) {
  int exact = -1, larger = -1, largest = -1;
  auto area = [&](int i) { return int64_t(pictures[size_t(i)].width) * pictures[size_t(i)].height; };
  for (int i = 0; i < int(pictures.size()); ++i) {
    const IconFilePicture& p = pictures[size_t(i)];
    if (p.width == cx && p.height == cy && exact < 0) exact = i;
    if (p.width >= cx && p.height >= cy && (larger < 0 || area(i) < area(larger))) larger = i;
    if (largest < 0 || area(i) > area(largest)) largest = i;
  }
  return exact >= 0 ? exact : larger >= 0 ? larger : largest;
}

HICON IconFromResourceBytes(std::span<const uint8_t> bytes, int cx, int cy, bool scale) {
  if (cx < 1 || cy < 1 || cx > kMaxIconSide || cy > kMaxIconSide) return nullptr;
  std::span<const uint8_t> chosen = bytes;
  if (!IsPng(bytes) && !(bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')) {
    const std::vector<IconFilePicture> pictures = IconFilePictures(bytes);
    const int i = ChooseIconPicture(pictures, cx, cy);
    if (i < 0) return nullptr;
    chosen = pictures[size_t(i)].bytes;
  }
  GdiBitmap* b = DecodePicture(chosen);
  if (!b) return nullptr;
  if (scale && (b->width != cx || b->height != cy)) {
    GdiBitmap* scaled = Resample(b, cx, cy);
    DeleteObject(b);
    if (!scaled) return nullptr;
    b = scaled;
  }
  auto* icon = new (std::nothrow) GdiIcon;
  if (!icon) {
    DeleteObject(b);
    return nullptr;
  }
  icon->image = b;
  RegisterGdiObject(icon);
  return icon;
}
