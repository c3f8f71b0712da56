// Flash video: the 9-byte header, then tags, each followed by its own size. The file ends
// where a stored size no longer matches the tag before it, or where no tag type follows.
#include "deepscan/fileendrules.h"

namespace {

constexpr uint32_t kFlvUnit = 15;  // previous-tag size, then the 11-byte tag header

struct FlvState {
  uint32_t headerSeen;
  uint32_t lastTagSize;
  uint32_t tags;
};

bool IsTagType(uint8_t t) { return t == 8 || t == 9 || t == 18; }

}  // namespace

int32_t DetectFlvEnd(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<FlvState> st(c);
  // Every tag moves the offset by at least 15 bytes, and a unit that is not in the buffer
  // returns; so the walk ends within the buffer's length.
  for (;;) {
    uint8_t u[kFlvUnit];
    const int32_t got = CopyWanted(c, b, sizeof u, u);
    if (got != kEndCopied) return got;
    if (!st->headerSeen) {
      if (std::memcmp(u, "FLV", 3) != 0) return kEndNotValid;
      c.currentOffset += FeBe32(u + 5);
      st->headerSeen = 1;
      continue;
    }
    const uint32_t previous = FeBe32(u);
    if (st->tags > 1 && previous != st->lastTagSize) {
      // The last tag walked was no tag of this file: it ends where that one began.
      c.size = c.currentOffset - st->lastTagSize;
      return kEndKnown;
    }
    if (!IsTagType(u[4])) {
      if (st->tags < 2) return kEndNotValid;
      c.size = c.currentOffset + 4;
      return kEndKnown;
    }
    const uint32_t dataSize = FeBe24(u + 5);
    st->lastTagSize = dataSize + 11;
    ++st->tags;
    c.currentOffset += uint64_t(dataSize) + 15;
  }
}
