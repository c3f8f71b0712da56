#include "scansave/scanstatefile.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "base/heap.h"
#include "core/filetypetable.h"
#include "scanbase/hitdetail.h"
#include "scanbase/mfthitinfo.h"
#include "scanbase/videodetail.h"

namespace {

constexpr char kMagic[4] = {'Q', 'Z', 'D', '4'};
constexpr uint8_t kLastFileType = 176;
constexpr uint32_t kMapPiece = kScanFileBufferBytes;
// Bytes after the block map that every file holds: three positions and the item count.
constexpr uint64_t kAfterMapBytes = 3 * 8 + 4;
constexpr unsigned kDetailTag = 4066;
constexpr unsigned kNameTag = 4074;

bool WriteU8(BufferedScanFile& f, uint8_t v) { return f.Write(&v, 1); }
bool WriteU32(BufferedScanFile& f, uint32_t v) { return f.Write(&v, 4); }
bool WriteU64(BufferedScanFile& f, uint64_t v) { return f.Write(&v, 8); }
bool ReadU8(BufferedScanFile& f, uint8_t& v) { return f.Read(&v, 1); }
bool ReadU32(BufferedScanFile& f, uint32_t& v) { return f.Read(&v, 4); }
bool ReadU64(BufferedScanFile& f, uint64_t& v) { return f.Read(&v, 8); }

template <typename T>
T LoadField(const void* base, size_t offset) {
  T v;
  std::memcpy(&v, static_cast<const uint8_t*>(base) + offset, sizeof v);
  return v;
}
template <typename T>
void StoreField(void* base, size_t offset, T v) {
  std::memcpy(static_cast<uint8_t*>(base) + offset, &v, sizeof v);
}

// Writes bytes of a detail block: what the block holds (never more than its own size), zeros
// for the rest, so the file keeps its layout even when a detail is missing or short.
bool WriteDetailBytes(BufferedScanFile& f, const void* detail, uint32_t bytes) {
  uint8_t piece[kSavedSectorBytes] = {};
  const uint32_t have = detail != nullptr ? std::min<uint32_t>(GetMemSize(detail), bytes) : 0;
  if (have != 0) std::memcpy(piece, detail, have);
  return f.Write(piece, bytes);
}

// A new guarded block of the next bytes of the file; null when the file does not hold them.
void* ReadDetailBytes(BufferedScanFile& f, uint32_t bytes) {
  if (bytes > f.Remaining()) return nullptr;
  void* block = AllocMem(bytes, kDetailTag);
  if (!f.Read(block, bytes)) {
    FreeMem(block);
    return nullptr;
  }
  return block;
}

bool WriteMftHitInfo(BufferedScanFile& f, const void* detail) {
  uint8_t info[sizeof(MftHitInfo)] = {};
  const bool whole = detail != nullptr && GetMemSize(detail) >= sizeof(MftHitInfo);
  if (whole) std::memcpy(info, detail, sizeof info);
  // The lengths written are those of the parts that really follow.
  const auto* name = LoadField<const char16_t*>(info, offsetof(MftHitInfo, name));
  const auto* runs = LoadField<const uint8_t*>(info, offsetof(MftHitInfo, runList));
  uint16_t nameLength = LoadField<uint16_t>(info, offsetof(MftHitInfo, nameLength));
  uint16_t runLength = LoadField<uint16_t>(info, offsetof(MftHitInfo, runListLength));
  nameLength = name != nullptr ? uint16_t(std::min<uint32_t>(nameLength, GetMemSize(name) / 2)) : 0;
  runLength = runs != nullptr ? uint16_t(std::min<uint32_t>(runLength, GetMemSize(runs))) : 0;
  StoreField(info, offsetof(MftHitInfo, nameLength), nameLength);
  StoreField(info, offsetof(MftHitInfo, runListLength), runLength);
  if (!f.Write(info, sizeof info)) return false;
  if (nameLength != 0 && !f.Write(name, uint32_t(nameLength) * 2)) return false;
  if (runLength != 0 && !f.Write(runs, runLength)) return false;
  return true;
}

void* ReadMftHitInfo(BufferedScanFile& f) {
  auto* info = static_cast<uint8_t*>(ReadDetailBytes(f, sizeof(MftHitInfo)));
  if (info == nullptr) return nullptr;
  const uint16_t nameLength = LoadField<uint16_t>(info, offsetof(MftHitInfo, nameLength));
  const uint16_t runLength = LoadField<uint16_t>(info, offsetof(MftHitInfo, runListLength));
  // The stored pointers belong to the process that wrote the file.
  StoreField<char16_t*>(info, offsetof(MftHitInfo, name), nullptr);
  StoreField<uint8_t*>(info, offsetof(MftHitInfo, runList), nullptr);
  if (uint64_t(nameLength) * 2 + runLength > f.Remaining()) {
    FreeMem(info);
    return nullptr;
  }
  if (nameLength != 0) {
    auto* name = static_cast<char16_t*>(AllocMem((uint64_t(nameLength) + 1) * 2, kNameTag));
    if (!f.Read(name, uint32_t(nameLength) * 2)) {
      FreeMem(name);
      FreeMem(info);
      return nullptr;
    }
    StoreField(info, offsetof(MftHitInfo, name), name);
  }
  if (runLength != 0) {
    void* runs = ReadDetailBytes(f, runLength);
    if (runs == nullptr) {
      FreeMftHitInfo(info);
      return nullptr;
    }
    StoreField(info, offsetof(MftHitInfo, runList), static_cast<uint8_t*>(runs));
  }
  return info;
}

bool IsSavedSectorKind(uint8_t kind) {
  return kind == kKindMbr || kind == kKindEbr || kind == kKindNtfsBoot || kind == kKindFat16Boot ||
         kind == kKindFat32Boot || kind == kKindExfatBoot;
}

CString TemporaryPath(const CString& path) { return path + u".part"; }

bool ReplaceFile(const CString& from, const CString& to) {
  return std::rename(from.ToUtf8().c_str(), to.ToUtf8().c_str()) == 0;
}

void RemoveFile(const CString& path) { unlink(path.ToUtf8().c_str()); }

}  // namespace

