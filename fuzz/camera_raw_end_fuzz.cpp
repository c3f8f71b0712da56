// End detection of Camera RAW files on TIFF: the directory chain, sub-directories, strips and tiles.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(51, data, size);
  return 0;
}
