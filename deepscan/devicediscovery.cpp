#include "deepscan/devicediscovery.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <thread>

#include "app/settings.h"
#include "core/devicelists.h"
#include "core/volumelist.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/progressdlg.h"
#include "platform/storage.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint64_t kRemovableAreaLimit = 0x10DFFFFF;
constexpr uint64_t kBootDetectMinSectors = 0x20000;

std::atomic<uint32_t>& DiskDelay() {
  static std::atomic<uint32_t>& d = *new std::atomic<uint32_t>(500);
  return d;
}

struct DiscoveryThread {
  std::mutex m;
  std::thread t;
  std::atomic<bool> running{false};
};
DiscoveryThread& TheThread() {
  static DiscoveryThread& d = *new DiscoveryThread();
  return d;
}

bool Stopped(std::atomic<uint32_t>* status) { return status != nullptr && status->load() == kJobStopped; }

void FillLogicalDrive(const std::vector<VolumeContext>& disks, const StorageDriveExtent& ext, char16_t letter,
                      VolumeContext& e) {
  ResetVolumeContext(e);
  e.targetKind = kTargetDrive;
  e.driveLetter = letter;
  e.volumePath = FormatCString(u"\\\\.\\%c:", letter);
  e.firstLba = 0;
  e.diskStartLba = ext.startBytes / kSectorBytes;
  uint64_t total = 0;
  if (StorageDriveTotalBytes(letter, &total) && total > 0) {
    e.sectorCount = total / kSectorBytes;
    e.freeSectors = StorageFreeBytes(e.volumePath) / kSectorBytes;
  }
  if (e.sectorCount == 0) e.sectorCount = ext.lengthBytes / kSectorBytes;
  e.diskNumber = ext.diskIndex >= 0 ? uint32_t(ext.diskIndex) : UINT32_MAX;
  for (const VolumeContext& d : disks) {
    if (d.diskNumber != e.diskNumber) continue;
    e.diskModel = d.diskModel;
    e.name = d.name;
    e.trimEnabled = d.trimEnabled;
    e.devicePath = e.volumePath;
    e.deviceSectors = e.sectorCount;
    e.removable = ext.removable ? 1 : 0;
    e.logicalDrive = 1;
    // The file system is named by its own boot sector: nothing outside it is asked.
    DiskReader reader;
    if (OpenVolumeDevice(e, reader)) FillDriveFromBootSector(reader, e);
  }
  e.name = FormatVolumeTitle(e);
}

}  // namespace

void SetDiscoveryDiskDelay(uint32_t ms) { DiskDelay().store(ms); }

CString FormatVolumeTitle(const VolumeContext& e) {
  CString t;
  if (e.label.GetLength() >= 1 && e.label.GetLength() <= 31) t = e.label;
  char16_t letter = e.volumePath.GetLength() > 4 ? e.volumePath[4] : u'*';
  t += FormatCString(u" (%c: ", letter);
  t += e.fsName;
  t += u")";
  return t;
}

