// TIFF through libtiff, opened on the bytes in memory: the first directory, read as RGBA with
// its origin at the top left (libtiff converts every photometric it knows), over white where
// it has alpha. Each open carries its own limit on a single allocation and its own silent
// error handlers, so damaged files neither print nor allocate what they merely declare.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <tiffio.h>

#include "base/codec/codecinternal.h"

namespace {

struct Source {
  Bytes data;
  uint64_t pos = 0;
};

tmsize_t ReadProc(thandle_t h, void* out, tmsize_t n) {
  auto* s = static_cast<Source*>(h);
  if (n <= 0 || s->pos >= s->data.size()) return 0;
  const size_t take = size_t(std::min<uint64_t>(uint64_t(n), s->data.size() - s->pos));
  std::memcpy(out, s->data.data() + s->pos, take);
  s->pos += take;
  return tmsize_t(take);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<Source*>(h);
  uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->data.size() : 0;
  s->pos = base + off;  // past the end reads give nothing
  return s->pos;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<Source*>(h)->data.size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

}  // namespace

ImageStatus DecodeTiff(ImageCodec& img, Bytes data) {
  if (data.size() < 8 || (std::memcmp(data.data(), "II*\0", 4) != 0 && std::memcmp(data.data(), "MM\0*", 4) != 0))
    return ImageStatus::kCorrupt;
  std::unique_ptr<TIFFOpenOptions, OptionsFree> opts(TIFFOpenOptionsAlloc());
  if (!opts) return ImageStatus::kNoMemory;
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts.get(), tmsize_t(kMaxDecoderMemory));
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), Quiet, nullptr);
  Source src{data};
  // "m": no memory mapping; "h": the header only, the first directory is read below.
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("memory", "rm", &src, ReadProc, WriteProc, SeekProc,
                                                          CloseProc, SizeProc, MapProc, UnmapProc, opts.get()));
  if (!tif) return ImageStatus::kCorrupt;
  uint32_t w = 0, h = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h))
    return ImageStatus::kCorrupt;
  if (!ImageSizeAllowed(w, h)) return ImageStatus::kTooLarge;
  char why[1024];
  if (!TIFFRGBAImageOK(tif.get(), why)) return ImageStatus::kCorrupt;
  std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[size_t(w) * h]);
  if (!raster) return ImageStatus::kNoMemory;
  if (!TIFFReadRGBAImageOriented(tif.get(), w, h, raster.get(), ORIENTATION_TOPLEFT, 0)) return ImageStatus::kCorrupt;
  const ImageStatus made = img.Create(w, h, 24);
  if (made != ImageStatus::kOk) return made;
  for (uint32_t y = 0; y < h; ++y) {
    const uint32_t* s = raster.get() + size_t(y) * w;
    uint8_t* d = img.GetRow(y);
    for (uint32_t x = 0; x < w; ++x, d += 3) {
      // libtiff hands back colours premultiplied by alpha (what shows over black) for both
      // kinds of alpha: adding white's share lays them over white.
      const uint32_t p = s[x];
      const unsigned a = TIFFGetA(p);
      d[0] = uint8_t(std::min(255u, TIFFGetB(p) + (255 - a)));
      d[1] = uint8_t(std::min(255u, TIFFGetG(p) + (255 - a)));
      d[2] = uint8_t(std::min(255u, TIFFGetR(p) + (255 - a)));
    }
  }
  return ImageStatus::kOk;
}
