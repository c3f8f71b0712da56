// "kscan fs IMAGE [--first-lba N]": parses the NTFS, FAT or exFAT file system of a volume in an
// image file (or of every volume its partition tables name) and prints one JSON line per found
// item, times in UTC:
//   {"path":"/dir/name","size":N,"dir":bool,"deleted":bool,"ctime":"YYYY-MM-DD hh:mm:ss",
//    "mtime":"...","id":N,"sha256":"..."}
// sha256 is of the data as the program reads it; empty for a directory or when the data cannot
// be read in full.
// When the image is a partitioned disk (no NTFS boot sector at LBA 0 and no --first-lba), every
// NTFS volume its partition tables name is parsed, and each line starts with "volume":LBA.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/scanrun.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "platform/textconv.h"
#include "parsefilesystem/exfat/exfatextents.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscanvolume.h"

#include <openssl/evp.h>

namespace {

std::string PackedText(uint32_t p) {
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

// "/a/b" from the parent ids up to the root; bounded against loops.
std::string ItemPath(const VolumeContext& vol, const FileRecord* rec) {
  std::string path;
  for (uint32_t depth = 0; rec && rec->id != kRootId && depth < kMaxTreeDepth; ++depth) {
    path = "/" + CString(rec->name).ToUtf8() + path;
    if (rec->parent == rec->id) break;
    rec = GetFileRecord(vol, rec->parent, 0);
  }
  return path;
}

void HashPiece(const uint8_t* data, uint64_t n, void* ctx) {
  EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx), data, size_t(n));
}

std::string DataSha256(VolumeContext& vol, uint32_t id) {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  EVP_DigestInit_ex(md, EVP_sha256(), nullptr);
  const bool whole = KscanReadItem(vol, id, &HashPiece, md);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_DigestFinal_ex(md, digest, &len);
  EVP_MD_CTX_free(md);
  if (!whole) return "";
  std::string hex;
  char b[3];
  for (unsigned i = 0; i < len; ++i) {
    snprintf(b, sizeof b, "%02x", digest[i]);
    hex += b;
  }
  return hex;
}

void PrintVolume(VolumeContext& vol, bool withVolume) {
  for (uint32_t id = 1; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec || id == kRootId) continue;
    if (withVolume) printf("{\"volume\":%llu,", (unsigned long long)vol.firstLba);
    else printf("{");
    printf("\"path\":\"%s\",\"size\":%llu,\"dir\":%s,\"deleted\":%s,\"ctime\":\"%s\",\"mtime\":\"%s\",\"id\":%u,\"sha256\":\"%s\"}\n",
           JsonText(ItemPath(vol, rec)).c_str(), (unsigned long long)rec->size,
           (rec->flags & kRecDirectory) ? "true" : "false", (rec->flags & kRecInUse) ? "false" : "true",
           PackedText(rec->ctime).c_str(), PackedText(rec->mtime).c_str(), id,
           (rec->flags & kRecDirectory) ? "" : DataSha256(vol, id).c_str());
  }
}

// Every NTFS, FAT and exFAT volume the partition tables of the disk image name.
int ParsePartitioned(VolumeContext& target) {
  VolumeContext disk = target;
  disk.targetKind = kTargetDisk;
  std::vector<VolumeContext> areas(1, disk), found;
  areas[0].targetKind = kTargetArea;
  if (!FindDiskPartitions(disk, areas, found)) {
    fprintf(stderr, "kscan fs: no volume and no partition table\n");
    return 1;
  }
  int parsed = 0;
  ScanRunState = kScanRunning;
  for (VolumeContext& vol : found) {
    if (!FsNameOfType(vol.type)[0]) continue;
    if (ParseVolumeFileSystem(&ScanRunState, vol) <= 0) {
      fprintf(stderr, "kscan fs: the volume at LBA %llu could not be parsed\n", (unsigned long long)vol.firstLba);
      FreeAllFileRecords(vol);
      continue;
    }
    PrintVolume(vol, true);
    FreeAllFileRecords(vol);
    ++parsed;
  }
  if (parsed == 0) fprintf(stderr, "kscan fs: no volume parsed\n");
  return parsed > 0 ? 0 : 1;
}

int RunFs(const std::vector<std::string>& args) {
  if (args.empty()) {
    fprintf(stderr, "usage: kscan fs IMAGE [--first-lba N]\n");
    return 2;
  }
  uint64_t firstLba = 0;
  bool firstLbaGiven = false;
  for (size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--first-lba") {
      firstLba = strtoull(args[i + 1].c_str(), nullptr, 0);
      firstLbaGiven = true;
    }
  }
  // Packed times are local; under UTC they print as the UTC the comparisons use.
  setenv("TZ", "UTC", 1);
  tzset();
  InitNtfsExtentProvider();
  InitFatExtentProvider();
  InitExfatExtentProvider();

  VolumeContext& target = ScanTarget();
  target.devicePath = CString(Utf8ToUtf16(args[0]));
  target.sourcePath = target.devicePath;
  target.name = target.devicePath;
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) {
    fprintf(stderr, "kscan fs: cannot open %s\n", args[0].c_str());
    return 1;
  }
  target.sectorCount = reader.sizeBytes / kSectorBytes;
  target.deviceSectors = target.sectorCount;
  if (firstLba >= target.sectorCount) {
    fprintf(stderr, "kscan fs: first LBA beyond the image\n");
    return 1;
  }
  uint8_t boot[512] = {};
  const uint32_t type = reader.ReadSectors(boot, firstLba, 1) ? ProbeBootSector(boot) : 0;
  const bool haveBoot = type != 0;
  if (!haveBoot && !firstLbaGiven) {
    reader.Close();
    return ParsePartitioned(target);
  }
  if (!haveBoot) {
    fprintf(stderr, "kscan fs: no NTFS, FAT or exFAT volume at LBA %llu\n", (unsigned long long)firstLba);
    return 1;
  }
  VolumeContext vol;
  SetupVolumeOfType(type, target, reader, boot, firstLba, target.sectorCount - firstLba, vol);
  reader.Close();
  ScanRunState = kScanRunning;
  if (ParseVolumeFileSystem(&ScanRunState, vol) <= 0) {
    fprintf(stderr, "kscan fs: the volume could not be parsed\n");
    FreeAllFileRecords(vol);
    return 1;
  }
  PrintVolume(vol, false);
  FreeAllFileRecords(vol);
  return 0;
}

KscanCommand reg("fs", "fs IMAGE [--first-lba N]", &RunFs);

}  // namespace
