// exFAT directory bytes: the entry-run check of the scan and the entry sets stored as records
// of a small volume, as a hit from the scan (checked first) and as a parsed directory.
#include <cstddef>
#include <cstdint>

#include "core/filetree.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/exfat/exfatsectorcheck.h"
#include "parsefilesystem/exfat/exfatvolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  if (size > (64u << 10)) return 0;
  std::vector<uint8_t> sector = FuzzFixedBytes(data, size, 512);
  (void)CheckExfatDirEntries(sector.data(), 0);
  (void)IsExfatRootDirSector(sector.data());

  FuzzLoadFlatImage(data, size);
  DiskReader reader;
  if (!FuzzOpenImage(reader)) return 0;
  for (uint32_t hit : {0u, 1u}) {
    VolumeContext vol;
    uint8_t* b = vol.bootSector;
    const uint64_t length = 4096;
    for (int i = 0; i < 8; ++i) b[0x48 + i] = uint8_t(length >> (8 * i));
    b[0x50] = 8;    // FAT at sector 8
    b[0x54] = 8;
    b[0x58] = 64;   // heap at sector 64
    b[0x5C] = 200;  // clusters
    b[0x60] = 2;    // root
    b[0x6D] = 3;
    vol.type = kVolTypeExfat;
    vol.sectorCount = length;
    CreateRootAndLostFolders(vol);
    (void)ParseExfatEntrySets(nullptr, reader, vol, data, uint32_t(size), kRootId, hit);
    FreeAllFileRecords(vol);
    FuzzResetScanState();
  }
  return 0;
}
