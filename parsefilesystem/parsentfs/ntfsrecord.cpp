#include "parsefilesystem/parsentfs/ntfsrecord.h"

#include <cstring>

#include "base/heap.h"
#include "core/recordtable.h"

namespace {

constexpr unsigned kTagRunNode = 301;
constexpr unsigned kTagExtents = 302;
constexpr unsigned kTagListBuffer = 303;

// Attribute-list entries are taken in fixed 32-byte steps; the entry's type byte is compared
// with the low byte of $DATA and the record number sits at +0x10.
constexpr uint32_t kListEntryStep = 32;
// A non-resident attribute list outside these byte counts is not read.
constexpr uint64_t kMinListBytes = 33;
constexpr uint64_t kMaxListBytes = 0x3FFFFFF;

// Reads one byte of a run list; bytes past its length are zeros.
uint8_t RunByte(const uint8_t* bytes, uint32_t length, uint64_t pos) { return pos < length ? bytes[pos] : 0; }

}  // namespace

uint16_t NtfsRead16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t NtfsRead32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t NtfsRead64(const uint8_t* p) { return uint64_t(NtfsRead32(p)) | (uint64_t(NtfsRead32(p + 4)) << 32); }

void RepairMftRecord(uint8_t* record) {
  record[0x1FE] = record[0x32];
  record[0x1FF] = record[0x33];
  record[0x3FE] = record[0x34];
  record[0x3FF] = record[0x35];
}

bool HasFileMagic(const uint8_t* record) { return std::memcmp(record, "FILE", 4) == 0; }

int32_t FindAttributeOffset(const uint8_t* record, uint32_t type, uint32_t from) {
  uint32_t pos = NtfsRead16(record + 0x14);
  // At most one attribute per 16 bytes fits into a record.
  for (int steps = 0; steps < int(kMftRecordBytes / 16); ++steps) {
    if (pos < 0x18 || pos + 16 > kMftRecordBytes) return -1;
    const uint32_t t = NtfsRead32(record + pos);
    if (t == 0 || t == 0xFFFFFFFF) return -1;
    const uint32_t len = NtfsRead32(record + pos + 4);
    if (len < 16 || len > kMftRecordBytes - pos) return -1;
    if (t == type && pos >= from) return int32_t(pos);
    pos += len;
  }
  return -1;
}

bool GetResidentValue(const uint8_t* record, int32_t attrOffset, uint32_t& valueOffset, uint32_t& valueLength) {
  if (attrOffset < 0 || uint32_t(attrOffset) + 0x18 > kMftRecordBytes) return false;
  const uint8_t* a = record + attrOffset;
  const uint32_t len = NtfsRead32(a + 4);
  if (a[8] != 0 || len < 0x18 || len > kMftRecordBytes - uint32_t(attrOffset)) return false;
  const uint32_t vl = NtfsRead32(a + 0x10);
  const uint32_t vo = NtfsRead16(a + 0x14);
  if (vo > len || vl > len - vo) return false;
  valueOffset = uint32_t(attrOffset) + vo;
  valueLength = vl;
  return true;
}

bool GetRunList(const uint8_t* record, int32_t attrOffset, uint32_t& runOffset, uint32_t& runLength) {
  if (attrOffset < 0 || uint32_t(attrOffset) + 0x40 > kMftRecordBytes) return false;
  const uint8_t* a = record + attrOffset;
  const uint32_t len = NtfsRead32(a + 4);
  if (a[8] != 1 || len < 0x40 || len > kMftRecordBytes - uint32_t(attrOffset)) return false;
  const uint32_t off = NtfsRead16(a + 0x20);
  if (off >= len) return false;
  runOffset = uint32_t(attrOffset) + off;
  runLength = len - off;
  return true;
}

