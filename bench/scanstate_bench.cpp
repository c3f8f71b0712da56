// Saving and loading the state of a large deep scan: 1,000,000 hits (a realistic mix: file hits
// with and without their 280-byte metadata, saved boot and table sectors, MFT summaries with
// names and run lists, index-record numbers, FAT directory summaries) and 100,000 index-entry
// records with names, written to one data file and read back. Reports the file size.
//
// KESTREL_BENCH_DIR sets the folder of the file (default /tmp).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/heap.h"
#include "core/filetypetable.h"
#include "platform/textconv.h"
#include "scanbase/hitdetail.h"
#include "scanbase/mfthitinfo.h"
#include "scansave/scanstatefile.h"

namespace {

constexpr uint32_t kHits = 1000000;
constexpr uint32_t kRecords = 100000;

CString BenchFile() {
  const char* d = getenv("KESTREL_BENCH_DIR");
  return CString(Utf8ToUtf16(std::string(d && *d ? d : "/tmp") + "/scanstate_bench.dat"));
}

void* MftSummary(uint32_t n) {
  auto* info = static_cast<uint8_t*>(AllocMem(sizeof(MftHitInfo), 1));
  const std::u16string name = u"document-" + std::u16string(1, char16_t(u'a' + n % 26)) + u".docx";
  auto* text = static_cast<char16_t*>(AllocMem((name.size() + 1) * 2, 1));
  std::memcpy(text, name.data(), name.size() * 2);
  auto* runs = static_cast<uint8_t*>(AllocMem(8, 1));
  const uint16_t nameLength = uint16_t(name.size()), runLength = 8;
  std::memcpy(info + offsetof(MftHitInfo, name), &text, sizeof text);
  std::memcpy(info + offsetof(MftHitInfo, runList), &runs, sizeof runs);
  std::memcpy(info + offsetof(MftHitInfo, nameLength), &nameLength, 2);
  std::memcpy(info + offsetof(MftHitInfo, runListLength), &runLength, 2);
  return info;
}

struct State {
  ScanStateHeader header;
  std::vector<SectorHit> hits;
  std::vector<FileRecord> records;
  State() {
    header.identity = u"Bench Disk";
    header.blockMap.assign(120000, 2);  // a 1 TB device
    hits.reserve(kHits);
    for (uint32_t i = 0; i < kHits; ++i) {
      const uint64_t lba = uint64_t(i) * 1900;
      switch (i % 10) {
        case 0: case 1: case 2: hits.push_back({46, 5, lba, 300000, nullptr}); break;
        case 3: hits.push_back({7, 5, lba, 50000, AllocMem(280, 1)}); break;
        case 4: case 5: case 6: hits.push_back({kKindMftRecord, 0, lba, 1024, MftSummary(i)}); break;
        case 7: hits.push_back({kKindIndexRecord, 0, lba, 4096, reinterpret_cast<void*>(uintptr_t(i))}); break;
        case 8: hits.push_back({kKindFatDirEntries, 0, lba, 512, AllocMem(28, 1)}); break;
        default: hits.push_back({kKindNtfsBoot, 0, lba, 512, AllocMem(512, 1)}); break;
      }
    }
    records.resize(kRecords);
    for (uint32_t i = 0; i < kRecords; ++i) {
      FileRecord& r = records[i];
      std::memset(static_cast<void*>(&r), 0, sizeof r);
      r.id = i + 16;
      r.parent = 5;
      r.size = i * 100;
      SetRecordName(r, (u"found file " + std::u16string(1, char16_t(u'A' + i % 26)) + u".txt").c_str());
    }
  }
  ~State() {
    for (SectorHit& h : hits) FreeSectorInfo(h);
    for (FileRecord& r : records) FreeFileRecord(r);
  }
};

State& TheState() {
  static State* s = new State();
  return *s;
}

void BM_SaveScanState(benchmark::State& st) {
  State& s = TheState();
  const CString path = BenchFile();
  for (auto _ : st) {
    if (WriteScanStateFile(path, s.header, s.hits, s.records) != ScanStateResult::kOk) st.SkipWithError("save failed");
  }
  BufferedScanFile f;
  if (f.OpenRead(path)) st.counters["file_MB"] = double(f.FileSize()) / 1e6;
  st.counters["hits"] = kHits;
  st.counters["records"] = kRecords;
}
BENCHMARK(BM_SaveScanState)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadScanState(benchmark::State& st) {
  State& s = TheState();
  const CString path = BenchFile();
  if (WriteScanStateFile(path, s.header, s.hits, s.records) != ScanStateResult::kOk) st.SkipWithError("save failed");
  for (auto _ : st) {
    LoadedScanState loaded;
    if (LoadScanStateFile(path, 0, nullptr, loaded) != ScanStateResult::kOk || loaded.hits.size() != kHits)
      st.SkipWithError("load failed");
  }
  unlink(path.ToUtf8().c_str());
}
BENCHMARK(BM_LoadScanState)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
