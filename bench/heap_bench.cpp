// Guarded heap against the C runtime: one allocation and one free of a zero-filled block.
// The heap's per-block cost must stay below twice calloc's for 64 KiB blocks.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "base/heap.h"

static void BM_AllocMemFreeMem(benchmark::State& state) {
  const uint64_t size = uint64_t(state.range(0));
  for (auto _ : state) {
    void* p = AllocMem(size, 1);
    benchmark::DoNotOptimize(p);
    FreeMem(p);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

static void BM_CallocFree(benchmark::State& state) {
  const size_t size = size_t(state.range(0));
  for (auto _ : state) {
    void* p = calloc(1, size);
    benchmark::DoNotOptimize(p);
    free(p);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

BENCHMARK(BM_AllocMemFreeMem)->Arg(64)->Arg(4096)->Arg(64 * 1024)->Arg(8 << 20);
BENCHMARK(BM_CallocFree)->Arg(64)->Arg(4096)->Arg(64 * 1024)->Arg(8 << 20);

BENCHMARK_MAIN();
