#include "tests/tools/kscan/kscancarve.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanreader.h"
#include "deepscan/scanthread.h"
#include "platform/wndcore.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"
#include "tests/tools/kscan/kscan.h"

namespace {
KscanHeard g_counts;
}  // namespace

LRESULT KscanMainProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_DEVICE_LOST: KscanDeviceLost(); return 0;
    case WM_SCAN_FINISHING: ++g_counts.finishing; return 0;
    case WM_SCAN_FINISHED: ++g_counts.finished; return 0;
    case WM_RESULTS_READY: ++g_counts.resultsReady; return 0;
    case WM_VIEW_FILESADDED: ++g_counts.filesAdded; return 0;
    default: return DefWindowProcW(h, msg, w, l);
  }
}

const KscanHeard& KscanMessagesHeard() { return g_counts; }

void KscanDeviceLost() {
  fprintf(stderr, "kscan: device lost, answered %s\n", KscanAnswerYes() ? "retry" : "stop");
  if (!KscanAnswerYes()) ScanRunState.store(kScanStopped);
}

void KscanPrepareImageScan(const CString& path, uint64_t sizeBytes) {
  InitFileTypeTables();
  VolumeContext& target = ScanTarget();
  ResetVolumeContext(target);
  target.name = path;
  target.devicePath = path;
  target.sourcePath = path;
  target.sectorCount = sizeBytes / kSectorBytes;
  target.deviceSectors = target.sectorCount;
  target.targetKind = kTargetImage;
  target.diskNumber = kImageDiskNumber;
  target.operation = 1;
  DeepScanSettingsRecord() = DeepScanSettings();
  DeepScanSettingsRecord().showWhileScanning = 0;
}

double KscanRunScan(WNDPROC proc, const char16_t* className) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = className;
  RegisterClassW(&wc);
  HWND main = CreateWindowExW(0, className, u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  AppVolumeList().mainWindow = main;
  AppVolumeList().AddListener(main);

  const auto start = std::chrono::steady_clock::now();
  ScanRunState.store(kScanRunning);
  std::atomic<bool> readerEnded{false};
  std::thread scan([&] {
    DiskScanAndViewThread(&ScanRunState);
    readerEnded = true;
  });
  // The consumer frees the ring when it closes the scan, and leaves the worker count last.
  while (!readerEnded.load() || ScanBlockRingExists() || WorkerThreadCount() != 0) {
    PumpSentMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  scan.join();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  AppVolumeList().mainWindow = nullptr;
  DestroyWindow(main);
  return seconds;
}

bool KscanRunCarve(const std::string& pathText, KscanCarveRun& run) {
  const CString path(pathText);
  if (!OpenDeviceByPath(path, run.reader, 1)) {
    printf("{\"error\":\"cannot open\",\"path\":\"%s\"}\n", pathText.c_str());
    return false;
  }
  if (run.reader.sizeBytes < kSectorBytes) {
    printf("{\"error\":\"image smaller than one sector\",\"path\":\"%s\"}\n", pathText.c_str());
    return false;
  }
  KscanPrepareImageScan(path, run.reader.sizeBytes);
  run.sectors = ScanTarget().sectorCount;
  InstallCarvingConsumer();
  SetScanFinishingPauseMs(1);
  run.seconds = KscanRunScan(&KscanMainProc, u"KscanCarveMain");
  run.finishing = g_counts.finishing;
  run.finished = g_counts.finished;

  CollectAllHits(run.hits);
  std::vector<SectorHit> files;
  for (const SectorHit& h : run.hits)
    if (h.kind <= 176) files.push_back(h);
  std::stable_sort(files.begin(), files.end(), [](const SectorHit& a, const SectorHit& b) { return a.lba < b.lba; });
  for (size_t i = 0; i < files.size(); ++i) {
    KscanCarvedFile f;
    f.hit = files[i];
    // A found end of size 0 (a drawing whose header states none) is sized like a file without
    // end detection.
    f.endKnown = files[i].endStatus == kHitEndFound && files[i].size != 0;
    if (f.endKnown) {
      f.size = files[i].size;
    } else {
      const uint64_t next = i + 1 < files.size() ? files[i + 1].lba : run.sectors;
      f.size = (next - files[i].lba) * kSectorBytes;
    }
    run.files.push_back(f);
  }
  return true;
}

void KscanEndCarve() { FreeBlockHitLists(); }
