// End detection of RealMedia: the chunk walk.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(66, data, size);
  return 0;
}
