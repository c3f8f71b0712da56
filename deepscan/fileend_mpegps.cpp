// MPEG-2 program streams: the first pack with its system header, then a walk over packs and
// packets by their start codes and lengths. Without an end code the last packet walked is left
// out, since nothing confirms that its length was more than chance.
#include "deepscan/fileendrules.h"

namespace {

constexpr uint32_t kPsUnit = 512;
constexpr uint32_t kMinPackets = 11;
constexpr uint8_t kPackId = 0xBA, kSequenceHeaderId = 0xB3, kProgramEndId = 0xB9;

struct PsState {
  uint32_t firstDone;
  uint32_t packets;
  uint64_t lastPacket;  // where the last packet walked began
};

bool StartCode(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] >= 0xB0; }

}  // namespace

int32_t DetectMpegPsEnd(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<PsState> st(c);
  // Each step moves the offset by at least 6 bytes, and a unit that is not in the buffer
  // returns; so the walk ends within the buffer's length.
  for (;;) {
    uint8_t scratch[kPsUnit];
    const uint8_t* u = nullptr;
    const int32_t got = ViewUnit(c, b, kPsUnit, scratch, u);
    if (got != kEndCopied) return got;
    if (!st->firstDone) {
      // A 14-byte pack header, the system header, then the first packet.
      const uint32_t first = 20 + FeBe16(u + 18);
      if (first > kPsUnit - 6 || !StartCode(u + first)) return kEndNotValid;
      c.currentOffset += first + 6 + FeBe16(u + first + 4);
      st->firstDone = 1;
      continue;
    }
    if (!StartCode(u)) break;
    const uint8_t id = u[3];
    if (id == kProgramEndId) {
      // The end code closes the stream; it has no length of its own.
      if (st->packets < kMinPackets - 1) return kEndNotValid;
      c.size = c.currentOffset + 4;
      return kEndKnown;
    }
    uint64_t step = 0;
    if (id == kPackId || id == kSequenceHeaderId) {
      if (!StartCode(u + 14)) break;
      step = 20 + uint64_t(FeBe16(u + 18));
    } else {
      step = 6 + uint64_t(FeBe16(u + 4));
    }
    st->lastPacket = c.currentOffset;
    ++st->packets;
    c.currentOffset += step;
  }
  if (st->packets < kMinPackets) return kEndNotValid;
  c.size = st->lastPacket;
  return kEndKnown;
}
