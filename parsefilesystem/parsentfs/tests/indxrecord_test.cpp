// Index records: live and stale entries into the index-entry list, records that are abandoned,
// hostile lengths, the end-of-scan additions and the LBAs of short index allocations.
#include "parsefilesystem/parsentfs/indxrecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/ntfsrecord.h"

namespace {

void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
void Put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

struct EntrySpec {
  uint32_t number;
  uint32_t parent;
  std::u16string name;
  uint64_t size = 5000;
  int64_t allocated = -1;  // -1: the size rounded up to 8
  uint8_t nameSpace = 1;
  uint16_t flags = 0;
  bool dir = false;
  uint32_t length = 0;     // 0: the real length
};

// A repaired index record built entry by entry; entries start at 0x40.
struct Indx {
  uint8_t r[kIndxRecordBytes] = {};
  uint32_t pos = 0x40;
  Indx() {
    std::memcpy(r, "INDX", 4);
    Put16(r + 4, 0x28);
    Put16(r + 6, 9);
    Put32(r + 0x18, 0x28);
  }
  static uint32_t LengthOf(const EntrySpec& e) { return uint32_t((82 + 2 * e.name.size() + 7) / 8 * 8); }
  uint32_t At(uint32_t off, const EntrySpec& e) {
    uint8_t* p = r + off;
    Put32(p, e.number);
    Put16(p + 8, uint16_t(e.length ? e.length : LengthOf(e)));
    Put16(p + 0x0C, e.flags);
    Put32(p + 0x10, e.parent);
    Put64(p + 0x38, e.allocated < 0 ? (e.size + 7) / 8 * 8 : uint64_t(e.allocated));
    Put64(p + 0x40, e.size);
    Put32(p + 0x48, e.dir ? 0x10000000 : 0x20);
    p[0x50] = uint8_t(e.name.size());
    p[0x51] = e.nameSpace;
    for (size_t i = 0; i < e.name.size() && off + 82 + 2 * i + 2 <= kIndxRecordBytes; ++i)
      Put16(p + 82 + 2 * i, uint16_t(e.name[i]));
    return off;
  }
  uint32_t Add(const EntrySpec& e) {
    const uint32_t off = At(pos, e);
    pos += e.length ? e.length : LengthOf(e);
    return off;
  }
  void End() {
    Put16(r + pos + 8, 16);
    Put16(r + pos + 0x0C, 2);
    pos += 16;
  }
};

std::vector<std::u16string> ListedNames() {
  std::lock_guard<std::mutex> g(IndxFileListLock());
  std::vector<std::u16string> out;
  for (const FileRecord& rec : IndxFileList()) out.push_back(rec.name);
  return out;
}

class IndxRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"FileLost: FileLost\r\n");
    InitFileTypeTables();
    ClearIndxFileList();
    ClearKnownIndxLbas();
    ScanEndStageActive = 0;
  }
  void TearDown() override {
    ClearIndxFileList();
    ClearKnownIndxLbas();
    ScanEndStageActive = 0;
  }
};

TEST_F(IndxRecords, LiveAndStaleEntriesAboveTheirTypesMinimum) {
  Indx x;
  x.Add({40, 30, u"a.jpg", 5000});
  x.Add({41, 30, u"b.txt", 9000});    // no minimum size: walked over
  x.Add({42, 30, u"c.jpg", 100});     // below 4096
  x.Add({43, 30, u"sub", 0, -1, 1, 0, true});
  x.Add({44, 30, u"A~1.JPG", 5000, -1, 2});  // DOS name: passed over
  x.End();
  // The slack behind the end entry: stale copies of removed entries.
  uint32_t slack = x.pos + 24;
  slack = x.At(slack, {50, 30, u"s.jpg", 6000}) + Indx::LengthOf({50, 30, u"s.jpg"});
  slack = x.At(slack, {51, 30, u"wide.jpg", 6000, 6016}) + 96;  // allocated 16 past the size
  slack = x.At(slack, {52, 30, u"zero.jpg", 0, 0}) + 96;          // 0/0 taken, too small to keep
  slack = x.At(slack, {53, 99, u"other.jpg", 7000}) + 96;         // another parent
  x.At(slack, {54, 30, u"t.docx", 8000});
  ASSERT_TRUE(ParseIndxRecord(x.r));
  EXPECT_EQ(ListedNames(), (std::vector<std::u16string>{u"a.jpg", u"s.jpg", u"t.docx"}));
  std::lock_guard<std::mutex> g(IndxFileListLock());
  const FileRecord& a = IndxFileList()[0];
  EXPECT_EQ(uint32_t(a.id), 40u);
  EXPECT_EQ(uint32_t(a.parent), 30u);
  EXPECT_EQ(uint64_t(a.size), 5000u);
  EXPECT_EQ(int(a.typeId), 46);
  EXPECT_EQ(uint16_t(a.flags), kRecInUse);
  EXPECT_EQ(uint64_t(a.lba), 0u);
  EXPECT_EQ(static_cast<uint8_t*>(a.blob), nullptr);
}

