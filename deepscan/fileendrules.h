// The end rules built into the detection core, one small file per format family, and the
// little-endian reads they share. Internal to deepscan.
#pragma once

#include <cstdint>
#include <cstring>

#include "scanbase/carvecandidate.h"

inline uint16_t FeLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t FeLe32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t FeLe64(const uint8_t* p) { return uint64_t(FeLe32(p)) | (uint64_t(FeLe32(p + 4)) << 32); }

// The data a rule looks at: the buffer's first LBA, its bytes and its length.
struct FileEndBuffer {
  uint64_t lba;
  const uint8_t* data;
  uint64_t length;
};

// Sets the wanted count and copies it from the current offset into dest; returns the copy's
// result (1, 3 or 6).
int32_t CopyWanted(CarveCandidate& c, const FileEndBuffer& b, uint32_t wanted, uint8_t* dest);

int32_t DetectRarEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectBmpEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectChmEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectHlpEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectEpsEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectRiffEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectMkvEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectAsfEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectFat32TableEnd(CarveCandidate& c, const FileEndBuffer& b);
int32_t DetectExfatDirRunEnd(CarveCandidate& c, const FileEndBuffer& b);
