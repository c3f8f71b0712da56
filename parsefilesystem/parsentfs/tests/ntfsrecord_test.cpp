#include "parsefilesystem/parsentfs/ntfsrecord.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/settings.h"
#include "base/heap.h"
#include "base/packedtime.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/ntfsvolume.h"
#include "parsefilesystem/parsentfs/tests/ntfstestrecords.h"

namespace {

VolumeContext TestVolume(uint64_t firstLba = 100, uint8_t spc = 8, uint64_t sectors = 80000) {
  VolumeContext vol;
  vol.firstLba = firstLba;
  vol.sectorCount = sectors;
  vol.bootSector[0x0D] = spc;
  vol.type = kVolTypeNtfs;
  return vol;
}

// The run list on the heap at its exact length, so a read past it is caught by the sanitizer.
DataExtentList Decode(const std::vector<uint8_t>& bytes) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
  std::memcpy(exact.get(), bytes.data(), bytes.size());
  DataExtentList out;
  DecodeDataRuns(exact.get(), uint32_t(bytes.size()), out);
  return out;
}

TEST(NtfsRunList, DecodesRunsTable) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<std::pair<int64_t, uint32_t>> runs;
  };
  const Case cases[] = {
      {"negative delta", {0x11, 0x05, 0xFE, 0x00}, {{-2, 5}}},
      {"two runs", {0x21, 0x10, 0x40, 0x00, 0x11, 0x08, 0x10, 0x00}, {{0x40, 16}, {0x10, 8}}},
      {"sparse run between", {0x11, 4, 10, 0x01, 3, 0x11, 2, 5}, {{10, 4}, {kSparseRunMark, 3}, {5, 2}}},
      {"nibble above 8 capped", {0x91, 3, 0x10, 0, 0, 0, 0, 0, 0, 0, 0x11, 2, 1}, {{16, 3}, {1, 2}}},
      {"last header at byte 8, its bytes missing", {0x21, 0x10, 0x05, 0x00, 0x21, 0x10, 0x05, 0x00, 0x22},
       {{5, 16}, {5, 16}, {0, 0}}},
      {"header with length bytes cut off", {0x31, 0x01}, {{0, 1}}},
      {"empty", {0x00}, {}},
  };
  for (const Case& c : cases) {
    DataExtentList out = Decode(c.bytes);
    ASSERT_EQ(out.size(), c.runs.size()) << c.what;
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].clusterDelta, c.runs[i].first) << c.what << " run " << i;
      EXPECT_EQ(out[i].clusterCount, c.runs[i].second) << c.what << " run " << i;
    }
  }
  DataExtentList untouched(1);
  EXPECT_FALSE(DecodeDataRuns(nullptr, 4, untouched));
  EXPECT_EQ(untouched.size(), 1u);
}

TEST(NtfsRunList, SectorsFromClustersAndBadRuns) {
  const VolumeContext vol = TestVolume(100, 8, 80000);  // 10000 clusters
  const uint64_t sparse = kHoleLbaBase, bad = kUnreadableLba;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<std::pair<uint64_t, uint64_t>> extents;  // start LBA, sectors
  };
  const Case cases[] = {
      {"plain", {0x11, 5, 4, 0}, {{132, 40}}},
      {"sparse keeps the LCN", {0x11, 4, 10, 0x01, 3, 0x11, 2, 5}, {{180, 32}, {sparse, 24}, {220, 16}}},
      // Runs the volume cannot hold are unreadable, never holes that read as zeros.
      {"LCN below 0", {0x11, 5, 0xFB, 0x11, 1, 0x0A}, {{bad, 40}, {140, 8}}},
      {"beyond the volume", {0x21, 5, 0x20, 0x4E}, {{bad, 40}}},
      {"wrapping delta", {0x81, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x11, 1, 3},
       {{bad, 8}, {124, 8}}},
      {"most negative delta", {0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x80}, {{bad, 8}}},
      // One place given twice (a damaged $MFT of one-cluster runs over the same cluster): only
      // the first run keeps it.
      {"runs over the same place", {0x11, 1, 5, 0x01, 1, 0x11, 1, 0, 0x11, 2, 0xFF}, {{140, 8}, {sparse, 8}, {bad, 8}, {bad, 16}}},
      {"a run inside an earlier one", {0x11, 8, 5, 0x11, 2, 2}, {{140, 64}, {bad, 16}}},
      {"touching runs", {0x11, 2, 5, 0x11, 2, 2}, {{140, 16}, {156, 16}}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[c.bytes.size()]);
    std::memcpy(exact.get(), c.bytes.data(), c.bytes.size());
    DataExtentList out;
    ASSERT_TRUE(DataRunsToSectors(vol, exact.get(), uint32_t(c.bytes.size()), out)) << c.what;
    ASSERT_EQ(out.size(), c.extents.size()) << c.what;
    for (size_t i = 0; i < out.size(); ++i) {
      EXPECT_EQ(out[i].startLba, c.extents[i].first) << c.what << " extent " << i;
      EXPECT_EQ(out[i].sectorCount, c.extents[i].second) << c.what << " extent " << i;
    }
  }
}

