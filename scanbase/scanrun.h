// The worker count and the scan state word with pause and resume.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/cstring.h"

// Every worker thread calls these at its start and end.
void OnThreadBegin(const CString& threadName);
void OnThreadEnd(const CString& threadName);
int32_t WorkerThreadCount();

// 0 running, 1 paused, 2 stop requested or idle (the initial value), 3 input finished.
enum : uint32_t { kScanRunning = 0, kScanPaused = 1, kScanStopped = 2, kScanInputDone = 3 };
extern std::atomic<uint32_t> ScanRunState;
// Set while the scan is paused.
extern std::atomic<uint32_t> ScanPauseFlag;

// 1 when the state went from running to paused (the pause start is noted); 0, changing
// nothing, when the scan was not running.
int PauseScan();
// Back to running; the length of the pause is added to ScanPausedSeconds.
void ResumeScan();
// When the current pause began (scan clock seconds). Whoever counts a running pause into
// ScanPausedSeconds before the resume moves the start to now, so the resume adds only the rest.
int64_t ScanPauseStartTime();
void SetScanPauseStartTime(int64_t seconds);
