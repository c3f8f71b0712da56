#include "parsefilesystem/parsefat/fatextents.h"

#include <iterator>
#include <map>

#include "parsefilesystem/parsefat/fatformat.h"

namespace {

// The clusters a walk has given, as merged runs [first, last], so a contiguous file costs one
// entry however long it is.
class ClusterRuns {
 public:
  bool Contains(uint64_t c) const {
    auto it = runs_.upper_bound(c);
    if (it == runs_.begin()) return false;
    --it;
    return c <= it->second;
  }
  void Add(uint64_t c) {
    auto next = runs_.upper_bound(c);
    if (next != runs_.begin()) {
      auto prev = std::prev(next);
      if (prev->second + 1 == c) {
        prev->second = c;
        if (next != runs_.end() && next->first == c + 1) {
          prev->second = next->second;
          runs_.erase(next);
        }
        return;
      }
    }
    if (next != runs_.end() && next->first == c + 1) {
      const uint64_t last = next->second;
      runs_.erase(next);
      runs_[c] = last;
      return;
    }
    runs_[c] = c;
  }

 private:
  std::map<uint64_t, uint64_t> runs_;
};

}  // namespace

bool GetFatFileExtents(const VolumeContext& ctx, const FileRecord& rec, DataExtentList& out) {
  out.clear();
  const FatGeometry g = ReadFatGeometry(ctx);
  const uint32_t s = g.sectorsPerCluster;
  if (s == 0) return false;
  const uint16_t flags = rec.flags;
  const uint64_t size = rec.size;
  const uint64_t firstCluster = rec.firstCluster;
  if ((flags & kRecDirectory) && !(flags & kRecInUse)) {
    const uint64_t lba = FatClusterLba(g, firstCluster);
    if (lba == 0) return false;
    out.push_back(DataExtent{0, 0, lba, (size + 511) / 512});
    return true;
  }
  const uint64_t last = LastFatCluster(g);
  const uint64_t clusterBytes = uint64_t(s) * 512;
  ClusterRuns seen;
  uint64_t total = 0;
  uint64_t c = firstCluster;
  while (c >= 2 && c <= last && !seen.Contains(c)) {
    seen.Add(c);
    const uint64_t lba = FatClusterLba(g, c);
    if (!out.empty() && out.back().startLba + out.back().sectorCount == lba)
      out.back().sectorCount += s;
    else
      out.push_back(DataExtent{0, 0, lba, s});
    total += clusterBytes;
    if (total >= size) break;
    const uint32_t next = FatLookup(ctx, c);
    // A cleared or ended chain, or one that returns to a cluster already given, goes on with
    // the next cluster.
    if (next != 0 && next <= last && !seen.Contains(next))
      c = next;
    else
      c = c + 1;
  }
  return !out.empty();
}
