// A whole NTFS volume in an in-memory image, parsed as a scan parses it and read back item by
// item. NTFS: the MFT walk with its attribute lists, index allocations, sequence checks, and every file read.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (FuzzLoadImage(data, size)) FuzzParseImageVolume({kVolTypeNtfs});
  FuzzResetScanState();
  return 0;
}
