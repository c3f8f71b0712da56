#include "deepscan/blockqueue.h"

#include <cstring>
#include <vector>

#include "base/heap.h"
#include "base/log.h"
#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatvolume.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanhitstore.h"

std::atomic<uint32_t> QueuedBlockCount{0};

namespace {

constexpr uint64_t kProbeStep = 0x200000;
constexpr uint64_t kProbeMinSectors = 0x800000;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

bool IsFatType(uint32_t type) { return type == kVolTypeFat16 || type == kVolTypeFat32 || type == kVolTypeFat32Rebuilt; }

// The end of [first, first + count), saturated.
uint64_t RangeEnd(uint64_t first, uint64_t count) {
  uint64_t end = 0;
  return __builtin_add_overflow(first, count, &end) ? UINT64_MAX : end;
}

// Loads the allocation map of the target for the deleted-files queue; false when it has none.
bool LoadScanAllocMap(std::atomic<uint32_t>* state, const VolumeContext& target) {
  ScanAllocMapT& m = ScanAllocMap();
  m.fsType = target.type;
  if (target.type == kVolTypeNtfs) {
    m.sectorsPerCluster = VolumeSectorsPerCluster(target);
    m.clusterArea = target.firstLba;
    if (!LoadNtfsBitmap(state)) return false;
    m.buffer = FreeSpaceMap();
    m.length = FreeSpaceMapBytes();
    m.ownsBuffer = false;
    return m.buffer != nullptr;
  }
  if (IsFatType(target.type)) {
    const FatGeometry g = ReadFatGeometry(target);
    m.clusterArea = g.dataStart;
    m.sectorsPerCluster = g.sectorsPerCluster;
    if (target.type == kVolTypeFat32Rebuilt) {
      // A rebuilt FAT32 has no table on the disk to load; its own table serves when present.
      if (target.fatBuffer == nullptr || target.fatBufferSize == 0) return false;
      m.buffer = target.fatBuffer;
      m.length = target.fatBufferSize;
      m.ownsBuffer = false;
      return true;
    }
    uint8_t* buffer = nullptr;
    uint32_t length = 0;
    if (!LoadFatForScan(target, buffer, length) || buffer == nullptr) return false;
    m.buffer = buffer;
    m.length = length;
    m.ownsBuffer = true;
    return true;
  }
  return target.type == kVolTypeExfat;
}

// Whether the FAT shows a free entry among clusters [first, last], or the table ends before them.
bool FatHasFreeEntry(const ScanAllocMapT& m, bool wide, uint64_t first, uint64_t last) {
  const uint64_t entryBytes = wide ? 4 : 2;
  for (uint64_t c = first; c <= last; ++c) {
    // Past the loaded table nothing is known: the block may hold free clusters, so it is read.
    if (c >= m.length / entryBytes) return true;
    const uint8_t* p = m.buffer + c * entryBytes;
    const uint32_t v = wide ? (Le32(p) & 0x0FFFFFFF) : Le16(p);
    if (v == 0) return true;
  }
  return false;
}

}  // namespace

ScanRangeT& ScanRange() {
  static ScanRangeT& r = *new ScanRangeT();
  return r;
}

uint64_t& NextSequentialBlock() {
  static uint64_t& n = *new uint64_t(0);
  return n;
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
  if (lba < r.firstBlock || lba > r.lastBlock + (kScanBlockSectors - 1)) return;
  std::lock_guard<std::mutex> g(PriorityQueueLock());
  PriorityBlockQueue().push_back(lba / kScanBlockSectors * kScanBlockSectors);
}

void QueueBlocksNearBootHits(std::span<const SectorHit> hits) {
  for (const SectorHit& hit : hits) {
    const uint8_t kind = hit.kind;
    if (kind != kKindNtfsBoot && kind != kKindFat16Boot && kind != kKindFat32Boot) continue;
    const uint64_t x = hit.lba;
    if (x > kScanBlockSectors) QueuePriorityBlock(x - kScanBlockSectors);
    const uint8_t* sector = static_cast<const uint8_t*>(hit.detail);
    if (sector == nullptr) continue;
    // FAT volumes below 32 MiB keep their total in the 16-bit field.
    const uint64_t n = kind == kKindNtfsBoot ? Le64(sector + 40) : FatBootTotalSectors(sector);
    uint64_t ahead = 0, ahead2 = 0;
    // A total-sector count that wraps points nowhere; the range filter would drop it anyway.
    if (!__builtin_add_overflow(x, n, &ahead)) {
      QueuePriorityBlock(ahead);
      if (!__builtin_add_overflow(ahead, uint64_t(kScanBlockSectors), &ahead2)) QueuePriorityBlock(ahead2);
    }
    if (kind == kKindNtfsBoot && x > n) {
      QueuePriorityBlock(x - n);
      if (x - n >= kScanBlockSectors) QueuePriorityBlock(x - n - kScanBlockSectors);
    }
  }
}