DataRunNode* DecodeMappingPairs(const uint8_t* bytes, uint32_t length) {
  if (!bytes || length == 0) return nullptr;
  DataRunNode* head = nullptr;
  DataRunNode** tail = &head;
  uint64_t p = 0;
  while (p < length) {
    const uint8_t header = bytes[p++];
    if (header == 0) break;
    uint32_t l = header & 0x0F, o = header >> 4;
    if (l > 8) l = 8;
    if (o > 8) o = 8;
    uint64_t count = 0;
    for (uint32_t i = 0; i < l; ++i) count |= uint64_t(RunByte(bytes, length, p + i)) << (8 * i);
    p += l;
    int64_t delta = kSparseRunMark;
    if (o != 0) {
      uint64_t v = 0;
      for (uint32_t i = 0; i < o; ++i) v |= uint64_t(RunByte(bytes, length, p + i)) << (8 * i);
      if (o < 8 && (RunByte(bytes, length, p + o - 1) & 0x80)) v |= ~uint64_t(0) << (8 * o);
      delta = int64_t(v);
      p += o;
    }
    auto* node = static_cast<DataRunNode*>(AllocMem(sizeof(DataRunNode), kTagRunNode));
    node->delta = delta;
    node->clusters = uint32_t(count);
    node->next = nullptr;
    *tail = node;
    tail = &node->next;
  }
  return head;
}

void FreeDataRunNodes(DataRunNode* head) {
  while (head) {
    DataRunNode* next = head->next;
    FreeMem(head);
    head = next;
  }
}

bool DecodeDataRuns(const uint8_t* bytes, uint32_t length, DataExtentList& out) {
  if (!bytes) return false;
  out.clear();
  DataRunNode* head = DecodeMappingPairs(bytes, length);
  for (DataRunNode* n = head; n; n = n->next) {
    DataExtent e;
    e.clusterDelta = n->delta;
    e.clusterCount = n->clusters;
    out.push_back(e);
  }
  FreeDataRunNodes(head);
  return !out.empty();
}

uint32_t VolumeSectorsPerCluster(const VolumeContext& vol) { return vol.bootSector[0x0D]; }

bool DataRunsToSectors(const VolumeContext& vol, const uint8_t* bytes, uint32_t length, DataExtentList& out) {
  if (!DecodeDataRuns(bytes, length, out)) return false;
  const uint64_t spc = VolumeSectorsPerCluster(vol);
  const bool sized = spc != 0 && vol.sectorCount != 0 && vol.sectorCount != kUnknownSectorCount;
  const uint64_t totalClusters = sized ? vol.sectorCount / spc : 0;
  const uint64_t sparseLba = vol.firstLba + spc * uint64_t(kSparseRunMark);
  // Deltas are bounded by kMaxRunDelta and a run list has fewer than 1024 runs, so the LCN
  // stays far inside 64 bits.
  int64_t lcn = 0;
  for (DataExtent& e : out) {
    e.sectorCount = uint64_t(e.clusterCount) * spc;
    if (e.clusterDelta == kSparseRunMark) {
      e.startLba = sparseLba;
      continue;
    }
    bool valid = e.clusterDelta >= -kMaxRunDelta && e.clusterDelta <= kMaxRunDelta;
    if (valid) lcn += e.clusterDelta;
    valid = valid && lcn >= 0 && (!sized || uint64_t(lcn) + e.clusterCount <= totalClusters);
    e.startLba = valid ? vol.firstLba + spc * uint64_t(lcn) : sparseLba;
  }
  return true;
}

bool ReadMftDataRuns(DiskReader& reader, const VolumeContext& vol, uint64_t lba, DataExtentList& out) {
  out.clear();
  uint8_t rec[kMftRecordBytes] = {};
  reader.ReadSectors(rec, lba, kMftRecordSectors);
  RepairMftRecord(rec);
  if (!HasFileMagic(rec)) return false;
  const int32_t a = FindAttributeOffset(rec, kAttrData);
  uint32_t off = 0, len = 0;
  if (!GetRunList(rec, a, off, len) || len < 3) return false;
  return DataRunsToSectors(vol, rec + off, len, out);
}

