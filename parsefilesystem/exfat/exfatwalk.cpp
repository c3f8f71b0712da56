// The walk of an exFAT volume: FAT and bitmap loads, directories read cluster by cluster from a
// work list, and the entry sets of each directory stored as FileRecords.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "app/settings.h"
#include "base/heap.h"
#include "base/packedtime.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "parsefilesystem/exfat/exfatbytes.h"
#include "parsefilesystem/exfat/exfatsectorcheck.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "scanbase/scanprogress.h"

using namespace exfat;

namespace {

constexpr uint32_t kMaxFatSectors = 0x100000;
constexpr uint64_t kMaxBitmapBytes = 0x20000000;  // 512 MiB
constexpr uint64_t kRootDirBound = 0x10000;       // the root is read up to 64 KiB
constexpr uint64_t kMaxDirBytes = 256ull << 20;   // no exFAT directory is larger
constexpr uint32_t kNameUnits = 260;              // names keep at most 259 characters
constexpr uint32_t kFatEnd = 0xFFFFFFFF;

bool Stopped(ExfatRunState* state) { return state && state->load() == 2; }

// A directory waiting to be read.
struct PendingDir {
  uint32_t firstCluster;
  uint64_t bytes;
  uint32_t parentId;
  bool chained = true;   // false: the directory's clusters lie in a row (NoFatChain)
  bool deleted = false;
};

// A cluster the allocation bitmap shows in use; false without a bitmap or beyond it.
bool ClusterInUse(const VolumeContext& vol, uint32_t cluster) {
  if (!vol.bitmapBuffer || cluster < 2) return false;
  const uint64_t bit = uint64_t(cluster) - 2;
  return bit / 8 < vol.bitmapBufferSize && (vol.bitmapBuffer[bit / 8] >> (bit % 8)) & 1;
}
using DirWorkList = std::vector<PendingDir>;

uint32_t ExfatTimeToPacked(uint32_t stamp) {
  if (stamp == 0) return 0;  // never set
  const uint32_t time = stamp & 0xFFFF, date = stamp >> 16;
  return PackTime((date >> 9) + 1980, (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
}

void CountParsedRecord(const FileRecord& rec) {
  ScanProgress& p = ParseProgress();
  p.kind = kProgressParse;
  const bool inUse = rec.flags & kRecInUse, dir = rec.flags & kRecDirectory;
  if (inUse && !dir) ++p.parse.filesInUse;
  if (inUse && dir) ++p.parse.dirsInUse;
  if (!inUse && !dir) ++p.parse.deletedFiles;
  if (!inUse && dir) ++p.parse.deletedDirs;
  PostScanProgress(p);
}

// The entry sets of one directory buffer; directories among them go onto the work list.
void StoreEntrySets(VolumeContext& vol, const ExfatGeometry& geo, const uint8_t* buf, uint32_t length,
                    uint32_t parentId, uint32_t hitFlag, DirWorkList& work) {
  bool open = false, deleted = false, isDir = false;
  uint32_t remaining = 0, nameLen = 0;
  char16_t name[kNameUnits];
  FileRecord rec;
  uint64_t dirBytes = 0;

  auto finish = [&]() {
    open = false;
    name[nameLen] = 0;
    rec.parent = parentId;
    rec.lba = ExfatClusterLba(geo, rec.firstCluster);
    rec.flags = uint16_t((rec.flags & kRecExfatChain) | (deleted ? 0 : kRecInUse) | (isDir ? kRecDirectory : 0));
    rec.name = static_cast<char16_t*>(AllocMem((nameLen + 1) * sizeof(char16_t), 345));
    std::memcpy(rec.name, name, (nameLen + 1) * sizeof(char16_t));
    const uint32_t id = AddFileRecord(vol, rec, hitFlag);
    if (!id) {
      FreeMem(rec.name);
      return;
    }
    CountParsedRecord(rec);
    // A deleted directory's clusters were freed with it; one whose first cluster is in use
    // again belongs to another directory or file now and is not read.
    if (isDir && dirBytes != 0 && !(deleted && ClusterInUse(vol, rec.firstCluster)))
      work.push_back(PendingDir{rec.firstCluster, dirBytes, id, (rec.flags & kRecExfatChain) != 0, deleted});
  };

  for (uint32_t off = 0; off + kEntryBytes <= length; off += kEntryBytes) {
    const uint8_t* e = buf + off;
    const uint8_t type = e[0];
    if (type == 0x00) break;
    if (type == 0x85 || type == 0x05) {
      // A file entry opens a new set; an unfinished one is dropped.
      std::memset(static_cast<void*>(&rec), 0, sizeof rec);
      nameLen = 0;
      open = true;
      remaining = e[1];
      rec.ctime = ExfatTimeToPacked(Le32(e + 8));
      rec.mtime = ExfatTimeToPacked(Le32(e + 12));
      isDir = (Le16(e + 4) & 0x10) != 0;
      deleted = type == 0x05;
      dirBytes = 0;
    } else if ((type == 0xC0 || type == 0x40) && open) {
      rec.firstCluster = Le32(e + 20);
      rec.size = Le64(e + 8);
      dirBytes = rec.size;
      rec.flags = e[1] == 3 ? 0 : kRecExfatChain;
      if (remaining) --remaining;
    } else if ((type == 0xC1 || type == 0x41) && open) {
      uint32_t piece = 0;
      while (piece < 15 && Le16(e + 2 + 2 * piece) != 0) ++piece;
      if (nameLen + piece >= kNameUnits) {
        finish();
        continue;
      }
      for (uint32_t i = 0; i < piece; ++i) name[nameLen++] = char16_t(Le16(e + 2 + 2 * i));
      if (remaining) --remaining;
      if (remaining == 0) finish();
    }
    // Label, bitmap, up-case and vendor entries are passed over.
  }
}

// Reads one directory into a buffer and stores its sets. The result as for ReadExfatDirectory.
bool ReadOneDirectory(ExfatRunState* state, DiskReader& reader, VolumeContext& vol, const ExfatGeometry& geo,
                      const PendingDir& dir, uint32_t hitFlag, DirWorkList& work) {
  if (Stopped(state)) return false;
  const uint64_t dirLba = ExfatClusterLba(geo, dir.firstCluster);
  if (!dirLba || IsKnownExfatDirLba(dirLba)) return false;
  uint64_t bound = dir.bytes < kMaxDirBytes ? dir.bytes : kMaxDirBytes;
  std::vector<uint32_t> clusters;
  if (!dir.chained) {
    // Its clusters lie in a row and its FAT entries mean nothing.
    for (uint64_t n = dir.firstCluster; IsExfatHeapCluster(geo, n) && uint64_t(clusters.size()) * geo.clusterBytes < bound;
         ++n)
      clusters.push_back(uint32_t(n));
  } else if (!vol.fatBuffer) {
    clusters.push_back(dir.firstCluster);
  } else {
    std::unordered_set<uint32_t> seen;
    uint32_t n = dir.firstCluster;
    while (IsExfatHeapCluster(geo, n) && uint64_t(n) * 4 + 4 <= vol.fatBufferSize &&
           uint64_t(clusters.size()) * geo.clusterBytes < bound && seen.insert(n).second) {
      clusters.push_back(n);
      const uint32_t next = Le32(vol.fatBuffer + uint64_t(n) * 4);
      if (next == kFatEnd || next < 2) break;
      n = next;
    }
  }
  if (clusters.empty()) return false;
  AddKnownExfatDirLba(dirLba);

  const uint64_t bytes = uint64_t(clusters.size()) * geo.clusterBytes;
  uint8_t* buf = static_cast<uint8_t*>(AllocMem(bytes, 205));
  std::memset(buf, 0, bytes);
  for (size_t i = 0; i < clusters.size(); ++i) {
    reader.ReadSectors(buf + i * geo.clusterBytes, ExfatClusterLba(geo, clusters[i]), 1u << geo.shift);
    if (Stopped(state)) {
      FreeMem(buf);
      return false;
    }
  }
  const bool parsed = !hitFlag || CheckExfatDirEntries(buf, 0) || IsExfatRootDirSector(buf);
  if (parsed) StoreEntrySets(vol, geo, buf, uint32_t(bytes), dir.parentId, hitFlag, work);
  FreeMem(buf);
  return true;
}

// Reads the directories of the work list, newest first, so the walk goes down the tree one
// directory buffer at a time. False when the run was stopped.
// Live directories come first: a deleted directory's first cluster may have been given to a
// live one since, and the live one's entries are its own.
bool DrainWorkList(ExfatRunState* state, DiskReader& reader, VolumeContext& vol, const ExfatGeometry& geo,
                   uint32_t hitFlag, DirWorkList& work) {
  DirWorkList deleted;
  auto setAside = [&](size_t from) {
    auto live = std::stable_partition(work.begin() + long(from), work.end(), [](const PendingDir& d) { return d.deleted; });
    deleted.insert(deleted.end(), work.begin() + long(from), live);
    work.erase(work.begin() + long(from), live);
  };
  setAside(0);
  while (!work.empty() || !deleted.empty()) {
    if (Stopped(state)) return false;
    DirWorkList& from = work.empty() ? deleted : work;
    const PendingDir dir = from.back();
    from.pop_back();
    const size_t before = work.size();
    ReadOneDirectory(state, reader, vol, geo, dir, hitFlag, work);
    // The subdirectories of one directory are read in the order they stand in it.
    std::reverse(work.begin() + long(before), work.end());
    setAside(before);
  }
  return !Stopped(state);
}

}  // namespace

bool ReadExfatDirectory(ExfatRunState* state, DiskReader& reader, VolumeContext& vol, uint32_t firstCluster,
                        uint64_t byteBound, uint32_t parentId, uint32_t hitFlag) {
  ExfatGeometry geo;
  if (!ReadExfatGeometry(vol.bootSector, vol.firstLba, geo)) return false;
  DirWorkList work;
  if (!ReadOneDirectory(state, reader, vol, geo, PendingDir{firstCluster, byteBound, parentId}, hitFlag, work))
    return false;
  std::reverse(work.begin(), work.end());
  return DrainWorkList(state, reader, vol, geo, hitFlag, work);
}

bool ParseExfatEntrySets(ExfatRunState* state, DiskReader& reader, VolumeContext& vol, const uint8_t* buffer,
                         uint32_t length, uint32_t parentId, uint32_t hitFlag) {
  if (hitFlag && (length < 512 || (!IsExfatRootDirSector(buffer) && !CheckExfatDirEntries(buffer, 0))))
    return false;
  ExfatGeometry geo;
  if (!ReadExfatGeometry(vol.bootSector, vol.firstLba, geo)) return true;
  DirWorkList work;
  StoreEntrySets(vol, geo, buffer, length, parentId, hitFlag, work);
  std::reverse(work.begin(), work.end());
  DrainWorkList(state, reader, vol, geo, hitFlag, work);
  return true;
}

namespace {

// The FAT, no larger than the cluster count needs and never past the volume.
void LoadFat(DiskReader& reader, VolumeContext& vol, const ExfatGeometry& geo) {
  if (vol.fatBuffer) FreeMem(vol.fatBuffer);
  vol.fatBuffer = nullptr;
  vol.fatBufferSize = 0;
  if (geo.fatLength < 1 || geo.fatLength > kMaxFatSectors) return;
  const uint64_t needBytes = (uint64_t(geo.clusterCount) + 2) * 4;
  uint64_t sectors = (needBytes + 511) / 512;
  if (sectors > geo.fatLength) sectors = geo.fatLength;
  if (vol.sectorCount && vol.sectorCount != kUnknownSectorCount) {
    if (geo.fatOffset >= vol.sectorCount) return;
    if (sectors > vol.sectorCount - geo.fatOffset) sectors = vol.sectorCount - geo.fatOffset;
  }
  if (!sectors) return;
  vol.fatBuffer = static_cast<uint8_t*>(AllocMem(sectors * 512, 43));
  std::memset(vol.fatBuffer, 0, sectors * 512);
  vol.fatBufferSize = uint32_t(sectors * 512);
  reader.ReadSectors(vol.fatBuffer, geo.firstLba + geo.fatOffset, uint32_t(sectors));
}

// The allocation bitmap named by the 0x81 entry of the root's first sector, no larger than the
// cluster count needs.
void LoadBitmap(DiskReader& reader, VolumeContext& vol, const ExfatGeometry& geo) {
  if (vol.bitmapBuffer) FreeMem(vol.bitmapBuffer);
  vol.bitmapBuffer = nullptr;
  vol.bitmapBufferSize = 0;
  const uint64_t rootLba = ExfatClusterLba(geo, geo.rootCluster);
  uint8_t* sector = static_cast<uint8_t*>(AllocMem(512, 55));
  std::memset(sector, 0, 512);
  uint32_t bitmapCluster = 0;
  uint64_t length = 0;
  if (rootLba && reader.ReadSectors(sector, rootLba, 1)) {
    for (uint32_t i = 0; i < kEntriesPerSector; ++i) {
      const uint8_t* e = sector + i * kEntryBytes;
      if (e[0] == 0x81) {
        bitmapCluster = Le32(e + 20);
        length = Le64(e + 24) & 0xFFFFFFFFu;
        break;
      }
    }
  }
  FreeMem(sector);
  const uint64_t maxBytes = (uint64_t(geo.clusterCount) + 7) / 8;
  if (length > maxBytes) length = maxBytes;
  const uint64_t bitmapLba = ExfatClusterLba(geo, bitmapCluster);
  if (!length || !bitmapLba || length > kMaxBitmapBytes) return;
  const uint64_t sectors = (length + 511) / 512;
  vol.bitmapBuffer = static_cast<uint8_t*>(AllocMem(sectors * 512, 94));
  std::memset(vol.bitmapBuffer, 0, sectors * 512);
  vol.bitmapBufferSize = uint32_t(length);
  reader.ReadSectors(vol.bitmapBuffer, bitmapLba, uint32_t(sectors));
}

void FillBounds(VolumeContext& vol) {
  uint32_t earliest = 0, latest = 0;
  uint64_t highest = 0;
  for (uint32_t id = 6; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec || !(rec->flags & kRecInUse) || (rec->flags & kRecDirectory)) continue;
    if (rec->ctime && (!earliest || rec->ctime < earliest)) earliest = rec->ctime;
    if (rec->ctime > latest) latest = rec->ctime;
    if (rec->mtime > latest) latest = rec->mtime;
    if (rec->lba > highest) highest = rec->lba;
  }
  vol.earliestTime = earliest;
  vol.latestTime = latest;
  vol.lowestLba = vol.firstLba;
  vol.highestLba = vol.type == kVolTypeExfat ? vol.firstLba + vol.sectorCount : highest;
}

}  // namespace

bool WalkExfatVolume(ExfatRunState* state, DiskReader& reader, VolumeContext& vol) {
  ExfatGeometry geo;
  if (!ReadExfatGeometry(vol.bootSector, vol.firstLba, geo)) return true;
  LoadFat(reader, vol, geo);
  if (Stopped(state)) return false;
  LoadBitmap(reader, vol, geo);
  ReadExfatDirectory(state, reader, vol, geo.rootCluster, kRootDirBound, kRootId, 0);
  FillBounds(vol);
  return true;
}

bool ParseExfatVolume(ExfatRunState* state, VolumeContext& vol) {
  if (GetSoftCfg(u"ParseFileSys") != CString(u"1")) return false;
  DiskReader reader;
  if (!OpenVolumeDevice(vol, reader)) return false;
  CreateRootAndLostFolders(vol);
  WalkExfatVolume(state, reader, vol);
  LinkFileTree(vol, 1);
  MatchRecycleDirectories(vol);
  reader.Close();
  return true;
}
