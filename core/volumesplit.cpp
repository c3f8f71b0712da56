#include "core/volumesplit.h"

#include <algorithm>
#include <unordered_set>

#include "app/settings.h"
#include "base/sortutil.h"
#include "core/filetree.h"
#include "core/recordtable.h"

namespace {

bool IsDir(const FileRecord* r) { return r && (r->flags & kRecDirectory); }

// The root counts only when it is stored under its id with a usable name.
bool RootExists(const VolumeContext& v) {
  if (v.idLimit <= kRootId) return false;
  const FileRecord* root = PeekRecordSlot(v, kRootId);
  return root && root->name && !(root->flags & kRecUnnamed);
}

// Filters one of the split volumes from its root and gives it its split kind.
void FilterSplitVolume(VolumeContext& v, uint32_t keep, uint32_t kind) {
  if (!RootExists(v)) return;
  FilterRecordsByState(v, GetFileRecord(v, kRootId, 0), keep);
  v.splitKind = kind;
  CompactFileRecords(v);
}

// Cuts v down to the paths and appends it, or frees its records when nothing is left.
void CutAndAppend(VolumeContext& v, const std::vector<CString>& paths, std::vector<VolumeContext>& out) {
  if (BuildRecycleBinVolumeFromPaths(v, paths)) {
    out.push_back(v);
  } else {
    FreeAllFileRecords(v);
  }
}

}  // namespace

void SplitVolumeByDeletion(uint32_t mode, VolumeContext& v, std::vector<VolumeContext>& out) {
  VolumeContext d;
  if (mode == kSplitModeDeletedFiles) {
    if (SplitVolumeCopy(v, d)) out.push_back(d);
    FreeAllFileRecords(v);
  } else if (mode == kSplitModeRecycleBin) {
    if (BuildRecycleBinVolume(v, d)) out.push_back(d);
    FreeAllFileRecords(v);
  } else {
    const int split = SplitVolumeCopy(v, d);
    out.push_back(v);
    if (split) out.push_back(d);
  }
}

void SplitVolumeWithRecycleView(uint32_t mode, VolumeContext& v, std::vector<VolumeContext>& out) {
  const CString folder = ScanTarget().sourcePath;
  const std::vector<CString> deletedPaths{folder, GetLangStr(u"RecycleBin"), GetLangStr(u"FileLost")};
  VolumeContext d;
  if (mode == kSplitModeDeletedFiles || mode == kSplitModeRecycleBin) {
    if (!SplitVolumeCopy(v, d)) return;
    FreeAllFileRecords(v);
    CutAndAppend(d, deletedPaths, out);
    return;
  }
  const int split = SplitVolumeCopy(v, d);
  CutAndAppend(v, {folder}, out);
  if (split) CutAndAppend(d, deletedPaths, out);
}

int SplitVolumeCopy(VolumeContext& v, VolumeContext& d) {
  if (!DeepCopyVolume(v, d)) return 0;
  FilterSplitVolume(v, kKeepExisting, kSplitExisting);
  FilterSplitVolume(d, kKeepDeleted, kSplitDeleted);
  return 1;
}

int FilterRecordsByState(VolumeContext& v, FileRecord* rec, uint32_t keep) {
  if (!rec) return 0;
  // Freeing a record zeroes it in place and nothing is stored meanwhile, so record pointers
  // stay valid for the whole walk.
  struct Frame {
    FileRecord* rec;
    uint32_t keep;
    std::vector<uint32_t> children;
    size_t next = 0;
    std::vector<uint32_t> kept, dropped;
  };
  std::vector<Frame> stack;
  std::vector<bool> seen(std::min(v.idLimit, kRecordIdEnd), false);
  if (rec->id < seen.size()) seen[rec->id] = true;
  // Starts the filter of one directory: -1 when a frame was pushed, else its result at once.
  auto enter = [&](FileRecord* r, uint32_t k) -> int {
    if (!(r->flags & kRecInUse)) {
      if (k == kKeepDeleted) return 1;
      if (k == kKeepExisting) k = kKeepNoFile;
    }
    Frame f{r, k, {}, 0, {}, {}};
    if (IsDir(r)) {
      for (uint32_t c : ChildIdList(r))
        if (c != kRootId) f.children.push_back(c);
    }
    stack.push_back(std::move(f));
    return -1;
  };
  int result = enter(rec, keep);
  if (result >= 0) return result;
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.next < f.children.size()) {
      const uint32_t c = f.children[f.next++];
      FileRecord* child = GetFileRecord(v, c, 0);
      // A missing record, or one a damaged child list names twice, is neither kept nor dropped.
      if (!child || c >= seen.size() || seen[c]) continue;
      seen[c] = true;
      if (IsDir(child)) {
        const uint32_t k = f.keep;
        const int r = enter(child, k);  // may reallocate the stack: f is not used after this
        if (r >= 0) (r ? stack.back().kept : stack.back().dropped).push_back(c);
        continue;
      }
      const bool inUse = (child->flags & kRecInUse) != 0;
      if ((f.keep == kKeepDeleted && !inUse) || (f.keep == kKeepExisting && inUse)) {
        f.kept.push_back(c);
      } else {
        FreeFileRecord(*child);
        f.dropped.push_back(c);
      }
      continue;
    }
    const uint32_t id = f.rec->id;
    result = SetChildIds(*f.rec, f.kept, f.dropped);
    stack.pop_back();
    if (!stack.empty()) (result ? stack.back().kept : stack.back().dropped).push_back(id);
  }
  return result;
}

