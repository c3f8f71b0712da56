#include "deepscan/deepscanstate.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "base/heap.h"
#include "base/log.h"
#include "core/diskreader.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanprogress.h"
#include "deepscan/scanrun.h"
#include "deepscan/sectorsignature.h"

std::atomic<uint32_t> ProbeReading{0};
std::atomic<uint32_t> QueuedBlockCount{0};

namespace {

constexpr uint64_t kProbeStep = 0x200000;
// The block map is one guarded-heap block, whose size field has 32 bits.
constexpr uint64_t kMaxBlockCount = 0xFFFF0000ull;

struct BlockMap {
  uint8_t* bytes = nullptr;
  uint64_t count = 0;
};

BlockMap& TheMap() {
  static BlockMap& m = *new BlockMap();
  return m;
}

}  // namespace

DeepScanSettings& DeepScanSettingsRecord() {
  static DeepScanSettings& s = *new DeepScanSettings();
  return s;
}

ScanRangeT& ScanRange() {
  static ScanRangeT& r = *new ScanRangeT();
  return r;
}

uint64_t& NextSequentialBlock() {
  static uint64_t& n = *new uint64_t(0);
  return n;
}

void AllocBlockStateMap(uint64_t blocks) {
  FreeBlockStateMap();
  BlockMap& m = TheMap();
  m.bytes = static_cast<uint8_t*>(AllocMem(blocks, 249));
  m.count = blocks;
}

void FreeBlockStateMap() {
  BlockMap& m = TheMap();
  if (m.bytes != nullptr) FreeMem(m.bytes);
  m.bytes = nullptr;
  m.count = 0;
}

uint64_t BlockStateCount() { return TheMap().count; }

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

std::mutex& PriorityQueueLock() {
  static std::mutex& m = *new std::mutex();
  return m;
}

std::deque<uint64_t>& PriorityBlockQueue() {
  static std::deque<uint64_t>& q = *new std::deque<uint64_t>();
  return q;
}

void QueuePriorityBlock(uint64_t lba) {
  if (ProbeReading.load() == 0) return;
  const ScanRangeT& r = ScanRange();
  if (lba < r.firstBlock || lba >= r.lastBlock + kScanBlockSectors) return;
  std::lock_guard<std::mutex> g(PriorityQueueLock());
  PriorityBlockQueue().push_back(lba / kScanBlockSectors * kScanBlockSectors);
}

uint64_t DeviceBlockCount(uint64_t deviceSectors) {
  return deviceSectors / kScanBlockSectors + (deviceSectors % kScanBlockSectors != 0 ? 1 : 0);
}

void BuildScanBlockList(std::atomic<uint32_t>* state, const VolumeContext& target, const DeepScanSettings& settings) {
  (void)state;
  const uint64_t first = target.firstLba;
  uint64_t end = 0;
  if (__builtin_add_overflow(first, target.sectorCount, &end)) end = UINT64_MAX;
  ScanRangeT& r = ScanRange();
  r.firstBlock = first / kScanBlockSectors * kScanBlockSectors;
  r.lastBlock = end / kScanBlockSectors * kScanBlockSectors;
  NextSequentialBlock() = r.firstBlock;

  // FIXME: the deleted-files operations queue the blocks with free clusters from the target's
  // allocation map here; until the maps can be loaded they fall back to the queue below.
  std::lock_guard<std::mutex> g(PriorityQueueLock());
  std::deque<uint64_t>& q = PriorityBlockQueue();
  q.clear();
  if (settings.priorityCount != 0) {
    uint64_t pEnd = 0;
    if (__builtin_add_overflow(settings.priorityStart, settings.priorityCount, &pEnd)) pEnd = UINT64_MAX;
    const uint64_t lastBlock = pEnd / kScanBlockSectors;
    // Bounded by the device: blocks beyond it are dropped by the reader anyway.
    const uint64_t limit = BlockStateCount();
    for (uint64_t b = settings.priorityStart / kScanBlockSectors; b <= lastBlock && b < limit; ++b)
      q.push_back(b * kScanBlockSectors);
  }
  if (ProbeReading.load() != 0 && target.sectorCount > 0x800000) {
    for (uint64_t lba = first / kProbeStep * kProbeStep; lba < end; lba += kProbeStep)
      if (lba >= first) q.push_back(lba);
  }
}

void StartDeepScan(std::atomic<uint32_t>* state) {
  ScanStartTime.store(ScanClockNow());
  ScanPausedSeconds.store(0);
  ScanPauseFlag.store(0);
  // A new scan must not inherit the exFAT run of the previous one: its first directory sector
  // at the old LBA + 1 would be taken as a continuation and lost.
  LastExfatDirLba.store(0);

  const VolumeContext target = ScanTarget();
  uint64_t blocks = DeviceBlockCount(target.deviceSectors);
  if (blocks > kMaxBlockCount) {
    // An unknown or absurd device size; nothing can be mapped, so nothing is read.
    WriteLogFmt(u"Deep scan: device of %llu sectors cannot be mapped", (unsigned long long)target.deviceSectors);
    blocks = 0;
  }
  // FIXME: the saved-scan offer may load the block map of an earlier scan here.
  AllocBlockStateMap(blocks);
  BuildScanBlockList(state, target, DeepScanSettingsRecord());

  AllocScanBlockRing();
  ReaderDone.store(0);
  ResetParseProgress();
}

void EndDeepScan() {
  while (ReaderDone.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  FreeScanBlockRing();
  FreeBlockStateMap();
  ResetParseProgress();
}
