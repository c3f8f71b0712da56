// The $LogFile reader: pages split into records (also across pages and over damage), records
// decoded into entries of every kind, bitmap runs merged and assigned to their files.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "parsefilesystem/parsentfs/logfiledecode.h"
#include "parsefilesystem/parsentfs/tests/logtestwriter.h"
#include "parsefilesystem/parsentfs/tests/ntfstestrecords.h"

using namespace logtest;

namespace {

constexpr uint32_t kCluster = 4096;

LogRecord Op(uint64_t lsn, uint16_t redoOp, std::vector<uint8_t> redo = {}, std::vector<uint8_t> undo = {}) {
  LogRecord r;
  r.lsn = lsn;
  r.redoOp = redoOp;
  r.undoOp = redoOp == 14 ? 15 : 0;
  r.redo = std::move(redo);
  r.undo = std::move(undo);
  return r;
}

std::vector<uint8_t> Bits(uint32_t first, uint32_t count) {
  std::vector<uint8_t> v(8);
  W32(&v[0], first);
  W32(&v[4], count);
  return v;
}

LogEntryList Decode(LogFileWriter& w, uint32_t clusterSize = kCluster, const DataExtentList& bitmap = {}) {
  std::vector<uint8_t> file = w.Build();
  LogEntryList entries;
  SplitLogFileIntoEntries(file.data(), file.size(), clusterSize, bitmap, entries);
  return entries;
}

std::vector<LogRecordItem> Split(std::vector<uint8_t> file) {
  std::vector<LogRecordItem> items;
  ScanLogFilePages(file.data(), file.size(), items);
  return items;
}

std::u16string Name(const FileRecord& r) { return r.name ? std::u16string(r.name) : std::u16string(); }

}  // namespace

TEST(LogFileSplit, RecordsAcrossPagesAreFoundOnceAtTheirFirstByte) {
  LogFileWriter w;
  for (uint32_t i = 0; i < 40; ++i) {
    const std::u16string name(40 + i * 3, u'a' + char16_t(i % 26));
    w.Add(Op(1000 + i, 14, IndexEntry(100 + i, 5, name, i, false, TestFileTime())));
  }
  std::vector<uint8_t> file = w.Build();
  ASSERT_GT(file.size(), 5u * 4096) << "the records must fill several pages";
  const std::vector<LogRecordItem> items = Split(file);
  ASSERT_EQ(items.size(), 40u);
  int spanning = 0;
  for (uint32_t i = 0; i < 40; ++i) {
    EXPECT_EQ(items[i].lsn, 1000 + i);
    EXPECT_EQ(items[i].position, w.positions[i]) << "record " << i;
    if (w.positions[i] / 4096 != (w.positions[i] + int32_t(items[i].copy.size()) - 1) / 4096) ++spanning;
  }
  EXPECT_GT(spanning, 0) << "the fixture must have records that run on into the next page";
  // The decoded names are whole, also of the records that ran on.
  LogFileWriter again;
  for (uint32_t i = 0; i < 40; ++i) {
    const std::u16string name(40 + i * 3, u'a' + char16_t(i % 26));
    again.Add(Op(1000 + i, 14, IndexEntry(100 + i, 5, name, i, false, TestFileTime())));
  }
  const LogEntryList entries = Decode(again);
  ASSERT_EQ(entries.size(), 40u);
  for (uint32_t i = 0; i < 40; ++i) {
    EXPECT_EQ(Name(entries[i].rec), std::u16string(40 + i * 3, u'a' + char16_t(i % 26)));
    EXPECT_EQ(entries[i].recordNumber, 100 + i);
  }
}

TEST(LogFileSplit, PageWithBadSectorTailsIsStillSplitUnrepaired) {
  LogFileWriter w;
  for (uint32_t i = 0; i < 6; ++i) w.Add(Op(50 + i, 3));
  std::vector<uint8_t> file = w.Build();
  uint8_t* page = &file[2 * 4096];
  page[3 * 512 + 510] ^= 0xFF;  // one sector no longer ends in the sequence number
  const uint8_t tail = page[5 * 512 + 511];
  const std::vector<LogRecordItem> items = Split(file);
  EXPECT_EQ(items.size(), 6u);
  EXPECT_EQ(page[5 * 512 + 511], tail) << "a page failing the check is left as it is";
}

