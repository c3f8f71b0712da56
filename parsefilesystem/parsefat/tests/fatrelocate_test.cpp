// Start-cluster relocation on a hand-built FAT32 volume of three 65,536-cluster banks, with the
// deep scan's directory hits injected.
#include <map>

#include "base/heap.h"
#include "parsefilesystem/parsefat/fatdirhitinfo.h"
#include "parsefilesystem/parsefat/fatrelocate.h"
#include "parsefilesystem/parsefat/tests/fatbytes.h"
#include "parsefilesystem/parsefat/tests/fattestenv.h"

namespace {

constexpr uint64_t kDataStart = 32 + 1100;
uint64_t Lba(uint32_t cluster) { return kDataStart + cluster - 2; }

// Root: live PARENT (cluster 0x10005) and deleted ONE (low word 9, no candidate anywhere).
// PARENT holds deleted CHILD (low word 7). Free clusters 0x10007 and 0x20007 both start with
// "." and ".."; only 0x20007's ".." names PARENT.
class RelocateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFatTestSettings();
    std::array<uint8_t, 512> b{};
    b[0] = 0xEB;
    b[2] = 0x90;
    Put16(&b[0x0B], 512);
    b[0x0D] = 1;
    Put16(&b[0x0E], 32);
    b[0x10] = 1;
    b[0x15] = 0xF8;
    Put32(&b[0x20], 141200);
    Put32(&b[0x24], 1100);
    Put32(&b[0x2C], 2);
    std::memcpy(&b[0x52], "FAT32   ", 8);
    b[510] = 0x55;
    b[511] = 0xAA;
    img_.Write(0, b.data(), 512);
    const uint64_t fat = 32 * 512;
    img_.Put32At(fat, 0x0FFFFFF8);
    img_.Put32At(fat + 4, 0x0FFFFFFF);
    img_.Put32At(fat + 8, 0x0FFFFFFF);
    img_.Put32At(fat + 4 * 0x10005, 0x0FFFFFFF);
    img_.WriteEntries(Lba(2), {ShortEntry("PARENT     ", 0x10, 0x10005, 0), ShortEntry("\xE5ONE       ", 0x10, 9, 0)});
    img_.WriteEntries(Lba(0x10005), {ShortEntry(".          ", 0x10, 0x10005, 0), ShortEntry("..         ", 0x10, 0, 0),
                                     ShortEntry("\xE5HILD      ", 0x10, 7, 0)});
    img_.WriteEntries(Lba(0x10007), {ShortEntry(".          ", 0x10, 0x10007, 0), ShortEntry("..         ", 0x10, 0x1234, 0)});
    img_.WriteEntries(Lba(0x20007), {ShortEntry(".          ", 0x10, 0x20007, 0), ShortEntry("..         ", 0x10, 0x10005, 0)});
  }
  void TearDown() override {
    FreeAllFileRecords(vol_);
    ClearBlockHitLists();
  }
  std::map<std::u16string, const FileRecord*> Parse() {
    EXPECT_TRUE(SetupImageVolume(img_.path(), vol_));
    EXPECT_EQ(vol_.type, uint32_t(kVolTypeFat32));
    EXPECT_TRUE(ParseFatVolume(&ScanRunState, vol_));
    std::map<std::u16string, const FileRecord*> m;
    for (uint32_t id = kRootId + 1; id < vol_.idLimit; ++id)
      if (const FileRecord* r = GetFileRecord(vol_, id, 0)) m[r->name] = r;
    return m;
  }
  void AddDirHit(uint32_t cluster, uint32_t parentCluster, FatDirHitInfo& info) {
    info = FatDirHitInfo{};
    info.sectorKind = 2;
    info.ownCluster = cluster;
    info.parentCluster = parentCluster;
    StoreBlockHit(SectorHit{kFatDirectoryCategory, kHitEndFound, Lba(cluster), 512, &info});
  }
  ImageFile img_{"fat_relocate.img", 141200};
  VolumeContext vol_;
};

TEST_F(RelocateTest, TheDirectoryWhoseParentEntryNamesItsParentWins) {
  FatDirHitInfo a, b;
  AddDirHit(0x10007, 0x1234, a);
  AddDirHit(0x20007, 0x10005, b);
  auto recs = Parse();
  ASSERT_TRUE(recs.count(u"!HILD"));
  EXPECT_EQ(uint64_t(recs[u"!HILD"]->firstCluster), 0x20007u);
  ASSERT_TRUE(recs.count(u"!ONE"));
  EXPECT_EQ(uint64_t(recs[u"!ONE"]->firstCluster), 0u);  // no bank offers a candidate
}

