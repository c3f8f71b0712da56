// One boot sector through every test and geometry that reads it: the recognition table, the
// FAT16/FAT32 geometry with its cluster positions, the exFAT geometry and the NTFS test.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "deepscan/fsrecognize.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  std::vector<uint8_t> boot = FuzzFixedBytes(data, size, 512);
  const uint8_t* s = boot.data();
  (void)ProbeBootSector(s);
  (void)IsNtfsBootSector(s);
  (void)IsExfatBootSector(s);

  VolumeContext vol;
  std::memcpy(vol.bootSector, s, 512);
  vol.firstLba = 63;
  vol.sectorCount = FatBootTotalSectors(s);
  for (uint32_t type : {uint32_t(kVolTypeFat16), uint32_t(kVolTypeFat32)}) {
    vol.type = type;
    const FatGeometry g = ReadFatGeometry(vol);
    for (uint64_t c : {uint64_t(0), uint64_t(2), g.clusterCount, g.clusterCount + 1, g.clusterCount + 2})
      if (FatClusterLba(g, c) != 0 && FatClusterLba(g, c) < g.dataStart) abort();
  }
  ExfatGeometry geo;
  if (ReadExfatGeometry(s, 63, geo)) {
    (void)ExfatClusterLba(geo, geo.rootCluster);
    (void)ExfatClusterLba(geo, uint64_t(geo.clusterCount) + 1);
  }
  return 0;
}
