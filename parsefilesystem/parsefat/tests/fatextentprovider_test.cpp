// FAT records through the record model's extents: the chain of the table, by volume type.
#include <gtest/gtest.h>

#include <cstring>

#include "base/heap.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsefat/fatextents.h"
#include "parsefilesystem/parsefat/tests/fatbytes.h"
#include "parsefilesystem/parsefat/tests/fattestenv.h"

namespace {

TEST(FatExtentProvider, ChainsOfFat16AndRebuiltFat32Records) {
  LoadFatTestSettings();
  InitFatExtentProvider();
  auto b = Fat16Boot();
  b[0x0D] = 1;
  Put16(&b[0x0E], 1);
  b[0x10] = 1;
  Put16(&b[0x11], 16);
  Put16(&b[0x16], 1);
  for (uint32_t type : {uint32_t(kVolTypeFat16), uint32_t(kVolTypeFat32Rebuilt)}) {
    VolumeContext ctx;
    std::memcpy(ctx.bootSector, b.data(), 512);
    ctx.type = type;
    ctx.sectorCount = 103;
    CreateRootAndLostFolders(ctx);
    FileRecord rec;
    std::memset(static_cast<void*>(&rec), 0, sizeof rec);
    rec.id = 10;
    rec.parent = kRootId;
    rec.flags = kRecInUse;
    rec.firstCluster = 20;
    rec.size = 1000;
    rec.lba = 777;
    rec.name = static_cast<char16_t*>(AllocMem(4, 1));
    rec.name[0] = u'f';
    rec.name[1] = 0;
    ASSERT_EQ(AddFileRecord(ctx, rec, 0), 10u);
    DataExtentList out;
    if (type == kVolTypeFat32Rebuilt) {
      // Without a table: one run at the record's LBA.
      ASSERT_EQ(GetRecordExtents(ctx, 10, out), 1);
      ASSERT_EQ(out.size(), 1u);
      EXPECT_EQ(out[0].startLba, 777u);
    }
    // 20 -> 30 -> end in 16-bit entries: two runs of one sector each on FAT16; a rebuilt FAT32
    // volume reads its table as FAT32 and answers as the FAT parser does.
    ctx.fatBuffer = static_cast<uint8_t*>(AllocMem(512, 1));
    std::memset(ctx.fatBuffer, 0, 512);
    ctx.fatBufferSize = 512;
    Put16(ctx.fatBuffer + 40, 30);
    Put16(ctx.fatBuffer + 60, 0xFFF8);
    ASSERT_EQ(GetRecordExtents(ctx, 10, out), 1) << type;
    DataExtentList direct;
    ASSERT_TRUE(GetFatFileExtents(ctx, *GetFileRecord(ctx, 10), direct));
    ASSERT_EQ(out.size(), direct.size());
    EXPECT_EQ(out.back().startLba, direct.back().startLba);
    if (type == kVolTypeFat32Rebuilt) {
      FreeAllFileRecords(ctx);
      continue;
    }
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].startLba, 3u + 18u);
    EXPECT_EQ(out[1].startLba, 3u + 28u);
    FreeAllFileRecords(ctx);
  }
}

}  // namespace
