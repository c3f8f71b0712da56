// Icon resources: a picture chosen by size from an icon file, or a single PNG or BMP, made into
// an icon and scaled when asked.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/paint/gditypes.h"

// One picture of an icon file as its directory states it; `bytes` lie inside the file.
struct IconFilePicture {
  int width = 0;
  int height = 0;
  std::span<const uint8_t> bytes;
};

// The pictures of an icon file (reserved 0, type 1, a count, 16-byte entries). Entries whose
// bytes lie outside the file or that are not PNG are left out; a file whose directory does not
// fit gives none.
std::vector<IconFilePicture> IconFilePictures(std::span<const uint8_t> file);

// The index of the picture to draw at cx by cy: that size, else the smallest one larger in both
// directions, else the largest. -1 for none.
int ChooseIconPicture(std::span<const IconFilePicture> pictures, int cx, int cy);

// An icon from icon-resource bytes (an icon file, or one PNG or BMP), the picture chosen for
// cx by cy and, with `scale`, resampled to exactly that size. Null when nothing decodes or a
// size lies outside 1 to 1024.
HICON IconFromResourceBytes(std::span<const uint8_t> bytes, int cx, int cy, bool scale);
