// Open-ended carved files: sized up to the next hit (video candidates passed over, the target's
// end for the last, at most 1800 MiB), cut at the first used cluster in the deleted-files
// operations; the neighbours of a block found across handled blocks without hits but not across
// blocks never handled; and what the live view shows of each block, once.
#include "deepscan/hitsizing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/settings.h"
#include "core/diskreader.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/blockqueue.h"
#include "deepscan/deepscanstate.h"
#include "deepscan/filestartindex.h"
#include "deepscan/findfileview.h"
#include "deepscan/liveresults.h"
#include "scanbase/scanhitstore.h"

namespace {

constexpr uint64_t kBlock = kScanBlockSectors;
constexpr uint8_t kJpeg = 46;
constexpr uint8_t kZip = 61;

SectorHit Hit(uint8_t kind, uint64_t lba, uint64_t size = 0, uint8_t status = 0) {
  return SectorHit{kind, status, lba, size, nullptr};
}

std::vector<uint64_t> Sizes(const std::vector<SectorHit>& hits) {
  std::vector<uint64_t> out;
  for (const SectorHit& h : hits) out.push_back(uint64_t(h.size));
  return out;
}

std::vector<uint64_t> Lbas(const std::vector<SectorHit>& hits) {
  std::vector<uint64_t> out;
  for (const SectorHit& h : hits) out.push_back(uint64_t(h.lba));
  return out;
}

// A target of the given sectors from LBA 0, with hit lists, block states and a file start index
// for its blocks.
struct Sizing : ::testing::Test {
  void SetUp() override { Target(8 * kBlock, 1); }
  void Target(uint64_t sectors, uint32_t operation) {
    VolumeContext& t = ScanTarget();
    ResetVolumeContext(t);
    t.sectorCount = t.deviceSectors = sectors;
    t.operation = operation;
    const uint64_t blocks = DeviceBlockCount(sectors);
    AllocBlockHitListsFor(blocks);
    AllocBlockStateMap(blocks);
    AllocFileStartIndex(blocks);
    ReleaseScanAllocMap();
  }
  void TearDown() override {
    FreeBlockHitLists();
    FreeBlockStateMap();
    FreeFileStartIndex();
    ReleaseScanAllocMap();
    ResetVolumeContext(ScanTarget());
  }
  // Block b handled, with these hits stored.
  static void Handled(uint64_t b, std::vector<SectorHit> hits) {
    StoreBlockHits(b * kBlock, hits);
    SetBlockState(b, kBlockHandled);
  }
};

TEST_F(Sizing, OpenEndedFilesRunToTheNextFileOrMetadataHit) {
  struct Case {
    const char* what;
    std::vector<SectorHit> hits;
    bool sizeLast;
    std::vector<uint64_t> sizes;
  };
  const uint64_t end = 8 * kBlock;
  const Case cases[] = {
      {"two hits 10 sectors apart", {Hit(kJpeg, 100), Hit(kZip, 110)}, false, {5120, 0}},
      {"the last gets the distance to the target's end", {Hit(kJpeg, 100), Hit(kZip, 110)}, true,
       {5120, (end - 110) * 512}},
      {"video candidates are passed over, metadata ends the file",
       {Hit(kJpeg, 100), Hit(kKindVideoSampleChain, 105), Hit(kKindMftRecord, 120)}, false, {20 * 512, 0, 0}},
      {"a cancelled hit ends it too", {Hit(kJpeg, 100), Hit(kTypeNone, 101), Hit(kZip, 200)}, false,
       {512, 0, 0}},
      {"a file with its own size keeps it", {Hit(kJpeg, 100, 777, 5), Hit(kZip, 110)}, true,
       {777, (end - 110) * 512}},
      {"nothing beyond the hit gives 0", {Hit(kJpeg, 100), Hit(kKindMftRecord, 100)}, false, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<SectorHit> hits = c.hits;
    SizeOpenEndedHits(hits, c.sizeLast);
    EXPECT_EQ(Sizes(hits), c.sizes);
  }
}

TEST_F(Sizing, TheLastFileIsCappedAt1800MiB) {
  Target(4000000, 1);
  std::vector<SectorHit> hits = {Hit(kJpeg, 100)};
  SizeOpenEndedHits(hits, true);
  EXPECT_EQ(uint64_t(hits[0].size), kMaxOpenEndedSectors * 512);
}

TEST_F(Sizing, DeletedFilesOnNtfsStopAtTheFirstUsedCluster) {
  // Clusters of 8 sectors from LBA 0: 0-9 free, 10 in use, 11-15 free, 16-31 in use.
  std::vector<uint8_t> bitmap = {0x00, 0x04, 0xFF, 0xFF};
  struct Case {
    const char* what;
    uint32_t op;
    std::vector<SectorHit> hits;
    std::vector<uint64_t> sizes;
  };
  const Case cases[] = {
      {"free clusters 2-9, then cluster 10 in use", kOperationDeletedFiles, {Hit(kJpeg, 16), Hit(kZip, 96)},
       {64 * 512, 0}},
      {"a file whose own first cluster is in use keeps its size", kOperationDeletedFiles,
       {Hit(kJpeg, 80), Hit(kZip, 96)}, {16 * 512, 0}},
      {"free clusters 12-15 end at cluster 16", kOperationDeletedFiles, {Hit(kZip, 96), Hit(kJpeg, 300)},
       {32 * 512, 0}},
      {"wholly in free clusters", kOperationDeletedFiles, {Hit(kJpeg, 16), Hit(kZip, 80)}, {64 * 512, 0}},
      {"other operations do not cut", 1, {Hit(kJpeg, 16), Hit(kZip, 96)}, {80 * 512, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Target(8 * kBlock, c.op);
    ScanRange().firstBlock = 0;
    ScanRange().lastBlock = 7 * kBlock;
    ScanAllocMapT& m = ScanAllocMap();
    m.buffer = bitmap.data();
    m.length = uint32_t(bitmap.size());
    m.sectorsPerCluster = 8;
    m.clusterArea = 0;
    m.fsType = kVolTypeNtfs;
    std::vector<SectorHit> hits = c.hits;
    SizeOpenEndedHits(hits, false);
    EXPECT_EQ(Sizes(hits), c.sizes);
    m = ScanAllocMapT();
  }
}

TEST_F(Sizing, NeighboursAcrossHandledBlocksWithoutHitsButNotAcrossUnreadOnes) {
  Handled(1, {Hit(kZip, kBlock + 7), Hit(kJpeg, kBlock + 9)});
  Handled(2, {});
  Handled(4, {});
  Handled(5, {Hit(kZip, 5 * kBlock + 3), Hit(kJpeg, 5 * kBlock + 4)});
  const std::vector<SectorHit> own = {Hit(kJpeg, 3 * kBlock + 1), Hit(kZip, 3 * kBlock + 2)};
  Handled(3, own);
  std::vector<SectorHit> out;
  GatheredNeighbours got = GatherHitsWithNeighbours(3 * kBlock, own, out);
  EXPECT_TRUE(got.leading);
  EXPECT_TRUE(got.boundary);
  EXPECT_EQ(Lbas(out), (std::vector<uint64_t>{kBlock + 9, 3 * kBlock + 1, 3 * kBlock + 2, 5 * kBlock + 3}));

  // Block 2 not read (yet): the walk back stops there; block 4 likewise forward.
  SetBlockState(2, kBlockTaken);
  SetBlockState(4, kBlockUnread);
  got = GatherHitsWithNeighbours(3 * kBlock, own, out);
  EXPECT_FALSE(got.leading);
  EXPECT_FALSE(got.boundary);
  EXPECT_EQ(Lbas(out), (std::vector<uint64_t>{3 * kBlock + 1, 3 * kBlock + 2}));
}

TEST_F(Sizing, ARunOfBlocksIsBoundedAfterItsLastBlock) {
  const std::vector<SectorHit> run = {Hit(kJpeg, 3 * kBlock + 1), Hit(kZip, 4 * kBlock + 2)};
  Handled(3, {run[0]});
  Handled(4, {run[1]});
  Handled(5, {Hit(kJpeg, 5 * kBlock + 8)});
  std::vector<SectorHit> out;
  const GatheredNeighbours got = GatherHitsWithNeighbours(3 * kBlock, run, out);
  ASSERT_TRUE(got.boundary);
  EXPECT_EQ(Lbas(out), (std::vector<uint64_t>{3 * kBlock + 1, 4 * kBlock + 2, 5 * kBlock + 8}));
  SizeOpenEndedHits(out, false);
  EXPECT_EQ(uint64_t(out[1].size), (kBlock + 6) * 512);
}

TEST_F(Sizing, AHitWhereAParsedFileStartsIsCancelledInTheCopyOnly) {
  const std::vector<SectorHit> own = {Hit(kJpeg, 2 * kBlock + 40), Hit(kZip, 2 * kBlock + 80)};
  Handled(2, own);
  ASSERT_TRUE(AddFileStartLba(2 * kBlock + 40));
  std::vector<SectorHit> out;
  GatherHitsWithNeighbours(2 * kBlock, own, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].kind, kTypeNone);
  EXPECT_EQ(out[1].kind, kZip);
  EXPECT_EQ(BlockHitLists()[2][0].kind, kJpeg);
}

// The live view: each carved file shown once, an open-ended one when the hit after it is known.
struct LiveView : Sizing {
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ShowAllFile: 1\r\n", u"FindFile: FindFile\r\n");
    InitFileTypeTables();
    Sizing::SetUp();
    SetAddCarvedFilesHook(&AddCarvedFilesFromHits);
    ResetVolumeList(AppVolumeList(), nullptr, 0);
  }
  void TearDown() override {
    ClearVolumeList(AppVolumeList());
    Sizing::TearDown();
  }
  // (LBA, size) of every carved file shown, by LBA.
  static std::vector<std::pair<uint64_t, uint64_t>> Shown() {
    std::vector<std::pair<uint64_t, uint64_t>> out;
    VolumeContext& v = AppVolumeList().slots[kFindFileSlot];
    for (uint32_t id = kTypeViewFirstFileId; id < v.idLimit; ++id)
      if (const FileRecord* r = GetFileRecord(v, id)) out.emplace_back(uint64_t(r->lba), uint64_t(r->size));
    std::sort(out.begin(), out.end());
    return out;
  }
  static void HandleAndPublish(uint64_t b, const std::vector<SectorHit>& hits) {
    StoreBlockHits(b * kBlock, hits);
    PublishBlockHits(nullptr, b * kBlock, hits);
    SetBlockState(b, kBlockHandled);
  }
};

TEST_F(LiveView, EachFileIsShownOnceWithItsSize) {
  using Shown_t = std::vector<std::pair<uint64_t, uint64_t>>;
  HandleAndPublish(0, {Hit(kJpeg, 10), Hit(kZip, 20, 1000, 5), Hit(kJpeg, 30)});
  // The last file waits for the next block's first hit.
  EXPECT_EQ(Shown(), (Shown_t{{10, 5120}, {20, 1000}}));
  HandleAndPublish(1, {Hit(kZip, kBlock + 5, 2000, 5)});
  EXPECT_EQ(Shown(), (Shown_t{{10, 5120}, {20, 1000}, {30, (kBlock + 5 - 30) * 512}, {kBlock + 5, 2000}}));
  // A neighbour with its own end was shown with its block: not again with the next one.
  HandleAndPublish(2, {Hit(kJpeg, 2 * kBlock + 1)});
  EXPECT_EQ(Shown().size(), 4u);
  // A file whose end was found later in the pending window was shown then; it is not shown
  // again as the next block's neighbour.
  HandleAndPublish(3, {Hit(kJpeg, 3 * kBlock + 2, 0, 3)});
  BlockHitLists()[3][0].endStatus = 5;
  BlockHitLists()[3][0].size = 4096;
  AddCarvedHitsToFindView(AppVolumeList(), {BlockHitLists()[3][0]});
  HandleAndPublish(4, {Hit(kZip, 4 * kBlock)});
  const Shown_t shown = Shown();
  EXPECT_EQ(std::count_if(shown.begin(), shown.end(), [](auto& s) { return s.first == 3 * kBlock + 2; }), 1);
  EXPECT_EQ(std::count_if(shown.begin(), shown.end(), [](auto& s) { return s.first == 2 * kBlock + 1; }), 1);
}

}  // namespace