void LoadedScanState::Release() {
  for (SectorHit& h : hits) FreeSectorInfo(h);
  hits.clear();
  for (FileRecord& r : records) FreeFileRecord(r);
  records.clear();
}

bool WriteScanStateHeader(BufferedScanFile& f, const ScanStateHeader& h) {
  // The reader keeps at most 512 bytes of identity; a longer model text is cut, never written.
  const uint32_t units = uint32_t(std::min<size_t>(h.identity.size(), kScanStateIdentityMax / 2));
  if (!f.Write(kMagic, 4) || !WriteU32(f, units * 2)) return false;
  if (units != 0 && !f.Write(h.identity.data(), units * 2)) return false;
  if (h.blockMap.size() > UINT32_MAX || !WriteU32(f, uint32_t(h.blockMap.size()))) return false;
  for (size_t at = 0; at < h.blockMap.size(); at += kMapPiece) {
    const uint32_t n = uint32_t(std::min<size_t>(kMapPiece, h.blockMap.size() - at));
    if (!f.Write(h.blockMap.data() + at, n)) return false;
  }
  return WriteU64(f, h.nextLba) && WriteU64(f, h.regionStart) && WriteU64(f, h.regionEnd);
}

bool WriteFoundItem(BufferedScanFile& f, const SectorHit& hit) {
  const uint8_t kind = hit.kind, status = hit.endStatus;
  const uint64_t lba = hit.lba, size = hit.size;
  const void* detail = hit.detail;
  if (!WriteU8(f, kind) || !WriteU8(f, status) || !WriteU64(f, lba) || !WriteU64(f, size)) return false;
  if (kind <= kLastFileType) {
    if (detail == nullptr) return WriteU8(f, 0);
    return WriteU8(f, 1) && WriteDetailBytes(f, detail, kFileHitMetadataBytes);
  }
  switch (kind) {
    case kKindMp4Ftyp:
      return WriteU64(f, size);
    case kKindMp4Moov: {
      if (status != kHitEndFound) return true;
      if (!WriteDetailBytes(f, detail, sizeof(MoovInfo))) return false;
      const ChunkTableList* tables = nullptr;
      if (detail != nullptr && GetMemSize(detail) >= sizeof(MoovInfo))
        tables = LoadField<ChunkTableList*>(detail, offsetof(MoovInfo, tables));
      return SaveVideoChunkTables(f, tables);
    }
    case kKindMp4Mdat:
      return status != kHitEndFound || WriteDetailBytes(f, detail, sizeof(MdatInfo));
    case kKindVideoSampleChain: case kKindVideoSampleLen: case kKindVideoSample02: case kKindVideoSample001:
      return status != kHitEndFound || SaveVideoChunkTables(f, static_cast<const ChunkTableList*>(detail));
    case kKindMtsStart: case kKindMtsFragment:
      return WriteDetailBytes(f, detail, kMtsDetailBytes);
    case kKindMftRecord:
      return WriteMftHitInfo(f, detail);
    case kKindIndexRecord:
      return WriteU32(f, uint32_t(reinterpret_cast<uintptr_t>(detail)));
    case kKindFatDirEntries:
      return WriteDetailBytes(f, detail, kFatDirHitInfoBytes);
    case kKindExfatDirEntries:
      return WriteDetailBytes(f, detail, kExfatDirHitInfoBytes);
    default:
      return !IsSavedSectorKind(kind) || WriteDetailBytes(f, detail, kSavedSectorBytes);
  }
}

