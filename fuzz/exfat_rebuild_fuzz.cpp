// The exFAT rebuild from directory runs: summaries as a saved scan may bring them back (any
// bytes), carved starts made from their entries, and a disk of the input's bytes whose sectors
// the rebuild reads as directories, with one parsed exFAT volume beside them.
//
// Input: a byte n, then n summaries of 352 bytes (at most 32); the whole input is also the disk.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/heap.h"
#include "core/filetree.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/exfat/exfatrebuild.h"
#include "parsefilesystem/exfat/exfatvotes.h"
#include "scanbase/scanhitstore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (size < 1 || size > (256u << 10)) return 0;
  const size_t count = data[0] % 33;
  std::vector<SectorHit> hits;
  AllocBlockHitListsFor(1);
  for (size_t i = 0; i < count && 1 + (i + 1) * sizeof(ExfatDirHitInfo) <= size; ++i) {
    void* info = AllocMem(sizeof(ExfatDirHitInfo), 1);
    std::memcpy(info, data + 1 + i * sizeof(ExfatDirHitInfo), sizeof(ExfatDirHitInfo));
    ExfatDirHitInfo h;
    std::memcpy(&h, info, sizeof h);
    // Small runs keep each input quick; the bound on large ones is the rebuild's own.
    h.sectors %= 64;
    std::memcpy(info, &h, sizeof h);
    hits.push_back(SectorHit{231, kHitEndFound, h.lba % 4096, uint64_t(h.sectors) * 512, info});
    // A carved start for each picture entry, where a heap at sector 64 of 8-sector clusters
    // would put it.
    for (uint32_t e = 0; e < ExfatHitEntriesUsed(h); ++e) {
      const ExfatDirHitEntry x = h.entries[e];
      if (IsExfatGeometryType(x.kind))
        BlockHitLists()[0].push_back(SectorHit{x.kind, kHitEndFound, 48 + 8ull * x.firstCluster, x.size, nullptr});
    }
  }
  FuzzLoadFlatImage(data, size);
  DiskReader reader;
  if (FuzzOpenImage(reader)) {
    std::vector<VolumeContext> volumes(1);
    VolumeContext& parsed = volumes[0];
    uint8_t* b = parsed.bootSector;
    const uint64_t length = 4096;
    for (int i = 0; i < 8; ++i) b[0x48 + i] = uint8_t(length >> (8 * i));
    b[0x58] = 64;   // heap at sector 64
    b[0x5C] = 200;  // clusters
    b[0x6D] = 3;
    parsed.type = kVolTypeExfat;
    parsed.sectorCount = length;
    parsed.devicePath = reader.devicePath;
    CreateRootAndLostFolders(parsed);
    ScanProgress progress = MakeScanProgress(kProgressParse);
    RebuildExfatFromDirHits(nullptr, progress, reader, hits, volumes);
    for (VolumeContext& v : volumes) FuzzReadAllItems(v, 64u << 10);
  }
  for (SectorHit& h : hits) FreeMem(h.detail);
  FreeBlockHitLists();
  FuzzResetScanState();
  return 0;
}
