// The sector fill map: one byte per sector of the scan target telling how far the sector is
// filled, so the file-system rebuilds can test where a file's data really ends. Kept only for
// targets from 0x100000 sectors (512 MiB) up to below 0x5200000 sectors (41 GiB).
#pragma once

#include <cstdint>

// Per sector of a range: 0 for an all-zero sector, 255 when its last 16-bit word is not zero,
// else 256 minus its number of trailing zero words. Absent when map is null or count 0.
struct SectorFillMapT {
  const uint8_t* map = nullptr;
  uint64_t firstLba = 0;
  uint64_t count = 0;
  uint8_t* owned = nullptr;  // the scan's own buffer (the same bytes as map), or null
};
SectorFillMapT& SectorFillMap();

constexpr uint64_t kFillMapMinSectors = 0x100000;
constexpr uint64_t kFillMapEndSectors = 0x5200000;
// Whether a target of this many sectors gets a map.
bool WantsSectorFillMap(uint64_t sectors);
// Releases the scan's map, then allocates a zeroed one for the target when it qualifies;
// true when a map exists afterwards.
bool AllocSectorFillMap(uint64_t firstLba, uint64_t sectors);
void FreeSectorFillMap();

// The fill byte of one 512-byte sector.
uint8_t ComputeSectorFill(const uint8_t* sector);
// Sets the byte of an LBA in the scan's own map; LBAs outside it are ignored.
void SetSectorFill(uint64_t lba, uint8_t value);
