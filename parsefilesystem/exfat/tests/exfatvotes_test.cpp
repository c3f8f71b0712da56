#include "parsefilesystem/exfat/exfatvotes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kJpg = 46, kBmp = 48, kZip = 61;

ExfatDirHitInfo DirRun(uint64_t lba, uint32_t dirSize = 0, uint32_t dirCount = 0, uint32_t kind = 2) {
  ExfatDirHitInfo h;
  std::memset(&h, 0, sizeof h);
  h.lba = lba;
  h.kind = kind;
  h.sectors = 8;
  h.smallestDirSize = dirSize;
  h.smallestDirCount = dirCount;
  return h;
}

void AddEntry(ExfatDirHitInfo& h, uint8_t kind, uint32_t cluster, uint32_t size, uint32_t time = 0) {
  h.entries[h.entryCount++] = ExfatDirHitEntry{kind, cluster, size, time};
}

TEST(ExfatVotes, SummaryFieldsAreBoundedBeforeUse) {
  ExfatDirHitInfo h = DirRun(100, 8u << 20, 1);
  EXPECT_EQ(ExfatHitDirSize(h), 8u << 20);  // the largest directory exFAT allows counts
  h.smallestDirSize = 16u << 20;
  EXPECT_EQ(ExfatHitDirSize(h), 0u);
  h.smallestDirSize = 3072;
  EXPECT_EQ(ExfatHitDirSize(h), 0u);
  h.smallestDirSize = 4096;
  h.smallestDirCount = 0;
  EXPECT_EQ(ExfatHitDirSize(h), 0u);
  h.entryCount = 0xFFFFFFFF;  // as a damaged saved scan may hold it
  EXPECT_EQ(ExfatHitEntriesUsed(h), 24u);
  std::vector<ExfatGeometryItem> entries;
  ListExfatFileEntries({h}, 0, 0, entries);  // reads within the 24 entries only
  EXPECT_TRUE(entries.empty());
}

TEST(ExfatVotes, DominantSizeAndGroups) {
  // Ten 4 KiB directories first, then runs whose 32 KiB directories reach ten first.
  std::vector<ExfatDirHitInfo> hits;
  for (int i = 0; i < 5; ++i) hits.push_back(DirRun(1000 + 8 * i, 4096, 2));
  hits.push_back(DirRun(2000));  // no sized directory
  for (int i = 0; i < 4; ++i) hits.push_back(DirRun(5000 + 64 * i, 32768, 3));
  hits.push_back(DirRun(6000, 4096, 1));
  hits.push_back(DirRun(7000, 32768, 1));
  uint32_t size = 0, strength = 0;
  ASSERT_TRUE(FindDominantDirSize(hits, 0, size, strength));
  EXPECT_EQ(size, 4096u);
  EXPECT_EQ(strength, 10u);
  std::vector<DirSizeGroup> groups{DirSizeGroup{0, 0, size / 512, 0}};
  SplitDirHitsBySize(hits, 0, size, groups);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].spc, 8u);
  EXPECT_EQ(groups[0].first, 0u);
  EXPECT_EQ(groups[0].last, 4u);
  EXPECT_EQ(groups[0].count, 10u);
  EXPECT_EQ(groups[1].spc, 64u);
  EXPECT_EQ(groups[1].first, 6u);
  EXPECT_EQ(groups[1].last, 11u);  // a stray 4 KiB run inside does not end the group
  EXPECT_EQ(groups[1].count, 13u);

  // Without ten of any size the size with most directories is taken, with strength 0; a
  // first run of ten or more does not end the search.
  std::vector<ExfatDirHitInfo> few{DirRun(1, 512, 12), DirRun(2, 1024, 3), DirRun(3, 1024, 3), DirRun(4, 1024, 3)};
  ASSERT_TRUE(FindDominantDirSize(few, 0, size, strength));
  EXPECT_EQ(size, 512u);
  EXPECT_EQ(strength, 0u);
  EXPECT_FALSE(FindDominantDirSize({DirRun(1), DirRun(2)}, 0, size, strength));
}

TEST(ExfatVotes, CarvedStartsOfTheEntrySizeAndTypeVote) {
  std::vector<SectorHit> carved = {
      {kJpg, kHitEndFound, 50000, 12345, nullptr},  {kJpg, kHitEndFound, 60000, 12345, nullptr},
      {kJpg, kHitNeedsMoreData, 70000, 12345, nullptr}, {kZip, kHitEndFound, 80000, 999, nullptr},
      {kBmp, kHitEndFound, 90000, 999, nullptr},    {3, kHitEndFound, 95000, 12345, nullptr},
  };
  std::vector<ExfatGeometryItem> starts;
  CollectCarvedStarts(carved.data(), carved.size(), starts);
  ASSERT_EQ(starts.size(), 4u);  // open-ended and non-geometry types are left out
  EXPECT_EQ(starts[0].type, kBmp);  // 999 bytes: the BMP (48) sorts before the ZIP (61)
  EXPECT_EQ(starts[1].type, kZip);

  ExfatDirHitInfo h = DirRun(40000);
  AddEntry(h, kJpg, 100, 12345);
  AddEntry(h, kBmp, 200, 999);
  AddEntry(h, kZip, 300, 999);  // a BMP start of its size comes first: the look ends, no vote
  std::vector<ExfatGeometryItem> entries;
  ListExfatFileEntries({h}, 0, 0, entries);
  ExfatVoteTable votes;
  ASSERT_TRUE(CastExfatGeometryVotes(entries, starts, 8, votes));
  std::vector<std::pair<uint64_t, uint32_t>> got;
  for (const ExfatGeometryVote& v : votes.votes()) got.emplace_back(v.zeroLba, v.count);
  const std::vector<std::pair<uint64_t, uint32_t>> want = {{90000 - 8 * 200, 1}, {50000 - 800, 1}, {60000 - 800, 1}};
  EXPECT_EQ(got, want);
  votes.Add(0, 50000 - 800);
  EXPECT_EQ(votes.votes()[1].count, 2u);

  // A start that would put cluster 0 at or below LBA 0 casts nothing.
  ExfatDirHitInfo low = DirRun(10);
  AddEntry(low, kJpg, 0x10000000, 12345);
  entries.clear();
  ListExfatFileEntries({low}, 0, 0, entries);
  ExfatVoteTable none;
  EXPECT_FALSE(CastExfatGeometryVotes(entries, starts, 8, none));
}

