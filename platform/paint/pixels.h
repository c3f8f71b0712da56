// Reading DIB rows described by a bitmap information header (BMP files, CreateDIBitmap).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/paint/gdiobj.h"

struct DibLayout {
  BITMAPINFOHEADER h{};
  int width = 0;
  int height = 0;
  int bpp = 0;
  bool bottomUp = true;
  size_t stride = 0;             // bytes per row, padded to 4
  std::vector<RGBQUAD> palette;  // 256 entries for 1, 4 and 8 bits
  DWORD masks[3] = {};           // red, green, blue for 16 and 32 bits

  // Reads and checks the header and colour table from `headerBytes` bytes at `bmi`.
  bool From(const BITMAPINFO* bmi, size_t headerBytes);
  size_t ImageBytes() const { return stride * size_t(height); }
  // Converts the rows at `bits` (ImageBytes() long) into `dst`.
  void ToBitmap(const uint8_t* bits, GdiBitmap* dst) const;
};
