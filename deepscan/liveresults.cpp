#include "deepscan/liveresults.h"

#include "app/settings.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/volumelist.h"
#include "core/volumesplit.h"
#include "deepscan/blockqueue.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/devicediscovery.h"
#include "deepscan/filestartindex.h"
#include "deepscan/findfileview.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/hitsizing.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/scanend.h"
#include "scanbase/scanhitstore.h"
#include "deepscan/scanthread.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "parsefilesystem/parsentfs/mfthitgroups.h"
#include "parsefilesystem/parsentfs/mftrun.h"
#include "parsefilesystem/parsentfs/ntfsrebuild.h"
#include "platform/hooks.h"

namespace {

constexpr unsigned kReportRealPartInfo = 28;

bool NoPickFile() { return GetBaseCfg(u"NoPickFile") == CString(u"1"); }

// Parses a partition; a parse that fails or that a stop cut short leaves nothing behind.
bool ParseWhole(std::atomic<uint32_t>* state, VolumeContext& v) {
  if (ParseVolumeFileSystem(state, v) > 0 && !StopRequested(state)) return true;
  FreeAllFileRecords(v);
  return false;
}

// Into the VolumeList with its file starts indexed, so carved hits where its files start are
// cancelled; a volume the list does not take is freed.
void AddShownVolume(std::atomic<uint32_t>* state, VolumeContext& v) {
  VolumeList& list = AppVolumeList();
  if (!AddScannedVolume(list, state, v, 1)) {
    FreeAllFileRecords(v);
    return;
  }
  VolumeListReadGuard guard(list);
  BuildFileStartIndex(v);
}

uint32_t SlotCount() {
  VolumeListReadGuard guard(AppVolumeList());
  return AppVolumeList().slotCount;
}

void PublishRun(uint64_t blockLba, const std::vector<SectorHit>& run) {
  std::vector<SectorHit> out;
  const GatheredNeighbours got = GatherHitsWithNeighbours(blockLba, run, out);
  if (out.empty()) return;
  // Decided before sizing: what is open-ended now waits for, or was waiting for, a later hit.
  const bool leadingWaited = got.leading && IsOpenEndedFileHit(out.front());
  const bool lastWaits = !got.boundary && IsOpenEndedFileHit(out.back());
  SizeOpenEndedHits(out, false);
  size_t end = out.size();
  // The boundary belongs to its own block; an open-ended last file has no end yet and comes
  // with the block after it.
  if (got.boundary || lastWaits) --end;
  // A leading neighbour with an end of its own was shown with its block (or when its end was
  // found later); one that waited for this block is shown now.
  size_t begin = got.leading && !leadingWaited ? 1 : 0;
  if (begin >= end) return;
  AddCarvedHitsToFindView(AppVolumeList(), std::vector<SectorHit>(out.begin() + long(begin), out.begin() + long(end)));
}

// A block that the scan may still handle keeps the run of MFT-record groups next to it open.
bool BlockStillOpen(uint64_t blockLba) {
  const ScanRangeT& range = ScanRange();
  if (blockLba < range.firstBlock || blockLba > range.lastBlock) return false;
  const uint8_t* states = BlockStateBytes();
  const uint64_t index = blockLba / kScanBlockSectors;
  if (states == nullptr || index >= BlockStateCount()) return false;
  return states[index] != kBlockHandled;
}

// A block with MFT records adds its group; a block without them may close the runs of groups
// on either side, which are then rebuilt.
void HandMftHitGroups(std::atomic<uint32_t>* state, uint64_t blockLba, uint32_t mftHits,
                      const std::vector<SectorHit>& hits) {
  if (mftHits != 0) {
    StoreMftHitGroup(blockLba, mftHits, hits);
    return;
  }
  std::vector<SectorHit> run;
  if (TakeMftHitsBeforeBlock(blockLba, run, &BlockStillOpen)) AddNtfsVolumesFromMftHits(state, run);
  if (TakeMftHitsAfterBlock(blockLba, run, &BlockStillOpen)) AddNtfsVolumesFromMftHits(state, run);
}

void MarkNtfsStartsFromMftHits(const std::vector<SectorHit>& hits) {
  for (uint64_t lba : NtfsStartsFromMftHits(hits)) QueuePriorityBlock(lba);
}

}  // namespace

bool IsFolderScanTarget(const VolumeContext& target) {
  return (target.targetKind == kTargetFolder || target.targetKind == kTargetDesktop) &&
         target.sourcePath.GetLength() > 3;
}

void AddPartitionToList(uint32_t operation, VolumeContext& partition, std::vector<VolumeContext>& out) {
  if (NoPickFile()) {
    out.push_back(partition);
    return;
  }
  if (!IsFolderScanTarget(ScanTarget())) {
    SplitVolumeByDeletion(operation, partition, out);
    return;
  }
  SplitVolumeWithRecycleView(operation, partition, out);
  // In the deleted-files operations a failed copy leaves the partition here; otherwise its
  // records were freed already (and nothing is freed twice: freeing clears the pointers).
  if (operation == kSplitModeDeletedFiles || operation == kSplitModeRecycleBin) FreeAllFileRecords(partition);
}

