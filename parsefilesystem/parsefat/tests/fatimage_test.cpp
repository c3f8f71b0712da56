// The parser on real images made by mkfs.vfat and mtools (tests/fixtures/fatimages.sh): the
// listing, times and file data against the manifest the builder wrote.
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "parsefilesystem/parsefat/fatextents.h"
#include "parsefilesystem/parsefat/tests/fattestenv.h"
#include "tests/fixtures/scriptfixture.h"

namespace fs = std::filesystem;

namespace {

struct ManifestLine {
  std::string path;
  uint64_t size = 0;
  bool deleted = false;
  std::string mtime;
  bool dir = false;
};

// The FAT images and their manifests.
std::string FixtureDir() {
  static const std::string dir = BuildScriptFixture("fatimages.sh", "fat_fixtures");
  return dir;
}

std::vector<ManifestLine> ReadManifest(const std::string& path) {
  std::vector<ManifestLine> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string size, sha, del, dir;
    ManifestLine m;
    std::getline(s, m.path, '\t');
    std::getline(s, size, '\t');
    std::getline(s, sha, '\t');
    std::getline(s, del, '\t');
    std::getline(s, m.mtime, '\t');
    std::getline(s, dir, '\t');
    m.size = std::stoull(size);
    m.deleted = del == "1";
    m.dir = dir == "1";
    lines.push_back(m);
  }
  return lines;
}

std::string PathOf(const VolumeContext& vol, const FileRecord* rec) {
  std::string path;
  for (uint32_t depth = 0; rec && rec->id != kRootId && depth < 64; ++depth) {
    path = "/" + CString(rec->name).ToUtf8() + path;
    rec = GetFileRecord(vol, rec->parent, 0);
  }
  return path;
}

std::string PackedText(uint32_t p) {
  char b[32];
  snprintf(b, sizeof b, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (p >> 26), (p >> 22) & 0xF, (p >> 17) & 0x1F,
           (p >> 12) & 0x1F, (p >> 6) & 0x3F, p & 0x3F);
  return b;
}

std::string ReadFileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The record's data as the program reads it: its extents through the sector reader, cut to size.
std::string ReadRecordData(const VolumeContext& vol, const FileRecord& rec) {
  DataExtentList ext;
  if (!GetFatFileExtents(vol, rec, ext)) return std::string();
  DiskReader reader;
  if (!OpenVolumeDevice(vol, reader)) return std::string();
  std::string data;
  for (const DataExtent& e : ext) {
    std::string buf(e.sectorCount * 512, '\0');
    EXPECT_TRUE(reader.ReadSectors(buf.data(), e.startLba, uint32_t(e.sectorCount)));
    data += buf;
    if (data.size() >= rec.size) break;
  }
  data.resize(rec.size);
  return data;
}

class FatImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadFatTestSettings();
    dir_ = FixtureDir();
    if (dir_.empty()) GTEST_SKIP() << "mkfs.vfat or mtools missing: no FAT fixture images";
  }
  void TearDown() override {
    FreeAllFileRecords(vol_);
    ResetVolumeContext(vol_);
  }
  std::map<std::string, const FileRecord*> Parse(const std::string& image) {
    EXPECT_TRUE(SetupImageVolume(dir_ + "/" + image, vol_));
    EXPECT_TRUE(ParseFatVolume(&ScanRunState, vol_));
    std::map<std::string, const FileRecord*> byPath;
    for (uint32_t id = kRootId + 1; id < vol_.idLimit; ++id)
      if (const FileRecord* r = GetFileRecord(vol_, id, 0)) byPath[PathOf(vol_, r)] = r;
    return byPath;
  }
  // Every manifest line is found with its size, kind, deletion state, time and data; nothing
  // else is listed.
  void CheckAgainstManifest(const std::string& image) {
    auto byPath = Parse(image);
    const std::string stem = image.substr(0, image.size() - 4);
    size_t matched = 0;
    for (const ManifestLine& m : ReadManifest(dir_ + "/" + image + ".manifest")) {
      std::string path = m.path;
      if (m.deleted && !byPath.count(path)) {
        // A short name without a long name loses its first character to the deleted-name mark.
        const size_t slash = path.rfind('/');
        path = path.substr(0, slash + 1) + "!" + path.substr(slash + 2);
      }
      SCOPED_TRACE(image + ": " + path);
      ASSERT_TRUE(byPath.count(path));
      const FileRecord* r = byPath[path];
      ++matched;
      EXPECT_EQ(bool(r->flags & kRecDirectory), m.dir);
      EXPECT_EQ(!(r->flags & kRecInUse), m.deleted);
      if (m.dir) continue;
      EXPECT_EQ(uint64_t(r->size), m.size);
      EXPECT_EQ(PackedText(r->mtime), m.mtime);
      if (m.size) {
        EXPECT_EQ(ReadRecordData(vol_, *r), ReadFileBytes(fs::path(dir_) / ("src-" + stem) / m.path.substr(1)));
      }
    }
    EXPECT_EQ(matched, byPath.size());
  }
  std::string dir_;
  VolumeContext vol_;
};

