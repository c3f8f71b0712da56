// What the decoders share: one entry point per format, a checked little-endian reader and the
// size a picture shown in a box needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/codec/imagecodec.h"

using Bytes = std::span<const uint8_t>;

// The box a picture will be shown in; 0 x 0 asks for the full picture.
struct DecodeBox {
  uint32_t width = 0;
  uint32_t height = 0;
  bool Full() const { return width == 0 || height == 0; }
};

ImageStatus DecodeBmp(ImageCodec& img, Bytes data);
ImageStatus DecodeGif(ImageCodec& img, Bytes data);
ImageStatus DecodeJpeg(ImageCodec& img, Bytes data, const DecodeBox& box);
ImageStatus DecodePng(ImageCodec& img, Bytes data);
ImageStatus DecodeIco(ImageCodec& img, Bytes data);
ImageStatus DecodeTiff(ImageCodec& img, Bytes data);
ImageStatus DecodeRaw(ImageCodec& img, Bytes data, const DecodeBox& box);
ImageStatus DecodePsd(ImageCodec& img, Bytes data);
// A device-independent bitmap without its file header: the information header, the palette
// and the rows. With iconMask the height counts the colour rows and the 1-bit AND mask that
// follows them; masked pixels become white.
ImageStatus DecodeDib(ImageCodec& img, Bytes data, bool iconMask);

// Little-endian reads at fixed offsets; a read past the end gives 0 and clears Ok() for good.
class LeReader {
 public:
  explicit LeReader(Bytes b) : b_(b) {}
  uint8_t U8(size_t at) { return Have(at, 1) ? b_[at] : 0; }
  uint16_t U16(size_t at) { return Have(at, 2) ? uint16_t(b_[at] | (b_[at + 1] << 8)) : 0; }
  uint32_t U32(size_t at) {
    return Have(at, 4) ? uint32_t(b_[at]) | (uint32_t(b_[at + 1]) << 8) | (uint32_t(b_[at + 2]) << 16) |
                             (uint32_t(b_[at + 3]) << 24)
                       : 0;
  }
  int32_t I32(size_t at) { return int32_t(U32(at)); }
  bool Ok() const { return ok_; }

 private:
  bool Have(size_t at, size_t n) {
    if (at <= b_.size() && n <= b_.size() - at) return true;
    ok_ = false;
    return false;
  }
  Bytes b_;
  bool ok_ = true;
};

// Lays a colour with alpha over white.
inline uint8_t OverWhite(uint8_t c, uint8_t alpha) { return uint8_t((c * alpha + 255 * (255 - alpha) + 127) / 255); }

// The smallest whole-number shrink (1, 2, 4 or 8) of a width x height picture that still
// covers the fitted size of the box.
uint32_t ShrinkForBox(uint32_t width, uint32_t height, const DecodeBox& box);
