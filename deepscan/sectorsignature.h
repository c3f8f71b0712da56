// The sector signature matcher: does a file of a known type start at the first byte of this
// 512-byte sector? Beside file types it also recognises the first sector of a FAT32 allocation
// table (kind 228) and the first sector of a run of exFAT directory entries (kind 231).
//
// The answer depends on the sector's first 65 bytes only, except for the FAT32 and exFAT tests,
// which read the whole sector; neighbouring sectors are never looked at.
#pragma once

#include <atomic>
#include <cstdint>

// The LBA of the last sector that was taken as exFAT directory entries; a run of consecutive
// directory sectors is reported at its first sector only. Reset by every scan start.
extern std::atomic<uint64_t> LastExfatDirLba;

// out is set to 234 first, then to the type id or kind found; true exactly when out is not 234.
bool MatchSectorSignature(const uint8_t* sector, uint32_t& out, uint64_t lba);

// Installs MatchSectorSignature as the matcher the file-system parsers type sectors with (the
// FAT start-cluster relocation); the program and the tools call it at start.
void InitSectorSignatureMatcher();