bool WriteStoredRecord(BufferedScanFile& f, const FileRecord& rec) {
  if (!f.Write(&rec, sizeof(FileRecord))) return false;
  const char16_t* name = rec.name;
  const uint32_t units = name != nullptr ? RecordNameLength(name) : 0;
  // A name that does not fit the field is left out rather than cut.
  const uint32_t bytes = units * 2 <= kScanStateNameMax ? units * 2 : 0;
  if (!WriteU32(f, bytes)) return false;
  return bytes == 0 || f.Write(name, bytes);
}

ScanStateResult ReadScanStateHeader(BufferedScanFile& f, uint64_t maxBlocks, ScanStateHeader& h) {
  char magic[4];
  uint32_t identityBytes = 0;
  if (!f.Read(magic, 4) || std::memcmp(magic, kMagic, 3) != 0) return ScanStateResult::kBadHeader;
  if (!ReadU32(f, identityBytes) || identityBytes > kScanStateIdentityMax || identityBytes > f.Remaining())
    return ScanStateResult::kBadHeader;
  char16_t identity[kScanStateIdentityMax / 2] = {};
  if (!f.Read(identity, identityBytes)) return ScanStateResult::kBadHeader;
  uint32_t mapBytes = 0;
  if (!ReadU32(f, mapBytes)) return ScanStateResult::kBadHeader;
  // The map must fit the file (with the positions and the item count behind it) and the device.
  const uint64_t room = f.Remaining() >= kAfterMapBytes ? f.Remaining() - kAfterMapBytes : 0;
  if (mapBytes == 0 || mapBytes > room || (maxBlocks != 0 && mapBytes > maxBlocks)) return ScanStateResult::kBadHeader;
  std::vector<uint8_t> map(mapBytes);
  for (uint32_t at = 0; at < mapBytes; at += kMapPiece) {
    if (!f.Read(map.data() + at, std::min(kMapPiece, mapBytes - at))) return ScanStateResult::kBadHeader;
  }
  uint64_t next = 0, start = 0, end = 0;
  if (!ReadU64(f, next) || !ReadU64(f, start) || !ReadU64(f, end)) return ScanStateResult::kBadHeader;
  h.identity.assign(identity, identityBytes / 2);
  h.blockMap = std::move(map);
  h.nextLba = next;
  h.regionStart = start;
  h.regionEnd = end;
  return ScanStateResult::kOk;
}

