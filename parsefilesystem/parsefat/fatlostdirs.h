// Lost FAT directories: directory runs the deep scan found inside a FAT32 volume that no walk
// of the volume reached become folders "Dir%08llu" (the run's cluster) under its root, each
// walked with the FAT parser. A run a walk has already read gets no folder: it would stay empty.
#pragma once

#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/volumecontext.h"
#include "parsefilesystem/parsefat/fatdirsummary.h"

struct FatDirRunLink {
  uint64_t lba;
  uint32_t parentCluster, ownCluster;  // from a "." and ".." summary, else 0
  uint32_t linked;                     // another run of the list is this run's parent
  uint32_t parentIndex;
};

// The runs that fit the parsed volume: in its data area on a cluster boundary, clusters within
// its count, times within its bounds (no upper bound for a logical drive), a "." run at the
// cluster it names. True when any did.
bool FindFatDirHitsInVolume(const std::vector<FatDirRun>& runs, const VolumeContext& vol, bool logicalDrive,
                            std::vector<FatDirRun>& out);
void LinkFatDirRuns(const std::vector<FatDirRun>& runs, std::vector<FatDirRunLink>& links);
// Makes the lost directories of the runs (changed: the runs the walks reached leave it) and
// walks them; the (LBA, id) pairs of the folders made go to lost.
void AddFatDirRunsToVolume(DiskReader& reader, VolumeContext& vol, std::vector<FatDirRun>& runs,
                           std::vector<LostDirEntry>& lost);
// Parsed FAT32 volumes (of a split pair the deleted-files copy) get the runs that fit them.
void CompleteKnownFatVolumes(DiskReader& reader, std::vector<FatDirRun>& runs, std::vector<VolumeContext>& volumes);
// Every FAT32 volume, parsed or rebuilt, gets the runs left inside its LBA range.
void CompleteRebuiltFat32Volumes(DiskReader& reader, std::vector<VolumeContext>& volumes, std::vector<FatDirRun>& runs);
