#include "parsefilesystem/parsefat/fatlostdirs.h"

#include <atomic>
#include <unordered_map>
#include <unordered_set>

#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsefat/fatrelocate.h"
#include "parsefilesystem/parsefat/fatvolume.h"

namespace {

constexpr uint32_t kLastFat32Cluster = 0x0FFFFFFF;

// The cluster a run stands at; 0 when it lies before the data area or beyond every cluster
// number.
uint32_t RunCluster(const FatGeometry& g, uint64_t lba) {
  if (g.sectorsPerCluster == 0 || lba < g.dataStart) return 0;
  const uint64_t c = (lba - g.dataStart) / g.sectorsPerCluster + 2;
  return c <= kLastFat32Cluster ? uint32_t(c) : 0;
}

// The lost directory of one run and the walk of its directory.
void AddOneRun(DiskReader& reader, FatClusterHitMap& map, VolumeContext& vol, const FatGeometry& g,
               const FatDirRun& run, std::vector<LostDirEntry>& lost, std::vector<uint64_t>& visited) {
  // A run a walk has read already would leave an empty folder.
  if (TestKnownFatLba(run.lba, false)) return;
  const uint32_t c = RunCluster(g, run.lba);
  if (c == 0) return;
  const uint32_t id = CreateLostDirectory(vol, kRootId, c, run.lba);
  if (id == 0) return;
  lost.push_back(LostDirEntry{run.lba, id});
  std::atomic<uint32_t> unstoppable{0};
  WalkFatDirectory(&unstoppable, reader, map, vol, c, id, 1, visited);
}

bool IsPassedSplitCopy(const std::vector<VolumeContext>& volumes, size_t i, bool byFirstLba) {
  if (i + 1 >= volumes.size()) return false;
  const VolumeContext& v = volumes[i];
  const VolumeContext& n = volumes[i + 1];
  if (v.splitKind != kSplitExisting || n.splitKind != kSplitDeleted) return false;
  return byFirstLba ? v.firstLba == n.firstLba : v.volumePath == n.volumePath;
}

}  // namespace

bool FindFatDirHitsInVolume(const std::vector<FatDirRun>& runs, const VolumeContext& vol, bool logicalDrive,
                            std::vector<FatDirRun>& out) {
  const FatGeometry g = ReadFatGeometry(vol);
  const uint64_t s = g.sectorsPerCluster;
  if (s == 0) return false;
  const uint64_t end = vol.firstLba + vol.sectorCount;
  const size_t before = out.size();
  for (const FatDirRun& r : runs) {
    const FatDirHitInfo* info = ReadableFatDirSummary(r.info, 96);
    if (info == nullptr || info->sectorKind == 1) continue;
    if (r.lba < g.dataStart || r.lba >= end || (r.lba - g.dataStart) % s != 0) continue;
    if (info->highestCluster > g.clusterCount) continue;
    const uint32_t time = info->lastCtime;
    if (time < vol.earliestTime || (!logicalDrive && time > vol.latestTime)) continue;
    if (info->sectorKind == 2) {
      const uint32_t own = info->ownCluster;
      if (own < 2 || r.lba - g.dataStart != s * (own - 2)) continue;
    }
    out.push_back(r);
  }
  return out.size() > before;
}

void LinkFatDirRuns(const std::vector<FatDirRun>& runs, std::vector<FatDirRunLink>& links) {
  links.clear();
  // The runs of each own cluster, the last two (a run is never its own parent).
  std::unordered_map<uint32_t, std::pair<int64_t, int64_t>> byOwn;
  for (size_t i = 0; i < runs.size(); ++i) {
    FatDirRunLink l{runs[i].lba, 0, 0, 0, 0};
    const FatDirHitInfo* info = runs[i].info;
    if (info != nullptr && info->sectorKind == 2) {
      l.parentCluster = info->parentCluster;
      l.ownCluster = info->ownCluster;
      auto [it, fresh] = byOwn.try_emplace(l.ownCluster, int64_t(i), -1);
      if (!fresh) it->second = {int64_t(i), it->second.first};
    }
    links.push_back(l);
  }
  for (size_t i = 0; i < links.size(); ++i) {
    FatDirRunLink& l = links[i];
    if (l.parentCluster == 0) continue;
    auto it = byOwn.find(l.parentCluster);
    if (it == byOwn.end()) continue;
    const int64_t j = it->second.first != int64_t(i) ? it->second.first : it->second.second;
    if (j < 0) continue;
    l.linked = 1;
    l.parentIndex = uint32_t(j);
  }
}

void AddFatDirRunsToVolume(DiskReader& reader, VolumeContext& vol, std::vector<FatDirRun>& runs,
                           std::vector<LostDirEntry>& lost) {
  std::vector<FatDirRunLink> links;
  LinkFatDirRuns(runs, links);
  const FatGeometry g = ReadFatGeometry(vol);
  if (g.sectorsPerCluster == 0) return;
  FatClusterHitMap map;
  BuildFatClusterHitMap(map, vol);
  const uint32_t firstNew = vol.idLimit;
  std::vector<uint64_t> visited;
  // A run whose parent is another run is reached by the parent's walk.
  for (size_t i = 0; i < runs.size(); ++i)
    if (!links[i].linked) AddOneRun(reader, map, vol, g, runs[i], lost, visited);
  const std::unordered_set<uint64_t> reached(visited.begin(), visited.end());
  std::erase_if(runs, [&](const FatDirRun& r) { return reached.count(r.lba) != 0; });
  if (runs.size() > visited.size())
    for (const FatDirRun& r : runs) AddOneRun(reader, map, vol, g, r, lost, visited);
  std::atomic<uint32_t> unstoppable{0};
  RelocateFat32StartClusters(map, &unstoppable, reader, vol, firstNew, vol.idLimit, true);
  FreeFatClusterHitMap(map);
}

void CompleteKnownFatVolumes(DiskReader& reader, std::vector<FatDirRun>& runs, std::vector<VolumeContext>& volumes) {
  for (size_t i = 0; i < volumes.size() && !runs.empty(); ++i) {
    VolumeContext& vol = volumes[i];
    if (vol.type != kVolTypeFat32 || IsPassedSplitCopy(volumes, i, false)) continue;
    std::vector<FatDirRun> chosen;
    if (!FindFatDirHitsInVolume(runs, vol, !vol.volumePath.IsEmpty(), chosen)) continue;
    RemoveFatDirRuns(runs, chosen);
    std::vector<LostDirEntry> lost;
    AddFatDirRunsToVolume(reader, vol, chosen, lost);
    MergeLostDirectories(vol, lost);
  }
}

void CompleteRebuiltFat32Volumes(DiskReader& reader, std::vector<VolumeContext>& volumes, std::vector<FatDirRun>& runs) {
  for (size_t i = 0; i < volumes.size() && !runs.empty(); ++i) {
    VolumeContext& vol = volumes[i];
    if ((vol.type != kVolTypeFat32Rebuilt && vol.type != kVolTypeFat32) || IsPassedSplitCopy(volumes, i, true))
      continue;
    const uint64_t first = vol.firstLba, end = vol.highestLba;
    std::vector<FatDirRun> chosen;
    for (const FatDirRun& r : runs)
      if (r.lba >= first && r.lba < end) chosen.push_back(r);
    if (chosen.empty()) continue;
    RemoveFatDirRuns(runs, chosen);
    std::vector<LostDirEntry> lost;
    AddFatDirRunsToVolume(reader, vol, chosen, lost);
    MergeLostDirectories(vol, lost);
  }
}
