#include "parsefilesystem/exfat/exfatrebuild.h"

// FIXME: the rebuild from directory runs is not written yet; until it is, nothing is rebuilt.
bool RebuildExfatFromDirHits(std::atomic<uint32_t>*, ScanProgress&, DiskReader&, const std::vector<SectorHit>&,
                             std::vector<VolumeContext>&) {
  return false;
}
