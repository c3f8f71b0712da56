// EBML variable-length numbers (element ids and sizes of Matroska/WebM files).
#pragma once

#include <cstddef>
#include <cstdint>

// Reads the number at p (avail bytes readable). Only lengths of 1, 2, 4 and 8 bytes are
// accepted. An id keeps its length-marker bit; a size loses it. The value is the whole number
// (all 64 bits for an 8-byte size). False for a first byte of 0, another length, or too few
// bytes.
bool ReadEbmlNumber(const uint8_t* p, size_t avail, bool isId, uint32_t& length, uint64_t& value);

// True when a size number has every value bit set: the size is not known (a live stream).
bool IsEbmlUnknownSize(uint32_t length, uint64_t value);
