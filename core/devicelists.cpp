#include "core/devicelists.h"

#include <mutex>

namespace {
std::mutex& ListsMutex() {
  static std::mutex& m = *new std::mutex();
  return m;
}
}  // namespace

DeviceListsLock::DeviceListsLock() { ListsMutex().lock(); }
DeviceListsLock::~DeviceListsLock() { ListsMutex().unlock(); }

std::vector<VolumeContext>& DiskList() {
  static std::vector<VolumeContext>& l = *new std::vector<VolumeContext>();
  return l;
}

std::vector<VolumeContext>& DriveList() {
  static std::vector<VolumeContext>& l = *new std::vector<VolumeContext>();
  return l;
}

std::vector<VolumeContext> CopyDiskList() {
  DeviceListsLock lock;
  return DiskList();
}

std::vector<VolumeContext> CopyDriveList() {
  DeviceListsLock lock;
  return DriveList();
}

void ClearDeviceLists() {
  DeviceListsLock lock;
  DiskList().clear();
  DriveList().clear();
}
