// End detection of the QuickTime family (MOV, MP4, 3GP, M4A, M4V): the top-level box walk.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(67, data, size);
  return 0;
}
