// The lowest NTFS layer: one 1024-byte MFT record read and repaired, its attributes walked,
// run lists (mapping pairs) decoded into cluster runs and then into absolute sectors, and the
// $DATA runs of files whose attribute list spreads them over extension records joined into
// one explicit extent list kept in the file's record.
//
// Records come from the disk and are hostile: every offset and length is checked against the
// 1024 bytes of the record and against the attribute that holds it before it is used.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dataextent.h"

#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"

constexpr uint32_t kMftRecordBytes = 1024;
constexpr uint32_t kMftRecordSectors = 2;
// The delta of a sparse run; its extent is a hole (kHoleLbaBase).
constexpr int64_t kSparseRunMark = 0x1000000000000;
// A run that moves the LCN by more than this cannot be real (no volume has 2^48 clusters).
constexpr int64_t kMaxRunDelta = 0x1000000000000;

enum NtfsAttrType : uint32_t {
  kAttrStandardInfo = 0x10,
  kAttrList = 0x20,
  kAttrFileName = 0x30,
  kAttrVolumeName = 0x60,
  kAttrData = 0x80,
  kAttrIndexAllocation = 0xA0,
};


struct DataRunNode {
  int64_t delta;
  uint32_t clusters;
  DataRunNode* next;
};

// Little-endian reads of a record in memory; callers check the bounds first.
uint16_t NtfsRead16(const uint8_t* p);
uint32_t NtfsRead32(const uint8_t* p);
uint64_t NtfsRead64(const uint8_t* p);

// The update-sequence repair: the words at 0x32 and 0x34 go to the tails of the two sectors.
// Always done, before any check, also on a record that failed to read or is not "FILE".
void RepairMftRecord(uint8_t* record);
bool HasFileMagic(const uint8_t* record);

// Offset in the record of the first attribute of the type at or after position from (0: the
// first attribute), or -1. Every attribute passed over lies wholly inside the record.
int32_t FindAttributeOffset(const uint8_t* record, uint32_t type, uint32_t from = 0);
// The resident value of the attribute at offset: its position in the record and its length,
// both inside the attribute and the record. False for a non-resident or damaged attribute.
bool GetResidentValue(const uint8_t* record, int32_t attrOffset, uint32_t& valueOffset, uint32_t& valueLength);
// The run list of the non-resident attribute at offset, inside the attribute and the record.
bool GetRunList(const uint8_t* record, int32_t attrOffset, uint32_t& runOffset, uint32_t& runLength);

// Bytes past length read as zeros: the last run is never read beyond the list.
DataRunNode* DecodeMappingPairs(const uint8_t* bytes, uint32_t length);
void FreeDataRunNodes(DataRunNode* head);
bool DecodeDataRuns(const uint8_t* bytes, uint32_t length, DataExtentList& out);
// Runs in absolute sectors: a sparse run becomes a hole; a run whose LCN leaves the volume (or
// goes below 0) or that overlaps an earlier run of the list becomes unreadable. Either keeps
// the offsets of the runs after it.
bool DataRunsToSectors(const VolumeContext& vol, const uint8_t* bytes, uint32_t length, DataExtentList& out);
// Marks every run that shares sectors with an earlier run of the list unreadable: one file's
// data never lies twice in one place.
void MarkOverlappingRuns(DataExtentList& runs);
uint32_t VolumeSectorsPerCluster(const VolumeContext& vol);

// The runs of the $MFT from its own record at lba (record 0, or its mirror's copy), joined
// through its attribute list when the MFT has grown past one record's runs.
bool ReadMftDataRuns(DiskReader& reader, const VolumeContext& vol, uint64_t lba, DataExtentList& out);
void StoreExtentPairs(FileRecord& rec, const DataExtentList& extents);
