// Lost FAT directories and FAT32 volumes rebuilt from the directory-sector and table hits a
// deep scan keeps.
#pragma once

#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"

// The end-of-scan rebuild: completes the parsed FAT32 volumes of volumes with the lost
// directories found inside them and appends the FAT32 volumes rebuilt from the directory hits
// (kind 229) and table copies (228). hits are every hit of the scan, ascending by LBA. The
// reader is open on the scanned device and stays with the caller.
void RebuildFatFromDirEntryHits(DiskReader& reader, const std::vector<SectorHit>& hits,
                                std::vector<VolumeContext>& volumes);
