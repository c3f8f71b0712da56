// The parser against images from the fixture builder: the listing and the data equal the
// manifest, and damaged copies of the image (a looping FAT, a huge directory size, an empty
// label) end cleanly.
#include <fstream>
#include <iterator>
#include <set>

#include "scanbase/scanprogress.h"

#include "parsefilesystem/exfat/tests/exfattestenv.h"

namespace {

class ExfatFixtureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    LoadExfatTestSettings();
    ok_ = BuildExfatFixture("exfat_plain", 0, image_, items_);
  }
  static void TearDownTestSuite() { remove(image_.c_str()); }
  void SetUp() override {
    ASSERT_TRUE(ok_) << "the fixture builder failed";
    ClearKnownExfatDirLbas();
    ScanRunState = kScanRunning;
  }
  void TearDown() override {
    FreeAllFileRecords(vol_);
    ScanRunState = kScanStopped;
  }
  bool Parse(const std::string& image, uint64_t firstLba = 0) {
    return SetupImageVolume(image, firstLba, vol_) && ParseExfatVolume(&ScanRunState, vol_);
  }
  const ManifestItem& Item(const std::string& path) {
    for (const auto& it : items_)
      if (it.path == path) return it;
    ADD_FAILURE() << "no manifest item " << path;
    return items_[0];
  }

  static inline bool ok_ = false;
  static inline std::string image_;
  static inline std::vector<ManifestItem> items_;
  VolumeContext vol_;
};

std::vector<uint8_t> ReadImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
void WriteImage(const std::string& path, const std::vector<uint8_t>& img) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(img.data()), long(img.size()));
}

// Geometry of the bare volume in an image buffer, and its parts.
struct ImageView {
  std::vector<uint8_t>& img;
  ExfatGeometry geo;
  explicit ImageView(std::vector<uint8_t>& i) : img(i) { ReadExfatGeometry(img.data(), 0, geo); }
  uint8_t* Fat(uint32_t c) { return img.data() + uint64_t(geo.fatOffset) * 512 + c * 4; }
  uint8_t* Cluster(uint32_t c) { return img.data() + ExfatClusterLba(geo, c) * 512; }
  // The stream entry, in the root, of the set whose first cluster is c.
  uint8_t* RootStreamOf(uint32_t c) {
    uint8_t* root = Cluster(geo.rootCluster);
    for (uint32_t off = 0; off < geo.clusterBytes; off += 32) {
      uint32_t fc;
      memcpy(&fc, root + off + 20, 4);
      if ((root[off] & 0x7F) == 0x40 && fc == c) return root + off;
    }
    return nullptr;
  }
};

TEST_F(ExfatFixtureTest, FsckAcceptsTheBuildersImage) {
  const std::string cmd = "fsck.exfat -n '" + image_ + "' >/dev/null 2>&1";
  const int rc = system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0);
}

TEST_F(ExfatFixtureTest, ListingTimesAndHashesEqualTheManifest) {
  ResetParseProgress();
  ASSERT_TRUE(Parse(image_));
  const auto byPath = RecordsByPath(vol_);
  for (const auto& it : items_) {
    SCOPED_TRACE(it.path);
    auto found = byPath.find(it.path);
    ASSERT_NE(found, byPath.end());
    const FileRecord& rec = *found->second;
    EXPECT_EQ(bool(rec.flags & kRecDirectory), it.dir);
    EXPECT_EQ(!(rec.flags & kRecInUse), it.deleted);
    EXPECT_EQ(StampText(rec.ctime), it.ctime);
    EXPECT_EQ(StampText(rec.mtime), it.mtime);
    EXPECT_EQ(+rec.firstCluster, it.cluster);
    if (it.dir) continue;
    EXPECT_EQ(bool(rec.flags & kRecExfatChain), it.chained || it.size == 0);
    EXPECT_EQ(+rec.size, it.size);
    EXPECT_EQ(RecordDataHash(vol_, rec), it.sha256);
  }
  // Nothing beyond the manifest, apart from the lost-files folder.
  EXPECT_EQ(byPath.size(), items_.size());
  uint32_t counts[4] = {};  // in-use files and directories, deleted files and directories
  for (const auto& it : items_) ++counts[(it.deleted ? 2 : 0) + (it.dir ? 1 : 0)];
  const ProgressParseCounts& p = ParseProgress().parse;
  EXPECT_EQ(p.filesInUse, counts[0]);
  EXPECT_EQ(p.dirsInUse, counts[1]);
  EXPECT_EQ(p.deletedFiles, counts[2]);
  EXPECT_EQ(p.deletedDirs, counts[3]);
  EXPECT_EQ(vol_.lowestLba, 0u);
  EXPECT_EQ(vol_.highestLba, vol_.sectorCount);
  EXPECT_EQ(StampText(vol_.earliestTime), "2021-03-06 05:06:08");
  EXPECT_EQ(vol_.label, CString(u"Kestrel"));
  EXPECT_EQ(vol_.name, CString(u"Kestrel"));
}

