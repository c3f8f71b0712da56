#include "parsefilesystem/parsentfs/foundmftrecord.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/heap.h"
#include "core/filetree.h"
#include "parsefilesystem/parsentfs/tests/ntfstestrecords.h"

namespace {

// The record in a heap block of exactly 1024 bytes: a read past it is caught by the sanitizer.
struct HeapRecord {
  uint8_t* bytes;
  explicit HeapRecord(const RecordBuilder& r) : bytes(new uint8_t[kMftRecordBytes]) {
    std::memcpy(bytes, r.b, kMftRecordBytes);
  }
  ~HeapRecord() { delete[] bytes; }
};

std::u16string NameOf(const MftHitInfo& info) {
  const char16_t* name = info.name;
  return name ? std::u16string(name, info.nameLength) : std::u16string();
}

struct Parsed {
  bool ok = false;
  MftHitInfo info{};
  explicit Parsed(const RecordBuilder& r) {
    HeapRecord rec(r);
    ok = ParseFoundMftRecord(rec.bytes, info);
  }
  ~Parsed() {
    char16_t* name = info.name;
    uint8_t* runs = info.runList;
    if (name) FreeMem(name);
    if (runs) FreeMem(runs);
  }
};

class FoundMftRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_F(FoundMftRecord, SummaryOfFilesAndDirectories) {
  // A resident file with a Win32 name.
  {
    RecordBuilder r(77, 1);
    r.StandardInfo(TestFileTime(), TestFileTime(3600));
    r.FileName(40, u"notes.txt", 1);
    r.Resident(kAttrData, std::vector<uint8_t>(300, 'x'));
    Parsed p(r);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(Val(p.info.recordNumber), 77u);
    EXPECT_EQ(Val(p.info.parentRecord), 40u);
    EXPECT_EQ(NameOf(p.info), u"notes.txt");
    EXPECT_EQ(Val(p.info.flags), kMftHitInUse | kMftHitResidentData);
    EXPECT_EQ(Val(p.info.dataSize), 300u);
    EXPECT_NE(Val(p.info.ctime), 0u);
    EXPECT_NE(Val(p.info.ctime), Val(p.info.mtime));
    EXPECT_EQ(Val(p.info.runListLength), 0u);
  }
  // A deleted non-resident file: sizes and a copy of the run list.
  {
    RecordBuilder r(78, 0);
    r.StandardInfo(TestFileTime(), TestFileTime());
    r.FileName(5, u"big.bin", 3);
    const uint32_t at = r.NonResident(kAttrData, 10000, {0x21, 0x03, 0x00, 0x01, 0x00});
    Put64(r.b + at + 0x28, 12288);
    Parsed p(r);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(Val(p.info.flags), 0);
    EXPECT_EQ(Val(p.info.dataSize), 10000u);
    EXPECT_EQ(Val(p.info.allocatedSize), 12288u);
    // The run list runs to the attribute's end (padding included).
    ASSERT_EQ(Val(p.info.runListLength), 8u);
    EXPECT_EQ(p.info.runList[0], 0x21);
    EXPECT_EQ(p.info.runList[3], 0x01);
  }
  // A directory with an index allocation.
  {
    RecordBuilder r(90, 3);
    r.StandardInfo(TestFileTime(), TestFileTime());
    r.FileName(5, u"docs", 1);
    r.NonResident(kAttrIndexAllocation, 4096, {0x11, 0x01, 0x30, 0x00});
    Parsed p(r);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(Val(p.info.flags), kMftHitInUse | kMftHitDirectory | kMftHitIndexAllocation);
    EXPECT_EQ(Val(p.info.dataSize), 0u);
  }
  // A real size past the allocated size and past 32 bits keeps its low 32 bits only.
  {
    RecordBuilder r(79, 1);
    r.StandardInfo(TestFileTime(), TestFileTime());
    r.FileName(5, u"odd.bin", 1);
    const uint32_t at = r.NonResident(kAttrData, 0x500000010ull, {0x11, 0x01, 0x30});
    Put64(r.b + at + 0x28, 4096);
    Parsed p(r);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(Val(p.info.dataSize), 0x10u);
  }
}

TEST_F(FoundMftRecord, NameChoice) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::u16string, uint8_t>> names;  // (name, namespace) in record order
    std::u16string want;                                      // "" refused
  };
  const Case cases[] = {
      {"POSIX, then Win32 replaces it", {{u"posix", 0}, {u"Long Name.txt", 1}}, u"Long Name.txt"},
      {"Win32 ends the search", {{u"Long Name.txt", 1}, {u"later", 0}}, u"Long Name.txt"},
      {"DOS-only names are passed over", {{u"LONGNA~1.TXT", 2}}, u""},
      {"DOS, then POSIX", {{u"LONGNA~1.TXT", 2}, {u"posix", 0}}, u"posix"},
      {"second POSIX name is not taken", {{u"first", 0}, {u"second", 0}}, u"first"},
      {"embedded NUL cuts the name", {{std::u16string(u"ab\0cd", 5), 1}}, u"ab"},
      {"empty Win32 name drops the POSIX one", {{u"posix", 0}, {u"", 1}}, u""},
      {"unknown namespace passed over", {{u"odd", 7}, {u"good", 3}}, u"good"},
  };
  for (const Case& c : cases) {
    RecordBuilder r(100, 1);
    r.StandardInfo(TestFileTime(), TestFileTime());
    for (const auto& [name, ns] : c.names) r.FileName(5, name, ns);
    Parsed p(r);
    EXPECT_EQ(p.ok, !c.want.empty()) << c.what;
    if (p.ok) {
      EXPECT_EQ(NameOf(p.info), c.want) << c.what;
    }
  }
}

