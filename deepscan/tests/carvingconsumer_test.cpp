// The carving consumer: one block at a time (failed blocks, metadata sectors at the block's
// edges, fix-ups on copies), the thread's end (pause, stop, end stage), the live report of
// carved files and the end-of-scan save offer.
#include "deepscan/carvingconsumer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/settings.h"
#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "core/volumelist.h"
#include "deepscan/carvedfound.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/keepmetadatahit.h"
#include "deepscan/partitionwalk.h"
#include "deepscan/pendingwindow.h"
#include "deepscan/scanblockring.h"
#include "deepscan/scansaveoffer.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "platform/hooks.h"
#include "platform/storage.h"
#include "platform/wndcore.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanprogress.h"
#include "scanbase/scanrun.h"

namespace {

constexpr uint64_t kBlockLba = 3 * kScanBlockSectors;

void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
void Put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// A scan of a 10-block device, nothing shown while scanning, with an empty pending window.
struct CarvingBlock : ::testing::Test {
  std::vector<uint8_t> block = std::vector<uint8_t>(kScanBlockBytes);
  std::atomic<uint32_t> state{kScanRunning};
  ScanProgress progress = MakeScanProgress(kProgressSectorScan);

  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ShowAllFile: 1\r\n", u"");
    InitFileTypeTables();
    VolumeContext& t = ScanTarget();
    ResetVolumeContext(t);
    t.sectorCount = t.deviceSectors = 10 * kScanBlockSectors;
    t.operation = 1;
    DeepScanSettingsRecord() = DeepScanSettings();
    DeepScanSettingsRecord().showWhileScanning = 0;
    AllocBlockHitListsFor(10);
    AllocBlockStateMap(10);
    ScanRange().firstBlock = 0;
    ScanRange().lastBlock = 9 * kScanBlockSectors;
    ProbeReading.store(0);
    BeginPendingWindow();
    ResetScanBlock(block.data(), kBlockLba);
    SetScanBlockReadResult(block.data(), 1);
    SetBlockState(kBlockLba / kScanBlockSectors, kBlockTaken);
  }
  void TearDown() override {
    EndPendingWindow();
    FreeBlockHitLists();
    FreeBlockStateMap();
    SetFoundMftRecordParser(nullptr);
    SetMftRecordRereader(nullptr);
    ProbeReading.store(0);
  }
  uint8_t* Sector(uint32_t i) { return block.data() + size_t(i) * kSectorBytes; }
  std::vector<SectorHit> StoredHits() {
    std::vector<SectorHit> out;
    CollectAllHits(out);
    return out;
  }
  std::vector<SectorHit> HitsOfKind(uint8_t kind) {
    std::vector<SectorHit> out;
    for (const SectorHit& h : StoredHits())
      if (h.kind == kind) out.push_back(h);
    return out;
  }
};

// A 24-bit bitmap of 1000 bytes: its end is in its header.
void PlantBmp(uint8_t* p) {
  std::memcpy(p, "BM", 2);
  Put32(p + 2, 1000);
  Put32(p + 10, 54);
  Put32(p + 14, 40);
  std::memset(p + 54, 0x5A, 1000 - 54);
}

TEST_F(CarvingBlock, AFailedBlockChangesNothingButTheRing) {
  PlantBmp(Sector(5));
  SetScanBlockReadResult(block.data(), 0);
  const uint64_t posts = ScanProgressPostsOffered();
  EXPECT_FALSE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  EXPECT_TRUE(StoredHits().empty());
  EXPECT_EQ(GetBlockState(kBlockLba / kScanBlockSectors), kBlockTaken);
  EXPECT_EQ(uint64_t(progress.scan.sectorsDone), 0u);
  EXPECT_EQ(uint32_t(progress.scan.filesFound), 0u);
  EXPECT_EQ(ScanProgressPostsOffered(), posts);

  SetScanBlockReadResult(block.data(), 1);
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  const auto bmp = HitsOfKind(48);
  ASSERT_EQ(bmp.size(), 1u);
  EXPECT_EQ(uint64_t(bmp[0].lba), kBlockLba + 5);
  EXPECT_EQ(bmp[0].endStatus, kHitEndFound);
  EXPECT_EQ(uint64_t(bmp[0].size), 1000u);
  EXPECT_EQ(GetBlockState(kBlockLba / kScanBlockSectors), kBlockHandled);
  EXPECT_EQ(uint64_t(progress.scan.sectorsDone), kScanBlockSectors);
  EXPECT_EQ(uint32_t(progress.scan.filesFound), 1u);
  EXPECT_EQ(ScanProgressPostsOffered(), posts + 1);
}

