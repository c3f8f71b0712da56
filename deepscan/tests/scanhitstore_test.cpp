// The deep scan's hit lists: storing by block (also when stopped), the collectors, the drops of
// hits that parsed file systems explain, the release of every detail a hit owns (ASan and the
// heap's usage total tell a leak or a wrong free), readers on another thread while the consumer
// stores, the file start index and the unique-LBA registry.
#include "scanbase/scanhitstore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "base/heap.h"
#include "base/heap_testing.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "deepscan/filestartindex.h"
#include "parsefilesystem/exfat/exfatvolume.h"
#include "parsefilesystem/parsentfs/indxrecord.h"
#include "scanbase/ntfsscanregistry.h"

namespace {

constexpr uint64_t kBlock = 16384;

SectorHit Hit(uint8_t kind, uint64_t lba, void* detail = nullptr, uint8_t status = 0) {
  return SectorHit{kind, status, lba, 0, detail};
}

std::vector<uint64_t> Lbas(const std::vector<SectorHit>& hits) {
  std::vector<uint64_t> out;
  for (const SectorHit& h : hits) out.push_back(uint64_t(h.lba));
  return out;
}

class HitStore : public ::testing::Test {
 protected:
  void SetUp() override {
    FreeBlockHitLists();
    AllocBlockHitListsFor(8);
    ResetVolumeContext(ScanTarget());
  }
  void TearDown() override {
    FreeBlockHitLists();
    ResetVolumeContext(ScanTarget());
  }
};

TEST_F(HitStore, StoreHitsByBlockCutsRunsAndStopsMidBlockKeepingWhatItGathered) {
  const std::vector<SectorHit> hits = {Hit(kKindMbr, 1), Hit(3, 5), Hit(3, kBlock), Hit(3, kBlock + 1),
                                       Hit(3, kBlock + 2), Hit(3, 3 * kBlock)};
  EXPECT_TRUE(StoreHitsByBlock(nullptr, hits));
  EXPECT_EQ(BlockHitLists()[0].size(), 2u);
  EXPECT_EQ(BlockHitLists()[1].size(), 3u);
  EXPECT_TRUE(BlockHitLists()[2].empty());
  EXPECT_EQ(BlockHitLists()[3].size(), 1u);

  // Stopped before the fifth hit: block 0 whole, block 1 with the two hits gathered so far,
  // block 3 untouched.
  FreeBlockHitLists();
  AllocBlockHitListsFor(8);
  int asked = 0;
  auto stopAtFifth = [](void* c) { return ++*static_cast<int*>(c) == 5; };
  EXPECT_FALSE(StoreHitsByBlockUntil(hits, stopAtFifth, &asked));
  EXPECT_EQ(BlockHitLists()[0].size(), 2u);
  ASSERT_EQ(BlockHitLists()[1].size(), 2u);
  EXPECT_EQ(uint64_t(BlockHitLists()[1][1].lba), kBlock + 1);
  EXPECT_TRUE(BlockHitLists()[3].empty());

  // A stop word already at 2 stores nothing and keeps what was there.
  std::atomic<uint32_t> state{2};
  EXPECT_FALSE(StoreHitsByBlock(&state, hits));
  EXPECT_EQ(BlockHitLists()[0].size(), 2u);
  // Blocks beyond the device are ignored.
  SectorHit far = Hit(3, 100 * kBlock);
  StoreBlockHits(100 * kBlock, {&far, 1});
  EXPECT_EQ(BlockHitListCount(), 8u);
}

TEST_F(HitStore, CollectorsFilterByKindAndTarget) {
  const std::vector<SectorHit> hits = {Hit(kKindMbr, 0), Hit(7, 100), Hit(kKindNtfsBoot, 2048),
                                       Hit(kKindFat32Boot, kBlock + 5), Hit(kKindExfatBoot, 2 * kBlock),
                                       Hit(kKindFat16Boot, 5 * kBlock), Hit(219, 5 * kBlock + 1),
                                       Hit(kKindMftRecord, 5 * kBlock + 2)};
  ASSERT_TRUE(StoreHitsByBlock(nullptr, hits));
  VolumeContext& t = ScanTarget();
  t.firstLba = 2048;
  t.sectorCount = 5 * kBlock - 2048;  // up to, not including, 5 * kBlock

  std::vector<SectorHit> out;
  CollectAllHits(out);
  EXPECT_EQ(Lbas(out), Lbas(hits));
  CollectAllHits(out, true);
  EXPECT_EQ(Lbas(out), std::vector<uint64_t>({2048, kBlock + 5, 2 * kBlock}));
  out.clear();
  CollectHitsToVector(out, true, false);
  EXPECT_EQ(Lbas(out), std::vector<uint64_t>({0, 2048, kBlock + 5, 2 * kBlock, 5 * kBlock, 5 * kBlock + 2}));
  out.clear();
  CollectBootHitsInTarget(out);
  EXPECT_EQ(Lbas(out), std::vector<uint64_t>({2048, kBlock + 5, 2 * kBlock}));
}

TEST(DropHitsAtKnownLbasTest, MergeWalkCancelsOnlyMetadataHitsAtListedLbas) {
  struct Case {
    const char* what;
    std::vector<SectorHit> hits;
    std::vector<uint64_t> lbas;
    std::vector<uint8_t> kinds;  // afterwards
  } cases[] = {
      {"first hit an MFT record at 100", {Hit(kKindMftRecord, 100)}, {10, 100}, {kTypeNone}},
      {"list given unsorted", {Hit(kKindMftRecord, 100)}, {100, 10}, {kTypeNone}},
      {"each kind that takes part",
       {Hit(kKindMftRecord, 10), Hit(kKindIndexRecord, 20), Hit(kKindFatDirEntries, 30), Hit(kKindExfatDirEntries, 40)},
       {10, 20, 30, 40},
       {kTypeNone, kTypeNone, kTypeNone, kTypeNone}},
      {"file and boot hits never", {Hit(5, 10), Hit(kKindNtfsBoot, 100)}, {10, 100}, {5, kKindNtfsBoot}},
      {"between list entries", {Hit(kKindMftRecord, 50), Hit(kKindMftRecord, 100)}, {10, 100}, {kKindMftRecord, kTypeNone}},
      {"list ends first", {Hit(kKindMftRecord, 100), Hit(kKindMftRecord, 200)}, {100}, {kTypeNone, kKindMftRecord}},
      {"empty list", {Hit(kKindMftRecord, 100)}, {}, {kKindMftRecord}},
  };
  for (Case& c : cases) {
    DropHitsAtKnownLbas(c.hits, c.lbas);
    std::vector<uint8_t> kinds;
    for (const SectorHit& h : c.hits) kinds.push_back(uint8_t(h.kind));
    EXPECT_EQ(kinds, c.kinds) << c.what;
  }
}

TEST(DropHitsOfParsedMftsTest, IndexAllocationsMftRecordsAndExfatDirectories) {
  ClearKnownIndxLbas();
  ClearKnownMftExtents();
  ClearKnownExfatDirLbas();
  KnownIndxLbas() = {500};
  KnownMftExtents().push_back({1000, 8});
  // A damaged extent that would spell out 2^62 record LBAs.
  KnownMftExtents().push_back({1ull << 50, 1ull << 63});
  AddKnownExfatDirLba(3000);
  std::vector<SectorHit> hits = {Hit(kKindIndexRecord, 500), Hit(kKindMftRecord, 1000), Hit(kKindMftRecord, 1001),
                                 Hit(kKindMftRecord, 1006), Hit(kKindMftRecord, 1008), Hit(kKindExfatDirEntries, 3000),
                                 Hit(kKindMftRecord, (1ull << 50) + 4)};
  DropHitsOfParsedMfts(hits);
  std::vector<uint8_t> kinds;
  for (const SectorHit& h : hits) kinds.push_back(uint8_t(h.kind));
  EXPECT_EQ(kinds, std::vector<uint8_t>({kTypeNone, kTypeNone, kKindMftRecord, kTypeNone, kKindMftRecord, kTypeNone,
                                         kTypeNone}));
  ClearKnownIndxLbas();
  ClearKnownMftExtents();
  ClearKnownExfatDirLbas();
}

TEST_F(HitStore, DropMftHitsInRangeRemovesAndFreesOnlyMftRecordsInTheRange) {
  const uint64_t before = GetHeapUsageTotal();
  std::vector<SectorHit> hits = {Hit(kKindMftRecord, kBlock - 2, AllocMem(64, 1)),
                                 Hit(kKindMftRecord, kBlock, AllocMem(64, 1)),
                                 Hit(kKindMbr, kBlock + 1, AllocMem(512, 1)),
                                 Hit(kKindMftRecord, kBlock + 2, AllocMem(64, 1)),
                                 Hit(kKindMftRecord, 2 * kBlock, AllocMem(64, 1)),
                                 Hit(kKindMftRecord, 2 * kBlock + 2, AllocMem(64, 1))};
  ASSERT_TRUE(StoreHitsByBlock(nullptr, hits));
  // The NTFS parser reaches the lists through its hook.
  DropMftHitsInRange(kBlock, kBlock + 2);
  std::vector<SectorHit> out;
  CollectAllHits(out);
  EXPECT_EQ(Lbas(out), std::vector<uint64_t>({kBlock - 2, kBlock + 1, 2 * kBlock + 2}));
  DropMftHitsInRange(kBlock - 2, 1);
  EXPECT_TRUE(BlockHitLists()[0].empty()) << "a block left without hits has no list";
  EXPECT_EQ(BlockHitLists()[0].capacity(), 0u);
  FreeBlockHitLists();
  AllocBlockHitListsFor(8);
  EXPECT_EQ(GetHeapUsageTotal(), before);
}

std::atomic<int> g_released{0};
void ReleaseWithName(void* detail) {
  // The detail's first 8 bytes point to a name block it owns.
  void* name = nullptr;
  std::memcpy(&name, detail, sizeof(name));
  FreeMem(name);
  FreeMem(detail);
  ++g_released;
}

TEST(FreeSectorInfoTest, FreesEveryOwnedDetailAndNeverTheIndexRecordNumber) {
  const uint64_t before = GetHeapUsageTotal();
  struct Case {
    uint8_t kind;
    uint8_t status;
    bool owns;
  } cases[] = {
      {0, 5, true},   {36, 3, true},  {176, 6, true},  // file types: format details, 280-byte metadata
      {200, 0, false}, {201, 0, true}, {202, 0, true}, {203, 5, true}, {206, 5, true},
      {203, 3, false}, {207, 0, true}, {208, 0, true}, {209, 0, false},
      {kKindMbr, 0, true},  {kKindEbr, 0, true},       {kKindNtfsBoot, 0, true},
      {kKindFat16Boot, 0, true}, {kKindFat32Boot, 0, true}, {kKindExfatBoot, 0, true},
      {kKindFat32Table, 0, true}, {kKindFatDirEntries, 0, true}, {kKindExfatDirEntries, 0, true},
      {kKindGptHeader, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitDetailOwner(c.kind, c.status) == HitDetailOwnership::kBlock, c.owns) << int(c.kind);
    SectorHit h{c.kind, c.status, 77, 1000, nullptr};
    if (c.owns) h.detail = AllocMem(c.kind <= 176 ? 280 : 512, 1);
    FreeSectorInfo(h);
    EXPECT_EQ(int(h.kind), 0);
    EXPECT_EQ(uint64_t(h.lba), 0u);
    EXPECT_EQ(static_cast<void*>(h.detail), nullptr);
  }
  // 225 holds a number: freeing it would hand a wild address to the heap.
  SectorHit index{kKindIndexRecord, 0, 5, 4096, reinterpret_cast<void*>(uintptr_t(123456))};
  EXPECT_EQ(HitDetailOwner(kKindIndexRecord, 0), HitDetailOwnership::kNumber);
  FreeSectorInfo(index);
  EXPECT_EQ(static_cast<void*>(index.detail), nullptr);
  // A FAT directory hit without its summary is logged, not freed.
  SectorHit dir{kKindFatDirEntries, 0, 5, 512, nullptr};
  FreeSectorInfo(dir);

  // A detail with blocks of its own goes to the releaser its maker installed.
  SetHitDetailReleaser(kKindMftRecord, &ReleaseWithName);
  void* name = AllocMem(40, 1);
  void* info = AllocMem(64, 1);
  std::memcpy(info, &name, sizeof(name));
  SectorHit mft{kKindMftRecord, 0, 9, 1024, info};
  FreeSectorInfo(mft);
  EXPECT_EQ(g_released.load(), 1);
  SetHitDetailReleaser(kKindMftRecord, nullptr);

  // Cancelling a listed hit releases its detail first and keeps where it was.
  SectorHit carved{7, 5, 300, 9000, AllocMem(280, 1)};
  CancelHit(carved);
  EXPECT_EQ(uint8_t(carved.kind), kTypeNone);
  EXPECT_EQ(uint64_t(carved.lba), 300u);
  EXPECT_EQ(static_cast<void*>(carved.detail), nullptr);
  FreeSectorInfo(carved);
  EXPECT_EQ(GetHeapUsageTotal(), before);
}

TEST_F(HitStore, ReplacingAStoredBlockFreesOnlyDetailsItDoesNotCarryOver) {
  const uint64_t before = GetHeapUsageTotal();
  void* kept = AllocMem(512, 1);
  SectorHit first[] = {Hit(kKindMbr, 0, kept), Hit(5, 3, AllocMem(280, 1))};
  StoreBlockHits(0, first);
  SectorHit second[] = {Hit(kKindMbr, 0, kept)};
  StoreBlockHits(0, second);
  ASSERT_EQ(BlockHitLists()[0].size(), 1u);
  FreeBlockHitLists();
  AllocBlockHitListsFor(8);
  EXPECT_EQ(GetHeapUsageTotal(), before);
}

// The scan-state writer reads on its own thread while the consumer stores blocks: every
// snapshot sees each block either without a list or with its whole list.
TEST_F(HitStore, SnapshotsWhileTheConsumerStoresAreWhole) {
  constexpr uint64_t kBlocks = 400;
  constexpr size_t kPerBlock = 5;
  AllocBlockHitListsFor(kBlocks);
  std::atomic<bool> done{false};
  std::atomic<int> badSnapshots{0}, snapshots{0};
  std::thread reader([&] {
    std::vector<SectorHit> out;
    while (!done.load()) {
      CollectAllHits(out);
      std::vector<size_t> perBlock(kBlocks);
      for (const SectorHit& h : out) ++perBlock[h.lba / kBlock];
      for (size_t n : perBlock)
        if (n != 0 && n != kPerBlock) ++badSnapshots;
      {
        HitListsReadGuard guard;
        for (const HitList& list : BlockHitLists())
          for (const SectorHit& h : list)
            if (h.detail != nullptr && static_cast<const uint8_t*>(h.detail)[0] != 0xAB) ++badSnapshots;
      }
      ++snapshots;
    }
  });
  for (int round = 0; round < 3; ++round) {
    for (uint64_t b = 0; b < kBlocks; ++b) {
      SectorHit hits[kPerBlock];
      for (size_t i = 0; i < kPerBlock; ++i) {
        auto* d = static_cast<uint8_t*>(AllocMem(280, 1));
        d[0] = 0xAB;
        hits[i] = Hit(5, b * kBlock + i, d);
      }
      StoreBlockHits(b * kBlock, hits);
    }
  }
  while (snapshots.load() < 3) std::this_thread::yield();
  done = true;
  reader.join();
  EXPECT_EQ(badSnapshots.load(), 0);
}

TEST(FileStartIndexTest, EntriesGrowThroughCapacities8_12_18_27) {
  AllocFileStartIndex(4);
  std::vector<uint32_t> capacities;
  for (uint64_t i = 0; i < 20; ++i) {
    ASSERT_TRUE(AddFileStartLba(2 * kBlock + 100 + i));
    const uint32_t cap = FileStartIndexEntry(2)->capacity;
    if (capacities.empty() || capacities.back() != cap) capacities.push_back(cap);
  }
  EXPECT_EQ(capacities, std::vector<uint32_t>({8, 12, 18, 27}));
  EXPECT_EQ(FileStartIndexEntry(2)->count, 20u);
  EXPECT_TRUE(IsKnownFileStart(2 * kBlock + 119));
  EXPECT_FALSE(IsKnownFileStart(2 * kBlock + 120));
  EXPECT_EQ(FileStartIndexEntry(1)->count, 0u);
  EXPECT_FALSE(AddFileStartLba(4 * kBlock)) << "beyond the index";
  EXPECT_EQ(FileStartIndexEntry(4), nullptr);
  FreeFileStartIndex();
  EXPECT_EQ(FileStartIndexSize(), 0u);
}

FileRecord Record(uint32_t id, uint16_t flags, uint64_t lba, const std::vector<uint64_t>& ranges = {}) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof r);
  r.id = id;
  r.parent = 5;
  r.flags = flags;
  r.lba = lba;
  r.size = 4096;
  r.typeId = kTypeNone;
  const char16_t name[] = u"f.bin";
  r.name = static_cast<char16_t*>(AllocMem(sizeof name, 1));
  std::memcpy(r.name, name, sizeof name);
  if (!ranges.empty()) {
    r.blob = static_cast<uint8_t*>(AllocMem(ranges.size() * 8, 1));
    std::memcpy(r.blob, ranges.data(), ranges.size() * 8);
    r.blobLength = uint32_t(ranges.size() * 8);
  }
  return r;
}

