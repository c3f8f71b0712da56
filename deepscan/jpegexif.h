// The Exif block of a JPEG's APP1 segment: the camera's maker, model and date from its first
// directory and the Exif directory it points to. Internal to deepscan.
#pragma once

#include <cstdint>

#include "scanbase/carvecandidate.h"
#include "deepscan/tiffwalk.h"
#include "platform/cstring.h"

struct ExifTexts {
  CString maker, model, date;
};

// Walks the directory at ifd (an offset from the TIFF header) and, through tag 34665, the Exif
// directory; length is the APP1 segment length - 14. False when it stopped at a malformed
// entry.
bool WalkJpegSegments(const TiffBytes& t, uint64_t ifd, int64_t length, ExifTexts& texts, TiffWalkGuard& guard,
                      uint32_t depth);

// The marker walk over the first len bytes of a JPEG: 5 with sos (the offset of the start-of-scan
// marker byte), 3 when it ran off the end of the data, 6 when the bytes are no JPEG. Each APP1
// segment replaces the candidate's details with what the walk has found so far.
int32_t WalkJpegMarkers(CarveCandidate& c, const uint8_t* p, uint64_t len, uint64_t& sos);
