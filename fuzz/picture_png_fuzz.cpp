// PNG files through libpng's simplified reader.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImagePng);
  return 0;
}
