#include "core/filetree.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "app/settings.h"
#include "base/heap.h"
#include "core/chainguard.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"

namespace {

constexpr uint32_t kLostSplitSize = 300;

RepairRecycleBinHook& RepairHook() {
  static RepairRecycleBinHook hook = nullptr;
  return hook;
}

CopyRecordUnderHook& CopyUnderHook() {
  static CopyRecordUnderHook hook = nullptr;
  return hook;
}

char16_t* HeapText(std::u16string_view text, unsigned tag) {
  auto* block = static_cast<char16_t*>(AllocMem((uint64_t(text.size()) + 1) * sizeof(char16_t), tag));
  if (!text.empty()) std::memcpy(block, text.data(), text.size() * sizeof(char16_t));
  return block;
}

FileRecord EmptyRecord() {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  return r;
}

bool IsDirectory(const FileRecord* r) { return r && (r->flags & kRecDirectory); }

void FreeChildArray(FileRecord& r) {
  if (r.childIds) FreeMem(r.childIds);
  r.childIds = nullptr;
  r.childCapacity = 0;
  r.childCount = 0;
}

// Removes the first occurrence of an id from a child list; true when found.
bool RemoveChildId(FileRecord& r, uint32_t id) {
  if (!r.childIds) return false;
  uint32_t* ids = r.childIds;
  const uint32_t n = r.childCount;
  for (uint32_t k = 0; k < n; ++k) {
    if (ids[k] == id) {
      std::memmove(ids + k, ids + k + 1, size_t(n - k - 1) * sizeof(uint32_t));
      r.childCount = n - 1;
      return true;
    }
  }
  return false;
}

bool IsLostDirName(const FileRecord* r) {
  if (!r || !r->name) return false;
  return RecordNameLength(r->name) == 11 && r->name[0] == u'D' && r->name[1] == u'i' && r->name[2] == u'r';
}

// True when the parent chain of rec reaches ancestorId (rec itself counts). Bounded, so a
// loop in the parent ids ends the walk.
bool ChainReaches(const VolumeContext& ctx, const FileRecord* rec, uint32_t ancestorId) {
  ChainGuard guard;
  while (rec && guard.Visit(rec->id)) {
    if (rec->id == ancestorId) return true;
    if (rec->parent == rec->id) return false;
    rec = GetFileRecord(ctx, rec->parent, 0);
  }
  return false;
}

// With the lost flag: records on a loop of parent ids are linked to each other but never
// reached from the root. Each loop is opened at the record where a walk up first comes back,
// and that record goes into a lost directory like a record with a missing parent.
void RescueParentLoops(VolumeContext& ctx, uint32_t limit,
                       std::unordered_map<uint32_t, uint32_t>& lostByParent) {
  const uint32_t size = ctx.idLimit;
  std::vector<uint8_t> reached(size, 0);
  std::vector<uint32_t> walkMark(size, 0);
  std::vector<uint32_t> stack;
  auto markFrom = [&](uint32_t start) {
    stack.assign(1, start);
    reached[start] = 1;
    while (!stack.empty()) {
      const uint32_t id = stack.back();
      stack.pop_back();
      FileRecord* r = GetFileRecord(ctx, id, 0);
      if (!r) continue;
      for (uint32_t c : ChildIdList(r)) {
        if (c < size && !reached[c] && GetFileRecord(ctx, c, 0)) {
          reached[c] = 1;
          stack.push_back(c);
        }
      }
    }
  };
  if (kRootId >= size || !GetFileRecord(ctx, kRootId, 0)) return;
  markFrom(kRootId);
  for (uint32_t i = 0; i < limit; ++i) {
    if (reached[i] || walkMark[i] || !GetFileRecord(ctx, i, 0)) continue;
    // Walk up from i until a reached record, a missing one, or a record seen on this walk.
    uint32_t id = i;
    uint32_t loopAt = 0;
    for (uint32_t steps = 0; steps <= limit; ++steps) {
      if (id >= size || reached[id]) break;
      if (walkMark[id] == i + 1) {
        loopAt = id;
        break;
      }
      if (walkMark[id] != 0) break;  // an earlier walk already handled the rest of this chain
      walkMark[id] = i + 1;
      FileRecord* r = GetFileRecord(ctx, id, 0);
      if (!r || r->id == kRootId) break;
      id = r->parent;
    }
    if (!loopAt) continue;
    FileRecord* r = GetFileRecord(ctx, loopAt, 0);
    const uint32_t oldParent = r->parent;
    if (FileRecord* p = GetFileRecord(ctx, oldParent, 0)) RemoveChildId(*p, loopAt);
    uint32_t lostId;
    auto it = lostByParent.find(oldParent);
    if (it != lostByParent.end()) {
      lostId = it->second;
    } else {
      lostId = CreateLostDirectory(ctx, kLostFolderId, oldParent, oldParent);
      if (!lostId) continue;
      lostByParent.emplace(oldParent, lostId);
      if (lostId >= reached.size()) {
        reached.resize(size_t(lostId) + 1, 0);
        walkMark.resize(size_t(lostId) + 1, 0);
      }
      reached[lostId] = 1;
    }
    r = GetFileRecord(ctx, loopAt, 0);  // the table may have grown a chunk
    FileRecord* lost = GetFileRecord(ctx, lostId, 0);
    if (!r || !lost) continue;
    r->parent = lostId;
    AppendChildId(*lost, loopAt);
    markFrom(loopAt);
  }
}

void FreeChunksAbove(VolumeContext& ctx, uint32_t chunk) {
  for (uint32_t k = chunk + 1; k < uint32_t(kRecordChunkCount); ++k) {
    if (ctx.recordTable[k]) FreeMem(ctx.recordTable[k]);
    ctx.recordTable[k] = nullptr;
  }
}

}  // namespace

