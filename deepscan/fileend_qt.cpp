// QuickTime-family files (MOV, MP4, 3GP, M4A, M4V): a walk over the top-level boxes. The file
// ends at a box of size 0, a box smaller than its header, a type that is not four letters or
// digits, a second "moov" or a second "mdat"; it is a file when it held a moov and an mdat.
#include "deepscan/fileendrules.h"
#include "deepscan/qtbox.h"

namespace {

constexpr uint32_t kQtHeader = 16;  // read whole: the 64-bit size follows the type
// A real file has a handful of top-level boxes (a second mdat already ends the walk); more than
// this is a run of box-like bytes, and the walk stops there instead of crawling over it.
constexpr uint32_t kMaxTopLevelBoxes = 4096;

struct QtWalkState {
  uint32_t moovs;
  uint32_t mdats;
  uint32_t boxes;
};

// Once the input has ended, nothing can follow a box that ends at or past its end.
bool PastInputEnd(const CarveCandidate& c, const FileEndBuffer& b) {
  if (b.inputEndLba == kNoInputEnd || c.startLba > (UINT64_MAX >> 9) || b.inputEndLba > (UINT64_MAX >> 9)) return false;
  uint64_t at = 0;
  return __builtin_add_overflow(c.startLba << 9, c.currentOffset, &at) || at >= (b.inputEndLba << 9);
}

}  // namespace

int32_t WalkQtAtoms(CarveCandidate& c, const FileEndBuffer& b) {
  HandlerState<QtWalkState> st(c);
  // Each box moves the offset by at least its header, and a header that is not in the buffer
  // returns; so the walk ends within the buffer's length.
  while (st->boxes < kMaxTopLevelBoxes && !PastInputEnd(c, b)) {
    uint8_t scratch[kQtHeader];
    const uint8_t* h = nullptr;
    const int32_t r = ViewUnit(c, b, kQtHeader, scratch, h);
    if (r != kEndCopied) return r;
    uint64_t size = FeBe32(h);
    uint32_t header = 8;
    if (size == 1) {
      // The full 64-bit size: a file of 4 GiB or more, whose low half alone may be anything.
      size = uint64_t(FeBe32(h + 8)) << 32 | FeBe32(h + 12);
      header = 16;
    }
    if (size < header) break;  // also size 0: the end of the file
    const uint32_t type = FeBe32(h + 4);
    if (!IsKnownQtAtom(type)) break;
    if (type == kQtMoov) {
      if (st->moovs != 0) break;
      ++st->moovs;
    } else if (type == kQtMdat) {
      if (st->mdats != 0) break;
      ++st->mdats;
    }
    uint64_t next = 0;
    if (__builtin_add_overflow(c.currentOffset, size, &next)) break;
    c.currentOffset = next;
    ++st->boxes;
  }
  if (st->moovs == 0 || st->mdats == 0) return kEndNotValid;
  c.size = c.currentOffset;
  // Every file of the family is shown as a QuickTime movie.
  c.typeId = 67;
  return kEndKnown;
}
