#include "parsefilesystem/parsentfs/indxrecord.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"
#include "base/log.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"

std::atomic<uint32_t> ScanEndStageActive{0};

namespace {

constexpr unsigned kTagEntryName = 321;
constexpr unsigned kTagIndxBlob = 322;
constexpr uint32_t kDirectoryAttribute = 0x10000000;
// Runs of this many clusters or more are not recorded cluster by cluster.
constexpr uint64_t kMaxListedRunClusters = 16;
constexpr uint32_t kIndxUsaOffset = 0x28;
constexpr uint32_t kIndxUsaCount = 9;

uint32_t NameLength(const uint8_t* e) { return e[0x50]; }
uint32_t NameSpace(const uint8_t* e) { return e[0x51]; }
uint32_t EntryFlags(const uint8_t* e) { return NtfsRead16(e + 0x0C); }
uint32_t EntryLength(const uint8_t* e) { return NtfsRead16(e + 0x08); }
uint32_t EntryParent(const uint8_t* e) { return NtfsRead32(e + 0x10); }
uint32_t EntryNumber(const uint8_t* e) { return NtfsRead32(e); }

// The entry as an index-entry record; the caller has checked that the name lies inside the
// bytes it was given.
FileRecord MakeEntryRecord(const uint8_t* e) {
  FileRecord rec;
  std::memset(static_cast<void*>(&rec), 0, sizeof rec);
  rec.id = EntryNumber(e);
  rec.parent = EntryParent(e);
  rec.ctime = FileTimeToPacked(NtfsRead64(e + 0x18));
  rec.mtime = FileTimeToPacked(NtfsRead64(e + 0x20));
  rec.flags = (NtfsRead32(e + 0x48) & kDirectoryAttribute) ? uint16_t(kRecInUse | kRecDirectory) : uint16_t(kRecInUse);
  rec.size = NtfsRead64(e + 0x40);
  const uint32_t chars = NameLength(e);
  auto* name = static_cast<char16_t*>(AllocMem((uint64_t(chars) + 1) * 2, kTagEntryName));
  for (uint32_t i = 0; i < chars; ++i) name[i] = char16_t(NtfsRead16(e + kIndexEntryHead + 2 * i));
  name[chars] = 0;
  rec.name = name;
  rec.typeId = GetTypeIdByExtension(name);
  return rec;
}

// Keeps a file record whose size is above its type's minimum; frees anything else.
bool KeepIfLargeEnough(FileRecord& rec) {
  uint32_t minSize = 0;
  const uint64_t size = rec.size;
  if (!(rec.flags & kRecDirectory) && GetTypeMinimumSize(rec.typeId, minSize) && size > minSize) {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    IndxFileList().push_back(rec);
    return true;
  }
  FreeFileRecord(rec);
  return false;
}

}  // namespace

std::vector<FileRecord>& IndxFileList() {
  static auto& v = *new std::vector<FileRecord>;
  return v;
}

std::mutex& IndxFileListLock() {
  static auto& m = *new std::mutex;
  return m;
}

void ClearIndxFileList() {
  std::lock_guard<std::mutex> g(IndxFileListLock());
  for (FileRecord& r : IndxFileList()) FreeFileRecord(r);
  IndxFileList().clear();
}

bool RepairIndxRecord(const uint8_t* raw, uint8_t* repaired) {
  if (!raw || !repaired || std::memcmp(raw, "INDX", 4) != 0) return false;
  if (NtfsRead16(raw + 4) != kIndxUsaOffset || NtfsRead16(raw + 6) != kIndxUsaCount) return false;
  std::memcpy(repaired, raw, kIndxRecordBytes);
  const uint8_t* usn = raw + kIndxUsaOffset;
  for (uint32_t i = 0; i < kIndxUsaCount - 1; ++i) {
    uint8_t* tail = repaired + 512 * (i + 1) - 2;
    if (tail[0] != usn[0] || tail[1] != usn[1]) return false;
    tail[0] = raw[kIndxUsaOffset + 2 + 2 * i];
    tail[1] = raw[kIndxUsaOffset + 3 + 2 * i];
  }
  return true;
}

