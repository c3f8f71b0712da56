#include "parsefilesystem/parsefat/fatrebuild.h"

// FIXME: the rebuild from directory hits and table copies is not written yet; until it is,
// nothing is completed or rebuilt.
void RebuildFatFromDirEntryHits(DiskReader&, const std::vector<SectorHit>&, std::vector<VolumeContext>&) {}
