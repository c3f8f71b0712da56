#include "parsefilesystem/parsefat/fatrelocate.h"

#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "base/heap.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsefat/fatdirhitinfo.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint8_t kTypeDoc = 36, kTypeDocx = 37, kTypeXlsx = 38, kTypeJar = 63, kTypeZip = 61, kTypeTif = 51;
constexpr uint8_t kTypeXls = 87, kTypePptx = 89, kTypePpt = 90;

bool IsFat32Type(uint32_t t) { return t == kVolTypeFat32 || t == kVolTypeFat32Rebuilt; }

// Types whose end a file's last sector shows exactly: documents and pictures that end in a
// known trailer, and text.
bool HasExactTail(uint8_t t) {
  switch (t) {
    case 40: case 43: case 44: case 45: case 46: case 49: case 79: case 161:
      return true;
    default:
      return t >= 165 && t <= 171;
  }
}

bool In(uint8_t v, std::initializer_list<uint8_t> set) { return std::find(set.begin(), set.end(), v) != set.end(); }

bool KindMatches(uint8_t kind, uint8_t category) {
  if (kind == category) return true;
  const uint32_t run = ScanRunState.load();
  if (run != kScanRunning && run != kScanPaused) return false;
  // While a scan runs the matcher's kinds are coarser than the extensions.
  if (In(category, {kTypeDoc, kTypeXls, kTypePpt}) && In(kind, {kTypeDoc, kTypeXls, kTypePpt})) return true;
  if (category == kTypeZip && In(kind, {kTypeDocx, kTypeXlsx, kTypePptx})) return true;
  if (category == kTypeTif && In(kind, {49, 50, 52, 92, 98, 101, 102, 104})) return true;
  return false;
}

bool IsLostDirectoryName(const char16_t* name) {
  if (!name || name[0] != u'D' || name[1] != u'i' || name[2] != u'r') return false;
  for (int i = 3; i < 11; ++i)
    if (name[i] < u'0' || name[i] > u'9') return false;
  return name[11] == 0;
}

uint8_t ClassifyCluster(DiskReader& reader, const FatGeometry& g, uint64_t cluster) {
  uint8_t s[512] = {};
  const uint64_t lba = FatClusterLba(g, cluster);
  (void)reader.ReadSectors(s, lba, 1);
  if (std::memcmp(s, ".   ", 4) == 0 && std::memcmp(s + 32, "..  ", 4) == 0) return kFatDirectoryCategory;
  uint32_t type = kClusterKindNone;
  if (!MatchSectorSignatureForParser(s, type, lba) || type > 176) return kClusterKindNone;
  return uint8_t(type);
}

void SetFirstCluster(FileRecord& rec, uint32_t cluster) { rec.firstCluster = cluster; }

}  // namespace

bool BuildFatClusterHitMap(FatClusterHitMap& map, const VolumeContext& ctx) {
  FreeFatClusterHitMap(map);
  if (!IsFat32Type(ctx.type)) return false;
  const FatGeometry g = ReadFatGeometry(ctx);
  if (g.sectorsPerCluster == 0) return false;
  const int64_t dataSectors =
      int64_t(ctx.sectorCount) - int64_t(g.reservedSectors) - int64_t(g.fatCount) * int64_t(g.fatSectors);
  int64_t entries = int32_t(uint32_t(uint64_t(dataSectors / int64_t(g.sectorsPerCluster) + 2)));
  if (entries < 0 || entries > int64_t(kMaxClusterHitMap)) entries = kMaxClusterHitMap;
  // No cluster beyond the volume's last is ever looked up.
  entries = std::min<int64_t>(entries, int64_t(LastFatCluster(g)) + 1);
  if (entries <= 0) return false;
  map.length = uint32_t(entries);
  map.data = static_cast<uint8_t*>(AllocMem(map.length, 628));
  std::memset(map.data, 0, map.length);
  const VolumeContext& target = ScanTarget();
  std::vector<SectorHit> hits;
  CollectAllHits(hits);
  const uint64_t end = g.firstLba + ctx.sectorCount;
  for (const SectorHit& h : hits) {
    const uint64_t m = h.lba;
    if (m < target.firstLba || m - target.firstLba >= target.sectorCount) continue;
    if (m < g.dataStart || m > end || (m - g.dataStart) % g.sectorsPerCluster) continue;
    const uint64_t idx = (m - g.dataStart) / g.sectorsPerCluster + 2;
    if (idx < map.length) map.data[idx] = h.kind;
  }
  return true;
}

void FreeFatClusterHitMap(FatClusterHitMap& map) {
  if (map.data) FreeMem(map.data);
  map.data = nullptr;
  map.length = 0;
}

bool NeedsStartClusterRelocation(const FileRecord* rec, bool deletedFiles) {
  if (!rec || (rec->flags & kRecInUse)) return false;
  const uint32_t cluster = rec->firstCluster;
  if (cluster == 0 && IsLostDirectoryName(rec->name)) return false;
  if (cluster & 0x0FFF0000) return false;
  if (rec->flags & kRecDirectory) return true;
  return deletedFiles;
}