void SetRepairRecycleBinHook(RepairRecycleBinHook hook) { RepairHook() = hook; }

void SetCopyRecordUnderHook(CopyRecordUnderHook hook) { CopyUnderHook() = hook; }

bool IsRecycleBinName(const FileRecord* rec) {
  if (!rec || !rec->name) return false;
  static const char16_t kName[] = u"$RECYCLE.BIN";
  if (RecordNameLength(rec->name) != 12) return false;
  for (int k = 0; k < 12; ++k) {
    char16_t a = rec->name[k];
    if (a >= u'a' && a <= u'z') a = char16_t(a - 32);
    if (a != kName[k]) return false;
  }
  return true;
}

void CreateRootAndLostFolders(VolumeContext& ctx) {
  FileRecord* root = AllocFileRecordSlot(ctx, kRootId);
  if (root->id == kRootId) FreeFileRecord(*root);
  FileRecord r = EmptyRecord();
  r.id = kRootId;
  r.parent = kRootId;
  r.flags = kRecDirectory | kRecInUse;
  r.name = HeapText(u".", 283);
  std::memcpy(static_cast<void*>(root), &r, sizeof(FileRecord));
  if (ctx.idLimit <= kRootId) ctx.idLimit = kRootId + 1;

  FileRecord lost = EmptyRecord();
  lost.id = kLostFolderId;
  lost.parent = kRootId;
  lost.flags = kRecDirectory;
  lost.name = HeapText(GetLangStr(u"FileLost").View(), 296);
  AddFileRecord(ctx, lost, 0);
}

uint32_t AddDirectoryRecord(VolumeContext& ctx, uint32_t parentId, uint32_t id, const char16_t* name,
                            uint32_t link) {
  FileRecord r = EmptyRecord();
  r.id = id;
  r.parent = parentId;
  r.flags = kRecDirectory | kRecInUse;
  r.name = HeapText(name ? std::u16string_view(name) : std::u16string_view(), 538);
  const uint32_t stored = AddFileRecord(ctx, r, link);
  if (!stored) FreeMem(r.name);
  return stored;
}

uint32_t CreateLostDirectory(VolumeContext& ctx, uint32_t parentId, uint64_t number, uint64_t lba) {
  FileRecord r = EmptyRecord();
  r.parent = parentId;
  r.flags = kRecDirectory;
  r.lba = lba;
  const CString name = FormatCString(u"Dir%08llu", (unsigned long long)(uint32_t)number);
  r.name = HeapText(name.View(), 318);
  const uint32_t stored = AddFileRecord(ctx, r, 1);
  if (!stored) FreeMem(r.name);
  return stored;
}

