#include "core/recyclebin.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "app/settings.h"
#include "base/heap.h"
#include "base/pathutil.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/itemread.h"
#include "core/recordtable.h"

namespace {

constexpr unsigned kTagInfoBuffer = 104;
constexpr unsigned kTagFolderName = 105;
// The two layouts of information files: version 1 keeps the path in a field of 260 units
// after a 24-byte head; version 2 has a 28-byte head whose last word counts the path's units.
constexpr uint32_t kInfoV1Bytes = 24 + 520;
constexpr uint32_t kInfoV2Head = 28;

bool IsDir(const FileRecord* r) { return r && (r->flags & kRecDirectory); }

FileRecord ZeroRecord() {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  return r;
}

std::u16string_view NameView(const FileRecord* r) {
  return r && r->name ? std::u16string_view(r->name, RecordNameLength(r->name)) : std::u16string_view();
}

std::vector<uint32_t> ChildDirIds(const VolumeContext& v, const FileRecord* dir) {
  std::vector<uint32_t> out;
  for (uint32_t c : ChildIdList(dir))
    if (c != kRootId && IsDir(GetFileRecord(v, c, 0))) out.push_back(c);
  return out;
}

// A guarded-heap copy of a text that is not itself a heap block.
char16_t* HeapName(const CString& text) {
  const size_t n = size_t(text.GetLength());
  auto* block = static_cast<char16_t*>(AllocMem((uint64_t(n) + 1) * sizeof(char16_t), kTagFolderName));
  if (n) std::memcpy(block, text.GetString(), n * sizeof(char16_t));
  return block;
}

bool IsRecycleBinText(const CString& name) { return name.CompareNoCase(u"$RECYCLE.BIN") == 0; }

// A folder name of a former path that may become a folder: empty names, "." and ".." would
// climb out of the folder the copy belongs in, and a Recycle Bin name would be taken for the
// Recycle Bin the next time the tree is linked. Windows writes neither into a former path.
bool UsableFolderName(const CString& name) {
  return !name.IsEmpty() && name != u"." && name != u".." && !IsRecycleBinText(name);
}

uint16_t Unit(const uint8_t* data, uint32_t i) { return uint16_t(data[2 * i] | (data[2 * i + 1] << 8)); }

uint64_t ReadU64(const uint8_t* p) {
  uint64_t x = 0;
  for (int k = 7; k >= 0; --k) x = (x << 8) | p[k];
  return x;
}

// The ids of the record's subtree, the record included.
std::unordered_set<uint32_t> SubtreeMembers(const VolumeContext& v, uint32_t id) {
  RecordIdList ids;
  CollectSubtreeIds(v, id, ids);
  return std::unordered_set<uint32_t>(ids.begin(), ids.end());
}

bool InSet(const std::unordered_set<uint32_t>& set, uint32_t id) { return set.count(id) != 0; }

// Stores a deleted copy of src under parentId; the new id or 0.
uint32_t StoreDeletedCopy(VolumeContext& v, const FileRecord* src, uint32_t parentId, const char16_t* name) {
  FileRecord copy = ZeroRecord();
  CopyFileRecord(&copy, src);
  if (!copy.name) return 0;
  copy.id = 0;
  copy.parent = parentId;
  if (copy.flags & kRecInUse) {
    copy.flags = uint16_t(copy.flags & ~kRecInUse);
    if (!(src->flags & kRecDirectory)) copy.flags = uint16_t(copy.flags & ~kRecDirectory);
  }
  if (name && name[0]) SetRecordName(copy, name);
  const uint32_t id = AddFileRecord(v, copy, 1);
  if (!id) {
    FreeMem(copy.name);
    if (copy.blob) FreeMem(copy.blob);
  }
  return id;
}

// Copies the children of srcId (and everything below them) under destId under their own
// names. Child lists are read as copies when visited, and every source record is copied at most
// once, so neither a growing list nor a damaged one can make the copy run on.
void CopyChildrenUnder(VolumeContext& v, uint32_t srcId, uint32_t destId) {
  // Records made here get ids from the limit up and are never copied themselves.
  const uint32_t firstNew = v.idLimit;
  std::unordered_set<uint32_t> done{srcId};
  std::vector<std::pair<uint32_t, uint32_t>> stack;  // (source, destination parent)
  auto pushChildren = [&](uint32_t from, uint32_t to) {
    const std::vector<uint32_t> children = ChildIdList(GetFileRecord(v, from, 0));
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      if (*it != kRootId) stack.emplace_back(*it, to);
  };
  pushChildren(srcId, destId);
  while (!stack.empty()) {
    const auto [src, dest] = stack.back();
    stack.pop_back();
    if (src >= firstNew || !done.insert(src).second) continue;
    const FileRecord* rec = GetFileRecord(v, src, 0);
    if (!rec) continue;
    const bool dir = IsDir(rec);
    const uint32_t made = StoreDeletedCopy(v, rec, dest, nullptr);
    if (made && dir) pushChildren(src, made);
  }
}

}  // namespace

