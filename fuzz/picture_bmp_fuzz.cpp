// BMP files (and the DIBs of icons): headers, palettes, bit fields, run-length rows.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImageBmp);
  return 0;
}
