#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "platform/sync.h"
#include "platform/thread.h"

namespace {

TEST(Events, AutoResetWakesOneWaitAndResets) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 20), WAIT_TIMEOUT);
  SetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);  // consumed
  CloseHandle(e);
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
  HANDLE e = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  ResetEvent(e);
  EXPECT_EQ(WaitForSingleObject(e, 10), WAIT_TIMEOUT);
  CloseHandle(e);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
}

struct PingPong {
  HANDLE ping, pong;
  std::atomic<int> rounds{0};
};

UINT PongThread(LPVOID p) {
  auto* pp = static_cast<PingPong*>(p);
  for (int i = 0; i < 100; ++i) {
    if (WaitForSingleObject(pp->ping, 5000) != WAIT_OBJECT_0) return 1;
    ++pp->rounds;
    SetEvent(pp->pong);
  }
  return 7;
}

TEST(Events, CrossThreadHandshakeAndThreadExitCode) {
  PingPong pp;
  pp.ping = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  pp.pong = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE t = StartThread(&PongThread, &pp);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  for (int i = 0; i < 100; ++i) {
    SetEvent(pp.ping);
    ASSERT_EQ(WaitForSingleObject(pp.pong, 5000), WAIT_OBJECT_0);
  }
  ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(pp.rounds.load(), 100);
  CloseHandle(t);
  CloseHandle(pp.ping);
  CloseHandle(pp.pong);
}

TEST(Events, WaitTimesOutAfterRoughlyTheGivenTime) {
  HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ULONGLONG t0 = GetTickCount64();
  EXPECT_EQ(WaitForSingleObject(e, 50), WAIT_TIMEOUT);
  EXPECT_GE(GetTickCount64() - t0, 45u);
  CloseHandle(e);
}

TEST(Events, WaitForMultipleReportsTheSignalledIndex) {
  HANDLE h[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  EXPECT_EQ(WaitForMultipleObjects(2, h, FALSE, 10), WAIT_TIMEOUT);
  SetEvent(h[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, h, FALSE, 10), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, h, TRUE, 10), WAIT_TIMEOUT);
  SetEvent(h[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, h, TRUE, 10), WAIT_OBJECT_0);
  CloseHandle(h[0]);
  CloseHandle(h[1]);
}

UINT CountUp(LPVOID p) {
  for (int i = 0; i < 10000; ++i) InterlockedIncrement(static_cast<volatile LONG*>(p));
  return 0;
}

TEST(Threads, SuspendedWorkerCanBeKeptAndWaitedOn) {
  volatile LONG counter = 0;
  CWinThread* threads[4];
  for (auto& t : threads) {
    t = AfxBeginThread(&CountUp, const_cast<LONG*>(&counter), 0, 0, CREATE_SUSPENDED);
    t->m_bAutoDelete = FALSE;
    t->ResumeThread();
  }
  for (auto* t : threads) {
    EXPECT_EQ(WaitForSingleObject(t->m_hThread, 10000), WAIT_OBJECT_0);
    delete t;
  }
  EXPECT_EQ(counter, 40000);
  EXPECT_EQ(InterlockedExchange(&counter, 5), 40000);
  EXPECT_EQ(InterlockedCompareExchange(&counter, 9, 5), 5);
  EXPECT_EQ(counter, 9);
  EXPECT_EQ(InterlockedExchangeAdd(&counter, 1), 9);
  EXPECT_EQ(InterlockedDecrement(&counter), 9);
}

UINT RandInThread(LPVOID p) {
  // A thread that never seeds starts from seed 1, whatever other threads did.
  *static_cast<int*>(p) = CrtRand();
  return 0;
}

TEST(Threads, RandIsPerThreadAndMatchesTheWindowsSequence) {
  CrtSrand(1);
  EXPECT_EQ(CrtRand(), 41);
  EXPECT_EQ(CrtRand(), 18467);
  EXPECT_EQ(CrtRand(), 6334);
  CrtSrand(12345);
  int other = -1;
  HANDLE t = StartThread(&RandInThread, &other);
  ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  CloseHandle(t);
  EXPECT_EQ(other, 41);
}

TEST(CriticalSection, IsRecursiveLikeTheOriginal) {
  CCriticalSection cs;
  cs.Lock();
  EXPECT_TRUE(cs.TryLock());
  cs.Unlock();
  cs.Unlock();
  CSectionLock g(cs);
}

}  // namespace
