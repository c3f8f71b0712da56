// The picture itself: storage, palette, depth, format detection and the choice of decoder.
#include "base/codec/imagecodec.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/codec/codecinternal.h"
#include "platform/comobj.h"

namespace {

// The largest stream DecodeFromStream reads, as the preview reads at most that much of a file.
constexpr uint64_t kMaxStreamBytes = 64ull << 20;

bool Starts(const uint8_t* d, size_t n, size_t at, std::initializer_list<uint8_t> magic) {
  if (at > n || magic.size() > n - at) return false;
  return std::equal(magic.begin(), magic.end(), d + at);
}

}  // namespace

uint32_t DetectImageFormat(const uint8_t* d, size_t n) {
  if (!d) return kImageUnknown;
  if (Starts(d, n, 0, {0xFF, 0xD8})) return kImageJpeg;
  if (Starts(d, n, 0, {'B', 'M'})) return kImageBmp;
  if (Starts(d, n, 0, {0x89, 0x50, 0x4E, 0x47})) return kImagePng;
  if (Starts(d, n, 0, {'G', 'I', 'F', '8'})) return kImageGif;
  if (Starts(d, n, 0, {0x49, 0x49, 0x2A, 0x00}) || Starts(d, n, 0, {0x4D, 0x4D, 0x00, 0x2A})) return kImageTiff;
  if (Starts(d, n, 0, {0x00, 0x00, 0x01, 0x00}) && n > 5 && d[5] == 0) return kImageIco;
  if (n > 6 && d[3] == 0 && d[4] == 0 && d[5] == 1 && d[6] == 0) return kImageIco;
  if (Starts(d, n, 0, {'8', 'B', 'P', 'S'})) return kImagePsd;
  if (Starts(d, n, 0, {0xD7, 0xCD, 0xC6, 0x9A}) || Starts(d, n, 0, {0x01, 0x00, 0x09, 0x00}) ||
      Starts(d, n, 0, {0x02, 0x00, 0x09, 0x00}))
    return kImageMetafile;
  if (Starts(d, n, 41, {'E', 'M', 'F'})) return kImageMetafile;
  return kImageUnknown;
}

bool ImageSizeAllowed(uint64_t width, uint64_t height) {
  if (width == 0 || height == 0 || width > 0xFFFFFFu || height > 0xFFFFFFu) return false;
  return width * height <= kMaxImagePixels;
}

void FitIntoBox(uint32_t width, uint32_t height, uint32_t box, uint32_t& outWidth, uint32_t& outHeight) {
  outWidth = width;
  outHeight = height;
  if (width == 0 || height == 0 || (width <= box && height <= box)) return;
  const float r = float(height) / float(width);
  if (r > 1) {
    outWidth = uint32_t(float(box) / r);
    outHeight = box;
  } else {
    outWidth = box;
    outHeight = uint32_t(float(box) * r);
  }
  // A sliver of a picture still gets one row or column, not an empty thumbnail.
  outWidth = std::max(outWidth, 1u);
  outHeight = std::max(outHeight, 1u);
}

uint32_t ShrinkForBox(uint32_t width, uint32_t height, const DecodeBox& box) {
  if (box.Full()) return 1;
  uint32_t fitW = 0, fitH = 0;
  FitIntoBox(width, height, std::min(box.width, box.height), fitW, fitH);
  if (box.width != box.height) {
    // A box that is not square: fit each side on its own.
    const double s = std::min(double(box.width) / width, double(box.height) / height);
    fitW = s >= 1 ? width : std::max(1u, uint32_t(width * s));
    fitH = s >= 1 ? height : std::max(1u, uint32_t(height * s));
  }
  for (uint32_t shrink : {8u, 4u, 2u}) {
    // Scaled decoding rounds up.
    if ((width + shrink - 1) / shrink >= fitW && (height + shrink - 1) / shrink >= fitH) return shrink;
  }
  return 1;
}

