// kscan parts and kscan fs on a disk image partitioned by sfdisk, with NTFS volumes made by
// mkntfs and a FAT32 volume made by mkfs.fat spliced into its partitions; the second NTFS
// volume's boot sector is then destroyed and found again from its backup at the volume's end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "core/diskreader.h"
#include "deepscan/fsrecognize.h"
#include "platform/textconv.h"
#include "tests/fixtures/shellrun.h"

namespace {

class KscanParts : public testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("sfdisk") || !HaveTool("mkntfs") || !HaveTool("mkfs.fat")) GTEST_SKIP() << "sfdisk, mkntfs or mkfs.fat missing";
    dir_ = (testing::TempDir().empty() ? std::string("/tmp/") : testing::TempDir()) + "kparts_" + std::to_string(getpid());
    img_ = dir_ + "/d.img";
    const std::string script =
        "set -e; mkdir -p '" + dir_ + "'; cd '" + dir_ + "'; truncate -s 400M d.img; "
        "printf 'label: dos\\nstart=2048,size=204800,type=7\\nstart=300000,size=204800,type=7\\nstart=700000,size=110000,type=c\\n' | "
        "sfdisk -q --no-reread --no-tell-kernel d.img; "
        "for n in 1 2; do truncate -s 100M v$n.img; mkntfs -F -Q -q -H 255 -S 63 -L Vol$n v$n.img >/dev/null 2>&1; done; "
        "dd if=v1.img of=d.img bs=512 seek=2048 conv=notrunc,sparse status=none; "
        "dd if=v2.img of=d.img bs=512 seek=300000 conv=notrunc,sparse status=none; "
        "truncate -s 56320000 v3.img; mkfs.fat -F 32 -h 700000 -n FATVOL v3.img >/dev/null 2>&1; "
        "dd if=v3.img of=d.img bs=512 seek=700000 conv=notrunc,sparse status=none";
    ASSERT_EQ(system(("sh -c \"" + Escape(script) + "\"").c_str()), 0);
  }
  void TearDown() override {
    if (!dir_.empty()) {
      EXPECT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }
  }
  static std::string Escape(const std::string& s) {
    std::string o;
    for (char c : s) {
      if (c == '"' || c == '\\' || c == '$') {
      o += '\\';
    }
      o += c;
    }
    return o;
  }
  std::string dir_, img_;
};

TEST_F(KscanParts, PrintsPartitionsAndParsesEveryNtfsVolume) {
  std::string parts = CaptureOutput(std::string(KSCAN_TOOL) + " parts '" + img_ + "'");
  EXPECT_NE(parts.find("{\"start\":2048,\"sectors\":204799,\"kind\":\"partition\",\"type\":12,\"fs\":\"NTFS\"}"),
            std::string::npos) << parts;
  EXPECT_NE(parts.find("{\"start\":300000,\"sectors\":204799,\"kind\":\"partition\",\"type\":12,\"fs\":\"NTFS\"}"),
            std::string::npos) << parts;
  EXPECT_NE(parts.find("{\"start\":700000,\"sectors\":109984,\"kind\":\"partition\",\"type\":11,\"fs\":\"FAT32\"}"),
            std::string::npos) << parts;
  // the gap before the FAT32 partition is probed and has no boot sector; the 93153 sectors
  // between the NTFS partitions are too few
  EXPECT_NE(parts.find("{\"start\":504800,\"sectors\":195200,\"kind\":\"area\""), std::string::npos) << parts;
  EXPECT_EQ(parts.find("{\"start\":206847,"), std::string::npos) << parts;

  std::string fs = CaptureOutput(std::string(KSCAN_TOOL) + " fs '" + img_ + "'");
  EXPECT_NE(fs.find("{\"volume\":2048,\"path\":\"/$MFT\""), std::string::npos) << fs.substr(0, 400);
  EXPECT_NE(fs.find("{\"volume\":300000,\"path\":\"/$MFT\""), std::string::npos) << fs.substr(0, 400);
}

TEST_F(KscanParts, DamagedBootSectorFoundFromBackup) {
  ASSERT_EQ(system(("dd if=/dev/zero of='" + img_ + "' bs=512 seek=300000 count=1 conv=notrunc status=none").c_str()), 0);
  VolumeContext v;
  v.devicePath = CString(Utf8ToUtf16(img_));
  v.firstLba = 300000;
  v.sectorCount = 204800;
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(v, r));
  uint32_t type = 0;
  ASSERT_TRUE(DetectVolumeFileSystem(r, v, &type));
  EXPECT_EQ(type, uint32_t(kVolTypeNtfs));
  EXPECT_EQ(std::memcmp(v.bootSector + 3, "NTFS", 4), 0);
  // The partition's first sector no longer names a file system.
  std::string parts = CaptureOutput(std::string(KSCAN_TOOL) + " parts '" + img_ + "'");
  EXPECT_EQ(parts.find("{\"start\":300000,\"sectors\":204799"), std::string::npos) << parts;
}

}  // namespace

namespace {

TEST(KscanCarve, ImagesSmallerThanOneSectorSayWhy) {
  const std::string dir = (testing::TempDir().empty() ? std::string("/tmp/") : testing::TempDir());
  for (size_t bytes : {size_t(0), size_t(511)}) {
    const std::string img = dir + "kcarve_small_" + std::to_string(getpid()) + "_" + std::to_string(bytes) + ".img";
    FILE* f = fopen(img.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string data(bytes, 'x');
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    const std::string out = CaptureOutput(std::string(KSCAN_TOOL) + " carve '" + img + "'");
    EXPECT_NE(out.find("image smaller than one sector"), std::string::npos) << bytes << ": " << out;
    unlink(img.c_str());
  }
}

}  // namespace
