// The summary the deep scan keeps for a run of exFAT directory sectors found anywhere on the
// disk: enough of its entries to place the run in a volume again later.
#pragma once

#include <cstdint>

#include "scanbase/carvecandidate.h"

#pragma pack(push, 1)
struct ExfatDirHitEntry {
  uint8_t kind;           // 231 for a directory, else the type id of the name's extension
  uint32_t firstCluster;
  uint32_t size;          // low 32 bits of ValidDataLength
  uint32_t createTime;    // packed
};
static_assert(sizeof(ExfatDirHitEntry) == 13);

// Stored byte for byte with its hit in scan-state files.
struct ExfatDirHitInfo {
  uint32_t kind;             // 1 starts like a root directory, 2 with a file entry set, else 0
  uint64_t lba;              // the run's first sector
  uint32_t sectors;          // sectors covered by the entries walked
  uint32_t earliestTime;     // earliest non-zero creation time of the completed sets (packed)
  uint32_t lowestCluster;
  uint32_t highestCluster;
  uint32_t smallestDirSize;  // smallest directory of 512 << k bytes (k 0 … 14), or 0
  uint32_t smallestDirCount; // directories of that size
  ExfatDirHitEntry entries[24];
  uint32_t entryCount;
};
#pragma pack(pop)
static_assert(sizeof(ExfatDirHitInfo) == 352);

// Summarises the length bytes of the run that starts at c.startLba and hangs a new guarded-heap
// ExfatDirHitInfo on c.details (the caller frees what was there). Always true.
bool AnalyzeExfatDirSector(const uint8_t* window, uint32_t length, CarveCandidate& c);
