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
#include "scanbase/mfthitinfo.h"

// Fills out (zeroed first) from a fixed-up 1024-byte record. False, with nothing allocated, when
// the record is not "FILE", has no $STANDARD_INFORMATION or no usable name.
bool ParseFoundMftRecord(const uint8_t* record, MftHitInfo& out);
// The summary of a found record as a guarded-heap block the hit owns; false when the record is
// refused. lba is not used: the hit keeps its own.
bool SummarizeFoundMftRecord(const uint8_t* record, uint64_t lba, void** detail);

// The summary of a kind-224 hit, or null when it has none (or a block too small to be one).
const MftHitInfo* MftHitSummary(const SectorHit& hit);

// A FileRecord of the rebuilt volume from a kind-224 hit with a named summary: number, parent,
// times, size, state and the run list as its blob. Its LBA is the record's own for resident
// data, else the first extent of its run list on the volume (0 without one). False for any
// other hit (out is then left zeroed).
bool FileRecordFromMftHit(const VolumeContext& vol, FileRecord& out, const SectorHit& hit);
