// Matroska/WebM: the EBML header, then the Segment element whose size covers the rest.
#include "deepscan/ebml.h"
#include "deepscan/fileendrules.h"

namespace {
constexpr uint8_t kEbmlMagic[4] = {0x1A, 0x45, 0xDF, 0xA3};
constexpr uint64_t kSegmentId = 0x18538067;
constexpr uint32_t kMkvHead = 2048;
}  // namespace

int32_t DetectMkvEnd(CarveCandidate& c, const FileEndBuffer& b) {
  uint8_t h[kMkvHead];
  const int32_t got = CopyWanted(c, b, sizeof h, h);
  if (got != kEndCopied) return got;
  if (std::memcmp(h, kEbmlMagic, 4) != 0) return kEndNotValid;
  uint32_t n = 0;
  uint64_t v = 0;
  if (!ReadEbmlNumber(h + 4, sizeof h - 4, false, n, v)) return kEndNotValid;
  // The header must leave room for the Segment's id and size inside the copied bytes.
  if (v > kMkvHead - 32 || 4 + n + v > kMkvHead - 32) return kEndNotValid;
  const uint32_t at = uint32_t(4 + n + v);
  uint32_t idLength = 0;
  uint64_t id = 0;
  if (!ReadEbmlNumber(h + at, sizeof h - at, true, idLength, id) || idLength != 4 || id != kSegmentId)
    return kEndNotValid;
  uint32_t m = 0;
  uint64_t u = 0;
  if (!ReadEbmlNumber(h + at + 4, sizeof h - at - 4, false, m, u)) return kEndNotValid;
  // A live-written file leaves the Segment's size unknown: no end can be told from it.
  if (IsEbmlUnknownSize(m, u)) return kEndNotDetected;
  uint64_t size = 0;
  if (__builtin_add_overflow(uint64_t(at) + 4 + m, u, &size)) return kEndNotValid;
  c.size = size;
  return kEndKnown;
}
