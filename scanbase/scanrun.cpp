#include "scanbase/scanrun.h"

#include "platform/sync.h"
#include "scanbase/scanprogress.h"

std::atomic<uint32_t> ScanRunState{kScanStopped};
std::atomic<uint32_t> ScanPauseFlag{0};

namespace {
std::atomic<int32_t> g_workers{0};
std::atomic<int64_t> g_pauseStart{0};
}  // namespace

void OnThreadBegin(const CString& threadName) {
  int32_t n = g_workers.fetch_add(1) + 1;
  // The line goes nowhere; it is built so a debugger or a future log sink can show it.
  (void)FormatCString(u"%s     Thread %d begin! Thread num=%d  ", threadName, GetCurrentThreadId(), n);
}

void OnThreadEnd(const CString& threadName) {
  int32_t n = g_workers.fetch_sub(1) - 1;
  (void)FormatCString(u"%s     Thread %d end! Thread num=%d  ", threadName, GetCurrentThreadId(), n);
}

int32_t WorkerThreadCount() { return g_workers.load(); }

int PauseScan() {
  uint32_t expected = kScanRunning;
  if (!ScanRunState.compare_exchange_strong(expected, kScanPaused)) return 0;
  g_pauseStart.store(ScanClockNow());
  ScanPauseFlag.store(1);
  return 1;
}

void ResumeScan() {
  ScanRunState.store(kScanRunning);
  if (ScanPauseFlag.exchange(0) != 0) {
    int64_t len = ScanClockNow() - g_pauseStart.load();
    if (len > 0) ScanPausedSeconds.fetch_add(uint32_t(len > int64_t(UINT32_MAX) ? UINT32_MAX : len));
  }
}

int64_t ScanPauseStartTime() { return g_pauseStart.load(); }
void SetScanPauseStartTime(int64_t seconds) { g_pauseStart.store(seconds); }
