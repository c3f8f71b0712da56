#include "core/viewtrees.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"

namespace {

// A view is root, year, month, day, file (or root, category, type, file): nothing lies deeper.
constexpr uint32_t kViewDepthLimit = 8;

void SortChildIds(ViewNode* n) {
  if (!n) return;
  uint32_t* ids = n->childIds;
  if (!ids) return;
  const uint32_t used = n->childCount, capacity = n->childCapacity;
  const uint32_t count = used < capacity ? used : capacity;
  std::sort(ids, ids + count);
}

uint32_t AddFolderNode(VolumeContext& view, uint32_t id, uint32_t parent, uint32_t slot) {
  ViewNode n{};
  n.id = id;
  n.parent = parent;
  n.slot = slot;
  n.recordId = id;
  return AddViewNode(view, n);
}

// Office documents are grouped by application rather than by format.
uint32_t TypeViewFolderOf(uint32_t typeId) {
  switch (typeId) {
    case 36:
    case 37: return kTypeWordGroup;
    case 38:
    case 87: return kTypeExcelGroup;
    case 89:
    case 90: return kTypePptGroup;
    default: return typeId;
  }
}

void StoreTimeFolder(VolumeContext& ctx, uint32_t id, uint32_t parent, const CString& name) {
  FileRecord* slot = AllocFileRecordSlot(ctx, id);
  if (!slot) return;
  if (slot->id == id) FreeFileRecord(*slot);
  std::memset(static_cast<void*>(slot), 0, sizeof(FileRecord));
  slot->id = id;
  slot->parent = parent;
  slot->flags = kRecDirectory | kRecInUse;
  SetRecordName(*slot, name.GetString());
  if (id >= ctx.idLimit) ctx.idLimit = id + 1;
}

bool Hidden(const VolumeList& list, const FileRecord* r) { return list.mode == kModeSearch && !(r->flags & kRecVisible); }

int ViewTotalsImpl(VolumeList& list, StopWord stop, VolumeContext& view, uint32_t nodeId, uint32_t& files,
                   uint64_t& bytes, uint32_t depth) {
  if (StopRequested(stop)) return 0;
  files = 0;
  bytes = 0;
  if (nodeId == 0 || nodeId >= view.idLimit) return 0;
  ViewNode* node = GetViewNode(view, nodeId);
  if (!node) return 0;
  const uint32_t slot = node->slot;
  if (slot >= list.slotCount) return 0;
  FileRecord* rec = GetFileRecord(list.slots[slot], node->recordId, 0);
  if (!rec || Hidden(list, rec)) return 0;
  if (!(rec->flags & kRecDirectory)) {
    files = 1;
    bytes = rec->size;
    return 1;
  }
  if (depth < kViewDepthLimit) {
    for (uint32_t child : ChildIdList(node)) {
      if (child == kRootId) continue;
      uint32_t f = 0;
      uint64_t b = 0;
      if (ViewTotalsImpl(list, stop, view, child, f, b, depth + 1) == 1) {
        files += f;
        bytes += b;
      }
    }
  }
  // A folder counts the files below it, none when it is empty.
  rec->filesBelow = int32_t(files);
  rec->size = bytes;
  return 1;
}

int SubtreeTotalsImpl(VolumeContext& v, FileRecord* r, uint32_t& files, uint64_t& bytes, uint32_t depth,
                      std::vector<uint8_t>& seen, bool showAll) {
  files = 0;
  bytes = 0;
  if (!r) return 0;
  if (!(r->flags & kRecDirectory)) {
    if (showAll || IsPhotoOrVideoType(r->typeId)) {
      files = 1;
      bytes = r->size;
      return 1;
    }
    FreeFileRecord(*r);
    return 0;
  }
  r->filesBelow = 0;
  r->size = 0;
  std::vector<uint32_t> kept, dropped;
  for (uint32_t child : ChildIdList(r)) {
    if (child == kRootId) continue;
    // A child met a second time (a loop or a shared child) or beyond the depth bound is
    // dropped from this list without being freed.
    const bool fresh = child < seen.size() && !seen[child];
    if (!fresh || depth >= kMaxTreeDepth) {
      dropped.push_back(child);
      continue;
    }
    seen[child] = 1;
    uint32_t f = 0;
    uint64_t b = 0;
    if (SubtreeTotalsImpl(v, GetFileRecord(v, child, 0), f, b, depth + 1, seen, showAll) == 1) {
      kept.push_back(child);
      files += f;
      bytes += b;
    } else {
      dropped.push_back(child);
    }
  }
  r->filesBelow = int32_t(files);
  r->size = bytes;
  SetChildIds(*r, kept, dropped);
  return kept.empty() ? 0 : 1;
}

}  // namespace

