#include "scanbase/scanhitstore.h"

#include <algorithm>
#include <cstddef>
#include <mutex>

#include "app/settings.h"
#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "core/volumecontext.h"
#include "platform/hooks.h"
#include "scanbase/knowndirlbas.h"
#include "scanbase/ntfsscanregistry.h"

namespace {
// Installed at start-up (or by a test before a parse), read by the parse thread.
SectorSignatureMatcher g_matcher{nullptr};

// Hits far beyond any device (a damaged LBA) are not kept: they would size the array.
constexpr uint64_t kMaxHitBlocks = uint64_t(1) << 34;

// Sectors of one MFT record: the drop list holds every second LBA of a known MFT extent.
constexpr uint64_t kMftRecordSectors = 2;

void FreeListDetails(HitList& list) {
  for (SectorHit& h : list) FreeSectorInfo(h);
}

void FreeAllLocked() {
  HitListArray& lists = BlockHitLists();
  for (HitList& list : lists) FreeListDetails(list);
  HitListArray().swap(lists);
}

bool InTarget(uint64_t lba, uint64_t first, uint64_t end) { return lba >= first && lba < end; }

void TargetBounds(uint64_t& first, uint64_t& end) {
  const VolumeContext& t = ScanTarget();
  first = t.firstLba;
  if (__builtin_add_overflow(t.firstLba, t.sectorCount, &end)) end = UINT64_MAX;
}

void StoreBlockHitsLocked(uint64_t block, std::span<const SectorHit> hits) {
  HitListArray& lists = BlockHitLists();
  if (block >= lists.size()) return;
  HitList& entry = lists[size_t(block)];
  // A block stored a second time: details the new hits do not take over are freed, so a
  // replaced list neither leaks nor leaves a detail freed twice.
  for (SectorHit& old : entry) {
    const bool kept = old.detail != nullptr && std::any_of(hits.begin(), hits.end(), [&](const SectorHit& h) {
      return h.detail == old.detail;
    });
    if (!kept) FreeSectorInfo(old);
  }
  HitList fresh(hits.begin(), hits.end());
  entry.swap(fresh);
}

}  // namespace

uint64_t DeviceBlockCount(uint64_t deviceSectors) {
  return deviceSectors / kScanBlockSectors + (deviceSectors % kScanBlockSectors != 0 ? 1 : 0);
}

HitListArray& BlockHitLists() {
  static auto& lists = *new HitListArray;
  return lists;
}

std::shared_mutex& BlockHitListsLock() {
  static auto& lock = *new std::shared_mutex;
  return lock;
}

void AllocBlockHitLists() {
  const uint64_t blocks = DeviceBlockCount(ScanTarget().deviceSectors);
  if (blocks == 0) {
    // A target whose device reports no sectors cannot be scanned, and the program says so and
    // stops. (A card reader without a card reports 0 sectors too.)
    ShowMessageBox(GetLangStr(u"DevSizeErr"));
    ExitOnException(1, u"Dev size failed!");
  }
  AllocBlockHitListsFor(blocks);
}

void AllocBlockHitListsFor(uint64_t blocks) {
  std::unique_lock<std::shared_mutex> g(BlockHitListsLock());
  FreeAllLocked();
  if (blocks > kMaxHitBlocks) blocks = kMaxHitBlocks;
  BlockHitLists().resize(size_t(blocks));
  SetDropMftHitsInRangeHook(&DropMftHitsInBlockLists);
}

void FreeBlockHitLists() {
  std::unique_lock<std::shared_mutex> g(BlockHitListsLock());
  FreeAllLocked();
}

uint64_t BlockHitListCount() {
  std::shared_lock<std::shared_mutex> g(BlockHitListsLock());
  return BlockHitLists().size();
}

void StoreBlockHits(uint64_t blockLba, std::span<const SectorHit> hits) {
  std::unique_lock<std::shared_mutex> g(BlockHitListsLock());
  StoreBlockHitsLocked(blockLba >> kHitBlockShift, hits);
}

bool StoreHitsByBlockUntil(std::span<const SectorHit> hits, HitStoreStopTest stop, void* context) {
  size_t runStart = 0;
  uint64_t runBlock = hits.empty() ? 0 : hits[0].lba >> kHitBlockShift;
  auto storeRun = [&](size_t runEnd) {
    // An empty run stores nothing: it must not wipe a list stored before.
    if (runEnd > runStart) StoreBlockHits(runBlock << kHitBlockShift, hits.subspan(runStart, runEnd - runStart));
  };
  for (size_t i = 0; i < hits.size(); ++i) {
    if (stop != nullptr && stop(context)) {
      storeRun(i);
      return false;
    }
    const uint64_t block = hits[i].lba >> kHitBlockShift;
    if (block != runBlock) {
      storeRun(i);
      runStart = i;
      runBlock = block;
    }
  }
  storeRun(hits.size());
  return true;
}

bool StoreHitsByBlock(StopWord state, std::span<const SectorHit> hits) {
  auto stopped = [](void* w) { return static_cast<const std::atomic<uint32_t>*>(w)->load() == 2; };
  return StoreHitsByBlockUntil(hits, state != nullptr ? +stopped : nullptr,
                               const_cast<void*>(static_cast<const void*>(state)));
}

