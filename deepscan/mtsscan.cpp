#include "deepscan/mtsscan.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "base/heap.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/mtspackets.h"
#include "deepscan/mtsrebuild.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scansaveoffer.h"
#include "deepscan/scanthread.h"
#include "platform/wndcore.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint32_t kRingEmptyWaitMs = 100;
constexpr unsigned kMtsDetailTag = 4114;

// The tracker and the count of fragments found; the consumer thread only.
MtsTracker& Tracker() {
  static auto& t = *new MtsTracker();
  return t;
}
uint32_t g_fragments = 0;

void StoreFragments(const std::vector<MtsFragmentInfo>& fragments, ScanProgress& progress) {
  for (const MtsFragmentInfo& f : fragments) {
    auto* detail = static_cast<MtsFragmentInfo*>(AllocMem(sizeof(MtsFragmentInfo), kMtsDetailTag));
    std::memcpy(detail, &f, sizeof f);
    const uint8_t kind = f.state == kMtsFromStreamStart ? kKindMtsStart : kKindMtsFragment;
    StoreBlockHit({kind, 6, f.startLba, 0, detail});
    ++g_fragments;
  }
  progress.scan.filesFound = g_fragments;
}

void AddSectorsDone(ScanProgress& rec, uint64_t n) {
  uint64_t c = rec.scan.sectorsDone;
  rec.scan.sectorsDone = c + n;
}

}  // namespace

void InstallMtsScanConsumer() { SetScanConsumer(ScanConsumerKind::kMtsFragments, &MtsFragmentScanHandThread); }

void BeginMtsScan() {
  Tracker() = MtsTracker();
  g_fragments = 0;
}

int ScanMtsBlock(const uint8_t* block, uint64_t inputEndLba, ScanProgress& progress) {
  const uint64_t base = ScanBlockLba(block);
  const uint64_t sectors = inputEndLba > base ? std::min<uint64_t>(inputEndLba - base, kScanBlockSectors) : 0;
  std::vector<MtsFragmentInfo> ended;
  if (sectors != 0) FeedMtsTracker(Tracker(), base, block, sectors * kSectorBytes, ended);
  StoreFragments(ended, progress);
  SetBlockState(base / kScanBlockSectors, kBlockHandled);
  AddSectorsDone(progress, kScanBlockSectors);
  PostScanProgress(progress);
  return 1;
}

void EndMtsScan(ScanProgress& progress) {
  std::vector<MtsFragmentInfo> ended;
  CloseMtsTracker(Tracker(), ended);
  StoreFragments(ended, progress);
  PostScanProgress(progress);
}

UINT MtsFragmentScanHandThread(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"VideoFragmentScanHandThread");
  const VolumeContext target = ScanTarget();
  const uint64_t inputEnd = TargetEndLba(target);
  ScanProgress progress = MakeScanProgress(kProgressMtsScan);
  InitConsumerProgress(target, progress);
  PostScanProgress(progress);
  BeginMtsScan();

  for (;;) {
    const uint32_t s = state->load();
    if (s == kScanStopped) break;
    if (const uint8_t* block = BeginTakeScanBlock()) {
      // A block whose read failed holds zeros: it is left unhandled (a saved scan reads it
      // again), and the tracker closes its fragment at the gap when the next block comes.
      if (ScanBlockReadResult(block) != 0) ScanMtsBlock(block, inputEnd, progress);
      EndTakeScanBlock();
      continue;
    }
    if (s == kScanInputDone) break;
    WaitForScanBlock(kRingEmptyWaitMs);
  }
  // The fragment still open holds what was read of a video running to the end of the input
  // (or to the stop): it is kept with its good packets, also for a saved scan.
  EndMtsScan(progress);

  AskSaveScanData();
  EndDeepScan();

  uint32_t done = kScanInputDone;
  if (state->compare_exchange_strong(done, kScanRunning)) {
    HWND main = AppVolumeList().mainWindow;
    if (main && IsWindow(main)) SendMessageW(main, WM_SCAN_FINISHING, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(GetScanFinishingPauseMs()));
    std::vector<VolumeContext> volumes;
    if (RebuildMtsFiles(volumes)) PublishScanResults(AppVolumeList(), state, volumes);
    if (main && IsWindow(main)) SendMessageW(main, WM_SCAN_FINISHED, 0, 0);
    uint32_t running = kScanRunning;
    state->compare_exchange_strong(running, kScanInputDone);
  }
  OnThreadEnd(u"VideoFragmentScanHandThread");
  return 0;
}
