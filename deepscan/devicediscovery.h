// Device discovery: the physical disks, the lettered drives, the hidden partitions and
// uncovered stretches of each disk, and whole disks on which nothing was found, into DiskList
// and DriveList (core/devicelists.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/diskreader.h"
#include "core/volumecontext.h"

// The thread procedure; job is the address of the job's std::atomic<uint32_t> status word
// (0 running, 2 stop requested, 3 done). Publishes the lists only when not stopped.
uint32_t GetAllPartInfoThread(void* job);
// Starts GetAllPartInfoThread on its own thread over the status word, after the previous
// discovery thread has ended.
void StartDeviceDiscovery(std::atomic<uint32_t>* status);
// True from StartDeviceDiscovery until its thread has left GetAllPartInfoThread, also after its
// job was stopped: the lists may still be written until then.
bool DeviceDiscoveryRunning();
// Waits for the last discovery thread started by StartDeviceDiscovery.
void WaitForDeviceDiscovery();
// The wait after each disk that opened (500 ms); tests set 0.
void SetDiscoveryDiskDelay(uint32_t ms);

bool EnumPhysicalDisks(std::vector<VolumeContext>& disks);
void EnumLogicalDrives(const std::vector<VolumeContext>& disks, std::vector<VolumeContext>& drives,
                       std::atomic<uint32_t>* status);
void FillDriveFromBootSector(DiskReader& reader, VolumeContext& entry);
void AddHiddenPartitions(const std::vector<VolumeContext>& disks, std::vector<VolumeContext>& drives);
void FindUnassignedDiskAreas(const VolumeContext& disk, const std::vector<VolumeContext>& drives,
                             std::vector<VolumeContext>& areas);
void AddDisksWithoutDrives(const std::vector<VolumeContext>& disks, std::vector<VolumeContext>& drives);
// "Label (X: FS)": the label only when it has 1 to 31 characters.
CString FormatVolumeTitle(const VolumeContext& entry);

// Marks entries of the global lists by the filter and copies every DriveList entry, then every
// DiskList entry, into out.
void CollectScanTargets(std::vector<VolumeContext>& out, int filter);
// The logical drives on [start, start + count) of the disk; for a drive target the drive of the
// same letter.
bool FindDriveVolumesInRange(uint32_t diskNumber, uint64_t start, uint64_t count, std::vector<VolumeContext>& out);
// Installs FindDriveVolumesInRange as the VolumeList's drive-volumes hook.
void InstallDriveVolumesHook();
