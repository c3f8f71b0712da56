#include "parsefilesystem/exfat/exfatrebuild.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "base/heap.h"
#include "core/dataextents.h"
#include "parsefilesystem/exfat/exfatdirhitinfo.h"
#include "parsefilesystem/exfat/exfatsectorcheck.h"
#include "parsefilesystem/exfat/exfatvotes.h"
#include "parsefilesystem/exfat/tests/exfattestenv.h"
#include "scanbase/knowndirlbas.h"
#include "scanbase/scanhitstore.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool IsEntryStart(uint8_t b) {
  switch (b) {
    case 0x03: case 0x05: case 0x40: case 0x41: case 0x83: case 0x85: case 0xC0: case 0xC1: return true;
    default: return false;
  }
}

// The directory runs a deep scan keeps of an image: a sector of directory entries that does not
// directly follow another, with a window grown by 4 KiB while the step's last sector still holds
// entries, summarised as the scan summarises it.
std::vector<SectorHit> ScanDirRuns(const Bytes& img) {
  std::vector<SectorHit> hits;
  const uint64_t sectors = img.size() / 512;
  uint64_t last = UINT64_MAX - 1;
  for (uint64_t lba = 0; lba < sectors; ++lba) {
    const uint8_t* s = img.data() + lba * 512;
    if (!IsExfatRootDirSector(s) && !(IsEntryStart(s[0]) && CheckExfatDirEntries(s, 0))) continue;
    const bool follows = lba == last + 1;
    last = lba;
    if (follows) continue;
    uint64_t wanted = 4096;
    for (;;) {
      if ((lba * 512) + wanted > img.size()) {
        wanted = img.size() - lba * 512;
        break;
      }
      const uint8_t* end = s + wanted - 512;
      if (!CheckExfatDirEntries(end, 0) || end[480] == 0) break;
      wanted += 4096;
    }
    CarveCandidate c{};
    c.typeId = 231;
    c.startLba = lba;
    AnalyzeExfatDirSector(s, uint32_t(wanted), c);
    hits.push_back(SectorHit{231, kHitEndFound, lba, wanted, c.details});
  }
  return hits;
}

void FreeHitDetails(std::vector<SectorHit>& hits) {
  for (SectorHit& h : hits)
    if (h.detail) FreeMem(h.detail);
  hits.clear();
}

struct LostVolume {
  std::string image;
  std::vector<ManifestItem> items;
  std::vector<uint64_t> lbas;  // of the items' first clusters
};

bool BuildLost(const std::string& name, const std::string& cluster, const std::string& wipe, uint64_t offset,
               LostVolume& out) {
  const std::string tool = BuildDir() + "/tests/tools/exfatfixture";
  out.image = FixturePath(name);
  const std::string manifest = out.image + ".manifest";
  const std::string cmd = "mkdir -p '" + BuildDir() + "/fixtures' && '" + tool + "' '" + out.image + "' '" + manifest +
                          "' --offset " + std::to_string(offset) + " --cluster " + cluster + " --lost '" +
                          KESTREL_FIXTURE_SOURCE + "' " + wipe + " >/dev/null";
  const int rc = system(cmd.c_str());
  if (!WIFEXITED(rc) || WEXITSTATUS(rc) != 0) return false;
  std::ifstream in(manifest);
  std::string line;
  while (std::getline(in, line)) {
    ManifestItem it;
    it.path = JsonField(line, "path");
    it.sha256 = JsonField(line, "sha256");
    it.size = std::stoull(JsonField(line, "size"));
    it.dir = JsonField(line, "dir") == "true";
    it.deleted = JsonField(line, "deleted") == "true";
    it.chained = JsonField(line, "chained") == "true";
    const std::string lba = JsonField(line, "lba");
    out.items.push_back(it);
    out.lbas.push_back(lba.empty() ? 0 : std::stoull(lba));
  }
  remove(manifest.c_str());
  return !out.items.empty();
}

// The carved starts a deep scan would have found: the pictures at their places.
void PlantCarvedPictures(const std::vector<LostVolume>& vols) {
  AllocBlockHitListsFor(1);
  for (const LostVolume& v : vols) {
    for (size_t i = 0; i < v.items.size(); ++i) {
      const ManifestItem& it = v.items[i];
      const uint8_t type = GetTypeIdByExtension(CString(Utf8ToUtf16(it.path)));
      if (it.dir || !IsExfatGeometryType(type)) continue;
      BlockHitLists()[0].push_back(SectorHit{type, kHitEndFound, v.lbas[i], it.size, nullptr});
    }
  }
}

std::string ExtentHash(VolumeContext& vol, DiskReader& reader, const FileRecord& rec) {
  DataExtentList extents;
  if (!GetRecordExtents(vol, rec.id, extents)) return "no extents";
  Sha256 sha;
  uint64_t left = rec.size;
  for (const DataExtent& x : extents) {
    Bytes buf(x.sectorCount * 512);
    reader.ReadSectors(buf.data(), x.startLba, uint32_t(x.sectorCount));
    const uint64_t take = std::min<uint64_t>(left, buf.size());
    sha.Update(buf.data(), take);
    left -= take;
  }
  return left ? "short" : sha.HexDigest();
}

