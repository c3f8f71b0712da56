#include "parsefilesystem/parsentfs/ntfsrecord.h"

#include <cstring>
#include <iterator>
#include <map>

#include "base/heap.h"
#include "parsefilesystem/parsentfs/ntfsattrlist.h"

namespace {

constexpr unsigned kTagRunNode = 301;
constexpr unsigned kTagExtents = 302;

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

void MarkOverlappingRuns(DataExtentList& runs) {
  // Sector ranges taken so far, by first sector; none of them overlap.
  std::map<uint64_t, uint64_t> taken;
  for (DataExtent& e : runs) {
    if (IsHoleExtent(e) || IsUnreadableExtent(e) || e.sectorCount == 0) continue;
    const uint64_t first = e.startLba;
    const uint64_t end = e.sectorCount > UINT64_MAX - first ? UINT64_MAX : first + e.sectorCount;
    auto next = taken.lower_bound(first);
    bool overlaps = next != taken.end() && next->first < end;
    if (!overlaps && next != taken.begin()) overlaps = std::prev(next)->second > first;
    if (overlaps)
      e.startLba = kUnreadableLba;
    else
      taken.emplace(first, end);
  }
}

bool DataRunsToSectors(const VolumeContext& vol, const uint8_t* bytes, uint32_t length, DataExtentList& out) {
  if (!DecodeDataRuns(bytes, length, out)) return false;
  const uint64_t spc = VolumeSectorsPerCluster(vol);
  const bool sized = spc != 0 && vol.sectorCount != 0 && vol.sectorCount != kUnknownSectorCount;
  const uint64_t totalClusters = sized ? vol.sectorCount / spc : 0;
  // Deltas are bounded by kMaxRunDelta and a run list has fewer than 1024 runs, so the LCN
  // stays far inside 64 bits.
  int64_t lcn = 0;
  for (DataExtent& e : out) {
    e.sectorCount = uint64_t(e.clusterCount) * spc;
    if (e.clusterDelta == kSparseRunMark) {
      e.startLba = kHoleLbaBase;
      continue;
    }
    bool valid = e.clusterDelta >= -kMaxRunDelta && e.clusterDelta <= kMaxRunDelta;
    if (valid) lcn += e.clusterDelta;
    // A run the volume cannot hold is no hole: its bytes exist somewhere, just not here.
    valid = valid && lcn >= 0 && (!sized || uint64_t(lcn) + e.clusterCount <= totalClusters);
    e.startLba = valid ? vol.firstLba + spc * uint64_t(lcn) : kUnreadableLba;
  }
  MarkOverlappingRuns(out);
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
  if (!GetRunList(rec, a, off, len) || len < 3 || !DataRunsToSectors(vol, rec + off, len, out)) return false;
  if (FindAttributeOffset(rec, kAttrList) < 0) return true;
  // The MFT's extension records lie in its first runs, which record 0 itself holds.
  const DataExtentList first = out;
  auto source = [&](uint64_t n, uint8_t* record, uint64_t* at) {
    return ReadMftRecordByNumber(reader, first, n, record, at);
  };
  ListedFile mft;
  if (!JoinAttributeList(reader, vol, source, rec, 0, lba, mft) || mft.extents.empty()) return true;
  out = mft.extents;
  return true;
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
