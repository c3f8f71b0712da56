// Parsing an NTFS volume of 100,000 files, and rebuilding it from the MFT-record and index-record
// hits a deep scan keeps of it (its boot sector taken as lost): files per second and the peak
// memory of the process (run one benchmark per process, --benchmark_filter, to compare peaks).
// The image is made once by the fixture builder (ntfsfixture bulk) and kept in the build folder;
// without the builder or mkntfs the benchmark reports that it skipped.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/settings.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "deepscan/keepmetadatahit.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/foundmftrecord.h"
#include "parsefilesystem/parsentfs/mftrun.h"
#include "parsefilesystem/parsentfs/ntfsrebuild.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "platform/textconv.h"
#include "scanbase/scanrun.h"

namespace {

constexpr int kFiles = 100000;
const std::string kImage = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_bulk100k.img";
const std::string kManifest = std::string(KESTREL_FIXTURE_DIR) + "/ntfs_bulk100k.manifest";

bool EnsureImage() {
  if (std::filesystem::exists(kImage) && std::filesystem::exists(kManifest)) return true;
  const std::string tool = KESTREL_FIXTURE_TOOL;
  if (tool.empty() || !std::filesystem::exists(tool)) return false;
  const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 '" + tool + "' bulk '" + kImage + "' '" + kManifest + "' " +
                          std::to_string(kFiles) + " >/dev/null";
  return std::system(cmd.c_str()) == 0 && std::filesystem::exists(kImage);
}

void BM_ParseNtfs100k(benchmark::State& state) {
  if (!EnsureImage()) {
    state.SkipWithError("the 100,000-file NTFS image cannot be built here");
    return;
  }
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n", u"FileLost: FileLost\r\n");
  VolumeContext& target = ScanTarget();
  target.devicePath = CString(Utf8ToUtf16(kImage));
  target.sectorCount = std::filesystem::file_size(kImage) / 512;
  uint8_t boot[512] = {};
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader) || !reader.ReadSectors(boot, 0, 1) || !IsNtfsBootSector(boot)) {
    state.SkipWithError("the image holds no NTFS volume");
    return;
  }
  uint64_t items = 0;
  for (auto _ : state) {
    VolumeContext vol;
    SetupNtfsVolume(target, reader, boot, 0, target.sectorCount, vol);
    ScanRunState = kScanRunning;
    if (!ParseNtfsVolume(&ScanRunState, vol)) {
      state.SkipWithError("the volume could not be parsed");
      return;
    }
    items += CountLiveRecords(vol);
    FreeAllFileRecords(vol);
  }
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["files_per_s"] = benchmark::Counter(double(items), benchmark::Counter::kIsRate);
  state.counters["peak_MiB"] = double(ru.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ParseNtfs100k)->Unit(benchmark::kMillisecond)->Iterations(3);

// The hits the deep scan keeps of the image: a summary per MFT record, the directory's number
// per index record. Not timed: the sector pass is the scan's, not the rebuild's.
std::vector<SectorHit> CollectRebuildHits(DiskReader& reader, uint64_t sectors) {
  std::vector<SectorHit> hits;
  constexpr uint32_t kChunk = 16384;
  std::vector<uint8_t> buf((kChunk + 8) * 512);
  for (uint64_t lba = 0; lba < sectors; lba += kChunk) {
    const uint32_t n = uint32_t(std::min<uint64_t>(kChunk + 8, sectors - lba));
    std::fill(buf.begin(), buf.end(), 0);
    reader.ReadSectors(buf.data(), lba, n);
    for (uint32_t i = 0; i < kChunk && i < n; ++i) {
      uint8_t* s = buf.data() + size_t(i) * 512;
      if (std::memcmp(s, "FILE", 4) == 0 && i + 2 <= n) {
        uint8_t record[1024];
        std::memcpy(record, s, 1024);
        FixupMftRecordCopy(record);
        void* detail = nullptr;
        if (SummarizeFoundMftRecord(record, lba + i, &detail))
          hits.push_back(SectorHit{kKindMftRecord, 0, lba + i, 0, detail});
      } else if (std::memcmp(s, "INDX", 4) == 0 && i + 8 <= n) {
        uint32_t parent = 0;
        if (FindIndexRecordParent(s, s + kIndxRecordBytes, &parent))
          hits.push_back(SectorHit{kKindIndexRecord, 0, lba + i, 0, reinterpret_cast<void*>(uintptr_t(parent))});
      }
    }
  }
  return hits;
}

// Every run of records is estimated (cluster size from the files' slack, start voted from the
// directories' index records) and built. The image's folders hold 1000 files each, more than the
// vote reads, its files are kept inside their records (no slack to estimate from), and its MFT
// lies in several pieces: the estimate finds nothing, so the runs are built at the volume's true
// start and cluster size, which the boot sector gives here.
void BM_RebuildNtfs100kFromMftHits(benchmark::State& state) {
  if (!EnsureImage()) {
    state.SkipWithError("the 100,000-file NTFS image cannot be built here");
    return;
  }
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n", u"FileLost: FileLost\r\n");
  VolumeContext& target = ScanTarget();
  target.devicePath = CString(Utf8ToUtf16(kImage));
  target.sectorCount = std::filesystem::file_size(kImage) / 512;
  uint8_t boot[512] = {};
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader) || !reader.ReadSectors(boot, 0, 1) || !IsNtfsBootSector(boot)) {
    state.SkipWithError("the image holds no NTFS volume");
    return;
  }
  std::vector<SectorHit> hits = CollectRebuildHits(reader, target.sectorCount);
  std::vector<SectorHit> indx, mft;
  for (const SectorHit& h : hits) (h.kind == kKindMftRecord ? mft : indx).push_back(h);
  uint64_t items = 0, estimated = 0;
  for (auto _ : state) {
    std::vector<VolumeContext> volumes;
    ScanProgress progress = MakeScanProgress(kProgressParse);
    std::vector<SectorHit> run;
    for (size_t pos = 0; pos < mft.size();) {
      if (!FindMftRecordRun(mft, run, pos) || run.size() < EndRebuildRunThreshold(volumes.size())) continue;
      uint64_t start = 0;
      uint32_t spc = 0;
      if (EstimateNtfsVolumeStart(reader, start, spc, indx, run)) ++estimated;
      BuildNtfsVolumeFromMftRun(progress, target.devicePath, volumes, run, 0, boot[0x0D]);
    }
    for (VolumeContext& v : volumes) {
      items += CountLiveRecords(v);
      FreeAllFileRecords(v);
    }
  }
  for (SectorHit& h : hits)
    if (h.kind == kKindMftRecord) FreeMftHitInfo(h.detail);
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["files_per_s"] = benchmark::Counter(double(items), benchmark::Counter::kIsRate);
  state.counters["runs_estimated"] = double(estimated) / double(state.iterations());
  state.counters["peak_MiB"] = double(ru.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_RebuildNtfs100kFromMftHits)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
