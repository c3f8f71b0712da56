#include "core/itemsort.h"

#include <algorithm>

#include "core/itemquery.h"

namespace {

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool Named(const FileRecord* r) { return r && r->name; }

// Missing records (and for names, nameless ones) after all others, equal among themselves.
int CompareMissing(bool haveA, bool haveB) { return haveA == haveB ? 0 : (haveA ? -1 : 1); }

template <typename T>
int ThreeWay(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

using Comparator = int (*)(const SortItem&, const SortItem&);

}  // namespace

int SortByNameDirsFirst(const SortItem& a, const SortItem& b) {
  if (!Named(a.rec) || !Named(b.rec)) return CompareMissing(Named(a.rec), Named(b.rec));
  const bool dirA = (a.rec->flags & kRecDirectory) != 0;
  const bool dirB = (b.rec->flags & kRecDirectory) != 0;
  if (dirA != dirB) return dirA ? -1 : 1;
  // ASCII case folded on both sides, so the order is consistent; a prefix sorts first.
  const std::u16string_view x(a.rec->name, RecordNameLength(a.rec->name));
  const std::u16string_view y(b.rec->name, RecordNameLength(b.rec->name));
  const size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    const char16_t p = FoldAscii(x[i]), q = FoldAscii(y[i]);
    if (p != q) return p < q ? -1 : 1;
  }
  return ThreeWay(x.size(), y.size());
}

int CompareSize(const SortItem& a, const SortItem& b) {
  if (!a.rec || !b.rec) return CompareMissing(a.rec, b.rec);
  return ThreeWay<uint64_t>(a.rec->size, b.rec->size);
}

int CompareCreationTime(const SortItem& a, const SortItem& b) {
  if (!a.rec || !b.rec) return CompareMissing(a.rec, b.rec);
  return ThreeWay<uint32_t>(a.rec->ctime, b.rec->ctime);
}

int CompareModificationTime(const SortItem& a, const SortItem& b) {
  if (!a.rec || !b.rec) return CompareMissing(a.rec, b.rec);
  return ThreeWay<uint32_t>(a.rec->mtime, b.rec->mtime);
}

int CompareByCategory(const FileRecord& a, const FileRecord& b) { return ThreeWay<uint8_t>(a.typeId, b.typeId); }

int CompareParentId(const FileRecord& a, const FileRecord& b) { return ThreeWay<uint32_t>(a.parent, b.parent); }

int SortItemIds(VolumeList& list, uint32_t a, std::vector<uint32_t>& ids, uint32_t key, uint32_t ascending) {
  if (ids.empty() || key > 4) return 0;
  VolumeListReadGuard guard(list);
  std::vector<SortItem> items;
  items.reserve(ids.size());
  for (uint32_t id : ids) items.push_back({id, GetItemRecord(list, a, id)});
  static const Comparator kComparators[4] = {SortByNameDirsFirst, CompareSize, CompareCreationTime,
                                             CompareModificationTime};
  if (key < 4) {
    const Comparator cmp = kComparators[key];
    std::sort(items.begin(), items.end(), [cmp](const SortItem& x, const SortItem& y) { return cmp(x, y) < 0; });
  }
  if (!ascending) std::reverse(items.begin(), items.end());
  for (size_t i = 0; i < items.size(); ++i) ids[i] = items[i].id;
  return 1;
}
