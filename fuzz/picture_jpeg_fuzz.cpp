// JPEG files through libjpeg: whole and scaled in the DCT.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImageJpeg);
  return 0;
}
