#include "deepscan/fsonlyscan.h"

#include <vector>

#include "core/devicelists.h"
#include "core/diskreader.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "core/viewtrees.h"
#include "core/volumelist.h"
#include "core/volumesplit.h"
#include "deepscan/fsrecognize.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "platform/wndcore.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint32_t kOperationFsOnly = 8;

// What earlier parses and deep scans left: a directory listed here counts as read already and
// would be passed over, so a second run would publish empty volumes.
void ClearParsedMetadata() {
  ClearKnownFatLbaList();
  ClearKnownExfatDirLbas();
  ClearKnownMftExtents();
  ClearKnownIndxLbas();
  ClearIndxFileList();
}

uint32_t ChooseDiskNumber(const std::vector<VolumeContext>& disks) {
  for (const VolumeContext& d : disks)
    if (d.removable == 0 && d.trimEnabled == 0) return d.diskNumber;
  return 0;
}

bool HoldsFiles(VolumeContext& v) {
  uint32_t files = 0;
  uint64_t bytes = 0;
  ComputeSubtreeTotals(v, GetFileRecord(v, kRootId, 0), files, bytes);
  return files != 0;
}

uint32_t SlotCount(VolumeList& list) {
  VolumeListReadGuard guard(list);
  return list.slotCount;
}

}  // namespace

void ParseSelectedVolumes(std::atomic<uint32_t>* state) {
  ClearParsedMetadata();
  const std::vector<VolumeContext> disks = CopyDiskList();
  const std::vector<VolumeContext> drives = CopyDriveList();
  const uint32_t chosen = ChooseDiskNumber(disks);
  VolumeList& list = AppVolumeList();
  bool published = false;
  for (const VolumeContext& listed : drives) {
    if (listed.diskNumber != chosen || listed.removable != 0 || listed.volumePath.IsEmpty()) continue;
    VolumeContext entry = listed;
    entry.operation = kOperationFsOnly;
    SetScanTarget(entry);
    SmallChunkReads = 0;
    if (ParseVolumeFileSystem(state, entry) <= 0) {
      // A parser that fails part-way may leave records behind.
      FreeAllFileRecords(entry);
      continue;
    }
    entry.logicalDrive = 1;
    std::vector<VolumeContext> volumes;
    SplitVolumeByDeletion(kSplitModeDeletedFiles, entry, volumes);
    for (VolumeContext& v : volumes) {
      // The list keeps the previous results until a volume with files is there to replace them.
      if (!published && !HoldsFiles(v)) {
        FreeAllFileRecords(v);
        continue;
      }
      if (!published) ResetVolumeList(list, state, 0);
      const uint32_t before = SlotCount(list);
      AddScannedVolume(list, state, v, 1);
      if (SlotCount(list) == before) {
        // Not taken (no file left, or the list is full): nobody else owns these records.
        FreeAllFileRecords(v);
        continue;
      }
      if (!published) {
        published = true;
        if (SlotCount(list) > kFirstScannedSlot) NotifyVolumeListeners(list, nullptr, WM_VIEW_RESULTSREADY, 4, 0);
      }
    }
  }
}

UINT ParseFileSystemsThread(LPVOID param) {
  auto* state = static_cast<std::atomic<uint32_t>*>(param);
  OnThreadBegin(u"ParseFileSystemsThread");
  ParseSelectedVolumes(state);
  // The count drops before the message, so the window that hears it may start the next scan.
  OnThreadEnd(u"ParseFileSystemsThread");
  HWND main = AppVolumeList().mainWindow;
  if (main && IsWindow(main)) SendMessageW(main, WM_SCAN_FINISHED, 0, 0);
  return 0;
}
