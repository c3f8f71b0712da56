// Where a FAT32 allocation table found by the deep scan ends: at the start of its second copy.
#pragma once

#include <cstdint>

#include "scanbase/carvecandidate.h"

// bytes: length bytes (whole sectors) from the table's first sector on. 5 with the table's
// length in c.size when a second copy starts at a later 128-entry boundary (its first 8192
// bytes equal the table's); 3 when more bytes are needed; 6 when the bytes are no FAT32 table
// (a bad first sector, an entry of 1 or above 0x0FFFFFFF, or one cluster reached by two jumps).
int32_t MeasureFat32Table(const uint8_t* bytes, uint32_t length, CarveCandidate& c);
