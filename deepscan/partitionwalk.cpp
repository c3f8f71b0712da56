#include "deepscan/partitionwalk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>

#include "app/settings.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "deepscan/fsrecognize.h"

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint64_t Le64(const uint8_t* p) { return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32; }

constexpr uint32_t kEntryOffsets[4] = {0x1BE, 0x1CE, 0x1DE, 0x1EE};
constexpr uint32_t kGptSectors = 32;
constexpr uint32_t kGptEntries = 128;
constexpr uint32_t kGptEntryBytes = 128;

bool Inside(uint64_t first, uint64_t count, const VolumeContext& area) {
  uint64_t end = first + count;
  uint64_t aend = area.firstLba + area.sectorCount;
  if (end < first || aend < area.firstLba) return false;
  return first >= area.firstLba && end <= aend;
}

bool InsideAny(uint64_t first, uint64_t count, const std::vector<VolumeContext>& areas) {
  for (const VolumeContext& a : areas)
    if (Inside(first, count, a)) return true;
  return false;
}

uint64_t MinimumForTarget() {
  return ScanTarget().operation == 1 ? kMinDeepPartitionSectors : kMinPartitionSectors;
}

// Walks one extended boot record and the records it links to; the visited set ends loops and
// the record budget bounds a chain that never repeats.
void WalkExtended(const VolumeContext& disk, DiskReader& reader, uint64_t ebr, uint64_t xlba,
                  std::vector<VolumeContext>& found, std::set<uint64_t>& visited) {
  if (visited.size() >= kMaxExtendedRecords || !visited.insert(ebr).second) return;
  uint8_t s[512] = {};
  if (!reader.ReadSectors(s, ebr, 1) || !HasBootSignature(s)) return;
  uint64_t cur = ebr;
  for (uint32_t off : kEntryOffsets) {
    const uint8_t* e = s + off;
    uint8_t type = e[4];
    if (type == 0) continue;
    const uint64_t rel = Le32(e + 8), count = Le32(e + 12);
    const uint64_t start = (IsExtendedEntryType(type) ? xlba : ebr) + rel;  // 64-bit: never wraps
    if (start > cur && start - cur > kMinPartitionSectors) {
      VolumeContext gap;
      if (ProbePartition(disk, reader, cur, start - cur, gap)) found.push_back(std::move(gap));
    }
    if (IsExtendedEntryType(type)) {
      WalkExtended(disk, reader, start, xlba, found, visited);
    } else {
      VolumeContext p;
      if (ProbePartition(disk, reader, start, count, p)) found.push_back(std::move(p));
    }
    cur = start + count;
  }
}

std::atomic<bool>& DirScan() {
  static std::atomic<bool>& on = *new std::atomic<bool>(false);
  return on;
}

// A sector of FAT directory entries, told by the attribute byte of its first entry.
bool IsFatDirEntrySector(const uint8_t* s) {
  const uint8_t attr = s[11];
  if (attr == 0x08 || attr == 0x28) return IsFatVolumeLabelEntry(s) && ValidateFatDirEntries(s + 32, 480);
  if (attr == 0x0F) {
    const uint8_t seq = s[0] == 0xE5 ? uint8_t(0xE5) : uint8_t((s[0] & 0x0F) + 1);
    return ValidateFatLfnRun(s, 512, seq, s[13]);
  }
  return ValidateFatEntryRun(s, 512);
}

}  // namespace

bool IsExtendedEntryType(uint8_t type) { return type == 0x05 || type == 0x0F; }

bool IsUsableMbrEntry(const uint8_t* e) {
  uint8_t type = e[4];
  if (type == 0 || Le32(e + 8) == 0 || Le32(e + 12) < kMinPartitionSectors) return false;
  if (type > 0x1C && type != 0xEE) return false;
  return (e[0] & 0x7F) == 0;
}

bool FindDiskPartitions(const VolumeContext& disk, std::vector<VolumeContext>& areas, std::vector<VolumeContext>& out) {
  DiskReader reader;
  if (!OpenVolumeDevice(disk, reader)) return false;
  uint8_t s[512] = {};
  if (!reader.ReadSectors(s, 0, 1) || !HasBootSignature(s)) return false;
  const uint8_t* first = s + 0x1BE;
  if (first[4] == 0 || first[4] == 0x42 || Le32(first + 8) == 0) return false;
  if (first[4] == 0xEE) WalkGptPartitions(disk, reader, areas, out);
  else WalkMbrPartitions(disk, reader, areas, out);
  return true;
}