TEST_F(FoundMftRecord, DataIsTakenAfterTheChosenName) {
  // A $DATA before the Win32 name belongs to no name the summary shows: the one after it counts.
  RecordBuilder r(101, 1);
  r.StandardInfo(TestFileTime(), TestFileTime());
  r.Resident(kAttrData, std::vector<uint8_t>(10, 'a'));
  r.FileName(5, u"file.txt", 1);
  r.Resident(kAttrData, std::vector<uint8_t>(20, 'b'));
  Parsed p(r);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(Val(p.info.dataSize), 20u);
}

// Hostile records: every read stays inside the 1024 bytes (the heap record makes the sanitizer
// see any that does not), and what cannot be read is refused or left out.
TEST_F(FoundMftRecord, HostileRecordsStayInsideTheRecord) {
  struct Case {
    const char* what;
    void (*damage)(RecordBuilder& r);
    bool accepted;
  };
  const Case cases[] = {
      {"not FILE", [](RecordBuilder& r) { std::memcpy(r.b, "BAAD", 4); }, false},
      {"no standard information", [](RecordBuilder& r) { Put32(r.b + 0x38, 0x20); }, false},
      {"standard information value offset past 512",
       [](RecordBuilder& r) { Put16(r.b + 0x38 + 0x14, 520); }, false},
      {"standard information times past the record end",
       [](RecordBuilder& r) {
         // The attribute sits at the record's end with a value offset of 500.
         Put16(r.b + 0x14, 0x3E0);
         Put32(r.b + 0x3E0, 0x10);
         Put32(r.b + 0x3E4, 0x20);
         Put16(r.b + 0x3E0 + 0x14, 500);
       },
       false},
      {"file name value offset past the record",
       [](RecordBuilder& r) { Put16(r.b + 0x80 + 0x14, 0xFFF0); }, false},
      {"file name length past the record",
       [](RecordBuilder& r) {
         // The name's value moved to the record's last bytes with 255 characters declared.
         Put16(r.b + 0x80 + 0x14, uint16_t(0x3F0 - 0x80 - 0x42));
         r.b[0x3F0 - 2] = 255;
         r.b[0x3F0 - 1] = 1;
       },
       false},
      {"attribute length past the record",
       [](RecordBuilder& r) { Put32(r.b + 0x80 + 4, 0x400); }, false},
      {"first attribute offset past the record", [](RecordBuilder& r) { Put16(r.b + 0x14, 0x3FC); }, false},
      {"data run list attribute running past the record",
       [](RecordBuilder& r) { Put32(r.b + 0xF0 + 4, 0x3F0); }, true},
      {"data non-resident header cut by its length",
       [](RecordBuilder& r) { Put32(r.b + 0xF0 + 4, 0x20); }, true},
      {"data mapping pairs offset past the attribute",
       [](RecordBuilder& r) { Put16(r.b + 0xF0 + 0x20, 0x300); }, true},
  };
  for (const Case& c : cases) {
    RecordBuilder r(102, 1);
    ASSERT_EQ(r.StandardInfo(TestFileTime(), TestFileTime()), 0x38u);
    ASSERT_EQ(r.FileName(5, u"name.bin", 1), 0x80u);
    ASSERT_EQ(r.NonResident(kAttrData, 5000, {0x11, 0x02, 0x20}), 0xF0u);
    c.damage(r);
    Parsed p(r);
    EXPECT_EQ(p.ok, c.accepted) << c.what;
    if (p.ok) {
      EXPECT_LE(Val(p.info.runListLength), 8u) << c.what;
    }
  }
}

