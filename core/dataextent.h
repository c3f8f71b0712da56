// DataExtent: one run of a found file's data on the scanned device, and the list of them that
// every reader of file contents (copy-out, preview, journal readers) walks in order.
#pragma once

#include <cstdint>
#include <vector>

#pragma pack(push, 1)
struct DataExtent {
  int64_t clusterDelta = 0;   // offset in clusters from the previous run's start (NTFS run lists; else 0)
  uint64_t clusterCount = 0;  // run length in clusters as an NTFS run list gives it; else 0
  uint64_t startLba = 0;      // first sector of the run, or a hole or unreadable mark (below)
  uint64_t sectorCount = 0;   // run length in 512-byte sectors
};
#pragma pack(pop)
static_assert(sizeof(DataExtent) == 32);

// Readers use only the start LBA and the sector count, in order, and trim the last run to the
// file size.
using DataExtentList = std::vector<DataExtent>;

// Start LBAs from kHoleLbaBase up to kUnreadableLba mark holes: runs the file never wrote (NTFS
// sparse runs), which read as zeros without touching the device and are copied out as holes.
// Start LBAs from kUnreadableLba on mark runs whose data cannot be had: a run that points
// outside its volume, overlaps an earlier run, or a piece of a file whose record is gone. They
// keep the offsets of the runs after them; reading one fails.
constexpr uint64_t kHoleLbaBase = 0x1000000000000ull;
constexpr uint64_t kUnreadableLba = 0x8000000000000000ull;
inline bool IsHoleExtent(const DataExtent& e) { return e.startLba >= kHoleLbaBase && e.startLba < kUnreadableLba; }
inline bool IsUnreadableExtent(const DataExtent& e) { return e.startLba >= kUnreadableLba; }
inline DataExtent UnreadableExtent(uint64_t sectors) { return DataExtent{0, 0, kUnreadableLba, sectors}; }
// Sectors of the runs together, saturating instead of wrapping.
uint64_t ExtentSectors(const DataExtentList& extents);
