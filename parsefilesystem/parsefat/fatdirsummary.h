// FAT directory sectors found anywhere on a disk: the summary the deep scan keeps of each, and
// the runs of consecutive directory sectors the rebuilds work on.
//
// Summaries live with their hits and may come back from a saved scan: one is read only when it
// is a guarded-heap block large enough to hold it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sectorhit.h"
#include "parsefilesystem/parsefat/fatdirhitinfo.h"

constexpr uint8_t kKindFatDirSector = 229;

// The summary of one 512-byte directory sector; false when the sector is no directory sector
// (a second label, a label among "." and "..", "." and ".." of one cluster, a live entry with
// data at cluster 0, 1 or above the 28-bit range, a cluster named twice, no short entry).
bool SummarizeFatDirSector(const uint8_t* sector, FatDirHitInfo& out);
// The deep scan's summarizer: a new guarded-heap summary in *detail, or false (no hit is kept).
bool SummarizeFatDirSectorHit(const uint8_t* sector, uint64_t lba, void** detail);

// The summary a hit or run carries, or null (logged with the given line) when it is missing or
// too small to be one.
FatDirHitInfo* ReadableFatDirSummary(void* detail, uint32_t line);

// One or more consecutive directory sectors; info is the first sector's summary, merged with
// the others' (it speaks for the whole run).
struct FatDirRun {
  uint64_t lba;
  uint32_t sectors;
  FatDirHitInfo* info;
};

// Merges the directory-sector hits (hits in LBA order) into runs and drops the runs a parse
// has already read.
void CollectFatDirHitRuns(const std::vector<SectorHit>& hits, std::vector<FatDirRun>& runs);
// Removes from runs every run whose LBA one of taken has.
void RemoveFatDirRuns(std::vector<FatDirRun>& runs, const std::vector<FatDirRun>& taken);
