// End detection of compound files: the allocation table, its DIFAT chain and the directory.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(36, data, size);
  return 0;
}
