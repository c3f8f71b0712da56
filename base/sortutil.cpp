#include "base/sortutil.h"

#include <algorithm>

int CompareU32(uint32_t a, uint32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }
int CompareU64(uint64_t a, uint64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int CompareTriples(const U64Triple& a, const U64Triple& b) {
  for (int i = 0; i < 3; ++i) {
    if (int c = CompareU64(a.v[i], b.v[i])) return c;
  }
  return 0;
}

void SortUniqueU64(std::vector<uint64_t>& values, bool unique) {
  if (values.empty()) return;
  std::sort(values.begin(), values.end(), [](uint64_t a, uint64_t b) { return CompareU64(a, b) < 0; });
  if (unique) values.erase(std::unique(values.begin(), values.end()), values.end());
}

void SortTriples(std::vector<U64Triple>& triples) {
  if (triples.empty()) return;
  std::stable_sort(triples.begin(), triples.end(),
                   [](const U64Triple& a, const U64Triple& b) { return CompareTriples(a, b) < 0; });
}
