#include "deepscan/pendingwindow.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "base/heap.h"
#include "core/filetypetable.h"
#include "deepscan/carvedfound.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/fileend.h"
#include "scanbase/hitdetail.h"
#include "scanbase/scanhitstore.h"

namespace {

constexpr unsigned kWindowTag = 4106;
constexpr uint64_t kSpareBlocks = 4;  // a copy back every 5 slides: 2.2 blocks moved per block, not 11
constexpr uint64_t kBufferBlocks = kCarveWindowBlocks + kSpareBlocks;
constexpr uint64_t kBufferBytes = kBufferBlocks * kCarveBlockBytes;
constexpr uint64_t kSlideBytes = (kCarveWindowBlocks - 1) * kCarveBlockBytes;
static_assert(kBufferBytes <= UINT32_MAX, "block offsets in the window buffer are 32-bit");

void AllocWindow(CarveWindowT& w) {
  if (w.base) return;
  w.base = static_cast<uint8_t*>(AllocMem(kBufferBytes, kWindowTag));
  w.buffer = w.base;
  w.startBlock = 0;
}

bool IsFileKind(int32_t kind) { return kind >= 0 && kind <= 176; }
bool IsMetadataKind(int32_t kind) { return kind >= 221 && kind <= 232; }
// Files, and the sample chains of the video mode: both are worth what the input holds up to
// its end (a chain in the last blocks of a card is as real as one before them).
bool DecidedAtInputEnd(int32_t kind) { return IsFileKind(kind) || kind == 203; }

// Types whose resolved details (document, MP3 or camera metadata) replace their hit's detail.
bool KeepsDetails(int32_t type) {
  switch (type) {
    case 36: case 37: case 38: case 87: case 89: case 90: case 54:
      return true;
    default:
      return IsPhotoType(type);
  }
}

// A candidate's detail that no hit keeps, released by the rule of its kind (with the kind's
// releaser for details that own further blocks). Index records (225) hold a number.
void FreeDetails(int32_t kind, void* details) {
  if (!details || kind < 0 || kind > 255 || kind == 225) return;
  SectorHit owner{uint8_t(kind), uint8_t(kEndKnown), 0, 0, details};
  if (HitDetailOwner(owner.kind, owner.endStatus) == HitDetailOwnership::kBlock)
    FreeSectorInfo(owner);
  else
    FreeMem(details);
}

// The hit a candidate speaks for: a video candidate (200-209) only the hit of its own kind, a
// file candidate the first file hit at its LBA, a metadata candidate the hit of its own kind.
// Other hits that share the sector (a photo at a block's first sector under a sample chain)
// are never touched.
SectorHit* FindCandidateHit(const CarveCandidate& c) {
  auto& lists = BlockHitLists();
  const uint64_t block = c.startLba >> kHitBlockShift;
  if (block >= lists.size()) return nullptr;
  for (SectorHit& h : lists[block]) {
    if (h.lba != c.startLba) continue;
    if (IsFileKind(c.typeId) ? IsFileKind(h.kind) : h.kind == c.typeId) return &h;
  }
  return nullptr;
}

// Gives the hit a new detail; what the old one owned is freed unless it is the same block.
void ReplaceHitDetail(SectorHit& h, void* details) {
  if (h.detail && h.detail != details) {
    SectorHit old = h;
    FreeSectorInfo(old);
  }
  h.detail = details;
}

void InsertMetadataHit(const CarveCandidate& c) {
  const SectorHit hit{uint8_t(c.typeId), uint8_t(c.status), c.startLba, c.size, c.details};
  auto& lists = BlockHitLists();
  const uint64_t block = c.startLba >> kHitBlockShift;
  if (block >= lists.size()) {
    // Only lists built without a scan (tests) lack the block: a scan has one entry per block.
    if (block >= (uint64_t(1) << 34)) {
      FreeDetails(c.typeId, c.details);
      return;
    }
    lists.resize(size_t(block) + 1);
  }
  auto& list = lists[block];
  auto at = list.begin();
  while (at != list.end() && at->lba <= c.startLba) ++at;
  list.insert(at, hit);
}

// A candidate whose end was decided (5, 6 or 0): reported, then its hit updated under the
// hit-list lock (the scan-state writer may read the lists from another thread).
void ResolveCandidate(CarveCandidate& c) {
  OnCarvedFileFound(c);
  std::unique_lock<std::shared_mutex> lock(BlockHitListsLock());
  SectorHit* h = FindCandidateHit(c);
  if (!h) {
    if (IsMetadataKind(c.typeId)) {
      InsertMetadataHit(c);
      return;
    }
    FreeDetails(c.typeId, c.details);
    return;
  }
  // The old detail is released by the rule of the hit as it was, before it changes.
  if (c.typeId == 201 || c.typeId == 203) {
    ReplaceHitDetail(*h, c.details);
    h->endStatus = uint8_t(c.status);
    return;
  }
  if (c.details && KeepsDetails(c.typeId)) ReplaceHitDetail(*h, c.details);
  h->kind = uint8_t(c.typeId);
  h->endStatus = uint8_t(c.status);
  h->size = c.size;
  if (c.details && c.details != h->detail) FreeDetails(c.typeId, c.details);
}

// A candidate whose missing data will not come. Its file hit is kept as a file of unknown end
// (status 0, sized up to the next hit) rather than lost with status 3.
void DropCandidate(CarveCandidate& c) {
  std::unique_lock<std::shared_mutex> lock(BlockHitListsLock());
  SectorHit* h = FindCandidateHit(c);
  if (h && IsFileKind(h->kind) && h->endStatus == kEndNeedsMore) h->endStatus = uint8_t(kEndNotDetected);
  if (c.details && (!h || h->detail != c.details)) FreeDetails(c.typeId, c.details);
  c.details = nullptr;
}

// Puts the block into the window: appended behind a window that ends just before it, the
// window slid by one block when it is full, or a new window started with it.
void PlaceBlock(const uint8_t* block, uint64_t blockLba) {
  CarveWindowT& w = CarveWindow();
  AllocWindow(w);
  const bool follows = w.blockCount > 0 && blockLba == w.lastLba + 1;
  if (follows && w.blockCount == kCarveWindowBlocks) {
    // Slide by one block: forward inside the buffer while spare blocks remain, else the
    // window's newest eleven blocks go back to the front.
    if (w.startBlock + kCarveWindowBlocks < kBufferBlocks) {
      ++w.startBlock;
    } else {
      std::memmove(w.base, w.base + (w.startBlock + 1) * kCarveBlockBytes, kSlideBytes);
      w.startBlock = 0;
    }
    w.firstLba += kCarveBlockSectors;
  } else if (follows) {
    ++w.blockCount;
  } else {
    w.startBlock = 0;
    w.firstLba = blockLba;
    w.blockCount = 1;
  }
  w.buffer = w.base + w.startBlock * kCarveBlockBytes;
  const uint64_t slot = w.startBlock + w.blockCount - 1;
  CopyToMemAt(w.base, uint32_t(slot * kCarveBlockBytes), block, kCarveBlockBytes, kWindowTag);
  w.lastLba = w.firstLba + w.blockCount * kCarveBlockSectors - 1;
}

void InsertSorted(std::list<CarveCandidate>& list, const CarveCandidate& c) {
  auto at = list.end();
  // Behind every candidate with an equal or smaller first needed LBA; new candidates usually
  // need later data than those waiting, so the search runs from the back.
  while (at != list.begin() && std::prev(at)->firstNeededLba > c.firstNeededLba) --at;
  list.insert(at, c);
}

}  // namespace

