// MPEG audio frame headers and ID3v2 text frames. Internal to deepscan.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// The four header bytes of an MPEG-1, -2 or -2.5 audio frame: true when the header is valid,
// with the frame's length in bytes (0 for the bitrate index 15, which ends a walk).
bool ReadMp3FrameHeader(const uint8_t* h, uint32_t& length);

// The text of an ID3v2 text frame's data (encoding byte first, 2 to 259 bytes): ANSI (0),
// UTF-16 with a little-endian byte-order mark (1) or UTF-8 (3). True when the text is not
// empty.
bool DecodeId3Text(const uint8_t* data, uint64_t length, CString& text);
