// Entry sets and cluster lists from hand-built directory buffers and FAT tables: hostile
// counts, long names, vendor entries, deleted sets, the hit flag and the chain rules.
#include <algorithm>
#include <set>

#include "base/heap.h"
#include "base/packedtime.h"
#include "parsefilesystem/exfat/exfatextents.h"
#include "parsefilesystem/exfat/tests/exfattestenv.h"

namespace {

constexpr uint32_t kClusterCount = 1000;

class ExfatEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadExfatTestSettings();
    ClearKnownExfatDirLbas();
    uint8_t* b = vol_.bootSector;
    memcpy(b + 3, "EXFAT   ", 8);
    Put64(b + 0x48, 100 + 8 * (kClusterCount + 2));  // the volume's length in sectors
    Put32(b + 0x50, 24);     // FAT
    Put32(b + 0x54, 8);
    Put32(b + 0x58, 100);    // cluster heap
    Put32(b + 0x5C, kClusterCount);
    Put32(b + 0x60, 4);      // root
    b[0x6D] = 3;             // 4 KiB clusters
    vol_.type = kVolTypeExfat;
    vol_.firstLba = 1000;
    CreateRootAndLostFolders(vol_);
  }
  void TearDown() override { FreeAllFileRecords(vol_); }

  static void Put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
  static void Put32(uint8_t* p, uint32_t v) { Put16(p, v), Put16(p + 2, v >> 16); }
  static void Put64(uint8_t* p, uint64_t v) { Put32(p, uint32_t(v)), Put32(p + 4, uint32_t(v >> 32)); }

  // Appends an entry set at entry index i of buf; returns the index after it.
  static uint32_t PutSet(uint8_t* buf, uint32_t i, const std::u16string& name, uint8_t secondary,
                         uint32_t cluster = 10, uint64_t size = 100, uint8_t flags = 3, bool deleted = false,
                         bool dir = false) {
    const uint8_t off = deleted ? 0x00 : 0x80;
    uint8_t* f = buf + i * 32;
    f[0] = uint8_t(0x05 | off);
    f[1] = secondary;
    Put16(f + 4, dir ? 0x10 : 0x20);
    Put32(f + 8, 0x52661083);  // 2021-03-06 02:04:06
    Put32(f + 12, 0);
    uint8_t* s = f + 32;
    s[0] = uint8_t(0x40 | off);
    s[1] = flags;
    Put64(s + 8, size);
    Put32(s + 20, cluster);
    Put64(s + 24, size);
    uint32_t k = 0;
    for (size_t p = 0; p < name.size(); p += 15, ++k) {
      uint8_t* n = f + 64 + 32 * k;
      n[0] = uint8_t(0x41 | off);
      for (size_t j = 0; j < 15 && p + j < name.size(); ++j) Put16(n + 2 + 2 * j, name[p + j]);
    }
    return i + 2 + k;
  }

  std::vector<const FileRecord*> Records() {
    std::vector<const FileRecord*> out;
    for (uint32_t id = 6; id < vol_.idLimit; ++id)
      if (const FileRecord* r = GetFileRecord(vol_, id, 0)) out.push_back(r);
    return out;
  }
  bool Parse(const std::vector<uint8_t>& buf, uint32_t hit = 0) {
    return ParseExfatEntrySets(&ScanRunState, reader_, vol_, buf.data(), uint32_t(buf.size()), kRootId, hit);
  }

  VolumeContext vol_;
  DiskReader reader_;
};

TEST_F(ExfatEntriesTest, ASetRunningPastTheBufferEndIsNotStored) {
  std::vector<uint8_t> buf(512, 0);
  uint32_t i = PutSet(buf.data(), 0, u"a.txt", 2);
  ASSERT_EQ(i, 3u);
  // Entry 14 opens a set of 3 secondaries; only its stream entry fits.
  std::vector<uint8_t> tail(4 * 32, 0);
  PutSet(tail.data(), 0, u"cut.txt", 3);
  memcpy(buf.data() + 14 * 32, tail.data(), 64);
  // An odd length: the last partial entry is never read.
  buf.resize(500);
  EXPECT_TRUE(Parse(buf));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(CString(recs[0]->name), CString(u"a.txt"));
  EXPECT_EQ(+recs[0]->ctime, PackTime(2021, 3, 6, 2, 4, 6));
  EXPECT_EQ(+recs[0]->mtime, 0u);  // a timestamp never set stays without a time
}

TEST_F(ExfatEntriesTest, ANameReaching260CharactersKeepsThePiecesThatFit) {
  std::vector<uint8_t> buf(32 * 32, 0);
  const std::u16string name(18 * 15, u'x');
  PutSet(buf.data(), 0, name, 19);
  EXPECT_TRUE(Parse(buf));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(RecordNameLength(recs[0]->name), 17u * 15);
}

