// The walk of a disk's partition tables (MBR, extended boot records, GPT) that finds the
// partitions lying in the stretches of a disk no drive covers, and the raw-sector classifier
// and the rebuilding of partitions and volumes from the deep scan's sector hits.
#pragma once

#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"

constexpr uint64_t kMinPartitionSectors = 102400;
constexpr uint64_t kMinDeepPartitionSectors = 1638400;
// How many extended boot records one chain may hold before the walk gives up.
constexpr uint32_t kMaxExtendedRecords = 128;

// Sector kinds of ClassifyRawSector.
enum : uint32_t {
  kSectorMbr = 221,
  kSectorPartTable = 222,
  kSectorNtfsBoot = 223,
  kSectorMftRecord = 224,
  kSectorIndexRecord = 225,
  kSectorFat16Boot = 226,
  kSectorFat32Boot = 227,
  kSectorFatDirRun = 229,
  kSectorExfatBoot = 230,
  kSectorGptHeader = 232,
  kSectorNothing = 234,
};

// A 16-byte table entry at entry (which points into a 512-byte sector).
bool IsUsableMbrEntry(const uint8_t* entry);
bool IsExtendedEntryType(uint8_t type);

bool FindDiskPartitions(const VolumeContext& disk, std::vector<VolumeContext>& areas, std::vector<VolumeContext>& out);
void WalkMbrPartitions(const VolumeContext& disk, DiskReader& reader, std::vector<VolumeContext>& areas,
                       std::vector<VolumeContext>& out);
void WalkGptPartitions(const VolumeContext& disk, DiskReader& reader, std::vector<VolumeContext>& areas,
                       std::vector<VolumeContext>& out);
void WalkExtendedPartitions(const VolumeContext& disk, DiskReader& reader, uint64_t ebrLba, uint64_t extendedLba,
                            std::vector<VolumeContext>& found);
bool ProbePartition(const VolumeContext& disk, DiskReader& reader, uint64_t startLba, uint64_t sectors,
                    VolumeContext& out);
void SubtractPartitionsFromAreas(const VolumeContext& disk, std::vector<VolumeContext>& areas,
                                 const std::vector<VolumeContext>& partitions);
void SortPartitionsByStart(std::vector<VolumeContext>& list);

// Whether the classifier looks for runs of FAT directory entries (off by default; the deep
// scan switches it on for scans that want them).
void SetFatDirScanEnabled(bool on);
bool FatDirScanEnabled();

bool ClassifyRawSector(uint64_t lba, const uint8_t* sector, uint32_t* kind);
bool RefreshVolumeInfo(DiskReader& reader, VolumeContext& vol, const uint8_t* entry, uint64_t baseLba);
void FindPartitionsFromMbrHits(DiskReader& reader, const std::vector<SectorHit>& hits, std::vector<VolumeContext>& out);
void FindVolumesFromBootHits(DiskReader& reader, const std::vector<SectorHit>& hits, std::vector<VolumeContext>& out);
bool ValidateBootSectorHit(DiskReader& reader, const uint8_t* boot, uint64_t lba, VolumeContext& out);
