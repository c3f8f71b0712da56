// Plain reads of a found item's bytes for the preview worker, the journal readers, the test
// tools and copy-out: through the item's extents, out of its MFT record when the data is
// resident, or unit by unit when an NTFS file is compressed.
//
// A read of n bytes costs O(n): its extents are found once per item, sector-aligned stretches go
// straight into the destination, holes are filled without a device read, and nothing is zeroed
// but the bytes a hole or a short read leaves.
#pragma once

#include <cstdint>
#include <vector>

#include "core/dataextent.h"
#include "core/diskreader.h"
#include "core/filerecord.h"
#include "core/volumecontext.h"
struct VolumeList;  // core/volumelist.h; not included, so parser code may include this header

// The largest read ReadItemData serves and the size of ReadRecordData's piece.
constexpr uint64_t kMaxItemRead = 0x4000000;

// How one item's bytes lie on its device.
struct ItemLayout {
  DataExtentList extents;        // the runs, holes and unreadable runs marked
  uint64_t phase = 0;            // bytes of the runs before the file's first byte
  uint64_t size = 0;             // the file's size as its record gives it
  uint32_t unitSectors = 0;      // a compressed NTFS file: sectors of one compression unit
  bool resident = false;         // NTFS data inside the MFT record at residentLba
  uint64_t residentLba = 0;
};
// The layout of a record of ctx, given its extents (GetRecordExtents). Compression is honoured
// only for units of at most 64 KiB (clusters of 4 KiB or less), the only ones NTFS writes; a
// compressed file outside that has no readable unit.
void MakeItemLayout(const VolumeContext& ctx, const FileRecord& rec, DataExtentList extents, ItemLayout& out);
// Sectors of a compression unit on an NTFS volume of this many sectors per cluster; a value
// above any real unit when NTFS cannot compress there.
uint32_t CompressionUnitSectors(uint32_t sectorsPerCluster);

// Reads one item, keeping its layout, a sector buffer and its last decompressed unit between
// reads. Reads go through a DiskReader of the caller's or one of its own.
class ItemReader {
 public:
  ItemReader() = default;
  ItemReader(const ItemReader&) = delete;
  ItemReader& operator=(const ItemReader&) = delete;

  // Looks the record up in ctx, finds its extents once and opens the scan target's device.
  // False when the record, its extents or the device are missing.
  bool Open(VolumeContext& ctx, uint32_t id);
  // A given layout read through the caller's reader (which must outlive the reads).
  void Use(ItemLayout layout, DiskReader& reader);

  // Copies up to count bytes from byte offset (capped at the file's size) into dst, which has
  // room for count bytes. Returns the bytes copied; fewer than asked (before the size) means a
  // run was unreadable, a device read failed or a compressed unit did not decode: failed() then
  // reads true.
  uint64_t Read(uint64_t offset, void* dst, uint64_t count);
  bool failed() const { return failed_; }
  const ItemLayout& layout() const { return layout_; }

 private:
  void Index();
  uint64_t ReadRuns(uint64_t pos, uint8_t* dst, uint64_t count);
  bool ReadRunBytes(uint64_t lba, uint64_t within, uint8_t* dst, uint64_t n);
  uint64_t ReadCompressed(uint64_t offset, uint8_t* dst, uint64_t count);
  bool LoadUnit(uint64_t unit);

  ItemLayout layout_;
  std::vector<uint64_t> runStart_;  // byte position of each run's first byte in the runs
  DiskReader own_;
  DiskReader* reader_ = nullptr;
  bool failed_ = false;
  uint8_t sector_[kSectorBytes];
  std::vector<uint8_t> unit_, packed_;
  uint64_t unitIndex_ = UINT64_MAX;
};

// Copies count bytes of the data described by the runs, from byte offset on, into dst, a
// guarded-heap block (never past its end). Holes read as zeros; a failed read or an unreadable
// run sets the reader's aborted flag; the result is the number of bytes copied.
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
// into dst, a guarded-heap block (never past its end). A whole file is read faster through one
// ItemReader than piece by piece here.
uint64_t ReadRecordData(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst);
// The same with a smaller destination: at most max bytes.
uint64_t ReadRecordDataMax(VolumeContext& ctx, const FileRecord& rec, uint64_t offset, void* dst, uint64_t max);
