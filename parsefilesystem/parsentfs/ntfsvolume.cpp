#include "parsefilesystem/parsentfs/ntfsvolume.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "base/packedtime.h"
#include "core/filetree.h"
#include "core/itemread.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "parsefilesystem/parsentfs/ntfsattrlist.h"
#include "platform/wintime.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

constexpr unsigned kTagName = 311;
constexpr unsigned kTagBlob = 312;
constexpr unsigned kTagWalkBuffer = 313;
constexpr unsigned kTagExtentPairs = 314;
constexpr unsigned kTagBitmap = 315;
constexpr unsigned kTagDataCopy = 317;

constexpr uint8_t kNoTypeId = 234;
constexpr uint64_t kNtfsReferenceMask = 0xFFFFFFFFFFFFull;
constexpr uint16_t kAttrFlagCompressed = 0x0001;
constexpr uint8_t kNtfsCompressionUnit = 4;
constexpr uint32_t kBitmapRecord = 6;
// Bytes of the label buffer, terminator included.
constexpr uint32_t kLabelBufferBytes = 520;

bool Stopped(StopWord stop) { return stop && stop->load() == kScanStopped; }

uint64_t BootU64(const VolumeContext& vol, uint32_t off) { return NtfsRead64(vol.bootSector + off); }

// LBA of a cluster of the volume; the LCN comes from the boot sector and is hostile, so the
// product is bounded (an LCN past 2^48 clusters points nowhere readable anyway).
uint64_t ClusterLba(const VolumeContext& vol, uint64_t lcn) {
  if (lcn > uint64_t(kSparseRunMark)) lcn = uint64_t(kSparseRunMark);
  return vol.firstLba + uint64_t(VolumeSectorsPerCluster(vol)) * lcn;
}

// The largest $Bitmap a volume of this geometry can need: one bit per cluster, in 8-byte units.
uint64_t MaxBitmapBytes(const VolumeContext& vol) {
  const uint64_t spc = VolumeSectorsPerCluster(vol);
  if (spc == 0 || vol.sectorCount == 0 || vol.sectorCount == kUnknownSectorCount) return 0;
  const uint64_t clusters = (vol.sectorCount + spc - 1) / spc;
  return ((clusters + 7) / 8 + 7) / 8 * 8;
}

void SetBlob(FileRecord& rec, const uint8_t* bytes, uint32_t length) {
  if (rec.blob) FreeMem(rec.blob);
  rec.blob = static_cast<uint8_t*>(AllocMem(length, kTagBlob));
  std::memcpy(rec.blob, bytes, length);
  rec.blobLength = length;
}

void DropBlob(FileRecord& rec) {
  if (rec.blob) FreeMem(rec.blob);
  rec.blob = nullptr;
  rec.blobLength = 0;
}

bool NameStartsWithDollar(const FileRecord& rec) { return rec.name && rec.name[0] == u'$'; }

// Extents of a record's data: the explicit pairs of a joined file, else its run list.
bool RecordExtents(const VolumeContext& vol, const FileRecord& rec, DataExtentList& out) {
  out.clear();
  if (!rec.blob) return false;
  if (rec.flags & kRecExtentList) {
    for (uint32_t i = 0; i + 16 <= rec.blobLength; i += 16) {
      DataExtent e;
      e.startLba = NtfsRead64(rec.blob + i);
      e.sectorCount = NtfsRead64(rec.blob + i + 8);
      out.push_back(e);
    }
    return !out.empty();
  }
  if (rec.flags & (kRecAttrList | kRecAttrListOnDisk)) return false;
  return DataRunsToSectors(vol, rec.blob, rec.blobLength, out);
}

