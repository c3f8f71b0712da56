#include "program/kestrelapp.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>
#include <vector>

#include "app/appstart.h"
#include "app/crashdump.h"
#include "app/edition.h"
#include "app/servicedll.h"
#include "app/settings.h"
#include "app/skinhooks.h"
#include "app/weblink.h"
#include "base/log.h"
#include "core/copyouthooks.h"
#include "core/diskimage.h"
#include "core/diskreader.h"
#include "core/filefilter.h"
#include "core/filetypetable.h"
#include "core/preview/previewworker.h"
#include "core/recyclebin.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/copyoutscan.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/diskimagescan.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/liveresults.h"
#include "deepscan/mtsscan.h"
#include "deepscan/scanstatesave.h"
#include "deepscan/sectorsignature.h"
#include "deepscan/videoscan.h"
#include "dialogs/deepscansetdlg.h"
#include "dialogs/mainwnd.h"
#include "dialogs/messagedlg.h"
#include "dialogs/scanprogressdlg.h"
#include "dialogs/supportdlg.h"
#include "dialogs/webdlg.h"
#include "parsefilesystem/exfat/exfatextents.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "results/previewwnd.h"
#include "platform/afx/afxfiledlg.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/wintime.h"
#include "platform/wnd/backend.h"
#include "platform/webview/webviewlib.h"
#include "program/uidump.h"
#include "resources/embedded.h"
#include "results/filterdlg.h"
#include "results/recoverdlg.h"
#include "results/renamedlg.h"
#include "results/resultview.h"
#include "results/scansavedlg.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"
#include "skin/skinfonts.h"
#include "skin/skinimages.h"
#include "skin/skintheme.h"
#include "skin/splash.h"

CKestrelApp theApp;

namespace {

// The disk-image edition asks for the image file with the class library's save dialog; the
// chooser asks about an existing file itself.
bool ChooseImageFile(const CString& initialName, CString& chosen) {
  CFileDialog dlg(FALSE, u"QZD", initialName.GetString(), OFN_HIDEREADONLY, u"文件类型(*.QZD)|*.QZD||");
  if (dlg.DoModal() != IDOK) return false;
  chosen = dlg.GetPathName();
  return !chosen.IsEmpty();
}

CString LangText(const CString& key) { return GetLangStr(key); }

void PlainBox(const CString& text) { AfxMessageBox(text, MB_OK); }

bool PauseScanOnExit() {
  // Only while the main window runs: its scan state is the one the scan threads poll.
  return AfxGetMainWnd() && PauseScan() == 1;
}

void StopScanForShutdown() { ScanRunState.store(kScanStopped); }
void ClearAppVolumeList() { ClearVolumeList(AppVolumeList()); }

}  // namespace

CKestrelApp::CKestrelApp() : CWinAppEx(u"Kestrel") {}

void CKestrelApp::SetCommandLine(int argc, char** argv) { m_showSplash = CommandLineShowsSplash(argc, argv); }

bool CommandLineShowsSplash(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!a || (a[0] != '/' && a[0] != '-')) continue;
    for (const char* s : {"automation", "embedding", "register", "regserver", "unregister", "unregserver"}) {
      if (strcasecmp(a + 1, s) == 0) return false;
    }
  }
  return true;
}

BOOL CKestrelApp::InitInstance() {
  InitAppEnv();
  SplashEnabled = GetSoftCfg(u"Splash") == CString(u"1") && m_showSplash ? 1 : 0;
  StartServiceDlls();
  LoadWebViewLibrary();
  RunMainWindow();
  WriteLog(u"App to uninit qp dll");
  FinalizeWebViewLibrary();
  StopServiceDlls();
  WriteLog(u"App uninit qp dll end");
  return FALSE;
}

int CKestrelApp::ExitInstance() {
  ClearVolumeList(AppVolumeList());
  return CWinAppEx::ExitInstance();
}

BOOL CKestrelApp::PreTranslateMessage(MSG* msg) {
  if (SplashPreTranslateMessage(msg)) return TRUE;
  return CWinAppEx::PreTranslateMessage(msg);
}

ShutdownSteps DefaultShutdownSteps() {
  ShutdownSteps s;
  s.stopPreviewWorker = &StopPreviewWorker;
  s.stopScan = &StopScanForShutdown;
  s.workerCount = &WorkerThreadCount;
  s.freeHitLists = &FreeBlockHitLists;
  s.clearVolumeList = &ClearAppVolumeList;
  s.clearPreviewCache = &ClearPreviewCache;
  return s;
}

