// What a deep scan shows while it runs (when files are shown while scanning): the partitions the
// device already names, parsed before the first block is read; partitions whose boot sectors
// the scan finds; and the carved files of every handled block, sized up to the next hit.
//
// AddRealPartInfo runs on the scan's start thread before the consumer exists; everything else
// on the consumer thread. Adding volumes and files tells the result windows synchronously.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "core/sectorhit.h"
#include "core/volumecontext.h"

// Folder and desktop targets with a real path: their volumes are cut to that path, and boot
// sectors found on the disk add nothing.
bool IsFolderScanTarget(const VolumeContext& target);

// The partitions of the ScanTarget's disk that its drive list names inside the target, each
// parsed (readdressed on the physical disk unless the target is a drive itself) and split by
// AddPartitionToList into out. A partition whose first LBA was registered already, that does
// not parse, or whose parse a stop cut short, adds nothing.
void ListDevicePartitions(std::atomic<uint32_t>* state, std::vector<VolumeContext>& out);
// Appends the parsed partition as it is when "NoPickFile" is "1", otherwise its deleted and
// existing parts (cut to the chosen folder for folder and desktop targets). Takes the
// partition's records either way.
void AddPartitionToList(uint32_t operation, VolumeContext& partition, std::vector<VolumeContext>& out);

// Before the first block: the device's partitions into the VolumeList with their file start
// index, event report 28, and for a resumed scan its stored carved files, the partitions of its
// stored boot sectors and the NTFS volumes of its stored MFT records.
void AddRealPartInfo(std::atomic<uint32_t>* state);

// A boot sector found while scanning (NTFS 223, FAT32 227, exFAT 230) that proves a volume
// starting inside the target and not added before: parsed, split and added to the VolumeList.
// True when a partition was added.
bool AddPartitionFromBootHit(std::atomic<uint32_t>* state, const uint8_t* sector, uint64_t lba, uint32_t kind);

// Shows the carved files of a handled block (or a run of adjacent blocks): the neighbours are
// gathered and every open-ended file sized. A file still waiting for its end (the last one,
// when no later hit is stored yet) is shown with the block that bounds it, and a neighbour
// shown before is not shown again.
void PublishBlockHits(std::atomic<uint32_t>* state, uint64_t blockLba, const std::vector<SectorHit>& hits);
// The stored carved files of a resumed scan, in runs of adjacent blocks; in the deleted-files
// operations only those in blocks with free clusters.
void PublishStoredHits();

// Installs the live results and the end-of-scan stage into the scan: the partition parse at
// the start, the carved files and boot sectors of every block, and the end stage. The program
// calls it once at start, after the carving consumer.
void InstallScanResults();
