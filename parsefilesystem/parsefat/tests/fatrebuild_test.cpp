#include "parsefilesystem/parsefat/fatrebuild.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "base/heap.h"
#include "core/dataextents.h"
#include "parsefilesystem/parsefat/fatdirsummary.h"
#include "parsefilesystem/parsefat/fatextentprovider.h"
#include "parsefilesystem/parsefat/fatlostdirs.h"
#include "parsefilesystem/parsefat/fatsectorcheck.h"
#include "parsefilesystem/parsefat/fattablemeasure.h"
#include "parsefilesystem/parsefat/fatvalidate.h"
#include "parsefilesystem/parsefat/tests/fatbytes.h"
#include "parsefilesystem/parsefat/tests/fattestenv.h"
#include "tests/fixtures/extenthash.h"
#include "tests/fixtures/scriptfixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string BuildDir() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string dir = n > 0 ? std::string(path, size_t(n)) : std::string();
  for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.rfind('/'));
  return dir;
}

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Item {
  uint32_t volume;
  std::string path, sha256;
  uint64_t size;
  bool deleted, dir;
};

std::vector<Item> ReadManifest(const std::string& path) {
  std::vector<Item> items;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::stringstream ss(line);
    std::string vol, p, size, sha, del, dir;
    std::getline(ss, vol, '\t');
    std::getline(ss, p, '\t');
    std::getline(ss, size, '\t');
    std::getline(ss, sha, '\t');
    std::getline(ss, del, '\t');
    std::getline(ss, dir, '\t');
    items.push_back(Item{uint32_t(std::stoul(vol)), p, sha, std::stoull(size), del == "1", dir == "1"});
  }
  return items;
}

// The sectors a deep scan keeps of a disk: directory-entry sectors with their summaries, and
// FAT32 table starts measured to their second copy.
std::vector<SectorHit> ScanFatHits(const Bytes& img) {
  std::vector<SectorHit> hits;
  const uint64_t sectors = img.size() / 512;
  for (uint64_t lba = 0; lba < sectors; ++lba) {
    const uint8_t* s = img.data() + lba * 512;
    if (FatU32(s) == 0) continue;
    bool dirSector = false;
    if (s[0] != 0) {
      const uint8_t attr = s[11];
      if (attr == 0x08 || attr == 0x28) dirSector = IsFatVolumeLabelEntry(s) && ValidateFatDirEntries(s + 32, 480);
      else if (attr == 0x0F) dirSector = ValidateFatLfnRun(s, 512, s[0] == 0xE5 ? 0xE5 : (s[0] & 0x0F) + 1, s[13]);
      else dirSector = ValidateFatEntryRun(s, 512);
    }
    if (dirSector) {
      void* detail = nullptr;
      if (SummarizeFatDirSectorHit(s, lba, &detail)) hits.push_back(SectorHit{229, 0, lba, 0, detail});
      continue;
    }
    if (IsFat32TableStart(s)) {
      CarveCandidate c{};
      const uint64_t avail = std::min<uint64_t>(img.size() - lba * 512, 0x4000000);
      if (MeasureFat32Table(s, uint32_t(avail), c) == kEndKnown) hits.push_back(SectorHit{228, kHitEndFound, lba, c.size, nullptr});
    }
  }
  return hits;
}

const FileRecord* RecordAt(const VolumeContext& vol, const std::string& path) {
  for (uint32_t id = kRootId + 1; id < vol.idLimit; ++id) {
    const FileRecord* rec = GetFileRecord(vol, id, 0);
    if (!rec) continue;
    std::string p;
    const FileRecord* r = rec;
    for (int depth = 0; r && r->id != kRootId && depth < 64; ++depth) {
      p = "/" + CString(r->name).ToUtf8() + p;
      r = GetFileRecord(vol, r->parent, 0);
    }
    if (r && p == path) return rec;
  }
  return nullptr;
}

// What of the volume's items the volume does not show: each at its path, a deleted one not in
// use, every live file with its data.
std::vector<std::string> Missing(VolumeContext& vol, const std::vector<Item>& items, uint32_t volume) {
  std::vector<std::string> out;
  for (const Item& it : items) {
    if (it.volume != volume) continue;
    std::string path = it.path;
    const FileRecord* rec = RecordAt(vol, path);
    if (!rec && it.deleted) {
      // Without its long name a deleted entry's first character is the deletion mark.
      path = path.substr(0, path.rfind('/') + 1) + "!" + path.substr(path.rfind('/') + 2);
      rec = RecordAt(vol, path);
    }
    if (!rec) {
      out.push_back(path + " missing");
      continue;
    }
    if (bool(rec->flags & kRecInUse) == it.deleted) out.push_back(path + " deletion state");
    if (it.dir || it.deleted) continue;
    if (uint64_t(rec->size) != it.size) out.push_back(path + " size");
    else if (ExtentDataHash(vol, *rec) != it.sha256) out.push_back(path + " data");
  }
  return out;
}

class FatRebuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFatTestSettings();
    InitFatExtentProvider();
  }
  void TearDown() override {
    for (SectorHit& h : hits)
      if (h.detail) FreeMem(h.detail);
    for (VolumeContext& v : volumes) FreeAllFileRecords(v);
    ClearKnownFatLbaList();
    if (!dir.empty()) system(("rm -rf '" + dir + "'").c_str());
  }
  // The disk (lost32, nofat32, two32), built once per build folder, rebuilt.
  void Rebuild(const std::string& name) {
    const std::string disks = BuildScriptFixture("fatlostimages.sh", "fatlost_fixtures");
    if (disks.empty()) GTEST_SKIP() << "mkfs.vfat or mtools missing";
    image = disks + "/" + name + ".img";
    items = ReadManifest(image + ".manifest");
    VolumeContext& target = ScanTarget();
    ResetVolumeContext(target);
    target.devicePath = CString(Utf8ToUtf16(image));
    ASSERT_TRUE(OpenDeviceByPath(target.devicePath, reader, 1));
    target.sectorCount = reader.sizeBytes / 512;
    hits = ScanFatHits(ReadAll(image));
    RebuildFatFromDirEntryHits(reader, hits, volumes);
  }
  VolumeContext* VolumeWith(uint32_t volume) {
    for (VolumeContext& v : volumes)
      if (v.type == kVolTypeFat32Rebuilt && Missing(v, items, volume).empty()) return &v;
    return nullptr;
  }
  std::string dir, image;
  std::vector<Item> items;
  DiskReader reader;
  std::vector<SectorHit> hits;
  std::vector<VolumeContext> volumes;
};

TEST_F(FatRebuildTest, ALostVolumeComesBackWithItsTableCopy) {
  ASSERT_NO_FATAL_FAILURE(Rebuild("lost32"));
  if (IsSkipped()) return;
  ASSERT_EQ(volumes.size(), 1u);
  VolumeContext& v = volumes[0];
  EXPECT_EQ(v.type, uint32_t(kVolTypeFat32Rebuilt));
  EXPECT_EQ(v.bootSector[0x0D], 4);
  EXPECT_NE(v.fatBuffer, nullptr);
  for (const std::string& m : Missing(v, items, 0)) ADD_FAILURE() << m;
}

TEST_F(FatRebuildTest, WithoutItsTablesTheVotesAlone) {
  ASSERT_NO_FATAL_FAILURE(Rebuild("nofat32"));
  if (IsSkipped()) return;
  ASSERT_EQ(volumes.size(), 1u);
  VolumeContext& v = volumes[0];
  EXPECT_EQ(v.fatBuffer, nullptr);
  EXPECT_EQ(v.sectorCount, 4ull * 0x0FFFFFEF);
  for (const std::string& m : Missing(v, items, 0)) ADD_FAILURE() << m;
}

TEST_F(FatRebuildTest, TwoLostVolumesOfDifferentClusterSizes) {
  ASSERT_NO_FATAL_FAILURE(Rebuild("two32"));
  if (IsSkipped()) return;
  ASSERT_EQ(volumes.size(), 2u);
  for (uint32_t vol : {0u, 1u}) {
    VolumeContext* v = VolumeWith(vol);
    ASSERT_NE(v, nullptr) << "volume " << vol << ": " << Missing(volumes[0], items, vol).size() << " and "
                          << Missing(volumes[1], items, vol).size() << " items missing";
  }
  EXPECT_NE(volumes[0].bootSector[0x0D], volumes[1].bootSector[0x0D]);
}

