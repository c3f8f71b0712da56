// Reading TIFF structures in place: the image file directories of camera RAW files and of the
// Exif block inside a JPEG. Every read is checked against the bytes at hand; the walks over
// linked directories share one guard so that a directory pointing at itself, or a ring of
// them, ends the walk instead of the stack.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

// The bytes of a TIFF structure: offsets in the file are counted from base (the TIFF header),
// and nothing at or past base + length is read.
struct TiffBytes {
  const uint8_t* base = nullptr;
  uint64_t length = 0;
  bool bigEndian = false;

  bool U16(uint64_t at, uint16_t& v) const;
  bool U32(uint64_t at, uint32_t& v) const;
};

// One 12-byte directory entry: tag, field type, count, and the value field at valueAt (the
// entry's own last four bytes). A value of more than four bytes lies at the offset the value
// field holds.
struct TiffEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint32_t value = 0;     // the value field as a 32-bit number
  uint64_t valueAt = 0;   // where the value field lies
  uint64_t bytes = 0;     // count × the type's size
  bool Inline() const { return bytes <= 4; }
  uint64_t DataAt() const { return Inline() ? valueAt : value; }
};
// False when the 12 bytes at `at` are not all there.
bool ReadTiffEntry(const TiffBytes& t, uint64_t at, TiffEntry& e);

// Bytes per element of a field type (1 to 12 of TIFF 6.0, and 13, a directory offset); 0 for
// any other type.
uint32_t TiffTypeSize(uint16_t type);

// The text of an ASCII value: at most 64 characters, ending at a NUL, at the field's count or
// at the end of the bytes, converted from the ANSI code page. Empty when it lies outside.
CString TiffText(const TiffBytes& t, const TiffEntry& e);

// Element i of a SHORT, LONG or directory-offset array value; false for another type, an index outside the array
// or an array that does not fit the bytes.
bool ReadTiffArrayAt(const TiffBytes& t, const TiffEntry& e, uint32_t index, uint32_t& v);

// What a file's directory walks have seen: each directory is walked once, nesting stops at
// kMaxDepth, and a file gives at most kMaxDirectories directories.
class TiffWalkGuard {
 public:
  static constexpr uint32_t kMaxDepth = 4;
  static constexpr uint32_t kMaxDirectories = 64;
  // True (and the offset remembered) when the directory at offset may be walked now.
  bool Enter(uint64_t offset);

 private:
  uint64_t seen_[kMaxDirectories] = {};
  uint32_t count_ = 0;
};

// The camera RAW type by the maker's name (Canon 49, NIKON 92, PENTAX 98, SONY 101, OLYMPUS
// 104, SAMSUNG 52, Mamiya 102); any other maker, or none, gives 50.
int32_t GetRawMaker(const CString& maker);
