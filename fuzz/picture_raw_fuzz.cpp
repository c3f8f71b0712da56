// Camera raw files through LibRaw: the embedded preview, else the half-size development.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImageRaw);
  return 0;
}