// An MFT record whose two sector tails hold the sequence number 0x0707 and whose saved words
// are 0xA1A1 and 0xB2B2.
void PlantMftRecord(uint8_t* p) {
  std::memset(p, 0, kMftRecordBytes);
  std::memcpy(p, "FILE", 4);
  Put16(p + 4, 0x30);
  Put16(p + 6, 3);
  Put16(p + 0x14, 0x38);
  Put32(p + 0x18, 0x1A0);
  Put32(p + 0x1C, 0x400);
  Put32(p + 0x38, 0x10);
  Put16(p + 48, 0x0707);
  Put16(p + 50, 0xA1A1);
  Put16(p + 52, 0xB2B2);
  Put16(p + 510, 0x0707);
  Put16(p + 1022, 0x0707);
}

std::vector<uint64_t> g_rereads;
std::vector<std::vector<uint8_t>> g_parsedRecords;
bool FakeReread(const VolumeContext&, uint64_t lba, uint8_t* record) {
  g_rereads.push_back(lba);
  PlantMftRecord(record);
  Put16(record + 0x10, 0x4242);  // tells the re-read copy from the block's bytes
  return true;
}
bool FailReread(const VolumeContext&, uint64_t lba, uint8_t*) {
  g_rereads.push_back(lba);
  return false;
}
bool RecordParser(const uint8_t* record, uint64_t, void** detail) {
  g_parsedRecords.emplace_back(record, record + kMftRecordBytes);
  *detail = nullptr;
  return true;
}

TEST_F(CarvingBlock, MftRecordInTheLastSectorIsReadAgainOthersAreFixedUpOnACopy) {
  g_rereads.clear();
  g_parsedRecords.clear();
  SetMftRecordRereader(&FakeReread);
  SetFoundMftRecordParser(&RecordParser);
  PlantMftRecord(Sector(16382));
  // Sector 16383 holds the start of another record: its second half lies in the next block.
  std::memcpy(Sector(16383), Sector(16382), kSectorBytes);
  const std::vector<uint8_t> before = block;
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));

  EXPECT_EQ(block, before) << "the fix-up must not change the block that carving reads";
  ASSERT_EQ(g_rereads.size(), 1u);
  EXPECT_EQ(g_rereads[0], kBlockLba + 16383);
  ASSERT_EQ(g_parsedRecords.size(), 2u);
  for (const auto& rec : g_parsedRecords) {
    uint16_t t1, t2;
    std::memcpy(&t1, rec.data() + 510, 2);
    std::memcpy(&t2, rec.data() + 1022, 2);
    EXPECT_EQ(t1, 0xA1A1);
    EXPECT_EQ(t2, 0xB2B2);
  }
  uint16_t mark0, mark1;
  std::memcpy(&mark0, g_parsedRecords[0].data() + 0x10, 2);
  std::memcpy(&mark1, g_parsedRecords[1].data() + 0x10, 2);
  EXPECT_EQ(mark0, 0) << "sector 16382: the record comes from the block";
  EXPECT_EQ(mark1, 0x4242) << "sector 16383: the record comes from the device";
  EXPECT_EQ(HitsOfKind(kSectorMftRecord).size(), 2u);
  uint32_t counts[8];
  std::memcpy(counts, reinterpret_cast<const uint8_t*>(&progress) + offsetof(ScanProgress, scan.metaCounts), sizeof counts);
  EXPECT_EQ(counts[4], 2u) << "MFT records are the fifth of the progress's metadata counts";
  EXPECT_EQ(counts[0] + counts[1] + counts[2] + counts[3] + counts[5] + counts[6] + counts[7], 0u);
}

