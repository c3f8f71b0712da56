#include "parsefilesystem/parsefat/fatrebuild.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <unordered_set>

#include "base/heap.h"
#include "base/log.h"
#include "core/filetree.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsefat/fatlostdirs.h"
#include "parsefilesystem/parsefat/fatrelocate.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "parsefilesystem/parsefat/fatvolume.h"

namespace {

constexpr uint8_t kKindFatTable = 228;
constexpr uint64_t kMaxTableBytes = 0x4000000;        // one table copy: 64 MiB
constexpr uint64_t kTableWindow = 0x23000;             // sectors a table may lie before its root
constexpr uint32_t kMatchesWanted = 32;
constexpr uint32_t kMaxMatchDepth = 64;
constexpr uint32_t kChainEnd = 0x0FFFFFFF;
constexpr uint32_t kLastDataCluster = 0x0FFFFFEF;
constexpr uint32_t kSpcChoices[] = {1, 2, 4, 8, 16, 32, 64, 128};

bool IsDotRun(const FatDirRun& r) { return r.info != nullptr && r.info->sectorKind == 2; }

bool GroupHasLba(const std::vector<FatDirRun>& group, uint64_t lba) {
  return std::any_of(group.begin(), group.end(), [&](const FatDirRun& r) { return r.lba == lba; });
}

uint32_t TableEntry(const FatTableCandidate& t, uint64_t c) { return FatU32(t.bytes + c * 4); }

bool AllZero(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

// The check of a 512-byte sector of a directory cluster, made at its first entry.
bool SectorLooksLikeEntries(const uint8_t* e) {
  if (e[0] == 0) return AllZero(e, 512);
  const uint8_t attr = e[11];
  if (attr == 0x08 || attr == 0x28) return IsFatVolumeLabelEntry(e) && ValidateFatDirEntries(e + 32, 480);
  if (attr == kFatAttrLongName) {
    const uint8_t seq = e[0] == kFatDeletedByte ? uint8_t(kFatDeletedByte) : uint8_t((e[0] & 0x0F) + 1);
    return ValidateFatLfnRun(e, 512, seq, e[13]);
  }
  return ValidateFatEntryRun(e, 512);
}

// The first cluster of an entry the match looks at, or 0 for one it passes over.
uint32_t MatchedCluster(const uint8_t* e, uint32_t index, uint64_t tableEntries) {
  const uint8_t attr = e[11];
  if (attr == kFatAttrLabel || attr == kFatAttrLongName || e[0] == kFatDeletedByte) return 0;
  if (index < 2 && (attr & kFatAttrDirectory) && e[0] == '.') return 0;
  const uint32_t c = FatEntryFirstCluster(e);
  return c >= 2 && c < tableEntries ? c : 0;
}

bool MatchFatDirChain(DiskReader& reader, const std::vector<FatDirRun>& group, uint64_t lba, uint32_t spc,
                      const FatTableCandidate& table, uint32_t& counter, uint32_t depth) {
  if (!GroupHasLba(group, lba)) return true;
  if (depth >= kMaxMatchDepth) return false;
  const uint32_t bytes = spc * 512;
  auto* buf = static_cast<uint8_t*>(AllocMem(bytes, 173));
  reader.ReadSectors(buf, lba, spc);
  const bool ok = MatchFatDirCluster(reader, group, buf, bytes, spc, table, counter, depth + 1);
  FreeMem(buf);
  return ok;
}

void ResetForRebuild(VolumeContext& v, uint64_t start, uint32_t spc) {
  ResetVolumeContext(v);
  v.type = kVolTypeFat32Rebuilt;
  v.firstLba = start;
  v.bootSector[0x0D] = uint8_t(spc);
  v.bootSector[0x2C] = 2;
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void RebuildFat32ByTable(DiskReader& reader, const std::vector<FatDirRun>& runs,
                         const std::vector<FatDataStartVote>& votes, const std::vector<FatTableCandidate>& candidates,
                         std::vector<VolumeContext>& volumes) {
  for (const FatDirRun& root : runs) {
    if (IsDotRun(root) || root.info == nullptr) continue;
    for (const FatDataStartVote& v : votes) {
      if (v.start != root.lba) continue;
      std::vector<FatDirRun> group{root};
      if (!SelectFatDirRunsForStart(runs, root.lba, v.spc, group)) continue;
      int32_t index = -1;
      if (!MatchFatTable(reader, group, uint32_t(v.spc), candidates, index)) index = -1;
      VolumeContext vol;
      if (BuildFat32VolumeFromHits(reader, group, candidates, index, root.lba, uint32_t(v.spc), vol))
        volumes.push_back(vol);
    }
  }
}

void RebuildFat32WithoutTable(DiskReader& reader, const std::vector<FatDirRun>& runs,
                              const std::vector<FatDataStartVote>& votes,
                              const std::vector<FatTableCandidate>& candidates, std::vector<VolumeContext>& volumes) {
  std::vector<FatDirRun> pending;
  for (const FatDirRun& r : runs)
    if (IsDotRun(r) && !TestKnownFatLba(r.lba, false)) pending.push_back(r);
  std::vector<FatDirRun> group;
  uint64_t start = 0;
  uint32_t spc = 0;
  while (NextFatVoteGroup(pending, votes, group, start, spc)) {
    VolumeContext vol;
    if (BuildFat32VolumeFromHits(reader, group, candidates, -1, start, spc, vol)) volumes.push_back(vol);
  }
}

}  // namespace

void EstimateFatDataStarts(const std::vector<FatDirRun>& runs, std::vector<FatDataStartVote>& votes) {
  votes.clear();
  std::map<std::pair<uint64_t, uint64_t>, size_t> at;
  for (const FatDirRun& r : runs) {
    if (!IsDotRun(r)) continue;
    const uint32_t own = r.info->ownCluster;
    if (own < 2 || own > kLastDataCluster) continue;
    for (uint32_t s : kSpcChoices) {
      const uint64_t x = uint64_t(own - 2) * s;
      if (r.lba < x) continue;
      const uint64_t start = r.lba - x;
      auto [it, fresh] = at.try_emplace({start, s}, votes.size());
      if (fresh) votes.push_back(FatDataStartVote{0, start, s});
      ++votes[it->second].count;
    }
  }
  std::sort(votes.begin(), votes.end(), [](const FatDataStartVote& a, const FatDataStartVote& b) {
    return std::tie(a.count, a.start, a.spc) > std::tie(b.count, b.start, b.spc);
  });
  while (votes.size() >= 2 && votes.back().count < 6) votes.pop_back();
  if (votes.size() == 1 && votes.back().count < 4) votes.pop_back();
}

bool SelectFatDirRunsForStart(const std::vector<FatDirRun>& runs, uint64_t start, uint64_t spc,
                              std::vector<FatDirRun>& group) {
  for (const FatDirRun& r : runs) {
    if (!IsDotRun(r) || r.lba <= start) continue;
    const uint32_t own = r.info->ownCluster;
    if (own >= 2 && r.lba - start == spc * (own - 2)) group.push_back(r);
  }
  return group.size() > 2;
}

void CollectFatTableCandidates(DiskReader& reader, const std::vector<SectorHit>& hits,
                               std::vector<FatTableCandidate>& candidates, uint64_t budget) {
  uint64_t held = 0;
  for (const SectorHit& h : hits) {
    const uint64_t size = h.size, lba = h.lba;
    if (h.kind != kKindFatTable || h.endStatus != kHitEndFound || size == 0 || size > kMaxTableBytes) continue;
    if (TestKnownFatLba(lba, false)) continue;
    const uint32_t sectors = uint32_t(size / 512);
    if (sectors == 0) continue;
    // Past the budget the remaining tables are not held: their volumes are rebuilt without one.
    if (held + uint64_t(sectors) * 512 > budget) break;
    auto* bytes = static_cast<uint8_t*>(AllocMem(uint64_t(sectors) * 512, 835));
    if (!reader.ReadSectors(bytes, lba, sectors)) {
      FreeMem(bytes);
      continue;
    }
    held += uint64_t(sectors) * 512;
    candidates.push_back(FatTableCandidate{lba, sectors, bytes});
  }
}

void FreeFatTableCandidates(std::vector<FatTableCandidate>& candidates) {
  for (FatTableCandidate& c : candidates)
    if (c.bytes) FreeMem(c.bytes);
  candidates.clear();
}

bool MatchFatDirCluster(DiskReader& reader, const std::vector<FatDirRun>& group, const uint8_t* bytes,
                        uint32_t length, uint32_t spc, const FatTableCandidate& table, uint32_t& counter,
                        uint32_t depth) {
  const uint64_t entries = uint64_t(table.sectors) * 128;
  const uint32_t count = length / kFatEntryBytes;
  // Pass 1: the directory's entries against the chains.
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = bytes + uint64_t(i) * kFatEntryBytes;
    if ((i * kFatEntryBytes) % 512 == 0 && (uint64_t(i) * kFatEntryBytes + 512 > length || !SectorLooksLikeEntries(e)))
      break;
    if (e[0] == 0) break;
    const uint32_t c = MatchedCluster(e, i, entries);
    if (c == 0) continue;
    const bool dir = (e[11] & kFatAttrDirectory) != 0;
    const uint32_t size = FatEntrySize(e);
    if (!dir && size == 0) continue;
    // The first cluster continues no other chain and is in use.
    if (TableEntry(table, c - 1) == c || TableEntry(table, c) == 0) return false;
    if (!dir) {
      const bool oneCluster = uint64_t(size) <= uint64_t(spc) * 512;
      if ((TableEntry(table, c) == kChainEnd) != oneCluster) return false;
    }
    if (++counter >= kMatchesWanted) return true;
  }
  // Pass 2: down into the subdirectories that are runs of the group.
  const uint64_t root = group.front().lba;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = bytes + uint64_t(i) * kFatEntryBytes;
    if ((i * kFatEntryBytes) % 512 == 0 && (uint64_t(i) * kFatEntryBytes + 512 > length || !SectorLooksLikeEntries(e)))
      return false;
    if (e[0] == 0) return false;
    const uint32_t c = MatchedCluster(e, i, entries);
    if (c == 0 || !(e[11] & kFatAttrDirectory)) continue;
    if (!MatchFatDirChain(reader, group, root + uint64_t(c - 2) * spc, spc, table, counter, depth)) return false;
    if (counter >= kMatchesWanted) return true;
  }
  return false;
}

