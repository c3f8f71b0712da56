// What a deep scan keeps between its blocks: the settings chosen before the scan, the state of
// every 16384-sector block of the device, the queue of blocks read before the sequential pass,
// and the scan's start and end.
//
// Only the part the reader and a consumer need exists so far. FIXME: the hit lists, the file
// start index, the unique-LBA registry, the sector fill map, the saved-scan offer and the
// allocation maps of the deleted-files operations join here.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "core/volumecontext.h"

// Block states: not read, taken by the reader (read or being read), handled by the consumer.
enum : uint8_t { kBlockUnread = 0, kBlockTaken = 1, kBlockHandled = 2 };

// The operations that read only blocks with free clusters (deleted files, emptied Recycle Bin).
constexpr uint32_t kOperationDeletedFiles = 2;
constexpr uint32_t kOperationEmptiedRecycleBin = 5;

// An option byte is on when its lowest bit is 1; 2 marks an option the operation forces off.
inline bool ScanOptionOn(uint8_t v) { return (v & 1) != 0; }

struct DeepScanSettings {
  uint64_t scanStart = 0;
  uint64_t scanCount = 0;
  uint64_t priorityStart = 0;
  uint64_t priorityCount = 0;  // 0: no priority range
  uint8_t clusterAlignedStarts = 0;
  uint8_t showAllFiles = 1;
  uint8_t useFat = 1;
  uint8_t useNtfs = 1;
  uint8_t useExfat = 1;
  uint8_t useGpt = 1;
  uint8_t rereadAfterFailure = 0;
  uint8_t preciseOffice = 1;
  uint8_t fixIllegalNames = 0;
  uint8_t removeDuplicates = 0;
  uint8_t showWhileScanning = 1;
  uint8_t rebuildNtfsFromRecords = 1;
};
// The process-wide record; written on the user-interface thread before a scan starts.
DeepScanSettings& DeepScanSettingsRecord();

// Probe blocks every 0x200000 sectors and blocks near found boot sectors are queued only while
// this is set (large whole disks).
extern std::atomic<uint32_t> ProbeReading;
// Blocks queued in the deleted-files operations (the progress total).
extern std::atomic<uint32_t> QueuedBlockCount;

// First and last block start of the scan, both inclusive.
struct ScanRangeT {
  uint64_t firstBlock = 0;
  uint64_t lastBlock = 0;
};
// Set by the scan start before the consumer starts; read-only afterwards.
ScanRangeT& ScanRange();
// The next block start of the reader's sequential pass (reader thread only).
uint64_t& NextSequentialBlock();

// One byte per block of the device. Bytes are read and written as relaxed atomics: each byte
// has one writer at a time (reader 0 → 1, consumer 1 → 2), but progress readers look at any.
void AllocBlockStateMap(uint64_t blocks);
void FreeBlockStateMap();
uint64_t BlockStateCount();
uint8_t GetBlockState(uint64_t block);
void SetBlockState(uint64_t block, uint8_t state);

// The first-in first-out list of block start LBAs read before the sequential pass. Its lock
// also guards the block states that the queue path sets; it is never held with the ring lock.
std::mutex& PriorityQueueLock();
std::deque<uint64_t>& PriorityBlockQueue();  // under PriorityQueueLock()
// Queues the block holding the LBA while ProbeReading is set and the LBA lies in the scan range.
void QueuePriorityBlock(uint64_t lba);

// The block count of a device: (sectors + 16383) / 16384.
uint64_t DeviceBlockCount(uint64_t deviceSectors);

// Sets the scan range and the sequential start from the target, and fills the queue with the
// priority range and, while ProbeReading is set on targets above 4 GiB, a probe block every
// 0x200000 sectors.
void BuildScanBlockList(std::atomic<uint32_t>* state, const VolumeContext& target, const DeepScanSettings& settings);

// The scan's start (on the scan thread, before the consumer starts): scan clock, block map,
// scan range and queue, ring, ReaderDone cleared, exFAT run memory and parse counters reset.
void StartDeepScan(std::atomic<uint32_t>* state);
// The scan's end (on the consumer thread after its input loop): waits for the reader in 100 ms
// steps, then frees the ring and the block map.
void EndDeepScan();
