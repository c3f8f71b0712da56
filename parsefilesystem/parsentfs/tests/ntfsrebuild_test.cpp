#include "parsefilesystem/parsentfs/ntfsrebuild.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetree.h"
#include "core/recordtable.h"
#include "parsefilesystem/parsentfs/mfthitgroups.h"
#include "parsefilesystem/parsentfs/foundmftrecord.h"
#include "parsefilesystem/parsentfs/mftrun.h"
#include "parsefilesystem/parsentfs/tests/ntfstestrecords.h"
#include "platform/textconv.h"
#include "scanbase/ntfsscanregistry.h"
#include "scanbase/scanhitstore.h"

namespace {

namespace fs = std::filesystem;

// Synthetic MFT-record hits with summaries of their own, freed with the set.
struct Hits {
  std::vector<SectorHit> list;
  Hits() = default;
  Hits(const Hits&) = delete;
  ~Hits() {
    for (SectorHit& h : list)
      if (h.kind == 224) FreeMftHitInfo(h.detail);
  }
  struct Spec {
    uint32_t parent = 5;
    std::u16string name = u"file.dat";
    uint8_t flags = kMftHitInUse;
    std::vector<uint8_t> runs;
    uint64_t real = 0;
    uint64_t allocated = 0;
  };
  SectorHit& Add(uint64_t lba, uint32_t number, const Spec& s) {
    auto* info = static_cast<MftHitInfo*>(AllocMem(sizeof(MftHitInfo), 1));
    std::memset(static_cast<void*>(info), 0, sizeof(MftHitInfo));
    info->recordNumber = number;
    info->parentRecord = s.parent;
    auto* name = static_cast<char16_t*>(AllocMem((s.name.size() + 1) * 2, 1));
    std::memcpy(name, s.name.c_str(), (s.name.size() + 1) * 2);
    info->name = name;
    info->nameLength = uint16_t(s.name.size());
    if (!s.runs.empty()) {
      auto* runs = static_cast<uint8_t*>(AllocMem(s.runs.size(), 1));
      std::memcpy(runs, s.runs.data(), s.runs.size());
      info->runList = runs;
      info->runListLength = uint16_t(s.runs.size());
    }
    info->dataSize = s.real;
    info->allocatedSize = s.allocated;
    info->flags = s.flags;
    list.push_back(SectorHit{224, 0, lba, 0, info});
    return list.back();
  }
  SectorHit& Add(uint64_t lba, uint32_t number) { return Add(lba, number, Spec{}); }
  // count records from firstNumber stored back to back from lba.
  void Run(uint64_t lba, uint32_t firstNumber, size_t count) {
    for (size_t i = 0; i < count; ++i) Add(lba + 2 * i, firstNumber + uint32_t(i));
  }
};

// A scratch image the builders can open (the scan-time build opens the device).
class NtfsRebuild : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n",
                        u"FileLost: FileLost\r\n");
    image = (fs::temp_directory_path() / ("ntfsrebuild" + std::to_string(getpid()) + ".img")).string();
    std::ofstream(image, std::ios::binary).put('\0');
    fs::resize_file(image, 1 << 20);
    devicePath = CString(Utf8ToUtf16(image));
    ResetVolumeContext(ScanTarget());
    ScanTarget().devicePath = devicePath;
    ClearMftHitGroups();
    ClearKnownMftExtents();
  }
  void TearDown() override {
    for (VolumeContext& v : built) FreeAllFileRecords(v);
    ResetVolumeContext(ScanTarget());
    ClearMftHitGroups();
    ClearKnownMftExtents();
    fs::remove(image);
  }
  void WriteAt(uint64_t lba, const std::vector<uint8_t>& bytes) {
    std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(std::streamoff(lba * 512));
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  std::string image;
  CString devicePath;
  std::vector<VolumeContext> built;
};

