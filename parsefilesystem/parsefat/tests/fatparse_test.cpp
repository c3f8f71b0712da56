// The FAT parser on hand-built bytes: entry validators, boot-sector tests, directory entries,
// cluster chains with loops, and a directory that contains itself.
#include <map>

#include "base/heap.h"
#include "base/packedtime.h"

#include "parsefilesystem/parsefat/fatextents.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "parsefilesystem/parsefat/tests/fatbytes.h"
#include "parsefilesystem/parsefat/tests/fattestenv.h"

namespace {

TEST(FatValidators, ShortNamesExtensionsAndTimes) {
  struct Case {
    const char* bytes;
    bool name;
  } names[] = {
      {"README  ", true},   {" README ", false},  {"\xE5" "EADME  ", true},  {"A*B     ", false},
      {"A?B     ", false},  {"A\x01" "B     ", false}, {"A\x1A" "B     ", true}, {"\x81*B     ", true},
      {"A|B     ", false},  {"a+b     ", true},
  };
  for (const Case& c : names)
    EXPECT_EQ(IsValidShortName(reinterpret_cast<const uint8_t*>(c.bytes), 8), c.name) << c.bytes;
  struct ExtCase {
    const char* bytes;
    bool ok;
  } exts[] = {{"TXT", true}, {"   ", true}, {"T\xFFT", false}, {"T:T", false}, {"T\x10T", false}};
  for (const ExtCase& c : exts) EXPECT_EQ(IsValidShortExt(reinterpret_cast<const uint8_t*>(c.bytes)), c.ok) << c.bytes;
  EXPECT_TRUE(IsValidFatTime(0));
  EXPECT_TRUE(IsValidFatTime((23 << 11) | (59 << 5) | 29));
  EXPECT_FALSE(IsValidFatTime((24 << 11)));
  EXPECT_FALSE(IsValidFatTime((10 << 11) | (60 << 5)));
  EXPECT_FALSE(IsValidFatTime((10 << 11) | 30));
}

TEST(FatValidators, EntryRunsAndLongNameRuns) {
  const Entry file = ShortEntry("FILE    TXT", 0x20, 5, 100);
  std::vector<Entry> entries = LfnRun(u"A long name.txt", file);
  entries.push_back(file);
  entries.push_back(ShortEntry("SUB        ", 0x10, 6, 0));
  auto bytes = Join(entries);
  bytes.resize(512, 0);
  EXPECT_TRUE(ValidateFatDirEntries(bytes.data(), 512));
  EXPECT_TRUE(ValidateFatLfnRun(bytes.data(), 512, uint8_t((bytes[0] & 0x0F) + 1), bytes[13]));
  // A directory with a size, garbage behind the zero end, a fill pattern.
  auto bad = bytes;
  bad[2 * 32 + 28 + 32] = 1;  // size of SUB
  EXPECT_FALSE(ValidateFatDirEntries(bad.data(), 512));
  bad = bytes;
  bad[500] = 7;
  EXPECT_FALSE(ValidateFatDirEntries(bad.data(), 512));
  std::vector<uint8_t> fill(512, 0x20);
  EXPECT_FALSE(ValidateFatEntryRun(fill.data(), 512));
  // Wrong checksum inside a run.
  bad = bytes;
  bad[13] ^= 1;
  EXPECT_FALSE(ValidateFatLfnRun(bad.data(), 512, uint8_t((bad[0] & 0x0F) + 1), bytes[13]));
  // A deleted run followed by its deleted short entry.
  auto deleted = bytes;
  for (int i = 0; i < 3; ++i) deleted[size_t(i) * 32] = 0xE5;
  EXPECT_TRUE(ValidateDeletedLfnRun(deleted.data(), 512, deleted[13]));
  // A label first, then entries.
  std::vector<Entry> withLabel{ShortEntry("MYLABEL    ", 0x08, 0, 0, 0, 0), file};
  auto lb = Join(withLabel);
  lb.resize(512, 0);
  EXPECT_TRUE(IsFatVolumeLabelEntry(lb.data()));
  EXPECT_TRUE(ValidateFatDirEntries(lb.data(), 512));
}

TEST(FatBootSector, PredicatesAndGeometry) {
  auto b = Fat16Boot();
  EXPECT_TRUE(IsFat16BootSector(b.data()));
  Put16(&b[0x18], 62);
  EXPECT_TRUE(IsFat16BootSector(b.data()));  // 62 sectors per track, 255 heads
  Put16(&b[0x1A], 16);
  EXPECT_FALSE(IsFat16BootSector(b.data()));  // 62 and 16
  b = Fat16Boot();
  b[0x0D] = 3;
  EXPECT_FALSE(IsFat16BootSector(b.data()));
  b = Fat16Boot();
  std::memcpy(&b[0x36], "FAT12   ", 8);
  EXPECT_FALSE(IsFat16BootSector(b.data()));
  EXPECT_FALSE(IsFat32BootSector(b.data()));
  b = Fat16Boot();
  std::memcpy(&b[0x52], "FAT32   ", 8);
  b[0x15] = 0xF0;
  EXPECT_TRUE(IsFat32BootSector(b.data()));
  b[510] = 0;
  EXPECT_FALSE(IsFat32BootSector(b.data()));
  // Small volumes keep their total in the 16-bit field.
  b = Fat16Boot();
  Put16(&b[0x13], 30000);
  EXPECT_EQ(FatBootTotalSectors(b.data()), 30000u);
  Put32(&b[0x20], 70000);
  EXPECT_EQ(FatBootTotalSectors(b.data()), 70000u);
}

// A FAT16 context with one sector per cluster, data from LBA 3 and clusters 2 .. 101.
class FatEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFatTestSettings();
    auto b = Fat16Boot();
    b[0x0D] = 1;
    Put16(&b[0x0E], 1);
    b[0x10] = 1;
    Put16(&b[0x11], 16);
    Put16(&b[0x16], 1);
    std::memcpy(ctx_.bootSector, b.data(), 512);
    ctx_.type = kVolTypeFat16;
    ctx_.sectorCount = 103;
    CreateRootAndLostFolders(ctx_);
  }
  void TearDown() override {
    if (ctx_.fatBuffer) FreeMem(ctx_.fatBuffer);
    ctx_.fatBuffer = nullptr;
    FreeAllFileRecords(ctx_);
  }
  std::map<std::u16string, const FileRecord*> Records() {
    std::map<std::u16string, const FileRecord*> m;
    for (uint32_t id = kRootId + 1; id < ctx_.idLimit; ++id)
      if (const FileRecord* r = GetFileRecord(ctx_, id, 0)) m[r->name] = r;
    return m;
  }
  void Parse(const std::vector<Entry>& entries) {
    const auto bytes = Join(entries);
    ParseFatDirEntries(ctx_, bytes.data(), uint32_t(bytes.size()), kRootId, 0);
  }
  void SetFat(std::initializer_list<std::pair<uint32_t, uint16_t>> entries) {
    ctx_.fatBuffer = static_cast<uint8_t*>(AllocMem(512, 1));
    std::memset(ctx_.fatBuffer, 0, 512);
    ctx_.fatBufferSize = 512;
    for (auto [c, v] : entries) Put16(ctx_.fatBuffer + 2 * c, v);
  }
  VolumeContext ctx_;
};