TEST_F(RelocateTest, WithoutHitsTheFirstDirectoryCandidateIsTaken) {
  auto recs = Parse();
  ASSERT_TRUE(recs.count(u"!HILD"));
  EXPECT_EQ(uint64_t(recs[u"!HILD"]->firstCluster), 0x10007u);
}

TEST(RelocateRules, WhichRecordsAreRelocated) {
  LoadFatTestSettings();
  auto make = [](uint16_t flags, uint32_t cluster, const char16_t* name) {
    FileRecord r{};
    r.flags = flags;
    r.firstCluster = cluster;
    r.name = const_cast<char16_t*>(name);
    return r;
  };
  struct Case {
    FileRecord rec;
    bool files;
    bool expected;
  } cases[] = {
      {make(kRecInUse | kRecDirectory, 7, u"A"), true, false},
      {make(kRecDirectory, 7, u"A"), false, true},
      {make(kRecDirectory, 0x10007, u"A"), true, false},
      {make(0, 7, u"A.JPG"), false, false},
      {make(0, 7, u"A.JPG"), true, true},
      {make(kRecDirectory, 0, u"Dir00000012"), true, false},
      {make(kRecDirectory, 0, u"Dir0000012"), true, true},
  };
  for (const Case& c : cases) EXPECT_EQ(NeedsStartClusterRelocation(&c.rec, c.files), c.expected) << CString(c.rec.name).ToUtf8();
  EXPECT_FALSE(NeedsStartClusterRelocation(nullptr, true));
}

TEST(RelocateRules, Fat16IsLeftUnchanged) {
  LoadFatTestSettings();
  VolumeContext ctx;
  ctx.type = kVolTypeFat16;
  ctx.bootSector[0x0D] = 1;
  ctx.sectorCount = 1000;
  CreateRootAndLostFolders(ctx);
  const Entry e = ShortEntry("\xE5OST       ", 0x10, 7, 0);
  const uint32_t id = AddFatEntryRecord(ctx, u"!OST", kRootId, e.data(), 0);
  ASSERT_NE(id, 0u);
  FatClusterHitMap map;
  EXPECT_FALSE(BuildFatClusterHitMap(map, ctx));
  DiskReader reader;
  RelocateFat32StartClusters(map, &ScanRunState, reader, ctx, kRootId, ctx.idLimit, true);
  EXPECT_EQ(uint64_t(GetFileRecord(ctx, id, 0)->firstCluster), 7u);
  FreeAllFileRecords(ctx);
}

TEST(RelocateRules, FileTailsAgainstTheFillMap) {
  uint8_t fill[10] = {};
  SectorFillMapT& fm = SectorFillMap();
  EXPECT_FALSE(IsFileTailExact(100, 1000));  // no map
  EXPECT_TRUE(IsFileTailPossible(100, 1000));
  fm = SectorFillMapT{fill, 100, 10};
  fill[1] = 244;  // 1000 bytes: 488 in the last sector, 244 words
  EXPECT_TRUE(IsFileTailExact(100, 1000));
  EXPECT_TRUE(IsFileTailPossible(100, 1000));
  fill[1] = 255;  // data behind the file's end
  EXPECT_FALSE(IsFileTailExact(100, 1000));
  EXPECT_FALSE(IsFileTailPossible(100, 1000));
  EXPECT_TRUE(IsFileTailExact(100, 1024));  // a full last sector
  fill[1] = 100;
  EXPECT_FALSE(IsFileTailExact(100, 1000));
  EXPECT_TRUE(IsFileTailPossible(100, 1000));
  EXPECT_FALSE(IsFileTailExact(100, 0));
  EXPECT_TRUE(IsFileTailPossible(200, 1000));  // outside the map
  fm = SectorFillMapT{};
}

}  // namespace

namespace {

// A check-disk folder at the head of root cluster 2 followed by garbage: the entries up to the
// first implausible one count, the rest of the cluster is ignored, and the folder is walked.
TEST_F(RelocateTest, CheckDiskFolderOnClusterTwoKeepsWhatPrecedesTheGarbage) {
  Entry garbage;
  garbage.fill(0x01);
  img_.WriteEntries(Lba(2), {ShortEntry("FOUND   000", 0x10, 0x10005, 0), ShortEntry("GOOD    TXT", 0x20, 0, 0), garbage,
                             ShortEntry("LATE    TXT", 0x20, 0, 0)});
  auto recs = Parse();
  EXPECT_TRUE(recs.count(u"FOUND.000"));
  EXPECT_TRUE(recs.count(u"GOOD.TXT"));
  EXPECT_FALSE(recs.count(u"LATE.TXT"));
  EXPECT_TRUE(recs.count(u"!HILD"));  // inside FOUND.000
}

}  // namespace