bool MatchFatTable(DiskReader& reader, const std::vector<FatDirRun>& group, uint32_t spc,
                   const std::vector<FatTableCandidate>& candidates, int32_t& index) {
  if (group.empty() || spc == 0) return false;
  index = 0;
  const uint64_t root = group.front().lba;
  for (size_t b = 0; b < candidates.size(); ++b) {
    index = int32_t(b);
    const FatTableCandidate& t = candidates[b];
    if (t.lba >= root || root - t.lba >= kTableWindow || t.bytes == nullptr) continue;
    uint32_t counter = 0;
    if (!MatchFatDirChain(reader, group, root, spc, t, counter, 0)) return false;
    if (counter >= kMatchesWanted) {
      WriteLogFmt(u"MatchFatTable MatchNum: %u  FatTableLba: %llu  FatTableSize: %u", counter,
                  (unsigned long long)t.lba, t.sectors * 512u);
      return true;
    }
  }
  return false;
}

bool BuildFat32VolumeFromHits(DiskReader& reader, std::vector<FatDirRun>& group,
                              const std::vector<FatTableCandidate>& candidates, int32_t index, uint64_t start,
                              uint32_t spc, VolumeContext& vol) {
  if (group.empty() || spc == 0) return false;
  ResetForRebuild(vol, start, spc);
  if (index >= 0 && size_t(index) < candidates.size() && candidates[size_t(index)].bytes &&
      candidates[size_t(index)].sectors > 0) {
    const FatTableCandidate& t = candidates[size_t(index)];
    vol.fatBufferSize = t.sectors * 512;
    vol.fatBuffer = static_cast<uint8_t*>(CopyToMem(AllocMem(vol.fatBufferSize, 571), t.bytes, vol.fatBufferSize, 572));
    vol.sectorCount = uint64_t(vol.fatBufferSize / 4) * spc;
  } else {
    // Without a table any cluster number a FAT32 entry can hold may be in use.
    vol.sectorCount = uint64_t(spc) * kLastDataCluster;
  }
  PutLe32(vol.bootSector + 0x20, uint32_t(vol.sectorCount));
  vol.devicePath = reader.devicePath;
  CreateRootAndLostFolders(vol);
  FatClusterHitMap map;
  BuildFatClusterHitMap(map, vol);
  std::atomic<uint32_t> unstoppable{0};
  std::vector<uint64_t> visited;
  WalkFatDirectory(&unstoppable, reader, map, vol, 0, kRootId, 0, visited);
  std::vector<FatDirRun> rest, kept;
  for (const FatDirRun& r : group) (TestKnownFatLba(r.lba, false) ? kept : rest).push_back(r);
  if (!rest.empty()) {
    group.swap(kept);
    std::vector<LostDirEntry> lost;
    AddFatDirRunsToVolume(reader, vol, rest, lost);
    MergeLostDirectories(vol, lost);
  }
  RelocateFat32StartClusters(map, &unstoppable, reader, vol, kRootId, vol.idLimit, true);
  ComputeFatVolumeTimeBounds(vol);
  LinkFileTree(vol, 1);
  FreeFatClusterHitMap(map);
  return true;
}

