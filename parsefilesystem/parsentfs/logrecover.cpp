#include "parsefilesystem/parsentfs/logrecover.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/logfiledecode.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

namespace {

constexpr unsigned kTagReplayRuns = 347;
constexpr unsigned kTagRestoredRuns = 348;
constexpr uint32_t kLastSystemRecord = 5;
constexpr uint32_t kMaxRestoredRunList = 1023;
// Directory chains resolved from the log are followed at most this deep; deeper ones end in
// the lost-files folder.
constexpr uint32_t kMaxResolveDepth = 64;
// Packed times at or below this are no times.
constexpr uint32_t kMinPackedTime = 0xFFFFFF;
// Neighbouring records looked at on each side for a data location.
constexpr uint32_t kNeighbourSpan = 15;
constexpr uint32_t kMinGuessedRecord = 19;
constexpr uint64_t kFallbackLbaOffset = 128;

bool SameName(const char16_t* a, const char16_t* b) {
  return a && b && std::u16string_view(a) == std::u16string_view(b);
}

bool IsDir(const FileRecord* r) { return r && (r->flags & kRecDirectory); }

bool HasRunList(const FileRecord& r) { return r.blob && r.blobLength != 0; }

// The volume's record under this number carries the same name: the MFT still knows this life.
bool VolumeHasSameName(const VolumeContext& vol, uint32_t record, const char16_t* name) {
  const FileRecord* r = GetFileRecord(vol, record, 0);
  return r && SameName(r->name, name);
}

void ReplaceName(FileRecord& rec, const char16_t* name) {
  if (rec.name) FreeMem(rec.name);
  rec.name = name ? DupRecordName(name, 349, 349) : nullptr;
}

// Writes bytes at offset of the record's run-list buffer, growing it and keeping its content.
void PutRunBytes(FileRecord& rec, uint32_t offset, const uint8_t* bytes, uint32_t length) {
  const uint32_t need = offset + length;
  if (!rec.blob || rec.blobLength < need) {
    auto* grown = static_cast<uint8_t*>(AllocMem(need, kTagReplayRuns));
    if (rec.blob) {
      std::memcpy(grown, rec.blob, std::min(rec.blobLength, GetMemSize(rec.blob)));
      FreeMem(rec.blob);
    }
    rec.blob = grown;
    rec.blobLength = need;
  }
  std::memcpy(rec.blob + offset, bytes, length);
}

// A run list replaces whatever the record's blob was, and the record reads through it.
void InstallRunList(FileRecord& rec, const uint8_t* runs, uint32_t length) {
  if (!rec.blob || GetMemSize(rec.blob) < length) {
    if (rec.blob) FreeMem(rec.blob);
    rec.blob = static_cast<uint8_t*>(AllocMem(length, kTagRestoredRuns));
  }
  std::memcpy(rec.blob, runs, length);
  rec.blobLength = length;
  rec.flags = uint16_t(rec.flags & ~(kRecResident | kRecAttrList | kRecAttrListOnDisk | kRecExtentList));
}

void TakeRecord(LogFileEntry& a, const LogFileEntry& e) {
  const uint32_t number = a.recordNumber;
  a.ReleaseRecord();
  CopyFileRecord(&a.rec, &e.rec);
  a.rec.id = number;
  a.parent = a.rec.parent;
  a.nameSpace = 0;
}

size_t GroupEnd(const LogEntryList& list, size_t from, uint32_t record) {
  size_t j = from;
  while (j < list.size() && list[j].recordNumber == record) ++j;
  return j;
}

// The items of a record number in the replayed-record list: [begin, end), empty when the
// record has none.
struct ItemRange {
  size_t begin = 0, end = 0;
};

ItemRange ItemsOf(const LogEntryList& list, const ReplayWorkArea& work, uint32_t record) {
  if (!work.Has(record)) return {};
  const size_t begin = work.index[record];
  return {begin, GroupEnd(list, begin, record)};
}

}  // namespace

void SortLogEntries(LogEntryList& entries) {
  if (entries.size() > kMaxReplayEntries) entries.resize(kMaxReplayEntries);
  std::stable_sort(entries.begin(), entries.end(), [](const LogFileEntry& x, const LogFileEntry& y) {
    return x.recordNumber != y.recordNumber ? x.recordNumber < y.recordNumber : x.lsn < y.lsn;
  });
  size_t skip = 0;
  while (skip < entries.size() && entries[skip].recordNumber <= kLastSystemRecord) ++skip;
  entries.erase(entries.begin(), entries.begin() + long(skip));
}

