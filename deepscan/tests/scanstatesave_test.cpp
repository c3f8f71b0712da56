// The deep scan's saving and loading of its state: what a save writes from the hit lists, the
// block map and the index-entry records, and how a load puts it back (map bytes other than
// "handled" read again, hits in any order or beyond the device, records replacing the list),
// the offer of the newest saved scan of the target, and the save job with its index entry.
#include "deepscan/scanstatesave.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetypetable.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/progressdlg.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "platform/fileio.h"
#include "platform/hooks.h"
#include "platform/textconv.h"
#include "scanbase/scanhitstore.h"
#include "scanbase/scanrun.h"
#include "scansave/scansaveidx.h"
#include "scansave/scanstatefile.h"

namespace {

constexpr uint64_t kBlock = 16384;

int g_questions = 0;
bool g_answer = true;
bool CountingBox(const CString&, const CString&, const CString&) {
  ++g_questions;
  return g_answer;
}

class ScanStateSave : public ::testing::Test {
 protected:
  void SetUp() override {
    char t[] = "/tmp/scanstatesave-XXXXXX";
    dir = mkdtemp(t);
    SetProgramDirOverride(CString(Utf8ToUtf16(dir)));
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"UseSaveData: use it?\r\n");
    SetMessageBoxHandler(&CountingBox);
    g_questions = 0;
    g_answer = true;
    VolumeContext& t0 = ScanTarget();
    ResetVolumeContext(t0);
    t0.name = u"Disk 0";
    t0.diskModel = u"Model X";
    t0.devicePath = u"/dev/fake0";
    t0.sectorCount = t0.deviceSectors = 4 * kBlock;
    AllocBlockHitListsFor(4);
    AllocBlockStateMap(4);
  }
  void TearDown() override {
    FreeBlockHitLists();
    FreeBlockStateMap();
    ClearIndxFileList();
    SetMessageBoxHandler(nullptr);
    SetProgramDirOverride(CString());
    ResetVolumeContext(ScanTarget());
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  CString Path(const char* name) const { return CString(Utf8ToUtf16(dir + "/" + name)); }

  std::string dir;
};

void* Sector(uint8_t fill) {
  void* p = AllocMem(512, 1);
  std::memset(p, fill, 512);
  return p;
}

TEST_F(ScanStateSave, ASavedScanComesBackIntoTheListsTheMapAndTheRecords) {
  StoreBlockHit({kKindMbr, 0, 0, 512, Sector(1)});
  StoreBlockHit({7, 5, 10, 9000, nullptr});
  StoreBlockHit({kKindNtfsBoot, 0, 2 * kBlock + 63, 512, Sector(2)});
  SetBlockState(0, kBlockHandled);
  SetBlockState(1, kBlockTaken);
  SetBlockState(2, kBlockHandled);
  {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    FileRecord r{};
    r.id = 40;
    SetRecordName(r, u"found.txt");
    IndxFileList().push_back(r);
  }
  const CString path = Path("Save_x.dat");
  ASSERT_TRUE(WriteCurrentScanState(path));

  // A new scan of the same target.
  FreeBlockHitLists();
  AllocBlockHitListsFor(4);
  ClearIndxFileList();
  std::atomic<uint32_t> state{kScanRunning};
  ASSERT_TRUE(LoadDiskScanDataCore(&state, path));
  EXPECT_EQ(BlockStateCount(), 4u);
  EXPECT_EQ(GetBlockState(0), kBlockHandled);
  EXPECT_EQ(GetBlockState(1), kBlockUnread) << "taken but never handled: read again";
  EXPECT_EQ(GetBlockState(2), kBlockHandled);
  std::vector<SectorHit> hits;
  CollectAllHits(hits);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].kind, kKindMbr);
  EXPECT_EQ(static_cast<uint8_t*>(hits[0].detail)[100], 1);
  EXPECT_EQ(static_cast<void*>(hits[1].detail), nullptr);
  EXPECT_EQ(uint64_t(hits[2].lba), 2 * kBlock + 63);
  std::lock_guard<std::mutex> g(IndxFileListLock());
  ASSERT_EQ(IndxFileList().size(), 1u);
  EXPECT_EQ(std::u16string(IndxFileList()[0].name), u"found.txt");
}

