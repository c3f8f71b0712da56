#include "tests/tools/kscan/kscanvolume.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/heap.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "deepscan/scanrun.h"
#include "parsefilesystem/parsentfs/ntfsextents.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "platform/textconv.h"

bool KscanOpenNtfsVolume(const char* command, const std::vector<std::string>& args, VolumeContext& vol) {
  uint64_t firstLba = 0;
  for (size_t i = 1; i + 1 < args.size(); ++i)
    if (args[i] == "--first-lba") firstLba = strtoull(args[i + 1].c_str(), nullptr, 0);
  // Packed times are local; under UTC they print as the UTC the comparisons use.
  setenv("TZ", "UTC", 1);
  tzset();
  InitNtfsExtentProvider();

  VolumeContext& target = ScanTarget();
  target.devicePath = CString(Utf8ToUtf16(args[0]));
  target.sourcePath = target.devicePath;
  target.name = target.devicePath;
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) {
    fprintf(stderr, "kscan %s: cannot open %s\n", command, args[0].c_str());
    return false;
  }
  target.sectorCount = reader.sizeBytes / kSectorBytes;
  target.deviceSectors = target.sectorCount;
  if (firstLba >= target.sectorCount) {
    fprintf(stderr, "kscan %s: first LBA beyond the image\n", command);
    return false;
  }
  uint8_t boot[512] = {};
  if (!reader.ReadSectors(boot, firstLba, 1) || !IsNtfsBootSector(boot)) {
    fprintf(stderr, "kscan %s: no NTFS volume at LBA %llu\n", command, (unsigned long long)firstLba);
    return false;
  }
  SetupNtfsVolume(target, reader, boot, firstLba, target.sectorCount - firstLba, vol);
  reader.Close();
  ScanRunState = kScanRunning;
  if (!ParseNtfsVolume(&ScanRunState, vol)) {
    fprintf(stderr, "kscan %s: the volume could not be parsed\n", command);
    FreeAllFileRecords(vol);
    return false;
  }
  return true;
}

