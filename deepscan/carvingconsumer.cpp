#include "deepscan/carvingconsumer.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/heap.h"
#include "core/carvedname.h"
#include "core/filetree.h"
#include "core/volumelist.h"
#include "deepscan/carvedfound.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/fileend.h"
#include "deepscan/findfileview.h"
#include "deepscan/keepmetadatahit.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/pendingwindow.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scansaveoffer.h"
#include "deepscan/scanthread.h"
#include "deepscan/sectorsignature.h"
#include "parsefilesystem/parsentfs/foundmftrecord.h"
#include "platform/wndcore.h"
#include "scanbase/carvecandidate.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint32_t kRingEmptyWaitMs = 100;
constexpr uint32_t kDefaultFinishingPauseMs = 500;
constexpr uint32_t kLastFileType = 176;

std::mutex& HooksLock() {
  static std::mutex& m = *new std::mutex();
  return m;
}
CarvingHooks& Hooks() {
  static CarvingHooks& h = *new CarvingHooks();
  return h;
}
std::atomic<uint32_t> g_finishingPauseMs{kDefaultFinishingPauseMs};

// The eight metadata counts of the progress, in their order: EBR, NTFS boot, FAT boot,
// exFAT boot, MFT record, FAT directory, index record, exFAT directory.
int MetaCountIndex(uint32_t kind) {
  switch (kind) {
    case kSectorPartTable: return 0;
    case kSectorNtfsBoot: return 1;
    case kSectorFat16Boot:
    case kSectorFat32Boot: return 2;
    case kSectorExfatBoot: return 3;
    case kSectorMftRecord: return 4;
    case kSectorFatDirRun: return 5;
    case kSectorIndexRecord: return 6;
    case 231: return 7;
    default: return -1;
  }
}

void AddMetaCount(ScanProgress& rec, int index) {
  uint8_t* p = reinterpret_cast<uint8_t*>(&rec) + offsetof(ScanProgress, scan.metaCounts) + 4 * size_t(index);
  uint32_t c;
  std::memcpy(&c, p, 4);
  ++c;
  std::memcpy(p, &c, 4);
}

void AddFilesFound(ScanProgress& rec, uint32_t n) {
  uint32_t c = rec.scan.filesFound;
  rec.scan.filesFound = c + n;
}

void AddSectorsDone(ScanProgress& rec, uint64_t n) {
  uint64_t c = rec.scan.sectorsDone;
  rec.scan.sectorsDone = c + n;
}

// Whether a MFT record at lba lies in an extent of a volume already parsed; the extent last
// matched is tried first, since records of one extent follow each other.
bool InKnownMftExtent(uint64_t lba, size_t& last) {
  const std::vector<MftExtentRange>& ext = KnownMftExtents();
  if (ext.empty()) return false;
  auto inside = [lba](const MftExtentRange& e) { return lba >= e.startLba && lba - e.startLba < e.sectors; };
  if (last < ext.size() && inside(ext[last])) return true;
  for (size_t i = 0; i < ext.size(); ++i) {
    if (inside(ext[i])) {
      last = i;
      return true;
    }
  }
  return false;
}

}  // namespace

// The sector just past the target: its last sector's LBA + 1, on the device's LBA scale.
uint64_t TargetEndLba(const VolumeContext& target) {
  const bool known = target.sectorCount != 0 && target.sectorCount != kUnknownSectorCount;
  const uint64_t sectors = known ? target.sectorCount : target.deviceSectors;
  uint64_t end = 0;
  if (__builtin_add_overflow(target.firstLba, sectors, &end)) return UINT64_MAX;
  return (target.deviceSectors != 0 && end > target.deviceSectors) ? target.deviceSectors : end;
}

// The progress set-up: totals and what a resumed scan has already handled and found.
void InitConsumerProgress(const VolumeContext& target, ScanProgress& progress) {
  ScanProgressSource src;
  src.operation = target.operation;
  src.targetSectors = target.sectorCount;
  src.rangeFirstBlock = ScanRange().firstBlock;
  src.rangeLastBlock = ScanRange().lastBlock;
  src.blockStates = BlockStateBytes();
  src.blockCount = src.blockStates != nullptr ? BlockStateCount() : 0;
  {
    std::lock_guard<std::mutex> g(PriorityQueueLock());
    src.queuedBlocks.assign(PriorityBlockQueue().begin(), PriorityBlockQueue().end());
  }
  for (const auto& list : BlockHitLists())
    for (const SectorHit& h : list) src.hits.push_back({h.kind, h.lba});
  InitScanProgress(src, progress);
}

