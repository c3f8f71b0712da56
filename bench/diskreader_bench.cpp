// Sequential reading of a 1 GiB image in whole scan blocks (16384 sectors): through the
// DiskReader (helper thread, time-outs, bounce buffer, read lock) against plain pread in the
// same run, page cache warm. Prints the ratio of the two; the reader should reach 0.9.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/diskreader.h"

namespace {

constexpr uint64_t kImageBytes = 1ull << 30;
constexpr uint32_t kBlockSectors = 16384;
constexpr uint64_t kBlockBytes = uint64_t(kBlockSectors) * 512;

std::string ImagePath() {
  const char* dir = getenv("KESTREL_BENCH_DIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/kestrel-bench-1g.img";
}

void MakeImage(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && uint64_t(st.st_size) == kImageBytes) return;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint64_t> block(kBlockBytes / 8);
  for (uint64_t off = 0; off < kImageBytes; off += kBlockBytes) {
    for (size_t i = 0; i < block.size(); ++i) block[i] = (off / 512) + i / 64;  // each sector its LBA
    out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(kBlockBytes));
  }
}

double g_preadRate = 0;
double g_readerRate = 0;
double g_directRate = 0;

void Record(double& best, uint64_t bytes, std::chrono::steady_clock::duration d) {
  double rate = double(bytes) / std::chrono::duration<double>(d).count();
  if (rate > best) best = rate;
}

void BM_PlainPread(benchmark::State& state) {
  int fd = open(ImagePath().c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<uint8_t> buf(kBlockBytes);
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    for (uint64_t off = 0; off < kImageBytes; off += kBlockBytes) {
      if (pread(fd, buf.data(), kBlockBytes, off_t(off)) != ssize_t(kBlockBytes)) state.SkipWithError("pread");
    }
    Record(g_preadRate, kImageBytes, std::chrono::steady_clock::now() - t0);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
  close(fd);
}

void ReadThroughReader(benchmark::State& state, const CString& path, double& best) {
  DiskReader r;
  if (!OpenDeviceByPath(path, r, 1)) {
    state.SkipWithError("open");
    return;
  }
  std::vector<uint8_t> buf(kBlockBytes);
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    for (uint64_t lba = 0; lba < kImageBytes / 512; lba += kBlockSectors) {
      if (!r.ReadSectors(buf.data(), lba, kBlockSectors)) state.SkipWithError("read");
    }
    Record(best, kImageBytes, std::chrono::steady_clock::now() - t0);
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kImageBytes));
}

void BM_DiskReader(benchmark::State& state) {
  ReadThroughReader(state, CString(ImagePath().c_str()), g_readerRate);
}

// The same image presented as a disk read with O_DIRECT, for information: it bypasses the
// page cache, so it measures the storage below rather than the reader.
void BM_DiskReaderDirect(benchmark::State& state) {
  std::string md = ImagePath() + ".machine.json";
  std::ofstream(md) << "{ \"disks\": [ { \"image\": \"" << ImagePath() << "\", \"direct\": true } ] }";
  setenv("KESTREL_MACHINE", md.c_str(), 1);
  ReadThroughReader(state, u"\\\\.\\PhysicalDrive0", g_directRate);
  unsetenv("KESTREL_MACHINE");
  unlink(md.c_str());
}

BENCHMARK(BM_PlainPread)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DiskReader)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_DiskReaderDirect)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  MakeImage(ImagePath());
  // Warm the page cache once so both sides read from memory.
  {
    int fd = open(ImagePath().c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<uint8_t> buf(kBlockBytes);
    for (uint64_t off = 0; off < kImageBytes; off += kBlockBytes) {
      if (pread(fd, buf.data(), kBlockBytes, off_t(off)) < 0) break;
    }
    close(fd);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_preadRate > 0 && g_readerRate > 0) {
    std::printf("pread %.0f MiB/s, DiskReader %.0f MiB/s: ratio %.3f (target >= 0.9)\n", g_preadRate / 1048576,
                g_readerRate / 1048576, g_readerRate / g_preadRate);
  }
  if (g_preadRate > 0 && g_directRate > 0) {
    std::printf("DiskReader with O_DIRECT %.0f MiB/s: ratio %.3f (storage-bound, for information)\n",
                g_directRate / 1048576, g_directRate / g_preadRate);
  }
  return 0;
}
