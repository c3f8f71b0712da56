// The journal recovery: USN delete records read and merged into the log entries, and the
// replay per record number that restores sizes, run lists, parents and lost files.
#include <gtest/gtest.h>

#include "core/tests/recordfixture.h"
#include "parsefilesystem/parsentfs/logfiledecode.h"
#include "parsefilesystem/parsentfs/logrecover.h"
#include "parsefilesystem/parsentfs/tests/logtestwriter.h"

using namespace logtest;

namespace {

// Records 0 to 5 of a volume with 4 KiB clusters starting at sector 2048, and a root.
struct LogVolume : OwnedVolume {
  LogVolume() {
    ctx.type = kVolTypeNtfs;
    ctx.firstLba = 2048;
    ctx.sectorCount = 1 << 20;
    ctx.bootSector[0x0D] = 8;
    AddRows(ctx, {{5, 5, u".", kDirInUse}});
  }
  FileRecord* Rec(uint32_t id) { return GetFileRecord(ctx, id, 0); }
};

LogFileEntry Entry(uint32_t kind, uint32_t record, uint64_t lsn, uint32_t parent = 0, const char16_t* name = nullptr,
                   uint16_t flags = 0, uint64_t size = 0) {
  LogFileEntry e;
  e.kind = kind;
  e.recordNumber = record;
  e.lsn = lsn;
  e.parent = parent;
  e.rec.id = record;
  e.rec.parent = parent;
  e.rec.flags = flags;
  e.rec.size = size;
  e.nameSpace = 1;
  if (name) e.rec.name = TestHeapName(name);
  return e;
}

void SetRuns(LogFileEntry& e, std::vector<uint8_t> runs) {
  e.rec.blob = static_cast<uint8_t*>(AllocMem(runs.size(), 1));
  std::memcpy(e.rec.blob, runs.data(), runs.size());
  e.rec.blobLength = uint32_t(runs.size());
}

// The records a recovery added past the given id limit, by name.
std::map<std::u16string, FileRecord*> Added(LogVolume& v, uint32_t from) {
  std::map<std::u16string, FileRecord*> out;
  for (uint32_t id = from; id < v.ctx.idLimit; ++id)
    if (FileRecord* r = v.Rec(id)) out[r->name] = r;
  return out;
}

std::vector<uint8_t> Block(std::initializer_list<std::pair<size_t, std::vector<uint8_t>>> records, size_t bytes) {
  std::vector<uint8_t> b(bytes, 0);
  for (const auto& [at, rec] : records) std::memcpy(&b[at], rec.data(), std::min(rec.size(), bytes - at));
  return b;
}

}  // namespace

