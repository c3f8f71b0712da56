// Partition walk, file-system recognition and the raw-sector classifier, on hand-built sectors
// and on sparse images partitioned by sfdisk and sgdisk at test time.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "core/diskreader.h"
#include "deepscan/fsrecognize.h"
#include "deepscan/partitionwalk.h"
#include "platform/textconv.h"

namespace {

void Put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void Put64(uint8_t* p, uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i)); }

void NtfsBoot(uint8_t* s, uint64_t total) {
  std::memset(s, 0, 512);
  s[0] = 0xEB; s[1] = 0x52; s[2] = 0x90;
  std::memcpy(s + 3, "NTFS    ", 8);
  s[0x0B] = 0x00; s[0x0C] = 0x02; s[0x0D] = 8; s[0x15] = 0xF8; s[0x18] = 63; s[0x1A] = 255; s[0x40] = 0xF6;
  Put64(s + 0x28, total);
  Put64(s + 0x30, 4);  // MFT at cluster 4: sector 32 of the volume
  s[510] = 0x55; s[511] = 0xAA;
}
void FatLike(uint8_t* s, bool fat32) {
  std::memset(s, 0, 512);
  s[0] = 0xEB; s[0x0C] = 2; s[0x0D] = 8; s[0x10] = 2; s[0x15] = 0xF8; s[0x18] = 63;
  std::memcpy(s + (fat32 ? 0x52 : 0x36), fat32 ? "FAT32" : "FAT16", 5);
  s[510] = 0x55; s[511] = 0xAA;
}
void ExfatBoot(uint8_t* s) {
  std::memset(s, 0, 512);
  s[0] = 0xEB; std::memcpy(s + 3, "EXFAT   ", 8); s[0x6C] = 9; s[0x6D] = 3;
  s[510] = 0x55; s[511] = 0xAA;
}
void Entry(uint8_t* sector, int i, uint8_t boot, uint8_t type, uint32_t start, uint32_t count) {
  uint8_t* e = sector + 0x1BE + 16 * i;
  e[0] = boot; e[4] = type; Put32(e + 8, start); Put32(e + 12, count);
  sector[510] = 0x55; sector[511] = 0xAA;
}


