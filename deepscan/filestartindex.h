// The data start LBAs of the files of partitions found during a scan, one entry per block of
// the device, so a carved hit that starts where a known file starts is cancelled without a
// search; and the registry of partition starts already used to add a partition.
//
// Both are written by the start thread before the consumer starts and then only on the
// consumer thread.
#pragma once

#include <cstdint>

#include "core/volumecontext.h"

struct FileStartEntry {
  uint32_t capacity;
  uint32_t count;
  uint64_t* lbas;  // guarded heap; capacity entries
};

// Frees a previous index and makes one empty entry per block.
void AllocFileStartIndex(uint64_t blocks);
void FreeFileStartIndex();
uint64_t FileStartIndexSize();
// The entry of a block, or null beyond the index.
const FileStartEntry* FileStartIndexEntry(uint64_t block);
// Appends the LBA to its block's entry (a full entry grows to capacity × 15 / 10, 8 when
// empty); false when the block lies beyond the index.
bool AddFileStartLba(uint64_t lba);
// True when the LBA is a known data start.
bool IsKnownFileStart(uint64_t lba);
// Every file record from id 5 below the partition's id limit whose data (through the extent
// providers of the parsers) starts at a non-zero LBA; resident NTFS data and attribute lists
// kept on the disk are skipped.
void BuildFileStartIndex(VolumeContext& partition);
// The LBA where the data of the record starts, by the same rules; false when it has none.
bool RecordDataStartLba(VolumeContext& partition, uint32_t id, uint64_t& lba);

// True when the value was registered already; otherwise it is added and the result is false.
bool RegisterUniqueLba(uint64_t value);
// Takes a registered value out again.
void ForgetUniqueLba(uint64_t value);
void ClearUniqueLbaRegistry();