TEST_F(CarvingBlock, SplitMftRecordIsDroppedWhenTheDeviceCannotBeRead) {
  g_rereads.clear();
  SetMftRecordRereader(&FailReread);
  PlantMftRecord(Sector(16383 - 1));
  std::memcpy(Sector(16383), Sector(16382), kSectorBytes);
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  const auto mft = HitsOfKind(kSectorMftRecord);
  ASSERT_EQ(mft.size(), 1u);
  EXPECT_EQ(uint64_t(mft[0].lba), kBlockLba + 16382);
  EXPECT_EQ(g_rereads.size(), 1u);
}

// A 4096-byte index record with one named entry (parent directory 0x1234) at entryOffset;
// every sector tail holds the sequence number, the true words are in the array.
void PlantIndxRecord(uint8_t* p, size_t room, uint32_t entryOffset = 0x40) {
  std::vector<uint8_t> r(kIndxRecordBytes, 0);
  std::memcpy(r.data(), "INDX", 4);
  Put16(r.data() + 4, 0x28);
  Put16(r.data() + 6, 9);
  Put16(r.data() + 0x28, 0x0505);
  Put32(r.data() + 24, entryOffset - 24);
  uint8_t* e = r.data() + entryOffset;
  Put64(e, 0x0001000000000099ull);  // record 0x99
  Put16(e + 8, 0x68);
  Put16(e + 10, 0x50);
  Put64(e + 16, 0x0003000000001234ull);
  Put64(e + 0x38, 1000000);
  Put64(e + 0x40, 1000000);
  e[80] = 5;
  e[81] = 1;
  const char16_t name[] = u"a.jpg";
  std::memcpy(e + 82, name, 10);
  uint8_t* last = e + 0x68;
  Put16(last + 8, 0x10);
  Put16(last + 12, 2);
  for (int s = 0; s < 8; ++s) {
    std::memcpy(r.data() + 0x2A + 2 * s, r.data() + 512 * s + 510, 2);
    Put16(r.data() + 512 * s + 510, 0x0505);
  }
  std::memcpy(p, r.data(), std::min(room, r.size()));
}

size_t IndxListSize() {
  std::lock_guard<std::mutex> g(IndxFileListLock());
  return IndxFileList().size();
}

TEST_F(CarvingBlock, IndexRecordCrossingTheBlockIsKeptButNotParsed) {
  ClearIndxFileList();
  PlantIndxRecord(Sector(100), kIndxRecordBytes);
  PlantIndxRecord(Sector(16380), 4 * kSectorBytes);
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  const auto indx = HitsOfKind(kSectorIndexRecord);
  ASSERT_EQ(indx.size(), 2u);
  EXPECT_EQ(uint64_t(indx[0].lba), kBlockLba + 100);
  EXPECT_EQ(uint64_t(indx[1].lba), kBlockLba + 16380);
  for (const SectorHit& h : indx) EXPECT_EQ(reinterpret_cast<uintptr_t>(h.detail), 0x1234u);
  // Only the whole record was parsed: its one entry joined the index-entry list.
  EXPECT_EQ(IndxListSize(), 1u);
  ClearIndxFileList();
}

