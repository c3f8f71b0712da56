// MftHitInfo: the 53-byte summary the deep scan keeps with an MFT-record hit (kind 224), enough
// of the record to place it in a rebuilt volume later without reading the disk again. It is
// written byte for byte into scan-state files, followed by its name and run-list bytes, so its
// layout is a file format. The name and the run list are guarded-heap blocks of their own,
// owned by the summary and freed with it.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct MftHitInfo {
  uint32_t recordNumber;
  uint32_t parentRecord;    // low 32 bits of the parent reference of the chosen file name
  uint32_t ctime;           // packed local time
  uint32_t mtime;           // packed local time
  char16_t* name;           // nameLength + 1 characters, NUL-terminated, or null
  uint8_t* runList;         // runListLength bytes, or null
  uint16_t nameLength;      // characters (0: no name)
  uint16_t runListLength;   // bytes (0: none)
  uint64_t dataSize;        // real size of $DATA
  uint64_t allocatedSize;   // allocated size of a non-resident $DATA
  uint8_t flags;            // kMftHit* below
};
#pragma pack(pop)
static_assert(sizeof(MftHitInfo) == 53);

enum : uint8_t {
  kMftHitInUse = 0x01,
  kMftHitDirectory = 0x02,
  kMftHitResidentData = 0x04,
  kMftHitIndexAllocation = 0x08,
};

// Frees the name, the run list and the summary (null is accepted). The hit store releases
// kind-224 details through it.
void FreeMftHitInfo(void* info);
