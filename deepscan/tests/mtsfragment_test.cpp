// MTS fragments: the packet tracker over synthetic streams placed on a disk (starts, phases, the
// tail-sector rule, broken counters, jumps in the reading order, the end of the input), and the
// rebuild that chains fragments into videos.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/settings.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/mtspackets.h"
#include "deepscan/mtsrebuild.h"
#include "deepscan/tests/mtsstream.h"
#include "deepscan/tests/videovolume.h"

namespace {

using namespace mtsgen;

// A copy of a field of a packed record, for the comparisons (which bind references).
template <class T>
T V(T v) {
  return v;
}

// Feeds the disk to a tracker in blocks of blockSectors, in the given block order (all blocks in
// turn when empty), then ends the input.
std::vector<MtsFragmentInfo> TrackDisk(const Bytes& disk, uint64_t blockSectors, std::vector<uint64_t> order = {}) {
  const uint64_t sectors = disk.size() / 512;
  const uint64_t blocks = (sectors + blockSectors - 1) / blockSectors;
  if (order.empty())
    for (uint64_t b = 0; b < blocks; ++b) order.push_back(b);
  MtsTracker t;
  std::vector<MtsFragmentInfo> out;
  for (uint64_t b : order) {
    const uint64_t lba = b * blockSectors;
    const uint64_t n = std::min(blockSectors, sectors - lba);
    FeedMtsTracker(t, lba, disk.data() + lba * 512, n * 512, out);
  }
  CloseMtsTracker(t, out);
  return out;
}

MtsFragmentInfo Fragment(uint64_t start, uint64_t end, std::vector<int32_t> first, std::vector<int32_t> last,
                         uint32_t phase = 0) {
  MtsFragmentInfo f{};
  f.state = kMtsInsideStream;
  f.startLba = start;
  f.endLba = end;
  f.phase = phase;
  for (int k = 0; k < 4; ++k) {
    f.startCounters[k] = first[size_t(k)];
    f.lastCounters[k] = last[size_t(k)];
  }
  return f;
}

using VideoVolume = VideoVolumeOf<kMtsFileType>;

Bytes ReadThrough(const Bytes& disk, const std::vector<DataExtent>& extents, uint64_t skip, uint64_t size) {
  Bytes all;
  for (const DataExtent& e : extents)
    all.insert(all.end(), disk.begin() + long(e.startLba * 512), disk.begin() + long((e.startLba + e.sectorCount) * 512));
  if (all.size() < skip + size) return {};
  return Bytes(all.begin() + long(skip), all.begin() + long(skip + size));
}

TEST(MtsTracker, StartKindAndPhase) {
  struct Case {
    uint32_t offset;
    uint32_t state, phase;
  } cases[] = {{0, kMtsFromStreamStart, 0}, {64, kMtsInsideStream, 64}, {128, kMtsInsideStream, 128}};
  const Bytes stream = MakeStream(6144);  // three chunks, 2304 sectors
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    Bytes disk = MakeDisk(4000);
    Place(disk, 10 * 512 + c.offset, stream.data(), stream.size());
    const auto found = TrackDisk(disk, 16384);
    ASSERT_EQ(found.size(), 1u);
    const MtsFragmentInfo& f = found[0];
    EXPECT_EQ(V(f.state), c.state);
    EXPECT_EQ(V(f.phase), c.phase);
    EXPECT_EQ(V(f.startLba), 10u);
    EXPECT_EQ(V(f.endOffset), c.offset + stream.size());
    EXPECT_EQ(V(f.endLba), 10u + 2304u);
    // The stream counts from 0 on every PID; its last counters are those of its last packets.
    for (int k = 0; k < 4; ++k) EXPECT_EQ(V(f.startCounters[k]), 0) << k;
    EXPECT_EQ(V(f.lastCounters[0]), (6144 / 16 - 1) % 16);
  }
}

TEST(MtsTracker, LastSectorCountsFrom320Bytes) {
  // 2055 packets end 320 bytes into a sector, 2052 packets 256 bytes into one.
  struct Case {
    size_t packets;
    uint64_t endLba;
  } cases[] = {{2055, 10 + 2055 * 192 / 512 + 1}, {2052, 10 + 2052 * 192 / 512}, {2056, 10 + 2056 * 192 / 512}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.packets);
    Bytes disk = MakeDisk(4000);
    const Bytes stream = MakeStream(c.packets);
    Place(disk, 10 * 512, stream.data(), stream.size());
    const auto found = TrackDisk(disk, 16384);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(V(found[0].endLba), c.endLba);
    EXPECT_EQ(V(found[0].goodBytes), (c.packets - 2048) * 192);
  }
}

