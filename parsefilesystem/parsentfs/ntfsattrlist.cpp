#include "parsefilesystem/parsentfs/ntfsattrlist.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "core/itemread.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

namespace {

constexpr uint32_t kEntryFixedBytes = 0x1A;
// NTFS keeps attribute lists far below this; a longer one is not read.
constexpr uint64_t kMaxListBytes = 1u << 20;
// Records one file may spread over; a list naming more is damaged past use.
constexpr size_t kMaxListedRecords = 4096;
constexpr uint64_t kReferenceMask = 0xFFFFFFFFFFFFull;
constexpr uint16_t kAttrFlagCompressed = 0x0001;
constexpr uint8_t kNtfsCompressionUnit = 4;

struct DataPiece {
  uint64_t startVcn = 0;
  DataExtentList runs;
};

// A $FILE_NAME value by the rule of the record walk: Win32 names win, a POSIX name is taken
// when nothing better is held, DOS names are never shown.
void TakeName(ListedFile& f, const uint8_t* v, uint32_t vl) {
  if (vl < 0x42) return;
  const uint8_t ns = v[0x41];
  if (!(ns == 1 || ns == 3 || (ns == 0 && f.nameSpace < 0))) return;
  const uint32_t chars = std::min<uint32_t>(v[0x40], (vl - 0x42) / 2);
  if (chars == 0) return;
  f.name.assign(chars, u'\0');
  std::memcpy(f.name.data(), v + 0x42, size_t(chars) * 2);
  f.parent = NtfsRead32(v);
  f.parentSequence = NtfsRead16(v + 6);
  f.nameSpace = ns;
  f.haveName = true;
}

// Gathers what one record of the file holds: names, times, and pieces of the unnamed $DATA.
void CollectRecord(const VolumeContext& vol, const uint8_t* r, uint64_t lba, ListedFile& f,
                   std::vector<DataPiece>& pieces) {
  uint32_t pos = NtfsRead16(r + 0x14);
  for (int steps = 0; steps < int(kMftRecordBytes / 16); ++steps) {
    if (pos < 0x18 || pos + 16 > kMftRecordBytes) return;
    const uint32_t type = NtfsRead32(r + pos);
    const uint32_t len = NtfsRead32(r + pos + 4);
    if (type == 0 || type == 0xFFFFFFFF || len < 16 || len > kMftRecordBytes - pos) return;
    uint32_t vo = 0, vl = 0;
    if (type == kAttrFileName && GetResidentValue(r, int32_t(pos), vo, vl)) {
      TakeName(f, r + vo, vl);
    } else if (type == kAttrStandardInfo && f.created == 0 && GetResidentValue(r, int32_t(pos), vo, vl) &&
               vl >= 16) {
      f.created = NtfsRead64(r + vo);
      f.modified = NtfsRead64(r + vo + 8);
    } else if (type == kAttrData && r[pos + 9] == 0) {
      if (r[pos + 8] == 0) {
        // Resident data is the whole file, in this record.
        if (GetResidentValue(r, int32_t(pos), vo, vl) && !f.haveData) {
          f.haveData = f.resident = true;
          f.residentLba = lba;
          f.size = vl;
        }
      } else if (len >= 0x40) {
        DataPiece piece;
        piece.startVcn = NtfsRead64(r + pos + 0x10);
        uint32_t off = 0, runLen = 0;
        if (GetRunList(r, int32_t(pos), off, runLen)) DataRunsToSectors(vol, r + off, runLen, piece.runs);
        if (piece.startVcn == 0) {
          f.size = NtfsRead64(r + pos + 0x30);
          const uint16_t flags = NtfsRead16(r + pos + 0x0C);
          const uint8_t unit = r[pos + 0x22];
          f.compressed = (flags & kAttrFlagCompressed) && unit != 0;
          f.unsupported = f.compressed && unit != kNtfsCompressionUnit;
        }
        pieces.push_back(std::move(piece));
      }
    }
    pos += len;
  }
}

// The list's bytes: the resident value, or the clusters its run list names up to its size.
bool ReadListBytes(DiskReader& reader, const VolumeContext& vol, const uint8_t* base, std::vector<uint8_t>& out) {
  const int32_t at = FindAttributeOffset(base, kAttrList);
  if (at < 0) return false;
  uint32_t vo = 0, vl = 0;
  if (base[at + 8] == 0) {
    if (!GetResidentValue(base, at, vo, vl)) return false;
    out.assign(base + vo, base + vo + vl);
    return true;
  }
  uint32_t off = 0, len = 0;
  if (uint32_t(at) + 0x40 > kMftRecordBytes || !GetRunList(base, at, off, len)) return false;
  const uint64_t size = NtfsRead64(base + at + 0x30);
  if (size == 0 || size > kMaxListBytes) return false;
  ItemLayout layout;
  if (!DataRunsToSectors(vol, base + off, len, layout.extents)) return false;
  layout.size = size;
  out.assign(size, 0);
  ItemReader list;
  list.Use(std::move(layout), reader);
  out.resize(list.Read(0, out.data(), size));
  return !out.empty();
}

// Pieces in VCN order into one extent list. A stretch no piece covers becomes unreadable; a
// piece that starts inside the stretch of an earlier one is refused.
void JoinPieces(const VolumeContext& vol, std::vector<DataPiece>& pieces, DataExtentList& out) {
  std::stable_sort(pieces.begin(), pieces.end(),
                   [](const DataPiece& a, const DataPiece& b) { return a.startVcn < b.startVcn; });
  const uint64_t spc = VolumeSectorsPerCluster(vol);
  uint64_t expected = 0;
  for (const DataPiece& p : pieces) {
    if (p.startVcn < expected || p.runs.empty()) continue;
    if (p.startVcn > expected) {
      const uint64_t gap = p.startVcn - expected;
      out.push_back(UnreadableExtent(gap > UINT64_MAX / std::max<uint64_t>(spc, 1) ? UINT64_MAX : gap * spc));
    }
    uint64_t clusters = 0;
    for (const DataExtent& e : p.runs) clusters = std::min<uint64_t>(clusters + e.clusterCount, kReferenceMask);
    out.insert(out.end(), p.runs.begin(), p.runs.end());
    expected = p.startVcn + clusters;
    if (expected < p.startVcn) break;
  }
  MarkOverlappingRuns(out);
}

}  // namespace

