#include "parsefilesystem/parsentfs/foundmftrecord.h"

#include <cstring>

#include "base/heap.h"
#include "core/dataextent.h"
#include "core/filetypetable.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"

namespace {

constexpr unsigned kTagSummary = 224;
constexpr unsigned kTagSummaryName = 287;
constexpr unsigned kTagSummaryRuns = 120;
constexpr unsigned kTagRecordName = 344;
constexpr unsigned kTagRecordRuns = 366;

constexpr uint32_t kAttrHeadBytes = 16;
constexpr uint32_t kNonResidentHeadBytes = 0x40;
constexpr uint32_t kMaxSiValueOffset = 512;
constexpr uint32_t kTimesBytes = 16;
constexpr uint32_t kFileNameHead = 0x42;  // parent reference … name length, namespace
constexpr uint32_t kMaxResidentBytes = 1023;
constexpr uint32_t kMaxRunListBytes = 1023;
constexpr uint64_t kLow32 = 0xFFFFFFFFull;

// The attributes of a record in order. An attribute of type 0 or 0xFFFFFFFF, of length 0 or
// one whose header or body would reach past the record ends the walk: nothing after it can be
// placed.
struct AttrWalk {
  const uint8_t* record;
  uint32_t pos;
  int steps = 0;
  explicit AttrWalk(const uint8_t* r) : record(r), pos(NtfsRead16(r + 0x14)) {}
  // Offset of the next attribute, or 0 at the end.
  uint32_t Next() {
    // At most one attribute per 16 bytes fits into a record.
    if (steps++ >= int(kMftRecordBytes / kAttrHeadBytes)) return 0;
    if (pos < 0x18 || pos + kAttrHeadBytes > kMftRecordBytes) return 0;
    const uint32_t type = NtfsRead32(record + pos);
    const uint32_t len = NtfsRead32(record + pos + 4);
    if (type == 0 || type == 0xFFFFFFFF || len < kAttrHeadBytes || len > kMftRecordBytes - pos) return 0;
    const uint32_t at = pos;
    pos += len;
    return at;
  }
};

uint32_t AttrType(const uint8_t* record, uint32_t at) { return NtfsRead32(record + at); }
uint32_t AttrLength(const uint8_t* record, uint32_t at) { return NtfsRead32(record + at + 4); }

bool TakeStandardInformation(const uint8_t* r, MftHitInfo& out) {
  AttrWalk walk(r);
  for (uint32_t at = walk.Next(); at != 0; at = walk.Next()) {
    if (AttrType(r, at) != kAttrStandardInfo) continue;
    // Only the first one counts; its times must lie inside the record.
    if (at + 0x16 > kMftRecordBytes) return false;
    const uint32_t vo = NtfsRead16(r + at + 0x14);
    if (vo > kMaxSiValueOffset || uint64_t(at) + vo + kTimesBytes > kMftRecordBytes) return false;
    out.ctime = FileTimeToPacked(NtfsRead64(r + at + vo));
    out.mtime = FileTimeToPacked(NtfsRead64(r + at + vo + 8));
    return true;
  }
  return false;
}

struct NameChoice {
  uint32_t offset = 0;  // of the name's characters in the record
  uint32_t chars = 0;
  uint32_t dataFrom = 0;  // where the $DATA search starts
};

// The Win32 (or Win32 and DOS) name ends the search; a POSIX name is taken while nothing better
// is held; DOS-only names are passed over. Every $FILE_NAME visited gives the parent.
bool ChooseName(const uint8_t* r, MftHitInfo& out, NameChoice& choice) {
  bool have = false;
  AttrWalk walk(r);
  for (uint32_t at = walk.Next(); at != 0; at = walk.Next()) {
    if (AttrType(r, at) != kAttrFileName) continue;
    if (at + 0x16 > kMftRecordBytes) break;
    const uint64_t value = uint64_t(at) + NtfsRead16(r + at + 0x14);
    if (value + kFileNameHead > kMftRecordBytes) break;
    const uint32_t declared = r[value + 0x40];
    if (value + kFileNameHead + uint64_t(declared) * 2 > kMftRecordBytes) break;
    out.parentRecord = NtfsRead32(r + value);
    const uint8_t nameSpace = r[value + 0x41];
    const bool win32 = nameSpace == 1 || nameSpace == 3;
    if (nameSpace == 2 || (nameSpace == 0 && have) || nameSpace > 3) continue;
    // The name ends at an embedded NUL.
    uint32_t chars = 0;
    while (chars < declared && NtfsRead16(r + value + kFileNameHead + 2 * chars) != 0) ++chars;
    choice.offset = uint32_t(value) + kFileNameHead;
    choice.chars = chars;
    have = chars != 0;
    if (win32 && have) {
      choice.dataFrom = at + AttrLength(r, at);
      return true;
    }
  }
  choice.dataFrom = 0;
  return have;
}

void TakeData(const uint8_t* r, uint32_t from, MftHitInfo& out) {
  AttrWalk walk(r);
  for (uint32_t at = walk.Next(); at != 0; at = walk.Next()) {
    if (at < from || AttrType(r, at) != kAttrData) continue;
    const uint32_t len = AttrLength(r, at);
    if (r[at + 8] == 0) {
      out.flags |= kMftHitResidentData;
      if (at + 0x16 > kMftRecordBytes) return;
      const uint32_t vl = NtfsRead32(r + at + 0x10);
      const uint32_t vo = NtfsRead16(r + at + 0x14);
      out.dataSize = (vl >= 1 && vl <= kMaxResidentBytes && vo < kMftRecordBytes) ? vl : 0;
      return;
    }
    if (len < kNonResidentHeadBytes) return;
    out.allocatedSize = NtfsRead64(r + at + 0x28);
    out.dataSize = NtfsRead64(r + at + 0x30);
    if (out.dataSize > out.allocatedSize && out.dataSize > kLow32) out.dataSize &= kLow32;
    const uint32_t runOffset = NtfsRead16(r + at + 0x20);
    if (runOffset >= len) return;
    const uint32_t runBytes = len - runOffset;
    if (runBytes < 1 || runBytes > kMaxRunListBytes) return;
    out.runList = static_cast<uint8_t*>(AllocMem(runBytes, kTagSummaryRuns));
    std::memcpy(out.runList, r + at + runOffset, runBytes);
    out.runListLength = uint16_t(runBytes);
    return;
  }
}

bool HasIndexAllocation(const uint8_t* r) {
  AttrWalk walk(r);
  for (uint32_t at = walk.Next(); at != 0; at = walk.Next())
    if (AttrType(r, at) == kAttrIndexAllocation) return true;
  return false;
}

}  // namespace

