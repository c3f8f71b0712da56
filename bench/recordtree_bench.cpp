// Record model at volume scale: 1,000,000 files under 10,000 folders are added unlinked (as a
// parser adds them), then LinkFileTree links the tree. Reports records per second and the
// memory each record costs: the guarded-heap bytes (chunks, names, child arrays) and the
// growth of the resident peak. The target is under 200 bytes per record, names included.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "base/heap.h"
#include "base/heap_testing.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "bench/benchrecords.h"

namespace {

constexpr uint32_t kFolders = 10000;
constexpr uint32_t kFiles = 1000000;

// A line "Key:   123 kB" of /proc/self/status, in bytes; 0 when missing.
uint64_t ProcStatusBytes(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(key);
  while (std::getline(in, line))
    if (line.compare(0, n, key) == 0) return std::stoull(line.substr(n + 1)) * 1024;
  return 0;
}

// Resets the resident peak so it measures this run only (ignored where not supported).
void ResetPeakRss() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

void BM_AddAndLinkRecords(benchmark::State& state) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"FileLost: Lost files\r\n");
  InitFileTypeTables();
  for (auto _ : state) {
    VolumeContext ctx;
    ctx.type = kVolTypeNtfs;
    const uint64_t heapBefore = GetHeapUsageTotal();
    const uint64_t rssBefore = ProcStatusBytes("VmRSS:");
    ResetPeakRss();
    const auto start = std::chrono::steady_clock::now();

    CreateRootAndLostFolders(ctx);
    const uint32_t firstFolder = 6;
    for (uint32_t k = 0; k < kFolders; ++k)
      AddFileRecord(ctx, BenchRecord(firstFolder + k, kRootId, kRecDirectory | kRecInUse, HeapName(u"Folder%05u", k)), 0);
    const uint32_t firstFile = firstFolder + kFolders;
    for (uint32_t k = 0; k < kFiles; ++k) {
      // Files arrive in id order but their folders interleave, as in an MFT.
      const uint32_t parent = firstFolder + uint32_t((uint64_t(k) * 7919u) % kFolders);
      AddFileRecord(ctx, BenchRecord(firstFile + k, parent, kRecInUse, HeapName(u"IMG_%07u.JPG", k)), 0);
    }
    LinkFileTree(ctx, 1);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double records = double(kFolders) + kFiles;
    const uint64_t heapBytes = GetHeapUsageTotal() - heapBefore;
    const uint64_t peak = ProcStatusBytes("VmHWM:");
    state.counters["records_per_s"] = records / seconds;
    state.counters["heap_bytes_per_record"] = double(heapBytes) / records;
    state.counters["peak_rss_bytes_per_record"] = peak > rssBefore ? double(peak - rssBefore) / records : 0.0;
    state.SetIterationTime(seconds);

    const FileRecord* folder = GetFileRecord(ctx, firstFolder);
    if (!folder || folder->childCount != kFiles / kFolders) state.SkipWithError("tree not linked as expected");
    FreeAllFileRecords(ctx);
  }
}

BENCHMARK(BM_AddAndLinkRecords)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
