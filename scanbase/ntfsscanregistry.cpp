#include "scanbase/ntfsscanregistry.h"

#include <atomic>

#include "base/heap.h"

namespace {
std::atomic<DropMftHitsHook> g_dropHook{nullptr};
}

std::vector<MftExtentRange>& KnownMftExtents() {
  static auto& list = *new std::vector<MftExtentRange>;
  return list;
}

void ClearKnownMftExtents() { KnownMftExtents().clear(); }

uint8_t*& FreeSpaceMap() {
  static uint8_t*& map = *new uint8_t*(nullptr);
  return map;
}

uint32_t& FreeSpaceMapBytes() {
  static uint32_t& bytes = *new uint32_t(0);
  return bytes;
}

void ReleaseFreeSpaceMap() {
  if (FreeSpaceMap()) FreeMem(FreeSpaceMap());
  FreeSpaceMap() = nullptr;
  FreeSpaceMapBytes() = 0;
}

void SetDropMftHitsInRangeHook(DropMftHitsHook hook) { g_dropHook.store(hook); }

void DropMftHitsInRange(uint64_t startLba, uint64_t sectors) {
  if (DropMftHitsHook hook = g_dropHook.load()) hook(startLba, sectors);
}