TEST_F(NtfsRebuild, RecordRunsNeedMoreThanFiftyHits) {
  struct Case {
    const char* what;
    void (*make)(Hits& h);
    std::vector<size_t> runs;  // lengths found, in order
  };
  const Case cases[] = {
      {"50 hits are no run", [](Hits& h) { h.Run(1000, 16, 50); }, {}},
      {"51 hits are", [](Hits& h) { h.Run(1000, 16, 51); }, {51}},
      // Records missing from the disk leave gaps the LBAs keep: still one run.
      {"gaps that keep two sectors per record",
       [](Hits& h) {
         h.Run(1000, 16, 30);
         h.Run(1000 + 2 * 40, 56, 30);
       },
       {60}},
      {"a shifted second half is a run of its own",
       [](Hits& h) {
         h.Run(1000, 16, 60);
         h.Run(5000, 16, 55);
       },
       {60, 55}},
      {"a hit without a summary ends the run",
       [](Hits& h) {
         h.Run(1000, 16, 40);
         h.list.push_back(SectorHit{224, 0, 1080, 0, nullptr});
         h.Run(1082, 57, 52);
       },
       {52}},
  };
  for (const Case& c : cases) {
    Hits h;
    c.make(h);
    std::vector<size_t> got;
    std::vector<SectorHit> run;
    for (size_t pos = 0; pos < h.list.size();)
      if (FindMftRecordRun(h.list, run, pos)) got.push_back(run.size());
    EXPECT_EQ(got, c.runs) << c.what;
  }
}

TEST_F(NtfsRebuild, ScanTimeBuildsFromTheUsualMftPlace) {
  // 255 records build nothing; 256 do, with record 0 at 0x600000 giving start 0.
  {
    Hits h;
    h.Run(kDefaultMftOffset, 0, 255);
    EXPECT_FALSE(BuildNtfsVolumesFromMftHits(devicePath, built, h.list, 10));
  }
  {
    Hits h;
    h.Run(kDefaultMftOffset, 0, 256);
    ASSERT_TRUE(BuildNtfsVolumesFromMftHits(devicePath, built, h.list, 10));
    ASSERT_EQ(built.size(), 1u);
    EXPECT_EQ(built[0].firstLba, 0u);
    EXPECT_EQ(built[0].sectorCount, kUnknownSectorCount);
    EXPECT_EQ(built[0].type, uint32_t(kVolTypeNtfs));
    EXPECT_EQ(built[0].bootSector[0x0D], 8);
    EXPECT_TRUE(built[0].devicePath == devicePath);
    FreeAllFileRecords(built[0]);
    built.clear();
  }
  // Record 100 at 0x600000 + 1000 sectors: the volume began 800 sectors in.
  {
    Hits h;
    h.Run(kDefaultMftOffset + 1000, 100, 300);
    ASSERT_TRUE(BuildNtfsVolumesFromMftHits(devicePath, built, h.list, 10));
    EXPECT_EQ(built[0].firstLba, 800u);
    for (VolumeContext& v : built) FreeAllFileRecords(v);
    built.clear();
  }
  // A start that would lie below sector 0 is skipped, as is a device that does not open.
  {
    Hits h;
    h.Run(kDefaultMftOffset + 100, 100, 300);
    EXPECT_FALSE(BuildNtfsVolumesFromMftHits(devicePath, built, h.list, 10));
    Hits g;
    g.Run(kDefaultMftOffset, 0, 300);
    EXPECT_FALSE(BuildNtfsVolumesFromMftHits(CString(u"/nonexistent/device"), built, g.list, 10));
  }
  // The maximum is passed by one: with room for one, two volumes are built.
  {
    Hits h;
    for (uint64_t i = 0; i < 3; ++i) h.Run(kDefaultMftOffset + i * 0x100000, 0, 256);
    ASSERT_TRUE(BuildNtfsVolumesFromMftHits(devicePath, built, h.list, 1));
    EXPECT_EQ(built.size(), 2u);
  }
}

