#include "parsefilesystem/exfat/exfatextents.h"

#include <algorithm>
#include <vector>

#include "core/dataextents.h"
#include "parsefilesystem/exfat/exfatvolume.h"

bool GetExfatRecordExtents(VolumeContext& vol, FileRecord& rec, DataExtentList& out) {
  out.clear();
  const bool chained = (rec.flags & kRecExfatChain) && vol.fatBuffer && vol.fatBufferSize;
  if (!chained) {
    // A contiguous file is one run, whatever its length: never a list of its clusters.
    ExfatGeometry geo;
    const uint64_t first = rec.firstCluster, size = rec.size;
    if (!ReadExfatGeometry(vol.bootSector, vol.firstLba, geo) || !IsExfatHeapCluster(geo, first) || size == 0)
      return false;
    const uint64_t needed = size / geo.clusterBytes + (size % geo.clusterBytes ? 1 : 0);
    const uint64_t clusters = std::min<uint64_t>(needed, uint64_t(geo.clusterCount) + 2 - first);
    out.push_back(DataExtent{0, 0, ExfatClusterLba(geo, first), clusters << geo.shift});
    return true;
  }
  std::vector<uint32_t> clusters;
  const uint32_t first = rec.firstCluster;
  const uint64_t size = rec.size;
  if (!GetExfatFileClusters(vol, rec, first, clusters, size) || clusters.empty()) return false;
  return ExfatClustersToExtents(vol, clusters, out);
}

void InitExfatExtentProvider() { SetExtentProvider(kVolTypeExfat, &GetExfatRecordExtents); }