TEST(NtfsRecord, FixupReplacesSectorTailsEvenWhenTheyDiffer) {
  RecordBuilder r(40);
  Put16(r.b + 0x30, 0x0007);
  Put16(r.b + 0x32, 0x1234);
  Put16(r.b + 0x34, 0xABCD);
  Put16(r.b + 0x1FE, 0x0009);  // not the sequence number: a torn write
  Put16(r.b + 0x3FE, 0x0007);
  RepairMftRecord(r.b);
  EXPECT_EQ(NtfsRead16(r.b + 0x1FE), 0x1234);
  EXPECT_EQ(NtfsRead16(r.b + 0x3FE), 0xABCD);
}

class NtfsParseRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override { FreeFileRecord(rec); }
  bool Parse(RecordBuilder& r) {
    FreeFileRecord(rec);
    return ParseMftRecord(vol, r.b, rec);
  }
  std::u16string Name() const { return rec.name ? std::u16string(rec.name) : std::u16string(); }
  VolumeContext vol = TestVolume();
  FileRecord rec{};
};

TEST_F(NtfsParseRecord, FileWithTimesNameAndRuns) {
  RecordBuilder r(70);
  r.StandardInfo(TestFileTime(), TestFileTime(86400));
  r.FileName(64, u"report.doc", 1);
  r.NonResident(kAttrData, 12345, {0x11, 4, 10, 0});
  ASSERT_TRUE(Parse(r));
  EXPECT_EQ(rec.id, 70u);
  EXPECT_EQ(rec.parent, 64u);
  EXPECT_EQ(Name(), u"report.doc");
  EXPECT_EQ(rec.size, 12345u);
  EXPECT_EQ(rec.flags & (kRecInUse | kRecDirectory | kRecResident), kRecInUse);
  EXPECT_EQ(rec.ctime, PackTime(2021, 3, 6, 5, 6, 7));
  EXPECT_EQ(rec.mtime, PackTime(2021, 3, 7, 5, 6, 7));
  ASSERT_NE(rec.blob, nullptr);
  EXPECT_EQ(rec.blobLength, 8u);  // the attribute's bytes after the run offset
}

TEST_F(NtfsParseRecord, NamespaceChoice) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::u16string, uint8_t>> names;
    const char16_t* kept;  // null: the record is dropped
  };
  const Case cases[] = {
      {"Win32 then DOS", {{u"Long Name.txt", 1}, {u"LONGNA~1.TXT", 2}}, u"Long Name.txt"},
      {"DOS then Win32", {{u"LONGNA~1.TXT", 2}, {u"Long Name.txt", 1}}, u"Long Name.txt"},
      {"Win32 and DOS", {{u"short.txt", 3}}, u"short.txt"},
      {"POSIX only", {{u"posix:name", 0}}, u"posix:name"},
      {"POSIX after Win32", {{u"win.txt", 1}, {u"posix", 0}}, u"win.txt"},
      {"DOS only", {{u"DOSONLY.TXT", 2}}, nullptr},
      {"no name at all", {}, nullptr},
  };
  for (const Case& c : cases) {
    RecordBuilder r(80);
    r.StandardInfo(TestFileTime(), TestFileTime());
    for (const auto& [name, ns] : c.names) r.FileName(64, name, ns);
    r.Resident(kAttrData, {1, 2, 3});
    const bool kept = Parse(r);
    EXPECT_EQ(kept, c.kept != nullptr) << c.what;
    if (kept && c.kept) {
      EXPECT_EQ(Name(), c.kept) << c.what;
    }
  }
}

