// VolumeContext: everything known about one disk, logical drive, partition, disk area, image
// file, scanned volume or classified view, with the record table of the files found on it.
//
// Copies are shallow: the record chunks, the FAT and bitmap buffers and the MFT extent list
// are shared by pointer, so a record changed through one copy is changed in every copy. Only
// the owner (a VolumeList slot or a scan's working context) frees them, once, with
// FreeAllFileRecords; DeepCopyVolume is the one copy that duplicates them. The context holds
// string objects and is never stored byte for byte.
#pragma once

#include <cstdint>

#include "platform/cstring.h"

constexpr int kRecordChunkCount = 64;
constexpr uint64_t kUnknownSectorCount = 0x1000000000000ull;
constexpr uint32_t kImageDiskNumber = 99;

// File-system or view type.
enum VolumeType : uint32_t {
  kVolTypeNone = 0,
  kVolTypeExfat = 4,
  kVolTypeFat16 = 10,
  kVolTypeFat32 = 11,
  kVolTypeNtfs = 12,
  kVolTypeView = 13,          // classified view: the table holds ViewNodes
  kVolTypeFindFile = 14,      // carved-file view "FindFile"
  kVolTypeFat32Rebuilt = 15,  // FAT32 rebuilt from scan hits
  kVolTypeExfatRebuilt = 16,  // exFAT rebuilt from scan hits
};

// What the user chose as scan target (5 is not used).
enum TargetKind : uint32_t {
  kTargetDrive = 1,
  kTargetArea = 2,
  kTargetPartition = 3,
  kTargetDisk = 4,
  kTargetSavedScan = 6,
  kTargetFolder = 7,
  kTargetImage = 8,
  kTargetRecycleBin = 9,
  kTargetDesktop = 10,
};

// Split of a scanned volume by deletion state.
enum SplitKind : uint32_t { kSplitNone = 0, kSplitExisting = 1, kSplitDeleted = 2 };

// How a deep scan came to a volume it shows: the device's own partition list, a partition
// table or a boot sector the scan found, a rebuild from found metadata, the files known only
// from index records, or the carved files.
enum VolumeFoundBy : uint32_t {
  kFoundByNone = 0,
  kFoundByTable = 1,
  kFoundByTableHit = 2,
  kFoundByBootHit = 3,
  kFoundByRebuild = 4,
  kFoundByIndexRecords = 5,
  kFoundBySignature = 6,
};

struct VolumeContext {
  uint32_t mark = 0;            // shown mark of the device lists (first byte set to 1)
  uint64_t firstLba = 0;        // first sector in the LBA space of the opened device
  uint64_t diskStartLba = 0;    // where a logical drive starts on its disk
  uint64_t sectorCount = 0;     // kUnknownSectorCount when unknown
  CString name;
  uint32_t removable = 0;
  uint32_t trimEnabled = 0;
  uint32_t diskNumber = 0;      // kImageDiskNumber for an image file
  uint32_t logicalDrive = 0;
  uint32_t active = 0;          // partition entry had the boot indicator 0x80
  uint32_t entryClass = 0;      // 2 extended entry, 3 other entry, 0 none
  char16_t driveLetter = 0;
  uint32_t type = 0;            // VolumeType
  uint64_t freeSectors = 0;
  CString volumePath;
  CString label;
  CString fsName;
  uint32_t volumeSerial = 0;
  uint8_t bootSector[512] = {};
  uint8_t* fatBuffer = nullptr;     // guarded-heap block owned by this context
  uint32_t fatBufferSize = 0;
  uint8_t* bitmapBuffer = nullptr;  // guarded-heap block owned by this context
  uint32_t bitmapBufferSize = 0;
  uint32_t splitKind = 0;           // SplitKind
  uint8_t* recordTable[kRecordChunkCount] = {};  // chunks of FileRecords or ViewNodes
  uint32_t idLimit = 0;             // one more than the highest id stored
  uint32_t fileCount = 0;           // non-directory records linked by AddFileRecord
  CString diskModel;
  CString devicePath;               // the path the sector reader opens
  uint64_t deviceSectors = 0;
  uint32_t targetKind = 0;          // TargetKind
  CString sourcePath;               // folder or image file of kinds 7 and 8
  CString scanStateFile;
  uint32_t operation = 0;           // RecoveryMode of this target's scan
  uint32_t earliestTime = 0;        // packed time bounds of the live entries
  uint32_t latestTime = 0;
  uint64_t lowestLba = 0;
  uint64_t highestLba = 0;
  uint64_t* mftExtents = nullptr;   // (start LBA, sector count) pairs; owned by this context
  uint32_t mftExtentCount = 0;      // number of pairs
  uint32_t foundBy = 0;             // VolumeFoundBy

  // Members are copied one by one: scalars and texts by value, chunk and buffer pointers as
  // pointers (shared). The destructor frees the texts only.
  VolumeContext() = default;
  VolumeContext(const VolumeContext&) = default;
  VolumeContext(VolumeContext&&) = default;
  VolumeContext& operator=(const VolumeContext&) = default;
  VolumeContext& operator=(VolumeContext&&) = default;
  ~VolumeContext() = default;
};

// Zeroes every scalar, the boot sector, the chunk, buffer and extent pointers with their
// sizes, and empties the texts, without freeing anything (free an owner's records first).
void ResetVolumeContext(VolumeContext& ctx);

// The one process-wide context of the device or area being scanned. The scan that owns it uses
// the reference; a thread that may run while a scan changes the target (preview, copy-out) takes
// a copy with CopyScanTarget, and a scan that changes the target while such threads run sets it
// with SetScanTarget: its texts are not safe to copy while they are being replaced.
VolumeContext& ScanTarget();
VolumeContext CopyScanTarget();
void SetScanTarget(const VolumeContext& target);

// The serial number from the boot-sector copy for the volume's type (NTFS 0x48, FAT16 0x27,
// FAT32 0x43, exFAT 0x64); 0 for other types.
uint32_t ReadVolumeSerial(const VolumeContext& ctx);
