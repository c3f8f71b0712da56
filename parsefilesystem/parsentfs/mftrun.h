// Runs of found MFT records and where their volume began: records stored back to back are
// gathered into runs, the cluster size is estimated from the slack of the files' last clusters,
// and the volume's first sector is voted from directories whose index records list their
// children (an index record lies at first sector + cluster size x its LCN).
//
// Summaries and index records come from the disk: every count, offset and product is checked,
// and the sector reads stay inside the buffers they fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/sortutil.h"
#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "parsefilesystem/parsentfs/foundmftrecord.h"

// Runs hold more than this many hits.
constexpr size_t kMinMftRunHits = 51;
// The estimated cluster size never exceeds what the boot sector's one byte can say.
constexpr uint32_t kMaxEstimatedClusterSectors = 128;

// The next run of more than 50 hits whose LBAs keep two sectors per record number from the
// run's first hit, searched from pos; run receives copies of its hits and pos where to go on.
// A hit without a summary is passed over, and ends a run being extended.
bool FindMftRecordRun(const std::vector<SectorHit>& hits, std::vector<SectorHit>& run, size_t& pos);

// A run of MFT-record hits that lie back to back inside one block (index into the block's hits).
struct MftHitRun {
  size_t first = 0;
  size_t count = 0;
  uint64_t firstLba = 0;
  bool startsWithMft = false;  // the first hit's name is exactly "$MFT"
};
// The runs of the kind-224 hits among hits (other kinds are passed over); mftHits receives
// those hits, which the runs index.
std::vector<MftHitRun> SplitMftHitRuns(const std::vector<SectorHit>& hits, std::vector<SectorHit>& mftHits);
// For a run that begins with the $MFT record: the volume's first sector from the $MFT's (or,
// when the run is its mirror, the $MFTMirr's) first cluster and the cluster size the $MFTMirr
// record shows. False when nothing can be derived.
bool DeriveNtfsStartFromMftRun(const std::vector<SectorHit>& mftHits, const MftHitRun& run, uint64_t& start);
// Where the volumes of a block's MFT records begin: one LBA per run of at least 4 records whose
// start can be worked out (the caller reads those blocks early).
std::vector<uint64_t> NtfsStartsFromMftHits(const std::vector<SectorHit>& hits);

// The cluster size (sectors) most files' slack points to; false without a usable sample.
bool EstimateNtfsClusterSize(const std::vector<SectorHit>& run, uint32_t& sectorsPerCluster);

// For the directory dir: the LBA of an index record (among indxHits, whose detail is the parent
// directory's number) that lists at least 3 of its 3 to 30 children and no fewer than there
// are.
bool ReadIndxEntryRefs(DiskReader& reader, uint32_t sectorsPerCluster, const std::vector<SectorHit>& indxHits,
                       const MftHitInfo& dir, const std::vector<uint32_t>& children, uint64_t& lba);

// The vote over the candidate starts of the directories, one call per directory: three that
// agree finish it at once; after five the leader with at least three votes; after ten the
// leader. Among equal counts the larger start leads. Without a finish the latest candidate.
class NtfsStartVote {
 public:
  // True when the vote is finished (the result is then final).
  bool Add(uint64_t candidate);
  uint64_t Result() const { return result_; }
  uint32_t Voters() const { return voters_; }

 private:
  std::vector<U64Triple> table_;  // (count, start, 0)
  uint32_t voters_ = 0;
  uint64_t result_ = 0;
  bool finished_ = false;
};

// The run's volume start and cluster size from its directories' index records. False when no
// directory voted (or no cluster size could be estimated).
bool EstimateNtfsVolumeStart(DiskReader& reader, uint64_t& start, uint32_t& sectorsPerCluster,
                             const std::vector<SectorHit>& indxHits, const std::vector<SectorHit>& run);

// Whether the NTFS boot sector boot, taken as the first sector of a volume at lba, names an
// MFT: more than 16 of the 64 records where it puts the MFT carry their own record numbers.
bool MftStartHoldsOwnRecords(DiskReader& reader, const uint8_t* boot, uint64_t lba);
