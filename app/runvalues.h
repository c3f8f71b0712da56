// The per-run values the application object keeps for reports, dumps and shutdown: the
// machine identifier, the OS text, the registry's "Detail" tag, the improvement-programme
// consent, the exiting flag and the exit-without-asking flag. Each is set once (the exiting
// flag at the end of the run) and read by any thread.
#pragma once

#include "platform/cstring.h"

// The machine identifier; at most 64 characters are kept. Empty stops every event report.
CString GetAppMachineId();
void SetAppMachineId(const CString& id);

CString GetAppOsText();
void SetAppOsText(const CString& text);

// "0" until the registry was read.
CString GetAppDetailValue();
void SetAppDetailValue(const CString& detail);

// True when the user joined the improvement programme ("JoinImproveSoft" is "1").
bool IsImproveJoined();
void SetImproveJoined(bool joined);

// Set when the run ends through its normal exit path; a crash after that writes no dump.
bool IsAppExiting();
void SetAppExiting(bool exiting);

// Set when an update was started: the main window then closes without its exit question.
bool IsExitWithoutAsking();
void SetExitWithoutAsking(bool on);