// Every item of the manifest at its path with its size, a deleted one not in use, and the data
// of every contiguous file byte for byte.
void ExpectTreeOf(const LostVolume& lost, VolumeContext& vol, DiskReader& reader) {
  const std::map<std::string, const FileRecord*> byPath = RecordsByPath(vol);
  for (const ManifestItem& it : lost.items) {
    auto found = byPath.find(it.path);
    ASSERT_NE(found, byPath.end()) << it.path;
    const FileRecord& rec = *found->second;
    EXPECT_EQ(bool(rec.flags & kRecDirectory), it.dir) << it.path;
    EXPECT_EQ(!(rec.flags & kRecInUse), it.deleted) << it.path;
    if (it.dir) continue;
    EXPECT_EQ(uint64_t(rec.size), it.size) << it.path;
    if (!it.chained && it.size != 0) {
      EXPECT_EQ(ExtentHash(vol, reader, rec), it.sha256) << it.path;
    }
  }
}

const FileRecord* RecordAt(const VolumeContext& vol, const std::string& path) {
  const auto byPath = RecordsByPath(vol);
  auto it = byPath.find(path);
  return it == byPath.end() ? nullptr : it->second;
}

class ExfatRebuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadExfatTestSettings();
    ClearKnownExfatDirLbas();
  }
  void TearDown() override {
    FreeHitDetails(hits);
    for (VolumeContext& v : volumes) FreeAllFileRecords(v);
    volumes.clear();
    FreeBlockHitLists();
    ClearKnownExfatDirLbas();
    for (const std::string& f : files) remove(f.c_str());
    files.clear();
  }
  bool Rebuild(const std::string& image) {
    files.push_back(image);
    DiskReader reader;
    if (!OpenDeviceByPath(CString(Utf8ToUtf16(image)), reader, 1)) return false;
    hits = ScanDirRuns(ReadAll(image));
    ScanProgress progress = MakeScanProgress(kProgressParse);
    return RebuildExfatFromDirHits(nullptr, progress, reader, hits, volumes);
  }
  std::vector<SectorHit> hits;
  std::vector<VolumeContext> volumes;
  std::vector<std::string> files;
};

TEST_F(ExfatRebuildTest, LostVolumesComeBackWithTheirTrees) {
  struct Case {
    const char* cluster;
    const char* wipe;
    uint64_t offset;
  };
  for (const Case& c : {Case{"4K", "boot", 2048}, Case{"4K", "all", 0}, Case{"512", "all", 63}}) {
    SCOPED_TRACE(std::string(c.cluster) + " " + c.wipe);
    LostVolume lost;
    ASSERT_TRUE(BuildLost("exfat_lost", c.cluster, c.wipe, c.offset, lost));
    PlantCarvedPictures({lost});
    ASSERT_TRUE(Rebuild(lost.image));
    ASSERT_EQ(volumes.size(), 1u);
    VolumeContext& vol = volumes[0];
    EXPECT_EQ(vol.type, uint32_t(kVolTypeExfatRebuilt));
    DiskReader reader;
    ASSERT_TRUE(OpenVolumeDevice(vol, reader));
    ExpectTreeOf(lost, vol, reader);
    // Records carry the absolute LBAs of their first clusters.
    const FileRecord* photo = RecordAt(vol, "/photo.jpg");
    ASSERT_NE(photo, nullptr);
    EXPECT_EQ(uint64_t(photo->lba), lost.lbas[0]);
    TearDown();
    SetUp();
  }
}

TEST_F(ExfatRebuildTest, TwoLostVolumesOfDifferentClusterSizesOnOneDisk) {
  LostVolume a, b;
  ASSERT_TRUE(BuildLost("exfat_lost_a", "4K", "boot", 2048, a));
  ASSERT_TRUE(BuildLost("exfat_lost_b", "512", "all", 0, b));
  Bytes disk = ReadAll(a.image);
  const uint64_t bStart = disk.size() / 512;
  const Bytes second = ReadAll(b.image);
  disk.insert(disk.end(), second.begin(), second.end());
  for (uint64_t& lba : b.lbas)
    if (lba) lba += bStart;
  const std::string image = FixturePath("exfat_lost_two");
  WriteAll(image, disk);
  files = {a.image, b.image};
  PlantCarvedPictures({a, b});
  ASSERT_TRUE(Rebuild(image));
  ASSERT_EQ(volumes.size(), 2u);
  for (const LostVolume* lost : {&a, &b}) {
    // The volume whose picture lies where this volume's picture lies.
    VolumeContext* vol = nullptr;
    for (VolumeContext& v : volumes) {
      const FileRecord* photo = RecordAt(v, "/photo.jpg");
      if (photo && uint64_t(photo->lba) == lost->lbas[0]) vol = &v;
    }
    ASSERT_NE(vol, nullptr);
    DiskReader reader;
    ASSERT_TRUE(OpenVolumeDevice(*vol, reader));
    ExpectTreeOf(*lost, *vol, reader);
  }
}

