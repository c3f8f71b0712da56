// DataExtent: one run of a found file's data on the scanned device, and the list of them that
// every reader of file contents (copy-out, preview, journal readers) walks in order.
#pragma once

#include <cstdint>
#include <vector>

#pragma pack(push, 1)
struct DataExtent {
  int64_t clusterDelta = 0;   // offset in clusters from the previous run's start (NTFS run lists; else 0)
  uint64_t clusterCount = 0;  // run length in clusters as an NTFS run list gives it; else 0
  uint64_t startLba = 0;      // first sector of the run; at or above 0x1000000000000 reads as zeros
  uint64_t sectorCount = 0;   // run length in 512-byte sectors
};
#pragma pack(pop)
static_assert(sizeof(DataExtent) == 32);

// Readers use only the start LBA and the sector count, in order, and trim the last run to the
// file size.
using DataExtentList = std::vector<DataExtent>;