TEST_F(CarvingBlock, IndexEntryWhoseNameLiesPastTheBlockIsNotRead) {
  // The record starts in the last sector; its first entry begins 64 bytes before the block
  // ends, so the entry's name would lie past the block (and past its one-sector trailer).
  PlantIndxRecord(Sector(16383), kSectorBytes, 0x1C0);
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  EXPECT_TRUE(HitsOfKind(kSectorIndexRecord).empty());
  // The entry's header and name fields end in the block, its name does not: without the name
  // in the block the entry does not count.
  ResetScanBlock(block.data(), kBlockLba);
  SetScanBlockReadResult(block.data(), 1);
  PlantIndxRecord(Sector(16383), kSectorBytes, 428);
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  EXPECT_TRUE(HitsOfKind(kSectorIndexRecord).empty());

  uint32_t parent = 0;
  std::vector<uint8_t> rec(kIndxRecordBytes);
  PlantIndxRecord(rec.data(), rec.size());
  EXPECT_TRUE(FindIndexRecordParent(rec.data(), rec.data() + rec.size(), &parent));
  EXPECT_EQ(parent, 0x1234u);
  // Cut inside the name: refused.
  EXPECT_FALSE(FindIndexRecordParent(rec.data(), rec.data() + 0x40 + 84, &parent));
  // A hostile first-entry offset far past the record.
  Put32(rec.data() + 24, 0xFFFFFFF0u);
  EXPECT_FALSE(FindIndexRecordParent(rec.data(), rec.data() + rec.size(), &parent));
}

TEST_F(CarvingBlock, GptHeaderQueuesPartitionStartsOnlyWithProbeReading) {
  char name[] = "/tmp/kestrel_gpt_XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  std::vector<uint8_t> disk(64 * kSectorBytes, 0);
  const uint64_t starts[] = {40000, 0, 0, 70000};
  for (size_t e = 0; e < 4; ++e) Put64(disk.data() + 2 * kSectorBytes + 128 * e + 32, starts[e]);
  Put64(disk.data() + 2 * kSectorBytes + 128 * 15 + 32, 5000);
  ASSERT_EQ(write(fd, disk.data(), disk.size()), ssize_t(disk.size()));
  close(fd);
  SetStorageBackend(nullptr);
  ScanTarget().devicePath = CString(std::string(name));

  // The GPT header is recognised in LBA 1 only: the block is block 0.
  ResetScanBlock(block.data(), 0);
  SetScanBlockReadResult(block.data(), 1);
  std::memcpy(Sector(1), "EFI PART", 8);
  auto queued = [] {
    std::lock_guard<std::mutex> g(PriorityQueueLock());
    return std::vector<uint64_t>(PriorityBlockQueue().begin(), PriorityBlockQueue().end());
  };
  auto clearQueue = [] {
    std::lock_guard<std::mutex> g(PriorityQueueLock());
    PriorityBlockQueue().clear();
  };
  clearQueue();
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  EXPECT_TRUE(queued().empty());
  EXPECT_EQ(HitsOfKind(kSectorGptHeader).size(), 1u);

  ProbeReading.store(1);
  EXPECT_TRUE(HandScanBlock(&state, ScanTarget(), block.data(), progress));
  EXPECT_EQ(queued(), (std::vector<uint64_t>{32768, 65536, 0}));
  clearQueue();
  unlink(name);
}

// The main window and the result windows of the tests count what reaches them.
struct Heard {
  int resultsReady = 0, filesAdded = 0, finishing = 0, finished = 0;
};
Heard g_heard;
LRESULT CountingProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_RESULTS_READY: ++g_heard.resultsReady; return 0;
    case WM_VIEW_FILESADDED: ++g_heard.filesAdded; return 0;
    case WM_SCAN_FINISHING: ++g_heard.finishing; return 0;
    case WM_SCAN_FINISHED: ++g_heard.finished; return 0;
    default: return DefWindowProcW(h, msg, w, l);
  }
}
HWND CountingWindow() {
  static HWND h = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &CountingProc;
    wc.lpszClassName = u"CarvingTestMain";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, u"CarvingTestMain", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    AppVolumeList().AddListener(w);
    return w;
  }();
  return h;
}