// Reads the $Bitmap file record (record 6) of the volume and its content, capped by the volume
// geometry. The caller frees the returned block.
uint8_t* ReadBitmapFile(StopWord stop, DiskReader& reader, const VolumeContext& vol, uint32_t& bytes) {
  bytes = 0;
  const uint64_t mftLba = ClusterLba(vol, BootU64(vol, 0x30));
  const uint64_t lba = mftLba + kBitmapRecord * kMftRecordSectors;
  uint8_t rec[kMftRecordBytes] = {};
  if (lba == 0x60000C) {
    // The first seven records in one request, as one read of the MFT start.
    std::vector<uint8_t> head((kBitmapRecord + 1) * kMftRecordBytes);
    if (!reader.ReadSectors(head.data(), mftLba, (kBitmapRecord + 1) * kMftRecordSectors)) return nullptr;
    for (uint32_t i = 0; i <= kBitmapRecord; ++i) RepairMftRecord(head.data() + i * kMftRecordBytes);
    std::memcpy(rec, head.data() + kBitmapRecord * kMftRecordBytes, kMftRecordBytes);
  } else {
    if (!reader.ReadSectors(rec, lba, kMftRecordSectors)) return nullptr;
    RepairMftRecord(rec);
  }
  FileRecord file;
  if (!ParseMftRecord(vol, rec, file)) return nullptr;
  file.lba = lba;
  uint8_t* map = nullptr;
  if (file.size != 0 && file.size <= MaxBitmapBytes(vol)) {
    map = static_cast<uint8_t*>(AllocMem(file.size, kTagBitmap));
    if (ReadNtfsFileData(stop, vol, file, uint32_t(file.size), map)) {
      bytes = uint32_t(file.size);
    } else {
      FreeMem(map);
      map = nullptr;
    }
  }
  FreeFileRecord(file);
  return map;
}

void CountParsedRecord(const FileRecord& rec) {
  ProgressParseCounts& c = ParseProgress().parse;
  const bool dir = rec.flags & kRecDirectory;
  if (rec.flags & kRecInUse)
    ++(dir ? c.dirsInUse : c.filesInUse);
  else
    ++(dir ? c.deletedDirs : c.deletedFiles);
  PostScanProgress(ParseProgress());
}

// Stores a parsed record under its id (0: the id limit) and returns the id it took, or 0. A
// record that cannot be stored is freed.
uint32_t StoreParsedRecord(VolumeContext& vol, FileRecord& rec) {
  if (rec.id == 0 && vol.idLimit >= kRecordIdEnd) {
    FreeFileRecord(rec);
    return 0;
  }
  const uint32_t id = AddFileRecord(vol, rec, 0);
  if (id == 0) FreeFileRecord(rec);
  return id;
}

}  // namespace

bool IsNtfsBootSector(const uint8_t* s) {
  if (s[0x1FE] != 0x55 || s[0x1FF] != 0xAA) return false;
  if (s[0] != 0xEB && s[2] != 0x90) return false;
  const uint16_t bps = NtfsRead16(s + 0x0B);
  if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) return false;
  const uint8_t spc = s[0x0D];
  if (spc == 0 || (spc & (spc - 1)) != 0) return false;
  if (s[0x15] != 0xF8) return false;
  if (NtfsRead16(s + 0x18) != 63 && NtfsRead16(s + 0x1A) != 255) return false;
  if (s[0x40] != 0xF6) return false;
  return std::memcmp(s + 3, "NTFS", 4) == 0;
}

void CopyBootSector(uint8_t* dst, const uint8_t* src) {
  if (src)
    std::memcpy(dst, src, 512);
  else
    std::memset(dst, 0, 512);
}

bool ReadNtfsVolumeLabel(DiskReader& reader, VolumeContext& vol) {
  DataExtentList mft;
  if (!ReadMftDataRuns(reader, vol, ClusterLba(vol, BootU64(vol, 0x30)), mft) &&
      !ReadMftDataRuns(reader, vol, ClusterLba(vol, BootU64(vol, 0x38)), mft))
    return false;
  if (mft.empty()) return false;
  uint8_t rec[kMftRecordBytes] = {};
  reader.ReadSectors(rec, mft.front().startLba + 3 * kMftRecordSectors, kMftRecordSectors);
  RepairMftRecord(rec);
  if (!HasFileMagic(rec)) return false;
  uint32_t vo = 0, vl = 0;
  if (!GetResidentValue(rec, FindAttributeOffset(rec, kAttrVolumeName), vo, vl)) return false;
  char16_t text[kLabelBufferBytes / 2] = {};
  std::memcpy(text, rec + vo, std::min<uint32_t>(vl, kLabelBufferBytes - 2));
  vol.label = CString(text);
  return !vol.label.IsEmpty();
}

