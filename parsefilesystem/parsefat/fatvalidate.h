// Tests that decide whether bytes look like FAT directory entries or a FAT, used by the
// directory walk (first cluster of a directory), the partition walk's sector classifier and the
// rebuilds from scan hits. The run validators together cover every entry up to the end of the
// bytes given; they walk iteratively, so a long buffer cannot deepen the stack.
#pragma once

#include <cstdint>

#include "core/diskreader.h"

// 0, or hour < 24, minute < 60 and two-second count < 30.
bool IsValidFatTime(uint16_t time);
// Creation, access and modification dates each 0 or month 1..12 with a non-zero day; creation
// and modification times valid.
bool CheckFatEntryDates(const uint8_t* entry);
// Name bytes (count n): first not a blank; a leading 0xE5 passes; a byte of 0x80 or more lets
// the byte after it pass (double-byte character); no byte 0x00-0x19 or one of "*/:<>?\|.
bool IsValidShortName(const uint8_t* name, uint32_t n);
// The three extension bytes: none 0x00-0x19, 0xFF or one of "*/:<>?\|.
bool IsValidShortExt(const uint8_t* ext);
bool IsValidFatShortEntry(const uint8_t* entry);
// n == 0, or the entry is a valid short entry and the n - 32 bytes behind it pass
// ValidateFatDirEntries.
bool ValidateFatEntryRun(const uint8_t* entry, uint32_t n);
bool IsFatVolumeLabelEntry(const uint8_t* entry);
bool ValidateFatLfnRun(const uint8_t* entry, uint32_t n, uint8_t expectedSeq, uint8_t checksum);
bool ValidateDeletedLfnRun(const uint8_t* entry, uint32_t n, uint8_t checksum);
bool ValidateFatDirEntries(const uint8_t* entries, uint32_t n);

// More than 96 of the entries 2..127 of a FAT32 sector are 0, 0x0FFFFFFF or their index + 1.
bool CountSaneFat32Entries(const uint8_t* sector);
// FAT plausibility of a FAT boot sector the deep scan found at lba (first FAT sector, else the
// second FAT's).
bool CheckFatOfBootHit(DiskReader& reader, const uint8_t* boot, uint64_t lba);
