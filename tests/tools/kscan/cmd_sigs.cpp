// "kscan sigs IMAGE": the first half of the deep scan on its own. The real reader fills the
// block ring from the image and a consumer that only runs the signature matcher prints every
// sector that starts a known type or kind, one JSON line each, then a summary line.
#include <cstdio>

#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanreader.h"
#include "deepscan/sigscanconsumer.h"
#include "platform/wndcore.h"
#include "scanbase/scanrun.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscancarve.h"

namespace {

void PrintHit(void*, uint64_t lba, uint32_t type) {
  printf("{\"lba\":%llu,\"kind\":%u,\"type\":\"%s\"}\n", (unsigned long long)lba, type,
         GetSectorKindName(type).ToUtf8().c_str());
}

LRESULT MainProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == WM_DEVICE_LOST) {
    KscanDeviceLost();
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
  KscanPrepareImageScan(path, sizeBytes);
  SetSignatureHitSink(&PrintHit, nullptr);
  const double seconds = KscanRunScan(&MainProc, u"KscanSigsMain");

  SignatureScanCounts c = GetSignatureScanCounts();
  double bytes = double(c.blocks) * kScanBlockDataBytes;
  printf("{\"blocks\":%llu,\"failed\":%llu,\"hits\":%llu,\"state\":%u,\"seconds\":%.3f,\"mbps\":%.1f}\n",
         (unsigned long long)c.blocks, (unsigned long long)c.failedBlocks, (unsigned long long)c.hits,
         ScanRunState.load(), seconds, seconds > 0 ? bytes / seconds / 1e6 : 0.0);
  return c.failedBlocks == 0 ? 0 : 1;
}

KscanCommand reg("sigs", "sigs IMAGE", &RunSigs);

}  // namespace
