#include "parsefilesystem/exfat/exfatdirhitinfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/heap.h"
#include "core/filetypetable.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// Appends a file entry set (file, stream, names) to the run.
void AddSet(Bytes& run, const std::u16string& name, bool dir, uint32_t cluster, uint32_t size, bool deleted = false,
            uint32_t stamp = 0) {
  const uint32_t names = uint32_t((name.size() + 14) / 15);
  Bytes set((2 + names) * 32, 0);
  set[0] = deleted ? 0x05 : 0x85;
  set[1] = uint8_t(1 + names);
  Put16(&set[4], dir ? 0x10 : 0x20);
  Put32(&set[8], stamp);
  set[32] = deleted ? 0x40 : 0xC0;
  set[35] = uint8_t(name.size());
  Put32(&set[32 + 8], size);
  Put32(&set[32 + 20], cluster);
  Put32(&set[32 + 24], size);
  for (uint32_t i = 0; i < name.size(); ++i) {
    uint8_t* e = &set[64 + (i / 15) * 32];
    e[0] = deleted ? 0x41 : 0xC1;
    Put16(e + 2 + 2 * (i % 15), name[i]);
  }
  run.insert(run.end(), set.begin(), set.end());
}

ExfatDirHitInfo Analyze(const Bytes& run, uint64_t lba = 777) {
  CarveCandidate c;
  c.typeId = 231;
  c.startLba = lba;
  EXPECT_TRUE(AnalyzeExfatDirSector(run.data(), uint32_t(run.size()), c));
  ExfatDirHitInfo info;
  std::memcpy(&info, c.details, sizeof info);
  FreeMem(c.details);
  return info;
}

class ExfatDirHitInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadSettingsForTest(u"Tesmur", u"Pro", u"Default-Key: 101\r\n", u"");
    InitFileTypeTables();
  }
};

TEST_F(ExfatDirHitInfoTest, SummarisesDirectoriesAndGeometryFiles) {
  Bytes run;
  const uint32_t early = (44u << 25) | (1u << 21) | (1u << 16);  // 2024-01-01
  const uint32_t late = (45u << 25) | (6u << 21) | (1u << 16);
  AddSet(run, u"DCIM", true, 40, 32768, false, late);
  AddSet(run, u"holiday.jpg", false, 9, 1000, false, early);
  AddSet(run, u"notes.txt", false, 3, 10);
  AddSet(run, u"Music", true, 12, 4096);
  AddSet(run, u"Old", true, 50, 4096);
  AddSet(run, u"odd", true, 60, 5000);
  run.resize(1024, 0);
  const ExfatDirHitInfo info = Analyze(run);
  EXPECT_EQ(+info.kind, 2u);
  EXPECT_EQ(+info.lba, 777u);
  EXPECT_EQ(+info.sectors, 2u);  // 18 entries walked, then an end entry
  // The earliest time is the photo's alone.
  EXPECT_EQ(+info.earliestTime, +Analyze(Bytes(run.begin() + 96, run.begin() + 192)).earliestTime);
  EXPECT_NE(+info.earliestTime, 0u);
  EXPECT_EQ(+info.lowestCluster, 3u);
  EXPECT_EQ(+info.highestCluster, 60u);
  EXPECT_EQ(+info.smallestDirSize, 4096u);
  EXPECT_EQ(+info.smallestDirCount, 2u);
  ASSERT_EQ(+info.entryCount, 4u);  // DCIM, holiday.jpg, Music, Old; not notes.txt nor odd
  EXPECT_EQ(+info.entries[0].kind, 231);
  EXPECT_EQ(+info.entries[0].firstCluster, 40u);
  EXPECT_EQ(+info.entries[1].kind, GetTypeIdByExtension(u"x.jpg"));
  EXPECT_EQ(+info.entries[1].size, 1000u);
  EXPECT_EQ(+info.entries[2].firstCluster, 12u);
}

TEST_F(ExfatDirHitInfoTest, RootStartAndEntryLimits) {
  Bytes run(96, 0);
  run[0] = 0x83;
  run[32] = 0x81;
  run[64] = 0x82;
  for (int i = 0; i < 12; ++i) AddSet(run, u"gone.jpg", false, 100 + i, 2000, true);
  for (int i = 0; i < 30; ++i) AddSet(run, u"keep.jpg", false, 200 + i, 2000);
  const ExfatDirHitInfo root = Analyze(run);
  EXPECT_EQ(+root.kind, 1u);
  // Deleted files fill at most 8 places, live ones up to 18.
  EXPECT_EQ(+root.entryCount, 18u);
  EXPECT_EQ(+root.entries[7].firstCluster, 107u);
  EXPECT_EQ(+root.entries[8].firstCluster, 200u);
  EXPECT_EQ(+root.sectors, (3u + 42u * 3u + 15u) / 16u);
}

}  // namespace