bool ReadExtensionRecordRuns(DiskReader& reader, const VolumeContext& vol, const DataExtentList& mft,
                             uint32_t number, DataExtentList& out, uint64_t& realSize) {
  out.clear();
  uint64_t n = number;
  const DataExtent* holder = nullptr;
  for (const DataExtent& e : mft) {
    const uint64_t records = e.sectorCount / kMftRecordSectors;
    if (n < records) {
      holder = &e;
      break;
    }
    n -= records;
  }
  if (!holder) return false;
  uint8_t rec[kMftRecordBytes] = {};
  if (!reader.ReadSectors(rec, holder->startLba + kMftRecordSectors * n, kMftRecordSectors)) return false;
  RepairMftRecord(rec);
  if (!HasFileMagic(rec) || NtfsRead32(rec + 0x2C) != number) return false;
  const uint32_t a = NtfsRead16(rec + 0x14);
  if (a < 0x18 || a + 0x40 > kMftRecordBytes || NtfsRead32(rec + a) != kAttrData) return false;
  uint32_t off = 0, len = 0;
  if (!GetRunList(rec, int32_t(a), off, len)) return false;
  realSize = NtfsRead64(rec + a + 0x30);
  DataRunsToSectors(vol, rec + off, len, out);
  return !out.empty();
}

void StoreExtentPairs(FileRecord& rec, const DataExtentList& extents) {
  const uint64_t bytes = uint64_t(extents.size()) * 16;
  if (bytes == 0 || bytes > 0xFFFFFFF0u) return;
  auto* blob = static_cast<uint8_t*>(AllocMem(bytes, kTagExtents));
  for (size_t i = 0; i < extents.size(); ++i) {
    std::memcpy(blob + 16 * i, &extents[i].startLba, 8);
    std::memcpy(blob + 16 * i + 8, &extents[i].sectorCount, 8);
  }
  if (rec.blob) FreeMem(rec.blob);
  rec.blob = blob;
  rec.blobLength = uint32_t(bytes);
  rec.flags = uint16_t((rec.flags & ~kRecResident) | kRecExtentList);
}

namespace {

// Index of the first $DATA entry of an attribute list, searched from the second entry on;
// -1 when there is none.
int64_t FirstListedDataEntry(const uint8_t* list, uint32_t bytes) {
  for (uint64_t i = kListEntryStep; i + 8 < bytes; i += kListEntryStep)
    if (list[i] == uint8_t(kAttrData)) return int64_t(i);
  return -1;
}

}  // namespace

bool JoinListedDataRuns(DiskReader& reader, const VolumeContext& vol, const uint8_t* list, uint32_t bytes,
                        FileRecord& rec, const DataExtentList& mft) {
  if (mft.empty() || !list || bytes < 48) return false;
  int64_t start = FirstListedDataEntry(list, bytes);
  if (start < 0) return false;
  DataExtentList joined, part;
  bool first = true;
  for (uint64_t i = uint64_t(start); i + 24 <= bytes && list[i] == uint8_t(kAttrData); i += kListEntryStep) {
    uint64_t realSize = 0;
    if (ReadExtensionRecordRuns(reader, vol, mft, NtfsRead32(list + i + 0x10), part, realSize)) {
      if (first) {
        rec.lba = part.front().startLba;
        rec.size = realSize;
      }
      joined.insert(joined.end(), part.begin(), part.end());
    }
    first = false;
  }
  if (joined.empty()) return false;
  StoreExtentPairs(rec, joined);
  rec.flags = uint16_t(rec.flags & ~kRecAttrListOnDisk);
  return true;
}

bool JoinExtensionRecordRuns(VolumeContext& vol, const uint8_t* list, uint32_t bytes, FileRecord& rec) {
  if (!list || bytes < 48) return false;
  int64_t start = FirstListedDataEntry(list, bytes);
  if (start < 0) return false;
  DataExtentList joined, part;
  bool first = true;
  for (uint64_t i = uint64_t(start); i + 24 <= bytes && list[i] == uint8_t(kAttrData); i += kListEntryStep) {
    const uint32_t number = NtfsRead32(list + i + 0x10);
    FileRecord* ext = number == rec.id ? nullptr : GetFileRecord(vol, number, 1);
    if (ext && (ext->flags & kRecUnnamed)) {
      const bool decoded = ext->blob && DataRunsToSectors(vol, ext->blob, ext->blobLength, part);
      const uint64_t extSize = ext->size;
      FreeFileRecord(*ext);
      if (decoded) {
        if (first) {
          rec.lba = part.front().startLba;
          rec.size = extSize;
        }
        joined.insert(joined.end(), part.begin(), part.end());
      }
    }
    first = false;
  }
  if (joined.empty()) return false;
  StoreExtentPairs(rec, joined);
  rec.flags = uint16_t(rec.flags & ~kRecAttrList);
  return true;
}

