#include "parsefilesystem/parsentfs/ntfsrebuild.h"

#include <algorithm>
#include <atomic>

#include "app/settings.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/foundmftrecord.h"
#include "parsefilesystem/parsentfs/mftrun.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanhitstore.h"

namespace {

constexpr uint32_t kMaxListedVolumes = 50;
constexpr size_t kMinEndStageMftHits = 10;
constexpr size_t kEndRunHitsPerVolume = 50;
constexpr size_t kEndRunMinHits = 128;
constexpr size_t kEndRunMaxHits = 1024;
constexpr uint32_t kOrdinaryEntry = 3;

std::atomic<RebuiltVolumeSink> g_sink{nullptr};
std::atomic<VolumeSlotCounter> g_slots{nullptr};

void CountRecord(ScanProgress& progress, const FileRecord& rec) {
  ProgressParseCounts& c = progress.parse;
  const bool dir = rec.flags & kRecDirectory;
  if (rec.flags & kRecInUse)
    ++(dir ? c.dirsInUse : c.filesInUse);
  else
    ++(dir ? c.deletedDirs : c.deletedFiles);
  PostScanProgress(progress);
}

void StoreRecord(VolumeContext& vol, FileRecord& rec) {
  if ((rec.id == 0 && vol.idLimit >= kRecordIdEnd) || rec.id >= kRecordIdEnd || AddFileRecord(vol, rec, 0) == 0)
    FreeFileRecord(rec);
}

VolumeContext MakeRebuiltVolume(const CString& devicePath, uint64_t start, uint32_t sectorsPerCluster) {
  VolumeContext v;
  ResetVolumeContext(v);
  v.firstLba = start;
  v.sectorCount = kUnknownSectorCount;
  v.type = kVolTypeNtfs;
  v.entryClass = kOrdinaryEntry;
  v.devicePath = devicePath;
  v.bootSector[0x0D] = uint8_t(sectorsPerCluster);
  return v;
}

// The run's records keyed by their numbers; a later hit of a number replaces the earlier one.
// Numbers 0, 3 and 4 are ids the tree gives its own folders: those records ($MFT, $Volume,
// $AttrDef) take free ids after the others, so that no file's id is taken from it.
void StoreRunRecords(ScanProgress& progress, VolumeContext& vol, const std::vector<SectorHit>& run) {
  std::vector<FileRecord> held;
  for (const SectorHit& h : run) {
    FileRecord rec;
    if (!FileRecordFromMftHit(vol, rec, h)) continue;
    CountRecord(progress, rec);
    if (rec.id == 0 || rec.id == 3 || rec.id == kLostFolderId) {
      rec.id = 0;
      held.push_back(rec);
      continue;
    }
    StoreRecord(vol, rec);
  }
  for (FileRecord& rec : held) StoreRecord(vol, rec);
}

}  // namespace

void BuildNtfsVolumeFromMftRun(ScanProgress& progress, const CString& devicePath, std::vector<VolumeContext>& out,
                               const std::vector<SectorHit>& run, uint64_t start, uint32_t sectorsPerCluster,
                               bool withIndexFiles) {
  if (run.empty() || sectorsPerCluster == 0 || sectorsPerCluster > kMaxEstimatedClusterSectors) return;
  VolumeContext vol = MakeRebuiltVolume(devicePath, start, sectorsPerCluster);
  StoreRunRecords(progress, vol, run);
  CreateRootAndLostFolders(vol);
  if (withIndexFiles) {
    ComputeNtfsVolumeTimeBounds(vol);
    AddIndxOnlyFiles(vol);
  }
  LinkFileTree(vol, 1);
  CompactFileRecords(vol);
  out.push_back(vol);
}

void BuildNtfsVolumeFromMftHits(ScanProgress& progress, const CString& devicePath, std::vector<VolumeContext>& out,
                                const std::vector<SectorHit>& run) {
  if (run.empty()) return;
  const MftHitInfo* first = MftHitSummary(run.front());
  if (first == nullptr) return;
  const uint64_t lba = run.front().lba;
  // The MFT was where a formatter puts it: record 0 at sector 0x600000 of the volume.
  const uint64_t below = 2 * uint64_t(first->recordNumber) + kDefaultMftOffset;
  if (lba < below) return;
  VolumeContext probe = MakeRebuiltVolume(devicePath, lba - below, kDefaultRebuildClusterSectors);
  DiskReader reader;
  if (!OpenVolumeDevice(probe, reader)) return;
  BuildNtfsVolumeFromMftRun(progress, devicePath, out, run, lba - below, kDefaultRebuildClusterSectors, false);
  reader.Close();
}

