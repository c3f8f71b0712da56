#include "parsefilesystem/parsefat/fatvolume.h"

#include <algorithm>
#include <cstring>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsefat/fatsectorcheck.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "platform/textconv.h"
#include "scanbase/scanprogress.h"

namespace {

constexpr uint32_t kMaxDirClusters = 256;

bool StopRequested(const std::atomic<uint32_t>* state) { return state && state->load() == 2; }

char16_t* HeapName(const std::u16string& name) {
  auto* p = static_cast<char16_t*>(AllocMem((name.size() + 1) * sizeof(char16_t), 776));
  std::memcpy(p, name.data(), name.size() * sizeof(char16_t));
  p[name.size()] = 0;
  return p;
}

bool AllZero(const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

// Does the first sector of a directory's first cluster look like directory entries?
bool FirstDirSectorPlausible(const uint8_t* s) {
  if (s[0] == 0) return AllZero(s, 512);
  const uint8_t attr = s[11];
  if (attr == 0x08 || attr == 0x28) return IsFatVolumeLabelEntry(s) && ValidateFatDirEntries(s + 32, 480);
  if (attr == kFatAttrLongName) {
    const uint8_t expected = s[0] == kFatDeletedByte ? kFatDeletedByte : uint8_t((s[0] & 0x0F) + 1);
    return ValidateFatLfnRun(s, 512, expected, s[13]);
  }
  return ValidateFatEntryRun(s, 512);
}

// A check-disk folder ("FOUND.000") at the head of cluster 2 may be followed by garbage: keep
// the entries up to the first implausible one and zero the rest of the cluster. False when
// neither of the first two entries is such a folder.
bool TrimCheckDiskCluster(uint8_t* cluster, uint32_t bytes) {
  int found = -1;
  for (int i = 0; i < 2 && uint32_t(i + 1) * 32 <= bytes; ++i) {
    const uint8_t* e = cluster + i * 32;
    if (std::memcmp(e, "FOUND", 5) == 0 && e[8] == '0' && e[9] == '0' && IsValidFatShortEntry(e)) {
      found = i;
      break;
    }
  }
  if (found < 0) return false;
  for (uint32_t pos = uint32_t(found + 1) * 32; pos + 32 <= bytes; pos += 32) {
    const uint8_t* e = cluster + pos;
    bool ok;
    if (e[0] == 0) {
      ok = AllZero(e, 32);
    } else if (e[11] == 0x08 || e[11] == 0x28) {
      ok = IsFatVolumeLabelEntry(e) && IsValidFatShortEntry(e);
    } else if (e[11] == kFatAttrLongName && (e[0] == kFatDeletedByte || e[0] <= 0x0F)) {
      ok = true;
    } else {
      ok = IsValidFatShortEntry(e);
    }
    if (!ok) {
      std::memset(cluster + pos, 0, bytes - pos);
      break;
    }
  }
  return true;
}

// The 13 characters of a long-name entry.
void LfnChars(const uint8_t* e, char16_t* out) {
  static const int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (int i = 0; i < 13; ++i) out[i] = char16_t(FatU16(e + kOffsets[i]));
}

std::u16string CutAtNul(const std::u16string& s) {
  const size_t z = s.find(u'\0');
  return z == std::u16string::npos ? s : s.substr(0, z);
}

// Byte 12 of a short entry: a name written without a long name in lower case keeps its case
// here ("notes", "photo.jpg") rather than in its bytes, which are stored upper-case.
constexpr uint8_t kLowerCaseBase = 0x08;
constexpr uint8_t kLowerCaseExt = 0x10;

char16_t ShortNameChar(uint8_t b, bool lower) {
  return lower && b >= 'A' && b <= 'Z' ? char16_t(b - 'A' + 'a') : char16_t(b);
}

std::u16string ShortEntryName(const uint8_t* e) {
  std::u16string name;
  const bool lowerBase = e[12] & kLowerCaseBase, lowerExt = e[12] & kLowerCaseExt;
  for (int i = 0; i < 8 && e[i] != ' '; ++i) name += ShortNameChar(e[i], lowerBase);
  if (e[8] != ' ') {
    name += u'.';
    for (int i = 8; i < 11 && e[i] != ' '; ++i) name += ShortNameChar(e[i], lowerExt);
  }
  if (!name.empty() && e[0] == kFatDeletedByte) name[0] = kDeletedNameMark;
  return name;
}

struct DirWork {
  uint32_t cluster;
  uint32_t parentId;
};

}  // namespace

void LoadFatTable(std::atomic<uint32_t>* state, DiskReader& reader, VolumeContext& ctx) {
  const FatGeometry g = ReadFatGeometry(ctx);
  uint64_t n = g.fatSectors;
  if (n > kMaxFatLoadSectors) {
    if (g.sectorsPerCluster == 0) return;
    n = std::min<uint64_t>({n, uint32_t((ctx.sectorCount / g.sectorsPerCluster) / 8), kMaxFatLoadSectors});
  }
  // A table cannot be larger than the volume that holds it.
  if (ctx.sectorCount && ctx.sectorCount != kUnknownSectorCount && n > ctx.sectorCount) n = ctx.sectorCount;
  if (n == 0) return;
  if (ctx.fatBuffer) FreeMem(ctx.fatBuffer);
  const uint32_t bytes = uint32_t(n * 512);
  ctx.fatBuffer = static_cast<uint8_t*>(AllocMem(uint64_t(bytes) + 4, 115));
  std::memset(ctx.fatBuffer, 0, size_t(bytes) + 4);
  ctx.fatBufferSize = bytes;
  const bool fat32 = ctx.type == kVolTypeFat32;
  const bool firstRead = reader.ReadSectors(ctx.fatBuffer, g.firstFatLba, uint32_t(n));
  const bool good = firstRead && (!fat32 || IsFat32TableStart(ctx.fatBuffer));
  bool secondRead = false;
  if (!good && g.fatCount == 2) secondRead = reader.ReadSectors(ctx.fatBuffer, g.secondFatLba, uint32_t(n));
  if (!firstRead && !secondRead) {
    for (uint64_t k = 0; k < n && !StopRequested(state); ++k) {
      uint8_t* dst = ctx.fatBuffer + k * 512;
      if (!reader.ReadSectors(dst, g.firstFatLba + k, 1) && g.fatCount == 2)
        (void)reader.ReadSectors(dst, g.secondFatLba + k, 1);
    }
  }
  if (fat32 && !IsFat32TableStart(ctx.fatBuffer)) return;
  AddKnownFatLba(g.firstFatLba);
  if (g.fatCount == 2) AddKnownFatLba(g.secondFatLba);
}

bool LoadFatForScan(const VolumeContext& ctx, uint8_t*& buffer, uint32_t& length) {
  buffer = nullptr;
  length = 0;
  DiskReader reader;
  if (!OpenVolumeDevice(ctx, reader)) return false;
  const FatGeometry g = ReadFatGeometry(ctx);
  const uint64_t n = std::min<uint64_t>(g.fatSectors, kMaxFatLoadSectors);
  if (n == 0) return false;
  const uint32_t bytes = uint32_t(n * 512);
  auto* buf = static_cast<uint8_t*>(AllocMem(uint64_t(bytes) + 4, 1229));
  std::memset(buf, 0, size_t(bytes) + 4);
  if (!reader.ReadSectors(buf, g.firstFatLba, uint32_t(n))) {
    FreeMem(buf);
    return false;
  }
  buffer = buf;
  length = bytes;
  return true;
}

bool ReadFatVolumeLabel(DiskReader& reader, VolumeContext& ctx) {
  const FatGeometry g = ReadFatGeometry(ctx);
  uint64_t lba = g.rootDirLba;
  if (ctx.type != kVolTypeFat16) {
    if (g.rootCluster < 2) return false;
    lba += g.rootDirSectors + uint64_t(g.rootCluster - 2) * g.sectorsPerCluster;
  }
  uint8_t s[512];
  if (!reader.ReadSectors(s, lba, 1)) return false;
  const uint8_t attr = s[11];
  if (!(attr & kFatAttrLabel) || attr == kFatAttrLongName) return false;
  std::string text(reinterpret_cast<const char*>(s), 11);
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  ctx.label = CString(AnsiToUtf16(text).c_str());
  return true;
}

bool SetupFatVolume(const VolumeContext& source, DiskReader& reader, const uint8_t* boot, uint64_t firstLba,
                    uint64_t largestSectorCount, VolumeContext& out) {
  out = source;
  // The partition owns nothing of the disk's context: no records, tables or buffers.
  std::fill(std::begin(out.recordTable), std::end(out.recordTable), nullptr);
  out.fatBuffer = nullptr;
  out.fatBufferSize = 0;
  out.bitmapBuffer = nullptr;
  out.bitmapBufferSize = 0;
  out.mftExtents = nullptr;
  out.mftExtentCount = 0;
  out.idLimit = 0;
  out.fileCount = 0;
  out.firstLba = firstLba;
  out.sectorCount = std::min<uint64_t>(FatBootTotalSectors(boot), largestSectorCount);
  std::memcpy(out.bootSector, boot, 512);
  out.type = FatU16(boot + 0x11) != 0 ? kVolTypeFat16 : kVolTypeFat32;
  out.devicePath = reader.devicePath;
  out.targetKind = kTargetPartition;
  if (ReadFatVolumeLabel(reader, out))
    out.name = out.label;
  else
    out.name = GetLangStr(u"LocalDisk");

  // Free space: the free entries of the clusters the volume has.
  out.freeSectors = 0;
  const FatGeometry g = ReadFatGeometry(out);
  const uint64_t n = std::min<uint64_t>(g.fatSectors, kMaxFatLoadSectors);
  if (n == 0 || g.sectorsPerCluster == 0) return true;
  const uint32_t bytes = uint32_t(n * 512);
  auto* buf = static_cast<uint8_t*>(AllocMem(uint64_t(bytes) + 4, 1229));
  std::memset(buf, 0, size_t(bytes) + 4);
  if (reader.ReadSectors(buf, g.firstFatLba, uint32_t(n))) {
    const uint32_t width = out.type == kVolTypeFat16 ? 2 : 4;
    uint64_t freeClusters = 0;
    for (uint64_t c = 2; c <= LastFatCluster(g) && (c + 1) * width <= bytes; ++c) {
      const uint32_t v = width == 2 ? FatU16(buf + c * 2) : (FatU32(buf + c * 4) & 0x0FFFFFFF);
      if (v == 0) ++freeClusters;
    }
    out.freeSectors = freeClusters * g.sectorsPerCluster;
  }
  FreeMem(buf);
  return true;
}

uint32_t ReadFatDirectoryClusters(std::atomic<uint32_t>* state, DiskReader& reader, VolumeContext& ctx,
                                  uint8_t* buffer, uint64_t bufferBytes, uint32_t startCluster,
                                  std::vector<uint64_t>& dirLbas) {
  const FatGeometry g = ReadFatGeometry(ctx);
  const uint32_t s = g.sectorsPerCluster;
  if (s == 0) return 0;
  const uint64_t clusterBytes = uint64_t(s) * 512;
  uint32_t count = 0;
  uint64_t c = startCluster;
  while (!IsFatEndMark(ctx.type, uint32_t(c)) && IsFatClusterInRange(g, c)) {
    const uint64_t lba = FatClusterLba(g, c);
    dirLbas.push_back(lba);
    // Read before in this scan: this directory, or the rest of its chain, is covered.
    if (TestKnownFatLba(lba, true)) break;
    if (count >= kMaxDirClusters || (count + 1) * clusterBytes > bufferBytes) break;
    uint8_t* dst = buffer + count * clusterBytes;
    (void)reader.ReadSectors(dst, lba, s);
    if (StopRequested(state)) break;
    if (count == 0 && !FirstDirSectorPlausible(dst)) {
      if (c != 2 || !TrimCheckDiskCluster(dst, uint32_t(clusterBytes))) return 0;
    }
    ++count;
    c = FatLookup(ctx, c);
  }
  return count;
}

bool ReadLfnRun(const uint8_t* bytes, uint32_t length, uint32_t pos, std::u16string& name, uint32_t& count) {
  count = 1;
  name.clear();
  if (uint64_t(pos) + 32 > length) return false;
  const uint8_t* e = bytes + pos;
  if (e[11] != kFatAttrLongName || !(e[0] & 0x40)) return false;
  uint32_t n = e[0] & 0xBF;
  if (n < 1 || n > kLfnMaxEntries) return false;
  const uint8_t checksum = e[13];
  std::u16string chars(size_t(n) * kLfnCharsPerEntry, u'\0');
  LfnChars(e, &chars[(n - 1) * kLfnCharsPerEntry]);
  while (n > 1) {
    const uint64_t next = uint64_t(pos) + uint64_t(count) * 32;
    if (next + 32 > length) return false;
    const uint8_t* x = bytes + next;
    if (x[11] != kFatAttrLongName || x[0] != n - 1 || x[13] != checksum) return false;
    --n;
    LfnChars(x, &chars[(n - 1) * kLfnCharsPerEntry]);
    ++count;
  }
  const uint64_t shortPos = uint64_t(pos) + uint64_t(count) * 32;
  if (shortPos + 32 > length) return false;
  const uint8_t* se = bytes + shortPos;
  if (se[11] == kFatAttrLongName || se[0] == 0 || se[0] == kFatDeletedByte || (se[11] & kFatAttrLabel)) return false;
  if (FatShortNameChecksum(se) != checksum) return false;
  name = CutAtNul(chars);
  return true;
}

uint32_t AddFatEntryRecord(VolumeContext& ctx, const std::u16string& name, uint32_t parentId, const uint8_t* e,
                           uint32_t link) {
  const FatGeometry g = ReadFatGeometry(ctx);
  FileRecord rec;
  std::memset(static_cast<void*>(&rec), 0, sizeof rec);
  rec.id = 0;
  rec.parent = parentId;
  uint32_t cluster = FatEntryFirstCluster(e);
  cluster &= ctx.type == kVolTypeFat16 ? 0xFFFFu : 0x0FFFFFFFu;
  rec.firstCluster = cluster;
  // Empty files (cluster 0) and clusters past the volume have no data position.
  rec.lba = FatClusterLba(g, cluster);
  rec.size = FatEntrySize(e);
  rec.ctime = FatPackedTime(FatU16(e + 16), FatU16(e + 14));
  rec.mtime = FatPackedTime(FatU16(e + 24), FatU16(e + 22));
  const bool deleted = e[0] == kFatDeletedByte;
  const bool dir = (e[11] & kFatAttrDirectory) != 0;
  rec.flags = uint16_t((deleted ? 0 : kRecInUse) | (dir ? kRecDirectory : 0));
  // A size no cluster of the volume can hold: no copy of it can be whole.
  if (!dir && rec.size > (g.clusterCount + 1) * uint64_t(g.sectorsPerCluster) * 512)
    rec.flags = uint16_t(rec.flags | kRecDamaged);
  rec.typeId = dir ? kFatDirectoryCategory : 234;
  rec.name = HeapName(name);
  const uint32_t id = AddFileRecord(ctx, rec, link);
  if (id == 0) {
    FreeMem(rec.name);
    return 0;
  }
  ScanProgress& p = ParseProgress();
  if (dir)
    ++(deleted ? p.parse.deletedDirs : p.parse.dirsInUse);
  else
    ++(deleted ? p.parse.deletedFiles : p.parse.filesInUse);
  PostScanProgress(p);
  return id;
}

void ParseFatDirEntries(VolumeContext& ctx, const uint8_t* bytes, uint32_t length, uint32_t parentId, uint32_t link) {
  uint32_t pos = 0;
  while (uint64_t(pos) + 32 <= length) {
    const uint8_t* e = bytes + pos;
    if (e[0] == 0) break;
    const uint8_t attr = e[11];
    if (attr == kFatAttrLabel) {
      pos += 32;
      continue;
    }
    std::u16string longName;
    if (attr == kFatAttrLongName && e[0] == kFatDeletedByte) {
      // A deleted run lost its sequence numbers: its entries are taken in stored order, the
      // first stored holding the last part.
      uint32_t run = 0;
      while (uint64_t(pos) + uint64_t(run + 1) * 32 <= length && bytes[pos + run * 32] == kFatDeletedByte &&
             bytes[pos + run * 32 + 11] == kFatAttrLongName)
        ++run;
      const uint64_t next = uint64_t(pos) + uint64_t(run) * 32;
      if (next + 32 > length) break;
      if (bytes[next] != kFatDeletedByte) {
        // The run's own short entry was reused by a live one: the run names nothing, and the
        // directory goes on with that entry.
        pos = uint32_t(next);
        continue;
      }
      std::u16string chars;
      uint32_t kept = std::min<uint32_t>(run, 19);  // parts starting at character 247 or later drop
      chars.assign(size_t(kept) * kLfnCharsPerEntry, u'\0');
      for (uint32_t j = 0; j < run; ++j) {
        const uint32_t part = run - 1 - j;
        if (part >= kept) continue;
        LfnChars(bytes + pos + j * 32, &chars[part * kLfnCharsPerEntry]);
      }
      longName = CutAtNul(chars);
      pos = uint32_t(next);
    } else if (attr == kFatAttrLongName) {
      uint32_t count = 0;
      const bool ok = ReadLfnRun(bytes, length, pos, longName, count);
      if (count == 0) break;
      pos += count * 32;
      // A run that does not end in its short entry names nothing; the entries behind it are
      // read as they are, a short entry with its own name.
      if (!ok) {
        longName.clear();
        continue;
      }
    }
    if (uint64_t(pos) + 32 > length) break;
    const uint8_t* se = bytes + pos;
    const std::u16string shortName = ShortEntryName(se);
    if (!shortName.empty() && shortName != u"." && shortName != u"..")
      AddFatEntryRecord(ctx, longName.empty() ? shortName : longName, parentId, se, link);
    pos += 32;
  }
}

bool WalkFatDirectory(std::atomic<uint32_t>* state, DiskReader& reader, FatClusterHitMap& map, VolumeContext& ctx,
                      uint32_t startCluster, uint32_t parentId, uint32_t link, std::vector<uint64_t>& dirLbas) {
  const FatGeometry g = ReadFatGeometry(ctx);
  const uint64_t bufferBytes = uint64_t(g.sectorsPerCluster) * 128 * 1024;
  if (bufferBytes == 0) return false;
  auto* buffer = static_cast<uint8_t*>(AllocMem(bufferBytes, 383));
  // Live folders are read before deleted ones: a deleted folder's first cluster may since have
  // been given to a live folder, whose entries it must not take.
  std::vector<DirWork> work{{startCluster, parentId}}, deletedWork;
  bool first = true;
  bool result = true;
  // Only what the last directory wrote needs clearing: a 16 MiB buffer is not wiped per folder.
  uint64_t dirty = bufferBytes;
  const uint64_t clusterBytes = uint64_t(g.sectorsPerCluster) * 512;
  while (!work.empty() || !deletedWork.empty()) {
    std::vector<DirWork>& from = work.empty() ? deletedWork : work;
    const DirWork dir = from.back();
    from.pop_back();
    if (StopRequested(state)) {
      result = first ? false : result;
      break;
    }
    std::memset(buffer, 0, size_t(dirty));
    dirty = 0;
    uint64_t bytes = 0;
    if (dir.cluster != 0 || ctx.type == kVolTypeFat32 || ctx.type == kVolTypeFat32Rebuilt) {
      const uint32_t start = dir.cluster != 0 ? dir.cluster : g.rootCluster;
      bytes = uint64_t(ReadFatDirectoryClusters(state, reader, ctx, buffer, bufferBytes, start, dirLbas)) * clusterBytes;
      // A first cluster that failed its check was still read into the buffer.
      dirty = std::min(bufferBytes, bytes + clusterBytes);
    } else if (ctx.type == kVolTypeFat16) {
      if (!TestKnownFatLba(g.rootDirLba, true)) {
        const uint64_t sectors = std::min<uint64_t>(g.rootDirSectors, bufferBytes / 512);
        (void)reader.ReadSectors(buffer, g.rootDirLba, uint32_t(sectors));
        dirLbas.push_back(g.rootDirLba);
        bytes = std::min<uint64_t>(uint64_t(g.rootEntries) * 32, sectors * 512);
        dirty = sectors * 512;
        // The root region gets the check every directory cluster gets: with a damaged
        // geometry it lies somewhere else, and its bytes are no entries.
        if (bytes != 0 && !FirstDirSectorPlausible(buffer)) bytes = 0;
      }
    }
    if (StopRequested(state) || bytes == 0) {
      if (first) result = false;
      first = false;
      if (StopRequested(state)) break;
      continue;
    }
    first = false;
    const uint32_t begin = ctx.idLimit;
    ParseFatDirEntries(ctx, buffer, uint32_t(bytes), dir.parentId, link);
    const uint32_t end = ctx.idLimit;
    MoveDirectoriesFirst(ctx, begin, end);
    RelocateFat32StartClusters(map, state, reader, ctx, begin, end, false);
    if (end <= begin || end <= kRootId) continue;
    // Depth-first in entry order: the first subdirectory is walked next.
    for (uint32_t id = end; id-- > begin;) {
      const FileRecord* rec = GetFileRecord(ctx, id, 0);
      // Cluster 0 would name the root again: a subdirectory without a start has nothing to read.
      if (!rec || !(rec->flags & kRecDirectory) || rec->firstCluster == 0) continue;
      if (rec->flags & kRecInUse) {
        work.push_back({rec->firstCluster, id});
      } else if (FatLookup(ctx, rec->firstCluster) == 0) {
        // A deleted folder's chain was cleared with it; a first cluster in use again belongs
        // to another file or folder now.
        deletedWork.push_back({rec->firstCluster, id});
      }
    }
  }
  FreeMem(buffer);
  return result;
}

void ComputeFatVolumeTimeBounds(VolumeContext& ctx) {
  uint32_t earliest = 0, latest = 0;
  uint64_t maxLba = 0;
  for (uint32_t id = kRootId + 1; id < ctx.idLimit; ++id) {
    const FileRecord* r = GetFileRecord(ctx, id, 0);
    if (!r || !(r->flags & kRecInUse) || (r->flags & kRecDirectory)) continue;
    if (r->ctime && (earliest == 0 || r->ctime < earliest)) earliest = r->ctime;
    latest = std::max({latest, r->ctime, r->mtime});
    maxLba = std::max<uint64_t>(maxLba, uint64_t(r->lba));  // a copy: the field is unaligned
  }
  ctx.earliestTime = earliest;
  ctx.latestTime = latest;
  ctx.lowestLba = ctx.firstLba;
  ctx.highestLba = ctx.type == kVolTypeFat32 ? ctx.firstLba + ctx.sectorCount : maxLba;
}

bool ParseFatVolume(std::atomic<uint32_t>* state, VolumeContext& ctx) {
  if (GetSoftCfg(u"ParseFileSys") != CString(u"1")) return false;
  DiskReader reader;
  if (!OpenVolumeDevice(ctx, reader)) return false;
  if (ctx.bootSector[0x0D] == 0) return false;
  LoadFatTable(state, reader, ctx);
  if (StopRequested(state)) return false;
  CreateRootAndLostFolders(ctx);
  FatClusterHitMap map;
  BuildFatClusterHitMap(map, ctx);
  std::vector<uint64_t> dirLbas;
  (void)WalkFatDirectory(state, reader, map, ctx, 0, kRootId, 0, dirLbas);
  RelocateFat32StartClusters(map, state, reader, ctx, kRootId, ctx.idLimit, true);
  ComputeFatVolumeTimeBounds(ctx);
  LinkFileTree(ctx, 1);
  FreeFatClusterHitMap(map);
  return true;
}
