// End detection of the types whose rules have no target of their own: BMP, RIFF (WAV, AVI,
// ANI), Matroska, ASF, RAR 4, CHM, HLP, DOS EPS, FAT32 tables and exFAT directory runs. The
// first input byte picks the type; the rest is as the other end targets take it.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int32_t kTypes[] = {48, 147, 86, 108, 62, 39, 41, 146, 228, 231};
  if (size == 0) return 0;
  FuzzFileEnd(kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])], data + 1, size - 1);
  return 0;
}