void EmitReplayedRecord(VolumeContext& vol, LogEntryList& list, LogFileEntry& a) {
  const uint32_t number = a.recordNumber;
  LogFileEntry second;
  const bool twice = a.secondParent != 0;
  if (twice) {
    second = a.Clone();
    second.parent = second.rec.parent = a.secondParent;
  }
  if (VolumeHasSameName(vol, number, a.rec.name)) a.ReleaseRecord();
  else list.push_back(std::move(a));
  if (twice && !VolumeHasSameName(vol, number, second.rec.name)) list.push_back(std::move(second));
  a = LogFileEntry();
  a.recordNumber = number;
  a.rec.id = number;
}

void ReplayRecordEntries(VolumeContext& vol, LogFileEntry* begin, LogFileEntry* end, LogEntryList& list) {
  if (begin == end) return;
  LogFileEntry a;
  a.recordNumber = begin->recordNumber;
  a.rec.id = a.recordNumber;
  for (LogFileEntry* p = begin; p != end; ++p) {
    const LogFileEntry& e = *p;
    switch (e.kind) {
      case kLogUsnDeleted: {
        LogFileEntry copy = e.Clone();
        copy.usnMark = 1;
        list.push_back(std::move(copy));
        continue;  // the state is not touched, not even its LSN
      }
      case kLogRecordAllocated:
        // The record starts a new life: the old one ends here.
        if (a.rec.name) EmitReplayedRecord(vol, list, a);
        break;
      case kLogMftRecord:
        if (a.rec.name && SameName(a.rec.name, e.rec.name)) {
          if (!a.rec.blob && HasRunList(e.rec)) PutRunBytes(a.rec, 0, e.rec.blob, e.rec.blobLength);
        } else if (a.rec.name) {
          EmitReplayedRecord(vol, list, a);
        }
        if (!a.rec.name && e.rec.name) TakeRecord(a, e);
        break;
      case kLogIndexAdded:
      case kLogIndexDeleted:
        if (a.parent == 0) {
          a.parent = a.rec.parent = e.parent;
        } else if (e.kind == kLogIndexAdded && e.rec.name && e.rec.name[0] == u'$') {
          a.secondParent = e.parent;
        }
        if (e.rec.name) {
          const bool better = !SameName(a.rec.name, e.rec.name) && !(a.nameSpace & 1) && (e.nameSpace & 1);
          if (!a.rec.name || better) {
            ReplaceName(a.rec, e.rec.name);
            a.nameSpace = e.nameSpace;
          }
          if (e.rec.size) a.rec.size = e.rec.size;
          a.rec.flags = uint16_t((a.rec.flags & ~(kRecInUse | kRecDirectory)) | (e.rec.flags & (kRecInUse | kRecDirectory)));
        }
        break;
      case kLogSize:
        a.rec.size = e.rec.size;
        break;
      case kLogRunList:
      case kLogClustersSet:
      case kLogClustersCleared:
        if (HasRunList(e.rec)) PutRunBytes(a.rec, e.attrOffset % 8, e.rec.blob, e.rec.blobLength);
        if (e.rec.lba) a.rec.lba = e.rec.lba;
        break;
      case kLogUsnRecord:
        a.usn = e.usn;
        break;
      default:
        break;
    }
    if (e.kind == kLogIndexAdded || e.kind == kLogIndexDeleted || e.kind == kLogTimes) {
      if (e.rec.ctime > kMinPackedTime) a.rec.ctime = e.rec.ctime;
      if (e.rec.mtime > kMinPackedTime) a.rec.mtime = e.rec.mtime;
    }
    a.lsn = e.lsn;
  }
  if (a.rec.name) EmitReplayedRecord(vol, list, a);
}

void ReplayLogEntries(VolumeContext& vol, LogEntryList& entries, LogEntryList& list, ReplayWorkArea& work) {
  SortLogEntries(entries);
  for (size_t i = 0; i < entries.size();) {
    const uint32_t record = entries[i].recordNumber;
    const size_t end = GroupEnd(entries, i, record);
    const size_t before = list.size();
    ReplayRecordEntries(vol, entries.data() + i, entries.data() + end, list);
    if (list.size() > before && record < kReplayIndexSize) {
      work.index[record] = uint32_t(before);
      work.present[record] = 1;
    }
    i = end;
  }
}

void RestoreRunsFromLog(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work) {
  for (uint32_t id = kRootId; id < vol.idLimit; ++id) {
    FileRecord* r = GetFileRecord(vol, id, 0);
    if (!r || (r->flags & (kRecInUse | kRecDirectory)) || r->size != 0 || !work.Has(id)) continue;
    uint64_t size = 0;
    const LogFileEntry* runs = nullptr;
    const ItemRange items = ItemsOf(list, work, id);
    for (size_t j = items.begin; j < items.end; ++j) {
      if (list[j].rec.size) size = list[j].rec.size;
      if (list[j].rec.blob && list[j].rec.blobLength >= 1 && list[j].rec.blobLength <= kMaxRestoredRunList)
        runs = &list[j];
    }
    if (size) r->size = size;
    if (runs) InstallRunList(*r, runs->rec.blob, runs->rec.blobLength);
  }
}

