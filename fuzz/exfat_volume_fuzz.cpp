// A whole EXFAT volume in an in-memory image, parsed as a scan parses it and read back item by
// item. exFAT: the FAT and bitmap loads, the directory walk of entry sets, and every file read.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (FuzzLoadImage(data, size)) FuzzParseImageVolume({kVolTypeExfat});
  FuzzResetScanState();
  return 0;
}
