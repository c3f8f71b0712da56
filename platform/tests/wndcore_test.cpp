#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/sync.h"
#include "platform/wndcore.h"

namespace {

constexpr UINT WM_TEST_ADD = WM_USER + 1;
constexpr UINT WM_TEST_MODAL = WM_USER + 2;
constexpr UINT WM_TEST_BOUNCE = WM_USER + 3;
constexpr UINT WM_TEST_ECHO = WM_USER + 4;

std::atomic<long> g_sum{0};
std::atomic<int> g_timerTicks{0};
std::atomic<int> g_destroyed{0};
HWND g_bounceTarget = nullptr;

LRESULT CALLBACK_Test(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_TEST_ADD:
      g_sum += long(w);
      return LRESULT(w) + 1;
    case WM_TEST_MODAL: {
      // A nested loop, as a modal dialog runs: messages sent from other threads are served here.
      MSG m;
      while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (m.message == WM_USER + 99) break;
        DispatchMessageW(&m);
      }
      return 5;
    }
    case WM_TEST_BOUNCE:
      // Sends back to a window of the thread that is waiting for this very message.
      return SendMessageW(g_bounceTarget, WM_TEST_ECHO, w, 0) * 10;
    case WM_TEST_ECHO:
      return LRESULT(w);
    case WM_TIMER:
      ++g_timerTicks;
      return 0;
    case WM_DESTROY:
      ++g_destroyed;
      return 0;
    default:
      return DefWindowProcW(h, msg, w, l);
  }
}

void RegisterTestClass() {
  static bool done = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &CALLBACK_Test;
    wc.lpszClassName = u"KestrelTestListener";
    return RegisterClassW(&wc) != 0;
  }();
  ASSERT_TRUE(done);
}

HWND NewListener() {
  return CreateWindowExW(0, u"kestreltestlistener", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

TEST(WndCore, PostedMessagesAreDispatchedInOrderAndQuitEndsTheLoop) {
  RegisterTestClass();
  HWND w = NewListener();
  ASSERT_TRUE(IsWindow(w));
  EXPECT_EQ(GetWindowClassName(w), CString(u"KestrelTestListener"));
  g_sum = 0;
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessageW(w, WM_TEST_ADD, WPARAM(i), 0));
  PostQuitMessage(4);
  MSG m;
  int dispatched = 0;
  BOOL r;
  while ((r = GetMessageW(&m, nullptr, 0, 0)) > 0) {
    EXPECT_EQ(m.wParam, WPARAM(dispatched + 1));
    DispatchMessageW(&m);
    ++dispatched;
  }
  EXPECT_EQ(r, 0);
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 4u);
  EXPECT_EQ(dispatched, 3);
  EXPECT_EQ(g_sum.load(), 6);
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(PostMessageW(w, WM_TEST_ADD, 1, 0));
  EXPECT_EQ(SendMessageW(w, WM_TEST_ADD, 1, 0), 0);
}

TEST(WndCore, CrossThreadSendIsServedInsideAModalLoop) {
  RegisterTestClass();
  HWND w = NewListener();
  g_sum = 0;
  std::atomic<LRESULT> answer{0};
  std::thread worker([&] {
    answer = SendMessageW(w, WM_TEST_ADD, 41, 0);
    PostMessageW(w, WM_USER + 99, 0, 0);  // ends the modal loop
  });
  // The UI thread sits in a nested loop when the worker's message arrives.
  EXPECT_EQ(SendMessageW(w, WM_TEST_MODAL, 0, 0), 5);
  worker.join();
  EXPECT_EQ(answer.load(), 42);
  DestroyWindow(w);
}

TEST(WndCore, SenderAnswersMessagesSentToItWhileItWaits) {
  RegisterTestClass();
  HWND mine = NewListener();
  g_bounceTarget = mine;
  std::atomic<HWND> theirs{nullptr};
  std::atomic<bool> stop{false};
  std::thread other([&] {
    HWND w = NewListener();
    theirs = w;
    MSG m;
    while (!stop) {
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
      Sleep(1);
    }
    DestroyWindow(w);
  });
  while (!theirs) Sleep(1);
  // The other thread's handler sends back to our window while we wait: no deadlock.
  EXPECT_EQ(SendMessageW(theirs, WM_TEST_BOUNCE, 7, 0), 70);
  stop = true;
  other.join();
  DestroyWindow(mine);
}

TEST(WndCore, EightThreadsSendTenThousandMessagesEachWithoutLoss) {
  RegisterTestClass();
  HWND w = NewListener();
  g_sum = 0;
  std::atomic<int> finished{0};
  std::atomic<long> wrongAnswers{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < 8; ++t) {
    senders.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) {
        if (SendMessageW(w, WM_TEST_ADD, 1, 0) != 2) ++wrongAnswers;
        if (i % 100 == 0) PostMessageW(w, WM_TEST_ADD, 0, 0);
      }
      ++finished;
      PostMessageW(w, WM_NULL, 0, 0);  // wakes the loop
    });
  }
  MSG m;
  while (finished < 8) {
    if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    else WaitMessage();
  }
  for (auto& s : senders) s.join();
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_EQ(g_sum.load(), 80000);
  EXPECT_EQ(wrongAnswers.load(), 0);
  DestroyWindow(w);
}