bool IsInDollarFolder(const VolumeContext& vol, const FileRecord& rec) {
  const FileRecord* cur = &rec;
  for (uint32_t steps = 0; steps < kMaxTreeDepth; ++steps) {
    if (cur->parent == kRootId) return cur->name && cur->name[0] == u'$';
    const FileRecord* up = GetFileRecord(vol, cur->parent, 0);
    if (!up || up == cur || !IsDir(up) || !up->name) return false;
    cur = up;
  }
  return false;
}

uint32_t ResolveLogDirectory(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work, uint32_t record,
                             size_t item, uint32_t depth) {
  LogFileEntry& d = list[item];
  if (!(d.rec.flags & kRecDirectory) || !d.rec.name) return kLostFolderId;
  if (VolumeHasSameName(vol, record, d.rec.name)) return record;
  if (d.createdDirId) return d.createdDirId;
  if (depth >= kMaxResolveDepth) return kLostFolderId;
  FileRecord copy;
  CopyFileRecord(&copy, &d.rec);
  copy.id = 0;
  copy.flags = uint16_t(copy.flags | kRecFromJournal);
  const uint32_t id = AddFileRecord(vol, copy, 1);
  if (!id) {
    FreeFileRecord(copy);
    return kLostFolderId;
  }
  // Cached before the parent is looked for, so a loop through the log's folders ends here.
  list[item].createdDirId = id;
  const uint32_t parent = FindLogDirectoryEntry(vol, list, work, list[item].parent, list[item].lsn, depth + 1);
  if (FileRecord* made = GetFileRecord(vol, id, 0)) made->parent = parent;
  return id;
}

uint32_t FindLogDirectoryEntry(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work, uint32_t record,
                               uint64_t lsn, uint32_t depth) {
  if (record <= kRootId) return record;
  const ItemRange items = ItemsOf(list, work, record);
  for (size_t j = items.begin; j < items.end; ++j)
    if (list[j].lsn >= lsn && (list[j].rec.flags & kRecDirectory))
      return ResolveLogDirectory(vol, list, work, record, j, depth);
  return IsDir(GetFileRecord(vol, record, 0)) ? record : kLostFolderId;
}

uint32_t FindLogParent(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work, uint32_t parent, size_t item) {
  if (parent <= kRootId || !work.Has(parent)) return parent;
  const uint64_t lsn = list[item].lsn;
  // The folder as it was after the record's entry; else its last state; else its first item.
  const ItemRange items = ItemsOf(list, work, parent);
  size_t chosen = items.begin;
  for (size_t j = items.begin; j < items.end; ++j) {
    if (!(list[j].rec.flags & kRecDirectory)) continue;
    chosen = j;
    if (list[j].lsn > lsn) break;
  }
  return ResolveLogDirectory(vol, list, work, parent, chosen);
}

void RepairParentsFromLog(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work) {
  // Directories made on the way are not repaired again: they have their parent already.
  const uint32_t limit = vol.idLimit;
  for (uint32_t id = 0; id < limit; ++id) {
    FileRecord* r = GetFileRecord(vol, id, 0);
    if (!r || (r->flags & kRecInUse) || IsInDollarFolder(vol, *r)) continue;
    bool repaired = false;
    const ItemRange own = ItemsOf(list, work, id);
    for (size_t j = own.begin; j < own.end && !repaired; ++j) {
      if (list[j].rec.parent == r->parent && SameName(list[j].rec.name, r->name)) {
        const uint32_t parent = FindLogParent(vol, list, work, r->parent, j);
        if (FileRecord* again = GetFileRecord(vol, id, 0)) again->parent = parent;
        repaired = true;
      }
    }
    if (repaired) continue;
    if (IsDir(GetFileRecord(vol, r->parent, 0))) continue;
    const uint32_t p = r->parent;
    if (p <= kRootId || !work.Has(p)) continue;
    const ItemRange folder = ItemsOf(list, work, p);
    size_t chosen = folder.begin;
    for (size_t j = folder.begin; j < folder.end; ++j)
      if (list[j].rec.flags & kRecDirectory) chosen = j;
    const uint32_t parent = ResolveLogDirectory(vol, list, work, p, chosen);
    if (FileRecord* again = GetFileRecord(vol, id, 0)) again->parent = parent;
  }
}