uint32_t AddViewNode(VolumeContext& view, const ViewNode& tmpl) {
  ViewNode n;
  std::memcpy(static_cast<void*>(&n), &tmpl, sizeof(ViewNode));
  if (n.id == 0) n.id = view.idLimit;
  const uint32_t id = n.id;
  if (id >= kRecordIdEnd) return 0;
  ViewNode* slot = AllocViewNodeSlot(view, id);
  if (!slot) return 0;
  if (slot->childIds) FreeMem(slot->childIds);
  std::memcpy(static_cast<void*>(slot), &n, sizeof(ViewNode));
  if (id >= view.idLimit) view.idLimit = id + 1;
  if (ViewNode* parent = GetViewNode(view, n.parent)) AppendChildId(*parent, id);
  return id;
}

void LinkFileTree(VolumeContext& ctx, uint32_t lostFlag) {
  const uint32_t limit = ctx.idLimit;
  for (uint32_t i = kLostFolderId; i < limit; ++i) {
    FileRecord* r = GetFileRecord(ctx, i, 0);
    if (r && r->childIds) FreeChildArray(*r);
  }
  std::unordered_map<uint32_t, uint32_t> lostByParent;
  for (uint32_t i = 0; i < limit; ++i) {
    FileRecord* r = GetFileRecord(ctx, i, 0);
    if (!r || i == kRootId) continue;
    const uint32_t parentId = r->parent;
    FileRecord* parent = GetFileRecord(ctx, parentId, 0);
    // A record that names itself as parent would become its own child.
    if (parent == r) parent = nullptr;
    if (lostFlag && !IsDirectory(parent)) {
      uint32_t lostId;
      auto it = lostByParent.find(parentId);
      if (it != lostByParent.end()) {
        lostId = it->second;
      } else {
        lostId = CreateLostDirectory(ctx, kLostFolderId, parentId, parentId);
        if (!lostId) continue;  // ids exhausted: the record stays unlinked
        lostByParent.emplace(parentId, lostId);
      }
      r = GetFileRecord(ctx, i, 0);
      r->parent = lostId;
      parent = GetFileRecord(ctx, lostId, 0);
    }
    if (parent) AppendChildId(*parent, i);
  }
  if (lostFlag) {
    RescueParentLoops(ctx, limit, lostByParent);
    if (RepairHook()) RepairHook()(ctx);
  }
}

void SplitLostFolder(VolumeContext& ctx) {
  if (ctx.idLimit > kMaxRecordId || kRecordIdEnd - ctx.idLimit < 100) return;
  FileRecord* lost = GetFileRecord(ctx, kLostFolderId, 0);
  if (!IsDirectory(lost) || lost->childCount <= kLostSplitSize) return;
  const std::vector<uint32_t> children = ChildIdList(lost);
  const uint32_t n = uint32_t(children.size());
  const uint32_t groups = (n + kLostSplitSize - 1) / kLostSplitSize;
  // Every subfolder needs an id; a split that could not store them all would drop children.
  if (uint64_t(ctx.idLimit) + groups > kRecordIdEnd) return;
  std::vector<uint32_t> folders;
  for (uint32_t c = 0; c < groups; ++c) {
    FileRecord sub = EmptyRecord();
    sub.parent = kLostFolderId;
    sub.flags = kRecDirectory;
    sub.name = HeapText(FormatCString(u"%03u", c).View(), 342);
    sub.childIds = static_cast<uint32_t*>(AllocMem(kLostSplitSize * sizeof(uint32_t), 338));
    sub.childCapacity = kLostSplitSize;
    const uint32_t subId = AddFileRecord(ctx, sub, 0);
    FileRecord* subRec = GetFileRecord(ctx, subId, 0);
    if (!subRec) {
      FreeMem(sub.name);
      FreeMem(sub.childIds);
      return;  // cannot happen after the id check; leaves id 4's list untouched
    }
    folders.push_back(subId);
    const uint32_t end = std::min(n, (c + 1) * kLostSplitSize);
    for (uint32_t k = c * kLostSplitSize; k < end; ++k) {
      FileRecord* child = GetFileRecord(ctx, children[k], 0);
      if (!child) continue;
      child->parent = subId;
      AppendChildId(*GetFileRecord(ctx, subId, 0), children[k]);
    }
  }
  lost = GetFileRecord(ctx, kLostFolderId, 0);
  FreeChildArray(*lost);
  auto* ids = static_cast<uint32_t*>(AllocMem(uint64_t(folders.size()) * sizeof(uint32_t), 338));
  std::memcpy(ids, folders.data(), folders.size() * sizeof(uint32_t));
  lost->childIds = ids;
  lost->childCapacity = uint32_t(folders.size());
  lost->childCount = uint32_t(folders.size());
}