bool ParseFoundMftRecord(const uint8_t* r, MftHitInfo& out) {
  std::memset(static_cast<void*>(&out), 0, sizeof out);
  if (!HasFileMagic(r)) return false;
  out.flags = uint8_t(NtfsRead16(r + 0x16) & (kMftHitInUse | kMftHitDirectory));
  out.recordNumber = NtfsRead32(r + 0x2C);
  if (!TakeStandardInformation(r, out)) return false;
  NameChoice name;
  if (!ChooseName(r, out, name)) return false;
  auto* copy = static_cast<char16_t*>(AllocMem((uint64_t(name.chars) + 1) * 2, kTagSummaryName));
  for (uint32_t i = 0; i < name.chars; ++i) copy[i] = char16_t(NtfsRead16(r + name.offset + 2 * i));
  copy[name.chars] = 0;
  out.name = copy;
  out.nameLength = uint16_t(name.chars);
  TakeData(r, name.dataFrom, out);
  if (HasIndexAllocation(r)) out.flags |= kMftHitIndexAllocation;
  return true;
}

bool SummarizeFoundMftRecord(const uint8_t* record, uint64_t, void** detail) {
  *detail = nullptr;
  MftHitInfo info;
  if (!ParseFoundMftRecord(record, info)) return false;
  auto* block = static_cast<MftHitInfo*>(AllocMem(sizeof(MftHitInfo), kTagSummary));
  std::memcpy(static_cast<void*>(block), &info, sizeof info);
  *detail = block;
  return true;
}

const MftHitInfo* MftHitSummary(const SectorHit& hit) {
  if (hit.kind != kKindMftRecord || hit.detail == nullptr) return nullptr;
  // A detail too small to be a summary is none: its fields would be read past its block.
  if (GetMemSize(hit.detail) < sizeof(MftHitInfo)) return nullptr;
  return static_cast<const MftHitInfo*>(hit.detail);
}

bool FileRecordFromMftHit(const VolumeContext& vol, FileRecord& out, const SectorHit& hit) {
  std::memset(static_cast<void*>(&out), 0, sizeof out);
  const MftHitInfo* info = MftHitSummary(hit);
  if (info == nullptr) return false;
  const char16_t* name = info->name;
  if (info->nameLength == 0 || name == nullptr) return false;
  out.id = info->recordNumber;
  out.parent = info->parentRecord;
  out.ctime = info->ctime;
  out.mtime = info->mtime;
  out.size = info->dataSize;
  const uint8_t f = info->flags;
  uint16_t flags = 0;
  if (f & kMftHitInUse) flags |= kRecInUse;
  if (f & kMftHitDirectory) flags |= kRecDirectory;
  if (f & kMftHitResidentData) flags |= kRecResident;
  out.flags = flags;
  out.name = DupRecordName(name, kTagRecordName, kTagRecordName);
  out.typeId = (flags & kRecDirectory) ? kTypeNone : GetTypeIdByExtension(out.name);
  const uint8_t* runs = info->runList;
  const uint32_t runBytes = info->runListLength;
  if (runs != nullptr && runBytes != 0) {
    out.blob = DupHeapBytes(runs, runBytes, kTagRecordRuns, kTagRecordRuns);
    out.blobLength = runBytes;
  }
  if (flags & kRecResident) {
    out.lba = hit.lba;
  } else if (out.blob != nullptr) {
    DataExtentList runsOut;
    if (DataRunsToSectors(vol, out.blob, out.blobLength, runsOut))
      for (const DataExtent& e : runsOut)
        if (!IsHoleExtent(e) && !IsUnreadableExtent(e)) {
          out.lba = e.startLba;
          break;
        }
  }
  return true;
}
