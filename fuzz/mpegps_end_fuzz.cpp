// End detection of MPEG-2 program streams: the pack and packet walk.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(82, data, size);
  return 0;
}