ImageStatus ImageCodec::Create(uint32_t width, uint32_t height, uint32_t bpp) {
  Destroy();
  if (bpp != 8 && bpp != 24) return status_ = ImageStatus::kCorrupt;
  if (!ImageSizeAllowed(width, height)) return status_ = ImageStatus::kTooLarge;
  const uint64_t stride = ((uint64_t(width) * (bpp / 8)) + 3) & ~uint64_t(3);
  bits_.reset(new (std::nothrow) uint8_t[size_t(stride * height)]());
  if (!bits_) return status_ = ImageStatus::kNoMemory;
  width_ = width;
  height_ = height;
  bpp_ = bpp;
  stride_ = uint32_t(stride);
  for (uint32_t i = 0; i < 256; ++i) palette_[i] = ImageColor{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  return status_ = ImageStatus::kOk;
}

void ImageCodec::SetPaletteColor(uint32_t index, uint8_t r, uint8_t g, uint8_t b) {
  if (index < 256) palette_[index] = ImageColor{b, g, r, 0};
}

void ImageCodec::Destroy() {
  bits_.reset();
  width_ = height_ = bpp_ = stride_ = type_ = 0;
  status_ = ImageStatus::kNone;
}

bool ImageCodec::IsGreyRamp() const {
  if (bpp_ != 8) return false;
  for (uint32_t i = 0; i < 256; ++i)
    if (palette_[i].r != i || palette_[i].g != i || palette_[i].b != i) return false;
  return true;
}

ImageColor ImageCodec::GetPixelColor(uint32_t x, uint32_t y) const {
  if (!bits_ || x >= width_ || y >= height_) return ImageColor{0, 0, 0, 0};
  const uint8_t* p = GetRow(y);
  if (bpp_ == 8) return palette_[p[x]];
  return ImageColor{p[3 * x], p[3 * x + 1], p[3 * x + 2], 0};
}

bool ImageCodec::IncreaseBpp24() {
  if (!bits_) return false;
  if (bpp_ == 24) return true;
  ImageCodec wide;
  if (wide.Create(width_, height_, 24) != ImageStatus::kOk) return false;
  for (uint32_t y = 0; y < height_; ++y) {
    const uint8_t* s = GetRow(y);
    uint8_t* d = wide.GetRow(y);
    for (uint32_t x = 0; x < width_; ++x, d += 3) {
      const ImageColor c = palette_[s[x]];
      d[0] = c.b;
      d[1] = c.g;
      d[2] = c.r;
    }
  }
  const uint32_t type = type_;
  *this = std::move(wide);
  type_ = type;
  return true;
}

bool ImageCodec::DecodeFromMemory(const void* data, uint32_t size, uint32_t format) {
  return Decode(static_cast<const uint8_t*>(data), size, format, 0, 0);
}

bool ImageCodec::DecodeForBox(const void* data, uint32_t size, uint32_t format, uint32_t boxWidth, uint32_t boxHeight) {
  return Decode(static_cast<const uint8_t*>(data), size, format, boxWidth, boxHeight);
}

bool ImageCodec::Decode(const uint8_t* data, uint32_t size, uint32_t format, uint32_t boxWidth, uint32_t boxHeight) {
  Destroy();
  if (!data || size == 0) {
    status_ = ImageStatus::kCorrupt;
    return false;
  }
  const Bytes bytes(data, size);
  const DecodeBox box{boxWidth, boxHeight};
  auto run = [&](uint32_t f) -> ImageStatus {
    switch (f) {
      case kImageBmp: return DecodeBmp(*this, bytes);
      case kImageGif: return DecodeGif(*this, bytes);
      case kImageJpeg: return DecodeJpeg(*this, bytes, box);
      case kImagePng: return DecodePng(*this, bytes);
      case kImageIco: return DecodeIco(*this, bytes);
      case kImageTiff: return DecodeTiff(*this, bytes);
      case kImageRaw: return DecodeRaw(*this, bytes, box);
      case kImagePsd: return DecodePsd(*this, bytes);
      // Metafiles are drawings of records, not pixels; nothing here plays them.
      default: return ImageStatus::kUnsupported;
    }
  };
  auto finish = [&](uint32_t f, ImageStatus s) {
    if (s != ImageStatus::kOk) {
      Destroy();
      status_ = s;
      return false;
    }
    type_ = f;
    status_ = s;
    return true;
  };
  if (format != kImageUnknown) return finish(format, run(format));
  // The format the bytes announce first. When its decoder cannot read them (a camera raw file
  // is a TIFF whose first directory may hold no picture; an animated cursor announces nothing),
  // every other decoder gets its turn, camera raw last as it takes the widest range of layouts.
  // A picture past the caps stays refused.
  const uint32_t sniffed = DetectImageFormat(data, size);
  ImageStatus last = ImageStatus::kUnsupported;
  if (sniffed != kImageUnknown) {
    last = run(sniffed);
    if (last == ImageStatus::kOk || last == ImageStatus::kTooLarge || last == ImageStatus::kNoMemory)
      return finish(sniffed, last);
    Destroy();
  }
  for (uint32_t f : {kImageJpeg, kImagePng, kImageGif, kImageBmp, kImageIco, kImageTiff, kImagePsd, kImageRaw}) {
    if (f == sniffed) continue;
    const ImageStatus s = run(f);
    if (s == ImageStatus::kOk) return finish(f, s);
    Destroy();
    if (s == ImageStatus::kTooLarge || s == ImageStatus::kNoMemory) last = s;
  }
  return finish(kImageUnknown, last);
}

bool ImageCodec::DecodeFromStream(IStream* stream, uint32_t format) {
  Destroy();
  status_ = ImageStatus::kCorrupt;
  if (!stream) return false;
  STATSTG st{};
  if (FAILED(stream->Stat(&st, STATFLAG_NONAME)) || st.cbSize.QuadPart == 0 ||
      st.cbSize.QuadPart > kMaxStreamBytes)
    return false;
  const uint32_t size = uint32_t(st.cbSize.QuadPart);
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (!bytes) {
    status_ = ImageStatus::kNoMemory;
    return false;
  }
  if (FAILED(stream->Seek(LARGE_INTEGER{0}, STREAM_SEEK_SET, nullptr))) return false;
  ULONG got = 0;
  if (FAILED(stream->Read(bytes.get(), size, &got)) || got != size) return false;
  return DecodeFromMemory(bytes.get(), size, format);
}
