// The settings, size decisions and block queue of a deep scan, and its start and end: probe
// thresholds and kept priority ranges, the fill-map and directory-entry decisions, the
// deleted-files queue over real FAT images (mkfs.vfat + mtools, tests/fixtures/
// fatqueueimages.sh), the blocks queued near boot-sector hits, and the fatal stop on a device
// of size 0.
#include "deepscan/deepscanstate.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "deepscan/filestartindex.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/scanblockring.h"
#include "parsefilesystem/parsefat/fatformat.h"
#include "parsefilesystem/parsefat/fatvolume.h"
#include "platform/hooks.h"
#include "platform/textconv.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"
#include "tests/fixtures/scriptfixture.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kBlock = kScanBlockSectors;

VolumeContext Target(uint64_t first, uint64_t sectors, uint64_t device, bool removable = false) {
  VolumeContext t;
  t.firstLba = first;
  t.sectorCount = sectors;
  t.deviceSectors = device;
  t.removable = removable ? 1 : 0;
  return t;
}

std::vector<uint64_t> QueueContents() {
  std::lock_guard<std::mutex> g(PriorityQueueLock());
  return {PriorityBlockQueue().begin(), PriorityBlockQueue().end()};
}

void ClearQueue() {
  std::lock_guard<std::mutex> g(PriorityQueueLock());
  PriorityBlockQueue().clear();
}

