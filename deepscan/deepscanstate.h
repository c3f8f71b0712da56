// What a deep scan keeps between its blocks, and the scan's start and end: the state of every
// 16384-sector block of the device, the settings and block queue (deepscansettings.h,
// blockqueue.h), the hit lists (scanhitstore.h), the file start index (filestartindex.h) and
// the sector fill map (sectorfillmap.h).
//
// Parts that other components own are reached through hooks installed before a scan starts:
// the saved-scan offer and load, the carving core's pending window and the preview cache.
// Without a hook the step does nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/volumecontext.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscansettings.h"

// Block states: not read, taken by the reader (read or being read), handled by the consumer.
enum : uint8_t { kBlockUnread = 0, kBlockTaken = 1, kBlockHandled = 2 };

// One byte per block of the device. Bytes are read and written as relaxed atomics: each byte
// has one writer at a time (reader 0 → 1, consumer 1 → 2, the save offer 1 → 0), but progress
// readers look at any.
void AllocBlockStateMap(uint64_t blocks);
void FreeBlockStateMap();
uint64_t BlockStateCount();
uint8_t GetBlockState(uint64_t block);
void SetBlockState(uint64_t block, uint8_t state);
// A copy of the map (empty without one), taken under the lock that making and freeing the map
// take: safe from any thread while a scan starts or ends.
void CopyBlockStateMap(std::vector<uint8_t>& out);
// The map's bytes (null without a map), for the scan-state writer and loader.
uint8_t* BlockStateBytes();

// Whether the raw-sector classifier should also recognise FAT directory-entry sectors: FAT32
// targets, targets with a volume path below 0x5000000 sectors, else devices below 0x19000000.
bool WantsClassifyDirEntries(const VolumeContext& target);

// Hooks for what other components keep for a scan.
struct DeepScanHooks {
  // Offers the saved scans of the target and loads the chosen one (its block map through
  // AllocBlockStateMap/BlockStateBytes and its hits through StoreHitsByBlock). Returns 1 when
  // a state was loaded, 0 when none was chosen, -1 when the load failed.
  int (*loadSavedScan)(std::atomic<uint32_t>* state) = nullptr;
  // The carving core's pending window: made at scan start when missing (counters zeroed, the
  // pending list emptied), freed at the end.
  void (*preparePendingWindow)() = nullptr;
  void (*freePendingWindow)() = nullptr;
  // The preview worker's cache and queue.
  void (*clearPreviewCache)() = nullptr;
  void (*clearPreviewQueue)() = nullptr;
};
// Each owner installs its own hooks (null removes them); SetDeepScanHooks replaces all at once.
void SetScanStateLoadHook(int (*loadSavedScan)(std::atomic<uint32_t>* state));
void SetPendingWindowHooks(void (*prepare)(), void (*release)());
void SetPreviewCacheHooks(void (*clearCache)(), void (*clearQueue)());
void SetDeepScanHooks(const DeepScanHooks& hooks);
DeepScanHooks GetDeepScanHooks();

// Offers a saved scan of the target ("UseSaveData"), loads it or makes an empty block map
// ("LoadSaveDataFailed" when the load failed), then builds the block list.
void LoadScanStateHits(std::atomic<uint32_t>* state);

// The scan's start (on the scan thread, before the consumer starts): scan clock, hit lists
// (a device of size 0 is the fatal stop), stale index entries, saved-scan offer and block map,
// block list, file start index, ring, pending window, parse progress, registries and the lists
// the parsers keep, sector fill map, directory-entry classification, and the volume list.
void StartDeepScan(std::atomic<uint32_t>* state);
// The scan's end (on the consumer thread after its input loop): waits for the reader in 100 ms
// steps, then frees everything of the scan except the hit lists and the allocation map, which
// the end stages use (the consumer releases the map after them), and clears the volume list.
void EndDeepScan();
