#include "parsefilesystem/exfat/exfatrebuild.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>
#include <unordered_set>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/exfat/exfatvotes.h"
#include "scanbase/knowndirlbas.h"

namespace {

constexpr uint8_t kKindExfatDirRun = 231;
constexpr unsigned kTagDirRead = 587;
constexpr uint32_t kMaxShift = 16;

bool Stopped(const std::atomic<uint32_t>* state) { return state != nullptr && state->load() == 2; }

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutLe64(uint8_t* p, uint64_t v) {
  PutLe32(p, uint32_t(v));
  PutLe32(p + 4, uint32_t(v >> 32));
}

// Of the two copies the deleted/existing split leaves of one volume, the existing-files copy
// is passed over when the deleted-files copy follows it.
bool IsPassedSplitCopy(const std::vector<VolumeContext>& volumes, size_t i) {
  if (i + 1 >= volumes.size()) return false;
  const VolumeContext& v = volumes[i];
  const VolumeContext& n = volumes[i + 1];
  return v.splitKind == kSplitExisting && n.splitKind == kSplitDeleted && v.firstLba == n.firstLba &&
         v.sectorCount == n.sectorCount && v.devicePath == n.devicePath;
}

// A parsed volume's geometry as the selections use it: the heap start, the end and the highest
// cluster a run of this volume may name.
struct VolumeFit {
  uint64_t heapStart = 0, end = 0, spc = 0;
  uint64_t lastCluster = 0;
};

bool FitOf(const VolumeContext& vol, VolumeFit& fit) {
  ExfatGeometry geo;
  if (!ReadExfatGeometry(vol.bootSector, vol.firstLba, geo)) return false;
  fit.heapStart = vol.firstLba + geo.heapOffset;
  fit.end = vol.sectorCount > UINT64_MAX - vol.firstLba ? UINT64_MAX : vol.firstLba + vol.sectorCount;
  fit.spc = uint64_t(1) << geo.shift;
  fit.lastCluster = uint64_t(geo.clusterCount) + 1;
  return true;
}

// The lost directory of a run, made only when the run is still to be read (a run a walk has
// read already would leave an empty folder).
uint32_t LostDirFor(VolumeContext& vol, uint64_t lba, uint64_t heapStart, uint64_t spc) {
  if (IsKnownExfatDirLba(lba) || lba < heapStart || spc == 0) return 0;
  return CreateLostDirectory(vol, kRootId, (lba - heapStart) / spc + 2, lba);
}

// Reads the runs into the volume under the given parents (0: a lost directory of its own) and
// finishes the tree.
void ParseRunsInto(std::atomic<uint32_t>* state, DiskReader& reader, VolumeContext& vol,
                   const std::vector<ExfatDirHitInfo>& hits, uint64_t heapStart, uint64_t spc, bool rootLikeToRoot) {
  std::vector<LostDirEntry> pairs;
  for (const ExfatDirHitInfo& h : hits) {
    if (Stopped(state)) break;
    const uint64_t lba = h.lba;
    const uint32_t sectors = h.sectors;
    if (sectors == 0 || IsKnownExfatDirLba(lba)) continue;
    const uint32_t parent = rootLikeToRoot && h.kind == 1 ? kRootId : LostDirFor(vol, lba, heapStart, spc);
    if (parent == 0) continue;
    ParseExfatDirHit(vol, state, reader, lba, sectors, parent);
    pairs.push_back(LostDirEntry{lba, parent});
  }
  MergeLostDirectories(vol, pairs);
  MatchRecycleDirectories(vol);
  LinkFileTree(vol, 1);
}

uint32_t ShiftOf(uint32_t spc) {
  uint32_t shift = 0;
  while (shift < kMaxShift && (2u << shift) <= spc) ++shift;
  return shift;
}

}  // namespace

bool CollectExfatDirHits(const std::vector<SectorHit>& hits, std::vector<ExfatDirHitInfo>& out) {
  out.clear();
  for (const SectorHit& h : hits) {
    if (h.kind != kKindExfatDirRun) continue;
    void* detail = h.detail;
    const uint64_t lba = h.lba;
    // The summary is a guarded-heap block the hit owns; one that is missing or too small for a
    // summary is not read.
    if (detail == nullptr || GetMemSize(detail) < sizeof(ExfatDirHitInfo) || IsKnownExfatDirLba(lba)) continue;
    ExfatDirHitInfo info;
    std::memcpy(&info, detail, sizeof info);
    info.lba = lba;
    info.entryCount = ExfatHitEntriesUsed(info);
    if (info.sectors > kExfatMaxDirSectors) info.sectors = kExfatMaxDirSectors;
    out.push_back(info);
  }
  return !out.empty();
}

