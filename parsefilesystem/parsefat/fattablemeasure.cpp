#include "parsefilesystem/parsefat/fattablemeasure.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "parsefilesystem/parsefat/fatsectorcheck.h"

namespace {

constexpr uint32_t kCopyCompareBytes = 8192;

uint32_t Entry(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

int32_t MeasureFat32Table(const uint8_t* bytes, uint32_t length, CarveCandidate& c) {
  if (!bytes || length < 512 || !IsFat32TableStart(bytes)) return kEndNotValid;
  if (length < kCopyCompareBytes) return kEndNeedsMore;
  // Cluster numbers that do not continue the chain before them. Two jumps to one cluster mean
  // two chains share it; the check runs once over the jumps met before the walk's end point,
  // which gives the same answer as checking each jump as it comes.
  std::vector<uint32_t> jumps;
  int32_t result = kEndNeedsMore;
  uint32_t previous = 0;
  for (uint64_t k = 2; 4 * k + 4 <= length; ++k) {
    const uint64_t at = 4 * k;
    if (at > kCopyCompareBytes && k % 128 == 0 && at + 512 <= length && IsFat32TableStart(bytes + at)) {
      if (length - at < kCopyCompareBytes) break;  // too few bytes to compare: 3
      if (std::memcmp(bytes + at, bytes, kCopyCompareBytes) == 0) {
        c.size = at;
        result = kEndKnown;
        break;
      }
      continue;
    }
    const uint32_t v = Entry(bytes + at);
    if (v == 1 || v > 0x0FFFFFFF) return kEndNotValid;
    if (v < 2 || v >= 0x0FFFFFF0) continue;
    if (v != k + 1 && v != uint64_t(previous) + 1) jumps.push_back(v);
    previous = v;
  }
  std::sort(jumps.begin(), jumps.end());
  if (std::adjacent_find(jumps.begin(), jumps.end()) != jumps.end()) return kEndNotValid;
  return result;
}
