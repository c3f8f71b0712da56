// Photoshop files through stb_image's PSD reader.
#include "fuzz/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPicture(data, size, kImagePsd);
  return 0;
}
