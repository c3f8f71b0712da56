// What the picture targets share: bytes decoded as the preview decodes them (whole, and for the
// thumbnail box), then fitted, resampled and encoded as a thumbnail is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/codec/imagecodec.h"

inline void FuzzPicture(const uint8_t* data, size_t size, uint32_t format) {
  if (size == 0 || size > 0xFFFFFFFFu) return;
  ImageCodec img;
  if (img.DecodeFromMemory(data, uint32_t(size), format)) {
    uint32_t w = 0, h = 0;
    FitIntoBox(img.GetWidth(), img.GetHeight(), 118, w, h);
    if (img.Resample(w, h)) {
      if (!(img.GetBpp() == 8 && img.IsGreyRamp())) img.IncreaseBpp24();
      std::vector<uint8_t> jpeg;
      img.EncodeJpeg(jpeg);
    }
  }
  ImageCodec boxed;
  boxed.DecodeForBox(data, uint32_t(size), format, 118, 118);
}
