// An NTFS run list (mapping pairs) decoded and placed on a volume. The first input byte picks
// the sectors per cluster and the next four the volume's cluster count, so the volume bounds
// are fuzzed with the runs. Every run that is not a hole must lie inside the volume.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  if (size < 5) return 0;
  VolumeContext vol;
  vol.type = kVolTypeNtfs;
  const uint8_t spc = uint8_t(1u << (data[0] & 7));
  vol.bootSector[0x0D] = spc;
  vol.firstLba = 63;
  const uint64_t clusters = uint64_t(data[1]) | (uint64_t(data[2]) << 8) | (uint64_t(data[3]) << 16) |
                            (uint64_t(data[4]) << 24);
  vol.sectorCount = clusters * spc;
  const uint8_t* runs = data + 5;
  const uint32_t length = uint32_t(size - 5);

  DataExtentList decoded;
  (void)DecodeDataRuns(runs, length, decoded);
  DataExtentList placed;
  if (DataRunsToSectors(vol, runs, length, placed) && vol.sectorCount != 0) {
    const uint64_t volEnd = vol.firstLba + vol.sectorCount;
    for (const DataExtent& e : placed) {
      if (e.startLba >= uint64_t(kSparseRunMark)) continue;
      if (e.startLba < vol.firstLba || e.sectorCount > volEnd - e.startLba) abort();
    }
  }
  return 0;
}
