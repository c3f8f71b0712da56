// The end of a deep scan over a disk image held in memory (the sparse form of fuzzimage.h):
// every sector the input names is typed and classified as the carving consumer does (file
// signatures become open-ended carved files, partition tables and boot sectors are kept with a
// copy of the sector), then the whole end stage runs: sizing, nested files, the carved-file
// view, the partitions the tables and boot sectors prove, their parse and split.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/heap.h"
#include "core/filetree.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscansettings.h"
#include "deepscan/filestartindex.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/scanend.h"
#include "deepscan/sectorsignature.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "scanbase/scanhitstore.h"

namespace {

constexpr size_t kMaxSectors = 4096;

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The sectors kept with a copy of themselves, as the consumer keeps them.
bool KeptWithCopy(uint32_t kind) {
  return kind == kSectorMbr || kind == kSectorPartTable || kind == kSectorNtfsBoot || kind == kSectorFat16Boot ||
         kind == kSectorFat32Boot || kind == kSectorExfatBoot;
}

void HitsOfSector(const uint8_t* s, uint64_t lba, std::vector<SectorHit>& hits) {
  uint32_t type = 0;
  if (MatchSectorSignature(s, type, lba) && type <= 176) hits.push_back(SectorHit{uint8_t(type), 0, lba, 0, nullptr});
  uint32_t kind = 0;
  if (ClassifyRawSector(lba, s, &kind) && KeptWithCopy(kind)) {
    void* copy = AllocMem(512, 217);
    std::memcpy(copy, s, 512);
    hits.push_back(SectorHit{uint8_t(kind), 0, lba, 0, copy});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (!FuzzLoadImage(data, size)) return 0;
  const uint64_t sectors = ScanTarget().sectorCount;
  AllocBlockHitListsFor(DeviceBlockCount(sectors));
  DeepScanSettingsRecord() = DeepScanSettings();

  // The runs of the input again: u32 first LBA, u16 count, the sectors.
  std::vector<SectorHit> hits;
  size_t pos = 4, seen = 0;
  while (pos + 6 <= size && seen < kMaxSectors) {
    const uint64_t first = Le32(data + pos);
    const uint32_t count = uint32_t(data[pos + 4] | (data[pos + 5] << 8));
    pos += 6;
    for (uint32_t k = 0; k < count && pos < size && seen < kMaxSectors; ++k, ++seen) {
      uint8_t s[512] = {};
      std::memcpy(s, data + pos, std::min<size_t>(512, size - pos));
      pos += 512;
      if (first + k < sectors) HitsOfSector(s, first + k, hits);
    }
  }
  std::stable_sort(hits.begin(), hits.end(),
                   [](const SectorHit& a, const SectorHit& b) { return uint64_t(a.lba) < uint64_t(b.lba); });
  for (const SectorHit& h : hits) StoreBlockHit(h);

  std::atomic<uint32_t> state{0};
  std::vector<VolumeContext> result;
  DiskFileScanHandEnd(&state, result);
  // Reading the items back is the parsers' targets' work; here the results are only freed.
  for (VolumeContext& v : result) FreeAllFileRecords(v);
  FreeBlockHitLists();
  ClearIndxFileList();
  ClearUniqueLbaRegistry();
  FuzzResetScanState();
  return 0;
}
