#include "deepscan/scanend.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include "app/settings.h"
#include "base/log.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumesplit.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscansettings.h"
#include "deepscan/filestartindex.h"
#include "deepscan/findfileview.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/hitsizing.h"
#include "deepscan/liveresults.h"
#include "scanbase/ntfsscanregistry.h"
#include "deepscan/partitionwalk.h"
#include "scanbase/scanhitstore.h"
#include "parsefilesystem/exfat/exfatrebuild.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsefat/fatrebuild.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/ntfsrebuild.h"

namespace {

constexpr uint8_t kLastFileKind = 176;
constexpr uint8_t kCancelledKind = 234;
constexpr size_t kManyVolumes = 9;
constexpr uint32_t kNamedRecordsKept = 3;
constexpr uint32_t kLostFolderSplitDirs = 300;
constexpr uint64_t kLowTargetStart = 0x400000;

bool Stopped(const std::atomic<uint32_t>* state) { return state != nullptr && state->load() == 2; }

uint64_t SaturatedEnd(uint64_t first, uint64_t count) {
  uint64_t end = 0;
  return __builtin_add_overflow(first, count, &end) ? UINT64_MAX : end;
}

bool FsOptionOn(uint32_t type) {
  const DeepScanSettings& s = DeepScanSettingsRecord();
  switch (type) {
    case kVolTypeNtfs: return ScanOptionOn(s.useNtfs);
    case kVolTypeFat16:
    case kVolTypeFat32: return ScanOptionOn(s.useFat);
    case kVolTypeExfat: return ScanOptionOn(s.useExfat);
    default: return true;
  }
}

// The volumes appended since `from` were rebuilt from hits; a rebuild that a stop cut short
// leaves none of them.
void SettleRebuilt(std::atomic<uint32_t>* state, std::vector<VolumeContext>& result, size_t from) {
  if (Stopped(state)) {
    for (size_t i = from; i < result.size(); ++i) FreeAllFileRecords(result[i]);
    result.resize(std::min(from, result.size()));
    return;
  }
  for (size_t i = from; i < result.size(); ++i)
    if (result[i].foundBy == kFoundByNone) result[i].foundBy = kFoundByRebuild;
}

void RunRebuilds(std::atomic<uint32_t>* state, const VolumeContext& target, ScanProgress& progress,
                 DiskReader& reader, std::vector<SectorHit>& hits, std::vector<VolumeContext>& result) {
  if (Stopped(state)) return;
  size_t from = result.size();
  RebuildNtfsFromFragments(reader, target.devicePath, result, hits);
  SettleRebuilt(state, result, from);
  if (Stopped(state)) return;
  // The FAT rebuild wants the hits by LBA; the collection gives them so, unless a saved scan
  // brought them in another order.
  if (!std::is_sorted(hits.begin(), hits.end(),
                      [](const SectorHit& a, const SectorHit& b) { return uint64_t(a.lba) < uint64_t(b.lba); }))
    std::stable_sort(hits.begin(), hits.end(),
                     [](const SectorHit& a, const SectorHit& b) { return uint64_t(a.lba) < uint64_t(b.lba); });
  from = result.size();
  RebuildFatFromDirEntryHits(reader, hits, result);
  SettleRebuilt(state, result, from);
  if (Stopped(state)) return;
  from = result.size();
  RebuildExfatFromDirHits(state, progress, reader, hits, result);
  SettleRebuilt(state, result, from);
}

// With the remove-duplicate-files option on, a carved file that starts where a file of a parsed
// volume of the same type starts is that file again. The known files are only known once the
// volumes are parsed, after the view was built: it is built anew without them.
void RemoveDuplicateCarvedFiles(std::vector<SectorHit>& hits, std::vector<VolumeContext>& result) {
  if (!ScanOptionOn(DeepScanSettingsRecord().removeDuplicates) || result.empty()) return;
  if (result.front().type != kVolTypeFindFile) return;
  std::vector<KnownFileStart> starts;
  if (!CollectKnownFileStarts(result, starts) || MarkKnownFileHits(hits, starts) == 0) return;
  VolumeContext& view = result.front();
  const CString devicePath = view.devicePath;
  FreeAllFileRecords(view);
  view = MakeFindFileView(devicePath);
  FillFindFileView(view, hits);
}

uint32_t CountNamedRecords(const VolumeContext& v, uint32_t enough) {
  uint32_t n = 0;
  for (uint32_t id = 2; id < v.idLimit && n < enough; ++id) {
    const FileRecord* r = GetFileRecord(v, id);
    if (r != nullptr && r->name[0] != u'$') ++n;
  }
  return n;
}

}  // namespace