TEST_F(FatEntriesTest, TimesMarksLabelsAndNames) {
  const Entry deleted = [] {
    Entry e = ShortEntry("\xE5" "ELME   TXT", 0x20, 7, 10);
    return e;
  }();
  const Entry longFile = ShortEntry("E~1     TXT", 0x20, 9, 5);
  std::vector<Entry> entries{
      ShortEntry("TIMED   TXT", 0x20, 5, 10, 0x5284, (10 << 11) | (20 << 5) | 15),
      ShortEntry("VOLUME     ", 0x08, 0, 0),
      ShortEntry("ARCHLAB    ", 0x28, 0, 0),
      deleted,
      ShortEntry(".          ", 0x10, 2, 0),
      ShortEntry("..         ", 0x10, 0, 0),
  };
  for (const Entry& e : LfnRun(u"été 写真 name.txt", longFile)) entries.push_back(e);
  entries.push_back(longFile);
  Parse(entries);
  auto recs = Records();
  ASSERT_TRUE(recs.count(u"TIMED.TXT"));
  EXPECT_EQ(PackedTimeToText(recs[u"TIMED.TXT"]->mtime), CString(u"2021-04-04  10:20:30"));
  EXPECT_EQ(uint64_t(recs[u"TIMED.TXT"]->lba), 3u + 3u);
  EXPECT_FALSE(recs.count(u"VOLUME"));
  EXPECT_TRUE(recs.count(u"ARCHLAB"));
  ASSERT_TRUE(recs.count(u"!ELME.TXT"));
  EXPECT_FALSE(recs[u"!ELME.TXT"]->flags & kRecInUse);
  EXPECT_TRUE(recs.count(u"été 写真 name.txt"));
  EXPECT_FALSE(recs.count(u"."));
  EXPECT_FALSE(recs.count(u".."));
  EXPECT_EQ(recs.size(), 4u);
}

