#include "deepscan/jpegexif.h"

namespace {
constexpr uint16_t kTagMake = 271, kTagModel = 272, kTagSoftware = 305, kTagDateTime = 306;
constexpr uint16_t kTagExifIfd = 34665, kTagDateOriginal = 36867, kTagDateDigitized = 36868;
}  // namespace

bool WalkJpegSegments(const TiffBytes& t, uint64_t ifd, int64_t length, ExifTexts& texts, TiffWalkGuard& guard,
                      uint32_t depth) {
  uint16_t count = 0;
  if (!t.U16(ifd, count)) return false;
  if (!guard.Enter(ifd)) return true;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t at = ifd + 2 + 12ull * i;
    TiffEntry e;
    if (!ReadTiffEntry(t, at, e) || e.type < 1 || e.type > 12) return false;
    // A value placed further behind its entry than the segment reaches is damaged. An inline
    // value lies in the entry itself.
    const int64_t behind = e.Inline() ? 0 : int64_t(e.value) - int64_t(at);
    if (behind > length - 12) return false;
    switch (e.tag) {
      case kTagMake: texts.maker = TiffText(t, e); break;
      case kTagModel:
      case kTagSoftware: texts.model = TiffText(t, e); break;
      case kTagDateTime:
      case kTagDateOriginal: texts.date = TiffText(t, e); break;
      case kTagDateDigitized:
        if (texts.date.IsEmpty()) texts.date = TiffText(t, e);
        break;
      case kTagExifIfd:
        if (depth + 1 < TiffWalkGuard::kMaxDepth) WalkJpegSegments(t, e.value, length, texts, guard, depth + 1);
        break;
      default: break;
    }
  }
  return true;
}
