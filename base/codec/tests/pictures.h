// The committed sample pictures (tests/fixtures/pictures): one 96 x 64 pattern of four
// quadrants, top left red, top right blue, bottom left green, bottom right white.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/codec/imagecodec.h"

inline std::vector<uint8_t> LoadPicture(const std::string& name) {
  std::vector<uint8_t> out;
  FILE* f = fopen((std::string(KESTREL_PICTURES_DIR) + "/" + name).c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  fclose(f);
  return out;
}

struct Rgb {
  int r, g, b;
};
constexpr Rgb kQuadColours[4] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 255, 255}};

// The colour at the centre of quadrant q (0 top left, 1 top right, 2 bottom left, 3 bottom right).
inline Rgb QuadrantColour(const ImageCodec& img, int q) {
  const uint32_t x = img.GetWidth() * (q % 2 ? 3 : 1) / 4, y = img.GetHeight() * (q / 2 ? 3 : 1) / 4;
  const ImageColor c = img.GetPixelColor(x, y);
  return {c.r, c.g, c.b};
}

inline bool Near(Rgb a, Rgb b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}