TEST_F(IndxRecords, RecordsThatAreAbandoned) {
  struct Case {
    const char* what;
    std::vector<EntrySpec> entries;
  } cases[] = {
      {"two parents", {{40, 30, u"a.jpg"}, {41, 31, u"b.jpg"}}},
      {"first parent 0", {{40, 0, u"a.jpg"}, {41, 0, u"b.jpg"}}},
      {"repeated number", {{40, 30, u"a.jpg"}, {40, 30, u"b.jpg"}}},
      {"number 0", {{0, 30, u"a.jpg"}}},
  };
  for (const Case& c : cases) {
    Indx x;
    for (const EntrySpec& e : c.entries) x.Add(e);
    x.End();
    x.At(x.pos + 8, {60, 30, u"stale.jpg"});
    EXPECT_TRUE(ParseIndxRecord(x.r)) << c.what;
    EXPECT_TRUE(ListedNames().empty()) << c.what;
  }
  Indx x;
  x.r[0] = 'X';
  EXPECT_FALSE(ParseIndxRecord(x.r));
}

TEST_F(IndxRecords, HostileLengthsStayInsideTheBlock) {
  {
    // Entries offset that wraps in 32 bits.
    Indx x;
    Put32(x.r + 0x18, 0xFFFFFFF0);
    x.Add({40, 30, u"a.jpg"});
    EXPECT_TRUE(ParseIndxRecord(x.r));
  }
  {
    // The last live entry's name runs past the record's end.
    Indx x;
    x.Add({40, 30, u"a.jpg"});
    x.pos = kIndxRecordBytes - 100;
    x.Add({41, 30, std::u16string(200, u'n') + u".jpg", 5000, -1, 1, 0, false, 96});
    EXPECT_TRUE(ParseIndxRecord(x.r));
    EXPECT_EQ(ListedNames(), (std::vector<std::u16string>{u"a.jpg"}));
  }
  ClearIndxFileList();
  {
    // An entry length past the block: the live walk ends on it, and the slack walk must not
    // take the same entry a second time.
    Indx x;
    x.Add({40, 30, u"a.jpg"});
    x.Add({41, 30, u"b.jpg", 5000, -1, 1, 0, false, 4096 + 8});
    EXPECT_TRUE(ParseIndxRecord(x.r));
    EXPECT_EQ(ListedNames(), (std::vector<std::u16string>{u"a.jpg", u"b.jpg"}));
  }
  ClearIndxFileList();
  {
    // A full node: the entries end less than one entry head before the record's end.
    Indx x;
    uint32_t n = 0;
    while (x.pos + 2 * 96 < kIndxRecordBytes) x.Add({100 + n++, 30, u"full.jpg"});
    x.Add({100 + n++, 30, u"last.jpg", 5000, -1, 1, 0, false, kIndxRecordBytes - x.pos - 40});
    EXPECT_TRUE(ParseIndxRecord(x.r));
    const std::vector<std::u16string> names = ListedNames();
    EXPECT_EQ(names.size(), n);
    EXPECT_EQ(names.back(), u"last.jpg");
  }
}

TEST_F(IndxRecords, FixupsGoToACopy) {
  Indx x;
  x.Add({40, 30, u"a.jpg"});
  x.End();
  uint8_t raw[kIndxRecordBytes];
  std::memcpy(raw, x.r, sizeof raw);
  Put16(raw + 0x28, 0x0707);
  for (uint32_t i = 0; i < 8; ++i) {
    Put16(raw + 0x2A + 2 * i, uint16_t(0x1100 + i));
    Put16(raw + 512 * (i + 1) - 2, 0x0707);
  }
  uint8_t copy[kIndxRecordBytes];
  ASSERT_TRUE(RepairIndxRecord(raw, copy));
  EXPECT_EQ(copy[510], 0x00);
  EXPECT_EQ(copy[511], 0x11);
  EXPECT_EQ(raw[510], 0x07);
  ASSERT_TRUE(ParseRawIndxRecord(raw));
  EXPECT_EQ(raw[510], 0x07);
  EXPECT_EQ(ListedNames(), (std::vector<std::u16string>{u"a.jpg"}));
  Put16(raw + 1024 - 2, 0x0708);  // a torn sector
  EXPECT_FALSE(RepairIndxRecord(raw, copy));
  EXPECT_FALSE(ParseRawIndxRecord(raw));
}

