// End detection of Flash video: the tag walk.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(64, data, size);
  return 0;
}