void EnsureCategoryFolder(VolumeContext& ctx, uint32_t typeId) {
  if (GetFileRecord(ctx, typeId, 0)) return;
  // The table is only read once built: its rows are looked at in place, since a type without a
  // row (which never gets a folder) comes back here for every file of it.
  const FileTypeTableData& table = FileTypeTable();
  if (typeId < uint32_t(kFirstFileType) || typeId >= table.types.size()) return;
  const FileTypeRow& row = table.types[typeId];
  if (uint32_t(row.id) != typeId) return;
  const uint32_t categoryId = uint32_t(row.category);
  if (categoryId < uint32_t(kFirstFileCategory) || categoryId > uint32_t(kLastFileCategory) ||
      categoryId >= table.categories.size())
    return;
  if (!GetFileRecord(ctx, categoryId, 0)) {
    const FileCategoryRow& c = table.categories[categoryId];
    if (uint32_t(c.id) == categoryId) AddDirectoryRecord(ctx, kRootId, categoryId, c.name, 1);
  }
  if (GetFileRecord(ctx, categoryId, 0)) AddDirectoryRecord(ctx, categoryId, typeId, row.mainExt, 1);
}

void MoveDirectoriesFirst(VolumeContext& ctx, uint32_t first, uint32_t end) {
  if (first == 0 || first >= end || end > ctx.idLimit || end > kRecordIdEnd) return;
  std::vector<uint32_t> dirs, others;
  for (uint32_t i = first; i < end; ++i) {
    const FileRecord* r = GetFileRecord(ctx, i, 0);
    if (r && (r->flags & (kRecDirectory | kRecInUse)) == (kRecDirectory | kRecInUse))
      dirs.push_back(i);
    else
      others.push_back(i);
  }
  if (dirs.empty() || others.empty()) return;
  const size_t count = end - first;
  auto* aside = static_cast<uint8_t*>(AllocMem(uint64_t(count) * sizeof(FileRecord), 787));
  size_t k = 0;
  for (const auto* list : {&dirs, &others}) {
    for (uint32_t id : *list) {
      // An empty slot (or one holding another id) travels as an all-zero record.
      if (const FileRecord* r = PeekRecordSlot(ctx, id))
        CopyToMemAt(aside, uint32_t(k * sizeof(FileRecord)), r, sizeof(FileRecord), 796);
      ++k;
    }
  }
  for (size_t j = 0; j < count; ++j) {
    const uint32_t id = first + uint32_t(j);
    FileRecord* slot = AllocFileRecordSlot(ctx, id);
    if (!slot) continue;
    std::memcpy(static_cast<void*>(slot), aside + j * sizeof(FileRecord), sizeof(FileRecord));
    if (slot->id != 0) slot->id = id;
  }
  FreeMem(aside);
}

int FindTopLevelAncestor(const VolumeContext& ctx, const FileRecord* rec, uint32_t& topId) {
  ChainGuard guard;
  while (rec) {
    if (!guard.Visit(rec->id)) return 0;
    if (rec->parent == kRootId) {
      topId = rec->id;
      return 1;
    }
    rec = GetFileRecord(ctx, rec->parent, 0);
  }
  return 0;
}

void MergeDirectoryInto(VolumeContext& ctx, FileRecord* source, FileRecord* target) {
  if (!IsDirectory(source) || !IsDirectory(target) || source == target) return;
  if (source->childCount == 0 || !source->childIds || target->childCount != 0) return;
  // A target inside the source's subtree would become an ancestor of its own ancestors: the
  // moved folders would form a loop that no walk from the root reaches.
  if (ChainReaches(ctx, target, source->id)) return;
  const uint32_t targetId = target->id;
  const std::vector<uint32_t> moved = ChildIdList(source);
  for (uint32_t c : moved) {
    if (c == kRootId) continue;
    if (FileRecord* child = GetFileRecord(ctx, c, 0)) child->parent = targetId;
  }
  FreeChildArray(*target);
  if (!moved.empty()) {
    auto* ids = static_cast<uint32_t*>(AllocMem(uint64_t(moved.size()) * sizeof(uint32_t), 977));
    std::memcpy(ids, moved.data(), moved.size() * sizeof(uint32_t));
    target->childIds = ids;
    target->childCapacity = uint32_t(moved.size());
    target->childCount = uint32_t(moved.size());
  }
  target->filesBelow = source->filesBelow;
  if ((target->flags & (kRecDirectory | kRecInUse)) == (kRecDirectory | kRecInUse))
    target->flags = uint16_t(target->flags & ~kRecInUse);
  source->filesBelow = 0;
  FreeChildArray(*source);
}

