// The QuickTime-family samples made by ffmpeg (tests/fixtures/carvesamples/qt_*, with what
// ffprobe reports of them in video_expected.txt): each is ended exactly by the box walk, and
// the parse of its moov gives the sample positions, duration and creation time ffprobe sees.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/packedtime.h"
#include "core/filetypetable.h"
#include "deepscan/fileend.h"
#include "deepscan/qtbox.h"
#include "deepscan/sectorsignature.h"
#include "scanbase/videodetail.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadSample(const std::string& name) {
  std::ifstream f(std::string(KESTREL_CARVE_SAMPLES) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

struct Expected {
  std::string name;
  bool video = false;
  std::vector<uint32_t> positions;
  uint32_t duration = 0;
};

// "name N p1 … pN | seconds | time" or "name video none | seconds | time".
std::vector<Expected> ReadExpected() {
  std::ifstream f(std::string(KESTREL_CARVE_SAMPLES) + "/video_expected.txt");
  std::vector<Expected> out;
  std::string line;
  while (std::getline(f, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    Expected e;
    std::string count;
    in >> e.name >> count;
    e.video = count != "video";
    std::string word;
    if (!e.video) in >> word;
    while (in >> word && word != "|") e.positions.push_back(uint32_t(std::stoul(word)));
    in >> e.duration;
    out.push_back(e);
  }
  return out;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The file offset of the top-level moov box.
size_t FindMoov(const Bytes& file) {
  for (size_t p = 0; p + 8 <= file.size();) {
    const uint32_t size = Be32(&file[p]);
    if (std::memcmp(&file[p + 4], "moov", 4) == 0) return p;
    if (size < 8) break;
    p += size;
  }
  return SIZE_MAX;
}

class VideoSamples : public ::testing::Test {
 protected:
  void SetUp() override {
    InitFileTypeTables();
    expected_ = ReadExpected();
    ASSERT_EQ(expected_.size(), 10u) << "video_expected.txt beside the samples";
  }
  std::vector<Expected> expected_;
};

// The type the matcher gives each brand; every one is ended as a movie.
int32_t BrandType(const std::string& name) {
  const std::string ext = name.substr(name.rfind('.') + 1);
  if (ext == "mov") return 67;
  if (ext == "3gp") return 68;
  if (ext == "m4a") return 69;
  if (ext == "m4v") return 71;
  return 72;
}

TEST_F(VideoSamples, EachFileEndsExactlyInOneBlockAndAcrossTwo) {
  constexpr uint64_t kBlockSectors = 2048;  // 1 MiB stands for a block here
  constexpr uint64_t kBlockLba = 40960;
  for (const Expected& e : expected_) {
    const Bytes file = ReadSample(e.name);
    ASSERT_FALSE(file.empty()) << e.name;
    uint32_t type = 0;
    ASSERT_TRUE(MatchSectorSignature(file.data(), type, 0)) << e.name;
    EXPECT_EQ(int32_t(type), BrandType(e.name)) << e.name;

    // In one block, after three sectors of other data.
    Bytes block(kBlockSectors * 512, 0);
    std::memcpy(block.data() + 3 * 512, file.data(), file.size());
    CarveCandidate c{};
    c.typeId = int32_t(type);
    c.startLba = kBlockLba + 3;
    ASSERT_EQ(DetectFileEnd(c, kBlockLba, block.data(), block.size()), kEndKnown) << e.name;
    EXPECT_EQ(c.size, file.size()) << e.name;
    EXPECT_EQ(c.typeId, 67) << e.name;

    // Starting in the last sector of a block: decided once the next block is there.
    Bytes two(2 * kBlockSectors * 512, 0);
    std::memcpy(two.data() + (kBlockSectors - 1) * 512, file.data(), file.size());
    CarveCandidate d{};
    d.typeId = int32_t(type);
    d.startLba = kBlockLba + kBlockSectors - 1;
    ASSERT_EQ(DetectFileEnd(d, kBlockLba, two.data(), kBlockSectors * 512), kEndNeedsMore) << e.name;
    EXPECT_GE(d.firstNeededLba, kBlockLba + kBlockSectors) << e.name;
    ASSERT_EQ(DetectFileEnd(d, kBlockLba, two.data(), two.size()), kEndKnown) << e.name;
    EXPECT_EQ(d.size, file.size()) << e.name;
  }
}

TEST_F(VideoSamples, MoovsGiveWhatFfprobeReports) {
  const char* tz = getenv("TZ");
  const std::string saved = tz ? tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  for (const Expected& e : expected_) {
    const Bytes file = ReadSample(e.name);
    const size_t at = FindMoov(file);
    ASSERT_NE(at, SIZE_MAX) << e.name;
    // The moov where the video mode meets it: somewhere inside a sector of a block.
    Bytes block(8192 * 512, 0);
    const uint64_t blockLba = 16384;
    std::memcpy(block.data() + 700 * 512 + 77, file.data() + at, file.size() - at);
    CarveCandidate c{};
    c.typeId = 201;
    c.startLba = blockLba + 700;
    c.currentOffset = 77;
    const int32_t r = DetectFileEnd(c, blockLba, block.data(), block.size());
    if (!e.video) {
      EXPECT_EQ(r, kEndNotValid) << e.name << ": no video track";
      continue;
    }
    ASSERT_EQ(r, kEndKnown) << e.name;
    const auto* info = static_cast<const MoovInfo*>(c.details);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(uint64_t(info->position), (blockLba + 700) * 512 + 77) << e.name;
    EXPECT_EQ(info->boxSize, Be32(&file[at])) << e.name;
    EXPECT_EQ(info->durationSeconds, e.duration) << e.name;
    // 2016-05-07 08:09:10 UTC, 8 hours earlier by the program's epoch.
    EXPECT_EQ(info->createTime, PackTime(2016, 5, 7, 0, 9, 10)) << e.name;
    const auto tables = ChunkTablesOf(info->tables);
    ASSERT_EQ(tables.size(), 1u);
    const std::vector<uint32_t> got(ChunkTableEntries(tables[0]), ChunkTableEntries(tables[0]) + tables[0]->count);
    EXPECT_EQ(got, e.positions) << e.name;
    FreeMoovInfo(static_cast<MoovInfo*>(c.details));
  }
  if (tz) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace
