// Synthetic file records for the benchmarks that build large volumes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "base/heap.h"
#include "core/filerecord.h"
#include "platform/cstring.h"

// A guarded-heap copy of the formatted name, as the parsers hand names to the record table.
inline char16_t* HeapName(const char16_t* fmt, uint32_t n) {
  const std::u16string text = FormatW(fmt, n);
  auto* p = static_cast<char16_t*>(AllocMem((text.size() + 1) * sizeof(char16_t), 1));
  std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
  return p;
}

// A 4096-byte record whose data start at sector id × 8.
inline FileRecord BenchRecord(uint32_t id, uint32_t parent, uint16_t flags, char16_t* name) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof(r));
  r.id = id;
  r.parent = parent;
  r.flags = flags;
  r.name = name;
  r.size = 4096;
  r.lba = uint64_t(id) * 8;
  return r;
}