TEST_F(ExfatFixtureTest, DeletedEntriesAndADeletedDirectoryAreListed) {
  ASSERT_TRUE(Parse(image_));
  const auto byPath = RecordsByPath(vol_);
  for (const char* path : {"/docs/deleted.txt", "/gone", "/gone/inner.txt"}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(byPath.count(path));
    EXPECT_FALSE(byPath.at(path)->flags & kRecInUse);
  }
  EXPECT_EQ(RecordDataHash(vol_, *byPath.at("/gone/inner.txt")), Item("/gone/inner.txt").sha256);
}

TEST_F(ExfatFixtureTest, RecordLbasAreAbsoluteOnAPartition) {
  std::string image;
  std::vector<ManifestItem> items;
  ASSERT_TRUE(BuildExfatFixture("exfat_offset", 2048, image, items));
  struct RemoveAtEnd {
    std::string path;
    ~RemoveAtEnd() { remove(path.c_str()); }
  } cleanup{image};
  ASSERT_TRUE(Parse(image, 2048));
  const auto byPath = RecordsByPath(vol_);
  ASSERT_TRUE(byPath.count("/hello.txt"));
  ExfatGeometry geo;
  ASSERT_TRUE(ReadExfatGeometry(vol_.bootSector, 2048, geo));
  const FileRecord& rec = *byPath.at("/hello.txt");
  EXPECT_EQ(+rec.lba, 2048 + geo.heapOffset + ((uint64_t(rec.firstCluster) - 2) << geo.shift));
  EXPECT_EQ(RecordDataHash(vol_, rec), Item("/hello.txt").sha256);
  EXPECT_EQ(byPath.size(), items.size());

  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(vol_, reader));
  EXPECT_TRUE(ValidateExfatBootHit(reader, vol_.bootSector, 2048));
  EXPECT_FALSE(ValidateExfatBootHit(reader, vol_.bootSector, 0));
  EXPECT_TRUE(IsKnownExfatDirLba(ExfatClusterLba(geo, geo.rootCluster)));
}

TEST_F(ExfatFixtureTest, AVolumeParsedAgainYieldsNoRecordsUntilTheListIsEmptied) {
  ASSERT_TRUE(Parse(image_));
  const size_t first = RecordsByPath(vol_).size();
  FreeAllFileRecords(vol_);
  ResetVolumeContext(vol_);
  ASSERT_TRUE(Parse(image_));
  EXPECT_EQ(RecordsByPath(vol_).size(), 0u);
  EXPECT_GT(first, 40u);
}

TEST_F(ExfatFixtureTest, LoopingChainsAndHostileSizesEnd) {
  std::vector<uint8_t> img = ReadImage(image_);
  ImageView v(img);
  // "many" is a chained directory of two clusters: point the second back at the first and
  // claim a directory far larger than the volume.
  const uint32_t many = Item("/many").cluster;
  uint32_t second;
  memcpy(&second, v.Fat(many), 4);
  ASSERT_NE(second, 0xFFFFFFFFu);
  memcpy(v.Fat(second), &many, 4);
  uint8_t* stream = v.RootStreamOf(many);
  ASSERT_NE(stream, nullptr);
  const uint64_t huge = 0x7FFFFFFFFFFFFFFFull;
  memcpy(stream + 8, &huge, 8);
  // frag.bin: its chain loops too, and its size is huge.
  const uint32_t frag = Item("/frag.bin").cluster;
  memcpy(v.Fat(frag + 2), &frag, 4);  // the second piece leads back to the first
  uint8_t* fragStream = v.RootStreamOf(frag);
  ASSERT_NE(fragStream, nullptr);
  memcpy(fragStream + 8, &huge, 8);
  const std::string looped = FixturePath("exfat_looped");
  WriteImage(looped, img);
  const bool parsed = Parse(looped);
  remove(looped.c_str());

  ASSERT_TRUE(parsed);
  const auto byPath = RecordsByPath(vol_);
  int manyFiles = 0;
  for (const auto& [path, rec] : byPath)
    if (path.rfind("/many/", 0) == 0) ++manyFiles;
  EXPECT_EQ(manyFiles, 40);  // each set once, though the chain loops
  ASSERT_TRUE(byPath.count("/frag.bin"));
  std::vector<uint32_t> clusters;
  GetExfatFileClusters(vol_, *byPath.at("/frag.bin"), frag, clusters, huge);
  EXPECT_LE(clusters.size(), size_t(v.geo.clusterCount));
  EXPECT_EQ(std::set<uint32_t>(clusters.begin(), clusters.end()).size(), clusters.size());
}