void WalkMbrPartitions(const VolumeContext& disk, DiskReader& reader, std::vector<VolumeContext>& areas,
                       std::vector<VolumeContext>& out) {
  uint8_t s[512] = {};
  if (!reader.ReadSectors(s, 0, 1)) return;
  std::vector<VolumeContext> found;
  uint64_t cur = 0;
  for (uint32_t off : kEntryOffsets) {
    const uint8_t* e = s + off;
    if (!IsUsableMbrEntry(e)) continue;
    const uint64_t start = Le32(e + 8), count = Le32(e + 12);
    if (start > cur && start - cur > kMinPartitionSectors) {
      VolumeContext gap;
      if (ProbePartition(disk, reader, cur, start - cur, gap)) found.push_back(std::move(gap));
    }
    if (IsExtendedEntryType(e[4])) {
      WalkExtendedPartitions(disk, reader, start, start, found);
    } else {
      VolumeContext p;
      if (ProbePartition(disk, reader, start, count, p)) found.push_back(std::move(p));
    }
    cur = start + count;
  }
  std::vector<VolumeContext> kept;
  for (VolumeContext& v : found)
    if (InsideAny(v.firstLba, v.sectorCount, areas)) kept.push_back(std::move(v));
  for (const VolumeContext& v : kept) out.push_back(v);
  SubtractPartitionsFromAreas(disk, areas, kept);
  for (const VolumeContext& a : areas) out.push_back(a);
  SortPartitionsByStart(out);
}

void WalkGptPartitions(const VolumeContext& disk, DiskReader& reader, std::vector<VolumeContext>& areas,
                       std::vector<VolumeContext>& out) {
  if (reader.lastLba <= 2) return;
  uint32_t sectors = reader.lastLba < 33 ? uint32_t(reader.lastLba - 1) : kGptSectors;
  std::vector<uint8_t> buf(size_t(kGptSectors) * 512, 0);
  if (!reader.ReadSectors(buf.data(), 2, sectors)) return;
  const uint64_t minimum = MinimumForTarget();
  const uint64_t last = uint64_t(reader.lastLba);
  std::vector<VolumeContext> found;
  const uint32_t entries = std::min<uint32_t>(kGptEntries, sectors * 512 / kGptEntryBytes);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t* e = buf.data() + size_t(i) * kGptEntryBytes;
    const uint64_t start = Le64(e + 32), end = Le64(e + 40);
    if (start == 0 || end <= start || end > last) continue;
    const uint64_t count = end - start + 1;
    if (count < minimum || !InsideAny(start, count, areas)) continue;
    VolumeContext p;
    if (ProbePartition(disk, reader, start, count, p)) found.push_back(std::move(p));
  }
  for (const VolumeContext& v : found) out.push_back(v);
  SubtractPartitionsFromAreas(disk, areas, found);
  for (const VolumeContext& a : areas) out.push_back(a);
}

void WalkExtendedPartitions(const VolumeContext& disk, DiskReader& reader, uint64_t ebrLba, uint64_t extendedLba,
                            std::vector<VolumeContext>& found) {
  std::set<uint64_t> visited;
  WalkExtended(disk, reader, ebrLba, extendedLba, found, visited);
}

bool ProbePartition(const VolumeContext& disk, DiskReader& reader, uint64_t startLba, uint64_t sectors,
                    VolumeContext& out) {
  if (sectors < kMinPartitionSectors) return false;
  uint8_t s[512] = {};
  if (!reader.ReadSectors(s, startLba, 1)) std::memset(s, 0, sizeof s);
  uint32_t type = ProbeBootSector(s);
  if (type != kVolTypeNone && SetupVolumeOfType(type, disk, reader, s, startLba, sectors, out)) {
    out.targetKind = kTargetPartition;
    return true;
  }
  out = disk;
  out.firstLba = startLba;
  out.sectorCount = sectors;
  out.freeSectors = 0;
  out.targetKind = HasBootSignature(s) ? kTargetPartition : kTargetArea;
  return true;
}

