// The video details: position tables, their lists and their stored form in scan-state files,
// which must never let a damaged file put the reader out of step.
#include "scanbase/videodetail.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "base/heap.h"
#include "base/heap_testing.h"
#include "core/filetypetable.h"
#include "scanbase/hitdetail.h"

namespace {

std::vector<uint32_t> Entries(const ChunkTable* t) {
  return std::vector<uint32_t>(ChunkTableEntries(t), ChunkTableEntries(t) + t->count);
}

std::vector<uint32_t> Ascending(uint32_t first, uint32_t n) {
  std::vector<uint32_t> v(n);
  std::iota(v.begin(), v.end(), first);
  return v;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  std::memcpy(b, &v, 4);
  out.insert(out.end(), b, b + 4);
}

// One stored table: n, the entries, five tail bytes.
void PutTable(std::vector<uint8_t>& out, const std::vector<uint32_t>& entries) {
  Put32(out, uint32_t(entries.size()));
  for (uint32_t e : entries) Put32(out, e);
  out.insert(out.end(), {1, 2, 3, 4, 5});
}

TEST(ChunkTables, TailsAndMinimumCounts) {
  const std::vector<uint32_t> four = {0x101, 0x202, 0x303, 0x404};
  EXPECT_EQ(MakeChunkTable(four, 5), nullptr);
  const std::vector<uint32_t> six = {0x1A1, 0x2B2, 0x3C3, 0x4D4, 0x5E5, 0x6F6};
  ChunkTable* t = MakeChunkTable(six, 5);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(Entries(t), six);
  const uint8_t* tail = ChunkTableTail(t);
  EXPECT_EQ(std::vector<uint8_t>(tail, tail + 5), (std::vector<uint8_t>{0xA1, 0xB2, 0xC3, 0xD4, 0xE5}));
  EXPECT_EQ(GetMemSize(t), 4u + 6 * 4 + 5);
  FreeMem(t);

  ChunkTable* b = MakeBlockOffsetTable(four);
  ASSERT_NE(b, nullptr);
  tail = ChunkTableTail(b);
  EXPECT_EQ(std::vector<uint8_t>(tail, tail + 5), (std::vector<uint8_t>{0x01, 0, 0, 0, 0}));
  FreeMem(b);
  EXPECT_EQ(MakeBlockOffsetTable({}), nullptr);
}

TEST(ChunkTables, ListsGrowByHalfKeepingTheirTables) {
  ChunkTableList* list = nullptr;
  std::vector<ChunkTable*> made;
  for (uint32_t i = 0; i < 151; ++i) {
    made.push_back(MakeChunkTable(Ascending(i, 5), 5));
    AppendChunkTable(list, made.back());
    if (i == 99) {
      EXPECT_EQ(list->capacity, 100u);
    }
    if (i == 100) {
      EXPECT_EQ(list->capacity, 150u);
    }
  }
  EXPECT_EQ(list->capacity, 225u);
  ASSERT_EQ(ChunkTablesOf(list).size(), 151u);
  for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(ChunkTablesOf(list)[i], made[i]);
  FreeChunkTableList(list);
}

// A list with a table at the shared limit: the writer leaves it out and counts only what it
// wrote; the reader gets back exactly the others.
TEST(ChunkTables, StoredFormRoundTripLeavesOversizeTablesOut) {
  ChunkTableList* list = nullptr;
  const std::vector<std::vector<uint32_t>> kept = {Ascending(7, 5), Ascending(100, 9), Ascending(0xFFFFF000, 0xFFFFF)};
  AppendChunkTable(list, MakeChunkTable(kept[0], 5));
  AppendChunkTable(list, MakeChunkTable(Ascending(1, kStoredChunkEntriesLimit), 5));
  AppendChunkTable(list, MakeChunkTable(kept[1], 5));
  AppendChunkTable(list, MakeChunkTable(kept[2], 5));

  MemoryScanStateStream s;
  ASSERT_TRUE(SaveVideoChunkTables(s, list));
  uint64_t expected = 4;
  for (const auto& k : kept) expected += ChunkTableBytes(uint32_t(k.size()));
  EXPECT_EQ(s.Bytes().size(), expected);
  uint32_t count;
  std::memcpy(&count, s.Bytes().data(), 4);
  EXPECT_EQ(count, 3u);

  ChunkTableList* back = nullptr;
  MemoryScanStateStream r(s.Bytes());
  ASSERT_TRUE(LoadVideoChunkTables(r, back));
  EXPECT_EQ(r.ReadOffset(), s.Bytes().size());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->capacity, 0u);
  ASSERT_EQ(back->count, 3u);
  for (size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(Entries(ChunkTablesOf(back)[i]), kept[i]);
    EXPECT_EQ(std::memcmp(ChunkTableTail(ChunkTablesOf(back)[i]), ChunkTableTail(ChunkTablesOf(list)[i == 0 ? 0 : i + 1]), 5), 0);
  }
  FreeChunkTableList(back);
  FreeChunkTableList(list);

