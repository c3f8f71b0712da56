#include "deepscan/scansaveoffer.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/runvalues.h"
#include "app/settings.h"
#include "base/log.h"
#include "core/diskreader.h"
#include "deepscan/deepscanstate.h"
#include "platform/blockstack.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/machine.h"
#include "platform/storage.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

constexpr unsigned kReportScanMinutes = 22;

std::atomic<ScanStateSaver> g_saver{nullptr};
std::atomic<int64_t> g_minSeconds{kSaveOfferMinSeconds};
std::atomic<uint64_t> g_minSectors{kSaveOfferMinSectors};

// The host path behind a program device path: a described or sysfs disk for
// "\\.\PhysicalDriveN", the disk holding a lettered drive for "\\.\X:" (a save anywhere on that
// disk counts), else the path itself (an image file or a block device).
bool HostPathOf(const CString& devicePath, std::string& host) {
  int index = -1;
  char16_t letter = 0;
  if (ParseDriveLetterPath(devicePath, &letter)) {
    StorageDriveExtent ext;
    if (!QueryDriveExtent(letter, &ext) || ext.diskIndex < 0) return false;
    index = ext.diskIndex;
  } else if (!ParsePhysicalDrivePath(devicePath, &index)) {
    host = devicePath.ToUtf8();
    return !host.empty();
  }
  for (const StorageDiskEntry& d : ListStorageDisks()) {
    if (d.index == index) {
      host = d.hostPath;
      return !host.empty();
    }
  }
  return false;
}

bool LinuxSaveFolderOnDevice(const CString& folder, const VolumeContext& target) {
  std::string host;
  if (!HostPathOf(target.devicePath, host)) return true;
  struct stat src {};
  if (stat(host.c_str(), &src) != 0) return true;
  // An image file: writing beside the program cannot change its bytes.
  if (S_ISREG(src.st_mode)) return false;
  if (!S_ISBLK(src.st_mode)) return true;

  // The folder, or its nearest existing ancestor (the save creates what is missing).
  std::string path = folder.ToUtf8();
  struct stat dst {};
  for (int up = 0; up < 64; ++up) {
    if (!path.empty() && stat(path.c_str(), &dst) == 0) break;
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || path.empty()) return true;
    path = slash == 0 ? "/" : path.substr(0, slash);
    if (up == 63) return true;
  }
  if (dst.st_dev == src.st_rdev) return true;
  const std::string device = SysfsBlockDir(src.st_rdev);
  const std::vector<std::string> under = FolderBlockDirs(dst.st_dev);
  // A folder whose disk cannot be traced (no sysfs, a file system with no block source) may lie
  // on the scanned device: no offer.
  if (device.empty() || under.empty()) return true;
  for (const std::string& u : under)
    if (BlockDirsRelated(u, device)) return true;
  return false;
}

std::atomic<SaveFolderDeviceQuery> g_query{&LinuxSaveFolderOnDevice};

}  // namespace

void SetScanStateSaver(ScanStateSaver saver) { g_saver.store(saver); }

void SetScanSaveOfferMinimum(int64_t seconds, uint64_t sectors) {
  g_minSeconds.store(seconds);
  g_minSectors.store(sectors);
}

void SetSaveFolderDeviceQuery(SaveFolderDeviceQuery query) {
  g_query.store(query != nullptr ? query : &LinuxSaveFolderOnDevice);
}

bool SaveFolderOnScannedDevice(const CString& folder, const VolumeContext& target) {
  return g_query.load()(folder, target);
}

bool CanOfferScanSave() {
  const VolumeContext target = ScanTarget();
  if (SaveFolderOnScannedDevice(GetProgramDir(), target)) {
    WriteLog(u"Scan save not offered: the save folder lies on the scanned device");
    return false;
  }
  return true;
}

void AskSaveScanData() {
  if (IsAppExiting()) return;
  const int64_t now = ScanClockNow();
  if (ScanPauseFlag.load() != 0) {
    // The running pause counts; its start moves to now so that a later resume adds the rest only.
    const int64_t paused = now - ScanPauseStartTime();
    if (paused > 0) ScanPausedSeconds.fetch_add(uint32_t(paused > int64_t(UINT32_MAX) ? UINT32_MAX : paused));
    SetScanPauseStartTime(now);
  }
  const int64_t net = now - ScanStartTime.load() - int64_t(ScanPausedSeconds.load());
  if (net < g_minSeconds.load()) return;
  if (!CanOfferScanSave()) return;
  SendEventReport(kReportScanMinutes, FormatCString(u"Scan minute: %u", uint32_t(net / 60)), true);

  uint64_t handled = 0;
  const uint64_t blocks = BlockStateCount();
  for (uint64_t b = 0; b < blocks; ++b) {
    const uint8_t s = GetBlockState(b);
    if (s == kBlockTaken) SetBlockState(b, kBlockUnread);
    else if (s == kBlockHandled) ++handled;
  }
  if (handled * kScanBlockSectors < g_minSectors.load()) return;

  const ScanStateSaver saver = g_saver.load();
  if (saver == nullptr) {
    WriteLog(u"Scan save not offered: no scan-state writer");
    return;
  }
  if (ShowMessageBox(GetLangStr(u"IfSaveScanData"), GetLangStr(u"Yes"), GetLangStr(u"No"))) {
    if (!saver()) ShowMessageBox(GetLangStr(u"SaveScanDataFailed"));
  }
}
