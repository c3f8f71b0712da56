#include "deepscan/olereader.h"

#include <algorithm>
#include <cstring>

#include "deepscan/fileendrules.h"

namespace {

constexpr uint32_t kHeaderFatCount = 44, kHeaderDirStart = 48, kHeaderMiniFatStart = 60, kHeaderMiniFatCount = 64;
constexpr uint32_t kHeaderDifatStart = 68, kHeaderDifatCount = 72, kHeaderDifat = 76;
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kDifatEntriesPerSector = 127;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
// FAT values from -4 (DIFAT sector) to 0 stand as they are; every other value names a sector.
constexpr int32_t kLowestMark = -4;
constexpr uint32_t kEntryNameLength = 64, kEntryStart = 116, kEntrySize = 120;

// The byte position of file sector n, or false when it lies beyond the first 128 MiB.
bool SectorPos(uint32_t n, uint64_t& pos) {
  pos = (uint64_t(n) + 1) * kOleSectorBytes;
  return pos <= kOleMaxSectorPos;
}

bool Holds(uint64_t size, uint64_t at, uint64_t n) { return at <= size && n <= size - at; }

// Entries from -4 to 0 are marks (or sector 0); every other value must be a sector of the table
// that no other entry points at.
bool CheckTable(const std::vector<int32_t>& table) {
  std::vector<bool> seen(table.size(), false);
  for (int32_t v : table) {
    if (v <= 0) {
      if (v < kLowestMark) return false;
      continue;
    }
    if (uint32_t(v) >= table.size() || seen[size_t(v)]) return false;
    seen[size_t(v)] = true;
  }
  return true;
}

// Follows a chain over a table from first, collecting at most limit sectors (0: up to the
// chain's end). A chain longer than cap sectors cannot lie in the bytes held without looping.
bool CollectChain(const std::vector<int32_t>& table, uint32_t first, uint64_t limit, uint64_t cap,
                  std::vector<uint32_t>& out) {
  out.clear();
  cap = std::min<uint64_t>(cap, kOleMaxChain);
  uint32_t s = first;
  for (;;) {
    if (s >= table.size() || out.size() >= cap) return false;
    out.push_back(s);
    if (limit != 0 && out.size() >= limit) return true;
    const int32_t next = table[s];
    if (next < 0) return true;
    s = uint32_t(next);
  }
}

}  // namespace

bool HasOleSignature(const uint8_t* file, uint64_t size) {
  return file && size >= sizeof kOleSignature && std::memcmp(file, kOleSignature, sizeof kOleSignature) == 0;
}

int32_t OleReadFatSectorList(const uint8_t* file, uint64_t size, std::vector<uint32_t>& list) {
  list.clear();
  if (!file || size < kOleSectorBytes) return kEndNeedsMore;
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i) {
    const uint32_t n = FeLe32(file + kHeaderDifat + 4 * i);
    if (int32_t(n) < 0) break;
    list.push_back(n);
  }
  uint32_t remaining = FeLe32(file + kHeaderDifatCount);
  uint32_t next = FeLe32(file + kHeaderDifatStart);
  // A DIFAT sector that names itself (or any earlier one) would loop for the header's whole
  // count: every sector is visited once at most, so the walk ends within the sectors held.
  std::vector<bool> visited;
  if (remaining != 0) visited.assign(size_t(kOleMaxSectorPos / kOleSectorBytes) + 1, false);
  for (; remaining != 0; --remaining) {
    uint64_t pos = 0;
    if (int32_t(next) < 0 || !SectorPos(next, pos)) return kEndNotValid;
    if (visited[size_t(next)]) return kEndNotValid;
    visited[size_t(next)] = true;
    if (!Holds(size, pos, kOleSectorBytes)) return kEndNeedsMore;
    const uint8_t* sector = file + pos;
    for (uint32_t i = 0; i < kDifatEntriesPerSector; ++i) {
      const uint32_t n = FeLe32(sector + 4 * i);
      if (n == kFreeSector) continue;
      if (list.size() >= kOleMaxFatSectors) return kEndNotValid;
      list.push_back(n);
    }
    next = FeLe32(sector + 4 * kDifatEntriesPerSector);
  }
  std::vector<uint32_t> sorted;
  for (uint32_t n : list)
    if (int32_t(n) >= 0) sorted.push_back(n);
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return kEndNotValid;
  return kEndKnown;
}

