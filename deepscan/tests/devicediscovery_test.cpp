// Device discovery over a machine description: two disk images and three drives that are
// windows into the first, listed in the order the device selection shows them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "app/settings.h"
#include "core/devicelists.h"
#include "core/volumelist.h"
#include "deepscan/devicediscovery.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/progressdlg.h"
#include "platform/textconv.h"

namespace {

void Put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void Put64(uint8_t* p, uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i)); }

void NtfsBoot(uint8_t* s, uint64_t total) {
  std::memset(s, 0, 512);
  s[0] = 0xEB; s[1] = 0x52; s[2] = 0x90;
  std::memcpy(s + 3, "NTFS    ", 8);
  s[0x0C] = 0x02; s[0x0D] = 8; s[0x15] = 0xF8; s[0x18] = 63; s[0x1A] = 255; s[0x40] = 0xF6;
  Put64(s + 0x28, total);
  s[510] = 0x55; s[511] = 0xAA;
}

class Discovery : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = (testing::TempDir().empty() ? std::string("/tmp/") : testing::TempDir()) + "kdisc_" + std::to_string(getpid());
    ASSERT_EQ(system(("mkdir -p '" + dir_ + "'").c_str()), 0);
    MakeImage("d0.img", 2200000);
    MakeImage("d1.img", 400000);
    uint8_t mbr[512] = {};
    auto entry = [&](int i, uint8_t type, uint32_t start, uint32_t count) {
      uint8_t* e = mbr + 0x1BE + 16 * i;
      e[4] = type; Put32(e + 8, start); Put32(e + 12, count);
    };
    entry(0, 0x07, 2048, 204800);
    entry(1, 0x07, 600000, 204800);
    entry(2, 0x07, 1000000, 204800);
    mbr[510] = 0x55; mbr[511] = 0xAA;
    Write("d0.img", 0, mbr);
    uint8_t s[512];
    NtfsBoot(s, 204799);
    Write("d0.img", 2048 + 204799, s);  // C: boot sector lost, backup at its end is good
    Write("d0.img", 1000000, s);        // a partition no drive covers
    std::ofstream(dir_ + "/machine.json") << R"({
      "disks": [ {"image": "d0.img", "model": "Disk Zero", "bus": "sata"},
                 {"image": "d1.img", "model": "Disk One", "bus": "sata"} ],
      "drives": [ {"letter": "E", "image": "d0.img", "offset": 307200000, "length": 104857600},
                  {"letter": "C", "image": "d0.img", "offset": 1048576, "length": 104857600},
                  {"letter": "D", "image": "d0.img", "offset": 819200000, "length": 104857600} ] })";
    setenv("KESTREL_MACHINE", (dir_ + "/machine.json").c_str(), 1);
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"LocalDisk: Local Disk\r\n");
    SetDiscoveryDiskDelay(0);
    ScanTarget().operation = 0;
  }
  void TearDown() override {
    unsetenv("KESTREL_MACHINE");
    ClearDeviceLists();
    ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0);
  }
  void MakeImage(const char* name, uint64_t sectors) {
    std::string p = dir_ + "/" + name;
    FILE* f = fopen(p.c_str(), "wb");
    fclose(f);
    ASSERT_EQ(truncate(p.c_str(), off_t(sectors * 512)), 0);
  }
  void Write(const char* name, uint64_t lba, const uint8_t* s) {
    FILE* f = fopen((dir_ + "/" + name).c_str(), "r+b");
    fseeko(f, off_t(lba * 512), SEEK_SET);
    fwrite(s, 1, 512, f);
    fclose(f);
  }
  std::string dir_;
};