TEST(UsnJournal, RecordsAreReadOnlyWhereTheyAreWhole) {
  const auto del = [](uint32_t record, uint64_t usn, const char16_t* name) {
    return UsnRecord(record, 40, usn, 0x200, name);
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    std::vector<uint64_t> usns;
  };
  std::vector<uint8_t> badOffset = del(60, 2, u"skip.txt");
  W16(&badOffset[0x3A], 62);
  std::vector<uint8_t> tooLong = del(61, 3, u"skip.txt");
  W32(&tooLong[0], 581);
  std::vector<uint8_t> hugeRef = del(62, 4, u"skip.txt");
  W64(&hugeRef[0x08], uint64_t(1) << 40);
  const std::vector<Case> cases = {
      {"two deletions and a rename between them",
       Block({{0, del(50, 10, u"a.txt")}, {72, UsnRecord(51, 40, 11, 0x1000, u"b.txt")}, {144, del(52, 12, u"c.txt")}},
             8192),
       {10, 12}},
      {"a record crossing a 4096-byte boundary in its first 63 bytes is skipped with its block",
       Block({{4096 - 40, del(53, 13, u"cross.txt")}, {4096, del(54, 14, u"next.txt")}}, 8192), {14}},
      {"a name offset other than 60 skips the rest of the block",
       Block({{0, badOffset}, {96, del(55, 15, u"lost.txt")}, {4096, del(56, 16, u"found.txt")}}, 8192), {16}},
      {"a record length of 581 skips the rest of the block",
       Block({{0, tooLong}, {96, del(55, 15, u"lost.txt")}, {4096, del(56, 16, u"found.txt")}}, 8192), {16}},
      {"implausible file references", Block({{0, hugeRef}, {4096, del(56, 16, u"found.txt")}}, 8192), {16}},
      {"a record running past the buffer", Block({{8192 - 72, del(57, 17, u"tail-name.txt")}}, 8192), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<UsnDeleteItem> items;
    ScanUsnRecords(c.block.data(), uint32_t(c.block.size()), items);
    std::vector<uint64_t> usns;
    for (const UsnDeleteItem& item : items) usns.push_back(item.usn);
    EXPECT_EQ(usns, c.usns);
  }
  std::vector<UsnDeleteItem> items;
  const std::vector<uint8_t> one = Block({{0, del(50, 10, u"a.txt")}}, 4096);
  ASSERT_TRUE(ScanUsnRecords(one.data(), 4096, items));
  EXPECT_EQ(items[0].record, 50u);
  EXPECT_EQ(items[0].parent, 40u);
  EXPECT_EQ(items[0].name, u"a.txt");
}

TEST(UsnJournal, DirectoriesAreGuessedAndDeletionsMergedBeforeTheirUsnRecord) {
  std::vector<UsnDeleteItem> items(4);
  items[0] = {70, 60, 10, 0, u"photo.jpg"};
  items[1] = {71, 60, 20, 0, u"README"};         // no '.': taken for a folder
  items[2] = {60, 5, 30, 0, u"Holiday.2020"};    // named as a parent before: a folder
  items[3] = {72, 5, 40, 0, u"late.txt"};
  LogEntryList entries;
  entries.push_back(Entry(kLogTimes, 9, 50));
  LogFileEntry usn = Entry(kLogUsnRecord, 80, 100);
  usn.usn = 30;
  entries.push_back(std::move(usn));
  LogFileEntry later = Entry(kLogUsnRecord, 81, 200);
  later.usn = 45;
  entries.push_back(std::move(later));
  MergeUsnWithLogEntries(items, entries);
  EXPECT_EQ(items[0].isDirectory, 0u);
  EXPECT_EQ(items[1].isDirectory, 1u);
  EXPECT_EQ(items[2].isDirectory, 1u);
  std::vector<std::pair<uint32_t, uint64_t>> got;
  for (const LogFileEntry& e : entries) got.push_back({e.kind == kLogUsnDeleted ? e.recordNumber : 0, e.lsn});
  // USN 30 equals the log's USN record: consumed, but not placed before it.
  const std::vector<std::pair<uint32_t, uint64_t>> want = {{0, 50}, {70, 97}, {71, 98}, {0, 100}, {72, 199}, {0, 200}};
  EXPECT_EQ(got, want);
  EXPECT_EQ(Val(entries[2].rec.flags), kRecDirectory);
  EXPECT_EQ(Val(entries[1].rec.flags), 0u) << "never in use";
}

TEST(LogReplay, DeletedFilesComeBackUnderTheirFolders) {
  LogVolume v;
  AddRows(v.ctx, {{40, 5, u"Documents", kDirInUse}, {41, 40, u"kept.txt", kRecInUse, 4096, 0, 100}});
  // The MFT lost record 50 to a new file; the log remembers the old one.
  AddRows(v.ctx, {{50, 40, u"new.txt", kRecInUse, 8192, 0, 10}});
  LogEntryList entries;
  entries.push_back(Entry(kLogIndexAdded, 50, 10, 40, u"old.doc", 0, 6000));
  LogFileEntry runs = Entry(kLogRunList, 50, 11);
  SetRuns(runs, {0x11, 0x02, 0x64});
  entries.push_back(std::move(runs));
  entries.push_back(Entry(kLogRecordAllocated, 50, 12));
  entries.push_back(Entry(kLogIndexAdded, 50, 13, 40, u"new.txt", 0, 10));
  // Entries of the system records are never replayed.
  entries.push_back(Entry(kLogIndexAdded, 3, 14, 5, u"$Volume", 0, 1));
  // A file the MFT still holds under its number and name is not added again.
  entries.push_back(Entry(kLogIndexAdded, 41, 15, 40, u"kept.txt", 0, 100));
  const uint32_t before = v.ctx.idLimit;
  RecoverFilesFromLogFile(v.ctx, entries);
  const auto added = Added(v, before);
  ASSERT_EQ(added.size(), 1u);
  FileRecord* old = added.begin()->second;
  EXPECT_EQ(NameOf(old), u"old.doc");
  EXPECT_EQ(Val(old->parent), 40u);
  EXPECT_EQ(Val(old->size), 6000u);
  EXPECT_EQ(Val(old->flags) & (kRecInUse | kRecDirectory), 0);
  ASSERT_EQ(Val(old->blobLength), 3u);
  EXPECT_EQ(old->blob[2], 0x64);
}

TEST(LogReplay, AnEntryIntoADollarFolderReplaysTheFileTwice) {
  LogVolume v;
  AddRows(v.ctx, {{40, 5, u"Work", kDirInUse}, {45, 5, u"$Recycle.Bin", kDirInUse}});
  LogEntryList entries;
  LogFileEntry first = Entry(kLogIndexAdded, 60, 10, 40, u"plan.txt", 0, 300);
  LogFileEntry moved = Entry(kLogIndexAdded, 60, 11, 45, u"$RAB12.txt", 0, 300);
  moved.nameSpace = 1;
  LogFileEntry runs = Entry(kLogRunList, 60, 12);
  SetRuns(runs, {0x11, 0x01, 0x30});
  entries.push_back(std::move(first));
  entries.push_back(std::move(moved));
  entries.push_back(std::move(runs));
  const uint32_t before = v.ctx.idLimit;
  RecoverFilesFromLogFile(v.ctx, entries);
  std::vector<uint32_t> parents;
  for (uint32_t id = before; id < v.ctx.idLimit; ++id)
    if (FileRecord* r = v.Rec(id)) {
      EXPECT_EQ(NameOf(r), u"plan.txt");
      parents.push_back(Val(r->parent));
    }
  std::sort(parents.begin(), parents.end());
  EXPECT_EQ(parents, (std::vector<uint32_t>{40, 45}));
}

TEST(LogReplay, DeletedRecordsGetTheLastSizeAndRunListTheLogKnew) {
  LogVolume v;
  AddRows(v.ctx, {{40, 5, u"Docs", kDirInUse}, {61, 40, u"empty.bin", 0}});
  LogEntryList entries;
  // The log named the record by its short name.
  entries.push_back(Entry(kLogSize, 61, 10, 0, nullptr, 0, 100));
  LogFileEntry shortName = Entry(kLogIndexAdded, 61, 11, 40, u"EMPTY~1.BIN", 0, 0);
  shortName.nameSpace = 2;
  entries.push_back(std::move(shortName));
  entries.push_back(Entry(kLogSize, 61, 12, 0, nullptr, 0, 5000));
  LogFileEntry runs = Entry(kLogRunList, 61, 13);
  SetRuns(runs, {0x11, 0x02, 0x50});
  entries.push_back(std::move(runs));
  RecoverFilesFromLogFile(v.ctx, entries);
  FileRecord* r = v.Rec(61);
  ASSERT_TRUE(r);
  EXPECT_EQ(Val(r->size), 5000u);
  ASSERT_EQ(Val(r->blobLength), 3u);
  EXPECT_EQ(r->blob[2], 0x50);
}

TEST(LogReplay, FoldersKnownOnlyFromTheLogAreMadeAndLoopsEnd) {
  LogVolume v;
  // A deleted file whose folder record 90 is gone from the MFT; the log knew the folder.
  AddRows(v.ctx, {{62, 90, u"letter.txt", 0, 0, 0, 10}});
  LogEntryList entries;
  entries.push_back(Entry(kLogIndexAdded, 90, 10, 5, u"Letters", kRecDirectory));
  // Two deleted folders that name each other as parent, only in the USN journal.
  entries.push_back(Entry(kLogUsnDeleted, 91, 11, 92, u"A", kRecDirectory));
  entries.push_back(Entry(kLogUsnDeleted, 92, 11, 91, u"B", kRecDirectory));
  entries.push_back(Entry(kLogIndexAdded, 93, 9, 91, u"inside.txt", 0, 50));
  const uint32_t before = v.ctx.idLimit;
  RecoverFilesFromLogFile(v.ctx, entries);
  const auto added = Added(v, before);
  ASSERT_TRUE(added.count(u"Letters"));
  EXPECT_EQ(Val(v.Rec(62)->parent), Val(added.at(u"Letters")->id));
  EXPECT_EQ(Val(added.at(u"Letters")->parent), 5u);
  ASSERT_TRUE(added.count(u"inside.txt"));
  ASSERT_TRUE(added.count(u"A"));
  ASSERT_TRUE(added.count(u"B"));
  EXPECT_EQ(Val(added.at(u"inside.txt")->parent), Val(added.at(u"A")->id));
  EXPECT_EQ(Val(added.at(u"A")->parent), Val(added.at(u"B")->id));
}

TEST(LogReplay, FilesWithoutRunsGetALocationFromTheirNeighbours) {
  struct Case {
    const char* what;
    uint32_t record;
    bool neighbour;
    uint64_t lba;  // 0: no run list expected
  };
  const std::vector<Case> cases = {
      {"record 19 or less keeps no run list", 12, true, 0},
      {"right after the data of the record before", 30, true, 100000 + 2 * 8},
      {"no neighbour within 15 records: the volume start + 128", 30, false, 2048 + 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LogVolume v;
    AddRows(v.ctx, {{40, 5, u"Docs", kDirInUse}});
    if (c.neighbour) AddRows(v.ctx, {{uint32_t(c.record - 1), 40, u"before.bin", kRecInUse, 100000, 0, 5000}});
    LogEntryList entries;
    entries.push_back(Entry(kLogIndexAdded, c.record, 10, 40, u"guess.bin", 0, 6000));
    const uint32_t before = std::max<uint32_t>(v.ctx.idLimit, 41);
    RecoverFilesFromLogFile(v.ctx, entries);
    const auto added = Added(v, before);
    ASSERT_EQ(added.count(u"guess.bin"), 1u);
    const FileRecord* r = added.at(u"guess.bin");
    if (c.lba == 0) {
      EXPECT_EQ(Val(r->blob), nullptr);
      continue;
    }
    EXPECT_EQ(Val(r->lba), c.lba);
    uint8_t want[16];
    uint32_t length = 0;
    ASSERT_TRUE(EncodeSingleRun(2048, 8, c.lba, 6000, want, length));
    ASSERT_EQ(Val(r->blobLength), length);
    EXPECT_EQ(std::memcmp(r->blob, want, length), 0);
  }
}

TEST(LogReplay, ASameNamedSiblingWithTheSameRunsIsNotAddedTwice) {
  LogVolume v;
  AddRows(v.ctx, {{40, 5, u"Docs", kDirInUse}});
  FileRecord live = MakeRecord({70, 40, u"copy.txt", kRecInUse, 0, 0, 10});
  live.blob = static_cast<uint8_t*>(AllocMem(3, 1));
  const uint8_t runs[3] = {0x11, 0x01, 0x40};
  std::memcpy(live.blob, runs, 3);
  live.blobLength = 3;
  AddFileRecord(v.ctx, live, 0);
  LogEntryList entries;
  LogFileEntry same = Entry(kLogIndexAdded, 80, 10, 40, u"copy.txt", 0, 10);
  LogFileEntry sameRuns = Entry(kLogRunList, 80, 11);
  SetRuns(sameRuns, {0x11, 0x01, 0x40});
  LogFileEntry other = Entry(kLogIndexAdded, 81, 12, 40, u"copy.txt", 0, 10);
  LogFileEntry otherRuns = Entry(kLogRunList, 81, 13);
  SetRuns(otherRuns, {0x11, 0x01, 0x41});
  entries.push_back(std::move(same));
  entries.push_back(std::move(sameRuns));
  entries.push_back(std::move(other));
  entries.push_back(std::move(otherRuns));
  const uint32_t before = v.ctx.idLimit;
  RecoverFilesFromLogFile(v.ctx, entries);
  uint32_t copies = 0;
  for (uint32_t id = before; id < v.ctx.idLimit; ++id)
    if (FileRecord* r = v.Rec(id)) {
      ++copies;
      EXPECT_EQ(r->blob[2], 0x41);
    }
  EXPECT_EQ(copies, 1u);
}
