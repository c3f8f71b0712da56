// The record table of a VolumeContext: 64 chunk pointers addressed by record id, and the
// primitive store and look-up operations on it.
//
// Chunk 0 holds ids 0 … 1999, chunk 1 ids 2000 … 9999, chunk 2 ids 10000 … 49999, and each
// further chunk 100000 ids from 50000 on; id 3,999,999 falls in chunk 42. A chunk is
// allocated zero-filled on the first store into it. A slot holds a record only when the id in
// its first four bytes equals the id that maps to it.
#pragma once

#include <cstdint>

#include "core/filerecord.h"
#include "core/volumecontext.h"

struct RecordSlotPos {
  uint32_t chunk;
  uint32_t slot;
};

// Chunk and slot of an id; false for an id whose chunk would be 64 or more.
bool MapRecordId(uint32_t id, RecordSlotPos& pos);
// Entries in a chunk of the given index (2000, 8000, 40000, then 100000).
uint32_t RecordChunkEntries(uint32_t chunk);
// The chunk index of an id's class, used to compare table sizes (ids past the table: 64).
uint32_t RecordChunkOf(uint32_t id);

// A zero-filled guarded-heap block for a chunk of class 0 / 1 / 2 / other.
void* AllocRecordChunk(uint32_t chunkClass, uint32_t entrySize);

// The named record with this id, or null: id 0, an id at or above the id limit or above
// 4,000,000, a missing chunk, a slot holding another id, a record without a name. A record
// flagged unnamed (0x800) is returned only when allowUnnamed is non-zero.
FileRecord* GetFileRecord(const VolumeContext& ctx, uint32_t id, int allowUnnamed = 0);
// The slot for id 1 … 3,999,999, allocating its chunk on first use; null for other ids.
// The slot is returned as it is.
FileRecord* AllocFileRecordSlot(VolumeContext& ctx, uint32_t id);
// The slot of id when it holds a record of that id, named or not; no id-limit test. For the
// whole-table operations, which must not lose unnamed records.
FileRecord* PeekRecordSlot(const VolumeContext& ctx, uint32_t id);

ViewNode* GetViewNode(const VolumeContext& view, uint32_t id);
ViewNode* AllocViewNodeSlot(VolumeContext& view, uint32_t id);

// Stores a copy of the template (its name, children and blob pass to the stored record)
// under its id, or under the id limit when the id is 0. A record already there is freed.
// With link non-zero the record is appended to its parent and a file adds its size to the
// ancestors. Returns the id, or 0 when nothing was stored.
uint32_t AddFileRecord(VolumeContext& ctx, const FileRecord& tmpl, uint32_t link);
// Adds one file and the size to every ancestor from startId up to, not including, the root
// (flag non-zero); each ancestor at most once, at most kMaxTreeDepth of them.
void AddSizeToAncestors(VolumeContext& ctx, uint32_t startId, uint64_t size, uint32_t flag);
