// What the end-detection tests read back from a decided candidate: its status, size and type,
// and the four texts of its metadata block (which the candidate's details are freed with).
#pragma once

#include <cstring>
#include <string>

#include "base/heap.h"
#include "core/carvedname.h"
#include "scanbase/carvecandidate.h"

inline std::u16string Slot(const char16_t* s, size_t n) {
  std::u16string t;
  for (size_t i = 0; i < n && s[i]; ++i) t.push_back(s[i]);
  return t;
}

struct Found {
  int32_t status = 0;
  uint64_t size = 0;
  int32_t type = 0;
  std::u16string person, other, excerpt, date;
};

inline Found Take(CarveCandidate& c, int32_t status) {
  Found f{status, c.size, c.typeId, u"", u"", u"", u""};
  if (auto* m = static_cast<CarvedFileMetadata*>(c.details)) {
    CarvedFileMetadata copy;
    std::memcpy(&copy, m, sizeof copy);
    f.person = Slot(copy.person, 32);
    f.other = Slot(copy.other, 32);
    f.excerpt = Slot(copy.excerpt, 64);
    f.date = Slot(copy.date, 12);
    FreeMem(c.details);
    c.details = nullptr;
  }
  return f;
}
