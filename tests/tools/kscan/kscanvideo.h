// The MP4/MOV fragment mode for "kscan carve --mode video": the edition values that choose it
// and its sample switches, and the JSON lines of the video hits it collects.
#pragma once

#include <string>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"

struct KscanVideoOptions {
  // The four sample switches, by name: "size" (chains, 203), "20" (204), "02" (205), "01" (206).
  bool chains = true, lengths = true, twos = true, ones = true;
  int editionMode = -1;  // the edition's mode number (Key mod 100); -1 keeps kscan's own
};

// Parses "--video-switches LIST" (a comma list of the names above, "all" or "none") and
// "--edition-mode N" out of args; false with a message on stderr for a bad value.
bool KscanTakeVideoOptions(std::vector<std::string>& args, KscanVideoOptions& o);
// Turns the fragment mode on with the switches and installs its consumer.
void KscanUseVideoMode(const KscanVideoOptions& o);
// One JSON line per video hit (kinds 200 … 206) in list order; returns how many.
size_t KscanPrintVideoHits(const std::vector<SectorHit>& hits);

// Turns the MTS fragment mode on and installs its consumer.
void KscanUseMtsMode();
// One JSON line per rebuilt video of the published carved-file volume ("VideoFile"):
//   {"rebuilt", "fragments": [[lba, sectors], ...], "size", "phase", "sha256"}
// where the SHA-256 covers the size bytes read through the fragments from the phase on.
// Returns how many.
size_t KscanPrintRebuiltVideos(DiskReader& reader);