int32_t OleReadFat(const uint8_t* file, uint64_t size, const std::vector<uint32_t>& list, std::vector<int32_t>& fat) {
  fat.clear();
  if (!file || size < kOleSectorBytes) return kEndNeedsMore;
  const uint32_t perSector = kOleSectorBytes / 4;
  if (list.size() > kOleMaxEntries / perSector || list.size() != FeLe32(file + kHeaderFatCount)) return kEndNotValid;
  if (list.empty()) return kEndNotValid;
  for (uint32_t n : list) {
    uint64_t pos = 0;
    if (!SectorPos(n, pos)) return kEndNotValid;
    if (!Holds(size, pos, kOleSectorBytes)) return kEndNeedsMore;
  }
  fat.resize(list.size() * perSector);
  size_t k = 0;
  for (uint32_t n : list) {
    const uint8_t* sector = file + (uint64_t(n) + 1) * kOleSectorBytes;
    for (uint32_t i = 0; i < perSector; ++i) fat[k++] = int32_t(FeLe32(sector + 4 * i));
  }
  if (!CheckTable(fat)) {
    fat.clear();
    return kEndNotValid;
  }
  return kEndKnown;
}

int32_t OleReadChain(const uint8_t* src, uint64_t srcSize, const std::vector<uint32_t>& sectors, uint32_t sectorSize,
                     uint8_t* dest) {
  if (!src || !dest || (sectorSize != kOleSectorBytes && sectorSize != kOleMiniSectorBytes)) return kEndNotValid;
  for (size_t i = 0; i < sectors.size(); ++i) {
    const uint64_t n = sectors[i];
    const uint64_t pos = sectorSize == kOleSectorBytes ? (n + 1) * kOleSectorBytes : n * kOleMiniSectorBytes;
    if (pos + sectorSize > kOleMaxSectorPos) return kEndNotValid;
    if (!Holds(srcSize, pos, sectorSize)) return kEndNeedsMore;
    std::memcpy(dest + i * sectorSize, src + pos, sectorSize);
  }
  return kEndKnown;
}

int32_t OleReadDirectory(const uint8_t* file, uint64_t size, const std::vector<int32_t>& fat, uint32_t first,
                         uint32_t limit, std::vector<uint8_t>& out) {
  out.clear();
  std::vector<uint32_t> chain;
  if (!CollectChain(fat, first, limit, size / kOleSectorBytes, chain)) return kEndNotValid;
  out.resize(chain.size() * kOleSectorBytes);
  if (OleReadChain(file, size, chain, kOleSectorBytes, out.data()) != kEndKnown) {
    out.clear();
    return kEndNotValid;
  }
  return kEndKnown;
}

bool OleCheckRootEntry(const uint8_t* entry) {
  static const char16_t kRoot[] = u"Root Entry";
  if (FeLe16(entry + kEntryNameLength) != 22) return false;
  for (size_t i = 0; i < 10; ++i)
    if (FeLe16(entry + 2 * i) != kRoot[i]) return false;
  return true;
}

bool OleEntryName(const uint8_t* entry, std::u16string& name) {
  name.clear();
  const uint16_t stored = FeLe16(entry + kEntryNameLength);
  if (stored < 1 || stored > 64) return false;
  // The 32nd unit is taken as the terminating zero whatever it holds.
  size_t n = 0;
  while (n < 31 && FeLe16(entry + 2 * n) != 0) ++n;
  if (stored != (n + 1) * 2) return false;
  for (size_t i = 0; i < n; ++i) {
    const char16_t u = FeLe16(entry + 2 * i);
    if (u != 0x05 && (u < 0x20 || u > 0x7E)) return false;
    name.push_back(u);
  }
  return true;
}

int32_t OleGetSubtype(const uint8_t* file, uint64_t size, const std::vector<int32_t>& fat, CarveCandidate& c) {
  std::vector<uint8_t> dir;
  if (size < kOleSectorBytes || OleReadDirectory(file, size, fat, FeLe32(file + kHeaderDirStart), 0, dir) != kEndKnown)
    return kEndNotValid;
  if (dir.size() < kOleDirEntryBytes || !OleCheckRootEntry(dir.data())) return kEndNotValid;
  static const struct {
    const char16_t* name;
    int32_t type;
  } kKinds[] = {{u"WordDocument", 36}, {u"Workbook", 87},      {u"Book", 87},     {u"Props", 91},
                {u"VisioDocument", 96}, {u"PowerPoint Document", 90}, {u"Pictures", 90}};
  std::u16string name;
  for (size_t at = 0; at + kOleDirEntryBytes <= dir.size(); at += kOleDirEntryBytes) {
    if (!OleEntryName(dir.data() + at, name)) continue;
    for (const auto& k : kKinds) {
      if (name == k.name) {
        c.typeId = k.type;
        return kEndKnown;
      }
    }
  }
  return kEndNotValid;
}