class Image {
 public:
  explicit Image(const std::string& tag, uint64_t sectors) {
    path_ = (testing::TempDir().empty() ? "/tmp/" : testing::TempDir()) + "kpw_" + std::to_string(getpid()) + "_" + tag + ".img";
    FILE* f = fopen(path_.c_str(), "wb");
    fclose(f);
    truncate(path_.c_str(), off_t(sectors * 512));
  }
  ~Image() { unlink(path_.c_str()); }
  void Write(uint64_t lba, const uint8_t* s) {
    FILE* f = fopen(path_.c_str(), "r+b");
    fseeko(f, off_t(lba * 512), SEEK_SET);
    fwrite(s, 1, 512, f);
    fclose(f);
  }
  void Read(uint64_t lba, uint8_t* s) {
    FILE* f = fopen(path_.c_str(), "rb");
    fseeko(f, off_t(lba * 512), SEEK_SET);
    ASSERT_EQ(fread(s, 1, 512, f), 512u);
    fclose(f);
  }
  bool Run(const std::string& tool, const std::string& script) {
    std::string cmd = "printf '" + script + "' | " + tool + " '" + path_ + "' >/dev/null 2>&1";
    return system(cmd.c_str()) == 0;
  }
  VolumeContext Disk() const {
    VolumeContext d;
    d.devicePath = CString(Utf8ToUtf16(path_));
    d.targetKind = kTargetDisk;
    FILE* f = fopen(path_.c_str(), "rb");
    fseeko(f, 0, SEEK_END);
    d.sectorCount = d.deviceSectors = uint64_t(ftello(f)) / 512;
    fclose(f);
    return d;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<VolumeContext> WalkWhole(const VolumeContext& disk, bool* walked) {
  std::vector<VolumeContext> areas(1, disk), out;
  areas[0].targetKind = kTargetArea;
  *walked = FindDiskPartitions(disk, areas, out);
  return out;
}

bool HaveTool(const char* t) { return system((std::string("command -v ") + t + " >/dev/null 2>&1").c_str()) == 0; }

class PartitionWalk : public testing::Test {
 protected:

};

TEST_F(PartitionWalk, ClassifiesSectorsByTable) {
  struct Case { const char* what; uint64_t lba; void (*fill)(uint8_t*); uint32_t kind; };
  const Case cases[] = {
      {"ntfs boot", 100, [](uint8_t* s) { NtfsBoot(s, 204800); }, kSectorNtfsBoot},
      {"ntfs boot with a usable table", 100, [](uint8_t* s) { NtfsBoot(s, 204800); Entry(s, 1, 0, 7, 2048, 204800); }, kSectorPartTable},
      {"same at lba 0", 0, [](uint8_t* s) { NtfsBoot(s, 204800); Entry(s, 1, 0, 7, 2048, 204800); }, kSectorMbr},
      {"fat16", 9, [](uint8_t* s) { FatLike(s, false); }, kSectorFat16Boot},
      {"fat32", 9, [](uint8_t* s) { FatLike(s, true); }, kSectorFat32Boot},
      {"exfat", 9, [](uint8_t* s) { ExfatBoot(s); }, kSectorExfatBoot},
      {"zero first word", 9, [](uint8_t* s) { NtfsBoot(s, 1); s[0] = s[1] = s[2] = s[3] = 0; }, kSectorNothing},
      {"table entry too small", 0, [](uint8_t* s) { s[0] = 1; Entry(s, 0, 0, 7, 2048, 1000); }, kSectorNothing},
      {"table entry bad boot flag", 0, [](uint8_t* s) { s[0] = 1; Entry(s, 0, 0x81, 7, 2048, 204800); }, kSectorNothing},
      {"mft record", 9, [](uint8_t* s) { std::memcpy(s, "FILE", 4); s[0x14] = 0x38; Put32(s + 0x1C, 0x400); Put32(s + 0x18, 0x1A0); Put32(s + 0x38, 0x10); }, kSectorMftRecord},
      {"mft record odd used size", 9, [](uint8_t* s) { std::memcpy(s, "FILE", 4); s[0x14] = 0x38; Put32(s + 0x1C, 0x400); Put32(s + 0x18, 0x1A1); Put32(s + 0x38, 0x10); }, kSectorNothing},
      {"index record", 9, [](uint8_t* s) { std::memcpy(s, "INDX", 4); }, kSectorIndexRecord},
      {"gpt header at 1", 1, [](uint8_t* s) { std::memcpy(s, "EFI PART", 8); }, kSectorGptHeader},
      {"gpt header at 5", 5, [](uint8_t* s) { std::memcpy(s, "EFI PART", 8); }, kSectorNothing},
  };
  for (const Case& c : cases) {
    uint8_t s[512] = {};
    c.fill(s);
    uint32_t kind = 0;
    EXPECT_EQ(ClassifyRawSector(c.lba, s, &kind), c.kind != kSectorNothing) << c.what;
    EXPECT_EQ(kind, c.kind) << c.what;
  }
}

TEST_F(PartitionWalk, DetectsFromBootSectorOrBackups) {
  Image img("detect", 300000);
  uint8_t s[512];
  NtfsBoot(s, 299999);
  img.Write(299999, s);  // sector 0 destroyed, the backup at the end is good
  VolumeContext v = img.Disk();
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(v, r));
  uint32_t type = 0;
  ASSERT_TRUE(DetectVolumeFileSystem(r, v, &type));
  EXPECT_EQ(type, uint32_t(kVolTypeNtfs));
  EXPECT_EQ(std::memcmp(v.bootSector, s, 512), 0);

  // Sector 6 passing both FAT tests is FAT32; exFAT's backup at 12.
  uint8_t z[512] = {};
  img.Write(299999, z);
  FatLike(s, true);
  std::memcpy(s + 0x36, "FAT16", 5);
  img.Write(6, s);
  ASSERT_TRUE(DetectVolumeFileSystem(r, v, &type));
  EXPECT_EQ(type, uint32_t(kVolTypeFat32));
  img.Write(6, z);
  ExfatBoot(s);
  img.Write(12, s);
  ASSERT_TRUE(DetectVolumeFileSystem(r, v, &type));
  EXPECT_EQ(type, uint32_t(kVolTypeExfat));
  img.Write(12, z);
  EXPECT_FALSE(DetectVolumeFileSystem(r, v, &type));
  EXPECT_EQ(type, 0u);
  v.sectorCount = 0;  // no last sector to try
  EXPECT_FALSE(DetectVolumeFileSystem(r, v, &type));
}

TEST_F(PartitionWalk, MbrWithGapAndThreeLogicals) {
  if (!HaveTool("sfdisk")) GTEST_SKIP() << "sfdisk missing";
  Image img("mbr", 2200000);
  ASSERT_TRUE(img.Run("sfdisk -q --no-reread --no-tell-kernel",
                      "label: dos\\nstart=2048,size=204800,type=7\\nstart=600000,size=204800,type=7\\n"
                      "start=1000000,size=1100000,type=5\\nstart=1002048,size=204800,type=7\\n"
                      "start=1300000,size=204800,type=83\\nstart=1600000,size=204800,type=83\\n"));
  uint8_t s[512];
  NtfsBoot(s, 204799);
  img.Write(1300000, s);  // the second logical holds an NTFS volume
  bool walked = false;
  std::vector<VolumeContext> out = WalkWhole(img.Disk(), &walked);
  ASSERT_TRUE(walked);
  auto at = [&](uint64_t lba) -> const VolumeContext* {
    for (const VolumeContext& v : out) if (v.firstLba == lba) return &v;
    return nullptr;
  };
  ASSERT_TRUE(at(2048));
  EXPECT_EQ(at(2048)->sectorCount, 204800u);
  ASSERT_TRUE(at(206848)) << "the gap between the primaries is probed";
  EXPECT_EQ(at(206848)->sectorCount, 600000u - 206848u);
  ASSERT_TRUE(at(1002048));
  ASSERT_TRUE(at(1300000));
  EXPECT_EQ(at(1300000)->type, uint32_t(kVolTypeNtfs));
  EXPECT_EQ(at(1300000)->targetKind, uint32_t(kTargetPartition));
  ASSERT_TRUE(at(1600000)) << "the third logical is found through the second link";
  for (size_t i = 1; i < out.size(); ++i) EXPECT_LE(out[i - 1].firstLba, out[i].firstLba);

  // A partition mounted as a drive lies in no area: probed but not kept.
  VolumeContext disk = img.Disk();
  std::vector<VolumeContext> areas(1, disk), out2;
  areas[0].firstLba = 600000;
  areas[0].sectorCount = disk.sectorCount - 600000;
  ASSERT_TRUE(FindDiskPartitions(disk, areas, out2));
  for (const VolumeContext& v : out2) EXPECT_GE(v.firstLba, 600000u);
}

TEST_F(PartitionWalk, TablesThatAreNotWalked) {
  Image img("nowalk", 400000);
  uint8_t s[512] = {};
  Entry(s, 1, 0, 7, 2048, 204800);  // first entry empty, second valid
  img.Write(0, s);
  bool walked = true;
  WalkWhole(img.Disk(), &walked);
  EXPECT_FALSE(walked);
  uint8_t z[512] = {};
  img.Write(0, z);
  WalkWhole(img.Disk(), &walked);
  EXPECT_FALSE(walked);
}

TEST_F(PartitionWalk, ExtendedChainLoopsEnd) {
  Image img("ebrloop", 3000000);
  uint8_t mbr[512] = {};
  Entry(mbr, 0, 0, 0x05, 2048, 2900000);
  img.Write(0, mbr);
  // EBR at 2048 links to the EBR at 2048 + 300000, which links back to the first.
  uint8_t a[512] = {}, b[512] = {};
  Entry(a, 0, 0, 0x07, 2048, 204800);
  Entry(a, 1, 0, 0x05, 300000, 400000);
  Entry(b, 0, 0, 0x07, 2048, 204800);
  Entry(b, 1, 0, 0x05, 0, 400000);
  // a hostile count that would wrap 32 bits: start + count is kept in 64 bits
  Entry(b, 2, 0, 0x07, 0xFFFF0000u, 0xFFFF0000u);
  img.Write(2048, a);
  img.Write(302048, b);
  bool walked = false;
  std::vector<VolumeContext> out = WalkWhole(img.Disk(), &walked);
  ASSERT_TRUE(walked);
  int logicals = 0;
  for (const VolumeContext& v : out) logicals += (v.firstLba == 4096 || v.firstLba == 304096) ? 1 : 0;
  EXPECT_EQ(logicals, 2);
  EXPECT_LT(out.size(), 16u);
}

TEST_F(PartitionWalk, GptKeepsEntryOrderThenAreas) {
  if (!HaveTool("sgdisk")) GTEST_SKIP() << "sgdisk missing";
  Image img("gpt", 1000000);
  std::string cmd = "sgdisk -n 2:501760:+204800 -n 1:2048:206847 '" + img.path() + "' >/dev/null 2>&1";
  ASSERT_EQ(system(cmd.c_str()), 0);
  bool walked = false;
  std::vector<VolumeContext> out = WalkWhole(img.Disk(), &walked);
  ASSERT_TRUE(walked);
  ASSERT_GE(out.size(), 2u);
  // entry 1 (2048..206847) comes first as the first table entry, not by start
  EXPECT_EQ(out[0].firstLba, 2048u);
  EXPECT_EQ(out[0].sectorCount, 204800u);
  EXPECT_EQ(out[1].firstLba, 501760u);
  for (size_t i = 2; i < out.size(); ++i) EXPECT_EQ(out[i].targetKind, uint32_t(kTargetArea));
  // A GPT entry beyond the disk is skipped.
  uint8_t s[512];
  img.Read(2, s);
  Put64(s + 128 + 40, 5000000);
  img.Write(2, s);
  out = WalkWhole(img.Disk(), &walked);
  for (const VolumeContext& v : out) EXPECT_NE(v.firstLba, 501760u);
}

TEST_F(PartitionWalk, BackupNtfsHitGivesTrueStartOnce) {
  Image img("hits", 600000);
  uint8_t s[512];
  NtfsBoot(s, 204800);
  img.Write(100000, s);
  img.Write(304800, s);
  // The MFT the boot sector names: records that carry their own numbers.
  for (uint32_t k = 0; k < 64; ++k) {
    uint8_t rec[512] = {'F', 'I', 'L', 'E'};
    Put32(rec + 0x2C, k);
    img.Write(100032 + 2 * k, rec);
  }
  VolumeContext disk = img.Disk();
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(disk, r));
  uint8_t* saved = new uint8_t[512];
  std::memcpy(saved, s, 512);
  std::vector<SectorHit> hits = {{kSectorNtfsBoot, 0, 304800, 512, saved}, {kSectorNtfsBoot, 0, 100000, 512, saved}};
  std::vector<VolumeContext> out;
  FindVolumesFromBootHits(r, hits, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].firstLba, 100000u);
  EXPECT_EQ(out[0].sectorCount, 204800u);
  EXPECT_EQ(out[0].type, uint32_t(kVolTypeNtfs));

  // A partition-table hit names a partition only when its first sector is a boot sector.
  uint8_t* ebr = new uint8_t[512]();
  Entry(ebr, 0, 0, 0x07, 50000, 204800);
  Entry(ebr, 1, 0, 0x07, 400000, 150000);
  std::vector<SectorHit> mh = {{kSectorPartTable, 0, 50000, 512, ebr}};
  std::vector<VolumeContext> parts;
  FindPartitionsFromMbrHits(r, mh, parts);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0].firstLba, 100000u);
  EXPECT_EQ(parts[0].type, uint32_t(kVolTypeNtfs));
  delete[] saved;
  delete[] ebr;
}