TEST_F(Discovery, ListsInOrder) {
  std::atomic<uint32_t> status{kJobRunning};
  GetAllPartInfoThread(&status);
  EXPECT_EQ(status.load(), kJobDone);
  std::vector<VolumeContext> disks = CopyDiskList(), drives = CopyDriveList();
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].diskNumber, 0u);
  EXPECT_EQ(disks[1].diskNumber, 1u);
  EXPECT_EQ(disks[1].deviceSectors, 400000u);
  EXPECT_EQ(disks[0].targetKind, uint32_t(kTargetDisk));

  struct Want { char16_t letter; uint32_t disk; uint64_t first; uint64_t count; uint32_t kind; uint32_t type; };
  const Want want[] = {
      {u'C', 0, 0, 204800, kTargetDrive, kVolTypeNtfs},
      {u'D', 0, 0, 204800, kTargetDrive, 0},
      {u'E', 0, 0, 204800, kTargetDrive, 0},
      {0, 0, 206848, 600000 - 206848, kTargetArea, 0},  // the gap before E, probed
      {0, 0, 804800, 1000000 - 804800, kTargetArea, 0},
      // the NTFS volume ends where its boot sector says, before the partition's last sector
      {0, 0, 1000000, 204799, kTargetPartition, kVolTypeNtfs},
      {0, 0, 1204799, 1600000 - 1204799, kTargetArea, 0},
      {0, 0, 1804800, 2200000 - 1804800, kTargetArea, 0},
      {0, 1, 0, 400000, kTargetArea, 0},  // the disk without drives, whole
  };
  ASSERT_EQ(drives.size(), std::size(want));
  for (size_t i = 0; i < drives.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(drives[i].driveLetter, want[i].letter);
    EXPECT_EQ(drives[i].diskNumber, want[i].disk);
    EXPECT_EQ(drives[i].firstLba, want[i].first);
    EXPECT_EQ(drives[i].sectorCount, want[i].count);
    EXPECT_EQ(drives[i].targetKind, want[i].kind);
    EXPECT_EQ(drives[i].type, want[i].type);
  }
  EXPECT_EQ(drives[0].diskStartLba, 2048u);
  EXPECT_EQ(drives[0].name, CString(u"Local Disk (C: NTFS)"));
  EXPECT_EQ(drives[0].volumePath, CString(u"\\\\.\\C:"));
  EXPECT_EQ(drives[0].logicalDrive, 1u);
  EXPECT_EQ(drives[1].name, CString(u" (D: )"));

  // Drives on a stretch of a disk, and the hook the volume list uses.
  std::vector<VolumeContext> found;
  EXPECT_TRUE(FindDriveVolumesInRange(0, 0, 1000000, found));
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].driveLetter, u'C');
  EXPECT_EQ(found[1].driveLetter, u'E');
  ScanTarget().logicalDrive = 1;
  ScanTarget().driveLetter = u'D';
  EXPECT_TRUE(FindDriveVolumesInRange(5, 0, 1, found));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].driveLetter, u'D');
  ScanTarget().logicalDrive = 0;
  ScanTarget().driveLetter = 0;

  std::vector<VolumeContext> targets;
  CollectScanTargets(targets, 1);
  ASSERT_EQ(targets.size(), drives.size() + disks.size());
  for (size_t i = 0; i < targets.size(); ++i) EXPECT_EQ(targets[i].mark, i < 3 ? 1u : 0u) << i;
}

// A removable disk up to 0x10DFFFFF sectors lists its uncovered areas as they are; one sector
// more and its partition table is walked.
TEST_F(Discovery, RemovableBoundary) {
  VolumeContext disk;
  disk.devicePath = CString(Utf8ToUtf16(dir_ + "/d0.img"));
  disk.diskNumber = 7;
  disk.removable = 1;
  disk.sectorCount = 2200000;
  for (uint64_t size : {uint64_t(0x10DFFFFF), uint64_t(0x10E00000)}) {
    disk.deviceSectors = size;
    std::vector<VolumeContext> drives;
    AddHiddenPartitions({disk}, drives);
    bool walked = false;
    for (const VolumeContext& v : drives) walked = walked || (v.firstLba == 1000000 && v.type == kVolTypeNtfs);
    if (size == 0x10DFFFFF) {
      ASSERT_EQ(drives.size(), 1u);
      EXPECT_EQ(drives[0].sectorCount, size);
      EXPECT_FALSE(walked);
    } else {
      EXPECT_TRUE(walked);
    }
  }
}

