// The process-wide device lists the discovery fills: DiskList (one entry per physical disk, by
// disk number) and DriveList (logical drives C..Z, then per disk its hidden partitions and
// unassigned areas, then whole disks on which nothing else was found).
//
// Only the discovery thread replaces them, whole, and only when its job was not stopped;
// readers take copies under the same lock.
#pragma once

#include <vector>

#include "core/volumecontext.h"

std::vector<VolumeContext>& DiskList();
std::vector<VolumeContext>& DriveList();

// Copies of the lists, taken under the lists' lock.
std::vector<VolumeContext> CopyDiskList();
std::vector<VolumeContext> CopyDriveList();
// Empties both lists.
void ClearDeviceLists();
// Replaces both lists at once, unless *stopped (read under the lock) says the job was
// stopped; returns whether they were replaced.
template <typename StopFn>
bool PublishDeviceLists(std::vector<VolumeContext>&& disks, std::vector<VolumeContext>&& drives, StopFn stopped);

// The lock behind the lists, for the publishing template and the mark updates.
class DeviceListsLock {
 public:
  DeviceListsLock();
  ~DeviceListsLock();
  DeviceListsLock(const DeviceListsLock&) = delete;
  DeviceListsLock& operator=(const DeviceListsLock&) = delete;
};

template <typename StopFn>
bool PublishDeviceLists(std::vector<VolumeContext>&& disks, std::vector<VolumeContext>&& drives, StopFn stopped) {
  DeviceListsLock lock;
  if (stopped()) return false;
  DiskList() = std::move(disks);
  DriveList() = std::move(drives);
  return true;
}
