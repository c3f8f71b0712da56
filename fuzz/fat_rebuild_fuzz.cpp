// The FAT rebuild from directory-sector and table hits: a sector summarised as the scan does,
// summaries as a saved scan may bring them back (any bytes), a table hit, and a disk of the
// input's bytes that the rebuild reads directories and tables from, with one parsed FAT32
// volume beside them.
//
// Input: a byte n, then n records of a u16 LBA and a 28-byte summary (at most 48); the whole
// input is also the disk, and its first 512 bytes a directory sector.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/heap.h"
#include "core/filetree.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsefat/fatdirsummary.h"
#include "parsefilesystem/parsefat/fatrebuild.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (size < 1 || size > (256u << 10)) return 0;
  {
    const std::vector<uint8_t> sector = FuzzFixedBytes(data, size, 512);
    void* detail = nullptr;
    if (SummarizeFatDirSectorHit(sector.data(), 0, &detail)) FreeMem(detail);
  }
  constexpr size_t kRecord = 2 + sizeof(FatDirHitInfo);
  const size_t count = data[0] % 49;
  std::vector<SectorHit> hits;
  for (size_t i = 0; i < count && 1 + (i + 1) * kRecord <= size; ++i) {
    const uint8_t* r = data + 1 + i * kRecord;
    void* info = CopyToMem(AllocMem(sizeof(FatDirHitInfo), 1), r + 2, sizeof(FatDirHitInfo), 1);
    hits.push_back(SectorHit{229, 0, uint64_t(r[0] | r[1] << 8) % 512, 0, info});
  }
  // A table hit at the sector the last byte names, as long as the input says.
  hits.push_back(SectorHit{228, kHitEndFound, data[size - 1], uint64_t(data[size / 2]) * 512, nullptr});
  std::sort(hits.begin(), hits.end(), [](const SectorHit& a, const SectorHit& b) { return a.lba < b.lba; });
  FuzzLoadFlatImage(data, size);
  DiskReader reader;
  if (FuzzOpenImage(reader)) {
    std::vector<VolumeContext> volumes(1);
    VolumeContext& parsed = volumes[0];
    uint8_t* b = parsed.bootSector;
    b[0x0D] = 1;   // one sector per cluster
    b[0x0E] = 4;   // reserved sectors
    b[0x10] = 1;   // one FAT
    b[0x24] = 4;   // of four sectors
    b[0x2C] = 2;   // root cluster
    parsed.type = kVolTypeFat32;
    parsed.sectorCount = 512;
    parsed.devicePath = reader.devicePath;
    parsed.latestTime = 0xFFFFFFFF;
    parsed.highestLba = 512;
    CreateRootAndLostFolders(parsed);
    RebuildFatFromDirEntryHits(reader, hits, volumes);
    for (VolumeContext& v : volumes) FuzzReadAllItems(v, 64u << 10);
  }
  for (SectorHit& h : hits)
    if (h.detail) FreeMem(h.detail);
  FuzzResetScanState();
  return 0;
}
