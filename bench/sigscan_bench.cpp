// The first half of the deep scan end to end: the reader, the block ring and the matching-only
// consumer over a 2 GiB image, against "cat IMAGE > /dev/null" measured in the same run.
// Warm page cache by default (the matcher and the copies are the limit). As root with
// KESTREL_BENCH_COLD=1 the caches are dropped before every run instead, and the scan should
// keep up with the device (ratio >= 0.9).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scanthread.h"
#include "deepscan/sigscanconsumer.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint64_t kImageBytes = 2ull << 30;

std::string ImagePath() {
  const char* dir = getenv("KESTREL_BENCH_DIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/kestrel-bench-sigs-2g.img";
}

bool ColdCache() {
  const char* v = getenv("KESTREL_BENCH_COLD");
  return v != nullptr && std::strcmp(v, "1") == 0 && geteuid() == 0;
}

void DropCaches() {
  sync();
  if (FILE* f = fopen("/proc/sys/vm/drop_caches", "w")) {
    fputs("3\n", f);
    fclose(f);
  }
}

// Random sectors with a file start planted every 1000 sectors.
void MakeImage(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && uint64_t(st.st_size) == kImageBytes) return;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint8_t> chunk(8u << 20);
  std::mt19937_64 rng(1);
  static const char* const kHeads[] = {"\xFF\xD8\xFF\xE0", "\x89PNG\r\n\x1A\n", "%PDF-1.4", "PK\3\4", "GIF89a"};
  uint64_t sector = 0;
  for (uint64_t off = 0; off < kImageBytes; off += chunk.size()) {
    for (size_t i = 0; i < chunk.size(); i += 8) {
      uint64_t v = rng();
      std::memcpy(chunk.data() + i, &v, 8);
    }
    for (size_t s = 0; s < chunk.size() / 512; ++s, ++sector)
      if (sector % 1000 == 0) {
        const char* h = kHeads[(sector / 1000) % 5];
        std::memcpy(chunk.data() + s * 512, h, std::strlen(h) == 0 ? 4 : std::strlen(h));
      }
    out.write(reinterpret_cast<const char*>(chunk.data()), std::streamsize(chunk.size()));
  }
}

double g_catSeconds = 0;
double g_scanSeconds = 0;

double TimeCat(const std::string& path) {
  if (ColdCache()) DropCaches();
  auto t0 = std::chrono::steady_clock::now();
  std::string cmd = "cat '" + path + "' > /dev/null";
  if (system(cmd.c_str()) != 0) return 0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double TimeScan(const std::string& path) {
  if (ColdCache()) DropCaches();
  VolumeContext& t = ScanTarget();
  ResetVolumeContext(t);
  t.devicePath = CString(path);
  t.name = t.devicePath;
  t.sectorCount = kImageBytes / 512;
  t.deviceSectors = t.sectorCount;
  t.operation = 1;
  DeepScanSettingsRecord() = DeepScanSettings();
  DeepScanSettingsRecord().showWhileScanning = 0;
  ScanRunState.store(kScanRunning);
  auto t0 = std::chrono::steady_clock::now();
  std::thread scan([] { DiskScanAndViewThread(&ScanRunState); });
  scan.join();
  while (ScanBlockRingExists() || WorkerThreadCount() != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ScanRunState.store(kScanStopped);
  return s;
}

void Keep(double& best, double s) {
  if (s > 0 && (best == 0 || s < best)) best = s;
}

void BM_CatImage(benchmark::State& state) {
  for (auto _ : state) Keep(g_catSeconds, TimeCat(ImagePath()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
}

void BM_SignatureScan(benchmark::State& state) {
  for (auto _ : state) Keep(g_scanSeconds, TimeScan(ImagePath()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
  SignatureScanCounts c = GetSignatureScanCounts();
  state.counters["hits"] = double(c.hits);
  state.counters["failed"] = double(c.failedBlocks);
}

BENCHMARK(BM_CatImage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_SignatureScan)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
  MakeImage(ImagePath());
  if (!ColdCache()) TimeCat(ImagePath());  // warm the page cache once
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_catSeconds > 0 && g_scanSeconds > 0) {
    double gb = double(kImageBytes) / 1e9;
    std::printf("%s cache: cat %.2f GB/s, signature scan %.2f GB/s: ratio %.3f (%s)\n", ColdCache() ? "cold" : "warm",
                gb / g_catSeconds, gb / g_scanSeconds, g_catSeconds / g_scanSeconds,
                ColdCache() ? "target >= 0.9" : "aim for >= 3 GB/s");
  }
  return 0;
}