void AddIndexEntryRecords(const uint8_t* record, uint32_t& offset, uint32_t& left, uint32_t parent,
                          std::vector<uint32_t>* taken) {
  if (offset >= kIndxRecordBytes) return;
  left = std::min(left, kIndxRecordBytes - offset);
  if (left <= kIndexEntryHead) return;
  for (;;) {
    const uint8_t* e = record + offset;
    if (EntryFlags(e) > 1) return;
    const uint32_t ns = NameSpace(e), chars = NameLength(e);
    if (ns == 0 || ns == 1 || ns == 3) {
      if (EntryParent(e) != parent || chars == 0) return;
      // The name must end inside the bytes left, or it would be read from beyond the record.
      if (kIndexEntryHead + 2 * chars > left) return;
      if (taken) taken->push_back(offset);
      FileRecord rec = MakeEntryRecord(e);
      KeepIfLargeEnough(rec);
    }
    const uint32_t length = EntryLength(e);
    if (length == 0 || length > left) return;
    left -= length;
    offset += length;
    // Too little is left for another entry; the cursor stays past the last one read, so the
    // slack walk never takes it a second time.
    if (left <= kIndexEntryHead) return;
  }
}

bool AddStaleIndexEntry(const uint8_t* e, uint32_t bytes, uint32_t parent) {
  if (bytes <= kIndexEntryHead || EntryFlags(e) > 1) return false;
  const uint32_t ns = NameSpace(e), chars = NameLength(e);
  if (ns == 2 || ns > 3 || EntryParent(e) != parent || chars == 0) return false;
  if (kIndexEntryHead + 2 * chars > bytes) return false;
  FileRecord rec = MakeEntryRecord(e);
  if (rec.flags & kRecDirectory) {
    FreeFileRecord(rec);
    return true;
  }
  const uint32_t number = rec.id;
  const uint64_t size = rec.size;
  const CString name(rec.name);
  if (KeepIfLargeEnough(rec))
    WriteLogFmt(u"Indx find other: %u %u   FileSize: %llu   %s\t\t ", parent, number, (unsigned long long)size,
                name.GetString());
  return true;
}

bool ParseIndxRecord(const uint8_t* r) {
  if (!r || std::memcmp(r, "INDX", 4) != 0) return false;
  // In 64 bits: a huge offset must not wrap past the bound.
  const uint64_t off = 0x18 + uint64_t(NtfsRead32(r + 0x18));
  if (off + kIndexEntryHead >= kIndxRecordBytes) return true;
  uint32_t left = kIndxRecordBytes - uint32_t(off);
  if (left <= kIndexEntryHead) return true;

  // Live walk: the entries must name distinct files of one parent.
  uint32_t pos = uint32_t(off), parent = 0, previous = 0;
  bool found = false;
  while (EntryFlags(r + pos) <= 1) {
    const uint8_t* e = r + pos;
    const uint32_t chars = NameLength(e);
    if (NameSpace(e) <= 3 && chars > 0) {
      if (kIndexEntryHead + 2 * chars > left) break;
      const uint32_t number = EntryNumber(e);
      if (number == 0 || (found && number == previous)) return true;
      const uint32_t p = EntryParent(e);
      if (!found && p == 0) return true;
      if (found && p != parent) return true;
      parent = p;
      previous = number;
      found = true;
    }
    const uint32_t length = EntryLength(e);
    if (length == 0 || length > left) break;
    left -= length;
    if (left <= kIndexEntryHead) break;
    pos += length;
  }
  if (!found) return true;

  uint32_t cursor = uint32_t(off), count = kIndxRecordBytes - uint32_t(off);
  std::vector<uint32_t> taken;
  AddIndexEntryRecords(r, cursor, count, parent, &taken);
  if (cursor % 8) {
    const uint32_t step = 8 - cursor % 8;
    cursor += step;
    count = count > step ? count - step : 0;
  }
  count = std::min(count, kIndxRecordBytes - std::min(cursor, kIndxRecordBytes));
  for (uint32_t s = 0; s + kIndexEntryHead < count;) {
    const uint8_t* e = r + cursor + s;
    const uint32_t chars = NameLength(e);
    const uint32_t length = EntryLength(e);
    if (std::find(taken.begin(), taken.end(), cursor + s) != taken.end()) {
      // A live entry already taken (the live walk ended on it): step over it.
      s += (length != 0 && length % 8 == 0) ? length : 8;
      continue;
    }
    const uint64_t real = NtfsRead64(e + 0x40), allocated = NtfsRead64(e + 0x38);
    const bool sizes = (real == 0 && allocated == 0) || (real <= allocated && allocated - real <= 8);
    const bool ok = EntryNumber(e) != 0 && EntryParent(e) == parent && kIndexEntryHead + 2 * chars <= count - s &&
                    length % 8 == 0 && length >= kIndexEntryHead + 2 * chars && EntryFlags(e) <= 1 &&
                    NameSpace(e) <= 3 && sizes && AddStaleIndexEntry(e, count - s, parent);
    if (ok) {
      if (length == 0) break;
      s += length;
    } else {
      s += 8;
    }
  }
  return true;
}

