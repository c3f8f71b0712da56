#include "core/dataextents.h"

#include <array>
#include <atomic>
#include <cstring>

#include "core/itemquery.h"
#include "core/volumelist.h"
#include "core/recordtable.h"

namespace {

constexpr uint32_t kProviderSlots = 32;
constexpr uint32_t kMftBytes = 1024;
constexpr uint32_t kAttrDataType = 0x80;

std::array<std::atomic<ExtentProvider>, kProviderSlots>& Providers() {
  static auto& p = *new std::array<std::atomic<ExtentProvider>, kProviderSlots>{};
  return p;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | (uint64_t(Le32(p + 4)) << 32); }

// The update-sequence repair of a 1024-byte record. The array's place and size come from the
// header; a header that does not describe an array inside the record falls back to the usual
// place (0x30), which every record of this size uses.
void RepairRecordCopy(uint8_t* r) {
  uint32_t usa = Le16(r + 4), count = Le16(r + 6);
  if (count < 2 || usa < 0x28 || usa + 2 * uint64_t(count) > kMftBytes) {
    usa = 0x30;
    count = 3;
  }
  const uint32_t sectors = count - 1 < 2 ? count - 1 : 2;
  for (uint32_t i = 0; i < sectors; ++i) {
    r[512 * i + 510] = r[usa + 2 + 2 * i];
    r[512 * i + 511] = r[usa + 3 + 2 * i];
  }
}

}  // namespace

uint64_t ExtentSectors(const DataExtentList& extents) {
  uint64_t total = 0;
  for (const DataExtent& e : extents) total = e.sectorCount > UINT64_MAX - total ? UINT64_MAX : total + e.sectorCount;
  return total;
}

void SetExtentProvider(uint32_t volumeType, ExtentProvider provider) {
  if (volumeType < kProviderSlots) Providers()[volumeType].store(provider);
}

ExtentProvider GetExtentProvider(uint32_t volumeType) {
  return volumeType < kProviderSlots ? Providers()[volumeType].load() : nullptr;
}

int FormatByteRanges(const FileRecord& rec, DataExtentList& out) {
  out.clear();
  const uint32_t bytes = rec.blobLength;
  uint8_t* blob = rec.blob;
  if (!blob || bytes == 0 || bytes % 16 != 0) return 0;
  for (uint64_t i = 0; i + 16 <= bytes; i += 16) {
    DataExtent e;
    e.startLba = Le64(blob + i);
    e.sectorCount = Le64(blob + i + 8);
    out.push_back(e);
  }
  return out.empty() ? 0 : 1;
}

int GetRecordExtents(VolumeContext& ctx, uint32_t id, DataExtentList& out) {
  out.clear();
  FileRecord* rec = GetFileRecord(ctx, id);
  if (!rec) return 0;
  const uint16_t flags = rec->flags;
  if (flags & kRecExtentList) return FormatByteRanges(*rec, out);
  const uint64_t size = rec->size, lba = rec->lba;
  switch (ctx.type) {
    case kVolTypeNtfs:
      if ((flags & kRecResident) && !(flags & kRecAttrListOnDisk)) {
        // The data sits in the MFT record; readers take it out with ReadResidentData.
        DataExtent e;
        e.startLba = lba;
        e.sectorCount = 2;
        out.push_back(e);
        return 1;
      }
      break;
    case kVolTypeFat32Rebuilt:
      if (ctx.fatBuffer && ctx.fatBufferSize != 0) break;
      [[fallthrough]];
    case kVolTypeFindFile:
    case kVolTypeExfatRebuilt: {
      DataExtent e;
      e.startLba = lba;
      e.sectorCount = size / kSectorBytes + (size % kSectorBytes != 0);
      out.push_back(e);
      return 1;
    }
    case kVolTypeFat16:
    case kVolTypeFat32:
    case kVolTypeExfat:
      break;
    default:
      return 0;
  }
  ExtentProvider provider = GetExtentProvider(ctx.type);
  if (!provider) return 0;
  if (!provider(ctx, *rec, out)) {
    out.clear();
    return 0;
  }
  return out.empty() ? 0 : 1;
}

int GetItemExtents(VolumeList& list, uint32_t slotOrView, uint32_t id, DataExtentList& out) {
  out.clear();
  VolumeListReadGuard guard(list);
  VolumeContext ctx;
  uint32_t recordId = id;
  if (IsViewId(slotOrView)) {
    ViewNode* node = ResolveViewNode(list, slotOrView, id, 0);
    if (!node) return 0;
    const uint32_t slot = node->slot;
    if (!CopySlotContext(list, slot, ctx)) return 0;
    if (!GetItemRecord(list, slotOrView, id)) return 0;
    recordId = node->recordId;
  } else {
    if (slotOrView >= list.slotCount || slotOrView >= kVolumeSlotMax) return 0;
    if (!CopySlotContext(list, slotOrView, ctx)) return 0;
  }
  return GetRecordExtents(ctx, recordId, out);
}

int GetItemExtents(uint32_t slotOrView, uint32_t id, DataExtentList& out) {
  return GetItemExtents(AppVolumeList(), slotOrView, id, out);
}

uint64_t ReadResidentData(DiskReader& reader, uint64_t lba, uint64_t offset, void* dst, uint64_t max) {
  uint8_t r[kMftBytes] = {};
  if (!reader.ReadSectors(r, lba, 2)) return 0;
  RepairRecordCopy(r);
  if (std::memcmp(r, "FILE", 4) != 0) return 0;
  uint32_t pos = Le16(r + 0x14);
  // At most one attribute per 16 bytes fits into the record.
  for (uint32_t step = 0;; ++step) {
    if (step >= kMftBytes / 16 || pos + 16 > kMftBytes) return 0;
    const uint32_t type = Le32(r + pos);
    const uint32_t len = Le32(r + pos + 4);
    if (type == 0 || type == 0xFFFFFFFF || len == 0 || len > kMftBytes) return 0;
    if (type == kAttrDataType) break;
    pos += len;
  }
  // The value is described at +16 and +20 of a resident attribute only.
  if (pos + 0x18 > kMftBytes || r[pos + 8] != 0) return 0;
  const uint64_t valueLength = Le32(r + pos + 16);
  const uint64_t valueStart = uint64_t(pos) + Le16(r + pos + 20);
  if (valueLength == 0 || valueStart + valueLength > kMftBytes) return 0;
  if (offset >= valueLength || !dst) return 0;
  const uint64_t n = std::min(valueLength - offset, max);
  std::memcpy(dst, r + valueStart + offset, n);
  return n;
}