  // No list is stored as the number 0 and reads back as an empty list.
  MemoryScanStateStream none;
  ASSERT_TRUE(SaveVideoChunkTables(none, nullptr));
  EXPECT_EQ(none.Bytes(), std::vector<uint8_t>(4, 0));
  MemoryScanStateStream none2(none.Bytes());
  ASSERT_TRUE(LoadVideoChunkTables(none2, back));
  EXPECT_EQ(back->count, 0u);
  FreeChunkTableList(back);
}

// Tables a writer never makes (no entries, entries at or over the limit) are passed over by
// their length, so the bytes after them are read as what they are.
TEST(ChunkTables, ReaderPassesOverTablesItDoesNotKeep) {
  std::vector<uint8_t> bytes;
  Put32(bytes, 4);
  PutTable(bytes, Ascending(10, 5));
  PutTable(bytes, {});
  PutTable(bytes, Ascending(0, kStoredChunkEntriesLimit));
  PutTable(bytes, Ascending(20, 6));
  Put32(bytes, 0xC0FFEE);  // what the scan-state file holds next

  MemoryScanStateStream r(bytes);
  ChunkTableList* list = nullptr;
  ASSERT_TRUE(LoadVideoChunkTables(r, list));
  ASSERT_EQ(list->count, 2u);
  EXPECT_EQ(Entries(ChunkTablesOf(list)[0]), Ascending(10, 5));
  EXPECT_EQ(Entries(ChunkTablesOf(list)[1]), Ascending(20, 6));
  uint32_t next = 0;
  ASSERT_TRUE(r.Read(&next, 4));
  EXPECT_EQ(next, 0xC0FFEEu);
  FreeChunkTableList(list);
}

// A stream cut anywhere, or a count the stream cannot hold, fails without keeping anything.
TEST(ChunkTables, TruncatedOrOvercountedStreamsFailCleanly) {
  std::vector<uint8_t> bytes;
  Put32(bytes, 2);
  PutTable(bytes, Ascending(10, 5));
  PutTable(bytes, Ascending(20, 7));
  const uint64_t before = GetHeapUsageTotal();
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    MemoryScanStateStream r(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
    ChunkTableList* list = reinterpret_cast<ChunkTableList*>(1);
    EXPECT_FALSE(LoadVideoChunkTables(r, list)) << cut;
    EXPECT_EQ(list, nullptr);
  }
  std::vector<uint8_t> claims = bytes;
  const uint32_t huge = 0xFFFFFFFF;
  std::memcpy(claims.data(), &huge, 4);
  MemoryScanStateStream r(claims);
  ChunkTableList* list = nullptr;
  EXPECT_FALSE(LoadVideoChunkTables(r, list));
  // A huge entry count is passed over by length, which the stream does not have.
  std::vector<uint8_t> wild;
  Put32(wild, 1);
  Put32(wild, 0xFFFFFFFF);
  MemoryScanStateStream w(wild);
  EXPECT_FALSE(LoadVideoChunkTables(w, list));
  EXPECT_EQ(GetHeapUsageTotal(), before);
}

TEST(ChunkTables, FailedWritesAreReported) {
  ChunkTableList* list = nullptr;
  AppendChunkTable(list, MakeChunkTable(Ascending(0, 50), 5));
  for (size_t limit : {size_t(0), size_t(4), size_t(100)}) {
    MemoryScanStateStream s;
    s.SetWriteLimit(limit);
    EXPECT_FALSE(SaveVideoChunkTables(s, list)) << limit;
  }
  FreeChunkTableList(list);
}

// The hit store frees a moov's list and tables, and the tables of sample positions, with the hit.
TEST(ChunkTables, HitsReleaseTheirTablesWhole) {
  const uint64_t before = GetHeapUsageTotal();
  auto* info = static_cast<MoovInfo*>(AllocMem(sizeof(MoovInfo), 1));
  ChunkTableList* samples = nullptr;  // the packed field is not bound to a reference
  AppendChunkTable(samples, MakeChunkTable(Ascending(0, 8), 5));
  info->tables = samples;
  SectorHit moov{kKindMp4Moov, kHitEndFound, 10, 0, info};
  FreeSectorInfo(moov);
  ChunkTableList* chains = nullptr;
  AppendChunkTable(chains, MakeChunkTable(Ascending(0, 8), 5));
  AppendChunkTable(chains, MakeChunkTable(Ascending(100, 8), 5));
  SectorHit chain{kKindVideoSampleChain, kHitEndFound, 0, 0, chains};
  FreeSectorInfo(chain);
  EXPECT_EQ(GetHeapUsageTotal(), before);
}

}  // namespace
