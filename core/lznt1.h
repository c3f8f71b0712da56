// LZNT1, the compression of NTFS compressed files: a compression unit (16 clusters) holds a
// stream of chunks, each the compressed (or stored) form of 4096 bytes of the file.
//
// The input comes from the disk and is hostile: every length and back reference is checked, and
// a stream that breaks the format is refused rather than decoded into something else.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kLznt1ChunkBytes = 4096;

// Decodes src into dst (dstSize bytes, a whole number of chunks): every chunk fills its 4096
// bytes, a short compressed chunk and everything after the end mark or the input's end read as
// zeros. False when a chunk header, a literal run or a back reference does not fit.
bool DecompressLznt1(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t dstSize);
