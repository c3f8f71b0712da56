// Builders of in-memory record sets for the core tests.
#pragma once

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "base/heap.h"
#include "core/filerecord.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "core/volumecontext.h"

struct RecordRow {
  uint32_t id;
  uint32_t parent;
  const char16_t* name;  // null: no name
  uint16_t flags;
  uint64_t lba = 0;
  uint32_t ctime = 0;
  uint64_t size = 0;
};

inline char16_t* TestHeapName(std::u16string_view text) {
  auto* p = static_cast<char16_t*>(AllocMem((text.size() + 1) * sizeof(char16_t), 1));
  std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
  return p;
}

inline FileRecord MakeRecord(const RecordRow& row) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  r.id = row.id;
  r.parent = row.parent;
  r.flags = row.flags;
  r.lba = row.lba;
  r.ctime = row.ctime;
  r.size = row.size;
  r.name = row.name ? TestHeapName(row.name) : nullptr;
  return r;
}

// Stores the rows unlinked (link 0), as a parser does before LinkFileTree.
inline void AddRows(VolumeContext& ctx, std::initializer_list<RecordRow> rows, uint32_t link = 0) {
  for (const RecordRow& row : rows) AddFileRecord(ctx, MakeRecord(row), link);
}

// A context that frees its records when the test ends.
struct OwnedVolume {
  VolumeContext ctx;
  ~OwnedVolume() { FreeAllFileRecords(ctx); }
};

inline std::vector<uint32_t> ChildList(const FileRecord* r) {
  if (!r || !r->childIds) return {};
  return std::vector<uint32_t>(r->childIds, r->childIds + r->childCount);
}

inline std::u16string NameOf(const FileRecord* r) { return r && r->name ? std::u16string(r->name) : u"<none>"; }

// Packed fields are unaligned: test macros take their arguments by reference, so they get a copy.
template <typename T>
T Val(T v) {
  return v;
}

constexpr uint16_t kDirInUse = kRecDirectory | kRecInUse;