TEST_F(NtfsRebuild, ThrottlesAndThresholds) {
  struct Room {
    uint32_t slots;
    size_t hits;
    uint32_t room;
  };
  for (const Room& r : {Room{4, 256, 46}, Room{10, 256, 40}, Room{11, 1023, 0}, Room{11, 1024, 39},
                        Room{21, 10239, 0}, Room{21, 10240, 29}, Room{49, 10240, 1}, Room{50, 100000, 0}})
    EXPECT_EQ(ScanTimeRebuildRoom(r.slots, r.hits), r.room) << r.slots << " slots, " << r.hits << " hits";
  const std::pair<size_t, size_t> thresholds[] = {{0, 128}, {2, 128}, {3, 150}, {20, 1000}, {21, 1024}, {99, 1024}};
  for (const auto& [volumes, want] : thresholds) EXPECT_EQ(EndRebuildRunThreshold(volumes), want) << volumes;
}

TEST_F(NtfsRebuild, StartVote) {
  struct Case {
    const char* what;
    std::vector<uint64_t> candidates;
    size_t finishedAfter;  // 0: never finished
    uint64_t result;
  };
  const Case cases[] = {
      {"three agree", {2048, 2048, 2048, 7}, 3, 2048},
      {"five with a leader of three", {2048, 9, 2048, 2048, 5, 7}, 5, 2048},
      {"five without a leader go on to ten", {1, 2, 3, 1, 2, 3, 4, 4, 5, 5, 9}, 10, 5},
      {"a tie goes to the larger start", {10, 20, 10, 20, 30, 40, 50, 60, 70, 80}, 10, 20},
      {"unfinished: the latest candidate", {10, 20, 30, 10}, 0, 10},
  };
  for (const Case& c : cases) {
    NtfsStartVote vote;
    size_t finished = 0;
    for (size_t i = 0; i < c.candidates.size() && finished == 0; ++i)
      if (vote.Add(c.candidates[i])) finished = i + 1;
    EXPECT_EQ(finished, c.finishedAfter) << c.what;
    EXPECT_EQ(vote.Result(), c.result) << c.what;
  }
}

TEST_F(NtfsRebuild, ClusterSizeFromSlack) {
  using Sample = std::pair<uint64_t, uint64_t>;  // (real, allocated)
  struct Case {
    const char* what;
    std::vector<Sample> samples;
    uint32_t spc;  // 0: no estimate
  };
  auto many = [](size_t n, Sample s) { return std::vector<Sample>(n, s); };
  std::vector<Sample> mixed = many(140, {100, 4096});  // slack 3996 → 8 sectors
  for (int i = 0; i < 10; ++i) mixed.push_back({1000, 65536});  // 64 KiB clusters, 7% of the samples
  const Case cases[] = {
      {"no usable sample", {{0, 4096}, {4096, 4096}, {5000, 4096}, {100, 1000}}, 0},
      {"few samples: the largest wins", {{100, 1024}, {100, 4096}}, 8},
      {"many samples: the largest with 5 %", mixed, 128},
      {"a rare large value is outvoted", [&] {
         auto v = many(200, {100, 4096});
         v.push_back({1000, 65536});
         return v;
       }(), 8},
      // Slack worth 256 or 512 sectors cannot be a cluster size the boot sector can hold.
      {"oversized slack refused", {{512, 512 * 257}, {512, 512 * 300}}, 0},
  };
  for (const Case& c : cases) {
    Hits h;
    uint32_t n = 16;
    for (const Sample& s : c.samples) {
      Hits::Spec spec;
      spec.runs = {0x11, 0x01, 0x20};
      spec.real = s.first;
      spec.allocated = s.second;
      h.Add(1000 + 2 * n, n, spec);
      ++n;
    }
    uint32_t spc = 0;
    EXPECT_EQ(EstimateNtfsClusterSize(h.list, spc), c.spc != 0) << c.what;
    if (c.spc != 0) {
      EXPECT_EQ(spc, c.spc) << c.what;
    }
  }
}