void ResolveAttributeLists(VolumeContext& vol) {
  for (uint32_t id = 6; id < vol.idLimit; ++id) {
    FileRecord* rec = GetFileRecord(vol, id, 1);
    if (!rec || !(rec->flags & kRecAttrList) || (rec->flags & kRecAttrListOnDisk)) continue;
    if (rec->flags & kRecUnnamed) continue;
    if (!JoinExtensionRecordRuns(vol, rec->blob, rec->blob ? rec->blobLength : 0, *rec)) {
      // The file stays listed with what is known; its blob held the list, not data.
      if (rec->blob) FreeMem(rec->blob);
      rec->blob = nullptr;
      rec->blobLength = 0;
      rec->flags = uint16_t(rec->flags & ~kRecAttrList);
    }
  }
  for (uint32_t id = 6; id < vol.idLimit; ++id) {
    FileRecord* ext = GetFileRecord(vol, id, 1);
    if (!ext || !(ext->flags & kRecUnnamed) || ext->size == 0) continue;
    FileRecord* base = ext->parent != id ? GetFileRecord(vol, ext->parent, 1) : nullptr;
    if (base && !(base->flags & kRecUnnamed) && (base->flags & kRecAttrList) &&
        (base->flags & kRecAttrListOnDisk) && base->size == 0) {
      base->size = ext->size;
      DataExtentList runs;
      if (ext->blob && DataRunsToSectors(vol, ext->blob, ext->blobLength, runs)) base->lba = runs.front().startLba;
      base->flags = uint16_t(base->flags & ~kRecAttrList);
    }
    FreeFileRecord(*ext);
  }
  for (uint32_t id = 6; id < vol.idLimit; ++id) {
    FileRecord* ext = GetFileRecord(vol, id, 1);
    if (ext && (ext->flags & kRecUnnamed)) FreeFileRecord(*ext);
  }
}

bool LoadNtfsAttributeListExtents(VolumeContext& vol, FileRecord& rec) {
  if (!vol.mftExtents || vol.mftExtentCount == 0 || !rec.blob) return false;
  DataExtentList listRuns;
  if (!DataRunsToSectors(vol, rec.blob, rec.blobLength, listRuns)) return false;
  uint64_t total = 0;
  for (const DataExtent& e : listRuns) {
    if (e.sectorCount > kMaxListBytes) return false;
    total += e.sectorCount * kSectorBytes;
    if (total > kMaxListBytes) return false;
  }
  if (total < kMinListBytes) return false;
  DiskReader reader;
  if (!OpenVolumeDevice(vol, reader)) return false;
  auto* buf = static_cast<uint8_t*>(AllocMem(total, kTagListBuffer));
  std::memset(buf, 0, total);
  uint64_t pos = 0;
  for (const DataExtent& e : listRuns) {
    reader.ReadSectors(buf + pos, e.startLba, uint32_t(e.sectorCount));
    pos += e.sectorCount * kSectorBytes;
  }
  DataExtentList mft;
  for (uint32_t i = 0; i < vol.mftExtentCount; ++i) {
    DataExtent e;
    e.startLba = vol.mftExtents[2 * i];
    e.sectorCount = vol.mftExtents[2 * i + 1];
    mft.push_back(e);
  }
  const bool ok = JoinListedDataRuns(reader, vol, buf, uint32_t(total), rec, mft);
  reader.Close();
  FreeMem(buf);
  return ok;
}
