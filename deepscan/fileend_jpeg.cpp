// JPEG: a walk over the marker segments up to the start of scan, with the camera's maker,
// model and date read from an Exif APP1 segment on the way, then a search for the end-of-image
// marker behind the start of scan. Everything is read in place in the block or window; only
// the details outlive it.
#include "core/carvedname.h"
#include "deepscan/fileendrules.h"
#include "deepscan/jpegexif.h"
#include "deepscan/tiffwalk.h"

namespace {

constexpr uint32_t kJpegGrowth = 0x800000;
constexpr uint32_t kJpegFirstLimit = 0x10000000;
constexpr uint32_t kJpegLimit = 0x20000000;
constexpr uint64_t kBlockSectors = 16384;

constexpr uint8_t kExifHead[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kTiffLittle[8] = {0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00};
constexpr uint8_t kTiffBig[8] = {0x4D, 0x4D, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08};

struct JpegState {
  uint32_t search;  // where the search for the end marker stands; 0 until the start of scan
};

// The Exif block of an APP1 segment whose marker byte is at m: "Exif" 00 00 and a TIFF header
// whose first directory follows it at offset 8.
void ReadExifSegment(const uint8_t* p, uint64_t len, uint64_t m, uint16_t segmentLength, ExifTexts& texts) {
  const uint64_t exif = m + 3;
  if (segmentLength < 32 || len - exif <= 16) return;
  if (std::memcmp(p + exif, kExifHead, 6) != 0) return;
  const uint8_t* tiff = p + exif + 6;
  const bool little = std::memcmp(tiff, kTiffLittle, 8) == 0;
  if (!little && std::memcmp(tiff, kTiffBig, 8) != 0) return;
  TiffBytes t{tiff, len - (exif + 6), !little};
  TiffWalkGuard guard;
  WalkJpegSegments(t, 8, int64_t(segmentLength) - 14, texts, guard, 0);
}

}  // namespace

int32_t WalkJpegMarkers(CarveCandidate& c, const uint8_t* p, uint64_t len, uint64_t& sos) {
  ExifTexts texts;
  uint64_t cur = 0;
  sos = 0;
  for (;;) {
    if (cur >= len) return kEndNeedsMore;
    if (p[cur] != 0xFF) break;
    while (cur < len && p[cur] == 0xFF) ++cur;
    if (cur >= len) return kEndNeedsMore;
    const uint8_t marker = p[cur];
    if (marker == 0xDA) {
      sos = cur;
      return kEndKnown;
    }
    if (marker == 0xD8) {
      ++cur;
      continue;
    }
    const uint64_t left = len - cur - 1;
    if (marker == 0xE1) {
      // The segment's length and the bytes behind it may lie in data still to come.
      if (left < 3) return kEndNeedsMore;
      ReadExifSegment(p, len, cur, FeBe16(p + cur + 1), texts);
      // Every APP1 segment packs what the walk has found so far; the block it replaces is freed.
      ReplaceCandidateDetails(c, PackDocumentMetadata(texts.maker, texts.model, CString(), texts.date));
    }
    if (left < 2) return kEndNeedsMore;
    const uint16_t length = FeBe16(p + cur + 1);
    if (length == 0) break;
    cur += 1 + uint64_t(length);
  }
  // A byte that is no marker, or a zero length: not a JPEG, unless the walk stands so close to
  // the end of the data that what follows may still change the picture.
  return (len - cur > 2) ? kEndNotValid : kEndNeedsMore;
}

int32_t DetectJpegEnd(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<JpegState> st(c);
  if (c.wanted == 0) {
    // First look: everything from the file's start to the end of the buffer's first block.
    const uint64_t blockStop = b.lba + kBlockSectors;
    c.wanted = c.startLba < blockStop ? uint32_t((blockStop - c.startLba) * 512) : uint32_t(kBlockSectors * 512);
  }
  if (c.wanted > kJpegFirstLimit) return kEndNotValid;
  for (;;) {
    const uint32_t requested = c.wanted;
    const uint8_t* p = nullptr;
    uint32_t avail = 0;
    const int32_t r = ViewWanted(c, b, requested, p, avail);
    if (r != kEndCopied) return r;
    if (st->search == 0) {
      uint64_t sos = 0;
      const int32_t walked = WalkJpegMarkers(c, p, avail, sos);
      if (sos == 0 && walked != kEndNeedsMore) return walked;
      st->search = uint32_t(sos);
    }
    if (st->search != 0) {
      // FF D9 at any position from the search offset up to the second last byte.
      const uint8_t* at = p + st->search;
      const uint8_t* const last = p + avail - 1;
      while (at < last) {
        at = static_cast<const uint8_t*>(std::memchr(at, 0xFF, size_t(last - at)));
        if (!at) break;
        if (at[1] == 0xD9) {
          c.size = uint64_t(at - p) + 2;
          return kEndKnown;
        }
        ++at;
      }
      // The last byte may be the first half of the marker: the next round starts there.
      st->search = avail - 1;
    }
    // The input ended before the picture did.
    if (avail < requested) return kEndNeedsMore;
    if (requested > kJpegLimit - kJpegGrowth) return kEndNeedsMore;
    c.wanted = requested + kJpegGrowth;
  }
}