uint32_t YearNodeId(uint32_t year) { return (year >= kFirstYear && year <= kLastYear) ? year : 0; }

uint32_t MonthNodeId(uint32_t year, uint32_t month) {
  if (!YearNodeId(year) || month < 1 || month > 12) return 0;
  return 12 * year + month - 21721;
}

uint32_t DayNodeId(uint32_t year, uint32_t month, uint32_t day) {
  if (!MonthNodeId(year, month) || day < 1 || day > 31) return 0;
  return 31 * (12 * year + month - 1) + (day - 1) - 733800;
}

uint32_t DayNodeIdOfPackedTime(uint32_t t) {
  if (t == 0) return 0;
  return DayNodeId((t >> 26) + kFirstYear, (t >> 22) & 15, (t >> 17) & 31);
}

void AddFileTypeFolders(VolumeContext& ctx) {
  std::vector<FileCategoryRow> cats;
  CopyFileCategories(cats, 0);
  for (const FileCategoryRow& c : cats)
    if (c.id >= kFirstFileCategory && c.id <= kLastFileCategory) AddDirectoryRecord(ctx, kRootId, uint32_t(c.id), c.name, 1);
  FreeFileCategoryRows(cats);
  std::vector<FileTypeRow> types;
  CopyFileTypes(types, 0);
  for (const FileTypeRow& t : types)
    if (t.id >= kFirstFileType && t.category >= kFirstFileCategory && t.category <= kLastFileCategory)
      AddDirectoryRecord(ctx, uint32_t(t.category), uint32_t(t.id), t.mainExt, 1);
  FreeFileTypeRows(types);
}

void BuildTimeTrees(VolumeContext& ctx) {
  const CString yearText = GetLangStr(u"Year");
  const CString monthText = GetLangStr(u"Month");
  const CString dayText = GetLangStr(u"Day");
  for (uint32_t y = kFirstYear; y <= kLastYear; ++y) {
    StoreTimeFolder(ctx, y, kRootId, FormatCString(u"%u ", y) + yearText);
    for (uint32_t m = 1; m <= 12; ++m) {
      const uint32_t monthId = MonthNodeId(y, m);
      StoreTimeFolder(ctx, monthId, y, FormatCString(u"%02u ", m) + monthText);
      for (uint32_t d = 1; d <= 31; ++d)
        StoreTimeFolder(ctx, DayNodeId(y, m, d), monthId, FormatCString(u"%02u ", d) + dayText);
    }
  }
}

void BuildClassifiedTrees(VolumeList& list, StopWord stop) {
  VolumeContext t;
  ResetVolumeContext(t);
  CreateRootAndLostFolders(t);
  AddFileTypeFolders(t);
  AddScannedVolume(list, stop, t, 0);
  for (int k = 0; k < 2; ++k) {
    ResetVolumeContext(t);
    CreateRootAndLostFolders(t);
    if (ClassificationOn()) BuildTimeTrees(t);
    AppendVolumeSlot(list, stop, t, 0);
  }
}

