#include "deepscan/hitsizing.h"

#include "core/diskreader.h"
#include "core/volumecontext.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/filestartindex.h"
#include "scanbase/scanhitstore.h"

namespace {

constexpr uint8_t kLastFileKind = 176;
constexpr uint8_t kLastVideoKind = 220;
constexpr uint8_t kCancelledKind = 234;

uint64_t SaturatedEnd(uint64_t first, uint64_t count) {
  uint64_t end = 0;
  return __builtin_add_overflow(first, count, &end) ? UINT64_MAX : end;
}

// A block whose hits were stored: handled by this scan or by the saved scan it resumes. A
// block never handled has no list, and the neighbour walks stop there.
bool BlockHasList(const HitListArray& lists, uint64_t block) {
  return block < lists.size() && (!lists[size_t(block)].empty() || GetBlockState(block) == kBlockHandled);
}

// Hits that end the open-ended file before them: files and metadata, cancelled hits included;
// video sample candidates lie inside other files and do not.
bool EndsOpenFile(uint8_t kind) { return kind <= kLastFileKind || kind > kLastVideoKind; }

// Whether cluster c is free in the bitmap (one bit per cluster, least significant first, 1 in
// use); clusters beyond the map count as in use.
bool ClusterFree(const ScanAllocMapT& m, uint64_t c) {
  if (c / 8 >= m.length) return false;
  return ((m.buffer[c / 8] >> (c % 8)) & 1) == 0;
}

// Free clusters from first onward, at most limit of them, up to the first one in use.
uint64_t CountFreeClusters(const ScanAllocMapT& m, uint64_t first, uint64_t limit) {
  uint64_t n = 0;
  while (n < limit) {
    const uint64_t c = first + n;
    // Whole bytes of free clusters at a time: a long free stretch is common.
    if (c % 8 == 0 && limit - n >= 8 && c / 8 < m.length && m.buffer[c / 8] == 0) {
      n += 8;
      continue;
    }
    if (!ClusterFree(m, c)) break;
    ++n;
  }
  return n;
}

// In the deleted-files operations a file found in free space cannot go on into clusters the
// volume still uses: they hold another, living file.
uint64_t CutAtUsedCluster(const ScanAllocMapT& m, uint64_t lba, uint64_t size) {
  const ScanRangeT& r = ScanRange();
  if (lba < r.firstBlock || lba >= SaturatedEnd(r.lastBlock, kScanBlockSectors)) return size;
  if (lba < m.clusterArea) return size;
  const uint64_t clusterBytes = uint64_t(m.sectorsPerCluster) * kSectorBytes;
  const uint64_t first = (lba - m.clusterArea) / m.sectorsPerCluster;
  const uint64_t covered = size / clusterBytes + (size % clusterBytes != 0);
  const uint64_t freeBytes = CountFreeClusters(m, first, covered) * clusterBytes;
  return freeBytes > 0 && freeBytes < size ? freeBytes : size;
}

bool CutsAtUsedClusters(const ScanAllocMapT& m) {
  const uint32_t op = ScanTarget().operation;
  return (op == kOperationDeletedFiles || op == kOperationEmptiedRecycleBin) && m.fsType == kVolTypeNtfs &&
         m.buffer != nullptr && m.length != 0 && m.sectorsPerCluster != 0;
}

}  // namespace

bool IsOpenEndedFileHit(const SectorHit& h) {
  return h.kind <= kLastFileKind && h.size == 0 && h.endStatus != kHitNeedsMoreData && h.endStatus != kHitNotValid;
}

GatheredNeighbours GatherHitsWithNeighbours(uint64_t blockLba, std::span<const SectorHit> hits,
                                            std::vector<SectorHit>& out) {
  out.clear();
  GatheredNeighbours got;
  const VolumeContext& t = ScanTarget();
  const uint64_t first = t.firstLba;
  const uint64_t end = SaturatedEnd(t.firstLba, t.sectorCount);
  const HitListArray& lists = BlockHitLists();
  auto inTarget = [&](uint64_t lba) { return lba >= first && lba < end; };

  const uint64_t block = blockLba >> kHitBlockShift;
  if (blockLba >= kScanBlockSectors && first < blockLba) {
    for (uint64_t b = block; b-- > 0;) {
      if (!BlockHasList(lists, b)) break;
      const HitList& list = lists[size_t(b)];
      if (list.empty()) continue;
      if (inTarget(list.back().lba)) {
        out.push_back(list.back());
        got.leading = true;
      }
      break;
    }
  }
  for (const SectorHit& h : hits)
    if (inTarget(h.lba)) out.push_back(h);
  // The walk forward starts after the last block the hits come from: a run of blocks (a resumed
  // scan's stored hits) would otherwise bound itself with one of its own hits.
  const uint64_t lastBlock = hits.empty() ? block : std::max(block, uint64_t(hits.back().lba) >> kHitBlockShift);
  if (SaturatedEnd(lastBlock << kHitBlockShift, kScanBlockSectors) < end) {
    for (uint64_t b = lastBlock + 1; BlockHasList(lists, b) && (b << kHitBlockShift) < end; ++b) {
      const HitList& list = lists[size_t(b)];
      if (list.empty()) continue;
      if (inTarget(list.front().lba)) {
        out.push_back(list.front());
        got.boundary = true;
      }
      break;
    }
  }
  for (SectorHit& h : out)
    if (h.kind <= kLastFileKind && IsKnownFileStart(h.lba)) h.kind = kCancelledKind;
  return got;
}

void SizeOpenEndedHits(std::vector<SectorHit>& hits, bool sizeLast) {
  const VolumeContext& t = ScanTarget();
  const uint64_t targetEnd = SaturatedEnd(t.firstLba, t.sectorCount);
  const ScanAllocMapT& map = ScanAllocMap();
  const bool cut = CutsAtUsedClusters(map);
  // Backwards, so the next end is known at every element: one pass over any number of hits.
  uint64_t nextEnd = targetEnd;
  for (size_t i = hits.size(); i-- > 0;) {
    SectorHit& h = hits[i];
    const uint64_t lba = h.lba;
    if ((sizeLast || i + 1 < hits.size()) && h.kind <= kLastFileKind && h.size == 0) {
      const uint64_t sectors = nextEnd > lba ? std::min<uint64_t>(nextEnd - lba, kMaxOpenEndedSectors) : 0;
      uint64_t size = sectors * kSectorBytes;
      if (cut && size != 0) size = CutAtUsedCluster(map, lba, size);
      h.size = size;
    }
    if (EndsOpenFile(h.kind)) nextEnd = lba;
  }
}
