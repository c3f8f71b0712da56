// The few calls that lower layers make upward into the application. The application installs
// the real handlers at start-up; tests install scripted ones. Every function here may be
// called from any thread. Handlers are set before worker threads start.
#pragma once

#include "platform/cstring.h"

// The skinned message box: returns true only when the first button closed it. With no
// first caption a single "OK" button is shown. Without a handler the text goes to stderr and
// the answer is false.
using MessageBoxHandler = bool (*)(const CString& text, const CString& first, const CString& second);
void SetMessageBoxHandler(MessageBoxHandler h);
bool ShowMessageBox(const CString& text, const CString& first = CString(), const CString& second = CString());

// The one fatal stop, from any thread. The handler reports the stop (it must not end the
// process itself); then the C streams are flushed and the process ends with the code at once,
// without static destructors, so threads that still run never meet torn-down objects.
using ExitReportHandler = void (*)(int code, const CString& message);
void SetExitReportHandler(ExitReportHandler h);
[[noreturn]] void ExitOnException(int code, const CString& message);

// Event reports for the report server (code, text, queued or sent at once). Without a handler
// reports are dropped.
using EventReportHandler = void (*)(unsigned code, const CString& text, bool queued);
void SetEventReportHandler(EventReportHandler h);
void SendEventReport(unsigned code, const CString& text, bool queued);

// Opens a document or an address with the desktop. Without a handler nothing opens (false).
using ShellOpenHandler = bool (*)(const CString& target);
void SetShellOpenHandler(ShellOpenHandler h);
bool ShellOpen(const CString& target);

// The language table, for code below the settings layer; without a handler texts are empty.
using LangTextHandler = CString (*)(const CString& key);
void SetLangTextHandler(LangTextHandler h);
CString LookupLangText(const CString& key);