TEST(FileStartIndexTest, BuiltFromTheDataStartsOfAPartitionsFiles) {
  VolumeContext v;
  v.type = kVolTypeFindFile;
  AddFileRecord(v, Record(6, kRecInUse, 3 * kBlock + 10), 0);
  AddFileRecord(v, Record(7, kRecInUse, 0), 0);                                     // no data start
  AddFileRecord(v, Record(8, kRecInUse | kRecDirectory, 3 * kBlock + 20), 0);       // a directory
  AddFileRecord(v, Record(9, kRecInUse | kRecExtentList, 0, {2 * kBlock + 4, 3}), 0);
  AddFileRecord(v, Record(10, kRecInUse, 100 * kBlock), 0);                        // beyond the index
  AllocFileStartIndex(4);
  BuildFileStartIndex(v);
  EXPECT_TRUE(IsKnownFileStart(3 * kBlock + 10));
  EXPECT_TRUE(IsKnownFileStart(2 * kBlock + 4));
  EXPECT_FALSE(IsKnownFileStart(3 * kBlock + 20));
  EXPECT_EQ(FileStartIndexEntry(0)->count, 0u);
  EXPECT_EQ(FileStartIndexEntry(3)->count, 1u);
  FreeFileStartIndex();
  FreeAllFileRecords(v);
}

TEST(UniqueLbaRegistryTest, FalseThenTrue) {
  ClearUniqueLbaRegistry();
  EXPECT_FALSE(RegisterUniqueLba(2048));
  EXPECT_TRUE(RegisterUniqueLba(2048));
  EXPECT_FALSE(RegisterUniqueLba(4096));
  ClearUniqueLbaRegistry();
  EXPECT_FALSE(RegisterUniqueLba(2048));
  ClearUniqueLbaRegistry();
}

}  // namespace
