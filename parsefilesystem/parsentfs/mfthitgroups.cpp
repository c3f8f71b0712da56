#include "parsefilesystem/parsentfs/mfthitgroups.h"

#include <algorithm>

#include "core/filetypetable.h"
#include "scanbase/ntfsscanregistry.h"

namespace {

constexpr uint64_t kBlockSectors = 16384;

std::vector<MftHitGroup>& Groups() {
  static std::vector<MftHitGroup>& g = *new std::vector<MftHitGroup>();
  return g;
}

// Index of the first group of the block, or SIZE_MAX.
size_t FindGroup(uint64_t blockLba) {
  const std::vector<MftHitGroup>& g = Groups();
  auto it = std::lower_bound(g.begin(), g.end(), blockLba,
                             [](const MftHitGroup& a, uint64_t lba) { return a.blockLba < lba; });
  return (it != g.end() && it->blockLba == blockLba) ? size_t(it - g.begin()) : SIZE_MAX;
}

// Moves the hits of groups [first, last] into out and drops the groups.
bool TakeGroups(size_t first, size_t last, std::vector<SectorHit>& out) {
  std::vector<MftHitGroup>& g = Groups();
  out.clear();
  for (size_t i = first; i <= last; ++i) out.insert(out.end(), g[i].hits.begin(), g[i].hits.end());
  g.erase(g.begin() + ptrdiff_t(first), g.begin() + ptrdiff_t(last) + 1);
  return KeepMftHitsOutsideKnownMfts(out);
}

}  // namespace

void StoreMftHitGroup(uint64_t blockLba, uint32_t mftHits, const std::vector<SectorHit>& hits) {
  MftHitGroup group;
  group.blockLba = blockLba;
  group.mftHits = mftHits;
  for (const SectorHit& h : hits)
    if (h.kind == kKindMftRecord) group.hits.push_back(h);
  std::vector<MftHitGroup>& g = Groups();
  auto at = std::upper_bound(g.begin(), g.end(), blockLba,
                             [](uint64_t lba, const MftHitGroup& a) { return lba < a.blockLba; });
  g.insert(at, std::move(group));
}

bool TakeMftHitsBeforeBlock(uint64_t blockLba, std::vector<SectorHit>& out, MftBlockOpenTest open) {
  out.clear();
  const std::vector<MftHitGroup>& g = Groups();
  if (g.empty() || blockLba < kBlockSectors || g.front().blockLba > blockLba) return false;
  size_t last = FindGroup(blockLba - kBlockSectors);
  if (last == SIZE_MAX) return false;
  // A block stored twice has two groups: the run takes both.
  while (last + 1 < g.size() && g[last + 1].blockLba == g[last].blockLba) ++last;
  size_t first = last;
  while (first > 0 && (g[first - 1].blockLba + kBlockSectors == g[first].blockLba ||
                       g[first - 1].blockLba == g[first].blockLba))
    --first;
  const uint64_t before = g[first].blockLba;
  if (before >= kBlockSectors && open != nullptr && open(before - kBlockSectors)) return false;
  return TakeGroups(first, last, out);
}

bool TakeMftHitsAfterBlock(uint64_t blockLba, std::vector<SectorHit>& out, MftBlockOpenTest open) {
  out.clear();
  const std::vector<MftHitGroup>& g = Groups();
  if (g.empty() || g.back().blockLba <= blockLba || blockLba > UINT64_MAX - 2 * kBlockSectors) return false;
  const size_t first = FindGroup(blockLba + kBlockSectors);
  if (first == SIZE_MAX) return false;
  // A block stored twice has two groups: the run goes on over both.
  size_t last = first;
  while (last + 1 < g.size() && (g[last + 1].blockLba == g[last].blockLba + kBlockSectors ||
                                 g[last + 1].blockLba == g[last].blockLba))
    ++last;
  const uint64_t after = g[last].blockLba;
  if (after <= UINT64_MAX - kBlockSectors && open != nullptr && open(after + kBlockSectors)) return false;
  return TakeGroups(first, last, out);
}

bool KeepMftHitsOutsideKnownMfts(std::vector<SectorHit>& hits) {
  if (hits.empty()) return false;
  const std::vector<MftExtentRange>& extents = KnownMftExtents();
  uint64_t low = UINT64_MAX, high = 0;
  for (const SectorHit& h : hits) {
    const uint64_t lba = h.lba;  // by value: the member is packed
    low = std::min(low, lba);
    high = std::max(high, lba);
  }
  for (const MftExtentRange& e : extents) {
    uint64_t end = 0;  // last sector of the extent; a hostile length saturates
    if (__builtin_add_overflow(e.startLba, e.sectors - 1, &end)) end = UINT64_MAX;
    if (e.sectors == 0 || e.startLba > high || end < low) continue;
    for (SectorHit& h : hits) {
      const uint64_t lba = h.lba;
      if (lba >= e.startLba && lba - e.startLba < e.sectors) {
        h.kind = kTypeNone;
        h.detail = nullptr;
      }
    }
  }
  std::erase_if(hits, [](const SectorHit& h) { return h.kind != kKindMftRecord; });
  return !hits.empty();
}

void ClearMftHitGroups() { Groups().clear(); }

const std::vector<MftHitGroup>& MftHitGroups() { return Groups(); }
