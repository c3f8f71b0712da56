// The deep scan's side of scan-state files: saving the state of a paused or ended scan into a
// new data file with its index entry, and offering and loading a saved state at the start of a
// scan of the same target. The file formats live in scansave/.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/volumecontext.h"
#include "platform/cstring.h"
#include "platform/wintypes.h"

// Writes the data file of the current scan: the target's disk model, the block map, the
// sequential position and region, every hit of the hit lists in block order and the index-entry
// records. The scan must be paused or ended. True when the whole file was written.
bool WriteCurrentScanState(const CString& path);

// The save job: a new data file beside the program, then its index entry (a data file whose
// entry cannot be written is removed again). Sets the status word to 3 on success, else 2.
UINT SaveDiskScanDataThread(LPVOID status);
// Runs the save job under the job-progress dialog; true when the state was saved. False at once
// while another progress dialog is open.
bool SaveScanState();

// The data file to load for the target: the one the target names (chosen from the saved-scan
// list), else the newest saved scan of the same target when the user accepts "UseSaveData".
bool ChooseScanSaveToLoad(const VolumeContext& target, CString& path);
// Loads a data file into the scan about to start: its block map (blocks not handled are read
// again), its hits into the hit lists and its records into the index-entry list. False, with
// nothing changed, when the file cannot be opened or its header is refused; false also when its
// items are damaged or a stop came (the caller then starts with an empty block map).
bool LoadDiskScanDataCore(std::atomic<uint32_t>* state, const CString& path);

// Installs the saver of the end-of-scan offer and the load at the scan's start.
void InstallScanStateFiles();
