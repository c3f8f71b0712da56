#include "deepscan/progressdlg.h"

#include <mutex>

#include "platform/sync.h"

namespace {

struct Launcher {
  std::mutex m;
  ProgressDlgRunner* active = nullptr;
  std::atomic<uint32_t>* status = nullptr;
};
Launcher& TheLauncher() {
  static Launcher& l = *new Launcher();
  return l;
}

std::atomic<ProgressDlgFactory> g_factory{nullptr};
std::atomic<void (*)(const ScanProgress&)> g_observer{nullptr};
std::atomic<uint32_t> g_pollMs{100};

ProgressDlgRunner* MakeHeadless(void*) { return new HeadlessProgressRunner(); }

}  // namespace

void SetProgressDlgFactory(ProgressDlgFactory factory) { g_factory.store(factory); }

bool CreateProgressDlg(std::atomic<uint32_t>* jobStatus, void* parentWindow) {
  Launcher& l = TheLauncher();
  {
    std::lock_guard<std::mutex> g(l.m);
    if (l.active != nullptr || jobStatus == nullptr) return false;
    ProgressDlgFactory f = g_factory.load();
    l.active = (f != nullptr ? f : MakeHeadless)(parentWindow);
    l.status = jobStatus;
  }
  // A job's dialog never shows a record left over from earlier work.
  EmptyScanProgressMailbox();
  return true;
}

bool RunProgressDlg() {
  Launcher& l = TheLauncher();
  ProgressDlgRunner* dlg = nullptr;
  std::atomic<uint32_t>* status = nullptr;
  {
    std::lock_guard<std::mutex> g(l.m);
    dlg = l.active;
    status = l.status;
  }
  if (dlg == nullptr) return false;
  dlg->RunModal(status);
  bool done = status->load() == kJobDone;
  {
    std::lock_guard<std::mutex> g(l.m);
    l.active = nullptr;
    l.status = nullptr;
  }
  delete dlg;
  return done;
}

ProgressDlgRunner* ActiveProgressDlg() {
  Launcher& l = TheLauncher();
  std::lock_guard<std::mutex> g(l.m);
  return l.active;
}

void HeadlessProgressRunner::SetObserver(void (*observer)(const ScanProgress&)) { g_observer.store(observer); }
void HeadlessProgressRunner::SetPollInterval(uint32_t ms) { g_pollMs.store(ms == 0 ? 1 : ms); }

void HeadlessProgressRunner::RunModal(std::atomic<uint32_t>* status) {
  for (;;) {
    if (stop_.load()) {
      // Both stop buttons set the word to 2 while the job runs; the dialog never waits for
      // the worker.
      uint32_t running = kJobRunning;
      status->compare_exchange_strong(running, kJobStopped);
      stop_.store(false);
    }
    uint32_t s = status->load();
    if (s == kJobStopped || s == kJobDone) return;
    ScanProgress rec;
    if (TakeScanProgress(rec)) {
      if (auto obs = g_observer.load()) obs(rec);
    }
    Sleep(g_pollMs.load());
  }
}