bool SetupNtfsVolume(const VolumeContext& source, DiskReader& reader, const uint8_t* boot, uint64_t firstLba,
                     uint64_t partitionSectors, VolumeContext& out) {
  out = source;
  out.firstLba = firstLba;
  out.sectorCount = std::min(NtfsRead64(boot + 0x28), partitionSectors);
  CopyBootSector(out.bootSector, boot);
  out.type = kVolTypeNtfs;
  out.fsName = CString(u"NTFS");
  out.devicePath = reader.devicePath;
  out.targetKind = kTargetPartition;
  if (!ReadNtfsVolumeLabel(reader, out)) out.label = GetLangStr(u"LocalDisk");
  out.freeSectors = 0;
  uint32_t bytes = 0;
  if (uint8_t* map = ReadBitmapFile(nullptr, reader, out, bytes)) {
    uint64_t ones = 0;
    for (uint32_t i = 0; i < bytes; ++i) ones += std::popcount(map[i]);
    const uint64_t used = ones * VolumeSectorsPerCluster(out);
    out.freeSectors = used < out.sectorCount ? out.sectorCount - used : 0;
    FreeMem(map);
  }
  return true;
}

uint32_t FileTimeToPacked(uint64_t fileTime) {
  if (fileTime == 0 || fileTime >= (uint64_t(1) << 63)) return 0;
  FILETIME utc{uint32_t(fileTime), uint32_t(fileTime >> 32)}, local{};
  SYSTEMTIME st{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return 0;
  return PackTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

void SetTimesFromStandardInformation(FileRecord& rec, const uint8_t* value) {
  rec.ctime = FileTimeToPacked(NtfsRead64(value));
  rec.mtime = FileTimeToPacked(NtfsRead64(value + 8));
}

bool CopyFileNameAttrName(char16_t*& slot, const uint8_t* value, uint32_t valueLength) {
  if (slot) return true;
  if (valueLength < 0x42) return false;
  uint32_t chars = value[0x40];
  chars = std::min(chars, (valueLength - 0x42) / 2);
  if (chars == 0) return false;
  auto* name = static_cast<char16_t*>(AllocMem((uint64_t(chars) + 1) * 2, kTagName));
  std::memcpy(name, value + 0x42, chars * 2);
  name[chars] = 0;
  slot = name;
  return true;
}

void SetRecordNameFromFileName(FileRecord& rec, const uint8_t* value, uint32_t valueLength) {
  if (rec.name) FreeMem(rec.name);
  rec.name = nullptr;
  CopyFileNameAttrName(rec.name, value, valueLength);
}

const uint8_t* FindAttribute(const uint8_t* record, uint32_t type, const uint8_t* from) {
  uint32_t start = 0;
  if (from && from >= record && from < record + kMftRecordBytes) start = uint32_t(from - record);
  const int32_t off = FindAttributeOffset(record, type, start);
  return off < 0 ? nullptr : record + off;
}

bool ParseDataAttribute(const uint8_t* record, uint32_t attrOffset, FileRecord& rec) {
  const uint32_t rest = kMftRecordBytes - attrOffset;
  if (attrOffset == 0 || attrOffset >= kMftRecordBytes || attrOffset + 16 > kMftRecordBytes) return false;
  const uint8_t* a = record + attrOffset;
  if (a[8] == 0) {
    uint32_t vo = 0, vl = 0;
    rec.flags = uint16_t(rec.flags | kRecResident);
    rec.size = GetResidentValue(record, int32_t(attrOffset), vo, vl) ? vl : 0;
    DropBlob(rec);
    return true;
  }
  if (rest < 0x40) return false;
  rec.flags = uint16_t(rec.flags & ~kRecResident);
  rec.size = NtfsRead64(a + 0x30);
  const bool compressed = (NtfsRead16(a + 0x0C) & kAttrFlagCompressed) && a[0x22] != 0;
  if (compressed) rec.flags = uint16_t(rec.flags | kRecCompressed);
  // Units of another size than NTFS writes cannot be decoded: the file keeps no runs to read.
  if (compressed && a[0x22] != kNtfsCompressionUnit) {
    DropBlob(rec);
    return true;
  }
  uint32_t off = 0, len = 0;
  if (GetRunList(record, int32_t(attrOffset), off, len) && len != 0) SetBlob(rec, record + off, len);
  return true;
}

bool ParseMftRecord(const VolumeContext& vol, const uint8_t* r, FileRecord& out, MftRecordInfo* info) {
  std::memset(static_cast<void*>(&out), 0, sizeof(FileRecord));
  if (info) *info = MftRecordInfo{};
  if (!HasFileMagic(r)) return false;
  const uint32_t number = NtfsRead32(r + 0x2C);
  const uint32_t first = NtfsRead16(r + 0x14);
  if (number >= kRecordIdEnd || first < 0x18 || first > 511) return false;
  // An extension record belongs to the base record it names; the base record's attribute list
  // takes from it what it holds.
  if ((NtfsRead64(r + 0x20) & kNtfsReferenceMask) != 0) return false;
  out.id = number;
  out.typeId = kNoTypeId;
  const uint16_t hdrFlags = NtfsRead16(r + 0x16);
  uint16_t flags = 0;
  if (hdrFlags & 1) flags |= kRecInUse;
  if (hdrFlags & 2) flags |= kRecDirectory;
  out.flags = flags;
  if (info) info->sequence = NtfsRead16(r + 0x10);
  bool haveData = false, hasList = false;
  int nameSpace = -1;
  uint32_t pos = first;
  for (int steps = 0; steps < int(kMftRecordBytes / 16); ++steps) {
    if (pos + 72 > kMftRecordBytes) break;
    const uint32_t type = NtfsRead32(r + pos);
    if (type == 0 || type == 0xFFFFFFFF) break;
    const uint32_t len = NtfsRead32(r + pos + 4);
    if (len < 16 || len > kMftRecordBytes - pos) break;
    uint32_t vo = 0, vl = 0;
    switch (type) {
      case kAttrStandardInfo:
        if (GetResidentValue(r, int32_t(pos), vo, vl) && vl >= 16) SetTimesFromStandardInformation(out, r + vo);
        break;
      case kAttrList:
        hasList = true;
        break;
      case kAttrFileName: {
        if (!GetResidentValue(r, int32_t(pos), vo, vl) || vl < 0x42) break;
        const uint8_t ns = r[vo + 0x41];
        const bool take = ns == 1 || ns == 3 || (ns == 0 && nameSpace < 0);
        if (!take) break;
        out.parent = NtfsRead32(r + vo);
        if (info) info->parentSequence = NtfsRead16(r + vo + 6);
        SetRecordNameFromFileName(out, r + vo, vl);
        nameSpace = out.name ? ns : -1;
        break;
      }
      case kAttrData:
        // Only the unnamed stream is the file's data; named streams (zone marks, summaries)
        // are passed over.
        if (!haveData && r[pos + 9] == 0 && ParseDataAttribute(r, pos, out)) haveData = true;
        break;
      case kAttrIndexAllocation:
        CollectIndexAllocationLbas(vol, r + pos, len);
        break;
      default:
        break;
    }
    pos += len;
  }
  if (hasList) {
    // The list decides: what the base record holds of the data is only its first piece.
    DropBlob(out);
    out.flags = uint16_t((out.flags & ~(kRecResident | kRecCompressed)) | kRecAttrList);
    out.size = 0;
  }
  if (info) info->hasList = hasList;
  const bool system = NameStartsWithDollar(out);
  // Ids 3 and 4 belong to the program. $MFT, $Volume and $AttrDef take id 3 (stored last, under
  // new ids); any other record numbered 0, 3 or 4 takes the next free id (0).
  if (out.id == 0 || out.id == 3 || out.id == 4) out.id = system ? 3 : 0;
  // A base record with a list may keep its name in an extension record.
  if (!out.name && !hasList) {
    FreeFileRecord(out);
    return false;
  }
  return true;
}

namespace {

// Takes what the records named by a base record's attribute list hold. False when the file
// ends up without a name.
bool ApplyListedFile(const ListedFile& f, FileRecord& rec, uint16_t& parentSequence) {
  if (f.haveName && (!rec.name || f.nameSpace == 1 || f.nameSpace == 3)) {
    std::vector<uint8_t> value(0x42 + f.name.size() * 2, 0);
    value[0x40] = uint8_t(std::min<size_t>(f.name.size(), 255));
    std::memcpy(value.data() + 0x42, f.name.data(), f.name.size() * 2);
    SetRecordNameFromFileName(rec, value.data(), uint32_t(value.size()));
    rec.parent = f.parent;
    parentSequence = f.parentSequence;
  }
  if (rec.ctime == 0 && f.created != 0) {
    uint8_t times[16];
    std::memcpy(times, &f.created, 8);
    std::memcpy(times + 8, &f.modified, 8);
    SetTimesFromStandardInformation(rec, times);
  }
  rec.flags = uint16_t(rec.flags & ~(kRecAttrList | kRecAttrListOnDisk));
  if (!(rec.flags & kRecDirectory) && f.haveData) {
    rec.size = f.size;
    if (f.resident) {
      rec.flags = uint16_t(rec.flags | kRecResident);
      rec.lba = f.residentLba;
    } else if (f.unsupported) {
      rec.flags = uint16_t(rec.flags | kRecCompressed);
    } else if (!f.extents.empty()) {
      StoreExtentPairs(rec, f.extents);
      if (f.compressed) rec.flags = uint16_t(rec.flags | kRecCompressed);
    }
  }
  return rec.name != nullptr;
}

// Where a kept file's data starts, and whether its size or runs are more than its volume holds.
void PlaceRecordData(const VolumeContext& vol, FileRecord& rec, uint64_t recLba) {
  if (rec.flags & kRecDirectory) {
    rec.lba = recLba;
    return;
  }
  if (rec.flags & kRecResident) {
    if (rec.lba == 0) rec.lba = recLba;
    return;
  }
  DataExtentList runs;
  bool damaged = !RecordExtents(vol, rec, runs) && rec.size != 0;
  for (const DataExtent& e : runs) {
    if (IsUnreadableExtent(e)) damaged = true;
    if (rec.lba == 0 && !IsHoleExtent(e) && !IsUnreadableExtent(e)) rec.lba = e.startLba;
  }
  const bool sized = vol.sectorCount != 0 && vol.sectorCount != kUnknownSectorCount;
  if (sized && rec.size > vol.sectorCount * kSectorBytes) damaged = true;
  if (damaged) rec.flags = uint16_t(rec.flags | kRecDamaged);
}

// Sequence numbers seen during the walk, by record number: a file's parent reference carries
// the number its folder's record had when the file was made there.
struct SequenceMap {
  std::vector<uint16_t> sequence;
  std::vector<uint8_t> state;  // 0 not seen, 1 free, 2 in use
  void Note(uint32_t number, uint16_t seq, bool inUse) {
    if (number >= sequence.size()) {
      sequence.resize(size_t(number) + 1, 0);
      state.resize(size_t(number) + 1, 0);
    }
    sequence[number] = seq;
    state[number] = inUse ? 2 : 1;
  }
  // False when the parent's record now belongs to another file or folder. A folder that was
  // deleted since has had its number raised once, as freeing a record does.
  bool Matches(uint32_t parent, uint16_t expected) const {
    if (expected == 0 || parent >= state.size() || state[parent] == 0) return true;
    const uint16_t now = sequence[parent];
    if (now == expected) return true;
    return state[parent] == 1 && now == uint16_t(expected + 1);
  }
};

}  // namespace

bool WalkMftRecords(StopWord stop, DiskReader& reader, VolumeContext& vol, const DataExtentList& mft) {
  auto* buf = static_cast<uint8_t*>(AllocMem(uint64_t(kMftChunkSectors) * kSectorBytes, kTagWalkBuffer));
  std::vector<FileRecord> held;
  SequenceMap sequences;
  std::vector<std::pair<uint32_t, uint16_t>> parentChecks;  // stored id, sequence its parent had
  bool stopped = false;
  uint64_t walked = 0;
  const bool sized = vol.sectorCount != 0 && vol.sectorCount != kUnknownSectorCount;
  const uint64_t volEnd = sized ? vol.firstLba + vol.sectorCount : UINT64_MAX;
  auto source = [&](uint64_t n, uint8_t* record, uint64_t* lba) {
    return ReadMftRecordByNumber(reader, mft, n, record, lba);
  };
  uint64_t number = 0;  // record number of the first record of the current extent
  for (const DataExtent& ext : mft) {
    const uint64_t extentNumber = number;
    number += ext.sectorCount / kMftRecordSectors;
    if (Stopped(stop)) {
      stopped = true;
      break;
    }
    if (IsHoleExtent(ext) || IsUnreadableExtent(ext)) continue;
    // Only the part of the extent inside the volume is read.
    const uint64_t begin = std::max(ext.startLba, vol.firstLba);
    const uint64_t end = ext.startLba + std::min(ext.sectorCount, volEnd - std::min(volEnd, ext.startLba));
    for (uint64_t lba = begin; lba + kMftRecordSectors <= end && walked < kMaxMftRecordsWalked;) {
      if (Stopped(stop)) {
        stopped = true;
        break;
      }
      const uint32_t chunk = uint32_t(std::min<uint64_t>(kMftChunkSectors, end - lba));
      const uint32_t records = chunk / kMftRecordSectors;
      std::memset(buf, 0, uint64_t(records) * kMftRecordBytes);
      reader.ReadSectors(buf, lba, records * kMftRecordSectors);
      for (uint32_t j = 0; j < records && walked < kMaxMftRecordsWalked; ++j, ++walked) {
        uint8_t* r = buf + uint64_t(j) * kMftRecordBytes;
        RepairMftRecord(r);
        const uint64_t recLba = lba + uint64_t(j) * kMftRecordSectors;
        const uint64_t recNumber = extentNumber + (recLba - ext.startLba) / kMftRecordSectors;
        if (HasFileMagic(r) && recNumber < kRecordIdEnd)
          sequences.Note(uint32_t(recNumber), NtfsRead16(r + 0x10), (NtfsRead16(r + 0x16) & 1) != 0);
        FileRecord rec;
        MftRecordInfo info;
        if (!ParseMftRecord(vol, r, rec, &info)) continue;
        uint16_t parentSequence = info.parentSequence;
        if (info.hasList) {
          ListedFile listed;
          if (!JoinAttributeList(reader, vol, source, r, NtfsRead32(r + 0x2C), recLba, listed) ||
              !ApplyListedFile(listed, rec, parentSequence)) {
            FreeFileRecord(rec);
            continue;
          }
        }
        PlaceRecordData(vol, rec, recLba);
        if (rec.id == 0 || rec.id == 3) {
          rec.id = 0;
          held.push_back(rec);
          continue;
        }
        CountParsedRecord(rec);
        const uint32_t id = StoreParsedRecord(vol, rec);
        if (id != 0 && parentSequence != 0) parentChecks.emplace_back(id, parentSequence);
      }
      lba += records * kMftRecordSectors;
      if (records == 0) break;
    }
    if (stopped || walked >= kMaxMftRecordsWalked) break;
  }
  for (FileRecord& rec : held) {
    CountParsedRecord(rec);
    StoreParsedRecord(vol, rec);
  }
  // A file whose folder's record now holds something else is an orphan: it goes to the lost
  // files, not into the unrelated folder that took the record.
  for (const auto& [id, expected] : parentChecks) {
    FileRecord* rec = GetFileRecord(vol, id, 1);
    if (rec && rec->parent != id && !sequences.Matches(rec->parent, expected)) rec->parent = kLostFolderId;
  }
  FreeMem(buf);
  return !stopped;
}

void RegisterMftExtents(const DataExtentList& extents) {
  auto& known = KnownMftExtents();
  for (const DataExtent& e : extents)
    for (const MftExtentRange& k : known)
      if (k.startLba == e.startLba && k.sectors == e.sectorCount) return;
  for (const DataExtent& e : extents) {
    known.push_back(MftExtentRange{e.startLba, e.sectorCount});
    DropMftHitsInRange(e.startLba, e.sectorCount);
  }
}

void ComputeNtfsVolumeTimeBounds(VolumeContext& vol) {
  uint32_t earliest = 0, latest = 0;
  uint64_t highest = 0;
  for (uint32_t id = 6; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec || !(rec->flags & kRecInUse) || (rec->flags & kRecDirectory)) continue;
    // Packed members are read into values first; std::max would bind references to them.
    const uint32_t created = rec->ctime, modified = rec->mtime;
    const uint64_t lba = rec->lba;
    if (created && (earliest == 0 || created < earliest)) earliest = created;
    latest = std::max({latest, created, modified});
    highest = std::max(highest, lba);
  }
  vol.earliestTime = earliest;
  vol.latestTime = latest;
  vol.lowestLba = vol.firstLba;
  vol.highestLba = highest;
}

bool ParseNtfsVolume(StopWord stop, VolumeContext& vol) {
  if (GetSoftCfg(u"ParseFileSys") != CString(u"1")) return false;
  const VolumeContext target = ScanTarget();
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader)) return false;
  DataExtentList mft;
  const uint64_t mftLba = ClusterLba(vol, BootU64(vol, 0x30));
  const uint64_t mirrLba = ClusterLba(vol, BootU64(vol, 0x38));
  if (!ReadMftDataRuns(reader, vol, mftLba, mft) && !ReadMftDataRuns(reader, vol, mirrLba, mft)) return false;
  if (!WalkMftRecords(stop, reader, vol, mft) || vol.idLimit == 0) return false;
  if (vol.mftExtents) FreeMem(vol.mftExtents);
  vol.mftExtents = static_cast<uint64_t*>(AllocMem(uint64_t(mft.size()) * 16, kTagExtentPairs));
  for (size_t i = 0; i < mft.size(); ++i) {
    vol.mftExtents[2 * i] = mft[i].startLba;
    vol.mftExtents[2 * i + 1] = mft[i].sectorCount;
  }
  vol.mftExtentCount = uint32_t(mft.size());
  RegisterMftExtents(mft);
  DataExtentList mirror;
  if (ReadMftDataRuns(reader, vol, mftLba + kMftRecordSectors, mirror) ||
      ReadMftDataRuns(reader, vol, mirrLba + kMftRecordSectors, mirror))
    RegisterMftExtents(mirror);
  if (Stopped(stop)) return false;
  CreateRootAndLostFolders(vol);
  ComputeNtfsVolumeTimeBounds(vol);
  // At a deep scan's end, files known only from index records that this volume's MFT no longer
  // holds join it (nothing happens at any other time).
  AddIndxOnlyFiles(vol);
  LinkFileTree(vol, 1);
  PostProgressText(GetLangStr(u"WaitScanData"), GetLangStr(u"RebuildDir"), CString());
  CompactFileRecords(vol);
  return true;
}