TEST_F(ExfatRebuildTest, NothingIsBuiltFromVotesWithoutCarvedStarts) {
  LostVolume lost;
  ASSERT_TRUE(BuildLost("exfat_lost_nopics", "4K", "all", 0, lost));
  ASSERT_TRUE(Rebuild(lost.image));  // runs were there to rebuild
  EXPECT_TRUE(volumes.empty());
}

// A parsed volume that lost the entry of one of its folders gets that folder back as a lost
// directory; of the existing/deleted pair only the deleted-files copy receives it.
TEST_F(ExfatRebuildTest, LostFoldersOfAParsedVolume) {
  std::string image;
  std::vector<ManifestItem> items;
  ASSERT_TRUE(BuildExfatFixture("exfat_lostdir", 0, image, items));
  VolumeContext parsed;
  ASSERT_TRUE(SetupImageVolume(image, 0, parsed));
  // Wipe the set of "docs" in the root directory.
  Bytes img = ReadAll(image);
  ExfatGeometry geo;
  ASSERT_TRUE(ReadExfatGeometry(parsed.bootSector, 0, geo));
  uint8_t* root = img.data() + ExfatClusterLba(geo, geo.rootCluster) * 512;
  uint32_t docsCluster = 0;
  for (uint32_t i = 0; i + 2 < geo.clusterBytes / 32; ++i) {
    uint8_t* e = root + i * 32;
    if (e[0] != 0x85 || e[64] != 0xC1 || std::memcmp(e + 66, u"docs", 8) != 0) continue;
    docsCluster = uint32_t(e[32 + 20] | e[32 + 21] << 8 | e[32 + 22] << 16 | uint32_t(e[32 + 23]) << 24);
    // The sets behind it move up, so the walk still reaches them.
    const uint32_t setBytes = (uint32_t(e[1]) + 1) * 32;
    std::memmove(e, e + setBytes, geo.clusterBytes - (i * 32 + setBytes));
    std::memset(root + geo.clusterBytes - setBytes, 0, setBytes);
    break;
  }
  ASSERT_NE(docsCluster, 0u);
  WriteAll(image, img);
  files.push_back(image);

  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(parsed, reader));
  CreateRootAndLostFolders(parsed);
  WalkExfatVolume(nullptr, reader, parsed);
  LinkFileTree(parsed, 1);
  ASSERT_EQ(RecordAt(parsed, "/docs/report.doc"), nullptr);
  // The pair the deleted/existing split leaves: the existing-files copy first.
  parsed.splitKind = kSplitDeleted;
  VolumeContext existing;
  ASSERT_TRUE(SetupImageVolume(image, 0, existing));
  CreateRootAndLostFolders(existing);
  existing.splitKind = kSplitExisting;
  volumes = {existing, parsed};

  hits = ScanDirRuns(ReadAll(image));
  std::vector<ExfatDirHitInfo> runs;
  ASSERT_TRUE(CollectExfatDirHits(hits, runs));  // the parse knew nothing of the "docs" runs
  AddLostDirsToExfatVolumes(nullptr, reader, runs, volumes);
  const std::string lost = "/Dir" + [&] {
    char b[16];
    snprintf(b, sizeof b, "%08u", docsCluster);
    return std::string(b);
  }();
  EXPECT_EQ(RecordAt(volumes[0], lost + "/report.doc"), nullptr);
  const FileRecord* report = RecordAt(volumes[1], lost + "/report.doc");
  ASSERT_NE(report, nullptr);
  EXPECT_NE(RecordAt(volumes[1], lost + "/sub/deep.txt"), nullptr);
  for (const ManifestItem& it : items)
    if (it.path == "/docs/report.doc") {
      EXPECT_EQ(RecordDataHash(volumes[1], *report), it.sha256);
    }
}

TEST_F(ExfatRebuildTest, SummariesAreBoundedWhenCollected) {
  ExfatDirHitInfo info;
  std::memset(&info, 0, sizeof info);
  info.lba = 1;  // the hit's LBA counts, not the summary's
  info.sectors = 0xFFFFFFFF;
  info.entryCount = 999;
  auto block = [&] { return CopyToMem(AllocMem(sizeof info, 1), &info, sizeof info, 1); };
  hits = {SectorHit{231, kHitEndFound, 100, 0, block()}, SectorHit{231, kHitEndFound, 200, 0, nullptr},
          SectorHit{231, kHitEndFound, 300, 0, AllocMem(40, 1)}, SectorHit{231, kHitEndFound, 400, 0, block()},
          SectorHit{46, kHitEndFound, 500, 0, nullptr}};
  AddKnownExfatDirLba(400);
  std::vector<ExfatDirHitInfo> runs;
  ASSERT_TRUE(CollectExfatDirHits(hits, runs));
  ASSERT_EQ(runs.size(), 1u);  // no summary, one too small for a summary, a known run: left out
  EXPECT_EQ(uint64_t(runs[0].lba), 100u);
  EXPECT_EQ(uint32_t(runs[0].entryCount), 24u);
  EXPECT_EQ(uint32_t(runs[0].sectors), kExfatMaxDirSectors);
}

}  // namespace
