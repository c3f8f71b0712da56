// Synchronisation in the manner of Windows: critical sections (recursive, like the originals),
// kernel-style handles for events and threads that can be waited on with a time-out,
// interlocked operations, Sleep and tick counts.
#pragma once

#include <mutex>

#include "platform/wintypes.h"

class CCriticalSection {
 public:
  void Lock() { m_.lock(); }
  void Unlock() { m_.unlock(); }
  bool TryLock() { return m_.try_lock(); }
  // For std::lock_guard / std::scoped_lock.
  void lock() { m_.lock(); }
  void unlock() { m_.unlock(); }

 private:
  std::recursive_mutex m_;
};

// Holds a critical section for a scope.
class CSectionLock {
 public:
  explicit CSectionLock(CCriticalSection& cs) : cs_(cs) { cs_.Lock(); }
  ~CSectionLock() { cs_.Unlock(); }
  CSectionLock(const CSectionLock&) = delete;
  CSectionLock& operator=(const CSectionLock&) = delete;

 private:
  CCriticalSection& cs_;
};

// Events. A handle stays valid until CloseHandle; closing while another thread waits on it is
// safe (the object lives until its last user lets go).
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, const char16_t* name);
BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);
// WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED for a null or unknown handle.
DWORD WaitForSingleObject(HANDLE h, DWORD milliseconds);
// Returns WAIT_OBJECT_0 + index of a signalled handle (waitAll false), WAIT_OBJECT_0 when all
// are signalled (waitAll true), WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
BOOL CloseHandle(HANDLE h);

// Increments and exchanges on 32-bit words shared by threads; each returns what Windows does.
LONG InterlockedIncrement(volatile LONG* p);
LONG InterlockedDecrement(volatile LONG* p);
LONG InterlockedExchange(volatile LONG* p, LONG v);
LONG InterlockedExchangeAdd(volatile LONG* p, LONG v);
LONG InterlockedCompareExchange(volatile LONG* p, LONG exchange, LONG comparand);

void Sleep(DWORD milliseconds);
DWORD GetTickCount();
ULONGLONG GetTickCount64();
DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();

// Internals shared with the thread module: a waitable object behind a HANDLE.
namespace platform_detail {
struct WaitableObject;
WaitableObject* NewSignalObject(bool manualReset, bool initialState);
void SignalObject(WaitableObject* o);
// Takes one more reference on a handle; CloseHandle gives it back.
void AddHandleRef(HANDLE h);
}  // namespace platform_detail