TEST(ProbeReading, WholeDevicesAboveTheirThresholdOnly) {
  struct Case {
    const char* what;
    VolumeContext target;
    uint32_t expected;
  } cases[] = {
      {"removable at the limit", Target(0, 0x32000000, 0x32000000, true), 0},
      {"removable one above", Target(0, 0x32000001, 0x32000001, true), 1},
      {"fixed one above the removable limit", Target(0, 0x32000001, 0x32000001), 0},
      {"fixed at its limit", Target(0, 0x5DC00000, 0x5DC00000), 0},
      {"fixed one above", Target(0, 0x5DC00001, 0x5DC00001), 1},
      {"a partition never", Target(2048, 0x60000000, 0x60000800, true), 0},
      {"part of a device from 0", Target(0, 0x5FFFFFFF, 0x60000000), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ComputeProbeReading(c.target), c.expected) << c.what;
}

TEST(DeepScanSettingsTest, PriorityRangeKeptOnlyInsideTheNewTarget) {
  struct Case {
    const char* what;
    uint64_t start, count;
    uint64_t keptStart, keptCount;
  } cases[] = {
      // Target: 1000 sectors from LBA 5000.
      {"ends exactly at the target's end", 5500, 500, 5500, 500},
      {"whole target", 5000, 1000, 5000, 1000},
      {"starts one sector before", 4999, 10, 5000, 0},
      {"ends one sector beyond", 5500, 501, 5000, 0},
      {"wraps", 5500, UINT64_MAX, 5000, 0},
  };
  for (const Case& c : cases) {
    DeepScanSettings previous;
    previous.priorityStart = c.start;
    previous.priorityCount = c.count;
    previous.useNtfs = 0;
    previous.clusterAlignedStarts = 1;
    const DeepScanSettings s = SettingsForTarget(previous, true, Target(5000, 1000, 100000));
    EXPECT_EQ(s.priorityStart, c.keptStart) << c.what;
    EXPECT_EQ(s.priorityCount, c.keptCount) << c.what;
    EXPECT_EQ(s.scanStart, 5000u) << c.what;
    EXPECT_EQ(s.scanCount, 1000u) << c.what;
    // Options are kept from scan to scan.
    EXPECT_EQ(s.useNtfs, 0) << c.what;
    EXPECT_EQ(s.clusterAlignedStarts, 1) << c.what;
  }
}

TEST(DeepScanSettingsTest, FirstScanDefaultsAndForcedOptionsOfTheDeletedFilesOperations) {
  for (uint32_t op : {0u, 1u, 2u, 3u, 5u}) {
    VolumeContext t = Target(64, 4096, 8192);
    t.operation = op;
    DeepScanSettings previous;
    previous.priorityCount = 77;
    previous.useFat = 0;
    const DeepScanSettings s = SettingsForTarget(previous, false, t);
    const bool deleted = op == 2 || op == 5;
    EXPECT_EQ(s.scanStart, 64u);
    EXPECT_EQ(s.priorityStart, 64u);
    EXPECT_EQ(s.priorityCount, 0u);
    EXPECT_EQ(s.useFat, 1) << "defaults, not the old values";
    EXPECT_EQ(s.clusterAlignedStarts, deleted ? 1 : 0) << op;
    EXPECT_EQ(s.showAllFiles, deleted ? kOptionForced : 1) << op;
    EXPECT_FALSE(ScanOptionOn(kOptionForced));
  }
}

bool g_dialogAnswer = false;
int g_dialogCalls = 0;
bool Dialog(DeepScanSettings& values) {
  ++g_dialogCalls;
  values.useGpt = 0;
  return g_dialogAnswer;
}

TEST(DeepScanSettingsTest, PrepareStoresThroughTheDialogAndFitsTheRecordEvenWhenCancelled) {
  VolumeContext& target = ScanTarget();
  ResetVolumeContext(target);
  target.firstLba = 0;
  target.sectorCount = target.deviceSectors = 0x32000001;
  target.removable = 1;
  ScanSettingsValid.store(0);
  AskScanSettings.store(0);
  SetDeepScanSettingsDialog(&Dialog);
  g_dialogCalls = 0;
  PrepareDeepScanSettings();
  EXPECT_EQ(ProbeReading.load(), 1u);
  EXPECT_EQ(ScanSettingsValid.load(), 1u);
  EXPECT_EQ(g_dialogCalls, 0);
  EXPECT_EQ(DeepScanSettingsRecord().scanCount, 0x32000001u);

  // The next target: asked, cancelled; the record still describes the new target.
  target.firstLba = 2048;
  target.sectorCount = 1000;
  AskScanSettings.store(1);
  g_dialogAnswer = false;
  PrepareDeepScanSettings();
  EXPECT_EQ(ProbeReading.load(), 0u);
  EXPECT_EQ(g_dialogCalls, 1);
  EXPECT_EQ(DeepScanSettingsRecord().scanStart, 2048u);
  EXPECT_EQ(DeepScanSettingsRecord().useGpt, 1);
  g_dialogAnswer = true;
  PrepareDeepScanSettings();
  EXPECT_EQ(DeepScanSettingsRecord().useGpt, 0);

  AskScanSettings.store(0);
  SetDeepScanSettingsDialog(nullptr);
  ScanSettingsValid.store(0);
  DeepScanSettingsRecord() = DeepScanSettings();
  ResetVolumeContext(target);
}

TEST(SectorFillMapTest, KeptFor512MiBUpToBelow41GiB) {
  struct Case {
    uint64_t sectors;
    bool wanted;
  } cases[] = {{0xFFFFF, false}, {0x100000, true}, {0x51FFFFF, true}, {0x5200000, false}, {0, false}};
  for (const Case& c : cases) EXPECT_EQ(WantsSectorFillMap(c.sectors), c.wanted) << std::hex << c.sectors;

  ASSERT_TRUE(AllocSectorFillMap(4096, 0x100000));
  SetSectorFill(4096, 7);
  SetSectorFill(4096 + 0x100000 - 1, 9);
  SetSectorFill(4095, 1);             // before the map: ignored
  SetSectorFill(4096 + 0x100000, 1);  // after it: ignored
  const SectorFillMapT& m = SectorFillMap();
  EXPECT_EQ(m.firstLba, 4096u);
  EXPECT_EQ(m.count, 0x100000u);
  EXPECT_EQ(m.map[0], 7);
  EXPECT_EQ(m.map[0x100000 - 1], 9);
  EXPECT_FALSE(AllocSectorFillMap(0, 0xFFFFF));
  EXPECT_EQ(SectorFillMap().map, nullptr);
}

TEST(SectorFillMapTest, FillByteCountsTrailingZeroWords) {
  struct Case {
    int lastNonZeroByte;  // -1: all zero
    uint8_t expected;
  } cases[] = {{-1, 0}, {511, 255}, {510, 255}, {509, 255}, {0, 1}, {1, 1}, {2, 2}, {255, 128}};
  for (const Case& c : cases) {
    uint8_t sector[512] = {};
    if (c.lastNonZeroByte >= 0) sector[c.lastNonZeroByte] = 0x5A;
    EXPECT_EQ(ComputeSectorFill(sector), c.expected) << c.lastNonZeroByte;
  }
}

TEST(ClassifyDirEntriesTest, BySystemTypeVolumePathAndDeviceSize) {
  constexpr uint64_t kGiB = 2097152;  // sectors
  struct Case {
    const char* what;
    uint32_t type;
    bool volumePath;
    uint64_t sectors, device;
    bool expected;
  } cases[] = {
      {"FAT32 of 100 GiB on a 1 TB disk", kVolTypeFat32, false, 100 * kGiB, 1000 * kGiB, true},
      {"NTFS with a drive letter, 30 GiB, 1 TB disk", kVolTypeNtfs, true, 30 * kGiB, 1000 * kGiB, true},
      {"NTFS 50 GiB on a 150 GiB disk", kVolTypeNtfs, false, 50 * kGiB, 150 * kGiB, true},
      {"NTFS 50 GiB on a 1 TB disk", kVolTypeNtfs, false, 50 * kGiB, 1000 * kGiB, false},
      {"NTFS with a drive letter, 50 GiB, 1 TB disk", kVolTypeNtfs, true, 50 * kGiB, 1000 * kGiB, false},
      {"disk just below 200 GiB", kVolTypeNone, false, 0x18FFFFFF, 0x18FFFFFF, true},
      {"disk of 200 GiB", kVolTypeNone, false, 0x19000000, 0x19000000, false},
  };
  for (const Case& c : cases) {
    VolumeContext t = Target(2048, c.sectors, c.device);
    t.type = c.type;
    if (c.volumePath) t.volumePath = u"/dev/sdb1";
    EXPECT_EQ(WantsClassifyDirEntries(t), c.expected) << c.what;
  }
}

// The queue near boot-sector hits with probe reading on over a scan range of the whole device.
class BootHitQueue : public ::testing::Test {
 protected:
  void SetUp() override {
    ProbeReading.store(1);
    ScanRange() = ScanRangeT{0, 2000 * kBlock};
    ClearQueue();
  }
  void TearDown() override {
    for (void* p : sectors_) FreeMem(p);
    ProbeReading.store(0);
    ClearQueue();
  }
  // A FAT total below 65536 goes into the 16-bit field, as volumes below 32 MiB keep it.
  SectorHit Boot(uint8_t kind, uint64_t lba, uint64_t total) {
    auto* s = static_cast<uint8_t*>(AllocMem(512, 1));
    if (kind == kKindNtfsBoot) {
      std::memcpy(s + 40, &total, 8);
    } else if (total < 0x10000) {
      const uint16_t t16 = uint16_t(total);
      std::memcpy(s + 0x13, &t16, 2);
    } else {
      const uint32_t t32 = uint32_t(total);
      std::memcpy(s + 32, &t32, 4);
    }
    sectors_.push_back(s);
    return SectorHit{kind, 0, lba, 512, s};
  }
  std::vector<void*> sectors_;
};

TEST_F(BootHitQueue, PartnerBootSectorsOfNtfsAndFat) {
  struct Case {
    const char* what;
    uint8_t kind;
    uint64_t lba, total;
    std::vector<uint64_t> queued;
  } cases[] = {
      {"NTFS primary at 2048", kKindNtfsBoot, 2048, 1000000, {999424, 1015808}},
      {"NTFS backup at 1,002,047", kKindNtfsBoot, 1002047, 1000000, {983040, 1998848, 2015232, 0}},
      {"FAT32 at 20000", kKindFat32Boot, 20000, 40000, {0, 49152, 65536}},
      {"FAT16 at 100", kKindFat16Boot, 100, 16384, {16384, 32768}},
      {"a wrapping count queues nothing ahead", kKindNtfsBoot, 40000, UINT64_MAX - 10, {16384}},
      {"beyond the scan range", kKindNtfsBoot, 100, 1ull << 40, {}},
  };
  for (const Case& c : cases) {
    ClearQueue();
    SectorHit hits[] = {Boot(c.kind, c.lba, c.total), SectorHit{kKindMftRecord, 0, c.lba + 1, 0, nullptr}};
    QueueBlocksNearBootHits(hits);
    EXPECT_EQ(QueueContents(), c.queued) << c.what;
  }
  // Probe reading off: nothing at all.
  ProbeReading.store(0);
  ClearQueue();
  SectorHit hit = Boot(kKindNtfsBoot, 2048, 1000000);
  QueueBlocksNearBootHits({&hit, 1});
  EXPECT_TRUE(QueueContents().empty());
}

TEST(BlockListTest, PriorityRangeAndProbeBlocks) {
  DeepScanSettings s;
  s.priorityStart = 3 * kBlock + 5;
  s.priorityCount = kBlock;  // blocks 3 and 4
  VolumeContext t = Target(0, 0x800001, 0x800001);
  ProbeReading.store(1);
  BuildScanBlockList(nullptr, t, s);
  std::vector<uint64_t> expected = {3 * kBlock, 4 * kBlock, 0, 0x200000, 0x400000, 0x600000, 0x800000};
  EXPECT_EQ(QueueContents(), expected);
  EXPECT_EQ(ScanRange().firstBlock, 0u);
  EXPECT_EQ(ScanRange().lastBlock, 0x800000u);
  EXPECT_EQ(NextSequentialBlock(), 0u);

  // 4 GiB exactly: no probe blocks.
  t = Target(0, 0x800000, 0x800000);
  s.priorityCount = 0;
  BuildScanBlockList(nullptr, t, s);
  EXPECT_TRUE(QueueContents().empty());

  // A partition: probes start at its first multiple of 0x200000 not below its start.
  t = Target(0x100000, 0x900000, 0x2000000);
  BuildScanBlockList(nullptr, t, s);
  expected = {0x200000, 0x400000, 0x600000, 0x800000};
  EXPECT_EQ(QueueContents(), expected);
  ProbeReading.store(0);
  ClearQueue();
}

// The images of the deleted-files queue tests.
std::string QueueImageDir() {
  static const std::string dir = BuildScriptFixture("fatqueueimages.sh", "fat_queue_fixtures");
  return dir;
}

bool SetupFatTarget(const std::string& path, uint32_t operation) {
  VolumeContext& target = ScanTarget();
  ResetVolumeContext(target);
  target.devicePath = CString(Utf8ToUtf16(path).c_str());
  target.diskNumber = kImageDiskNumber;
  target.targetKind = kTargetImage;
  DiskReader reader;
  if (!OpenDeviceByPath(target.devicePath, reader, 1)) return false;
  target.sectorCount = reader.sizeBytes / 512;
  target.deviceSectors = target.sectorCount;
  uint8_t boot[512] = {};
  if (!reader.ReadSectors(boot, 0, 1)) return false;
  if (!IsFat16BootSector(boot) && !IsFat32BootSector(boot)) return false;
  VolumeContext vol;
  if (!SetupFatVolume(target, reader, boot, 0, target.sectorCount, vol)) return false;
  vol.deviceSectors = target.sectorCount;
  vol.operation = operation;
  target = vol;
  return true;
}

TEST(DeletedFilesQueue, FatAreaLastBlockAndFreeClustersQueuedFullBlocksNot) {
  const std::string dir = QueueImageDir();
  if (dir.empty()) GTEST_SKIP() << "mkfs.vfat or mtools missing";
  for (const char* image : {"fat32queue.img", "fat16queue.img"}) {
    for (uint32_t op : {kOperationDeletedFiles, kOperationEmptiedRecycleBin}) {
      ASSERT_TRUE(SetupFatTarget(dir + "/" + image, op)) << image;
      const VolumeContext target = ScanTarget();
      // The volume ends inside block 4 (mkfs may round it down to whole tracks).
      ASSERT_GT(target.sectorCount, 4 * kBlock);
      ASSERT_LE(target.sectorCount, 5 * kBlock);
      QueuedBlockCount.store(0);
      BuildScanBlockList(nullptr, target, DeepScanSettings());
      const std::vector<uint64_t> expected = {0, 2 * kBlock, 4 * kBlock};
      EXPECT_EQ(QueueContents(), expected) << image;
      EXPECT_EQ(QueuedBlockCount.load(), 3u);
      EXPECT_TRUE(ScanAllocMap().ownsBuffer);
      ReleaseScanAllocMap();
    }
    // Other operations read everything: nothing is queued from the map.
    ASSERT_TRUE(SetupFatTarget(dir + "/" + image, 1));
    BuildScanBlockList(nullptr, ScanTarget(), DeepScanSettings());
    EXPECT_TRUE(QueueContents().empty());
  }
  ResetVolumeContext(ScanTarget());
  ClearQueue();
}

TEST(DeletedFilesQueue, BlocksPastTheLoadedTableAreRead) {
  // The table is loaded only up to its first 128 MiB; what lies past it is unknown, not full.
  VolumeContext t = Target(0, 10 * kBlock, 10 * kBlock);
  t.type = kVolTypeFat32;
  std::vector<uint8_t> table(4 * 3 * kBlock, 0xFF);  // every cluster it covers allocated
  ScanAllocMapT& m = ScanAllocMap();
  m.buffer = table.data();
  m.length = uint32_t(table.size());
  m.sectorsPerCluster = 1;
  m.clusterArea = 100;
  EXPECT_FALSE(BlockHasFreeClusters(t, kBlock));
  EXPECT_TRUE(BlockHasFreeClusters(t, 5 * kBlock));
  m = ScanAllocMapT();
}

TEST(DeletedFilesQueue, WithoutAMapTheOrdinaryQueueServes) {
  VolumeContext t = Target(0, 10 * kBlock, 10 * kBlock);
  t.type = kVolTypeNone;
  t.operation = kOperationDeletedFiles;
  DeepScanSettings s;
  s.priorityStart = kBlock;
  s.priorityCount = 1;
  QueuedBlockCount.store(0);
  BuildScanBlockList(nullptr, t, s);
  EXPECT_EQ(QueueContents(), std::vector<uint64_t>({kBlock}));
  EXPECT_EQ(QueuedBlockCount.load(), 0u);
  // exFAT has no map: every block of the target counts.
  t.type = kVolTypeExfat;
  t.sectorCount = 3 * kBlock + 1;
  BuildScanBlockList(nullptr, t, s);
  EXPECT_EQ(QueueContents(), std::vector<uint64_t>({0, kBlock, 2 * kBlock, 3 * kBlock}));
  EXPECT_EQ(QueuedBlockCount.load(), 4u);
  ClearQueue();
}

int g_pendingPrepared = 0, g_pendingFreed = 0;

TEST(DeepScanStartEnd, StartPreparesEveryStructureAndEndKeepsOnlyTheHitLists) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"DevSizeErr: size\r\n");
  VolumeContext& t = ScanTarget();
  ResetVolumeContext(t);
  t.firstLba = 0;
  t.sectorCount = t.deviceSectors = 0x100000 + 7;
  t.type = kVolTypeNtfs;
  DeepScanSettingsRecord() = DeepScanSettings();
  SetPendingWindowHooks([] { ++g_pendingPrepared; }, [] { ++g_pendingFreed; });
  RegisterUniqueLba(42);
  std::atomic<uint32_t> state{kScanRunning};

  StartDeepScan(&state);
  const uint64_t blocks = (0x100000 + 7 + kBlock - 1) / kBlock;
  EXPECT_EQ(BlockHitListCount(), blocks);
  EXPECT_EQ(BlockStateCount(), blocks);
  EXPECT_EQ(FileStartIndexSize(), blocks);
  EXPECT_NE(SectorFillMap().map, nullptr);
  EXPECT_TRUE(FatDirScanEnabled());  // a device below 200 GiB
  EXPECT_FALSE(RegisterUniqueLba(42)) << "the registry is emptied at the start";
  EXPECT_EQ(g_pendingPrepared, 1);
  EXPECT_EQ(ReaderDone.load(), 0u);

  SectorHit hit{kKindMbr, 0, 0, 512, AllocMem(512, 1)};
  StoreBlockHits(0, {&hit, 1});
  ReaderDone.store(1);
  EndDeepScan();
  EXPECT_EQ(BlockStateCount(), 0u);
  EXPECT_EQ(FileStartIndexSize(), 0u);
  EXPECT_EQ(g_pendingFreed, 1);
  EXPECT_EQ(BlockHitListCount(), blocks) << "the end stages still read the hits";
  EXPECT_NE(FindHitAt(0, kKindMbr), nullptr);

  FreeBlockHitLists();
  FreeSectorFillMap();
  SetFatDirScanEnabled(false);
  SetDeepScanHooks(DeepScanHooks());
  ResetVolumeContext(t);
}

