// An NTFS file spread over records by its attribute list: the input is a stretch of an MFT whose
// first record is the base record (number b); record b + k lies at byte 1024 k. The list, the
// records it names and their $DATA pieces are read and joined as the volume walk does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/ntfsattrlist.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  if (size < kMftRecordBytes || size > (1u << 20)) return 0;
  std::vector<uint8_t> base(data, data + kMftRecordBytes);
  RepairMftRecord(base.data());
  (void)ParseAttributeListEntries(data, uint32_t(size));
  FuzzLoadFlatImage(data, size);
  DiskReader reader;
  if (!FuzzOpenImage(reader)) return 0;
  VolumeContext vol;
  vol.type = kVolTypeNtfs;
  vol.bootSector[0x0D] = 1;
  vol.sectorCount = (size + 511) / 512;
  const uint32_t number = NtfsRead32(base.data() + 0x2C);
  auto source = [&](uint64_t n, uint8_t* record, uint64_t* lba) {
    if (n < number || n - number >= vol.sectorCount / kMftRecordSectors) return false;
    const uint64_t at = (n - number) * kMftRecordSectors;
    if (!reader.ReadSectors(record, at, kMftRecordSectors)) return false;
    RepairMftRecord(record);
    if (lba) *lba = at;
    return HasFileMagic(record);
  };
  ListedFile file;
  if (JoinAttributeList(reader, vol, source, base.data(), number, 0, file)) {
    for (const DataExtent& e : file.extents)
      if (!IsHoleExtent(e) && !IsUnreadableExtent(e) && e.startLba + e.sectorCount > vol.sectorCount) abort();
  }
  return 0;
}