TEST_F(FatEntriesTest, ChecksumMismatchDropsTheEntryAndTheNextIsRead) {
  const Entry file = ShortEntry("FILE1   TXT", 0x20, 5, 10);
  std::vector<Entry> entries = LfnRun(u"Mismatched name.txt", ShortEntry("OTHER   TXT", 0x20, 5, 10));
  entries.push_back(file);
  entries.push_back(ShortEntry("NEXT    TXT", 0x20, 6, 10));
  Parse(entries);
  auto recs = Records();
  EXPECT_FALSE(recs.count(u"Mismatched name.txt"));
  EXPECT_FALSE(recs.count(u"FILE1.TXT"));
  EXPECT_TRUE(recs.count(u"NEXT.TXT"));
}

TEST_F(FatEntriesTest, DeletedLongNameRunKeepsItsNameAndALiveEntryBehindItEndsTheDirectory) {
  Entry shortE = ShortEntry("DELETE~1BIN", 0x20, 8, 10);
  std::vector<Entry> run = LfnRun(u"Deleted long name.bin", shortE);
  for (Entry& e : run) e[0] = 0xE5;
  shortE[0] = 0xE5;
  std::vector<Entry> entries = run;
  entries.push_back(shortE);
  Parse(entries);
  auto recs = Records();
  ASSERT_TRUE(recs.count(u"Deleted long name.bin"));
  EXPECT_FALSE(recs[u"Deleted long name.bin"]->flags & kRecInUse);

  FreeAllFileRecords(ctx_);
  ctx_.idLimit = 0;
  CreateRootAndLostFolders(ctx_);
  entries = run;
  entries.push_back(ShortEntry("LIVE    TXT", 0x20, 9, 10));
  entries.push_back(ShortEntry("AFTER   TXT", 0x20, 10, 10));
  Parse(entries);
  EXPECT_TRUE(Records().empty());
}