bool ReadFoundItem(BufferedScanFile& f, SectorHit& hit) {
  uint8_t kind = 0, status = 0;
  uint64_t lba = 0, size = 0;
  if (!ReadU8(f, kind) || !ReadU8(f, status) || !ReadU64(f, lba) || !ReadU64(f, size)) return false;
  void* detail = nullptr;
  bool ok = true;
  if (kind <= kLastFileType) {
    uint8_t flag = 0;
    ok = ReadU8(f, flag) && flag <= 1;
    if (ok && flag == 1) ok = (detail = ReadDetailBytes(f, kFileHitMetadataBytes)) != nullptr;
  } else {
    switch (kind) {
      case kKindMp4Ftyp:
        ok = ReadU64(f, size);
        break;
      case kKindMp4Moov:
        if (status == kHitEndFound) {
          detail = ReadDetailBytes(f, sizeof(MoovInfo));
          ChunkTableList* tables = nullptr;
          ok = detail != nullptr && LoadVideoChunkTables(f, tables);
          if (ok) {
            StoreField(detail, offsetof(MoovInfo, tables), tables);
          } else if (detail != nullptr) {
            FreeMem(detail);
            detail = nullptr;
          }
        }
        break;
      case kKindMp4Mdat:
        if (status == kHitEndFound) ok = (detail = ReadDetailBytes(f, sizeof(MdatInfo))) != nullptr;
        break;
      case kKindVideoSampleChain: case kKindVideoSampleLen: case kKindVideoSample02: case kKindVideoSample001:
        if (status == kHitEndFound) {
          ChunkTableList* tables = nullptr;
          ok = LoadVideoChunkTables(f, tables);
          detail = tables;
        }
        break;
      case kKindMtsStart: case kKindMtsFragment:
        ok = (detail = ReadDetailBytes(f, kMtsDetailBytes)) != nullptr;
        break;
      case kKindMftRecord:
        ok = (detail = ReadMftHitInfo(f)) != nullptr;
        break;
      case kKindIndexRecord: {
        uint32_t parent = 0;
        ok = ReadU32(f, parent);
        detail = reinterpret_cast<void*>(uintptr_t(parent));
        break;
      }
      case kKindFatDirEntries:
        ok = (detail = ReadDetailBytes(f, kFatDirHitInfoBytes)) != nullptr;
        break;
      case kKindExfatDirEntries:
        ok = (detail = ReadDetailBytes(f, kExfatDirHitInfoBytes)) != nullptr;
        if (ok) {
          // The entries used index a 24-entry array.
          const uint32_t used = LoadField<uint32_t>(detail, kExfatDirHitEntryCountAt);
          if (used > kExfatDirHitEntriesMax) StoreField(detail, kExfatDirHitEntryCountAt, kExfatDirHitEntriesMax);
        }
        break;
      default:
        if (IsSavedSectorKind(kind)) ok = (detail = ReadDetailBytes(f, kSavedSectorBytes)) != nullptr;
        break;
    }
  }
  if (!ok) return false;
  hit.kind = kind;
  hit.endStatus = status;
  hit.lba = lba;
  hit.size = size;
  hit.detail = detail;
  return true;
}

bool ReadStoredRecord(BufferedScanFile& f, FileRecord& rec) {
  FileRecord r;
  uint32_t nameBytes = 0;
  if (!f.Read(&r, sizeof r) || !ReadU32(f, nameBytes)) return false;
  // What the writing process pointed at means nothing here; only the name comes back, and the
  // preview bits go with the preview handle.
  r.childIds = nullptr;
  r.childCapacity = 0;
  r.childCount = 0;
  r.name = nullptr;
  r.blob = nullptr;
  r.previewHandle = 0;
  r.flags = uint16_t(r.flags & ~kRecPreviewReady);
  if (nameBytes >= 1 && nameBytes <= kScanStateNameReadMax) {
    if (nameBytes > f.Remaining()) return false;
    auto* name = static_cast<char16_t*>(AllocMem(nameBytes + 2, kNameTag));
    if (!f.Read(name, nameBytes)) {
      FreeMem(name);
      return false;
    }
    r.name = name;
  }
  rec = r;
  return true;
}

