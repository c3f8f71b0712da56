// The FAT parser on hand-built bytes: entry validators, boot-sector tests, directory entries,
// cluster chains with loops, and a directory that contains itself.
#include <map>

#include "base/heap.h"
#include "base/packedtime.h"

#include "parsefilesystem/parsefat/fatextents.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "parsefilesystem/parsefat/fatknownlba.h"
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

TEST_F(FatEntriesTest, ChecksumMismatchKeepsTheShortNameAndTheNextIsRead) {
  const Entry file = ShortEntry("FILE1   TXT", 0x20, 5, 10);
  std::vector<Entry> entries = LfnRun(u"Mismatched name.txt", ShortEntry("OTHER   TXT", 0x20, 5, 10));
  entries.push_back(file);
  entries.push_back(ShortEntry("NEXT    TXT", 0x20, 6, 10));
  Parse(entries);
  auto recs = Records();
  EXPECT_FALSE(recs.count(u"Mismatched name.txt"));
  EXPECT_TRUE(recs.count(u"FILE1.TXT"));
  EXPECT_TRUE(recs.count(u"NEXT.TXT"));
}

TEST_F(FatEntriesTest, DeletedLongNameRunsKeepTheirNamesAndNeverEndTheDirectory) {
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

  // The run's short entry was taken by a live file: the run names nothing, and every live
  // entry after it is there.
  FreeAllFileRecords(ctx_);
  ctx_.idLimit = 0;
  CreateRootAndLostFolders(ctx_);
  entries = run;
  entries.push_back(ShortEntry("LIVE    TXT", 0x20, 9, 10));
  entries.push_back(ShortEntry("AFTER   TXT", 0x20, 10, 10));
  Parse(entries);
  recs = Records();
  EXPECT_EQ(recs.size(), 2u);
  EXPECT_TRUE(recs.count(u"LIVE.TXT"));
  EXPECT_TRUE(recs.count(u"AFTER.TXT"));
}

TEST_F(FatEntriesTest, LowerCaseShortNamesKeepTheirCase) {
  const struct {
    const char* name11;
    uint8_t caseBits;
    const char16_t* shown;
  } cases[] = {
      {"NOTES      ", 0x08, u"notes"},
      {"PHOTO   JPG", 0x18, u"photo.jpg"},
      {"README  TXT", 0x10, u"README.txt"},
      {"MIXED   TXT", 0x08, u"mixed.TXT"},
      {"UPPER   TXT", 0x00, u"UPPER.TXT"},
      {"A_1-2   \xE9T ", 0x18, u"a_1-2.\u00E9t"},  // only A-Z change case
  };
  std::vector<Entry> entries;
  uint32_t cluster = 5;
  for (const auto& c : cases) {
    Entry e = ShortEntry(c.name11, 0x20, cluster++, 10);
    e[12] = c.caseBits;
    entries.push_back(e);
  }
  Parse(entries);
  const auto recs = Records();
  for (const auto& c : cases) EXPECT_TRUE(recs.count(c.shown)) << CString(c.shown).ToUtf8();
}

// A FAT16 volume of clusters 2 .. 101 (one sector each, data from LBA 3).
TEST_F(FatEntriesTest, ExtentsOfLiveAndDeletedFiles) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint32_t, uint16_t>> fat;
    uint32_t first;
    uint64_t size;
    uint16_t flags;
    std::vector<std::pair<uint64_t, uint64_t>> runs;  // first cluster, clusters
  };
  const uint16_t live = kRecInUse;
  const Case cases[] = {
      {"a fragmented chain", {{20, 30}, {30, 0xFFFF}}, 20, 1000, live, {{20, 1}, {30, 1}}},
      {"the size is covered before the end mark", {{20, 21}, {21, 22}, {22, 0xFFFF}}, 20, 600, live, {{20, 2}}},
      // A chain that ends early gives what it has: never the clusters after it.
      {"an end mark before the size", {{20, 21}, {21, 0xFFF8}, {22, 0xFFFF}}, 20, 5 * 512, live, {{20, 2}}},
      {"a loop ends the chain", {{10, 11}, {11, 10}, {12, 0xFFFF}}, 10, 3 * 512, live, {{10, 2}}},
      {"a cluster that names itself", {{50, 50}}, 50, 0xFFFFFFFF, live, {{50, 1}}},
      {"a bad-cluster mark", {{20, 0xFFF7}}, 20, 2 * 512, live, {{20, 1}}},
      {"a cleared entry goes on into a free cluster", {{60, 0}}, 60, 3 * 512, live, {{60, 3}}},
      {"but not into one in use", {{60, 0}, {61, 0xFFFF}}, 60, 3 * 512, live, {{60, 1}}},
      // Deleted: the chain was cleared; the free clusters after the start, used ones passed over.
      {"deleted, free after its start", {}, 40, 3 * 512, 0, {{40, 3}}},
      {"deleted, passing clusters in use", {{41, 0xFFFF}, {42, 43}, {43, 0xFFFF}}, 40, 3 * 512, 0, {{40, 1}, {44, 2}}},
      {"deleted, its start in use again", {{40, 0xFFFF}}, 40, 512, 0, {}},
      {"deleted, never past the volume", {}, 100, 10 * 512, 0, {{100, 2}}},
      {"a deleted directory: one run of its size", {{40, 0xFFFF}}, 40, 1024, kRecDirectory, {{40, 2}}},
      {"no start cluster", {}, 0, 100, live, {}},
      {"a start past the volume", {}, 102, 100, live, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (ctx_.fatBuffer) FreeMem(ctx_.fatBuffer);
    ctx_.fatBuffer = nullptr;
    SetFat({});
    for (auto [cl, v] : c.fat) Put16(ctx_.fatBuffer + 2 * cl, v);
    FileRecord rec{};
    rec.flags = c.flags;
    rec.firstCluster = c.first;
    rec.size = c.size;
    DataExtentList ext;
    EXPECT_EQ(GetFatFileExtents(ctx_, rec, ext), !c.runs.empty());
    std::vector<std::pair<uint64_t, uint64_t>> got;
    for (const DataExtent& e : ext) got.emplace_back((e.startLba - 3) + 2, e.sectorCount);
    EXPECT_EQ(got, c.runs);
  }
}

