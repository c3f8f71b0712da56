#include "deepscan/scanblockring.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "base/heap.h"

std::atomic<uint32_t> ReaderDone{0};

namespace {

constexpr size_t kTrailerOffset = kScanBlockDataBytes;

struct Ring {
  std::mutex lock;
  std::condition_variable moved;  // a block was put or taken, or someone asked for a wake-up
  uint8_t* slots = nullptr;
  uint32_t count = 0;
  uint32_t readIndex = 0;
  uint32_t writeIndex = 0;
  // A slot being filled (put) or emptied (take) outside the lock; one of each at most, as
  // there is one producer and one consumer.
  bool putBusy = false;
  bool takeBusy = false;
  uint32_t highWater = 0;
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
  void* slots = AllocMem(uint64_t(kScanRingSlots) * kScanBlockBytes, 16);
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  r.slots = static_cast<uint8_t*>(slots);
  r.count = r.readIndex = r.writeIndex = 0;
  r.highWater = 0;
}

void FreeScanBlockRing() {
  Ring& r = TheRing();
  uint8_t* old = nullptr;
  {
    std::unique_lock<std::mutex> g(r.lock);
    // A copy in flight finishes first; the scan frees the ring only after the reader is done
    // and the consumer has left its loop, so this wait is short.
    r.moved.wait(g, [&] { return !r.putBusy && !r.takeBusy; });
    old = r.slots;
    r.slots = nullptr;
    r.count = r.readIndex = r.writeIndex = 0;
  }
  r.moved.notify_all();
  if (old != nullptr) FreeMem(old);
}

bool ScanBlockRingExists() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  return r.slots != nullptr;
}

bool PutScanBlock(const uint8_t* block) {
  Ring& r = TheRing();
  uint32_t slot;
  uint8_t* dest;
  {
    std::lock_guard<std::mutex> g(r.lock);
    if (r.slots == nullptr || r.count >= kScanRingSlots || r.putBusy) return false;
    // With an empty ring both indexes name the slot used last, which is filled again.
    slot = r.count == 0 ? r.writeIndex : (r.writeIndex + 1) % kScanRingSlots;
    dest = r.slots + size_t(slot) * kScanBlockBytes;
    r.putBusy = true;
  }
  std::memcpy(dest, block, kScanBlockBytes);
  {
    std::lock_guard<std::mutex> g(r.lock);
    r.putBusy = false;
    // A take may have emptied the ring meanwhile; the new block is then the oldest one too.
    if (r.count == 0) r.readIndex = slot;
    r.writeIndex = slot;
    ++r.count;
    if (r.count > r.highWater) r.highWater = r.count;
  }
  r.moved.notify_all();
  return true;
}

bool TakeScanBlock(uint8_t* staging) {
  Ring& r = TheRing();
  const uint8_t* src;
  {
    std::lock_guard<std::mutex> g(r.lock);
    if (r.slots == nullptr || r.count == 0 || r.takeBusy) return false;
    src = r.slots + size_t(r.readIndex) * kScanBlockBytes;
    r.takeBusy = true;
  }
  // The slot stays counted while it is copied, so the producer cannot reach it.
  CopyToMem(staging, src, kScanBlockBytes, 62);
  {
    std::lock_guard<std::mutex> g(r.lock);
    r.takeBusy = false;
    --r.count;
    if (r.count != 0) r.readIndex = (r.readIndex + 1) % kScanRingSlots;
  }
  r.moved.notify_all();
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
  if (r.slots != nullptr && r.count < kScanRingSlots && !r.putBusy) return;
  r.moved.wait_for(g, std::chrono::milliseconds(ms));
}

void NotifyScanRing() { TheRing().moved.notify_all(); }

ScanRingState GetScanRingState() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  return {r.count, r.readIndex, r.writeIndex};
}

uint32_t ScanRingHighWater() {
  Ring& r = TheRing();
  std::lock_guard<std::mutex> g(r.lock);
  return r.highWater;
}