void StoreBlockHit(const SectorHit& hit) {
  std::unique_lock<std::shared_mutex> g(BlockHitListsLock());
  HitListArray& lists = BlockHitLists();
  const uint64_t block = hit.lba >> kHitBlockShift;
  if (block >= kMaxHitBlocks) return;
  if (block >= lists.size()) lists.resize(size_t(block) + 1);
  lists[size_t(block)].push_back(hit);
}

void ClearBlockHitLists() {
  std::unique_lock<std::shared_mutex> g(BlockHitListsLock());
  HitListArray().swap(BlockHitLists());
}

void CollectHitsToVector(std::vector<SectorHit>& out, bool metadataOnly, bool inTarget) {
  uint64_t first = 0, end = UINT64_MAX;
  if (inTarget) TargetBounds(first, end);
  std::shared_lock<std::shared_mutex> g(BlockHitListsLock());
  for (const HitList& list : BlockHitLists()) {
    for (const SectorHit& h : list) {
      if (metadataOnly && h.kind <= 219) continue;
      if (inTarget && !InTarget(h.lba, first, end)) continue;
      out.push_back(h);
    }
  }
}

void CollectAllHits(std::vector<SectorHit>& out, bool inTarget) {
  out.clear();
  CollectHitsToVector(out, false, inTarget);
}

void CollectBootHitsInTarget(std::vector<SectorHit>& out) {
  uint64_t first = 0, end = 0;
  TargetBounds(first, end);
  std::shared_lock<std::shared_mutex> g(BlockHitListsLock());
  for (const HitList& list : BlockHitLists()) {
    for (const SectorHit& h : list) {
      const uint8_t k = h.kind;
      if (k != kKindNtfsBoot && k != kKindFat16Boot && k != kKindFat32Boot && k != kKindExfatBoot) continue;
      if (InTarget(h.lba, first, end)) out.push_back(h);
    }
  }
}

const SectorHit* FindHitAt(uint64_t lba, uint8_t kind) {
  const HitListArray& lists = BlockHitLists();
  const uint64_t block = lba >> kHitBlockShift;
  if (block >= lists.size()) return nullptr;
  for (const SectorHit& h : lists[size_t(block)])
    if (h.lba == lba && h.kind == kind) return &h;
  return nullptr;
}

void DropMftHitsInBlockLists(uint64_t first, uint64_t count) {
  if (count == 0) return;
  uint64_t end = 0;
  if (__builtin_add_overflow(first, count, &end)) end = UINT64_MAX;
  std::unique_lock<std::shared_mutex> g(BlockHitListsLock());
  HitListArray& lists = BlockHitLists();
  const uint64_t lastBlock = std::min<uint64_t>(end >> kHitBlockShift, lists.size() == 0 ? 0 : lists.size() - 1);
  for (uint64_t b = first >> kHitBlockShift; b < lists.size() && b <= lastBlock; ++b) {
    HitList& list = lists[size_t(b)];
    if (list.empty()) continue;
    HitList kept;
    for (SectorHit& h : list) {
      if (h.kind == kKindMftRecord && h.lba >= first && h.lba < end) FreeSectorInfo(h);
      else kept.push_back(h);
    }
    if (kept.empty()) HitList().swap(list);
    else list.swap(kept);
  }
}

void DropHitsAtKnownLbas(std::span<SectorHit> hits, std::span<const uint64_t> lbas) {
  std::vector<uint64_t> sorted(lbas.begin(), lbas.end());
  std::sort(sorted.begin(), sorted.end());
  size_t li = 0, hi = 0;
  while (hi < hits.size() && li < sorted.size()) {
    SectorHit& h = hits[hi];
    const uint8_t k = h.kind;
    if (k != kKindMftRecord && k != kKindIndexRecord && k != kKindFatDirEntries && k != kKindExfatDirEntries) {
      ++hi;
      continue;
    }
    const uint64_t lba = h.lba;
    if (lba == sorted[li]) {
      h.kind = kTypeNone;
      ++li;
      ++hi;
    } else if (sorted[li] < lba) {
      ++li;
    } else {
      ++hi;
    }
  }
}

void DropHitsOfParsedMfts(std::span<SectorHit> hits) {
  DropHitsAtKnownLbas(hits, KnownIndxLbas());
  // The records of a known MFT start at every second sector of its extents. The extents are
  // tested directly rather than spelled out as LBAs: one damaged extent length could stand for
  // billions of them.
  const std::vector<MftExtentRange>& extents = KnownMftExtents();
  for (SectorHit& h : hits) {
    const uint8_t k = h.kind;
    if (k != kKindMftRecord && k != kKindIndexRecord && k != kKindFatDirEntries && k != kKindExfatDirEntries) continue;
    const uint64_t lba = h.lba;
    for (const MftExtentRange& e : extents) {
      if (lba < e.startLba || lba - e.startLba >= e.sectors) continue;
      if ((lba - e.startLba) % kMftRecordSectors != 0) continue;
      h.kind = kTypeNone;
      break;
    }
  }
  DropHitsAtKnownLbas(hits, KnownExfatDirLbas());
}

void SetSectorSignatureMatcher(SectorSignatureMatcher matcher) { g_matcher = matcher; }

bool MatchSectorSignatureForParser(const uint8_t* sector, uint32_t& typeId, uint64_t lba) {
  typeId = 234;
  if (!g_matcher) return false;
  return g_matcher(sector, typeId, lba);
}
