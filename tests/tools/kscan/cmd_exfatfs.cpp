// "kscan exfatfs IMAGE [--first-lba N]": parses the exFAT volume at LBA N of an image file and
// prints one JSON line per found item, times as stored (local time, printed as is):
//   {"path":"/dir/name","size":N,"dir":bool,"deleted":bool,"ctime":"YYYY-MM-DD hh:mm:ss",
//    "mtime":"...","id":N,"lba":N,"sha256":"..."}
// The hash covers the file's data read through its cluster list, cut to its size; directories
// have none.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "deepscan/scanrun.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "platform/textconv.h"
#include "tests/fixtures/sha256hex.h"
#include "tests/tools/kscan/kscan.h"

namespace {

std::string StampText(uint32_t p) {
  if (p == 0) return "";
  char b[32];
  snprintf(b, sizeof b, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (p >> 26), (p >> 22) & 0xF, (p >> 17) & 0x1F,
           (p >> 12) & 0x1F, (p >> 6) & 0x3F, p & 0x3F);
  return b;
}

std::string JsonText(const std::string& s) {
  std::string o;
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      o += '\\';
      o += char(c);
    } else if (c < 0x20) {
      char b[8];
      snprintf(b, sizeof b, "\\u%04x", c);
      o += b;
    } else {
      o += char(c);
    }
  }
  return o;
}

std::string ItemPath(const VolumeContext& vol, const FileRecord* rec) {
  std::string path;
  for (uint32_t depth = 0; rec && rec->id != kRootId && depth < kMaxTreeDepth; ++depth) {
    path = "/" + CString(rec->name).ToUtf8() + path;
    if (rec->parent == rec->id) break;
    rec = GetFileRecord(vol, rec->parent, 0);
  }
  return path;
}

// The file's data through its cluster list, cut to its size.
std::string DataHash(DiskReader& reader, const VolumeContext& vol, const FileRecord& rec) {
  std::vector<uint32_t> clusters;
  GetExfatFileClusters(vol, rec, rec.firstCluster, clusters, rec.size);
  std::vector<DataExtent> extents;
  ExfatClustersToExtents(vol, clusters, extents);
  Sha256 sha;
  uint64_t left = rec.size;
  std::vector<uint8_t> buf;
  for (const DataExtent& x : extents) {
    for (uint64_t s = 0; s < x.sectorCount && left; s += 64) {
      const uint32_t n = uint32_t(x.sectorCount - s < 64 ? x.sectorCount - s : 64);
      buf.assign(size_t(n) * kSectorBytes, 0);
      reader.ReadSectors(buf.data(), x.startLba + s, n);
      const uint64_t take = left < buf.size() ? left : buf.size();
      sha.Update(buf.data(), size_t(take));
      left -= take;
    }
  }
  return left ? "short" : sha.HexDigest();
}

int RunExfatFs(const std::vector<std::string>& args) {
  if (args.empty()) {
    fprintf(stderr, "usage: kscan exfatfs IMAGE [--first-lba N]\n");
    return 2;
  }
  uint64_t firstLba = 0;
  for (size_t i = 1; i + 1 < args.size(); ++i)
    if (args[i] == "--first-lba") firstLba = strtoull(args[i + 1].c_str(), nullptr, 0);
  VolumeContext& target = ScanTarget();
  target.devicePath = CString(Utf8ToUtf16(args[0]));
  target.sourcePath = target.devicePath;
  target.name = target.devicePath;
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) {
    fprintf(stderr, "kscan exfatfs: cannot open %s\n", args[0].c_str());
    return 1;
  }
  target.sectorCount = reader.sizeBytes / kSectorBytes;
  target.deviceSectors = target.sectorCount;
  uint8_t boot[512] = {};
  if (firstLba >= target.sectorCount || !reader.ReadSectors(boot, firstLba, 1) || memcmp(boot + 3, "EXFAT   ", 8) != 0) {
    fprintf(stderr, "kscan exfatfs: no exFAT volume at LBA %llu\n", (unsigned long long)firstLba);
    return 1;
  }
  VolumeContext vol;
  SetupExfatVolume(target, reader, boot, firstLba, target.sectorCount - firstLba, vol);
  ClearKnownExfatDirLbas();
  ScanRunState = kScanRunning;
  if (!ParseExfatVolume(&ScanRunState, vol)) {
    fprintf(stderr, "kscan exfatfs: the volume could not be parsed\n");
    FreeAllFileRecords(vol);
    return 1;
  }
  for (uint32_t id = 1; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec || id == kRootId) continue;
    const bool dir = rec->flags & kRecDirectory;
    printf("{\"path\":\"%s\",\"size\":%llu,\"dir\":%s,\"deleted\":%s,\"ctime\":\"%s\",\"mtime\":\"%s\",\"id\":%u,"
           "\"lba\":%llu,\"sha256\":\"%s\"}\n",
           JsonText(ItemPath(vol, rec)).c_str(), (unsigned long long)rec->size, dir ? "true" : "false",
           (rec->flags & kRecInUse) ? "false" : "true", StampText(rec->ctime).c_str(), StampText(rec->mtime).c_str(),
           id, (unsigned long long)rec->lba, dir ? "" : DataHash(reader, vol, *rec).c_str());
  }
  FreeAllFileRecords(vol);
  return 0;
}

KscanCommand reg("exfatfs", "exfatfs IMAGE [--first-lba N]", &RunExfatFs);

}  // namespace
