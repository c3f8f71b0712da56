#include "deepscan/scanblockring.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "base/heap.h"
#include "scanbase/scanrun.h"

std::atomic<uint32_t> ReaderDone{0};

namespace {

constexpr size_t kTrailerOffset = kScanBlockDataBytes;
constexpr uint32_t kNoSlot = UINT32_MAX;

struct Ring {
  std::mutex lock;
  std::condition_variable moved;  // a block was put or taken, or someone asked for a wake-up
  uint8_t* slots = nullptr;
  // The filled slots, oldest first: a circle of count entries from head. The oldest stays
  // here while the consumer works on it.
  uint32_t filled[kScanRingSlots] = {};
  uint32_t head = 0;
  uint32_t count = 0;
  // The free slots as a stack: the one freed last is on top and is filled next.
  uint32_t freeSlots[kScanRingSlots] = {};
  uint32_t freeCount = 0;
  // The slot the producer fills and whether the consumer works on the oldest block; one of
  // each at most, as there is one producer and one consumer.
  uint32_t putSlot = kNoSlot;
  bool takeBusy = false;
  uint32_t lastPut = 0;
  uint32_t highWater = 0;

  void Reset() {
    head = count = 0;
    // Slot 0 on top, so the first block goes into the first slot.
    freeCount = kScanRingSlots;
    for (uint32_t i = 0; i < kScanRingSlots; ++i) freeSlots[i] = kScanRingSlots - 1 - i;
    putSlot = kNoSlot;
    takeBusy = false;
    lastPut = 0;
  }
  uint8_t* Slot(uint32_t i) const { return slots + size_t(i) * kScanBlockBytes; }
};

Ring& TheRing() {
  static Ring& r = *new Ring();
  return r;
}

}  // namespace

uint64_t ScanBlockLba(const uint8_t* block) {
  uint64_t v;
  std::memcpy(&v, block + kTrailerOffset + offsetof(ScanBlockTrailer, lba), 8);
  return v;
}

int32_t ScanBlockReadResult(const uint8_t* block) {
  int32_t v;
  std::memcpy(&v, block + kTrailerOffset + offsetof(ScanBlockTrailer, readResult), 4);
  return v;
}

void ResetScanBlock(uint8_t* block, uint64_t lba) {
  std::memset(block, 0, kScanBlockBytes);
  std::memcpy(block + kTrailerOffset + offsetof(ScanBlockTrailer, lba), &lba, 8);
}

void ResetScanBlockTrailer(uint8_t* block, uint64_t lba) {
  std::memset(block + kTrailerOffset, 0, kSectorBytes);
  std::memcpy(block + kTrailerOffset + offsetof(ScanBlockTrailer, lba), &lba, 8);
}

void SetScanBlockReadResult(uint8_t* block, int32_t result) {
  std::memcpy(block + kTrailerOffset + offsetof(ScanBlockTrailer, readResult), &result, 4);
}

void AllocScanBlockRing() {
  FreeScanBlockRing();
  // The guarded heap hands out zero pages that are only paid for when first written: a scan
  // whose consumer keeps up touches no more than the few slots it cycles through.
  void* slots = AllocMem(uint64_t(kScanRingSlots) * kScanBlockBytes, 16);
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  r.slots = static_cast<uint8_t*>(slots);
  r.Reset();
  r.highWater = 0;
}

void FreeScanBlockRing() {
  Ring& r = TheRing();
  uint8_t* old = nullptr;
  {
    std::unique_lock<std::mutex> g(r.lock);
    // A block being filled or examined is finished first; the scan frees the ring only after
    // the reader is done and the consumer has left its loop, so this wait is short.
    r.moved.wait(g, [&] { return r.putSlot == kNoSlot && !r.takeBusy; });
    old = r.slots;
    r.slots = nullptr;
    r.Reset();
  }
  r.moved.notify_all();
  if (old != nullptr) FreeMem(old);
}

bool ScanBlockRingExists() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  return r.slots != nullptr;
}

uint8_t* BeginPutScanBlock() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  if (r.slots == nullptr || r.freeCount == 0 || r.putSlot != kNoSlot) return nullptr;
  r.putSlot = r.freeSlots[--r.freeCount];
  return r.Slot(r.putSlot);
}

void EndPutScanBlock(bool publish) {
  Ring& r = TheRing();
  {
    std::lock_guard<std::mutex> g(r.lock);
    if (r.putSlot == kNoSlot) return;
    if (publish) {
      r.filled[(r.head + r.count) % kScanRingSlots] = r.putSlot;
      ++r.count;
      r.lastPut = r.putSlot;
      if (r.count > r.highWater) r.highWater = r.count;
    } else {
      r.freeSlots[r.freeCount++] = r.putSlot;
    }
    r.putSlot = kNoSlot;
  }
  r.moved.notify_all();
}

const uint8_t* BeginTakeScanBlock() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  if (r.slots == nullptr || r.count == 0 || r.takeBusy) return nullptr;
  r.takeBusy = true;
  return r.Slot(r.filled[r.head]);
}

void EndTakeScanBlock() {
  Ring& r = TheRing();
  {
    std::lock_guard<std::mutex> g(r.lock);
    if (!r.takeBusy) return;
    r.takeBusy = false;
    r.freeSlots[r.freeCount++] = r.filled[r.head];
    r.head = (r.head + 1) % kScanRingSlots;
    --r.count;
  }
  r.moved.notify_all();
}

bool PutScanBlock(const uint8_t* block) {
  uint8_t* slot = BeginPutScanBlock();
  if (slot == nullptr) return false;
  std::memcpy(slot, block, kScanBlockBytes);
  EndPutScanBlock(true);
  return true;
}

bool TakeScanBlock(uint8_t* staging) {
  const uint8_t* block = BeginTakeScanBlock();
  if (block == nullptr) return false;
  CopyToMem(staging, block, kScanBlockBytes, 62);
  EndTakeScanBlock();
  return true;
}

void WaitForScanBlock(uint32_t ms) {
  Ring& r = TheRing();
  std::unique_lock<std::mutex> g(r.lock);
  if (r.slots != nullptr && r.count != 0 && !r.takeBusy) return;
  r.moved.wait_for(g, std::chrono::milliseconds(ms));
}

void WaitForScanSlot(uint32_t ms) {
  Ring& r = TheRing();
  std::unique_lock<std::mutex> g(r.lock);
  if (r.slots != nullptr && r.freeCount != 0 && r.putSlot == kNoSlot) return;
  r.moved.wait_for(g, std::chrono::milliseconds(ms));
}

void NotifyScanRing() { TheRing().moved.notify_all(); }

ScanRingState GetScanRingState() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  return {r.count, r.count != 0 ? r.filled[r.head] : r.lastPut, r.lastPut};
}

uint32_t ScanRingHighWater() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  return r.highWater;
}

bool ConsumeScanBlocks(const std::atomic<uint32_t>* state, const std::function<void(const uint8_t*)>& handle) {
  constexpr uint32_t kRingEmptyWaitMs = 100;
  for (;;) {
    // The state is read before the take: once it reads kScanInputDone every block was put
    // before it, so an empty ring then means the input is complete.
    const uint32_t s = state->load();
    if (s == kScanStopped) return false;
    if (const uint8_t* block = BeginTakeScanBlock()) {
      handle(block);
      EndTakeScanBlock();
      continue;
    }
    if (s == kScanInputDone) return true;
    WaitForScanBlock(kRingEmptyWaitMs);
  }
}
