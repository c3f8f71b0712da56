// End detection of zip archives and packages: the record walk and the member-name kinds.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(61, data, size);
  return 0;
}