bool OleLoadTables(const uint8_t* file, uint64_t size, OleTables& t) {
  t = OleTables();
  auto fail = [&t] {
    t = OleTables();
    return false;
  };
  if (!HasOleSignature(file, size) || size < kOleSectorBytes) return fail();
  if (OleReadFatSectorList(file, size, t.fatSectors) != kEndKnown) return fail();
  if (OleReadFat(file, size, t.fatSectors, t.fat) != kEndKnown) return fail();

  const uint32_t miniFatCount = FeLe32(file + kHeaderMiniFatCount);
  if (miniFatCount != 0) {
    std::vector<uint8_t> bytes;
    if (OleReadDirectory(file, size, t.fat, FeLe32(file + kHeaderMiniFatStart), miniFatCount, bytes) != kEndKnown)
      return fail();
    const size_t entries = std::min<size_t>(bytes.size() / 4, kOleMaxEntries);
    if (entries == 0) return fail();
    t.miniFat.resize(entries);
    for (size_t i = 0; i < entries; ++i) t.miniFat[i] = int32_t(FeLe32(bytes.data() + 4 * i));
    if (!CheckTable(t.miniFat)) return fail();
  }

  if (OleReadDirectory(file, size, t.fat, FeLe32(file + kHeaderDirStart), 0, t.directory) != kEndKnown) return fail();
  if (t.directory.size() < kOleDirEntryBytes || !OleCheckRootEntry(t.directory.data())) return true;
  const uint8_t* root = t.directory.data();
  const uint32_t start = FeLe32(root + kEntryStart);
  const uint32_t bytes = FeLe32(root + kEntrySize);
  if (start == 0 || bytes == 0) return true;
  // The root entry's size is in bytes: the mini stream is that many bytes' worth of sectors.
  const uint32_t sectors = uint32_t((uint64_t(bytes) + kOleSectorBytes - 1) / kOleSectorBytes);
  if (OleReadDirectory(file, size, t.fat, start, sectors, t.miniStream) != kEndKnown) return fail();
  return true;
}

bool OleReadStreamByName(const uint8_t* file, uint64_t size, const OleTables& t, std::u16string_view wanted,
                         std::vector<uint8_t>& out) {
  out.clear();
  if (t.directory.size() < kOleDirEntryBytes || !OleCheckRootEntry(t.directory.data())) return false;
  std::u16string name;
  const uint8_t* entry = nullptr;
  for (size_t at = 0; at + kOleDirEntryBytes <= t.directory.size(); at += kOleDirEntryBytes) {
    if (OleEntryName(t.directory.data() + at, name) && name.find(wanted) != std::u16string::npos) {
      entry = t.directory.data() + at;
      break;
    }
  }
  if (!entry) return false;
  const uint32_t bytes = FeLe32(entry + kEntrySize);
  const uint32_t start = FeLe32(entry + kEntryStart);
  if (bytes == 0) return true;
  std::vector<uint32_t> chain;
  if (bytes >= kOleMiniStreamCutoff) {
    const uint64_t count = (uint64_t(bytes) + kOleSectorBytes - 1) / kOleSectorBytes;
    if (!CollectChain(t.fat, start, count, size / kOleSectorBytes, chain)) return false;
    out.resize(chain.size() * kOleSectorBytes);
    if (OleReadChain(file, size, chain, kOleSectorBytes, out.data()) != kEndKnown) {
      out.clear();
      return false;
    }
  } else {
    const uint64_t count = (uint64_t(bytes) + kOleMiniSectorBytes - 1) / kOleMiniSectorBytes;
    if (!CollectChain(t.miniFat, start, count, t.miniStream.size() / kOleMiniSectorBytes, chain)) return false;
    out.resize(chain.size() * kOleMiniSectorBytes);
    if (OleReadChain(t.miniStream.data(), t.miniStream.size(), chain, kOleMiniSectorBytes, out.data()) != kEndKnown) {
      out.clear();
      return false;
    }
  }
  if (out.size() > bytes) out.resize(bytes);
  return true;
}
