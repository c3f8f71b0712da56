// A found file's data as sector runs on the scanned device, whatever file system or scan found
// it: explicit extent lists, per-file-system run lists, resident NTFS data and carved runs.
//
// The file-system parsers link core, not the other way round, so each parser installs the
// routine that turns its records into runs (an extent provider, by volume type) in an init
// function that the program and the test tools call at start. A type without a provider has no
// extents.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dataextent.h"
#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
struct VolumeList;  // core/volumelist.h; not included, so parser code may include this header

// Fills out with the runs of the record of ctx; false when it has none. Called with the
// record already found and not flagged as an explicit extent list. The provider may replace
// the record's blob (an attribute list loaded from the disk becomes an extent list).
using ExtentProvider = bool (*)(VolumeContext& ctx, FileRecord& rec, DataExtentList& out);
// Installs (or with null removes) the provider of one volume type.
void SetExtentProvider(uint32_t volumeType, ExtentProvider provider);
ExtentProvider GetExtentProvider(uint32_t volumeType);

// 1 when out holds the item's runs (slot, or 0x10000 | view with a node id); out is emptied
// first. The first form uses the application's VolumeList.
int GetItemExtents(uint32_t slotOrView, uint32_t id, DataExtentList& out);
int GetItemExtents(VolumeList& list, uint32_t slotOrView, uint32_t id, DataExtentList& out);
int GetRecordExtents(VolumeContext& ctx, uint32_t id, DataExtentList& out);
// The record's ByteRangeList as runs; 0 without a blob, with a blob length of 0 or one that is
// not a multiple of 16.
int FormatByteRanges(const FileRecord& rec, DataExtentList& out);
// Copies bytes of the resident $DATA value of the MFT record at lba, from byte offset of the
// value, at most max of them, into dst. Returns the count, 0 when nothing can be taken.
uint64_t ReadResidentData(DiskReader& reader, uint64_t lba, uint64_t offset, void* dst, uint64_t max);
