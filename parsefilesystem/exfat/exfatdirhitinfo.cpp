#include "parsefilesystem/exfat/exfatdirhitinfo.h"

#include <cstring>

#include "base/heap.h"
#include "base/packedtime.h"
#include "core/filetypetable.h"
#include "parsefilesystem/exfat/exfatbytes.h"

using namespace exfat;

namespace {

constexpr uint32_t kNameUnits = 260;
constexpr uint8_t kDirEntryKind = 231;
// The types whose carved starts are later matched with directory entries to find a lost
// volume's cluster geometry.
constexpr uint8_t kGeometryTypes[] = {46, 48, 37, 38, 89, 61, 62, 53, 86, 39};

bool IsRunEntryType(uint8_t t) {
  switch (t) {
    case 0x81: case 0x82: case 0x83: case 0x03: case 0x05: case 0x85:
    case 0x40: case 0xC0: case 0x41: case 0xC1:
      return true;
    default:
      return false;
  }
}

bool IsGeometryType(uint8_t t) {
  for (uint8_t g : kGeometryTypes)
    if (g == t) return true;
  return false;
}

uint32_t StampToPacked(uint32_t stamp) {
  if (stamp == 0) return 0;
  const uint32_t time = stamp & 0xFFFF, date = stamp >> 16;
  return PackTime((date >> 9) + 1980, (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
}

bool IsDirSizeStep(uint32_t size) {
  for (uint32_t k = 0; k <= 14; ++k)
    if (size == (512u << k)) return true;
  return false;
}

struct OpenSet {
  bool open = false, deleted = false, isDir = false;
  uint32_t remaining = 0, time = 0, firstCluster = 0, size = 0, nameLen = 0;
  char16_t name[kNameUnits + 1];
};

void CompleteSet(ExfatDirHitInfo& info, OpenSet& s, bool& timeTaken) {
  s.open = false;
  s.name[s.nameLen] = 0;
  if (s.time != 0 && (!timeTaken || s.time < info.earliestTime)) {
    info.earliestTime = s.time;
    timeTaken = true;
  }
  if (info.lowestCluster == 0 || info.lowestCluster > s.firstCluster) info.lowestCluster = s.firstCluster;
  if (s.firstCluster > info.highestCluster) info.highestCluster = s.firstCluster;
  if (s.isDir) {
    if (!IsDirSizeStep(s.size)) return;
    if (info.smallestDirSize == 0 || info.smallestDirSize > s.size) {
      info.smallestDirSize = s.size;
      info.smallestDirCount = 1;
    } else if (info.smallestDirSize == s.size) {
      ++info.smallestDirCount;
    }
    if (info.entryCount < 24) info.entries[info.entryCount++] = {kDirEntryKind, s.firstCluster, s.size, s.time};
    return;
  }
  if (info.entryCount >= (s.deleted ? 8u : 18u)) return;
  const uint8_t type = GetTypeIdByExtension(s.name);
  if (IsGeometryType(type)) info.entries[info.entryCount++] = {type, s.firstCluster, s.size, s.time};
}

}  // namespace

bool AnalyzeExfatDirSector(const uint8_t* window, uint32_t length, CarveCandidate& c) {
  ExfatDirHitInfo info;
  std::memset(&info, 0, sizeof info);
  info.lba = c.startLba;
  const uint32_t count = window ? length / kEntryBytes : 0;
  if (count >= 3) {
    const uint8_t t0 = window[0], t1 = window[32], t2 = window[64];
    if ((t0 == 0x03 || t0 == 0x83) && t1 == 0x81 && t2 == 0x82)
      info.kind = 1;
    else if ((t0 & 0x7F) == 0x05 && (t1 & 0x7F) == 0x40 && (t2 & 0x7F) == 0x41)
      info.kind = 2;
  }
  OpenSet s;
  bool timeTaken = false;
  uint32_t walked = 0;
  for (; walked < count; ++walked) {
    const uint8_t* e = window + uint64_t(walked) * kEntryBytes;
    const uint8_t type = e[0];
    if (!IsRunEntryType(type)) break;
    if (type == 0x85 || type == 0x05) {
      s.open = true;
      s.deleted = type == 0x05;
      s.remaining = e[1];
      s.time = StampToPacked(Le32(e + 8));
      s.isDir = (Le16(e + 4) & 0x10) != 0;
      s.firstCluster = s.size = s.nameLen = 0;
    } else if ((type == 0xC0 || type == 0x40) && s.open) {
      s.size = uint32_t(Le64(e + 8));
      s.firstCluster = Le32(e + 20);
      if (s.remaining) --s.remaining;
    } else if ((type == 0xC1 || type == 0x41) && s.open) {
      uint32_t piece = 0;
      while (piece < 15 && Le16(e + 2 + 2 * piece) != 0) ++piece;
      if (s.nameLen + piece >= kNameUnits) {
        CompleteSet(info, s, timeTaken);
        continue;
      }
      for (uint32_t i = 0; i < piece; ++i) s.name[s.nameLen++] = char16_t(Le16(e + 2 + 2 * i));
      if (s.remaining) --s.remaining;
      if (s.remaining == 0) CompleteSet(info, s, timeTaken);
    }
  }
  info.sectors = (walked + 15) / 16;
  c.details = CopyToMem(AllocMem(sizeof info, 791), &info, sizeof info, 791);
  return true;
}
