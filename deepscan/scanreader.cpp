#include "deepscan/scanreader.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "app/settings.h"
#include "base/log.h"
#include "base/sizetext.h"
#include "core/volumelist.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "platform/hooks.h"
#include "platform/storage.h"
#include "platform/wndcore.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint32_t kDefaultPauseStepMs = 1000;
constexpr uint32_t kRingFullWaitMs = 100;
std::atomic<uint32_t> g_pauseStepMs{kDefaultPauseStepMs};

void PauseStep() { std::this_thread::sleep_for(std::chrono::milliseconds(g_pauseStepMs.load())); }

// Waits out a pause. Returns the state that ended it (0, 2 or 3).
uint32_t WaitWhilePaused(std::atomic<uint32_t>* state) {
  uint32_t s = state->load();
  while (s == kScanPaused) {
    PauseStep();
    s = state->load();
  }
  return s;
}

bool TakeQueuedBlock(uint64_t* lba) {
  const ScanRangeT& range = ScanRange();
  std::lock_guard<std::mutex> g(PriorityQueueLock());
  std::deque<uint64_t>& q = PriorityBlockQueue();
  while (!q.empty()) {
    uint64_t start = q.front();
    q.pop_front();
    uint64_t block = start / kScanBlockSectors;
    if (start < range.firstBlock || start > range.lastBlock) continue;
    if (block >= BlockStateCount() || GetBlockState(block) != kBlockUnread) continue;
    SetBlockState(block, kBlockTaken);
    *lba = start;
    return true;
  }
  return false;
}

bool TakeSequentialBlock(uint64_t* lba) {
  const ScanRangeT& range = ScanRange();
  uint64_t& next = NextSequentialBlock();
  while (next <= range.lastBlock) {
    uint64_t start = next;
    // Stepping past the last possible block start ends the pass for good.
    if (start > UINT64_MAX - kScanBlockSectors) next = UINT64_MAX;
    else next = start + kScanBlockSectors;
    uint64_t block = start / kScanBlockSectors;
    if (block >= BlockStateCount()) {
      next = UINT64_MAX;  // every later block lies beyond the device too
      break;
    }
    if (GetBlockState(block) != kBlockUnread) continue;
    SetBlockState(block, kBlockTaken);
    *lba = start;
    return true;
  }
  return false;
}

bool ChooseNextBlock(uint32_t operation, uint64_t* lba) {
  if (TakeQueuedBlock(lba)) return true;
  if (operation == kOperationDeletedFiles || operation == kOperationEmptiedRecycleBin) return false;
  return TakeSequentialBlock(lba);
}

// Asks the main window to deal with the lost device. Without a window nobody can answer, so
// the reader waits one pause step before it tries to reopen, instead of spinning.
void AnnounceDeviceLost() {
  HWND main = AppVolumeList().mainWindow;
  if (main != nullptr && IsWindow(main)) {
    SendMessageW(main, WM_DEVICE_LOST, 0, 0);
  } else {
    PauseStep();
  }
}

}  // namespace

void SetScanPauseStepMs(uint32_t ms) { g_pauseStepMs.store(ms == 0 ? kDefaultPauseStepMs : ms); }
uint32_t ScanPauseStepMs() { return g_pauseStepMs.load(); }

BlockReadOutcome ReadScanBlock(std::atomic<uint32_t>* state, DiskReader& reader, uint64_t lba, uint8_t* block) {
  bool lost = !IsOpenStorageHandle(reader.handle) && !OpenVolumeDevice(ScanTarget(), reader);
  for (;;) {
    if (!lost) {
      // The sector reader writes every byte of the request: what it read, and zeros for what
      // it could not read or what lies past the device end. So only the trailer is cleared.
      ResetScanBlockTrailer(block, lba);
      DWORD err = 0;
      BOOL ok = reader.ReadSectors(block, lba, kScanBlockSectors, &err);
      SetScanBlockReadResult(block, ok ? 1 : 0);
      if (ok) return BlockReadOutcome::kRead;
      if (!IsDeviceGoneError(err)) return BlockReadOutcome::kFailed;
    }
    // The device is gone: ask the user (through the main window), then reopen and read the
    // same block again, as long as the scan goes on.
    AnnounceDeviceLost();
    reader.Close();
    uint32_t s = state->load();
    if (s == kScanPaused || s == kScanStopped) {
      // The block is not sent on as failed: its data may well be readable once the device
      // returns, so the loop keeps it and reads it again after the pause.
      ResetScanBlock(block, lba);
      return BlockReadOutcome::kDeferred;
    }
    lost = !OpenVolumeDevice(ScanTarget(), reader);
  }
}

void ReportScanReadErrors() {
  uint32_t failed = BlockReadFailures.load();
  uint32_t reads = BlockReads.load();
  if (failed == 0 || uint32_t(failed * 20u) < reads) return;
  const VolumeContext& target = ScanTarget();
  CString text = FormatCString(GetLangStr(u"ScanEncountErr").View(), failed, FormatByteSize(uint64_t(failed) * kScanBlockDataBytes));
  if (target.removable != 0) text += CString(u"\n") + GetLangStr(u"MaybeUsbPoorContact");
  ShowMessageBox(text);
  SendEventReport(23, FormatCString(u"Disk scan error: %u / %u", failed, reads), true);
}

bool DiskScanReadLoop(std::atomic<uint32_t>* state) {
  const VolumeContext target = ScanTarget();
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader)) {
    // Nothing can be read: the scan ends as a completed read would, so the consumer and the
    // end of the scan do not wait for a reader that never comes.
    WriteLogFmt(u"Deep scan: cannot open %s", target.devicePath);
    ShowMessageBox(FormatCString(GetLangStr(u"ScanDevOpenFailed").View(), target.name));
    // A scan paused meanwhile is waited out as at the end of the input: the word can only
    // say "input done" to a running scan, and a resume must find it said.
    if (WaitWhilePaused(state) == kScanRunning) {
      uint32_t running = kScanRunning;
      state->compare_exchange_strong(running, kScanInputDone);
    }
    ReaderDone.store(1);
    NotifyScanRing();
    return false;
  }
  BlockReads.store(0);
  BlockReadFailures.store(0);

  uint64_t lba = 0;
  bool haveBlock = false;  // a block kept from a device loss, to be read again
  for (;;) {
    if (!haveBlock && !ChooseNextBlock(target.operation, &lba)) break;
    haveBlock = false;
    // The block is read straight into a free slot of the ring, so the reader waits for one
    // first; a stop meanwhile abandons the block in hand.
    uint8_t* slot = nullptr;
    while ((slot = BeginPutScanBlock()) == nullptr && state->load() != kScanStopped) WaitForScanSlot(kRingFullWaitMs);
    if (slot == nullptr) break;
    if (WaitWhilePaused(state) == kScanStopped) {
      EndPutScanBlock(false);
      break;
    }
    BlockReadOutcome outcome = ReadScanBlock(state, reader, lba, slot);
    EndPutScanBlock(outcome != BlockReadOutcome::kDeferred);
    haveBlock = outcome == BlockReadOutcome::kDeferred;
  }

  ReportScanReadErrors();
  reader.Close();
  // A pause at the very end is waited out: the input is complete only when the scan runs
  // again, and a resume must not leave the consumer waiting for an end that never comes.
  if (WaitWhilePaused(state) == kScanRunning) {
    uint32_t running = kScanRunning;
    state->compare_exchange_strong(running, kScanInputDone);
  }
  ReaderDone.store(1);
  NotifyScanRing();
  return true;
}
