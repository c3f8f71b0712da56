// "kscan carve [--metadata] IMAGE": the whole deep scan of an image, headless. The real reader fills the
// ring and the carving consumer examines every sector; questions get the scripted answer.
// Afterwards every carved file of the hit lists is printed as one JSON line:
//   {"lba", "size", "type", "kind", "status", "name", "sha256"}
// Files whose end the scan found (status 5) carry their exact size and the SHA-256 of those
// bytes. Files without end detection are sized by the distance to the next file hit (or the
// image end), as the results show them, and marked "sized":"next-hit". With --metadata the kept
// metadata sectors follow ({"lba", "kind", "type", "meta":true}, index records with "parent").
// A summary line ends the output.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include <openssl/evp.h>

#include "core/carvedname.h"
#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanhitstore.h"
#include "deepscan/scanreader.h"
#include "deepscan/scanrun.h"
#include "deepscan/scanthread.h"
#include "platform/wndcore.h"
#include "tests/tools/kscan/kscan.h"

namespace {

struct Counts {
  uint32_t finishing = 0, finished = 0, resultsReady = 0, filesAdded = 0;
};
Counts g_counts;

LRESULT MainProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_DEVICE_LOST:
      fprintf(stderr, "kscan: device lost, answered %s\n", KscanAnswerYes() ? "retry" : "stop");
      if (!KscanAnswerYes()) ScanRunState.store(kScanStopped);
      return 0;
    case WM_SCAN_FINISHING: ++g_counts.finishing; return 0;
    case WM_SCAN_FINISHED: ++g_counts.finished; return 0;
    case WM_RESULTS_READY: ++g_counts.resultsReady; return 0;
    case WM_VIEW_FILESADDED: ++g_counts.filesAdded; return 0;
    default: return DefWindowProcW(h, msg, w, l);
  }
}

std::string HashRange(DiskReader& reader, uint64_t lba, uint64_t size) {
  std::vector<uint8_t> buf(1 << 20);
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  EVP_DigestInit_ex(md, EVP_sha256(), nullptr);
  uint64_t done = 0;
  bool ok = true;
  while (done < size) {
    const uint64_t take = std::min<uint64_t>(buf.size(), size - done);
    const uint32_t sectors = uint32_t((take + kSectorBytes - 1) / kSectorBytes);
    if (!reader.ReadSectors(buf.data(), lba + done / kSectorBytes, sectors)) {
      ok = false;
      break;
    }
    EVP_DigestUpdate(md, buf.data(), size_t(take));
    done += take;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned len = 0;
  EVP_DigestFinal_ex(md, digest, &len);
  EVP_MD_CTX_free(md);
  if (!ok) return std::string();
  std::string hex;
  char b[3];
  for (unsigned i = 0; i < len; ++i) {
    snprintf(b, sizeof b, "%02x", digest[i]);
    hex += b;
  }
  return hex;
}

int RunCarve(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool metadata = false;
  if (!args.empty() && args[0] == "--metadata") {
    metadata = true;
    args.erase(args.begin());
  }
  if (args.size() != 1) {
    fprintf(stderr, "usage: kscan carve [--metadata] IMAGE\n");
    return 2;
  }
  const CString path(args[0]);
  DiskReader reader;
  if (!OpenDeviceByPath(path, reader, 1) || reader.sizeBytes < kSectorBytes) {
    printf("{\"error\":\"cannot open\",\"path\":\"%s\"}\n", args[0].c_str());
    return 1;
  }
  InitFileTypeTables();
  VolumeContext& target = ScanTarget();
  ResetVolumeContext(target);
  target.name = path;
  target.devicePath = path;
  target.sourcePath = path;
  target.sectorCount = reader.sizeBytes / kSectorBytes;
  target.deviceSectors = target.sectorCount;
  target.targetKind = kTargetImage;
  target.diskNumber = kImageDiskNumber;
  target.operation = 1;
  DeepScanSettingsRecord() = DeepScanSettings();
  DeepScanSettingsRecord().showWhileScanning = 0;
  InstallCarvingConsumer();
  SetScanFinishingPauseMs(1);

  WNDCLASSW wc{};
  wc.lpfnWndProc = &MainProc;
  wc.lpszClassName = u"KscanCarveMain";
  RegisterClassW(&wc);
  HWND main = CreateWindowExW(0, u"KscanCarveMain", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
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

  std::vector<SectorHit> hits;
  CollectAllHits(hits);
  std::vector<SectorHit> files;
  for (const SectorHit& h : hits)
    if (h.kind <= 176) files.push_back(h);
  std::stable_sort(files.begin(), files.end(), [](const SectorHit& a, const SectorHit& b) { return a.lba < b.lba; });

  uint32_t exact = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const SectorHit& h = files[i];
    const uint64_t lba = h.lba;
    uint64_t size = h.size;
    const bool known = h.endStatus == kHitEndFound;
    if (!known) {
      const uint64_t next = i + 1 < files.size() ? files[i + 1].lba : target.sectorCount;
      size = (next - lba) * kSectorBytes;
    }
    const uint64_t room = (target.sectorCount - std::min<uint64_t>(lba, target.sectorCount)) * kSectorBytes;
    const uint64_t hashed = std::min(size, room);
    CString name;
    MakeCarvedFileName(h.kind, lba, nullptr, name);
    const std::string sha = (known || hashed <= (64u << 20)) ? HashRange(reader, lba, hashed) : std::string();
    if (known) ++exact;
    printf("{\"lba\":%llu,\"size\":%llu,\"type\":\"%s\",\"kind\":%u,\"status\":%u,\"name\":\"%s\",\"sha256\":\"%s\"%s}\n",
           (unsigned long long)lba, (unsigned long long)size, GetSectorKindName(h.kind).ToUtf8().c_str(), h.kind,
           h.endStatus, name.ToUtf8().c_str(), sha.c_str(), known ? "" : ",\"sized\":\"next-hit\"");
  }
  if (metadata) {
    // The metadata sectors kept for the rebuilds; an index record carries its parent directory.
    for (const SectorHit& h : hits) {
      if (h.kind < 221 || h.kind > 232) continue;
      const uint64_t lba = h.lba;
      printf("{\"lba\":%llu,\"kind\":%u,\"type\":\"%s\",\"meta\":true", (unsigned long long)lba, h.kind,
             GetSectorKindName(h.kind).ToUtf8().c_str());
      if (h.kind == 225) printf(",\"parent\":%llu", (unsigned long long)reinterpret_cast<uintptr_t>(h.detail));
      printf("}\n");
    }
  }
  const double bytes = double(target.sectorCount) * kSectorBytes;
  printf("{\"files\":%zu,\"ended\":%u,\"hits\":%zu,\"state\":%u,\"finishing\":%u,\"finished\":%u,"
         "\"seconds\":%.3f,\"mbps\":%.1f}\n",
         files.size(), exact, hits.size(), ScanRunState.load(), g_counts.finishing, g_counts.finished, seconds,
         seconds > 0 ? bytes / seconds / 1e6 : 0.0);
  FreeBlockHitLists();
  return ScanRunState.load() == kScanInputDone ? 0 : 1;
}

KscanCommand reg("carve", "carve IMAGE", &RunCarve);

}  // namespace
