// GIF files through giflib: the logical screen, extensions and the first frame.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImageGif);
  return 0;
}