TEST_F(NtfsParseRecord, SystemRecordsAndReservedNumbers) {
  struct Case {
    uint32_t number;
    const char16_t* name;
    uint32_t id;
  };
  const Case cases[] = {
      {0, u"$MFT", 3}, {3, u"$Volume", 3}, {4, u"$AttrDef", 3}, {4, u"notes.txt", 0},
      {3, u"plain", 0}, {0, u"plain", 0},  {1, u"$MFTMirr", 1}, {5, u".", 5},
  };
  for (const Case& c : cases) {
    RecordBuilder r(c.number);
    r.FileName(5, c.name, 3);
    ASSERT_TRUE(Parse(r)) << c.number;
    EXPECT_EQ(rec.id, c.id) << c.number << " " << CString(c.name).ToUtf8();
  }
}

TEST_F(NtfsParseRecord, HostileOffsetsAndLengths) {
  {  // first attribute beyond the header area or inside the header
    for (uint16_t first : {0x00, 0x10, 0x200, 0x3F0}) {
      RecordBuilder r(70);
      r.FileName(64, u"a.txt", 1);
      Put16(r.b + 0x14, first);
      EXPECT_FALSE(Parse(r)) << first;
    }
  }
  {  // an attribute length reaching past the record ends the walk
    RecordBuilder r(70);
    const uint32_t at = r.FileName(64, u"a.txt", 1);
    Put32(r.b + at + 4, 0x1000);
    EXPECT_FALSE(Parse(r));
  }
  {  // a name length byte larger than its attribute: the name is cut at the attribute end
    RecordBuilder r(70);
    const uint32_t at = r.FileName(64, u"abc", 1);
    r.b[at + 0x18 + 0x40] = 255;
    ASSERT_TRUE(Parse(r));
    EXPECT_LE(rec.name ? std::u16string(rec.name).size() : 0, (0x18 + 0x42 + 6 + 7) / 2u);
    EXPECT_EQ(Name().substr(0, 3), u"abc");
  }
  {  // a value offset past the attribute: no times are read
    RecordBuilder r(70);
    const uint32_t si = r.StandardInfo(TestFileTime(), TestFileTime());
    Put16(r.b + si + 0x14, 0x3F0);
    r.FileName(64, u"a.txt", 1);
    ASSERT_TRUE(Parse(r));
    EXPECT_EQ(rec.ctime, 0u);
  }
  {  // a run-list offset past the attribute: the file has no run list
    RecordBuilder r(70);
    r.FileName(64, u"a.txt", 1);
    const uint32_t at = r.NonResident(kAttrData, 4096, {0x11, 1, 1});
    Put16(r.b + at + 0x20, 0x300);
    ASSERT_TRUE(Parse(r));
    EXPECT_EQ(rec.blob, nullptr);
    EXPECT_EQ(rec.size, 4096u);
  }
  {  // a non-resident header cut by the record end is never read
    RecordBuilder r(70);
    r.FileName(64, u"a.txt", 1);
    r.pos = kMftRecordBytes - 0x20;
    Put32(r.b + r.pos, kAttrData);
    Put32(r.b + r.pos + 4, 0x20);
    r.b[r.pos + 8] = 1;
    ASSERT_TRUE(Parse(r));
    EXPECT_EQ(rec.size, 0u);
    uint32_t off = 0, len = 0;
    EXPECT_FALSE(GetRunList(r.b, int32_t(kMftRecordBytes - 0x20), off, len));
  }
  {  // not a record
    RecordBuilder r(70);
    r.FileName(64, u"a.txt", 1);
    r.b[0] = 'B';
    EXPECT_FALSE(Parse(r));
  }
  {  // a record number past the id range
    RecordBuilder r(4000000);
    r.FileName(64, u"a.txt", 1);
    EXPECT_FALSE(Parse(r));
  }
}