TEST_F(ScanStateSave, HitsOutOfOrderOrBeyondTheDeviceAreSortedOrDropped) {
  ScanStateHeader h;
  h.blockMap = {2, 2, 2, 2, 2};  // one byte more than the device: allowed, ignored
  std::vector<SectorHit> hits = {{kKindEbr, 0, 3 * kBlock, 512, Sector(3)},
                                 {kKindMbr, 0, 5, 512, Sector(4)},
                                 {kKindEbr, 0, 40 * kBlock, 512, Sector(5)},
                                 {kKindMbr, 0, 3 * kBlock + 1, 512, Sector(6)}};
  const CString path = Path("Save_y.dat");
  ASSERT_EQ(WriteScanStateFile(path, h, hits, {}), ScanStateResult::kOk);
  for (SectorHit& x : hits) FreeSectorInfo(x);
  std::atomic<uint32_t> state{kScanRunning};
  ASSERT_TRUE(LoadDiskScanDataCore(&state, path));
  std::vector<SectorHit> back;
  CollectAllHits(back);
  ASSERT_EQ(back.size(), 3u) << "the hit past the device has no list";
  EXPECT_EQ(uint64_t(back[0].lba), 5u);
  EXPECT_EQ(uint64_t(back[1].lba), 3 * kBlock);
  EXPECT_EQ(uint64_t(back[2].lba), 3 * kBlock + 1) << "one list for block 3, in file order";

  // A map longer than the device + 1 is refused before anything changes.
  h.blockMap.assign(6, 2);
  ASSERT_EQ(WriteScanStateFile(path, h, {}, {}), ScanStateResult::kOk);
  EXPECT_FALSE(LoadDiskScanDataCore(&state, path));
  back.clear();
  CollectAllHits(back);
  EXPECT_EQ(back.size(), 3u);
  // A stop during the load stores nothing more and frees what it read.
  h.blockMap.assign(4, 2);
  hits = {{kKindMbr, 0, 7, 512, Sector(7)}};
  ASSERT_EQ(WriteScanStateFile(path, h, hits, {}), ScanStateResult::kOk);
  for (SectorHit& x : hits) FreeSectorInfo(x);
  state.store(kScanStopped);
  EXPECT_FALSE(LoadDiskScanDataCore(&state, path));
}

TEST_F(ScanStateSave, TheSaveJobWritesTheDataFileThenItsEntryAndTheNewestIsOffered) {
  StoreBlockHit({kKindMbr, 0, 0, 512, Sector(1)});
  SetBlockState(0, kBlockHandled);
  ScanRange().firstBlock = 0;
  ScanRange().lastBlock = 4 * kBlock;
  std::atomic<uint32_t> status{kJobRunning};
  SaveDiskScanDataThread(&status);
  ASSERT_EQ(status.load(), kJobDone);
  ASSERT_TRUE(SaveScanState()) << "through the job-progress dialog";

  std::vector<ScanSaveEntry> list;
  ASSERT_TRUE(LoadScanSaveIndex(list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(EntryText(list[0].donePercent), u"25%");
  SortScanSaveEntries(list);

  CString chosen;
  VolumeContext t = ScanTarget();
  t.name = u"DISK 0";
  ASSERT_TRUE(ChooseScanSaveToLoad(t, chosen));
  EXPECT_EQ(g_questions, 1);
  EXPECT_EQ(chosen, EntryText(list[0].dataPath));
  g_answer = false;
  EXPECT_FALSE(ChooseScanSaveToLoad(t, chosen));
  t.devicePath = u"/dev/other";
  EXPECT_FALSE(ChooseScanSaveToLoad(t, chosen));
  EXPECT_EQ(g_questions, 2) << "no question without a saved scan of the target";
  t.scanStateFile = u"/picked/from/the/list.dat";
  ASSERT_TRUE(ChooseScanSaveToLoad(t, chosen));
  EXPECT_EQ(chosen, t.scanStateFile);

  // A save whose index cannot be written leaves no data file behind.
  ScanTarget().devicePath = CString(std::u16string(200, u'd'));
  status.store(kJobRunning);
  SaveDiskScanDataThread(&status);
  EXPECT_EQ(status.load(), kJobStopped);
  size_t files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir + "/ScanSave")) files += e.path().extension() == ".dat";
  EXPECT_EQ(files, 2u);
}

}  // namespace
