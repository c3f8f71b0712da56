// The application's side of a crash: the dump's name, the dump written beside the program,
// its upload, and the "Exit exception" report. The signal handling itself is the platform's
// crash handler (platform/crashhandler.h).
#pragma once

#include "platform/cstring.h"
#include "platform/crashhandler.h"

constexpr unsigned kBuildNumber = 6648;
constexpr unsigned kProductNumber = 6;

// "%u%s%u_%s_%s" of build number, brand (its first letter for a house brand), product number,
// read-error mark and machine identifier, cut to 54 characters, then "_HHMM.dmp". Path
// separators in the pieces become '-'.
CString BuildDumpName(const CString& brand, bool houseBrand, bool readErrorSeen, const CString& machineId,
                      unsigned hour, unsigned minute);

// Whether a sector read failed in this run. The disk reader installs its answer; without one
// the mark is "0".
using ReadErrorQuery = bool (*)();
void SetReadErrorQuery(ReadErrorQuery query);

// The crash thread's work: unless the run is already ending, writes the dump into the program
// folder, uploads and deletes it, and sends event 28 at once. True when the dump was written.
bool DumpThread(const CrashInfo& info);
// Installs the crash handler with DumpThread; the start-up calls it first thing.
bool InstallCrashFilter();
