// Tests of single exFAT directory sectors (16 entries of 32 bytes) that need no volume around
// them: the deep scan asks them of every sector it reads, the exFAT parser and its rebuild of
// the sectors they load.
#pragma once

#include <cstdint>

// Entry types that may stand in a directory sector outside the root's first three entries.
constexpr uint8_t kExfatLabel = 0x83, kExfatLabelUnused = 0x03;
constexpr uint8_t kExfatBitmap = 0x81, kExfatUpcase = 0x82;
constexpr uint8_t kExfatFile = 0x85, kExfatFileDeleted = 0x05;
constexpr uint8_t kExfatStream = 0xC0, kExfatStreamDeleted = 0x40;
constexpr uint8_t kExfatName = 0xC1, kExfatNameDeleted = 0x41;

// A volume-label entry (32 bytes): type 0x03 or 0x83, a character count below 16, that many
// non-zero UTF-16 characters and zeros in every byte after them.
bool IsExfatLabelEntry(const uint8_t* entry);

// True when the entries from index first (0..15) to the sector's end, or to the first entry of
// type 0, are well-formed directory entries: label, file, stream and name entries only (the
// bitmap entry is allowed at index 1, the up-case entry at index 2), each file entry followed
// by its stream entry and then name entries. A sector without a complete set passes only when
// it holds exactly one file entry with its stream entry and nothing but entries of sets, so a
// set that runs on into the next sector still counts.
bool CheckExfatDirEntries(const uint8_t* sector, unsigned first);

// True when the sector starts like a root directory: a label entry, the allocation-bitmap
// entry, the up-case-table entry, then valid directory entries from index 3 on.
bool IsExfatRootDirSector(const uint8_t* sector);
