#include "deepscan/findfileview.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "app/settings.h"
#include "base/heap.h"
#include "base/log.h"
#include "core/carvedname.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/filestartindex.h"
#include "parsefilesystem/parsentfs/indxrecord.h"

namespace {

constexpr uint8_t kLastFileKind = 176;
constexpr uint32_t kFirstTypeFolder = 36;
constexpr uint32_t kLastTypeFolder = 176;
constexpr uint64_t kMinKnownRecords = 12;
constexpr uint64_t kMaxKnownRecords = 16000000;
constexpr unsigned kTagExtentPair = 4108;

bool IsFileKind(uint8_t kind) { return kind <= kLastFileKind; }

// The folder of the carved-file view a type's files go into: the office documents share one
// folder per application.
uint32_t ViewFolderOfType(uint32_t type) {
  switch (type) {
    case 36: case 37: return kTypeWordGroup;
    case 87: case 38: return kTypeExcelGroup;
    case 90: case 89: return kTypePptGroup;
    default: return type;
  }
}

uint64_t SectorsOf(uint64_t bytes) { return bytes / kSectorBytes + (bytes % kSectorBytes != 0); }

// The end of a hit in whole sectors.
uint64_t HitEnd(const SectorHit& h) {
  uint64_t end = 0;
  return __builtin_add_overflow(uint64_t(h.lba), SectorsOf(h.size), &end) ? UINT64_MAX : end;
}

// Takes the index-only files out of their list (the caller owns them now).
std::vector<FileRecord> TakeIndexOnlyFiles() {
  std::vector<FileRecord> taken;
  std::lock_guard<std::mutex> g(IndxFileListLock());
  taken.swap(IndxFileList());
  return taken;
}

}  // namespace

void AddCarvedFilesFromHits(VolumeContext& view, const std::vector<SectorHit>& hits) {
  for (const SectorHit& h : hits) {
    if (!IsFileKind(h.kind) || h.endStatus == kHitNeedsMoreData || h.endStatus == kHitNotValid) continue;
    const auto* meta = HasDocumentMetadata(h.kind) ? static_cast<const CarvedFileMetadata*>(h.detail) : nullptr;
    AddCarvedFileRecord(view, h.lba, h.size, h.kind, meta);
  }
}

void DropNestedHits(std::vector<SectorHit>& hits) {
  // For each kind, the furthest end of the complete hits seen so far. The hits are in LBA order,
  // so a later hit lies inside an earlier one exactly when it ends no later than that end: one
  // pass, however many files one damaged header makes overlap.
  uint64_t furthest[kLastFileKind + 1] = {};
  bool seen[kLastFileKind + 1] = {};
  size_t kept = 0;
  for (size_t i = 0; i < hits.size(); ++i) {
    SectorHit h = hits[i];
    if (IsFileKind(h.kind) && h.endStatus == kHitEndFound) {
      const uint64_t end = HitEnd(h);
      if (seen[h.kind] && end <= furthest[h.kind]) continue;
      seen[h.kind] = true;
      furthest[h.kind] = std::max(furthest[h.kind], end);
    }
    hits[kept++] = h;
  }
  hits.resize(kept);
}

bool CollectKnownFileStarts(std::vector<VolumeContext>& volumes, std::vector<KnownFileStart>& out) {
  out.clear();
  uint64_t ids = 0;
  for (const VolumeContext& v : volumes)
    if (v.type != kVolTypeFindFile) ids += v.idLimit;
  if (ids < kMinKnownRecords || ids > kMaxKnownRecords) return false;
  for (VolumeContext& v : volumes) {
    if (v.type == kVolTypeFindFile) continue;
    for (uint32_t id = kRootId; id < v.idLimit; ++id) {
      const FileRecord* rec = GetFileRecord(v, id);
      if (rec == nullptr) continue;
      const uint8_t type = rec->typeId;
      uint64_t lba = 0;
      if (RecordDataStartLba(v, id, lba)) out.push_back({lba, type});
    }
  }
  std::sort(out.begin(), out.end());
  return true;
}

