#include "parsefilesystem/exfat/exfatextents.h"

#include <vector>

#include "core/dataextents.h"
#include "parsefilesystem/exfat/exfatvolume.h"

bool GetExfatRecordExtents(VolumeContext& vol, FileRecord& rec, DataExtentList& out) {
  out.clear();
  std::vector<uint32_t> clusters;
  const uint32_t first = rec.firstCluster;
  const uint64_t size = rec.size;
  if (!GetExfatFileClusters(vol, rec, first, clusters, size) || clusters.empty()) return false;
  return ExfatClustersToExtents(vol, clusters, out);
}

void InitExfatExtentProvider() { SetExtentProvider(kVolTypeExfat, &GetExfatRecordExtents); }