TEST_F(FatEntriesTest, ExtentsFollowChainsAndSurviveLoops) {
  DataExtentList ext;
  FileRecord rec{};
  rec.flags = kRecInUse;
  // 10 -> 11 -> 10: the loop goes on with the next cluster, so the file reads 10, 11, 12.
  SetFat({{10, 11}, {11, 10}, {12, 0xFFFF}});
  rec.firstCluster = 10;
  rec.size = 3 * 512;
  ASSERT_TRUE(GetFatFileExtents(ctx_, rec, ext));
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0].startLba, 3u + 8u);
  EXPECT_EQ(ext[0].sectorCount, 3u);
  EXPECT_EQ(ext[0].clusterDelta, 0);
  // A fragmented chain: 20 -> 30 -> end.
  FreeMem(ctx_.fatBuffer);
  SetFat({{20, 30}, {30, 0xFFF8}});
  rec.firstCluster = 20;
  rec.size = 1000;
  ASSERT_TRUE(GetFatFileExtents(ctx_, rec, ext));
  ASSERT_EQ(ext.size(), 2u);
  EXPECT_EQ(ext[1].startLba, 3u + 28u);
  // A cluster that loops to itself with a huge size stops at the volume's last cluster.
  FreeMem(ctx_.fatBuffer);
  SetFat({{50, 50}});
  rec.firstCluster = 50;
  rec.size = 0xFFFFFFFF;
  ASSERT_TRUE(GetFatFileExtents(ctx_, rec, ext));
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0].startLba + ext[0].sectorCount, 3u + 100u);  // clusters 2 .. 101
  // Empty files and clusters outside the volume have no data.
  rec.firstCluster = 0;
  EXPECT_FALSE(GetFatFileExtents(ctx_, rec, ext));
  rec.firstCluster = 1;
  EXPECT_FALSE(GetFatFileExtents(ctx_, rec, ext));
  rec.firstCluster = 102;
  EXPECT_FALSE(GetFatFileExtents(ctx_, rec, ext));
  EXPECT_EQ(FatClusterLba(ReadFatGeometry(ctx_), 0), 0u);
  // A deleted directory: one run of its recorded size.
  rec.flags = kRecDirectory;
  rec.firstCluster = 40;
  rec.size = 1024;
  ASSERT_TRUE(GetFatFileExtents(ctx_, rec, ext));
  ASSERT_EQ(ext.size(), 1u);
  EXPECT_EQ(ext[0].sectorCount, 2u);
}

TEST(FatWalk, DirectoryThatContainsItselfAndLoopsInItsChain) {
  LoadFatTestSettings();
  // FAT16, 200 sectors (16-bit total), one sector per cluster: FAT at 1, root at 2, data at 3.
  ImageFile img("fat_selfdir.img", 200);
  auto b = Fat16Boot();
  b[0x0D] = 1;
  Put16(&b[0x0E], 1);
  b[0x10] = 1;
  Put16(&b[0x11], 16);
  Put16(&b[0x13], 200);
  Put16(&b[0x16], 1);
  img.Write(0, b.data(), 512);
  const uint8_t fat[8] = {0xF8, 0xFF, 0xFF, 0xFF, 2, 0, 0xFF, 0xFF};  // cluster 2 -> 2
  img.Write(512, fat, sizeof fat);
  img.WriteEntries(2, {ShortEntry("LOOP       ", 0x10, 2, 0)});
  img.WriteEntries(3, {ShortEntry(".          ", 0x10, 2, 0), ShortEntry("..         ", 0x10, 0, 0),
                       ShortEntry("SELF       ", 0x10, 2, 0), ShortEntry("FILE    TXT", 0x20, 3, 10)});
  VolumeContext vol;
  ASSERT_TRUE(SetupImageVolume(img.path(), vol));
  EXPECT_EQ(vol.sectorCount, 200u);
  ASSERT_TRUE(ParseFatVolume(&ScanRunState, vol));
  std::map<std::u16string, uint32_t> names;
  for (uint32_t id = kRootId + 1; id < vol.idLimit; ++id)
    if (const FileRecord* r = GetFileRecord(vol, id, 0)) names[r->name] += 1;
  EXPECT_EQ(names[u"LOOP"], 1u);
  EXPECT_EQ(names[u"SELF"], 1u);
  EXPECT_EQ(names[u"FILE.TXT"], 1u);
  FreeAllFileRecords(vol);
}

TEST(FatWalk, StopRequestedBeforeTheWalkKeepsNothing) {
  LoadFatTestSettings();
  ImageFile img("fat_stop.img", 200);
  auto b = Fat16Boot();
  b[0x0D] = 1;
  Put16(&b[0x0E], 1);
  b[0x10] = 1;
  Put16(&b[0x11], 16);
  Put16(&b[0x13], 200);
  Put16(&b[0x16], 1);
  img.Write(0, b.data(), 512);
  VolumeContext vol;
  ASSERT_TRUE(SetupImageVolume(img.path(), vol));
  std::atomic<uint32_t> state{kScanStopped};
  EXPECT_FALSE(ParseFatVolume(&state, vol));
  FreeAllFileRecords(vol);
  // The parser is off unless the edition enables it.
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
  std::atomic<uint32_t> run{kScanRunning};
  EXPECT_FALSE(ParseFatVolume(&run, vol));
}

}  // namespace
