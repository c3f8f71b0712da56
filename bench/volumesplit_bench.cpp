// The deleted/existing split at volume scale: 500,000 files under 5,000 folders, every fourth
// file and every tenth folder deleted. One split is one deep copy and one filter pass over each
// copy; reports records per second of the whole split.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumesplit.h"
#include "bench/benchrecords.h"

namespace {

constexpr uint32_t kFolders = 5000;
constexpr uint32_t kFiles = 500000;

void BuildVolume(VolumeContext& ctx) {
  ctx.type = kVolTypeNtfs;
  CreateRootAndLostFolders(ctx);
  const uint32_t firstFolder = 6;
  for (uint32_t k = 0; k < kFolders; ++k) {
    const uint16_t flags = k % 10 == 0 ? kRecDirectory : (kRecDirectory | kRecInUse);
    AddFileRecord(ctx, BenchRecord(firstFolder + k, kRootId, flags, HeapName(u"Folder%05u", k)), 0);
  }
  const uint32_t firstFile = firstFolder + kFolders;
  for (uint32_t k = 0; k < kFiles; ++k) {
    const uint32_t parent = firstFolder + uint32_t((uint64_t(k) * 7919u) % kFolders);
    const uint16_t flags = k % 4 == 0 ? 0 : kRecInUse;
    AddFileRecord(ctx, BenchRecord(firstFile + k, parent, flags, HeapName(u"IMG_%07u.JPG", k)), 0);
  }
  LinkFileTree(ctx, 0);
}

void BM_SplitVolumeByDeletion(benchmark::State& state) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"", u"FileLost: Lost files\r\n");
  InitFileTypeTables();
  for (auto _ : state) {
    VolumeContext ctx;
    BuildVolume(ctx);
    std::vector<VolumeContext> out;
    const auto start = std::chrono::steady_clock::now();
    SplitVolumeByDeletion(1, ctx, out);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["records_per_s"] = double(kFolders + kFiles) / seconds;
    state.SetIterationTime(seconds);
    if (out.size() != 2) state.SkipWithError("the volume was not split");
    for (VolumeContext& v : out) FreeAllFileRecords(v);
  }
}

BENCHMARK(BM_SplitVolumeByDeletion)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
