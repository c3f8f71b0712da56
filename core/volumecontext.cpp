#include "core/volumecontext.h"

#include <cstring>
#include <mutex>

namespace {
std::mutex& ScanTargetLock() {
  static auto& m = *new std::mutex;
  return m;
}
}  // namespace

void ResetVolumeContext(VolumeContext& ctx) { ctx = VolumeContext(); }

VolumeContext& ScanTarget() {
  static auto& target = *new VolumeContext();
  return target;
}

VolumeContext CopyScanTarget() {
  std::lock_guard<std::mutex> g(ScanTargetLock());
  return ScanTarget();
}

void SetScanTarget(const VolumeContext& target) {
  std::lock_guard<std::mutex> g(ScanTargetLock());
  ScanTarget() = target;
}

uint32_t ReadVolumeSerial(const VolumeContext& ctx) {
  size_t offset = 0;
  switch (ctx.type) {
    case kVolTypeNtfs: offset = 0x48; break;
    case kVolTypeFat16: offset = 0x27; break;
    case kVolTypeFat32: offset = 0x43; break;
    case kVolTypeExfat: offset = 0x64; break;
    default: return 0;
  }
  uint32_t serial = 0;
  std::memcpy(&serial, ctx.bootSector + offset, sizeof(serial));  // little-endian host
  return serial;
}
