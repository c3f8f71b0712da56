#include "deepscan/deepscanstate.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/settings.h"
#include "base/heap.h"
#include "base/log.h"
#include "core/diskreader.h"
#include "core/volumelist.h"
#include "deepscan/filestartindex.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/scanblockring.h"
#include "deepscan/sectorsignature.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/mfthitgroups.h"
#include "platform/hooks.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

// The block map is one guarded-heap block, whose size field has 32 bits.
constexpr uint64_t kMaxBlockCount = 0xFFFF0000ull;
constexpr uint64_t kClassifyVolumeSectors = 0x5000000;   // 40 GiB
constexpr uint64_t kClassifyDeviceSectors = 0x19000000;  // 200 GiB
constexpr int kReaderWaitMs = 100;

struct BlockMap {
  uint8_t* bytes = nullptr;
  uint64_t count = 0;
};

BlockMap& TheMap() {
  static BlockMap& m = *new BlockMap();
  return m;
}

std::mutex& HooksLock() {
  static std::mutex& m = *new std::mutex();
  return m;
}

DeepScanHooks& Hooks() {
  static DeepScanHooks& h = *new DeepScanHooks();
  return h;
}

// The lists the parsers keep of what they have already read, emptied for every scan.
void ClearParserRegistries() {
  ClearKnownIndxLbas();
  ClearKnownMftExtents();
  ClearKnownFatLbaList();
  ClearKnownExfatDirLbas();
  // The groups borrow summaries the scan's hit lists own; none may outlive its scan.
  ClearMftHitGroups();
}

uint64_t TargetBlockCount(const VolumeContext& target) {
  const uint64_t blocks = DeviceBlockCount(target.deviceSectors);
  if (blocks <= kMaxBlockCount) return blocks;
  // An absurd device size; nothing can be mapped, so nothing is read.
  WriteLogFmt(u"Deep scan: device of %llu sectors cannot be mapped", (unsigned long long)target.deviceSectors);
  return 0;
}

}  // namespace

namespace {
// Taken while the map is made or freed and while a window copies it, so a copy never reads a
// freed map.
std::mutex& MapLifeLock() {
  static std::mutex& m = *new std::mutex();
  return m;
}
}  // namespace

void AllocBlockStateMap(uint64_t blocks) {
  FreeBlockStateMap();
  std::lock_guard<std::mutex> lock(MapLifeLock());
  BlockMap& m = TheMap();
  m.bytes = static_cast<uint8_t*>(AllocMem(blocks, 249));
  m.count = blocks;
}

void FreeBlockStateMap() {
  std::lock_guard<std::mutex> lock(MapLifeLock());
  BlockMap& m = TheMap();
  if (m.bytes != nullptr) FreeMem(m.bytes);
  m.bytes = nullptr;
  m.count = 0;
}

void CopyBlockStateMap(std::vector<uint8_t>& out) {
  std::lock_guard<std::mutex> lock(MapLifeLock());
  BlockMap& m = TheMap();
  out.resize(m.bytes != nullptr ? m.count : 0);
  for (size_t i = 0; i < out.size(); ++i) out[i] = std::atomic_ref<uint8_t>(m.bytes[i]).load(std::memory_order_relaxed);
}

uint64_t BlockStateCount() { return TheMap().count; }

uint8_t* BlockStateBytes() { return TheMap().bytes; }

uint8_t GetBlockState(uint64_t block) {
  BlockMap& m = TheMap();
  if (block >= m.count) return kBlockHandled;
  return std::atomic_ref<uint8_t>(m.bytes[block]).load(std::memory_order_relaxed);
}

void SetBlockState(uint64_t block, uint8_t state) {
  BlockMap& m = TheMap();
  if (block >= m.count) return;
  std::atomic_ref<uint8_t>(m.bytes[block]).store(state, std::memory_order_relaxed);
}

bool WantsClassifyDirEntries(const VolumeContext& target) {
  if (target.type == kVolTypeFat32) return true;
  if (!target.volumePath.IsEmpty() && target.sectorCount < kClassifyVolumeSectors) return true;
  return target.deviceSectors < kClassifyDeviceSectors;
}

