// Bytes of unknown format: sniffed, then every decoder in turn.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImageUnknown);
  return 0;
}