// An index block in the image at lba: entries of the given references, each 0x68 bytes, from
// entriesOffset (relative to 0x18).
std::vector<uint8_t> IndexBlock(const std::vector<uint32_t>& refs, uint32_t entriesOffset = 0x28) {
  std::vector<uint8_t> b(4096, 0);
  std::memcpy(b.data(), "INDX", 4);
  Put32(b.data() + 0x18, entriesOffset);
  uint32_t pos = 0x18 + entriesOffset;
  for (uint32_t ref : refs) {
    Put64(b.data() + pos, ref);
    Put16(b.data() + pos + 8, 0x68);
    b[pos + 0x51] = 1;
    pos += 0x68;
  }
  Put16(b.data() + pos + 8, 0x10);
  Put16(b.data() + pos + 0x0C, 2);
  return b;
}

TEST_F(NtfsRebuild, IndexRecordsThatListTheChildren) {
  MftHitInfo dir{};
  dir.recordNumber = 64;
  const std::vector<uint32_t> children = {70, 71, 72};
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    uint32_t spc;
    std::vector<uint32_t> kids;
    bool found;
  };
  std::vector<uint8_t> atEnd = IndexBlock({70, 71, 72});
  // Entries offset near 2^32: added in 64 bits it points past the cluster, not back into it.
  const Case cases[] = {
      {"all children listed", IndexBlock({70, 80, 71, 72}), 8, children, true},
      {"two of three listed", IndexBlock({70, 71, 90}), 8, children, false},
      {"two children are too few", IndexBlock({70, 71}), 8, {70, 71}, false},
      {"entries offset past the cluster", IndexBlock({70, 71, 72}, 0xFFFFFFF0u), 8, children, false},
      {"entries read from one sector only", IndexBlock({70, 71, 72}, 0x1D0), 1, children, false},
      {"not an index block", std::vector<uint8_t>(4096, 0), 8, children, false},
  };
  for (const Case& c : cases) {
    WriteAt(200, c.block);
    DiskReader reader;
    ASSERT_TRUE(OpenDeviceByPath(devicePath, reader, 1));
    const std::vector<SectorHit> indx = {SectorHit{225, 0, 100, 0, reinterpret_cast<void*>(uintptr_t(63))},
                                         SectorHit{225, 0, 200, 0, reinterpret_cast<void*>(uintptr_t(64))}};
    uint64_t lba = 0;
    EXPECT_EQ(ReadIndxEntryRefs(reader, c.spc, indx, dir, c.kids, lba), c.found) << c.what;
    if (c.found) {
      EXPECT_EQ(lba, 200u) << c.what;
    }
  }
}

TEST_F(NtfsRebuild, StartFromTheDirectoriesIndexRecords) {
  // Three directories whose index blocks lie at start + 8 x LCN of their first index cluster.
  const uint64_t start = 1000;
  Hits h;
  std::vector<uint8_t> fileRuns = {0x11, 0x01, 0x20};
  uint32_t number = 64;
  std::vector<SectorHit> indx;
  for (uint32_t d = 0; d < 3; ++d) {
    const uint32_t dirNumber = number++;
    const uint64_t dirLba = 100 + 2 * uint64_t(dirNumber);
    const uint64_t lcn = 40 + 4 * d;
    RecordBuilder r(dirNumber, 3);
    r.StandardInfo(TestFileTime(), TestFileTime());
    r.FileName(5, u"dir", 1);
    r.NonResident(kAttrIndexAllocation, 4096, {0x11, 0x01, uint8_t(lcn)});
    WriteAt(dirLba, std::vector<uint8_t>(r.b, r.b + kMftRecordBytes));
    Hits::Spec dirSpec;
    dirSpec.flags = kMftHitInUse | kMftHitDirectory | kMftHitIndexAllocation;
    h.Add(dirLba, dirNumber, dirSpec);
    std::vector<uint32_t> kids;
    for (int k = 0; k < 4; ++k) {
      Hits::Spec file;
      file.parent = dirNumber;
      file.runs = fileRuns;
      file.real = 100;
      file.allocated = 4096;
      kids.push_back(number);
      h.Add(100 + 2 * uint64_t(number), number, file);
      ++number;
    }
    WriteAt(start + 8 * lcn, IndexBlock(kids));
    indx.push_back(SectorHit{225, 0, start + 8 * lcn, 0, reinterpret_cast<void*>(uintptr_t(dirNumber))});
  }
  DiskReader reader;
  ASSERT_TRUE(OpenDeviceByPath(devicePath, reader, 1));
  uint64_t found = 0;
  uint32_t spc = 0;
  ASSERT_TRUE(EstimateNtfsVolumeStart(reader, found, spc, indx, h.list));
  EXPECT_EQ(found, start);
  EXPECT_EQ(spc, 8u);
  // Without index records nothing votes.
  EXPECT_FALSE(EstimateNtfsVolumeStart(reader, found, spc, {}, h.list));
}

