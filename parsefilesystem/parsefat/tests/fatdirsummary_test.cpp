#include "parsefilesystem/parsefat/fatdirsummary.h"

#include <gtest/gtest.h>

#include "base/heap.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
#include "parsefilesystem/parsefat/fatlostdirs.h"
#include "parsefilesystem/parsefat/tests/fatbytes.h"
#include "parsefilesystem/parsefat/tests/fattestenv.h"

namespace {

using Sector = std::array<uint8_t, 512>;

Sector SectorOf(const std::vector<Entry>& entries) {
  Sector s{};
  for (size_t i = 0; i < entries.size() && i < 16; ++i) std::memcpy(&s[i * 32], entries[i].data(), 32);
  return s;
}

Entry Dot(const char* name11, uint32_t cluster) { return ShortEntry(name11, 0x10, cluster, 0); }
Entry File(const char* name11, uint32_t cluster, uint32_t size) { return ShortEntry(name11, 0x20, cluster, size); }
Entry Deleted(Entry e) {
  e[0] = 0xE5;
  return e;
}
Entry Label() { return ShortEntry("VOLUME     ", 0x08, 0, 0); }

TEST(SummarizeFatDirSector, FirstSectorOfASubdirectory) {
  const Sector s = SectorOf({Dot(".          ", 0x1234), Dot("..         ", 0x22), File("A       TXT", 0x1240, 100),
                             File("B       TXT", 0x1300, 100), Deleted(Dot("OLD        ", 0x1250))});
  FatDirHitInfo info{};
  ASSERT_TRUE(SummarizeFatDirSector(s.data(), info));
  EXPECT_EQ(uint32_t(info.sectorKind), 2u);
  EXPECT_EQ(uint32_t(info.ownCluster), 0x1234u);
  EXPECT_EQ(uint32_t(info.parentCluster), 0x22u);
  EXPECT_EQ(uint32_t(info.shortEntries), 3u);
  EXPECT_EQ(uint32_t(info.directories), 1u);
  EXPECT_EQ(uint32_t(info.lowestCluster), 0x1240u);
  EXPECT_EQ(uint32_t(info.highestCluster), 0x1300u);
  EXPECT_EQ(uint32_t(info.reserved), 0u);
}

TEST(SummarizeFatDirSector, WhichSectorsAreDirectories) {
  const Entry a = File("A       TXT", 0x501, 10);
  std::vector<Entry> lfnOnly = LfnRun(u"a rather long name for a file", a);
  lfnOnly.resize(2);
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    bool accepted;
    uint32_t kind;
    uint8_t shorts;
  };
  const Case cases[] = {
      {"\".\" and \"..\" of one cluster", {Dot(".          ", 0x40), Dot("..         ", 0x40), a}, false, 0, 0},
      {"long-name entries only", lfnOnly, false, 0, 0},
      {"a label first", {Label(), a}, true, 1, 1},
      {"a second label", {Label(), a, Label()}, false, 0, 0},
      {"a label among \".\" and \"..\"", {Dot(".          ", 0x40), Dot("..         ", 0), a, Label()}, false, 0, 0},
      {"a single later label", {a, File("B       TXT", 0x502, 1), File("C       TXT", 0x503, 1), Label()}, true, 3, 3},
      {"live data at cluster 1", {File("A       TXT", 1, 10)}, false, 0, 0},
      {"an empty file at cluster 1", {File("A       TXT", 1, 0)}, true, 3, 1},
      {"a reserved cluster number", {File("A       TXT", 0x0FFFFFF5, 10)}, true, 3, 1},
      {"above 28 bits", {File("A       TXT", 0x10000002, 10)}, false, 0, 0},
      {"0x501, 0x502, 0x501", {a, File("B       TXT", 0x502, 1), File("C       TXT", 0x501, 1)}, false, 0, 0},
      {"0x501, 0x601, 0x501", {a, File("B       TXT", 0x601, 1), File("C       TXT", 0x501, 1)}, true, 3, 3},
      {"a deleted file at cluster 1", {Deleted(File("A       TXT", 1, 10))}, true, 3, 1},
  };
  for (const Case& c : cases) {
    const Sector s = SectorOf(c.entries);
    FatDirHitInfo info{};
    EXPECT_EQ(SummarizeFatDirSector(s.data(), info), c.accepted) << c.what;
    if (!c.accepted) continue;
    EXPECT_EQ(uint32_t(info.sectorKind), c.kind) << c.what;
    EXPECT_EQ(uint32_t(info.shortEntries), uint32_t(c.shorts)) << c.what;
  }
  // The reserved number and cluster 1 of an empty file name no cluster.
  FatDirHitInfo info{};
  const Sector reserved = SectorOf({File("A       TXT", 0x0FFFFFF5, 10), File("B       TXT", 1, 0)});
  ASSERT_TRUE(SummarizeFatDirSector(reserved.data(), info));
  EXPECT_EQ(uint32_t(info.lowestCluster), 0u);
  EXPECT_EQ(uint32_t(info.highestCluster), 0u);
}

