// Scan targets the user names rather than picks from the device list: a folder, the desktop,
// the Recycle Bin, a disk image file and a saved scan, with the checks they go through, and the
// ways the pickers behind them are reached.
//
// A "drive" here is a mounted file system with a drive letter of the storage layer; a folder
// belongs to the drive whose mount point holds it (the longest one), or, written the Windows
// way ("E:\..."), to the drive of its letter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/volumecontext.h"

// Images smaller than this are refused; below kRemovableImageBytes an image counts as removable.
constexpr uint64_t kMinImageBytes = 8ull << 20;
constexpr uint64_t kRemovableImageBytes = 0x21C0000000ull;  // 135 GiB

// "<" (kind 2) or ">" (kind 3) after a device path, then the first LBA in decimal: the name is
// cut before the mark, the kind and LBA are set. A name without a mark (or with it first) stays.
void ParseAreaName(uint32_t& kind, CString& name, uint64_t& firstLba);

// The drive (kind-1 entry) that holds the path, copied to out; 0 (after "SelInvalidScanDir")
// when none does. "AllRecycleBin" names drive C, else the first lettered drive.
int ResolveFolderTarget(const std::vector<VolumeContext>& targets, const CString& path, VolumeContext& out);
int PickFolderTarget(const std::vector<VolumeContext>& targets, VolumeContext& out);
int MakeDesktopTarget(const std::vector<VolumeContext>& targets, VolumeContext& out);
int MakeRecycleBinTarget(const std::vector<VolumeContext>& targets, VolumeContext& out);
// An image file as a disk: at least 8 MiB, disk number 99, removable below 135 GiB. 0 after
// "OpenFileFailed" or "ImgTooSmall".
int CheckDiskImageFile(const CString& path, VolumeContext& out);

// The desktop folder: XDG_DESKTOP_DIR from the environment or the user's user-dirs file,
// else "$HOME/Desktop".
CString DesktopFolderPath();
// Where each lettered drive of the storage layer is mounted (empty when unknown).
std::string DriveMountPoint(char16_t letter);

// What the saved-scan lookup reads of an entry of the scan-state index.
struct SavedScanRef {
  uint32_t scanKind = 0;      // the saved operation code
  uint64_t regionStart = 0;
  uint64_t regionLength = 0;
  CString timeText;
  CString volumePath;         // the saved target's third text
  CString devicePath;         // the saved target's fourth text
  uint32_t targetKind = 0;
  CString sourcePath;
  CString dataFile;
};

// The pickers and lists behind the choosers. A null picker is the window layer's own folder
// picker or file-open dialog; a null saved-scan list or index means that no saved scan exists.
struct TargetChooserHooks {
  // The folder picker: true with the chosen folder.
  bool (*browseForFolder)(const CString& title, CString& path) = nullptr;
  // The file-open dialog: true with the chosen file.
  bool (*openFile)(CString& path) = nullptr;
  // The saved-scan list: true with the chosen entry's time text; `present` is the panel's
  // target list.
  bool (*chooseSavedScan)(const std::vector<VolumeContext>& present, CString& timeText) = nullptr;
  // The scan-state index, entries whose data file exists.
  bool (*loadScanSaveIndex)(std::vector<SavedScanRef>& entries) = nullptr;
  // The plain message box of the lookup messages; null shows the window layer's own.
  void (*plainMessage)(const CString& text) = nullptr;
};
void SetTargetChooserHooks(const TargetChooserHooks& hooks);
const TargetChooserHooks& GetTargetChooserHooks();
// The plain message box (AfxMessageBox with an OK button), through the hook when one is set.
void ShowPlainMessage(const CString& text);
