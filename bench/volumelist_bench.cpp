// The results model at volume scale: a volume of 1,000,000 records (1,000 folders, 999,000
// files of several types and dates) is published into a reset VolumeList, which prunes and
// compacts it and places every file in the three classified views; then the root is ticked,
// which checks its 1,000,000 descendants and rolls the state up. Reports the time of each
// and the guarded-heap bytes the views add per record.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "app/settings.h"
#include "base/heap.h"
#include "base/heap_testing.h"
#include "base/packedtime.h"
#include "core/checkstate.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"

namespace {

constexpr uint32_t kFolders = 1000;
constexpr uint32_t kRecords = 1000000;

char16_t* HeapName(const std::u16string& text) {
  auto* p = static_cast<char16_t*>(AllocMem((text.size() + 1) * sizeof(char16_t), 1));
  std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
  return p;
}

FileRecord Template(uint32_t id, uint32_t parent, uint16_t flags, char16_t* name, uint32_t ctime, uint32_t mtime) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  r.id = id;
  r.parent = parent;
  r.flags = flags;
  r.name = name;
  r.size = (flags & kRecDirectory) ? 0 : 4096;
  r.ctime = ctime;
  r.mtime = mtime;
  return r;
}

VolumeContext MakeBigVolume() {
  static const char16_t* const kExt[] = {u"jpg", u"docx", u"txt", u"mp4", u"pdf", u"png", u"xlsx", u"zip"};
  VolumeContext v;
  ResetVolumeContext(v);
  v.type = kVolTypeNtfs;
  v.label = u"Bench";
  CreateRootAndLostFolders(v);
  const uint32_t firstFolder = 6;
  for (uint32_t k = 0; k < kFolders; ++k)
    AddFileRecord(v, Template(firstFolder + k, kRootId, kRecDirectory | kRecInUse,
                              HeapName(FormatW(u"Folder%04u", k)), 0, 0), 1);
  const uint32_t firstFile = firstFolder + kFolders;
  for (uint32_t k = 0; firstFile + k < firstFolder + kRecords; ++k) {
    const uint32_t parent = firstFolder + k % kFolders;
    // Dates over 12 years, every day of the year.
    const uint32_t ctime = PackTime(2010 + k % 12, 1 + (k / 12) % 12, 1 + (k / 144) % 28, 10, 0, 0);
    const uint32_t mtime = PackTime(2012 + k % 10, 1 + (k / 10) % 12, 1 + (k / 120) % 28, 11, 0, 0);
    const std::u16string name = FormatW(u"FILE_%07u.", k) + kExt[k % 8];
    AddFileRecord(v, Template(firstFile + k, parent, kRecInUse, HeapName(name), ctime, mtime), 1);
  }
  return v;
}

void BM_PublishAndCheck(benchmark::State& state) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ClassifyFile: 1\r\nDefault-ShowAllFile: 1\r\n",
                      u"FileLost: Lost files\r\nFiles: Files\r\n");
  InitFileTypeTables();
  for (auto _ : state) {
    auto list = std::make_unique<VolumeList>();
    ResetVolumeList(*list, nullptr, 0);
    VolumeContext v = MakeBigVolume();
    const uint64_t heapBefore = GetHeapUsageTotal();
    const auto start = std::chrono::steady_clock::now();
    AddScannedVolume(*list, nullptr, v, 0);
    const double publishSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const uint64_t heapAfter = GetHeapUsageTotal();

    const auto checkStart = std::chrono::steady_clock::now();
    ToggleItemCheck(*list, nullptr, kFirstScannedSlot, kRootId);
    const double checkSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - checkStart).count();

    state.counters["publish_ms"] = publishSeconds * 1000;
    state.counters["view_heap_bytes_per_record"] =
        heapAfter > heapBefore ? double(heapAfter - heapBefore) / kRecords : 0.0;
    state.counters["check_root_ms"] = checkSeconds * 1000;
    state.SetIterationTime(publishSeconds + checkSeconds);
    if (list->slotCount != 5 || list->views[0].fileCount != kRecords - kFolders)
      state.SkipWithError("volume not published as expected");
    ClearVolumeList(*list);
  }
}

BENCHMARK(BM_PublishAndCheck)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