void SetDeepScanHooks(const DeepScanHooks& hooks) {
  std::lock_guard<std::mutex> g(HooksLock());
  Hooks() = hooks;
}

void SetScanStateLoadHook(int (*loadSavedScan)(std::atomic<uint32_t>* state)) {
  std::lock_guard<std::mutex> g(HooksLock());
  Hooks().loadSavedScan = loadSavedScan;
}

void SetPendingWindowHooks(void (*prepare)(), void (*release)()) {
  std::lock_guard<std::mutex> g(HooksLock());
  Hooks().preparePendingWindow = prepare;
  Hooks().freePendingWindow = release;
}

void SetPreviewCacheHooks(void (*clearCache)(), void (*clearQueue)()) {
  std::lock_guard<std::mutex> g(HooksLock());
  Hooks().clearPreviewCache = clearCache;
  Hooks().clearPreviewQueue = clearQueue;
}

DeepScanHooks GetDeepScanHooks() {
  std::lock_guard<std::mutex> g(HooksLock());
  return Hooks();
}

void LoadScanStateHits(std::atomic<uint32_t>* state) {
  const VolumeContext target = ScanTarget();
  const DeepScanHooks hooks = GetDeepScanHooks();
  // Without the scan-state files installed every scan starts from an empty block map.
  const int loaded = hooks.loadSavedScan != nullptr ? hooks.loadSavedScan(state) : 0;
  if (loaded != 1) {
    if (loaded < 0) ShowMessageBox(GetLangStr(u"LoadSaveDataFailed"));
    AllocBlockStateMap(TargetBlockCount(target));
  }
  BuildScanBlockList(state, target, DeepScanSettingsRecord());
}

void StartDeepScan(std::atomic<uint32_t>* state) {
  ScanStartTime.store(ScanClockNow());
  ScanPausedSeconds.store(0);
  ScanPauseFlag.store(0);
  // A new scan must not inherit the exFAT run of the previous one: its first directory sector
  // at the old LBA + 1 would be taken as a continuation and lost.
  LastExfatDirLba.store(0);

  const VolumeContext target = ScanTarget();
  // A device of size 0 stops the program here (see AllocBlockHitLists).
  if (TargetBlockCount(target) == 0 && target.deviceSectors != 0) AllocBlockHitListsFor(0);
  else AllocBlockHitLists();
  ClearIndxFileList();
  LoadScanStateHits(state);
  AllocFileStartIndex(TargetBlockCount(target));

  AllocScanBlockRing();
  ReaderDone.store(0);
  const DeepScanHooks hooks = GetDeepScanHooks();
  // FIXME: the carving core installs its 96 MiB pending window here; without it nothing waits.
  if (hooks.preparePendingWindow != nullptr) hooks.preparePendingWindow();
  ResetParseProgress();

  ClearUniqueLbaRegistry();
  // FIXME: the preview worker installs its cache clearing; without it there is no cache.
  if (hooks.clearPreviewCache != nullptr) hooks.clearPreviewCache();
  ClearParserRegistries();

  AllocSectorFillMap(target.firstLba, target.sectorCount);
  SetFatDirScanEnabled(WantsClassifyDirEntries(target));
  ResetVolumeList(AppVolumeList(), state, 1);
}

void EndDeepScan() {
  while (ReaderDone.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(kReaderWaitMs));
  FreeScanBlockRing();
  const DeepScanHooks hooks = GetDeepScanHooks();
  if (hooks.freePendingWindow != nullptr) hooks.freePendingWindow();
  FreeBlockStateMap();
  // The allocation map stays: the end stage aligns and cuts carved files by it. The consumer
  // releases it after the end stage.
  ClearUniqueLbaRegistry();
  FreeFileStartIndex();
  if (hooks.clearPreviewCache != nullptr) hooks.clearPreviewCache();
  ClearParserRegistries();
  if (hooks.clearPreviewQueue != nullptr) hooks.clearPreviewQueue();
  ResetParseProgress();
  // The results shown while scanning go; the end stage rebuilds them from the hit lists.
  ClearVolumeList(AppVolumeList());
}