void SubtractPartitionsFromAreas(const VolumeContext& disk, std::vector<VolumeContext>& areas,
                                 const std::vector<VolumeContext>& partitions) {
  struct Span {
    uint64_t first, end;
  };
  std::vector<Span> spans;
  for (const VolumeContext& a : areas) {
    uint64_t end = a.firstLba + a.sectorCount;
    if (end < a.firstLba) end = UINT64_MAX;
    spans.push_back({a.firstLba, end});
  }
  for (const VolumeContext& p : partitions) {
    uint64_t pend = p.firstLba + p.sectorCount;
    if (pend < p.firstLba) continue;
    for (size_t i = 0; i < spans.size(); ++i) {
      Span sp = spans[i];
      if (p.firstLba < sp.first || pend > sp.end) continue;
      spans.erase(spans.begin() + long(i));
      if (p.firstLba - sp.first > kMinPartitionSectors) spans.push_back({sp.first, p.firstLba});
      if (sp.end - pend > kMinPartitionSectors) spans.push_back({pend, sp.end});
      break;
    }
  }
  areas.clear();
  for (const Span& sp : spans) {
    VolumeContext a = disk;
    a.firstLba = sp.first;
    a.sectorCount = sp.end - sp.first;
    a.targetKind = kTargetArea;
    areas.push_back(std::move(a));
  }
}

void SortPartitionsByStart(std::vector<VolumeContext>& list) {
  std::stable_sort(list.begin(), list.end(),
                   [](const VolumeContext& a, const VolumeContext& b) { return a.firstLba < b.firstLba; });
}

void SetFatDirScanEnabled(bool on) { DirScan().store(on); }
bool FatDirScanEnabled() { return DirScan().load(); }

bool ClassifyRawSector(uint64_t lba, const uint8_t* s, uint32_t* kind) {
  *kind = kSectorNothing;
  if (Le32(s) == 0) return false;
  if (FatDirScanEnabled() && s[0] != 0 && IsFatDirEntrySector(s)) {
    *kind = kSectorFatDirRun;
    return true;
  }
  if (HasBootSignature(s)) {
    if (IsNtfsBootSector(s)) *kind = kSectorNtfsBoot;
    else if (IsFat16BootSector(s)) *kind = kSectorFat16Boot;
    else if (IsFat32BootSector(s)) *kind = kSectorFat32Boot;
    else if (IsExfatBootSector(s)) *kind = kSectorExfatBoot;
    for (uint32_t off : kEntryOffsets) {
      if (IsUsableMbrEntry(s + off)) {
        *kind = lba == 0 ? kSectorMbr : kSectorPartTable;
        break;
      }
    }
    return *kind != kSectorNothing;
  }
  if (std::memcmp(s, "FILE", 4) == 0) {
    const uint32_t used = Le32(s + 0x18), attr = Le32(s + 0x38);
    const bool attrOk = attr == 0x10 || attr == 0x20 || attr == 0x30 || attr == 0x50 || attr == 0x80 || attr == 0xFFFFFFFF;
    if ((s[0x14] | s[0x15] << 8) == 0x38 && Le32(s + 0x1C) == 0x400 && used <= 0x400 && used % 8 == 0 && attrOk) {
      *kind = kSectorMftRecord;
      return true;
    }
    return false;
  }
  if (std::memcmp(s, "INDX", 4) == 0) {
    *kind = kSectorIndexRecord;
    return true;
  }
  if (lba == 1 && std::memcmp(s, "EFI PART", 8) == 0) {
    *kind = kSectorGptHeader;
    return true;
  }
  return false;
}

bool RefreshVolumeInfo(DiskReader& reader, VolumeContext& vol, const uint8_t* e, uint64_t baseLba) {
  const uint8_t type = e[4];
  vol.active = e[0] == 0x80 ? 1 : 0;
  vol.entryClass = IsExtendedEntryType(type) ? 2 : 3;
  vol.firstLba = baseLba + Le32(e + 8);
  vol.sectorCount = Le32(e + 12);
  if (!IsExtendedEntryType(type)) {
    if (!reader.ReadSectors(vol.bootSector, vol.firstLba, 1)) return false;
  }
  const uint8_t* b = vol.bootSector;
  if (type == 0x07) vol.type = std::memcmp(b + 3, "EXFAT", 5) == 0 ? kVolTypeExfat : kVolTypeNtfs;
  else if (type == 0x17 || std::memcmp(b + 3, "NTFS", 4) == 0) vol.type = kVolTypeNtfs;
  else if (type == 0x04 || type == 0x06 || type == 0x0E || type == 0x14 || type == 0x16 || type == 0x1E) vol.type = kVolTypeFat16;
  else if (type == 0x0B || type == 0x0C || type == 0x1B || type == 0x1C) vol.type = kVolTypeFat32;
  else vol.type = kVolTypeNone;
  ReadVolumeLabelOfType(vol.type, reader, vol);
  vol.volumeSerial = ReadVolumeSerial(vol);
  if (vol.label.IsEmpty()) vol.label = GetLangStr(u"LocalDisk");
  return true;
}

