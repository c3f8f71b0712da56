// Plain reads of a found item's bytes for the preview worker and the journal readers: through
// the item's extents, or out of its MFT record when the data is resident.
#pragma once

#include <cstdint>

#include "core/dataextent.h"
#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
struct VolumeList;  // core/volumelist.h; not included, so parser code may include this header

// The largest read ReadItemData serves and the size of ReadRecordData's piece.
constexpr uint64_t kMaxItemRead = 0x4000000;

// Copies count bytes of the data described by the runs, from byte offset on, into dst, a
// guarded-heap block (never past its end). A failed read sets the reader's aborted flag; the result is the number
// of bytes copied.
uint64_t ReadItemBytes(DiskReader& reader, const DataExtentList& extents, uint64_t offset, void* dst,
                       uint64_t count);

// Where the file's own bytes begin in its runs: a rebuilt MTS video of the carved-file view
// starts at the phase of its first packet inside the first sector (64 or 128 bytes); every
// other file at 0. The record's size never counts those bytes.
uint64_t ItemDataPhase(const VolumeContext& ctx, const FileRecord& rec);

// Up to length bytes (capped at the file size) of an item from its start. 0 when the length is
// above kMaxItemRead, the item has no data, or resident data cannot be read (the raw record is
// never handed out instead). The first form uses the application's VolumeList.
uint64_t ReadItemData(uint32_t slotOrView, uint32_t id, void* dst, uint64_t length);
uint64_t ReadItemData(VolumeList& list, uint32_t slotOrView, uint32_t id, void* dst, uint64_t length);
// Up to kMaxItemRead bytes of the record's data from byte offset (capped at the file size)
// into dst, a guarded-heap block
// (never past its end).
uint64_t ReadRecordData(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst);
// The same with a smaller destination: at most max bytes.
uint64_t ReadRecordDataMax(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst, uint64_t max);
