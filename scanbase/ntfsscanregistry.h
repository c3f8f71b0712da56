// What the NTFS parser leaves for the deep scan: the MFT extents of every parsed volume (MFT
// record hits inside them are already covered), the free-space map of the scan target, and the
// hook through which the scan drops MFT record hits of a range it now knows to be an MFT.
//
// Only one parse or rebuild runs at a time, and the deep scan empties these at its start and
// end, so none of them takes a lock.
#pragma once

#include <cstdint>
#include <vector>

struct MftExtentRange {
  uint64_t startLba;
  uint64_t sectors;
};

// MFT (and mirror) extents of the NTFS volumes parsed so far.
std::vector<MftExtentRange>& KnownMftExtents();
void ClearKnownMftExtents();

// The allocation bitmap of the scan target: one bit per cluster, least significant bit first,
// 1 allocated. A guarded-heap block or null.
uint8_t*& FreeSpaceMap();
uint32_t& FreeSpaceMapBytes();
// Frees the map and sets its size to 0.
void ReleaseFreeSpaceMap();

// Removes the deep scan's MFT record hits whose LBA lies in [startLba, startLba + sectors).
// Without a scan's hit lists (none installed) nothing is done.
using DropMftHitsHook = void (*)(uint64_t startLba, uint64_t sectors);
void SetDropMftHitsInRangeHook(DropMftHitsHook hook);
void DropMftHitsInRange(uint64_t startLba, uint64_t sectors);
