#include "core/itemread.h"

#include <algorithm>
#include <cstring>

#include "base/heap.h"
#include "core/dataextents.h"
#include "core/filetypetable.h"
#include "core/itemquery.h"
#include "core/lznt1.h"
#include "core/recordtable.h"
#include "core/volumelist.h"

namespace {

constexpr uint8_t kTypeMts = 88;
// Direct reads into the destination go in pieces of this many sectors (4 MiB).
constexpr uint32_t kDirectSectors = 8192;
// Sector counts come from the disk: a run longer than 2^54 sectors cannot be addressed.
constexpr uint64_t kMaxRunSectors = uint64_t(1) << 54;
// NTFS compresses in units of 16 clusters, and only on volumes of clusters up to 4 KiB.
constexpr uint32_t kUnitClusters = 16;
constexpr uint32_t kMaxUnitSectors = 128;

uint64_t RunSectors(const DataExtent& e) { return std::min(e.sectorCount, kMaxRunSectors); }

}  // namespace

void MakeItemLayout(const VolumeContext& ctx, const FileRecord& rec, DataExtentList extents, ItemLayout& out) {
  out = ItemLayout{};
  out.extents = std::move(extents);
  out.size = rec.size;
  out.phase = ItemDataPhase(ctx, rec);
  const uint16_t flags = rec.flags;
  out.resident = (flags & kRecResident) && !(flags & kRecExtentList) && ctx.type == kVolTypeNtfs;
  out.residentLba = rec.lba;
  if ((flags & kRecCompressed) && ctx.type == kVolTypeNtfs) out.unitSectors = CompressionUnitSectors(ctx.bootSector[0x0D]);
}

uint32_t CompressionUnitSectors(uint32_t sectorsPerCluster) {
  const uint32_t unit = kUnitClusters * sectorsPerCluster;
  // A unit NTFS never writes has no readable unit: an impossible size marks it.
  return unit != 0 && unit <= kMaxUnitSectors ? unit : UINT32_MAX;
}

void ItemReader::Index() {
  runStart_.clear();
  runStart_.reserve(layout_.extents.size());
  uint64_t at = 0;
  for (const DataExtent& e : layout_.extents) {
    runStart_.push_back(at);
    const uint64_t bytes = RunSectors(e) * kSectorBytes;
    at = bytes > UINT64_MAX - at ? UINT64_MAX : at + bytes;
  }
  unitIndex_ = UINT64_MAX;
  failed_ = false;
}

bool ItemReader::Open(VolumeContext& ctx, uint32_t id) {
  const FileRecord* rec = GetFileRecord(ctx, id);
  if (!rec) return false;
  DataExtentList extents;
  if (!GetRecordExtents(ctx, id, extents)) return false;
  // The record found under the id may be a copy of the caller's; the layout takes the stored one.
  rec = GetFileRecord(ctx, id);
  if (!rec) return false;
  MakeItemLayout(ctx, *rec, std::move(extents), layout_);
  Index();
  reader_ = &own_;
  return OpenVolumeDevice(CopyScanTarget(), own_) != 0;
}

void ItemReader::Use(ItemLayout layout, DiskReader& reader) {
  layout_ = std::move(layout);
  Index();
  reader_ = &reader;
}

uint64_t ItemReader::Read(uint64_t offset, void* dst, uint64_t count) {
  if (!reader_ || !dst || offset >= layout_.size) return 0;
  count = std::min(count, layout_.size - offset);
  if (count == 0) return 0;
  auto* out = static_cast<uint8_t*>(dst);
  if (layout_.resident) {
    const uint64_t n = ReadResidentData(*reader_, layout_.residentLba, offset, out, count);
    if (n < count) failed_ = true;
    return n;
  }
  if (layout_.unitSectors != 0) return ReadCompressed(offset, out, count);
  if (layout_.phase > UINT64_MAX - offset) return 0;
  return ReadRuns(layout_.phase + offset, out, count);
}

bool ItemReader::ReadRunBytes(uint64_t lba, uint64_t within, uint8_t* dst, uint64_t n) {
  DiskReader& reader = *reader_;
  uint64_t sector = lba + within / kSectorBytes;
  const uint32_t skip = uint32_t(within % kSectorBytes);
  if (skip != 0) {
    if (!reader.ReadSectorsWithRetry(sector_, sector, 1)) return false;
    const uint64_t take = std::min<uint64_t>(kSectorBytes - skip, n);
    std::memcpy(dst, sector_ + skip, take);
    dst += take;
    n -= take;
    ++sector;
  }
  // Whole sectors straight into the destination.
  while (n >= kSectorBytes) {
    const uint32_t sectors = uint32_t(std::min<uint64_t>(n / kSectorBytes, kDirectSectors));
    if (!reader.ReadSectorsWithRetry(dst, sector, sectors)) return false;
    dst += uint64_t(sectors) * kSectorBytes;
    n -= uint64_t(sectors) * kSectorBytes;
    sector += sectors;
  }
  if (n != 0) {
    if (!reader.ReadSectorsWithRetry(sector_, sector, 1)) return false;
    std::memcpy(dst, sector_, n);
  }
  return true;
}

