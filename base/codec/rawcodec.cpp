// Camera raw files through LibRaw (its thread-safe build): the camera's embedded preview when
// there is one (it is what the camera showed, and far quicker), else the sensor data developed
// at half size. Sizes, the embedded preview's length and LibRaw's own working memory are
// checked or capped before anything is unpacked.
#include <cstring>
#include <memory>
#include <new>

#include <libraw/libraw.h>

#include "base/codec/codecinternal.h"

namespace {

struct ImageFree {
  void operator()(libraw_processed_image_t* p) const { LibRaw::dcraw_clear_mem(p); }
};

ImageStatus FromProcessed(ImageCodec& img, const libraw_processed_image_t* p) {
  if (!p || p->type != LIBRAW_IMAGE_BITMAP || p->bits != 8 || (p->colors != 3 && p->colors != 1))
    return ImageStatus::kCorrupt;
  if (!ImageSizeAllowed(p->width, p->height)) return ImageStatus::kTooLarge;
  const uint64_t need = uint64_t(p->width) * p->height * p->colors;
  if (need > p->data_size) return ImageStatus::kCorrupt;
  const ImageStatus made = img.Create(p->width, p->height, p->colors == 1 ? 8 : 24);
  if (made != ImageStatus::kOk) return made;
  for (uint32_t y = 0; y < p->height; ++y) {
    const uint8_t* s = p->data + size_t(y) * p->width * p->colors;
    uint8_t* d = img.GetRow(y);
    if (p->colors == 1) {
      std::memcpy(d, s, p->width);
      continue;
    }
    for (uint32_t x = 0; x < p->width; ++x, s += 3, d += 3) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  }
  return ImageStatus::kOk;
}

ImageStatus FromThumbnail(ImageCodec& img, LibRaw& raw, Bytes data, const DecodeBox& box) {
  const libraw_thumbnail_t& t = raw.imgdata.thumbnail;
  // A declared preview longer than the file cannot be whole; LibRaw would allocate it first.
  if (t.tlength == 0 || t.tlength > data.size()) return ImageStatus::kCorrupt;
  if (raw.unpack_thumb() != LIBRAW_SUCCESS) return ImageStatus::kCorrupt;
  if (t.tformat == LIBRAW_THUMBNAIL_JPEG && t.thumb && t.tlength > 0)
    return DecodeJpeg(img, Bytes(reinterpret_cast<const uint8_t*>(t.thumb), t.tlength), box);
  if (t.tformat != LIBRAW_THUMBNAIL_BITMAP || !ImageSizeAllowed(t.twidth, t.theight)) return ImageStatus::kCorrupt;
  int err = 0;
  std::unique_ptr<libraw_processed_image_t, ImageFree> p(raw.dcraw_make_mem_thumb(&err));
  return FromProcessed(img, p.get());
}

}  // namespace

ImageStatus DecodeRaw(ImageCodec& img, Bytes data, const DecodeBox& box) {
  if (data.size() < 16) return ImageStatus::kCorrupt;
  std::unique_ptr<LibRaw> raw(new (std::nothrow) LibRaw(LIBRAW_OPTIONS_NONE));
  if (!raw) return ImageStatus::kNoMemory;
  raw->set_dataerror_handler(nullptr, nullptr);
  raw->set_memerror_handler(nullptr, nullptr);
  libraw_output_params_t& params = raw->imgdata.params;
  params.max_raw_memory_mb = unsigned(kMaxDecoderMemory >> 20);
  params.half_size = 1;
  params.use_camera_wb = 1;
  params.output_bps = 8;
  if (raw->open_buffer(const_cast<uint8_t*>(data.data()), data.size()) != LIBRAW_SUCCESS) return ImageStatus::kCorrupt;
  const libraw_image_sizes_t& s = raw->imgdata.sizes;
  if (!ImageSizeAllowed(s.raw_width, s.raw_height) || !ImageSizeAllowed(s.width, s.height))
    return ImageStatus::kTooLarge;
  if (FromThumbnail(img, *raw, data, box) == ImageStatus::kOk) return ImageStatus::kOk;
  img.Destroy();
  if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS) return ImageStatus::kCorrupt;
  int err = 0;
  std::unique_ptr<libraw_processed_image_t, ImageFree> p(raw->dcraw_make_mem_image(&err));
  return FromProcessed(img, p.get());
}
