// A whole FAT volume in an in-memory image, parsed as a scan parses it and read back item by
// item. FAT16/FAT32: the FAT load, the directory walk with its long names, deleted entries and the FAT32 start-cluster relocation, and every file read through its chain.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (FuzzLoadImage(data, size)) FuzzParseImageVolume({kVolTypeFat16, kVolTypeFat32});
  FuzzResetScanState();
  return 0;
}
