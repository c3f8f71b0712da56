#include "tests/tools/kscan/kscanpreview.h"

#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "tests/tools/kscan/kscanvolume.h"

bool KscanPreviewVolume(const char* command, const std::vector<std::string>& args) {
  // Records get their type ids from the table as the parser stores them.
  InitFileTypeTables();
  VolumeContext vol;
  if (!KscanOpenVolume(command, args, vol)) return false;
  VolumeList& list = AppVolumeList();
  VolumeListWriteGuard guard(list);
  // The list takes the volume's records over; ClearVolumeList frees them.
  list.slots[kKscanPreviewSlot] = vol;
  list.slotCount = kKscanPreviewSlot + 1;
  return true;
}

void KscanPreviewDone() { ClearVolumeList(AppVolumeList()); }
