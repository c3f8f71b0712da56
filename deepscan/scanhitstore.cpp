#include "deepscan/scanhitstore.h"

#include <cstddef>

#include "deepscan/sectorsignature.h"

namespace {
// Written by tests before a parse, read by the parse thread.
SectorSignatureMatcher g_matcher{&MatchSectorSignature};
}  // namespace

std::vector<std::vector<SectorHit>>& BlockHitLists() {
  static auto& lists = *new std::vector<std::vector<SectorHit>>;
  return lists;
}

void StoreBlockHit(const SectorHit& hit) {
  auto& lists = BlockHitLists();
  const uint64_t block = hit.lba >> kHitBlockShift;
  // A hit far beyond any device (a damaged LBA) is not kept: it would size the array.
  if (block >= (uint64_t(1) << 34)) return;
  if (block >= lists.size()) lists.resize(size_t(block) + 1);
  lists[size_t(block)].push_back(hit);
}

void ClearBlockHitLists() {
  auto& lists = BlockHitLists();
  lists.clear();
  lists.shrink_to_fit();
}

void CollectAllHits(std::vector<SectorHit>& out) {
  out.clear();
  for (const auto& list : BlockHitLists()) out.insert(out.end(), list.begin(), list.end());
}

const SectorHit* FindHitAt(uint64_t lba, uint8_t kind) {
  const auto& lists = BlockHitLists();
  const uint64_t block = lba >> kHitBlockShift;
  if (block >= lists.size()) return nullptr;
  for (const SectorHit& h : lists[size_t(block)])
    if (h.lba == lba && h.kind == kind) return &h;
  return nullptr;
}

SectorFillMapT& SectorFillMap() {
  static auto& m = *new SectorFillMapT;
  return m;
}

// Null puts the deep scan's own matcher back.
void SetSectorSignatureMatcher(SectorSignatureMatcher matcher) { g_matcher = matcher ? matcher : &MatchSectorSignature; }

bool MatchSectorSignatureForParser(const uint8_t* sector, uint32_t& typeId, uint64_t lba) {
  typeId = 234;
  if (!g_matcher) return false;
  return g_matcher(sector, typeId, lba);
}
