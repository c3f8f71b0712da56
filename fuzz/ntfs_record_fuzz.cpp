// One MFT record as the volume walk meets it: the update-sequence repair, the attribute walk
// into a FileRecord, its run list turned into sectors, and the resident-data read the preview
// and copy-out use, with the record lying at LBA 0 of an image.
#include <cstddef>
#include <cstdint>

#include "core/dataextents.h"
#include "core/filetree.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  FuzzResetScanState();
  std::vector<uint8_t> record = FuzzFixedBytes(data, size, kMftRecordBytes);
  RepairMftRecord(record.data());

  VolumeContext vol;
  vol.type = kVolTypeNtfs;
  vol.bootSector[0x0D] = 8;
  vol.firstLba = 2048;
  vol.sectorCount = 1u << 20;
  FileRecord rec;
  if (ParseMftRecord(vol, record.data(), rec)) {
    DataExtentList runs;
    if (rec.blob && !(rec.flags & (kRecAttrList | kRecAttrListOnDisk)))
      DataRunsToSectors(vol, rec.blob, rec.blobLength, runs);
    FreeFileRecord(rec);
  }
  for (uint32_t type : {kAttrStandardInfo, kAttrList, kAttrFileName, kAttrVolumeName, kAttrData}) {
    const int32_t at = FindAttributeOffset(record.data(), type);
    uint32_t off = 0, len = 0;
    (void)GetResidentValue(record.data(), at, off, len);
    (void)GetRunList(record.data(), at, off, len);
  }

  FuzzLoadFlatImage(data, size < kMftRecordBytes ? size : kMftRecordBytes);
  DiskReader reader;
  if (FuzzOpenImage(reader)) {
    uint8_t value[kMftRecordBytes];
    (void)ReadResidentData(reader, 0, 0, value, sizeof value);
    (void)ReadResidentData(reader, 0, 100, value, 8);
  }
  return 0;
}
