// The application object and the program's run: the start-up sequence, the main window run
// modally for the whole session, and the shutdown that stops every worker before it frees
// what they use.
#pragma once

#include <cstdint>

#include "platform/afx/afxwin.h"
#include "platform/namedmutex.h"

class CKestrelApp : public CWinAppEx {
 public:
  CKestrelApp();
  // Runs the whole program from the first window to the last; always FALSE, so the class
  // library's own message loop never runs.
  BOOL InitInstance() override;
  int ExitInstance() override;
  // While the splash shows, keys steer its countdown (Esc ends it, Space pauses it).
  BOOL PreTranslateMessage(MSG* msg) override;
  void SetCommandLine(int argc, char** argv);

  NamedMutex m_instanceMutex;
  // The command line's show-splash switch: on unless an automation, embedding or registration
  // switch is given.
  bool m_showSplash = true;
};

extern CKestrelApp theApp;

// False when another instance runs (it was told); true after the main window closed.
bool RunMainWindow();

// The shutdown after the main window closed, in the order that keeps every worker off freed
// memory: the preview worker and the scan are told to stop, the worker count is awaited
// (bounded), then the hit lists, the volume list and the preview cache are freed.
struct ShutdownSteps {
  void (*stopPreviewWorker)() = nullptr;
  void (*stopScan)() = nullptr;
  int32_t (*workerCount)() = nullptr;
  void (*freeHitLists)() = nullptr;
  void (*clearVolumeList)() = nullptr;
  void (*clearPreviewCache)() = nullptr;
  uint32_t waitLimitMs = 10000;
};
ShutdownSteps DefaultShutdownSteps();
// True when the workers ended within the limit.
bool RunShutdownSteps(const ShutdownSteps& steps);

// Everything the program installs before InitInstance: hooks of the lower layers, dialog
// templates, resources, the message box and the web-view library's stand-in.
void InstallProgramServices();

// Whether argv asks for the splash (no /Automation, /Embedding, /Register, /Unregister and
// their -forms, in any case).
bool CommandLineShowsSplash(int argc, char** argv);

// Opens the display for the windows; on failure writes one line to stderr and returns false.
bool OpenProgramDisplay();