uint64_t ItemReader::ReadRuns(uint64_t pos, uint8_t* dst, uint64_t count) {
  const std::vector<DataExtent>& runs = layout_.extents;
  auto it = std::upper_bound(runStart_.begin(), runStart_.end(), pos);
  if (it == runStart_.begin()) return 0;
  size_t i = size_t(it - runStart_.begin()) - 1;
  uint64_t copied = 0;
  for (; i < runs.size() && copied < count; ++i) {
    const DataExtent& e = runs[i];
    const uint64_t runBytes = RunSectors(e) * kSectorBytes;
    if (pos - runStart_[i] >= runBytes) continue;
    const uint64_t within = pos - runStart_[i];
    const uint64_t n = std::min(runBytes - within, count - copied);
    if (IsHoleExtent(e)) {
      std::memset(dst + copied, 0, n);
    } else if (IsUnreadableExtent(e) || !ReadRunBytes(e.startLba, within, dst + copied, n)) {
      failed_ = true;
      return copied;
    }
    copied += n;
    pos += n;
  }
  return copied;
}

// One compression unit into unit_: stored units are read as they are, units of holes are zeros,
// and a unit whose sectors end in holes holds compressed data in the sectors before them.
bool ItemReader::LoadUnit(uint64_t unit) {
  if (unit == unitIndex_) return true;
  const uint64_t unitBytes = uint64_t(layout_.unitSectors) * kSectorBytes;
  unit_.resize(unitBytes);
  packed_.resize(unitBytes);
  unitIndex_ = UINT64_MAX;
  const uint64_t begin = unit * unitBytes;
  auto it = std::upper_bound(runStart_.begin(), runStart_.end(), begin);
  if (it == runStart_.begin()) return false;
  size_t i = size_t(it - runStart_.begin()) - 1;
  uint64_t filled = 0, data = 0;
  bool hole = false;
  for (; i < layout_.extents.size() && filled < unitBytes; ++i) {
    const DataExtent& e = layout_.extents[i];
    const uint64_t runBytes = RunSectors(e) * kSectorBytes;
    const uint64_t within = begin + filled - runStart_[i];
    if (within >= runBytes) continue;
    const uint64_t n = std::min(runBytes - within, unitBytes - filled);
    if (IsUnreadableExtent(e)) return false;
    if (IsHoleExtent(e)) {
      hole = true;
    } else {
      // Data after a hole inside one unit is no layout NTFS writes.
      if (hole || !ReadRunBytes(e.startLba, within, packed_.data() + data, n)) return false;
      data += n;
    }
    filled += n;
  }
  if (filled < unitBytes) return false;
  if (data == unitBytes) {
    unit_.swap(packed_);
  } else if (data == 0) {
    std::fill(unit_.begin(), unit_.end(), 0);
  } else if (!DecompressLznt1(packed_.data(), data, unit_.data(), unitBytes)) {
    return false;
  }
  unitIndex_ = unit;
  return true;
}

uint64_t ItemReader::ReadCompressed(uint64_t offset, uint8_t* dst, uint64_t count) {
  if (layout_.unitSectors > kMaxUnitSectors) {
    failed_ = true;
    return 0;
  }
  const uint64_t unitBytes = uint64_t(layout_.unitSectors) * kSectorBytes;
  uint64_t copied = 0;
  while (copied < count) {
    const uint64_t at = offset + copied;
    if (!LoadUnit(at / unitBytes)) {
      failed_ = true;
      break;
    }
    const uint64_t within = at % unitBytes;
    const uint64_t n = std::min(unitBytes - within, count - copied);
    std::memcpy(dst + copied, unit_.data() + within, n);
    copied += n;
  }
  return copied;
}

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
  ItemLayout layout;
  layout.extents = extents;
  layout.size = UINT64_MAX;
  ItemReader item;
  item.Use(std::move(layout), reader);
  const uint64_t n = item.Read(offset, dst, count);
  // Past the last run there is nothing to read; anything else short is a failure.
  if (item.failed()) reader.aborted = 1;
  return n;
}

uint64_t ReadItemData(VolumeList& list, uint32_t slotOrView, uint32_t id, void* dst, uint64_t length) {
  if (!dst || length == 0 || length > kMaxItemRead) return 0;
  length = std::min<uint64_t>(length, GetMemSize(dst));
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
  if (!OpenVolumeDevice(CopyScanTarget(), reader)) return 0;
  ItemLayout layout;
  MakeItemLayout(ctx, *rec, std::move(extents), layout);
  ItemReader item;
  item.Use(std::move(layout), reader);
  return item.Read(0, dst, length);
}

uint64_t ReadItemData(uint32_t slotOrView, uint32_t id, void* dst, uint64_t length) {
  return ReadItemData(AppVolumeList(), slotOrView, id, dst, length);
}

uint64_t ReadRecordDataMax(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst, uint64_t max) {
  if (!dst) return 0;
  ItemReader item;
  if (!item.Open(ctx, rec.id)) return 0;
  return item.Read(offset, dst, std::min({max, kMaxItemRead, uint64_t(GetMemSize(dst))}));
}

uint64_t ReadRecordData(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst) {
  return ReadRecordDataMax(ctx, rec, offset, dst, kMaxItemRead);
}