bool LoadResidentData(const FileRecord& rec, uint8_t* buffer, uint32_t& length) {
  length = 0;
  if (rec.size > kMftRecordBytes) return false;
  DiskReader reader;
  if (!OpenVolumeDevice(ScanTarget(), reader)) return false;
  uint8_t r[kMftRecordBytes] = {};
  reader.ReadSectors(r, rec.lba, kMftRecordSectors);
  reader.Close();
  RepairMftRecord(r);
  if (!HasFileMagic(r)) return false;
  uint32_t vo = 0, vl = 0;
  if (!GetResidentValue(r, FindAttributeOffset(r, kAttrData), vo, vl) || vl == 0) return false;
  std::memset(buffer, 0, kMftRecordBytes);
  std::memcpy(buffer, r + vo, vl);
  length = vl;
  return true;
}

bool ReadNtfsFileData(StopWord stop, const VolumeContext& vol, const FileRecord& rec, uint32_t max,
                      uint8_t* block) {
  if (rec.flags & kRecResident) {
    uint8_t data[kMftRecordBytes];
    uint32_t length = 0;
    if (!LoadResidentData(rec, data, length)) return false;
    CopyToMem(block, data, std::min(length, max), kTagDataCopy);
    return true;
  }
  DiskReader reader;
  if (!OpenVolumeDevice(vol, reader)) return false;
  DataExtentList extents;
  if (!RecordExtents(vol, rec, extents)) return false;
  ItemLayout layout;
  MakeItemLayout(vol, rec, std::move(extents), layout);
  ItemReader item;
  item.Use(std::move(layout), reader);
  const uint64_t want = std::min<uint64_t>({uint64_t(max), rec.size, GetMemSize(block)});
  // In chunks, so a stop is seen between them; a failed read ends with what was read.
  for (uint64_t done = 0; done < want && !Stopped(stop);) {
    const uint64_t n = item.Read(done, static_cast<uint8_t*>(block) + done,
                                 std::min<uint64_t>(want - done, uint64_t(kMftChunkSectors) * kSectorBytes));
    if (n == 0) break;
    done += n;
  }
  reader.Close();
  return true;
}

