#include "parsefilesystem/parsentfs/logfiledecode.h"

#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "base/heap.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "scanbase/scanprogress.h"

namespace {

constexpr unsigned kTagLogBlob = 343;
constexpr uint32_t kUsnNameMaxBytes = 520;
// Progress is posted every this many records.
constexpr uint32_t kProgressStride = 367;

struct Span {
  const uint8_t* data = nullptr;
  uint32_t length = 0;
};

Span RedoData(const uint8_t* copy, uint32_t length) {
  const uint32_t off = NtfsRead16(copy + 0x34), len = NtfsRead16(copy + 0x36);
  if (kLogRecordHead + uint64_t(off) + len > length) return {};
  return {copy + kLogRecordHead + off, len};
}

Span UndoData(const uint8_t* copy, uint32_t length) {
  const uint32_t off = NtfsRead16(copy + 0x38), len = NtfsRead16(copy + 0x3A);
  if (kLogRecordHead + uint64_t(off) + len > length) return {};
  return {copy + kLogRecordHead + off, len};
}

bool HasNonZeroByte(Span s) {
  return std::any_of(s.data, s.data + s.length, [](uint8_t b) { return b != 0; });
}

void SetEntryBlob(FileRecord& rec, const uint8_t* bytes, uint32_t length) {
  if (rec.blob) FreeMem(rec.blob);
  rec.blob = static_cast<uint8_t*>(AllocMem(length, kTagLogBlob));
  std::memcpy(rec.blob, bytes, length);
  rec.blobLength = length;
}

uint32_t ByteCountOf(uint64_t v) {
  uint32_t n = 1;  // a value of 0 still takes a byte: no bytes would make a sparse run
  while (n < 8 && (v >> (8 * n)) != 0) ++n;
  if (((v >> (8 * (n - 1))) & 0x80) != 0) ++n;  // keep the value positive
  return n;
}

bool IsRecordKind(uint32_t kind) {
  return kind == kLogIndexAdded || kind == kLogIndexDeleted || kind == kLogSize || kind == kLogRunList;
}

bool IsClusterRunKind(uint32_t kind) { return kind == kLogClustersSet || kind == kLogClustersCleared; }

void SetRecordNumber(LogFileEntry& e, uint32_t r) {
  e.recordNumber = r;
  e.rec.id = r;
}

// Whether item a's bitmap change runs on into item b's, the next cluster of the same bitmap.
bool ContinuesInto(const LogRecordItem& a, const LogRecordItem& b, uint64_t bitsPerCluster) {
  const uint8_t* x = a.copy.data();
  const uint8_t* y = b.copy.data();
  const uint32_t opA = NtfsRead16(x + 0x30), opB = NtfsRead16(y + 0x30);
  if (opA != opB || (opA != 21 && opA != 22)) return false;
  const Span ra = RedoData(x, uint32_t(a.copy.size())), rb = RedoData(y, uint32_t(b.copy.size()));
  if (ra.length < 8 || rb.length < 8) return false;
  if (NtfsRead32(rb.data) != 0) return false;
  const uint32_t va = NtfsRead32(x + 0x48), vb = NtfsRead32(y + 0x48);
  if (vb <= va) return false;
  const uint64_t end = uint64_t(NtfsRead32(ra.data)) + NtfsRead32(ra.data + 4);
  return end % bitsPerCluster == 0 && end / bitsPerCluster == uint64_t(vb - va);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

uint32_t LogRecordNumber(const uint8_t* copy, uint32_t clusterSize) {
  const uint64_t n = NtfsRead16(copy + 0x44) / 2 + uint64_t(NtfsRead32(copy + 0x48)) * clusterSize / 1024;
  return n > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(n);
}

bool EncodeSingleRun(uint64_t volumeStart, uint32_t sectorsPerCluster, uint64_t start, uint64_t bytes,
                     uint8_t* out, uint32_t& length) {
  std::memset(out, 0, 16);
  length = 0;
  if (sectorsPerCluster == 0 || start < volumeStart || bytes == 0) return false;
  if ((start - volumeStart) % sectorsPerCluster != 0) return false;
  const uint64_t lcn = (start - volumeStart) / sectorsPerCluster;
  const uint64_t clusterBytes = uint64_t(sectorsPerCluster) * 512;
  const uint64_t clusters = bytes / clusterBytes + (bytes % clusterBytes ? 1 : 0);
  const uint32_t lcnBytes = ByteCountOf(lcn), countBytes = ByteCountOf(clusters);
  const uint32_t m = 1 + lcnBytes + countBytes;
  if (m > 15) return false;
  out[0] = uint8_t(lcnBytes * 16 + countBytes);
  for (uint32_t i = 0; i < countBytes; ++i) out[1 + i] = i < 8 ? uint8_t(clusters >> (8 * i)) : 0;
  for (uint32_t i = 0; i < lcnBytes; ++i) out[1 + countBytes + i] = i < 8 ? uint8_t(lcn >> (8 * i)) : 0;
  length = m < 8 ? 8 : 16;
  return true;
}

void PostLogDecodeProgress(uint32_t i, uint32_t n) {
  if (n == 0 || (n - i) % kProgressStride != 0) return;
  PostProgressText(GetLangStr(u"WaitScanData"),
                   FormatCString(u"%s  %d%%", GetLangStr(u"DepthAnalysis"), int(uint64_t(i) * 100 / n)), CString());
}

bool DecodeIndexEntryLogRecord(const uint8_t* ie, uint32_t length, LogFileEntry& entry, uint32_t kind) {
  if (!ie || length < 82) return false;
  const uint32_t nameLength = ie[0x50];
  if (nameLength == 0 || length < 82 + 2 * nameLength) return false;
  FileRecord& rec = entry.rec;
  rec.id = NtfsRead32(ie);
  rec.parent = NtfsRead32(ie + 0x10);
  if (rec.name) FreeMem(rec.name);
  rec.name = CopyUtf16Name(ie + 0x52, nameLength);
  rec.size = NtfsRead64(ie + 0x40);
  rec.ctime = FileTimeToPacked(NtfsRead64(ie + 0x18));
  rec.mtime = FileTimeToPacked(NtfsRead64(ie + 0x20));
  rec.flags = (NtfsRead32(ie + 0x48) & 0x10000000) ? kRecDirectory : 0;
  entry.nameSpace = ie[0x51];
  entry.kind = kind;
  return true;
}

bool DecodeBitmapLogRecord(const LogDecodeContext& ctx, const uint8_t* copy, LogFileEntry& entry, uint32_t kind) {
  const uint32_t length = NtfsRead32(copy + 0x18) + kLogRecordHead;  // checked by the caller
  const Span redo = RedoData(copy, length);
  const uint32_t clusterSize = ctx.clusterSize;
  if (redo.length < 8 || clusterSize < 512) return false;
  const uint32_t spc = clusterSize / 512;
  const uint64_t bitsPerCluster = uint64_t(clusterSize) * 8;
  const uint64_t firstBit = NtfsRead32(redo.data), bits = NtfsRead32(redo.data + 4);
  const uint64_t vcn = NtfsRead32(copy + 0x48), lcn = NtfsRead64(copy + 0x50);
  if (bits == 1) {
    // One bit of a bitmap that is not the volume's $Bitmap: the MFT's own, one record.
    bool inBitmapFile = false;
    if (lcn <= UINT64_MAX / spc - 1) {
      const uint64_t sector = lcn * spc + 1;
      for (const DataExtent& e : ctx.bitmapExtents)
        if (sector >= e.startLba && sector - e.startLba < e.sectorCount) inBitmapFile = true;
    }
    if (!inBitmapFile) {
      const uint64_t record = vcn * bitsPerCluster + firstBit;
      if (record >= kRecordIdEnd) return false;
      entry.kind = kind == kLogClustersSet ? kLogRecordAllocated : kLogRecordFreed;
      entry.rec.id = uint32_t(record);
      return true;
    }
  }
  // A run of the volume's clusters: bit b of the $Bitmap is cluster b.
  const uint64_t cluster = firstBit + vcn * bitsPerCluster;
  if (cluster > UINT64_MAX / spc) return false;
  const uint64_t sector = cluster * spc;
  uint8_t run[16];
  uint32_t runLength = 0;
  if (!EncodeSingleRun(0, spc, sector, bits * clusterSize, run, runLength)) return false;
  SetEntryBlob(entry.rec, run, runLength);
  entry.rec.lba = sector;
  entry.bitCount = uint32_t(bits);
  entry.kind = kind;
  return true;
}

bool DecodeLogRecord(const LogDecodeContext& ctx, const uint8_t* copy, uint32_t length, int32_t position,
                     LogEntryList& entries) {
  // 88 bytes hold the whole client header: a record without redo or undo data is that long.
  if (!copy || length < kLogClientHeadEnd || length < uint64_t(NtfsRead32(copy + 0x18)) + kLogRecordHead) return false;
  if (NtfsRead16(copy + 0x34) > kLogPageBytes || NtfsRead16(copy + 0x38) > kLogPageBytes) return false;
  const Span redo = RedoData(copy, length), undo = UndoData(copy, length);
  const uint32_t recordNumber = LogRecordNumber(copy, ctx.clusterSize);
  LogFileEntry e;
  bool made = false;
  switch (NtfsRead16(copy + 0x30)) {
    case 2: {
      if (redo.length == 0) break;
      // The record's image is usually shorter than a record: parse a zero-padded copy.
      uint8_t record[kMftRecordBytes] = {};
      std::memcpy(record, redo.data, std::min<uint32_t>(redo.length, kMftRecordBytes));
      const VolumeContext none;
      made = ParseMftRecord(none, record, e.rec);
      if (made) e.kind = kLogMftRecord;
      else e.ReleaseRecord();
      break;
    }
    case 3:
      e.kind = kLogMftDeallocated;
      e.rec.id = recordNumber;
      made = true;
      break;
    case 7: {
      if (NtfsRead16(copy + 0x40) != 0x38 || redo.length < 16) break;
      const uint32_t attrOffset = NtfsRead16(copy + 0x42);
      if (attrOffset == 0x18) {
        e.rec.ctime = FileTimeToPacked(NtfsRead64(redo.data));
        e.rec.mtime = FileTimeToPacked(NtfsRead64(redo.data + 8));
      } else if (attrOffset == 0x20) {
        e.rec.mtime = FileTimeToPacked(NtfsRead64(redo.data));
      } else {
        break;
      }
      e.kind = kLogTimes;
      e.rec.id = recordNumber;
      made = true;
      break;
    }
    case 8: {
      if (redo.length < 62 || NtfsRead16(redo.data + 4) != 2) break;
      const uint32_t nameBytes = NtfsRead16(redo.data + 0x38);
      if (nameBytes < 1 || nameBytes > kUsnNameMaxBytes || redo.length < nameBytes + 60) break;
      e.kind = kLogUsnRecord;
      e.rec.id = NtfsRead32(redo.data + 0x08);
      e.rec.parent = NtfsRead32(redo.data + 0x10);
      e.usn = NtfsRead64(redo.data + 0x18);
      e.rec.name = CopyUtf16Name(redo.data + 0x3C, nameBytes / 2);
      made = true;
      break;
    }
    case 9: {
      auto usable = [](Span s) { return s.length >= 1 && s.length <= 63 && HasNonZeroByte(s); };
      const Span runs = usable(redo) ? redo : usable(undo) ? undo : Span{};
      if (!runs.data) break;
      e.kind = kLogRunList;
      e.rec.id = recordNumber;
      SetEntryBlob(e.rec, runs.data, runs.length);
      made = true;
      break;
    }
    case 11: {
      auto usable = [](Span s) { return s.length == 24 && HasNonZeroByte(s); };
      const Span sizes = usable(redo) ? redo : usable(undo) ? undo : Span{};
      if (!sizes.data) break;
      e.kind = kLogSize;
      e.rec.id = recordNumber;
      e.rec.size = NtfsRead64(sizes.data + 16);
      made = true;
      break;
    }
    case 12:
    case 14:
      made = DecodeIndexEntryLogRecord(redo.data, redo.length, e, kLogIndexAdded);
      break;
    case 13:
    case 15:
      made = DecodeIndexEntryLogRecord(undo.data, undo.length, e, kLogIndexDeleted);
      break;
    case 21:
    case 22:
      made = redo.length >= 8 &&
             DecodeBitmapLogRecord(ctx, copy, e, NtfsRead16(copy + 0x30) == 21 ? kLogClustersSet : kLogClustersCleared);
      break;
    default:
      break;
  }
  if (!made) return false;
  e.position = position;
  e.recordNumber = e.rec.id;
  e.parent = e.rec.parent;
  e.lsn = NtfsRead64(copy);
  e.previousLsn = NtfsRead64(copy + 0x08);
  e.attrOffset = NtfsRead16(copy + 0x42);
  entries.push_back(std::move(e));
  return true;
}

void MergeBitmapLogRecords(const LogDecodeContext& ctx, std::vector<LogRecordItem>& items) {
  std::vector<LogRecordItem> valid;
  valid.reserve(items.size());
  for (LogRecordItem& item : items)
    if (ValidateLogRecord(item.copy.data(), uint32_t(item.copy.size()))) valid.push_back(std::move(item));
  items.clear();
  const uint64_t bitsPerCluster = uint64_t(ctx.clusterSize) * 8;
  for (size_t j = 0; j < valid.size(); ++j) {
    if (bitsPerCluster != 0 && j + 1 < valid.size() && ContinuesInto(valid[j], valid[j + 1], bitsPerCluster)) {
      const uint8_t* a = valid[j].copy.data();
      uint8_t* b = valid[j + 1].copy.data();
      const Span ra = RedoData(a, uint32_t(valid[j].copy.size()));
      const Span rb = RedoData(b, uint32_t(valid[j + 1].copy.size()));
      uint8_t* rbData = const_cast<uint8_t*>(rb.data);
      const uint64_t bits = uint64_t(NtfsRead32(rbData + 4)) + NtfsRead32(ra.data + 4);
      Put32(b + 0x48, NtfsRead32(a + 0x48));
      Put64(b + 0x50, NtfsRead64(a + 0x50));
      Put32(rbData, NtfsRead32(ra.data));
      Put32(rbData + 4, uint32_t(std::min<uint64_t>(bits, UINT32_MAX)));
      continue;  // item j lives on in item j + 1
    }
    items.push_back(std::move(valid[j]));
  }
}

void DecodeLogRecords(const LogDecodeContext& ctx, std::vector<LogRecordItem>& items, LogEntryList& entries) {
  const uint32_t n = uint32_t(items.size());
  for (uint32_t i = 0; i < n; ++i) {
    PostLogDecodeProgress(i, n);
    std::vector<uint8_t>& copy = items[i].copy;
    if (ValidateLogRecord(copy.data(), uint32_t(copy.size())))
      DecodeLogRecord(ctx, copy.data(), uint32_t(copy.size()), items[i].position, entries);
  }
}

void AssignRecordsToBitmapEntries(LogEntryList& entries) {
  const size_t count = entries.size();
  auto chained = [&](size_t from, size_t to) {
    for (size_t k = from; k < to; ++k)
      if (entries[k + 1].previousLsn != entries[k].lsn) return false;
    return true;
  };
  for (size_t i = 1; i + 4 < count; ++i) {
    LogFileEntry& e = entries[i];
    if (!IsClusterRunKind(e.kind)) continue;
    bool found = false;
    uint32_t r = 0;
    if (entries[i + 2].previousLsn == e.lsn && IsRecordKind(entries[i + 2].kind)) {
      r = entries[i + 2].recordNumber, found = true;
    } else if (entries[i + 3].previousLsn == e.lsn && IsRecordKind(entries[i + 3].kind)) {
      r = entries[i + 3].recordNumber, found = true;
    } else if (IsRecordKind(entries[i + 1].kind)) {
      r = entries[i + 1].recordNumber, found = true;
    }
    // A rename inside a transaction: two deletions and an addition of the same record; the
    // run belongs to the record named in between.
    if (entries[i + 1].kind == kLogIndexDeleted && entries[i + 2].kind == kLogIndexDeleted &&
        entries[i + 3].kind == kLogIndexAdded && entries[i + 1].recordNumber == entries[i + 3].recordNumber &&
        chained(i, i + 3)) {
      r = entries[i + 2].recordNumber, found = true;
    }
    if (found) {
      SetRecordNumber(e, r);
      for (size_t k = i; k-- > 0;) {
        if (!IsClusterRunKind(entries[k].kind) || entries[k].lsn != entries[k + 1].previousLsn) break;
        SetRecordNumber(entries[k], r);
      }
    } else if ((entries[i - 1].kind == kLogRecordAllocated && e.kind == kLogClustersSet) ||
               (entries[i - 1].kind == kLogRecordFreed && e.kind == kLogClustersCleared)) {
      SetRecordNumber(e, entries[i - 1].recordNumber);
    }
  }
}

void SplitLogFileIntoEntries(uint8_t* bytes, uint64_t count, uint32_t clusterSize,
                             const DataExtentList& bitmapExtents, LogEntryList& entries) {
  std::vector<LogRecordItem> items;
  if (!ScanLogFilePages(bytes, count, items)) return;
  LogDecodeContext ctx;
  ctx.clusterSize = clusterSize;
  ctx.bitmapExtents = bitmapExtents;
  MergeBitmapLogRecords(ctx, items);
  DecodeLogRecords(ctx, items, entries);
  AssignRecordsToBitmapEntries(entries);
}
