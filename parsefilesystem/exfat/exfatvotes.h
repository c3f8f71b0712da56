// The cluster geometry of lost exFAT volumes, voted from the directory-run summaries the deep
// scan keeps: the runs are grouped by their dominant directory size (taken as the cluster
// size), and each group's cluster-heap start is voted from the carved file starts that match a
// directory entry by size and type (else from the links between directories). The vote keeps
// each run's best starts and the five best starts overall, and cuts the runs into ranges of
// one geometry each.
//
// Summaries may come from saved scans: every count and size in them is bounded before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "core/sectorhit.h"
#include "parsefilesystem/exfat/exfatdirhitinfo.h"

constexpr uint32_t kExfatHitEntryMax = 24;

// The entries of a summary that may be read; a damaged count never reaches past the table.
uint32_t ExfatHitEntriesUsed(const ExfatDirHitInfo& h);
// The smallest sized directory of a summary, or 0 when it is no 512 << k (k 0 … 14) or has no
// count.
uint32_t ExfatHitDirSize(const ExfatDirHitInfo& h);
// True for the ten file types whose carved starts place a lost volume's clusters.
bool IsExfatGeometryType(uint8_t typeId);

struct ExfatGeometryVote {
  uint32_t hit;       // index of the directory run
  uint64_t zeroLba;   // the LBA cluster 0 would have: heap start − 2 × sectors per cluster
  uint32_t count;
};

struct DirSizeGroup {
  uint32_t first;     // first run of the group
  uint32_t last;      // last run that has the group's size
  uint32_t spc;       // the group's directory size in sectors, used as its cluster size
  uint64_t count;     // directories of that size seen in the group
};

struct ExfatGeometryRange {
  uint32_t first, last;  // runs
  uint32_t spc;
  uint64_t heapStart;    // LBA of cluster 2
};

// A carved file start (hit = 0) or a directory entry of a summary (lba = 0).
struct ExfatGeometryItem {
  uint32_t hit;
  uint8_t type;
  uint64_t lba;
  uint32_t firstCluster;
  uint32_t size;
};

// The directory size that reaches ten directories first from run `from` on (strength 10), or
// else the size with the most directories (strength 0). False when no run has a sized directory.
bool FindDominantDirSize(const std::vector<ExfatDirHitInfo>& hits, size_t from, uint32_t& size, uint32_t& strength);
// Walks the runs from `from` with key size `key`: runs of that size join the last group; a run
// of another size whose size dominates from there on starts a new group and becomes the key.
void SplitDirHitsBySize(const std::vector<ExfatDirHitInfo>& hits, size_t from, uint32_t key,
                        std::vector<DirSizeGroup>& groups);

// Every ended file hit of a geometry type as (type, LBA, size), sorted by size, then type.
void CollectCarvedStarts(const SectorHit* hits, size_t count, std::vector<ExfatGeometryItem>& starts);
// The same over the scan's block hit lists.
void CollectCarvedStartsOfScan(std::vector<ExfatGeometryItem>& starts);
// Every file entry of a geometry type of the runs [first, last], indexes relative to first,
// sorted by size, then type.
void ListExfatFileEntries(const std::vector<ExfatDirHitInfo>& hits, size_t first, size_t last,
                          std::vector<ExfatGeometryItem>& entries);

// Adds one to the vote (hit, zeroLba), appending it when new.
class ExfatVoteTable {
 public:
  void Add(uint32_t hit, uint64_t zeroLba);
  const std::vector<ExfatGeometryVote>& votes() const { return votes_; }
  bool empty() const { return votes_.empty(); }

 private:
  std::vector<ExfatGeometryVote> votes_;
  std::map<std::pair<uint64_t, uint32_t>, size_t> index_;
};

bool CastExfatGeometryVotes(const std::vector<ExfatGeometryItem>& entries, const std::vector<ExfatGeometryItem>& starts,
                            uint32_t spc, ExfatVoteTable& votes);
// Directory entries of a run against the runs that follow it (at most seven) that start with
// a file entry set; relative indexes over [first, last].
void CastDirLinkVotes(const std::vector<ExfatDirHitInfo>& hits, size_t first, size_t last, uint32_t spc,
                      ExfatVoteTable& votes);
// The ranges of one group of hitCount runs (relative indexes); false without runs, cluster
// size or votes.
bool VoteExfatGeometry(uint32_t hitCount, uint32_t spc, const std::vector<ExfatGeometryVote>& votes,
                       std::vector<ExfatGeometryRange>& ranges);
// The run-by-run choices (run index, cluster-0 LBA) cut into ranges; the best start serves
// when no range forms.
void SplitVotesIntoRanges(const std::vector<std::pair<uint32_t, uint64_t>>& choices, uint32_t hitCount, uint32_t spc,
                          uint64_t bestZeroLba, std::vector<ExfatGeometryRange>& ranges);
// Ranges of every group with absolute run indexes; false when none was made (also when no
// carved start exists at all).
bool RebuildExfatGroup(const std::vector<ExfatDirHitInfo>& hits, const std::vector<DirSizeGroup>& groups,
                       const std::vector<ExfatGeometryItem>& starts, std::vector<ExfatGeometryRange>& ranges);
// The first range starts at run 0, the last ends at the last run, and neighbours meet: runs
// of a gap above the next range's heap start belong to both.
void AdjustGeometryRanges(const std::vector<ExfatDirHitInfo>& hits, std::vector<ExfatGeometryRange>& ranges);