uint32_t MarkKnownFileHits(std::vector<SectorHit>& hits, const std::vector<KnownFileStart>& starts) {
  uint32_t marked = 0;
  for (SectorHit& h : hits) {
    if (!IsFileKind(h.kind) || h.endStatus == kHitNotValid) continue;
    if (std::binary_search(starts.begin(), starts.end(), KnownFileStart{h.lba, h.kind})) {
      h.endStatus = kHitNotValid;
      ++marked;
    }
  }
  return marked;
}

VolumeContext MakeFindFileView(const CString& devicePath) {
  VolumeContext view;
  view.name = GetLangStr(u"FindFile");
  view.label = view.name;
  view.type = kVolTypeFindFile;
  view.devicePath = devicePath;
  view.foundBy = kFoundBySignature;
  CreateRootAndLostFolders(view);
  if (view.idLimit < kTypeViewFirstFileId) view.idLimit = kTypeViewFirstFileId;
  return view;
}

void RefreshTypeFolderNames(VolumeContext& view) {
  for (uint32_t id = kFirstTypeFolder; id <= kLastTypeFolder && id < view.idLimit; ++id) {
    FileRecord* folder = GetFileRecord(view, id);
    if (folder == nullptr || !(folder->flags & kRecDirectory)) continue;
    if (folder->childCount == 0) FreeFileRecord(*folder);  // gone: its id no longer matches
  }
  for (uint32_t id = kFirstFileCategory; id <= kLastFileCategory && id < view.idLimit; ++id) {
    FileRecord* category = GetFileRecord(view, id);
    if (category == nullptr) continue;
    bool inUse = false;
    for (uint32_t child : ChildIdList(category)) {
      const FileRecord* c = GetFileRecord(view, child);
      if (c != nullptr && (c->flags & kRecInUse)) {
        inUse = true;
        break;
      }
    }
    if (!inUse) ClearRecordFlags(*category, kRecInUse);
  }
}

void FillFindFileView(VolumeContext& view, const std::vector<SectorHit>& hits) {
  // The scan's own carved files may have left the last MOV start behind; the view is built anew
  // here and must not take its first MOV for a repeat of it.
  ResetCarvedMovMemory();
  AddCarvedFilesFromHits(view, hits);
  RefreshTypeFolderNames(view);
}

void BuildFindFileView(const CString& devicePath, std::vector<SectorHit>& hits, std::vector<VolumeContext>& result) {
  VolumeContext view = MakeFindFileView(devicePath);
  DropNestedHits(hits);
  FillFindFileView(view, hits);
  MatchIndexFilesToHits(view);
  result.push_back(view);
}

void MatchIndexFilesToHits(VolumeContext& view) {
  std::vector<FileRecord> entries = TakeIndexOnlyFiles();
  std::stable_sort(entries.begin(), entries.end(), [](const FileRecord& a, const FileRecord& b) {
    const uint8_t ta = a.typeId, tb = b.typeId;
    const uint64_t sa = a.size, sb = b.size;
    return ta != tb ? ta < tb : sa < sb;
  });
  // Carved files already given to an entry, by record id.
  std::vector<bool> used(view.idLimit, false);
  std::map<uint32_t, std::vector<uint32_t>> folderFiles;
  std::vector<FileRecord> matched;
  for (FileRecord& e : entries) {
    const uint32_t type = e.typeId;
    const uint32_t folder = ViewFolderOfType(type);
    bool found = false;
    if (type != 0 && folder >= kFirstTypeFolder && folder <= kLastTypeFolder) {
      auto it = folderFiles.find(folder);
      if (it == folderFiles.end()) {
        const FileRecord* dir = GetFileRecord(view, folder);
        it = folderFiles.emplace(folder, dir ? ChildIdList(dir) : std::vector<uint32_t>()).first;
      }
      for (uint32_t child : it->second) {
        if (child == kRootId || child >= used.size() || used[child]) continue;
        const FileRecord* carved = GetFileRecord(view, child);
        if (carved == nullptr || (carved->flags & kRecDirectory) || carved->size != e.size) continue;
        used[child] = true;
        e.lba = carved->lba;
        found = true;
        break;
      }
    }
    if (found) matched.push_back(e);
    else FreeFileRecord(e);
  }
  WriteLogFmt(u"Indx find %u files, file size match %u file", uint32_t(entries.size()), uint32_t(matched.size()));
  std::lock_guard<std::mutex> g(IndxFileListLock());
  // Entries added meanwhile (none on the consumer thread) stay behind the matched ones.
  std::vector<FileRecord>& list = IndxFileList();
  list.insert(list.begin(), matched.begin(), matched.end());
}

