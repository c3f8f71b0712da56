// FAT directory bytes: the entry validators the scan's sector check uses, and the walk of the
// entries (long names, deleted runs, case bits) into records of a small FAT16 volume, whose
// cluster chains are then followed through a table taken from the input's tail.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/heap.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "fuzz/fuzzimage.h"
#include "parsefilesystem/parsefat/fatextents.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "parsefilesystem/parsefat/fatvolume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  if (size > (64u << 10)) return 0;
  // The first half is the directory, the second the table.
  const size_t dirBytes = size / 2 / 32 * 32;
  (void)ValidateFatDirEntries(data, uint32_t(dirBytes));
  if (dirBytes >= 32) (void)ValidateFatEntryRun(data, uint32_t(dirBytes));

  VolumeContext ctx;
  uint8_t* b = ctx.bootSector;
  b[0x0D] = 1;      // one sector per cluster
  b[0x0E] = 1;      // one reserved sector
  b[0x10] = 1;      // one FAT
  b[0x11] = 16;     // 16 root entries: data from LBA 1 + F + 1
  b[0x16] = 8;      // 8 sectors per FAT
  ctx.type = kVolTypeFat16;
  ctx.sectorCount = 2000;
  const size_t tableBytes = size - size / 2;
  ctx.fatBuffer = static_cast<uint8_t*>(AllocMem(tableBytes + 4, 1));
  std::memcpy(ctx.fatBuffer, data + size / 2, tableBytes);
  ctx.fatBufferSize = uint32_t(tableBytes);
  CreateRootAndLostFolders(ctx);
  ParseFatDirEntries(ctx, data, uint32_t(dirBytes), kRootId, 0);
  for (uint32_t id = kRootId + 1; id < ctx.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(ctx, id, 0);
    if (!rec) continue;
    DataExtentList runs;
    (void)GetFatFileExtents(ctx, *rec, runs);
  }
  FreeAllFileRecords(ctx);
  FreeMem(ctx.fatBuffer);
  return 0;
}