TEST_F(FoundMftRecord, SummaryBlockIsFreedWhole) {
  RecordBuilder r(103, 1);
  r.StandardInfo(TestFileTime(), TestFileTime());
  r.FileName(5, u"x.dat", 1);
  r.NonResident(kAttrData, 5000, {0x11, 0x02, 0x20});
  HeapRecord rec(r);
  void* detail = nullptr;
  ASSERT_TRUE(SummarizeFoundMftRecord(rec.bytes, 0, &detail));
  ASSERT_NE(detail, nullptr);
  EXPECT_EQ(GetMemSize(detail), sizeof(MftHitInfo));
  FreeMftHitInfo(detail);  // the leak checker sees a name or run list left behind

  std::memcpy(rec.bytes, "BAAD", 4);
  EXPECT_FALSE(SummarizeFoundMftRecord(rec.bytes, 0, &detail));
  EXPECT_EQ(detail, nullptr);
}

TEST_F(FoundMftRecord, FileRecordFromHit) {
  VolumeContext vol;
  vol.firstLba = 1000;
  vol.sectorCount = kUnknownSectorCount;
  vol.bootSector[0x0D] = 8;
  vol.type = kVolTypeNtfs;
  auto summary = [](const RecordBuilder& r) {
    HeapRecord rec(r);
    void* detail = nullptr;
    EXPECT_TRUE(SummarizeFoundMftRecord(rec.bytes, 0, &detail));
    return detail;
  };
  RecordBuilder resident(200, 1);
  resident.StandardInfo(TestFileTime(), TestFileTime());
  resident.FileName(41, u"small.txt", 1);
  resident.Resident(kAttrData, std::vector<uint8_t>(50, 'q'));
  RecordBuilder outside(201, 0);
  outside.StandardInfo(TestFileTime(), TestFileTime());
  outside.FileName(42, u"photo.jpg", 1);
  outside.NonResident(kAttrData, 9000, {0x11, 0x03, 0x20});  // LCN 0x20
  RecordBuilder dir(202, 3);
  dir.StandardInfo(TestFileTime(), TestFileTime());
  dir.FileName(5, u"folder", 1);

  struct Case {
    const char* what;
    SectorHit hit;
    uint64_t lba;
    uint16_t flags;
    uint64_t size;
  };
  Case cases[] = {
      {"resident: the record's own LBA", SectorHit{224, 0, 5000, 0, summary(resident)}, 5000,
       kRecInUse | kRecResident, 50},
      {"non-resident: its first cluster", SectorHit{224, 0, 5002, 0, summary(outside)}, 1000 + 8 * 0x20, 0, 9000},
      {"directory without data", SectorHit{224, 0, 5004, 0, summary(dir)}, 0, kRecInUse | kRecDirectory, 0},
  };
  for (Case& c : cases) {
    FileRecord rec;
    ASSERT_TRUE(FileRecordFromMftHit(vol, rec, c.hit)) << c.what;
    EXPECT_EQ(Val(rec.lba), c.lba) << c.what;
    EXPECT_EQ(Val(rec.flags), c.flags) << c.what;
    EXPECT_EQ(Val(rec.size), c.size) << c.what;
    const MftHitInfo* info = MftHitSummary(c.hit);
    EXPECT_EQ(Val(rec.id), Val(info->recordNumber)) << c.what;
    EXPECT_EQ(Val(rec.parent), Val(info->parentRecord)) << c.what;
    EXPECT_EQ(Val(rec.blobLength), Val(info->runListLength)) << c.what;
    FreeFileRecord(rec);
  }
  // Another kind, or a summary without a name, makes no record.
  SectorHit other = cases[0].hit;
  other.kind = 225;
  FileRecord rec;
  EXPECT_FALSE(FileRecordFromMftHit(vol, rec, other));
  auto* bare = static_cast<MftHitInfo*>(AllocMem(sizeof(MftHitInfo), 1));
  std::memset(static_cast<void*>(bare), 0, sizeof(MftHitInfo));
  EXPECT_FALSE(FileRecordFromMftHit(vol, rec, SectorHit{224, 0, 7000, 0, bare}));
  FreeMftHitInfo(bare);
  for (Case& c : cases) FreeMftHitInfo(c.hit.detail);
}

}  // namespace
