#include "deepscan/ebml.h"

bool ReadEbmlNumber(const uint8_t* p, size_t avail, bool isId, uint32_t& length, uint64_t& value) {
  if (!p || avail == 0 || p[0] == 0) return false;
  const uint32_t n = uint32_t(__builtin_clz(uint32_t(p[0]))) - 23;  // 1 … 8
  if ((n != 1 && n != 2 && n != 4 && n != 8) || avail < n) return false;
  uint64_t v = isId ? p[0] : (p[0] & (0xFFu >> n));
  for (uint32_t i = 1; i < n; ++i) v = (v << 8) | p[i];
  length = n;
  value = v;
  return true;
}

bool IsEbmlUnknownSize(uint32_t length, uint64_t value) {
  if (length == 0 || length > 8) return false;
  const uint64_t all = (length == 8) ? 0x00FFFFFFFFFFFFFFull : ((1ull << (7 * length)) - 1);
  return value == all;
}
