// "kscan sigs IMAGE": the first half of the deep scan on its own. The real reader fills the
// block ring from the image and a consumer that only runs the signature matcher prints every
// sector that starts a known type or kind, one JSON line each, then a summary line.
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanreader.h"
#include "deepscan/scanrun.h"
#include "deepscan/scanthread.h"
#include "deepscan/sigscanconsumer.h"
#include "platform/wndcore.h"
#include "tests/tools/kscan/kscan.h"

namespace {

void PrintHit(void*, uint64_t lba, uint32_t type) {
  printf("{\"lba\":%llu,\"kind\":%u,\"type\":\"%s\"}\n", (unsigned long long)lba, type,
         GetSectorKindName(type).ToUtf8().c_str());
}

// The device-lost question goes to the scripted answer: yes retries, no stops the scan.
LRESULT MainProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_DEVICE_LOST) {
    fprintf(stderr, "kscan: device lost, answered %s\n", KscanAnswerYes() ? "retry" : "stop");
    if (!KscanAnswerYes()) ScanRunState.store(kScanStopped);
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

int RunSigs(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    fprintf(stderr, "usage: kscan sigs IMAGE\n");
    return 2;
  }
  const CString path(args[0]);
  uint64_t sizeBytes = 0;
  {
    DiskReader probe;
    if (!OpenDeviceByPath(path, probe, 1)) {
      printf("{\"error\":\"cannot open\",\"path\":\"%s\"}\n", args[0].c_str());
      return 1;
    }
    sizeBytes = probe.sizeBytes;
  }
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
  SetSignatureHitSink(&PrintHit, nullptr);

  WNDCLASSW wc{};
  wc.lpfnWndProc = &MainProc;
  wc.lpszClassName = u"KscanSigsMain";
  RegisterClassW(&wc);
  HWND main = CreateWindowExW(0, u"KscanSigsMain", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  AppVolumeList().mainWindow = main;

  auto start = std::chrono::steady_clock::now();
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
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  AppVolumeList().mainWindow = nullptr;
  DestroyWindow(main);

  SignatureScanCounts c = GetSignatureScanCounts();
  double bytes = double(c.blocks) * kScanBlockDataBytes;
  printf("{\"blocks\":%llu,\"failed\":%llu,\"hits\":%llu,\"state\":%u,\"seconds\":%.3f,\"mbps\":%.1f}\n",
         (unsigned long long)c.blocks, (unsigned long long)c.failedBlocks, (unsigned long long)c.hits,
         ScanRunState.load(), seconds, seconds > 0 ? bytes / seconds / 1e6 : 0.0);
  return c.failedBlocks == 0 ? 0 : 1;
}

KscanCommand reg("sigs", "sigs IMAGE", &RunSigs);

}  // namespace
