// An NTFS volume turned into found files: the boot-sector test, the set-up of a partition's
// context (label, free space), the walk of the whole MFT into FileRecords with live and
// deleted files, the tree, and the cluster bitmap the deep scan uses to skip allocated space.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/diskreader.h"
#include "core/stopword.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

// Records past this many are not walked: ids end at 3,999,999.
constexpr uint64_t kMaxMftRecordsWalked = 4000000;
// The MFT is read in requests of this many sectors.
constexpr uint32_t kMftChunkSectors = 8192;


bool IsNtfsBootSector(const uint8_t* sector);
// Copies 512 bytes, or zero-fills dst when src is null.
void CopyBootSector(uint8_t* dst, const uint8_t* src);
bool SetupNtfsVolume(const VolumeContext& source, DiskReader& reader, const uint8_t* boot, uint64_t firstLba,
                     uint64_t partitionSectors, VolumeContext& out);
bool ReadNtfsVolumeLabel(DiskReader& reader, VolumeContext& vol);

// Parses the volume (first LBA, sector count, boot copy, type 12, empty table) from the device
// of the ScanTarget. False when parsing is switched off, nothing can be read, or stopped.
bool ParseNtfsVolume(StopWord stop, VolumeContext& vol);
bool WalkMftRecords(StopWord stop, DiskReader& reader, VolumeContext& vol, const DataExtentList& mft);
// What the walk needs of a record besides its FileRecord.
struct MftRecordInfo {
  uint16_t sequence = 0;        // the record's own sequence number
  uint16_t parentSequence = 0;  // the sequence number in the parent reference of the name taken
  bool hasList = false;         // an attribute list names more records of the file
};
// A repaired base record into a FileRecord (zeroed first); true when there is something to
// keep: a name, or an attribute list that may hold one. Extension records give false. A record
// with a list keeps flag 0x400 and nothing of its data; the walk joins it. The record's LBA is
// left to the caller.
bool ParseMftRecord(const VolumeContext& vol, const uint8_t* record, FileRecord& out, MftRecordInfo* info = nullptr);

void SetTimesFromStandardInformation(FileRecord& rec, const uint8_t* value);
// The $FILE_NAME value's name (valueLength bytes available) replaces the record's name.
void SetRecordNameFromFileName(FileRecord& rec, const uint8_t* value, uint32_t valueLength);
bool ParseDataAttribute(const uint8_t* record, uint32_t attrOffset, FileRecord& rec);
// Stores a copy of the $FILE_NAME value's name when the slot is empty; false only for an
// empty name into an empty slot.
bool CopyFileNameAttrName(char16_t*& slot, const uint8_t* value, uint32_t valueLength);
// The first attribute of the type at or after from (a pointer into record), or null.
const uint8_t* FindAttribute(const uint8_t* record, uint32_t type, const uint8_t* from = nullptr);

// FILETIME (UTC) as packed local time; 0 for values the conversion refuses.
uint32_t FileTimeToPacked(uint64_t fileTime);

bool ReadNtfsFileData(StopWord stop, const VolumeContext& vol, const FileRecord& rec, uint32_t max,
                      uint8_t* block);
bool LoadResidentData(const FileRecord& rec, uint8_t* buffer, uint32_t& length);

void RegisterMftExtents(const DataExtentList& extents);
void ComputeNtfsVolumeTimeBounds(VolumeContext& vol);

// Reads the $Bitmap of the ScanTarget into FreeSpaceMap / FreeSpaceMapBytes.
bool LoadNtfsBitmap(StopWord stop);
// True when [start, end] (inclusive) holds a cluster the map shows free, or there is no map.
bool HasFreeNtfsClusters(const VolumeContext& vol, const uint8_t* map, uint32_t bytes, uint64_t start, uint64_t end);