ScanStateResult WriteScanStateFile(const CString& path, const ScanStateHeader& h, std::span<const SectorHit> hits,
                                   std::span<const FileRecord> records, ScanStateProgressFn progress) {
  if (hits.size() > UINT32_MAX || records.size() > UINT32_MAX) return ScanStateResult::kWriteFailed;
  const CString temporary = TemporaryPath(path);
  BufferedScanFile f;
  if (!f.Create(temporary)) return ScanStateResult::kCannotOpen;
  bool ok = WriteScanStateHeader(f, h) && WriteU32(f, uint32_t(hits.size()));
  const uint32_t items = uint32_t(hits.size());
  for (uint32_t i = 0; ok && i < items; ++i) {
    ok = WriteFoundItem(f, hits[i]);
    if (progress != nullptr) progress(i + 1, items);
  }
  const uint32_t count = uint32_t(records.size());
  ok = ok && WriteU32(f, count);
  for (uint32_t i = 0; ok && i < count; ++i) {
    ok = WriteStoredRecord(f, records[i]);
    if (progress != nullptr) progress(i + 1, count);
  }
  ok = f.Finish() && ok;
  if (!ok || !ReplaceFile(temporary, path)) {
    RemoveFile(temporary);
    return ScanStateResult::kWriteFailed;
  }
  return ScanStateResult::kOk;
}

ScanStateResult LoadScanStateFile(const CString& path, uint64_t maxBlocks, const std::atomic<uint32_t>* state,
                                  LoadedScanState& out, ScanStateProgressFn progress) {
  out.Release();
  out.hitsComplete = out.recordsComplete = false;
  BufferedScanFile f;
  if (!f.OpenRead(path)) return ScanStateResult::kCannotOpen;
  const ScanStateResult head = ReadScanStateHeader(f, maxBlocks, out.header);
  if (head != ScanStateResult::kOk) return head;
  uint32_t items = 0;
  // Every item takes at least its 18 bytes.
  if (!ReadU32(f, items) || items > f.Remaining() / kScanStateItemHead) return ScanStateResult::kDamaged;
  out.hits.reserve(items);
  for (uint32_t i = 0; i < items; ++i) {
    if (state != nullptr && state->load() == 2) return ScanStateResult::kStopped;
    SectorHit hit{};
    if (!ReadFoundItem(f, hit)) return ScanStateResult::kDamaged;
    out.hits.push_back(hit);
    if (progress != nullptr) progress(i + 1, items);
  }
  out.hitsComplete = true;
  uint32_t count = 0;
  if (!ReadU32(f, count) || count > f.Remaining() / kScanStateRecordHead) return ScanStateResult::kDamaged;
  out.records.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (state != nullptr && state->load() == 2) return ScanStateResult::kStopped;
    FileRecord rec{};
    if (!ReadStoredRecord(f, rec)) return ScanStateResult::kDamaged;
    out.records.push_back(rec);
    if (progress != nullptr) progress(i + 1, count);
  }
  out.recordsComplete = true;
  return ScanStateResult::kOk;
}

bool RetargetScanSaveFile(const CString& source, const CString& target, const std::u16string& identity) {
  if (identity.size() * 2 > kScanStateIdentityMax) return false;
  BufferedScanFile in;
  if (!in.OpenRead(source) || in.FileSize() < 512) return false;
  char magic[4];
  uint32_t oldBytes = 0;
  if (!in.Read(magic, 4) || std::memcmp(magic, kMagic, 4) != 0 || !ReadU32(in, oldBytes)) return false;
  if (uint64_t(oldBytes) + 8 > in.FileSize() || !in.Skip(oldBytes)) return false;

  const CString temporary = TemporaryPath(target);
  BufferedScanFile out;
  if (!out.Create(temporary)) return false;
  bool ok = out.Write(kMagic, 4) && WriteU32(out, uint32_t(identity.size() * 2)) &&
            (identity.empty() || out.Write(identity.data(), uint32_t(identity.size() * 2)));
  std::vector<uint8_t> piece(kScanFileBufferBytes);
  // 64-bit arithmetic: data files of 4 GiB and more are copied whole.
  for (uint64_t left = in.Remaining(); ok && left != 0;) {
    const uint32_t n = uint32_t(std::min<uint64_t>(left, kScanFileBufferBytes));
    ok = in.Read(piece.data(), n) && out.Write(piece.data(), n);
    left -= n;
  }
  ok = out.Finish() && ok;
  if (!ok || !ReplaceFile(temporary, target)) {
    RemoveFile(temporary);
    return false;
  }
  return true;
}