TEST(SummarizeFatDirSector, TimeOfTheLastShortEntry) {
  const Sector s = SectorOf({ShortEntry("A       TXT", 0x20, 5, 1, 0x5264, 0x528F)});
  FatDirHitInfo info{};
  ASSERT_TRUE(SummarizeFatDirSector(s.data(), info));
  EXPECT_EQ(uint32_t(info.lastCtime), 0xA4C8A51Eu);  // 2021-03-04 10:20:30
}

TEST(SummarizeFatDirSector, TheScanKeepsAHeapSummary) {
  const Sector s = SectorOf({File("A       TXT", 0x501, 10)});
  void* detail = nullptr;
  ASSERT_TRUE(SummarizeFatDirSectorHit(s.data(), 77, &detail));
  ASSERT_NE(detail, nullptr);
  EXPECT_EQ(GetMemSize(detail), sizeof(FatDirHitInfo));
  FreeMem(detail);
  const Sector none{};
  detail = nullptr;
  EXPECT_FALSE(SummarizeFatDirSectorHit(none.data(), 77, &detail));
  EXPECT_EQ(detail, nullptr);
}

// Hits carrying summaries, freed with the fixture.
class FatDirRunsTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadFatTestSettings(); }
  void TearDown() override {
    for (SectorHit& h : hits)
      if (h.detail) FreeMem(h.detail);
    ClearKnownFatLbaList();
  }
  void Add(uint64_t lba, uint32_t kind, uint8_t shorts, uint8_t longs, uint32_t time = 100, uint32_t lo = 0,
           uint32_t hi = 0, uint8_t dirs = 0) {
    FatDirHitInfo info{};
    info.sectorKind = kind;
    info.shortEntries = shorts;
    info.longEntries = longs;
    info.lastCtime = time;
    info.lowestCluster = lo;
    info.highestCluster = hi;
    info.directories = dirs;
    hits.push_back(SectorHit{229, 0, lba, 0, CopyToMem(AllocMem(sizeof info, 1), &info, sizeof info, 1)});
  }
  std::vector<SectorHit> hits;
};

TEST_F(FatDirRunsTest, FullSectorsContinueIntoTheNext) {
  Add(1000, 2, 14, 0, 300, 0x40, 0x50, 1);  // 14 + "." + ".." = 16
  Add(1001, 3, 10, 6, 200, 0x30, 0x60, 2);  // full
  Add(1002, 3, 5, 0, 400, 0, 0x70, 0);      // ends here
  Add(1003, 3, 2, 0);
  std::vector<FatDirRun> runs;
  CollectFatDirHitRuns(hits, runs);
  ASSERT_EQ(runs.size(), 1u);  // 1003 follows a sector that ended and nothing follows it
  EXPECT_EQ(runs[0].lba, 1000u);
  EXPECT_EQ(runs[0].sectors, 3u);
  // The first summary now speaks for the run.
  EXPECT_EQ(uint32_t(runs[0].info->lastCtime), 200u);
  EXPECT_EQ(uint32_t(runs[0].info->lowestCluster), 0x30u);
  EXPECT_EQ(uint32_t(runs[0].info->highestCluster), 0x70u);
  EXPECT_EQ(uint32_t(runs[0].info->directories), 3u);

  Add(1004, 3, 1, 0);
  CollectFatDirHitRuns(hits, runs);
  ASSERT_EQ(runs.size(), 2u);  // now 1003 has a neighbour; 1004 follows a sector that ended
  EXPECT_EQ(runs[1].lba, 1003u);
  EXPECT_EQ(runs[1].sectors, 1u);
}