std::list<CarveCandidate>& PendingCandidateList() {
  static auto& list = *new std::list<CarveCandidate>();
  return list;
}

CarveWindowT& CarveWindow() {
  static auto& w = *new CarveWindowT();
  return w;
}

void BeginPendingWindow() {
  PendingCandidateList().clear();
  CarveWindowT& w = CarveWindow();
  AllocWindow(w);
  w.buffer = w.base;
  w.startBlock = 0;
  w.firstLba = w.lastLba = 0;
  w.blockCount = 0;
}

void EndPendingWindow() {
  auto& list = PendingCandidateList();
  for (CarveCandidate& c : list) DropCandidate(c);
  list.clear();
  CarveWindowT& w = CarveWindow();
  if (w.base) FreeMem(w.base);
  w = CarveWindowT();
}

uint64_t EarliestPendingStartLba() {
  uint64_t lba = UINT64_MAX;
  for (const CarveCandidate& c : PendingCandidateList()) lba = std::min(lba, c.startLba);
  return lba;
}

void ResolvePendingAtInputEnd(uint64_t inputEndLba) {
  const CarveWindowT& w = CarveWindow();
  if (!w.buffer || w.blockCount == 0 || inputEndLba == 0) return;
  // The window must hold every sector from a candidate's first needed one to the input's end.
  if (inputEndLba - 1 > w.lastLba) return;
  auto& list = PendingCandidateList();
  for (auto it = list.begin(); it != list.end();) {
    CarveCandidate& c = *it;
    if (!DecidedAtInputEnd(c.typeId) || c.firstNeededLba < w.firstLba || c.firstNeededLba >= inputEndLba ||
        DetectFileEndAtInputEnd(c, w.firstLba, w.buffer, w.blockCount * kCarveBlockBytes, inputEndLba) ==
            kEndNeedsMore) {
      ++it;
      continue;
    }
    ResolveCandidate(c);
    it = list.erase(it);
  }
}