TEST(ExfatVotes, RangesFromChoices) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, uint64_t>> choices;
    std::vector<ExfatGeometryRange> want;
  };
  const Case cases[] = {
      {"two choices make one range with the best start", {{1, 500}, {4, 900}}, {{0, 9, 8, 516}}},
      {"one start throughout", {{0, 500}, {2, 500}, {3, 500}, {7, 500}}, {{0, 9, 8, 516}}},
      {"a second start confirmed twice opens a range",
       {{0, 500}, {1, 500}, {2, 500}, {5, 900}, {6, 900}, {7, 900}},
       {{0, 2, 8, 516}, {5, 9, 8, 916}}},
      {"a lone other choice is passed over", {{0, 500}, {1, 500}, {2, 500}, {3, 900}, {4, 500}}, {{0, 9, 8, 516}}},
  };
  for (const Case& c : cases) {
    std::vector<ExfatGeometryRange> ranges;
    SplitVotesIntoRanges(c.choices, 10, 8, 500, ranges);
    ASSERT_EQ(ranges.size(), c.want.size()) << c.what;
    for (size_t i = 0; i < ranges.size(); ++i) {
      EXPECT_EQ(ranges[i].first, c.want[i].first) << c.what;
      EXPECT_EQ(ranges[i].last, c.want[i].last) << c.what;
      EXPECT_EQ(ranges[i].heapStart, c.want[i].heapStart) << c.what;
    }
  }
}

TEST(ExfatVotes, EachRunKeepsItsBestVotesAndChoosesAmongTheFiveBest) {
  // Run 0 votes 500 twice and 700 once: only 500 is kept. Runs 1 and 2 vote 700 only, so 700
  // has the larger sum, yet run 0 keeps its own best.
  std::vector<ExfatGeometryVote> votes = {{0, 500, 2}, {0, 700, 1}, {1, 700, 1}, {2, 700, 1}, {3, 700, 1}};
  std::vector<ExfatGeometryRange> ranges;
  ASSERT_TRUE(VoteExfatGeometry(4, 8, votes, ranges));
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].heapStart, 716u);
  EXPECT_EQ(ranges[0].last, 3u);
  EXPECT_FALSE(VoteExfatGeometry(4, 8, {}, ranges));
  EXPECT_FALSE(VoteExfatGeometry(0, 8, votes, ranges));
  EXPECT_FALSE(VoteExfatGeometry(4, 0, votes, ranges));
}

TEST(ExfatVotes, GroupsNeedACarvedStartAnywhere) {
  std::vector<ExfatDirHitInfo> hits{DirRun(1000, 4096, 1), DirRun(1008, 4096, 1, 2)};
  AddEntry(hits[0], 231, 5, 4096);
  const std::vector<DirSizeGroup> groups{{0, 1, 8, 2}};
  std::vector<ExfatGeometryRange> ranges;
  EXPECT_FALSE(RebuildExfatGroup(hits, groups, {}, ranges));
  // With some carved start (of no use to these runs) the directory links vote instead: the
  // directory at cluster 5 is the run at 1008.
  const std::vector<ExfatGeometryItem> starts{{0, kJpg, 123456, 0, 777}};
  ASSERT_TRUE(RebuildExfatGroup(hits, groups, starts, ranges));
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].heapStart, 1008u - 8 * 5 + 16);
}

TEST(ExfatVotes, NeighbouringRangesMeetAndShareGapRuns) {
  std::vector<ExfatDirHitInfo> hits;
  for (uint64_t lba : {100, 200, 300, 400, 5000, 6000, 7000}) hits.push_back(DirRun(lba));
  std::vector<ExfatGeometryRange> ranges{{2, 2, 8, 50}, {5, 5, 8, 4500}};
  AdjustGeometryRanges(hits, ranges);
  EXPECT_EQ(ranges[0].first, 0u);
  EXPECT_EQ(ranges[0].last, 4u);
  EXPECT_EQ(ranges[1].first, 4u);  // the run at 5000 lies above the second heap: both take it
  EXPECT_EQ(ranges[1].last, 6u);
}

}  // namespace
