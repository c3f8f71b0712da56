// The text a file's bytes stand for, as the preview shows it.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// A byte-order mark picks the encoding (EF BB BF UTF-8, FF FE UTF-16LE, FE FF UTF-16BE, each
// read up to its first NUL); without one, bytes that are valid UTF-8 are read as UTF-8 and
// all others in the ANSI code page. A UTF-8 sequence cut off by the end still counts as valid.
// Only the start of a long file is turned into text: the preview keeps at most 16,384 bytes.
CString DecodePreviewText(const uint8_t* bytes, uint32_t length);
// The bytes up to the first zero byte (or the end), read in the ANSI code page; as above only
// the start of a long run is kept.
CString AnsiPreviewText(const uint8_t* bytes, uint32_t length);
// True when the name's extension, lower-cased, is one of the text extensions.
bool IsTextExtension(const char16_t* name);
