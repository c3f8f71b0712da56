// "kscan parts IMAGE": walks the partition tables of a disk image and prints one JSON line per
// partition or uncovered area found:
//   {"start":LBA,"sectors":N,"kind":"partition"|"area","type":T,"fs":"NTFS"}
#include <cstdio>
#include <string>
#include <vector>

#include "core/diskreader.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/partitionwalk.h"
#include "platform/textconv.h"
#include "tests/tools/kscan/kscan.h"

namespace {

int RunParts(const std::vector<std::string>& args) {
  if (args.empty()) {
    fprintf(stderr, "usage: kscan parts IMAGE\n");
    return 2;
  }
  VolumeContext disk;
  disk.devicePath = CString(Utf8ToUtf16(args[0]));
  disk.name = disk.devicePath;
  disk.targetKind = kTargetDisk;
  DiskReader reader;
  if (!OpenDeviceByPath(disk.devicePath, reader, 1)) {
    fprintf(stderr, "kscan parts: cannot open %s\n", args[0].c_str());
    return 1;
  }
  disk.sectorCount = reader.sizeBytes / kSectorBytes;
  disk.deviceSectors = disk.sectorCount;
  reader.Close();
  // The whole disk is one uncovered area: every partition on it is reported.
  std::vector<VolumeContext> areas(1, disk);
  areas[0].firstLba = 0;
  areas[0].targetKind = kTargetArea;
  std::vector<VolumeContext> out;
  if (!FindDiskPartitions(disk, areas, out)) {
    fprintf(stderr, "kscan parts: no partition table walked\n");
    return 1;
  }
  for (const VolumeContext& v : out) {
    printf("{\"start\":%llu,\"sectors\":%llu,\"kind\":\"%s\",\"type\":%u,\"fs\":\"%s\"}\n",
           (unsigned long long)v.firstLba, (unsigned long long)v.sectorCount,
           v.targetKind == kTargetArea ? "area" : "partition", v.type, CString(FsNameOfType(v.type)).ToUtf8().c_str());
  }
  return 0;
}

KscanCommand reg("parts", "parts IMAGE", &RunParts);

}  // namespace
