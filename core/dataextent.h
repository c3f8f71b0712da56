// DataExtent: one run of a found file's data on the opened device. A file's data is an ordered
// list of them; readers use the start LBA and the sector count in order and trim the last run to
// the file size.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct DataExtent {
  int64_t clusterDelta;   // offset in clusters from the previous run's start (NTFS), else 0
  uint64_t clusterCount;  // run length in clusters (NTFS), else 0
  uint64_t startLba;      // first sector of the run; at or above 0x1000000000000 reads as zeros
  uint64_t sectorCount;   // length in 512-byte sectors
};
#pragma pack(pop)
static_assert(sizeof(DataExtent) == 32);
