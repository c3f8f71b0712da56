#include "parsefilesystem/parsefat/fatextents.h"

#include <vector>

#include "parsefilesystem/parsefat/fatformat.h"

namespace {

// A deleted file passes over at most this many clusters in use before it gives up: its data
// does not lie that far behind its start.
constexpr uint64_t kMaxPassedClusters = uint64_t(1) << 20;
// Chains longer than this keep their visited clusters in a bitmap; shorter ones look them up in
// the runs they gave.
constexpr uint64_t kRunLookupSteps = 256;

void Append(DataExtentList& out, const FatGeometry& g, uint64_t cluster) {
  const uint64_t lba = FatClusterLba(g, cluster);
  if (!out.empty() && out.back().startLba + out.back().sectorCount == lba)
    out.back().sectorCount += g.sectorsPerCluster;
  else
    out.push_back(DataExtent{0, 0, lba, g.sectorsPerCluster});
}

// The clusters a chain has given: looked up in its runs while it is short, then in a bitmap of
// the volume's clusters. The bitmap belongs to the thread and is kept between files; only the
// words a walk set are cleared after it, so a walk costs its own length, never the volume's.
class Visited {
 public:
  explicit Visited(const FatGeometry& g) : g_(g) {}
  ~Visited() {
    for (uint64_t w : touched_) Bits()[w] = 0;
  }
  bool Seen(const DataExtentList& runs, uint64_t cluster) const {
    if (usingBits_) return (Bits()[cluster / 64] >> (cluster % 64)) & 1;
    const uint64_t lba = FatClusterLba(g_, cluster);
    for (const DataExtent& e : runs)
      if (lba >= e.startLba && lba - e.startLba < e.sectorCount) return true;
    return false;
  }
  void Add(const DataExtentList& runs, uint64_t cluster, uint64_t steps) {
    if (!usingBits_ && steps >= kRunLookupSteps) {
      const size_t words = size_t((LastFatCluster(g_) + 64) / 64);
      if (Bits().size() < words) Bits().resize(words, 0);
      usingBits_ = true;
      for (const DataExtent& e : runs)
        for (uint64_t s = 0; s < e.sectorCount; s += g_.sectorsPerCluster) Mark((e.startLba + s - g_.dataStart) / g_.sectorsPerCluster + 2);
    }
    if (usingBits_) Mark(cluster);
  }

 private:
  static std::vector<uint64_t>& Bits() {
    thread_local std::vector<uint64_t> bits;
    return bits;
  }
  void Mark(uint64_t c) {
    uint64_t& w = Bits()[c / 64];
    if (w == 0) touched_.push_back(c / 64);
    w |= uint64_t(1) << (c % 64);
  }
  const FatGeometry& g_;
  bool usingBits_ = false;
  std::vector<uint64_t> touched_;
};

bool IsChainEnd(uint32_t type, uint32_t entry) {
  // 0xFFF7 / 0x0FFFFFF7 mark a bad cluster; from 0xFFF8 / 0x0FFFFFF8 on the chain ends.
  if (type == kVolTypeFat16) return entry >= 0xFFF7;
  return (entry & 0x0FFFFFFF) >= 0x0FFFFFF7;
}

}  // namespace

bool GetFatFileExtents(const VolumeContext& ctx, const FileRecord& rec, DataExtentList& out) {
  out.clear();
  const FatGeometry g = ReadFatGeometry(ctx);
  const uint32_t s = g.sectorsPerCluster;
  if (s == 0) return false;
  const uint16_t flags = rec.flags;
  const uint64_t size = rec.size;
  const uint64_t first = rec.firstCluster;
  const bool dir = flags & kRecDirectory, live = flags & kRecInUse;
  if (dir && !live) {
    const uint64_t lba = FatClusterLba(g, first);
    if (lba == 0) return false;
    out.push_back(DataExtent{0, 0, lba, (size + 511) / 512});
    return true;
  }
  if (!IsFatClusterInRange(g, first)) return false;
  const uint64_t last = LastFatCluster(g);
  const uint64_t clusterBytes = uint64_t(s) * 512;
  // A directory's size says nothing: it goes to its chain's end. No file has more clusters
  // than the volume.
  const uint64_t needed = dir ? g.clusterCount : std::min<uint64_t>(size / clusterBytes + (size % clusterBytes != 0),
                                                                    g.clusterCount);
  if (!live) {
    if (FatLookup(ctx, first) != 0) return false;
    uint64_t taken = 0, passed = 0;
    for (uint64_t c = first; c <= last && taken < needed && passed < kMaxPassedClusters; ++c) {
      if (c != first && FatLookup(ctx, c) != 0) {
        ++passed;
        continue;
      }
      Append(out, g, c);
      ++taken;
    }
    return !out.empty();
  }
  Visited visited(g);
  uint64_t c = first, taken = 0;
  while (taken < needed && IsFatClusterInRange(g, c) && !visited.Seen(out, c)) {
    visited.Add(out, c, taken);
    Append(out, g, c);
    if (++taken >= needed) break;
    const uint32_t next = FatLookup(ctx, c);
    if (IsChainEnd(ctx.type, next)) break;
    if (next == 0) {
      // A cleared entry inside a live chain: the file may go on in the next cluster, but only
      // while that one belongs to nobody.
      if (c + 1 > last || FatLookup(ctx, c + 1) != 0) break;
      c = c + 1;
      continue;
    }
    c = ctx.type == kVolTypeFat16 ? next : (next & 0x0FFFFFFF);
  }
  return !out.empty();
}