void ListDevicePartitions(std::atomic<uint32_t>* state, std::vector<VolumeContext>& out) {
  const VolumeContext target = ScanTarget();
  std::vector<VolumeContext> drives;
  FindDriveVolumesInRange(target.diskNumber, target.firstLba, target.sectorCount, drives);
  for (VolumeContext& p : drives) {
    if (StopRequested(state)) return;
    if (target.logicalDrive == 0) {
      // The scan reads the whole disk: the partition is read there, at its place on the disk.
      p.firstLba = p.diskStartLba;
      p.devicePath = FormatCString(u"\\\\.\\PhysicalDrive%u", p.diskNumber);
    }
    if (RegisterUniqueLba(p.firstLba)) continue;
    p.foundBy = kFoundByTable;
    if (!ParseWhole(state, p)) {
      // The drive list may not know the file system (a small volume is not probed): the boot
      // sector the scan finds there must still be able to bring the volume.
      ForgetUniqueLba(p.firstLba);
      continue;
    }
    p.logicalDrive = 1;
    AddPartitionToList(target.operation, p, out);
  }
}

void PublishStoredHits() {
  std::vector<SectorHit> all;
  CollectAllHits(all, true);
  const VolumeContext target = ScanTarget();
  const bool freeOnly =
      target.operation == kOperationDeletedFiles || target.operation == kOperationEmptiedRecycleBin;
  std::vector<SectorHit> run;
  uint64_t runBlock = 0, prevBlock = 0, testedBlock = UINT64_MAX;
  bool testedFree = true;
  for (const SectorHit& h : all) {
    const uint64_t block = uint64_t(h.lba) >> kHitBlockShift;
    if (freeOnly) {
      if (block != testedBlock) {
        testedBlock = block;
        testedFree = BlockHasFreeClusters(target, block << kHitBlockShift);
      }
      if (!testedFree) continue;
    }
    if (!run.empty() && block != prevBlock && block != prevBlock + 1) {
      PublishRun(runBlock << kHitBlockShift, run);
      run.clear();
    }
    if (run.empty()) runBlock = block;
    run.push_back(h);
    prevBlock = block;
  }
  if (!run.empty()) PublishRun(runBlock << kHitBlockShift, run);
}

void PublishBlockHits(std::atomic<uint32_t>*, uint64_t blockLba, const std::vector<SectorHit>& hits) {
  PublishRun(blockLba, hits);
}

bool AddPartitionFromBootHit(std::atomic<uint32_t>* state, const uint8_t* sector, uint64_t lba, uint32_t kind) {
  if (kind != kSectorNtfsBoot && kind != kSectorFat32Boot && kind != kSectorExfatBoot) return false;
  const VolumeContext target = ScanTarget();
  if (IsFolderScanTarget(target) || sector == nullptr) return false;
  VolumeContext p;
  {
    DiskReader reader;
    if (!OpenDeviceByPath(target.devicePath, reader, 1)) return false;
    if (!ValidateBootSectorHit(reader, sector, lba, p)) return false;
  }
  p.devicePath = target.devicePath;
  p.diskNumber = target.diskNumber;
  p.deviceSectors = target.deviceSectors;
  p.foundBy = kFoundByBootHit;
  if (RegisterUniqueLba(p.firstLba)) return false;
  uint64_t last = 0;
  if (__builtin_add_overflow(target.firstLba, target.sectorCount, &last)) last = UINT64_MAX;
  if (p.firstLba < target.firstLba || p.firstLba > last) return false;
  if (!ParseWhole(state, p)) return false;
  VolumeContext copy;
  const bool split = !NoPickFile() && SplitVolumeCopy(p, copy);
  AddShownVolume(state, p);
  if (split) AddShownVolume(state, copy);
  return true;
}

void AddRealPartInfo(std::atomic<uint32_t>* state) {
  std::vector<VolumeContext> partitions;
  ListDevicePartitions(state, partitions);
  bool first = true;
  for (VolumeContext& p : partitions) {
    AddShownVolume(state, p);
    if (first) {
      first = false;
      if (SlotCount() > kFirstScannedSlot)
        NotifyVolumeListeners(AppVolumeList(), nullptr, WM_VIEW_RESULTSREADY, kFirstScannedSlot, 0);
    }
  }
  SendEventReport(kReportRealPartInfo, u"Add real part info", true);
  PublishStoredHits();
  // A resumed scan's boot sectors add their partitions again.
  std::vector<SectorHit> boots;
  CollectBootHitsInTarget(boots);
  for (const SectorHit& h : boots) AddPartitionFromBootHit(state, static_cast<const uint8_t*>(h.detail), h.lba, h.kind);
  RebuildNtfsFromLoadedHits(state);
}

void InstallScanResults() {
  SetAddRealPartInfoHook(&AddRealPartInfo);
  CarvingHooks h = GetCarvingHooks();
  h.publishBlockHits = &PublishBlockHits;
  h.addPartitionFromBootHit = &AddPartitionFromBootHit;
  h.endStage = &DiskFileScanHandEnd;
  h.mftHitGroups = &HandMftHitGroups;
  h.markNtfsStartsFromMftHits = &MarkNtfsStartsFromMftHits;
  SetCarvingHooks(h);
  SetRebuiltVolumeSink(&AddShownVolume);
  SetVolumeSlotCounter(&SlotCount);
}
