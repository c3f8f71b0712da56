// "kscan fs IMAGE [--first-lba N] [--deleted] [--no-hash]": parses the NTFS, FAT or exFAT file system of a
// volume in an image file (or of every volume its partition tables name) and prints one JSON
// line per found item, times in UTC:
//   {"path":"/dir/name","size":N,"dir":bool,"deleted":bool,"ctime":"YYYY-MM-DD hh:mm:ss",
//    "mtime":"...","id":N,"sha256":"..."}
// Items known only from the NTFS journals carry "journal":true as well.
// sha256 is of the data as the program reads it; empty for a directory or when the data cannot
// be read in full. --no-hash leaves the field out and reads no file data, so the listing alone
// can be timed.
// When the image is a partitioned disk (no NTFS boot sector at LBA 0 and no --first-lba), every
// NTFS volume its partition tables name is parsed, and each line starts with "volume":LBA.
// With --deleted each parsed volume goes through the deleted-files split first and what it
// publishes is printed: the deleted files with the folders that lead to them.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "core/volumesplit.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/partitionwalk.h"
#include "scanbase/scanrun.h"
#include "tests/fixtures/sha256evp.h"
#include "tests/tools/kscan/kscan.h"
#include "tests/tools/kscan/kscanvolume.h"


namespace {

bool g_hash = true;

void PrintVolume(VolumeContext& vol, bool withVolume) {
  for (uint32_t id = 1; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec || id == kRootId) continue;
    if (withVolume) printf("{\"volume\":%llu,", (unsigned long long)vol.firstLba);
    else printf("{");
    printf("\"path\":\"%s\",\"size\":%llu,\"dir\":%s,\"deleted\":%s,\"ctime\":\"%s\",\"mtime\":\"%s\",\"id\":%u",
           KscanJsonText(KscanItemPath(vol, rec)).c_str(), (unsigned long long)rec->size,
           (rec->flags & kRecDirectory) ? "true" : "false", (rec->flags & kRecInUse) ? "false" : "true",
           KscanPackedTime(rec->ctime).c_str(), KscanPackedTime(rec->mtime).c_str(), id);
    if (g_hash)
      printf(",\"sha256\":\"%s\"", (rec->flags & kRecDirectory) ? "" : KscanItemSha256(vol, id).c_str());
    printf("%s}\n", (rec->flags & kRecFromJournal) ? ",\"journal\":true" : "");
  }
}

// Prints the parsed volume, or with a split mode the volumes the split publishes, and frees
// the records.
void PrintAndFree(VolumeContext& vol, bool withVolume, uint32_t splitMode) {
  if (splitMode == 0) {
    PrintVolume(vol, withVolume);
    FreeAllFileRecords(vol);
    return;
  }
  std::vector<VolumeContext> published;
  SplitVolumeByDeletion(splitMode, vol, published);
  for (VolumeContext& v : published) {
    PrintVolume(v, withVolume);
    FreeAllFileRecords(v);
  }
}

bool HasOption(const std::vector<std::string>& args, const char* option) {
  for (const std::string& a : args)
    if (a == option) return true;
  return false;
}

// Every NTFS, FAT and exFAT volume the partition tables of the disk image name.
int ParsePartitioned(VolumeContext& target, uint32_t splitMode) {
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
    PrintAndFree(vol, true, splitMode);
    ++parsed;
  }
  if (parsed == 0) fprintf(stderr, "kscan fs: no volume parsed\n");
  return parsed > 0 ? 0 : 1;
}

}  // namespace

int KscanListVolumes(const char* command, const std::vector<std::string>& args, uint32_t splitMode) {
  if (args.empty()) {
    fprintf(stderr, "usage: kscan %s IMAGE [--first-lba N]\n", command);
    return 2;
  }
  bool firstLbaGiven = false;
  const uint64_t firstLba = KscanFirstLba(args, &firstLbaGiven);
  DiskReader reader;
  if (!KscanOpenImageTarget(command, args[0], reader)) return 1;
  if (!firstLbaGiven) {
    // A disk image with partition tables rather than a bare volume: parse every volume.
    uint8_t boot[512] = {};
    if (!reader.ReadSectors(boot, 0, 1) || ProbeBootSector(boot) == 0) {
      reader.Close();
      return ParsePartitioned(ScanTarget(), splitMode);
    }
  }
  VolumeContext vol;
  if (!KscanParseVolumeAt(command, reader, firstLba, vol)) return 1;
  PrintAndFree(vol, false, splitMode);
  return 0;
}

namespace {

int RunFs(const std::vector<std::string>& args) {
  g_hash = !HasOption(args, "--no-hash");
  return KscanListVolumes("fs", args, HasOption(args, "--deleted") ? kSplitModeDeletedFiles : 0);
}

KscanCommand reg("fs", "fs IMAGE [--first-lba N] [--deleted] [--no-hash]", &RunFs);

}  // namespace
