// FatDirHitInfo: the 28-byte summary the deep scan keeps with a FAT directory-entry hit (kind
// 229). It is written byte for byte into scan-state files, so its layout is fixed.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct FatDirHitInfo {
  uint32_t sectorKind;     // 1 label first, 2 "." and ".." first, 3 other
  uint32_t lastCtime;      // packed creation time of the last short entry met
  uint32_t ownCluster;     // first cluster of the "." entry (kind 2)
  uint32_t parentCluster;  // first cluster of the ".." entry (kind 2; 0 for the root)
  uint32_t lowestCluster;
  uint32_t highestCluster;
  uint8_t shortEntries;
  uint8_t longEntries;
  uint8_t directories;
  uint8_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(FatDirHitInfo) == 28);