void RepairRecycleBin(VolumeContext& v) {
  switch (v.type) {
    case kVolTypeExfat:
    case kVolTypeFat32:
    case kVolTypeNtfs:
    case kVolTypeFat32Rebuilt:
    case kVolTypeExfatRebuilt: break;
    default: return;
  }
  if (v.idLimit <= kRootId) return;
  const FileRecord* root = GetFileRecord(v, kRootId, 0);
  if (!IsDir(root)) return;
  const CString binName = GetLangStr(u"RecycleBin");
  // The copies restored below land under the root too: only the folders there now count.
  for (uint32_t binId : ChildDirIds(v, root)) {
    FileRecord* bin = GetFileRecord(v, binId, 0);
    if (!IsRecycleBinName(bin)) continue;
    SetRecordName(*bin, binName);
    bin->flags = uint16_t((bin->flags & ~kRecInUse) | kRecDirectory);
    const std::vector<uint32_t> userDirs = ChildDirIds(v, bin);
    // An empty bin (a deleted one listed before the live one, say) leaves the others to repair.
    if (userDirs.empty()) continue;
    RepairRecycleFolder(v, binId, binId);
    for (uint32_t u : userDirs) RepairRecycleFolder(v, binId, u);
  }
}

void RepairRecycleFolder(VolumeContext& v, uint32_t binId, uint32_t folderId) {
  const FileRecord* folder = GetFileRecord(v, folderId, 0);
  if (!IsDir(folder)) return;
  RecordIdList ids;
  for (uint32_t c : ChildIdList(folder))
    if (c != kRootId) ids.push_back(c);
  if (ids.empty()) return;
  RecordIdList used;
  std::vector<RecyclePathPair> pairs;
  ReadRecycleOriginalPaths(v, ids, used, pairs);
  RestoreRecycledNames(v, binId, pairs);
}

void SplitRecycleNames(const VolumeContext& v, const RecordIdList& ids, RecordIdList& dataIds, RecordIdList& otherIds) {
  for (uint64_t id : ids) {
    const FileRecord* r = id < kRecordIdEnd ? GetFileRecord(v, uint32_t(id), 0) : nullptr;
    if (!r) continue;
    const std::u16string_view name = NameView(r);
    if (name.size() > 2 && name[0] == u'$' && name[1] == u'R')
      dataIds.push_back(id);
    else
      otherIds.push_back(id);
  }
}

void ReadRecycleOriginalPaths(VolumeContext& v, const RecordIdList& ids, RecordIdList& used,
                              std::vector<RecyclePathPair>& pairs) {
  const VolumeContext target = ScanTarget();
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader)) return;
  RecordIdList dataIds, otherIds;
  SplitRecycleNames(v, ids, dataIds, otherIds);
  // Other files by their name from the third character on, each list in folder order; a
  // folder of thousands of items is paired without comparing every name with every other.
  std::unordered_map<std::u16string, std::vector<uint32_t>> bySuffix;
  for (uint64_t o : otherIds) {
    const std::u16string_view on = NameView(GetFileRecord(v, uint32_t(o), 0));
    if (on.size() >= 2) bySuffix[std::u16string(on.substr(2))].push_back(uint32_t(o));
  }
  for (uint64_t d : dataIds) {
    const std::u16string_view dn = NameView(GetFileRecord(v, uint32_t(d), 0));
    if (dn.size() < 2) continue;
    auto it = bySuffix.find(std::u16string(dn.substr(2)));
    if (it == bySuffix.end()) continue;
    for (uint32_t o : it->second) {
      CString path;
      if (!ReadRecycleInfoFile(reader, v, o, path)) continue;
      pairs.push_back({uint32_t(d), path});
      used.push_back(o);
    }
  }
  reader.Close();
}

int ReadRecycleInfoFile(DiskReader& reader, VolumeContext& v, uint32_t id, CString& path) {
  const FileRecord* r = GetFileRecord(v, id, 0);
  if (!r || r->size == 0 || r->size > kMaxRecycleInfoBytes) return 0;
  DataExtentList extents;
  if (!GetRecordExtents(v, id, extents)) return 0;
  r = GetFileRecord(v, id, 0);
  if (!r) return 0;
  const uint32_t size = uint32_t(r->size);
  auto* buf = static_cast<uint8_t*>(AllocMem(size, kTagInfoBuffer));
  uint64_t got = 0;
  if (v.type == kVolTypeNtfs && (r->flags & kRecResident) && !(r->flags & kRecAttrListOnDisk))
    got = ReadResidentData(reader, r->lba, 0, buf, size);
  else
    got = ReadItemBytes(reader, extents, 0, buf, size);
  const int ok = got == size ? ParseRecycleInfo(buf, size, path) : 0;
  FreeMem(buf);
  return ok;
}