TEST_F(FatRebuildTest, TheTableCopyIsCheckedAgainstTheDirectories) {
  ASSERT_NO_FATAL_FAILURE(Rebuild("lost32"));
  if (IsSkipped()) return;
  std::vector<FatTableCandidate> candidates;
  CollectFatTableCandidates(reader, hits, candidates);
  ASSERT_FALSE(candidates.empty());
  // The rebuild read every directory; the runs are taken again as before it.
  ClearKnownFatLbaList();
  std::vector<FatDirRun> runs;
  CollectFatDirHitRuns(hits, runs);
  std::vector<FatDataStartVote> votes;
  EstimateFatDataStarts(runs, votes);
  ASSERT_FALSE(votes.empty());
  std::vector<FatDirRun> group;
  for (const FatDirRun& r : runs)
    if (r.lba == votes[0].start) group.push_back(r);
  ASSERT_EQ(group.size(), 1u);
  ASSERT_TRUE(SelectFatDirRunsForStart(runs, votes[0].start, votes[0].spc, group));
  int32_t index = -1;
  ASSERT_TRUE(MatchFatTable(reader, group, uint32_t(votes[0].spc), candidates, index));
  EXPECT_EQ(index, 0);
  // A table whose chains disagree is not taken.
  std::memset(candidates[0].bytes + 8, 0, candidates[0].sectors * 512 - 8);
  EXPECT_FALSE(MatchFatTable(reader, group, uint32_t(votes[0].spc), candidates, index));
  FreeFatTableCandidates(candidates);
}

TEST_F(FatRebuildTest, TableCandidatesAreHeldWithinABudget) {
  ASSERT_NO_FATAL_FAILURE(Rebuild("lost32"));
  if (IsSkipped()) return;
  // A disk of many table copies: only as many as the budget holds are read.
  std::vector<SectorHit> many;
  uint64_t size = 0;
  for (const SectorHit& h : hits)
    if (h.kind == 228) {
      size = h.size;
      for (int i = 0; i < 40; ++i) many.push_back(h);
    }
  ASSERT_NE(size, 0u);
  std::vector<FatTableCandidate> candidates;
  CollectFatTableCandidates(reader, many, candidates, 5 * size + 100);
  EXPECT_EQ(candidates.size(), 5u);
  FreeFatTableCandidates(candidates);
  // Larger than one copy may be: not a candidate.
  many.resize(1);
  many[0].size = 0x4000000 + 512;
  CollectFatTableCandidates(reader, many, candidates);
  EXPECT_TRUE(candidates.empty());
}

// A parsed volume whose root lost the start of its "Docs" folder gets the folder back as a lost
// directory "Dir…" with everything below it; of a split pair only the deleted-files copy does,
// and a FAT16 volume never does.
TEST_F(FatRebuildTest, LostFoldersOfParsedVolumes) {
  const std::string fixtures = BuildScriptFixture("fatimages.sh", "fat_fixtures");
  if (fixtures.empty()) GTEST_SKIP() << "mkfs.vfat or mtools missing";
  for (const char* name : {"fat32.img", "fat16.img"}) {
    SCOPED_TRACE(name);
    dir = BuildDir() + "/fixtures/fatlostdirs_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    image = dir + "/" + name;
    std::filesystem::copy_file(fixtures + "/" + name, image, std::filesystem::copy_options::overwrite_existing);
    VolumeContext parsed;
    ASSERT_TRUE(SetupImageVolume(image, parsed));
    const FatGeometry g = ReadFatGeometry(parsed);
    // The root's entry of "Docs" loses its first cluster: no walk reaches the folder.
    Bytes img = ReadAll(image);
    const uint64_t root = parsed.type == kVolTypeFat16 ? g.rootDirLba : FatClusterLba(g, g.rootCluster);
    uint32_t docs = 0;
    for (uint64_t off = root * 512; off + 32 <= root * 512 + 4096; off += 32) {
      uint8_t* e = img.data() + off;
      if (std::memcmp(e, "DOCS       ", 11) != 0) continue;
      docs = FatEntryFirstCluster(e);
      std::memset(e + 20, 0, 2);
      std::memset(e + 26, 0, 2);
    }
    ASSERT_NE(docs, 0u);
    std::ofstream(image, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(img.data()),
                                                                   std::streamsize(img.size()));
    // Two parses of one volume: each reads the directories afresh.
    VolumeContext existing;
    ASSERT_TRUE(SetupImageVolume(image, existing));
    ASSERT_TRUE(ParseFatVolume(&ScanRunState, existing));
    ClearKnownFatLbaList();
    ASSERT_TRUE(SetupImageVolume(image, parsed));
    ASSERT_TRUE(ParseFatVolume(&ScanRunState, parsed));
    existing.volumePath = parsed.volumePath = CString(u"E:\\");
    existing.splitKind = kSplitExisting;
    parsed.splitKind = kSplitDeleted;
    volumes = {existing, parsed};
    ASSERT_TRUE(OpenDeviceByPath(CString(Utf8ToUtf16(image)), reader, 1));
    hits = ScanFatHits(img);
    std::vector<FatDirRun> runs;
    CollectFatDirHitRuns(hits, runs);
    ASSERT_FALSE(runs.empty());
    CompleteKnownFatVolumes(reader, runs, volumes);
    char lost[16];
    snprintf(lost, sizeof lost, "/Dir%08u", docs);
    const bool fat32 = parsed.type == kVolTypeFat32;
    EXPECT_EQ(RecordAt(volumes[1], std::string(lost) + "/Sub/DEEP.BIN") != nullptr, fat32);
    EXPECT_EQ(RecordAt(volumes[1], std::string(lost) + "/Résumé für Jürgen.doc") != nullptr, fat32);
    EXPECT_EQ(RecordAt(volumes[0], std::string(lost) + "/Sub/DEEP.BIN"), nullptr);
    TearDown();
    hits.clear();
    volumes.clear();
  }
}

