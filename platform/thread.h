// Worker threads in the manner of the class library: one thread procedure per operation,
// started detached; the thread's handle is signalled when the procedure returns.
#pragma once

#include "platform/wintypes.h"

using AFX_THREADPROC = UINT (*)(LPVOID);
constexpr DWORD CREATE_SUSPENDED = 0x4;
constexpr DWORD STILL_ACTIVE = 259;

class CWinThread {
 public:
  HANDLE m_hThread = nullptr;  // waitable; closed when the object is deleted
  DWORD m_nThreadID = 0;
  BOOL m_bAutoDelete = TRUE;   // delete this object when the procedure returns
  // Starts a thread created with CREATE_SUSPENDED; returns the previous suspend count.
  DWORD ResumeThread();
  ~CWinThread();

 private:
  friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, void*);
  struct State;
  State* state_ = nullptr;
};

// Starts proc(param) on a new thread. With CREATE_SUSPENDED the thread waits for ResumeThread,
// so the caller can clear m_bAutoDelete first and wait on m_hThread later.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = 0, UINT stackSize = 0,
                           DWORD flags = 0, void* security = nullptr);

// A plain thread whose handle the caller owns and closes; signalled when proc returns.
HANDLE StartThread(AFX_THREADPROC proc, LPVOID param);
// The procedure's return value, or STILL_ACTIVE while it runs. False for a foreign handle.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

// The C runtime's pseudo-random generator, kept per thread as the Windows runtime keeps it:
// a thread that never seeds starts from seed 1; values lie in 0..32767.
void CrtSrand(unsigned seed);
int CrtRand();
