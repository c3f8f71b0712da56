#include "parsefilesystem/parsefat/fatsectorcheck.h"

#include <algorithm>
#include <cstring>

namespace {
uint32_t U32At(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // little-endian host
}
}  // namespace

bool IsFat32TableStart(const uint8_t* sector) {
  if ((U32At(sector) & 0x0FFFFFFF) != 0x0FFFFFF8) return false;
  if ((U32At(sector + 4) & 0x0FFFFFF8) != 0x0FFFFFF8) return false;
  // A cluster can be the successor of one cluster only: a repeated number is a damaged or a
  // foreign sector, never the start of a table.
  uint32_t clusters[126];
  int n = 0;
  for (int i = 2; i < 128; ++i) {
    uint32_t e = U32At(sector + 4 * i);
    if (e == 0 || (e >= 0x0FFFFFF0 && e <= 0x0FFFFFFF)) continue;
    if (e == 1 || e > 0x0FFFFFFF) return false;
    clusters[n++] = e;
  }
  std::sort(clusters, clusters + n);
  return std::adjacent_find(clusters, clusters + n) == clusters + n;
}
