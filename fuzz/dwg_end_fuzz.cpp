// End detection of Drawings: the section locators of the file header.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(75, data, size);
  return 0;
}
