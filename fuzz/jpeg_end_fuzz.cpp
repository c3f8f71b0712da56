// End detection of JPEG pictures: the marker walk, the Exif directories and the end-marker search.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(46, data, size);
  return 0;
}
