// Icons, cursors and animated cursors: the directory, DIB and PNG entries, RIFF chunks.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImageIco);
  return 0;
}
