// ImageCodec: the picture the preview decodes, resamples, encodes and hands to the raster.
//
// Pictures come from found files, so every byte is hostile: each decoder checks the declared
// size before it allocates (at most kMaxImagePixels, and kMaxDecoderMemory of working memory
// for the libraries that keep their own), and every library error comes back as a failed
// decode, never as an ended process. A picture is 24 bits per pixel (blue, green, red) or
// 8 bits with a palette; rows are stored top-down, each padded to 4 bytes. Transparent pixels
// are laid over white, the colour the preview shows behind pictures.
//
// No window header: the raster hand-over lives in base/imagedraw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Only a pointer here: the camera-raw decoder's library defines its own 64-bit type names,
// which the platform's Windows types would clash with.
struct IStream;

// Format identifiers, as the file types map to them.
enum ImageFormat : uint32_t {
  kImageUnknown = 0,  // sniff the bytes, then try every decoder
  kImageBmp = 1,
  kImageGif = 2,
  kImageJpeg = 3,
  kImagePng = 4,
  kImageIco = 5,      // icons, and animated cursors (their first frame)
  kImageTiff = 6,
  kImageMetafile = 10,  // WMF and EMF: recognised, never decoded
  kImageRaw = 19,     // camera raw files
  kImagePsd = 20,
};

enum class ImageStatus {
  kOk,
  kNone,         // nothing decoded yet, or the image was destroyed
  kCorrupt,      // not this format, or damaged or cut short before a picture could be had
  kTooLarge,     // the declared size passes the caps
  kUnsupported,  // a format with no decoder here (metafiles), or no decoder took the bytes
  kNoMemory,
};

constexpr uint64_t kMaxImagePixels = 50'000'000;
constexpr uint64_t kMaxDecoderMemory = 512ull << 20;

// The format the first bytes announce; bytes past length never match.
uint32_t DetectImageFormat(const uint8_t* data, size_t length);

struct ImageColor {
  uint8_t b, g, r, a;
};

class ImageCodec {
 public:
  ImageCodec() = default;
  ImageCodec(const ImageCodec&) = delete;
  ImageCodec& operator=(const ImageCodec&) = delete;
  ImageCodec(ImageCodec&&) = default;
  ImageCodec& operator=(ImageCodec&&) = default;

  // Decodes size bytes (neither copied nor kept). Format 0 sniffs the bytes and, when they
  // announce nothing, tries every decoder. False for a null buffer, a size of 0 or a failed
  // decode; the previous picture is gone either way.
  bool DecodeFromMemory(const void* data, uint32_t size, uint32_t format);
  // The same for a picture that will be shown no larger than boxWidth x boxHeight: decoders
  // that can (scaled JPEG decoding, a camera's embedded preview) return a smaller picture that
  // still covers what fitting it into the box needs.
  bool DecodeForBox(const void* data, uint32_t size, uint32_t format, uint32_t boxWidth, uint32_t boxHeight);
  // Reads the whole stream (its Stat size, at most 64 MiB) and decodes it as above.
  bool DecodeFromStream(IStream* stream, uint32_t format);

  bool IsValid() const { return bits_ != nullptr; }
  ImageStatus LastStatus() const { return status_; }
  // The format that decoded the picture (0 when none).
  uint32_t GetType() const { return type_; }
  uint32_t GetWidth() const { return width_; }
  uint32_t GetHeight() const { return height_; }
  uint32_t GetBpp() const { return bpp_; }
  uint32_t GetStride() const { return stride_; }
  // Entries of the palette of an 8-bit picture; 0 for 24 bits.
  uint32_t GetNumColors() const { return bpp_ == 8 ? 256 : 0; }
  const ImageColor* GetPalette() const { return bpp_ == 8 ? palette_ : nullptr; }
  // Palette entry i is (i, i, i) for every i.
  bool IsGreyRamp() const;
  const uint8_t* GetRow(uint32_t y) const { return bits_.get() + size_t(y) * stride_; }
  uint8_t* GetRow(uint32_t y) { return bits_.get() + size_t(y) * stride_; }
  // The colour at (x, y), top-down; zero outside the picture.
  ImageColor GetPixelColor(uint32_t x, uint32_t y) const;

  // Raises an 8-bit picture to 24 bits; true when the picture is 24 bits afterwards.
  bool IncreaseBpp24();
  // Resamples to width x height by area averaging (each target pixel is the mean of the source
  // area it covers). A grey-ramp picture stays 8-bit; other palettes are raised first.
  bool Resample(uint32_t width, uint32_t height);
  // JPEG into a growing buffer (grey-ramp pictures as greyscale). False for an empty picture.
  bool EncodeJpeg(std::vector<uint8_t>& out, int quality = kThumbnailJpegQuality) const;
  void Destroy();

  // Quality of the thumbnails: at 118 pixels the blocks of lower qualities show.
  static constexpr int kThumbnailJpegQuality = 90;

  // For the decoders: a zero-filled picture of the size and depth (8 or 24), its palette a grey
  // ramp. Fails with kTooLarge past the caps and kNoMemory when the rows cannot be had.
  ImageStatus Create(uint32_t width, uint32_t height, uint32_t bpp);
  void SetPaletteColor(uint32_t index, uint8_t r, uint8_t g, uint8_t b);

 private:
  bool Decode(const uint8_t* data, uint32_t size, uint32_t format, uint32_t boxWidth, uint32_t boxHeight);

  std::unique_ptr<uint8_t[]> bits_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t bpp_ = 0;
  uint32_t stride_ = 0;
  uint32_t type_ = 0;
  ImageStatus status_ = ImageStatus::kNone;
  ImageColor palette_[256] = {};
};

// Whether a declared size passes the pixel cap (and is not empty).
bool ImageSizeAllowed(uint64_t width, uint64_t height);

// The size of a width x height picture fitted into box x box (aspect kept, never enlarged):
// the longer side becomes box and the other box times the ratio, truncated.
void FitIntoBox(uint32_t width, uint32_t height, uint32_t box, uint32_t& outWidth, uint32_t& outHeight);
