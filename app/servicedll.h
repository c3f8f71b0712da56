// The maker's service library and the update check. The library is loaded by name from the
// program folder at start-up (without it the program cannot run), reached only through
// GetServiceInterface, and unloaded after the main window closed. The update check asks it for
// the latest and the installed version and, when a newer one exists, starts the updater
// beside the program, at once when the update is forced, else when the user agrees.
#pragma once

#include <functional>

#include "platform/cstring.h"
#include "platform/process.h"
#include "platform/servicelib.h"

// File names in the program folder.
constexpr char16_t kServiceLibraryFile[] = u"libvod.so";
constexpr char16_t kUpdaterFile[] = u"ReVo";

struct ServiceDllHolder {
  HMODULE module = nullptr;
  ServiceExportFn exportFn = nullptr;  // looked up on first use and kept
};
extern ServiceDllHolder ServiceDll;

// The library's interface, or null while the library is not loaded (or lacks its export).
IServiceInterface* GetServiceInterface();
// Loads the library and makes its start-up calls. A library that cannot be loaded, or that
// has no interface, stops the program: "can't load vod" and exit code -1.
void StartServiceDlls();
// Releases the library's state, unloads it and clears the holder.
void StopServiceDlls();
// Where the library keeps its configuration (it may ignore it): under the program folder.
CString GetServiceConfigPath();

// -1, 0 or 1. Texts whose every dot-separated part is a run of digits compare part by part as
// numbers ("9.0.10" is newer than "9.0.5"; a missing part counts as 0); any other text
// compares as a plain wide string.
int CompareVersionTexts(const CString& a, const CString& b);
// True when a newer version exists. A forced update ("ForceUpdate" 1 or more) starts the
// updater at once; otherwise the user is asked. When the updater starts, the exit question is
// switched off and endMainDialog closes the main window. When it cannot start, the user is
// told why and the program stays open, unless the update was forced.
bool CheckForUpdate(const std::function<void()>& endMainDialog);
// Starts the updater with /appfile, /ppid and /verinfo; says why and returns false when it
// cannot.
bool RunUpdater();
