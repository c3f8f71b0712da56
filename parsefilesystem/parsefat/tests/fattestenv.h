// Shared set-up of the FAT tests: settings with the parser switched on, a clean scan state, and
// volume contexts over image files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/settings.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsefat/fatvolume.h"
#include "platform/textconv.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"

inline void LoadFatTestSettings() {
  setenv("TZ", "UTC", 1);
  tzset();
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n",
                      u"FileLost: Lost files\r\nLocalDisk: Local Disk\r\nRelocationFile: Relocating\r\n"
                      u"RelocationFileNum: %u of %u\r\n");
  InitFileTypeTables();
  ClearKnownFatLbaList();
  ClearBlockHitLists();
  SetSectorSignatureMatcher(nullptr);
  ScanRunState = kScanInputDone;
}

// Opens the image and sets up the FAT volume at LBA 0; false when the boot sector is not FAT.
inline bool SetupImageVolume(const std::string& path, VolumeContext& vol) {
  VolumeContext& target = ScanTarget();
  ResetVolumeContext(target);
  target.devicePath = CString(Utf8ToUtf16(path).c_str());
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) return false;
  target.sectorCount = reader.sizeBytes / 512;
  uint8_t boot[512] = {};
  if (!reader.ReadSectors(boot, 0, 1)) return false;
  if (!IsFat16BootSector(boot) && !IsFat32BootSector(boot)) return false;
  return SetupFatVolume(target, reader, boot, 0, target.sectorCount, vol);
}
