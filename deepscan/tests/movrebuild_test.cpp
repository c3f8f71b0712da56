// The MP4/MOV fragment rebuild on synthetic tracks: sample offsets of a moov, the positions where
// a scan would have found them on the disk, and the box hits of the file's head.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/settings.h"
#include "core/dataextents.h"
#include "core/filetree.h"
#include "core/filetypetable.h"
#include "core/recordtable.h"
#include "core/volumelist.h"
#include "deepscan/movrebuild.h"
#include "deepscan/mtsrebuild.h"
#include "deepscan/tests/videovolume.h"

// Fragments print as (start, count) in failure messages.
inline std::ostream& operator<<(std::ostream& o, const VideoFragment& f) {
  return o << "(" << f.start << "," << f.count << ")";
}

namespace {

// n samples of 9 000 to 40 000 bytes from file offset first on.
std::vector<uint32_t> Offsets(uint32_t n, uint32_t first = 0x400, uint32_t seed = 7) {
  std::vector<uint32_t> o;
  uint32_t at = first, x = seed;
  for (uint32_t i = 0; i < n; ++i) {
    o.push_back(at);
    x = x * 1103515245u + 12345u;
    at += 9000 + (x >> 8) % 31000;
  }
  return o;
}

// A piece of the file from sample `from` on, placed so that the file would start at fileStart.
struct Piece {
  uint32_t from;
  uint64_t fileStart;
};
std::vector<uint64_t> Place(const std::vector<uint32_t>& offs, const std::vector<Piece>& pieces) {
  std::vector<uint64_t> anch(offs.size());
  for (size_t i = 0; i < offs.size(); ++i) {
    uint64_t start = 0;
    for (const Piece& p : pieces)
      if (p.from <= i) start = p.fileStart;
    anch[i] = start + offs[i];
  }
  return anch;
}

MovCandidates Candidates(std::vector<uint64_t> positions) {
  MovCandidates c;
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  c.positions = c.found = positions;
  c.Reindex();
  return c;
}

using VideoVolume = VideoVolumeOf<kRebuiltVideoType>;

std::vector<VideoFragment> Fragments(const std::vector<DataExtent>& extents) {
  std::vector<VideoFragment> out;
  for (const DataExtent& x : extents) out.push_back({x.startLba, x.sectorCount});
  return out;
}


constexpr uint64_t kMiB = 1 << 20;

// Tracks too short for the search: 5 samples end by the failures (the loop bound wraps), 6 and
// 7 anchor nothing and are rejected; 3 and 4 samples (only a damaged saved scan gives them)
// never read past the offsets.
TEST(MovAnchor, ShortTracks) {
  struct Case {
    uint32_t n;
    bool anchored;
  } cases[] = {{3, false}, {4, false}, {5, false}, {6, true}, {7, true}, {8, true}};
  for (const Case& c : cases) {
    const auto offs = Offsets(c.n);
    const MovCandidates P = Candidates(Place(offs, {{0, 100 * kMiB}}));
    std::vector<uint64_t> anch;
    EXPECT_EQ(AnchorTrackChunks(offs, P, anch), c.anchored) << c.n;
    const bool any = std::any_of(anch.begin(), anch.end(), [](uint64_t a) { return a != 0; });
    EXPECT_EQ(any, c.n == 8) << c.n;
    EXPECT_EQ(c.anchored && AcceptTrackAnchors(offs, anch), c.n == 8) << c.n;
  }
}

TEST(MovAnchor, AcceptNeedsAQuarterAndAnEarlyFirst) {
  const auto offs = Offsets(100);
  const auto truth = Place(offs, {{0, 100 * kMiB}});
  struct Case {
    uint32_t first, count;
    bool accepted;
  } cases[] = {{1, 24, false}, {1, 25, true}, {50, 25, true}, {51, 25, false}, {51, 49, false}};
  for (const Case& c : cases) {
    std::vector<uint64_t> anch(100, 0);
    for (uint32_t i = c.first; i < c.first + c.count; ++i) anch[i] = truth[i];
    EXPECT_EQ(AcceptTrackAnchors(offs, anch), c.accepted) << c.first << " " << c.count;
    if (c.accepted) {
      EXPECT_EQ(anch, truth) << "samples before the first and after the last follow them";
    }
  }
}

// A track in four pieces out of file order. The scan finds no piece's last two samples (a
// chain records its units but the last two) and a few positions of other data; the search steps
// three samples at a time, so it lands past the first samples of a piece, which still must get
// that piece's placement.
TEST(MovAnchor, EveryPieceOfAScatteredTrackIsPlaced) {
  const auto offs = Offsets(80);
  const std::vector<Piece> pieces = {{0, 300 * kMiB}, {19, 40 * kMiB}, {41, 900 * kMiB}, {60, 7 * kMiB}};
  for (uint32_t shift = 0; shift < 3; ++shift) {
    std::vector<Piece> moved = pieces;
    for (size_t k = 1; k < moved.size(); ++k) moved[k].from += shift;
    const auto placed = Place(offs, moved);
    std::vector<uint64_t> found;
    for (size_t i = 0; i < offs.size(); ++i) {
      const bool lastTwo = std::any_of(moved.begin(), moved.end(), [&](const Piece& p) {
        return i + 1 == p.from || i + 2 == p.from;
      });
      if (!lastTwo && i + 2 < offs.size()) found.push_back(placed[i]);
      found.push_back(placed[i] + 777 + i);  // other data
    }
    MovCandidates P = Candidates(found);
    std::vector<uint64_t> anch;
    ASSERT_TRUE(AnchorTrackChunks(offs, P, anch)) << shift;
    ASSERT_TRUE(AcceptTrackAnchors(offs, anch)) << shift;
    FillAnchorGaps(offs, P, anch);
    EXPECT_EQ(anch, placed) << shift;
    // The video's positions are no longer offered; the other data's stay, and so does the
    // evidence of where pieces start.
    const size_t before = P.found.size();
    RemoveUsedCandidates(P, anch);
    EXPECT_EQ(P.positions.size(), offs.size());
    EXPECT_EQ(P.found.size(), before);
  }
}

// A moov-first file at LBA lba: ftyp of 0x18 bytes, the moov, the mdat header right after it
// and n samples; the mdat may lie apart from the head (dataLba, 0: right after).
struct MoovFirst {
  MovFtypHit F;
  MovMoovHit M;
  MovMdatHit T;
  std::vector<uint32_t> offs;
  uint64_t fileBytes;
  MoovFirst(uint64_t lba, uint32_t moovSize, uint32_t n, uint64_t dataLba = 0) {
    const uint32_t mdatOffset = 0x18 + moovSize;
    offs = Offsets(n, mdatOffset + 8);
    F = {lba, 0x18};
    M.lba = lba;
    M.position = lba * 512 + 0x18;
    M.size = moovSize;
    M.offsets = offs;
    const uint64_t mdatPos = dataLba ? dataLba * 512 + mdatOffset % 512 : lba * 512 + mdatOffset;
    T = {mdatPos / 512, mdatPos, offs.back() + 20000 - mdatOffset};
    fileBytes = mdatOffset + T.size;
  }
  // The device position of the file's start as the data places it.
  uint64_t DataStart() const { return T.position - (offs[0] - 8); }
};

// A moov-last file at LBA lba: ftyp of 0x14 bytes, an 8-byte "wide" box, the mdat, then the moov
// (at moovLba when it lies apart, with the same offset in its sector).
struct MoovLast {
  MovFtypHit F;
  MovMoovHit M;
  MovMdatHit T;
  std::vector<uint32_t> offs;
  uint64_t moovOffset;
  MoovLast(uint64_t lba, uint32_t n, uint32_t moovSize, uint64_t moovLba = 0, uint32_t seed = 7) {
    offs = Offsets(n, 0x24, seed);
    F = {lba, 0x14};
    T = {lba, lba * 512 + 0x1C, offs.back() + 20000 - 0x1C};
    moovOffset = 0x1C + T.size;
    M.position = moovLba ? moovLba * 512 + moovOffset % 512 : lba * 512 + moovOffset;
    M.lba = M.position / 512;
    M.size = moovSize;
    M.offsets = offs;
  }
};

uint64_t Ceil(uint64_t bytes) { return (bytes + 511) / 512; }

// The head of a moov-first file: ftyp and moov filling whole sectors (0x400) apart from the data
// are a fragment of their own; a head ending inside a sector (0x3F0) runs on into the data
// (outside the loose-head edition mode); a contiguous video is one fragment.
TEST(MovFragments, MoovFirstHead) {
  struct Case {
    uint32_t moovSize;  // h = 0x18 + moovSize
    uint64_t dataLba;
    int32_t edition;
    std::vector<VideoFragment> want;  // {0, 0}: the data fragment, worked out below
  } cases[] = {
      {0x3E8, 5000, 1, {{1000, 2}, {5000, 0}}},
      {0x3D8, 5000, 1, {{1000, 0}}},
      {0x3D8, 5000, kEditionLooseHead, {{1000, 1}, {5000, 0}}},
      {0x3E8, 0, 1, {{1000, 0}}},
      {0x3D8, 0, 1, {{1000, 0}}},
  };
  for (const Case& c : cases) {
    const MoovFirst f(1000, c.moovSize, 30, c.dataLba);
    const auto anch = Place(f.offs, {{0, f.DataStart()}});
    auto want = c.want;
    VideoFragment& data = want.back();
    data.count = Ceil(f.DataStart() + f.fileBytes) - data.start;
    EXPECT_EQ(BuildFragmentList(f.F, f.M, f.T, f.offs, anch, c.edition), want) << std::hex << c.moovSize << " " << c.dataLba;
  }
}

// A cut lies at the first sector boundary after the start of the last sample before it, also
// when that sample starts right on a boundary (the sample is in the earlier piece).
TEST(MovFragments, CutFollowsTheStartOfTheLastSampleOfAPiece) {
  for (bool aligned : {false, true}) {
    MoovFirst f(1000, 0x3D8, 30);
    if (aligned) {
      const uint32_t delta = (512 - f.offs[10] % 512) % 512;
      f.offs = f.M.offsets = Offsets(30, f.offs[0] + delta);
      f.M.size += delta;
      f.T.position += delta;
      f.T.lba = f.T.position / 512;
      f.fileBytes += delta;
      ASSERT_EQ(f.offs[10] % 512, 0u);
    }
    const uint64_t cut = (f.offs[10] / 512 + 1) * 512;
    const uint64_t secondStart = 7000 * 512 - cut;
    const auto anch = Place(f.offs, {{0, 1000 * 512}, {11, secondStart}});
    const std::vector<VideoFragment> want = {{1000, cut / 512}, {7000, Ceil(secondStart + f.fileBytes) - 7000}};
    EXPECT_EQ(BuildFragmentList(f.F, f.M, f.T, f.offs, anch, 1), want) << aligned;
  }
}

// The end of a moov-last file counts the boxes before the mdat; its moov, when it lies apart
// from the data (after or before it on the device), is the last fragment. A moov-first file whose ftyp, moov and mdat header share
// a sector is not taken for moov-last.
TEST(MovFragments, FileEndAndMoovApart) {
  for (uint64_t moovLba : {uint64_t(0), uint64_t(9000), uint64_t(700)}) {
    // A moov size for which the three boxes alone end one sector short of the file.
    MoovLast probe(2000, 40, 1500);
    const uint32_t moovSize = 1500 + uint32_t((512 + 4 - (probe.moovOffset + 1500) % 512) % 512);
    const MoovLast f(2000, 40, moovSize, moovLba);
    ASSERT_EQ((f.moovOffset + f.M.size) % 512, 4u);
    const auto anch = Place(f.offs, {{0, 2000 * 512}});
    const uint64_t end = Ceil(f.moovOffset + f.M.size);
    std::vector<VideoFragment> want = {{2000, end}};
    if (moovLba) {
      const uint64_t k = Ceil(f.M.position % 512 + f.M.size);
      want = {{2000, end - k}, {moovLba + 0, k}};
    }
    EXPECT_EQ(BuildFragmentList(f.F, f.M, f.T, f.offs, anch, 1), want) << moovLba;
  }
  const MoovFirst small(3000, 0x100, 30);
  ASSERT_EQ(small.T.lba, small.F.lba);
  const auto anch = Place(small.offs, {{0, 3000 * 512}});
  const std::vector<VideoFragment> want = {{3000, Ceil(small.fileBytes)}};
  EXPECT_EQ(BuildFragmentList(small.F, small.M, small.T, small.offs, anch, 1), want);
}

TEST(MovFragments, EveryFragmentMustLieOnTheDevice) {
  struct Case {
    std::vector<VideoFragment> f;
    bool valid;
  } cases[] = {
      {{{10, 5}, {100, 900}}, true},
      {{{10, 5}, {100, 901}}, false},
      {{{10, 0}}, false},
      {{{1000, 1}}, false},
      {{{10, ~0ull - 5}}, false},  // an end before the start, counted unsigned
      {{}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidVideoFragments(c.f, 1000), c.valid) << c.f.size();
}

TEST(MovMdat, HeadOfEachLayout) {
  const MoovFirst first(1000, 0x3D8, 30);
  const MoovLast last(4000, 30, 1500, 9000);
  std::vector<MovFtypHit> ftyps = {{50, 0x18}, first.F, last.F};
  std::vector<MovMdatHit> mdats = {{60, 60 * 512 + 0x20, 123}, first.T, last.T};
  size_t f = 99, t = 99;
  // Moov-first: the mdat right after the moov where the data places the file.
  ASSERT_TRUE(FindMdatForMoov(ftyps, mdats, first.M, first.offs[0], first.DataStart() + first.offs[0], 1, f, t));
  EXPECT_EQ(f, 1u);
  EXPECT_EQ(t, 1u);
  // The same moov over data placed elsewhere (another copy of the movie): its head cannot lie
  // apart from that data.
  MoovFirst other(2000, 0x3D8, 30);
  mdats.push_back(other.T);
  EXPECT_FALSE(FindMdatForMoov(ftyps, mdats, first.M, first.offs[0], other.DataStart() + first.offs[0], 1, f, t));
  mdats.pop_back();
  // No mdat after the moov: only the loose-head edition takes one shortly before the data.
  const uint64_t p = 8000 * 512 + first.offs[0];
  mdats.push_back({8000, 8000 * 512 + first.offs[0] - 8, first.T.size});
  EXPECT_FALSE(FindMdatForMoov(ftyps, mdats, first.M, first.offs[0], p, 1, f, t));
  ASSERT_TRUE(FindMdatForMoov(ftyps, mdats, first.M, first.offs[0], p, kEditionLooseHead, f, t));
  EXPECT_EQ(t, 3u);
  // Moov-last: ftyp and mdat in the sector where the file starts.
  ASSERT_TRUE(FindMdatForMoov(ftyps, mdats, last.M, last.offs[0], 4000 * 512 + last.offs[0], 1, f, t));
  EXPECT_EQ(f, 2u);
  EXPECT_EQ(t, 2u);
  // Neither: the mdat whose size is closest above the last sample offset, with an ftyp.
  mdats.push_back({70, 70 * 512, last.offs.back() + 5000});
  mdats.push_back({50, 50 * 512 + 0x18, last.offs.back() + 3000});
  ASSERT_TRUE(FindMdatForMoov(ftyps, mdats, last.M, last.offs[0], 123 * 512 + last.offs[0], 1, f, t));
  EXPECT_EQ(t, 5u);
  EXPECT_EQ(f, 0u);
}

// The whole match: a list holding fewer positions than half the samples is not tried; two moovs
// over the same positions give one video, that of the smaller last sample offset; a video
// running past the device is dropped.
TEST(MovMatch, ListsMoovsAndTheDevice) {
  const MoovLast longer(4000, 100, 1500, 0, 3);
  MoovLast shorter = longer;
  shorter.M.offsets.resize(60);
  shorter.M.createTime = 0x12345678;
  shorter.M.position += 512 * 2000;
  shorter.M.lba += 2000;
  const auto anch = Place(longer.offs, {{0, 4000 * 512}});
  struct Case {
    std::vector<MovMoovHit> moovs;
    size_t found;  // positions of samples 1 … found
    uint64_t deviceSectors;
    size_t videos;
  } cases[] = {
      {{longer.M}, 49, 100000, 0},
      {{longer.M}, 50, 100000, 1},
      {{longer.M, shorter.M}, 99, 100000, 1},
      {{longer.M}, 99, 4500, 0},
  };
  for (const Case& c : cases) {
    VideoVolume vol;
    MovHitLists lists;
    lists.ftyps = {longer.F};
    lists.mdats = {longer.T};
    lists.moovs = c.moovs;
    lists.candidates[3] = Candidates(std::vector<uint64_t>(anch.begin() + 1, anch.begin() + 1 + long(c.found)));
    EXPECT_EQ(MatchMoovsToCandidates(lists, vol.v, c.deviceSectors, 1), c.videos) << c.found;
    const auto videos = vol.Videos();
    ASSERT_EQ(videos.size(), c.videos);
    if (videos.empty()) continue;
    EXPECT_EQ(videos[0]->flags, kRecInUse | kRecExtentList);
    const auto fragments = Fragments(vol.Extents(videos[0]));
    ASSERT_FALSE(fragments.empty());
    EXPECT_EQ(fragments[0].start, 4000u);
    uint64_t sectors = 0;
    for (const VideoFragment& x : fragments) sectors += x.count;
    EXPECT_EQ(uint64_t(videos[0]->size), sectors * 512);
    if (c.moovs.size() == 1) {
      EXPECT_EQ(fragments.size(), 1u);
    } else {
      // The shorter movie took the positions (with the head both share; its own moov ends it).
      EXPECT_EQ(uint32_t(videos[0]->ctime), shorter.M.createTime);
      EXPECT_EQ(fragments.back().start, shorter.M.lba);
    }
  }
}

}  // namespace
