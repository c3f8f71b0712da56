// Sorting the id lists the result lists show: by name with directories first, by size, by
// creation or by modification time. The comparisons are three-way and consistent (equal keys
// compare equal, records without a name or missing records sort after the others), so the
// library sort is safe; the order among equal keys is unspecified.
#pragma once

#include <cstdint>
#include <vector>

#include "core/filerecord.h"
#include "core/volumelist.h"

struct SortItem {
  uint32_t id;
  const FileRecord* rec;  // null when the id does not resolve
};

// Sort keys: 0 name, 1 size, 2 creation time, 3 modification time, 4 none (kept or reversed).
// 1 after sorting in place (descending = the ascending order reversed, so directories come
// last); 0 with the list unchanged when it is empty or the key is above 4.
int SortItemIds(VolumeList& list, uint32_t slotOrView, std::vector<uint32_t>& ids, uint32_t key, uint32_t ascending);

int SortByNameDirsFirst(const SortItem& a, const SortItem& b);
int CompareSize(const SortItem& a, const SortItem& b);
int CompareCreationTime(const SortItem& a, const SortItem& b);
int CompareModificationTime(const SortItem& a, const SortItem& b);
// For the deep scan's record lists: by the type id byte and by the parent id (unsigned).
int CompareByCategory(const FileRecord& a, const FileRecord& b);
int CompareParentId(const FileRecord& a, const FileRecord& b);
