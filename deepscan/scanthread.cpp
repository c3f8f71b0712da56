#include "deepscan/scanthread.h"

#include "app/settings.h"
#include "base/log.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanreader.h"
#include "deepscan/sigscanconsumer.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

std::atomic<AFX_THREADPROC> g_consumers[4] = {};
std::atomic<ScanStateProc> g_addRealPartInfo{nullptr};

}  // namespace

ScanConsumerKind ChooseScanConsumer() {
  if (MovFragmentMode != 0) return ScanConsumerKind::kVideoFragments;
  if (MtsFragmentMode != 0) return ScanConsumerKind::kMtsFragments;
  if (GetBaseCfg(u"Version") == CString(u"VuzuDazuv")) return ScanConsumerKind::kDiskImage;
  return ScanConsumerKind::kCarving;
}

void SetScanConsumer(ScanConsumerKind kind, AFX_THREADPROC proc) { g_consumers[int(kind)].store(proc); }

AFX_THREADPROC GetScanConsumer(ScanConsumerKind kind) {
  AFX_THREADPROC proc = g_consumers[int(kind)].load();
  return proc != nullptr ? proc : &SignatureScanThread;
}

void SetAddRealPartInfoHook(ScanStateProc proc) { g_addRealPartInfo.store(proc); }

UINT DiskScanAndViewThread(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"DiskScanAndViewThread");
  StartDeepScan(state);
  if (ScanOptionOn(DeepScanSettingsRecord().showWhileScanning)) {
    if (ScanStateProc parse = g_addRealPartInfo.load()) parse(state);
    // The partition parse does not count as scan time.
    ScanStartTime.store(ScanClockNow());
    ScanPausedSeconds.store(0);
    ScanPauseFlag.store(0);
  }
  ScanConsumerKind kind = ChooseScanConsumer();
  if (g_consumers[int(kind)].load() == nullptr) WriteLogFmt(u"Deep scan: consumer %d not built, matching only", int(kind));
  // The consumer is never joined: it ends on its own after the scan's end.
  AfxBeginThread(GetScanConsumer(kind), state);
  DiskScanReadLoop(state);
  OnThreadEnd(u"DiskScanAndViewThread");
  return 0;
}
