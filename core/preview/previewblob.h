// The preview buffer: the one form in which previews and thumbnails travel, a guarded-heap
// block, little-endian:
//   0       u8   code: a picture's type id, 46 for a JPEG thumbnail, 161 text, 151 hex dump
//   1       u32  head length h (0: no head)
//   5       u32  extra length e: the text's byte count + 2 (0: no text)
//   9       h    head: the file's bytes, or the JPEG thumbnail
//   9 + h   e    extra: UTF-16LE text of at most 16,384 bytes, then a 2-byte NUL
// The block is h + c + 11 bytes long, c the text's byte count (0 without text).
#pragma once

#include <cstdint>
#include <span>

#include "platform/cstring.h"

constexpr uint32_t kPreviewBlobHeader = 9;
constexpr uint32_t kPreviewTextMaxBytes = 16384;
constexpr unsigned kPreviewBlobTag = 292;

// data may be null (no head); text may be null (no text). Texts of 10 or more characters lose
// their leading carriage returns, line feeds and blanks (at most all but two characters).
uint8_t* PackPreviewBlob(uint8_t code, const void* data, uint32_t dataLength, const char16_t* text,
                         uint32_t textBytes);
uint8_t* PackPreviewBlobWithText(uint8_t code, const void* data, uint32_t dataLength, const CString& text);

// A checked look into a preview buffer held by its receiver: the header's lengths must lie
// inside the block before head or text are handed out.
struct PreviewBlobView {
  uint8_t code = 0;
  std::span<const uint8_t> head;
  CString text;  // up to its first NUL
};
// False when the block is null, too short for its header, or its lengths run past its end.
bool ReadPreviewBlob(const uint8_t* blob, uint32_t blobLength, PreviewBlobView& out);