bool AddPendingCandidate(const CarveCandidate& c) {
  if (c.endNeededLba < c.firstNeededLba || c.endNeededLba - c.firstNeededLba > kMaxNeededSectors) return false;
  InsertSorted(PendingCandidateList(), c);
  return true;
}

void AdvancePendingWindow(const uint8_t* block, uint64_t blockLba) {
  auto& list = PendingCandidateList();
  const uint64_t blockLast = blockLba + kCarveBlockSectors - 1;
  bool needed = false;
  for (auto it = list.begin(); it != list.end();) {
    // The list is ordered by first needed LBA: nothing from here on can touch this block.
    if (it->firstNeededLba > blockLast) break;
    const bool reversed = it->firstNeededLba > it->endNeededLba;
    // A range below this block is lost only once its last block was handled. Blocks taken from
    // the queue jump ahead of the sequential pass, which still brings the range's blocks later.
    const bool passed = it->endNeededLba < blockLba &&
                        GetBlockState(it->endNeededLba / kCarveBlockSectors) == kBlockHandled;
    if (reversed || passed) {
      DropCandidate(*it);
      it = list.erase(it);
      continue;
    }
    // Only a block inside a candidate's range goes into the window: a block that jumped ahead
    // would otherwise restart the window and lose what the waiting candidates already hold.
    if (it->endNeededLba >= blockLba) needed = true;
    ++it;
  }
  if (needed) RetryPendingCandidates(block, blockLba);
}

void RetryPendingCandidates(const uint8_t* block, uint64_t blockLba) {
  PlaceBlock(block, blockLba);
  const CarveWindowT& w = CarveWindow();
  auto& list = PendingCandidateList();
  // One pass decides every candidate the window can decide: resolving one candidate changes
  // nothing another one reads, and a candidate that still needs data would need it again.
  for (auto it = list.begin(); it != list.end();) {
    CarveCandidate& c = *it;
    if (c.firstNeededLba < w.firstLba || c.endNeededLba > w.lastLba || c.firstNeededLba > c.endNeededLba) {
      ++it;
      continue;
    }
    if (DetectFileEnd(c, w.firstLba, w.buffer, w.blockCount * kCarveBlockBytes) == kEndNeedsMore) {
      ++it;
      continue;
    }
    ResolveCandidate(c);
    it = list.erase(it);
  }
  // Walking rules moved their needed ranges; keep the order that AdvancePendingWindow relies on.
  list.sort([](const CarveCandidate& a, const CarveCandidate& b) { return a.firstNeededLba < b.firstNeededLba; });
}
