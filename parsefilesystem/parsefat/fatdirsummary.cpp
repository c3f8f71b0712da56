#include "parsefilesystem/parsefat/fatdirsummary.h"

#include <cstring>
#include <unordered_set>

#include "base/heap.h"
#include "base/log.h"
#include "base/packedtime.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatknownlba.h"

namespace {

constexpr unsigned kTagSummary = 1440;
constexpr uint32_t kEntriesPerSector = 16;
constexpr uint32_t kLastDataCluster = 0x0FFFFFEF;
constexpr uint32_t kLastTableValue = 0x0FFFFFFF;

bool IsLabelAttr(uint8_t attr) { return attr == 0x08 || attr == 0x28; }

// A cluster number met twice in one sector means the sector is no directory. One slot per low
// byte catches a repeat directly, or after numbers of other low bytes, at the cost of a stack
// table of 256 numbers.
class ClusterSlots {
 public:
  bool Remember(uint32_t c) {
    uint32_t& slot = slots_[c & 0xFF];
    if (slot == c) return false;
    slot = c;
    return true;
  }

 private:
  uint32_t slots_[256] = {};
};

}  // namespace

bool SummarizeFatDirSector(const uint8_t* s, FatDirHitInfo& out) {
  FatDirHitInfo info;
  std::memset(&info, 0, sizeof info);
  info.sectorKind = 3;
  ClusterSlots slots;
  bool labelMet = false;
  uint32_t lowest = 0, highest = 0, time = 0;
  uint8_t shorts = 0, longs = 0, dirs = 0;
  for (uint32_t i = 0; i < kEntriesPerSector; ++i) {
    const uint8_t* e = s + i * kFatEntryBytes;
    if (e[0] == 0) break;
    if (i == 0 && std::memcmp(s, ".   ", 4) == 0 && std::memcmp(s + 32, "..  ", 4) == 0) {
      info.sectorKind = 2;
      const uint32_t own = FatEntryFirstCluster(s), parent = FatEntryFirstCluster(s + 32);
      info.ownCluster = own;
      info.parentCluster = parent;
      for (uint32_t c : {own, parent})
        if (c >= 2 && c <= 0xFFFFFFEF && !slots.Remember(c)) return false;
      i = 1;
      continue;
    }
    const uint8_t attr = FatEntryAttr(e);
    if (IsLabelAttr(attr)) {
      if (i == 0) info.sectorKind = 1;
      else if (labelMet || info.sectorKind == 2) return false;
      labelMet = true;
      continue;
    }
    if (attr == kFatAttrLongName) {
      ++longs;
      continue;
    }
    ++shorts;
    if (attr & kFatAttrDirectory) ++dirs;
    const uint16_t date = FatU16(e + 16), clock = FatU16(e + 14);
    time = PackTime(date >> 9, (date >> 5) & 15, date & 31, clock >> 11, (clock >> 5) & 63, 2u * (clock & 31));
    if (e[0] == kFatDeletedByte || !((attr & kFatAttrDirectory) || FatEntrySize(e) != 0)) continue;
    const uint32_t c = FatEntryFirstCluster(e);
    if (c < 2 || c > kLastTableValue) return false;
    if (c > kLastDataCluster) continue;
    if (c > highest) highest = c;
    if (lowest == 0 || lowest > c) lowest = c;
    if (!slots.Remember(c)) return false;
  }
  if (shorts == 0) return false;
  info.lastCtime = time;
  info.lowestCluster = lowest;
  info.highestCluster = highest;
  info.shortEntries = shorts;
  info.longEntries = longs;
  info.directories = dirs;
  out = info;
  return true;
}

bool SummarizeFatDirSectorHit(const uint8_t* sector, uint64_t, void** detail) {
  FatDirHitInfo info;
  if (!SummarizeFatDirSector(sector, info)) return false;
  *detail = CopyToMem(AllocMem(sizeof info, kTagSummary), &info, sizeof info, kTagSummary);
  return true;
}

FatDirHitInfo* ReadableFatDirSummary(void* detail, uint32_t line) {
  if (detail != nullptr && GetMemSize(detail) >= sizeof(FatDirHitInfo)) return static_cast<FatDirHitInfo*>(detail);
  LogSrcLine(u"Pointer error ********************************", u"parsefilesystem/parsefat/parsefatdirentry", line);
  return nullptr;
}

void CollectFatDirHitRuns(const std::vector<SectorHit>& hits, std::vector<FatDirRun>& runs) {
  runs.clear();
  bool previousNotFull = true;
  for (size_t i = 0; i < hits.size(); ++i) {
    const SectorHit& h = hits[i];
    if (h.kind != kKindFatDirSector) continue;
    FatDirHitInfo* info = ReadableFatDirSummary(h.detail, 341);
    if (info == nullptr) continue;
    const uint64_t lba = h.lba;
    const uint32_t kind = info->sectorKind;
    const uint8_t shorts = info->shortEntries;
    if (kind == 1 || kind == 2) {
      if (shorts >= 1) runs.push_back(FatDirRun{lba, 1, info});
    } else if (!runs.empty() && !previousNotFull) {
      FatDirRun& r = runs.back();
      if (r.lba + r.sectors == lba) {
        if (shorts >= 1) {
          // The run's first summary speaks for all its sectors.
          ++r.sectors;
          FatDirHitInfo& m = *r.info;
          const uint32_t t = info->lastCtime, lo = info->lowestCluster, hi = info->highestCluster;
          if (t != 0 && t < m.lastCtime) m.lastCtime = t;
          if (lo != 0 && (m.lowestCluster == 0 || lo < m.lowestCluster)) m.lowestCluster = lo;
          if (hi != 0 && hi > m.highestCluster) m.highestCluster = hi;
          m.directories = uint8_t(m.directories + info->directories);
        }
      } else if (shorts >= 1) {
        runs.push_back(FatDirRun{lba, 1, info});
      }
    } else if (i + 1 < hits.size() && uint64_t(hits[i + 1].lba) == lba + 1 && shorts >= 1) {
      // A lone sector that no full sector leads into starts a run only when another follows.
      runs.push_back(FatDirRun{lba, 1, info});
    }
    const uint32_t used = uint32_t(info->longEntries) + shorts + (kind == 1 ? 1 : kind == 2 ? 2 : 0);
    previousNotFull = used != kEntriesPerSector;
  }
  std::erase_if(runs, [](const FatDirRun& r) { return TestKnownFatLba(r.lba, false); });
}

void RemoveFatDirRuns(std::vector<FatDirRun>& runs, const std::vector<FatDirRun>& taken) {
  std::unordered_set<uint64_t> lbas;
  for (const FatDirRun& t : taken) lbas.insert(t.lba);
  std::erase_if(runs, [&](const FatDirRun& r) { return lbas.count(r.lba) != 0; });
}
