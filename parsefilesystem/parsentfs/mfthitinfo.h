// The summary the deep scan keeps of every MFT record it finds anywhere on a disk: enough of the
// record (number, parent, times, name, sizes, run list) that a lost NTFS volume can be rebuilt
// from the summaries alone, without reading its MFT again.
//
// Found records are hostile: every read inside one is bounded by its 1024 bytes.
#pragma once

#include <cstdint>

#include "core/filerecord.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"

enum MftHitFlags : uint8_t {
  kMftHitInUse = 0x01,
  kMftHitDirectory = 0x02,
  kMftHitResident = 0x04,     // $DATA is resident
  kMftHitIndexAlloc = 0x08,   // the record has an $INDEX_ALLOCATION
};

// Stored byte for byte with its hit in scan-state files, followed there by the name
// (nameLength x 2 bytes) and the run list (runListLength bytes). The two pointers hold whatever
// the writing process had; a reader replaces them with copies of its own.
#pragma pack(push, 1)
struct MftHitInfo {
  uint32_t recordNumber;
  uint32_t parent;         // low 32 bits of the parent reference of the name taken
  uint32_t created;        // packed local time
  uint32_t modified;       // packed local time
  char16_t* name;          // guarded heap, nameLength + 1 units with the terminator
  uint8_t* runList;        // guarded heap, runListLength bytes, or null
  uint16_t nameLength;     // characters; 0: no name
  uint16_t runListLength;  // bytes; 0: none
  uint64_t realSize;
  uint64_t allocatedSize;  // non-resident $DATA only
  uint8_t flags;           // MftHitFlags
};
#pragma pack(pop)
static_assert(sizeof(MftHitInfo) == 53);

// Fills out (zeroed first) from a fixed-up 1024-byte record. False, with nothing allocated, when
// the record is not "FILE", has no $STANDARD_INFORMATION or no usable name.
bool ParseFoundMftRecord(const uint8_t* record, MftHitInfo& out);
// The summary of a found record as a guarded-heap block the hit owns; false when the record is
// refused. lba is not used: the hit keeps its own.
bool SummarizeFoundMftRecord(const uint8_t* record, uint64_t lba, void** detail);
// Frees a summary with its name and run list (the hit-detail releaser of kind 224).
void FreeMftHitInfo(void* detail);

// The summary of a kind-224 hit, or null when it has none.
const MftHitInfo* MftHitSummary(const SectorHit& hit);

// A FileRecord of the rebuilt volume from a kind-224 hit with a named summary: number, parent,
// times, size, state and the run list as its blob. Its LBA is the record's own for resident
// data, else the first extent of its run list on the volume (0 without one). False for any
// other hit (out is then left zeroed).
bool FileRecordFromMftHit(const VolumeContext& vol, FileRecord& out, const SectorHit& hit);