FileRecord Item(uint32_t id, uint32_t parent, const char16_t* name, uint64_t size, uint32_t ctime, uint64_t lba) {
  FileRecord r;
  std::memset(static_cast<void*>(&r), 0, sizeof r);
  r.id = id;
  r.parent = parent;
  r.size = size;
  r.ctime = ctime;
  r.lba = lba;
  r.flags = kRecInUse;
  const size_t n = std::char_traits<char16_t>::length(name);
  r.name = static_cast<char16_t*>(AllocMem((n + 1) * 2, 1));
  std::memcpy(r.name, name, (n + 1) * 2);
  r.typeId = GetTypeIdByExtension(r.name);
  return r;
}

TEST_F(IndxRecords, IndexOnlyFilesJoinTheVolumeAtTheEnd) {
  VolumeContext vol;
  vol.type = kVolTypeNtfs;
  CreateRootAndLostFolders(vol);
  AddFileRecord(vol, Item(40, 5, u"known.jpg", 5000, 200, 0), 0);
  vol.earliestTime = 100;
  vol.latestTime = 300;
  {
    std::lock_guard<std::mutex> g(IndxFileListLock());
    IndxFileList().push_back(Item(40, 5, u"known.jpg", 5000, 200, 0));       // the volume has it
    IndxFileList().push_back(Item(41, 5, u"late.jpg", 5000, 400, 0));        // outside the times
    IndxFileList().push_back(Item(42, 5, u"only.jpg", 5000, 150, 800));      // added
    IndxFileList().push_back(Item(43, 5, u"huge.jpg", ~0ull, 150, 900));     // size near 2^64
  }
  const uint32_t limit = vol.idLimit;
  AddIndxOnlyFiles(vol);  // not at the end stage: nothing happens
  EXPECT_EQ(vol.idLimit, limit);
  EXPECT_EQ(ListedNames().size(), 4u);

  ScanEndStageActive = 1;
  AddIndxOnlyFiles(vol);
  EXPECT_EQ(ListedNames(), (std::vector<std::u16string>{u"late.jpg"}));
  ASSERT_EQ(vol.idLimit, limit + 2);
  const FileRecord* only = GetFileRecord(vol, limit);
  ASSERT_NE(only, nullptr);
  EXPECT_EQ(std::u16string(only->name), u"only.jpg");
  EXPECT_EQ(uint16_t(only->flags), kRecExtentList);
  EXPECT_EQ(int(only->typeId), 46);
  DataExtentList runs;
  ASSERT_EQ(GetRecordExtents(vol, limit, runs), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].startLba, 800u);
  EXPECT_EQ(runs[0].sectorCount, 10u);
  ASSERT_EQ(GetRecordExtents(vol, limit + 1, runs), 1);
  EXPECT_EQ(runs[0].sectorCount, (~0ull) / 512 + 1);
  FreeAllFileRecords(vol);
}

TEST_F(IndxRecords, ShortIndexAllocationsGiveTheirClusterLbas) {
  VolumeContext vol;
  vol.firstLba = 1000;
  vol.sectorCount = 1 << 20;
  vol.bootSector[0x0D] = 8;
  // A non-resident $INDEX_ALLOCATION: 2 clusters at LCN 100, then 16 clusters further on.
  uint8_t a[0x50] = {};
  Put32(a, kAttrIndexAllocation);
  Put32(a + 4, sizeof a);
  a[8] = 1;
  Put16(a + 0x20, 0x40);
  const uint8_t runs[] = {0x11, 0x02, 0x64, 0x11, 0x10, 0x20, 0x00};
  std::memcpy(a + 0x40, runs, sizeof runs);
  ASSERT_TRUE(CollectIndexAllocationLbas(vol, a, sizeof a));
  EXPECT_EQ(KnownIndxLbas(), (std::vector<uint64_t>{1000 + 800, 1000 + 808}));
  ClearKnownIndxLbas();
  EXPECT_FALSE(CollectIndexAllocationLbas(vol, a, sizeof a - 8));  // the attribute overruns
  Put16(a + 0x20, 0x50);
  EXPECT_FALSE(CollectIndexAllocationLbas(vol, a, sizeof a));       // run list past the attribute
  Put16(a + 0x20, 0x40);
  a[8] = 0;
  EXPECT_FALSE(CollectIndexAllocationLbas(vol, a, sizeof a));       // resident
  a[8] = 1;
  Put32(a, kAttrData);
  EXPECT_FALSE(CollectIndexAllocationLbas(vol, a, sizeof a));
  EXPECT_TRUE(KnownIndxLbas().empty());
}

}  // namespace