void MergeDuplicateDirectories(VolumeContext& ctx) {
  if (ctx.idLimit < 7) return;
  struct Entry {
    uint64_t lba;
    uint32_t id;
  };
  std::vector<Entry> list;
  uint32_t dirCount = 0;
  for (uint32_t i = 6; i < ctx.idLimit; ++i) {
    const FileRecord* r = GetFileRecord(ctx, i, 0);
    if (!IsDirectory(r)) continue;
    ++dirCount;
    uint32_t top;
    // Recycle directories below a top-level folder are paired by MatchRecycleDirectories.
    if (r->name[0] == u'$' && r->parent != kRootId && FindTopLevelAncestor(ctx, r, top)) continue;
    list.push_back({r->lba, i});
  }
  if (dirCount < 2) return;
  std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.lba < b.lba; });
  for (size_t a = 0; a < list.size(); ++a) {
    for (size_t b = a + 1; b < list.size() && list[b].lba == list[a].lba; ++b) {
      FileRecord* ra = GetFileRecord(ctx, list[a].id, 0);
      FileRecord* rb = GetFileRecord(ctx, list[b].id, 0);
      if (!IsDirectory(ra) || !IsDirectory(rb) || ra->ctime == rb->ctime) continue;
      FileRecord* older = ra->ctime < rb->ctime ? ra : rb;
      FileRecord* newer = older == ra ? rb : ra;
      if (older->childCount != 0 && newer->childCount == 0) MergeDirectoryInto(ctx, older, newer);
    }
  }
}

void MatchRecycleDirectories(VolumeContext& ctx) {
  std::unordered_multimap<uint64_t, uint32_t> emptyDirsByLba;
  std::vector<uint32_t> sources;
  for (uint32_t i = 6; i < ctx.idLimit; ++i) {
    const FileRecord* r = GetFileRecord(ctx, i, 0);
    if (!IsDirectory(r)) continue;
    uint32_t top;
    if (r->name[0] == u'$' && r->parent != kRootId && FindTopLevelAncestor(ctx, r, top)) sources.push_back(i);
    if (r->childCount == 0) emptyDirsByLba.emplace(uint64_t(r->lba), i);
  }
  for (uint32_t s : sources) {
    const FileRecord* src = GetFileRecord(ctx, s, 0);
    if (!src) continue;
    uint32_t chosen = 0;
    uint32_t chosenTime = 0;
    // Candidates in id order, so the first found wins a tie.
    std::vector<uint32_t> candidates;
    auto range = emptyDirsByLba.equal_range(uint64_t(src->lba));
    for (auto it = range.first; it != range.second; ++it) candidates.push_back(it->second);
    std::sort(candidates.begin(), candidates.end());
    for (uint32_t c : candidates) {
      const FileRecord* cand = GetFileRecord(ctx, c, 0);
      if (c == s || !IsDirectory(cand) || cand->childCount != 0) continue;
      uint32_t top;
      if (FindTopLevelAncestor(ctx, cand, top) && IsRecycleBinName(GetFileRecord(ctx, top, 0))) continue;
      if (!chosen || cand->ctime > chosenTime) {
        chosen = c;
        chosenTime = cand->ctime;
      }
    }
    if (!chosen || !CopyUnderHook()) continue;
    for (uint32_t child : ChildIdList(src))
      if (child != kRootId) CopyUnderHook()(ctx, chosen, child, nullptr);
  }
  MergeDuplicateDirectories(ctx);
}