bool IsFileTailExact(uint64_t startLba, uint64_t size) {
  const SectorFillMapT& fm = SectorFillMap();
  if (!fm.map || fm.count == 0 || size == 0) return false;
  const uint64_t last = startLba + size / 512 - (size % 512 == 0 ? 1 : 0);
  if (last < fm.firstLba || last - fm.firstLba >= fm.count) return false;
  const uint64_t rest = size % 512;
  const uint32_t tail = rest == 0 ? 255 : uint32_t(std::min<uint64_t>((rest + 1) / 2, 255));
  return fm.map[last - fm.firstLba] == tail;
}

bool IsFileTailPossible(uint64_t startLba, uint64_t size) {
  const SectorFillMapT& fm = SectorFillMap();
  if (!fm.map || fm.count == 0 || size == 0) return true;
  const uint64_t last = startLba + size / 512 - (size % 512 == 0 ? 1 : 0);
  if (last < fm.firstLba || last - fm.firstLba >= fm.count) return true;
  const uint64_t rest = size % 512;
  const uint32_t tail = rest == 0 ? 255 : uint32_t(std::min<uint64_t>((rest + 1) / 2, 255));
  return fm.map[last - fm.firstLba] <= tail;
}

void AddNeighbourCandidate(const VolumeContext& ctx, std::vector<NeighbourCandidate>& list, uint32_t timeDistance,
                           uint32_t recordCluster, uint32_t neighbourCluster) {
  const uint32_t cluster = (neighbourCluster & 0x0FFF0000) | (recordCluster & 0xFFFF);
  if (cluster < 2 || uint64_t(cluster) * 4 + 4 > ctx.fatBufferSize || FatLookup(ctx, cluster) != 0) return;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->cluster != cluster) continue;
    if (it->timeDistance <= timeDistance) return;
    list.erase(it);
    break;
  }
  auto pos = std::find_if(list.begin(), list.end(),
                          [&](const NeighbourCandidate& n) { return n.timeDistance >= timeDistance; });
  list.insert(pos, NeighbourCandidate{timeDistance, cluster});
}

bool CollectNeighbourRecords(const VolumeContext& ctx, uint32_t id, std::vector<NeighbourCandidate>& list) {
  list.clear();
  const FileRecord* rec = GetFileRecord(ctx, id, 0);
  if (!rec) return false;
  const uint32_t cluster = rec->firstCluster;
  const uint32_t ctime = rec->ctime;
  for (uint32_t d = 0; d < 499; ++d) {
    const uint64_t ids[2] = {uint64_t(id) + d, d <= id ? uint64_t(id - d) : 0};
    for (uint64_t nid : ids) {
      if (nid <= kRootId || nid >= ctx.idLimit) continue;
      const FileRecord* nb = GetFileRecord(ctx, uint32_t(nid), 0);
      if (!nb) continue;
      const uint32_t nc = nb->firstCluster;
      if (!(nb->flags & kRecInUse) && !(nc & 0x0FFF0000)) continue;
      const uint32_t nt = nb->ctime;
      AddNeighbourCandidate(ctx, list, nt > ctime ? nt - ctime : ctime - nt, cluster, nc);
    }
    if (list.size() >= 5 || (d > 100 && list.size() >= 2)) break;
  }
  return !list.empty();
}

bool ChooseStartClusterCandidate(VolumeContext& ctx, const std::vector<uint32_t>& candidates, uint32_t id) {
  FileRecord* rec = GetFileRecord(ctx, id, 0);
  if (!rec || candidates.empty()) return false;
  const FatGeometry g = ReadFatGeometry(ctx);
  const uint64_t size = rec->size;
  if (HasExactTail(rec->typeId)) {
    for (uint32_t c : candidates)
      if (IsFileTailExact(FatClusterLba(g, c), size)) {
        SetFirstCluster(*rec, c);
        return true;
      }
  }
  std::vector<uint32_t> possible;
  for (uint32_t c : candidates)
    if (IsFileTailPossible(FatClusterLba(g, c), size)) possible.push_back(c);
  if (possible.empty()) return false;
  std::vector<NeighbourCandidate> neighbours;
  if (!CollectNeighbourRecords(ctx, id, neighbours)) {
    SetFirstCluster(*rec, possible.front());
    return true;
  }
  for (const NeighbourCandidate& n : neighbours)
    if (std::find(possible.begin(), possible.end(), n.cluster) != possible.end()) {
      SetFirstCluster(*rec, n.cluster);
      return true;
    }
  const uint32_t target = neighbours.front().cluster;
  uint32_t best = possible.front();
  for (uint32_t c : possible) {
    const uint32_t dc = c > target ? c - target : target - c;
    const uint32_t db = best > target ? best - target : target - best;
    if (dc < db) best = c;
  }
  SetFirstCluster(*rec, best);
  return true;
}

