// RAR 4 archives: a walk over the block headers until the end-of-archive block.
#include "deepscan/fileendrules.h"

namespace {
constexpr uint8_t kRarMark = 0x72, kRarMain = 0x73, kRarFile = 0x74, kRarSub = 0x7A, kRarEnd = 0x7B;
constexpr uint16_t kRarAddedSize = 0x8000;
}  // namespace

int32_t DetectRarEnd(CarveCandidate& c, const FileEndBuffer& b) {
  // Each step moves the offset forward by at least one byte, and a step whose header is not in
  // the buffer returns; so the walk ends within the buffer's length.
  for (;;) {
    uint8_t h[16];
    const int32_t got = CopyWanted(c, b, sizeof h, h);
    if (got != kEndCopied) return got;
    const uint8_t type = h[2];
    const uint16_t flags = FeLe16(h + 3);
    const uint16_t headerSize = FeLe16(h + 5);
    const uint32_t addedSize = FeLe32(h + 7);
    if (type == kRarEnd && headerSize == 7) {
      c.currentOffset += 7;
      c.size = c.currentOffset;
      return kEndKnown;
    }
    if (type != kRarMark && type != kRarMain && type != kRarFile && type != kRarSub && type != kRarEnd)
      return kEndNotValid;
    uint64_t next = c.currentOffset;
    if ((flags & kRarAddedSize) && __builtin_add_overflow(next, uint64_t(addedSize), &next)) return kEndNotValid;
    c.currentOffset = next;
    if (headerSize == 0) return kEndNotValid;
    if (__builtin_add_overflow(next, uint64_t(headerSize), &next)) return kEndNotValid;
    c.currentOffset = next;
  }
}