TEST_F(CarvingBlock, FirstCarvedFileSendsResultsReadyOnce) {
  InstallCarvingConsumer();
  ResetVolumeList(AppVolumeList(), nullptr, 0);
  AppVolumeList().mainWindow = CountingWindow();
  g_heard = Heard();
  CarveCandidate c{};
  c.typeId = 46;
  c.startLba = 5000;
  c.size = 70000;
  c.status = kEndNeedsMore;
  OnCarvedFileFound(c);  // not a file (yet)
  EXPECT_EQ(g_heard.filesAdded, 0);
  c.status = kEndKnown;
  OnCarvedFileFound(c);
  c.startLba = 9000;
  OnCarvedFileFound(c);
  EXPECT_EQ(g_heard.resultsReady, 1);
  EXPECT_EQ(g_heard.filesAdded, 2);
  {
    VolumeListReadGuard g(AppVolumeList());
    EXPECT_EQ(AppVolumeList().slots[kFindFileSlot].fileCount, 2u);
  }
  AppVolumeList().mainWindow = nullptr;
  ClearVolumeList(AppVolumeList());
}

// The consumer thread over blocks put into the ring by the test.
struct CarvingThread : CarvingBlock {
  static bool StopInEndStage(std::atomic<uint32_t>* s, std::vector<VolumeContext>&) {
    s->store(kScanStopped);
    return false;
  }
  static bool EndStageRan(std::atomic<uint32_t>*, std::vector<VolumeContext>&) {
    ++endStages;
    return false;
  }
  static inline int endStages = 0;

