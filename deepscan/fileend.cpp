#include "deepscan/fileend.h"

#include <cstring>

#include "deepscan/fileendrules.h"

namespace {

// Where the wanted bytes of a candidate lie: the sectors first..last, and the LBA just after
// the wanted bytes. False when the arithmetic would leave 64 bits (a hostile offset).
struct WantedRange {
  uint64_t first = 0;
  uint64_t end = 0;
  uint64_t last = 0;
};

bool LocateWanted(const CarveCandidate& c, WantedRange& r) {
  uint64_t stop = 0;
  if (__builtin_add_overflow(c.currentOffset, uint64_t(c.wanted), &stop)) return false;
  if (__builtin_add_overflow(c.startLba, c.currentOffset >> 9, &r.first)) return false;
  if (__builtin_add_overflow(c.startLba, stop >> 9, &r.end)) return false;
  r.last = (stop % 512 == 0) ? r.end - 1 : r.end;
  return true;
}

}  // namespace

int32_t LocateCandidateWindow(CarveCandidate& c, uint64_t bufferLba, uint64_t length, uint64_t& from) {
  if (c.wanted == 0 || c.wanted > kMaxWantedBytes) return kEndNotValid;
  WantedRange r;
  if (!LocateWanted(c, r)) return kEndNotValid;
  if (r.last < bufferLba) return kEndNotValid;
  // The sector just after the buffer; a range may begin at most kMaxNeededSectors beyond the
  // buffer's last sector.
  uint64_t bufferStop = 0;
  if (__builtin_add_overflow(bufferLba, length / 512, &bufferStop)) return kEndNotValid;
  if (r.first >= bufferStop && r.first - bufferStop >= kMaxNeededSectors) return kEndNotValid;
  if (r.first < bufferLba || r.last >= bufferStop) {
    c.firstNeededLba = r.first;
    c.endNeededLba = r.end;
    return kEndNeedsMore;
  }
  from = (r.first - bufferLba) * 512 + (c.currentOffset % 512);
  return kEndCopied;
}

int32_t CopyCandidateWindow(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length,
                            uint8_t* dest) {
  if (!dest || !buffer) return kEndNotValid;
  uint64_t from = 0;
  const int32_t r = LocateCandidateWindow(c, bufferLba, length, from);
  if (r != kEndCopied) return r;
  std::memcpy(dest, buffer + from, c.wanted);
  return kEndCopied;
}

int32_t CopyWanted(CarveCandidate& c, const FileEndBuffer& b, uint32_t wanted, uint8_t* dest) {
  c.wanted = wanted;
  return CopyCandidateWindow(c, b.lba, b.data, b.length, dest);
}

int32_t DetectFileEnd(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length) {
  const FileEndBuffer b{bufferLba, buffer, length - length % 512};
  int32_t result = kEndNotDetected;
  switch (c.typeId) {
    case 39: result = DetectChmEnd(c, b); break;
    case 41: result = DetectHlpEnd(c, b); break;
    case 48: result = DetectBmpEnd(c, b); break;
    case 62: result = DetectRarEnd(c, b); break;
    case 86: result = DetectMkvEnd(c, b); break;
    case 108: result = DetectAsfEnd(c, b); break;
    case 146: result = DetectEpsEnd(c, b); break;
    case 147: result = DetectRiffEnd(c, b); break;
    case 228: result = DetectFat32TableEnd(c, b); break;
    case 231: result = DetectExfatDirRunEnd(c, b); break;
    // FIXME: the zip family (37, 38, 61, 89, 118), OLE (36), JPEG (46), camera RAW (51), MP3
    // (54), FLV (64), RealMedia (66), DWG (75), MPEG-PS (82), the QuickTime family (67, 68, 69,
    // 71, 72, 150, 202), moov (201), sample chains (203) and MTS packets (208) get their own
    // handlers; until then they are sized like every type without end detection.
    default: result = kEndNotDetected; break;
  }
  c.status = result;
  return result;
}
