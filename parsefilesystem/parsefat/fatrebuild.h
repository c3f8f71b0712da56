// Lost FAT directories and FAT32 volumes rebuilt from the directory-sector and table hits a
// deep scan keeps.
//
// The data area's start and the cluster size are voted from the "." runs (a "." entry names
// the cluster it stands at); a FAT32 table copy found before a root-like run is accepted when
// 32 of the directory entries agree with its chains; volumes are then built around each root
// the votes confirm, with or without the table, and from the votes alone. Table copies are
// read up to a total budget, so a disk full of tables cannot exhaust memory.
#pragma once

#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "parsefilesystem/parsefat/fatdirsummary.h"

// The end-of-scan rebuild: completes the parsed FAT32 volumes of volumes with the lost
// directories found inside them and appends the FAT32 volumes rebuilt from the directory hits
// (kind 229) and table copies (228). hits are every hit of the scan, ascending by LBA. The
// reader is open on the scanned device and stays with the caller.
void RebuildFatFromDirEntryHits(DiskReader& reader, const std::vector<SectorHit>& hits,
                                std::vector<VolumeContext>& volumes);

// The steps, in the order the rebuild takes them.

struct FatDataStartVote {
  uint64_t count;
  uint64_t start;  // LBA of cluster 2
  uint64_t spc;
};
// Votes of the "." runs, most votes first: those with 6 or more, else the best one when it has
// at least 4.
void EstimateFatDataStarts(const std::vector<FatDirRun>& runs, std::vector<FatDataStartVote>& votes);
// Appends the "." runs that stand at the cluster they name for this start and cluster size;
// true when the group then holds more than two runs.
bool SelectFatDirRunsForStart(const std::vector<FatDirRun>& runs, uint64_t start, uint64_t spc,
                              std::vector<FatDirRun>& group);

struct FatTableCandidate {
  uint64_t lba;
  uint32_t sectors;
  uint8_t* bytes;  // guarded heap
};
// The table hits no parse has loaded, read whole: 64 MiB each at most, and no more bytes in all
// than the budget (512 MiB).
void CollectFatTableCandidates(DiskReader& reader, const std::vector<SectorHit>& hits,
                               std::vector<FatTableCandidate>& candidates, uint64_t budget = 512ull << 20);
void FreeFatTableCandidates(std::vector<FatTableCandidate>& candidates);
// The candidate within 0x23000 sectors before the group's first run whose chains 32 entries
// of the group's directories agree with; index is its place in candidates.
bool MatchFatTable(DiskReader& reader, const std::vector<FatDirRun>& group, uint32_t spc,
                   const std::vector<FatTableCandidate>& candidates, int32_t& index);
// The entries of one directory cluster against the table; descends into the group's runs.
bool MatchFatDirCluster(DiskReader& reader, const std::vector<FatDirRun>& group, const uint8_t* bytes,
                        uint32_t length, uint32_t spc, const FatTableCandidate& table, uint32_t& counter,
                        uint32_t depth = 0);
// A volume of type 15 whose root is the cluster at start, with a copy of candidate index's table
// (−1: none), walked and completed with the group's runs its walk did not reach.
bool BuildFat32VolumeFromHits(DiskReader& reader, std::vector<FatDirRun>& group,
                              const std::vector<FatTableCandidate>& candidates, int32_t index, uint64_t start,
                              uint32_t spc, VolumeContext& out);
// The first vote that gathers more than two pending runs; they leave pending.
bool NextFatVoteGroup(std::vector<FatDirRun>& pending, const std::vector<FatDataStartVote>& votes,
                      std::vector<FatDirRun>& group, uint64_t& start, uint32_t& spc);
