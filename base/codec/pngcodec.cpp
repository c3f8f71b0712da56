// PNG through libpng's simplified reader, which keeps libpng's longjmp inside the library and
// answers every error with a failed call. Greyscale pictures without alpha stay 8-bit grey;
// everything else becomes 24 bits, laid over white where it is transparent.
#include <cstring>

#include <png.h>

#include "base/codec/codecinternal.h"

ImageStatus DecodePng(ImageCodec& img, Bytes data) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (data.size() < 8 || std::memcmp(data.data(), kSignature, 8) != 0) return ImageStatus::kCorrupt;
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, data.data(), data.size())) return ImageStatus::kCorrupt;
  if (!ImageSizeAllowed(png.width, png.height)) {
    png_image_free(&png);
    return ImageStatus::kTooLarge;
  }
  const bool grey = (png.format & PNG_FORMAT_FLAG_COLOR) == 0 && (png.format & PNG_FORMAT_FLAG_ALPHA) == 0 &&
                    (png.format & PNG_FORMAT_FLAG_COLORMAP) == 0;
  png.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_BGR;
  const ImageStatus made = img.Create(png.width, png.height, grey ? 8 : 24);
  if (made != ImageStatus::kOk) {
    png_image_free(&png);
    return made;
  }
  const png_color white = {255, 255, 255};
  if (!png_image_finish_read(&png, &white, img.GetRow(0), png_int_32(img.GetStride()), nullptr)) {
    png_image_free(&png);
    return ImageStatus::kCorrupt;
  }
  return ImageStatus::kOk;
}
