// The MFT-record hits of the blocks a deep scan has handled, kept per block until the run of
// adjacent blocks holding them is closed on both sides; the closed run's hits are then rebuilt
// into volumes while the scan goes on.
//
// One list for the process, used by the scan's consumer thread only. The groups hold copies
// of hits whose summaries the block hit lists own: the deep scan empties the list when a scan
// starts and ends, and a run is filtered by the known MFT extents (whose hits the parser frees)
// before any summary of it is read.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sectorhit.h"

struct MftHitGroup {
  uint64_t blockLba = 0;  // a multiple of 16384
  uint32_t mftHits = 0;
  std::vector<SectorHit> hits;  // the block's kind-224 hits in block order
};

// Keeps the block's kind-224 hits as a group, after every group of a lower or equal block.
void StoreMftHitGroup(uint64_t blockLba, uint32_t mftHits, const std::vector<SectorHit>& hits);

// True for a block that may still be handled (inside the scan range and the block map, and
// not handled yet): a run of groups next to it is not closed.
using MftBlockOpenTest = bool (*)(uint64_t blockLba);

// For a handled block without MFT hits: the run of groups ending just before it (or starting
// just after it), once the block on the run's other side is closed too. The run's groups leave
// the list; out receives its hits that no known MFT holds. True when some remain.
bool TakeMftHitsBeforeBlock(uint64_t blockLba, std::vector<SectorHit>& out, MftBlockOpenTest open);
bool TakeMftHitsAfterBlock(uint64_t blockLba, std::vector<SectorHit>& out, MftBlockOpenTest open);

// The hits inside an MFT extent of a parsed volume become kind 234; the kind-224 hits left stay
// in hits. True when any is left.
bool KeepMftHitsOutsideKnownMfts(std::vector<SectorHit>& hits);

// Empties the list (a scan's start and end).
void ClearMftHitGroups();
const std::vector<MftHitGroup>& MftHitGroups();
