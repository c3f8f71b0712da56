// The launcher of the modal job-progress dialog. A job runs as:
//   job = AllocMem(...);                 // its first word, the JobStatus, is 0: running
//   if (!CreateProgressDlg(&job->status, parent)) return;
//   AfxBeginThread(JobThread, job);      // the worker posts progress, then sets status 3
//   if (RunProgressDlg()) FreeMem(job);  // after a stop the worker may still use the record,
//                                        // so it is deliberately left allocated
//
// The dialog itself sits behind ProgressDlgRunner so the windowed dialog can replace the
// headless runner used until it exists (and in tests).
#pragma once

#include <atomic>
#include <cstdint>

#include "scanbase/scanprogress.h"

constexpr uint32_t kJobRunning = 0;
constexpr uint32_t kJobStopped = 2;
constexpr uint32_t kJobDone = 3;

class ProgressDlgRunner {
 public:
  virtual ~ProgressDlgRunner() = default;
  // Runs modally until the status word reads 2 or 3.
  virtual void RunModal(std::atomic<uint32_t>* status) = 0;
  // The user pressed one of the stop buttons: the word becomes 2 and the dialog ends.
  virtual void PressStop() = 0;
};

// Makes the dialog for a job; the default makes a HeadlessProgressRunner.
using ProgressDlgFactory = ProgressDlgRunner* (*)(void* parentWindow);
void SetProgressDlgFactory(ProgressDlgFactory factory);  // null restores the default

// False, doing nothing, while a progress dialog exists. Otherwise makes the dialog over the
// job's status word, empties the mailbox and returns true.
bool CreateProgressDlg(std::atomic<uint32_t>* jobStatus, void* parentWindow);
// Runs the dialog made by CreateProgressDlg, destroys it, and returns true exactly when the
// job's status ended as 3 (done). False when no dialog was made.
bool RunProgressDlg();
// The dialog that exists, or null.
ProgressDlgRunner* ActiveProgressDlg();

// Without windows: polls the status word (and takes the mailbox as the dialog's timer does)
// until it reads 2 or 3. PressStop may be called from any thread.
class HeadlessProgressRunner : public ProgressDlgRunner {
 public:
  void RunModal(std::atomic<uint32_t>* status) override;
  void PressStop() override { stop_.store(true); }
  // Each record the runner takes from the mailbox, for tests; null for none.
  static void SetObserver(void (*observer)(const ScanProgress&));
  // Polling interval in milliseconds (100 like the dialog's timer by default).
  static void SetPollInterval(uint32_t ms);

 private:
  std::atomic<bool> stop_{false};
};