void MergeLostDirectories(VolumeContext& ctx, const std::vector<LostDirEntry>& lostDirs) {
  std::unordered_multimap<uint64_t, uint32_t> byLba;
  for (const LostDirEntry& e : lostDirs) byLba.emplace(e.lba, e.id);
  auto isLostUnderRoot = [](const FileRecord* r) {
    return IsDirectory(r) && r->parent == kRootId && IsLostDirName(r);
  };
  for (uint32_t i = kRootId; i < ctx.idLimit; ++i) {
    FileRecord* dir = GetFileRecord(ctx, i, 0);
    if (!IsDirectory(dir) || dir->childCount != 0 || isLostUnderRoot(dir)) continue;
    auto range = byLba.equal_range(uint64_t(dir->lba));
    std::vector<uint32_t> matches;
    for (auto it = range.first; it != range.second; ++it) matches.push_back(it->second);
    for (uint32_t lostId : matches) {
      FileRecord* lost = GetFileRecord(ctx, lostId, 0);
      if (lostId == i || !isLostUnderRoot(lost)) continue;
      dir = GetFileRecord(ctx, i, 0);
      // A directory inside the lost directory's subtree cannot take its children (loop).
      if (ChainReaches(ctx, dir, lostId)) continue;
      RemoveChildId(*dir, lostId);
      for (uint32_t c : ChildIdList(lost)) {
        if (c == kRootId) continue;
        FileRecord* child = GetFileRecord(ctx, c, 0);
        if (!child) continue;
        child->parent = i;
        AppendChildId(*GetFileRecord(ctx, i, 0), c);
      }
      FreeFileRecord(*GetFileRecord(ctx, lostId, 0));
    }
  }
}

bool RenumberFileRecord(VolumeContext& ctx, uint32_t newId, uint32_t oldId) {
  if (newId == oldId) return false;
  FileRecord* old = PeekRecordSlot(ctx, oldId);
  if (!old || PeekRecordSlot(ctx, newId)) return false;
  FileRecord* slot = AllocFileRecordSlot(ctx, newId);
  if (!slot) return false;
  old = PeekRecordSlot(ctx, oldId);
  std::memcpy(static_cast<void*>(slot), old, sizeof(FileRecord));
  std::memset(static_cast<void*>(old), 0, sizeof(FileRecord));
  slot->id = newId;
  if (FileRecord* parent = PeekRecordSlot(ctx, slot->parent); parent && parent != slot && parent->childIds) {
    for (uint32_t k = 0; k < parent->childCount; ++k) {
      if (parent->childIds[k] == oldId) {
        parent->childIds[k] = newId;
        break;
      }
    }
  }
  if (slot->flags & kRecDirectory) {
    for (uint32_t c : ChildIdList(slot)) {
      if (c == kRootId || c == newId) continue;
      if (FileRecord* child = PeekRecordSlot(ctx, c)) child->parent = newId;
    }
  }
  return true;
}

uint32_t CountLiveRecords(const VolumeContext& ctx) {
  uint32_t n = 0;
  for (uint32_t i = 1; i < ctx.idLimit && i <= kMaxRecordId; ++i)
    if (PeekRecordSlot(ctx, i)) ++n;
  return n;
}

void CompactFileRecords(VolumeContext& ctx) {
  const uint32_t limit = ctx.idLimit;
  if (limit <= 2000 || limit > kRecordIdEnd) return;
  const uint64_t target = uint64_t(CountLiveRecords(ctx)) + 5;
  if (target > kRecordIdEnd || RecordChunkOf(uint32_t(target)) >= RecordChunkOf(limit)) return;
  const uint32_t top = std::min(limit, kMaxRecordId + 1);
  if (ctx.type == kVolTypeFat32 && ctx.splitKind == kSplitDeleted) {
    // Slide: each gap takes the next record above it, so the order of the records is kept.
    uint32_t next = kRootId + 1;
    uint32_t highest = 0;
    for (uint32_t i = kRootId; i < top; ++i) {
      if (PeekRecordSlot(ctx, i)) {
        highest = i;
        continue;
      }
      if (next <= i) next = i + 1;
      while (next < top && !PeekRecordSlot(ctx, next)) ++next;
      if (next >= top) break;
      RenumberFileRecord(ctx, i, next);
      highest = i;
      ++next;
    }
    for (uint32_t i = 1; i < kRootId; ++i)
      if (PeekRecordSlot(ctx, i) && i > highest) highest = i;
    ctx.idLimit = highest + 1;
  } else {
    // Top down: each gap takes the highest record above it.
    uint32_t high = top;
    for (uint32_t i = kRootId; i < high; ++i) {
      if (PeekRecordSlot(ctx, i)) continue;
      uint32_t from = high;
      while (from > i + 1 && !PeekRecordSlot(ctx, from - 1)) --from;
      if (from <= i + 1) break;  // no record lies above i
      RenumberFileRecord(ctx, i, from - 1);
      ctx.idLimit = from - 1;
      high = from - 1;
    }
  }
  FreeChunksAbove(ctx, RecordChunkOf(ctx.idLimit));
}