TEST_F(NtfsParseRecord, ExtensionRecordsAndAttributeLists) {
  // An extension record is never a file of its own, whatever its first attribute.
  RecordBuilder ext(90, 1, 70);
  ext.FileName(64, u"big.bin", 1);
  ext.NonResident(kAttrData, 9999, {0x11, 2, 7});
  EXPECT_FALSE(Parse(ext));

  // A base record with a list keeps nothing of its data (the walk joins it), and is kept even
  // without a name of its own.
  RecordBuilder base(70);
  base.Resident(kAttrList, std::vector<uint8_t>(0x20));
  base.NonResident(kAttrData, 50000, {0x11, 2, 7});
  MftRecordInfo info;
  FreeFileRecord(rec);
  ASSERT_TRUE(ParseMftRecord(vol, base.b, rec, &info));
  EXPECT_TRUE(info.hasList);
  EXPECT_EQ(rec.flags & (kRecAttrList | kRecResident), kRecAttrList);
  EXPECT_EQ(rec.blob, nullptr);
  EXPECT_EQ(rec.size, 0u);

  // Only the unnamed stream is data: a named one before it is passed over.
  RecordBuilder named(71);
  named.FileName(64, u"a.txt", 1);
  const uint32_t ads = named.Resident(kAttrData, std::vector<uint8_t>(100, 7));
  named.b[ads + 9] = 4;
  named.NonResident(kAttrData, 300, {0x11, 1, 9});
  ASSERT_TRUE(Parse(named));
  EXPECT_EQ(rec.size, 300u);
  EXPECT_EQ(rec.flags & kRecResident, 0);
}

TEST(NtfsBoot, BootSectorTable) {
  struct Case {
    const char* what;
    void (*patch)(std::vector<uint8_t>&);
    bool ntfs;
  };
  const Case cases[] = {
      {"mkntfs with geometry", [](std::vector<uint8_t>&) {}, true},
      {"geometry 0/0", [](std::vector<uint8_t>& s) { Put16(s.data() + 0x18, 0), Put16(s.data() + 0x1A, 0); }, false},
      {"heads 255 only", [](std::vector<uint8_t>& s) { Put16(s.data() + 0x18, 0); }, true},
      {"spc 3", [](std::vector<uint8_t>& s) { s[0x0D] = 3; }, false},
      {"spc 0", [](std::vector<uint8_t>& s) { s[0x0D] = 0; }, false},
      {"spc 128", [](std::vector<uint8_t>& s) { s[0x0D] = 128; }, true},
      {"bytes per sector 600", [](std::vector<uint8_t>& s) { Put16(s.data() + 0x0B, 600); }, false},
      {"other OEM", [](std::vector<uint8_t>& s) { std::memcpy(s.data() + 3, "MSDOS5.0", 8); }, false},
      {"media F0", [](std::vector<uint8_t>& s) { s[0x15] = 0xF0; }, false},
      {"record size byte", [](std::vector<uint8_t>& s) { s[0x40] = 0x02; }, false},
      {"no signature", [](std::vector<uint8_t>& s) { s[0x1FF] = 0; }, false},
      {"no jump", [](std::vector<uint8_t>& s) { s[0] = 0, s[2] = 0; }, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> s = TestBootSector();
    c.patch(s);
    EXPECT_EQ(IsNtfsBootSector(s.data()), c.ntfs) << c.what;
  }
}

TEST(NtfsBitmap, HasFreeClustersTable) {
  // 64 clusters of 8 sectors from LBA 1000; clusters 0-31 used, 32 free, 33-62 used, 63 free.
  VolumeContext vol = TestVolume(1000, 8, 512);
  uint8_t map[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0x7F};
  struct Case {
    const char* what;
    uint64_t start, end;
    bool free;
  };
  const Case cases[] = {
      {"all used, whole bytes", 1000, 1000 + 32 * 8 - 1, false},
      {"one free cluster", 1000 + 32 * 8, 1000 + 32 * 8 + 7, true},
      {"range across the free cluster", 1000 + 30 * 8, 1000 + 40 * 8, true},
      {"partial bytes, all used", 1000 + 33 * 8, 1000 + 62 * 8 + 7, false},
      {"last cluster free", 1000 + 63 * 8, 1000 + 63 * 8 + 7, true},
      {"starts before the volume", 0, 1000 + 16 * 8 - 1, false},
      {"entirely before the volume", 0, 999, false},
      {"after the volume", 1000 + 512, 1000 + 512 + 0x3FFF, false},
      {"runs past the end", 1000 + 40 * 8, 1000 + 0x3FFF, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(HasFreeNtfsClusters(vol, map, sizeof map, c.start, c.end), c.free) << c.what;
  EXPECT_TRUE(HasFreeNtfsClusters(vol, nullptr, 0, 1000, 1100));
  VolumeContext noSpc = TestVolume(1000, 0, 512);
  EXPECT_TRUE(HasFreeNtfsClusters(noSpc, map, sizeof map, 1000, 1100));
}

}  // namespace
