#include "core/lznt1.h"

#include <cstring>

namespace {

// A chunk header: the low 12 bits are the chunk's stored length minus 3 (header included),
// bit 15 says compressed, bits 12-14 are always 3.
constexpr uint16_t kChunkLengthMask = 0x0FFF;
constexpr uint16_t kChunkCompressed = 0x8000;
constexpr uint16_t kChunkSignatureMask = 0x7000;
constexpr uint16_t kChunkSignature = 0x3000;

// Decodes one compressed chunk into out (at most kLznt1ChunkBytes). The split of a back
// reference between offset and length bits moves with the position in the chunk: the further
// in, the more bits the offset needs.
bool DecodeChunk(const uint8_t* in, size_t inSize, uint8_t* out) {
  size_t ip = 0, op = 0;
  while (ip < inSize && op < kLznt1ChunkBytes) {
    const uint8_t flags = in[ip++];
    for (int bit = 0; bit < 8 && ip < inSize && op < kLznt1ChunkBytes; ++bit) {
      if (!(flags & (1u << bit))) {
        out[op++] = in[ip++];
        continue;
      }
      if (ip + 2 > inSize || op == 0) return false;
      const uint16_t token = uint16_t(in[ip] | (in[ip + 1] << 8));
      ip += 2;
      uint32_t lengthBits = 12;
      for (size_t p = op - 1; p >= 0x10; p >>= 1) --lengthBits;
      const size_t length = (token & ((1u << lengthBits) - 1)) + 3;
      const size_t offset = (size_t(token) >> lengthBits) + 1;
      if (offset > op || length > kLznt1ChunkBytes - op) return false;
      // Byte by byte: a reference may overlap the bytes it produces.
      for (size_t i = 0; i < length; ++i, ++op) out[op] = out[op - offset];
    }
  }
  return true;
}

}  // namespace

bool DecompressLznt1(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize) {
  std::memset(dst, 0, dstSize);
  size_t ip = 0;
  for (size_t op = 0; op + kLznt1ChunkBytes <= dstSize; op += kLznt1ChunkBytes) {
    if (ip + 2 > srcSize) return true;
    const uint16_t header = uint16_t(src[ip] | (src[ip + 1] << 8));
    if (header == 0) return true;
    if ((header & kChunkSignatureMask) != kChunkSignature) return false;
    const size_t stored = size_t(header & kChunkLengthMask) + 1;
    ip += 2;
    if (stored > srcSize - ip) return false;
    if (header & kChunkCompressed) {
      if (!DecodeChunk(src + ip, stored, dst + op)) return false;
    } else {
      // A stored chunk holds its bytes as they are (4096 of them but at a file's very end).
      std::memcpy(dst + op, src + ip, stored);
    }
    ip += stored;
  }
  return true;
}
