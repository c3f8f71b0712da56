// Little-endian field reads from exFAT sectors; the caller has checked that the bytes exist.
#pragma once

#include <cstdint>

namespace exfat {

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | (uint64_t(Le32(p + 4)) << 32); }

constexpr uint32_t kEntryBytes = 32;
constexpr uint32_t kEntriesPerSector = 16;

// The label entry as the directory-sector checks accept it: type 0x03 or 0x83, a count below
// 16, that many non-zero characters and zeros after them.
inline bool LabelEntryWellFormed(const uint8_t* e) {
  if (e[0] != 0x03 && e[0] != 0x83) return false;
  const uint32_t count = e[1];
  if (count >= 16) return false;
  for (uint32_t i = 0; i < count; ++i)
    if (Le16(e + 2 + 2 * i) == 0) return false;
  for (uint32_t b = 2 + 2 * count; b < kEntryBytes; ++b)
    if (e[b] != 0) return false;
  return true;
}

}  // namespace exfat

namespace exfat {

// Whether a 512-byte sector holds exFAT directory entries from index first on, and whether it
// starts like a root directory. The parser's own copies of the deep scan's sector checks.
bool SectorHoldsDirEntries(const uint8_t* sector, unsigned first);
bool SectorStartsRootDir(const uint8_t* sector);

}  // namespace exfat