TEST(LogFileSplit, RepeatedAndZeroLsnsAreDropped) {
  LogFileWriter w;
  w.Add(Op(0, 3));
  w.Add(Op(7, 3));
  w.Add(Op(7, 3));
  w.Add(Op(9, 3));
  const std::vector<LogRecordItem> items = Split(w.Build());
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].lsn, 7u);
  EXPECT_EQ(items[1].lsn, 9u);
}

TEST(LogFileSplit, FilesOutsideTheBoundsOrWithHostilePagesGiveNothingAndEnd) {
  // Not an RCRD page anywhere.
  std::vector<uint8_t> empty(0x4000, 0xFF);
  EXPECT_TRUE(Split(empty).empty());
  // Random bytes behind the magic, and client data lengths that would wrap 32-bit arithmetic.
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<uint8_t> file(0x6000);
    for (uint8_t& b : file) b = uint8_t(rng());
    for (size_t p = 0; p < file.size(); p += 4096) {
      std::memcpy(&file[p], "RCRD", 4);
      if (round % 2) W32(&file[p + 0x40 + 0x18], 0xFFFFFFF0u);
      W16(&file[p + 0x18], uint16_t(rng() % 5000));
    }
    std::vector<LogRecordItem> items;
    ScanLogFilePages(file.data(), file.size(), items);
    for (LogRecordItem& item : items) {
      LogEntryList entries;
      if (ValidateLogRecord(item.copy.data(), uint32_t(item.copy.size())))
        DecodeLogRecord(LogDecodeContext{kCluster, {}}, item.copy.data(), uint32_t(item.copy.size()), 0, entries);
    }
  }
}

TEST(LogFileSplit, RedoAndUndoOutsideTheRecordAreDropped) {
  std::vector<uint8_t> b = Op(5, 9, {0x11, 0x01, 0x20}, {0x11, 0x02, 0x30}).Bytes();
  W16(&b[0x36], 200);  // redo runs past the record
  ASSERT_TRUE(ValidateLogRecord(b.data(), uint32_t(b.size())));
  EXPECT_EQ(NtfsRead16(&b[0x36]), 0);
  EXPECT_EQ(NtfsRead16(&b[0x3A]), 3);
  LogEntryList entries;
  ASSERT_TRUE(DecodeLogRecord(LogDecodeContext{kCluster, {}}, b.data(), uint32_t(b.size()), 0, entries));
  ASSERT_EQ(entries[0].rec.blobLength, 3u);
  EXPECT_EQ(entries[0].rec.blob[1], 0x02) << "the run list came from the undo data";
  W64(&b[0], 0xFFFFFFFFFFFFFFFFull);
  ASSERT_TRUE(ValidateLogRecord(b.data(), uint32_t(b.size())));
  EXPECT_EQ(NtfsRead64(&b[0]), 0u) << "an implausible LSN reads as 0";
  EXPECT_FALSE(ValidateLogRecord(b.data(), 80));
}

struct DecodeCase {
  const char* what;
  std::function<LogRecord()> record;
  uint32_t kind;  // 0: no entry
  std::function<void(const LogFileEntry&)> check;
};