TEST_F(ExfatEntriesTest, ASetCountingVendorEntriesNeverCompletes) {
  std::vector<uint8_t> buf(512, 0);
  uint32_t i = PutSet(buf.data(), 0, u"vendor.bin", 3);
  buf[i * 32] = 0xE0;  // a vendor entry the count includes: skipped
  PutSet(buf.data(), i + 1, u"next.txt", 2);
  EXPECT_TRUE(Parse(buf));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(CString(recs[0]->name), CString(u"next.txt"));
}

TEST_F(ExfatEntriesTest, FlagsFollowTheSetType) {
  struct Case {
    const char16_t* name;
    uint8_t flags;
    bool deleted, dir;
    uint16_t expect;
  };
  const Case cases[] = {
      {u"contiguous", 3, false, false, kRecInUse},
      {u"chained", 1, false, false, kRecInUse | kRecExfatChain},
      {u"other flags", 2, false, false, kRecInUse | kRecExfatChain},
      {u"deleted", 3, true, false, 0},
      {u"dir", 3, false, true, kRecInUse | kRecDirectory},
      {u"deleted dir", 1, true, true, kRecDirectory | kRecExfatChain},
  };
  std::vector<uint8_t> buf(1024, 0);
  uint32_t i = 0;
  for (const Case& c : cases) i = PutSet(buf.data(), i, c.name, 2, 0, 0, c.flags, c.deleted, c.dir);
  EXPECT_TRUE(Parse(buf));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), std::size(cases));
  for (size_t k = 0; k < recs.size(); ++k) {
    SCOPED_TRACE(CString(cases[k].name).ToUtf8());
    EXPECT_EQ(+recs[k]->flags, cases[k].expect);
    EXPECT_EQ(+recs[k]->parent, kRootId);
  }
}

TEST_F(ExfatEntriesTest, NonAsciiNamesAreKeptAsUtf16) {
  std::vector<uint8_t> buf(512, 0);
  PutSet(buf.data(), 0, u"Ünïcødé 日本 \U0001F600.txt", 3, 20, 5000);
  EXPECT_TRUE(Parse(buf));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(CString(recs[0]->name), CString(u"Ünïcødé 日本 \U0001F600.txt"));
  EXPECT_EQ(+recs[0]->size, 5000u);
  EXPECT_EQ(+recs[0]->lba, 1000u + 100 + (20 - 2) * 8);  // absolute
}

TEST_F(ExfatEntriesTest, TheHitFlagChecksTheFirstSectorAndLinksAtOnce) {
  std::vector<uint8_t> names(512, 0);
  for (int k = 0; k < 16; ++k) names[k * 32] = 0xC1;  // names continuing an earlier sector
  EXPECT_FALSE(Parse(names, 1));
  EXPECT_TRUE(Records().empty());

  std::vector<uint8_t> buf(512, 0);
  PutSet(buf.data(), 0, u"linked.txt", 2);
  EXPECT_TRUE(Parse(buf, 1));
  const auto recs = Records();
  ASSERT_EQ(recs.size(), 1u);
  const auto children = ChildIdList(GetFileRecord(vol_, kRootId, 0));
  EXPECT_NE(std::find(children.begin(), children.end(), uint32_t(recs[0]->id)), children.end());
}

class ExfatClustersTest : public ExfatEntriesTest {
 protected:
  void SetUp() override {
    ExfatEntriesTest::SetUp();
    vol_.fatBufferSize = (kClusterCount + 2) * 4;
    vol_.fatBuffer = static_cast<uint8_t*>(AllocMem(vol_.fatBufferSize, 1));
    memset(vol_.fatBuffer, 0, vol_.fatBufferSize);
    vol_.bitmapBufferSize = (kClusterCount + 7) / 8;
    vol_.bitmapBuffer = static_cast<uint8_t*>(AllocMem(vol_.bitmapBufferSize, 1));
    memset(vol_.bitmapBuffer, 0xFF, vol_.bitmapBufferSize);
  }
  void Link(uint32_t from, uint32_t to) { Put32(vol_.fatBuffer + from * 4, to); }
  std::vector<uint32_t> Clusters(uint16_t flags, uint32_t first, uint64_t size) {
    FileRecord rec{};
    rec.flags = flags;
    std::vector<uint32_t> out;
    EXPECT_TRUE(GetExfatFileClusters(vol_, rec, first, out, size));
    return out;
  }
};

