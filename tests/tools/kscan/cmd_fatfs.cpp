// "kscan fatfs IMAGE [--first-lba N]": parses the FAT16/FAT32 volume of an image file and prints
// one JSON line per found item, times in UTC, with the SHA-256 of each file's data as the
// program reads it (through its data extents and the sector reader):
//   {"path":"/dir/name","size":N,"dir":bool,"deleted":bool,"ctime":"YYYY-MM-DD hh:mm:ss",
//    "mtime":"...","id":N,"sha256":"hex"}
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "deepscan/scanrun.h"
#include "parsefilesystem/parsefat/fatextents.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsefat/fatvolume.h"
#include "platform/textconv.h"
#include "tests/tools/kscan/kscan.h"

namespace {

std::string TimeText(uint32_t p) {
  if (p == 0) return "";
  char b[32];
  snprintf(b, sizeof b, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (p >> 26), (p >> 22) & 0xF, (p >> 17) & 0x1F,
           (p >> 12) & 0x1F, (p >> 6) & 0x3F, p & 0x3F);
  return b;
}

std::string Json(const std::string& s) {
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

std::string PathOf(const VolumeContext& vol, const FileRecord* rec) {
  std::string path;
  for (uint32_t depth = 0; rec && rec->id != kRootId && depth < kMaxTreeDepth; ++depth) {
    path = "/" + CString(rec->name).ToUtf8() + path;
    if (rec->parent == rec->id) break;
    rec = GetFileRecord(vol, rec->parent, 0);
  }
  return path;
}

// SHA-256 of the file's size in bytes read through its extents; empty when it has none.
std::string DataHash(DiskReader& reader, const VolumeContext& vol, const FileRecord& rec) {
  DataExtentList ext;
  if (!GetFatFileExtents(vol, rec, ext)) return "";
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  EVP_DigestInit_ex(md, EVP_sha256(), nullptr);
  uint64_t left = rec.size;
  std::vector<uint8_t> buf(64 * 512);
  for (const DataExtent& e : ext) {
    for (uint64_t s = 0; s < e.sectorCount && left; s += 64) {
      const uint32_t n = uint32_t(std::min<uint64_t>(64, e.sectorCount - s));
      std::fill(buf.begin(), buf.end(), 0);
      (void)reader.ReadSectors(buf.data(), e.startLba + s, n);
      const uint64_t take = std::min<uint64_t>(left, uint64_t(n) * 512);
      EVP_DigestUpdate(md, buf.data(), size_t(take));
      left -= take;
    }
  }
  unsigned char digest[32];
  unsigned len = 0;
  EVP_DigestFinal_ex(md, digest, &len);
  EVP_MD_CTX_free(md);
  std::string hex;
  char b[3];
  for (unsigned i = 0; i < len; ++i) {
    snprintf(b, sizeof b, "%02x", digest[i]);
    hex += b;
  }
  return hex;
}

int RunFatFs(const std::vector<std::string>& args) {
  if (args.empty()) {
    fprintf(stderr, "usage: kscan fatfs IMAGE [--first-lba N]\n");
    return 2;
  }
  uint64_t firstLba = 0;
  for (size_t i = 1; i + 1 < args.size(); ++i)
    if (args[i] == "--first-lba") firstLba = strtoull(args[i + 1].c_str(), nullptr, 0);
  setenv("TZ", "UTC", 1);
  tzset();

  VolumeContext& target = ScanTarget();
  target.devicePath = CString(Utf8ToUtf16(args[0]).c_str());
  target.sourcePath = target.devicePath;
  target.name = target.devicePath;
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) {
    fprintf(stderr, "kscan fatfs: cannot open %s\n", args[0].c_str());
    return 1;
  }
  target.sectorCount = reader.sizeBytes / kSectorBytes;
  target.deviceSectors = target.sectorCount;
  uint8_t boot[512] = {};
  if (firstLba >= target.sectorCount || !reader.ReadSectors(boot, firstLba, 1) ||
      !(IsFat16BootSector(boot) || IsFat32BootSector(boot))) {
    fprintf(stderr, "kscan fatfs: no FAT16 or FAT32 volume at LBA %llu\n", (unsigned long long)firstLba);
    return 1;
  }
  VolumeContext vol;
  SetupFatVolume(target, reader, boot, firstLba, target.sectorCount - firstLba, vol);
  ClearKnownFatLbaList();
  ScanRunState = kScanStopped + 1;  // input finished: no scan running
  std::atomic<uint32_t> state{kScanRunning};
  if (!ParseFatVolume(&state, vol)) {
    fprintf(stderr, "kscan fatfs: the volume could not be parsed\n");
    FreeAllFileRecords(vol);
    return 1;
  }
  for (uint32_t id = 1; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec || id == kRootId || id == kLostFolderId) continue;
    const bool dir = rec->flags & kRecDirectory;
    printf("{\"path\":\"%s\",\"size\":%llu,\"dir\":%s,\"deleted\":%s,\"ctime\":\"%s\",\"mtime\":\"%s\",\"id\":%u,"
           "\"sha256\":\"%s\"}\n",
           Json(PathOf(vol, rec)).c_str(), (unsigned long long)rec->size, dir ? "true" : "false",
           (rec->flags & kRecInUse) ? "false" : "true", TimeText(rec->ctime).c_str(), TimeText(rec->mtime).c_str(),
           id, dir ? "" : DataHash(reader, vol, *rec).c_str());
  }
  FreeAllFileRecords(vol);
  return 0;
}

KscanCommand reg("fatfs", "fatfs IMAGE [--first-lba N]", &RunFatFs);

}  // namespace
