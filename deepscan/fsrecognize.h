// File systems recognised from boot sectors: the boot-sector tests, the recognition of a
// volume from its boot sector or a backup copy, and the per-type calls into the parsers
// (volume set-up, label, parse).
#pragma once

#include <atomic>
#include <cstdint>

#include "core/diskreader.h"
#include "core/volumecontext.h"

using FsStopWord = std::atomic<uint32_t>;
using BootSectorTest = bool (*)(const uint8_t* sector);

// The exFAT test: jump 0xEB (or 0x90 at byte 2), "EXFAT" at 3, bytes-per-sector shift 9 and a
// sectors-per-cluster shift of at most 16, with the 0x55 0xAA signature.
bool IsExfatBootSector(const uint8_t* sector);
bool HasBootSignature(const uint8_t* sector);

// Whether the NTFS boot sector proves a volume starting at lba; the default wants more than 16
// of the 64 records where it puts the MFT to carry their own numbers. Null restores the default.
using NtfsBootHitCheck = bool (*)(DiskReader& reader, const uint8_t* boot, uint64_t lba);
void SetNtfsBootHitCheck(NtfsBootHitCheck check);

// One row of the recognition table, tested in table order: NTFS, FAT16, FAT32, exFAT.
struct FsProbeRow {
  const char* name;  // "NTFS", "FAT16", "FAT32", "exFat"
  uint32_t type;     // VolumeType
  bool (*probe)(const uint8_t* sector);
};
const FsProbeRow* FsProbeTable(uint32_t* rows);
// The type of the first row whose test passes; 0 for none.
uint32_t ProbeBootSector(const uint8_t* sector);
// "NTFS", "FAT16", "FAT32", "exFat"; empty for other types.
const char16_t* FsNameOfType(uint32_t type);

// Sector 0 of the volume, else its last sector (NTFS), else sector 6 (FAT; FAT32 wins), else
// sector 12 (exFAT). On success the matching sector becomes the boot-sector copy.
bool DetectVolumeFileSystem(DiskReader& reader, VolumeContext& vol, uint32_t* type);

// Per-type calls into the parsers.
bool SetupVolumeOfType(uint32_t type, const VolumeContext& source, DiskReader& reader, const uint8_t* boot,
                       uint64_t firstLba, uint64_t sectors, VolumeContext& out);
bool ReadVolumeLabelOfType(uint32_t type, DiskReader& reader, VolumeContext& vol);
bool ValidateNtfsBootHit(DiskReader& reader, const uint8_t* boot, uint64_t lba);

// Runs the volume's parser when the edition value "ParseFileSys" is "1"; 0 when parsing is
// off or the type has no parser.
int ParseVolumeFileSystem(FsStopWord* runState, VolumeContext& vol);