void SetCarvingHooks(const CarvingHooks& hooks) {
  std::lock_guard<std::mutex> g(HooksLock());
  Hooks() = hooks;
}

const CarvingHooks& GetCarvingHooks() { return Hooks(); }

void SetScanFinishingPauseMs(uint32_t ms) { g_finishingPauseMs.store(ms != 0 ? ms : kDefaultFinishingPauseMs); }

uint32_t GetScanFinishingPauseMs() { return g_finishingPauseMs.load(); }

void InstallCarvingConsumer() {
  SetScanConsumer(ScanConsumerKind::kCarving, &DiskFileScanHandThread);
  SetAddCarvedFilesHook(&AddCarvedFilesFromHits);
  // Every MFT record found keeps its summary (freed with its hit by the hit store).
  SetFoundMftRecordParser(&SummarizeFoundMftRecord);
  // The scan's start and end make and free the pending window of the end detection.
  DeepScanHooks h = GetDeepScanHooks();
  h.preparePendingWindow = &BeginPendingWindow;
  h.freePendingWindow = &EndPendingWindow;
  SetDeepScanHooks(h);
}

void ScanBlockSectors(std::atomic<uint32_t>* state, ScanProgress& progress, const VolumeContext& target,
                      const uint8_t* data, uint64_t blockLba, std::vector<SectorHit>& hits, uint32_t& mftHits) {
  const uint8_t* const blockEnd = data + kScanBlockDataBytes;
  const SectorFillMapT& fill = SectorFillMap();
  const bool showWhileScanning = ScanOptionOn(DeepScanSettingsRecord().showWhileScanning);
  const CarvingHooks& hooks = Hooks();
  size_t lastExtent = SIZE_MAX;
  for (uint32_t i = 0; i < kScanBlockSectors; ++i) {
    const uint8_t* sector = data + size_t(i) * kSectorBytes;
    const uint64_t lba = blockLba + i;

    if (fill.owned != nullptr && lba >= fill.firstLba && lba - fill.firstLba < fill.count)
      SetSectorFill(lba, ComputeSectorFill(sector));

    uint32_t type = 0;
    if (MatchSectorSignature(sector, type, lba)) {
      CarveCandidate c{};
      c.typeId = int32_t(type);
      c.startLba = lba;
      int32_t status = DetectFileEnd(c, blockLba, data, kScanBlockDataBytes);
      bool pending = false;
      if (status == kEndNeedsMore) {
        pending = AddPendingCandidate(c);
        // A range that cannot be kept is sized open-ended later rather than lost.
        if (!pending) status = c.status = kEndNotDetected;
      }
      const bool fileType = c.typeId >= 0 && uint32_t(c.typeId) <= kLastFileType;
      if (status == kEndKnown || fileType) {
        SectorHit h{};
        h.kind = uint8_t(c.typeId);
        h.endStatus = uint8_t(status);
        h.lba = lba;
        h.size = c.size;
        // A pending candidate keeps its details until it is resolved.
        h.detail = pending ? nullptr : c.details;
        hits.push_back(h);
        if (fileType) AddFilesFound(progress, 1);
      } else if (!pending && c.details != nullptr) {
        FreeMem(c.details);
      }
    }

    uint32_t kind = 0;
    if (ClassifyRawSector(lba, sector, &kind)) {
      if (kind == kSectorMftRecord && InKnownMftExtent(lba, lastExtent)) continue;
      const size_t before = hits.size();
      KeepMetadataHit(target, hits, i, sector, blockEnd, lba, kind);
      if (hits.size() == before) continue;  // refused: no hit, nothing counted
      if (int k = MetaCountIndex(kind); k >= 0) AddMetaCount(progress, k);
      if (showWhileScanning && hooks.addPartitionFromBootHit) hooks.addPartitionFromBootHit(state, sector, lba, kind);
      if (kind == kSectorMftRecord) ++mftHits;
    }
  }
}

