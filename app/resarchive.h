// The resource archive "Recovery.dat": a ZIP archive whose every complete 16-bit little-endian
// word is XOR-ed with 0x3C1E, read from memory through minizip with memory-file callbacks.
#pragma once

#include <cstddef>
#include <cstdint>

#include <minizip/unzip.h>

#include "platform/cstring.h"

constexpr uint16_t kArchiveScrambleWord = 0x3C1E;
// The largest archive entry that is read: 1 GiB.
constexpr uint32_t kMaxArchiveEntry = 0x40000000;

// XORs every complete little-endian word with kArchiveScrambleWord; a trailing odd byte (and a
// one-byte file) stays as it is. The operation is its own inverse.
void UnscrambleArchive(uint8_t* bytes, size_t length);

// A byte block seen as a file by the ZIP reader. Each caller uses its own.
struct MemFile {
  uint32_t size;
  uint32_t pos;
  uint8_t* data;
};

// minizip's file functions over a MemFile. The "file name" of the open call is the MemFile's
// address; the opaque pointer is unused.
voidpf MemFileOpen(voidpf opaque, const char* name, int mode);
uLong MemFileRead(voidpf opaque, voidpf stream, void* buf, uLong size);
uLong MemFileWrite(voidpf opaque, voidpf stream, const void* buf, uLong size);
long MemFileTell(voidpf opaque, voidpf stream);
long MemFileSeek(voidpf opaque, voidpf stream, uLong offset, int origin);
void FillMemFileFuncs(zlib_filefunc_def* table);

// Reads one entry, its name matched without regard to case, into a guarded-heap buffer the
// caller frees with FreeMem. Entries of 0 bytes or above 1 GiB are refused. True only when the
// whole entry was read and its CRC matched; on failure out is null and length 0.
bool ReadZipEntryToMemory(MemFile* file, zlib_filefunc_def* funcs, const CString& name, uint8_t*& out,
                          uint32_t& length);

// Scrambling is the same XOR; the packing tool and test fixtures use this name.
inline void ScrambleArchive(uint8_t* bytes, size_t length) { UnscrambleArchive(bytes, length); }