bool ParseRawIndxRecord(const uint8_t* raw) {
  auto* copy = static_cast<uint8_t*>(AllocMem(kIndxRecordBytes, kTagIndxBlob));
  const bool ok = RepairIndxRecord(raw, copy) && ParseIndxRecord(copy);
  FreeMem(copy);
  return ok;
}

void AddIndxOnlyFiles(VolumeContext& vol) {
  if (ScanEndStageActive.load() != 1) return;
  std::vector<FileRecord> items;
  {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    items = IndxFileList();
  }
  std::vector<bool> consumed(items.size(), false);
  uint32_t added = 0, removed = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const FileRecord& item = items[i];
    const uint32_t id = item.id, parent = item.parent, ctime = item.ctime;
    const uint64_t size = item.size;
    const uint8_t typeId = item.typeId;
    const FileRecord* known = GetFileRecord(vol, id, 0);
    if (known) {
      const uint32_t kp = known->parent;
      const uint64_t ks = known->size;
      const uint8_t kt = known->typeId;
      if (kp == parent && ks == size && kt == typeId) {
        consumed[i] = true;
        continue;
      }
    }
    if (ctime < vol.earliestTime || ctime > vol.latestTime) continue;
    const uint32_t newId = vol.idLimit;
    if (!item.name || newId == 0 || newId >= kRecordIdEnd) continue;
    FileRecord* slot = AllocFileRecordSlot(vol, newId);
    if (!slot) continue;
    if (PeekRecordSlot(vol, newId)) FreeFileRecord(*slot);
    CopyFileRecord(slot, &item);
    slot->id = newId;
    // The sectors the size occupies, without overflow for sizes near 2^64.
    const uint64_t pair[2] = {item.lba, size / 512 + (size % 512 != 0)};
    if (slot->blob) FreeMem(slot->blob);
    slot->blob = static_cast<uint8_t*>(AllocMem(16, kTagIndxBlob));
    std::memcpy(slot->blob, pair, 16);
    slot->blobLength = 16;
    slot->flags = uint16_t((slot->flags & ~(kRecInUse | kRecDirectory)) | kRecExtentList);
    if (vol.type != kVolTypeFindFile) slot->typeId = GetTypeIdByExtension(slot->name);
    vol.idLimit = newId + 1;
    consumed[i] = true;
    ++added;
  }
  if (added) WriteLogFmt(u"Add indx file now: %u ", added);
  for (bool c : consumed) removed += c ? 1 : 0;
  if (removed == 0) return;
  {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    std::vector<FileRecord>& list = IndxFileList();
    std::vector<FileRecord> kept;
    for (size_t i = 0; i < list.size(); ++i) {
      // Items appended since the copy was taken stay.
      if (i < items.size() && consumed[i]) {
        FreeFileRecord(list[i]);
        continue;
      }
      kept.push_back(list[i]);
    }
    list.swap(kept);
  }
  WriteLogFmt(u"Clear indx file num: %u", removed);
}

bool CollectIndexAllocationLbas(const VolumeContext& vol, const uint8_t* attr, uint32_t attrBytes) {
  if (!attr || attrBytes < 0x40) return false;
  if (NtfsRead32(attr) != kAttrIndexAllocation || attr[8] == 0) return false;
  const uint32_t length = NtfsRead32(attr + 4);
  const uint32_t off = NtfsRead16(attr + 0x20);
  // The run list must lie inside the attribute, and the attribute inside what can be read.
  if (length > attrBytes || off >= kMftRecordBytes || off >= length) return false;
  const uint32_t len = length - off;
  if (len < 3 || len > kMftRecordBytes) return false;
  DataExtentList runs;
  if (!DataRunsToSectors(vol, attr + off, len, runs) || runs.empty()) return false;
  const uint64_t spc = VolumeSectorsPerCluster(vol);
  if (spc == 0) return true;
  for (const DataExtent& e : runs) {
    // Sparse or impossible runs lie nowhere on the disk.
    if (e.startLba >= uint64_t(kSparseRunMark)) continue;
    if (e.sectorCount >= kMaxListedRunClusters * spc) continue;
    for (uint64_t k = 0; k < e.sectorCount / spc; ++k) KnownIndxLbas().push_back(e.startLba + k * spc);
  }
  return true;
}