void RemoveSelectedDirHits(std::vector<ExfatDirHitInfo>& hits, const std::vector<ExfatDirHitInfo>& selected) {
  std::unordered_set<uint64_t> lbas;
  for (const ExfatDirHitInfo& s : selected) lbas.insert(uint64_t(s.lba));
  std::erase_if(hits, [&](const ExfatDirHitInfo& h) { return lbas.count(uint64_t(h.lba)) != 0; });
}

bool SelectDirHitsOfVolume(std::vector<ExfatDirHitInfo>& hits, const VolumeContext& vol, bool upperTimeBound,
                           std::vector<ExfatDirHitInfo>& out) {
  out.clear();
  VolumeFit fit;
  if (!FitOf(vol, fit)) return false;
  for (const ExfatDirHitInfo& h : hits) {
    const uint64_t lba = h.lba;
    if (lba < fit.heapStart || lba >= fit.end || (lba - fit.heapStart) % fit.spc != 0) continue;
    if (h.highestCluster > fit.lastCluster) continue;
    if (h.earliestTime < vol.earliestTime) continue;
    if (upperTimeBound && h.earliestTime > vol.latestTime) continue;
    out.push_back(h);
  }
  RemoveSelectedDirHits(hits, out);
  return !out.empty();
}

bool ParseExfatDirHit(VolumeContext& vol, std::atomic<uint32_t>* state, DiskReader& reader, uint64_t lba,
                      uint32_t sectors, uint32_t parentId) {
  if (Stopped(state) || sectors == 0 || IsKnownExfatDirLba(lba)) return false;
  if (sectors > kExfatMaxDirSectors) sectors = kExfatMaxDirSectors;
  AddKnownExfatDirLba(lba);
  const uint64_t bytes = uint64_t(sectors) * 512;
  uint8_t* buf = static_cast<uint8_t*>(AllocMem(bytes, kTagDirRead));
  reader.ReadSectors(buf, lba, sectors);
  if (!Stopped(state)) ParseExfatEntrySets(state, reader, vol, buf, uint32_t(bytes), parentId, 1);
  FreeMem(buf);
  return !Stopped(state);
}

void AddLostDirsToExfatVolumes(std::atomic<uint32_t>* state, DiskReader& reader, std::vector<ExfatDirHitInfo>& hits,
                               std::vector<VolumeContext>& volumes) {
  for (size_t i = 0; i < volumes.size() && !hits.empty(); ++i) {
    VolumeContext& vol = volumes[i];
    if (vol.type != kVolTypeExfat || IsPassedSplitCopy(volumes, i)) continue;
    std::vector<ExfatDirHitInfo> chosen;
    if (!SelectDirHitsOfVolume(hits, vol, vol.devicePath.IsEmpty(), chosen)) continue;
    VolumeFit fit;
    FitOf(vol, fit);
    ParseRunsInto(state, reader, vol, chosen, fit.heapStart, fit.spc, false);
  }
}

void BuildExfatVolumeFromVote(std::atomic<uint32_t>* state, DiskReader& reader, const std::vector<ExfatDirHitInfo>& hits,
                              uint64_t heapStart, uint32_t spc, std::vector<VolumeContext>& volumes) {
  VolumeContext vol;
  ResetVolumeContext(vol);
  vol.type = kVolTypeExfatRebuilt;
  vol.sectorCount = kUnknownSectorCount;
  vol.devicePath = reader.devicePath;  // its files are read from the scanned device
  const uint32_t shift = ShiftOf(spc);
  // Cluster LBAs are absolute: the heap offset is the heap's LBA, from a first LBA of 0 while
  // that fits the 32-bit field, else from one sector before the heap.
  const uint64_t base = heapStart <= 0xFFFFFFFFull ? 0 : heapStart - 1;
  const uint32_t heapOffset = uint32_t(heapStart - base);
  vol.firstLba = base;
  // The walk needs a length and a cluster count: the rest of the device from the heap on.
  const uint64_t deviceSectors = reader.lastLba >= 0 ? uint64_t(reader.lastLba) + 1 : 0;
  const uint64_t length = deviceSectors > heapStart ? deviceSectors - base : uint64_t(heapOffset) + (1ull << shift);
  const uint64_t clusters = std::min<uint64_t>((length - heapOffset) >> shift, 0xFFFFFFF5ull);
  PutLe64(vol.bootSector + 0x48, length);
  PutLe32(vol.bootSector + 0x58, heapOffset);
  PutLe32(vol.bootSector + 0x5C, uint32_t(clusters));
  vol.bootSector[0x6D] = uint8_t(shift);
  CreateRootAndLostFolders(vol);
  ParseRunsInto(state, reader, vol, hits, heapStart, uint64_t(1) << shift, true);
  volumes.push_back(vol);
}