// The root is read up to 64 KiB, and a chain may use the heap's last cluster. The root's chain
// is extended over the last clusters of the heap, with a copy of hello.txt's set (renamed) at
// the start of chosen clusters; the rest of those clusters holds unused entries.
TEST_F(ExfatFixtureTest, TheRootIsReadUpTo64KiBAndChainsReachTheHeapEnd) {
  struct Case {
    uint32_t chainLength;   // clusters added after the root's first
    uint32_t setAt;         // index in the added chain of the first renamed set
    bool listed;            // whether a set there is read
  };
  // 4 KiB clusters: the first cluster and 15 more stay below 64 KiB.
  const Case cases[] = {{20, 14, true}, {20, 15, false}, {1, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setAt);
    std::vector<uint8_t> img = ReadImage(image_);
    ImageView v(img);
    uint8_t* root = v.Cluster(v.geo.rootCluster);
    uint8_t set[96];
    memcpy(set, root + 3 * 32, 96);
    ASSERT_EQ(set[0], 0x85);
    ASSERT_EQ(set[64 + 2], 'h');
    uint32_t end = 0;
    while (root[end * 32] != 0) ++end;
    for (uint32_t off = end * 32; off < v.geo.clusterBytes; off += 32) root[off] = 0x01;
    const uint32_t last = v.geo.clusterCount + 1;
    uint32_t prev = v.geo.rootCluster;
    for (uint32_t k = 0; k < c.chainLength; ++k) {
      const uint32_t cl = last - c.chainLength + 1 + k;
      memcpy(v.Fat(prev), &cl, 4);
      prev = cl;
      uint8_t* data = v.Cluster(cl);
      memset(data, 0, v.geo.clusterBytes);
      for (uint32_t off = 0; off < v.geo.clusterBytes; off += 32) data[off] = 0x01;
      if (k >= c.setAt) {
        memcpy(data, set, 96);
        data[64 + 2] = uint8_t('a' + k);
      }
    }
    const uint32_t endMark = 0xFFFFFFFF;
    memcpy(v.Fat(prev), &endMark, 4);
    const std::string path = FixturePath("exfat_longroot");
    WriteImage(path, img);
    const bool parsed = Parse(path);
    remove(path.c_str());
    ASSERT_TRUE(parsed);
    const auto byPath = RecordsByPath(vol_);
    const std::string name = std::string("/") + char('a' + c.setAt) + "ello.txt";
    EXPECT_EQ(byPath.count(name), c.listed ? 1u : 0u);
    EXPECT_EQ(byPath.count("/hello.txt"), 1u);
    FreeAllFileRecords(vol_);
    ResetVolumeContext(vol_);
    ClearKnownExfatDirLbas();
  }
}

TEST_F(ExfatFixtureTest, AnEmptyLabelNamesTheVolumeLocalDisk) {
  std::vector<uint8_t> img = ReadImage(image_);
  ImageView v(img);
  uint8_t* label = v.Cluster(v.geo.rootCluster);
  ASSERT_EQ(label[0], 0x83);
  memset(label + 1, 0, 31);
  const std::string path = FixturePath("exfat_nolabel");
  WriteImage(path, img);
  const bool setUp = SetupImageVolume(path, 0, vol_);
  remove(path.c_str());
  ASSERT_TRUE(setUp);
  EXPECT_EQ(vol_.label, CString(u""));
  EXPECT_EQ(vol_.name, CString(u"Local Disk"));
  EXPECT_EQ(vol_.type, uint32_t(kVolTypeExfat));
}

TEST_F(ExfatFixtureTest, AStoppedRunStoresNothingBelowTheRoot) {
  ScanRunState = kScanStopped;
  EXPECT_TRUE(Parse(image_));
  EXPECT_TRUE(RecordsByPath(vol_).empty());
  DiskReader reader;
  ASSERT_TRUE(OpenVolumeDevice(vol_, reader));
  EXPECT_FALSE(WalkExfatVolume(&ScanRunState, reader, vol_));
}

TEST_F(ExfatFixtureTest, NoParseWhenTheSettingIsOff) {
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 0\r\n", u"FileLost: Lost files\r\n");
  EXPECT_FALSE(Parse(image_));
  EXPECT_EQ(vol_.idLimit, 0u);
  LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\nDefault-ParseFileSys: 1\r\n",
                      u"FileLost: Lost files\r\nLocalDisk: Local Disk\r\n");
}

}  // namespace