std::vector<AttrListEntry> ParseAttributeListEntries(const uint8_t* list, uint32_t bytes) {
  std::vector<AttrListEntry> out;
  for (uint32_t pos = 0; pos + kEntryFixedBytes <= bytes;) {
    const uint8_t* e = list + pos;
    const uint32_t len = NtfsRead16(e + 4);
    if (len < kEntryFixedBytes || len > bytes - pos) break;
    AttrListEntry entry;
    entry.type = NtfsRead32(e);
    entry.nameLength = e[6];
    entry.startVcn = NtfsRead64(e + 8);
    entry.record = NtfsRead64(e + 0x10) & kReferenceMask;
    out.push_back(entry);
    pos += len;
  }
  return out;
}

bool ReadMftRecordByNumber(DiskReader& reader, const DataExtentList& mft, uint64_t n, uint8_t* record,
                           uint64_t* lba) {
  uint64_t left = n;
  for (const DataExtent& e : mft) {
    const uint64_t records = e.sectorCount / kMftRecordSectors;
    if (left >= records) {
      left -= records;
      continue;
    }
    if (IsHoleExtent(e) || IsUnreadableExtent(e)) return false;
    const uint64_t at = e.startLba + left * kMftRecordSectors;
    if (!reader.ReadSectors(record, at, kMftRecordSectors)) return false;
    RepairMftRecord(record);
    const uint32_t number = NtfsRead32(record + 0x2C);
    if (!HasFileMagic(record) || (number != 0 && number != uint32_t(n))) return false;
    if (lba) *lba = at;
    return true;
  }
  return false;
}

bool JoinAttributeList(DiskReader& reader, const VolumeContext& vol, const MftRecordSource& source,
                       const uint8_t* base, uint64_t baseNumber, uint64_t baseLba, ListedFile& out) {
  out = ListedFile{};
  std::vector<uint8_t> list;
  if (!ReadListBytes(reader, vol, base, list)) return false;
  std::vector<DataPiece> pieces;
  CollectRecord(vol, base, baseLba, out, pieces);
  std::set<uint64_t> visited{baseNumber};
  uint8_t record[kMftRecordBytes];
  for (const AttrListEntry& e : ParseAttributeListEntries(list.data(), uint32_t(list.size()))) {
    if (e.type != kAttrStandardInfo && e.type != kAttrFileName && !(e.type == kAttrData && e.nameLength == 0))
      continue;
    if (!visited.insert(e.record).second) continue;
    if (visited.size() > kMaxListedRecords) break;
    uint64_t lba = 0;
    // An extension record names its base record; one that names another belongs to another
    // file now (the record was reused after a deletion) and gives nothing.
    if (!source(e.record, record, &lba) || (NtfsRead64(record + 0x20) & kReferenceMask) != baseNumber) continue;
    CollectRecord(vol, record, lba, out, pieces);
  }
  if (!pieces.empty() && !out.resident) {
    out.haveData = true;
    JoinPieces(vol, pieces, out.extents);
  }
  return true;
}