TEST(LogFileDecode, EveryKind) {
  const uint64_t t = TestFileTime();
  const std::vector<DecodeCase> cases = {
      {"whole MFT record",
       [&] {
         RecordBuilder b(40);
         b.StandardInfo(t, t + 20000000);
         b.FileName(5, u"report.doc", 1);
         b.NonResident(kAttrData, 9000, {0x21, 0x03, 0x00, 0x10});
         return Op(1, 2, std::vector<uint8_t>(b.b, b.b + b.pos + 8));
       },
       kLogMftRecord,
       [](const LogFileEntry& e) {
         EXPECT_EQ(e.recordNumber, 40u);
         EXPECT_EQ(e.parent, 5u);
         EXPECT_EQ(Name(e.rec), u"report.doc");
         EXPECT_EQ(Val(e.rec.size), 9000u);
         ASSERT_GE(Val(e.rec.blobLength), 4u);
         EXPECT_EQ(e.rec.blob[3], 0x10);
       }},
      {"record deallocated",
       [] {
         LogRecord r = Op(1, 3);
         r.clusterBlockOffset = 4;
         r.targetVcn = 2;
         return r;
       },
       kLogMftDeallocated, [](const LogFileEntry& e) { EXPECT_EQ(e.recordNumber, 2u + 2u * 4096u / 1024u); }},
      {"creation and modification times",
       [&] {
         std::vector<uint8_t> v(16);
         W64(&v[0], t);
         W64(&v[8], t + 3600 * 10000000ull);
         LogRecord r = Op(1, 7, v);
         r.recordOffset = 0x38;
         r.attrOffset = 0x18;
         r.targetVcn = 1;
         return r;
       },
       kLogTimes,
       [](const LogFileEntry& e) {
         EXPECT_EQ(e.recordNumber, 4u);
         EXPECT_NE(Val(e.rec.ctime), 0u);
         EXPECT_GT(Val(e.rec.mtime), Val(e.rec.ctime));
       }},
      {"modification time alone",
       [&] {
         std::vector<uint8_t> v(16);
         W64(&v[0], t);
         LogRecord r = Op(1, 7, v);
         r.recordOffset = 0x38;
         r.attrOffset = 0x20;
         return r;
       },
       kLogTimes,
       [](const LogFileEntry& e) {
         EXPECT_EQ(Val(e.rec.ctime), 0u);
         EXPECT_NE(Val(e.rec.mtime), 0u);
       }},
      {"times of another attribute offset",
       [&] {
         LogRecord r = Op(1, 7, std::vector<uint8_t>(16, 1));
         r.recordOffset = 0x38;
         r.attrOffset = 0x30;
         return r;
       },
       0, nullptr},
      {"USN record with a 520-byte name",
       [] { return Op(1, 8, UsnRecord(77, 66, 123456, 0x200, std::u16string(260, u'n'))); }, kLogUsnRecord,
       [](const LogFileEntry& e) {
         EXPECT_EQ(e.recordNumber, 77u);
         EXPECT_EQ(e.parent, 66u);
         EXPECT_EQ(e.usn, 123456u);
         EXPECT_EQ(Name(e.rec).size(), 260u);
       }},
      {"USN record with a 521-byte name",
       [] { return Op(1, 8, UsnRecord(77, 66, 1, 0x200, std::u16string(261, u'n'), 521)); }, 0, nullptr},
      {"run list",
       [] {
         LogRecord r = Op(1, 9, {0x21, 0x04, 0x00, 0x20});
         r.targetVcn = 3;
         return r;
       },
       kLogRunList,
       [](const LogFileEntry& e) {
         EXPECT_EQ(e.recordNumber, 12u);
         ASSERT_EQ(Val(e.rec.blobLength), 4u);
         EXPECT_EQ(e.rec.blob[0], 0x21);
       }},
      {"all-zero run list falls back to the undo data", [] { return Op(1, 9, {0, 0, 0, 0}, {0x11, 0x05, 0x40}); },
       kLogRunList, [](const LogFileEntry& e) { EXPECT_EQ(Val(e.rec.blobLength), 3u); }},
      {"all-zero run list and undo data", [] { return Op(1, 9, {0, 0, 0, 0}, {0, 0}); }, 0, nullptr},
      {"new attribute sizes",
       [] {
         std::vector<uint8_t> v(24);
         W64(&v[16], 123456789);
         return Op(1, 11, v);
       },
       kLogSize, [](const LogFileEntry& e) { EXPECT_EQ(Val(e.rec.size), 123456789u); }},
      {"index entry added", [&] { return Op(1, 14, IndexEntry(300, 200, u"notes.txt", 777, false, t)); }, kLogIndexAdded,
       [](const LogFileEntry& e) {
         EXPECT_EQ(e.recordNumber, 300u);
         EXPECT_EQ(e.parent, 200u);
         EXPECT_EQ(Val(e.rec.size), 777u);
         EXPECT_EQ(Val(e.rec.flags), 0u);
         EXPECT_EQ(e.nameSpace, 1);
       }},
      {"index entry deleted (from the undo data)",
       [&] {
         LogRecord r = Op(1, 13, {}, IndexEntry(301, 200, u"Photos", 0, true, t));
         r.undoOp = 12;
         return r;
       },
       kLogIndexDeleted,
       [](const LogFileEntry& e) {
         EXPECT_EQ(Name(e.rec), u"Photos");
         EXPECT_EQ(Val(e.rec.flags), kRecDirectory);
       }},
      {"one bit of the MFT bitmap",
       [] {
         LogRecord r = Op(1, 21, Bits(17, 1));
         r.targetVcn = 2;
         r.lcn = 999;
         return r;
       },
       kLogRecordAllocated, [](const LogFileEntry& e) { EXPECT_EQ(e.recordNumber, 2u * kCluster * 8 + 17); }},
      {"one bit of the volume bitmap is a cluster run",
       [] {
         LogRecord r = Op(1, 22, Bits(17, 1));
         r.lcn = 100;  // the $Bitmap's cluster
         return r;
       },
       kLogClustersCleared,
       [](const LogFileEntry& e) {
         EXPECT_EQ(Val(e.rec.lba), 17u * 8);
         EXPECT_EQ(e.bitCount, 1u);
       }},
      {"cluster run freed",
       [] {
         LogRecord r = Op(1, 22, Bits(5, 300));
         r.targetVcn = 1;
         return r;
       },
       kLogClustersCleared,
       [](const LogFileEntry& e) {
         const uint64_t cluster = 5 + uint64_t(kCluster) * 8;
         EXPECT_EQ(Val(e.rec.lba), cluster * 8);
         EXPECT_EQ(e.bitCount, 300u);
         ASSERT_EQ(Val(e.rec.blobLength), 8u);
         // Header 0x32: two bytes of count (300), three of LCN (32773).
         const uint8_t want[8] = {0x32, 0x2C, 0x01, 0x05, 0x80, 0x00, 0, 0};
         EXPECT_EQ(std::memcmp(e.rec.blob, want, 8), 0);
       }},
  };
  const DataExtentList bitmap = {DataExtent{0, 0, 800, 8}};  // clusters 100.. on 4 KiB clusters
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    LogFileWriter w;
    w.Add(c.record());
    const LogEntryList entries = Decode(w, kCluster, bitmap);
    if (c.kind == 0) {
      EXPECT_TRUE(entries.empty());
      continue;
    }
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, c.kind);
    EXPECT_EQ(entries[0].position, w.positions[0]);
    EXPECT_EQ(entries[0].lsn, 1u);
    c.check(entries[0]);
  }
}

