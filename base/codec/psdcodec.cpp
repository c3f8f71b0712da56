// Photoshop files through stb_image's PSD reader (the composite picture the file keeps beside
// its layers), compiled here with every other format left out. Its internal asserts are off:
// a hostile file must come back as a failure, never end the process.
#include <cstring>

#include "base/codec/codecinternal.h"

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PSD
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_ASSERT(x) ((void)0)
#define STBI_MAX_DIMENSIONS (1 << 24)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {
struct StbFree {
  void operator()(stbi_uc* p) const { stbi_image_free(p); }
};
uint32_t Be32(Bytes d, uint64_t at) {
  return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}
uint16_t Be16(Bytes d, uint64_t at) { return uint16_t(d[at] << 8 | d[at + 1]); }

// Whether the file holds at least the bytes its declared picture needs. The reader fills the
// pixels a short body leaves out with zeros, one packet at a time: a file of a few hundred bytes
// that declares 7000 x 7000 pixels would cost seconds and come back as a "picture" that is
// nothing but the filling. Packed rows (PackBits) need their row-length table and at least two
// bytes per 128 pixels of every row; raw rows need every sample.
bool PsdBodyCanHold(Bytes d, uint64_t w, uint64_t h) {
  const uint64_t channels = Be16(d, 12), depth = Be16(d, 22);
  uint64_t at = 26;
  for (int section = 0; section < 3; ++section) {  // colour mode data, resources, layers
    if (at + 4 > d.size()) return false;
    at += 4 + uint64_t(Be32(d, at));
  }
  if (at + 2 > d.size()) return false;
  const uint16_t compression = Be16(d, at);
  at += 2;
  const uint64_t body = d.size() - at;
  const uint64_t used = channels < 4 ? channels : 4;
  uint64_t need = 0;
  if (compression == 1) need = h * channels * 2 + used * h * ((w + 127) / 128) * 2;
  else need = used * w * h * (depth == 16 ? 2 : 1);
  return body >= need;
}
}  // namespace

ImageStatus DecodePsd(ImageCodec& img, Bytes data) {
  if (data.size() < 26 || std::memcmp(data.data(), "8BPS", 4) != 0 || data.size() > 0x7FFFFFFF)
    return ImageStatus::kCorrupt;
  int w = 0, h = 0, comp = 0;
  if (!stbi_info_from_memory(data.data(), int(data.size()), &w, &h, &comp)) return ImageStatus::kCorrupt;
  if (w <= 0 || h <= 0 || !ImageSizeAllowed(uint32_t(w), uint32_t(h))) return ImageStatus::kTooLarge;
  if (!PsdBodyCanHold(data, uint64_t(w), uint64_t(h))) return ImageStatus::kCorrupt;
  std::unique_ptr<stbi_uc, StbFree> px(stbi_load_from_memory(data.data(), int(data.size()), &w, &h, &comp, 4));
  if (!px || w <= 0 || h <= 0) return ImageStatus::kCorrupt;
  const ImageStatus made = img.Create(uint32_t(w), uint32_t(h), 24);
  if (made != ImageStatus::kOk) return made;
  for (int y = 0; y < h; ++y) {
    const stbi_uc* s = px.get() + size_t(y) * size_t(w) * 4;
    uint8_t* d = img.GetRow(uint32_t(y));
    for (int x = 0; x < w; ++x, s += 4, d += 3) {
      d[0] = OverWhite(s[2], s[3]);
      d[1] = OverWhite(s[1], s[3]);
      d[2] = OverWhite(s[0], s[3]);
    }
  }
  return ImageStatus::kOk;
}
