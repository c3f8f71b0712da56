// The first half of the deep scan end to end: the reader, the block ring and the matching-only
// consumer over a 2 GiB image, against "cat IMAGE > /dev/null" measured in the same run, with
// the processor time per GB of each (user + system, every thread; cat's as a child process).
// Warm page cache by default: the scan should reach at least half the speed of cat. With
// KESTREL_BENCH_COLD=1 the image's pages are dropped from the page cache before every run
// (posix_fadvise DONTNEED on the image alone: no root needed, nothing else on the machine loses
// its cache), so cat and the scan both read the image from the disk, and the scan should keep
// up with it (ratio >= 0.9).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
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
  return v != nullptr && std::strcmp(v, "1") == 0;
}

// Only clean pages leave the cache: the image is flushed first.
void DropImageCache(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fdatasync(fd);
  (void)posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

// Processor seconds (user + system) of this process's threads, or of its finished children.
double CpuSeconds(int who) {
  struct rusage u {};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
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

// The best run: its wall time and the processor time it took.
struct Timing {
  double wall = 0;
  double cpu = 0;
};
Timing g_cat, g_scan;

Timing TimeCat(const std::string& path) {
  if (ColdCache()) DropImageCache(path);
  const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
  auto t0 = std::chrono::steady_clock::now();
  std::string cmd = "cat '" + path + "' > /dev/null";
  if (system(cmd.c_str()) != 0) return {};
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), CpuSeconds(RUSAGE_CHILDREN) - cpu0};
}

Timing TimeScan(const std::string& path) {
  if (ColdCache()) DropImageCache(path);
  const double cpu0 = CpuSeconds(RUSAGE_SELF);
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
  const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
  ScanRunState.store(kScanStopped);
  return {s, cpu};
}

void Keep(Timing& best, Timing t) {
  if (t.wall > 0 && (best.wall == 0 || t.wall < best.wall)) best = t;
}

void BM_CatImage(benchmark::State& state) {
  for (auto _ : state) Keep(g_cat, TimeCat(ImagePath()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
}

void BM_SignatureScan(benchmark::State& state) {
  for (auto _ : state) Keep(g_scan, TimeScan(ImagePath()));
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
  if (g_cat.wall > 0 && g_scan.wall > 0) {
    const double gb = double(kImageBytes) / 1e9;
    std::printf("%s cache: cat %.3f s %.2f GB/s %.3f s CPU/GB, signature scan %.3f s %.2f GB/s %.3f s CPU/GB: ratio %.3f "
                "(target >= %s)\n",
                ColdCache() ? "cold" : "warm", g_cat.wall, gb / g_cat.wall, g_cat.cpu / gb, g_scan.wall, gb / g_scan.wall,
                g_scan.cpu / gb, g_cat.wall / g_scan.wall, ColdCache() ? "0.9" : "0.5");
  }
  return 0;
}
