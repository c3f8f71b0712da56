#include "core/itemread.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"
#include "core/dataextents.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/volumelist.h"
#include "core/recordtable.h"

namespace {

constexpr unsigned kTagStaging = 501;
constexpr unsigned kTagFirstCopy = 567;
constexpr unsigned kTagLaterCopy = 569;
constexpr uint32_t kChunkSectors = 8192;
constexpr uint8_t kTypeMts = 88;

// Reads the item's data through an already opened reader.
uint64_t ReadOpened(DiskReader& reader, const VolumeContext& ctx, const FileRecord& rec,
                    const DataExtentList& extents, uint64_t offset, void* dst, uint64_t max) {
  const uint64_t size = rec.size;
  if (offset >= size || max == 0) return 0;
  const uint64_t want = std::min({size - offset, max, uint64_t(GetMemSize(dst))});
  if ((rec.flags & kRecResident) && !(rec.flags & kRecExtentList) && ctx.type == kVolTypeNtfs)
    return ReadResidentData(reader, rec.lba, offset, dst, want);
  return ReadItemBytes(reader, extents, ItemDataPhase(ctx, rec) + offset, dst, want);
}

}  // namespace

uint64_t ItemDataPhase(const VolumeContext& ctx, const FileRecord& rec) {
  const int32_t phase = rec.filesBelow;
  if (ctx.type != kVolTypeFindFile || !(rec.flags & kRecExtentList) || rec.typeId != kTypeMts) return 0;
  return phase == 64 || phase == 128 ? uint64_t(phase) : 0;
}

uint64_t ReadItemBytes(DiskReader& reader, const DataExtentList& extents, uint64_t offset, void* dst,
                       uint64_t count) {
  if (!dst || count == 0) return 0;
  // Never past the destination block.
  count = std::min<uint64_t>(count, GetMemSize(dst));
  if (count == 0) return 0;
  auto* staging = static_cast<uint8_t*>(AllocMem(uint64_t(kChunkSectors) * kSectorBytes, kTagStaging));
  uint64_t copied = 0;
  uint64_t runStart = 0;  // file offset of the current run's first byte
  bool started = false;
  for (const DataExtent& e : extents) {
    if (copied >= count) break;
    // Sector counts come from the disk: a run longer than 2^54 sectors cannot be addressed.
    const uint64_t runSectors = std::min<uint64_t>(e.sectorCount, uint64_t(1) << 54);
    const uint64_t runBytes = runSectors * kSectorBytes;
    uint64_t sector = 0, skip = 0;
    if (!started) {
      if (offset >= runStart + runBytes) {
        runStart += runBytes;
        continue;
      }
      sector = (offset - runStart) / kSectorBytes;
      skip = (offset - runStart) % kSectorBytes;
      started = true;
    }
    runStart += runBytes;
    while (sector < runSectors && copied < count) {
      const uint64_t needed = (skip + count - copied + kSectorBytes - 1) / kSectorBytes;
      const uint32_t chunk = uint32_t(std::min<uint64_t>({kChunkSectors, runSectors - sector, needed}));
      if (!reader.ReadSectorsWithRetry(staging, e.startLba + sector, chunk)) {
        reader.aborted = 1;
        FreeMem(staging);
        return copied;
      }
      const uint64_t n = std::min<uint64_t>(uint64_t(chunk) * kSectorBytes - skip, count - copied);
      CopyToMemAt(dst, uint32_t(copied), staging + skip, n, copied == 0 ? kTagFirstCopy : kTagLaterCopy);
      copied += n;
      skip = 0;
      sector += chunk;
    }
  }
  FreeMem(staging);
  return copied;
}

uint64_t ReadItemData(VolumeList& list, uint32_t slotOrView, uint32_t id, void* dst, uint64_t length) {
  if (!dst || length == 0 || length > kMaxItemRead) return 0;
  VolumeListReadGuard guard(list);
  DataExtentList extents;
  if (!GetItemExtents(list, slotOrView, id, extents)) return 0;
  const FileRecord* rec = GetItemRecord(list, slotOrView, id);
  if (!rec) return 0;
  VolumeContext ctx;
  uint32_t slot = slotOrView;
  if (IsViewId(slotOrView)) {
    const ViewNode* node = ResolveViewNode(list, slotOrView, id, 0);
    if (!node) return 0;
    slot = node->slot;
  }
  if (!CopySlotContext(list, slot, ctx)) return 0;
  DiskReader reader;
  if (!OpenVolumeDevice(ScanTarget(), reader)) return 0;
  const uint64_t n = ReadOpened(reader, ctx, *rec, extents, 0, dst, length);
  reader.Close();
  return n;
}

uint64_t ReadItemData(uint32_t slotOrView, uint32_t id, void* dst, uint64_t length) {
  return ReadItemData(AppVolumeList(), slotOrView, id, dst, length);
}

uint64_t ReadRecordDataMax(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst, uint64_t max) {
  if (!dst) return 0;
  DataExtentList extents;
  if (!GetRecordExtents(ctx, rec.id, extents)) return 0;
  // The record found under the id may be a copy of the caller's; read with the stored one.
  const FileRecord* stored = GetFileRecord(ctx, rec.id);
  if (!stored) return 0;
  DiskReader reader;
  if (!OpenVolumeDevice(ScanTarget(), reader)) return 0;
  const uint64_t n = ReadOpened(reader, ctx, *stored, extents, offset, dst, std::min(max, kMaxItemRead));
  reader.Close();
  return n;
}

uint64_t ReadRecordData(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst) {
  return ReadRecordDataMax(ctx, rec, offset, dst, kMaxItemRead);
}