std::vector<std::string> g_boxes;
bool RecordBox(const CString& text, const CString&, const CString&) {
  g_boxes.push_back(text.ToUtf8());
  return false;
}

TEST(DeepScanStartEnd, SavedScanLoadedResumesItsBlockMapAndAFailedLoadStartsAfresh) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"LoadSaveDataFailed: load failed\r\n");
  SetMessageBoxHandler(&RecordBox);
  g_boxes.clear();
  VolumeContext& t = ScanTarget();
  ResetVolumeContext(t);
  t.sectorCount = t.deviceSectors = 4 * kBlock;
  std::atomic<uint32_t> state{kScanRunning};

  SetScanStateLoadHook([](std::atomic<uint32_t>*) {
    AllocBlockStateMap(4);
    SetBlockState(1, kBlockHandled);
    return 1;
  });
  LoadScanStateHits(&state);
  EXPECT_EQ(GetBlockState(1), kBlockHandled);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(ScanRange().lastBlock, 4 * kBlock) << "the block list is built after the load";

  SetScanStateLoadHook([](std::atomic<uint32_t>*) {
    AllocBlockStateMap(4);
    SetBlockState(1, kBlockHandled);
    return -1;
  });
  LoadScanStateHits(&state);
  EXPECT_EQ(BlockStateCount(), 4u);
  EXPECT_EQ(GetBlockState(1), kBlockUnread) << "a failed load leaves nothing of itself";
  EXPECT_EQ(g_boxes, std::vector<std::string>({"load failed"}));

  SetScanStateLoadHook(nullptr);
  SetMessageBoxHandler(nullptr);
  FreeBlockStateMap();
  ResetVolumeContext(t);
}

TEST(DeepScanStartEndDeathTest, DeviceOfSizeZeroStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        VolumeContext& t = ScanTarget();
        ResetVolumeContext(t);
        t.sectorCount = 0;
        t.deviceSectors = 0;
        std::atomic<uint32_t> state{kScanRunning};
        StartDeepScan(&state);
      },
      ::testing::ExitedWithCode(1), "Dev size failed!");
}

}  // namespace