bool LoadNtfsBitmap(StopWord stop) {
  const VolumeContext target = ScanTarget();
  DiskReader reader;
  if (!OpenVolumeDevice(target, reader)) return false;
  uint32_t bytes = 0;
  uint8_t* map = ReadBitmapFile(stop, reader, target, bytes);
  if (!map) return false;
  ReleaseFreeSpaceMap();
  FreeSpaceMap() = map;
  FreeSpaceMapBytes() = bytes;
  return true;
}

bool HasFreeNtfsClusters(const VolumeContext& vol, const uint8_t* map, uint32_t bytes, uint64_t start, uint64_t end) {
  if (!map || bytes == 0) return true;
  const uint64_t spc = VolumeSectorsPerCluster(vol);
  if (spc == 0 || vol.sectorCount == 0 || end < start) return true;
  const uint64_t first = vol.firstLba;
  const uint64_t last = first + vol.sectorCount - 1;
  if (end < first || start > last) return false;
  const uint64_t from = std::max(start, first), to = std::min(end, last);
  const uint64_t g = (from - first + spc - 1) / spc;
  const uint64_t c = (to - from + spc) / spc;
  const uint64_t e = g + c;
  static const uint8_t kHeadMask[8] = {0xFF, 0xFE, 0xFC, 0xF8, 0xF0, 0xE0, 0xC0, 0x80};
  static const uint8_t kTailMask[8] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F};
  const uint64_t wholeFirst = (g + 7) / 8;
  const uint64_t wholeEnd = std::min<uint64_t>(e / 8, bytes);
  for (uint64_t i = wholeFirst; i < wholeEnd; ++i)
    if (map[i] != 0xFF) return true;
  if (g % 8 && g / 8 < bytes && (map[g / 8] & kHeadMask[g % 8]) != kHeadMask[g % 8]) return true;
  if (e % 8 && e / 8 < bytes && (map[e / 8] & kTailMask[e % 8]) != kTailMask[e % 8]) return true;
  return false;
}