bool RunShutdownSteps(const ShutdownSteps& s) {
  if (s.stopPreviewWorker) s.stopPreviewWorker();
  if (s.stopScan) s.stopScan();
  bool ended = true;
  if (s.workerCount) {
    const DWORD start = GetTickCount();
    while (s.workerCount() > 0) {
      if (GetTickCount() - start >= s.waitLimitMs) {
        ended = false;
        WriteLogFmt(u"Shutdown: %d workers still run", int(s.workerCount()));
        break;
      }
      Sleep(20);
    }
  }
  // A worker that never ended may still hold these: they are left to the process's end.
  if (ended) {
    if (s.freeHitLists) s.freeHitLists();
    if (s.clearVolumeList) s.clearVolumeList();
    if (s.clearPreviewCache) s.clearPreviewCache();
  }
  return ended;
}

bool RunMainWindow() {
  if (CheckSingleInstance(theApp.m_instanceMutex)) return false;
  LoadRegistryRunValues();
  StartStartupThread();
  StartPreviewWorker();
  SetSkinThemeValues();
  InitFileTypeTables();
  SYSTEMTIME now{};
  GetLocalTime(&now);
  FileFilter() = MakeDefaultFileFilter(now.wYear, now.wMonth, now.wDay);
  // The preview window lives hidden from before the main window until its loop has ended.
  CreatePreviewWindow(AppVolumeList(), AppPreviewService());
  StartUiDump();
  {
    CKestrelDlg dlg;
    theApp.m_pMainWnd = &dlg;
    dlg.DoModal();
    theApp.m_instanceMutex.Close();
    DestroyPreviewWindow();
    RunShutdownSteps(DefaultShutdownSteps());
    theApp.m_pMainWnd = nullptr;
  }
  return true;
}

void InstallProgramServices() {
  SetLangTextHandler(&LangText);
  SetPlainMessageBoxHandler(&PlainBox);
  InstallFatalStopReport();
  InstallDesktopOpener();
  SetPauseScanForExitHandler(&PauseScanOnExit);
  SetReadErrorQuery([] { return DeviceReadErrorSeen.load() != 0; });
  SetSkinImageTableLoader(&LoadSkinImageTable);
  SetSkinFontsInitializer(&InitSkinFonts);
  // Found files of every file system read their data through these.
  InitNtfsExtentProvider();
  InitFatExtentProvider();
  InitExfatExtentProvider();
  // The FAT parser types the clusters of deleted files with the deep scan's matcher.
  InitSectorSignatureMatcher();
  // Tree building repairs the Recycle Bin of every parsed volume through this.
  InstallRecycleBinRepair();
  // A deep scan carves files as it reads (or, in the video editions, gathers what the video
  // rebuild needs), shows what it finds while it runs and turns it into the final results at its
  // end; copy-out runs under the scan's progress services and ends with the recovery-finished
  // dialog.
  InstallCarvingConsumer();
  InstallVideoScanConsumer();
  InstallMtsScanConsumer();
  InstallScanResults();
  // A long scan can be saved at its end and resumed from its saved state at the next start.
  InstallScanStateFiles();
  // The disk-image edition writes the blocks it reads into the chosen image file instead.
  InstallDiskImageConsumer();
  DiskImageServices imageServices;
  imageServices.saveAsDialog = &ChooseImageFile;
  SetDiskImageServices(imageServices);
  CopyOutServices copyServices;
  BindCopyOutToScanServices(copyServices);
  copyServices.supportSoftDlg = &ShowSupportSoftDlg;
  SetCopyOutServices(copyServices);
  // The recovery options and the job-progress dialog in place of the headless stand-ins.
  InstallRecoveryDialogs();
  // A deep scan clears the previews' cache and queue before it resets the results.
  SetPreviewCacheHooks(&ClearPreviewCache, &ClearPreviewQueue);
  // Documents and archives: their texts in the preview, their properties in carved names.
  InstallDocumentTextReaders();
  RegisterEmbeddedResources();
  RegisterMainWindowTemplates();
  InstallResultView();
  InstallMessageBox();
  InstallDeepScanSettingsDialog();
  RegisterFileFilterTemplates();
  InstallRenameDialog();
  InstallSavedScanChooser();
  // The progress panel's Save writes the scan-state file and its index entry.
  SetSaveScanStateHandler(&SaveScanState);
  RegisterWebViewStandIn();
}

bool OpenProgramDisplay() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    fprintf(stderr, "Kestrel needs a graphical desktop: no display is set (DISPLAY is empty).\n");
    return false;
  }
  if (!SelectBackend("x11")) {
    fprintf(stderr, "Kestrel needs a graphical desktop: the display %s cannot be opened.\n", display);
    return false;
  }
  return true;
}
