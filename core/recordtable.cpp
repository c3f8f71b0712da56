#include "core/recordtable.h"

#include <cstring>

#include "base/heap.h"
#include "core/chainguard.h"
#include "core/filetypetable.h"

namespace {

constexpr uint32_t kChunk0End = 2000;
constexpr uint32_t kChunk1End = 10000;
constexpr uint32_t kChunk2End = 50000;
constexpr uint32_t kBigChunkEntries = 100000;

// The slot address of a mapped id, or null when the chunk is missing.
uint8_t* SlotAddress(const VolumeContext& ctx, uint32_t id, uint32_t entrySize) {
  RecordSlotPos pos;
  if (!MapRecordId(id, pos)) return nullptr;
  uint8_t* chunk = ctx.recordTable[pos.chunk];
  return chunk ? chunk + size_t(pos.slot) * entrySize : nullptr;
}

uint8_t* AllocSlotAddress(VolumeContext& ctx, uint32_t id, uint32_t entrySize) {
  if (id == 0 || id > kMaxRecordId) return nullptr;
  RecordSlotPos pos;
  if (!MapRecordId(id, pos)) return nullptr;
  uint8_t*& chunk = ctx.recordTable[pos.chunk];
  if (!chunk) chunk = static_cast<uint8_t*>(AllocRecordChunk(pos.chunk, entrySize));
  return chunk + size_t(pos.slot) * entrySize;
}

uint32_t StoredId(const uint8_t* slot) {
  uint32_t id;
  std::memcpy(&id, slot, sizeof(id));
  return id;
}

}  // namespace

bool MapRecordId(uint32_t id, RecordSlotPos& pos) {
  if (id < kChunk0End) {
    pos = {0, id};
  } else if (id < kChunk1End) {
    pos = {1, id - kChunk0End};
  } else if (id < kChunk2End) {
    pos = {2, id - kChunk1End};
  } else {
    const uint32_t k = (id - kChunk2End) / kBigChunkEntries;
    if (k >= uint32_t(kRecordChunkCount - 3)) return false;
    pos = {3 + k, (id - kChunk2End) % kBigChunkEntries};
  }
  return true;
}

uint32_t RecordChunkEntries(uint32_t chunk) {
  switch (chunk) {
    case 0: return kChunk0End;
    case 1: return kChunk1End - kChunk0End;
    case 2: return kChunk2End - kChunk1End;
    default: return kBigChunkEntries;
  }
}

uint32_t RecordChunkOf(uint32_t id) {
  RecordSlotPos pos;
  return MapRecordId(id, pos) ? pos.chunk : uint32_t(kRecordChunkCount);
}

void* AllocRecordChunk(uint32_t chunkClass, uint32_t entrySize) {
  static const unsigned kTags[4] = {48, 50, 52, 54};
  const uint32_t cls = chunkClass < 3 ? chunkClass : 3;
  return AllocMem(uint64_t(RecordChunkEntries(cls)) * entrySize, kTags[cls]);
}

FileRecord* GetFileRecord(const VolumeContext& ctx, uint32_t id, int allowUnnamed) {
  if (id == 0 || id >= ctx.idLimit || id > kRecordIdEnd) return nullptr;
  uint8_t* slot = SlotAddress(ctx, id, sizeof(FileRecord));
  if (!slot || StoredId(slot) != id) return nullptr;
  auto* rec = reinterpret_cast<FileRecord*>(slot);
  if (rec->flags & kRecUnnamed) return allowUnnamed ? rec : nullptr;
  return rec->name ? rec : nullptr;
}

FileRecord* AllocFileRecordSlot(VolumeContext& ctx, uint32_t id) {
  return reinterpret_cast<FileRecord*>(AllocSlotAddress(ctx, id, sizeof(FileRecord)));
}

FileRecord* PeekRecordSlot(const VolumeContext& ctx, uint32_t id) {
  if (id == 0 || id > kMaxRecordId) return nullptr;
  uint8_t* slot = SlotAddress(ctx, id, sizeof(FileRecord));
  if (!slot || StoredId(slot) != id) return nullptr;
  return reinterpret_cast<FileRecord*>(slot);
}

ViewNode* GetViewNode(const VolumeContext& view, uint32_t id) {
  if (id == 0 || id >= view.idLimit || id > kRecordIdEnd) return nullptr;
  uint8_t* slot = SlotAddress(view, id, sizeof(ViewNode));
  if (!slot || StoredId(slot) != id) return nullptr;
  return reinterpret_cast<ViewNode*>(slot);
}

ViewNode* AllocViewNodeSlot(VolumeContext& view, uint32_t id) {
  return reinterpret_cast<ViewNode*>(AllocSlotAddress(view, id, sizeof(ViewNode)));
}

uint32_t AddFileRecord(VolumeContext& ctx, const FileRecord& tmpl, uint32_t link) {
  FileRecord rec;
  std::memcpy(static_cast<void*>(&rec), &tmpl, sizeof(FileRecord));
  if (ctx.type != kVolTypeFindFile && rec.name && !(rec.flags & kRecDirectory))
    rec.typeId = GetTypeIdByExtension(rec.name);
  if (rec.id == 0) rec.id = ctx.idLimit;
  const uint32_t id = rec.id;
  if (id >= kRecordIdEnd) return 0;
  FileRecord* slot = AllocFileRecordSlot(ctx, id);
  if (!slot) return 0;
  // The template may be the slot itself (a record stored again); its buffers then stay.
  if (slot->id == id && static_cast<const void*>(slot) != static_cast<const void*>(&tmpl)) FreeFileRecord(*slot);
  std::memcpy(static_cast<void*>(slot), &rec, sizeof(FileRecord));
  if (id >= ctx.idLimit) ctx.idLimit = id + 1;
  if (link) {
    FileRecord* parent = GetFileRecord(ctx, rec.parent, 0);
    // A record is never its own child: that would put a loop into every walk down the tree.
    if (parent && parent != slot) {
      AppendChildId(*parent, id);
      if (!(rec.flags & kRecDirectory)) {
        AddSizeToAncestors(ctx, rec.parent, rec.size, link);
        ++ctx.fileCount;
      }
    }
  }
  return id;
}

void AddSizeToAncestors(VolumeContext& ctx, uint32_t startId, uint64_t size, uint32_t flag) {
  ChainGuard guard;
  uint32_t id = startId;
  while (FileRecord* rec = GetFileRecord(ctx, id, 0)) {
    if (!guard.Visit(id)) break;
    const uint32_t parent = rec->parent;
    if (parent == rec->id) break;  // the root
    if (flag) {
      rec->filesBelow = int32_t(uint32_t(rec->filesBelow) + 1);
      rec->size += size;
    }
    if (parent == kRootId) break;
    id = parent;
  }
}
