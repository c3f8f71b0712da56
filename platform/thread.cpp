#include "platform/thread.h"

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "platform/sync.h"

namespace {

// Exit codes by thread handle, for GetExitCodeThread. Entries go when the handle is closed
// through the thread module; a handle closed with CloseHandle leaves a small stale entry.
std::mutex& ExitLock() {
  static std::mutex& m = *new std::mutex;
  return m;
}
std::map<HANDLE, DWORD>& ExitCodes() {
  static auto& codes = *new std::map<HANDLE, DWORD>;
  return codes;
}

HANDLE NewThreadHandle() {
  HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::lock_guard<std::mutex> g(ExitLock());
  ExitCodes()[h] = STILL_ACTIVE;
  return h;
}

void FinishThreadHandle(HANDLE h, DWORD code) {
  {
    std::lock_guard<std::mutex> g(ExitLock());
    ExitCodes()[h] = code;
  }
  SetEvent(h);
}

thread_local unsigned t_randSeed = 1;

}  // namespace

struct CWinThread::State {
  HANDLE resume = nullptr;
  std::atomic<DWORD> suspendCount{0};
};

DWORD CWinThread::ResumeThread() {
  if (!state_) return 0;
  DWORD prev = state_->suspendCount.exchange(0);
  if (prev) SetEvent(state_->resume);
  return prev;
}

CWinThread::~CWinThread() {
  if (state_) {
    CloseHandle(state_->resume);
    delete state_;
  }
  if (m_hThread) {
    {
      std::lock_guard<std::mutex> g(ExitLock());
      ExitCodes().erase(m_hThread);
    }
    CloseHandle(m_hThread);
  }
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int, UINT, DWORD flags, void*) {
  auto* t = new CWinThread;
  t->state_ = new CWinThread::State;
  t->state_->resume = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  t->m_hThread = NewThreadHandle();
  const bool suspended = (flags & CREATE_SUSPENDED) != 0;
  t->state_->suspendCount = suspended ? 1 : 0;
  HANDLE resume = t->state_->resume;
  HANDLE done = t->m_hThread;
  // The thread holds its own references: the owner may delete the object (and close the
  // handles) as soon as the wait on m_hThread returns.
  platform_detail::AddHandleRef(done);
  platform_detail::AddHandleRef(resume);
  std::thread([t, proc, param, suspended, resume, done] {
    if (suspended) WaitForSingleObject(resume, INFINITE);
    t->m_nThreadID = GetCurrentThreadId();
    const bool autoDelete = t->m_bAutoDelete != 0;
    DWORD code = proc(param);
    FinishThreadHandle(done, code);
    CloseHandle(resume);
    CloseHandle(done);
    if (autoDelete) delete t;
  }).detach();
  return t;
}

HANDLE StartThread(AFX_THREADPROC proc, LPVOID param) {
  HANDLE h = NewThreadHandle();
  // The thread keeps its own reference, so the caller may close the handle at any time.
  platform_detail::AddHandleRef(h);
  std::thread([proc, param, h] {
    DWORD code = proc(param);
    FinishThreadHandle(h, code);
    CloseHandle(h);
  }).detach();
  return h;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  std::lock_guard<std::mutex> g(ExitLock());
  auto it = ExitCodes().find(thread);
  if (it == ExitCodes().end() || !exitCode) return FALSE;
  *exitCode = it->second;
  return TRUE;
}

void CrtSrand(unsigned seed) { t_randSeed = seed; }

int CrtRand() {
  t_randSeed = t_randSeed * 214013u + 2531011u;
  return int((t_randSeed >> 16) & 0x7FFF);
}
