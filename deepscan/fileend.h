// File-end detection: where a carved file that starts at a candidate's LBA ends.
#pragma once

#include <cstdint>

#include "scanbase/carvecandidate.h"

// Dispatches by the candidate's type and stores the result (5, 3, 6 or 0) in its status.
// bufferLba is the LBA of buffer[0]; length is a multiple of 512 (one block for a new
// candidate, the whole carving window on a retry).
int32_t DetectFileEnd(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length);
// The same once the scan has read its whole input, which ends just before inputEndLba: wanted
// bytes that run past that end are cut there, so a file at the end of the input is decided
// with the data present instead of waiting for data that never comes. A candidate with nothing
// left before the end stays at 3.
int32_t DetectFileEndAtInputEnd(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length,
                                uint64_t inputEndLba);

// Copies the candidate's wanted bytes from its current offset into dest when they lie wholly
// inside the buffer (1). Otherwise 3 with the missing range stored in the candidate, or 6 when
// the request is empty, too large, lies wholly before the buffer or starts too far after it.
int32_t CopyCandidateWindow(CarveCandidate& c, uint64_t bufferLba, const uint8_t* buffer, uint64_t length,
                            uint8_t* dest);

// The bounds test of CopyCandidateWindow without the copy: 1 with the buffer offset of the
// wanted bytes in from, else 3 (range stored) or 6 as above.
int32_t LocateCandidateWindow(CarveCandidate& c, uint64_t bufferLba, uint64_t length, uint64_t& from);
