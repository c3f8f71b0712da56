// The engine-facing half of the program's start and end: the process set-up before any window
// (InitAppEnv), the start report and its worker (ReportStartInfo, StartupThread), the
// single-instance check, the end-of-run report (ReportAppExit) and the one fatal stop's report.
// Nothing here shows a window itself: the plain message box and the pause of a running scan
// are hooks the program installs.
#pragma once

#include <cstdint>

#include "platform/cstring.h"
#include "platform/namedmutex.h"
#include "platform/wintypes.h"

// The run identifier, "ID: %u " with a number below 1000000: written by ReportStartInfo on
// StartupThread and read by the close and the fatal stop on other threads, so it lives behind
// a lock and readers get a copy. Empty until the start report ran.
CString GetRunIdText();
void SetRunIdText(const CString& text);

// The class library's plain message box (OK only), for the texts shown before the skinned one
// exists. Without a handler the text goes to stderr.
using PlainMessageBoxHandler = void (*)(const CString& text);
void SetPlainMessageBoxHandler(PlainMessageBoxHandler h);
void ShowPlainMessageBox(const CString& text);

// Pauses the main window's scan when one runs (0 → 1); true when it did. The program installs
// the scan state word's pause; without a handler nothing runs to pause.
using PauseScanForExitHandler = bool (*)();
void SetPauseScanForExitHandler(PauseScanForExitHandler h);
// How long ReportAppExit waits after pausing a scan (300 ms); tests shorten it.
void SetExitPauseWaitForTest(DWORD ms);

// True when the user's interface language is Chinese (LANG, LC_ALL or LC_MESSAGES starting
// with "zh"), as the system's 0x0404 and 0x0804 would say.
bool IsChineseUiLanguage();

// Locale and seed, machine identifier and OS text, the report sender, the settings (a failure
// shows the configuration box and stops the process with exit code 0) and the skin fonts.
void InitAppEnv();

// The start report: run number, edition tag, version, build, OS text, run identifier and the
// machine's memory, queued as event 0; the line is also logged. Sets the run identifier.
void ReportStartInfo();
// The memory part of the start report, "   AllMem: %u FreeMem: %u" in MiB; empty when the
// system does not say.
CString MemoryStatusText();

// One pass on its own thread: the online configuration, the start report, one leftover dump.
UINT StartupThread(LPVOID);
// Starts StartupThread detached.
void StartStartupThread();

// End of the run: the exiting flag, "RunInfo" reset, event 1 with the text sent at once, and a
// running scan paused with a wait of 300 ms.
void ReportAppExit(const CString& text);
// The fatal stop's report: ReportAppExit with the run identifier, "Exception: " and the
// message. Installed as the handler of ExitOnException.
void ReportFatalStop(int code, const CString& message);
void InstallFatalStopReport();

// The single-instance check on the mutex "<SingleRunStr>-<Version>": true when another
// instance holds it (the "SoftRunning" text has then been shown and `held` stays empty);
// otherwise `held` keeps the lock until it is closed or the process ends.
bool CheckSingleInstance(NamedMutex& held);
// The mutex name of the configured edition.
CString SingleInstanceName();
