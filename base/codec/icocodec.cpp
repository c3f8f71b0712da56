// Icons and cursors (an ICONDIR of entries, each a DIB with its AND mask or a whole PNG file),
// and animated cursors (a RIFF "ACON" file, shown by its first frame). The largest entry with
// the most colours is the picture; entries that do not decode give way to the next.
#include <algorithm>
#include <cstring>
#include <vector>

#include "base/codec/codecinternal.h"

namespace {

constexpr size_t kDirHeader = 6;
constexpr size_t kDirEntry = 16;
// Entries tried before the icon counts as unreadable.
constexpr size_t kMaxTries = 16;

struct Entry {
  uint64_t pixels;
  uint32_t bpp;
  uint32_t bytes;
  uint32_t offset;
};

ImageStatus DecodeIconDir(ImageCodec& img, Bytes data) {
  LeReader r(data);
  const uint16_t reserved = r.U16(0), type = r.U16(2), count = r.U16(4);
  if (!r.Ok() || reserved != 0 || (type != 1 && type != 2) || count == 0) return ImageStatus::kCorrupt;
  std::vector<Entry> entries;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = kDirHeader + i * kDirEntry;
    if (at + kDirEntry > data.size()) break;  // a directory cut short keeps the entries it has
    const uint32_t w = data[at] ? data[at] : 256, h = data[at + 1] ? data[at + 1] : 256;
    entries.push_back({uint64_t(w) * h, r.U16(at + 6), r.U32(at + 8), r.U32(at + 12)});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return a.pixels != b.pixels ? a.pixels > b.pixels : a.bpp > b.bpp;
  });
  ImageStatus last = ImageStatus::kCorrupt;
  for (size_t i = 0; i < entries.size() && i < kMaxTries; ++i) {
    const Entry& e = entries[i];
    if (e.offset >= data.size() || e.bytes == 0) continue;
    // An entry whose length runs past the file gets what is there.
    const Bytes part = data.subspan(e.offset, std::min<size_t>(e.bytes, data.size() - e.offset));
    const bool png = part.size() >= 8 && std::memcmp(part.data(), "\x89PNG", 4) == 0;
    last = png ? DecodePng(img, part) : DecodeDib(img, part, true);
    if (last == ImageStatus::kOk) return img.IncreaseBpp24() ? ImageStatus::kOk : ImageStatus::kNoMemory;
    img.Destroy();
  }
  return last;
}

// The first "icon" chunk inside the "LIST" "fram" chunk of an animated cursor.
Bytes FirstAnimatedFrame(Bytes data) {
  LeReader r(data);
  size_t at = 12;
  while (at + 8 <= data.size()) {
    const uint32_t size = r.U32(at + 4);
    const size_t body = at + 8;
    if (size > data.size() - body) return {};
    if (std::memcmp(data.data() + at, "LIST", 4) == 0 && size >= 4 && std::memcmp(data.data() + body, "fram", 4) == 0) {
      const Bytes list = data.subspan(body + 4, size - 4);
      LeReader lr(list);
      for (size_t in = 0; in + 8 <= list.size();) {
        const uint32_t n = lr.U32(in + 4);
        if (n > list.size() - in - 8) return {};
        if (std::memcmp(list.data() + in, "icon", 4) == 0) return list.subspan(in + 8, n);
        in += 8 + size_t(n) + (n & 1);
      }
      return {};
    }
    at = body + size_t(size) + (size & 1);
  }
  return {};
}

}  // namespace

ImageStatus DecodeIco(ImageCodec& img, Bytes data) {
  if (data.size() >= 12 && std::memcmp(data.data(), "RIFF", 4) == 0 && std::memcmp(data.data() + 8, "ACON", 4) == 0) {
    const Bytes frame = FirstAnimatedFrame(data);
    return frame.empty() ? ImageStatus::kCorrupt : DecodeIconDir(img, frame);
  }
  return DecodeIconDir(img, data);
}