bool HandScanBlock(std::atomic<uint32_t>* state, const VolumeContext& target, const uint8_t* block,
                   ScanProgress& progress) {
  if (ScanBlockReadResult(block) == 0) return false;
  const uint64_t blockLba = ScanBlockLba(block);
  std::vector<SectorHit> hits;
  uint32_t mftHits = 0;
  ScanBlockSectors(state, progress, target, block, blockLba, hits, mftHits);
  AdvancePendingWindow(block, blockLba);

  const DeepScanSettings& settings = DeepScanSettingsRecord();
  const CarvingHooks& hooks = Hooks();
  const bool showWhileScanning = ScanOptionOn(settings.showWhileScanning);
  const bool folderTarget = (target.targetKind == kTargetFolder || target.targetKind == kTargetDesktop) &&
                            target.sourcePath.GetLength() > 3;
  if (showWhileScanning && ScanOptionOn(settings.rebuildNtfsFromRecords) && !folderTarget && hooks.mftHitGroups)
    hooks.mftHitGroups(state, blockLba, mftHits, hits);

  StoreBlockHits(blockLba, hits);
  if (showWhileScanning && !hits.empty() && hooks.publishBlockHits) hooks.publishBlockHits(state, blockLba, hits);
  SetBlockState(blockLba / kScanBlockSectors, kBlockHandled);
  if (ProbeReading.load() != 0 && !hits.empty()) {
    if (hooks.markNtfsStartsFromMftHits) hooks.markNtfsStartsFromMftHits(hits);
    QueueBlocksNearBootHits(hits);
  }
  AddSectorsDone(progress, kScanBlockSectors);
  PostScanProgress(progress);
  return true;
}

UINT DiskFileScanHandThread(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"DiskFileScanHandThread");
  ResetCarvedMovMemory();

  const VolumeContext target = ScanTarget();
  ScanProgress progress = MakeScanProgress(kProgressSectorScan);
  InitConsumerProgress(target, progress);
  PostScanProgress(progress);

  bool inputEnded = false;
  for (;;) {
    // The state is read before the take: once it reads 3, every block was put before it, so
    // an empty ring then means the input is complete. A paused scan is emptied all the same.
    // The block is examined in its ring slot; what must outlive it (the pending window's
    // blocks, the hits' details) is copied out on the way.
    const uint32_t s = state->load();
    if (s == kScanStopped) break;
    if (const uint8_t* block = BeginTakeScanBlock()) {
      HandScanBlock(state, target, block, progress);
      EndTakeScanBlock();
      continue;
    }
    if (s == kScanInputDone) {
      inputEnded = true;
      break;
    }
    WaitForScanBlock(kRingEmptyWaitMs);
  }
  // Files that run up to the end of the target are decided with what was read, before the
  // scan can be saved.
  if (inputEnded) ResolvePendingAtInputEnd(TargetEndLba(target));

  AskSaveScanData();
  EndDeepScan();

  uint32_t done = kScanInputDone;
  if (state->compare_exchange_strong(done, kScanRunning)) {
    HWND main = AppVolumeList().mainWindow;
    if (main && IsWindow(main)) SendMessageW(main, WM_SCAN_FINISHING, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(g_finishingPauseMs.load()));
    std::vector<VolumeContext> partitions;
    bool publish = false;
    if (auto endStage = Hooks().endStage) publish = endStage(state, partitions);
    // What the end stage completed is shown whole even when a stop came during it: the stop
    // ends the work, not the showing of what was found.
    if (publish) PublishScanResults(AppVolumeList(), nullptr, partitions);
    else
      for (VolumeContext& v : partitions) FreeAllFileRecords(v);
    if (main && IsWindow(main)) SendMessageW(main, WM_SCAN_FINISHED, 0, 0);
    uint32_t running = kScanRunning;
    state->compare_exchange_strong(running, kScanInputDone);
  }
  // The end stage read the allocation map of the deleted-files operations.
  ReleaseScanAllocMap();
  OnThreadEnd(u"DiskFileScanHandThread");
  return 0;
}
