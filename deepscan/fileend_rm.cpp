// RealMedia: a walk over the top-level chunks. The data chunk must be followed by at least one
// more known chunk (the index), or the file is taken as cut off.
#include "deepscan/fileendrules.h"

namespace {

struct RmState {
  uint32_t chunks;  // 0 until the data chunk, then the chunks counted from it
};

bool IsKnownChunk(const uint8_t* id) {
  static const char* const kIds[] = {".RMF", "PROP", "CONT", "MDPR", "DATA", "INDX"};
  for (const char* k : kIds)
    if (std::memcmp(id, k, 4) == 0) return true;
  return false;
}

}  // namespace

int32_t DetectRmEnd(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<RmState> st(c);
  // Each chunk moves the offset by its non-zero size, and a chunk header that is not in the
  // buffer returns; so the walk ends within the buffer's length.
  for (;;) {
    uint8_t u[8];
    const int32_t got = CopyWanted(c, b, sizeof u, u);
    if (got != kEndCopied) return got;
    const uint32_t size = FeBe32(u + 4);
    if (size == 0 || !IsKnownChunk(u)) {
      if (st->chunks < 2) return kEndNotValid;
      c.size = c.currentOffset;
      return kEndKnown;
    }
    if (st->chunks != 0) ++st->chunks;
    if (std::memcmp(u, "DATA", 4) == 0) st->chunks = 1;
    c.currentOffset += size;
  }
}