bool HasSameNamedSibling(const VolumeContext& vol, const FileRecord& rec) {
  const FileRecord* parent = GetFileRecord(vol, rec.parent, 0);
  if (!IsDir(parent)) return false;
  for (uint32_t child : ChildIdList(parent)) {
    if (child == kRootId) continue;
    const FileRecord* c = GetFileRecord(vol, child, 0);
    if (!c || !SameName(c->name, rec.name)) continue;
    if (!HasRunList(rec)) return true;
    if (c->blob && c->blobLength == rec.blobLength && GetMemSize(c->blob) >= rec.blobLength &&
        std::memcmp(c->blob, rec.blob, rec.blobLength) == 0)
      return true;
  }
  return false;
}

bool SetSingleRunFromLba(const VolumeContext& vol, FileRecord& rec) {
  // The volume's first sector is its boot sector, never a file's data.
  if (rec.lba <= vol.firstLba) return false;
  uint8_t runs[16];
  uint32_t length = 0;
  if (!EncodeSingleRun(vol.firstLba, VolumeSectorsPerCluster(vol), rec.lba, rec.size, runs, length)) return false;
  InstallRunList(rec, runs, length);
  return true;
}

void GuessDataLocationFromNeighbours(VolumeContext& vol, FileRecord& rec, uint32_t b) {
  const uint64_t spc = VolumeSectorsPerCluster(vol);
  const uint64_t clusterBytes = spc * 512;
  auto clustersOf = [&](uint64_t size) { return clusterBytes ? (size + clusterBytes - 1) / clusterBytes : 0; };
  if ((rec.flags & kRecResident) && rec.size < kMftRecordBytes) {
    // The data lived inside the lost MFT record; there is nothing on the disk to point at.
    rec.lba = 0;
    rec.flags = uint16_t(rec.flags & ~kRecResident);
    SetSingleRunFromLba(vol, rec);
  } else if (rec.size != 0 && !HasRunList(rec) && b > kMinGuessedRecord) {
    int64_t location = 0;
    for (uint32_t i = 1; i <= kNeighbourSpan && location == 0; ++i) {
      const FileRecord* before = GetFileRecord(vol, b - i, 0);
      if (before && !(before->flags & kRecResident)) {
        location = int64_t(before->lba) + int64_t(spc * clustersOf(before->size));
        break;
      }
      const FileRecord* after = GetFileRecord(vol, b + i, 0);
      if (after && !(after->flags & kRecResident)) {
        location = int64_t(after->lba) - int64_t(spc * clustersOf(rec.size));
        break;
      }
    }
    rec.lba = location > int64_t(vol.firstLba) ? uint64_t(location) : vol.firstLba + kFallbackLbaOffset;
    SetSingleRunFromLba(vol, rec);
  }
  rec.flags = uint16_t(rec.flags & ~kRecResident);
}

void AddRecordsFromLog(VolumeContext& vol, LogEntryList& list, ReplayWorkArea& work) {
  LinkFileTree(vol, 0);
  for (size_t i = 0; i < list.size(); ++i) {
    LogFileEntry& item = list[i];
    FileRecord& rec = item.rec;
    if ((rec.flags & kRecDirectory) || item.usnMark || !rec.name) continue;
    if (VolumeHasSameName(vol, rec.id, rec.name) || HasSameNamedSibling(vol, rec)) continue;
    if ((rec.flags & kRecResident) || !HasRunList(rec)) GuessDataLocationFromNeighbours(vol, rec, item.recordNumber);
    const uint32_t parent = FindLogDirectoryEntry(vol, list, work, rec.parent, item.lsn);
    FileRecord file;
    std::memcpy(static_cast<void*>(&file), &list[i].rec, sizeof(FileRecord));
    file.parent = parent;
    file.id = 0;
    file.flags = uint16_t((file.flags & ~(kRecInUse | kRecDirectory)) | kRecFromJournal);
    // The name and run list pass to the volume's record.
    if (AddFileRecord(vol, file, 1)) std::memset(static_cast<void*>(&list[i].rec), 0, sizeof(FileRecord));
  }
}

void RecoverFilesFromLogFile(VolumeContext& vol, LogEntryList& entries) {
  std::vector<UsnDeleteItem> usn;
  if (LoadUsnDeleteRecords(vol, usn)) MergeUsnWithLogEntries(usn, entries);
  ReplayWorkArea work;
  LogEntryList list;
  ReplayLogEntries(vol, entries, list, work);
  RestoreRunsFromLog(vol, list, work);
  RepairParentsFromLog(vol, list, work);
  AddRecordsFromLog(vol, list, work);
}
