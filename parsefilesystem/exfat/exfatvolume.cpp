// exFAT geometry, cluster lists, label, volume set-up and the check of a boot-sector hit.
#include "parsefilesystem/exfat/exfatvolume.h"

#include <cstring>
#include <unordered_set>

#include "app/settings.h"
#include "base/heap.h"
#include "parsefilesystem/exfat/exfatbytes.h"
#include "parsefilesystem/exfat/exfatsectorcheck.h"

using namespace exfat;

namespace {

constexpr uint32_t kMaxClusterShift = 16;  // 32 MiB clusters of 512-byte sectors
constexpr uint32_t kFatEnd = 0xFFFFFFFF;


constexpr uint32_t kFatBad = 0xFFFFFFF7;

bool ClusterInUse(const VolumeContext& vol, uint64_t cluster) {
  if (cluster < 2) return true;
  const uint64_t bit = cluster - 2;
  return bit / 8 >= vol.bitmapBufferSize || ((vol.bitmapBuffer[bit / 8] >> (bit % 8)) & 1);
}

// The FAT entry of a cluster, or false when the loaded FAT does not reach it.
bool FatEntry(const VolumeContext& vol, uint32_t cluster, uint32_t& entry) {
  if (!vol.fatBuffer || uint64_t(cluster) * 4 + 4 > vol.fatBufferSize) return false;
  entry = Le32(vol.fatBuffer + uint64_t(cluster) * 4);
  return true;
}

}  // namespace

bool ReadExfatGeometry(const uint8_t* b, uint64_t firstLba, ExfatGeometry& geo) {
  geo = ExfatGeometry{};
  geo.firstLba = firstLba;
  geo.volumeLength = Le64(b + 0x48);
  geo.fatOffset = Le32(b + 0x50);
  geo.fatLength = Le32(b + 0x54);
  geo.heapOffset = Le32(b + 0x58);
  geo.clusterCount = Le32(b + 0x5C);
  geo.rootCluster = Le32(b + 0x60);
  geo.shift = b[0x6D];
  // A larger shift would make the cluster size undefined arithmetic; such a boot sector is
  // not a volume this parser can read.
  if (geo.shift > kMaxClusterShift || geo.clusterCount == 0 || geo.heapOffset == 0) return false;
  geo.clusterBytes = 512u << geo.shift;
  // The cluster count bounds every walk, so it is held to what the volume's length has room
  // for: one damaged byte of it must not make a 16 MiB volume one of 2 TiB.
  if (geo.volumeLength <= geo.heapOffset) return false;
  const uint64_t fits = (geo.volumeLength - geo.heapOffset) >> geo.shift;
  if (fits == 0) return false;
  if (geo.clusterCount > fits) geo.clusterCount = uint32_t(fits);
  return true;
}

bool IsExfatHeapCluster(const ExfatGeometry& geo, uint64_t cluster) {
  return cluster >= 2 && cluster - 2 < geo.clusterCount;
}

uint64_t ExfatClusterLba(const ExfatGeometry& geo, uint64_t cluster) {
  if (!IsExfatHeapCluster(geo, cluster)) return 0;
  return geo.firstLba + geo.heapOffset + ((cluster - 2) << geo.shift);
}

bool GetExfatFileClusters(const VolumeContext& vol, const FileRecord& rec, uint32_t firstCluster,
                          std::vector<uint32_t>& clusters, uint64_t size) {
  ExfatGeometry geo;
  if (!ReadExfatGeometry(vol.bootSector, vol.firstLba, geo)) return true;
  // A hostile size never asks for more clusters than the volume has.
  uint64_t needed = size / geo.clusterBytes + (size % geo.clusterBytes ? 1 : 0);
  if (needed > geo.clusterCount) needed = geo.clusterCount;
  const bool chained = (rec.flags & kRecExfatChain) && vol.fatBuffer && vol.fatBufferSize;
  if (!chained) {
    for (uint64_t k = 0; k < needed && IsExfatHeapCluster(geo, uint64_t(firstCluster) + k); ++k)
      clusters.push_back(uint32_t(firstCluster + k));
    return true;
  }
  std::unordered_set<uint32_t> seen;
  uint64_t taken = 0;
  uint32_t n = firstCluster;
  while (taken < needed && IsExfatHeapCluster(geo, n)) {
    uint32_t e = 0;
    if (!FatEntry(vol, n, e) || !seen.insert(n).second) break;
    clusters.push_back(n);
    ++taken;
    // Without a bitmap nothing says which clusters are free: the file is taken as one run.
    if (!vol.bitmapBuffer) {
      ++n;
      continue;
    }
    // An end or bad-cluster mark ends the chain: a size beyond it is damage, never filled from
    // the clusters that follow. A cleared entry goes on only into a cluster nobody holds.
    if (e == kFatEnd || e == kFatBad) break;
    if (e == 0) {
      if (ClusterInUse(vol, uint64_t(n) + 1)) break;
      ++n;
      continue;
    }
    n = e;
  }
  return true;
}

