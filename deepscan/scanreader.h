// The deep scan's reader: chooses the blocks of a scan in their order (queued blocks first,
// then the sequential pass), reads each straight into a free slot of the ring and publishes it,
// survives the loss of a removable device, and reports when too many reads failed.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/diskreader.h"
#include "platform/wintypes.h"

// Sent (not posted) to the main window when the device is gone: the window pauses the scan
// and asks the user; Retry sets the state back to 0, Cancel leaves it paused until the device
// returns.
constexpr UINT WM_DEVICE_LOST = 0x496;

// The reader's loop on the calling thread. False only when the device could not be opened at
// the start; ReaderDone is set on every way out.
bool DiskScanReadLoop(std::atomic<uint32_t>* state);

enum class BlockReadOutcome {
  kRead,      // the whole block was read
  kFailed,    // an ordinary read error: the block goes on marked failed
  kDeferred,  // the device is gone and the scan was paused or stopped: read it again later
};
// Reads one block into block (kScanBlockBytes: a ring slot) and fills its trailer.
BlockReadOutcome ReadScanBlock(std::atomic<uint32_t>* state, DiskReader& reader, uint64_t lba, uint8_t* block);

// The summary at the end of the reading: when at least one whole-block read in twenty failed,
// the "ScanEncountErr" box and event report 23.
void ReportScanReadErrors();

// The length of one pause step (1000 ms); tests shorten it. 0 restores the default.
void SetScanPauseStepMs(uint32_t ms);
uint32_t ScanPauseStepMs();