TEST_F(Discovery, CollectRemovableTargets) {
  std::ofstream(dir_ + "/machine.json") << R"({
      "disks": [ {"image": "d0.img", "model": "Fixed", "bus": "sata"},
                 {"image": "d1.img", "model": "Stick", "bus": "usb", "removable": true} ],
      "drives": [ {"letter": "C", "image": "d0.img", "offset": 1048576, "length": 104857600},
                  {"letter": "F", "image": "d1.img", "offset": 0, "length": 0, "bus": "usb", "removable": true} ] })";
  std::atomic<uint32_t> status{kJobRunning};
  GetAllPartInfoThread(&status);
  ASSERT_EQ(status.load(), kJobDone);
  std::vector<VolumeContext> targets;
  CollectScanTargets(targets, 3);
  ASSERT_GE(targets.size(), 4u);
  EXPECT_EQ(targets[0].driveLetter, u'C');
  EXPECT_EQ(targets[1].driveLetter, u'F');
  uint32_t marked = 0;
  for (const VolumeContext& t : targets) {
    if (t.mark) {
      ++marked;
      EXPECT_EQ(t.removable, 1u);
    }
  }
  EXPECT_EQ(marked, 2u);  // the stick's drive and its disk
  EXPECT_EQ(targets.back().targetKind, uint32_t(kTargetDisk));
}

TEST_F(Discovery, StoppedJobPublishesNothing) {
  std::atomic<uint32_t> status{kJobStopped};
  GetAllPartInfoThread(&status);
  EXPECT_EQ(status.load(), kJobStopped);
  EXPECT_TRUE(CopyDiskList().empty());
  EXPECT_TRUE(CopyDriveList().empty());
  // A later discovery started on its thread waits for the previous one and publishes.
  std::atomic<uint32_t> again{kJobRunning};
  StartDeviceDiscovery(&again);
  WaitForDeviceDiscovery();
  EXPECT_EQ(again.load(), kJobDone);
  EXPECT_EQ(CopyDiskList().size(), 2u);
}

TEST_F(Discovery, NoDiskEndsWithStatusTwo) {
  std::ofstream(dir_ + "/machine.json") << R"({"disks": [], "drives": []})";
  std::atomic<uint32_t> status{kJobRunning};
  GetAllPartInfoThread(&status);
  EXPECT_EQ(status.load(), kJobStopped);
  EXPECT_TRUE(CopyDiskList().empty());
}

// Areas between drives: nested drives do not move the covered end back; thresholds.
TEST(DiscoveryAreas, UnassignedAreas) {
  VolumeContext disk;
  disk.diskNumber = 3;
  disk.deviceSectors = 2000000;
  auto drive = [](uint64_t start, uint64_t count) {
    VolumeContext d;
    d.diskNumber = 3;
    d.diskStartLba = start;
    d.sectorCount = count;
    return d;
  };
  std::vector<VolumeContext> areas;
  // out of order, the second nested inside the first
  FindUnassignedDiskAreas(disk, {drive(100000, 50000), drive(0, 1000000)}, areas);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0].firstLba, 1000000u);
  EXPECT_EQ(areas[0].sectorCount, 1000000u);
  areas.clear();
  disk.deviceSectors = 1200000;
  FindUnassignedDiskAreas(disk, {drive(0, 1000000)}, areas);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0].sectorCount, 200000u);
  areas.clear();
  ScanTarget().operation = 1;
  FindUnassignedDiskAreas(disk, {drive(0, 1000000)}, areas);
  ScanTarget().operation = 0;
  EXPECT_TRUE(areas.empty());
}

TEST(DiscoveryTitle, Labels) {
  VolumeContext v;
  v.volumePath = u"\\\\.\\F:";
  v.fsName = u"NTFS";
  v.label = u"Data";
  EXPECT_EQ(FormatVolumeTitle(v), CString(u"Data (F: NTFS)"));
  v.label = CString(std::u16string(31, u'x').c_str());
  EXPECT_EQ(FormatVolumeTitle(v).GetLength(), 31 + 10);
  v.label = CString(std::u16string(32, u'x').c_str());
  EXPECT_EQ(FormatVolumeTitle(v), CString(u" (F: NTFS)"));
  v.volumePath = CString();
  EXPECT_EQ(FormatVolumeTitle(v), CString(u" (*: NTFS)"));
}

}  // namespace