int ParseRecycleInfo(const uint8_t* data, uint32_t size, CString& path) {
  if (!data || size == 0 || size > kMaxRecycleInfoBytes) return 0;
  // A file that is shorter than the fields its head announces is damaged: skipped whole.
  if (size >= 8) {
    const uint64_t version = ReadU64(data);
    if (version == 1 && size < kInfoV1Bytes) return 0;
    if (version == 2) {
      if (size < kInfoV2Head) return 0;
      const uint32_t units = uint32_t(data[24] | (data[25] << 8) | (data[26] << 16) | (uint32_t(data[27]) << 24));
      if (units == 0 || units > (size - kInfoV2Head) / 2) return 0;
    }
  }
  const uint32_t n = size / 2;
  if (n < 2) return 0;  // no room for a drive colon and a backslash
  // The last ":\" marks the former drive; the path runs from its backslash to the first NUL.
  uint32_t colon = n;
  for (uint32_t c = n - 1; c-- > 0;) {
    if (Unit(data, c) == u':' && Unit(data, c + 1) == u'\\') {
      colon = c;
      break;
    }
  }
  if (colon == n) return 0;
  const uint32_t start = colon + 1;
  uint32_t end = start;
  while (end < n && Unit(data, end) != 0) ++end;
  uint32_t nameStart = start + 1;
  for (uint32_t k = start; k < end; ++k)
    if (Unit(data, k) == u'\\') nameStart = k + 1;
  if (end - nameStart > kMaxRecycleNameUnits) return 0;
  std::u16string text;
  text.reserve(end - start);
  for (uint32_t k = start; k < end; ++k) text.push_back(char16_t(Unit(data, k)));
  path = CString(std::move(text));
  return 1;
}

void RestoreRecycledNames(VolumeContext& v, uint32_t binId, const std::vector<RecyclePathPair>& pairs) {
  for (const RecyclePathPair& p : pairs) {
    std::vector<CString> parts;
    if (!SplitPath(p.path, parts) || parts.empty()) continue;
    CString name = parts.back();
    if (IsRecycleBinText(name)) continue;
    RepairNameComponent(name);
    for (uint32_t start : {binId, kRootId}) {
      uint32_t dir = start;
      if (EnsurePathFolders(v, parts, dir)) CopyRecordUnder(v, dir, p.dataId, name);
    }
  }
}

int EnsurePathFolders(VolumeContext& v, const std::vector<CString>& parts, uint32_t& dirId) {
  if (parts.empty()) return 0;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (!UsableFolderName(parts[i])) continue;
    CString name = parts[i];
    RepairNameComponent(name);
    if (const FileRecord* existing = FindChildRecordByName(v, dirId, name)) {
      dirId = existing->id;
      continue;
    }
    FileRecord r = ZeroRecord();
    r.parent = dirId;
    r.flags = kRecDirectory;
    r.name = HeapName(name);
    const uint32_t made = AddFileRecord(v, r, 1);
    if (!made) {
      FreeMem(r.name);
      return 0;  // no id left: the copy must not land in a folder higher up
    }
    dirId = made;
  }
  return 1;
}

FileRecord* FindChildRecordByName(const VolumeContext& v, uint32_t dirId, const char16_t* name) {
  const FileRecord* dir = GetFileRecord(v, dirId, 0);
  if (!IsDir(dir) || !name) return nullptr;
  const std::u16string_view wanted(name);
  for (uint32_t c : ChildIdList(dir)) {
    if (c == kRootId) continue;
    FileRecord* r = GetFileRecord(v, c, 0);
    if (IsDir(r) && NameView(r) == wanted) return r;
  }
  return nullptr;
}

int CopyRecordUnder(VolumeContext& v, uint32_t targetDirId, uint32_t recordId, const char16_t* name) {
  const FileRecord* src = GetFileRecord(v, recordId, 0);
  if (!src || !IsDir(GetFileRecord(v, targetDirId, 0))) return 0;
  // A target inside the record's own subtree would receive copies of the folders it is being
  // filled from: the copy would never end.
  const std::unordered_set<uint32_t> subtree = SubtreeMembers(v, recordId);
  if (InSet(subtree, targetDirId)) return 0;
  const bool dir = IsDir(src);
  if (name && name[0]) {
    if (const FileRecord* existing = FindChildRecordByName(v, targetDirId, name)) {
      const uint32_t existingId = existing->id;
      if (InSet(subtree, existingId)) return 0;
      if (dir) CopyChildrenUnder(v, recordId, existingId);
      return 1;
    }
  }
  const uint32_t made = StoreDeletedCopy(v, src, targetDirId, name);
  if (!made) return 0;
  if (dir) CopyChildrenUnder(v, recordId, made);
  return 1;
}

void InstallRecycleBinRepair() {
  SetRepairRecycleBinHook(&RepairRecycleBin);
  SetCopyRecordUnderHook(&CopyRecordUnder);
}
