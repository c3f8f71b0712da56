// The FAT16/FAT32 on-disk layout as this program reads it: boot-sector fields, the values
// derived from them, the FAT lookup, the 32-byte directory entry and the boot-sector tests.
//
// Every value comes from a disk and is hostile. Derived positions are computed in 64 bits, a
// cluster outside 2 .. K+1 has no LBA, and a FAT lookup outside the loaded table gives 0.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/volumecontext.h"

constexpr uint32_t kFatEntryBytes = 32;
constexpr uint8_t kFatDeletedByte = 0xE5;
constexpr uint8_t kFatAttrLabel = 0x08;
constexpr uint8_t kFatAttrDirectory = 0x10;
constexpr uint8_t kFatAttrLongName = 0x0F;
constexpr uint8_t kFatAttrReserved = 0x40;
constexpr uint8_t kFatDirectoryCategory = 229;
// The mark that replaces the first character of a deleted short name.
constexpr char16_t kDeletedNameMark = u'!';
// Long names: at most 20 entries of 13 characters.
constexpr uint32_t kLfnCharsPerEntry = 13;
constexpr uint32_t kLfnMaxEntries = 20;
constexpr uint32_t kLfnMaxChars = 260;
// The largest FAT the parser loads, in sectors (128 MiB).
constexpr uint32_t kMaxFatLoadSectors = 0x40000;

inline uint16_t FatU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t FatU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// The boot-sector values and what follows from them, for a volume at its first LBA.
struct FatGeometry {
  uint32_t type = 0;            // kVolTypeFat16, kVolTypeFat32 or kVolTypeFat32Rebuilt
  uint32_t sectorsPerCluster = 0;
  uint32_t reservedSectors = 0;
  uint32_t fatCount = 0;
  uint32_t rootEntries = 0;     // FAT16 root-directory entry count
  uint64_t fatSectors = 0;      // F
  uint32_t rootCluster = 0;     // FAT32
  uint64_t firstLba = 0;        // L
  uint64_t sectorCount = 0;     // T as the volume context holds it
  uint64_t firstFatLba = 0;     // L + R
  uint64_t secondFatLba = 0;    // L + R + F
  uint64_t rootDirLba = 0;      // FAT16 root region: L + R + N*F
  uint64_t rootDirSectors = 0;  // (E*32 + 511) / 512
  uint64_t dataStart = 0;       // D
  uint64_t clusterCount = 0;    // K: clusters 2 .. K+1 exist
};

// The geometry from a context's boot-sector copy, type, first LBA and sector count.
FatGeometry ReadFatGeometry(const VolumeContext& ctx);
// Last valid cluster number (K + 1); 1 when the volume has no clusters.
inline uint64_t LastFatCluster(const FatGeometry& g) { return g.clusterCount + 1; }
inline bool IsFatClusterInRange(const FatGeometry& g, uint64_t c) { return c >= 2 && c <= LastFatCluster(g); }
// D + (c - 2) * S for a cluster in range, else 0 (no data).
uint64_t FatClusterLba(const FatGeometry& g, uint64_t cluster);
// The FAT entry of a cluster from the context's loaded FAT: 16 bits on type 10, 32 on types 11
// and 15; 0 beyond the loaded bytes, without a FAT, or for another type.
uint32_t FatLookup(const VolumeContext& ctx, uint64_t cluster);
// The exact end marks: 0xFFF8 on FAT16, low 28 bits 0x0FFFFFF8 otherwise.
bool IsFatEndMark(uint32_t type, uint32_t entry);

// The 16-bit total at 0x13 when the 32-bit one at 0x20 is 0 (volumes below 32 MiB), else the
// 32-bit total.
uint32_t FatBootTotalSectors(const uint8_t* boot);

// Boot-sector predicates over a 512-byte sector.
bool IsFat16BootSector(const uint8_t* sector);
bool IsFat32BootSector(const uint8_t* sector);

// The checksum of an 11-byte short name that its long-name entries carry.
uint8_t FatShortNameChecksum(const uint8_t* name11);

// Entry fields.
inline uint8_t FatEntryAttr(const uint8_t* e) { return e[11]; }
inline uint32_t FatEntryFirstCluster(const uint8_t* e) { return (uint32_t(FatU16(e + 20)) << 16) | FatU16(e + 26); }
inline uint32_t FatEntrySize(const uint8_t* e) { return FatU32(e + 28); }
// A packed time from a FAT date and time; 0 when the date is 0 (no time recorded).
uint32_t FatPackedTime(uint16_t date, uint16_t time);
