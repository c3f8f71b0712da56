// The whole deep scan of an image, headless, shared by "kscan carve" and "kscan copy --carved":
// the real reader fills the ring, the carving consumer examines every sector, questions get the
// scripted answer. Afterwards the carved files of the hit lists are listed in LBA order, each
// sized as the results size it: exactly when the scan found its end, otherwise by the distance
// to the next file hit (or the image end).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/diskreader.h"
#include "core/sectorhit.h"
#include "platform/wndcore.h"

struct KscanCarvedFile {
  SectorHit hit;      // kind, LBA, end status, detail
  uint64_t size = 0;  // bytes
  bool endKnown = false;
};

struct KscanCarveRun {
  DiskReader reader;                  // open on the image afterwards, for hashing
  uint64_t sectors = 0;               // of the image
  std::vector<SectorHit> hits;        // every hit kept, files and metadata
  std::vector<KscanCarvedFile> files;  // file hits only, in LBA order
  uint32_t finishing = 0, finished = 0;
  double seconds = 0;
};

// Makes the whole image the scan target, with default settings and nothing shown while scanning.
void KscanPrepareImageScan(const CString& path, uint64_t sizeBytes);
// Runs the reader and the installed consumer to the end, with a message-only main window whose
// procedure answers the scan's messages (it should send WM_DEVICE_LOST to KscanDeviceLost).
// Returns the seconds taken.
double KscanRunScan(WNDPROC proc, const char16_t* className);
// The device-lost question answered by the scripted answer: yes retries, no stops the scan.
void KscanDeviceLost();
// A main window procedure for KscanRunScan: answers the device-lost question and counts the
// scan's messages.
LRESULT KscanMainProc(HWND h, UINT msg, WPARAM w, LPARAM l);
struct KscanHeard {
  uint32_t finishing = 0, finished = 0, resultsReady = 0, filesAdded = 0;
};
const KscanHeard& KscanMessagesHeard();

// False (with a JSON error line on stdout) when the image cannot be opened. The hit lists stay
// alive until KscanEndCarve.
bool KscanRunCarve(const std::string& path, KscanCarveRun& run);
void KscanEndCarve();