void CollectEndStageHits(const VolumeContext& target, std::vector<SectorHit>& out) {
  out.clear();
  const uint32_t op = target.operation;
  const bool freeOnly = op == kOperationDeletedFiles || op == kOperationEmptiedRecycleBin;
  const uint64_t first = target.firstLba;
  // The deleted-files operations take the sector just past the target too.
  const uint64_t end = freeOnly ? SaturatedEnd(SaturatedEnd(first, target.sectorCount), 1)
                                : SaturatedEnd(first, target.sectorCount);
  const ScanAllocMapT& map = ScanAllocMap();
  const uint64_t spc = map.sectorsPerCluster;
  const bool aligned = freeOnly && ScanOptionOn(DeepScanSettingsRecord().clusterAlignedStarts) && spc != 0;
  std::shared_lock<std::shared_mutex> g(BlockHitListsLock());
  size_t total = 0;
  for (const HitList& list : BlockHitLists()) total += list.size();
  out.reserve(total);
  for (const HitList& list : BlockHitLists()) {
    for (const SectorHit& h : list) {
      const uint64_t lba = h.lba;
      if (lba < first || lba >= end) continue;
      if (aligned && h.kind <= kLastFileKind) {
        const uint64_t apart = lba >= map.clusterArea ? lba - map.clusterArea : map.clusterArea - lba;
        if (apart % spc != 0) continue;
      }
      out.push_back(h);
    }
  }
}

void FilterHitsBySettings(std::vector<SectorHit>& hits) {
  const DeepScanSettings& s = DeepScanSettingsRecord();
  const bool ntfs = ScanOptionOn(s.useNtfs), fat = ScanOptionOn(s.useFat), exfat = ScanOptionOn(s.useExfat);
  const std::vector<FileTypeRow>& types = FileTypeTable().types;
  std::vector<bool> enabled(kLastFileKind + 1, true);
  bool allTypes = true;
  for (size_t t = kFirstFileType; t <= kLastFileKind && t < types.size(); ++t) {
    enabled[t] = types[t].enabled != 0;
    allTypes = allTypes && enabled[t];
  }
  if (allTypes && ntfs && fat && exfat) return;
  std::erase_if(hits, [&](const SectorHit& h) {
    const uint8_t k = h.kind;
    if (k >= kKindNtfsBoot && k <= kKindIndexRecord) return !ntfs;
    if (k >= kKindFat16Boot && k <= kKindFatDirEntries) return !fat;
    if (k == kKindExfatBoot || k == kKindExfatDirEntries) return !exfat;
    return k >= kFirstFileType && k <= kLastFileKind && !enabled[k];
  });
}

void OrganizePartKeyInfo(DiskReader& reader, const std::vector<SectorHit>& hits,
                         std::vector<VolumeContext>& partitions) {
  PostProgressText(GetLangStr(u"PrepairRecoverFile"), GetLangStr(u"OrganizePartKeyInfo"), CString());
  std::vector<SectorHit> keys;
  for (const SectorHit& h : hits) {
    const uint8_t k = h.kind;
    if (k >= kKindMbr && k <= kKindGptHeader && k != kKindMftRecord && k != kKindFatDirEntries) keys.push_back(h);
  }
  std::vector<VolumeContext> fromTables, fromBoots;
  FindPartitionsFromMbrHits(reader, keys, fromTables);
  for (VolumeContext& v : fromTables) v.foundBy = kFoundByTableHit;
  // A boot sector of a volume a table hit already gave adds nothing.
  fromBoots = fromTables;
  FindVolumesFromBootHits(reader, keys, fromBoots);
  for (size_t i = fromTables.size(); i < fromBoots.size(); ++i) fromBoots[i].foundBy = kFoundByBootHit;
  for (VolumeContext& v : fromBoots)
    if (!RegisterUniqueLba(v.firstLba)) partitions.push_back(v);
}

void FilterPartitionsByFsOptions(const VolumeContext& target, std::vector<VolumeContext>& partitions) {
  const uint64_t low = target.firstLba <= kLowTargetStart ? 0 : target.firstLba;
  const uint64_t last = target.sectorCount == 0 ? target.firstLba : SaturatedEnd(target.firstLba, target.sectorCount - 1);
  std::erase_if(partitions, [&](const VolumeContext& v) {
    return !FsOptionOn(v.type) || v.firstLba < low || v.firstLba > last;
  });
}

void ForgetHitsInParsedMfts(std::vector<SectorHit>& hits) {
  const std::vector<MftExtentRange>& extents = KnownMftExtents();
  if (extents.empty()) return;
  for (SectorHit& h : hits) {
    if (h.kind != kKindMftRecord) continue;
    const uint64_t lba = h.lba;
    for (const MftExtentRange& e : extents) {
      if (lba < e.startLba || lba - e.startLba >= e.sectors) continue;
      h.kind = kCancelledKind;
      h.detail = nullptr;
      break;
    }
  }
}