TEST_F(ExfatClustersTest, ContiguousAndChainedLists) {
  const uint32_t cb = 4096;
  Link(5, 6), Link(6, 7), Link(7, 10), Link(10, 0xFFFFFFFF);
  Link(20, 0xFFFFFFFF);
  Link(30, 0);
  EXPECT_EQ(Clusters(0, 5, 3 * cb + 1), (std::vector<uint32_t>{5, 6, 7, 8}));
  EXPECT_EQ(Clusters(kRecExfatChain, 5, 4 * cb), (std::vector<uint32_t>{5, 6, 7, 10}));
  EXPECT_EQ(Clusters(kRecExfatChain, 5, 2 * cb), (std::vector<uint32_t>{5, 6}));
  // An end mark ends the chain even before the size is covered; a cleared entry goes on only
  // into a free cluster.
  EXPECT_EQ(Clusters(kRecExfatChain, 20, 3 * cb), (std::vector<uint32_t>{20}));
  EXPECT_EQ(Clusters(kRecExfatChain, 30, 2 * cb), (std::vector<uint32_t>{30}));
  vol_.bitmapBuffer[(31 - 2) / 8] &= uint8_t(~(1u << ((31 - 2) % 8)));
  EXPECT_EQ(Clusters(kRecExfatChain, 30, 2 * cb), (std::vector<uint32_t>{30, 31}));
  vol_.bitmapBuffer[(31 - 2) / 8] |= uint8_t(1u << ((31 - 2) % 8));
  EXPECT_TRUE(Clusters(kRecExfatChain, 5, 0).empty());
  EXPECT_TRUE(Clusters(0, 0, cb).empty());
  // The last two clusters of the heap are clusters like any other.
  EXPECT_EQ(Clusters(0, kClusterCount, 2 * cb), (std::vector<uint32_t>{kClusterCount, kClusterCount + 1}));
  EXPECT_EQ(Clusters(0, kClusterCount + 1, 3 * cb), (std::vector<uint32_t>{kClusterCount + 1}));

  std::vector<DataExtent> extents;
  ASSERT_TRUE(ExfatClustersToExtents(vol_, {5, 6, 7, 10}, extents));
  ASSERT_EQ(extents.size(), 2u);
  EXPECT_EQ(extents[0].startLba, 1000u + 100 + 3 * 8);
  EXPECT_EQ(extents[0].sectorCount, 24u);
  EXPECT_EQ(extents[1].startLba, 1000u + 100 + 8 * 8);
  EXPECT_EQ(extents[1].sectorCount, 8u);
  EXPECT_FALSE(ExfatClustersToExtents(vol_, {}, extents));
}

TEST_F(ExfatClustersTest, WithoutBitmapOrFatTheFileIsOneRun) {
  Link(5, 10);
  FreeMem(vol_.bitmapBuffer);
  vol_.bitmapBuffer = nullptr;
  vol_.bitmapBufferSize = 0;
  EXPECT_EQ(Clusters(kRecExfatChain, 5, 3 * 4096), (std::vector<uint32_t>{5, 6, 7}));
  FreeMem(vol_.fatBuffer);
  vol_.fatBuffer = nullptr;
  vol_.fatBufferSize = 0;
  EXPECT_EQ(Clusters(kRecExfatChain, 5, 2 * 4096), (std::vector<uint32_t>{5, 6}));
}

TEST_F(ExfatClustersTest, HostileSizesAndLoopsStayBounded) {
  const uint64_t huge = ~0ull;
  EXPECT_EQ(Clusters(0, 2, huge).size(), size_t(kClusterCount));
  Link(40, 41), Link(41, 42), Link(42, 40);
  const auto loop = Clusters(kRecExfatChain, 40, huge);
  EXPECT_EQ(loop, (std::vector<uint32_t>{40, 41, 42}));
  // Cleared entries over free clusters run on cluster by cluster to the heap's end, each
  // cluster once.
  memset(vol_.bitmapBuffer, 0, vol_.bitmapBufferSize);
  const auto run = Clusters(kRecExfatChain, 500, huge);
  EXPECT_EQ(run.size(), size_t(kClusterCount + 2 - 500));
  EXPECT_EQ(std::set<uint32_t>(run.begin(), run.end()).size(), run.size());
}

TEST_F(ExfatEntriesTest, TheClusterCountIsHeldToTheVolumesLength) {
  // One damaged byte of the count (1000 clusters become 0x3E8 + 0x20000000) cannot make the
  // volume larger than its length says.
  vol_.bootSector[0x5F] = 0x20;
  ExfatGeometry geo;
  ASSERT_TRUE(ReadExfatGeometry(vol_.bootSector, 0, geo));
  EXPECT_EQ(geo.clusterCount, kClusterCount + 2);
  // A contiguous file of a huge size is one run up to the heap's end, found at once.
  FileRecord rec{};
  rec.firstCluster = 10;
  rec.size = ~0ull;
  DataExtentList runs;
  ASSERT_TRUE(GetExfatRecordExtents(vol_, rec, runs));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].sectorCount, uint64_t(kClusterCount + 4 - 10) * 8);
  // A length that leaves no room for the heap is no volume.
  Put64(vol_.bootSector + 0x48, 100);
  EXPECT_FALSE(ReadExfatGeometry(vol_.bootSector, 0, geo));
}

TEST_F(ExfatEntriesTest, AShiftBeyondTheLimitIsNoVolume) {
  ExfatGeometry geo;
  EXPECT_TRUE(ReadExfatGeometry(vol_.bootSector, 0, geo));
  vol_.bootSector[0x6D] = 200;
  EXPECT_FALSE(ReadExfatGeometry(vol_.bootSector, 0, geo));
  std::vector<uint32_t> out;
  FileRecord rec{};
  GetExfatFileClusters(vol_, rec, 5, out, 4096);
  EXPECT_TRUE(out.empty());
}

}  // namespace
