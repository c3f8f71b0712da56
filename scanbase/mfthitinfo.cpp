#include "scanbase/mfthitinfo.h"

#include <cstddef>
#include <cstring>

#include "base/heap.h"

void FreeMftHitInfo(void* info) {
  if (info == nullptr) return;
  // A block too small to be a summary holds no parts of its own.
  if (GetMemSize(info) < sizeof(MftHitInfo)) {
    FreeMem(info);
    return;
  }
  // The fields are unaligned: read the pointers by value.
  const auto* m = static_cast<const uint8_t*>(info);
  char16_t* name = nullptr;
  uint8_t* runs = nullptr;
  std::memcpy(&name, m + offsetof(MftHitInfo, name), sizeof name);
  std::memcpy(&runs, m + offsetof(MftHitInfo, runList), sizeof runs);
  if (name != nullptr) FreeMem(name);
  if (runs != nullptr) FreeMem(runs);
  FreeMem(info);
}
