// BMP files and the DIBs inside icons: 1, 4 and 8 bits with a palette (uncompressed, RLE8 and
// RLE4), 16 and 32 bits (plain or with bit-field masks) and 24 bits; rows bottom-up or top-down.
#include <algorithm>
#include <cstring>

#include "base/codec/codecinternal.h"

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;
constexpr size_t kFileHeader = 14;
constexpr size_t kCoreHeader = 12;

struct Mask {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t max = 0;
  void Set(uint32_t m) {
    mask = m;
    shift = m ? __builtin_ctz(m) : 0;
    max = m ? (uint64_t(m) >> shift) : 0;
  }
  uint8_t Of(uint32_t px) const { return max ? uint8_t(((uint64_t(px & mask) >> shift) * 255 + max / 2) / max) : 0; }
};

struct DibInfo {
  uint32_t headerSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // rows of the picture (without an icon's mask)
  bool topDown = false;
  uint32_t bpp = 0;
  uint32_t compression = 0;
  uint32_t colors = 0;      // palette entries present
  uint32_t entryBytes = 4;  // 3 in the old core header
  size_t paletteAt = 0;     // offsets inside the DIB
  Mask masks[4];            // red, green, blue, alpha
  bool alphaMask = false;
};

// Reads the information header and finds the palette. False when the header is not one of a
// DIB or names a depth or compression we do not read.
bool ReadInfo(Bytes dib, bool iconMask, DibInfo& info) {
  LeReader r(dib);
  info.headerSize = r.U32(0);
  if (!r.Ok()) return false;
  if (info.headerSize == kCoreHeader) {
    info.width = r.U16(4);
    info.height = r.U16(6);
    info.bpp = r.U16(10);
    info.entryBytes = 3;
  } else if (info.headerSize >= 40 && info.headerSize <= 256) {
    info.width = r.I32(4);
    info.height = r.I32(8);
    info.bpp = r.U16(14);
    info.compression = r.U32(16);
    info.colors = r.U32(32);
  } else {
    return false;
  }
  if (!r.Ok() || info.headerSize > dib.size()) return false;
  if (info.height < 0) {
    info.topDown = true;
    info.height = -info.height;
  }
  if (iconMask) info.height /= 2;
  if (info.width <= 0 || info.height <= 0) return false;

  size_t after = info.headerSize;
  const uint32_t c = info.compression;
  if (c == kBiRle8 && info.bpp != 8) return false;
  if (c == kBiRle4 && info.bpp != 4) return false;
  if ((c == kBiBitfields || c == kBiAlphaBitfields) && info.bpp != 16 && info.bpp != 32) return false;
  if (c != kBiRgb && c != kBiRle8 && c != kBiRle4 && c != kBiBitfields && c != kBiAlphaBitfields) return false;
  if (info.bpp != 1 && info.bpp != 4 && info.bpp != 8 && info.bpp != 16 && info.bpp != 24 && info.bpp != 32)
    return false;

  if (c == kBiBitfields || c == kBiAlphaBitfields) {
    // A 40-byte header is followed by the masks; later headers hold them from offset 40.
    const size_t at = 40;
    const size_t count = c == kBiAlphaBitfields ? 4 : 3;
    for (size_t i = 0; i < count; ++i) info.masks[i].Set(r.U32(at + 4 * i));
    if (info.headerSize == 40) after += 4 * count;
    if (count == 4 || info.headerSize >= 56) info.alphaMask = info.masks[3].mask != 0;
    if (!r.Ok()) return false;
  } else if (info.bpp == 16) {
    info.masks[0].Set(0x7C00);
    info.masks[1].Set(0x03E0);
    info.masks[2].Set(0x001F);
  } else {
    info.masks[0].Set(0xFF0000);
    info.masks[1].Set(0x00FF00);
    info.masks[2].Set(0x0000FF);
  }
  info.paletteAt = after;
  if (info.bpp <= 8) {
    const uint32_t most = 1u << info.bpp;
    info.colors = info.colors == 0 || info.colors > most ? most : info.colors;
  } else {
    info.colors = 0;
  }
  return true;
}