TEST_F(FatDirRunsTest, MissingSummariesAndKnownDirectoriesArePassedOver) {
  hits.push_back(SectorHit{229, 0, 10, 0, nullptr});
  hits.push_back(SectorHit{229, 0, 20, 0, AllocMem(8, 1)});  // too small to be a summary
  Add(30, 1, 3, 0);
  Add(40, 2, 3, 0);
  Add(50, 2, 0, 0);  // no short entry: no run
  AddKnownFatLba(40);
  std::vector<FatDirRun> runs;
  CollectFatDirHitRuns(hits, runs);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].lba, 30u);
}

// A FAT32 volume: 32 reserved sectors, two FATs of 100 sectors, 8 sectors per cluster: the data
// area starts at 232.
VolumeContext Fat32Volume(uint32_t earliest, uint32_t latest) {
  VolumeContext v;
  v.type = kVolTypeFat32;
  v.sectorCount = 100000;
  v.bootSector[0x0D] = 8;
  Put16(&v.bootSector[0x0E], 32);
  v.bootSector[0x10] = 2;
  Put32(&v.bootSector[0x24], 100);
  Put32(&v.bootSector[0x2C], 2);
  v.earliestTime = earliest;
  v.latestTime = latest;
  return v;
}

TEST_F(FatDirRunsTest, RunsThatFitAParsedVolume) {
  const VolumeContext v = Fat32Volume(100, 200);
  Add(232 + 8 * 10, 3, 4, 0, 150);            // fits
  Add(232 + 8 * 11 + 1, 3, 4, 0, 150);        // not on a cluster boundary
  Add(232 + 8 * 12, 1, 4, 0, 150);            // a root-like run
  Add(232 + 8 * 13, 3, 4, 0, 250);            // newer than the volume
  Add(232 + 8 * 14, 3, 4, 0, 50);             // older
  Add(232 + 8 * 15, 3, 4, 0, 150, 5, 200000); // names a cluster the volume has not
  Add(232 + 8 * 16, 2, 4, 0, 150);
  static_cast<FatDirHitInfo*>(hits.back().detail)->ownCluster = 18;  // stands at its own cluster
  Add(232 + 8 * 17, 2, 4, 0, 150);
  static_cast<FatDirHitInfo*>(hits.back().detail)->ownCluster = 30;  // names another
  Add(100, 3, 4, 0, 150);                     // before the data area
  std::vector<FatDirRun> runs;
  for (const SectorHit& h : hits) runs.push_back(FatDirRun{h.lba, 1, static_cast<FatDirHitInfo*>(h.detail)});
  std::vector<FatDirRun> fit;
  ASSERT_TRUE(FindFatDirHitsInVolume(runs, v, false, fit));
  std::vector<uint64_t> lbas;
  for (const FatDirRun& r : fit) lbas.push_back(r.lba);
  EXPECT_EQ(lbas, (std::vector<uint64_t>{232 + 80, 232 + 128}));
  // A logical drive has no upper time bound.
  fit.clear();
  ASSERT_TRUE(FindFatDirHitsInVolume(runs, v, true, fit));
  EXPECT_EQ(fit.size(), 3u);
}

TEST_F(FatDirRunsTest, RunsLinkToTheirParentRuns) {
  for (uint64_t lba : {10, 20, 30}) Add(lba, 2, 3, 0);
  auto at = [&](size_t i) { return static_cast<FatDirHitInfo*>(hits[i].detail); };
  at(0)->ownCluster = 5, at(0)->parentCluster = 0;
  at(1)->ownCluster = 6, at(1)->parentCluster = 5;
  at(2)->ownCluster = 7, at(2)->parentCluster = 9;
  std::vector<FatDirRun> runs;
  for (const SectorHit& h : hits) runs.push_back(FatDirRun{h.lba, 1, static_cast<FatDirHitInfo*>(h.detail)});
  std::vector<FatDirRunLink> links;
  LinkFatDirRuns(runs, links);
  ASSERT_EQ(links.size(), 3u);
  EXPECT_FALSE(links[0].linked);
  EXPECT_TRUE(links[1].linked);
  EXPECT_EQ(links[1].parentIndex, 0u);
  EXPECT_FALSE(links[2].linked);
}

}  // namespace