TEST(WndCore, TimersFollowTheVirtualClock) {
  RegisterTestClass();
  UseVirtualMessageClock(true);
  HWND w = NewListener();
  g_timerTicks = 0;
  ASSERT_EQ(SetTimer(w, 1, 200, nullptr), 1u);
  MSG m;
  AdvanceVirtualMessageClock(199);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  AdvanceVirtualMessageClock(1);
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 1u);
  DispatchMessageW(&m);
  EXPECT_EQ(g_timerTicks.load(), 1);
  // Several periods at once give one WM_TIMER, as on Windows.
  AdvanceVirtualMessageClock(1000);
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(KillTimer(w, 1));
  EXPECT_FALSE(KillTimer(w, 1));
  AdvanceVirtualMessageClock(1000);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  UseVirtualMessageClock(false);
  DestroyWindow(w);
}

TEST(WndCore, GetMessageWakesForARealTimer) {
  RegisterTestClass();
  HWND w = NewListener();
  SetTimer(w, 9, 20, nullptr);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 9u);
  DestroyWindow(w);  // kills its timers
  EXPECT_FALSE(KillTimer(w, 9));
}

TEST(WndCore, SendersAreReleasedWhenTheOwnerThreadEnds) {
  RegisterTestClass();
  std::atomic<HWND> w{nullptr};
  std::atomic<bool> go{false};
  std::thread owner([&] {
    w = NewListener();
    while (!go) Sleep(1);
    Sleep(30);  // ends without ever running a loop
  });
  while (!w) Sleep(1);
  go = true;
  EXPECT_EQ(SendMessageW(w, WM_TEST_ADD, 1, 0), 0);
  owner.join();
  EXPECT_FALSE(IsWindow(w));
}

TEST(WndCore, ChildrenAreDestroyedWithTheirParentAndIdsKept) {
  RegisterTestClass();
  g_destroyed = 0;
  HWND parent = NewListener();
  HWND child = CreateWindowExW(0, u"KestrelTestListener", u"c", 0x40000000, 0, 0, 0, 0, parent,
                               reinterpret_cast<void*>(intptr_t(1001)), nullptr, nullptr);
  ASSERT_TRUE(IsWindow(child));
  EXPECT_EQ(GetParent(child), parent);
  EXPECT_EQ(GetDlgCtrlID(child), 1001);
  SetWindowLongPtrW(child, GWLP_USERDATA, 77);
  EXPECT_EQ(GetWindowLongPtrW(child, GWLP_USERDATA), 77);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
  DestroyWindow(parent);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(g_destroyed.load(), 2);
}

// A window's private data: there through WM_NCDESTROY, gone after it (and when the owner thread
// ends), kept alive for a handler that destroys its own window while it still uses it.
struct Counted : WindowData {
  explicit Counted(std::atomic<int>* g) : gone(g) {}
  ~Counted() override { ++*gone; }
  std::atomic<int>* gone;
  int value = 0;
};
std::atomic<int> g_dataGone{0};
std::atomic<int> g_valueAtNcDestroy{-1};

LRESULT DataProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_NCCREATE) SetWindowData(h, std::make_shared<Counted>(&g_dataGone));
  auto d = WindowDataOf<Counted>(h);
  switch (msg) {
    case WM_TEST_ADD:
      if (!d) return -1;
      d->value += int(w);
      if (l) {
        DestroyWindow(h);  // the data outlives the call because `d` holds it
        d->value += 1;
      }
      return d->value;
    case WM_NCDESTROY: g_valueAtNcDestroy = d ? d->value : -2; return 0;
    default: return DefWindowProcW(h, msg, w, l);
  }
}

TEST(WndCore, WindowDataLivesAsLongAsItsWindow) {
  static bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &DataProc;
    wc.lpszClassName = u"KestrelDataWnd";
    return RegisterClassW(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
  g_dataGone = 0;
  HWND a = CreateWindowExW(0, u"KestrelDataWnd", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(SendMessageW(a, WM_TEST_ADD, 5, 0), 5);
  EXPECT_EQ(SendMessageW(a, WM_TEST_ADD, 2, 0), 7);  // the same object every time, nothing copied
  EXPECT_EQ(WindowDataOf<Counted>(a)->value, 7);
  EXPECT_EQ(g_dataGone.load(), 0);
  DestroyWindow(a);
  EXPECT_EQ(g_valueAtNcDestroy.load(), 7);
  EXPECT_EQ(g_dataGone.load(), 1);
  EXPECT_EQ(GetWindowData(a), nullptr);
  SetWindowData(a, std::make_shared<Counted>(&g_dataGone));  // a gone window takes nothing
  EXPECT_EQ(g_dataGone.load(), 2);

  // A handler that destroys its own window keeps using its data safely.
  HWND b = CreateWindowExW(0, u"KestrelDataWnd", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(SendMessageW(b, WM_TEST_ADD, 3, 1), 4);
  EXPECT_FALSE(IsWindow(b));
  EXPECT_EQ(g_dataGone.load(), 3);

  // Windows of a thread that ends without destroying them let go of their data too.
  std::thread t([] { CreateWindowExW(0, u"KestrelDataWnd", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr); });
  t.join();
  EXPECT_EQ(g_dataGone.load(), 4);
}

}  // namespace