size_t StrideOf(int64_t width, uint32_t bpp) { return size_t(((uint64_t(width) * bpp + 31) / 32) * 4); }

void ReadPalette(ImageCodec& img, Bytes dib, const DibInfo& info, size_t limit) {
  for (uint32_t i = 0; i < info.colors; ++i) {
    const size_t at = info.paletteAt + size_t(i) * info.entryBytes;
    // A palette cut short by the pixels or the end leaves its remaining entries black.
    if (at + 3 > limit || at + 3 > dib.size()) {
      img.SetPaletteColor(i, 0, 0, 0);
      continue;
    }
    img.SetPaletteColor(i, dib[at + 2], dib[at + 1], dib[at]);
  }
  for (uint32_t i = info.colors; i < 256; ++i) img.SetPaletteColor(i, 0, 0, 0);
}

uint8_t* RowFor(ImageCodec& img, const DibInfo& info, int64_t storedRow) {
  const uint32_t y = uint32_t(info.topDown ? storedRow : info.height - 1 - storedRow);
  return img.GetRow(y);
}

// Run-length rows: pairs of (count, index), escapes 0 0 end of line, 0 1 end of picture,
// 0 2 dx dy a jump, 0 n an absolute run of n indexes padded to a word. Pixels outside the
// picture are dropped; what no run reaches keeps index 0.
void DecodeRle(ImageCodec& img, const DibInfo& info, Bytes px) {
  const bool four = info.compression == kBiRle4;
  int64_t x = 0, row = 0;
  size_t i = 0;
  auto put = [&](uint8_t index) {
    if (x < info.width && row < info.height) RowFor(img, info, row)[x] = index;
    ++x;
  };
  while (i + 1 < px.size() && row < info.height) {
    const uint8_t n = px[i], v = px[i + 1];
    i += 2;
    if (n > 0) {
      for (uint32_t k = 0; k < n && x < info.width; ++k) put(four ? ((k & 1) ? (v & 0xF) : (v >> 4)) : v);
      continue;
    }
    if (v == 0) {
      x = 0;
      ++row;
    } else if (v == 1) {
      break;
    } else if (v == 2) {
      if (i + 1 >= px.size()) break;
      x += px[i];
      row += px[i + 1];
      i += 2;
    } else {
      const size_t bytes = four ? (size_t(v) + 1) / 2 : v;
      if (bytes > px.size() - i) break;
      for (uint32_t k = 0; k < v; ++k) {
        const uint8_t b = px[i + (four ? k / 2 : k)];
        put(four ? ((k & 1) ? (b & 0xF) : (b >> 4)) : b);
      }
      i += (bytes + 1) & ~size_t(1);
    }
  }
}

