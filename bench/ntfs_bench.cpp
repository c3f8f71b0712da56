// Parsing an NTFS volume of 100,000 files: files per second and the peak memory of the process.
// The image is made once by the fixture builder (ntfsfixture bulk) and kept in the build folder;
// without the builder or mkntfs the benchmark reports that it skipped.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/settings.h"
#include "core/filetree.h"
#include "core/recordtable.h"
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

}  // namespace

BENCHMARK_MAIN();