TEST(LogFileDecode, SetBitsRecordsThatContinueEachOtherBecomeOneRun) {
  LogFileWriter w;
  LogRecord a = Op(10, 21, Bits(kCluster * 8 - 8, 8));
  a.targetVcn = 3;
  LogRecord b = Op(11, 21, Bits(0, 10));
  b.targetVcn = 4;
  LogRecord c = Op(12, 21, Bits(100, 4));  // does not start at bit 0: stays apart
  c.targetVcn = 5;
  w.Add(a);
  w.Add(b);
  w.Add(c);
  const LogEntryList entries = Decode(w);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].kind, kLogClustersSet);
  EXPECT_EQ(entries[0].bitCount, 18u);
  EXPECT_EQ(Val(entries[0].rec.lba), (uint64_t(3) * kCluster * 8 + kCluster * 8 - 8) * 8);
  EXPECT_EQ(entries[0].lsn, 11u);
  EXPECT_EQ(entries[1].bitCount, 4u);
}

TEST(LogFileDecode, ClusterRunsUseTheVolumesSectorsPerCluster) {
  // 8 KiB clusters: cluster 3 is sector 48, not 24.
  LogFileWriter w;
  w.Add(Op(1, 21, Bits(3, 2)));
  const LogEntryList entries = Decode(w, 8192);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(Val(entries[0].rec.lba), 48u);
  const uint8_t want[3] = {0x11, 0x02, 0x03};
  EXPECT_EQ(std::memcmp(entries[0].rec.blob, want, 3), 0);
  // A cluster size of 0 (a damaged boot copy) decodes no run and merges nothing.
  LogFileWriter z;
  z.Add(Op(1, 21, Bits(3, 2)));
  z.Add(Op(2, 21, Bits(0, 2)));
  EXPECT_TRUE(Decode(z, 0).empty());
}

