// The LZNT1 decoder of NTFS compressed files: the input is one compression unit as it lies on
// the disk, decoded into a unit of 16 chunks. Nothing may be written outside the unit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/lznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (128u << 10)) return 0;
  // The unit is one chunk longer than the decoder is told, so a write past its end shows.
  constexpr size_t kUnit = 16 * kLznt1ChunkBytes;
  std::vector<uint8_t> out(kUnit + kLznt1ChunkBytes, 0xA5);
  (void)DecompressLznt1(data, size, out.data(), kUnit);
  for (size_t i = kUnit; i < out.size(); ++i)
    if (out[i] != 0xA5) abort();
  return 0;
}
