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

}  // namespace exfat