ScanAllocMapT& ScanAllocMap() {
  static ScanAllocMapT& m = *new ScanAllocMapT();
  return m;
}

void ReleaseScanAllocMap() {
  ScanAllocMapT& m = ScanAllocMap();
  if (m.ownsBuffer && m.buffer != nullptr) FreeMem(const_cast<uint8_t*>(m.buffer));
  m = ScanAllocMapT();
}

bool BlockHasFreeClusters(const VolumeContext& target, uint64_t a) {
  const ScanAllocMapT& m = ScanAllocMap();
  const uint64_t blockEnd = RangeEnd(a, kScanBlockSectors - 1);
  if (target.type == kVolTypeNtfs) return HasFreeNtfsClusters(target, m.buffer, m.length, a, blockEnd);
  if (target.type == kVolTypeExfat) return true;
  if (!IsFatType(target.type)) return false;
  if (target.sectorCount == 0) return false;
  const uint64_t last = RangeEnd(target.firstLba, target.sectorCount - 1);
  if (blockEnd < target.firstLba || a > last) return false;
  const uint64_t spc = m.sectorsPerCluster;
  if (spc == 0 || a <= m.clusterArea || blockEnd >= last) return true;
  if (m.buffer == nullptr) return true;
  const uint64_t firstCluster = (a - m.clusterArea) / spc + 2;
  const uint64_t lastCluster = (blockEnd - m.clusterArea) / spc + 2;
  return FatHasFreeEntry(m, target.type != kVolTypeFat16, firstCluster, lastCluster);
}

void BuildScanBlockList(std::atomic<uint32_t>* state, const VolumeContext& target, const DeepScanSettings& settings) {
  const uint64_t first = target.firstLba;
  const uint64_t end = RangeEnd(first, target.sectorCount);
  ScanRangeT& r = ScanRange();
  r.firstBlock = first / kScanBlockSectors * kScanBlockSectors;
  r.lastBlock = end / kScanBlockSectors * kScanBlockSectors;
  NextSequentialBlock() = r.firstBlock;
  // Blocks beyond the device are never read; the bound also keeps hostile ranges short.
  const uint64_t deviceBlocks = DeviceBlockCount(target.deviceSectors);

  if (target.operation == kOperationDeletedFiles || target.operation == kOperationEmptiedRecycleBin) {
    ReleaseScanAllocMap();
    if (LoadScanAllocMap(state, target)) {
      std::vector<uint64_t> blocks;
      for (uint64_t b = first / kScanBlockSectors; b < deviceBlocks && b * kScanBlockSectors < end; ++b)
        if (BlockHasFreeClusters(target, b * kScanBlockSectors)) blocks.push_back(b * kScanBlockSectors);
      std::lock_guard<std::mutex> g(PriorityQueueLock());
      std::deque<uint64_t>& q = PriorityBlockQueue();
      q.assign(blocks.begin(), blocks.end());
      QueuedBlockCount.store(uint32_t(q.size()));
      return;
    }
    WriteLogFmt(u"Deep scan: no allocation map for type %u, reading the ordinary queue", unsigned(target.type));
  }

  std::lock_guard<std::mutex> g(PriorityQueueLock());
  std::deque<uint64_t>& q = PriorityBlockQueue();
  q.clear();
  if (settings.priorityCount != 0) {
    const uint64_t lastBlock = RangeEnd(settings.priorityStart, settings.priorityCount) / kScanBlockSectors;
    for (uint64_t b = settings.priorityStart / kScanBlockSectors; b <= lastBlock && b < deviceBlocks; ++b)
      q.push_back(b * kScanBlockSectors);
  }
  if (ProbeReading.load() != 0 && target.sectorCount > kProbeMinSectors) {
    for (uint64_t lba = first / kProbeStep * kProbeStep; lba < end; lba += kProbeStep) {
      if (lba >= first) q.push_back(lba);
      if (lba > UINT64_MAX - kProbeStep) break;
    }
  }
}
