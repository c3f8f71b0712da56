// Copy-out of found files from an image: RecoverCheckedItems over a volume of 8 MiB files (every
// fourth in two runs) that fill the image, against a plain sequential copy of the same bytes
// (pread and write in 4 MiB pieces, as cp does), page cache warm, both writing to the same
// folder. Prints MB/s of each and their ratio; the copy-out should reach 0.8.
//
// KESTREL_COPYOUT_BENCH_MB sets the image size (default 256; 1024 for the full measure),
// KESTREL_BENCH_DIR the folder of the image and the copies (default /tmp).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/checkstate.h"
#include "core/copyout.h"
#include "core/copyouthooks.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "platform/fileio.h"
#include "platform/textconv.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kFileBytes = 8ull << 20;
constexpr uint64_t kFileSectors = kFileBytes / 512;
constexpr uint64_t kPiece = 4ull << 20;

uint64_t ImageBytes() {
  const char* mb = getenv("KESTREL_COPYOUT_BENCH_MB");
  const uint64_t n = mb && *mb ? strtoull(mb, nullptr, 10) : 256;
  return (n < 16 ? 16 : n) << 20;
}

std::string BenchDir() {
  const char* dir = getenv("KESTREL_BENCH_DIR");
  return std::string(dir && *dir ? dir : "/tmp");
}

std::string ImagePath() { return BenchDir() + "/kestrel-copyout-" + std::to_string(ImageBytes() >> 20) + "m.img"; }
fs::path OutDir() { return fs::path(BenchDir()) / ("kestrel-copyout-out-" + std::to_string(getpid())); }

void MakeImage(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && uint64_t(st.st_size) == ImageBytes()) return;
  fs::create_directories(BenchDir());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint64_t> piece(kPiece / 8);
  for (uint64_t off = 0; off < ImageBytes(); off += kPiece) {
    for (size_t i = 0; i < piece.size(); ++i) piece[i] = (off / 512) + i / 64;  // each sector its LBA
    out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(kPiece));
  }
}

// Bytes and seconds of every timed pass; the rates are their quotients.
struct Totals {
  double bytes = 0;
  double seconds = 0;
  double Rate() const { return seconds > 0 ? bytes / seconds : 0; }
};
Totals g_plain, g_copy;

void Record(Totals& t, uint64_t bytes, std::chrono::steady_clock::duration d) {
  t.bytes += double(bytes);
  t.seconds += std::chrono::duration<double>(d).count();
}

// A volume whose files cover the image; every fourth file is split into two runs that swap
// halves, so the copy seeks as a fragmented file makes it.
void BuildVolume(VolumeList& list) {
  ResetVolumeList(list, nullptr, 0);
  VolumeContext v;
  ResetVolumeContext(v);
  v.type = kVolTypeNtfs;
  v.label = u"Bench";
  CreateRootAndLostFolders(v);
  const uint64_t files = ImageBytes() / kFileBytes;
  for (uint64_t i = 0; i < files; ++i) {
    FileRecord r;
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    r.id = uint32_t(10 + i);
    r.parent = kRootId;
    r.flags = kRecInUse | kRecExtentList;
    r.size = kFileBytes;
    const std::u16string name = u"f" + std::u16string(Utf8ToUtf16(std::to_string(i))) + u".bin";
    r.name = static_cast<char16_t*>(AllocMem((name.size() + 1) * 2, 1));
    std::memcpy(r.name, name.c_str(), name.size() * 2);
    const uint64_t lba = i * kFileSectors;
    std::vector<uint64_t> runs = {lba, kFileSectors};
    if (i % 4 == 3) runs = {lba + kFileSectors / 2, kFileSectors / 2, lba, kFileSectors / 2};
    r.blob = static_cast<uint8_t*>(AllocMem(runs.size() * 8, 1));
    std::memcpy(r.blob, runs.data(), runs.size() * 8);
    r.blobLength = uint32_t(runs.size() * 8);
    AddFileRecord(v, r, 1);
  }
  AddScannedVolume(list, nullptr, v, 0);
  SetSubtreeCheck(list, list.slotCount - 1, kRootId, 1);
}

