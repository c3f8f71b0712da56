// EBML variable-length numbers (element ids and sizes of Matroska/WebM files).
#pragma once

#include <cstddef>
#include <cstdint>

// Reads the number at p (avail bytes readable): a size of 1 to 8 bytes, an id of 1 to 4. An id
// keeps its length-marker bit; a size loses it. The value is the whole number (all 56 value bits
// of an 8-byte size). False for a first byte of 0, an id longer than 4 bytes, or too few bytes.
bool ReadEbmlNumber(const uint8_t* p, size_t avail, bool isId, uint32_t& length, uint64_t& value);

// True when a size number has every value bit set: the size is not known (a live stream).
bool IsEbmlUnknownSize(uint32_t length, uint64_t value);
