// The NTFS rebuild while scanning, through the carving consumer's hooks: a block of MFT records
// is kept as a group, the run of groups is rebuilt once the blocks on both sides are handled,
// and the volume shows in the results; with probe reading on, the block where the records'
// volume begins is queued.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "app/settings.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/blockqueue.h"
#include "deepscan/carvingconsumer.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/keepmetadatahit.h"
#include "deepscan/liveresults.h"
#include "deepscan/pendingwindow.h"
#include "deepscan/scanblockring.h"
#include "parsefilesystem/parsentfs/mfthitgroups.h"
#include "parsefilesystem/parsentfs/tests/ntfstestrecords.h"
#include "platform/textconv.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kBlocks = 400;
constexpr uint64_t kRecordBlock = 385;  // past sector 0x600000, where a formatter puts the MFT
constexpr uint32_t kRecords = 300;
constexpr uint32_t kFirstNumber = 100;

struct NtfsRebuildWhileScanning : ::testing::Test {
  std::vector<uint8_t> block = std::vector<uint8_t>(kScanBlockBytes);
  std::atomic<uint32_t> state{kScanRunning};
  ScanProgress progress = MakeScanProgress(kProgressSectorScan);
  std::string device;

  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ShowAllFile: 1\r\nDefault-ParseFileSys: 1\r\n",
                        u"FileLost: FileLost\r\n");
    InitFileTypeTables();
    device = (fs::temp_directory_path() / ("ntfsrebuildscan" + std::to_string(getpid()) + ".img")).string();
    std::ofstream(device, std::ios::binary).put('\0');
    VolumeContext& t = ScanTarget();
    ResetVolumeContext(t);
    t.devicePath = CString(Utf8ToUtf16(device));
    t.sectorCount = t.deviceSectors = kBlocks * kScanBlockSectors;
    t.targetKind = kTargetDisk;
    t.operation = 1;
    DeepScanSettingsRecord() = DeepScanSettings();
    AllocBlockHitListsFor(kBlocks);
    AllocBlockStateMap(kBlocks);
    ScanRange().firstBlock = 0;
    ScanRange().lastBlock = (kBlocks - 1) * kScanBlockSectors;
    ProbeReading.store(0);
    BeginPendingWindow();
    InstallCarvingConsumer();
    InstallScanResults();
    ResetVolumeList(AppVolumeList(), nullptr, 0);
    ClearMftHitGroups();
  }
  void TearDown() override {
    ClearMftHitGroups();
    ClearVolumeList(AppVolumeList());
    SetCarvingHooks(CarvingHooks());
    EndPendingWindow();
    FreeBlockHitLists();
    FreeBlockStateMap();
    SetFoundMftRecordParser(nullptr);
    ProbeReading.store(0);
    {
      std::lock_guard<std::mutex> g(PriorityQueueLock());
      PriorityBlockQueue().clear();
    }
    ResetVolumeContext(ScanTarget());
    fs::remove(device);
  }
  // Handles block b: with records, kRecords MFT records numbered from kFirstNumber back to back
  // from its first sector.
  void Hand(uint64_t b, bool records) {
    ResetScanBlock(block.data(), b * kScanBlockSectors);
    SetScanBlockReadResult(block.data(), 1);
    for (uint32_t i = 0; records && i < kRecords; ++i) {
      RecordBuilder r(kFirstNumber + i, 1);
      Put32(r.b + 0x18, 0x1A0);
      Put32(r.b + 0x1C, 0x400);
      r.StandardInfo(TestFileTime(), TestFileTime());
      r.FileName(5, u"file" + std::u16string(1, char16_t(u'a' + i % 26)) + u".txt", 1);
      r.Resident(kAttrData, std::vector<uint8_t>(40, 'x'));
      std::memcpy(block.data() + size_t(i) * kMftRecordBytes, r.b, kMftRecordBytes);
    }
    SetBlockState(b, kBlockTaken);
    ASSERT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  }
  uint32_t Slots() {
    VolumeListReadGuard g(AppVolumeList());
    return AppVolumeList().slotCount;
  }
};

TEST_F(NtfsRebuildWhileScanning, AClosedRunOfBlocksShowsItsVolume) {
  const uint32_t before = Slots();
  Hand(kRecordBlock + 1, false);
  Hand(kRecordBlock, true);
  // The block before the run is not handled yet: the run may still grow.
  EXPECT_EQ(MftHitGroups().size(), 1u);
  Hand(kRecordBlock + 2, false);
  EXPECT_EQ(Slots(), before);
  Hand(kRecordBlock - 1, false);
  EXPECT_TRUE(MftHitGroups().empty());
  ASSERT_EQ(Slots(), before + 1);
  VolumeListReadGuard g(AppVolumeList());
  const VolumeContext& v = AppVolumeList().slots[before];
  EXPECT_EQ(v.type, uint32_t(kVolTypeNtfs));
  EXPECT_EQ(v.foundBy, uint32_t(kFoundByRebuild));
  // Record 100 at 0x600000 + 16384 + 200 sectors: the volume began at sector 16384.
  EXPECT_EQ(v.firstLba, kRecordBlock * kScanBlockSectors - 2 * kFirstNumber - 0x600000);
  EXPECT_EQ(v.fileCount, kRecords);
}

TEST_F(NtfsRebuildWhileScanning, ProbeReadingQueuesWhereTheRecordsVolumeBegins) {
  ProbeReading.store(1);
  Hand(kRecordBlock, true);
  std::lock_guard<std::mutex> g(PriorityQueueLock());
  const std::deque<uint64_t>& q = PriorityBlockQueue();
  const uint64_t start = kRecordBlock * kScanBlockSectors - 2 * kFirstNumber;
  EXPECT_NE(std::find(q.begin(), q.end(), start / kScanBlockSectors * kScanBlockSectors), q.end());
}

}  // namespace