void BuildLostFolders(VolumeContext& volume, std::vector<FileRecord>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const FileRecord& a, const FileRecord& b) {
    const uint32_t pa = a.parent, pb = b.parent;
    return pa < pb;
  });
  // A lost folder of the same parent number may be there already (the volume's own linking
  // makes them): its files join it rather than a second folder of the same name.
  std::map<std::u16string, uint32_t> lostDirs;
  if (const FileRecord* lost = GetFileRecord(volume, kLostFolderId)) {
    for (uint32_t child : ChildIdList(lost)) {
      const FileRecord* d = GetFileRecord(volume, child);
      if (d != nullptr && (d->flags & kRecDirectory))
        lostDirs.emplace(std::u16string(d->name, RecordNameLength(d->name)), child);
    }
  }
  uint32_t added = 0;
  bool haveParent = false;
  uint32_t parentNumber = 0, folderId = 0;
  for (FileRecord& e : entries) {
    const uint32_t parent = e.parent;
    if (!haveParent || parent != parentNumber) {
      haveParent = true;
      parentNumber = parent;
      const CString name = FormatCString(u"Dir%08u", parent);
      auto it = lostDirs.find(std::u16string(name.GetString()));
      folderId = it != lostDirs.end() ? it->second : CreateLostDirectory(volume, kLostFolderId, parent, parent);
      if (folderId != 0) lostDirs.emplace(std::u16string(name.GetString()), folderId);
    }
    const uint64_t pair[2] = {e.lba, SectorsOf(e.size)};
    FileRecord rec = e;
    rec.id = 0;
    rec.parent = folderId;
    rec.childCapacity = rec.childCount = 0;
    rec.childIds = nullptr;
    rec.filesBelow = 0;
    rec.flags = kRecExtentList;
    rec.blob = static_cast<uint8_t*>(AllocMem(sizeof pair, kTagExtentPair));
    std::memcpy(rec.blob, pair, sizeof pair);
    rec.blobLength = sizeof pair;
    if (folderId == 0 || AddFileRecord(volume, rec, 1) == 0) {
      FreeFileRecord(rec);
      continue;
    }
    ++added;
  }
  entries.clear();
  WriteLogFmt(u"Add indx file end: %u", added);
}

void AddOtherFileFolder(std::vector<VolumeContext>& result, const CString& devicePath) {
  std::vector<FileRecord> entries = TakeIndexOnlyFiles();
  if (entries.empty()) return;
  VolumeContext* target = nullptr;
  for (VolumeContext& v : result)
    if (target == nullptr && v.type == kVolTypeNtfs && v.splitKind == kSplitDeleted) target = &v;
  for (VolumeContext& v : result)
    if (target == nullptr && v.type == kVolTypeNtfs) target = &v;
  if (target != nullptr) {
    BuildLostFolders(*target, entries);
    return;
  }
  VolumeContext other;
  other.name = u"OtherFile";
  other.label = other.name;
  other.type = kVolTypeNtfs;
  other.devicePath = devicePath;
  other.foundBy = kFoundByIndexRecords;
  CreateRootAndLostFolders(other);
  BuildLostFolders(other, entries);
  LinkFileTree(other, 0);
  result.push_back(other);
}
