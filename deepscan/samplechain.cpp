#include "deepscan/samplechain.h"

#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "deepscan/fileendrules.h"
#include "scanbase/videodetail.h"

namespace {

bool LengthAt(const uint8_t* window, uint64_t bytes, uint64_t at, uint32_t& length) {
  if (at > bytes || bytes - at < 4) return false;
  length = FeBe32(window + at);
  return length >= kMinChainUnit && length <= kMaxChainUnit;
}

uint64_t Occupied(uint32_t length, bool padded) {
  const uint64_t n = uint64_t(length) + 4;
  return padded ? (n + 7) & ~uint64_t(7) : n;
}

bool Follow(uint64_t windowLba, const uint8_t* window, uint64_t bytes, uint64_t p, bool padded,
            std::vector<ChainUnit>& units) {
  bool recorded = false;
  // Every step moves on by more than 8 KiB, so the walk ends within the window.
  for (;;) {
    uint32_t l1 = 0, l2 = 0, l3 = 0;
    if (!LengthAt(window, bytes, p, l1)) break;
    const uint64_t next = p + Occupied(l1, padded);
    if (!LengthAt(window, bytes, next, l2) || !LengthAt(window, bytes, next + Occupied(l2, padded), l3)) break;
    units.push_back({windowLba + p / 512, uint32_t(p % 512), l1 + 4});
    recorded = true;
    p = next;
  }
  return recorded;
}

// One bit per start position, kept between calls (one candidate is searched at a time, on the
// consumer's thread) so a search costs no fresh memory.
std::vector<uint64_t>& VisitedMap() {
  thread_local std::vector<uint64_t> map(kChainStartBytes / 64);
  return map;
}

}  // namespace

bool FollowSampleChain(uint64_t windowLba, const uint8_t* window, uint64_t windowBytes, uint64_t position,
                       std::vector<ChainUnit>& units) {
  return Follow(windowLba, window, windowBytes, position, false, units);
}

bool FollowPaddedSampleChain(uint64_t windowLba, const uint8_t* window, uint64_t windowBytes, uint64_t position,
                             std::vector<ChainUnit>& units) {
  return Follow(windowLba, window, windowBytes, position, true, units);
}

int32_t FindSampleChains(CarveCandidate& c, const FileEndBuffer& b) {
  const uint8_t* w = nullptr;
  uint32_t avail = 0;
  // Read in place: once the input has ended, the chains of what was read are searched.
  const int32_t r = ViewWanted(c, b, kChainWindowBytes, w, avail);
  if (r != kEndCopied) return r;
  const uint32_t mode = uint32_t(GetSoftCfgKey()) % 100;
  const bool padded = mode == 4 || mode == 18;

  std::vector<uint64_t>& visited = VisitedMap();
  std::fill(visited.begin(), visited.end(), 0);
  std::vector<ChainUnit> units;
  std::vector<uint32_t> positions;
  ChunkTableList* list = nullptr;
  const uint64_t starts = std::min<uint64_t>(avail, kChainStartBytes);
  for (uint64_t i = 0; i + 4 <= starts; ++i) {
    // A length from 8193 to 0x1FFFFF has a zero first byte and a second byte below 0x20.
    if (w[i] != 0 || w[i + 1] >= 0x20) continue;
    if (visited[i >> 6] >> (i & 63) & 1) continue;
    const uint32_t v = FeBe32(w + i);
    if (v < kMinChainUnit) continue;
    units.clear();
    FollowSampleChain(c.startLba, w, avail, i, units);
    if (units.size() < kMinChainUnits && padded) FollowPaddedSampleChain(c.startLba, w, avail, i, units);
    if (units.size() < kMinChainUnits) continue;
    positions.clear();
    for (const ChainUnit& u : units) positions.push_back(uint32_t((u.lba - c.startLba) * 512 + u.offset));
    // A plain and a padded walk from the same start may meet the same units.
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    // Every unit of a chain is marked, so no later start follows the rest of a chain again (each
    // would add a copy of its tail: tables growing with the square of the chain's length).
    for (uint32_t p : positions)
      if (p < kChainStartBytes) visited[p >> 6] |= uint64_t(1) << (p & 63);
    if (ChunkTable* t = MakeChunkTable(positions, kMinChainUnits)) AppendChunkTable(list, t);
  }
  if (c.details) FreeChunkTableList(static_cast<ChunkTableList*>(c.details));
  c.details = list;
  return list ? kEndKnown : kEndNotValid;
}
