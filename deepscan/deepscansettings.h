// The deep-scan settings chosen before a scan, kept for the whole run of the program, and the
// decisions that tune a scan to its target's size (probe reading on large whole disks).
//
// The record is written on the user-interface thread before the scan thread starts and only
// read afterwards.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/volumecontext.h"

// The operations that read only blocks with free clusters (deleted files, emptied Recycle Bin).
constexpr uint32_t kOperationDeletedFiles = 2;
constexpr uint32_t kOperationEmptiedRecycleBin = 5;

// An option byte is on when its lowest bit is 1; 2 marks an option the operation forces (the
// dialog shows it fixed) and reads as off.
constexpr uint8_t kOptionForced = 2;
inline bool ScanOptionOn(uint8_t v) { return (v & 1) != 0; }

struct DeepScanSettings {
  uint64_t scanStart = 0;
  uint64_t scanCount = 0;
  uint64_t priorityStart = 0;
  uint64_t priorityCount = 0;  // 0: no priority range
  uint8_t clusterAlignedStarts = 0;
  uint8_t showAllFiles = 1;
  uint8_t useFat = 1;
  uint8_t useNtfs = 1;
  uint8_t useExfat = 1;
  uint8_t useGpt = 1;
  uint8_t rereadAfterFailure = 0;
  uint8_t preciseOffice = 1;
  uint8_t fixIllegalNames = 0;
  uint8_t removeDuplicates = 0;
  uint8_t showWhileScanning = 1;
  uint8_t rebuildNtfsFromRecords = 1;
};
// The process-wide record; written on the user-interface thread before a scan starts.
DeepScanSettings& DeepScanSettingsRecord();
// Set once the record holds values; from then on options and a fitting priority range are kept.
extern std::atomic<uint32_t> ScanSettingsValid;
// Set by the device selection's scan-parameters check box: ask for the settings before a scan.
extern std::atomic<uint32_t> AskScanSettings;

// Probe blocks every 0x200000 sectors and blocks near found boot sectors are queued only while
// this is set (large whole disks). Recomputed for every scan.
extern std::atomic<uint32_t> ProbeReading;

// Whole-device targets above these sizes (sectors) are probe-read: removable or USB devices
// above 400 GiB, fixed ones above 750 GiB.
constexpr uint64_t kProbeRemovableSectors = 0x32000000;
constexpr uint64_t kProbeFixedSectors = 0x5DC00000;
// 1 when the target is a whole device (first LBA 0, every sector of the device) larger than
// its threshold; else 0.
uint32_t ComputeProbeReading(const VolumeContext& target);

// The settings for a new target from the previous ones (valid: whether they hold values):
// a valid record keeps its options and a priority range lying inside the target; otherwise
// defaults, with the deleted-files operations forcing cluster-aligned starts on and "show
// all files" fixed.
DeepScanSettings SettingsForTarget(const DeepScanSettings& previous, bool valid, const VolumeContext& target);

// The settings dialog: shown modally with the values; true when its OK stored them in the
// record. The application installs it; without one the values are stored as they are. A
// cancelled dialog leaves the record fitted to the new target all the same.
using DeepScanSettingsDialog = bool (*)(DeepScanSettings& values);
void SetDeepScanSettingsDialog(DeepScanSettingsDialog dialog);

// On the user-interface thread before the scan thread starts: ProbeReading and the record for
// the current ScanTarget, through the dialog when AskScanSettings is set.
void PrepareDeepScanSettings();