TEST_F(NtfsRebuild, LaterHitOfARecordNumberWins) {
  Hits h;
  Hits::Spec older, newer;
  older.name = u"older.txt";
  newer.name = u"newer.txt";
  h.Add(1000, 70, older);
  h.Add(5000, 70, newer);
  Hits::Spec mft;
  mft.name = u"$MFT";
  h.Add(6000, 0, mft);
  ScanProgress progress = MakeScanProgress(kProgressParse);
  BuildNtfsVolumeFromMftRun(progress, devicePath, built, h.list, 0, 8);
  ASSERT_EQ(built.size(), 1u);
  std::vector<std::u16string> names;
  for (uint32_t id = 1; id < built[0].idLimit; ++id)
    if (const FileRecord* r = GetFileRecord(built[0], id)) names.push_back(r->name);
  EXPECT_NE(std::find(names.begin(), names.end(), u"newer.txt"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), u"older.txt"), names.end());
  // Record 0 takes a free id rather than being lost or taking another's.
  EXPECT_NE(std::find(names.begin(), names.end(), u"$MFT"), names.end());
  EXPECT_EQ(progress.parse.filesInUse, 3u);
}

TEST_F(NtfsRebuild, MftStartsFromABlocksRecords) {
  Hits h;
  // A run of 6 records beginning with $MFT whose mirror shows 8 sectors per cluster: the run is
  // the MFT itself, at LCN 0x100 of a volume starting at 4096.
  const uint64_t mftLba = 4096 + 8 * 0x100;
  Hits::Spec mft, mirror;
  mft.name = u"$MFT";
  mft.runs = {0x21, 0x40, 0x00, 0x01};
  mirror.name = u"$MFTMirr";
  mirror.runs = {0x11, 0x01, 0x40};
  mirror.real = 4096;
  h.Add(mftLba, 0, mft);
  h.Add(mftLba + 2, 1, mirror);
  for (uint32_t i = 2; i < 6; ++i) h.Add(mftLba + 2 * i, i);
  // A plain run of 4 records numbered from 100: its volume starts 200 sectors before it.
  h.Run(900000, 100, 4);
  EXPECT_EQ(NtfsStartsFromMftHits(h.list), (std::vector<uint64_t>{4096, 900000 - 200}));

  // A mirror whose first run has no clusters says nothing (no division by zero).
  MftHitInfo* info = static_cast<MftHitInfo*>(h.list[1].detail);
  info->runList[0] = 0x11;
  info->runList[1] = 0x00;
  std::vector<SectorHit> mftHits;
  const std::vector<MftHitRun> runs = SplitMftHitRuns(h.list, mftHits);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_TRUE(runs[0].startsWithMft);
  uint64_t start = 0;
  EXPECT_FALSE(DeriveNtfsStartFromMftRun(mftHits, runs[0], start));
}

std::vector<uint64_t> g_shown;
void RecordShown(std::atomic<uint32_t>*, VolumeContext& v) {
  g_shown.push_back(v.firstLba);
  FreeAllFileRecords(v);
}
uint32_t FixedSlotsOnly() { return 4; }