TEST(MtsTracker, BrokenCounterEndsTheFragmentAtThatPacket) {
  Bytes stream = MakeStream(5000);
  ASSERT_EQ(PidAt(3002, {}), 0x1011u);
  stream[3002 * 192 + 7] ^= 0x03;
  // A packet without payload may carry any counter: it neither counts nor breaks.
  ASSERT_EQ(2011 % 16, 11);
  stream[2011 * 192 + 7] = 0x27;
  Bytes disk = MakeDisk(4000);
  Place(disk, 10 * 512, stream.data(), stream.size());
  const auto found = TrackDisk(disk, 16384);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(V(found[0].endOffset), 3002u * 192);
  EXPECT_EQ(V(found[0].goodBytes), (3002u - 2048) * 192);
}

TEST(MtsTracker, VideoRunningToTheInputEndIsKept) {
  // 5000 packets (1875 sectors) end exactly at the disk's end, in a partial chunk.
  const Bytes stream = MakeStream(5000);
  Bytes disk = MakeDisk(10 + 1875);
  Place(disk, 10 * 512, stream.data(), stream.size());
  for (uint64_t blockSectors : {16384u, 700u}) {
    const auto found = TrackDisk(disk, blockSectors);
    ASSERT_EQ(found.size(), 1u) << blockSectors;
    EXPECT_EQ(V(found[0].endOffset), stream.size());
    EXPECT_EQ(V(found[0].endLba), 10u + 1875u);
  }
}

TEST(MtsTracker, TrackingGoesOnAfterJumpsInTheReadingOrder) {
  // Blocks of 1024 sectors; a stream from block 1 to block 4, another in block 7.
  Bytes disk = MakeDisk(8 * 1024);
  const Bytes a = MakeStream(4 * 1024 * 512 / 192 - 100);
  Place(disk, 1024 * 512, a.data(), a.size());
  const Bytes b = MakeStream(2100);
  Place(disk, 7 * 1024 * 512, b.data(), b.size());
  // A probe block far ahead comes right after block 0, then the pass goes on in order.
  const auto found = TrackDisk(disk, 1024, {0, 7, 1, 2, 3, 4, 5, 6});
  std::vector<uint64_t> starts;
  for (const MtsFragmentInfo& f : found) starts.push_back(V(f.startLba));
  std::sort(starts.begin(), starts.end());
  EXPECT_EQ(starts, (std::vector<uint64_t>{1024, 7 * 1024}));
  for (const MtsFragmentInfo& f : found) {
    if (f.startLba == 1024) EXPECT_EQ(V(f.endOffset), a.size());
    else EXPECT_EQ(V(f.endOffset), b.size());
  }
  // A jump in the middle of a stream closes its fragment with what was held and tracking
  // starts again at the new block.
  const auto split = TrackDisk(disk, 1024, {0, 1, 2, 6, 3, 4, 5});
  ASSERT_GE(split.size(), 2u);
  EXPECT_EQ(V(split[0].startLba), 1024u);
  EXPECT_EQ(V(split[0].endLba), 3u * 1024);
  bool after = false;
  for (const MtsFragmentInfo& f : split) after = after || (f.startLba >= 3 * 1024 && f.endLba <= 5 * 1024);
  EXPECT_TRUE(after);
}

TEST(MtsTracker, CheckNeedsSyncBytesAndRunningCounters) {
  Bytes chunk = MakeStream(2048 + 1);
  int32_t first[4], last[4];
  EXPECT_TRUE(CheckMtsPackets(chunk.data(), 0, first, last));
  EXPECT_EQ(last[1], int32_t(((2048 / 16) * 11 - 1) % 16));
  Bytes noSync = chunk;
  noSync[1000 * 192 + 4] = 0;
  EXPECT_FALSE(CheckMtsPackets(noSync.data(), 0, first, last));
  Bytes second = chunk;
  second[196] = 0;
  EXPECT_FALSE(CheckMtsPackets(second.data(), 0, first, last));
  // An untracked PID's counters are not looked at.
  Bytes other = chunk;
  ASSERT_EQ(PidAt(13, {}), 0x0100u);
  other[13 * 192 + 7] = 0x1F;
  EXPECT_TRUE(CheckMtsPackets(other.data(), 0, first, last));
}

TEST(MtsRebuild, FollowsByCounters) {
  const auto a = Fragment(100, 2200, {0, 0, 0, 0}, {4, 9, 15, -1});
  struct Case {
    std::vector<int32_t> first;
    bool follows;
  } cases[] = {
      {{5, 10, 0, -1}, true},   // subtitles in neither: not compared
      {{5, 10, 0, 0}, true},    // -1 + 1 gives 0
      {{5, 10, 1, -1}, false},  // audio jumps
      {{-1, 10, 0, -1}, false}, // the PAT was seen before but not here
  };
  for (const Case& c : cases) {
    const auto b = Fragment(5000, 7000, c.first, {1, 1, 1, 1});
    EXPECT_EQ(MtsFragmentFollows(a, b), c.follows) << c.first[0] << c.first[2] << c.first[3];
  }
  // Fragments without any tracked PID never chain.
  const auto none = Fragment(0, 3000, {-1, -1, -1, -1}, {-1, -1, -1, -1});
  EXPECT_FALSE(MtsFragmentFollows(none, none));
}

