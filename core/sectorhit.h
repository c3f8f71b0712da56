// SectorHit: one finding of the deep scan's sector pass. The deep scan owns the record and its
// lists; the record is declared here because the results model turns the file hits of a
// handled block into carved files of the "FindFile" volume and must read them.
//
// The record is stored byte for byte in scan-state files, so its layout is fixed.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct SectorHit {
  uint8_t kind;       // file type id 0 … 176 for a file hit; 200 … 234 for sector kinds
  uint8_t endStatus;  // 3 more data needed, 5 end found, 6 not a valid file
  uint64_t lba;
  uint64_t size;      // bytes
  void* detail;       // saved bytes or a format detail record; owned by the deep scan
};
#pragma pack(pop)
static_assert(sizeof(SectorHit) == 26);

// End-detection states that mean a hit is not (yet) a file.
constexpr uint8_t kHitNeedsMoreData = 3;
constexpr uint8_t kHitEndFound = 5;
constexpr uint8_t kHitNotValid = 6;