void BM_PlainSequentialCopy(benchmark::State& state) {
  MakeImage(ImagePath());
  const fs::path out = OutDir();
  fs::create_directories(out);
  std::vector<uint8_t> buf(kPiece);
  for (auto _ : state) {
    const int in = open(ImagePath().c_str(), O_RDONLY | O_CLOEXEC);
    const int fd = open((out / "plain.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    auto t0 = std::chrono::steady_clock::now();
    bool ok = in >= 0 && fd >= 0;
    for (uint64_t off = 0; ok && off < ImageBytes(); off += kPiece)
      ok = pread(in, buf.data(), kPiece, off_t(off)) == ssize_t(kPiece) && write(fd, buf.data(), kPiece) == ssize_t(kPiece);
    if (fd >= 0) close(fd);
    if (in >= 0) close(in);
    if (!ok) {
      // The library forbids pausing the timer once an iteration has failed.
      state.SkipWithError("copy");
      break;
    }
    Record(g_plain, ImageBytes(), std::chrono::steady_clock::now() - t0);
    state.PauseTiming();
    fs::remove(out / "plain.bin");
    state.ResumeTiming();
  }
  state.SetBytesProcessed(int64_t(state.iterations() * ImageBytes()));
}
BENCHMARK(BM_PlainSequentialCopy)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The sector reader alone over the same bytes, in the copy's 4 MiB chunks.
void BM_ReaderChunks(benchmark::State& state) {
  MakeImage(ImagePath());
  DiskReader r;
  if (!OpenDeviceByPath(CString(FromHostPath(ImagePath())), r, 1)) {
    state.SkipWithError("open");
    return;
  }
  std::vector<uint8_t> buf(kPiece);
  for (auto _ : state) {
    for (uint64_t lba = 0; lba < ImageBytes() / 512; lba += kPiece / 512) {
      if (!r.ReadSectors(buf.data(), lba, uint32_t(kPiece / 512))) state.SkipWithError("read");
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations() * ImageBytes()));
}
BENCHMARK(BM_ReaderChunks)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

std::string g_outFolder;

void BM_RecoverCheckedItems(benchmark::State& state) {
  MakeImage(ImagePath());
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-SaveDir: Recovered\r\n", u"Files: Files\r\n");
  InitFileTypeTables();
  ResetVolumeContext(ScanTarget());
  ScanTarget().devicePath = CString(FromHostPath(ImagePath()));
  ScanTarget().name = ScanTarget().devicePath;
  ScanTarget().sectorCount = ImageBytes() / 512;
  CopyOutServices sv;
  sv.saveParamDlg = [](void*, uint32_t, uint64_t, RecoverOptions& o) {
    o.folder = CString(FromHostPath(g_outFolder));
    return true;
  };
  SetCopyOutServices(sv);
  auto list = std::make_unique<VolumeList>();
  BuildVolume(*list);
  const fs::path out = OutDir();
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(out);
    fs::create_directories(out);
    g_outFolder = out.string();
    state.ResumeTiming();
    auto t0 = std::chrono::steady_clock::now();
    if (RecoverCheckedItems(*list, 0, 0) != 1 || GetCopyStatistics().lastBytes != ImageBytes()) {
      state.SkipWithError("copy-out");
      break;
    }
    Record(g_copy, ImageBytes(), std::chrono::steady_clock::now() - t0);
  }
  state.SetBytesProcessed(int64_t(state.iterations() * ImageBytes()));
  fs::remove_all(out);
  ClearVolumeList(*list);
}
BENCHMARK(BM_RecoverCheckedItems)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_plain.Rate() > 0 && g_copy.Rate() > 0) {
    printf("image %llu MiB: plain copy %.0f MB/s, copy-out %.0f MB/s, ratio %.2f (aim 0.80)\n",
           (unsigned long long)(ImageBytes() >> 20), g_plain.Rate() / 1e6, g_copy.Rate() / 1e6,
           g_copy.Rate() / g_plain.Rate());
  }
  return 0;
}
