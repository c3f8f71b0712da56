// The program's entry point. It brings up what exists so far and says plainly what does not.
#include <cstdio>

#include "app/crashdump.h"
#include "app/edition.h"
#include "app/onlinecfg.h"
#include "app/reports.h"
#include "app/servicedll.h"
#include "app/settings.h"
#include "app/softcfg.h"
#include "base/log.h"
#include "core/copyouthooks.h"
#include "core/diskreader.h"
#include "core/preview/previewworker.h"
#include "core/recyclebin.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/copyoutscan.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/doctext/doctext.h"
#include "deepscan/liveresults.h"
#include "deepscan/sectorsignature.h"
#include "deepscan/videoscan.h"
#include "parsefilesystem/exfat/exfatextents.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "platform/fileio.h"
#include "platform/hooks.h"

namespace {

CString LangText(const CString& key) { return GetLangStr(key); }

}  // namespace

int main() {
  InstallCrashFilter();
  WriteLog(u"Kestrel starting");
  InitReportServices();
  CString dir = GetProgramDir();
  printf("Kestrel: program folder %s\n", dir.ToUtf8().c_str());

  CString err;
  if (!InitSoftCfg(err)) {
    // A broken installation: say so and stop with exit code 0, as a configuration failure does.
    ShowMessageBox(u"Get software configuration failed. Please setup software again!");
    ExitOnException(0, FormatCString(u"Get config failed! Ver: %s Svn: %u OS: %s ", u"9.0.5", 6648u, u"Linux") + err);
  }
  SetLangTextHandler(&LangText);
  LoadRegistryRunValues();
  SetReadErrorQuery([] { return DeviceReadErrorSeen.load() != 0; });
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
  // end; copy-out runs under the scan's progress services.
  InstallCarvingConsumer();
  InstallVideoScanConsumer();
  InstallScanResults();
  CopyOutServices copyServices;
  BindCopyOutToScanServices(copyServices);
  SetCopyOutServices(copyServices);
  // Previews and thumbnails: the worker runs for the whole session; a deep scan clears its
  // cache and queue before it resets the results.
  SetPreviewCacheHooks(&ClearPreviewCache, &ClearPreviewQueue);
  // Documents and archives: their texts in the preview, their properties in carved names.
  InstallDocumentTextReaders();
  StartPreviewWorker();
  // The maker's service library (a missing one stops the program) and the online edition
  // configuration, whose shipped address is empty.
  StartServiceDlls();
  RefreshOnlineCfg();
  printf("Kestrel: %s %s (%s) configuration loaded\n", GetBaseCfg(u"Brand").ToUtf8().c_str(),
         GetBaseCfg(u"Version").ToUtf8().c_str(), GetBaseCfg(u"language").ToUtf8().c_str());

  printf("Kestrel has no main window yet: the recovery engine and its windows are still being built.\n");
  StopPreviewWorker();
  ClearPreviewCache();
  StopServiceDlls();
  WriteLog(u"Kestrel stopped: no main window yet");
  return 0;
}
