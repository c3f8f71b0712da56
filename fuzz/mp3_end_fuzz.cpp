// End detection of MP3: the ID3v2 tag with its text frames, then the frames and the APE and ID3v1 tags.
#include "fuzz/fileendfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzFileEnd(54, data, size);
  return 0;
}