// A root directory of 40 one-cluster files far into a disk, and a table that agrees with it.
TEST(MatchFatTable, TheTableMustLieWithin0x23000SectorsBeforeTheRoot) {
  LoadFatTestSettings();
  const uint64_t root = 0x23000 + 100;
  ImageFile img("fatwindow.img", root + 8);
  std::vector<Entry> entries;
  std::vector<uint8_t> table(512, 0);
  for (uint32_t i = 0; i < 40; ++i) {
    char name[12];
    snprintf(name, sizeof name, "FILE%04uTXT", i);
    entries.push_back(ShortEntry(name, 0x20, 3 + i, 100));
    Put32(&table[(3 + i) * 4], 0x0FFFFFFF);
  }
  img.WriteEntries(root, entries);
  DiskReader reader;
  ASSERT_TRUE(OpenDeviceByPath(CString(Utf8ToUtf16(img.path())), reader, 1));
  const std::vector<FatDirRun> group{FatDirRun{root, 1, nullptr}};
  std::vector<FatTableCandidate> candidates{FatTableCandidate{root - 0x22FFF, 1, table.data()}};
  int32_t index = -1;
  EXPECT_TRUE(MatchFatTable(reader, group, 4, candidates, index));
  EXPECT_EQ(index, 0);
  candidates[0].lba = root - 0x23000;
  EXPECT_FALSE(MatchFatTable(reader, group, 4, candidates, index));
  candidates[0].lba = root;  // not before the root
  EXPECT_FALSE(MatchFatTable(reader, group, 4, candidates, index));
  // A file of one cluster whose chain goes on, or a cluster the table has free: no match.
  candidates[0].lba = root - 1;
  Put32(&table[10 * 4], 11);
  EXPECT_FALSE(MatchFatTable(reader, group, 4, candidates, index));
  Put32(&table[10 * 4], 0);
  EXPECT_FALSE(MatchFatTable(reader, group, 4, candidates, index));
  Put32(&table[10 * 4], 0x0FFFFFFF);
  EXPECT_TRUE(MatchFatTable(reader, group, 4, candidates, index));
}

// Runs with their own "." clusters for the votes.
class FatVoteTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (FatDirHitInfo* i : infos) delete i;
  }
  void Dot(uint64_t lba, uint32_t own) {
    infos.push_back(new FatDirHitInfo{});
    infos.back()->sectorKind = 2;
    infos.back()->ownCluster = own;
    runs.push_back(FatDirRun{lba, 1, infos.back()});
  }
  std::vector<FatDataStartVote> Votes() {
    std::vector<FatDataStartVote> v;
    EstimateFatDataStarts(runs, v);
    return v;
  }
  std::vector<FatDirRun> runs;
  std::vector<FatDirHitInfo*> infos;
};

TEST_F(FatVoteTest, FourAgreeingRunsMakeAVoteThreeDoNot) {
  // Data start 10000, 8 sectors per cluster; clusters far apart so no other size agrees.
  for (uint32_t own : {100u, 1000u, 5000u}) Dot(10000 + 8ull * (own - 2), own);
  EXPECT_TRUE(Votes().empty());
  Dot(10000 + 8ull * (20000 - 2), 20000);
  const auto four = Votes();
  ASSERT_EQ(four.size(), 1u);
  EXPECT_EQ(four[0].count, 4u);
  EXPECT_EQ(four[0].start, 10000u);
  EXPECT_EQ(four[0].spc, 8u);
  // Two volumes of six runs each: both votes stay.
  for (uint32_t own : {30000u, 40000u}) Dot(10000 + 8ull * (own - 2), own);
  for (uint32_t own : {7u, 70u, 700u, 7000u, 70000u, 700000u}) Dot(5000000 + 2ull * (own - 2), own);
  const auto both = Votes();
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[0].start, 5000000u);  // equal counts: the higher start first
  EXPECT_EQ(both[0].spc, 2u);
  EXPECT_EQ(both[1].start, 10000u);
}

}  // namespace
