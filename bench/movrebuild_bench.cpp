// The MP4/MOV fragment rebuild after a video-mode scan of a 4 GiB card: 200 moov-last videos of
// 75 to 150 frames, each cut into 2 to 6 pieces at random places, their frames found as chain
// positions (all but the last two of each piece), among noise positions of the byte patterns.
// Reports the time of the whole match and the memory of the position lists.
//   build/bench/movrebuild_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "app/settings.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "deepscan/movrebuild.h"
#include "deepscan/mtsrebuild.h"

namespace {

constexpr uint64_t kDeviceSectors = 8ull << 20;  // 4 GiB

struct Card {
  MovHitLists lists;
  size_t videos = 0;
};

Card MakeCard(uint32_t videos, uint32_t noise) {
  std::mt19937_64 rng(42);
  Card card;
  std::vector<uint64_t> chains, patterns;
  uint64_t nextFree = 2048;
  for (uint32_t v = 0; v < videos; ++v) {
    const uint32_t n = 75 + uint32_t(rng() % 76);
    std::vector<uint32_t> offs;
    uint32_t at = 0x24;
    for (uint32_t i = 0; i < n; ++i) {
      offs.push_back(at);
      at += 9000 + uint32_t(rng() % 31000);
    }
    const uint32_t pieces = 2 + uint32_t(rng() % 5);
    std::vector<uint32_t> from = {0};
    while (from.size() < pieces) {
      const uint32_t k = 8 + uint32_t(rng() % (n - 16));
      if (std::find(from.begin(), from.end(), k) == from.end()) from.push_back(k);
    }
    std::sort(from.begin(), from.end());
    std::vector<uint64_t> starts;  // file start of each piece's placement
    for (size_t p = 0; p < from.size(); ++p) {
      const uint64_t cutSector = p == 0 ? 0 : offs[from[p] - 1] / 512 + 1;
      const uint64_t lba = nextFree + rng() % 4096;
      const uint64_t endSample = p + 1 < from.size() ? from[p + 1] : n;
      nextFree = lba + (uint64_t(endSample == n ? at : offs[endSample]) / 512 + 2 - cutSector) + 64;
      starts.push_back((lba - cutSector) * 512);
    }
    for (size_t p = 0; p < from.size(); ++p) {
      const uint32_t end = p + 1 < from.size() ? from[p + 1] : n;
      for (uint32_t i = from[p]; i + 2 < end; ++i) chains.push_back(starts[p] + offs[i]);
    }
    const uint64_t head = starts[0] / 512;
    card.lists.ftyps.push_back({head, 0x14});
    const uint64_t mdatSize = at - 0x1C;
    card.lists.mdats.push_back({head, head * 512 + 0x1C, mdatSize});
    MovMoovHit m;
    m.position = starts.back() + at;
    m.lba = m.position / 512;
    m.size = 2000 + n * 12;
    m.offsets = offs;
    card.lists.moovs.push_back(std::move(m));
  }
  card.videos = videos;
  for (uint32_t i = 0; i < noise; ++i) patterns.push_back(rng() % (kDeviceSectors * 512));
  auto set = [](MovCandidates& c, std::vector<uint64_t> p) {
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    c.positions = c.found = std::move(p);
    c.Reindex();
  };
  set(card.lists.candidates[0], chains);
  set(card.lists.candidates[3], patterns);
  return card;
}

void BM_RebuildVideos(benchmark::State& state) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
  InitFileTypeTables();
  const Card card = MakeCard(uint32_t(state.range(0)), uint32_t(state.range(1)));
  size_t positions = 0;
  for (const MovCandidates& c : card.lists.candidates) positions += c.positions.size();
  uint32_t made = 0;
  for (auto _ : state) {
    state.PauseTiming();
    MovHitLists lists = card.lists;
    VolumeContext volume = MakeVideoFileView(CString(u"bench"));
    state.ResumeTiming();
    made = MatchMoovsToCandidates(lists, volume, kDeviceSectors, 1);
    state.PauseTiming();
    FreeAllFileRecords(volume);
    state.ResumeTiming();
  }
  state.counters["videos"] = made;
  state.counters["positions"] = double(positions);
  // Each position is kept twice (8 bytes each) and indexed once (4 bytes).
  state.counters["list_MiB"] = double(positions) * 20 / (1 << 20);
}
BENCHMARK(BM_RebuildVideos)->Args({200, 0})->Args({200, 1000000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
