#include "deepscan/deepscansettings.h"

std::atomic<uint32_t> ScanSettingsValid{0};
std::atomic<uint32_t> AskScanSettings{0};
std::atomic<uint32_t> ProbeReading{0};

namespace {
std::atomic<DeepScanSettingsDialog> g_dialog{nullptr};

bool IsDeletedFilesOperation(uint32_t op) { return op == kOperationDeletedFiles || op == kOperationEmptiedRecycleBin; }
}  // namespace

DeepScanSettings& DeepScanSettingsRecord() {
  static DeepScanSettings& s = *new DeepScanSettings();
  return s;
}

uint32_t ComputeProbeReading(const VolumeContext& target) {
  if (target.firstLba != 0 || target.sectorCount != target.deviceSectors) return 0;
  const uint64_t limit = target.removable != 0 ? kProbeRemovableSectors : kProbeFixedSectors;
  return target.sectorCount > limit ? 1 : 0;
}

DeepScanSettings SettingsForTarget(const DeepScanSettings& previous, bool valid, const VolumeContext& target) {
  DeepScanSettings s;
  if (valid) {
    s = previous;
    s.scanStart = target.firstLba;
    s.scanCount = target.sectorCount;
    uint64_t targetEnd = 0, priorityEnd = 0;
    const bool targetWraps = __builtin_add_overflow(target.firstLba, target.sectorCount, &targetEnd);
    const bool priorityWraps = __builtin_add_overflow(s.priorityStart, s.priorityCount, &priorityEnd);
    if (s.priorityStart < target.firstLba || priorityWraps || (!targetWraps && priorityEnd > targetEnd)) {
      s.priorityStart = target.firstLba;
      s.priorityCount = 0;
    }
    return s;
  }
  s.scanStart = target.firstLba;
  s.priorityStart = target.firstLba;
  s.scanCount = target.sectorCount;
  s.priorityCount = 0;
  if (IsDeletedFilesOperation(target.operation)) {
    s.clusterAlignedStarts = 1;
    s.showAllFiles = kOptionForced;
  }
  return s;
}

void SetDeepScanSettingsDialog(DeepScanSettingsDialog dialog) { g_dialog.store(dialog); }

void PrepareDeepScanSettings() {
  const VolumeContext& target = ScanTarget();
  ProbeReading.store(ComputeProbeReading(target));
  DeepScanSettings& record = DeepScanSettingsRecord();
  const bool valid = ScanSettingsValid.load() != 0;
  DeepScanSettings values = SettingsForTarget(record, valid, target);
  if (!valid) {
    // A first scan stores its defaults at once, whatever the dialog does with them.
    record = values;
    ScanSettingsValid.store(1);
  }
  DeepScanSettingsDialog dialog = g_dialog.load();
  if (AskScanSettings.load() != 0 && dialog != nullptr) {
    // A cancelled dialog still leaves the record fitted to this target, never to the last one.
    DeepScanSettings edited = values;
    record = dialog(edited) ? edited : values;
    return;
  }
  record = values;
  ScanSettingsValid.store(1);
}