void EnsureTypeViewFolder(VolumeContext& view, uint32_t a) {
  if (a > kTypeViewFirstFileId || GetViewNode(view, a)) return;
  std::vector<FileTypeRow> types;
  CopyFileTypes(types, 0);
  uint32_t category = 0;
  for (const FileTypeRow& t : types)
    if (t.id != 0 && uint32_t(t.id) == a) category = uint32_t(t.category);
  FreeFileTypeRows(types);
  if (category < uint32_t(kFirstFileCategory) || category > uint32_t(kLastFileCategory)) return;
  if (!GetViewNode(view, category)) {
    AddFolderNode(view, category, kRootId, 0);
    SortChildIds(GetViewNode(view, kRootId));
  }
  AddFolderNode(view, a, category, 0);
  SortChildIds(GetViewNode(view, category));
}

void EnsureTimeViewNodes(VolumeContext& view, uint32_t v, uint32_t a) {
  // Only real day ids: the month and year ranges lie below 2760.
  if (a < kFirstDayNodeId || a > kLastDayNodeId || GetViewNode(view, a)) return;
  const uint32_t q = (a - kFirstDayNodeId) / 31;
  const uint32_t year = q / 12 + kFirstYear;
  const uint32_t monthId = q % 12 + 12 * (year - kFirstYear) + kFirstMonthNodeId;
  if (!GetViewNode(view, monthId)) {
    if (!GetViewNode(view, year)) {
      AddFolderNode(view, year, kRootId, v);
      SortChildIds(GetViewNode(view, kRootId));
    }
    AddFolderNode(view, monthId, year, v);
    SortChildIds(GetViewNode(view, year));
  }
  AddFolderNode(view, a, monthId, v);
  SortChildIds(GetViewNode(view, monthId));
}

void PlaceVolumeInViews(VolumeList& list, StopWord stop, const VolumeContext& v, uint32_t s) {
  const uint32_t limit = v.idLimit;
  if (limit < kRootId) return;
  VolumeContext& typeView = list.views[0];
  for (uint32_t i = kLostFolderId; i < limit && !StopRequested(stop); ++i) {
    if (i % kPlaceProgressStep == 0) ReportPlacementProgress(i, limit);
    const FileRecord* r = GetFileRecord(v, i, 0);
    if (!r || (r->flags & kRecDirectory) || Hidden(list, r)) continue;
    ViewNode file{};
    file.slot = s;
    file.recordId = i;
    const uint32_t type = r->typeId;
    if (type >= uint32_t(kFirstFileType) && type <= uint32_t(kFileTypeCount - 1)) {
      const uint32_t folder = TypeViewFolderOf(type);
      EnsureTypeViewFolder(typeView, folder);
      // A file whose folder could not be made would be unreachable: it is not placed.
      if (GetViewNode(typeView, folder)) {
        file.parent = folder;
        AddViewNode(typeView, file);
      }
    }
    const uint32_t times[2] = {r->ctime, r->mtime};
    for (uint32_t k = 0; k < 2; ++k) {
      const uint32_t day = DayNodeIdOfPackedTime(times[k]);
      if (day == 0) continue;
      VolumeContext& timeView = list.views[k + 1];
      EnsureTimeViewNodes(timeView, k + 1, day);
      if (!GetViewNode(timeView, day)) continue;
      file.parent = day;
      AddViewNode(timeView, file);
    }
  }
}

int ComputeViewTotals(VolumeList& list, StopWord stop, uint32_t viewId, uint32_t nodeId, uint32_t& files,
                      uint64_t& bytes) {
  if (StopRequested(stop)) return 0;
  files = 0;
  bytes = 0;
  if (!IsViewId(viewId) || ViewIndexOf(viewId) >= kViewCount) return 0;
  return ViewTotalsImpl(list, stop, list.views[ViewIndexOf(viewId)], nodeId, files, bytes, 0);
}

int ComputeSubtreeTotals(VolumeContext& v, FileRecord* r, uint32_t& files, uint64_t& bytes) {
  std::vector<uint8_t> seen(std::min(v.idLimit, kRecordIdEnd), 0);
  if (r && r->id < seen.size()) seen[r->id] = 1;
  return SubtreeTotalsImpl(v, r, files, bytes, 0, seen, IsSoftCfgOn(u"ShowAllFile"));
}
