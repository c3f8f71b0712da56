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
}  // namespace

ImageStatus DecodePsd(ImageCodec& img, Bytes data) {
  if (data.size() < 26 || std::memcmp(data.data(), "8BPS", 4) != 0 || data.size() > 0x7FFFFFFF)
    return ImageStatus::kCorrupt;
  int w = 0, h = 0, comp = 0;
  if (!stbi_info_from_memory(data.data(), int(data.size()), &w, &h, &comp)) return ImageStatus::kCorrupt;
  if (w <= 0 || h <= 0 || !ImageSizeAllowed(uint32_t(w), uint32_t(h))) return ImageStatus::kTooLarge;
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