TEST(MtsRebuild, ChainsInEitherOrder) {
  const auto a = Fragment(100, 1300, {0, 0, 0, 0}, {4, 9, 15, 2});
  const auto b = Fragment(5000, 6000, {5, 10, 0, 3}, {1, 1, 1, 1});
  for (const auto& list : {std::vector<MtsFragmentInfo>{a, b}, std::vector<MtsFragmentInfo>{b, a}}) {
    VideoVolume vol;
    ChainMtsFragments(list, vol.v, 10000);
    const auto videos = vol.Videos();
    ASSERT_EQ(videos.size(), 1u);
    const auto e = vol.Extents(videos[0]);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].startLba, 100u);
    EXPECT_EQ(e[0].sectorCount, 1200u);
    EXPECT_EQ(e[1].startLba, 5000u);
    EXPECT_EQ(e[1].sectorCount, 1000u);
    EXPECT_EQ(V(videos[0]->size), 2200u * 512);
    EXPECT_EQ(CString(videos[0]->name), CString(u"0x64.mts"));
    EXPECT_EQ(V(videos[0]->flags) & (kRecInUse | kRecExtentList), kRecInUse | kRecExtentList);
  }
}

TEST(MtsRebuild, SizeRuleAndLoneFragments) {
  struct Case {
    uint64_t sectors;
    uint32_t phase;
    size_t videos;
  } cases[] = {
      {2048, 0, 0},    // exactly 1 MiB is discarded
      {2049, 0, 1},    // one sector more is a video, even alone
      {2049, 128, 1},  // the size leaves out the bytes before the first packet
  };
  for (const Case& c : cases) {
    VideoVolume vol;
    ChainMtsFragments({Fragment(300, 300 + c.sectors, {0, 0, 0, 0}, {1, 1, 1, 1}, c.phase)}, vol.v, 10000);
    const auto videos = vol.Videos();
    ASSERT_EQ(videos.size(), c.videos) << c.sectors << " " << c.phase;
    if (videos.empty()) continue;
    EXPECT_EQ(V(videos[0]->size), c.sectors * 512 - c.phase);
    EXPECT_EQ(V(videos[0]->filesBelow), int32_t(c.phase));
  }
}

TEST(MtsRebuild, FragmentOutsideTheDeviceDropsTheVideo) {
  const auto a = Fragment(100, 3300, {0, 0, 0, 0}, {4, 9, 15, 2});
  struct Case {
    uint64_t start, end;
  } cases[] = {{9000, 8000}, {9000, 9000}, {9000, 10001}};
  for (const Case& c : cases) {
    VideoVolume vol;
    ChainMtsFragments({a, Fragment(c.start, c.end, {5, 10, 0, 3}, {1, 1, 1, 1})}, vol.v, 10000);
    EXPECT_TRUE(vol.Videos().empty()) << c.start << "-" << c.end;
  }
  VideoVolume vol;
  ChainMtsFragments({a, Fragment(9000, 10000, {5, 10, 0, 3}, {1, 1, 1, 1})}, vol.v, 10000);
  EXPECT_EQ(vol.Videos().size(), 1u);
}

// A stream cut at sector boundaries into three pieces placed out of order among filler comes
// back whole, with and without a subtitle stream, read in whole blocks or in blocks smaller
// than a chunk.
TEST(MtsRebuild, ScatteredStreamComesBackWhole) {
  for (bool subtitles : {true, false}) {
    for (uint64_t blockSectors : {16384u, 1000u}) {
      SCOPED_TRACE(testing::Message() << subtitles << " " << blockSectors);
      StreamOptions o;
      o.subtitles = subtitles;
      const Bytes stream = MakeStream(9600, o);  // 3600 sectors
      Bytes disk = MakeDisk(9000);
      struct Piece {
        uint64_t from, to, lba;
      } pieces[] = {{0, 1000, 3000}, {1000, 2200, 6000}, {2200, 3600, 100}};
      for (const Piece& p : pieces) Place(disk, p.lba * 512, stream.data() + p.from * 512, (p.to - p.from) * 512);
      VideoVolume vol;
      ChainMtsFragments(TrackDisk(disk, blockSectors), vol.v, 9000);
      const auto videos = vol.Videos();
      ASSERT_EQ(videos.size(), 1u);
      const auto e = vol.Extents(videos[0]);
      ASSERT_EQ(e.size(), 3u);
      for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(e[i].startLba, pieces[i].lba);
        EXPECT_EQ(e[i].sectorCount, pieces[i].to - pieces[i].from);
      }
      ASSERT_EQ(V(videos[0]->size), stream.size());
      EXPECT_TRUE(ReadThrough(disk, e, 0, stream.size()) == stream);
      EXPECT_EQ(CString(videos[0]->name), CString(u"0xBB8.mts"));
    }
  }
}

}  // namespace