TEST_F(PartitionWalk, SmallFat16HitTakesItsTotalFromTheShortField) {
  // A FAT16 volume below 32 MiB keeps its total in the 16-bit field at 0x13.
  uint8_t s[512];
  FatLike(s, false);
  s[0x0E] = 1;                 // one reserved sector: the FAT follows the boot sector
  s[0x11] = 0; s[0x12] = 2;    // 512 root entries
  s[0x13] = 0x00; s[0x14] = 0x80;  // 32768 sectors
  s[0x16] = 32;                // sectors per FAT
  Image img("fat16hit", 200000);
  img.Write(5000, s);
  uint8_t fat[512] = {0xF8, 0xFF, 0xFF, 0xFF};
  img.Write(5001, fat);
  VolumeContext disk = img.Disk();
  DiskReader r;
  ASSERT_TRUE(OpenVolumeDevice(disk, r));
  uint8_t* saved = new uint8_t[512];
  std::memcpy(saved, s, 512);
  std::vector<SectorHit> hits = {{kSectorFat16Boot, 0, 5000, 512, saved}};
  std::vector<VolumeContext> out;
  FindVolumesFromBootHits(r, hits, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].firstLba, 5000u);
  EXPECT_EQ(out[0].sectorCount, 32768u);
  delete[] saved;
}

}  // namespace
