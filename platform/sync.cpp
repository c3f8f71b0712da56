#include "platform/sync.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

namespace platform_detail {

// Every waitable object shares one condition variable per object; waits on several objects
// poll in short steps, which is enough for the few places that use them.
struct WaitableObject {
  std::mutex m;
  std::condition_variable cv;
  bool manualReset = true;
  bool signalled = false;
  std::atomic<int> refs{1};
  uint32_t magic = 0x4B574149;  // "KWAI": tells our handles from stray pointers
};

WaitableObject* NewSignalObject(bool manualReset, bool initialState) {
  auto* o = new WaitableObject;
  o->manualReset = manualReset;
  o->signalled = initialState;
  return o;
}

void SignalObject(WaitableObject* o) {
  {
    std::lock_guard<std::mutex> g(o->m);
    o->signalled = true;
  }
  if (o->manualReset) o->cv.notify_all();
  else o->cv.notify_one();
}

void AddHandleRef(HANDLE h) { static_cast<WaitableObject*>(h)->refs.fetch_add(1); }

}  // namespace platform_detail

using platform_detail::WaitableObject;

namespace {

WaitableObject* FromHandle(HANDLE h) {
  auto* o = static_cast<WaitableObject*>(h);
  if (!o || o->magic != 0x4B574149) return nullptr;
  return o;
}

void Release(WaitableObject* o) {
  if (o->refs.fetch_sub(1) == 1) {
    o->magic = 0;
    delete o;
  }
}

// Tries to consume the signal; the object's mutex must be held.
bool TakeSignal(WaitableObject* o) {
  if (!o->signalled) return false;
  if (!o->manualReset) o->signalled = false;
  return true;
}

}  // namespace

HANDLE CreateEventW(void*, BOOL manualReset, BOOL initialState, const char16_t*) {
  return platform_detail::NewSignalObject(manualReset != 0, initialState != 0);
}

BOOL SetEvent(HANDLE h) {
  WaitableObject* o = FromHandle(h);
  if (!o) return FALSE;
  platform_detail::SignalObject(o);
  return TRUE;
}

BOOL ResetEvent(HANDLE h) {
  WaitableObject* o = FromHandle(h);
  if (!o) return FALSE;
  std::lock_guard<std::mutex> g(o->m);
  o->signalled = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD ms) {
  WaitableObject* o = FromHandle(h);
  if (!o) return WAIT_FAILED;
  o->refs.fetch_add(1);
  DWORD result = WAIT_OBJECT_0;
  {
    std::unique_lock<std::mutex> lk(o->m);
    if (ms == INFINITE) {
      o->cv.wait(lk, [o] { return o->signalled; });
      TakeSignal(o);
    } else if (!o->cv.wait_for(lk, std::chrono::milliseconds(ms), [o] { return o->signalled; })) {
      result = WAIT_TIMEOUT;
    } else {
      TakeSignal(o);
    }
  }
  Release(o);
  return result;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms) {
  if (count == 0 || !handles) return WAIT_FAILED;
  std::vector<WaitableObject*> objs;
  for (DWORD k = 0; k < count; ++k) {
    WaitableObject* o = FromHandle(handles[k]);
    if (!o) return WAIT_FAILED;
    objs.push_back(o);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (waitAll) {
      bool all = true;
      for (auto* o : objs) {
        std::lock_guard<std::mutex> g(o->m);
        all = all && o->signalled;
      }
      if (all) {
        for (auto* o : objs) {
          std::lock_guard<std::mutex> g(o->m);
          TakeSignal(o);
        }
        return WAIT_OBJECT_0;
      }
    } else {
      for (DWORD k = 0; k < count; ++k) {
        std::lock_guard<std::mutex> g(objs[k]->m);
        if (TakeSignal(objs[k])) return WAIT_OBJECT_0 + k;
      }
    }
    if (ms != INFINITE && std::chrono::steady_clock::now() >= deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

BOOL CloseHandle(HANDLE h) {
  WaitableObject* o = FromHandle(h);
  if (!o) return FALSE;
  Release(o);
  return TRUE;
}

LONG InterlockedIncrement(volatile LONG* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedDecrement(volatile LONG* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
LONG InterlockedExchange(volatile LONG* p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
LONG InterlockedExchangeAdd(volatile LONG* p, LONG v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
LONG InterlockedCompareExchange(volatile LONG* p, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

void Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

ULONGLONG GetTickCount64() {
  using namespace std::chrono;
  return ULONGLONG(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD GetTickCount() { return DWORD(GetTickCount64()); }

namespace {
// The thread's id, asked of the kernel once per thread: every message sent asks for it. A
// forked child's thread has a new id, so fork forgets it.
thread_local DWORD t_threadId = 0;
void ForgetThreadId() { t_threadId = 0; }
}  // namespace

DWORD GetCurrentThreadId() {
  static const bool hooked = pthread_atfork(nullptr, nullptr, &ForgetThreadId) == 0;
  (void)hooked;
  if (!t_threadId) t_threadId = DWORD(syscall(SYS_gettid));
  return t_threadId;
}
DWORD GetCurrentProcessId() { return DWORD(getpid()); }