bool BuildNtfsVolumesFromMftHits(const CString& devicePath, std::vector<VolumeContext>& out,
                                 const std::vector<SectorHit>& hits, uint32_t maxVolumes) {
  out.clear();
  ScanProgress progress = MakeScanProgress(kProgressParse);
  std::vector<SectorHit> run;
  for (size_t pos = 0; pos < hits.size();) {
    if (!FindMftRecordRun(hits, run, pos)) continue;
    if (run.size() < kScanTimeRunHits) continue;
    BuildNtfsVolumeFromMftHits(progress, devicePath, out, run);
    if (out.size() > maxVolumes) break;
  }
  return !out.empty();
}

uint32_t ScanTimeRebuildRoom(uint32_t slots, size_t hits) {
  if ((slots > 10 && hits < 1024) || (slots > 20 && hits < 10240) || slots >= kMaxListedVolumes) return 0;
  return kMaxListedVolumes - slots;
}

void SetRebuiltVolumeSink(RebuiltVolumeSink sink) { g_sink.store(sink); }
void SetVolumeSlotCounter(VolumeSlotCounter counter) { g_slots.store(counter); }

void AddNtfsVolumesFromMftHits(std::atomic<uint32_t>* state, const std::vector<SectorHit>& hits) {
  const VolumeSlotCounter slots = g_slots.load();
  const uint32_t room = ScanTimeRebuildRoom(slots ? slots() : 0, hits.size());
  if (room == 0) return;
  const VolumeContext target = CopyScanTarget();
  std::vector<VolumeContext> built;
  if (!BuildNtfsVolumesFromMftHits(target.devicePath, built, hits, room)) return;
  const RebuiltVolumeSink sink = g_sink.load();
  for (VolumeContext& v : built) {
    v.diskNumber = target.diskNumber;
    v.deviceSectors = target.deviceSectors;
    v.foundBy = kFoundByRebuild;
    if (sink) sink(state, v);
    else FreeAllFileRecords(v);
  }
}

size_t EndRebuildRunThreshold(size_t volumes) {
  return std::clamp(kEndRunHitsPerVolume * volumes, kEndRunMinHits, kEndRunMaxHits);
}

void RebuildNtfsFromFragments(DiskReader& reader, const CString& devicePath, std::vector<VolumeContext>& volumes,
                              const std::vector<SectorHit>& hits) {
  if (GetSoftCfg(u"ParseFileSys") != CString(u"1")) return;
  PostProgressText(GetLangStr(u"PrepairRecoverFile"), GetLangStr(u"FindFileByFragFileSys"), CString());
  ScanProgress progress = MakeScanProgress(kProgressParse);
  std::vector<SectorHit> indx, mft;
  for (const SectorHit& h : hits) {
    if (h.kind == kKindIndexRecord) indx.push_back(h);
    else if (h.kind == kKindMftRecord) mft.push_back(h);
  }
  if (mft.size() < kMinEndStageMftHits) return;
  const VolumeContext target = CopyScanTarget();
  std::vector<SectorHit> run;
  for (size_t pos = 0; pos < mft.size();) {
    if (!FindMftRecordRun(mft, run, pos)) continue;
    if (run.size() < EndRebuildRunThreshold(volumes.size())) continue;
    uint64_t start = 0;
    uint32_t spc = 0;
    if (!EstimateNtfsVolumeStart(reader, start, spc, indx, run)) {
      const MftHitInfo* first = MftHitSummary(run.front());
      if (first == nullptr) continue;
      const uint64_t below = 2 * uint64_t(first->recordNumber) + kDefaultMftOffset;
      if (run.front().lba < below) continue;
      start = run.front().lba - below;
      spc = kDefaultRebuildClusterSectors;
    }
    const size_t before = volumes.size();
    BuildNtfsVolumeFromMftRun(progress, devicePath, volumes, run, start, spc);
    for (size_t i = before; i < volumes.size(); ++i) {
      volumes[i].diskNumber = target.diskNumber;
      volumes[i].deviceSectors = target.deviceSectors;
    }
  }
}

void RebuildNtfsFromLoadedHits(std::atomic<uint32_t>* state) {
  std::vector<SectorHit> all;
  CollectAllHits(all, true);
  const std::vector<MftExtentRange>& extents = KnownMftExtents();
  std::vector<SectorHit> kept;
  size_t last = SIZE_MAX;  // the extent that held the previous hit is tried first
  for (const SectorHit& h : all) {
    if (h.kind != kKindMftRecord) continue;
    const uint64_t lba = h.lba;
    auto inside = [&](size_t i) { return lba >= extents[i].startLba && lba - extents[i].startLba < extents[i].sectors; };
    bool known = last != SIZE_MAX && inside(last);
    for (size_t i = 0; i < extents.size() && !known; ++i)
      if (inside(i)) {
        known = true;
        last = i;
      }
    if (!known) kept.push_back(h);
  }
  if (!kept.empty()) AddNtfsVolumesFromMftHits(state, kept);
}
