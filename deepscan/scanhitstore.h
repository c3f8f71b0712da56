// What the file-system parsers read of a deep scan's findings: the hits kept per 16384-sector
// block, the sector fill map, and the signature matcher that types a sector on demand.
//
// The deep scan fills these while it runs; the parsers and rebuilds read them afterwards, on
// one thread at a time, so nothing here takes a lock.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sectorhit.h"

constexpr uint32_t kHitBlockShift = 14;  // block index = LBA >> 14

// One hit list per block of the scan target, indexed by block. The deep scan owns the hits and
// their detail blocks.
std::vector<std::vector<SectorHit>>& BlockHitLists();
// Appends a hit to the list of its block, growing the block array as needed.
void StoreBlockHit(const SectorHit& hit);
// Empties every list; detail blocks are the owner's to free.
void ClearBlockHitLists();
// Every hit of every block, in block order.
void CollectAllHits(std::vector<SectorHit>& out);
// The hit of the given kind that starts exactly at the LBA, or null.
const SectorHit* FindHitAt(uint64_t lba, uint8_t kind);

// Per sector of a range: 0 for an all-zero sector, 255 when its last 16-bit word is not zero,
// else 256 minus its number of trailing zero words. Absent when map is null or count 0.
struct SectorFillMapT {
  const uint8_t* map = nullptr;
  uint64_t firstLba = 0;
  uint64_t count = 0;
};
SectorFillMapT& SectorFillMap();

// Types one 512-byte sector: true with the file type id (0 … 176) of a file header that starts
// in it, false with 234 when none does. The deep scan's MatchSectorSignature serves unless a
// test installs its own.
using SectorSignatureMatcher = bool (*)(const uint8_t* sector, uint32_t& typeId, uint64_t lba);
void SetSectorSignatureMatcher(SectorSignatureMatcher matcher);
bool MatchSectorSignatureForParser(const uint8_t* sector, uint32_t& typeId, uint64_t lba);