void ParseFileSys(DiskReader& reader, std::atomic<uint32_t>* state, const VolumeContext& target,
                  std::vector<SectorHit>& hits, std::vector<VolumeContext>& partitions) {
  std::vector<VolumeContext> found;
  OrganizePartKeyInfo(reader, hits, found);
  for (VolumeContext& v : found) {
    v.devicePath = target.devicePath;
    v.diskNumber = target.diskNumber;
    v.deviceSectors = target.deviceSectors;
  }
  FilterPartitionsByFsOptions(target, found);
  const bool pick = GetBaseCfg(u"NoPickFile") != CString(u"1");
  for (VolumeContext& v : found) {
    if (Stopped(state)) break;
    // A partition that does not parse, or whose parse the stop cut short, shows nothing.
    if (ParseVolumeFileSystem(state, v) <= 0 || Stopped(state)) {
      FreeAllFileRecords(v);
      continue;
    }
    partitions.push_back(v);
    VolumeContext copy;
    if (pick && SplitVolumeCopy(partitions.back(), copy)) partitions.push_back(copy);
  }
  ForgetHitsInParsedMfts(hits);
  DropHitsOfParsedMfts(hits);
}

void DropNearlyEmptyVolumes(std::vector<VolumeContext>& result) {
  if (result.size() < kManyVolumes) return;
  std::vector<VolumeContext> kept;
  for (VolumeContext& v : result) {
    if (CountNamedRecords(v, kNamedRecordsKept) >= kNamedRecordsKept) kept.push_back(v);
    else FreeAllFileRecords(v);
  }
  result.swap(kept);
}

void TidyLostFileFolders(std::vector<VolumeContext>& result) {
  for (VolumeContext& v : result) {
    if (v.idLimit < kLostFolderId + 1) continue;
    const FileRecord* lost = GetFileRecord(v, kLostFolderId);
    if (lost == nullptr) continue;
    uint32_t dirs = 0;
    for (uint32_t child : ChildIdList(lost)) {
      const FileRecord* c = GetFileRecord(v, child);
      if (c != nullptr && (c->flags & kRecDirectory)) ++dirs;
    }
    if (dirs > kLostFolderSplitDirs) SplitLostFolder(v);
  }
}

bool HandFileTagFinded(std::atomic<uint32_t>* state, const VolumeContext& target, ScanProgress& progress,
                       std::vector<SectorHit>& hits, std::vector<VolumeContext>& result) {
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) return false;
  ClearKnownIndxLbas();
  ClearKnownMftExtents();
  ClearKnownFatLbaList();
  ClearKnownExfatDirLbas();
  PostProgressText(GetLangStr(u"PrepairRecoverFile"), GetLangStr(u"HandFileTagFinded"), CString());
  BuildFindFileView(target.devicePath, hits, result);
  ListDevicePartitions(state, result);
  ForgetHitsInParsedMfts(hits);
  if (!IsFolderScanTarget(target) && !Stopped(state)) {
    std::vector<VolumeContext> found;
    ParseFileSys(reader, state, target, hits, found);
    result.insert(result.end(), found.begin(), found.end());
    if (ScanOptionOn(DeepScanSettingsRecord().rebuildNtfsFromRecords))
      RunRebuilds(state, target, progress, reader, hits, result);
  }
  if (!Stopped(state)) RemoveDuplicateCarvedFiles(hits, result);
  DropNearlyEmptyVolumes(result);
  TidyLostFileFolders(result);
  return !result.empty();
}

bool DiskFileScanHandEnd(std::atomic<uint32_t>* state, std::vector<VolumeContext>& result) {
  WriteLog(u"DiskFileScanHandEnd begin");
  result.clear();
  ScanEndStageActive.store(1);
  PostProgressText(GetLangStr(u"PrepairRecoverFile"), GetLangStr(u"HandFoundInfo"), CString());
  const VolumeContext target = ScanTarget();
  std::vector<SectorHit> hits;
  CollectEndStageHits(target, hits);
  FilterHitsBySettings(hits);
  SizeOpenEndedHits(hits, true);
  ScanProgress progress = MakeScanProgress(kProgressParse);
  const bool built = HandFileTagFinded(state, target, progress, hits, result);
  // Without the device nothing was built, and the index-only files stay for a saved scan.
  if (built) AddOtherFileFolder(result, target.devicePath);
  WriteLog(u"DiskFileScanHandEnd end");
  ScanEndStageActive.store(0);
  return built && !result.empty();
}