void RebuildExfatFromVotes(std::atomic<uint32_t>* state, DiskReader& reader, std::vector<ExfatDirHitInfo>& hits,
                           std::vector<VolumeContext>& volumes) {
  uint32_t size = 0, strength = 0;
  if (!FindDominantDirSize(hits, 0, size, strength)) return;
  std::vector<DirSizeGroup> groups{DirSizeGroup{0, 0, size / 512, 0}};
  SplitDirHitsBySize(hits, 0, size, groups);
  std::vector<ExfatGeometryItem> starts;
  CollectCarvedStartsOfScan(starts);
  std::vector<ExfatGeometryRange> ranges;
  if (!RebuildExfatGroup(hits, groups, starts, ranges)) return;
  AdjustGeometryRanges(hits, ranges);
  // Each range is parsed from the same known directories, so a run two ranges share is read
  // into both volumes; afterwards all the ranges' runs are known and leave the list.
  const std::vector<uint64_t> known = KnownExfatDirLbas();
  std::vector<ExfatDirHitInfo> used;
  for (const ExfatGeometryRange& r : ranges) {
    if (Stopped(state)) break;
    std::vector<ExfatDirHitInfo> taken;
    for (uint64_t k = r.first; k <= r.last && k < hits.size(); ++k) taken.push_back(hits[k]);
    KnownExfatDirLbas() = known;
    BuildExfatVolumeFromVote(state, reader, taken, r.heapStart, r.spc, volumes);
    used.insert(used.end(), taken.begin(), taken.end());
  }
  for (const ExfatDirHitInfo& h : used)
    if (!IsKnownExfatDirLba(h.lba)) AddKnownExfatDirLba(h.lba);
  RemoveSelectedDirHits(hits, used);
}

bool SelectDirHitsForGeometry(std::vector<ExfatDirHitInfo>& hits, const VolumeContext& vol,
                              std::vector<ExfatDirHitInfo>& out) {
  out.clear();
  VolumeFit fit;
  if (!FitOf(vol, fit)) return false;
  for (const ExfatDirHitInfo& h : hits) {
    const uint64_t lba = h.lba;
    if (lba < fit.heapStart || lba >= fit.end || h.highestCluster > fit.lastCluster || IsKnownExfatDirLba(lba))
      continue;
    out.push_back(h);
  }
  RemoveSelectedDirHits(hits, out);
  return !out.empty();
}

void RebuildExfatFromKnownGeometry(std::atomic<uint32_t>* state, DiskReader& reader,
                                   std::vector<ExfatDirHitInfo>& hits, std::vector<VolumeContext>& volumes) {
  std::set<std::tuple<uint64_t, uint32_t, uint8_t>> seen;
  const size_t parsed = volumes.size();
  for (size_t i = 0; i < parsed && !hits.empty() && !Stopped(state); ++i) {
    if (volumes[i].type != kVolTypeExfat || IsPassedSplitCopy(volumes, i)) continue;
    const VolumeContext& src = volumes[i];
    const uint8_t* b = src.bootSector;
    const uint32_t heapOffset = uint32_t(b[0x58] | b[0x59] << 8 | b[0x5A] << 16 | uint32_t(b[0x5B]) << 24);
    if (!seen.insert({src.firstLba, heapOffset, b[0x6D]}).second) continue;
    std::vector<ExfatDirHitInfo> chosen;
    if (!SelectDirHitsForGeometry(hits, src, chosen)) continue;
    VolumeFit fit;
    FitOf(src, fit);
    VolumeContext vol;
    ResetVolumeContext(vol);
    vol.type = kVolTypeExfatRebuilt;
    vol.firstLba = src.firstLba;
    vol.sectorCount = src.sectorCount;
    std::memcpy(vol.bootSector, src.bootSector, sizeof vol.bootSector);
    vol.devicePath = src.devicePath;
    CreateRootAndLostFolders(vol);
    ParseRunsInto(state, reader, vol, chosen, fit.heapStart, fit.spc, false);
    volumes.push_back(vol);
  }
}

bool RebuildExfatFromDirHits(std::atomic<uint32_t>* state, ScanProgress& progress, DiskReader& reader,
                             const std::vector<SectorHit>& hits, std::vector<VolumeContext>& volumes) {
  (void)progress;
  if (GetSoftCfg(u"ParseFileSys") != CString(u"1")) return false;
  PostProgressText(GetLangStr(u"PrepairRecoverFile"), GetLangStr(u"GetExfatPartInfo"), CString());
  std::vector<ExfatDirHitInfo> runs;
  if (!CollectExfatDirHits(hits, runs)) return false;
  AddLostDirsToExfatVolumes(state, reader, runs, volumes);
  if (!runs.empty() && !Stopped(state)) RebuildExfatFromVotes(state, reader, runs, volumes);
  if (!runs.empty() && !Stopped(state)) RebuildExfatFromKnownGeometry(state, reader, runs, volumes);
  return true;
}
