// Bit counts over bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// The number of set bits; 0 for a null pointer or length 0.
inline uint64_t PopCountBytes(const void* bytes, size_t length) {
  if (!bytes) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint64_t n = 0;
  for (size_t i = 0; i < length; ++i) n += unsigned(__builtin_popcount(p[i]));
  return n;
}

// True when the low byte is 1, 2, 4, ... 128: a valid sectors-per-cluster byte.
inline bool IsPowerOfTwoByte(uint32_t value) {
  const uint8_t b = uint8_t(value);
  return b != 0 && (b & (b - 1)) == 0;
}