TEST(LogFileDecode, EncodeSingleRun) {
  struct Case {
    uint64_t volumeStart, start, bytes;
    uint32_t spc;
    bool ok;
    uint32_t length;
    std::vector<uint8_t> head;
  };
  const std::vector<Case> cases = {
      {0, 800, 4096, 8, true, 8, {0x11, 0x01, 100}},
      {0, 1600, 4097, 8, true, 8, {0x21, 0x02, 0xC8, 0x00}},  // LCN 200 needs a sign byte
      {2048, 2048 + 80, 1, 8, true, 8, {0x11, 0x01, 10}},
      {0, 0, 512, 1, true, 8, {0x11, 0x01, 0x00}},            // LCN 0 still takes a byte
      {0, uint64_t(1) << 60, 512, 1, true, 16, {0x81, 0x01}},  // 8 LCN bytes: 10 in all
      {0, 801, 4096, 8, false, 0, {}},
      {2048, 8, 4096, 8, false, 0, {}},
      {0, 800, 0, 8, false, 0, {}},
      {0, 800, 4096, 0, false, 0, {}},
      {0, uint64_t(1) << 63, uint64_t(1) << 62, 1, false, 0, {}},  // 1 + 9 + 8 bytes
  };
  for (const Case& c : cases) {
    uint8_t out[16];
    uint32_t length = 99;
    EXPECT_EQ(EncodeSingleRun(c.volumeStart, c.spc, c.start, c.bytes, out, length), c.ok) << c.start;
    EXPECT_EQ(length, c.length);
    for (size_t i = 0; i < c.head.size(); ++i) EXPECT_EQ(out[i], c.head[i]) << c.start << " byte " << i;
  }
}

TEST(LogFileDecode, ClusterRunsTakeTheRecordOfTheirTransaction) {
  auto entry = [](uint32_t kind, uint64_t lsn, uint64_t prev, uint32_t record) {
    LogFileEntry e;
    e.kind = kind;
    e.lsn = lsn;
    e.previousLsn = prev;
    e.recordNumber = record;
    e.rec.id = record;
    return e;
  };
  LogEntryList list;
  list.push_back(entry(kLogTimes, 1, 0, 9));
  list.push_back(entry(kLogClustersSet, 10, 0, 0));
  list.push_back(entry(kLogClustersSet, 11, 10, 0));
  list.push_back(entry(kLogMftDeallocated, 12, 0, 50));
  list.push_back(entry(kLogRunList, 13, 11, 77));
  list.push_back(entry(kLogTimes, 14, 0, 9));
  list.push_back(entry(kLogTimes, 15, 0, 9));
  AssignRecordsToBitmapEntries(list);
  EXPECT_EQ(list[2].recordNumber, 77u);
  EXPECT_EQ(list[1].recordNumber, 77u) << "the run before it in the same transaction";
  EXPECT_EQ(Val(list[1].rec.id), 77u);
  // Lists of fewer than five entries are left alone (no unsigned underflow).
  for (size_t n = 0; n < 5; ++n) {
    LogEntryList small;
    for (size_t i = 0; i < n; ++i) small.push_back(entry(kLogClustersSet, i + 1, i, 0));
    AssignRecordsToBitmapEntries(small);
    for (const LogFileEntry& e : small) EXPECT_EQ(e.recordNumber, 0u);
  }
  // A freed run right after its record was freed belongs to it.
  LogEntryList freed;
  freed.push_back(entry(kLogTimes, 1, 0, 9));
  freed.push_back(entry(kLogRecordFreed, 2, 0, 88));
  freed.push_back(entry(kLogClustersCleared, 3, 0, 0));
  for (uint64_t i = 0; i < 4; ++i) freed.push_back(entry(kLogTimes, 4 + i, 0, 9));
  AssignRecordsToBitmapEntries(freed);
  EXPECT_EQ(freed[2].recordNumber, 88u);
}
