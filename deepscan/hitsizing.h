// Sizes of carved files whose format gives no end: a file runs up to the next hit, found across
// block borders through the neighbouring blocks' hit lists, at most 1800 MiB, and in the
// deleted-files operations on NTFS no further than the free clusters reach.
//
// Consumer thread only: the hit lists are read without a lock.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/sectorhit.h"

// 3,686,400 sectors (1800 MiB): the most an open-ended carved file is given.
constexpr uint64_t kMaxOpenEndedSectors = 3686400;

// A file hit still to be sized: a file type with no size whose end detection neither waits for
// data nor refused it.
bool IsOpenEndedFileHit(const SectorHit& h);

// What GatherHitsWithNeighbours put around the hits.
struct GatheredNeighbours {
  bool leading = false;   // out begins with the last hit of an earlier block
  bool boundary = false;  // out ends with the first hit of a later block
};

// out becomes: the last hit of the nearest earlier block with hits (the walk back passes over
// handled blocks without hits and stops at a block never handled), then the hits inside the
// ScanTarget, then the first hit of the nearest later block with hits found the same way from
// the block after the last hit's block (the boundary). Neighbours outside the target are not
// taken. File hits that start where a file of a parsed partition starts (the file start index)
// are cancelled (234) in out; the hit lists are not changed. blockLba is the first hit's block.
GatheredNeighbours GatherHitsWithNeighbours(uint64_t blockLba, std::span<const SectorHit> hits,
                                            std::vector<SectorHit>& out);

// Sizes the open-ended file hits in place: the distance in sectors to the next file or
// metadata hit (video kinds 177-220 are passed over), or to the ScanTarget's end when none
// follows, at most kMaxOpenEndedSectors; 0 when that end is not beyond the hit. With sizeLast
// false the last element only marks an end and is not sized itself. In the deleted-files
// operations on NTFS, with the allocation map loaded, a file stops at the first cluster the
// map shows in use (one whose first cluster is in use keeps its size).
void SizeOpenEndedHits(std::vector<SectorHit>& hits, bool sizeLast);
