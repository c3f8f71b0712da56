// Which blocks a deep scan reads and in what order: the scan range, the reader's sequential
// position, the queue of blocks read before the sequential pass (priority range, probe blocks,
// blocks near found boot sectors) and, in the deleted-files operations, the queue of blocks
// that hold free clusters of the target's allocation map.
//
// Blocks are the 16384-sector blocks of the whole device, numbered by device LBA / 16384.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>

#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "deepscan/deepscansettings.h"

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

// The first-in first-out list of block start LBAs read before the sequential pass. Its lock
// also guards the block states that the queue path sets; it is never held with the ring lock
// or the mailbox lock.
std::mutex& PriorityQueueLock();
std::deque<uint64_t>& PriorityBlockQueue();  // under PriorityQueueLock()
// Queues the block holding the LBA while ProbeReading is set and the LBA lies in the scan range.
void QueuePriorityBlock(uint64_t lba);
// For the boot-sector hits (NTFS 223, FAT 226/227, their details the saved sectors) of one
// block: queues the block before each and the blocks where its partner (backup or primary)
// boot sector lies. Counts that wrap are skipped; what lies outside the range is dropped.
void QueueBlocksNearBootHits(std::span<const SectorHit> hits);

// The target's allocation map in the deleted-files operations: the NTFS $Bitmap (one bit per
// cluster, 1 used) or the first FAT. A FAT loaded for the scan is owned here; the NTFS map is
// the parser's FreeSpaceMap and a rebuilt FAT32's table belongs to the target.
struct ScanAllocMapT {
  const uint8_t* buffer = nullptr;
  uint32_t length = 0;            // bytes
  uint32_t sectorsPerCluster = 0;
  uint64_t clusterArea = 0;       // LBA of cluster 0 (NTFS) or of cluster 2 (FAT)
  uint32_t fsType = 0;            // VolumeType of the map
  bool ownsBuffer = false;
};
ScanAllocMapT& ScanAllocMap();
void ReleaseScanAllocMap();
// True when the block [blockLba, blockLba + 16383] holds a cluster the map shows free, or
// must always be read (a FAT volume's reserved and FAT area and its last sector; exFAT).
bool BlockHasFreeClusters(const VolumeContext& target, uint64_t blockLba);

// Sets the scan range and the sequential start from the target and fills the queue: in the
// deleted-files operations every block with free clusters (QueuedBlockCount set) when the
// target's map loads; otherwise the priority range and, while ProbeReading is set on targets
// above 4 GiB, a probe block every 0x200000 sectors.
void BuildScanBlockList(std::atomic<uint32_t>* state, const VolumeContext& target, const DeepScanSettings& settings);
