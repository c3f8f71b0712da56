#include "parsefilesystem/parsentfs/ntfsrebuild.h"

// FIXME: the rebuild from MFT-record groups is not written yet; both entry points rebuild
// nothing, so a volume whose boot sectors are gone shows only its carved files.
void RebuildNtfsFromFragments(DiskReader&, const CString&, std::vector<VolumeContext>&,
                              const std::vector<SectorHit>&) {}

void RebuildNtfsFromLoadedHits(std::atomic<uint32_t>*) {}