void FreeAllFileRecords(VolumeContext& ctx) {
  const bool view = ctx.type == kVolTypeView;
  const uint32_t entrySize = view ? sizeof(ViewNode) : sizeof(FileRecord);
  for (uint32_t k = 0; k < uint32_t(kRecordChunkCount); ++k) {
    uint8_t* chunk = ctx.recordTable[k];
    if (!chunk) continue;
    const uint32_t entries = RecordChunkEntries(k);
    const uint32_t base = k == 0 ? 0 : k == 1 ? 2000 : k == 2 ? 10000 : 50000 + (k - 3) * 100000;
    for (uint32_t s = 0; s < entries; ++s) {
      uint8_t* slot = chunk + size_t(s) * entrySize;
      uint32_t storedId;
      std::memcpy(&storedId, slot, sizeof(storedId));
      if (storedId == 0 || storedId != base + s) continue;
      if (view) {
        auto* node = reinterpret_cast<ViewNode*>(slot);
        if (node->childIds) FreeMem(node->childIds);
      } else {
        FreeFileRecord(*reinterpret_cast<FileRecord*>(slot));
      }
    }
    FreeMem(chunk);
    ctx.recordTable[k] = nullptr;
  }
  if (ctx.fatBuffer) FreeMem(ctx.fatBuffer);
  if (ctx.bitmapBuffer) FreeMem(ctx.bitmapBuffer);
  if (ctx.mftExtents) FreeMem(ctx.mftExtents);
  ctx.fatBuffer = nullptr;
  ctx.bitmapBuffer = nullptr;
  ctx.mftExtents = nullptr;
}

int DeepCopyVolume(VolumeContext& src, VolumeContext& dst) {
  if (&src == &dst) return 0;
  CompactFileRecords(src);
  if (src.idLimit == 0) return 0;
  dst = src;
  for (auto& chunk : dst.recordTable) chunk = nullptr;
  const uint32_t top = std::min(src.idLimit, kMaxRecordId + 1);
  for (uint32_t i = 1; i < top; ++i) {
    const FileRecord* s = PeekRecordSlot(src, i);
    if (!s) continue;
    FileRecord* d = AllocFileRecordSlot(dst, i);
    std::memcpy(static_cast<void*>(d), s, sizeof(FileRecord));
    d->name = s->name ? DupRecordName(s->name, 889, 889) : nullptr;
    if (s->childCount && s->childIds && s->childCount <= kRecordIdEnd) {
      d->childIds = reinterpret_cast<uint32_t*>(
          DupHeapBytes(s->childIds, s->childCount * uint32_t(sizeof(uint32_t)), 896, 896));
      d->childCapacity = s->childCount;
      d->childCount = s->childCount;
    } else {
      d->childIds = nullptr;
      d->childCapacity = 0;
      d->childCount = 0;
    }
    d->blob = (s->blob && s->blobLength) ? DupHeapBytes(s->blob, s->blobLength, 903, 904) : nullptr;
  }
  dst.fatBuffer = (src.fatBuffer && src.fatBufferSize) ? DupHeapBytes(src.fatBuffer, src.fatBufferSize, 859, 859)
                                                        : nullptr;
  if (!dst.fatBuffer) dst.fatBufferSize = 0;
  dst.bitmapBuffer = (src.bitmapBuffer && src.bitmapBufferSize)
                         ? DupHeapBytes(src.bitmapBuffer, src.bitmapBufferSize, 871, 871)
                         : nullptr;
  if (!dst.bitmapBuffer) dst.bitmapBufferSize = 0;
  const uint64_t extentBytes = uint64_t(src.mftExtentCount) * 16;
  if (src.mftExtents && src.mftExtentCount && extentBytes <= 0xFFFFFFF0ull) {
    dst.mftExtents = reinterpret_cast<uint64_t*>(DupHeapBytes(src.mftExtents, uint32_t(extentBytes), 914, 914));
  } else {
    dst.mftExtents = nullptr;
    dst.mftExtentCount = 0;
  }
  return 1;
}
