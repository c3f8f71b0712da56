// The end of a deep scan over many hits: 250,000, 500,000 and 1,000,000 stored hits on a sparse
// 8 GiB image (no partition to parse), most of them carved files without an end of their own,
// the rest complete files and index records. One run is the whole stage: collection, sizing,
// nested files, the carved-file view. Reports the time, hits per second and the growth of the
// process's peak memory during the first run (aim: under 2 s for 1,000,000 hits, linear).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/volumecontext.h"
#include "deepscan/deepscansettings.h"
#include "deepscan/scanend.h"
#include "scanbase/scanhitstore.h"
#include "parsefilesystem/parsentfs/indxrecord.h"

namespace {

constexpr uint64_t kImageSectors = uint64_t(16) << 20;  // 8 GiB
// File types picked in turn, and which of them ended exactly.
constexpr uint8_t kTypes[] = {46, 61, 37, 48, 86, 108, 147, 62, 67, 54};

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

std::string MakeImage() {
  char path[] = "/tmp/endstage-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0 || ftruncate(fd, off_t(kImageSectors * 512)) != 0) return std::string();
  close(fd);
  return path;
}

void StoreHits(uint64_t count) {
  AllocBlockHitListsFor(kImageSectors >> kHitBlockShift);
  const uint64_t step = kImageSectors / count;
  for (uint64_t i = 0; i < count; ++i) {
    SectorHit h{};
    h.lba = i * step;
    if (i % 10 == 9) {
      h.kind = 225;  // an index record: its detail is a number
    } else {
      h.kind = kTypes[i % std::size(kTypes)];
      if (i % 5 == 0) {
        h.endStatus = 5;
        h.size = (step / 2) * 512;
      }
    }
    StoreBlockHit(h);
  }
}

void BM_EndStage(benchmark::State& state) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\nDefault-ShowAllFile: 1\r\n",
                      u"FindFile: Files found by signature\r\nFileLost: Lost files\r\n");
  InitFileTypeTables();
  const std::string image = MakeImage();
  if (image.empty()) {
    state.SkipWithError("no image");
    return;
  }
  VolumeContext& t = ScanTarget();
  ResetVolumeContext(t);
  t.devicePath = CString(image.c_str());
  t.sectorCount = t.deviceSectors = kImageSectors;
  t.operation = 1;
  DeepScanSettingsRecord() = DeepScanSettings();
  const uint64_t hits = uint64_t(state.range(0));
  StoreHits(hits);
  bool first = true;
  for (auto _ : state) {
    std::atomic<uint32_t> run{0};
    std::vector<VolumeContext> result;
    const long rssBefore = PeakRssKb();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = DiskFileScanHandEnd(&run, result);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (first) {
      state.counters["peak_growth_mb"] = double(PeakRssKb() - rssBefore) / 1024.0;
      first = false;
    }
    state.counters["hits_per_s"] = double(hits) / seconds;
    if (!ok || result.empty() || result[0].fileCount == 0) state.SkipWithError("no carved files");
    for (VolumeContext& v : result) FreeAllFileRecords(v);
  }
  FreeBlockHitLists();
  ClearIndxFileList();
  unlink(image.c_str());
}

BENCHMARK(BM_EndStage)->Arg(250000)->Arg(500000)->Arg(1000000)->Iterations(1)->UseManualTime()->Unit(
    benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
