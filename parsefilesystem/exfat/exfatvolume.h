// exFAT volumes: the boot-sector geometry, the walk of the directory tree into FileRecords
// (live and deleted entry sets), the cluster list of a file, the volume label, and the set-up
// of a VolumeContext from a partition or a boot-sector hit.
//
// Everything read from the disk is hostile: the FAT and the allocation bitmap are loaded only
// up to the sizes the volume's cluster count allows, every chain is bounded by the cluster
// count and stops at a repeated cluster, and directories are walked from a work list that holds
// one directory buffer at a time. Record LBAs are absolute LBAs of the opened device.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/dataextent.h"
#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "scanbase/knowndirlbas.h"

// The boot-sector fields the parser uses, checked: a geometry is valid only with a
// sectors-per-cluster shift of at most 16, a cluster count of at least 1 and a cluster heap
// that starts after the boot region.
struct ExfatGeometry {
  uint64_t firstLba = 0;       // the volume's first LBA on the opened device
  uint64_t volumeLength = 0;   // sectors
  uint32_t fatOffset = 0;      // sectors from the first LBA
  uint32_t fatLength = 0;      // sectors
  uint32_t heapOffset = 0;     // sectors from the first LBA to cluster 2
  uint32_t clusterCount = 0;   // clusters 2 … clusterCount + 1 exist
  uint32_t rootCluster = 0;
  uint32_t shift = 0;          // sectors per cluster = 1 << shift
  uint32_t clusterBytes = 0;
};
bool ReadExfatGeometry(const uint8_t* bootSector, uint64_t firstLba, ExfatGeometry& geo);
// True for the clusters of the heap, 2 … clusterCount + 1.
bool IsExfatHeapCluster(const ExfatGeometry& geo, uint64_t cluster);
// The absolute LBA of a heap cluster's first sector; 0 for a cluster outside the heap.
uint64_t ExfatClusterLba(const ExfatGeometry& geo, uint64_t cluster);

using ExfatRunState = std::atomic<uint32_t>;

// The whole parse of a volume of type 4: false unless the setting "ParseFileSys" is "1" or
// when the device cannot be opened; otherwise true (also when stopped).
bool ParseExfatVolume(ExfatRunState* state, VolumeContext& vol);
// Loads the FAT and the bitmap, walks the tree from the root and fills the time and LBA
// bounds. False when stopped after the FAT load.
bool WalkExfatVolume(ExfatRunState* state, DiskReader& reader, VolumeContext& vol);
// Reads the directory at firstCluster (at most byteBound bytes of it) and stores its entry
// sets under parentId, then every directory below it. False when its LBA is already known,
// no cluster could be collected, or the run was stopped.
bool ReadExfatDirectory(ExfatRunState* state, DiskReader& reader, VolumeContext& vol, uint32_t firstCluster,
                        uint64_t byteBound, uint32_t parentId, uint32_t hitFlag);
// Stores the entry sets of one directory buffer under parentId, then walks the directories
// found in it. With hitFlag set the first sector must look like directory entries (else
// false) and records are linked into their parents at once.
bool ParseExfatEntrySets(ExfatRunState* state, DiskReader& reader, VolumeContext& vol, const uint8_t* buffer,
                         uint32_t length, uint32_t parentId, uint32_t hitFlag);

// Appends the clusters of a file of the given size: a contiguous run, or the FAT chain when
// the record has flag 0x200 (a free or end entry continues with the next cluster until the
// size is covered). Never more than the volume's cluster count; stops at a repeated cluster.
bool GetExfatFileClusters(const VolumeContext& vol, const FileRecord& rec, uint32_t firstCluster,
                          std::vector<uint32_t>& clusters, uint64_t size);
// The clusters merged into runs of sectors on the opened device (adjacent clusters share a
// run); false for an empty list.
bool ExfatClustersToExtents(const VolumeContext& vol, const std::vector<uint32_t>& clusters,
                            std::vector<DataExtent>& extents);

// Copies the label (entry 0x83 of the root directory's first cluster) into vol.label; false
// when no label entry is there.
bool ReadExfatVolumeLabel(DiskReader& reader, VolumeContext& vol);
// A partition with an exFAT boot sector: the target becomes a copy of the source set up as an
// exFAT volume at firstLba, no longer than the partition.
bool SetupExfatVolume(const VolumeContext& source, DiskReader& reader, const uint8_t* bootSector, uint64_t firstLba,
                      uint64_t partSectors, VolumeContext& target);
// A boot-sector hit of the deep scan at lba.
bool SetupExfatVolumeFromHit(DiskReader& reader, const uint8_t* bootSector, uint64_t lba, VolumeContext& target);
// True when the root directory and the FAT that the boot sector at lba names look like exFAT.
bool ValidateExfatBootHit(DiskReader& reader, const uint8_t* bootSector, uint64_t lba);
