#include "core/filerecord.h"

#include <cstring>

#include "base/heap.h"

namespace {

// The five leading fields shared by FileRecord and ViewNode, as one template over either.
template <typename Node>
bool AppendChildIdImpl(Node& n, uint32_t childId) {
  uint32_t capacity = n.childCapacity;
  uint32_t count = n.childCount;
  uint32_t* ids = n.childIds;
  // A record loaded from a file may carry counts without an array, or a count beyond the
  // capacity; neither may lead to a write outside the array.
  if (!ids) capacity = count = 0;
  if (count > capacity) count = capacity;
  if (capacity == 0) {
    ids = static_cast<uint32_t*>(AllocMem(8 * sizeof(uint32_t), 409));
    capacity = 8;
    count = 0;
  } else if (count == capacity) {
    const uint64_t grown = capacity > 4 ? uint64_t(capacity) + capacity / 2 : uint64_t(capacity) + 2;
    if (grown * sizeof(uint32_t) > 0xFFFFFFF0ull) return false;
    auto* bigger = static_cast<uint32_t*>(AllocMem(grown * sizeof(uint32_t), 421));
    CopyToMem(bigger, ids, uint64_t(count) * sizeof(uint32_t), 422);
    FreeMem(ids);
    ids = bigger;
    capacity = uint32_t(grown);
  }
  ids[count] = childId;
  n.childIds = ids;
  n.childCapacity = capacity;
  n.childCount = count + 1;
  return true;
}

}  // namespace

std::mutex& RecordFlagsLock() {
  static auto& lock = *new std::mutex();
  return lock;
}

void SetRecordFlags(FileRecord& rec, uint16_t bits) {
  std::lock_guard<std::mutex> guard(RecordFlagsLock());
  rec.flags = uint16_t(rec.flags | bits);
}

void ClearRecordFlags(FileRecord& rec, uint16_t bits) {
  std::lock_guard<std::mutex> guard(RecordFlagsLock());
  rec.flags = uint16_t(rec.flags & ~bits);
}

bool AppendChildId(FileRecord& rec, uint32_t childId) { return AppendChildIdImpl(rec, childId); }

bool AppendChildId(ViewNode& node, uint32_t childId) { return AppendChildIdImpl(node, childId); }

int SetChildIds(FileRecord& rec, const std::vector<uint32_t>& kept, const std::vector<uint32_t>& dropped) {
  if (!dropped.empty()) {
    if (rec.childIds) FreeMem(rec.childIds);
    rec.childIds = nullptr;
    rec.childCapacity = 0;
    rec.childCount = 0;
    if (!kept.empty()) {
      auto* ids = static_cast<uint32_t*>(AllocMem(uint64_t(kept.size()) * sizeof(uint32_t), 70));
      std::memcpy(ids, kept.data(), kept.size() * sizeof(uint32_t));
      rec.childIds = ids;
      rec.childCapacity = uint32_t(kept.size());
      rec.childCount = uint32_t(kept.size());
    }
  }
  if (rec.childCount == 0 && rec.id != kRootId) {
    FreeFileRecord(rec);
    return 0;
  }
  return 1;
}

uint32_t RecordNameLength(const char16_t* name) {
  if (!name) return 0;
  const uint32_t units = GetMemSize(name) / sizeof(char16_t);
  uint32_t n = 0;
  while (n < units && name[n] != 0) ++n;
  return n;
}

char16_t* DupRecordName(const char16_t* name, unsigned allocTag, unsigned copyTag) {
  const uint32_t n = RecordNameLength(name);
  auto* copy = static_cast<char16_t*>(AllocMem((uint64_t(n) + 1) * sizeof(char16_t), allocTag));
  if (n) CopyToMem(copy, name, uint64_t(n) * sizeof(char16_t), copyTag);
  return copy;
}

uint8_t* DupHeapBytes(const void* src, uint32_t length, unsigned allocTag, unsigned copyTag) {
  auto* copy = static_cast<uint8_t*>(AllocMem(length, allocTag));
  const uint32_t have = src ? GetMemSize(src) : 0;
  const uint32_t n = have < length ? have : length;
  if (n) CopyToMem(copy, src, n, copyTag);
  return copy;
}

void SetRecordName(FileRecord& rec, const char16_t* text) {
  const std::u16string_view view = text ? std::u16string_view(text) : std::u16string_view();
  auto* copy = static_cast<char16_t*>(AllocMem((uint64_t(view.size()) + 1) * sizeof(char16_t), 100));
  if (!view.empty()) std::memcpy(copy, view.data(), view.size() * sizeof(char16_t));
  if (rec.name) FreeMem(rec.name);
  rec.name = copy;
}

void FreeFileRecord(FileRecord& rec) {
  if (rec.name) FreeMem(rec.name);
  if (rec.childIds) FreeMem(rec.childIds);
  if (rec.blob) FreeMem(rec.blob);
  std::memset(static_cast<void*>(&rec), 0, sizeof(FileRecord));
}

void CopyFileRecord(FileRecord* dst, const FileRecord* src) {
  if (!dst || !src || !src->name || dst == src) return;
  FileRecord copy;
  std::memcpy(static_cast<void*>(&copy), src, sizeof(FileRecord));
  copy.name = DupRecordName(src->name, 127, 128);
  copy.blob = (src->blob && src->blobLength) ? DupHeapBytes(src->blob, src->blobLength, 134, 135) : nullptr;
  copy.filesBelow = 0;
  copy.childCapacity = 0;
  copy.childCount = 0;
  copy.childIds = nullptr;
  copy.previewHandle = 0;
  std::memcpy(static_cast<void*>(dst), &copy, sizeof(FileRecord));
}

namespace {
template <typename Node>
std::vector<uint32_t> BoundedChildIds(const Node* n) {
  std::vector<uint32_t> ids;
  if (!n) return ids;
  uint32_t* array = n->childIds;
  const uint32_t count = n->childCount;
  if (!array || !count) return ids;
  const uint32_t fit = GetMemSize(array) / sizeof(uint32_t);
  ids.assign(array, array + (count < fit ? count : fit));
  return ids;
}
}  // namespace

std::vector<uint32_t> ChildIdList(const FileRecord* r) { return BoundedChildIds(r); }
std::vector<uint32_t> ChildIdList(const ViewNode* n) { return BoundedChildIds(n); }