void DecodeRows(ImageCodec& img, const DibInfo& info, Bytes px, size_t stride, bool useAlpha) {
  for (int64_t row = 0; row < info.height; ++row) {
    const uint8_t* s = px.data() + size_t(row) * stride;
    uint8_t* d = RowFor(img, info, row);
    for (int64_t x = 0; x < info.width; ++x) {
      switch (info.bpp) {
        case 1: d[x] = (s[x / 8] >> (7 - (x & 7))) & 1; break;
        case 4: d[x] = (s[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF; break;
        case 8: d[x] = s[x]; break;
        case 24: std::memcpy(d + 3 * x, s + 3 * x, 3); break;
        default: {
          uint32_t p = info.bpp == 16 ? uint32_t(s[2 * x] | (s[2 * x + 1] << 8))
                                      : uint32_t(s[4 * x]) | (uint32_t(s[4 * x + 1]) << 8) |
                                            (uint32_t(s[4 * x + 2]) << 16) | (uint32_t(s[4 * x + 3]) << 24);
          uint8_t b = info.masks[2].Of(p), g = info.masks[1].Of(p), r = info.masks[0].Of(p);
          if (useAlpha) {
            const uint8_t a = info.bpp == 32 && !info.alphaMask ? uint8_t(p >> 24) : info.masks[3].Of(p);
            b = OverWhite(b, a);
            g = OverWhite(g, a);
            r = OverWhite(r, a);
          }
          d[3 * x] = b;
          d[3 * x + 1] = g;
          d[3 * x + 2] = r;
        }
      }
    }
  }
}

// An icon's colours with their AND mask: set mask bits are transparent, shown as white. A
// 32-bit icon with any alpha uses its alpha instead.
ImageStatus ApplyIconMask(ImageCodec& img, const DibInfo& info, Bytes rest) {
  if (!img.IncreaseBpp24()) return ImageStatus::kNoMemory;
  const size_t maskStride = StrideOf(info.width, 1);
  // Icons whose mask was left out still show their colours.
  if (rest.size() / maskStride < size_t(info.height)) return ImageStatus::kOk;
  for (int64_t row = 0; row < info.height; ++row) {
    const uint8_t* m = rest.data() + size_t(row) * maskStride;
    uint8_t* d = RowFor(img, info, row);
    for (int64_t x = 0; x < info.width; ++x)
      if ((m[x / 8] >> (7 - (x & 7))) & 1) std::memset(d + 3 * x, 0xFF, 3);
  }
  return ImageStatus::kOk;
}

bool HasAlpha(const DibInfo& info, Bytes px, size_t stride) {
  if (info.bpp != 32) return false;
  for (int64_t row = 0; row < info.height; ++row)
    for (int64_t x = 0; x < info.width; ++x)
      if (px[size_t(row) * stride + 4 * size_t(x) + 3] != 0) return true;
  return false;
}

// pixelsAt: where the rows begin inside dib (0: right after the palette).
ImageStatus DecodeDibAt(ImageCodec& img, Bytes dib, size_t pixelsAt, bool iconMask) {
  DibInfo info;
  if (!ReadInfo(dib, iconMask, info)) return ImageStatus::kCorrupt;
  if (!ImageSizeAllowed(uint64_t(info.width), uint64_t(info.height))) return ImageStatus::kTooLarge;
  const size_t paletteEnd = info.paletteAt + size_t(info.colors) * info.entryBytes;
  if (pixelsAt == 0) pixelsAt = paletteEnd;
  if (pixelsAt > dib.size()) return ImageStatus::kCorrupt;
  Bytes px = dib.subspan(pixelsAt);
  const bool rle = info.compression == kBiRle8 || info.compression == kBiRle4;
  const size_t stride = StrideOf(info.width, info.bpp);
  const bool full = px.size() / stride >= size_t(info.height);
  if (!rle && !full) return ImageStatus::kCorrupt;

  const ImageStatus made = img.Create(uint32_t(info.width), uint32_t(info.height), info.bpp <= 8 ? 8 : 24);
  if (made != ImageStatus::kOk) return made;
  if (info.bpp <= 8) ReadPalette(img, dib, info, std::min(pixelsAt, dib.size()));
  const bool iconAlpha = iconMask && HasAlpha(info, px, stride);
  if (rle) DecodeRle(img, info, px);
  else DecodeRows(img, info, px, stride, iconAlpha || info.alphaMask);
  if (iconMask && !iconAlpha) return ApplyIconMask(img, info, px.subspan(std::min(px.size(), stride * size_t(info.height))));
  return ImageStatus::kOk;
}

}  // namespace

ImageStatus DecodeDib(ImageCodec& img, Bytes data, bool iconMask) { return DecodeDibAt(img, data, 0, iconMask); }

ImageStatus DecodeBmp(ImageCodec& img, Bytes data) {
  if (data.size() < kFileHeader + kCoreHeader || data[0] != 'B' || data[1] != 'M') return ImageStatus::kCorrupt;
  LeReader r(data);
  const uint32_t offBits = r.U32(10);
  Bytes dib = data.subspan(kFileHeader);
  // Files that leave the offset at 0 keep their rows right after the palette.
  if (offBits != 0 && (offBits < kFileHeader || offBits > data.size())) return ImageStatus::kCorrupt;
  return DecodeDibAt(img, dib, offBits == 0 ? 0 : offBits - kFileHeader, false);
}
