// Lost NTFS volumes rebuilt from the MFT-record and index-record hits a deep scan keeps: at the
// end of a scan from all its hits, and at the start of a resumed scan from the hits loaded with
// its saved state.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "core/volumecontext.h"
#include "platform/cstring.h"

// The end-of-scan rebuild: groups of MFT-record hits (kind 224) that no parsed volume explains
// become NTFS volumes appended to volumes (which is read for its count as well). hits are every
// hit of the scan in LBA order; record hits already covered by parsed MFTs are cancelled (234).
// The reader is open on the scanned device and stays with the caller.
void RebuildNtfsFromFragments(DiskReader& reader, const CString& devicePath, std::vector<VolumeContext>& volumes,
                              const std::vector<SectorHit>& hits);

// At the start of a scan resumed from saved state: the loaded MFT-record hits outside every
// known MFT become volumes of the VolumeList. Stops when the state word becomes 2.
void RebuildNtfsFromLoadedHits(std::atomic<uint32_t>* state);