bool FindStartClusterBySignature(FatClusterHitMap& map, DiskReader& reader, VolumeContext& ctx, uint32_t id) {
  FileRecord* rec = GetFileRecord(ctx, id, 0);
  if (!rec || !map.data) return false;
  const FatGeometry g = ReadFatGeometry(ctx);
  if (g.sectorsPerCluster == 0) return false;
  const uint32_t low = rec->firstCluster & 0xFFFF;
  const uint8_t category = rec->typeId;
  const uint32_t banks = uint16_t((ctx.sectorCount / g.sectorsPerCluster) >> 16);
  std::vector<uint32_t> candidates;
  for (uint32_t b = 0; b <= banks; ++b) {
    const uint64_t c = (uint64_t(b) << 16) | low;
    if (c * 4 + 4 > ctx.fatBufferSize || c > LastFatCluster(g)) break;
    if (c < 2 || FatLookup(ctx, c) != 0) continue;
    if (c >= map.length) break;
    if (map.data[c] == 0) map.data[c] = ClassifyCluster(reader, g, c);
    if (KindMatches(map.data[c], category)) candidates.push_back(uint32_t(c));
  }
  if (rec->flags & kRecDirectory) {
    if (candidates.empty()) {
      SetFirstCluster(*rec, 0);
      return false;
    }
    uint32_t chosen = candidates.front();
    if (candidates.size() > 1) {
      const FileRecord* parent = GetFileRecord(ctx, rec->parent, 0);
      const uint32_t parentCluster = parent && parent->id != kRootId ? parent->firstCluster : 0;
      for (uint32_t c : candidates) {
        const SectorHit* hit = FindHitAt(FatClusterLba(g, c), kFatDirectoryCategory);
        if (!hit || !hit->detail) continue;
        FatDirHitInfo info;
        std::memcpy(&info, hit->detail, sizeof info);
        if (info.parentCluster == parentCluster) {
          chosen = c;
          break;
        }
      }
    }
    SetFirstCluster(*rec, chosen);
    return true;
  }
  return ChooseStartClusterCandidate(ctx, candidates, id);
}

bool FindStartClusterFromNeighbours(VolumeContext& ctx, uint32_t id) {
  std::vector<NeighbourCandidate> list;
  if (!CollectNeighbourRecords(ctx, id, list)) return false;
  FileRecord* rec = GetFileRecord(ctx, id, 0);
  if (!rec) return false;
  const FatGeometry g = ReadFatGeometry(ctx);
  const uint64_t size = rec->size;
  if (HasExactTail(rec->typeId)) {
    for (const NeighbourCandidate& n : list)
      if (IsFileTailExact(FatClusterLba(g, n.cluster), size)) {
        SetFirstCluster(*rec, n.cluster);
        return true;
      }
  }
  for (const NeighbourCandidate& n : list)
    if (IsFileTailPossible(FatClusterLba(g, n.cluster), size)) {
      SetFirstCluster(*rec, n.cluster);
      return true;
    }
  SetFirstCluster(*rec, list.front().cluster);
  return true;
}

void RelocateFat32StartClusters(FatClusterHitMap& map, std::atomic<uint32_t>* state, DiskReader& reader,
                                VolumeContext& ctx, uint32_t firstId, uint32_t endId, bool deletedFiles) {
  if (!IsFat32Type(ctx.type) || firstId >= endId || endId <= kRootId) return;
  const FatGeometry g = ReadFatGeometry(ctx);
  uint32_t total = 0;
  if (deletedFiles)
    for (uint32_t id = firstId; id < endId; ++id)
      if (NeedsStartClusterRelocation(GetFileRecord(ctx, id, 0), true)) ++total;
  uint32_t done = 0;
  for (uint32_t id = firstId; id < endId; ++id) {
    FileRecord* rec = GetFileRecord(ctx, id, 0);
    if (!NeedsStartClusterRelocation(rec, deletedFiles)) continue;
    const bool jar = rec->typeId == kTypeJar;
    if (jar) rec->typeId = kTypeZip;
    const uint8_t category = rec->typeId;
    const bool dir = (rec->flags & kRecDirectory) != 0;
    bool found = false;
    if (category >= 36 && category <= 232) found = FindStartClusterBySignature(map, reader, ctx, id);
    if (!found && !dir) FindStartClusterFromNeighbours(ctx, id);
    if (jar) rec->typeId = kTypeJar;
    // Every file's data position follows its start cluster, typed or not.
    if (!dir) rec->lba = FatClusterLba(g, rec->firstCluster);
    ++done;
    if (deletedFiles && total)
      PostProgressText(GetLangStr(u"RelocationFile"), FormatCString(GetLangStr(u"RelocationFileNum").View(), done, total),
                       CString());
    if (state && state->load() == kScanStopped) break;
  }
}
