// OLE compound files (Word, Excel, PowerPoint, Visio and Project documents): the allocation
// table says which sectors are in use, and the file ends behind the last of them. The
// directory's stream names give the document's kind. Read in place in the block or window.
#include "core/carvedname.h"
#include "deepscan/fileendrules.h"
#include "deepscan/olereader.h"

namespace {

// The window grows by one block while the table points past the bytes at hand.
constexpr uint32_t kOleGrowth = 0x800000;

// The bytes from the start sector to the end of the block that holds it: what a new candidate
// looks at first.
uint32_t FirstWanted(const CarveCandidate& c, const FileEndBuffer& b) {
  constexpr uint64_t kBlockSectors = 16384;
  if (c.startLba < b.lba || c.startLba - b.lba >= kBlockSectors) return kOleSectorBytes;
  return uint32_t((b.lba + kBlockSectors - c.startLba) * kOleSectorBytes);
}

}  // namespace

int32_t DetectOleEnd(CarveCandidate& c, const FileEndBuffer& b) {
  uint32_t want = c.wanted != 0 ? c.wanted : FirstWanted(c, b);
  for (;;) {
    const uint8_t* p = nullptr;
    uint32_t avail = 0;
    const int32_t r = ViewWanted(c, b, want, p, avail);
    if (r != kEndCopied) {
      c.wanted = want;
      return r;
    }
    if (avail < kOleSectorBytes || !HasOleSignature(p, avail)) return kEndNotValid;
    std::vector<uint32_t> list;
    std::vector<int32_t> fat;
    int32_t got = OleReadFatSectorList(p, avail, list);
    if (got == kEndKnown) got = OleReadFat(p, avail, list, fat);
    if (got == kEndNotValid) return kEndNotValid;
    uint64_t end = 0;
    if (got == kEndKnown) {
      // The last entry in use, free ones (-1) behind it left out; sector n ends at (n + 2) * 512.
      size_t last = fat.size();
      while (last > 0 && fat[last - 1] == -1) --last;
      end = (uint64_t(last) + 1) * kOleSectorBytes;
      if (end <= avail) {
        if (OleGetSubtype(p, avail, fat, c) != kEndKnown) return kEndNotValid;
        c.size = end;
        if (HasDocumentMetadata(uint32_t(c.typeId)))
          ReplaceCandidateDetails(c, ReadOleSummaryMetadata(uint32_t(c.typeId), p, end));
        return kEndKnown;
      }
    }
    // The table lies or points beyond the bytes at hand. Once the input has ended nothing more
    // comes; otherwise the window grows (past its largest size the candidate is refused).
    if (avail < want) return kEndNeedsMore;
    uint64_t next = uint64_t(want) + kOleGrowth;
    while (got == kEndKnown && next < end) next += kOleGrowth;
    if (next > kMaxWantedBytes) return kEndNotValid;
    want = uint32_t(next);
  }
}
