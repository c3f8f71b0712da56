// The scan behind the Recycle Bin target: no block is read. The lettered partitions of one
// internal disk are parsed, their deleted files kept and published as scanned volumes, and the
// main window hears WM_SCAN_FINISHED when the run is over, whatever happened.
#pragma once

#include <atomic>
#include <cstdint>

#include "deepscan/carvingconsumer.h"
#include "platform/thread.h"
#include "platform/wintypes.h"

// WM_SCAN_FINISHED comes with the carving consumer's messages.

// Thread procedure; param is the std::atomic<uint32_t>* of the scan state word, which the run
// never changes (2 asks the parsers to stop). Counts itself as a worker for the length of the
// parse, then sends WM_SCAN_FINISHED (0, 0) to the VolumeList's main window. Returns 0.
UINT ParseFileSystemsThread(LPVOID param);
// Parses the lettered, non-removable drives of the chosen disk (the first disk in the list that
// is neither removable nor TRIM-enabled, else disk 0) from copies of the device lists, and
// publishes their deleted files in the application's VolumeList. The registries the parsers
// fill are emptied first, so a second run gives what the first gave.
void ParseSelectedVolumes(std::atomic<uint32_t>* state);
