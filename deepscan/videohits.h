// What the MP4/MOV fragment mode shows of its hits: the names of videos, the log lines of the
// box hits, and the parsed movies and photos shown while the scan runs.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sectorhit.h"
#include "platform/cstring.h"

// "%04d-%02d-%02d_%02d%02d_%X.%s": the date and minute of the packed time, the low 16 bits of
// the value (the moov's LBA while scanning, a rebuilt video's first LBA) and GetVideoExtension.
CString FormatVideoFileName(uint64_t value, uint32_t packedTime);
// "mp4" when the edition value "LocalName" contains "MP4" anywhere after its first character,
// else "mov".
CString GetVideoExtension();

// The offset of the last sample of the last table of a moov's list (0 without one).
uint32_t LastSampleOffset(const SectorHit& moovHit);

// A log line for a hit of kind 200 (ftyp), 201 (moov) or 202 (mdat); nothing for other kinds.
void LogVideoHit(const SectorHit& hit);

// Shows the block's parsed movies (kind 201 with status 5) and photos with a found end in the
// carved-file slot of the results, and tells the result windows (the main window too, for the
// first file of the slot). Nothing while the results have no carved-file slot.
void ShowVideoModeHits(const std::vector<SectorHit>& hits);
