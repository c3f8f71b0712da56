// The ring of eight 8 MiB blocks between the scan's reader thread and its one consumer.
//
// A ScanBlock is 16384 sectors of data followed by a one-sector trailer (the LBA of the first
// sector and the read result); a block and its trailer always travel together. One lock guards
// the count, the order of the filled slots and the free ones. The reader claims a free slot
// under the lock, reads the block straight into it and publishes it under the lock again; the
// consumer claims the oldest filled slot, works on it in place and gives it back. Neither side
// ever sees a slot the other is still using, and no block is copied on its way through.
//
// Blocks leave in the order they were put. A free slot is taken most recently freed first, so
// a consumer that keeps up cycles through two or three slots that stay in the cache instead of
// all eight.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "core/diskreader.h"

constexpr uint32_t kScanBlockDataBytes = kScanBlockSectors * kSectorBytes;  // 8 MiB
constexpr uint32_t kScanBlockBytes = kScanBlockDataBytes + kSectorBytes;
constexpr uint32_t kScanRingSlots = 8;

#pragma pack(push, 1)
struct ScanBlockTrailer {
  uint64_t lba;        // first sector of the block
  int32_t readResult;  // non-zero: the whole block was read; 0: failed, the data is all zero
  uint8_t zero[500];
};
#pragma pack(pop)
static_assert(sizeof(ScanBlockTrailer) == kSectorBytes);

// The trailer of a block buffer of kScanBlockBytes; read and written with memcpy-safe helpers.
uint64_t ScanBlockLba(const uint8_t* block);
int32_t ScanBlockReadResult(const uint8_t* block);
// Zeroes the data and the trailer and stores the LBA.
void ResetScanBlock(uint8_t* block, uint64_t lba);
// Zeroes the trailer only and stores the LBA (for a block whose data a whole read overwrites).
void ResetScanBlockTrailer(uint8_t* block, uint64_t lba);
void SetScanBlockReadResult(uint8_t* block, int32_t result);

// Set when the reader has finished with the ring; the scan's end waits for it before it frees
// the ring.
extern std::atomic<uint32_t> ReaderDone;

// Frees any ring, then allocates eight empty slots (count and indexes 0).
void AllocScanBlockRing();
void FreeScanBlockRing();
bool ScanBlockRingExists();

// The producer's claim: null when the ring is full, does not exist or a claim is open.
// Otherwise a free slot of kScanBlockBytes to fill; EndPutScanBlock publishes it (publish) as
// the newest block, or gives it back unused.
uint8_t* BeginPutScanBlock();
void EndPutScanBlock(bool publish);
// The consumer's claim: null when the ring is empty, does not exist or a claim is open.
// Otherwise the oldest block, which stays counted (the producer cannot reach it) until
// EndTakeScanBlock frees its slot.
const uint8_t* BeginTakeScanBlock();
void EndTakeScanBlock();

// The same with a copy, for a block the caller holds in a buffer of its own: false when the
// claim fails.
bool PutScanBlock(const uint8_t* block);
bool TakeScanBlock(uint8_t* staging);

// Wait at most ms for a block to arrive (consumer) or for a free slot (producer); they return
// early when the other side moves or NotifyScanRing is called. The caller tries again either way.
void WaitForScanBlock(uint32_t ms);
void WaitForScanSlot(uint32_t ms);
// Wakes both waits, for example when the input has ended.
void NotifyScanRing();

// The consumer's loop: hands every block, in its ring slot, to `handle` until the scan stops
// (false) or the input is complete and every block was taken (true). A paused scan is emptied
// all the same.
bool ConsumeScanBlocks(const std::atomic<uint32_t>* state, const std::function<void(const uint8_t*)>& handle);

// Count and slots, for tests and progress: the slot of the oldest block and of the newest
// (with an empty ring both name the slot used last).
struct ScanRingState {
  uint32_t count;
  uint32_t readIndex;
  uint32_t writeIndex;
};
ScanRingState GetScanRingState();
// The highest count seen since the ring was allocated.
uint32_t ScanRingHighWater();