TEST_F(FatImageTest, Fat16ListingTimesAndDataEqualTheManifest) {
  CheckAgainstManifest("fat16.img");
  EXPECT_EQ(vol_.type, uint32_t(kVolTypeFat16));
  EXPECT_EQ(vol_.name, CString(u"FAT16VOL"));
}

TEST_F(FatImageTest, Fat32ListingTimesAndDataEqualTheManifest) {
  CheckAgainstManifest("fat32.img");
  EXPECT_EQ(vol_.type, uint32_t(kVolTypeFat32));
  EXPECT_EQ(vol_.name, CString(u"KESTREL32"));
  EXPECT_GT(vol_.freeSectors, 0u);
  EXPECT_LT(vol_.freeSectors, vol_.sectorCount);
}

TEST_F(FatImageTest, SmallFat16TakesItsSizeFromTheSixteenBitTotal) {
  CheckAgainstManifest("fat16small.img");
  ASSERT_EQ(FatU32(vol_.bootSector + 0x20), 0u);  // mkfs.vfat leaves the 32-bit total empty
  EXPECT_EQ(vol_.sectorCount, FatU16(vol_.bootSector + 0x13));
  EXPECT_GT(ReadFatGeometry(vol_).clusterCount, 0u);
  EXPECT_EQ(vol_.name, CString(u"Local Disk"));  // no label written
}

TEST_F(FatImageTest, Fat12IsNotRecognised) {
  uint8_t boot[512];
  std::ifstream(dir_ + "/fat12.img", std::ios::binary).read(reinterpret_cast<char*>(boot), 512);
  EXPECT_FALSE(IsFat16BootSector(boot));
  EXPECT_FALSE(IsFat32BootSector(boot));
  EXPECT_FALSE(SetupImageVolume(dir_ + "/fat12.img", vol_));
}

TEST_F(FatImageTest, SecondParseInOneScanYieldsNothing) {
  auto first = Parse("fat32.img");
  EXPECT_GT(first.size(), 5u);
  FreeAllFileRecords(vol_);
  ResetVolumeContext(vol_);
  auto second = Parse("fat32.img");
  EXPECT_TRUE(second.empty());
}

bool JpegMatcher(const uint8_t* s, uint32_t& type, uint64_t) {
  if (s[0] == 0xFF && s[1] == 0xD8 && s[2] == 0xFF) {
    type = GetTypeIdByExtension(u"x.jpg");
    return true;
  }
  type = 234;
  return false;
}

TEST_F(FatImageTest, DeletedFileAboveBankTwoGetsItsHighWordBack) {
  SetSectorSignatureMatcher(&JpegMatcher);
  auto byPath = Parse("fat32big.img");
  ASSERT_TRUE(byPath.count("/!HOTO.JPG"));
  const FileRecord* photo = byPath["/!HOTO.JPG"];
  EXPECT_GE(uint64_t(photo->firstCluster), 0x20000u);
  EXPECT_LT(uint64_t(photo->firstCluster), 0x30000u);
  EXPECT_EQ(uint64_t(photo->lba), FatClusterLba(ReadFatGeometry(vol_), uint64_t(photo->firstCluster)));
  EXPECT_EQ(ReadRecordData(vol_, *photo), ReadFileBytes(fs::path(dir_) / "src-fat32big/PHOTO.JPG"));
  // The live fillers keep their clusters.
  EXPECT_EQ(uint64_t(byPath["/FILLER1.BIN"]->firstCluster), 3u);
  SetSectorSignatureMatcher(nullptr);
}

}  // namespace