bool EnumPhysicalDisks(std::vector<VolumeContext>& disks) {
  for (uint32_t n = 0; n < 64; ++n) {
    CString path = FormatCString(u"\\\\.\\PhysicalDrive%u", n);
    PostProgressText(GetLangStr(u"Message"), GetLangStr(u"WaiteGetDevInfo"), path);
    DiskReader reader;
    if (!OpenDeviceByPath(path, reader, 1)) continue;
    const uint64_t sectors = reader.GetSizeBytes(path) / kSectorBytes;
    if (sectors == 0) continue;
    if (uint32_t ms = DiskDelay().load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    VolumeContext d;
    d.targetKind = kTargetDisk;
    d.diskNumber = n;
    CString model;
    if (!reader.GetModelName(model) || model.IsEmpty()) model = path;
    d.name = model;
    d.diskModel = model;
    d.devicePath = path;
    d.sectorCount = sectors;
    d.deviceSectors = sectors;
    d.removable = reader.IsUsbBus() ? 1 : 0;
    d.trimEnabled = QueryDiskTrim(int(n)) ? 1 : 0;
    disks.push_back(std::move(d));
  }
  return !disks.empty();
}

void EnumLogicalDrives(const std::vector<VolumeContext>& disks, std::vector<VolumeContext>& drives,
                       std::atomic<uint32_t>* status) {
  for (char16_t letter = u'C'; letter <= u'Z'; ++letter) {
    if (Stopped(status)) return;
    StorageDriveExtent ext;
    if (!QueryDriveExtent(letter, &ext)) continue;
    DiskReader probe;
    if (!OpenDeviceByPath(FormatCString(u"\\\\.\\%c:", letter), probe, 1)) continue;
    probe.Close();
    VolumeContext e;
    FillLogicalDrive(disks, ext, letter, e);
    drives.push_back(e);
    ScanProgress rec = MakeScanProgress(5);
    uint32_t found = 0;
    for (const VolumeContext& v : drives) found += v.driveLetter != 0 ? 1 : 0;
    rec.part.drivesFound = found;
    rec.part.letter = letter;
    SetProgressText(rec, offsetof(ScanProgress, part) + offsetof(ProgressPartitions, fsName), 128,
                    std::u16string_view(e.fsName.GetString(), size_t(e.fsName.GetLength())));
    SetProgressText(rec, offsetof(ScanProgress, part) + offsetof(ProgressPartitions, label), 128,
                    std::u16string_view(e.label.GetString(), size_t(e.label.GetLength())));
    PostScanProgress(rec);
  }
}

void FillDriveFromBootSector(DiskReader& reader, VolumeContext& e) {
  if (e.sectorCount <= kBootDetectMinSectors) return;
  uint32_t type = 0;
  if (!DetectVolumeFileSystem(reader, e, &type)) return;
  e.type = type;
  e.label = CString();
  ReadVolumeLabelOfType(type, reader, e);
  if (e.label.IsEmpty()) e.label = GetLangStr(u"LocalDisk");
  e.fsName = CString(FsNameOfType(type));
  e.volumeSerial = ReadVolumeSerial(e);
}

void FindUnassignedDiskAreas(const VolumeContext& disk, const std::vector<VolumeContext>& drives,
                             std::vector<VolumeContext>& areas) {
  std::vector<std::pair<uint64_t, uint64_t>> pairs;
  for (const VolumeContext& d : drives) {
    if (d.diskNumber != disk.diskNumber) continue;
    uint64_t end = d.diskStartLba + d.sectorCount;
    pairs.push_back({d.diskStartLba, end < d.diskStartLba ? UINT64_MAX : end});
  }
  std::sort(pairs.begin(), pairs.end());
  const uint64_t threshold = ScanTarget().operation == 1 ? kMinDeepPartitionSectors : kMinPartitionSectors;
  auto add = [&](uint64_t first, uint64_t count) {
    VolumeContext a = disk;
    a.firstLba = first;
    a.sectorCount = count;
    a.targetKind = kTargetArea;
    areas.push_back(std::move(a));
  };
  uint64_t cur = 0;
  for (const auto& [start, end] : pairs) {
    if (start > cur && start - cur > threshold) add(cur, start - cur);
    // A drive nested in an earlier one must not move the covered end back.
    cur = std::max(cur, end);
  }
  if (cur < disk.deviceSectors && disk.deviceSectors - cur > threshold) add(cur, disk.deviceSectors - cur);
}

void AddHiddenPartitions(const std::vector<VolumeContext>& disks, std::vector<VolumeContext>& drives) {
  for (const VolumeContext& disk : disks) {
    std::vector<VolumeContext> areas;
    FindUnassignedDiskAreas(disk, drives, areas);
    if (areas.empty()) continue;
    if (disk.removable != 0 && disk.deviceSectors <= kRemovableAreaLimit) {
      for (const VolumeContext& a : areas) drives.push_back(a);
      continue;
    }
    std::vector<VolumeContext> out;
    FindDiskPartitions(disk, areas, out);
    if (out.empty()) out = areas;  // a table that is not walked leaves the areas as they are
    for (const VolumeContext& v : out) drives.push_back(v);
  }
}

void AddDisksWithoutDrives(const std::vector<VolumeContext>& disks, std::vector<VolumeContext>& drives) {
  std::vector<VolumeContext> add;
  for (const VolumeContext& disk : disks) {
    bool any = false;
    for (const VolumeContext& d : drives) any = any || d.diskNumber == disk.diskNumber;
    if (any) continue;
    VolumeContext w = disk;
    w.firstLba = 0;
    w.sectorCount = disk.deviceSectors;
    w.targetKind = kTargetArea;
    add.push_back(std::move(w));
  }
  for (VolumeContext& w : add) drives.push_back(std::move(w));
}

uint32_t GetAllPartInfoThread(void* job) {
  auto* status = static_cast<std::atomic<uint32_t>*>(job);
  const CString name(u"GetAllPartInfoThread");
  OnThreadBegin(name);
  ClearDeviceLists();
  std::vector<VolumeContext> disks, drives;
  if (!EnumPhysicalDisks(disks)) {
    status->store(kJobStopped);
    OnThreadEnd(name);
    return 0;
  }
  EnumLogicalDrives(disks, drives, status);
  AddHiddenPartitions(disks, drives);
  AddDisksWithoutDrives(disks, drives);
  // A stopped job leaves the lists empty: the dialog has gone and nobody waits for them.
  if (PublishDeviceLists(std::move(disks), std::move(drives), [&] { return Stopped(status); })) {
    uint32_t running = kJobRunning;
    status->compare_exchange_strong(running, kJobDone);
  }
  OnThreadEnd(name);
  return 0;
}

void StartDeviceDiscovery(std::atomic<uint32_t>* status) {
  DiscoveryThread& d = TheThread();
  std::lock_guard<std::mutex> l(d.m);
  if (d.t.joinable()) d.t.join();
  d.running.store(true);
  d.t = std::thread([status, &d] {
    GetAllPartInfoThread(status);
    d.running.store(false);
  });
}

bool DeviceDiscoveryRunning() { return TheThread().running.load(); }

void WaitForDeviceDiscovery() {
  DiscoveryThread& d = TheThread();
  std::lock_guard<std::mutex> l(d.m);
  if (d.t.joinable()) d.t.join();
}

void CollectScanTargets(std::vector<VolumeContext>& out, int filter) {
  out.clear();
  DeviceListsLock lock;
  for (VolumeContext& d : DriveList()) {
    bool mark = true;
    switch (filter) {
      case 1: case 4: mark = !d.volumePath.IsEmpty(); break;
      case 2: mark = d.volumePath.IsEmpty(); break;
      case 3: mark = d.removable != 0; break;
      default: break;
    }
    if (mark) d.mark = 1;
  }
  for (VolumeContext& d : DiskList()) {
    bool mark = true;
    switch (filter) {
      case 1: mark = false; break;
      case 3: mark = d.removable != 0; break;
      default: break;
    }
    if (mark) d.mark = 1;
  }
  for (const VolumeContext& d : DriveList()) out.push_back(d);
  for (const VolumeContext& d : DiskList()) out.push_back(d);
}

bool FindDriveVolumesInRange(uint32_t diskNumber, uint64_t start, uint64_t count, std::vector<VolumeContext>& out) {
  out.clear();
  const VolumeContext target = ScanTarget();
  DeviceListsLock lock;
  if (target.logicalDrive != 0) {
    for (const VolumeContext& d : DriveList()) {
      if (d.driveLetter == target.driveLetter) {
        out.push_back(d);
        break;
      }
    }
    return !out.empty();
  }
  const uint64_t end = start + count < start ? UINT64_MAX : start + count;
  for (const VolumeContext& d : DriveList())
    if (d.diskNumber == diskNumber && d.logicalDrive != 0 && d.diskStartLba >= start && d.diskStartLba < end)
      out.push_back(d);
  return !out.empty();
}

namespace {
void DriveVolumesHook(uint32_t diskNumber, uint64_t firstLba, uint64_t sectorCount, std::vector<VolumeContext>& drives) {
  FindDriveVolumesInRange(diskNumber, firstLba, sectorCount, drives);
}
}  // namespace

void InstallDriveVolumesHook() { SetFindDriveVolumesHook(&DriveVolumesHook); }

namespace {
// The volume list asks for drives as soon as discovery code is part of the program.
const bool kDriveVolumesHookInstalled = (InstallDriveVolumesHook(), true);
}  // namespace