TEST_F(NtfsRebuild, LoadedHitsOutsideKnownMftsBecomeVolumes) {
  const uint64_t sectors = 0x700000;
  ScanTarget().sectorCount = ScanTarget().deviceSectors = sectors;
  AllocBlockHitListsFor(DeviceBlockCount(sectors));
  {
    Hits h;
    h.Run(kDefaultMftOffset + 5000, 0, 300);    // a lost volume starting at sector 5000
    h.Run(kDefaultMftOffset + 0x40000, 0, 300);  // the MFT of a volume parsed already
    for (const SectorHit& hit : h.list) StoreBlockHit(hit);
    h.list.clear();  // the hit lists own the summaries now
  }
  KnownMftExtents().push_back(MftExtentRange{kDefaultMftOffset + 0x40000, 0x1000});
  SetRebuiltVolumeSink(&RecordShown);
  SetVolumeSlotCounter(&FixedSlotsOnly);
  g_shown.clear();
  RebuildNtfsFromLoadedHits(nullptr);
  EXPECT_EQ(g_shown, std::vector<uint64_t>{5000});
  SetRebuiltVolumeSink(nullptr);
  SetVolumeSlotCounter(nullptr);
  FreeBlockHitLists();
}

TEST_F(NtfsRebuild, BootHitNeedsAnMftOfItsOwnRecords) {
  // A volume at 100 whose MFT the boot sector puts at cluster 4 (8 sectors per cluster).
  const std::vector<uint8_t> boot = TestBootSector(8, 131071, 4);
  struct Case {
    const char* what;
    uint32_t ownNumbers;  // records 0 … n-1 carry their numbers, the rest another
    std::vector<uint8_t> boot;
    bool proved;
  };
  std::vector<uint8_t> farMft = boot;
  Put64(farMft.data() + 0x30, 1ull << 62);  // 8 x LCN wraps
  std::vector<uint8_t> pastEnd = boot;
  Put64(pastEnd.data() + 0x30, 1000000);
  const Case cases[] = {
      {"16 own numbers are not enough", 16, boot, false},
      {"17 are", 17, boot, true},
      {"an MFT position that wraps", 64, farMft, false},
      {"an MFT past the device end", 64, pastEnd, false},
  };
  for (const Case& c : cases) {
    for (uint32_t k = 0; k < 64; ++k) {
      std::vector<uint8_t> rec(1024, 0);
      Put32(rec.data() + 0x2C, k < c.ownNumbers ? k : 1000 + k);
      WriteAt(100 + 8 * 4 + 2 * k, rec);
    }
    DiskReader reader;
    ASSERT_TRUE(OpenDeviceByPath(devicePath, reader, 1));
    EXPECT_EQ(MftStartHoldsOwnRecords(reader, c.boot.data(), 100), c.proved) << c.what;
  }
}

bool NeverOpen(uint64_t) { return false; }
bool Block0Open(uint64_t lba) { return lba == 0; }

TEST_F(NtfsRebuild, GroupsCloseWhenBothNeighboursAreHandled) {
  Hits h;
  h.Run(16384 + 10, 16, 3);
  h.Run(2 * 16384, 19, 3);
  std::vector<SectorHit> first(h.list.begin(), h.list.begin() + 3), second(h.list.begin() + 3, h.list.end());
  StoreMftHitGroup(2 * 16384, 3, second);
  StoreMftHitGroup(16384, 3, first);
  ASSERT_EQ(MftHitGroups().size(), 2u);
  EXPECT_EQ(MftHitGroups()[0].blockLba, 16384u);
  std::vector<SectorHit> out;
  // Block 3 handled, but block 0 before the run is not: the run may still grow.
  EXPECT_FALSE(TakeMftHitsBeforeBlock(3 * 16384, out, &Block0Open));
  EXPECT_EQ(MftHitGroups().size(), 2u);
  // Block 0 handled now, looking from it: the run after it is closed by block 3.
  EXPECT_TRUE(TakeMftHitsAfterBlock(0, out, &NeverOpen));
  EXPECT_EQ(out.size(), 6u);
  EXPECT_TRUE(MftHitGroups().empty());

  // Hits inside a parsed MFT are left out; a run of only such hits gives nothing.
  StoreMftHitGroup(16384, 3, first);
  KnownMftExtents().push_back(MftExtentRange{16384, 16384});
  EXPECT_FALSE(TakeMftHitsBeforeBlock(2 * 16384, out, &NeverOpen));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(MftHitGroups().empty());
}

}  // namespace
