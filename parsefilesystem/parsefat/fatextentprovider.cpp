#include "parsefilesystem/parsefat/fatextentprovider.h"

#include "core/dataextents.h"
#include "parsefilesystem/parsefat/fatextents.h"

namespace {

bool FatProvider(VolumeContext& vol, FileRecord& rec, DataExtentList& out) { return GetFatFileExtents(vol, rec, out); }

}  // namespace

void InitFatExtentProvider() {
  SetExtentProvider(kVolTypeFat16, &FatProvider);
  SetExtentProvider(kVolTypeFat32, &FatProvider);
  // A rebuilt FAT32 volume reaches its provider only when it holds a table; without one its
  // files are read as one run.
  SetExtentProvider(kVolTypeFat32Rebuilt, &FatProvider);
}
