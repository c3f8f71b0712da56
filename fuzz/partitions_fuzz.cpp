// The partition walk of a disk in an in-memory image: MBR, EBR chains and GPT, with the file
// systems recognised in what they name.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "deepscan/partitionwalk.h"
#include "fuzz/fuzzimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzEngineInit();
  if (!FuzzLoadImage(data, size)) return 0;
  VolumeContext disk = CopyScanTarget();
  disk.targetKind = kTargetDisk;
  std::vector<VolumeContext> areas(1, disk), found;
  areas[0].targetKind = kTargetArea;
  (void)FindDiskPartitions(disk, areas, found);
  return 0;
}