  void Run(uint32_t startState, int blocks, uint32_t afterBlocks) {
    InstallCarvingConsumer();
    SetScanFinishingPauseMs(1);
    AppVolumeList().mainWindow = CountingWindow();
    g_heard = Heard();
    AllocScanBlockRing();
    ReaderDone.store(1);
    for (int b = 0; b < blocks; ++b) {
      ResetScanBlock(block.data(), uint64_t(b) * kScanBlockSectors);
      SetScanBlockReadResult(block.data(), 1);
      PlantBmp(Sector(7));
      SetBlockState(uint64_t(b), kBlockTaken);
      ASSERT_TRUE(PutScanBlock(block.data()));
    }
    state.store(startState);
    std::thread consumer([this] { DiskFileScanHandThread(&state); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool switched = false;
    while (WorkerThreadCount() != 0 || !switched) {
      PumpSentMessages();
      if (!switched && (!ScanBlockRingExists() || GetScanRingState().count == 0)) {
        state.store(afterBlocks);
        switched = true;
      }
      if (std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    consumer.join();
    AppVolumeList().mainWindow = nullptr;
    SetCarvingHooks(CarvingHooks());
  }
};

TEST_F(CarvingThread, PausedScanEmptiesTheRingThenRunsTheEndStage) {
  endStages = 0;
  CarvingHooks h;
  h.endStage = &EndStageRan;
  SetCarvingHooks(h);
  Run(kScanPaused, 3, kScanInputDone);
  EXPECT_EQ(HitsOfKind(48).size(), 3u) << "a pause holds the reader only";
  EXPECT_EQ(endStages, 1);
  EXPECT_EQ(g_heard.finishing, 1);
  EXPECT_EQ(g_heard.finished, 1);
  EXPECT_EQ(state.load(), kScanInputDone);
}

TEST_F(CarvingThread, StopEndsWithoutTheEndStage) {
  endStages = 0;
  CarvingHooks h;
  h.endStage = &EndStageRan;
  SetCarvingHooks(h);
  Run(kScanStopped, 2, kScanStopped);
  EXPECT_EQ(endStages, 0);
  EXPECT_EQ(g_heard.finishing, 0);
  EXPECT_EQ(g_heard.finished, 0);
  EXPECT_EQ(state.load(), kScanStopped);
}

TEST_F(CarvingThread, StopDuringTheEndStageStaysStopped) {
  CarvingHooks h;
  h.endStage = &StopInEndStage;
  SetCarvingHooks(h);
  Run(kScanRunning, 1, kScanInputDone);
  EXPECT_EQ(g_heard.finished, 1);
  EXPECT_EQ(state.load(), kScanStopped);
}

// The save offer at the scan's end, on a clock the test sets.
int64_t g_now = 0;
int64_t TestNow() { return g_now; }
int g_boxes = 0;
int g_saves = 0;
bool g_onDevice = false;
bool CountBox(const CString&, const CString&, const CString&) {
  ++g_boxes;
  return true;
}
bool CountSave() {
  ++g_saves;
  return true;
}
bool FakeDeviceQuery(const CString&, const VolumeContext&) { return g_onDevice; }

struct CarvingSaveOffer : ::testing::Test {
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
    ScanClock clock;
    clock.nowSeconds = &TestNow;
    SetScanClock(clock);
    SetMessageBoxHandler(&CountBox);
    SetScanStateSaver(&CountSave);
    SetSaveFolderDeviceQuery(&FakeDeviceQuery);
    g_boxes = g_saves = 0;
    g_onDevice = false;
    AllocBlockStateMap(20);
    for (uint64_t b = 0; b < 13; ++b) SetBlockState(b, kBlockHandled);
    SetBlockState(13, kBlockTaken);
    ScanStartTime.store(1000);
    ScanPausedSeconds.store(0);
    ScanPauseFlag.store(0);
  }
  void TearDown() override {
    SetScanClock(ScanClock());
    SetMessageBoxHandler(nullptr);
    SetScanStateSaver(nullptr);
    SetSaveFolderDeviceQuery(nullptr);
    FreeBlockStateMap();
  }
};

TEST_F(CarvingSaveOffer, OfferedFromThreeHundredNetSeconds) {
  g_now = 1299;
  AskSaveScanData();
  EXPECT_EQ(g_boxes, 0);
  EXPECT_EQ(GetBlockState(13), kBlockTaken);
  g_now = 1300;
  AskSaveScanData();
  EXPECT_EQ(g_boxes, 1);
  EXPECT_EQ(g_saves, 1);
  EXPECT_EQ(GetBlockState(13), kBlockUnread) << "a block taken but not handled is read again after a resume";
}

TEST_F(CarvingSaveOffer, ARunningPauseCountsAsPauseTime) {
  g_now = 1310;
  ScanPauseFlag.store(1);
  SetScanPauseStartTime(1300);  // paused for the last 10 s: 300 net seconds remain
  AskSaveScanData();
  EXPECT_EQ(g_boxes, 1);
  ScanPausedSeconds.store(0);
  SetScanPauseStartTime(1299);  // 11 s of pause: 299 net seconds
  AskSaveScanData();
  EXPECT_EQ(g_boxes, 1);
}

TEST_F(CarvingSaveOffer, NoOfferForShortScansFewBlocksOrASaveFolderOnTheScannedDevice) {
  g_now = 5000;
  SetBlockState(12, kBlockTaken);  // 12 handled blocks: fewer than 204800 sectors
  AskSaveScanData();
  EXPECT_EQ(g_boxes, 0);
  SetBlockState(12, kBlockHandled);
  g_onDevice = true;
  AskSaveScanData();
  EXPECT_EQ(g_boxes, 0);
  g_onDevice = false;
  AskSaveScanData();
  EXPECT_EQ(g_boxes, 1);
}

TEST(SaveFolderDevice, ImageFilesAreSafeUnknownDevicesAreNot) {
  SetSaveFolderDeviceQuery(nullptr);
  SetStorageBackend(nullptr);
  char name[] = "/tmp/kestrel_saveimg_XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  VolumeContext t;
  ResetVolumeContext(t);
  t.devicePath = CString(std::string(name));
  EXPECT_FALSE(SaveFolderOnScannedDevice(u"/tmp/", t)) << "a save beside an image cannot change the image";
  t.devicePath = u"/nonexistent/device/path";
  EXPECT_TRUE(SaveFolderOnScannedDevice(u"/tmp/", t)) << "where the device lies is unknown: no save";
  unlink(name);
}

}  // namespace
