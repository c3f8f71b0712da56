#include "parsefilesystem/parsefat/fatformat.h"

#include "base/bits.h"
#include "base/packedtime.h"

FatGeometry ReadFatGeometry(const VolumeContext& ctx) {
  const uint8_t* b = ctx.bootSector;
  FatGeometry g;
  g.type = ctx.type;
  g.sectorsPerCluster = b[0x0D];
  g.reservedSectors = FatU16(b + 0x0E);
  g.fatCount = b[0x10];
  g.rootEntries = FatU16(b + 0x11);
  const uint16_t f16 = FatU16(b + 0x16);
  g.fatSectors = f16 ? f16 : FatU32(b + 0x24);
  g.rootCluster = FatU32(b + 0x2C);
  g.firstLba = ctx.firstLba;
  g.sectorCount = ctx.sectorCount;
  g.firstFatLba = g.firstLba + g.reservedSectors;
  g.secondFatLba = g.firstFatLba + g.fatSectors;
  g.rootDirLba = g.firstFatLba + uint64_t(g.fatCount) * g.fatSectors;
  g.rootDirSectors = (uint64_t(g.rootEntries) * 32 + 511) / 512;
  g.dataStart = g.rootDirLba + g.rootDirSectors;
  const uint64_t end = g.firstLba + g.sectorCount;
  if (g.sectorsPerCluster && end > g.dataStart) g.clusterCount = (end - g.dataStart) / g.sectorsPerCluster;
  // No FAT entry can name a cluster above the largest number its width holds.
  const uint64_t widthLimit = ctx.type == kVolTypeFat16 ? 0xFFF5 - 2 : 0x0FFFFFF5 - 2;
  if (g.clusterCount > widthLimit) g.clusterCount = widthLimit;
  return g;
}

uint64_t FatClusterLba(const FatGeometry& g, uint64_t cluster) {
  if (!IsFatClusterInRange(g, cluster)) return 0;
  return g.dataStart + (cluster - 2) * g.sectorsPerCluster;
}

uint32_t FatLookup(const VolumeContext& ctx, uint64_t cluster) {
  if (!ctx.fatBuffer) return 0;
  if (ctx.type == kVolTypeFat16) {
    if (cluster * 2 + 2 > ctx.fatBufferSize) return 0;
    return FatU16(ctx.fatBuffer + cluster * 2);
  }
  if (ctx.type == kVolTypeFat32 || ctx.type == kVolTypeFat32Rebuilt) {
    if (cluster * 4 + 4 > ctx.fatBufferSize) return 0;
    return FatU32(ctx.fatBuffer + cluster * 4);
  }
  return 0;
}

bool IsFatEndMark(uint32_t type, uint32_t entry) {
  if (type == kVolTypeFat16) return entry == 0xFFF8;
  return (entry & 0x0FFFFFFF) == 0x0FFFFFF8;
}

uint32_t FatBootTotalSectors(const uint8_t* boot) {
  const uint32_t t32 = FatU32(boot + 0x20);
  return t32 ? t32 : FatU16(boot + 0x13);
}

namespace {
bool CommonBootTests(const uint8_t* s) {
  if (s[510] != 0x55 || s[511] != 0xAA) return false;
  const uint16_t bps = FatU16(s + 0x0B);
  if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) return false;
  if (!IsPowerOfTwoByte(s[0x0D])) return false;
  return s[0x10] == 1 || s[0x10] == 2;
}
}  // namespace

bool IsFat16BootSector(const uint8_t* s) {
  if (!CommonBootTests(s)) return false;
  if (s[0] != 0xEB && s[2] != 0x90) return false;
  if (s[0x15] != 0xF8) return false;
  if (FatU16(s + 0x18) != 63 && FatU16(s + 0x1A) != 255) return false;
  return std::memcmp(s + 0x36, "FAT16", 5) == 0;
}

bool IsFat32BootSector(const uint8_t* s) {
  if (!CommonBootTests(s)) return false;
  if (s[0] != 0xE9 && s[0] != 0xEB) return false;
  if (s[0x15] != 0xF0 && s[0x15] != 0xF8) return false;
  return std::memcmp(s + 0x52, "FAT32", 5) == 0;
}

uint8_t FatShortNameChecksum(const uint8_t* name11) {
  uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = uint8_t(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  return sum;
}

uint32_t FatPackedTime(uint16_t date, uint16_t time) {
  if (date == 0) return 0;
  return PackTime(date >> 9, (date >> 5) & 0xF, date & 0x1F, time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2u);
}