bool ExfatClustersToExtents(const VolumeContext& vol, const std::vector<uint32_t>& clusters,
                            std::vector<DataExtent>& extents) {
  extents.clear();
  ExfatGeometry geo;
  if (clusters.empty() || !ReadExfatGeometry(vol.bootSector, vol.firstLba, geo)) return false;
  const uint64_t spc = uint64_t(1) << geo.shift;
  for (uint32_t c : clusters) {
    const uint64_t lba = ExfatClusterLba(geo, c);
    if (!lba) continue;
    if (!extents.empty() && extents.back().startLba + extents.back().sectorCount == lba)
      extents.back().sectorCount += spc;
    else
      extents.push_back(DataExtent{0, 0, lba, spc});
  }
  return !extents.empty();
}

bool ReadExfatVolumeLabel(DiskReader& reader, VolumeContext& vol) {
  ExfatGeometry geo;
  if (!ReadExfatGeometry(vol.bootSector, vol.firstLba, geo)) return false;
  const uint64_t lba = ExfatClusterLba(geo, geo.rootCluster);
  if (!lba) return false;
  uint8_t* buf = static_cast<uint8_t*>(AllocMem(geo.clusterBytes, 620));
  std::memset(buf, 0, geo.clusterBytes);
  bool found = false;
  if (reader.ReadSectors(buf, lba, 1u << geo.shift)) {
    for (uint32_t off = 0; off + kEntryBytes <= geo.clusterBytes; off += kEntryBytes) {
      const uint8_t* e = buf + off;
      if (e[0] == 0x00) break;
      if (e[0] != 0x83 || e[1] >= 16) continue;
      std::u16string text;
      for (uint32_t i = 0; i < e[1] && i < 15; ++i) text.push_back(char16_t(Le16(e + 2 + 2 * i)));
      vol.label = CString(text);
      found = true;
      break;
    }
  }
  FreeMem(buf);
  return found;
}

bool SetupExfatVolume(const VolumeContext& source, DiskReader& reader, const uint8_t* bootSector, uint64_t firstLba,
                      uint64_t partSectors, VolumeContext& target) {
  target = source;
  target.firstLba = firstLba;
  const uint64_t length = Le64(bootSector + 0x48);
  target.sectorCount = length < partSectors ? length : partSectors;
  std::memcpy(target.bootSector, bootSector, 512);
  target.type = kVolTypeExfat;
  target.devicePath = reader.devicePath;
  target.targetKind = kTargetPartition;
  target.label = CString();
  ReadExfatVolumeLabel(reader, target);
  target.name = target.label.GetLength() ? target.label : GetLangStr(u"LocalDisk");
  target.freeSectors = 0;
  return true;
}

bool SetupExfatVolumeFromHit(DiskReader& reader, const uint8_t* bootSector, uint64_t lba, VolumeContext& target) {
  ResetVolumeContext(target);
  target.firstLba = lba;
  target.sectorCount = Le64(bootSector + 0x48);
  std::memcpy(target.bootSector, bootSector, 512);
  ReadExfatVolumeLabel(reader, target);
  target.type = kVolTypeExfat;
  return true;
}

bool ValidateExfatBootHit(DiskReader& reader, const uint8_t* bootSector, uint64_t lba) {
  ExfatGeometry geo;
  if (!ReadExfatGeometry(bootSector, lba, geo)) return false;
  const uint64_t rootLba = ExfatClusterLba(geo, geo.rootCluster);
  if (!rootLba) return false;
  uint8_t sector[512] = {};
  if (!reader.ReadSectors(sector, rootLba, 1) || !IsExfatRootDirSector(sector)) return false;
  uint8_t fat[512] = {};
  if (!reader.ReadSectors(fat, lba + geo.fatOffset, 1)) return false;
  return Le32(fat) == 0xFFFFFFF8;
}

