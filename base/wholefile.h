// Whole-file reads and writes through the guarded heap.
#pragma once

#include <cstdint>

#include "platform/cstring.h"
#include "platform/fileio.h"

// The largest file ReadWholeFile takes: 1 GiB.
constexpr uint64_t kMaxWholeFile = 0x40000000;

// False when the file cannot be opened, is longer than 1 GiB or reads short (length 0, no
// buffer). An empty file gives true with length 0 and the buffer untouched. Otherwise the
// buffer is a guarded-heap block the caller frees with FreeMem.
bool ReadWholeFile(const CString& path, uint8_t*& buffer, uint32_t& length);
// Creates or truncates the file and writes the bytes; true only when the file was made and
// every byte written and flushed.
bool WriteWholeFile(const CString& path, const void* bytes, uint32_t length);
// One write to an open file: true only when every byte was written.
bool TryFileWrite(CFile& file, const void* bytes, uint32_t length);