bool NextFatVoteGroup(std::vector<FatDirRun>& pending, const std::vector<FatDataStartVote>& votes,
                      std::vector<FatDirRun>& group, uint64_t& start, uint32_t& spc) {
  for (const FatDataStartVote& v : votes) {
    group.clear();
    start = v.start;
    spc = uint32_t(v.spc);
    if (SelectFatDirRunsForStart(pending, start, spc, group)) {
      RemoveFatDirRuns(pending, group);
      return true;
    }
  }
  group.clear();
  return false;
}

void RebuildFatFromDirEntryHits(DiskReader& reader, const std::vector<SectorHit>& hits,
                                std::vector<VolumeContext>& volumes) {
  std::vector<FatDirRun> runs;
  CollectFatDirHitRuns(hits, runs);
  if (runs.empty()) return;
  CompleteKnownFatVolumes(reader, runs, volumes);
  std::vector<FatDataStartVote> votes;
  EstimateFatDataStarts(runs, votes);
  std::vector<FatTableCandidate> candidates;
  CollectFatTableCandidates(reader, hits, candidates);
  RebuildFat32ByTable(reader, runs, votes, candidates, volumes);
  RebuildFat32WithoutTable(reader, runs, votes, candidates, volumes);
  CompleteRebuiltFat32Volumes(reader, volumes, runs);
  FreeFatTableCandidates(candidates);
}
