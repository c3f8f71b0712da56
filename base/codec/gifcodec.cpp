// GIF through giflib, read record by record: the first frame is the picture (later frames of
// an animation are never decoded), placed on the logical screen when it fits there. The
// transparent colour shows white.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include <gif_lib.h>

#include "base/codec/codecinternal.h"

namespace {

struct Source {
  Bytes data;
  size_t pos = 0;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int count) {
  auto* src = static_cast<Source*>(gif->UserData);
  if (count <= 0) return 0;
  const size_t n = std::min(size_t(count), src->data.size() - src->pos);
  std::memcpy(out, src->data.data() + src->pos, n);
  src->pos += n;
  return int(n);
}

struct GifCloser {
  void operator()(GifFileType* g) const {
    int err = 0;
    DGifCloseFile(g, &err);
  }
};

// The transparent index of a graphic control block, or -1.
int TransparentIndex(GifFileType* gif, int code, GifByteType* ext) {
  int index = -1;
  while (ext) {
    if (code == GRAPHICS_EXT_FUNC_CODE && ext[0] >= 4 && (ext[1] & 1)) index = ext[4];
    code = 0;  // only the first block of a graphic control extension holds the fields
    if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return -2;
  }
  return index;
}

ImageStatus ReadFrame(ImageCodec& img, GifFileType* gif, int transparent) {
  const GifImageDesc& f = gif->Image;
  if (f.Width <= 0 || f.Height <= 0) return ImageStatus::kCorrupt;
  if (!ImageSizeAllowed(uint32_t(f.Width), uint32_t(f.Height))) return ImageStatus::kTooLarge;
  // A screen past the caps is ignored: the frame alone is the picture then.
  const bool onScreen = gif->SWidth > 0 && gif->SHeight > 0 && f.Left >= 0 && f.Top >= 0 &&
                        int64_t(f.Left) + f.Width <= gif->SWidth && int64_t(f.Top) + f.Height <= gif->SHeight &&
                        ImageSizeAllowed(uint32_t(gif->SWidth), uint32_t(gif->SHeight));
  const uint32_t w = onScreen ? uint32_t(gif->SWidth) : uint32_t(f.Width);
  const uint32_t h = onScreen ? uint32_t(gif->SHeight) : uint32_t(f.Height);
  const uint32_t left = onScreen ? uint32_t(f.Left) : 0, top = onScreen ? uint32_t(f.Top) : 0;
  const ImageStatus made = img.Create(w, h, 8);
  if (made != ImageStatus::kOk) return made;

  const ColorMapObject* map = f.ColorMap ? f.ColorMap : gif->SColorMap;
  const int colours = map && map->Colors ? std::clamp(map->ColorCount, 0, 256) : 0;
  for (int i = 0; i < 256; ++i) {
    if (i < colours) img.SetPaletteColor(uint32_t(i), map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    else if (colours) img.SetPaletteColor(uint32_t(i), 0, 0, 0);
  }
  if (transparent >= 0) img.SetPaletteColor(uint32_t(transparent), 255, 255, 255);
  // Around a frame smaller than the screen: the transparent colour, else the background one.
  const int fill = transparent >= 0 ? transparent : (gif->SBackGroundColor < colours ? gif->SBackGroundColor : 0);
  for (uint32_t y = 0; y < h; ++y) std::memset(img.GetRow(y), fill, w);

  std::unique_ptr<GifPixelType[]> line(new (std::nothrow) GifPixelType[size_t(f.Width)]);
  if (!line) return ImageStatus::kNoMemory;
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int passes = f.Interlace ? 4 : 1;
  int rowsRead = 0;
  for (int p = 0; p < passes; ++p) {
    for (int y = f.Interlace ? kStart[p] : 0; y < f.Height; y += f.Interlace ? kStep[p] : 1) {
      if (DGifGetLine(gif, line.get(), f.Width) == GIF_ERROR) {
        // Rows already read stay: a frame cut short still shows its top.
        return rowsRead ? ImageStatus::kOk : ImageStatus::kCorrupt;
      }
      ++rowsRead;
      std::memcpy(img.GetRow(top + uint32_t(y)) + left, line.get(), size_t(f.Width));
    }
  }
  return ImageStatus::kOk;
}

}  // namespace

ImageStatus DecodeGif(ImageCodec& img, Bytes data) {
  if (data.size() < 13 || std::memcmp(data.data(), "GIF8", 4) != 0) return ImageStatus::kCorrupt;
  Source src{data};
  int err = 0;
  std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&src, ReadBytes, &err));
  if (!gif) return ImageStatus::kCorrupt;
  int transparent = -1;
  // Every record consumes bytes of the file, so the walk ends with the data.
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return ImageStatus::kCorrupt;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return ImageStatus::kCorrupt;
      return ReadFrame(img, gif.get(), transparent);
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR) return ImageStatus::kCorrupt;
      const int t = TransparentIndex(gif.get(), code, ext);
      if (t == -2) return ImageStatus::kCorrupt;
      if (code == GRAPHICS_EXT_FUNC_CODE) transparent = t;
      continue;
    }
    return ImageStatus::kCorrupt;  // the trailer before any frame
  }
}
