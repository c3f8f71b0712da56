// Area-averaging resampling: every target pixel is the mean of the source area it covers,
// pixels cut by its edges counted by the part that lies inside. Done as two passes (across,
// then down) with whole-number weights: with the source n and the target m pixels long, a
// source pixel is m units long and a target pixel n units, so every overlap is a whole number
// of units and the weights of one target pixel add up to n.
#include <algorithm>
#include <new>
#include <vector>

#include "base/codec/imagecodec.h"

namespace {

struct Tap {
  uint32_t first;                // first source pixel
  std::vector<uint32_t> weights;  // one per source pixel from first on
};

std::vector<Tap> Taps(uint32_t from, uint32_t to) {
  std::vector<Tap> taps(to);
  for (uint32_t x = 0; x < to; ++x) {
    const uint64_t lo = uint64_t(x) * from, hi = lo + from;  // target pixel in units
    const uint32_t first = uint32_t(lo / to);
    Tap& t = taps[x];
    t.first = first;
    for (uint64_t i = first; i * to < hi && i < from; ++i) {
      const uint64_t a = std::max(lo, i * to), b = std::min(hi, (i + 1) * to);
      t.weights.push_back(uint32_t(b - a));
    }
  }
  return taps;
}

}  // namespace

bool ImageCodec::Resample(uint32_t width, uint32_t height) {
  if (!bits_ || width == 0 || height == 0) return false;
  if (width == width_ && height == height_) return true;
  if (bpp_ == 8 && !IsGreyRamp() && !IncreaseBpp24()) return false;
  const uint32_t ch = bpp_ / 8;
  ImageCodec out;
  if (out.Create(width, height, bpp_) != ImageStatus::kOk) return false;

  // Across: source rows to target widths.
  const std::vector<Tap> across = Taps(width_, width);
  const size_t midStride = size_t(width) * ch;
  std::unique_ptr<uint8_t[]> mid(new (std::nothrow) uint8_t[midStride * height_]);
  if (!mid) return false;
  for (uint32_t y = 0; y < height_; ++y) {
    const uint8_t* s = GetRow(y);
    uint8_t* d = mid.get() + size_t(y) * midStride;
    for (uint32_t x = 0; x < width; ++x) {
      const Tap& t = across[x];
      for (uint32_t c = 0; c < ch; ++c) {
        uint64_t sum = 0;
        for (size_t k = 0; k < t.weights.size(); ++k) sum += uint64_t(t.weights[k]) * s[(t.first + k) * ch + c];
        d[size_t(x) * ch + c] = uint8_t((sum + width_ / 2) / width_);
      }
    }
  }
  // Down: the narrowed rows to target heights.
  const std::vector<Tap> down = Taps(height_, height);
  std::vector<uint64_t> sums(midStride);
  for (uint32_t y = 0; y < height; ++y) {
    const Tap& t = down[y];
    std::fill(sums.begin(), sums.end(), 0);
    for (size_t k = 0; k < t.weights.size(); ++k) {
      const uint8_t* s = mid.get() + (t.first + k) * midStride;
      const uint64_t w = t.weights[k];
      for (size_t i = 0; i < midStride; ++i) sums[i] += w * s[i];
    }
    uint8_t* d = out.GetRow(y);
    for (size_t i = 0; i < midStride; ++i) d[i] = uint8_t((sums[i] + height_ / 2) / height_);
  }
  out.type_ = type_;
  std::copy(std::begin(palette_), std::end(palette_), std::begin(out.palette_));
  *this = std::move(out);
  return true;
}
