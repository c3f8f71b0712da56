#include "tests/tools/kscan/kscanvolume.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/heap.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "core/recyclebin.h"
#include "deepscan/fsrecognize.h"
#include "parsefilesystem/exfat/exfatextents.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "platform/textconv.h"
#include "scanbase/scanrun.h"

bool KscanOpenImageTarget(const char* command, const std::string& image, DiskReader& reader) {
  setenv("TZ", "UTC", 1);
  tzset();
  InitNtfsExtentProvider();
  InstallRecycleBinRepair();
  InitFatExtentProvider();
  InitExfatExtentProvider();

  VolumeContext& target = ScanTarget();
  target.devicePath = CString(Utf8ToUtf16(image));
  target.sourcePath = target.devicePath;
  target.name = target.devicePath;
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) {
    fprintf(stderr, "kscan %s: cannot open %s\n", command, image.c_str());
    return false;
  }
  target.sectorCount = reader.sizeBytes / kSectorBytes;
  target.deviceSectors = target.sectorCount;
  return true;
}

uint64_t KscanFirstLba(const std::vector<std::string>& args, bool* given) {
  uint64_t firstLba = 0;
  if (given) *given = false;
  for (size_t i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--first-lba") {
      firstLba = strtoull(args[i + 1].c_str(), nullptr, 0);
      if (given) *given = true;
    }
  }
  return firstLba;
}

bool KscanParseVolumeAt(const char* command, DiskReader& reader, uint64_t firstLba, VolumeContext& vol) {
  VolumeContext& target = ScanTarget();
  if (firstLba >= target.sectorCount) {
    fprintf(stderr, "kscan %s: first LBA beyond the image\n", command);
    return false;
  }
  uint8_t boot[512] = {};
  const uint32_t type = reader.ReadSectors(boot, firstLba, 1) ? ProbeBootSector(boot) : 0;
  if (type == 0) {
    fprintf(stderr, "kscan %s: no NTFS, FAT or exFAT volume at LBA %llu\n", command, (unsigned long long)firstLba);
    return false;
  }
  SetupVolumeOfType(type, target, reader, boot, firstLba, target.sectorCount - firstLba, vol);
  reader.Close();
  ScanRunState = kScanRunning;
  if (ParseVolumeFileSystem(&ScanRunState, vol) <= 0) {
    fprintf(stderr, "kscan %s: the volume could not be parsed\n", command);
    FreeAllFileRecords(vol);
    return false;
  }
  return true;
}

bool KscanOpenVolume(const char* command, const std::vector<std::string>& args, VolumeContext& vol) {
  DiskReader reader;
  return KscanOpenImageTarget(command, args[0], reader) && KscanParseVolumeAt(command, reader, KscanFirstLba(args), vol);
}

