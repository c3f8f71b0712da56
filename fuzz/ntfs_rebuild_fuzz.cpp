// The rebuild of a lost NTFS volume from what a deep scan keeps of a disk held in memory (the
// sparse form of fuzzimage.h): every MFT record the input names becomes a summarised hit and
// every index record a hit with its directory's number, as the carving consumer makes them;
// then the block starts of found MFTs, the record runs, the cluster-size and start estimates
// (which read the image), the rebuilt volumes and every item's data through them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/filetree.h"
#include "core/filetypetable.h"
#include "deepscan/keepmetadatahit.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/foundmftrecord.h"
#include "parsefilesystem/parsentfs/mftrun.h"
#include "parsefilesystem/parsentfs/ntfsrebuild.h"

namespace {

constexpr size_t kMaxSectors = 8192;

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (!FuzzLoadImage(data, size)) return 0;
  DiskReader reader;
  if (!FuzzOpenImage(reader)) return 0;
  const uint64_t sectors = ScanTarget().sectorCount;

  // The sectors the input names, in its runs: u32 first LBA, u16 count, the sectors.
  std::vector<uint64_t> lbas;
  size_t pos = 4;
  while (pos + 6 <= size && lbas.size() < kMaxSectors) {
    const uint64_t first = Le32(data + pos);
    const uint32_t count = uint32_t(data[pos + 4] | (data[pos + 5] << 8));
    pos += 6;
    for (uint32_t k = 0; k < count && pos < size && lbas.size() < kMaxSectors; ++k, pos += 512)
      if (first + k < sectors) lbas.push_back(first + k);
  }
  std::sort(lbas.begin(), lbas.end());
  lbas.erase(std::unique(lbas.begin(), lbas.end()), lbas.end());

  std::vector<SectorHit> hits;
  std::vector<uint8_t> buf(kIndxRecordBytes);
  for (uint64_t lba : lbas) {
    std::fill(buf.begin(), buf.end(), 0);
    if (!reader.ReadSectors(buf.data(), lba, 1)) continue;
    if (std::memcmp(buf.data(), "FILE", 4) == 0) {
      reader.ReadSectors(buf.data(), lba, 2);
      FixupMftRecordCopy(buf.data());
      void* detail = nullptr;
      if (SummarizeFoundMftRecord(buf.data(), lba, &detail)) hits.push_back(SectorHit{kKindMftRecord, 0, lba, 0, detail});
    } else if (std::memcmp(buf.data(), "INDX", 4) == 0) {
      reader.ReadSectors(buf.data(), lba, kIndxRecordBytes / 512);
      uint32_t parent = 0;
      if (FindIndexRecordParent(buf.data(), buf.data() + buf.size(), &parent))
        hits.push_back(SectorHit{kKindIndexRecord, 0, lba, 0, reinterpret_cast<void*>(uintptr_t(parent))});
    }
  }

  (void)NtfsStartsFromMftHits(hits);
  std::vector<VolumeContext> volumes;
  RebuildNtfsFromFragments(reader, ScanTarget().devicePath, volumes, hits);
  std::vector<SectorHit> mft;
  for (const SectorHit& h : hits)
    if (h.kind == kKindMftRecord) mft.push_back(h);
  std::vector<VolumeContext> scanTime;
  BuildNtfsVolumesFromMftHits(ScanTarget().devicePath, scanTime, mft, 2);
  volumes.insert(volumes.end(), scanTime.begin(), scanTime.end());
  for (VolumeContext& v : volumes) FuzzReadAllItems(v, 64 * 1024);
  for (SectorHit& h : hits)
    if (h.kind == kKindMftRecord) FreeMftHitInfo(h.detail);
  FuzzResetScanState();
  return 0;
}
