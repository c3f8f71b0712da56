// Three-way comparisons and the sorts of 64-bit values and 24-byte triples.
#pragma once

#include <cstdint>
#include <vector>

struct U64Triple {
  uint64_t v[3];
};
static_assert(sizeof(U64Triple) == 24);

int CompareU32(uint32_t a, uint32_t b);
int CompareU64(uint64_t a, uint64_t b);
// By the first value, then the second, then the third.
int CompareTriples(const U64Triple& a, const U64Triple& b);
// Ascending; with unique, a value equal to its predecessor is dropped.
void SortUniqueU64(std::vector<uint64_t>& values, bool unique);
// Ascending by CompareTriples; duplicates stay.
void SortTriples(std::vector<U64Triple>& triples);