int BuildRecycleBinVolume(VolumeContext& v, VolumeContext& d) {
  // The deep copy compacts v first; compacting now keeps the collected ids valid in the copy.
  CompactFileRecords(v);
  RecordIdList ids;
  uint32_t binId = 0;
  if (FindChildIdByName(v, GetLangStr(u"RecycleBin"), kRootId, binId)) CollectSubtreeIds(v, binId, ids);
  CollectSubtreeIds(v, kLostFolderId, ids);
  for (uint64_t id : ids) {
    const FileRecord* r = GetFileRecord(v, uint32_t(id), 0);
    if (!r || IsDir(r)) continue;
    if (!DeepCopyVolume(v, d)) return 0;
    KeepOnlyListedRecords(d, ids);
    CompactFileRecords(d);
    return 1;
  }
  return 0;
}

int BuildRecycleBinVolumeFromPaths(VolumeContext& v, const std::vector<CString>& paths) {
  RecordIdList all;
  for (const CString& p : paths) CollectIdsByPath(v, p, all);
  for (uint64_t id : all) {
    const FileRecord* r = GetFileRecord(v, uint32_t(id), 0);
    if (!r || IsDir(r)) continue;
    KeepOnlyListedRecords(v, all);
    CompactFileRecords(v);
    return 1;
  }
  return 0;
}

int CollectIdsByPath(const VolumeContext& v, const CString& path, RecordIdList& out) {
  CString rest = path;
  if (rest.IsEmpty()) return 0;
  if (rest.GetLength() > 3 && rest.Find(u":\\") == 1) rest = rest.Mid(3);
  if (!RootExists(v) || !IsDir(GetFileRecord(v, kRootId, 0))) return 0;
  RecordIdList found{kRootId};
  uint32_t current = kRootId;
  // Every round removes at least one character, so the walk ends.
  while (!rest.IsEmpty()) {
    const int sep = rest.Find(u'\\');
    const CString name = sep < 0 ? rest : rest.Left(sep);
    rest = sep < 0 ? CString() : rest.Mid(sep + 1);
    uint32_t child = 0;
    if (!FindChildIdByName(v, name, current, child)) return 0;
    current = child;
    found.push_back(current);
  }
  // The end of the path itself is appended again with its subtree, as the folder walk did.
  const int result = CollectSubtreeIds(v, current, found);
  if (result) out.insert(out.end(), found.begin(), found.end());
  return result;
}

int CollectSubtreeIds(const VolumeContext& v, uint32_t id, RecordIdList& out) {
  if (!GetFileRecord(v, id, 0)) return 0;
  // A set the size of the subtree, not of the volume: the repair asks this once per copy.
  std::unordered_set<uint32_t> seen;
  std::vector<uint32_t> stack{id};
  while (!stack.empty()) {
    const uint32_t cur = stack.back();
    stack.pop_back();
    const FileRecord* r = GetFileRecord(v, cur, 0);
    if (!r || !seen.insert(cur).second) continue;
    out.push_back(cur);
    if (!IsDir(r)) continue;
    const std::vector<uint32_t> children = ChildIdList(r);
    for (auto it = children.rbegin(); it != children.rend(); ++it)
      if (*it != kRootId) stack.push_back(*it);
  }
  return out.empty() ? 0 : 1;
}

int FindChildIdByName(const VolumeContext& v, const char16_t* name, uint32_t dirId, uint32_t& out) {
  const FileRecord* dir = GetFileRecord(v, dirId, 0);
  if (!IsDir(dir) || !name) return 0;
  const std::u16string_view wanted(name);
  for (uint32_t c : ChildIdList(dir)) {
    const FileRecord* r = GetFileRecord(v, c, 0);
    if (r && std::u16string_view(r->name, RecordNameLength(r->name)) == wanted) {
      out = c;
      return 1;
    }
  }
  return 0;
}

void KeepOnlyListedRecords(VolumeContext& v, RecordIdList ids) {
  if (std::find(ids.begin(), ids.end(), uint64_t(kRootId)) == ids.end()) ids.push_back(kRootId);
  SortUniqueU64(ids, false);
  const uint32_t end = std::min(v.idLimit, kRecordIdEnd);
  // From id 1: a parser may keep records below the lost-files folder's id (NTFS keeps the
  // MFT mirror and the log file under their record numbers), and they are not listed either.
  for (uint32_t id = 1; id < end; ++id) {
    FileRecord* r = GetFileRecord(v, id, 0);
    if (r && !std::binary_search(ids.begin(), ids.end(), uint64_t(id))) FreeFileRecord(*r);
  }
  LinkFileTree(v, 1);
}
