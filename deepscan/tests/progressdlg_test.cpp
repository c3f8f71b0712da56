#include "deepscan/progressdlg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "base/heap.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "scanbase/scanrun.h"

namespace {

// A job record as the callers allocate it: the status word first.
struct TestJob {
  std::atomic<uint32_t> status;
  std::atomic<uint32_t> steps;
  std::atomic<uint32_t> finished;
};

std::atomic<int> g_seen{0};
void CountSeen(const ScanProgress& r) {
  if (r.kind == kProgressSaveState) g_seen.fetch_add(1);
}

UINT FinishingJob(LPVOID p) {
  auto* job = static_cast<TestJob*>(p);
  OnThreadBegin(u"FinishingJob");
  ScanProgress r = MakeScanProgress(kProgressSaveState);
  for (uint32_t i = 0; i < 5; ++i) {
    r.count.done = i;
    PostScanProgress(r);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  OnThreadEnd(u"FinishingJob");
  job->finished = 1;
  job->status = kJobDone;
  return 0;
}

// Runs on after a stop, still writing into its record, until it notices the stop.
UINT StubbornJob(LPVOID p) {
  auto* job = static_cast<TestJob*>(p);
  while (job->status.load() == kJobRunning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (int i = 0; i < 20; ++i) {
    job->steps.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  job->finished = 1;
  return 0;
}

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessProgressRunner::SetPollInterval(2);
    HeadlessProgressRunner::SetObserver(CountSeen);
    g_seen = 0;
  }
  void TearDown() override {
    HeadlessProgressRunner::SetObserver(nullptr);
    HeadlessProgressRunner::SetPollInterval(100);
  }
};

TEST_F(LauncherTest, EndsWithTrueWhenTheJobFinishes) {
  auto* job = new (AllocMem(sizeof(TestJob), 1)) TestJob{};
  // A record left over from earlier work never reaches the job's dialog.
  PostScanProgress(MakeScanProgress(kProgressSaveState));
  ASSERT_TRUE(CreateProgressDlg(&job->status, nullptr));
  EXPECT_FALSE(CreateProgressDlg(&job->status, nullptr));  // one dialog at a time
  ScanProgress leftover;
  EXPECT_FALSE(TakeScanProgress(leftover));
  int32_t workers = WorkerThreadCount();
  HANDLE t = StartThread(FinishingJob, job);
  EXPECT_TRUE(RunProgressDlg());
  EXPECT_EQ(job->finished.load(), 1u);
  EXPECT_EQ(ActiveProgressDlg(), nullptr);
  EXPECT_GT(g_seen.load(), 0);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  EXPECT_EQ(WorkerThreadCount(), workers);
  FreeMem(job);
  // Without a dialog there is nothing to run.
  EXPECT_FALSE(RunProgressDlg());
}

TEST_F(LauncherTest, StopEndsWithFalseAndTheRecordOutlivesTheDialog) {
  auto* job = new (AllocMem(sizeof(TestJob), 1)) TestJob{};
  ASSERT_TRUE(CreateProgressDlg(&job->status, nullptr));
  HANDLE t = StartThread(StubbornJob, job);
  std::thread user([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ActiveProgressDlg()->PressStop();
  });
  EXPECT_FALSE(RunProgressDlg());
  user.join();
  EXPECT_EQ(job->status.load(), kJobStopped);
  // The caller keeps the record: the worker is still writing into it.
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  EXPECT_EQ(job->steps.load(), 20u);
  FreeMem(job);  // only now, in the test, that the worker is known to be done
}

TEST(ScanRun, PauseAndResume) {
  static int64_t now = 5000;
  SetScanClock(ScanClock{[] { return now; }, nullptr});
  ScanPausedSeconds = 0;
  ScanRunState = kScanStopped;
  EXPECT_EQ(PauseScan(), 0);
  EXPECT_EQ(ScanRunState.load(), kScanStopped);
  ScanRunState = kScanRunning;
  EXPECT_EQ(PauseScan(), 1);
  EXPECT_EQ(ScanRunState.load(), kScanPaused);
  EXPECT_EQ(ScanPauseFlag.load(), 1u);
  EXPECT_EQ(PauseScan(), 0);
  now += 42;
  ResumeScan();
  EXPECT_EQ(ScanRunState.load(), kScanRunning);
  EXPECT_EQ(ScanPauseFlag.load(), 0u);
  EXPECT_EQ(ScanPausedSeconds.load(), 42u);
  SetScanClock(ScanClock{});
  ScanRunState = kScanStopped;
}

}  // namespace