TEST_F(FatEntriesTest, LongChainsEndAtTheirFirstRepeatedCluster) {
  // 900 clusters; a chain 2 -> 3 -> ... -> 700 -> 2 runs past the point where its clusters are
  // kept in a bitmap. Twice, so the bitmap is cleared between files.
  ctx_.sectorCount = 903;
  ctx_.fatBuffer = static_cast<uint8_t*>(AllocMem(2048, 1));
  ctx_.fatBufferSize = 2048;
  for (uint32_t c = 2; c < 700; ++c) Put16(ctx_.fatBuffer + 2 * c, uint16_t(c + 1));
  Put16(ctx_.fatBuffer + 2 * 700, 2);
  for (uint32_t first : {2u, 300u}) {
    FileRecord rec{};
    rec.flags = kRecInUse;
    rec.firstCluster = first;
    rec.size = 0xFFFFFFFF;
    DataExtentList ext;
    ASSERT_TRUE(GetFatFileExtents(ctx_, rec, ext));
    uint64_t sectors = 0;
    for (const DataExtent& e : ext) sectors += e.sectorCount;
    EXPECT_EQ(sectors, 699u) << first;
  }
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

TEST(FatWalk, RootRegionThatHoldsNoEntriesIsNotParsed) {
  LoadFatTestSettings();
  // FAT16, 200 sectors, one sector per cluster: FAT at 1, root at 2, data at 3.
  ImageFile img("fat_badroot.img", 200);
  auto b = Fat16Boot();
  b[0x0D] = 1;
  Put16(&b[0x0E], 1);
  b[0x10] = 1;
  Put16(&b[0x11], 16);
  Put16(&b[0x13], 200);
  Put16(&b[0x16], 1);
  img.Write(0, b.data(), 512);
  const uint8_t fat[4] = {0xF8, 0xFF, 0xFF, 0xFF};
  img.Write(512, fat, sizeof fat);
  // What a damaged reserved-sector count puts there: bytes of 0xFF, each "entry" claiming 4 GiB.
  std::vector<uint8_t> ff(512, 0xFF);
  img.Write(2 * 512, ff.data(), ff.size());
  VolumeContext vol;
  ASSERT_TRUE(SetupImageVolume(img.path(), vol));
  ASSERT_TRUE(ParseFatVolume(&ScanRunState, vol));
  for (uint32_t id = kRootId + 1; id < vol.idLimit; ++id) EXPECT_EQ(GetFileRecord(vol, id, 0), nullptr) << id;
  FreeAllFileRecords(vol);

  // A plausible entry whose size no cluster of the volume can hold is kept, marked damaged.
  std::vector<uint8_t> zeros(512, 0);
  img.Write(2 * 512, zeros.data(), zeros.size());
  img.WriteEntries(2, {ShortEntry("HUGE    BIN", 0x20, 3, 0xFFFFFF00), ShortEntry("SMALL   TXT", 0x20, 4, 100)});
  ClearKnownFatLbaList();  // a second parse of the same sectors in one scan
  VolumeContext again;
  ASSERT_TRUE(SetupImageVolume(img.path(), again));
  ASSERT_TRUE(ParseFatVolume(&ScanRunState, again));
  std::map<std::u16string, uint16_t> flags;
  for (uint32_t id = kRootId + 1; id < again.idLimit; ++id)
    if (const FileRecord* r = GetFileRecord(again, id, 0)) flags[r->name] = r->flags;
  ASSERT_TRUE(flags.count(u"HUGE.BIN"));
  EXPECT_TRUE(flags[u"HUGE.BIN"] & kRecDamaged);
  EXPECT_FALSE(flags[u"SMALL.TXT"] & kRecDamaged);
  FreeAllFileRecords(again);
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