void FindPartitionsFromMbrHits(DiskReader& reader, const std::vector<SectorHit>& hits, std::vector<VolumeContext>& out) {
  for (const SectorHit& h : hits) {
    if (h.kind != kSectorPartTable || h.detail == nullptr) continue;
    const uint8_t* s = static_cast<const uint8_t*>(h.detail);
    for (uint32_t off : kEntryOffsets) {
      const uint8_t* e = s + off;
      if (!IsUsableMbrEntry(e) || IsExtendedEntryType(e[4])) continue;
      const uint64_t first = h.lba + Le32(e + 8);
      bool dup = false;
      for (const VolumeContext& v : out) dup = dup || v.firstLba == first;
      if (dup) continue;
      VolumeContext v;
      if (RefreshVolumeInfo(reader, v, e, h.lba) && ProbeBootSector(v.bootSector) != kVolTypeNone) out.push_back(std::move(v));
    }
  }
}

bool ValidateBootSectorHit(DiskReader& reader, const uint8_t* b, uint64_t lba, VolumeContext& out) {
  if (IsNtfsBootSector(b)) {
    const uint64_t total = Le64(b + 0x28);
    uint64_t start = 0;
    bool found = false;
    if (ValidateNtfsBootHit(reader, b, lba)) {
      start = lba;
      found = true;
    } else if (total != 0 && lba >= total && ValidateNtfsBootHit(reader, b, lba - total)) {
      start = lba - total;
      found = true;
    }
    if (!found) return false;
    ResetVolumeContext(out);
    out.firstLba = start;
    out.sectorCount = total;
    std::memcpy(out.bootSector, b, 512);
    out.type = kVolTypeNtfs;
    ReadVolumeLabelOfType(kVolTypeNtfs, reader, out);
    return true;
  }
  if (IsFat16BootSector(b) || IsFat32BootSector(b)) {
    uint64_t start = 0;
    if (CheckFatOfBootHit(reader, b, lba)) start = lba;
    else if (lba >= 6 && CheckFatOfBootHit(reader, b, lba - 6)) start = lba - 6;
    else return false;
    ResetVolumeContext(out);
    out.firstLba = start;
    out.sectorCount = FatBootTotalSectors(b);
    std::memcpy(out.bootSector, b, 512);
    out.type = (b[0x11] | b[0x12] << 8) != 0 ? kVolTypeFat16 : kVolTypeFat32;
    ReadVolumeLabelOfType(out.type, reader, out);
    return true;
  }
  if (IsExfatBootSector(b)) {
    uint64_t start = 0;
    if (ValidateExfatBootHit(reader, b, lba)) start = lba;
    else if (lba >= 12 && ValidateExfatBootHit(reader, b, lba - 12)) start = lba - 12;
    else return false;
    return SetupExfatVolumeFromHit(reader, b, start, out);
  }
  return false;
}

void FindVolumesFromBootHits(DiskReader& reader, const std::vector<SectorHit>& hits, std::vector<VolumeContext>& out) {
  for (const SectorHit& h : hits) {
    if (h.kind != kSectorNtfsBoot && h.kind != kSectorFat16Boot && h.kind != kSectorFat32Boot && h.kind != kSectorExfatBoot)
      continue;
    if (h.detail == nullptr) continue;
    auto present = [&](uint64_t first) {
      for (const VolumeContext& v : out)
        if (v.firstLba == first) return true;
      return false;
    };
    if (present(h.lba)) continue;
    VolumeContext v;
    if (ValidateBootSectorHit(reader, static_cast<const uint8_t*>(h.detail), h.lba, v) && !present(v.firstLba))
      out.push_back(std::move(v));
  }
}
