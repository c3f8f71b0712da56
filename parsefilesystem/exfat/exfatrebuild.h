// Lost exFAT directories and volumes rebuilt from the directory-run hits a deep scan keeps.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "scanbase/scanprogress.h"

// The end-of-scan rebuild: directory runs (kind 231) inside parsed exFAT volumes become their
// lost directories, the rest rebuilt exFAT volumes appended to volumes. progress is the end
// stage's kind-1 record, counted into and posted. hits are every hit of the scan in LBA order.
// False when parsing is off or no directory hit is left to rebuild. Stops when the state word
// becomes 2.
bool RebuildExfatFromDirHits(std::atomic<uint32_t>* state, ScanProgress& progress, DiskReader& reader,
                             const std::vector<SectorHit>& hits, std::vector<VolumeContext>& volumes);
